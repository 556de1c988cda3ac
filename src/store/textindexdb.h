#pragma once

#include "store/textindex.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

#include <sqlite3.h>

// The index's database as its writers, its search and its build share it; textindex.h says what it holds.
namespace velmora::textindex {

// A folder stamp younger than this may still be shared by a change made right after it (file times advance in
// ticks of the kernel's coarse clock), so neither a search nor a build records it as the state it has checked.
constexpr qint64 kRacyNs = 50'000'000;
// A writer marks the files it is about to change, then waits for the write lock (five seconds at most) and
// changes them holding it. Only a mark older than this may be taken by someone else.
constexpr qint64 kMarkLifetimeNs = 600'000'000'000;
// The longest the build holds the write lock at a stretch, and the pause after each stretch in which a writer
// that waits for the lock takes it: no cache writer waits more than half a second for a build.
constexpr qint64 kBuildStretchMs = 200;
constexpr int kBuildPauseMs = 15;

qint64 nowNs();
QString folderStampText();
qint64 folderModified();
// The cache files of the folder: what the writers name "*.dat_" (their temporary files end otherwise).
QStringList cacheFileNames();
void removeIndexFiles();

enum class RowState : int { Text = 0, Empty = 1, Damaged = 2 };

// The folded text of a cache file as the search reads it; Damaged for what it would not read.
RowState readFolded(const QString& file, QString& folded, CacheStamp& stamp);
// Whether the cache file `name` is still the file `stamp` was taken of: a row is only as good as this.
bool fileMatches(const QString& name, const CacheStamp& stamp);

class Transaction;

// One connection to the index, with the statements its users need. Errors are kept, not raised: the index is
// derived data and its failure must never stop a cache write or a search. The first error skips the rest of the
// work it belongs to: of the open transaction, or outside one, of the connection.
struct Connection {
    sqlite3* db = nullptr;

    Connection() = default;
    ~Connection() { sqlite3_close_v2(db); }
    Q_DISABLE_COPY_MOVE(Connection)

    bool failed() const;

    bool exec(const char* sql) {
        if (failed()) {
            return false;
        }
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            fail();
        }
        return !failed();
    }

    struct Statement {
        Connection* owner;
        sqlite3_stmt* s = nullptr;
        // A statement that cannot be prepared stays null: binding and stepping it do nothing, and its failure is
        // that of the work it belongs to.
        Statement(Connection* c, const char* sql) : owner(c) {
            if (!c->failed() && sqlite3_prepare_v2(c->db, sql, -1, &s, nullptr) != SQLITE_OK) {
                c->fail();
            }
        }
        ~Statement() { sqlite3_finalize(s); }
        Q_DISABLE_COPY_MOVE(Statement)
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
        Statement& bindUtf8(int i, const QByteArray& v) {
            if (s) {
                sqlite3_bind_text(s, i, v.constData(), int(v.size()), SQLITE_TRANSIENT);
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
                owner->fail();
            }
            return false;
        }
        qint64 integer(int i) const { return sqlite3_column_int64(s, i); }
        // The stamp a row keeps in its size, mtime and inode columns, the first at `i`.
        CacheStamp stamp(int i) const { return CacheStamp{integer(i), integer(i + 1), quint64(integer(i + 2))}; }
        // Valid until the next step: for rows read by the thousand, where a copy each would cost.
        QStringView text16(int i) const {
            return QStringView(static_cast<const char16_t*>(sqlite3_column_text16(s, i)),
                               sqlite3_column_bytes16(s, i) / 2);
        }
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

private:
    friend class Transaction;
    void fail();

    Transaction* m_transaction = nullptr;
    bool m_failed = false;
};

// A transaction of one connection. It commits only when asked and only when nothing in it failed: a change of
// which a part failed would have the index vouch for texts it does not hold. Every other way out rolls it back.
// Its failure ends with it, so the connection can go on to other work; one connection has one at a time.
class Transaction final {
public:
    enum class Kind {
        Read,
        // Takes the write lock at once, waiting the busy time-out for it: a transaction that has read before it
        // writes could not wait for the lock then, and would fail half-way whenever another writer went first.
        Write,
    };
    Transaction(Connection& connection, Kind kind);
    ~Transaction();
    Q_DISABLE_COPY_MOVE(Transaction)

    // It began and nothing in it failed; false once it is over.
    bool ok() const { return m_open && !m_failed; }
    // True when committed; otherwise it was rolled back. Either way it is over.
    bool commit();

private:
    friend struct Connection;
    void end(bool committed);

    Connection& m_connection;
    bool m_open = false;
    bool m_failed = false;
};

// Opens the index; with `create`, makes it (and replaces one that is not a database of ours). Null when there
// is none to use.
std::unique_ptr<Connection> open(bool create);

} // namespace velmora::textindex
