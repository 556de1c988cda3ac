#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QString>

class QAction;
class QMenu;
class QSplitter;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidgetItem;

namespace velmora {

class ArticleList;
class DocumentTabs;
class EbookWorkbook;
class FilterTree;
class FolderTree;
class Import;
class Information;
class Macros;
class Search;
class TextIndexBuildIndicator;
class CacheLevelPass;
class ShortcutGrids;
class TWordMgr;
class TagTree;
class TagsPanel;
class Workbench;
class WindowKeys;

// The main window: it builds one object per area, connects them, and runs start-up and shutdown in their
// orders. The areas own their controls; what other parts of the program call is forwarded here.
class TmForm final : public QMainWindow {
    Q_OBJECT

public:
    explicit TmForm(QWidget* parent = nullptr);
    ~TmForm() override;

    QString setting(const QString& key) const;
    void SaveSettings();
    TWordMgr& store();

    void LoadArticleList(const QString& positionList, bool clearSearch);
    void SortArticleList(QAction* keyItem);
    QAction* CheckedSortItem() const;
    void SelectSortItem(const QString& caption);

    static QString GetTagQuery(QTreeWidgetItem* node);
    bool TagInTree(const QString& text) const;
    QTreeWidgetItem* FindTagNode(const QString& text) const;
    void IncTagFrequency(const QString& tag);
    bool tagTreeChanged() const;
    void SaveTagTree();
    void tagTreeViewClick(QTreeWidgetItem* node, Qt::KeyboardModifiers modifiers);

    // Starts the shared office in the background, once the window is up, so that the first opening finds it
    // running instead of waiting seconds for it with the window frozen.
    void startOfficeEarly();
    // Brings the text index level with the cache in the background; false when it already is.
    bool buildTextIndexEarly();
    // Brings the caches level with the library's files that other programs changed, and watches their folders.
    void levelCachesEarly();

protected:
    bool focusNextPrevChild(bool next) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildLayout();
    void buildMenus();
    void buildToolbar();
    void buildNavigation(QWidget* left);
    void connectAreas();
    // The keyboard's round of the areas and its command keys, the right-click menus, and the office start shown
    // in the toolbar.
    void buildInput();

    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormClose();
    void FormDestroy();
    void RestoreWindowPlacement();
    void fitFrameToPlacement();
    // The window manager's frame around the window; null while it is not known.
    QMargins knownFrameMargins() const;
    void SaveWindowPlacement();
    void BtnUtilitiesClick();
    void ItemBackupClick();
    void ItemRelinkClick();
    void ItemWeiboClick();

    Workbench* m_bench = nullptr;
    bool m_activated = false;
    bool m_closed = false;
    bool m_shown = false;
    // The window was asked to close while an import ran; it closes once the import has stopped.
    bool m_closeAfterImport = false;
    // The outer rectangle the window was placed at, until the window manager's frame is known and the inner
    // size can be made to fit it.
    QRect m_wantedFrame;
    QTimer* m_frameCheck = nullptr;
    QElapsedTimer m_framePlacement;
    QMargins m_lastFrameMargins;
    QElapsedTimer m_frameMarginsSettled;

    ArticleList* m_articles = nullptr;
    TagTree* m_tags = nullptr;
    FilterTree* m_filters = nullptr;
    FolderTree* m_folders = nullptr;
    ShortcutGrids* m_shortcuts = nullptr;
    DocumentTabs* m_documents = nullptr;
    TagsPanel* m_tagsPanel = nullptr;
    Search* m_search = nullptr;
    TextIndexBuildIndicator* m_indexBuild = nullptr;
    CacheLevelPass* m_cacheLevel = nullptr;
    Import* m_import = nullptr;
    Information* m_information = nullptr;
    Macros* m_macros = nullptr;
    EbookWorkbook* m_ebook = nullptr;
    WindowKeys* m_keys = nullptr;

    QToolBar* RzToolbar = nullptr;
    QToolButton* RzToolButton1 = nullptr;
    QToolButton* tbtTree = nullptr;
    QToolButton* BtnUtilities = nullptr;
    QToolButton* btnHelp = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTabWidget* Page = nullptr;
    QMenu* pmMain = nullptr;
    QAction* ItemBackup = nullptr;
    QAction* ItemTagSort = nullptr;
    QAction* ItemWeibo = nullptr;
    QAction* m_quit = nullptr;
};

} // namespace velmora
