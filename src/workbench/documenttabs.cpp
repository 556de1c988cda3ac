#include "documenttabs.h"

#include "application.h"
#include "cachewriter.h"
#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/prompts.h"
#include "controls.h"
#include "office/officetext.h"
#include "office/tiexcel.h"
#include "office/tiword.h"
#include "platform/windows.h"
#include "settingslist.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "store/wordrec.h"
#include "tagstrip.h"
#include "workbench.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPalette>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace velmora {

namespace {

constexpr int kEmbedTickMs = 150;
constexpr int kEmbedAttempts = 60;
constexpr int kWithdrawTickMs = 10;
constexpr int kCloseAreaWidth = 120;
constexpr int kCloseAreaHeight = 28;

// Restores the cursor and re-enables a control on every way out of an opening.
class BusyGuard final {
public:
    explicit BusyGuard(QWidget* disabled) : m_disabled(disabled) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (m_disabled) {
            m_disabled->setEnabled(false);
        }
    }
    ~BusyGuard() {
        if (m_disabled) {
            m_disabled->setEnabled(true);
        }
        QApplication::restoreOverrideCursor();
    }
    Q_DISABLE_COPY_MOVE(BusyGuard)

private:
    QPointer<QWidget> m_disabled;
};

bool IsShownTopWindow(WindowSystem& windows, WindowId window) {
    for (const TopWindow& top : windows.topWindows()) {
        if (top.id == window) {
            return top.visible || top.minimised;
        }
    }
    return false;
}

} // namespace

// A tab's page: it holds the tab's state and is the native parent of the office window, which follows its size
// and gets the keyboard when the page is clicked.
class DocumentPage final : public QWidget {
public:
    DocumentPage(DocTab tab, QWidget* parent) : QWidget(parent), tab(std::move(tab)) {
        setAttribute(Qt::WA_NativeWindow);
        setFocusPolicy(Qt::StrongFocus);
    }

    DocTab tab;
    std::function<void()> resized;
    std::function<void()> clicked;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (resized) {
            resized();
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        QWidget::mousePressEvent(event);
        if (clicked) {
            clicked();
        }
    }
    void focusInEvent(QFocusEvent* event) override {
        QWidget::focusInEvent(event);
        if (clicked) {
            clicked();
        }
    }
};

