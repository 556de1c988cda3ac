#include "tmform.h"

#include "application.h"
#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/prompts.h"
#include "controls.h"
#include "imagelist.h"
#include "shell.h"
#include "store/pathfold.h"
#include "store/wordmgr.h"
#include "workbench.h"
#include "workbench/core/backup.h"
#include "workbench/core/tagstrip.h"
#include "workbench/core/texts.h"
#include "workbench/dialogs/fmsetting.h"
#include "workbench/dialogs/information.h"
#include "workbench/dialogs/macros.h"
#include "workbench/import/import.h"
#include "workbench/import/importrun.h"
#include "workbench/navigation/articlelist.h"
#include "workbench/navigation/filtertree.h"
#include "workbench/navigation/foldertree.h"
#include "workbench/navigation/shortcutgrids.h"
#include "workbench/navigation/tagtree.h"
#include "workbench/search/cachelevel.h"
#include "workbench/search/indexbuild.h"
#include "workbench/search/relinkrun.h"
#include "workbench/search/search.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tabs/ebookworkbook.h"
#include "workbench/tabs/tagspanel.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int kDefaultAutoSaveMinutes = 5;
constexpr int kNavigationWidth = 180;
const QString kUpdatePage = QStringLiteral("https://velmora.app/updates");

// Each step of start-up and shutdown is tried on its own: one file that cannot be read or written must not keep
// the others from being handled.
template <typename Work>
void reportedStep(Work&& work) {
    try {
        work();
    } catch (const VelmoraError& error) {
        ReportError(error.message());
    }
}

} // namespace

TmForm::TmForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mForm"));
    m_bench = new Workbench(this);
    buildLayout();
    connectAreas();
    buildInput();
    FormCreate();
}

TmForm::~TmForm() {
    FormDestroy();
}

// -- layout --

