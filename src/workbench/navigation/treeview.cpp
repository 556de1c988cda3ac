#include "treeview.h"

#include "workbench/imagelist.h"

#include <QScrollBar>
#include <QTreeWidget>

namespace velmora {

namespace {

void appendPreOrder(QTreeWidgetItem* item, QList<QTreeWidgetItem*>& nodes) {
    nodes.append(item);
    for (int i = 0; i < item->childCount(); ++i) {
        appendPreOrder(item->child(i), nodes);
    }
}

TreeNode nodeFromItem(const QTreeWidgetItem* item) {
    TreeNode node{item->text(0), ItemImage(item), ItemState(item), {}};
    node.children.reserve(size_t(item->childCount()));
    for (int i = 0; i < item->childCount(); ++i) {
        node.children.push_back(nodeFromItem(item->child(i)));
    }
    return node;
}

QTreeWidgetItem* itemFromNode(const TreeNode& node) {
    QTreeWidgetItem* item = MakeTreeItem(node.text, node.image, node.state);
    for (const TreeNode& child : node.children) {
        item->addChild(itemFromNode(child));
    }
    return item;
}

void appendExpanded(QTreeWidgetItem* item, QList<QTreeWidgetItem*>& nodes) {
    if (item->isExpanded()) {
        nodes.append(item);
    }
    for (int i = 0; i < item->childCount(); ++i) {
        appendExpanded(item->child(i), nodes);
    }
}

} // namespace

ExpandedNodes::ExpandedNodes(const QTreeWidget* view) {
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        appendExpanded(view->topLevelItem(i), m_nodes);
    }
}

ExpandedNodes::ExpandedNodes(const QTreeWidgetItem* branch) {
    appendExpanded(const_cast<QTreeWidgetItem*>(branch), m_nodes);
}

void ExpandedNodes::restore() const {
    for (QTreeWidgetItem* node : m_nodes) {
        node->setExpanded(true);
    }
}

QTreeWidgetItem* TakeNode(QTreeWidgetItem* node) {
    if (QTreeWidgetItem* parent = node->parent()) {
        parent->removeChild(node);
        return node;
    }
    QTreeWidget* tree = node->treeWidget();
    return tree->takeTopLevelItem(tree->indexOfTopLevelItem(node));
}

void MoveBranch(QTreeWidgetItem* node, QTreeWidgetItem* parent, int index) {
    QTreeWidget* tree = node->treeWidget();
    const ExpandedNodes expanded(node);
    TakeNode(node);
    if (parent != nullptr) {
        parent->insertChild(index < 0 ? parent->childCount() : index, node);
    } else {
        tree->insertTopLevelItem(index < 0 ? tree->topLevelItemCount() : index, node);
    }
    expanded.restore();
}

QTreeWidgetItem* MakeTreeItem(const QString& text, int image, qint32 state) {
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kStateRole, state);
    SetItemImage(item, image);
    return item;
}

int ItemImage(const QTreeWidgetItem* item) {
    return item->data(0, kImageRole).toInt();
}

qint32 ItemState(const QTreeWidgetItem* item) {
    const QVariant state = item->data(0, kStateRole);
    return state.isValid() ? state.toInt() : -1;
}

void SetItemImage(QTreeWidgetItem* item, int image) {
    item->setData(0, kImageRole, image);
    item->setIcon(0, AppImage(image));
}

QList<QTreeWidgetItem*> PreOrder(const QTreeWidget* view) {
    QList<QTreeWidgetItem*> nodes;
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        appendPreOrder(view->topLevelItem(i), nodes);
    }
    return nodes;
}

int ItemDepth(const QTreeWidgetItem* item) {
    int depth = 0;
    for (const QTreeWidgetItem* parent = item->parent(); parent != nullptr; parent = parent->parent()) {
        ++depth;
    }
    return depth;
}

void ScrollNearEdges(QTreeWidget* view, int y) {
    QScrollBar* bar = view->verticalScrollBar();
    if (bar->maximum() <= bar->minimum()) {
        return;
    }
    const int h = std::abs(view->fontMetrics().height());
    if (y < h) {
        bar->setValue(bar->value() - bar->singleStep());
    } else if (y > view->viewport()->height() - h - 16) {
        bar->setValue(bar->value() + bar->singleStep());
    }
    view->viewport()->update();
}

Tree TreeFromWidget(const QTreeWidget* view) {
    Tree tree;
    tree.reserve(size_t(view->topLevelItemCount()));
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        tree.push_back(nodeFromItem(view->topLevelItem(i)));
    }
    return tree;
}

void FillTreeWidget(QTreeWidget* view, const Tree& tree) {
    view->setUpdatesEnabled(false);
    view->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(tree.size()));
    for (const TreeNode& node : tree) {
        items.append(itemFromNode(node));
    }
    view->addTopLevelItems(items);
    view->setUpdatesEnabled(true);
}

void SaveTVItems(const QTreeWidget* view, const QString& fileName) {
    SaveTreeFile(fileName, TreeFromWidget(view));
}

bool LoadTVItems(QTreeWidget* view, const QString& fileName) {
    Tree tree;
    if (!LoadTreeFile(fileName, tree)) {
        return false;
    }
    FillTreeWidget(view, tree);
    return true;
}

} // namespace velmora
