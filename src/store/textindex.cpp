#include "store/textindex.h"

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "common/errors.h"
#include "store/foldedtext.h"
#include "store/textcache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <thread>

#include <dirent.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int kVersion = 1;
// A folder stamp younger than this may still be shared by a change made right after it (file times advance in
// ticks of the kernel's coarse clock), so a search does not record it as the state it has checked.
constexpr qint64 kRacyNs = 50'000'000;
// Replaced texts whose terms could not be taken out stay in the index as rows of no file; past this share of the
// live rows, a build starts the index afresh.
constexpr double kGarbageShare = 0.25;

// A term is one UTF-16 unit or a pair of them, written as three characters per unit from '0' to 'o', so that it
// never holds a quote of the query syntax and a term of one unit never equals one of two.
void encodeUnit(char16_t unit, char* out) {
    out[0] = char(0x30 + (unit >> 12));
    out[1] = char(0x30 + ((unit >> 6) & 0x3F));
    out[2] = char(0x30 + (unit & 0x3F));
}

bool latinWordUnit(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z');
}

// A term key: a pair as its two units; a single unit with bit 32 set; three neighbouring units of a Latin word
// (letters and digits, folded), with bit 48 set. Latin words have too few pairs of letters for pairs alone to
// tell documents apart, so they get their triples too.
constexpr quint64 kUnitBit = quint64(1) << 32;
constexpr quint64 kTripleBit = quint64(1) << 48;

// The distinct term keys of a folded text.
std::vector<quint64> distinctTerms(const char16_t* units, qsizetype n) {
    size_t capacity = 64;
    while (capacity < size_t(n) * 6) {
        capacity <<= 1;
    }
    // Open addressing over key + 1, so that 0 marks a free slot.
    std::vector<quint64> table(capacity, 0);
    std::vector<quint64> keys;
    keys.reserve(size_t(n) + 64);
    const auto add = [&](quint64 key) {
        size_t slot = size_t((key * 0x9E3779B97F4A7C15ULL) >> 20) & (capacity - 1);
        while (table[slot] != 0) {
            if (table[slot] == key + 1) {
                return;
            }
            slot = (slot + 1) & (capacity - 1);
        }
        table[slot] = key + 1;
        keys.push_back(key);
    };
    for (qsizetype i = 0; i < n; ++i) {
        add(kUnitBit | units[i]);
        if (i + 1 < n) {
            add((quint64(units[i]) << 16) | units[i + 1]);
        }
        if (i + 2 < n && latinWordUnit(units[i]) && latinWordUnit(units[i + 1]) && latinWordUnit(units[i + 2])) {
            add(kTripleBit | (quint64(units[i]) << 32) | (quint64(units[i + 1]) << 16) | units[i + 2]);
        }
    }
    return keys;
}

