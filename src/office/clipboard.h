#pragma once

#include <QString>

#include <functional>

namespace velmora {

// The office layer builds without a window system, so the real clipboard is reached through a writer that the
// main window installs. Without one the text stays inside the process, where LastClipboardText() reads it.
using ClipboardWriter = std::function<void(const QString& text)>;

void SetClipboardWriter(ClipboardWriter writer);
void CopyToClipboard(const QString& text);
QString LastClipboardText();

} // namespace velmora
