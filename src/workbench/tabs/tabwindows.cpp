#include "tabwindows.h"

#include "documentpage.h"
#include "office/tiexcel.h"
#include "office/tiword.h"
#include "workbench/application.h"
#include "workbench/workbench.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace velmora {

namespace {

constexpr int kEmbedTickMs = 150;
constexpr int kEmbedAttempts = 60;
constexpr int kWithdrawTickMs = 10;

bool IsShownTopWindow(WindowSystem& windows, WindowId window) {
    for (const TopWindow& top : windows.topWindows()) {
        if (top.id == window) {
            return top.visible || top.minimised;
        }
    }
    return false;
}

} // namespace

TabWindows::TabWindows(Workbench& bench, QWidget* area, QObject* parent)
    : QObject(parent), m_bench(bench), m_area(area) {
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kEmbedTickMs);
    ConnectReported(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TabWindows::embed(DocumentPage* page) {
    // A window being taken is withdrawn from the desktop meanwhile: dropping its search would leave it hidden.
    if (m_embedding && m_embedding != page && Timer1->isActive()) {
        m_queue.append(page);
        return;
    }
    m_embedding = page;
    m_attempts = 0;
    m_withdrawing = 0;
    // The office has usually made the window by the time the opening returns: the first attempt does not wait
    // for a whole tick, the later ones do.
    Timer1->start(0);
}

void TabWindows::forget(DocumentPage* page) {
    m_queue.removeAll(page);
    if (m_embedding == page) {
        if (m_withdrawing != 0) {
            m_bench.windows().showWindow(m_withdrawing, true);
        }
        finish();
    }
}

void TabWindows::stop() {
    Timer1->stop();
    m_queue.clear();
}

void TabWindows::finish() {
    Timer1->stop();
    Timer1->setInterval(kEmbedTickMs);
    m_attempts = 0;
    m_withdrawing = 0;
    m_embedding = nullptr;
    while (!m_queue.isEmpty()) {
        const QPointer<DocumentPage> next = m_queue.takeFirst();
        if (next && next->tab.window == 0) {
            embed(next);
            return;
        }
    }
}

void TabWindows::Timer1Timer() {
    // The window found is stored only into the tab the search was started for, and only when one was found.
    DocumentPage* page = m_embedding;
    if (m_withdrawing == 0 && Timer1->interval() != kEmbedTickMs) {
        Timer1->setInterval(kEmbedTickMs);
    }
    if (!page) {
        finish();
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
        finish();
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
        place(page);
        settle(page);
        return;
    }
    if (++m_attempts > kEmbedAttempts) {
        // Never leave a document's window withdrawn: it goes back to the desktop, and the tab keeps window 0.
        if (m_withdrawing != 0) {
            windows.showWindow(m_withdrawing, true);
        }
        finish();
    }
}

void TabWindows::settle(DocumentPage* page) {
    // The window manager lets go of a window taken from its frame a moment later, unmapping it and putting back
    // its size; shown and placed again once that has passed, it stays.
    for (const int delay : {50, 150, 400, 1000}) {
        QTimer::singleShot(delay, page, [this, page] {
            if (page->tab.window != 0 && !page->tab.released) {
                m_bench.windows().showWindow(page->tab.window, true);
                place(page);
            }
        });
    }
}

void TabWindows::place(DocumentPage* page) {
    if (!page || page->tab.window == 0 || page->tab.released) {
        return;
    }
    m_bench.windows().moveWindow(page->tab.window, 0, 0, page->width(), page->height());
}

void TabWindows::giveBack(DocTab& tab) {
    if (tab.window != 0 && !tab.released) {
        releaseToDesktop(tab.window);
        tab.released = true;
    }
}

void TabWindows::takeBack(DocumentPage* page) {
    WindowSystem& windows = m_bench.windows();
    windows.removeFrame(page->tab.window);
    windows.setParent(page->tab.window, page->winId());
    page->tab.released = false;
    place(page);
    settle(page);
}

void TabWindows::releaseToDesktop(WindowId window) {
    WindowSystem& windows = m_bench.windows();
    windows.setParent(window, 0);
    // Frameless, it cannot be maximised by a window manager's button, nor found at the corner it would land in.
    const QScreen* screen = m_area && m_area->screen() ? m_area->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect free = screen->availableGeometry();
        windows.moveWindow(window, free.x(), free.y(), free.width(), free.height());
    }
    windows.showWindow(window, true);
}

} // namespace velmora