// The term keys a document holding the folded word must have.
std::vector<quint64> wordTerms(QStringView word) {
    const auto* units = reinterpret_cast<const char16_t*>(word.data());
    const qsizetype n = word.size();
    std::vector<quint64> keys;
    if (n == 1) {
        keys.push_back(kUnitBit | units[0]);
    }
    for (qsizetype i = 0; i + 1 < n; ++i) {
        keys.push_back((quint64(units[i]) << 16) | units[i + 1]);
        if (i + 2 < n && latinWordUnit(units[i]) && latinWordUnit(units[i + 1]) && latinWordUnit(units[i + 2])) {
            keys.push_back(kTripleBit | (quint64(units[i]) << 32) | (quint64(units[i + 1]) << 16) | units[i + 2]);
        }
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

int encodeKey(quint64 key, char* out) {
    if (key & kTripleBit) {
        encodeUnit(char16_t((key >> 32) & 0xFFFF), out);
        encodeUnit(char16_t((key >> 16) & 0xFFFF), out + 3);
        encodeUnit(char16_t(key & 0xFFFF), out + 6);
        return 9;
    }
    if (key & kUnitBit) {
        encodeUnit(char16_t(key & 0xFFFF), out);
        return 3;
    }
    encodeUnit(char16_t(key >> 16), out);
    encodeUnit(char16_t(key & 0xFFFF), out + 3);
    return 6;
}

// The tokenizer: a document arrives as the bytes of its folded UTF-16 text, a query term already encoded.
int tokenizerCreate(void*, const char**, int, Fts5Tokenizer** out) {
    static int marker = 0;
    *out = reinterpret_cast<Fts5Tokenizer*>(&marker);
    return SQLITE_OK;
}

void tokenizerDelete(Fts5Tokenizer*) {}

int tokenize(Fts5Tokenizer*, void* context, int flags, const char* text, int bytes,
             int (*token)(void*, int, const char*, int, int, int)) {
    if (flags & FTS5_TOKENIZE_QUERY) {
        return bytes > 0 ? token(context, 0, text, bytes, 0, bytes) : SQLITE_OK;
    }
    std::vector<char16_t> units(size_t(bytes / 2));
    std::memcpy(units.data(), text, units.size() * 2);
    char encoded[9];
    for (const quint64 key : distinctTerms(units.data(), qsizetype(units.size()))) {
        const int rc = token(context, 0, encoded, encodeKey(key, encoded), 0, 0);
        if (rc != SQLITE_OK) {
            return rc;
        }
    }
    return SQLITE_OK;
}

fts5_api* fts5Of(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(statement, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    return api;
}

qint64 nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

QString folderStampText() {
    CacheStamp stamp;
    if (!StampOfFile(TextCacheFolder(), stamp)) {
        return QStringLiteral("-");
    }
    return QStringLiteral("%1:%2").arg(stamp.modifiedNs).arg(stamp.inode);
}

qint64 folderModified() {
    CacheStamp stamp;
    return StampOfFile(TextCacheFolder(), stamp) ? stamp.modifiedNs : 0;
}

// The cache files of the folder: what the writers name "*.dat_" (their temporary files end otherwise).
QStringList cacheFileNames() {
    QStringList names;
    DIR* dir = ::opendir(QFile::encodeName(TextCacheFolder()).constData());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name.endsWith(QLatin1String(".dat_")) && entry->d_type != DT_DIR) {
            names.append(name);
        }
    }
    ::closedir(dir);
    return names;
}

void removeIndexFiles() {
    for (const char* tail : {"", "-wal", "-shm"}) {
        QFile::remove(TextIndexFile() + QLatin1String(tail));
    }
}

enum class RowState : int { Text = 0, Empty = 1, Damaged = 2 };

// The folded text of a cache file as the search reads it; Damaged for what it would not read.
RowState readFolded(const QString& file, QString& folded, CacheStamp& stamp) {
    folded.clear();
    struct stat info {};
    QByteArray compressed;
    const bool whole = ReadCacheFileBytes(file, compressed, info);
    if (info.st_ino != 0) {
        stamp = CacheStamp{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                           quint64(info.st_ino)};
    }
    QByteArray plain;
    if (!whole || !InflateCacheBytes(compressed, plain)) {
        return RowState::Damaged;
    }
    folded = FoldedCacheText(plain);
    return folded.isEmpty() ? RowState::Empty : RowState::Text;
}

} // namespace

namespace textindex {

// One connection to the index, with the statements its users need. Errors are kept, not raised: the index is
// derived data and its failure must never stop a cache write or a search.
struct Connection {
    sqlite3* db = nullptr;
    bool failed = false;

    ~Connection() { sqlite3_close_v2(db); }

    bool exec(const char* sql) {
        if (failed) {
            return false;
        }
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            failed = true;
        }
        return !failed;
    }

    struct Statement {
        Connection* owner;
        sqlite3_stmt* s = nullptr;
        Statement(Connection* c, const char* sql) : owner(c) {
            if (!c->failed && sqlite3_prepare_v2(c->db, sql, -1, &s, nullptr) != SQLITE_OK) {
                c->failed = true;
            }
        }
        ~Statement() { sqlite3_finalize(s); }
        Statement& bind(int i, qint64 v) {
            if (s) {
                sqlite3_bind_int64(s, i, v);
            }
            return *this;
        }
        Statement& bind(int i, const QString& v) {
            if (s) {
                sqlite3_bind_text16(s, i, v.utf16(), int(v.size() * 2), SQLITE_TRANSIENT);
            }
            return *this;
        }
        Statement& bindBlob(int i, QStringView v) {
            if (s) {
                sqlite3_bind_blob64(s, i, v.data(), sqlite3_uint64(v.size() * 2), SQLITE_STATIC);
            }
            return *this;
        }
        // True while it gives a row.
        bool step() {
            if (!s) {
                return false;
            }
            const int rc = sqlite3_step(s);
            if (rc == SQLITE_ROW) {
                return true;
            }
            if (rc != SQLITE_DONE) {
                owner->failed = true;
            }
            return false;
        }
        qint64 integer(int i) const { return sqlite3_column_int64(s, i); }
        QString text(int i) const {
            return QString::fromUtf16(static_cast<const char16_t*>(sqlite3_column_text16(s, i)),
                                      sqlite3_column_bytes16(s, i) / 2);
        }
    };

