#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

namespace velmora {

// Writes all of data or raises an error naming `name` and the device's reason.
void WriteAll(QIODevice& device, QByteArrayView data, const QString& name);

// Replaces a user's file so that a crash or a full disk never leaves it half written: the bytes go to a
// temporary file beside it, which is renamed over the old one only when everything was written.
void WriteFileAtomically(const QString& path, QByteArrayView data);

struct FileContent {
    QString path;
    QByteArray data;
};

// Several files that only make sense together (a record file and the string file it points into): every
// temporary file is written first, and the old files are replaced only when all of them were written.
void WriteFilesAtomically(const QList<FileContent>& files);

} // namespace velmora
