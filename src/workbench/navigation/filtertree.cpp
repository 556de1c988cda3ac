#include "filtertree.h"

#include "store/pathfold.h"
#include "store/wordmgr.h"
#include "treeview.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/workbench.h"

#include <QTreeWidget>

namespace velmora {

FilterTree::FilterTree(Workbench& bench, QWidget* parent) : QObject(parent), m_bench(bench) {
    setObjectName(QStringLiteral("filterTree"));
    filtTreeView = Named(new QTreeWidget(parent), QStringLiteral("filtTreeView"));
    Describe(filtTreeView, QStringLiteral("筛选"), QStringLiteral("快速筛选"));
    ConfigureTree(filtTreeView, filtTreeView->palette().color(QPalette::ToolTipBase));

    QTreeWidgetItem* root = MakeTreeItem(QStringLiteral("快速筛选"), 4);
    QTreeWidgetItem* properties = MakeTreeItem(QStringLiteral("属性"), 12);
    properties->addChild(MakeTreeItem(QStringLiteral("无标签文档"), 3));
    properties->addChild(MakeTreeItem(QStringLiteral("有密码文档"), 13));
    properties->addChild(MakeTreeItem(QStringLiteral("无星文档"), 14));
    for (const QString& stars : {QStringLiteral("一星"), QStringLiteral("二星"), QStringLiteral("三星"),
                                 QStringLiteral("四星"), QStringLiteral("五星")}) {
        properties->addChild(MakeTreeItem(stars, 6));
    }
    root->addChild(properties);
    for (const QString& group : {QStringLiteral("创建日期"), QStringLiteral("修改日期"), QStringLiteral("访问日期")}) {
        QTreeWidgetItem* dates = MakeTreeItem(group, 5);
        for (const QString& window :
             {QStringLiteral("今天"), QStringLiteral("三日内"), QStringLiteral("一周内"), QStringLiteral("一月内")}) {
            dates->addChild(MakeTreeItem(window, 5));
        }
        root->addChild(dates);
    }
    filtTreeView->addTopLevelItem(root);
    filtTreeView->expandAll();

    ConnectReported(filtTreeView, &QTreeWidget::itemClicked, this,
                    [this](QTreeWidgetItem* node) { filtTreeViewClick(node); });
    OnEnterKey(filtTreeView, [this](QTreeWidgetItem* node) { filtTreeViewClick(node); });
}

QWidget* FilterTree::view() const {
    return filtTreeView;
}

void FilterTree::filtTreeViewClick(QTreeWidgetItem* node) {
    if (node == nullptr || m_bench.shownListCaption().startsWith(node->text(0) + u' ') || ItemDepth(node) < 2) {
        return;
    }
    Q_EMIT listCleared();
    const QString word = node->text(0).trimmed();
    const QString group = node->parent()->text(0).trimmed();
    TWordMgr& store = m_bench.store();
    QString list;
    if (SameIgnoringAsciiCase(word, QStringLiteral("无标签文档"))) {
        store.QkSearchByTag(word, list);
    } else if (SameIgnoringAsciiCase(word, QStringLiteral("有密码文档"))) {
        store.QkSearchByPSW(list);
    } else if (word.contains(QStringLiteral("星"))) {
        store.QkSearchByScore(word, list);
    } else if (SameIgnoringAsciiCase(group, QStringLiteral("创建日期"))) {
        store.QkSearchByDateTime(word, DateSource::FileCreated, list);
    } else if (SameIgnoringAsciiCase(group, QStringLiteral("修改日期"))) {
        store.QkSearchByDateTime(word, DateSource::FileWritten, list);
    } else if (SameIgnoringAsciiCase(group, QStringLiteral("访问日期"))) {
        store.QkSearchByDateTime(word, DateSource::Accessed, list);
    }
    if (!list.isEmpty()) {
        Q_EMIT positionsReady(list, true);
    }
}

} // namespace velmora
