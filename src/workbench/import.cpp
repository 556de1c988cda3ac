#include "import.h"

#include "controls.h"

#include <QToolButton>

namespace velmora {

Import::Import(Workbench& bench, QWidget* toolbar) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("import"));
    tbtImport =
        MakeToolButton(toolbar, QStringLiteral("tbtImport"), QStringLiteral("导入"), QStringLiteral("导入word文档"));
    MarkNotBuilt(tbtImport);
}

QWidget* Import::toolButton() const {
    return tbtImport;
}

} // namespace velmora
