#pragma once

#include <QString>
#include <QStringList>

namespace velmora::bench {

// What a generated library is made of. The same seed and the same day give the same library byte for byte; the
// day matters because access times lie relative to it, so that the date filters find recent documents.
struct LibraryOptions {
    int count = 100000;
    quint64 seed = 20240601;
    // Days since 1899-12-30 of the day the times count back from; 0 means today at midnight.
    double today = 0.0;
    // Put before every path, so that the documents can be made on disk below a folder of the benchmark's.
    QString root;
};

struct GeneratedLibrary {
    QString folder;
    QString dataFile;   // worddata.data; worddata.idx lies beside it
    QString sqliteFile; // library.sqlite, the same rows for the comparison
    int records = 0;
    int live = 0;
    int deleted = 0;
    int withPassword = 0;
    int untagged = 0;
    // A live document near the end of the record file, and a path the library does not hold.
    QString lateLivePath;
    QString absentPath;
};

// The tag tree the tag benchmark asks for: one tag and its five descendants, each used about as often as any
// other tag of the library.
QStringList TagFamily();
// The query text the tag tree hands the store: the tag and its descendants joined by spaces.
QString TagFamilyQuery();

// Writes worddata.idx, worddata.data and library.sqlite into folder (made when missing, earlier copies of those
// three files replaced) through the store's own record operations.
GeneratedLibrary GenerateLibrary(const QString& folder, const LibraryOptions& options = {});

// About chars characters of Chinese prose in CR LF lines, as a document's cached text would hold.
QString SampleChineseText(qsizetype chars, quint64 seed);

} // namespace velmora::bench