void TmForm::buildLayout() {
    resize(1180, 760);
    setWindowIcon(ProgramIcon());
    Describe(this, QStringLiteral("Velmora"));
    buildMenus();
    buildToolbar();

    Splitter1 = Named(new QSplitter(Qt::Horizontal, this), QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    auto* leftPanel = Named(new QWidget(Splitter1), QStringLiteral("leftPanel"));
    auto* leftLayout = new QHBoxLayout(leftPanel);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(1);
    buildNavigation(leftPanel);
    m_articles = new ArticleList(*m_bench, leftPanel);
    m_articles->placeAbove(m_search->options());
    leftLayout->addWidget(m_articles->widget(), 1);

    auto* mPanel = Named(new QWidget(Splitter1), QStringLiteral("mPanel"));
    auto* right = new QVBoxLayout(mPanel);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    m_tagsPanel = new TagsPanel(*m_bench, RzToolbar, mPanel);
    m_documents = new DocumentTabs(*m_bench, RzToolbar, mPanel);
    right->addWidget(m_tagsPanel->panel());
    right->addWidget(m_documents->pager(), 1);
    addAction(m_documents->goBackAction());

    Splitter1->addWidget(leftPanel);
    Splitter1->addWidget(mPanel);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({430, 750});
    setCentralWidget(Splitter1);

    m_import = new Import(*m_bench, RzToolbar);
    m_information = new Information(*m_bench, RzToolbar);
    m_macros = new Macros(*m_bench, RzToolbar);
    m_ebook = new EbookWorkbook(*m_bench, RzToolbar);

    // The toolbar in its order.
    RzToolbar->addWidget(RzToolButton1);
    RzToolbar->addWidget(tbtTree);
    RzToolbar->addWidget(m_import->toolButton());
    RzToolbar->addWidget(m_search->box());
    for (QWidget* button : m_documents->fileButtons()) {
        RzToolbar->addWidget(button);
    }
    RzToolbar->addWidget(m_tagsPanel->toolButton());
    RzToolbar->addWidget(m_information->toolButton());
    RzToolbar->addWidget(m_documents->embedButton());
    RzToolbar->addWidget(m_macros->toolButton());
    // The e-book workbook's button is never shown; it stays out of the toolbar's layout, because an action the
    // toolbar hides is disabled too, and the button itself works.
    m_ebook->toolButton()->hide();
    RzToolbar->addWidget(BtnUtilities);
    RzToolbar->addWidget(btnHelp);

    // Qt's button for the tools a narrow toolbar cannot show has no name a screen reader could tell.
    for (QToolButton* button : findChildren<QToolButton*>()) {
        if (button->inherits("QToolBarExtension")) {
            Describe(button, QStringLiteral("更多工具"));
        }
    }

    m_quit = Named(new QAction(QStringLiteral("退出"), this), QStringLiteral("ItemQuit"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setShortcutContext(Qt::ApplicationShortcut);
    addAction(m_quit);
    connect(m_quit, &QAction::triggered, this, &QWidget::close);
}

void TmForm::buildMenus() {
    pmMain = Named(new QMenu(this), QStringLiteral("pmMain"));
    Describe(pmMain, QStringLiteral("菜单"));
    const QList<std::pair<const char*, const char*>> mainItems{
        {"ItemNew", "新建word文档"},
        {"ItemSave", "保存"},
        {"ItemSaveAll", "保存全部文档"},
        {"ItemSaveAs", "另存为"},
        {"ItemClose", "关闭"},
        {"ItemDelDoc", "移除当前word文档"},
        {nullptr, nullptr},
        {"ItemImport", "导入word文档"},
        {"ItemRelink", "查找丢失的文档…"},
        {nullptr, nullptr},
        {"ItemSearch", "文档搜索"},
        {"ItemDocTags", "文档标签"},
        {"ItemInfo", "文档信息"},
        {"ItemBackup", "备份数据信息(不包括word文档)"},
        {nullptr, nullptr},
        {"ItemTagSort", "标签节点排序"},
        {nullptr, nullptr},
        {"ItemWeibo", "关注更新"},
    };
    for (const auto& [name, caption] : mainItems) {
        if (name == nullptr) {
            pmMain->addSeparator();
            continue;
        }
        // Document actions come with the document tabs; "文档搜索" has no action at all.
        MarkNotBuilt(NamedAction(pmMain, QString::fromLatin1(name), QString::fromUtf8(caption)));
    }
    ItemBackup = pmMain->findChild<QAction*>(QStringLiteral("ItemBackup"));
    ItemTagSort = pmMain->findChild<QAction*>(QStringLiteral("ItemTagSort"));
    ItemWeibo = pmMain->findChild<QAction*>(QStringLiteral("ItemWeibo"));
    QAction* ItemRelink = pmMain->findChild<QAction*>(QStringLiteral("ItemRelink"));
    for (QAction* item : {ItemBackup, ItemTagSort, ItemWeibo, ItemRelink}) {
        item->setEnabled(true);
        item->setToolTip(item->text());
        item->setStatusTip(QString());
    }
    ConnectReported(ItemBackup, &QAction::triggered, this, [this] { ItemBackupClick(); });
    ConnectReported(ItemWeibo, &QAction::triggered, this, [this] { ItemWeiboClick(); });
    ConnectReported(ItemRelink, &QAction::triggered, this, [this] { ItemRelinkClick(); });
}

void TmForm::buildToolbar() {
    RzToolbar = Named(new QToolBar(this), QStringLiteral("RzToolbar"));
    RzToolbar->setMovable(false);
    RzToolbar->setIconSize(QSize(18, 18));
    RzToolbar->setMinimumHeight(29);
    Describe(RzToolbar, QStringLiteral("工具栏"));
    addToolBar(Qt::TopToolBarArea, RzToolbar);

    RzToolButton1 = MakeToolButton(RzToolbar, QStringLiteral("RzToolButton1"), QStringLiteral("菜单"), QString());
    DropDownMenu(RzToolButton1, pmMain);
    tbtTree = MakeToolButton(RzToolbar, QStringLiteral("tbtTree"), QString(), QStringLiteral("导航标签操作"));
    m_search = new Search(*m_bench, RzToolbar, this);
    BtnUtilities = MakeToolButton(RzToolbar, QStringLiteral("BtnUtilities"), QStringLiteral("Utilities"),
                                  QStringLiteral("程序设置"));
    ConnectReported(BtnUtilities, &QToolButton::clicked, this, [this] { BtnUtilitiesClick(); });
    btnHelp = MakeToolButton(RzToolbar, QStringLiteral("btnHelp"), QString(), QStringLiteral("帮助"));
}

void TmForm::buildNavigation(QWidget* left) {
    auto* navPanel = Named(new QWidget(left), QStringLiteral("navPanel"));
    navPanel->setFixedWidth(kNavigationWidth);
    auto* layout = new QVBoxLayout(navPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* scSplitter = Named(new QSplitter(Qt::Vertical, navPanel), QStringLiteral("scSplitter"));
    scSplitter->setChildrenCollapsible(false);
    m_shortcuts = new ShortcutGrids(*m_bench, scSplitter, this);

    Page = Named(new QTabWidget, QStringLiteral("Page"));
    Page->setDocumentMode(true);
    Describe(Page, QStringLiteral("导航与筛选"));
    m_tags = new TagTree(*m_bench, Page);
    m_filters = new FilterTree(*m_bench, Page);
    m_folders = new FolderTree(*m_bench, Page);
    Page->addTab(m_tags->view(), QStringLiteral("标签"));
    Page->addTab(m_filters->view(), QStringLiteral("筛选"));
    Page->addTab(m_folders->page(), QStringLiteral("文件夹"));
    DropDownMenu(tbtTree, m_tags->menu());

    QWidget* filtPanel = CaptionedPanel(QStringLiteral("filtPanel"), QStringLiteral("导航与筛选"), Page, scSplitter);
    scSplitter->addWidget(m_shortcuts->panel());
    scSplitter->addWidget(filtPanel);
    scSplitter->setSizes({132, 600});
    scSplitter->setStretchFactor(1, 1);
    layout->addWidget(scSplitter);
    left->layout()->addWidget(navPanel);
}

void TmForm::connectAreas() {
    // A list is loaded by a handler of its own, so that an error in it is reported as the tree's click goes on.
    // A search still running would put its result over the list clicked for, so it is cancelled first.
    auto load = [this](const QString& list, bool clearSearch) {
        m_search->cancel();
        m_articles->LoadArticleList(list, clearSearch);
    };
    ConnectReported(m_tags, &TagTree::positionsReady, this, load);
    ConnectReported(m_filters, &FilterTree::positionsReady, this, load);
    ConnectReported(m_folders, &FolderTree::positionsReady, this, load);
    // The folder tree moves the article list's documents, never one open in a tab.
    m_folders->setArticleSource(m_articles->view(),
                                [this](bool selectedOnly) { return m_articles->articlePositions(selectedOnly); });
    const auto openDocuments = [this] {
        QStringList paths;
        for (int i = 0; i < m_documents->tabCount(); ++i) {
            paths.append(m_documents->tabAt(i)->path);
        }
        return paths;
    };
    m_folders->setOpenDocuments(openDocuments);
    connect(m_folders, &FolderTree::documentsMoved, m_articles, &ArticleList::showArticlePaths);
    connect(m_filters, &FilterTree::listCleared, m_search, &Search::cancel);
    connect(m_filters, &FilterTree::listCleared, m_articles, &ArticleList::clearArticles);
    ConnectReported(m_search, &Search::positionsReady, this,
                    [this](const QString& list, bool clearSearch) { m_articles->LoadArticleList(list, clearSearch); });
    connect(m_search, &Search::nothingFound, m_articles, &ArticleList::showNothingFound);
    m_search->setSources({[this] { return m_articles->articlePositions(false); }, openDocuments});
    addAction(m_search->findAction());
    connect(m_articles, &ArticleList::searchCleared, m_search, &Search::clearBox);
    connect(m_articles, &ArticleList::widthChanged, m_search, &Search::followColumnWidth);
    ConnectReported(ItemTagSort, &QAction::triggered, this, [this] { m_tags->ItemTagSortClick(); });

    // The tags strip: its new tags become nodes of the tag tree, the menu toggles it like its toolbar button,
    // and its quick-tags button opens the common tags under the tag edit.
    connect(m_tagsPanel, &TagsPanel::tagsAdded, m_tags, &TagTree::addTagNodes);
    connect(m_tagsPanel, &TagsPanel::commonTagsWanted, m_shortcuts, &ShortcutGrids::toggleCommonTags);
    QAction* ItemDocTags = pmMain->findChild<QAction*>(QStringLiteral("ItemDocTags"));
    ItemDocTags->setEnabled(true);
    ItemDocTags->setToolTip(ItemDocTags->text());
    ItemDocTags->setStatusTip(QString());
    ConnectReported(ItemDocTags, &QAction::triggered, this, [this] { m_tagsPanel->tbtTagClick(); });
    // The document tabs: the strip above them, the article list and the menu items they answer.
    m_documents->setTagStrip(m_tagsPanel);
    ConnectReported(m_tagsPanel, &TagsPanel::saveAsRequested, this, [this] { m_documents->saveAsFromStrip(); });
    connect(m_tagsPanel, &TagsPanel::closeAreaWanted, m_documents, [this] { m_documents->ShowCloseArea(true); });
    ConnectReported(m_documents, &DocumentTabs::tagStripToggleWanted, this, [this] { m_tagsPanel->tbtTagClick(); });
    ConnectReported(m_documents, &DocumentTabs::tagStripShowWanted, this, [this] { m_tagsPanel->showStrip(); });
    connect(m_documents, &DocumentTabs::tagEditFitWanted, m_tagsPanel, &TagsPanel::FitTagEdit);
    connect(m_documents, &DocumentTabs::tagStripHideWanted, m_tagsPanel, &TagsPanel::hideStrip);
    // The e-book workbook shows its workbooks in the document tabs.
    m_ebook->setWorkbookTabs(m_documents);
    ConnectReported(m_documents, &DocumentTabs::tagTreeSaveWanted, this, [this] {
        if (m_tags->tagTreeChanged()) {
            m_tags->SaveTagTree();
        }
    });
    auto item = [this](const char* name) { return pmMain->findChild<QAction*>(QString::fromLatin1(name)); };
    m_documents->attachMenu(item("ItemNew"), item("ItemSave"), item("ItemSaveAll"), item("ItemSaveAs"),
                            item("ItemClose"), item("ItemDelDoc"));
    ConnectReported(m_articles, &ArticleList::articleActivated, this, [this](qint64 position) {
        // A macro list that cannot be read is reported; the document still opens.
        if (!QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier)) {
            RunReported([this] { m_macros->LoadMacroMenu(); });
        }
        QWidget* list = m_articles->view();
        list->setEnabled(false);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([list] {
            list->setEnabled(true);
            QGuiApplication::restoreOverrideCursor();
        });
        if (m_tags->tagTreeChanged()) {
            m_tags->SaveTagTree();
        }
        m_documents->OpenADocByPos(position);
    });
    ConnectReported(btnHelp, &QToolButton::clicked, this, [this] { m_documents->btnHelpClick(); });
    ConnectReported(m_documents, &DocumentTabs::newDocumentStarting, this, [this] { m_macros->LoadMacroMenu(); });
    connect(m_documents, &DocumentTabs::creatingDocument, this,
            [this](bool running) { m_articles->view()->setEnabled(!running); });
    m_macros->setWindowReleased([this] {
        const DocTab* tab = m_documents->activeTab();
        return tab != nullptr && tab->released;
    });
    // The document information: the toolbar button and the menu item.
    QAction* ItemInfo = item("ItemInfo");
    ItemInfo->setEnabled(true);
    ItemInfo->setToolTip(ItemInfo->text());
    ItemInfo->setStatusTip(QString());
    ConnectReported(ItemInfo, &QAction::triggered, this, [this] { m_information->tbtInfoClick(); });

    // The shortcut grids find their tags in the tag tree, take drops from it, and list like it.
    m_shortcuts->setTagSource(m_tags->view());
    m_shortcuts->setTagLookup([this](const QString& tag) -> std::optional<ShortcutGrids::TagNode> {
        QTreeWidgetItem* node = m_tags->FindTagNode(tag);
        if (node == nullptr) {
            return std::nullopt;
        }
        return ShortcutGrids::TagNode{node->text(0), TagTree::GetTagQuery(node)};
    });
    ConnectReported(m_shortcuts, &ShortcutGrids::positionsReady, this, load);
    connect(m_shortcuts, &ShortcutGrids::commonTagClicked, m_tagsPanel, &TagsPanel::addCommonTag);
    ConnectReported(m_tags, &TagTree::addToShortcutsWanted, this,
                    [this](const QString& tag) { m_shortcuts->ItemAddToSCClick(tag); });
    connect(m_documents, &DocumentTabs::articleRenamed, m_articles, &ArticleList::RenameArticleNode);
    connect(m_documents, &DocumentTabs::articleRemoved, m_articles, &ArticleList::RemoveArticleNode);

    // The import: its documents fill the article list, its new tags become tag tree nodes through the strip,
    // and while it runs nothing that could start other work is enabled.
    m_import->setTagStrip(m_tagsPanel);
    QAction* ItemImport = item("ItemImport");
    ItemImport->setEnabled(true);
    ItemImport->setToolTip(ItemImport->text());
    ItemImport->setStatusTip(QString());
    ConnectReported(ItemImport, &QAction::triggered, this, [this] { m_import->tbtImportClick(); });
    connect(m_import, &Import::articlesCleared, m_articles, &ArticleList::clearArticles);
    connect(m_import, &Import::articleImported, m_articles, &ArticleList::appendArticle);
    connect(m_import, &Import::runningChanged, this, [this](bool running) {
        RzToolbar->setEnabled(!running);
        Splitter1->widget(0)->setEnabled(!running);
        pmMain->setEnabled(!running);
    });
    connect(m_import, &Import::finished, this, [this] {
        if (m_closeAfterImport) {
            m_closeAfterImport = false;
            close();
        }
    });
    connect(m_import, &Import::closeAreaToggleWanted, this, [this] {
        if (auto* closeArea = findChild<QToolButton*>(QStringLiteral("pnlClose"))) {
            closeArea->setAutoRaise(!closeArea->autoRaise());
            closeArea->setAutoFillBackground(!closeArea->autoRaise());
        }
    });
    setAcceptDrops(true);
}

// -- start-up --

void TmForm::FormCreate() {
    setWindowTitle(QStringLiteral("%1 %2").arg(kProgramName, QCoreApplication::applicationVersion()));
    reportedStep([] { PrepareDataFolder(); });
    try {
        m_bench->open();
    } catch (const VelmoraError& error) {
        if (!m_bench->hasStore()) {
            throw;
        }
        ReportError(error.message());
    }
    // A torn tail is harmless to reading (it is never a record) but tells of an earlier failure the user should know.
    if (m_bench->hasStore() && m_bench->store().TornRecordBytes() > 0) {
        ReportError(QStringLiteral("记录文件末尾有不完整的记录: %1").arg(m_bench->store().RecordFileName()));
    }
    // A damaged file is reported and its tree keeps its designed content; start-up goes on.
    reportedStep([this] { m_tags->load(); });
    reportedStep([this] { m_articles->loadSaved(); });
    reportedStep([this] { m_folders->load(); });
    const int lastNode = m_bench->settings().number(SettingKey::LastNode, -1);
    if (lastNode >= 0) {
        m_tags->selectNode(lastNode);
    }
    m_documents->startAutoSave(m_bench->settings().number(SettingKey::AutoSaveInterval, kDefaultAutoSaveMinutes));
    m_articles->SelectSortItem(m_bench->settings().value(SettingKey::SortType));
    reportedStep([this] { m_shortcuts->LoadSCList(); });
    reportedStep([this] { m_shortcuts->LoadTagsList(); });
}

void TmForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TmForm::FormShow() {
    RestoreWindowPlacement();
}

void TmForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
    }
}

void TmForm::FormActivate() {
    if (m_activated) {
        return;
    }
    m_activated = true;
}

// -- shutdown --

void TmForm::closeEvent(QCloseEvent* event) {
    // An import lets window events through between its files; the window must outlive its loop.
    if (m_import->running()) {
        event->ignore();
        if (AskYesNo(QStringLiteral("正在导入文档，要停止导入并关闭窗口吗？"))) {
            m_closeAfterImport = true;
            m_import->requestCancel();
        }
        return;
    }
    // Nothing unsaved is closed without the user's word: a cancelled question keeps the window open.
    if (!m_closed && !m_documents->prepareClose()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TmForm::FormClose() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    m_search->cancel();
    m_indexBuild->stop();
    m_cacheLevel->stop();
    m_documents->saveAndReleaseAll();
    reportedStep([this] { SaveWindowPlacement(); });
    reportedStep([this] {
        if (m_tags->tagTreeChanged()) {
            m_tags->SaveTagTree();
        }
    });
    reportedStep([this] {
        m_bench->settings().set(SettingKey::LastNode, QString::number(m_tags->selectedNodeIndex()));
        m_bench->saveSettings();
    });
    reportedStep([this] { m_articles->saveList(); });
}

void TmForm::FormDestroy() {
    m_bench->settings().clear();
    reportedStep([this] { m_bench->closeStore(); });
}

// -- handlers of the window itself --

namespace {

// The Word files among dropped local files and folders, folders listed with their sub-folders.
QStringList DroppedWordFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        const QFileInfo dropped(url.toLocalFile());
        if (dropped.isDir()) {
            files += ListImportFiles(dropped.absoluteFilePath() + QDir::separator(), true);
        } else if (dropped.isFile() && IsWordFileName(dropped.fileName())) {
            files.append(dropped.absoluteFilePath());
        }
    }
    return files;
}

} // namespace

void TmForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_import->running() && event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TmForm::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedWordFiles(event->mimeData());
    if (files.isEmpty() || m_import->running()) {
        return;
    }
    event->acceptProposedAction();
    // The dialog is shown after the drop has ended, so that the file manager is not kept waiting on it.
    QMetaObject::invokeMethod(
        this, [this, files] { RunReported([&] { m_import->tbtImportClick(files); }); }, Qt::QueuedConnection);
}

void TmForm::BtnUtilitiesClick() {
    SettingsList& settings = m_bench->settings();
    TfmSetting dialog(settings.value(SettingKey::AutoGoBack), settings.value(SettingKey::AutoSaveInterval), this);
    if (dialog.exec() == QDialog::Accepted) {
        settings.set(SettingKey::AutoGoBack, dialog.autoGoBack());
        settings.set(SettingKey::AutoSaveInterval, dialog.autoSaveInterval());
    }
}

void TmForm::ItemBackupClick() {
    BackupSmallFiles(AppDataFolder(), CurrentDateTime().date());
}

void TmForm::ItemRelinkClick() {
    if (!m_bench->hasStore()) {
        return;
    }
    const QString folder = PickFolder(QStringLiteral("查找丢失的文档"));
    if (folder.isEmpty()) {
        return;
    }
    TWordMgr& store = m_bench->store();
    std::vector<MissingDocument> missing = FindMissingDocuments(store);
    // A document open in a tab keeps the path its tab saves to.
    std::erase_if(missing, [this](const MissingDocument& doc) {
        for (int i = 0; i < m_documents->tabCount(); ++i) {
            if (SameIgnoringAsciiCase(m_documents->tabAt(i)->path, doc.path)) {
                return true;
            }
        }
        return false;
    });
    if (missing.empty()) {
        ShowInfo(QStringLiteral("资料库中没有文件丢失的文档。"));
        return;
    }
    const RelinkPlan plan = RunRelinkSearch(this, store, missing, {folder});
    if (plan.cancelled) {
        return;
    }
    for (const RelinkFinding& finding : plan.findings) {
        if (finding.kind == RelinkFinding::Kind::Relinked) {
            m_articles->RenameArticleNode(finding.position, QFileInfo(finding.newPath).completeBaseName());
        }
    }
    ShowInfo(RelinkSummaryText(plan));
}

