#pragma once

#include <QTreeWidget>

#include <functional>

namespace velmora {

// The tag tree's drag and drop: only its own nodes may be dropped on it, the selected node becomes the last
// child of the node it is dropped on (or the last top-level node on empty space), never a node of its own
// subtree, and the group and leaf pictures follow the move.
class TagTreeWidget final : public QTreeWidget {
    Q_OBJECT

public:
    explicit TagTreeWidget(QWidget* parent = nullptr);

    // Called after every drop, moved or not: the tree counts as changed.
    std::function<void()> onDropped;

    // The drop itself, separate from the event so that it can be driven directly.
    void dropSelectedOn(QTreeWidgetItem* target);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace velmora
