#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// A string item: a signed 32-bit little-endian byte count, then that many bytes of UTF-16LE text.
// Appends the item to the end of stream and returns the offset of its count; blank text writes nothing and
// gives -1.
qint64 WriteStreamString(QByteArray& stream, const QString& text);

// The text of the item at offset; the empty string for offset -1 or an empty stream. An offset or count that
// does not lie inside the stream raises an error naming the offset.
QString ReadStreamString(const QByteArray& stream, qint64 offset);

// The byte count of the item at offset, checked against the stream as ReadStreamString checks it.
qint32 StreamStringByteCount(const QByteArray& stream, qint64 offset);

} // namespace velmora
