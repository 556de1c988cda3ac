#include "documenttabs.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "common/prompts.h"
#include "documentlife.h"
#include "documentpage.h"
#include "office/officetext.h"
#include "office/tiword.h"
#include "platform/windows.h"
#include "store/wordmgr.h"
#include "tabwindows.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/settingslist.h"
#include "workbench/core/tagstrip.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QPalette>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace velmora {

namespace {

constexpr int kCloseAreaWidth = 120;
constexpr int kCloseAreaHeight = 28;

} // namespace

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

    m_windows = new TabWindows(bench, Pager, this);
    m_life = new DocumentLife(bench, area, this);
    connect(m_life, &DocumentLife::tabRenamed, this, [this](const DocTab* tab) { showTabName(*tab); });
    connect(m_life, &DocumentLife::articleRenamed, this, &DocumentTabs::articleRenamed);
    connect(m_life, &DocumentLife::documentAdded, this, &DocumentTabs::tagStripShowWanted);
    connect(m_life, &DocumentLife::tagTreeSaveWanted, this, &DocumentTabs::tagTreeSaveWanted);
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

void DocumentTabs::setTagStrip(TagStrip* strip) {
    m_strip = strip;
    m_life->setTagStrip(strip);
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

void DocumentTabs::addTab(const QString& caption, const QString& path, qint64 position) {
    DocTab tab;
    tab.caption = caption;
    tab.path = path;
    tab.position = position;
    auto* page = new DocumentPage(tab, Pager);
    page->setObjectName(QStringLiteral("docPage"));
    Describe(page, tab.caption);
    QPointer<DocumentPage> guarded(page);
    page->resized = [this, guarded] {
        if (guarded) {
            m_windows->place(guarded);
        }
    };
    page->clicked = [this, guarded] {
        if (guarded && guarded->tab.window != 0 && !guarded->tab.released) {
            m_bench.windows().activateWindow(guarded->tab.window);
        }
    };
    {
        const QSignalBlocker quiet(Pager);
        Pager->setCurrentIndex(Pager->addTab(page, tab.caption));
        Pager->setTabToolTip(Pager->currentIndex(), tab.path);
        NameTabCloseButton(Pager->tabBar(), Pager->currentIndex());
    }
    publishActiveTab();
    m_windows->embed(page);
}

void DocumentTabs::showTabName(const DocTab& tab) {
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
    if (page->tab.kind() != TabKind::Workbook && m_life->follow(page->tab)) {
        m_bench.word().ActivateDoc(page->tab.path);
    }
    loadStrip(page->tab.position);
    m_windows->place(page);
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

bool DocumentTabs::visitTabs(const std::function<Visit(DocumentPage* page, int index)>& step) {
    for (int i = 0; i < Pager->count();) {
        switch (step(pageAt(i), i)) {
        case Visit::Stop:
            return false;
        case Visit::Gone:
            break;
        case Visit::Next:
            ++i;
            break;
        }
    }
    return true;
}

// -- the office windows --

void DocumentTabs::Timer1Timer() {
    m_windows->Timer1Timer();
}

void DocumentTabs::tbtEmbedClick() {
    DocumentPage* page = activePage();
    if (!page || page->tab.kind() == TabKind::Workbook || page->tab.window == 0) {
        return;
    }
    if (page->tab.released) {
        m_windows->takeBack(page);
        if (Pager->count() == 1) {
            ShowCloseArea(true);
        }
        return;
    }
    m_windows->giveBack(page->tab);
    if (Pager->count() == 1) {
        ShowCloseArea(false);
    }
}

// -- saving --

void DocumentTabs::tbtSaveClick() {
    if (DocumentPage* page = activePage()) {
        m_life->save(page->tab, SaveOccasion::Command);
    }
}

void DocumentTabs::svTimerTimer() {
    if (DocumentPage* page = activePage()) {
        m_life->save(page->tab, SaveOccasion::Autosave);
    }
}

void DocumentTabs::tbtSaveAllClick() {
    visitTabs([this](DocumentPage* page, int) {
        m_life->save(page->tab, SaveOccasion::All);
        return Visit::Next;
    });
}

void DocumentTabs::ItemSaveAsClick() {
    if (DocumentPage* page = activePage()) {
        m_life->saveAs(page->tab);
    }
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
    // A tab without a placed window closes its document like any other: nothing stays open and unsaved behind it.
    if (!m_life->follow(tab) || m_life->close(tab) == Closing::Closed) {
        DropActiveTab();
    }
    if (Pager->count() > 0 && m_bench.hasWord() && !m_bench.word().Visible()) {
        m_bench.word().SetVisible(true);
    }
}

void DocumentTabs::DropActiveTab() {
    DocumentPage* page = activePage();
    if (!page) {
        return;
    }
    // A window still inside the page would be destroyed with it, and the office with its window: every tab that
    // goes gives its window back first.
    m_windows->giveBack(page->tab);
    m_windows->forget(page);
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
            if (m_life->follow(last->tab)) {
                word.ActivateDoc(last->tab.path);
            }
        } else if (m_bench.hasWord()) {
            m_bench.word().SetVisible(true);
        }
        ShowCloseArea(true);
        loadStrip(last->tab.position);
        m_windows->place(last);
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
    if (m_life->removeFromLibrary(tab) == Closing::Closed) {
        DropActiveTab();
    }
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
    return visitTabs([this](DocumentPage* page, int index) {
        switch (m_life->settleBeforeQuit(page->tab, [this, index] { Pager->setCurrentIndex(index); })) {
        case Closing::Cancelled:
            return Visit::Stop;
        case Closing::Closed:
            DropActiveTab();
            return Visit::Gone;
        case Closing::Stays:
            break;
        }
        return Visit::Next;
    });
}

void DocumentTabs::saveAndReleaseAll() {
    m_windows->stop();
    svTimer->stop();
    visitTabs([this](DocumentPage* page, int) {
        RunReported([&] { m_life->save(page->tab, SaveOccasion::Shutdown); });
        RunReported([&] { m_windows->giveBack(page->tab); });
        return Visit::Next;
    });
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

} // namespace velmora
