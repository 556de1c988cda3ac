#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <functional>
#include <memory>
#include <vector>

struct sqlite3;

namespace velmora {

// A full-text index of the text cache, in SQLite's FTS5 beside the cache folder ("doctext.index"). It only
// proposes: its terms are the folded UTF-16 units of each cached text and every pair of neighbouring units (and
// every three neighbouring letters or digits of a Latin word), so a document holding a keyword of one or two
// units is known exactly, and one holding a longer keyword is a candidate that the search verifies against the
// text. It is derived data: every row carries the size,
// modification time and inode of the cache file it was made from, a row whose file no longer matches vouches for
// nothing, and a missing or damaged index leaves every document to the scan.
//
// Whoever changes the cache folder holds the index's write lock while doing so (TextIndexUpdate), and records
// the folder's own stamp after each such change. A search checks every row against its file (one stat each), so
// a file replaced, removed or rewritten in place behind the index is read as before.
QString TextIndexFile();

struct CacheStamp {
    qint64 size = -1;
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    friend bool operator==(const CacheStamp&, const CacheStamp&) = default;
};
// False when there is no such file.
bool StampOfFile(const QString& file, CacheStamp& stamp);

namespace textindex {
struct Connection;
}

// One change of the cache folder: made while holding the index's write lock, recorded in the index when
// finished. Never raises: an index that cannot be opened or written is left behind (it is then stale, and the
// search scans), and the cache file is written all the same.
class TextIndexUpdate final {
public:
    TextIndexUpdate();
    ~TextIndexUpdate();
    Q_DISABLE_COPY_MOVE(TextIndexUpdate)

    // The cache file `name` (a name in the cache folder) is about to be replaced; its present text is read so
    // that its terms can be taken out of the index.
    void aboutToReplace(const QString& name);
    // The cache file `name` now holds the text whose folded form is `folded`.
    void put(const QString& name, QStringView folded);
    void renamed(const QString& from, const QString& to);
    void removed(const QString& name);
    // Records the changes; without it they are rolled back.
    void commit();

private:
    std::unique_ptr<textindex::Connection> m_db;
    bool m_chain = false;
    qint64 m_oldId = -1;
    QString m_oldName;
    QString m_oldFolded;
    bool m_oldKnown = false;
};

// What one search may take from the index.
class TextIndexReader final {
public:
    TextIndexReader();
    ~TextIndexReader();
    Q_DISABLE_COPY_MOVE(TextIndexReader)

    // False when there is no index or it cannot be read.
    bool usable() const { return m_db != nullptr; }
    // The row id of each cache file whose text the index holds and can vouch for now, by file name. Files with
    // an empty or damaged text are not among them: the search treats those as before.
    const QHash<QString, qint64>& vouched() const { return m_vouched; }
    // Whether the index can tell by itself that a document holds `foldedWord` (one or two units, or three
    // letters or digits), or only propose candidates.
    static bool exact(QStringView foldedWord);
    // The sorted ids of the documents that may hold `foldedWord` (that do, when exact); false when the index
    // cannot answer (it is damaged).
    bool containing(QStringView foldedWord, std::vector<qint64>& ids);

private:
    void vouch();

    std::unique_ptr<textindex::Connection> m_db;
    QHash<QString, qint64> m_vouched;
};

// What `velmoradb index` and `check` see of the index.
struct TextIndexState {
    bool present = false;
    bool readable = false;
    bool complete = false;
    int rows = 0;
    int indexedFiles = 0;
    QStringList staleFiles;     // rows whose file changed or is gone
    QStringList unindexedFiles; // cache files without a row
    QString problem;            // what SQLite's own check said, when it found damage
};

// Brings the index level with the cache folder: every cache file whose row is missing or stale is read and
// indexed, rows of vanished files go, and the folder's stamp is recorded. `rebuild` starts from an empty index
// (also taken when the index is damaged or holds many terms of replaced texts). Returns the number of files read;
// raises an error when the index cannot be written at all.
int BuildTextIndex(bool rebuild, const std::function<void(int done, int total)>& progress = {});
// Compares the index with the cache folder file by file.
TextIndexState CheckTextIndex();

// The index's terms of one folded text, as the tokenizer gives them: for tests.
QStringList TextIndexTerms(QStringView folded);

} // namespace velmora
