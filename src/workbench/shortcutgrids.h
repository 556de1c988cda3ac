#pragma once

#include <QObject>

class QTableWidget;
class QWidget;

namespace velmora {

class Workbench;

// The shortcut grids: the shortcut tags above the navigation (rzGrid in scPanel) and the popup of common tags
// (tagGrid in scPnl).
class ShortcutGrids final : public QObject {
    Q_OBJECT

public:
    ShortcutGrids(Workbench& bench, QWidget* navigation, QWidget* window);

    QWidget* panel() const;

private:
    Workbench& m_bench;
    QWidget* scPanel = nullptr;
    QTableWidget* rzGrid = nullptr;
    QWidget* scPnl = nullptr;
    QTableWidget* tagGrid = nullptr;
};

} // namespace velmora
