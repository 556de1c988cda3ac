#include "tagtreewidget.h"

#include "treeview.h"

#include <QDragMoveEvent>
#include <QDropEvent>

namespace velmora {

namespace {

constexpr int kGroupImage = 1;
constexpr int kLeafImage = 3;

bool isInSubtreeOf(const QTreeWidgetItem* node, const QTreeWidgetItem* root) {
    for (const QTreeWidgetItem* at = node; at != nullptr; at = at->parent()) {
        if (at == root) {
            return true;
        }
    }
    return false;
}

} // namespace

TagTreeWidget::TagTreeWidget(QWidget* parent) : QTreeWidget(parent) {
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    // The scrolling near the edges is our own, a line at a time.
    setAutoScroll(false);
}

QItemSelectionModel::SelectionFlags TagTreeWidget::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    // Ctrl+click lists only the tag itself; it must not also toggle the selection off the node it lists.
    QItemSelectionModel::SelectionFlags flags = QTreeWidget::selectionCommand(index, event);
    if (flags.testFlag(QItemSelectionModel::Deselect)) {
        flags = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    }
    return flags;
}

void TagTreeWidget::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeWidget::currentChanged(current, previous);
    // The view's own auto-scroll is off for our line-by-line drag scrolling, and with it the view would no
    // longer follow the current node.
    if (current.isValid() && isVisible()) {
        scrollTo(current);
    }
}

void TagTreeWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TagTreeWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() != this) {
        event->ignore();
        return;
    }
    ScrollNearEdges(this, event->position().toPoint().y());
    event->acceptProposedAction();
}

void TagTreeWidget::dropEvent(QDropEvent* event) {
    if (event->source() != this) {
        event->ignore();
        return;
    }
    dropSelectedOn(itemAt(event->position().toPoint()));
    // The move is ours; the view must not move anything itself.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
}

void TagTreeWidget::dropSelectedOn(QTreeWidgetItem* target) {
    QTreeWidgetItem* moved = currentItem();
    if (moved != nullptr) {
        QTreeWidgetItem* oldParent = moved->parent();
        if (moved != target && !isInSubtreeOf(target, moved)) {
            if (target != nullptr) {
                MoveBranch(moved, target, -1);
                target->setExpanded(true);
            } else {
                MoveBranch(moved, nullptr, -1);
            }
            setCurrentItem(moved);
        }
        if (QTreeWidgetItem* parent = moved->parent(); parent != nullptr && ItemImage(parent) != kGroupImage) {
            SetItemImage(parent, kGroupImage);
        }
        if (oldParent != nullptr && oldParent->childCount() == 0) {
            SetItemImage(oldParent, kLeafImage);
        }
    }
    if (onDropped) {
        onDropped();
    }
}

} // namespace velmora
