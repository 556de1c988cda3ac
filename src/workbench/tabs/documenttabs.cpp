#include "documenttabs.h"

#include "cachewriter.h"
#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "common/prompts.h"
#include "office/officetext.h"
#include "office/tiexcel.h"
#include "office/tiword.h"
#include "platform/windows.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "store/wordrec.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/settingslist.h"
#include "workbench/core/tagstrip.h"
#include "workbench/search/relinkrun.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <utility>

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

// The record's path becomes the file's name as spelt. The store keeps the old spelling of a value that differs
// only in letter case, but here such a name is another file: the old one stays on disk under the old spelling.
void StoreRecordPath(TWordMgr& store, qint64 position, const QString& path) {
    const QString stored = store.ReadAStrItem(position, wdiFullName, true);
    if (stored != path && SameTextAscii(stored, path)) {
        store.SaveAStrItem(position, wdiFullName, QString(), false);
    }
    store.SaveAStrItem(position, wdiFullName, path, false);
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
    ConnectReported(Pager.data(), &QTabWidget::tabCloseRequested, this, [this](int index) {
        if (index != Pager->currentIndex()) {
            Pager->setCurrentIndex(index);
        }
        ColourTabs();
        closeActiveTab();
    });
    ConnectReported(Pager.data(), &QTabWidget::currentChanged, this, [this](int index) { PagerChange(index); });
    // A click on a tab hands the keyboard to its office; a switch by the keys leaves it where it is, or the next
    // key would go into the document.
    connect(Pager->tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
        if (index < 0) {
            return;
        }
        if (index != Pager->currentIndex()) {
            m_tabClicked = true;
        } else if (DocumentPage* page = activePage()) {
            page->clicked();
        }
    });

    pnlClose = Named(new QToolButton(area), QStringLiteral("pnlClose"));
    pnlClose->resize(kCloseAreaWidth, kCloseAreaHeight);
    static_cast<QToolButton*>(pnlClose)->setText(QStringLiteral("关闭"));
    static_cast<QToolButton*>(pnlClose)->setAutoRaise(true);
    pnlClose->setCursor(Qt::PointingHandCursor);
    Describe(pnlClose, QStringLiteral("关闭"));
    ConnectReported(static_cast<QToolButton*>(pnlClose), &QToolButton::clicked, this, [this] { closeActiveTab(); });
    pnlClose->hide();
    // The close area sits over the tab area's corner: it moves when the tab area does (the strip shown or hidden
    // above it) and when the window changes size.
    Pager->installEventFilter(this);
    area->installEventFilter(this);

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

