#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3;

namespace velmora {

// A full-text index of the text cache, in SQLite's FTS5 beside the cache folder ("doctext.index"). It only
// proposes: its terms (textindexterms.h) tell exactly which documents hold a keyword of one unit or two letters,
// and give candidates for a longer one that the search verifies against the text. It is derived data: every row
// carries the size, modification time and inode of the cache file it was made from, and a missing or damaged
// index leaves every document to the scan.
//
// Whoever changes the cache folder marks the files it is about to change, then holds the index's write lock while
// changing them and records the folder's own stamp after (TextIndexUpdate). A search takes every unmarked row on
// trust while the folder's stamp is as recorded (one stat for the whole folder); otherwise it checks each row
// against its file, so that files replaced or removed by a program that does not know the index are read as
// before. A file rewritten in place by such a program keeps the folder's stamp: `velmoradb check` finds it, and
// `index --all` reads it again.
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
class Transaction;
} // namespace textindex

// One change of the cache folder: made while holding the index's write lock, recorded in the index when
// finished. Never raises: an index that cannot be opened or written is left behind (it is then stale, and the
// search scans), and the cache file is written all the same.
class TextIndexUpdate final {
public:
    // `changing`: the names of the cache files about to change. An index that cannot be told so is removed.
    explicit TextIndexUpdate(const QStringList& changing = {});
    ~TextIndexUpdate();
    Q_DISABLE_COPY_MOVE(TextIndexUpdate)

    // The cache file `name` (a name in the cache folder) is about to be replaced; its present text is read so
    // that its terms can be taken out of the index.
    void aboutToReplace(const QString& name);
    // The cache file `name` now holds the text whose folded form is `folded`.
    void put(const QString& name, QStringView folded);
    void renamed(const QString& from, const QString& to);
    void removed(const QString& name);
    // Records the changes and takes back this writer's marks; without it the changes are rolled back and the
    // marks stay, so the files named are read by the search until written again.
    void commit();

private:
    std::unique_ptr<textindex::Connection> m_db;
    std::unique_ptr<textindex::Transaction> m_change;
    qint64 m_owner = 0;
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
    // The row id of the cache file `name` when the index holds its text and can vouch for it now, else -1.
    // Files with an empty or damaged text have none: the search treats those as before.
    qint64 vouchedRow(QStringView name) const;
    // Whether the index can tell by itself that a document holds `foldedWord` (one or two units, or three
    // letters or digits), or only propose candidates.
    static bool exact(QStringView foldedWord);
    // The sorted ids of the documents that may hold `foldedWord` (that do, when exact); false when the index
    // cannot answer (it is damaged).
    bool containing(QStringView foldedWord, std::vector<qint64>& ids);

private:
    // False when the index cannot answer this search.
    bool vouch();
    bool vouchFileByFile(const QString& folderBefore);

    std::unique_ptr<textindex::Connection> m_db;
    // Open while the reader lives, so that the terms asked are of the state the rows were vouched in.
    std::unique_ptr<textindex::Transaction> m_read;
    // Every search looks up every document of the library here, so the rows are kept compact, in a table by a
    // 128-bit hash of their names (two names sharing one is beyond any library's lifetime of searches).
    struct VouchedRow {
        quint64 high;
        quint64 low;
        qint64 id;
    };
    std::vector<VouchedRow> m_vouched; // gathered while the rows are read
    std::vector<VouchedRow> m_slots;   // then placed here; id -1 marks a free slot
    void vouchFor(QStringView name, qint64 id);
    void placeVouched();
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
// A set `stop` ends it after the file being read, keeping what was done.
int BuildTextIndex(bool rebuild, const std::function<void(int done, int total)>& progress = {},
                   const std::atomic<bool>* stop = nullptr);
// Whether a build would find anything to do: no index beside a cache folder, one not level with the folder, or
// marks left by writers that stopped. Cheap: for the window's start.
bool TextIndexNeedsBuild();
// Compares the index with the cache folder file by file.
TextIndexState CheckTextIndex();

} // namespace velmora