    QString meta(const char* key) {
        Statement q(this, "SELECT value FROM meta WHERE key = ?1");
        q.bind(1, QString::fromLatin1(key));
        return q.step() ? q.text(0) : QString();
    }
    void setMeta(const char* key, const QString& value) {
        Statement q(this, "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2)");
        q.bind(1, QString::fromLatin1(key)).bind(2, value).step();
    }
    qint64 metaNumber(const char* key) { return meta(key).toLongLong(); }
    void bump(const char* key, qint64 by = 1) { setMeta(key, QString::number(metaNumber(key) + by)); }
};

namespace {

bool createSchema(Connection& c) {
    const bool made =
        c.exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;"
               "CREATE TABLE IF NOT EXISTS docs(id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE,"
               " size INTEGER NOT NULL, mtime INTEGER NOT NULL, inode INTEGER NOT NULL, state INTEGER NOT NULL);"
               "CREATE VIRTUAL TABLE IF NOT EXISTS terms USING fts5(body, content='', detail=none, columnsize=0,"
               " tokenize='velmora');");
    if (made && c.meta("version").isEmpty()) {
        c.setMeta("version", QString::number(kVersion));
        // An index made beside an empty folder already covers all of it.
        const bool empty = cacheFileNames().isEmpty();
        c.setMeta("complete", empty ? QStringLiteral("1") : QStringLiteral("0"));
        c.setMeta("folder", empty ? folderStampText() : QString());
        c.setMeta("generation", QStringLiteral("0"));
        c.setMeta("garbage", QStringLiteral("0"));
    }
    return made && !c.failed;
}

} // namespace

// Opens the index; with `create`, makes it (and replaces one that is not a database of ours). Null when there
// is none to use.
std::unique_ptr<Connection> open(bool create) {
    const QString file = TextIndexFile();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool existed = QFile::exists(file);
        if (!existed && !create) {
            return nullptr;
        }
        if (!existed && !QDir().mkpath(AppDataFolder())) {
            return nullptr;
        }
        auto c = std::make_unique<Connection>();
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &c->db, flags, nullptr) != SQLITE_OK) {
            return nullptr;
        }
        if (!existed) {
            ::chmod(QFile::encodeName(file).constData(), 0600);
        }
        sqlite3_busy_timeout(c->db, 5000);
        fts5_api* api = fts5Of(c->db);
        static fts5_tokenizer tokenizer{tokenizerCreate, tokenizerDelete, tokenize};
        bool ok = api != nullptr && api->xCreateTokenizer(api, "velmora", nullptr, &tokenizer, nullptr) == SQLITE_OK;
        // A kill leaves the write-ahead log whole or without its last transaction; NORMAL syncs it at each
        // checkpoint, which is all a derived index needs.
        // Merges leave free pages; incremental vacuum gives them back to the file system after a build. It can
        // only be chosen before the first table.
        ok = ok && (existed || c->exec("PRAGMA auto_vacuum=INCREMENTAL"));
        ok = ok && c->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-32768;");
        if (ok && create) {
            ok = createSchema(*c);
        }
        ok = ok && c->meta("version") == QString::number(kVersion);
        if (ok) {
            return c;
        }
        c.reset();
        if (!create) {
            return nullptr;
        }
        // Not a database of ours (damaged, or of another version): it is derived data, so it is made anew.
        removeIndexFiles();
    }
    return nullptr;
}

} // namespace textindex

using textindex::Connection;

