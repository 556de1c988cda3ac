#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace velmora {

class TnfForm;
class Workbench;

// The folder tree (fdTreeView) with its toolbar: disk folders arranged by the user, kept as the tree text
// FdTVItems.dat and the folder list fdlist.dat; a click lists a folder's documents, the toolbar and drops move
// documents into a folder.
class FolderTree final : public QObject {
    Q_OBJECT

public:
    // What is dragged over the tree: nothing of ours, a folder node, or articles of the article list.
    enum DragKind { NoDrag = 0, FolderDrag = 1, ArticleDrag = 2 };

    FolderTree(Workbench& bench, QWidget* parent);

    QWidget* page() const;
    void load();

    // The article list: its view (a drag from it carries articles) and its record positions in list order, all
    // or the selected ones.
    void setArticleSource(QWidget* view, std::function<QList<qint64>(bool selectedOnly)> positions);
    // The paths of the documents open in tabs: those are never moved.
    void setOpenDocuments(std::function<QStringList()> paths);
    // Where the new-folder dialog starts and where its folder picker starts: the user's documents folder.
    static QString startFolder();

    bool FolderInTree(const QString& name) const;
    QString GetFolderPath(const QString& name) const;
    void UpdateFdList(const QString& path, bool add);

    void fdNewClick();
    void btnSubNewClick();
    void btnAddFolderClick();
    void btnDelFolderClick();
    void btnMoveAllClick();
    void fdTreeViewClick(QTreeWidgetItem* node, Qt::KeyboardModifiers modifiers);
    // Returns whether the tree takes the drag that `source` started.
    bool fdTreeViewDragOver(const QObject* source);
    void fdTreeViewDragDrop(QTreeWidgetItem* target);
    void fdTreeViewDragLeave();
    DragKind dragKind() const { return m_dragKind; }

Q_SIGNALS:
    void positionsReady(const QString& positionList, bool clearSearch);
    // Documents of the library now live elsewhere.
    void documentsMoved();

private:
    QString listFile() const;
    void saveTree();
    QTreeWidgetItem* selectedFolder() const;
    bool runDialog(TnfForm& dialog);
    void addNode(QTreeWidgetItem* node, QTreeWidgetItem* parent);
    void moveArticlesInto(QTreeWidgetItem* node, const QList<qint64>& positions, bool countMissing);
    bool isOpen(const QString& path) const;

    Workbench& m_bench;
    QWidget* m_page = nullptr;
    QToolBar* fdToolbar = nullptr;
    QTreeWidget* fdTreeView = nullptr;
    QAction* fdNew = nullptr;
    QAction* btnSubNew = nullptr;
    QAction* btnAddFolder = nullptr;
    QAction* btnDelFolder = nullptr;
    QAction* btnMoveAll = nullptr;
    DragKind m_dragKind = NoDrag;
    const QObject* m_articleView = nullptr;
    std::function<QList<qint64>(bool)> m_articlePositions;
    std::function<QStringList()> m_openDocuments;
};

} // namespace velmora
