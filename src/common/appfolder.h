#pragma once

#include <QString>

namespace velmora {

// The program's own folder with a trailing delimiter. Its letter case is kept: the file system is case-sensitive.
QString AppFolder();

// Where everything the program stores lives: `appdata/` beside the program unless the environment variable
// VELMORA_APPDATA or SetAppDataFolder() names another folder. Always ends with the delimiter.
QString AppDataFolder();
void SetAppDataFolder(const QString& folder);

QString WithTrailingBackslash(const QString& path);

// A folder name typed by the user, with what no file system accepts in a name removed.
QString CleanFolderName(const QString& name);

// Trims characters up to U+0020 at both ends, as the library formats define blank text.
QString TrimControl(const QString& text);
bool IsBlank(const QString& text);

} // namespace velmora
