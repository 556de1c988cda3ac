#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The program's own folder with a trailing delimiter. Its letter case is kept: the file system is case-sensitive.
QString AppFolder();

// Where everything the program stores lives, always ending with the delimiter. The first of: the folder given
// to SetAppDataFolder() (velmoradb --appdata); the environment variable VELMORA_APPDATA; `appdata/` beside the
// program when it exists (a portable installation); $XDG_DATA_HOME/velmora/ (~/.local/share/velmora/). A build
// folder is thrown away routinely, so a library is never made beside the program unless one is already there.
QString AppDataFolder();
void SetAppDataFolder(const QString& folder);

// Makes the data folder readable by its owner only (the string file holds passwords in plain text) and lays the
// delivered files that are not there yet. Raises an error with the system's reason when the folder cannot be
// made. Never replaces a file the user has.
void PrepareDataFolder();
// Makes a folder of the data folder (with the folders above it that are missing) readable by its owner only, as the
// data folder is: the text cache and the backups hold the documents' text and the library's passwords. False when
// it cannot be made.
bool MakePrivateFolder(const QString& path);
// The delivered files, as resource paths, and the name each one gets in the data folder.
struct DeliveredFile {
    QString resource;
    QString name;
};
const QList<DeliveredFile>& DeliveredFiles();

QString WithTrailingBackslash(const QString& path);

// Where a file or folder picker starts, with a trailing delimiter: the first of `remembered` that is an existing
// absolute folder, else the user's documents folder, else the home folder. Never the program's folder or the
// working folder: a build folder is deleted routinely, and neither is where a user keeps documents.
QString PickerStartFolder(const QStringList& remembered);

// A folder name typed by the user, with what no file system accepts in a name removed.
QString CleanFolderName(const QString& name);

// Trims characters up to U+0020 at both ends, as the library formats define blank text.
QString TrimControl(const QString& text);
bool IsBlank(const QString& text);

} // namespace velmora
