#include "windows.h"

#include <QRegularExpression>

namespace velmora {

WindowSystem::~WindowSystem() = default;

WindowSystem& Windows() {
    static const std::unique_ptr<WindowSystem> system = [] {
        std::unique_ptr<WindowSystem> x11 = MakeX11Windows();
        return x11 ? std::move(x11) : MakeNullWindows();
    }();
    return *system;
}

bool WindowSystem::activateWindow(WindowId) {
    return false;
}

namespace {

// What the office puts after a document's name in its window's caption.
bool IsOfficeSuffix(QStringView rest) {
    static const QRegularExpression suffix(
        QStringLiteral("^(?: \\((?:read-only|只读)\\))? - LibreOffice(?: [A-Za-z]+)?$"));
    return rest.isEmpty() || suffix.match(rest.toString()).hasMatch();
}

} // namespace

WindowId FindTopWindowByCaption(WindowSystem& windows, const QString& name) {
    if (name.isEmpty()) {
        return 0;
    }
    WindowId exact = 0;
    WindowId begins = 0;
    for (const TopWindow& window : windows.topWindows()) {
        if ((!window.visible && !window.minimised) || window.owner != 0 || window.toolWindow) {
            continue;
        }
        if (!window.caption.startsWith(name)) {
            continue;
        }
        // Later windows in stacking order are the newer ones.
        if (IsOfficeSuffix(QStringView(window.caption).mid(name.size()))) {
            exact = window.id;
        } else if (window.caption.contains(name, Qt::CaseInsensitive)) {
            begins = window.id;
        }
    }
    return exact != 0 ? exact : begins;
}

} // namespace velmora