void TmForm::ItemWeiboClick() {
    ShowInfo(QStringLiteral("请关注我的微博，跟踪最新版本，提出改进意见"));
    OpenWithShell(kUpdatePage,
                  [] { ShowInfo(QStringLiteral("没有可以打开网页的浏览器。网址：\n%1").arg(kUpdatePage)); });
}

// -- what other parts call --

QString TmForm::setting(const QString& key) const {
    return m_bench->settings().value(key);
}

void TmForm::SaveSettings() {
    m_bench->saveSettings();
}

TWordMgr& TmForm::store() {
    return m_bench->store();
}

void TmForm::LoadArticleList(const QString& positionList, bool clearSearch) {
    m_articles->LoadArticleList(positionList, clearSearch);
}

void TmForm::SortArticleList(QAction* keyItem) {
    m_articles->SortArticleList(keyItem);
}

QAction* TmForm::CheckedSortItem() const {
    return m_articles->CheckedSortItem();
}

void TmForm::SelectSortItem(const QString& caption) {
    m_articles->SelectSortItem(caption);
}

QString TmForm::GetTagQuery(QTreeWidgetItem* node) {
    return TagTree::GetTagQuery(node);
}

bool TmForm::TagInTree(const QString& text) const {
    return m_tags->TagInTree(text);
}

QTreeWidgetItem* TmForm::FindTagNode(const QString& text) const {
    return m_tags->FindTagNode(text);
}

void TmForm::IncTagFrequency(const QString& tag) {
    m_tags->IncTagFrequency(tag);
}

bool TmForm::tagTreeChanged() const {
    return m_tags->tagTreeChanged();
}

void TmForm::SaveTagTree() {
    m_tags->SaveTagTree();
}

void TmForm::tagTreeViewClick(QTreeWidgetItem* node, Qt::KeyboardModifiers modifiers) {
    m_tags->tagTreeViewClick(node, modifiers);
}

} // namespace velmora
