#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace velmora::test {

// Containers built in memory, so that each test states the exact bytes a reader meets.

struct ZipEntry {
    QString name;
    QByteArray data;
};
QByteArray MakeZip(const QList<ZipEntry>& entries);
// A zip whose one entry `name` inflates to `actualMiB` MiB of zeros while its directory claims `declaredBytes`.
QByteArray MakeZipBomb(const QString& name, quint64 declaredBytes, int actualMiB);
// A minimal package whose main part is word/document.xml with `body` inside w:body.
QByteArray MakeDocx(const QString& body);

struct Stream {
    QString name;
    QByteArray data;
};
QByteArray MakeCompoundFile(const QList<Stream>& streams);

// The two streams of a Word 97 document: a FIB, the text pieces (stored in reverse order, so that file order
// and text order differ), a piece table and, when asked, one character property page marking deletions.
struct DocPiece {
    QString text;
    bool compressed = false;
};
struct DocStreams {
    QByteArray wordDocument;
    QByteArray table;
};
// `deletedCps` are character ranges marked deleted; `rowEndCps` the positions of row-end marks.
DocStreams MakeDocStreams(const QList<DocPiece>& pieces, qint64 ccpText = -1,
                          const QList<QPair<int, int>>& deletedCps = {}, const QList<int>& rowEndCps = {});
QByteArray PackDoc(const DocStreams& streams);

// Offsets of FIB fields the damage tests overwrite.
namespace fib {
inline constexpr int kFlags = 0x0A;
inline constexpr int kCcpText = 0x4C;
inline constexpr int kPairs = 0x98;
inline constexpr int kFcPlcfBteChpx = 0xFA;
inline constexpr int kFcPlcfBtePapx = 0x102;
inline constexpr int kFcClx = 0x1A2;
inline constexpr int kLcbClx = 0x1A6;
} // namespace fib

void PutU16(QByteArray& bytes, int at, quint16 value);
void PutU32(QByteArray& bytes, int at, quint32 value);

} // namespace velmora::test
