#include "store/textindexdb.h"

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "store/foldedtext.h"
#include "store/textcache.h"
#include "store/textindexterms.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

namespace velmora::textindex {

namespace {

constexpr int kVersion = 2;

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
    const QStringView folded(reinterpret_cast<const char16_t*>(text), bytes / 2);
    int rc = SQLITE_OK;
    ForEachTextTerm(folded, [&](const char* term, int length) {
        rc = token(context, 0, term, length, 0, 0);
        return rc == SQLITE_OK;
    });
    return rc;
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

bool createSchema(Connection& c) {
    const bool made =
        c.exec("CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;"
               "CREATE TABLE IF NOT EXISTS docs(id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE,"
               " size INTEGER NOT NULL, mtime INTEGER NOT NULL, inode INTEGER NOT NULL, state INTEGER NOT NULL);"
               "CREATE TABLE IF NOT EXISTS pending(name TEXT NOT NULL, owner INTEGER NOT NULL, since INTEGER NOT NULL,"
               " PRIMARY KEY(name, owner)) WITHOUT ROWID;"
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
    return made && !c.failed();
}

} // namespace

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

bool fileMatches(const QString& name, const CacheStamp& stamp) {
    CacheStamp now;
    return StampOfFile(TextCacheFolder() + name, now) && now == stamp;
}

bool Connection::failed() const {
    return m_transaction != nullptr ? m_transaction->m_failed : m_failed;
}

void Connection::fail() {
    (m_transaction != nullptr ? m_transaction->m_failed : m_failed) = true;
}

Transaction::Transaction(Connection& connection, Kind kind) : m_connection(connection) {
    Q_ASSERT(connection.m_transaction == nullptr);
    // Work of the connection that already failed goes no further inside a transaction either.
    m_failed = connection.failed();
    connection.m_transaction = this;
    m_open = connection.exec(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
    end(false);
}

bool Transaction::commit() {
    const bool committed = ok() && sqlite3_exec(m_connection.db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    end(committed);
    return committed;
}

void Transaction::end(bool committed) {
    if (m_open && !committed) {
        // What failed may have ended the transaction already; then there is nothing left to undo.
        sqlite3_exec(m_connection.db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    m_open = false;
    if (m_connection.m_transaction == this) {
        m_connection.m_transaction = nullptr;
    }
}

namespace {

// A folder may hold someone's files: it is only removed when empty, and set aside under another name otherwise.
bool removeNonIndex(const QString& file, bool folder) {
    if (!folder) {
        return ::unlink(QFile::encodeName(file).constData()) == 0;
    }
    return QDir().rmdir(file) || QFile::rename(file, file + QStringLiteral(".not-an-index-%1").arg(nowNs()));
}

} // namespace

std::unique_ptr<Connection> open(bool create) {
    const QString file = TextIndexFile();
    for (int attempt = 0; attempt < 2; ++attempt) {
        struct stat facts {};
        const bool existed = ::lstat(QFile::encodeName(file).constData(), &facts) == 0;
        if (existed && !S_ISREG(facts.st_mode)) {
            // A folder, a link or a FIFO (which SQLite would wait on for ever) is no index of ours; a build puts one
            // in its place.
            if (!create || !removeNonIndex(file, S_ISDIR(facts.st_mode))) {
                return nullptr;
            }
            continue;
        }
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
        // SQLite's own waiting sleeps up to 100 ms between tries and would miss the build's short pauses; a
        // writer that tries every 2 ms takes the lock in the first of them.
        sqlite3_busy_handler(
            c->db,
            [](void*, int tries) {
                constexpr int kTryMs = 2;
                constexpr int kGiveUpMs = 5000;
                if (tries * kTryMs >= kGiveUpMs) {
                    return 0;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(kTryMs));
                return 1;
            },
            nullptr);
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
        // Only what is no database, or another's, is replaced. Busy (another writer or the build held it all the
        // while), or a second opening making the schema at the same moment, is no damage: the index stays.
        const int error = sqlite3_errcode(c->db) & 0xFF;
        c.reset();
        const bool notOurs = error == SQLITE_NOTADB || error == SQLITE_CORRUPT || error == SQLITE_OK ||
                             error == SQLITE_DONE || error == SQLITE_ROW;
        if (!create || !notOurs) {
            return nullptr;
        }
        // Not a database of ours (damaged, or of another version): it is derived data, so it is made anew.
        removeIndexFiles();
    }
    return nullptr;
}

} // namespace velmora::textindex
