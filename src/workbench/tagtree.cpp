// The tag tree: listing a tag's documents, counting tag use, and arranging the tags.

#include "common/appfolder.h"
#include "common/prompts.h"
#include "common/textcodec.h"
#include "store/pathfold.h"
#include "tagtreewidget.h"
#include "tmform.h"
#include "treeview.h"

#include <QAction>
#include <QLabel>

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

QTreeWidgetItem* takeNode(QTreeWidgetItem* node) {
    if (QTreeWidgetItem* parent = node->parent()) {
        parent->removeChild(node);
        return node;
    }
    QTreeWidget* tree = node->treeWidget();
    return tree->takeTopLevelItem(tree->indexOfTopLevelItem(node));
}

} // namespace

QString TmForm::GetTagQuery(QTreeWidgetItem* node) {
    QString query = node->text(0) + u' ';
    appendDescendants(node, query);
    return query;
}

bool TmForm::TagInTree(const QString& text) const {
    return FindTagNode(text) != nullptr;
}

QTreeWidgetItem* TmForm::FindTagNode(const QString& text) const {
    for (QTreeWidgetItem* node : PreOrder(tagTreeView)) {
        if (SameIgnoringAsciiCase(node->text(0), text)) {
            return node;
        }
    }
    return nullptr;
}

int TmForm::tagNodeIndex(QTreeWidgetItem* node) const {
    return int(PreOrder(tagTreeView).indexOf(node));
}

QTreeWidgetItem* TmForm::tagNodeAt(int index) const {
    const QList<QTreeWidgetItem*> nodes = PreOrder(tagTreeView);
    return index >= 0 && index < nodes.size() ? nodes.at(index) : nullptr;
}

void TmForm::tagTreeViewClick(QTreeWidgetItem* node, Qt::KeyboardModifiers modifiers) {
    if (node == nullptr) {
        return;
    }
    const QString tag = node->text(0);
    if (wzNumLabel->text().startsWith(tag + u' ')) {
        return;
    }
    setSetting(QStringLiteral("LastTag"), tag);
    const QString query = modifiers.testFlag(Qt::ControlModifier) ? tag : GetTagQuery(node);
    const QString list = wdMgr->GetListForLoadwzTV(query, modifiers.testFlag(Qt::ShiftModifier));
    if (!list.isEmpty()) {
        IncTagFrequency(tag);
        LoadArticleList(list, true);
    }
}

void TmForm::IncTagFrequency(const QString& tag) {
    const QString file = AppDataFolder() + QStringLiteral("TagsFre.ini");
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

QTreeWidgetItem* TmForm::selectedTagNode(bool report) {
    QTreeWidgetItem* node = tagTreeView->currentItem();
    if (node == nullptr || !node->isSelected()) {
        if (report) {
            ShowInfo(QStringLiteral("没有选定的标签"));
        }
        return nullptr;
    }
    return node;
}

void TmForm::pmNavTreeViewPopup() {
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

void TmForm::ItemToLeftClick() {
    QTreeWidgetItem* node = selectedTagNode(true);
    if (node == nullptr || ItemDepth(node) < 2) {
        return;
    }
    QTreeWidgetItem* grandparent = node->parent()->parent();
    grandparent->insertChild(0, takeNode(node));
    grandparent->setExpanded(true);
    tagTreeView->setCurrentItem(node);
    m_tagTreeChanged = true;
}

void TmForm::ItemToRightClick() {
    QTreeWidgetItem* node = selectedTagNode(true);
    if (node == nullptr || indexAmongSiblings(node) == 0) {
        return;
    }
    QTreeWidgetItem* previous = sibling(node, indexAmongSiblings(node) - 1);
    previous->addChild(takeNode(node));
    previous->setExpanded(true);
    tagTreeView->setCurrentItem(node);
    m_tagTreeChanged = true;
}

void TmForm::moveAmongSiblings(int step) {
    QTreeWidgetItem* node = selectedTagNode(true);
    if (node == nullptr) {
        return;
    }
    const int index = indexAmongSiblings(node);
    const int target = index + step;
    if (target < 0 || target >= siblingCount(node)) {
        return;
    }
    QTreeWidgetItem* parent = node->parent();
    // Taking a node out of the tree collapses it; it comes back as the user left it.
    const bool expanded = node->isExpanded();
    takeNode(node);
    if (parent != nullptr) {
        parent->insertChild(target, node);
    } else {
        tagTreeView->insertTopLevelItem(target, node);
    }
    node->setExpanded(expanded);
    tagTreeView->setCurrentItem(node);
    m_tagTreeChanged = true;
}

void TmForm::ItemUpClick() {
    moveAmongSiblings(-1);
}

void TmForm::ItemDownClick() {
    moveAmongSiblings(+1);
}

void TmForm::ItemDelTagClick() {
    QTreeWidgetItem* node = selectedTagNode(true);
    if (node == nullptr || node->childCount() > 0) {
        return;
    }
    if (AskYesNo(QStringLiteral("确定要删除选定的标签吗？"))) {
        delete takeNode(node);
        m_tagTreeChanged = true;
    }
}

void TmForm::ItemCollapseClick() {
    tagTreeView->collapseAll();
}

void TmForm::ItemTagSortClick() {
    if (tagTreeView->topLevelItemCount() == 0) {
        return;
    }
    QTreeWidgetItem* selected = tagTreeView->currentItem();
    QList<QTreeWidgetItem*> top;
    while (tagTreeView->topLevelItemCount() > 0) {
        top.append(tagTreeView->takeTopLevelItem(0));
    }
    sortChildren(top);
    tagTreeView->addTopLevelItems(top);
    if (selected != nullptr) {
        tagTreeView->setCurrentItem(selected);
    }
    SaveTagTree();
}

} // namespace velmora
