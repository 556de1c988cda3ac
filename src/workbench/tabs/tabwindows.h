#pragma once

#include "platform/windows.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QTimer;
class QWidget;

namespace velmora {

class DocumentPage;
struct DocTab;
class Workbench;

// The office windows of the tabs: each is found once its document is opened, taken from the desktop into its
// tab's page, kept at the page's size, and given back to the desktop when the tab goes or the user asks.
class TabWindows final : public QObject {
    Q_OBJECT

public:
    // `area` is where the tabs are shown: its screen is where a window given back goes.
    TabWindows(Workbench& bench, QWidget* area, QObject* parent);

    // Looks for the page's window, one page at a time in the order asked.
    void embed(DocumentPage* page);
    // The page goes: a window being taken for it goes back to the desktop, and nothing more is done for it.
    void forget(DocumentPage* page);
    // Shutdown: nothing more is looked for.
    void stop();
    // One attempt of the search for the window of the page being embedded (the timer's tick).
    void Timer1Timer();

    void place(DocumentPage* page);
    void giveBack(DocTab& tab);
    // The page's window into its page again after it was given back.
    void takeBack(DocumentPage* page);

private:
    void finish();
    void settle(DocumentPage* page);
    // Gives the window back to the desktop, spread over the screen's free area as a maximised window is.
    void releaseToDesktop(WindowId window);

    Workbench& m_bench;
    QPointer<QWidget> m_area;
    QTimer* Timer1 = nullptr;
    int m_attempts = 0;
    // A found window waiting for the window manager to let go of it.
    quint64 m_withdrawing = 0;
    QPointer<DocumentPage> m_embedding;
    // Tabs opened while another's window was still being taken, in their order.
    QList<QPointer<DocumentPage>> m_queue;
};

} // namespace velmora
