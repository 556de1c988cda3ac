#include "documenttabs.h"

#include "controls.h"

#include <QAction>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace velmora {

DocumentTabs::DocumentTabs(Workbench& bench, QWidget* toolbar, QWidget* area) : QObject(area), m_bench(bench) {
    setObjectName(QStringLiteral("documentTabs"));
    tbtCreate = MakeToolButton(toolbar, QStringLiteral("tbtCreate"), QString(), QStringLiteral("新建word文档"));
    tbtSave = MakeToolButton(toolbar, QStringLiteral("tbtSave"), QString(), QStringLiteral("保存当前文档"));
    tbtSaveAll = MakeToolButton(toolbar, QStringLiteral("tbtSaveAll"), QString(), QStringLiteral("保存所有打开的文档"));
    tbtEmbed = MakeToolButton(toolbar, QStringLiteral("tbtEmbed"), QString(), QStringLiteral("嵌入/反嵌入word文档"));
    for (QToolButton* waiting : {tbtCreate, tbtSave, tbtSaveAll, tbtEmbed}) {
        MarkNotBuilt(waiting);
    }

    Pager = Named(new QTabWidget(area), QStringLiteral("Pager"));
    Pager->setTabsClosable(true);
    Pager->setDocumentMode(true);
    Describe(Pager, QStringLiteral("文档"));
    MarkNotBuilt(Pager);

    pnlClose = Named(new QWidget(area), QStringLiteral("pnlClose"));
    pnlClose->resize(120, 28);
    Describe(pnlClose, QStringLiteral("关闭"));
    pnlClose->hide();

    Timer1 = Named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(150);
    svTimer = Named(new QTimer(this), QStringLiteral("svTimer"));
    svTimer->setInterval(300000);
    svTimer->start();

    GoBackAction = new QAction(QStringLiteral("返回上次编辑位置"), this);
    GoBackAction->setObjectName(QStringLiteral("GoBackAction"));
    GoBackAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    MarkNotBuilt(GoBackAction);
}

QWidget* DocumentTabs::pager() const {
    return Pager;
}

QList<QWidget*> DocumentTabs::fileButtons() const {
    return {tbtCreate, tbtSave, tbtSaveAll};
}

QWidget* DocumentTabs::embedButton() const {
    return tbtEmbed;
}

QAction* DocumentTabs::goBackAction() const {
    return GoBackAction;
}

void DocumentTabs::startAutoSave(int minutes) {
    svTimer->setInterval(std::max(0, minutes) * 60000);
    if (minutes <= 0) {
        svTimer->stop();
    }
}

} // namespace velmora
