#include "tagtreewidget.h"

#include "treeview.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QScrollBar>

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
    autoScroll(event->position().toPoint().y());
    event->acceptProposedAction();
}

void TagTreeWidget::autoScroll(int y) {
    QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() <= bar->minimum()) {
        return;
    }
    const int h = std::abs(fontMetrics().height());
    if (y < h) {
        bar->setValue(bar->value() - bar->singleStep());
    } else if (y > viewport()->height() - h - 16) {
        bar->setValue(bar->value() + bar->singleStep());
    }
    viewport()->update();
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
            if (oldParent != nullptr) {
                oldParent->removeChild(moved);
            } else {
                takeTopLevelItem(indexOfTopLevelItem(moved));
            }
            if (target != nullptr) {
                target->addChild(moved);
                target->setExpanded(true);
            } else {
                addTopLevelItem(moved);
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
