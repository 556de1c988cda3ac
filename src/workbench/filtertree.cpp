// The filter tree: fixed one-click filters over the whole library.

#include "store/pathfold.h"
#include "tmform.h"
#include "treeview.h"

#include <QLabel>
#include <QTreeWidget>

namespace velmora {

void TmForm::buildFilterTree() {
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
}

void TmForm::filtTreeViewClick(QTreeWidgetItem* node) {
    if (node == nullptr || wzNumLabel->text().startsWith(node->text(0) + u' ') || ItemDepth(node) < 2) {
        return;
    }
    wzTreeView->setUpdatesEnabled(false);
    wzTreeView->clear();
    const QString word = node->text(0).trimmed();
    const QString group = node->parent()->text(0).trimmed();
    QString list;
    if (SameIgnoringAsciiCase(word, QStringLiteral("无标签文档"))) {
        wdMgr->QkSearchByTag(word, list);
    } else if (SameIgnoringAsciiCase(word, QStringLiteral("有密码文档"))) {
        wdMgr->QkSearchByPSW(list);
    } else if (word.contains(QStringLiteral("星"))) {
        wdMgr->QkSearchByScore(word, list);
    } else if (SameIgnoringAsciiCase(group, QStringLiteral("创建日期"))) {
        wdMgr->QkSearchByDateTime(word, DateSource::FileCreated, list);
    } else if (SameIgnoringAsciiCase(group, QStringLiteral("修改日期"))) {
        wdMgr->QkSearchByDateTime(word, DateSource::FileWritten, list);
    } else if (SameIgnoringAsciiCase(group, QStringLiteral("访问日期"))) {
        wdMgr->QkSearchByDateTime(word, DateSource::Accessed, list);
    }
    if (!list.isEmpty()) {
        LoadArticleList(list, true);
    }
    wzTreeView->setUpdatesEnabled(true);
}

} // namespace velmora
