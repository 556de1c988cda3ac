#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QRect;
class QTableWidget;
class QToolButton;
class QWidget;

namespace velmora {

class TagGrid;
class Workbench;

// The shortcut grids: the shortcut tags above the navigation (rzGrid in scPanel, saved in SCList.dat) and the
// floating panel of common tags (tagGrid in scPnl, saved in TagsList.dat).
class ShortcutGrids final : public QObject {
    Q_OBJECT

public:
    ShortcutGrids(Workbench& bench, QWidget* navigation, QWidget* window);

    // A tag as the tag tree knows it: the node's own text and the query of it and its descendants.
    struct TagNode {
        QString text;
        QString query;
    };
    // How a shortcut finds its tag in the tag tree; nothing when the tree has no such tag.
    void setTagLookup(std::function<std::optional<TagNode>(const QString&)> lookup) { m_lookup = std::move(lookup); }
    // The grids take drops only from this view, and a drop brings its selected node's text.
    void setTagSource(QWidget* tagTree);

    QWidget* panel() const;
    // Shows the common-tags panel under `anchor` (global coordinates), or hides it when it is shown.
    void toggleCommonTags(const QRect& anchor);

    void LoadSCList();
    void SaveSCList();
    void LoadTagsList();
    void SaveTagsList();
    // The tag tree's "当前标签添加到快捷方式" for its selected node.
    void ItemAddToSCClick(const QString& tag);

    // A cell became the selected one, by the mouse or the keys.
    void rzGridSelectCell(int row, int column, Qt::KeyboardModifiers modifiers);
    void tagGridSelectCell(int row, int column);
    // A tag tree node dropped onto a cell of either grid.
    void dropTagOnCell(QTableWidget* grid, int row, int column);

Q_SIGNALS:
    // A shortcut listed its tag's documents.
    void positionsReady(const QString& positionList, bool clearSearch);
    // A common tag is to be added to the tag edit.
    void commonTagClicked(const QString& tag);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btTagEditClick();
    void btTagSaveClick();
    void scSplitterMoved();
    void setEditMode(bool on);
    QString draggedTag() const;

    Workbench& m_bench;
    std::function<std::optional<TagNode>(const QString&)> m_lookup;
    QPointer<QWidget> m_tagSource;
    QWidget* scPanel = nullptr;
    TagGrid* rzGrid = nullptr;
    QWidget* scPnl = nullptr;
    TagGrid* tagGrid = nullptr;
    QToolButton* btTagEdit = nullptr;
    QToolButton* btTagSave = nullptr;
    QToolButton* btCloseSCPnl = nullptr;
};

// The cells of a grid in row-major order, and back.
QStringList GridCells(const QTableWidget* grid);
void SetGridCells(QTableWidget* grid, const QStringList& cells);

} // namespace velmora
