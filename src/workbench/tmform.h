#pragma once

#include "store/wordmgr.h"
#include "treefile.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QTabWidget;
class QTableWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace velmora {

class TagTreeWidget;

// The main window. Its areas live in one source file each: start-up and settings (tmform.cpp), layout
// (layout.cpp), the article list (articlelist.cpp), the tag tree (tagtree.cpp), the filter tree
// (filtertree.cpp) and the backup (backup.cpp).
class TmForm final : public QMainWindow {
    Q_OBJECT

public:
    explicit TmForm(QWidget* parent = nullptr);
    ~TmForm() override;

    // -- settings (the lines of settings.ini, held for the whole run) --
    QString setting(const QString& key) const;
    void setSetting(const QString& key, const QString& value);
    void SaveSettings();
    const QStringList& settingsList() const { return setList; }

    TWordMgr& store() { return *wdMgr; }

    // -- article list --
    void LoadArticleList(const QString& positionList, bool clearSearch);
    void SortArticleList(QAction* keyItem);
    QAction* CheckedSortItem() const;
    void SelectSortItem(const QString& caption);
    QString ArticleSortKey(QAction* keyItem, const QString& fullPath, const QString& articleText);

    // -- tag tree --
    static QString GetTagQuery(QTreeWidgetItem* node);
    bool TagInTree(const QString& text) const;
    QTreeWidgetItem* FindTagNode(const QString& text) const;
    void IncTagFrequency(const QString& tag);
    bool tagTreeChanged() const { return m_tagTreeChanged; }
    void setTagTreeChanged(bool changed) { m_tagTreeChanged = changed; }
    void SaveTagTree();
    void tagTreeViewClick(QTreeWidgetItem* node, Qt::KeyboardModifiers modifiers);

    // -- filter tree --
    void filtTreeViewClick(QTreeWidgetItem* node);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // start-up and shutdown
    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormClose();
    void FormDestroy();
    void RestoreWindowPlacement();
    void SaveWindowPlacement();
    void loadSavedTrees();
    void selectRememberedTagNode();
    void BtnUtilitiesClick();
    void Splitter1Moved();
    void reportError(const QString& text);

    // layout
    void buildLayout();
    void buildToolbar();
    void buildNavigation();
    void buildArticleColumn();
    void buildMainPanel();
    void buildMenus();
    void buildFilterTree();
    QToolButton* addToolButton(const QString& name, const QString& caption, const QString& hint);

    // article list
    void ItemTitleClick(QAction* keyItem);
    void ItemSortHighClick(QAction* directionItem);
    void sortEditLeftButtonClick();
    void sortEditRightButtonClick();
    void showArticleCount();
    bool sortAscendingChecked() const;
    static bool isNumberKey(QAction* keyItem);
    void fillArticles(const QList<QStringList>& rows);

    // tag tree
    void ItemTagSortClick();
    void ItemCollapseClick();
    void ItemToLeftClick();
    void ItemToRightClick();
    void ItemUpClick();
    void ItemDownClick();
    void ItemDelTagClick();
    void moveAmongSiblings(int step);
    void pmNavTreeViewPopup();
    QTreeWidgetItem* selectedTagNode(bool report);
    int tagNodeIndex(QTreeWidgetItem* node) const;
    QTreeWidgetItem* tagNodeAt(int index) const;

    // backup and notice
    void ItemBackupClick();
    void ItemWeiboClick();

    std::unique_ptr<TWordMgr> wdMgr;
    QStringList setList;
    bool m_tagTreeChanged = false;
    bool m_activated = false;
    bool m_closed = false;
    bool m_shown = false;

public:
    // Controls, named as the rest of the program and the tests know them (also their objectName).
    QToolBar* RzToolbar = nullptr;
    QToolButton* RzToolButton1 = nullptr;
    QToolButton* tbtTree = nullptr;
    QToolButton* tbtImport = nullptr;
    QLineEdit* schEdit = nullptr;
    QToolButton* tbtCreate = nullptr;
    QToolButton* tbtSave = nullptr;
    QToolButton* tbtSaveAll = nullptr;
    QToolButton* tbtTag = nullptr;
    QToolButton* tbtInfo = nullptr;
    QToolButton* tbtEmbed = nullptr;
    QToolButton* tbtMacro = nullptr;
    QToolButton* tbtXls = nullptr;
    QToolButton* BtnUtilities = nullptr;
    QToolButton* btnHelp = nullptr;

    QSplitter* Splitter1 = nullptr;
    QWidget* leftPanel = nullptr;
    QWidget* navPanel = nullptr;
    QWidget* scPanel = nullptr;
    QTableWidget* rzGrid = nullptr;
    QSplitter* scSplitter = nullptr;
    QWidget* filtPanel = nullptr;
    QTabWidget* Page = nullptr;
    TagTreeWidget* tagTreeView = nullptr;
    QTreeWidget* filtTreeView = nullptr;
    QTreeWidget* fdTreeView = nullptr;
    QToolBar* fdToolbar = nullptr;

    QWidget* wzPanel = nullptr;
    QLineEdit* sortEdit = nullptr;
    QAction* sortEditLeftButton = nullptr;
    QAction* sortEditRightButton = nullptr;
    QLabel* wzNumLabel = nullptr;
    QWidget* pnlSchOption = nullptr;
    QTreeWidget* wzTreeView = nullptr;

    QWidget* mPanel = nullptr;
    QWidget* tagPanel = nullptr;
    QTabWidget* Pager = nullptr;
    QWidget* scPnl = nullptr;
    QTableWidget* tagGrid = nullptr;
    QWidget* pnlClose = nullptr;

    QMenu* pmMain = nullptr;
    QMenu* pmSort = nullptr;
    QMenu* pmNavTreeView = nullptr;
    QMenu* pmMacro = nullptr;
    QAction* ItemTagSort = nullptr;
    QAction* ItemBackup = nullptr;
    QAction* ItemWeibo = nullptr;
    QList<QAction*> sortKeyItems;
    QAction* ItemSortHigh = nullptr;
    QAction* ItemSortLow = nullptr;
    QAction* ItemSort = nullptr;
    QAction* ItemCollapse = nullptr;
    QAction* ItemAddToSC = nullptr;
    QAction* ItemToLeft = nullptr;
    QAction* ItemToRight = nullptr;
    QAction* ItemUp = nullptr;
    QAction* ItemDown = nullptr;
    QAction* ItemDelTag = nullptr;
    QAction* GoBackAction = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* svTimer = nullptr;
};

// Item data roles of the tree widgets: the picture index and the integer state of a node.
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kStateRole = Qt::UserRole + 2;

} // namespace velmora
