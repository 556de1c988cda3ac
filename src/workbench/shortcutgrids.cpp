#include "shortcutgrids.h"

#include "controls.h"

#include <QHeaderView>
#include <QLabel>
#include <QRect>
#include <QTableWidget>
#include <QVBoxLayout>

namespace velmora {

ShortcutGrids::ShortcutGrids(Workbench& bench, QWidget* navigation, QWidget* window)
    : QObject(navigation), m_bench(bench) {
    setObjectName(QStringLiteral("shortcutGrids"));
    rzGrid = Named(new QTableWidget(5, 4), QStringLiteral("rzGrid"));
    rzGrid->horizontalHeader()->hide();
    rzGrid->verticalHeader()->hide();
    rzGrid->horizontalHeader()->setDefaultSectionSize(41);
    rzGrid->verticalHeader()->setDefaultSectionSize(20);
    Describe(rzGrid, QStringLiteral("快捷方式"));
    MarkNotBuilt(rzGrid);
    scPanel = CaptionedPanel(QStringLiteral("scPanel"), QStringLiteral("快捷方式"), rzGrid, navigation);

    scPnl = Named(new QWidget(window, Qt::Popup), QStringLiteral("scPnl"));
    scPnl->resize(431, 190);
    auto* layout = new QVBoxLayout(scPnl);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* header = new QLabel(QStringLiteral("常用快捷标签"), scPnl);
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    Describe(header, header->text());
    Describe(scPnl, header->text());
    layout->addWidget(header);
    tagGrid = Named(new QTableWidget(8, 8, scPnl), QStringLiteral("tagGrid"));
    tagGrid->horizontalHeader()->hide();
    tagGrid->verticalHeader()->hide();
    tagGrid->horizontalHeader()->setDefaultSectionSize(52);
    Describe(tagGrid, header->text());
    layout->addWidget(tagGrid);
    scPnl->hide();
}

QWidget* ShortcutGrids::panel() const {
    return scPanel;
}

void ShortcutGrids::toggleCommonTags(const QRect& anchor) {
    if (scPnl->isVisible()) {
        scPnl->hide();
        return;
    }
    scPnl->move(anchor.bottomLeft() + QPoint(0, 1));
    scPnl->show();
}

} // namespace velmora
