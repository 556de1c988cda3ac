#include "windows.h"

namespace velmora {

namespace {

// Wayland and offscreen sessions: no foreign window can be found or moved, so a tab keeps window 0.
class NullWindows final : public WindowSystem {
public:
    QList<TopWindow> topWindows() override { return {}; }
    bool setParent(WindowId, WindowId) override { return false; }
    bool moveWindow(WindowId, int, int, int, int) override { return false; }
    bool showWindow(WindowId, bool) override { return false; }
    bool removeFrame(WindowId) override { return false; }
};

} // namespace

std::unique_ptr<WindowSystem> MakeNullWindows() {
    return std::make_unique<NullWindows>();
}

#ifndef VELMORA_HAVE_X11
std::unique_ptr<WindowSystem> MakeX11Windows() {
    return nullptr;
}
#endif

} // namespace velmora
