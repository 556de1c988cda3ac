#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class QTreeWidgetItem;
class QWidget;

namespace velmora {

class TagTreeWidget;
class Workbench;

// The tag tree (tagTreeView) and its menu (pmNavTreeView): listing a tag's documents, counting tag use in
// TagsFre.ini, and arranging the tags.
class TagTree final : public QObject {
    Q_OBJECT

public:
    TagTree(Workbench& bench, QWidget* parent);

    // The view for the navigation tabs, and the menu for the toolbar's tag button.
    QWidget* view() const;
    QMenu* menu() const;

    static QString GetTagQuery(QTreeWidgetItem* node);
    bool TagInTree(const QString& text) const;
    QTreeWidgetItem* FindTagNode(const QString& text) const;
    void IncTagFrequency(const QString& tag);
    // Each of `tags` that no node has, at any depth and in any letter case, becomes a leaf at the end of the
    // top level, as velmoradb adds them to the tree file; the tree is then marked changed.
    void addTagNodes(const QStringList& tags);
    void tagTreeViewClick(QTreeWidgetItem* node, Qt::KeyboardModifiers modifiers);

    bool tagTreeChanged() const { return m_changed; }
    void SaveTagTree();
    void ItemTagSortClick();

    // Start-up and shutdown: TagTVItems.dat, and the node remembered as LastNode (its absolute index).
    void load();
    void selectNode(int index);
    int selectedNodeIndex() const;

Q_SIGNALS:
    void positionsReady(const QString& positionList, bool clearSearch);
    void treeChanged();
    // "当前标签添加到快捷方式" for the selected node.
    void addToShortcutsWanted(const QString& tag);

private:
    void ItemCollapseClick();
    void ItemToLeftClick();
    void ItemToRightClick();
    void ItemUpClick();
    void ItemDownClick();
    void ItemDelTagClick();
    void moveAmongSiblings(int step);
    void pmNavTreeViewPopup();
    void markChanged();
    QTreeWidgetItem* selectedTagNode(bool report) const;
    QTreeWidgetItem* tagNodeAt(int index) const;

    Workbench& m_bench;
    bool m_changed = false;
    TagTreeWidget* tagTreeView = nullptr;
    QMenu* pmNavTreeView = nullptr;
    QAction* ItemSort = nullptr;
    QAction* ItemCollapse = nullptr;
    QAction* ItemAddToSC = nullptr;
    QAction* ItemToLeft = nullptr;
    QAction* ItemToRight = nullptr;
    QAction* ItemUp = nullptr;
    QAction* ItemDown = nullptr;
    QAction* ItemDelTag = nullptr;
};

} // namespace velmora