QString TextIndexFile() {
    return AppDataFolder() + QStringLiteral("doctext.index");
}

bool StampOfFile(const QString& file, CacheStamp& stamp) {
    struct stat info {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0) {
        return false;
    }
    stamp = CacheStamp{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                       quint64(info.st_ino)};
    return true;
}

QStringList TextIndexTerms(QStringView folded) {
    QStringList terms;
    char encoded[9];
    for (const quint64 key : distinctTerms(reinterpret_cast<const char16_t*>(folded.data()), folded.size())) {
        terms.append(QString::fromLatin1(encoded, encodeKey(key, encoded)));
    }
    return terms;
}

// ---- writers

TextIndexUpdate::TextIndexUpdate() : m_db(textindex::open(true)) {
    if (!m_db || !m_db->exec("BEGIN IMMEDIATE")) {
        m_db.reset();
        return;
    }
    // The folder is as the index last recorded it, so the change made now is the only one to record.
    const QString recorded = m_db->meta("folder");
    m_chain = m_db->meta("complete") == QLatin1String("1") && !recorded.isEmpty() && recorded == folderStampText();
}

TextIndexUpdate::~TextIndexUpdate() {
    if (m_db && !m_db->failed) {
        m_db->exec("ROLLBACK");
    }
}

void TextIndexUpdate::aboutToReplace(const QString& name) {
    if (!m_db) {
        return;
    }
    Connection::Statement q(m_db.get(), "SELECT id, size, mtime, inode, state FROM docs WHERE name = ?1");
    q.bind(1, name);
    if (!q.step()) {
        return;
    }
    m_oldName = name;
    m_oldId = q.integer(0);
    const CacheStamp kept{q.integer(1), q.integer(2), quint64(q.integer(3))};
    if (RowState(q.integer(4)) != RowState::Text) {
        m_oldKnown = true; // no terms to take out
        return;
    }
    CacheStamp stamp;
    QString folded;
    m_oldKnown = readFolded(TextCacheFolder() + name, folded, stamp) == RowState::Text && stamp == kept;
    m_oldFolded = m_oldKnown ? folded : QString();
}

void TextIndexUpdate::put(const QString& name, QStringView folded) {
    if (!m_db) {
        return;
    }
    qint64 oldId = -1;
    bool oldKnown = false;
    bool oldHadTerms = false;
    if (name == m_oldName) {
        oldId = m_oldId;
        oldKnown = m_oldKnown;
        oldHadTerms = !m_oldFolded.isEmpty();
    } else {
        Connection::Statement q(m_db.get(), "SELECT id, state FROM docs WHERE name = ?1");
        q.bind(1, name);
        if (q.step()) {
            oldId = q.integer(0);
            oldKnown = RowState(q.integer(1)) != RowState::Text;
        }
    }
    if (oldId >= 0) {
        if (oldKnown && oldHadTerms) {
            Connection::Statement del(m_db.get(), "INSERT INTO terms(terms, rowid, body) VALUES('delete', ?1, ?2)");
            del.bind(1, oldId).bindBlob(2, m_oldFolded).step();
        } else if (!oldKnown) {
            m_db->bump("garbage");
        }
        Connection::Statement drop(m_db.get(), "DELETE FROM docs WHERE id = ?1");
        drop.bind(1, oldId).step();
    }
    CacheStamp stamp;
    if (!StampOfFile(TextCacheFolder() + name, stamp)) {
        return;
    }
    const RowState state = folded.isEmpty() ? RowState::Empty : RowState::Text;
    Connection::Statement add(m_db.get(),
                              "INSERT INTO docs(name, size, mtime, inode, state) VALUES(?1, ?2, ?3, ?4, ?5)");
    add.bind(1, name).bind(2, stamp.size).bind(3, stamp.modifiedNs).bind(4, qint64(stamp.inode));
    add.bind(5, int(state)).step();
    if (state == RowState::Text) {
        Connection::Statement terms(m_db.get(), "INSERT INTO terms(rowid, body) VALUES(?1, ?2)");
        terms.bind(1, sqlite3_last_insert_rowid(m_db->db)).bindBlob(2, folded).step();
    }
}

