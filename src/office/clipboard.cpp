#include "clipboard.h"

namespace velmora {

namespace {

struct ClipboardState {
    ClipboardWriter writer;
    QString last;
};

ClipboardState& state() {
    static ClipboardState instance;
    return instance;
}

} // namespace

void SetClipboardWriter(ClipboardWriter writer) {
    state().writer = std::move(writer);
}

void CopyToClipboard(const QString& text) {
    ClipboardState& s = state();
    s.last = text;
    if (s.writer) {
        s.writer(text);
    }
}

QString LastClipboardText() {
    return state().last;
}

} // namespace velmora
