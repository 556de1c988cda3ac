#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace velmora {

// A native window id: the X11 window on X11, 0 for none.
using WindowId = quint64;

struct TopWindow {
    WindowId id = 0;
    QString caption;
    WindowId owner = 0; // the window this one is transient for; 0 for the desktop
    bool visible = false;
    bool minimised = false;
    bool toolWindow = false; // utility, tool bar, menu, dock or splash windows
};

// The top-level windows of the session and the few changes made to foreign windows: taking one into a window of
// ours and placing it there.
class WindowSystem {
public:
    virtual ~WindowSystem();

    // In the window system's stacking order, bottom first.
    virtual QList<TopWindow> topWindows() = 0;
    // Parent 0 gives the window back to the desktop. A re-parented window is shown again, because X11 unmaps a
    // mapped window that changes parent.
    virtual bool setParent(WindowId window, WindowId parent) = 0;
    virtual bool moveWindow(WindowId window, int x, int y, int width, int height) = 0;
    virtual bool showWindow(WindowId window, bool show) = 0;
    // Drops the title bar and the window menu, so that the window sits in another like a child.
    virtual bool removeFrame(WindowId window) = 0;
    // Raises the window and gives it the keyboard focus, as a user's click into it does.
    virtual bool activateWindow(WindowId window);
};

// The window system of this session: X11 when a display answers, otherwise one that has no windows.
WindowSystem& Windows();

std::unique_ptr<WindowSystem> MakeNullWindows();
// Nothing when there is no X11 display (or the program was built without X11).
std::unique_ptr<WindowSystem> MakeX11Windows();

// The top-level window of the document called name. A caption that is exactly the name followed by the office's
// title suffix (" - LibreOffice Writer", optionally with " (read-only)" before it) wins over one that merely begins
// with the name (exact comparison) and contains it ignoring case, so that 笔记.docx never takes the window of
// 笔记.docx.bak; among equals the newest, the last in stacking order. Hidden and not minimised windows, owned windows
// and tool windows are left out. 0 when there is none.
WindowId FindTopWindowByCaption(WindowSystem& windows, const QString& name);

} // namespace velmora
