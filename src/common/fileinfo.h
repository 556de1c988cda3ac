#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

// What tells one state of a file from another without reading it: a writer that replaces the file gives a new
// inode, one that writes it in place a new size or modification time.
struct FileStamp {
    qint64 size = -1; // -1: no such file
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// The stamp of the file at `path` as it is now (following links); size -1 when there is none.
FileStamp FileStampOf(const QString& path);

// The size of the first file matching path (its name may hold * and ?); -1 when none.
qint64 GetFileSizeOf(const QString& path);

// True when the file exists and another process holds it: it cannot be opened for reading and writing, another
// process holds a lock on it, or an office has it open (its lock file ".~lock.NAME#" lies beside it).
bool FileInUse(const QString& path);
// The lock file LibreOffice keeps beside a document it has open.
QString OfficeLockFileOf(const QString& path);

enum class FileDateKind { Created = 1, Written = 2, Accessed = 3 };

// The file's time in local time as days since 1899-12-30; nothing when the file does not exist. The creation
// time falls back to the last-write time on file systems that do not keep it.
std::optional<double> GetFileDate(const QString& path, FileDateKind kind);

// Appends the files of dir (which ends with the delimiter) taken by filter, and with recurse the sub-folders,
// each folder's line before its contents and a folder's files before its sub-folders.
void ListFiles(const QString& dir, const QString& filter, bool recurse, QStringList& list);

QString SizeToText(qint64 size);
QString MakeFileFilter(const QString& ext);

} // namespace velmora
