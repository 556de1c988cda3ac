#pragma once

#include <QString>

#include <functional>

namespace velmora {

// Opens a file or web address with the program the desktop associates with it. `failed` runs when no program took
// it: at once, or later from the event loop, when the desktop's opener ends saying so (it may run as long as the
// program it started, so it is not waited for). Tests replace the opener so that nothing is started; a replacement
// answers at once, and an empty one puts the desktop's back.
void OpenWithShell(const QString& pathOrUrl, const std::function<void()>& failed);
void SetShellOpener(std::function<bool(const QString&)> opener);

// Shows the file selected in the desktop's file manager; where no file manager offers that, opens its folder.
// `failed` runs when neither could be done, as for OpenWithShell.
void ShowInFileManager(const QString& path, const std::function<void()>& failed);
// Tests replace how a file is shown; the replacement returns false to have the folder opened instead.
void SetFileRevealer(std::function<bool(const QString&)> revealer);

// What the user is told when a file cannot be shown: where it is.
QString NoFileManagerText(const QString& path);

} // namespace velmora