DocumentTabs::~DocumentTabs() {
    // The tabs go before their tab area; the work bench may be gone already, the window system is not.
    for (int i = 0; Pager && i < Pager->count(); ++i) {
        const DocTab& tab = pageAt(i)->tab;
        if (tab.window != 0 && !tab.released) {
            Windows().setParent(tab.window, 0);
        }
    }
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

void DocumentTabs::activateDocument(DocTab& tab) {
    if (tab.kind() == TabKind::Workbook) {
        return;
    }
    TiWord& word = m_bench.word();
    // A tab switch has usually made it the active one already: asking is much cheaper than activating a frame.
    if (word.OpenedDocs() > 0 && word.ActiveDocFullName().compare(tab.path, Qt::CaseInsensitive) == 0) {
        return;
    }
    if (!word.ActivateDoc(tab.path) && (!followDocument(tab) || !word.ActivateDoc(tab.path))) {
        throw VelmoraError(QStringLiteral("文档已不在office中打开: %1").arg(tab.path));
    }
}

bool DocumentTabs::followDocument(DocTab& tab) {
    if (tab.kind() == TabKind::Workbook) {
        return true;
    }
    TiWord& word = m_bench.word();
    if (word.DocIsOpen(tab.path)) {
        return true;
    }
    const QString now = word.CurrentFullNameOf(tab.path, tab.window);
    if (now.isEmpty()) {
        return false;
    }
    renameTab(tab, now);
    return true;
}

void DocumentTabs::renameTab(DocTab& tab, const QString& path) {
    const QString old = tab.path;
    tab.path = path;
    tab.caption = tab.hasFile() ? DocumentCaption(path) : path;
    if (tab.isHelp()) {
        // Saved elsewhere, it is the user's own file now, no longer the help document that is never written.
        tab.position = kNewPosition;
    }
    if (tab.position >= 0) {
        TWordMgr& store = m_bench.store();
        if (tab.kind() == TabKind::Document && (SameTextAscii(old, path) || !store.DocInBase(path))) {
            MoveTextCache(old, path);
            StoreRecordPath(store, tab.position, path);
            persistLibrary();
            Q_EMIT articleRenamed(tab.position, QFileInfo(path).completeBaseName());
        } else {
            // The record keeps its own file; the tab shows another one now, outside the library.
            tab.position = kNewPosition;
        }
    }
    const int index = indexOfTab(tab);
    if (index >= 0) {
        Pager->setTabText(index, tab.caption);
        Pager->setTabToolTip(index, tab.path);
        if (index == Pager->currentIndex()) {
            publishActiveTab();
        }
    }
}

int DocumentTabs::indexOfTab(const DocTab& tab) const {
    for (int i = 0; i < Pager->count(); ++i) {
        if (&pageAt(i)->tab == &tab) {
            return i;
        }
    }
    return -1;
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
    const bool clicked = std::exchange(m_tabClicked, false);
    publishActiveTab();
    clearStrip();
    DocumentPage* page = activePage();
    if (!page) {
        return;
    }
    ColourTabs();
    // The office's active document follows the tab, so that what is done for the tab is done to its document.
    if (page->tab.kind() != TabKind::Workbook && followDocument(page->tab)) {
        m_bench.word().ActivateDoc(page->tab.path);
    }
    loadStrip(page->tab.position);
    placeWindow(page);
    if (clicked) {
        page->clicked();
    }
}

void DocumentTabs::switchTab(int step) {
    const int count = Pager->count();
    if (count < 2) {
        return;
    }
    Pager->setCurrentIndex(((Pager->currentIndex() + step) % count + count) % count);
}

void DocumentTabs::ColourTabs() {
    // The tab's face, not its text: the palette's two text colours are the same black, its face colours are not.
    const QPalette palette = QApplication::palette();
    const QString sheet =
        QStringLiteral("QTabBar::tab { background: %1; color: %2; border: 1px solid %3; border-bottom: none;"
                       " border-top-left-radius: 5px; border-top-right-radius: 5px; padding: 4px 12px;"
                       " margin-right: 1px; }"
                       "QTabBar::tab:selected { background: %4; color: %5; }")
            .arg(palette.color(QPalette::Button).name(), palette.color(QPalette::ButtonText).name(),
                 palette.color(QPalette::Mid).name(), palette.color(QPalette::ToolTipBase).name(),
                 palette.color(QPalette::ToolTipText).name());
    if (Pager->tabBar()->styleSheet() != sheet) {
        Pager->tabBar()->setStyleSheet(sheet);
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

bool DocumentTabs::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::Resize || event->type() == QEvent::Move) && !pnlClose->isHidden() &&
        (watched == Pager || watched == Pager->parentWidget())) {
        ShowCloseArea(true);
    }
    return QObject::eventFilter(watched, event);
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
    const auto openInOffice = [&] {
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
    };
    try {
        openInOffice();
    } catch (...) {
        // A file moved or renamed outside the program: its record (tags, score, counters) finds it again
        // instead of the user adding it anew.
        if (ipos == kHelpPosition || QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            throw;
        }
        const QString found = OfferToLocate(Pager->window(), m_bench.store(), ipos, path);
        if (found == path) {
            return;
        }
        path = found;
        Q_EMIT articleRenamed(ipos, QFileInfo(path).completeBaseName());
        openInOffice();
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
    // A window being taken is withdrawn from the desktop meanwhile: dropping its search would leave it hidden.
    if (m_embedding && m_embedding != page && Timer1->isActive()) {
        m_embedQueue.append(page);
        return;
    }
    m_embedding = page;
    m_embedAttempts = 0;
    m_withdrawing = 0;
    // The office has usually made the window by the time the opening returns: the first attempt does not wait
    // for a whole tick, the later ones do.
    Timer1->start(0);
}

void DocumentTabs::finishEmbedding() {
    Timer1->stop();
    Timer1->setInterval(kEmbedTickMs);
    m_embedAttempts = 0;
    m_withdrawing = 0;
    m_embedding = nullptr;
    while (!m_embedQueue.isEmpty()) {
        const QPointer<DocumentPage> next = m_embedQueue.takeFirst();
        if (next && next->tab.window == 0) {
            startEmbedding(next);
            return;
        }
    }
}

void DocumentTabs::Timer1Timer() {
    // The window found is stored only into the tab the search was started for, and only when one was found.
    DocumentPage* page = m_embedding;
    if (m_withdrawing == 0 && Timer1->interval() != kEmbedTickMs) {
        Timer1->setInterval(kEmbedTickMs);
    }
    if (Pager->count() == 0 || !page) {
        finishEmbedding();
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
        finishEmbedding();
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
        // Never leave a document's window withdrawn: it goes back to the desktop, and the tab keeps window 0.
        if (m_withdrawing != 0) {
            windows.showWindow(m_withdrawing, true);
        }
        finishEmbedding();
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
        releaseToDesktop(tab.window);
        tab.released = true;
    }
}

void DocumentTabs::ReleaseWordWindow(bool hideWord) {
    DocTab& tab = active();
    if (hideWord) {
        m_bench.word().SetVisible(false);
    }
    if (tab.window != 0 && !tab.released) {
        releaseToDesktop(tab.window);
        tab.released = true;
    }
}

void DocumentTabs::releaseToDesktop(WindowId window) {
    WindowSystem& windows = m_bench.windows();
    windows.setParent(window, 0);
    // Frameless, it cannot be maximised by a window manager's button, nor found at the corner it would land in.
    const QScreen* screen = Pager->screen() ? Pager->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect free = screen->availableGeometry();
        windows.moveWindow(window, free.x(), free.y(), free.width(), free.height());
    }
    windows.showWindow(window, true);
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
    if (Pager->count() == 1) {
        ShowCloseArea(false);
    }
}

