#pragma once

#include "treefile.h"

#include <QList>

class QTreeWidget;
class QTreeWidgetItem;

namespace velmora {

QTreeWidgetItem* MakeTreeItem(const QString& text, int image, qint32 state = -1);
int ItemImage(const QTreeWidgetItem* item);
qint32 ItemState(const QTreeWidgetItem* item);
// Sets the picture index and shows its picture.
void SetItemImage(QTreeWidgetItem* item, int image);

// Every node in pre-order, collapsed or not: a node's place in it is its absolute index.
QList<QTreeWidgetItem*> PreOrder(const QTreeWidget* view);
int ItemDepth(const QTreeWidgetItem* item);

Tree TreeFromWidget(const QTreeWidget* view);
void FillTreeWidget(QTreeWidget* view, const Tree& tree);

// The tree files of a view: nothing happens when the file to load does not exist.
void SaveTVItems(const QTreeWidget* view, const QString& fileName);
bool LoadTVItems(QTreeWidget* view, const QString& fileName);

} // namespace velmora
