#include "information.h"

#include "controls.h"

#include <QToolButton>

namespace velmora {

Information::Information(Workbench& bench, QWidget* toolbar) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("information"));
    tbtInfo = MakeToolButton(toolbar, QStringLiteral("tbtInfo"), QString(), QStringLiteral("文档信息"));
    MarkNotBuilt(tbtInfo);
}

QWidget* Information::toolButton() const {
    return tbtInfo;
}

} // namespace velmora
