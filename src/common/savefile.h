#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

namespace velmora {

// Writes all of data or raises an error naming `name` and the device's reason.
void WriteAll(QIODevice& device, QByteArrayView data, const QString& name);

// Every file Velmora writes is its owner's alone (0600): the string file holds passwords in plain text.
//
// Replaces a user's file so that a crash or a full disk never leaves it half written: the bytes go to a
// temporary file beside it, synced, then renamed over the old one. A symbolic link planted at the name is
// replaced, never followed. On failure the old file is untouched and the error names the file and the reason.
void WriteFileAtomically(const QString& path, QByteArrayView data);

// Writes a file that must not exist yet; an existing file (or link) at the name is an error, never overwritten.
void WriteNewFile(const QString& path, QByteArrayView data);

struct FileContent {
    QString path;
    QByteArray data;
};

// Files that only make sense together (a record file and the string file it points into), all in one folder.
// No rename of two files is atomic, so the switch is made recoverable instead: each new file is written beside
// its old one as "name.new" and synced; then `marker` is written atomically, naming them; then each is renamed
// over its old file in the given order; then the marker is removed. A process killed anywhere leaves either no
// marker (the old files are whole; stray .new files are garbage) or a marker (the new files are whole, some
// perhaps still under .new), which FinishFileSwitch completes at the next opening.
void WriteFilesTogether(const QString& marker, const QList<FileContent>& files);

// Completes or rolls back a switch that a killed process left; `paths` are the files it may concern. Raises an
// error when the folder cannot be written and a marker asks for renames.
void FinishFileSwitch(const QString& marker, const QStringList& paths);

// The file that holds `path`'s current content while a switch is pending and nobody may finish it (a reader
// in a folder it cannot write): the new file when the marker names it and it is not renamed yet.
QString CurrentFileOf(const QString& marker, const QString& path);

// Writes every file beside its old one first and renames them only when all were written, so a failed write
// changes none; a kill between the renames may leave some renamed. For copies, never for the library pair.
void WriteFilesAtomically(const QList<FileContent>& files);

// Suffix of the not-yet-switched file beside its final name.
inline QString NewFileSuffix() {
    return QStringLiteral(".new");
}

} // namespace velmora