DocumentTabs::DocumentTabs(Workbench& bench, QWidget* toolbar, QWidget* area) : QObject(area), m_bench(bench) {
    setObjectName(QStringLiteral("documentTabs"));
    tbtCreate = MakeToolButton(toolbar, QStringLiteral("tbtCreate"), QString(), QStringLiteral("新建word文档"));
    tbtSave = MakeToolButton(toolbar, QStringLiteral("tbtSave"), QString(), QStringLiteral("保存当前文档"));
    tbtSaveAll = MakeToolButton(toolbar, QStringLiteral("tbtSaveAll"), QString(), QStringLiteral("保存所有打开的文档"));
    tbtEmbed = MakeToolButton(toolbar, QStringLiteral("tbtEmbed"), QString(), QStringLiteral("嵌入/反嵌入word文档"));
    ConnectReported(tbtCreate, &QToolButton::clicked, this, [this] { tbtCreateClick(); });
    ConnectReported(tbtSave, &QToolButton::clicked, this, [this] { tbtSaveClick(); });
    ConnectReported(tbtSaveAll, &QToolButton::clicked, this, [this] { tbtSaveAllClick(); });
    ConnectReported(tbtEmbed, &QToolButton::clicked, this, [this] { tbtEmbedClick(); });

    Pager = Named(new QTabWidget(area), QStringLiteral("Pager"));
    Pager->setTabsClosable(true);
    Pager->setDocumentMode(true);
    Describe(Pager, QStringLiteral("文档"));
    // The tab control never removes a tab itself: every close goes through the document's own steps.
    ConnectReported(Pager, &QTabWidget::tabCloseRequested, this, [this](int index) {
        if (index != Pager->currentIndex()) {
            Pager->setCurrentIndex(index);
        }
        ColourTabs();
        closeActiveTab();
    });
    ConnectReported(Pager, &QTabWidget::currentChanged, this, [this](int index) { PagerChange(index); });

    pnlClose = Named(new QToolButton(area), QStringLiteral("pnlClose"));
    pnlClose->resize(kCloseAreaWidth, kCloseAreaHeight);
    static_cast<QToolButton*>(pnlClose)->setText(QStringLiteral("关闭"));
    static_cast<QToolButton*>(pnlClose)->setAutoRaise(true);
    pnlClose->setCursor(Qt::PointingHandCursor);
    Describe(pnlClose, QStringLiteral("关闭"));
    ConnectReported(static_cast<QToolButton*>(pnlClose), &QToolButton::clicked, this, [this] { closeActiveTab(); });
    pnlClose->hide();

    Timer1 = Named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(kEmbedTickMs);
    ConnectReported(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    svTimer = Named(new QTimer(this), QStringLiteral("svTimer"));
    svTimer->setInterval(300000);
    ConnectReported(svTimer, &QTimer::timeout, this, [this] { svTimerTimer(); });
    svTimer->start();

    GoBackAction = new QAction(QStringLiteral("返回上次编辑位置"), this);
    GoBackAction->setObjectName(QStringLiteral("GoBackAction"));
    GoBackAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    ConnectReported(GoBackAction, &QAction::triggered, this, [this] { GoBackActionExecute(); });
}

void DocumentTabs::attachMenu(QAction* itemNew, QAction* itemSave, QAction* itemSaveAll, QAction* itemSaveAs,
                              QAction* itemClose, QAction* itemDelDoc) {
    const QList<std::pair<QAction*, void (DocumentTabs::*)()>> items{
        {itemNew, &DocumentTabs::tbtCreateClick},      {itemSave, &DocumentTabs::tbtSaveClick},
        {itemSaveAll, &DocumentTabs::tbtSaveAllClick}, {itemSaveAs, &DocumentTabs::ItemSaveAsClick},
        {itemClose, &DocumentTabs::closeActiveTab},    {itemDelDoc, &DocumentTabs::ItemDelDocClick},
    };
    for (const auto& [item, handler] : items) {
        if (item == nullptr) {
            continue;
        }
        item->setEnabled(true);
        item->setStatusTip(QString());
        ConnectReported(item, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    }
}

QWidget* DocumentTabs::pager() const {
    return Pager;
}

QList<QWidget*> DocumentTabs::fileButtons() const {
    return {tbtCreate, tbtSave, tbtSaveAll};
}

QWidget* DocumentTabs::embedButton() const {
    return tbtEmbed;
}

QAction* DocumentTabs::goBackAction() const {
    return GoBackAction;
}

void DocumentTabs::startAutoSave(int minutes) {
    svTimer->setInterval(std::max(0, minutes) * 60000);
    if (minutes <= 0) {
        svTimer->stop();
    } else {
        svTimer->start();
    }
}

QString DocumentTabs::helpPath() {
    return AppDataFolder() + QStringLiteral("help.docx");
}

// -- tabs --

int DocumentTabs::tabCount() const {
    return Pager->count();
}

DocumentPage* DocumentTabs::pageAt(int index) const {
    return static_cast<DocumentPage*>(Pager->widget(index));
}

DocumentPage* DocumentTabs::activePage() const {
    return Pager->count() > 0 ? pageAt(Pager->currentIndex()) : nullptr;
}

const DocTab* DocumentTabs::tabAt(int index) const {
    DocumentPage* page = index >= 0 && index < Pager->count() ? pageAt(index) : nullptr;
    return page ? &page->tab : nullptr;
}

const DocTab* DocumentTabs::activeTab() const {
    DocumentPage* page = activePage();
    return page ? &page->tab : nullptr;
}

DocTab& DocumentTabs::active() {
    DocumentPage* page = activePage();
    if (!page) {
        throw VelmoraError(QStringLiteral("没有打开的文档"));
    }
    return page->tab;
}

DocumentPage* DocumentTabs::addTab(const DocTab& tab) {
    auto* page = new DocumentPage(tab, Pager);
    page->setObjectName(QStringLiteral("docPage"));
    Describe(page, tab.caption);
    QPointer<DocumentPage> guarded(page);
    page->resized = [this, guarded] {
        if (guarded) {
            placeWindow(guarded);
        }
    };
    page->clicked = [this, guarded] {
        if (guarded && guarded->tab.window != 0 && !guarded->tab.released) {
            m_bench.windows().activateWindow(guarded->tab.window);
        }
    };
    const QSignalBlocker quiet(Pager);
    Pager->setCurrentIndex(Pager->addTab(page, tab.caption));
    Pager->setTabToolTip(Pager->currentIndex(), tab.path);
    NameTabCloseButton(Pager->tabBar(), Pager->currentIndex());
    return page;
}

void DocumentTabs::activateDocument(const DocTab& tab) {
    if (tab.kind() == TabKind::Workbook) {
        return;
    }
    TiWord& word = m_bench.word();
    // A tab switch has usually made it the active one already: asking is much cheaper than activating a frame.
    if (word.OpenedDocs() > 0 && word.ActiveDocFullName().compare(tab.path, Qt::CaseInsensitive) == 0) {
        return;
    }
    if (!word.ActivateDoc(tab.path)) {
        throw VelmoraError(QStringLiteral("文档已不在office中打开: %1").arg(tab.path));
    }
}

void DocumentTabs::publishActiveTab() {
    ActiveTab published;
    if (const DocTab* tab = activeTab()) {
        published.open = true;
        published.position = int(tab->position);
        published.path = tab->path;
        published.workbook = tab->kind() == TabKind::Workbook;
    }
    m_bench.setActiveTab(published);
    Q_EMIT currentDocumentChanged();
}

void DocumentTabs::clearStrip() {
    if (m_strip) {
        m_strip->ClearTagPanel();
    }
}

void DocumentTabs::loadStrip(qint64 position) {
    if (m_strip) {
        m_strip->LoadTagPanel(int(position));
    }
}

void DocumentTabs::PagerChange(int) {
    publishActiveTab();
    clearStrip();
    DocumentPage* page = activePage();
    if (!page) {
        return;
    }
    ColourTabs();
    loadStrip(page->tab.position);
    // The office's active document follows the tab, so that what is done for the tab is done to its document.
    if (page->tab.kind() != TabKind::Workbook) {
        m_bench.word().ActivateDoc(page->tab.path);
    }
    placeWindow(page);
    page->clicked();
}

void DocumentTabs::ColourTabs() {
    const QPalette palette = QApplication::palette();
    for (int i = 0; i < Pager->count(); ++i) {
        Pager->tabBar()->setTabTextColor(i, i == Pager->currentIndex() ? palette.color(QPalette::ToolTipText)
                                                                       : palette.color(QPalette::ButtonText));
    }
}

void DocumentTabs::ShowCloseArea(bool show) {
    if (!show) {
        pnlClose->hide();
        return;
    }
    QWidget* area = Pager->parentWidget();
    pnlClose->move(area->width() - kCloseAreaWidth - 20, Pager->y());
    pnlClose->show();
    pnlClose->raise();
}

// -- opening --

void DocumentTabs::OpenADocByPos(qint64 ipos) {
    clearStrip();
    // Whatever stops the opening, the strip shows the active tab's document again, so that its save button
    // cannot store an empty strip over that document's tags and score.
    struct Restore {
        DocumentTabs* tabs;
        ~Restore() {
            try {
                tabs->restoreAfterFailedOpening();
            } catch (...) {
            }
        }
    } restore{this};

    QString path;
    QString psw;
    if (ipos == kHelpPosition) {
        path = helpPath();
    } else {
        QString tags;
        quint8 score = 0;
        m_bench.store().GetDocAllByPos(ipos, path, psw, tags, score);
        if (path.isEmpty()) {
            throw VelmoraError(QStringLiteral("记录中没有文档"));
        }
    }
    bool open = false;
    try {
        open = m_bench.word().DocIsOpen(path);
    } catch (const VelmoraError&) {
        // A Word that went away is replaced by the next call.
        open = m_bench.word().DocIsOpen(path);
    }
    if (open) {
        return;
    }
    TiWord& word = m_bench.word();
    word.SetVisible(false);
    try {
        word.OpenWordFile(path, psw, false);
    } catch (...) {
        // Other tabs' windows live in their tabs; the office itself must not stay hidden behind a failure.
        if (Pager->count() > 0) {
            word.SetVisible(true);
        }
        throw;
    }
    if (ipos != kHelpPosition && path.compare(helpPath(), Qt::CaseInsensitive) != 0) {
        TWordMgr& store = m_bench.store();
        store.IncADigitItem(ipos, wdiReadTimes, true);
        store.SetDateTime(ipos, wdiAccessTime, NowAsDays(), true);
    }
    DocTab tab;
    tab.caption = DocumentCaption(path);
    tab.path = path;
    tab.position = ipos;
    DocumentPage* page = addTab(tab);
    publishActiveTab();
    startEmbedding(page);
    ColourTabs();
    if (!word.Visible()) {
        word.SetVisible(true);
    }
    ShowCloseArea(true);
    if (m_bench.settings().value(SettingKey::AutoGoBack) == QLatin1String("1")) {
        word.GoBack();
    }
}

void DocumentTabs::restoreAfterFailedOpening() {
    if (DocumentPage* page = activePage()) {
        loadStrip(page->tab.position);
    }
}

void DocumentTabs::btnHelpClick() {
    if (!QFileInfo::exists(helpPath())) {
        return;
    }
    const BusyGuard busy(nullptr);
    OpenADocByPos(kHelpPosition);
}

// -- embedding --

void DocumentTabs::startEmbedding(DocumentPage* page) {
    m_embedding = page;
    m_embedAttempts = 0;
    m_withdrawing = 0;
    // The office has usually made the window by the time the opening returns: the first attempt does not wait
    // for a whole tick, the later ones do.
    Timer1->start(0);
}

void DocumentTabs::Timer1Timer() {
    // The window found is stored only into the tab the search was started for, and only when one was found.
    DocumentPage* page = m_embedding;
    if (m_withdrawing == 0 && Timer1->interval() != kEmbedTickMs) {
        Timer1->setInterval(kEmbedTickMs);
    }
    if (Pager->count() == 0 || !page) {
        Timer1->stop();
        m_embedAttempts = 0;
        m_withdrawing = 0;
        return;
    }
    DocTab& tab = page->tab;
    WindowSystem& windows = m_bench.windows();
    // A workbook's window comes from the spreadsheet program: asking the word processor would start one.
    const bool workbook = tab.kind() == TabKind::Workbook;
    WindowId window = m_withdrawing;
    if (window == 0) {
        window = workbook ? m_bench.excel().WindowOf(tab.path) : m_bench.word().WindowOf(tab.path);
        // The office makes a document's window before it shows it: only a window the desktop shows is taken.
        if (window != 0 && !IsShownTopWindow(windows, window)) {
            window = 0;
        }
        if (window == 0) {
            const QString name = tab.kind() == TabKind::NewDocument ? tab.path : QFileInfo(tab.path).fileName();
            window = FindTopWindowByCaption(windows, name);
        }
        if (window != 0) {
            // A window manager that still frames the window would take it back from the tab: it is withdrawn
            // first, and taken once the manager has let go of it.
            windows.showWindow(window, false);
            m_withdrawing = window;
            Timer1->setInterval(kWithdrawTickMs);
        }
    }
    if (window != 0 && !IsShownTopWindow(windows, window)) {
        Timer1->stop();
        Timer1->setInterval(kEmbedTickMs);
        m_embedAttempts = 0;
        m_withdrawing = 0;
        if (workbook) {
            if (!m_bench.excel().Visible()) {
                m_bench.excel().SetVisible(true);
            }
        } else if (!m_bench.word().Visible()) {
            m_bench.word().SetVisible(true);
        }
        windows.removeFrame(window);
        windows.setParent(window, page->winId());
        tab.window = window;
        tab.released = false;
        placeWindow(page);
        settleWindow(page);
        return;
    }
    if (++m_embedAttempts > kEmbedAttempts) {
        Timer1->stop();
        Timer1->setInterval(kEmbedTickMs);
        m_embedAttempts = 0;
        // Never leave a document's window withdrawn: it goes back to the desktop, and the tab keeps window 0.
        if (m_withdrawing != 0) {
            windows.showWindow(m_withdrawing, true);
        }
        m_withdrawing = 0;
    }
}

void DocumentTabs::settleWindow(DocumentPage* page) {
    // The window manager lets go of a window taken from its frame a moment later, unmapping it and putting back
    // its size; shown and placed again once that has passed, it stays.
    for (const int delay : {50, 150, 400, 1000}) {
        QTimer::singleShot(delay, page, [this, page] {
            if (page->tab.window != 0 && !page->tab.released) {
                m_bench.windows().showWindow(page->tab.window, true);
                placeWindow(page);
            }
        });
    }
}

void DocumentTabs::placeWindow(DocumentPage* page) {
    if (!page || page->tab.window == 0 || page->tab.released) {
        return;
    }
    m_bench.windows().moveWindow(page->tab.window, 0, 0, page->width(), page->height());
}

void DocumentTabs::giveBackWindow(DocTab& tab) {
    if (tab.window != 0 && !tab.released) {
        m_bench.windows().setParent(tab.window, 0);
    }
}

void DocumentTabs::ReleaseWordWindow(bool hideWord) {
    DocTab& tab = active();
    if (hideWord) {
        m_bench.word().SetVisible(false);
    }
    if (tab.window != 0 && !tab.released) {
        m_bench.windows().setParent(tab.window, 0);
        tab.released = true;
    }
}

void DocumentTabs::tbtEmbedClick() {
    DocumentPage* page = activePage();
    if (!page || page->tab.kind() == TabKind::Workbook || page->tab.window == 0) {
        return;
    }
    DocTab& tab = page->tab;
    WindowSystem& windows = m_bench.windows();
    if (tab.released) {
        windows.removeFrame(tab.window);
        windows.setParent(tab.window, page->winId());
        tab.released = false;
        placeWindow(page);
        settleWindow(page);
        if (Pager->count() == 1) {
            ShowCloseArea(true);
        }
        return;
    }
    ReleaseWordWindow(false);
    windows.showWindow(tab.window, true);
    if (Pager->count() == 1) {
        ShowCloseArea(false);
    }
}

// -- new documents and saving --

void DocumentTabs::tbtCreateClick() {
    for (int i = 0; i < Pager->count(); ++i) {
        if (pageAt(i)->tab.kind() != TabKind::Document) {
            ShowInfo(QStringLiteral("请先保存 %1").arg(QFileInfo(pageAt(i)->tab.caption).fileName()));
            return;
        }
    }
    Q_EMIT newDocumentStarting();
    clearStrip();
    const BusyGuard busy(nullptr);
    try {
        m_bench.word().CreateNewDoc();
    } catch (const VelmoraError&) {
        m_bench.word().CreateNewDoc();
    }
    TiWord& word = m_bench.word();
    const QString name = word.GetLastNewDocName();
    DocTab tab;
    tab.caption = name;
    tab.path = name;
    tab.position = kNewPosition;
    DocumentPage* page = addTab(tab);
    publishActiveTab();
    startEmbedding(page);
    word.SetVisible(true);
    Q_EMIT tagStripToggleWanted();
    ColourTabs();
    if (Pager->count() == 1) {
        Q_EMIT tagEditFitWanted();
    }
    ShowCloseArea(true);
    loadStrip(kNewPosition);
}

void DocumentTabs::tbtSaveClick() {
    DocumentPage* page = activePage();
    if (!page) {
        return;
    }
    switch (page->tab.kind()) {
    case TabKind::Workbook:
        saveWorkbook(page->tab);
        return;
    case TabKind::NewDocument:
        return;
    case TabKind::Document:
        if (page->tab.position == kNewPosition) {
            return;
        }
        SaveCurrDoc(false);
        Q_EMIT tagTreeSaveWanted();
    }
}

bool DocumentTabs::SaveCurrDoc(bool automatic) {
    DocTab& tab = active();
    // The help document is ours, not the user's: it is never written.
    if (tab.isHelp()) {
        return false;
    }
    activateDocument(tab);
    TiWord& word = m_bench.word();
    if (tab.kind() == TabKind::Document) {
        // A password goes onto a file only by the strip's own way, which stores it in the record as well; autosave
        // never applies one.
        const QString psw = (!automatic && m_strip) ? m_strip->GetCurrDocPSW(int(tab.position)) : QString();
        if (!psw.isEmpty()) {
            m_strip->SetPSToDoc(tab.path, psw);
        } else {
            word.SaveWordFileByName(tab.path);
        }
        tab.savedDuringLife = true;
        return true;
    }
    if (!automatic) {
        return !SaveNewDoc().isEmpty();
    }
    return false;
}

void DocumentTabs::svTimerTimer() {
    const DocTab* tab = activeTab();
    if (!tab || tab->kind() != TabKind::Document || tab->position < 0) {
        return;
    }
    SaveCurrDoc(true);
    Q_EMIT tagTreeSaveWanted();
}

QString DocumentTabs::SaveNewDoc() {
    DocTab& tab = active();
    if (!AskYesNo(QStringLiteral("要保存 %1 吗？").arg(tab.caption))) {
        return {};
    }
    activateDocument(tab);
    QString folder = m_bench.settings().value(SettingKey::SaveAsDir);
    if (folder.isEmpty()) {
        folder = AppFolder();
    }
    TiWord& word = m_bench.word();
    const QString title = word.GetTitle();
    const QString name =
        DocumentSaveName(PickSaveName(folder, title, QStringLiteral("另存为"), QStringLiteral(".docx")));
    if (name.isEmpty()) {
        return {};
    }
    TWordMgr& store = m_bench.store();
    if (store.DocInBase(name)) {
        ShowInfo(QStringLiteral("存在同名文件"));
        return {};
    }
    m_bench.settings().set(SettingKey::SaveAsDir, QFileInfo(name).absolutePath() + QLatin1Char('/'));
    m_bench.saveSettings();
    const QString psw = m_strip ? m_strip->GetCurrDocPSW(int(kNewPosition)) : QString();
    word.SaveAs(name, psw);
    tab.path = name;
    tab.caption = DocumentCaption(name);
    const qint64 position = store.ImportAWord(name, QString(), psw, 0);
    tab.position = position;
    if (m_strip) {
        m_strip->StoreTypedTags(int(position));
    }
    Pager->setTabText(Pager->currentIndex(), tab.caption);
    Pager->setTabToolTip(Pager->currentIndex(), tab.path);
    store.SetDateTime(position, wdiAccessTime, NowAsDays(), true);
    store.SetRecArchive(position, false, true);
    // The strip keeps what was typed for the document; it learns the new record from the published tab.
    publishActiveTab();
    persistLibrary();
    Q_EMIT tagStripShowWanted();
    return name;
}

void DocumentTabs::tbtSaveAllClick() {
    TWordMgr* store = m_bench.hasStore() ? &m_bench.store() : nullptr;
    for (int i = 0; i < Pager->count(); ++i) {
        DocTab& tab = pageAt(i)->tab;
        if (tab.kind() == TabKind::Workbook) {
            // A workbook that cannot be saved is reported; the tabs after it are saved all the same.
            RunReported([&] { saveWorkbook(tab); });
            continue;
        }
        if (tab.kind() != TabKind::Document || tab.position < 0) {
            continue;
        }
        m_bench.word().SaveWordFileByName(tab.path);
        tab.savedDuringLife = true;
        if (store) {
            store->IncADigitItem(tab.position, wdiEditTimes, true);
        }
    }
}

void DocumentTabs::ItemSaveAsClick() {
    DocumentPage* page = activePage();
    if (!page || page->tab.kind() == TabKind::Workbook) {
        return;
    }
    DocTab& tab = page->tab;
    if (tab.isHelp()) {
        return;
    }
    if (tab.position == kNewPosition) {
        SaveNewDoc();
        return;
    }
    activateDocument(tab);
    QString folder = m_bench.settings().value(SettingKey::SaveAsDir);
    if (folder.isEmpty()) {
        folder = AppFolder();
    }
    const QString name =
        DocumentSaveName(PickSaveName(folder, tab.caption, QStringLiteral("另存为"), QStringLiteral(".docx")));
    if (name.isEmpty()) {
        return;
    }
    TWordMgr& store = m_bench.store();
    if (name.compare(tab.path, Qt::CaseInsensitive) != 0 && store.DocInBase(name)) {
        ShowInfo(QStringLiteral("存在同名文件"));
        return;
    }
    m_bench.word().SaveAs(name, store.ReadAStrItem(tab.position, wdiPassword, true));
    MoveTextCache(tab.path, name);
    tab.path = name;
    tab.caption = DocumentCaption(name);
    tab.savedDuringLife = true;
    Pager->setTabText(Pager->currentIndex(), tab.caption);
    Pager->setTabToolTip(Pager->currentIndex(), tab.path);
    store.IncADigitItem(tab.position, wdiEditTimes, true);
    store.SaveAStrItem(tab.position, wdiFullName, name, true);
    publishActiveTab();
    Q_EMIT articleRenamed(tab.position, QFileInfo(name).completeBaseName());
    persistLibrary();
}

void DocumentTabs::saveAsFromStrip() {
    RunReported([this] { ItemSaveAsClick(); });
}

// -- closing --

void DocumentTabs::closeActiveTab() {
    DocumentPage* page = activePage();
    if (!page) {
        return;
    }
    DocTab& tab = page->tab;
    if (tab.released && tab.window != 0 &&
        AskYesNo(QStringLiteral("当前标签里的文档已经反嵌入，关闭标签后将不能再嵌入；确定要关闭吗？"))) {
        DropActiveTab();
        return;
    }
    // A document the office no longer holds (the office died, or the user closed it there) has nothing left to
    // save: its tab just goes.
    if (tab.kind() != TabKind::Workbook && !m_bench.word().DocIsOpen(tab.path)) {
        DropActiveTab();
        return;
    }
    // A tab without a placed window closes its document like any other: nothing stays open and unsaved behind it.
    if (tab.kind() == TabKind::Document) {
        CloseCurrDoc();
    } else if (tab.kind() == TabKind::NewDocument) {
        CloseCurrNewDoc();
    } else {
        CloseMyExcel();
    }
    if (Pager->count() > 0 && m_bench.hasWord() && !m_bench.word().Visible()) {
        m_bench.word().SetVisible(true);
    }
}

void DocumentTabs::CloseCurrDoc() {
    DocTab& tab = active();
    const QString path = tab.path;
    TiWord& word = m_bench.word();
    activateDocument(tab);
    if (tab.isHelp()) {
        word.GiveupSave();
    } else {
        WriteTextCacheIfMissing(tab);
    }
    if (QWidget* window = Pager->window()) {
        window->raise();
        window->activateWindow();
    }
    if (!tab.isHelp()) {
        SaveDocOnClose(tab);
    }
    // The window stays in its tab until the office closes it with the document: given back to the desktop first
    // it would flash there, and a save that fails would leave it outside the tab that is kept.
    word.CloseWordFileByName(path);
    DropActiveTab();
}

void DocumentTabs::CloseCurrNewDoc() {
    const QString name = SaveNewDoc();
    // Refused, cancelled or already in the library: the tab and its text stay, so that nothing typed is lost.
    if (name.isEmpty()) {
        return;
    }
    DocTab& tab = active();
    WriteTextCacheIfMissing(tab);
    m_bench.store().IncADigitItem(tab.position, wdiEditTimes, true);
    if (QWidget* window = Pager->window()) {
        window->raise();
    }
    m_bench.word().CloseWordFileByName(name);
    DropActiveTab();
}

void DocumentTabs::DropActiveTab() {
    DocumentPage* page = activePage();
    if (!page) {
        return;
    }
    if (m_embedding == page) {
        Timer1->stop();
        m_embedAttempts = 0;
    }
    {
        const QSignalBlocker quiet(Pager);
        Pager->removeTab(Pager->currentIndex());
        if (Pager->count() > 0) {
            Pager->setCurrentIndex(Pager->count() - 1);
        }
    }
    page->deleteLater();
    clearStrip();
    publishActiveTab();
    if (Pager->count() > 0) {
        ColourTabs();
        DocumentPage* last = activePage();
        // With only workbooks left there may be no word processor, and none is started for them.
        if (last->tab.kind() != TabKind::Workbook) {
            TiWord& word = m_bench.word();
            word.SetVisible(true);
            word.ActivateDoc(last->tab.path);
        } else if (m_bench.hasWord()) {
            m_bench.word().SetVisible(true);
        }
        ShowCloseArea(true);
        loadStrip(last->tab.position);
        placeWindow(last);
        return;
    }
    ShowCloseArea(false);
    if (m_bench.hasWord()) {
        TiWord& word = m_bench.word();
        if (word.OpenedDocs() == 0 && word.Visible()) {
            word.SetVisible(false);
        }
    }
}

// -- workbooks --

bool DocumentTabs::HasTabOf(const QString& path) const {
    return tabIndexOf(path) >= 0;
}

bool DocumentTabs::ActivateTabOf(const QString& path) {
    const int index = tabIndexOf(path);
    if (index < 0) {
        return false;
    }
    if (index != Pager->currentIndex()) {
        Pager->setCurrentIndex(index);
    }
    return true;
}

QString DocumentTabs::ActiveTabPath() const {
    const DocTab* tab = activeTab();
    return tab ? tab->path : QString();
}

int DocumentTabs::tabIndexOf(const QString& path) const {
    for (int i = 0; i < Pager->count(); ++i) {
        if (SameTextAscii(pageAt(i)->tab.path, path)) {
            return i;
        }
    }
    return -1;
}

void DocumentTabs::OpenAExcelFile(const QString& path) {
    // The office reports a workbook by its absolute name, and the tab must match it.
    const QString fn = QFileInfo(path).absoluteFilePath();
    clearStrip();
    const BusyGuard busy(nullptr);
    try {
        TiExcel& excel = m_bench.excel();
        excel.OpenExcelFile(fn);
        // The opening itself is quiet; a workbook that did not open must not leave an empty tab behind.
        if (!excel.IsWorkbookOpen(fn)) {
            throw VelmoraError(QStringLiteral("无法打开 %1").arg(fn), fn);
        }
    } catch (...) {
        restoreAfterFailedOpening();
        throw;
    }
    // A workbook has no tags, password or score.
    Q_EMIT tagStripHideWanted();
    DocTab tab;
    tab.caption = QFileInfo(fn).completeBaseName();
    tab.path = fn;
    tab.position = kNewPosition;
    DocumentPage* page = addTab(tab);
    publishActiveTab();
    startEmbedding(page);
    ColourTabs();
    TiExcel& excel = m_bench.excel();
    if (!excel.Visible()) {
        excel.SetVisible(true);
    }
    ShowCloseArea(true);
}

void DocumentTabs::saveWorkbook(const DocTab& tab) {
    TiExcel& excel = m_bench.excel();
    excel.SaveExcelFile(tab.path);
    if (!excel.ExcelFileSaved(tab.path)) {
        throw VelmoraError(QStringLiteral("无法保存 %1").arg(tab.path), tab.path);
    }
}

void DocumentTabs::CloseMyExcel() {
    DocTab& tab = active();
    const QString path = tab.path;
    TiExcel& excel = m_bench.excel();
    excel.SaveExcelFile(path);
    // Closing discards what is unsaved: a workbook whose save failed (read-only, disk full) closes only when the
    // user says so, and otherwise keeps its tab.
    if (!excel.ExcelFileSaved(path) &&
        !AskYesNo(QStringLiteral("无法保存 %1，关闭后其中的改动将丢失；确定要关闭吗？").arg(path))) {
        return;
    }
    if (QWidget* window = Pager->window()) {
        window->raise();
        window->activateWindow();
    }
    // Only this workbook: the others in tabs keep their unsaved work.
    excel.CloseExcelFile(path);
    // A workbook that stayed open keeps its window, which must not go down with the tab's page.
    if (excel.IsWorkbookOpen(path)) {
        giveBackWindow(tab);
    }
    DropActiveTab();
}

void DocumentTabs::persistLibrary() {
    // A record created, renamed or deleted reaches the disk at once, not only at exit.
    RunReported([this] { m_bench.store().SaveRecDataFiles(false); });
}

void DocumentTabs::WriteTextCacheIfMissing(const DocTab& tab) {
    if (tab.position < 0 || HasTextCache(tab.path)) {
        return;
    }
    refreshCache(tab);
}

void DocumentTabs::refreshCache(const DocTab& tab) {
    // A cache that cannot be written must not keep the document from being saved and closed.
    try {
        WriteTextCache(tab.path, DocumentTextForCache(m_bench.word(), tab.path));
    } catch (const VelmoraError& error) {
        ReportError(error.message());
    }
}

void DocumentTabs::SaveDocOnClose(DocTab& tab) {
    TiWord& word = m_bench.word();
    if (word.DocChanged(tab.path)) {
        word.SaveWordFileByName(tab.path);
        if (tab.position >= 0) {
            m_bench.store().IncADigitItem(tab.position, wdiEditTimes, true);
        }
        tab.savedDuringLife = true;
    }
    if (tab.savedDuringLife && tab.position >= 0) {
        refreshCache(tab);
    }
}

void DocumentTabs::ItemDelDocClick() {
    DocumentPage* page = activePage();
    if (!page || !AskYesNo(QStringLiteral("确定要将当前文档从数据库中移除吗？"))) {
        return;
    }
    DocTab& tab = page->tab;
    if (tab.kind() != TabKind::Document) {
        ShowInfo(QStringLiteral("请直接关闭 %1").arg(tab.caption));
        return;
    }
    const qint64 position = tab.position;
    if (position >= 0) {
        m_bench.store().SetRecDeleted(position, true);
        persistLibrary();
    }
    CloseCurrDoc();
    if (position >= 0) {
        Q_EMIT articleRemoved(position);
    }
}

void DocumentTabs::GoBackActionExecute() {
    if (Pager->count() > 0) {
        m_bench.word().GoBack();
    }
}

void DocumentTabs::saveAndReleaseAll() {
    if (Pager->count() == 0) {
        return;
    }
    Timer1->stop();
    svTimer->stop();
    for (int i = 0; i < Pager->count(); ++i) {
        DocTab& tab = pageAt(i)->tab;
        RunReported([&] {
            if (tab.kind() == TabKind::Document && !tab.isHelp() && QFileInfo::exists(tab.path)) {
                m_bench.word().SaveWordFileByName(tab.path);
            } else if (tab.kind() == TabKind::Workbook && QFileInfo::exists(tab.path)) {
                saveWorkbook(tab);
            }
        });
        RunReported([&] { giveBackWindow(tab); });
    }
}

} // namespace velmora