// -- new documents and saving --

void DocumentTabs::tbtCreateClick() {
    for (int i = 0; i < Pager->count(); ++i) {
        DocTab& tab = pageAt(i)->tab;
        // One the office has saved under a name of its own is no new document any more.
        if (tab.kind() == TabKind::NewDocument && m_bench.hasWord()) {
            followDocument(tab);
        }
        if (tab.kind() == TabKind::Workbook || !tab.hasFile()) {
            ShowInfo(QStringLiteral("请先保存 %1").arg(QFileInfo(tab.caption).fileName()));
            return;
        }
    }
    Q_EMIT newDocumentStarting();
    clearStrip();
    const BusyGuard busy(nullptr);
    Q_EMIT creatingDocument(true);
    const auto listBack = qScopeGuard([this] { Q_EMIT creatingDocument(false); });
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
    DocTab& tab = page->tab;
    if (tab.kind() == TabKind::Workbook) {
        saveWorkbook(tab);
        return;
    }
    if (tab.isHelp() || !followDocument(tab)) {
        return;
    }
    // A document without a file can only be saved by choosing a name for it.
    if (!tab.hasFile()) {
        saveNewDocAs();
        return;
    }
    SaveCurrDoc(false);
    Q_EMIT tagTreeSaveWanted();
}

