#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace velmora::bench {

// Sketches, not the store: how fast the first tag query and the first DocInBase of a fresh process could be if
// they read the record and string images in place, comparing UTF-16LE bytes without decoding a string or
// building an index. They answer exactly as the store does (checked before the benchmarks run), so their
// figures bound what a command-line process on the store could reach.

// Positions of the live records having a tag equal, ignoring the case of A to Z, to a word of query.
QList<qint64> ScanTagQuery(QByteArrayView records, QByteArrayView strings, const QString& query);

// Whether a live record's full path equals path ignoring the case of A to Z.
bool ScanDocInBase(QByteArrayView records, QByteArrayView strings, const QString& path);

// The position list of the records at positions, as the store's queries write it.
QString PositionListOf(QByteArrayView records, QByteArrayView strings, const QList<qint64>& positions);

} // namespace velmora::bench
