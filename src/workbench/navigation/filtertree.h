#pragma once

#include <QObject>
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace velmora {

class Workbench;

// The filter tree (filtTreeView): fixed one-click filters over the whole library.
class FilterTree final : public QObject {
    Q_OBJECT

public:
    FilterTree(Workbench& bench, QWidget* parent);

    QWidget* view() const;
    void filtTreeViewClick(QTreeWidgetItem* node);

Q_SIGNALS:
    // A filter empties the list before it asks, so a filter that finds nothing leaves the list empty.
    void listCleared();
    void positionsReady(const QString& positionList, bool clearSearch);

private:
    Workbench& m_bench;
    QTreeWidget* filtTreeView = nullptr;
};

} // namespace velmora
