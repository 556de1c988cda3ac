#include "macros.h"

#include "controls.h"

#include <QMenu>
#include <QToolButton>

namespace velmora {

Macros::Macros(Workbench& bench, QWidget* toolbar) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("macros"));
    pmMacro = Named(new QMenu(toolbar), QStringLiteral("pmMacro"));
    pmMacro->setEnabled(false);
    tbtMacro = MakeToolButton(toolbar, QStringLiteral("tbtMacro"), QString(), QStringLiteral("宏"));
    tbtMacro->setMenu(pmMacro);
    tbtMacro->setPopupMode(QToolButton::InstantPopup);
    MarkNotBuilt(tbtMacro);
}

QWidget* Macros::toolButton() const {
    return tbtMacro;
}

QMenu* Macros::menu() const {
    return pmMacro;
}

} // namespace velmora
