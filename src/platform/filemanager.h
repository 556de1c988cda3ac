#pragma once

#include <QString>

namespace velmora {

// Asks the desktop's file manager over the session bus (org.freedesktop.FileManager1.ShowItems) to show its
// folder with the file selected. False when no session bus or no file manager answers.
bool RevealInFileManager(const QString& path);

} // namespace velmora