void TextIndexUpdate::renamed(const QString& from, const QString& to) {
    if (!m_db) {
        return;
    }
    removed(to);
    Connection::Statement q(m_db.get(), "UPDATE docs SET name = ?2 WHERE name = ?1");
    q.bind(1, from).bind(2, to).step();
}

void TextIndexUpdate::removed(const QString& name) {
    if (!m_db) {
        return;
    }
    Connection::Statement q(m_db.get(), "DELETE FROM docs WHERE name = ?1 RETURNING state");
    q.bind(1, name);
    if (q.step() && RowState(q.integer(0)) == RowState::Text) {
        m_db->bump("garbage");
    }
}

void TextIndexUpdate::commit() {
    if (!m_db) {
        return;
    }
    m_db->bump("generation");
    m_db->setMeta("folder", m_chain ? folderStampText() : QString());
    if (!m_db->exec("COMMIT")) {
        m_db->exec("ROLLBACK");
    }
    m_db.reset();
}

// ---- the search

TextIndexReader::TextIndexReader() : m_db(textindex::open(false)) {
    if (m_db) {
        vouch();
    }
    if (m_db && m_db->failed) {
        m_db.reset();
        m_vouched.clear();
    }
}

TextIndexReader::~TextIndexReader() = default;

void TextIndexReader::vouch() {
    // One read transaction: the rows, the stamp and the terms asked later are one state of the index.
    if (!m_db->exec("BEGIN")) {
        return;
    }
    const QString recorded = m_db->meta("folder");
    const bool complete = m_db->meta("complete") == QLatin1String("1");
    const qint64 generation = m_db->metaNumber("generation");
    const QString folderBefore = folderStampText();
    const qint64 checkedAt = nowNs();
    // Every row is checked against its file even when the folder's stamp is as recorded: a file rewritten in
    // place (not replaced) leaves the folder's stamp as it was.
    const bool recordedSame = complete && !recorded.isEmpty() && recorded == folderBefore;
    bool allMatch = true;
    Connection::Statement q(m_db.get(), "SELECT id, name, size, mtime, inode, state FROM docs");
    m_vouched.reserve(4096);
    while (q.step()) {
        const QString name = q.text(1);
        CacheStamp stamp;
        const CacheStamp kept{q.integer(2), q.integer(3), quint64(q.integer(4))};
        if (!StampOfFile(TextCacheFolder() + name, stamp) || !(stamp == kept)) {
            allMatch = false;
            continue;
        }
        if (RowState(q.integer(5)) == RowState::Text) {
            m_vouched.insert(name, q.integer(0));
        }
    }
    if (recordedSame || !allMatch || m_db->failed) {
        return;
    }
    // Every row matched its file: when no file is without a row either, and the folder did not change while it
    // was checked, its stamp is recorded, so that the next search need not look at each file.
    const QStringList files = cacheFileNames();
    qsizetype rows = 0;
    {
        Connection::Statement count(m_db.get(), "SELECT count(*) FROM docs");
        rows = count.step() ? qsizetype(count.integer(0)) : -1;
    }
    if (files.size() != rows || folderStampText() != folderBefore || checkedAt - folderModified() < kRacyNs) {
        return;
    }
    for (const QString& name : files) {
        Connection::Statement has(m_db.get(), "SELECT 1 FROM docs WHERE name = ?1");
        if (!has.bind(1, name).step()) {
            return;
        }
    }
    m_db->exec("COMMIT");
    if (!m_db->exec("BEGIN IMMEDIATE")) {
        m_db->failed = false;
        return;
    }
    if (m_db->metaNumber("generation") == generation && folderStampText() == folderBefore) {
        m_db->setMeta("complete", QStringLiteral("1"));
        m_db->setMeta("folder", folderBefore);
    }
    if (!m_db->exec("COMMIT")) {
        m_db->exec("ROLLBACK");
        m_db->failed = false;
    }
    m_db->exec("BEGIN");
}

bool TextIndexReader::exact(QStringView foldedWord) {
    const auto* units = reinterpret_cast<const char16_t*>(foldedWord.data());
    return foldedWord.size() <= 2 ||
           (foldedWord.size() == 3 && latinWordUnit(units[0]) && latinWordUnit(units[1]) && latinWordUnit(units[2]));
}

