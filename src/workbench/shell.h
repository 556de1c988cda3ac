#pragma once

#include <QString>

#include <functional>

namespace velmora {

// Opens a file or web address with the program the desktop associates with it; false when no program took it.
// Tests replace the opener so that nothing is started.
bool OpenWithShell(const QString& pathOrUrl);
void SetShellOpener(std::function<bool(const QString&)> opener);

// Shows the file selected in the desktop's file manager; where no file manager offers that, opens its folder.
// False when neither could be done.
bool ShowInFileManager(const QString& path);
// Tests replace how a file is shown; the replacement returns false to have the folder opened instead.
void SetFileRevealer(std::function<bool(const QString&)> revealer);

} // namespace velmora
