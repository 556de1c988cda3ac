#include "windows.h"

#include <QByteArray>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>

namespace velmora {

namespace {

// Foreign windows vanish between two requests; Xlib's default handler would end the program for that.
std::atomic<int> lastError{0};
int rememberError(Display*, XErrorEvent* event) {
    lastError = event->error_code;
    return 0;
}

class X11Windows final : public WindowSystem {
public:
    explicit X11Windows(Display* display) : m_display(display) { XSetErrorHandler(rememberError); }
    ~X11Windows() override { XCloseDisplay(m_display); }
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    QList<TopWindow> topWindows() override {
        QList<TopWindow> result;
        for (Window window : clients()) {
            TopWindow top;
            top.id = window;
            top.caption = caption(window);
            Window owner = 0;
            if (XGetTransientForHint(m_display, window, &owner) && owner != root()) {
                top.owner = owner;
            }
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(m_display, window, &attributes)) {
                top.visible = attributes.map_state == IsViewable;
            }
            top.minimised = wmState(window) == IconicState;
            top.toolWindow = isToolWindow(window);
            result.append(top);
        }
        return result;
    }

    bool setParent(WindowId window, WindowId parent) override {
        lastError = 0;
        XReparentWindow(m_display, Window(window), parent ? Window(parent) : root(), 0, 0);
        XMapWindow(m_display, Window(window));
        XSync(m_display, False);
        return lastError == 0;
    }

    bool moveWindow(WindowId window, int x, int y, int width, int height) override {
        lastError = 0;
        XMoveResizeWindow(m_display, Window(window), x, y, unsigned(qMax(1, width)), unsigned(qMax(1, height)));
        XSync(m_display, False);
        return lastError == 0;
    }

    bool showWindow(WindowId window, bool show) override {
        lastError = 0;
        if (show) {
            XMapWindow(m_display, Window(window));
        } else {
            XUnmapWindow(m_display, Window(window));
        }
        XSync(m_display, False);
        return lastError == 0;
    }

    bool removeFrame(WindowId window) override {
        // The Motif hints are what window managers read for decorations: flags 2 (decorations given), none.
        const long hints[5] = {2, 0, 0, 0, 0};
        const Atom motif = atom("_MOTIF_WM_HINTS");
        lastError = 0;
        XChangeProperty(m_display, Window(window), motif, motif, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(hints), 5);
        XSync(m_display, False);
        return lastError == 0;
    }

    bool activateWindow(WindowId window) override {
        lastError = 0;
        XRaiseWindow(m_display, Window(window));
        // A window manager decides about the focus itself and is asked the way pagers ask it (source 2: a
        // user's action); without one the focus is set directly.
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = Window(window);
        event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSetInputFocus(m_display, Window(window), RevertToParent, CurrentTime);
        XSync(m_display, False);
        return lastError == 0;
    }

private:
    Window root() const { return DefaultRootWindow(m_display); }
    Atom atom(const char* name) const { return XInternAtom(m_display, name, False); }

    // A window manager lists its client windows; without one the clients are the children of the root.
    QList<Window> clients() {
        QList<Window> windows;
        const QList<quint64> listed = cardinals(root(), atom("_NET_CLIENT_LIST_STACKING"), XA_WINDOW);
        if (!listed.isEmpty()) {
            for (quint64 id : listed) {
                windows.append(Window(id));
            }
            return windows;
        }
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(m_display, root(), &rootReturn, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count; ++i) {
                windows.append(children[i]);
            }
            XFree(children);
        }
        return windows;
    }

    QList<quint64> cardinals(Window window, Atom property, Atom type) {
        QList<quint64> values;
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_display, window, property, 0, 4096, False, type, &actualType, &format, &count, &after,
                               &data) == Success &&
            data) {
            if (format == 32) {
                // Xlib hands 32-bit properties over as longs.
                const long* items = reinterpret_cast<const long*>(data);
                for (unsigned long i = 0; i < count; ++i) {
                    values.append(quint64(items[i]));
                }
            }
            XFree(data);
        }
        return values;
    }

    QString caption(Window window) {
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        QString text;
        if (XGetWindowProperty(m_display, window, atom("_NET_WM_NAME"), 0, 65536, False, atom("UTF8_STRING"),
                               &actualType, &format, &count, &after, &data) == Success &&
            data) {
            text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(count));
            XFree(data);
            if (!text.isEmpty()) {
                return text;
            }
        }
        XTextProperty property{};
        if (XGetWMName(m_display, window, &property) && property.value) {
            char** list = nullptr;
            int items = 0;
            if (Xutf8TextPropertyToTextList(m_display, &property, &list, &items) >= Success && list) {
                if (items > 0) {
                    text = QString::fromUtf8(list[0]);
                }
                XFreeStringList(list);
            }
            XFree(property.value);
        }
        return text;
    }

    long wmState(Window window) {
        const Atom state = atom("WM_STATE");
        const QList<quint64> values = cardinals(window, state, state);
        return values.isEmpty() ? long(NormalState) : long(values.first());
    }

    bool isToolWindow(Window window) {
        static const char* const toolTypes[] = {"_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_TOOLBAR",
                                                "_NET_WM_WINDOW_TYPE_MENU",    "_NET_WM_WINDOW_TYPE_DOCK",
                                                "_NET_WM_WINDOW_TYPE_SPLASH",  "_NET_WM_WINDOW_TYPE_TOOLTIP"};
        for (quint64 type : cardinals(window, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM)) {
            for (const char* tool : toolTypes) {
                if (Atom(type) == atom(tool)) {
                    return true;
                }
            }
        }
        return false;
    }

    Display* m_display;
};

} // namespace

std::unique_ptr<WindowSystem> MakeX11Windows() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return nullptr;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return nullptr;
    }
    return std::make_unique<X11Windows>(display);
}

} // namespace velmora
