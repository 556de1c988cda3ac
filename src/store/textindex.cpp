#include "store/textindex.h"

#include "common/appfolder.h"
#include "store/textcache.h"
#include "store/textindexdb.h"
#include "store/textindexterms.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <sys/stat.h>

namespace velmora {

using textindex::cacheFileNames;
using textindex::Connection;
using textindex::fileMatches;
using textindex::folderModified;
using textindex::folderStampText;
using textindex::kMarkLifetimeNs;
using textindex::kRacyNs;
using textindex::nowNs;
using textindex::readFolded;
using textindex::removeIndexFiles;
using textindex::RowState;
using textindex::Transaction;

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

// ---- writers

TextIndexUpdate::TextIndexUpdate(const QStringList& changing) : m_db(textindex::open(true)) {
    // The files about to change are marked first, in a transaction of their own: a writer killed after its file
    // changed and before its row did leaves the mark, and the file is read by the search until rewritten.
    // Each writer removes only its own marks: two may be changing one file.
    m_owner = qint64(QRandomGenerator::system()->generate64() >> 1);
    bool marked = false;
    if (m_db) {
        m_change = std::make_unique<Transaction>(*m_db, Transaction::Kind::Write);
        marked = m_change->ok();
    }
    if (marked && !changing.isEmpty()) {
        for (const QString& name : changing) {
            Connection::Statement mark(m_db.get(),
                                       "INSERT OR IGNORE INTO pending(name, owner, since) VALUES(?1, ?2, ?3)");
            mark.bind(1, name).bind(2, m_owner).bind(3, nowNs()).step();
        }
        marked = m_change->commit();
        m_change.reset();
        if (marked) {
            m_change = std::make_unique<Transaction>(*m_db, Transaction::Kind::Write);
            marked = m_change->ok();
        }
    }
    if (!marked) {
        // Only busy (the build or another writer held the lock): the index stays. Its row keeps the stamp of the
        // file it was made from, and the new file, renamed into the folder, changes the folder's stamp: the search
        // then checks each row against its file and reads this one. Rebuilding a large index costs a minute.
        // An index that could not be opened was replaced by the opening when it was none of ours.
        const bool opened = m_db != nullptr;
        const bool busy = opened && (sqlite3_errcode(m_db->db) & 0xFF) == SQLITE_BUSY;
        m_change.reset();
        m_db.reset();
        // An index that cannot be told of a change for any other reason (a full disk, damage) would vouch for the
        // file's old text: it goes, and the search scans until it is built again. Removing works on a full disk.
        if (!changing.isEmpty() && opened && !busy) {
            removeIndexFiles();
        }
        return;
    }
    // The folder is as the index last recorded it, so the change made now is the only one to record.
    const QString recorded = m_db->meta("folder");
    m_chain = m_db->meta("complete") == QLatin1String("1") && !recorded.isEmpty() && recorded == folderStampText();
}

// Without a commit, the change's transaction rolls back as it goes.
TextIndexUpdate::~TextIndexUpdate() = default;

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
    const CacheStamp kept = q.stamp(1);
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
    Connection::Statement unmark(m_db.get(), "DELETE FROM pending WHERE owner = ?1");
    unmark.bind(1, m_owner).step();
    m_db->bump("generation");
    m_db->setMeta("folder", m_chain ? folderStampText() : QString());
    m_change->commit();
    m_change.reset();
    m_db.reset();
}

// ---- the search