bool TextIndexReader::containing(QStringView foldedWord, std::vector<qint64>& ids) {
    ids.clear();
    if (!m_db || m_db->failed || foldedWord.isEmpty()) {
        return false;
    }
    QString query;
    char encoded[9];
    for (const quint64 key : wordTerms(foldedWord)) {
        query += (query.isEmpty() ? QString() : QStringLiteral(" ")) + u'"' +
                 QString::fromLatin1(encoded, encodeKey(key, encoded)) + u'"';
    }
    Connection::Statement q(m_db.get(), "SELECT rowid FROM terms WHERE terms MATCH ?1 ORDER BY rowid");
    q.bind(1, query);
    while (q.step()) {
        ids.push_back(q.integer(0));
    }
    return !m_db->failed;
}

// ---- building and checking

int BuildTextIndex(bool rebuild, const std::function<void(int done, int total)>& progress) {
    if (rebuild) {
        removeIndexFiles();
    }
    {
        std::unique_ptr<Connection> probe = textindex::open(true);
        if (!probe) {
            throw VelmoraError(QStringLiteral("无法写入 %1").arg(TextIndexFile()), TextIndexFile());
        }
        const qint64 garbage = probe->metaNumber("garbage");
        Connection::Statement count(probe.get(), "SELECT count(*) FROM docs");
        const qint64 rows = count.step() ? count.integer(0) : 0;
        if (!rebuild && garbage > 0 && double(garbage) > kGarbageShare * double(std::max<qint64>(rows, 1))) {
            probe.reset();
            return BuildTextIndex(true, progress);
        }
    }
    {
        // While the build runs, segments are only written, not merged: the optimize at its end merges them all
        // once. Should the build be killed, the writers' crisis merges still bound their number.
        std::unique_ptr<Connection> c = textindex::open(true);
        if (c) {
            c->exec("INSERT INTO terms(terms, rank) VALUES('automerge', 0);"
                    "INSERT INTO terms(terms, rank) VALUES('hashsize', 8388608)");
        }
    }
    const QStringList files = cacheFileNames();
    // The files whose rows are missing or stale, found in one pass before any is read.
    QHash<QString, CacheStamp> kept;
    {
        std::unique_ptr<Connection> c = textindex::open(false);
        if (c) {
            Connection::Statement q(c.get(), "SELECT name, size, mtime, inode FROM docs");
            while (q.step()) {
                kept.insert(q.text(0), CacheStamp{q.integer(1), q.integer(2), quint64(q.integer(3))});
            }
        }
    }
    QStringList toRead;
    for (const QString& name : files) {
        CacheStamp stamp;
        const auto it = kept.constFind(name);
        if (it == kept.cend() || !StampOfFile(TextCacheFolder() + name, stamp) || !(stamp == *it)) {
            toRead.append(name);
        }
    }
    // Reading and folding run on every core; the index takes them in batches, each batch one transaction, so
    // that the cache's writers are held up for one batch at most.
    constexpr qsizetype kBatch = 64;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    int done = 0;
    for (qsizetype from = 0; from < toRead.size(); from += kBatch) {
        const qsizetype n = std::min(kBatch, toRead.size() - from);
        std::vector<QString> folded(static_cast<size_t>(n));
        std::vector<RowState> states(static_cast<size_t>(n));
        std::vector<CacheStamp> stamps(static_cast<size_t>(n));
        std::atomic<qsizetype> next{0};
        const auto work = [&] {
            for (qsizetype i = next++; i < n; i = next++) {
                states[size_t(i)] =
                    readFolded(TextCacheFolder() + toRead.at(from + i), folded[size_t(i)], stamps[size_t(i)]);
            }
        };
        {
            std::vector<std::jthread> workers;
            for (unsigned k = 1; k < std::min<qsizetype>(cores, n); ++k) {
                workers.emplace_back(work);
            }
            work();
        }
        TextIndexUpdate update;
        for (qsizetype i = 0; i < n; ++i) {
            const QString& name = toRead.at(from + i);
            // A file replaced since it was read is read by the next build; its row would vouch for the wrong text.
            CacheStamp now;
            if (!StampOfFile(TextCacheFolder() + name, now) || !(now == stamps[size_t(i)])) {
                continue;
            }
            update.aboutToReplace(name);
            update.put(name, states[size_t(i)] == RowState::Text ? QStringView(folded[size_t(i)]) : QStringView());
        }
        update.commit();
        done += int(n);
        if (progress) {
            progress(done, int(toRead.size()));
        }
    }
    // Rows of files that are gone go, and the folder's stamp is recorded once it is safely older than now.
    std::unique_ptr<Connection> c = textindex::open(true);
    if (!c) {
        throw VelmoraError(QStringLiteral("无法写入 %1").arg(TextIndexFile()), TextIndexFile());
    }
    const qint64 age = nowNs() - folderModified();
    if (age < kRacyNs) {
        ::usleep(useconds_t((kRacyNs - age) / 1000 + 1000));
    }
    c->exec("BEGIN IMMEDIATE");
    const QString folderBefore = folderStampText();
    const QStringList present = cacheFileNames();
    const QSet<QString> presentSet(present.cbegin(), present.cend());
    bool covered = true;
    {
        std::vector<QString> gone;
        QSet<QString> rowNames;
        Connection::Statement q(c.get(), "SELECT name, size, mtime, inode FROM docs");
        while (q.step()) {
            const QString name = q.text(0);
            CacheStamp stamp;
            if (!presentSet.contains(name)) {
                gone.push_back(name);
                continue;
            }
            rowNames.insert(name);
            if (!StampOfFile(TextCacheFolder() + name, stamp) ||
                !(stamp == CacheStamp{q.integer(1), q.integer(2), quint64(q.integer(3))})) {
                covered = false;
            }
        }
        for (const QString& name : gone) {
            Connection::Statement drop(c.get(), "DELETE FROM docs WHERE name = ?1");
            drop.bind(1, name).step();
            c->bump("garbage");
        }
        covered = covered && rowNames.size() == presentSet.size();
    }
    c->bump("generation");
    const bool settled = covered && folderStampText() == folderBefore;
    c->setMeta("complete", settled ? QStringLiteral("1") : QStringLiteral("0"));
    c->setMeta("folder", settled ? folderBefore : QString());
    if (!c->exec("COMMIT")) {
        c->failed = false;
        c->exec("ROLLBACK");
        throw VelmoraError(QStringLiteral("无法写入 %1").arg(TextIndexFile()), TextIndexFile());
    }
    c->failed = false;
    c->exec("INSERT INTO terms(terms, rank) VALUES('automerge', 4)");
    if (rebuild || !toRead.isEmpty()) {
        c->exec("INSERT INTO terms(terms) VALUES('optimize')");
        c->exec("PRAGMA incremental_vacuum");
    }
    return int(toRead.size());
}

