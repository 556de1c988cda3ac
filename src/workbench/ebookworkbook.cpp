#include "ebookworkbook.h"

#include "controls.h"

#include <QMenu>
#include <QToolButton>

namespace velmora {

EbookWorkbook::EbookWorkbook(Workbench& bench, QWidget* toolbar) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("ebookWorkbook"));
    pmExcel = Named(new QMenu(toolbar), QStringLiteral("pmExcel"));
    pmExcel->setEnabled(false);
    tbtXls = MakeToolButton(toolbar, QStringLiteral("tbtXls"), QString(), QStringLiteral("电子书管理及Excel"));
    tbtXls->setMenu(pmExcel);
    tbtXls->setPopupMode(QToolButton::InstantPopup);
    MarkNotBuilt(tbtXls);
}

QWidget* EbookWorkbook::toolButton() const {
    return tbtXls;
}

QMenu* EbookWorkbook::menu() const {
    return pmExcel;
}

} // namespace velmora
