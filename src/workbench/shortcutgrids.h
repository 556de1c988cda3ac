#pragma once

#include <QObject>

class QRect;
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
    // Shows the common-tags popup under `anchor` (global coordinates), or hides it when it is shown.
    void toggleCommonTags(const QRect& anchor);

private:
    Workbench& m_bench;
    QWidget* scPanel = nullptr;
    QTableWidget* rzGrid = nullptr;
    QWidget* scPnl = nullptr;
    QTableWidget* tagGrid = nullptr;
};

} // namespace velmora