bool DocumentTabs::SaveCurrDoc(bool automatic) {
    DocTab& tab = active();
    // The help document is ours, not the user's: it is never written.
    if (tab.isHelp()) {
        return false;
    }
    activateDocument(tab);
    TiWord& word = m_bench.word();
    if (tab.hasFile()) {
        // A password goes onto a file only by the strip's own way, which stores it in the record as well; autosave
        // never applies one, nor does a file outside the library.
        const QString psw =
            (!automatic && m_strip && tab.position >= 0) ? m_strip->GetCurrDocPSW(int(tab.position)) : QString();
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
    DocumentPage* page = activePage();
    if (!page || page->tab.kind() != TabKind::Document || page->tab.position < 0) {
        return;
    }
    DocTab& tab = page->tab;
    // A document without unsaved changes is not written again: its file keeps its modification time.
    if (!followDocument(tab) || !tab.isLibraryDocument() || !m_bench.word().DocChanged(tab.path)) {
        return;
    }
    SaveCurrDoc(true);
    Q_EMIT tagTreeSaveWanted();
}

QString DocumentTabs::pickDocumentName(const QString& proposed, const QString& ownPath) {
    const QString folder = PickerStartFolder(
        {m_bench.settings().value(SettingKey::SaveAsDir), m_bench.settings().value(SettingKey::ImportDir)});
    const QString ext = QStringLiteral(".docx");
    const QString name = DocumentSaveName(
        CurrentPrompts().saveFile(folder, proposed, QStringLiteral("另存为"), MakeFileFilter(ext), ext));
    if (name.isEmpty()) {
        return {};
    }
    if (!SameTextAscii(name, ownPath) && m_bench.store().DocInBase(name)) {
        ShowInfo(QStringLiteral("存在同名文件"));
        return {};
    }
    // Asked about the name the file is written under, not the one typed before the extension was added.
    if (name != ownPath && QFileInfo::exists(name) && !AskYesNo(QStringLiteral("文件已经存在，要覆盖它吗？"))) {
        return {};
    }
    return name;
}

QString DocumentTabs::SaveNewDoc() {
    if (!AskYesNo(QStringLiteral("要保存 %1 吗？").arg(active().caption))) {
        return {};
    }
    return saveNewDocAs();
}

QString DocumentTabs::saveNewDocAs() {
    DocTab& tab = active();
    activateDocument(tab);
    TiWord& word = m_bench.word();
    const QString title = word.GetTitle();
    const QString name = pickDocumentName(title, QString());
    if (name.isEmpty()) {
        return {};
    }
    TWordMgr& store = m_bench.store();
    m_bench.settings().set(SettingKey::SaveAsDir, QFileInfo(name).absolutePath() + QLatin1Char('/'));
    m_bench.saveSettings();
    const QString psw = m_strip ? m_strip->GetCurrDocPSW(int(kNewPosition)) : QString();
    word.SaveAs(name, psw);
    // A file written over takes the place of the one whose text was cached under its name.
    RemoveTextCache(name);
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
        if (tab.kind() != TabKind::Document || tab.position < 0 || !followDocument(tab) || !tab.isLibraryDocument()) {
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
    if (tab.isHelp() || !followDocument(tab)) {
        return;
    }
    // A new document, or a file the office saved outside the library, comes into the library.
    if (!tab.isLibraryDocument()) {
        SaveNewDoc();
        return;
    }
    activateDocument(tab);
    const QString name = pickDocumentName(tab.caption, tab.path);
    if (name.isEmpty()) {
        return;
    }
    TWordMgr& store = m_bench.store();
    m_bench.word().SaveAs(name, store.ReadAStrItem(tab.position, wdiPassword, true));
    // The cache is moved, never copied; a cache left by a file written over goes first. Two names differing only
    // in the case of a folder share one cache file, which then simply stays.
    if (TextCachePath(name) != TextCachePath(tab.path)) {
        RemoveTextCache(name);
    }
    MoveTextCache(tab.path, name);
    tab.path = name;
    tab.caption = DocumentCaption(name);
    tab.savedDuringLife = true;
    Pager->setTabText(Pager->currentIndex(), tab.caption);
    Pager->setTabToolTip(Pager->currentIndex(), tab.path);
    store.IncADigitItem(tab.position, wdiEditTimes, true);
    StoreRecordPath(store, tab.position, name);
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
    // save: its tab just goes. One the office saved under another name is followed and closed like any other.
    if (!followDocument(tab)) {
        DropActiveTab();
        return;
    }
    // A tab without a placed window closes its document like any other: nothing stays open and unsaved behind it.
    if (tab.kind() == TabKind::Workbook) {
        CloseMyExcel();
    } else if (tab.hasFile()) {
        CloseCurrDoc();
    } else {
        CloseCurrNewDoc();
    }
    if (Pager->count() > 0 && m_bench.hasWord() && !m_bench.word().Visible()) {
        m_bench.word().SetVisible(true);
    }
}

void DocumentTabs::CloseCurrDoc() {
    DocTab& tab = active();
    TiWord& word = m_bench.word();
    activateDocument(tab);
    const QString path = tab.path;
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
    if (!word.DocIsOpen(path)) {
        // The window went with the document.
        tab.window = 0;
    }
    DropActiveTab();
}

bool DocumentTabs::CloseCurrNewDoc() {
    switch (AskYesNoCancel(QStringLiteral("要保存 %1 吗？").arg(active().caption))) {
    case Answer::Cancel:
        return false;
    case Answer::No:
        discardNewDoc();
        return true;
    case Answer::Yes:
        break;
    }
    const QString name = saveNewDocAs();
    // Cancelled or already in the library: the tab and its text stay, so that nothing typed is lost.
    if (name.isEmpty()) {
        return false;
    }
    DocTab& tab = active();
    WriteTextCacheIfMissing(tab);
    m_bench.store().IncADigitItem(tab.position, wdiEditTimes, true);
    if (QWidget* window = Pager->window()) {
        window->raise();
    }
    TiWord& word = m_bench.word();
    word.CloseWordFileByName(name);
    if (!word.DocIsOpen(name)) {
        tab.window = 0;
    }
    DropActiveTab();
    return true;
}

void DocumentTabs::discardNewDoc() {
    DocTab& tab = active();
    activateDocument(tab);
    TiWord& word = m_bench.word();
    // Marked saved, the document closes without the office asking about it again.
    word.GiveupSave();
    word.CloseWordFileByName(tab.path);
    if (!word.DocIsOpen(tab.path)) {
        tab.window = 0;
    }
    DropActiveTab();
}

void DocumentTabs::DropActiveTab() {
    DocumentPage* page = activePage();
    if (!page) {
        return;
    }
    // A window still inside the page would be destroyed with it, and the office with its window: every tab that
    // goes gives its window back first.
    giveBackWindow(page->tab);
    m_embedQueue.removeAll(page);
    if (m_embedding == page) {
        if (m_withdrawing != 0) {
            m_bench.windows().showWindow(m_withdrawing, true);
        }
        finishEmbedding();
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
            if (followDocument(last->tab)) {
                word.ActivateDoc(last->tab.path);
            }
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

bool DocumentTabs::CloseMyExcel() {
    DocTab& tab = active();
    const QString path = tab.path;
    TiExcel& excel = m_bench.excel();
    excel.SaveExcelFile(path);
    // Closing discards what is unsaved: a workbook whose save failed (read-only, disk full) closes only when the
    // user says so, and otherwise keeps its tab.
    if (!excel.ExcelFileSaved(path) &&
        !AskYesNo(QStringLiteral("无法保存 %1，关闭后其中的改动将丢失；确定要关闭吗？").arg(path))) {
        return false;
    }
    if (QWidget* window = Pager->window()) {
        window->raise();
        window->activateWindow();
    }
    // Only this workbook: the others in tabs keep their unsaved work.
    excel.CloseExcelFile(path);
    if (!excel.IsWorkbookOpen(path)) {
        // The window went with the workbook.
        tab.window = 0;
    }
    DropActiveTab();
    return true;
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

bool DocumentTabs::prepareClose() {
    for (int i = 0; i < Pager->count();) {
        DocTab& tab = pageAt(i)->tab;
        bool stays = true;
        bool cancelled = false;
        try {
            if (tab.kind() == TabKind::Workbook) {
                if (m_bench.hasExcel() && !m_bench.excel().ExcelFileSaved(tab.path)) {
                    m_bench.excel().SaveExcelFile(tab.path);
                    if (!m_bench.excel().ExcelFileSaved(tab.path)) {
                        Pager->setCurrentIndex(i);
                        cancelled = !CloseMyExcel();
                        stays = cancelled;
                    }
                }
            } else if (!tab.isHelp() && m_bench.hasWord() && followDocument(tab) &&
                       m_bench.word().DocChanged(tab.path)) {
                Pager->setCurrentIndex(i);
                if (!tab.hasFile()) {
                    cancelled = !CloseCurrNewDoc();
                    stays = cancelled;
                } else {
                    activateDocument(tab);
                    m_bench.word().SaveWordFileByName(tab.path);
                }
            }
        } catch (const VelmoraError& error) {
            // Whatever could not be saved is closed unsaved only when the user says so.
            cancelled = !AskYesNo(QStringLiteral("%1\n\n仍要关闭吗？").arg(error.message()));
            if (!cancelled && tab.kind() != TabKind::Workbook) {
                // The user gave it up: the rest of the shutdown does not try it again.
                RunReported([&] { m_bench.word().SetDocChanged(tab.path, true); });
            }
        }
        if (cancelled) {
            return false;
        }
        if (stays) {
            ++i;
        }
    }
    return true;
}

void DocumentTabs::saveAndReleaseAll() {
    Timer1->stop();
    svTimer->stop();
    m_embedQueue.clear();
    for (int i = 0; i < Pager->count(); ++i) {
        DocTab& tab = pageAt(i)->tab;
        RunReported([&] {
            if (tab.kind() == TabKind::Workbook) {
                if (m_bench.hasExcel() && QFileInfo::exists(tab.path) && !m_bench.excel().ExcelFileSaved(tab.path)) {
                    saveWorkbook(tab);
                }
            } else if (tab.hasFile() && !tab.isHelp() && m_bench.hasWord() && QFileInfo::exists(tab.path) &&
                       m_bench.word().DocChanged(tab.path)) {
                m_bench.word().SaveWordFileByName(tab.path);
            }
        });
        RunReported([&] { giveBackWindow(tab); });
    }
}

} // namespace velmora
