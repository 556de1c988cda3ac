#pragma once

#include "workbench/core/treefile.h"

#include <QList>
#include <Qt>

class QTreeWidget;
class QTreeWidgetItem;

namespace velmora {

// Item data roles of the tree widgets: the picture index and the integer state of a node.
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kStateRole = Qt::UserRole + 2;

QTreeWidgetItem* MakeTreeItem(const QString& text, int image, qint32 state = -1);
int ItemImage(const QTreeWidgetItem* item);
qint32 ItemState(const QTreeWidgetItem* item);
// Sets the picture index and shows its picture.
void SetItemImage(QTreeWidgetItem* item, int image);

// Every node in pre-order, collapsed or not: a node's place in it is its absolute index.
QList<QTreeWidgetItem*> PreOrder(const QTreeWidget* view);
int ItemDepth(const QTreeWidgetItem* item);

// Takes a node out of its parent or out of the top level of its tree.
QTreeWidgetItem* TakeNode(QTreeWidgetItem* node);
// Moves a node with its branch under `parent` (the top level of its tree when null) at `index` (the end when negative).
// A node taken out of a view forgets which of its nodes were expanded; the branch comes back as the user left it.
void MoveBranch(QTreeWidgetItem* node, QTreeWidgetItem* parent, int index);

// The expanded nodes of a view, to be expanded again after its nodes were taken out and put back.
class ExpandedNodes final {
public:
    explicit ExpandedNodes(const QTreeWidget* view);
    explicit ExpandedNodes(const QTreeWidgetItem* branch);
    void restore() const;

private:
    QList<QTreeWidgetItem*> m_nodes;
};

// While something is dragged over a tree: one line up when the pointer is within a font height of the top edge,
// one line down near the bottom edge, then a repaint.
void ScrollNearEdges(QTreeWidget* view, int y);

Tree TreeFromWidget(const QTreeWidget* view);
void FillTreeWidget(QTreeWidget* view, const Tree& tree);

// The tree files of a view: nothing happens when the file to load does not exist.
void SaveTVItems(const QTreeWidget* view, const QString& fileName);
bool LoadTVItems(QTreeWidget* view, const QString& fileName);

} // namespace velmora