TextIndexReader::TextIndexReader() : m_db(textindex::open(false)) {
    if (m_db) {
        // The writers checkpoint the log; a search that did it on closing would make the user wait for it.
        sqlite3_db_config(m_db->db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    if (m_db && !vouch()) {
        m_read.reset();
        m_db.reset();
        m_vouched.clear();
        m_slots.clear();
    }
}

TextIndexReader::~TextIndexReader() = default;

bool TextIndexReader::vouch() {
    // One read transaction: the rows, the stamp and the terms asked later are one state of the index.
    m_read = std::make_unique<Transaction>(*m_db, Transaction::Kind::Read);
    if (!m_read->ok()) {
        return false;
    }
    const QString recorded = m_db->meta("folder");
    const bool complete = m_db->meta("complete") == QLatin1String("1");
    const QString folderBefore = folderStampText();
    m_vouched.reserve(16384);
    if (complete && !recorded.isEmpty() && recorded == folderBefore) {
        // Nothing entered or left the folder since the index last recorded it, and every writer marks the file
        // it is about to change: each row but the marked ones holds its file's text. (Text rows are state 0.)
        Connection::Statement q(m_db.get(),
                                "SELECT id, name FROM docs WHERE state = 0 AND name NOT IN (SELECT name FROM pending)");
        while (q.step()) {
            vouchFor(q.text16(1), q.integer(0));
        }
        placeVouched();
        return m_read->ok();
    }
    return vouchFileByFile(folderBefore);
}

bool TextIndexReader::vouchFileByFile(const QString& folderBefore) {
    const qint64 generation = m_db->metaNumber("generation");
    const qint64 checkedAt = nowNs();
    QSet<QString> pending;
    {
        Connection::Statement q(m_db.get(), "SELECT name FROM pending");
        while (q.step()) {
            pending.insert(q.text(0));
        }
    }
    bool allMatch = true;
    QSet<QString> rowNames;
    Connection::Statement q(m_db.get(), "SELECT id, name, size, mtime, inode, state FROM docs");
    while (q.step()) {
        const QString name = q.text(1);
        rowNames.insert(name);
        if (pending.contains(name)) {
            continue;
        }
        if (!fileMatches(name, q.stamp(2))) {
            allMatch = false;
            continue;
        }
        if (RowState(q.integer(5)) == RowState::Text) {
            vouchFor(name, q.integer(0));
        }
    }
    placeVouched();
    if (!m_read->ok()) {
        return false;
    }
    if (!allMatch) {
        return true;
    }
    // Every row matched its file: when every file has a row (or is marked), and the folder did not change while
    // it was checked, its stamp is recorded, so that the next search need not look at each file.
    for (const QString& name : cacheFileNames()) {
        if (!rowNames.contains(name) && !pending.contains(name)) {
            return true;
        }
    }
    if (folderStampText() != folderBefore || checkedAt - folderModified() < kRacyNs) {
        return true;
    }
    m_read->commit();
    m_read.reset();
    bool unchanged = false;
    {
        Transaction record(*m_db, Transaction::Kind::Write);
        if (!record.ok()) {
            // A writer holds the lock, so the state the rows were vouched in is over: this search reads every
            // file, and a later one records the stamp.
            m_vouched.clear();
            m_slots.clear();
            return true;
        }
        unchanged = m_db->metaNumber("generation") == generation && folderStampText() == folderBefore;
        if (unchanged) {
            m_db->setMeta("complete", QStringLiteral("1"));
            m_db->setMeta("folder", folderBefore);
        }
        if (!record.commit()) {
            return false;
        }
    }
    m_read = std::make_unique<Transaction>(*m_db, Transaction::Kind::Read);
    if (!unchanged) {
        m_vouched.clear();
        m_slots.clear();
    }
    return m_read->ok();
}

namespace {

// Two hashes of a name's UTF-16 units, from two seeds: 128 bits.
std::pair<quint64, quint64> nameHash(QStringView name) {
    const size_t bytes = size_t(name.size()) * 2;
    return {quint64(qHashBits(name.data(), bytes, 0x5EED1)), quint64(qHashBits(name.data(), bytes, 0x5EED2))};
}

} // namespace

void TextIndexReader::vouchFor(QStringView name, qint64 id) {
    const auto [high, low] = nameHash(name);
    m_vouched.push_back(VouchedRow{high, low, id});
}

void TextIndexReader::placeVouched() {
    // Open addressing, at most half full: a lookup is one or two probes.
    size_t capacity = 16;
    while (capacity < m_vouched.size() * 2) {
        capacity <<= 1;
    }
    m_slots.assign(capacity, VouchedRow{0, 0, -1});
    for (const VouchedRow& row : m_vouched) {
        size_t slot = size_t(row.high) & (capacity - 1);
        while (m_slots[slot].id >= 0) {
            slot = (slot + 1) & (capacity - 1);
        }
        m_slots[slot] = row;
    }
    m_vouched.clear();
    m_vouched.shrink_to_fit();
}

qint64 TextIndexReader::vouchedRow(QStringView name) const {
    if (m_slots.empty()) {
        return -1;
    }
    const auto [high, low] = nameHash(name);
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = size_t(high) & mask; m_slots[slot].id >= 0; slot = (slot + 1) & mask) {
        if (m_slots[slot].high == high && m_slots[slot].low == low) {
            return m_slots[slot].id;
        }
    }
    return -1;
}

bool TextIndexReader::exact(QStringView foldedWord) {
    return TermQueryFor(foldedWord).exact;
}

bool TextIndexReader::containing(QStringView foldedWord, std::vector<qint64>& ids) {
    ids.clear();
    const TermQuery query = TermQueryFor(foldedWord);
    if (!m_db || m_db->failed() || query.match.isEmpty()) {
        return false;
    }
    Connection::Statement q(m_db.get(), "SELECT rowid FROM terms WHERE terms MATCH ?1 ORDER BY rowid");
    q.bindUtf8(1, query.match);
    while (q.step()) {
        ids.push_back(q.integer(0));
    }
    return !m_db->failed();
}

bool TextIndexNeedsBuild() {
    if (!QFileInfo::exists(TextCacheFolder())) {
        return false;
    }
    std::unique_ptr<Connection> c = textindex::open(false);
    if (!c) {
        return true;
    }
    const QString recorded = c->meta("folder");
    if (c->meta("complete") != QLatin1String("1") || recorded.isEmpty() || recorded != folderStampText() ||
        c->meta("merged") == QLatin1String("0")) {
        return true;
    }
    Connection::Statement marks(c.get(), "SELECT 1 FROM pending WHERE since < ?1 LIMIT 1");
    return marks.bind(1, nowNs() - kMarkLifetimeNs).step() || c->failed();
}

TextIndexState CheckTextIndex() {
    TextIndexState state;
    state.present = QFile::exists(TextIndexFile());
    std::unique_ptr<Connection> c = textindex::open(false);
    if (!c) {
        // What open() refuses to take for an index, named for `check`.
        struct stat facts {};
        if (state.present && ::lstat(QFile::encodeName(TextIndexFile()).constData(), &facts) == 0) {
            state.problem = S_ISDIR(facts.st_mode)    ? QStringLiteral("it is a folder, not a file")
                            : !S_ISREG(facts.st_mode) ? QStringLiteral("it is not a regular file")
                                                      : QStringLiteral("it is no index of this version of Velmora");
        }
        return state;
    }
    {
        Connection::Statement check(c.get(), "INSERT INTO terms(terms, rank) VALUES('integrity-check', 0)");
        check.step();
        if (c->failed()) {
            state.problem = QString::fromUtf8(sqlite3_errmsg(c->db));
            return state;
        }
    }
    state.readable = true;
    state.complete = c->meta("complete") == QLatin1String("1");
    const QStringList files = cacheFileNames();
    QSet<QString> rowNames;
    QSet<QString> marked;
    {
        Connection::Statement m(c.get(), "SELECT name FROM pending");
        while (m.step()) {
            marked.insert(m.text(0));
        }
    }
    Connection::Statement q(c.get(), "SELECT name, size, mtime, inode FROM docs ORDER BY name");
    while (q.step()) {
        const QString name = q.text(0);
        ++state.rows;
        rowNames.insert(name);
        // A marked file is one a writer was changing when it stopped: its row is not taken on trust.
        if (marked.contains(name) || !fileMatches(name, q.stamp(1))) {
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
    if (c->failed()) {
        state.readable = false;
        state.problem = QString::fromUtf8(sqlite3_errmsg(c->db));
    }
    return state;
}

} // namespace velmora