TextIndexState CheckTextIndex() {
    TextIndexState state;
    state.present = QFile::exists(TextIndexFile());
    std::unique_ptr<Connection> c = textindex::open(false);
    if (!c) {
        return state;
    }
    {
        Connection::Statement check(c.get(), "INSERT INTO terms(terms, rank) VALUES('integrity-check', 0)");
        check.step();
        if (c->failed) {
            state.problem = QString::fromUtf8(sqlite3_errmsg(c->db));
            return state;
        }
    }
    state.readable = true;
    state.complete = c->meta("complete") == QLatin1String("1");
    const QStringList files = cacheFileNames();
    QSet<QString> rowNames;
    Connection::Statement q(c.get(), "SELECT name, size, mtime, inode FROM docs ORDER BY name");
    while (q.step()) {
        const QString name = q.text(0);
        ++state.rows;
        rowNames.insert(name);
        CacheStamp stamp;
        if (!StampOfFile(TextCacheFolder() + name, stamp) ||
            !(stamp == CacheStamp{q.integer(1), q.integer(2), quint64(q.integer(3))})) {
            state.staleFiles.append(name);
        } else {
            ++state.indexedFiles;
        }
    }
    for (const QString& name : files) {
        if (!rowNames.contains(name)) {
            state.unindexedFiles.append(name);
        }
    }
    state.unindexedFiles.sort();
    if (c->failed) {
        state.readable = false;
        state.problem = QString::fromUtf8(sqlite3_errmsg(c->db));
    }
    return state;
}

} // namespace velmora
