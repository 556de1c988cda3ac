#include "windows.h"

namespace velmora {

WindowSystem::~WindowSystem() = default;

WindowSystem& Windows() {
    static const std::unique_ptr<WindowSystem> system = [] {
        std::unique_ptr<WindowSystem> x11 = MakeX11Windows();
        return x11 ? std::move(x11) : MakeNullWindows();
    }();
    return *system;
}

WindowId FindTopWindowByCaption(WindowSystem& windows, const QString& name) {
    if (name.isEmpty()) {
        return 0;
    }
    for (const TopWindow& window : windows.topWindows()) {
        if ((!window.visible && !window.minimised) || window.owner != 0 || window.toolWindow) {
            continue;
        }
        if (window.caption.startsWith(name) && window.caption.contains(name, Qt::CaseInsensitive)) {
            return window.id;
        }
    }
    return 0;
}

} // namespace velmora
