#include "tagtree.h"

#include "common/prompts.h"
#include "common/textcodec.h"
#include "store/pathfold.h"
#include "store/wordmgr.h"
#include "tagtreewidget.h"
#include "treeview.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/texts.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>

#include <algorithm>

namespace velmora {

namespace {

void appendDescendants(const QTreeWidgetItem* node, QString& query) {
    for (int i = 0; i < node->childCount(); ++i) {
        query += node->child(i)->text(0);
        query += u' ';
        appendDescendants(node->child(i), query);
    }
}

void sortChildren(QList<QTreeWidgetItem*>& items) {
    std::stable_sort(items.begin(), items.end(), [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        return QString::localeAwareCompare(a->text(0), b->text(0)) < 0;
    });
    for (QTreeWidgetItem* item : items) {
        QList<QTreeWidgetItem*> children = item->takeChildren();
        sortChildren(children);
        item->addChildren(children);
    }
}

// The siblings of a node: its parent's children, or the top level.
int indexAmongSiblings(QTreeWidgetItem* node) {
    return node->parent() != nullptr ? node->parent()->indexOfChild(node)
                                     : node->treeWidget()->indexOfTopLevelItem(node);
}

int siblingCount(const QTreeWidgetItem* node) {
    return node->parent() != nullptr ? node->parent()->childCount() : node->treeWidget()->topLevelItemCount();
}

QTreeWidgetItem* sibling(const QTreeWidgetItem* node, int index) {
    return node->parent() != nullptr ? node->parent()->child(index) : node->treeWidget()->topLevelItem(index);
}

} // namespace

TagTree::TagTree(Workbench& bench, QWidget* parent) : QObject(parent), m_bench(bench) {
    setObjectName(QStringLiteral("tagTree"));
    tagTreeView = Named(new TagTreeWidget(parent), QStringLiteral("tagTreeView"));
    Describe(tagTreeView, QStringLiteral("标签"), QStringLiteral("标签树"));
    ConfigureTree(tagTreeView, QColor(238, 243, 246));
    tagTreeView->addTopLevelItem(MakeTreeItem(kTagTreeRoot, 1));
    tagTreeView->onDropped = [this] { markChanged(); };
    ConnectReported(tagTreeView, &QTreeWidget::itemClicked, this,
                    [this](QTreeWidgetItem* node) { tagTreeViewClick(node, QGuiApplication::keyboardModifiers()); });
    OnEnterKey(tagTreeView,
               [this](QTreeWidgetItem* node) { tagTreeViewClick(node, QGuiApplication::keyboardModifiers()); });

    pmNavTreeView = Named(new QMenu(tagTreeView), QStringLiteral("pmNavTreeView"));
    ItemSort = NamedAction(pmNavTreeView, QStringLiteral("ItemSort"), QStringLiteral("标签节点排序"));
    ItemCollapse = NamedAction(pmNavTreeView, QStringLiteral("ItemCollapse"), QStringLiteral("折叠所有标签"));
    ItemAddToSC = NamedAction(pmNavTreeView, QStringLiteral("ItemAddToSC"), QStringLiteral("当前标签添加到快捷方式"));
    pmNavTreeView->addSeparator();
    ItemToLeft = NamedAction(pmNavTreeView, QStringLiteral("ItemToLeft"), QStringLiteral("当前节点向左"));
    ItemToRight = NamedAction(pmNavTreeView, QStringLiteral("ItemToRight"), QStringLiteral("当前节点向右"));
    ItemUp = NamedAction(pmNavTreeView, QStringLiteral("ItemUp"), QStringLiteral("当前节点向上"));
    ItemDown = NamedAction(pmNavTreeView, QStringLiteral("ItemDown"), QStringLiteral("当前节点向下"));
    pmNavTreeView->addSeparator();
    ItemDelTag = NamedAction(pmNavTreeView, QStringLiteral("ItemDelTag"), QStringLiteral("删除当前标签"));
    ConnectReported(ItemSort, &QAction::triggered, this, [this] { ItemTagSortClick(); });
    ConnectReported(ItemCollapse, &QAction::triggered, this, [this] { ItemCollapseClick(); });
    ConnectReported(ItemAddToSC, &QAction::triggered, this, [this] {
        if (QTreeWidgetItem* node = selectedTagNode(true)) {
            Q_EMIT addToShortcutsWanted(node->text(0));
        }
    });
    ConnectReported(ItemToLeft, &QAction::triggered, this, [this] { ItemToLeftClick(); });
    ConnectReported(ItemToRight, &QAction::triggered, this, [this] { ItemToRightClick(); });
    ConnectReported(ItemUp, &QAction::triggered, this, [this] { ItemUpClick(); });
    ConnectReported(ItemDown, &QAction::triggered, this, [this] { ItemDownClick(); });
    ConnectReported(ItemDelTag, &QAction::triggered, this, [this] { ItemDelTagClick(); });
    ConnectReported(pmNavTreeView, &QMenu::aboutToShow, this, [this] { pmNavTreeViewPopup(); });
}

QWidget* TagTree::view() const {
    return tagTreeView;
}

QMenu* TagTree::menu() const {
    return pmNavTreeView;
}

void TagTree::markChanged() {
    m_changed = true;
    Q_EMIT treeChanged();
}

QString TagTree::GetTagQuery(QTreeWidgetItem* node) {
    QString query = node->text(0) + u' ';
    appendDescendants(node, query);
    return query;
}

bool TagTree::TagInTree(const QString& text) const {
    return FindTagNode(text) != nullptr;
}

QTreeWidgetItem* TagTree::FindTagNode(const QString& text) const {
    for (QTreeWidgetItem* node : PreOrder(tagTreeView)) {
        if (SameIgnoringAsciiCase(node->text(0), text)) {
            return node;
        }
    }
    return nullptr;
}

QTreeWidgetItem* TagTree::tagNodeAt(int index) const {
    const QList<QTreeWidgetItem*> nodes = PreOrder(tagTreeView);
    return index >= 0 && index < nodes.size() ? nodes.at(index) : nullptr;
}

void TagTree::addTagNodes(const QStringList& tags) {
    Tree tree = TreeFromWidget(tagTreeView);
    const size_t known = tree.size();
    if (!AddTagNodes(tree, tags)) {
        return;
    }
    for (size_t i = known; i < tree.size(); ++i) {
        tagTreeView->addTopLevelItem(MakeTreeItem(tree[i].text, tree[i].image, tree[i].state));
    }
    markChanged();
}

void TagTree::tagTreeViewClick(QTreeWidgetItem* node, Qt::KeyboardModifiers modifiers) {
    if (node == nullptr) {
        return;
    }
    const QString tag = node->text(0);
    if (m_bench.shownListCaption().startsWith(tag + u' ')) {
        return;
    }
    m_bench.settings().set(SettingKey::LastTag, tag);
    const QString query = modifiers.testFlag(Qt::ControlModifier) ? tag : GetTagQuery(node);
    const QString list = m_bench.store().GetListForLoadwzTV(query, modifiers.testFlag(Qt::ShiftModifier));
    if (!list.isEmpty()) {
        IncTagFrequency(tag);
        Q_EMIT positionsReady(list, true);
    }
}

void TagTree::IncTagFrequency(const QString& tag) {
    const QString file = m_bench.dataFile(QStringLiteral("TagsFre.ini"));
    QStringList lines = ReadTextFile(file);
    const QString prefix = tag + u'=';
    const auto found =
        std::find_if(lines.begin(), lines.end(), [&prefix](const QString& line) { return line.startsWith(prefix); });
    if (found == lines.end()) {
        lines.append(prefix + u'1');
    } else {
        bool ok = false;
        const int count = found->mid(found->indexOf(u'=') + 1).trimmed().toInt(&ok);
        // A count spoiled by hand starts again rather than failing every later click on the tag.
        *found = prefix + QString::number(ok ? count + 1 : 1);
    }
    WriteTextFile(file, lines);
}

QTreeWidgetItem* TagTree::selectedTagNode(bool report) const {
    QTreeWidgetItem* node = tagTreeView->currentItem();
    if (node == nullptr || !node->isSelected()) {
        if (report) {
            ShowInfo(QStringLiteral("没有选定的标签"));
        }
        return nullptr;
    }
    return node;
}

void TagTree::pmNavTreeViewPopup() {
    QTreeWidgetItem* node = selectedTagNode(false);
    if (node == nullptr) {
        return;
    }
    const int index = indexAmongSiblings(node);
    ItemToLeft->setEnabled(ItemDepth(node) >= 2);
    ItemToRight->setEnabled(index > 0);
    ItemUp->setEnabled(index > 0);
    ItemDown->setEnabled(index + 1 < siblingCount(node));
    ItemDelTag->setEnabled(node->childCount() == 0);
}

void TagTree::ItemToLeftClick() {
    QTreeWidgetItem* node = selectedTagNode(true);
    if (node == nullptr || ItemDepth(node) < 2) {
        return;
    }
    QTreeWidgetItem* grandparent = node->parent()->parent();
    MoveBranch(node, grandparent, 0);
    grandparent->setExpanded(true);
    tagTreeView->setCurrentItem(node);
    markChanged();
}

void TagTree::ItemToRightClick() {
    QTreeWidgetItem* node = selectedTagNode(true);
    if (node == nullptr || indexAmongSiblings(node) == 0) {
        return;
    }
    QTreeWidgetItem* previous = sibling(node, indexAmongSiblings(node) - 1);
    MoveBranch(node, previous, -1);
    previous->setExpanded(true);
    tagTreeView->setCurrentItem(node);
    markChanged();
}

void TagTree::moveAmongSiblings(int step) {
    QTreeWidgetItem* node = selectedTagNode(true);
    if (node == nullptr) {
        return;
    }
    const int target = indexAmongSiblings(node) + step;
    if (target < 0 || target >= siblingCount(node)) {
        return;
    }
    MoveBranch(node, node->parent(), target);
    tagTreeView->setCurrentItem(node);
    markChanged();
}

void TagTree::ItemUpClick() {
    moveAmongSiblings(-1);
}

void TagTree::ItemDownClick() {
    moveAmongSiblings(+1);
}

void TagTree::ItemDelTagClick() {
    QTreeWidgetItem* node = selectedTagNode(true);
    if (node == nullptr || node->childCount() > 0) {
        return;
    }
    if (AskYesNo(QStringLiteral("确定要删除选定的标签吗？"))) {
        delete TakeNode(node);
        markChanged();
    }
}

void TagTree::ItemCollapseClick() {
    tagTreeView->collapseAll();
}

void TagTree::ItemTagSortClick() {
    if (tagTreeView->topLevelItemCount() == 0) {
        return;
    }
    QTreeWidgetItem* selected = tagTreeView->currentItem();
    const ExpandedNodes expanded(tagTreeView);
    QList<QTreeWidgetItem*> top;
    while (tagTreeView->topLevelItemCount() > 0) {
        top.append(tagTreeView->takeTopLevelItem(0));
    }
    sortChildren(top);
    tagTreeView->addTopLevelItems(top);
    expanded.restore();
    if (selected != nullptr) {
        tagTreeView->setCurrentItem(selected);
    }
    SaveTagTree();
}

void TagTree::SaveTagTree() {
    SaveTVItems(tagTreeView, m_bench.dataFile(QStringLiteral("TagTVItems.dat")));
    m_changed = false;
}

void TagTree::load() {
    LoadTVItems(tagTreeView, m_bench.dataFile(QStringLiteral("TagTVItems.dat")));
}

void TagTree::selectNode(int index) {
    if (QTreeWidgetItem* node = tagNodeAt(index)) {
        tagTreeView->setCurrentItem(node);
        tagTreeView->scrollToItem(node);
    }
}

int TagTree::selectedNodeIndex() const {
    QTreeWidgetItem* selected = tagTreeView->currentItem();
    const bool isSelected = selected != nullptr && selected->isSelected();
    return isSelected ? int(PreOrder(tagTreeView).indexOf(selected)) : -1;
}

} // namespace velmora
