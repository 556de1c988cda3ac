#include "officestart.h"

#include "workbench/workbench.h"

namespace velmora {

OfficeStartIndicator::OfficeStartIndicator(Workbench& bench, QWidget* parent)
    : ToolbarActivity(QStringLiteral("officeStart"), QStringLiteral("正在启动 LibreOffice…"), parent) {
    connect(&bench, &Workbench::wordStartingChanged, this, &OfficeStartIndicator::setActive);
    setActive(bench.wordStarting());
}

} // namespace velmora
