#include "store/textindex.h"

#include "common/errors.h"
#include "store/textcache.h"
#include "store/textindexdb.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include <unistd.h>

namespace velmora {

using textindex::cacheFileNames;
using textindex::Connection;
using textindex::fileMatches;
using textindex::folderModified;
using textindex::folderStampText;
using textindex::kBuildPauseMs;
using textindex::kBuildStretchMs;
using textindex::kRacyNs;
using textindex::nowNs;
using textindex::readFolded;
using textindex::removeIndexFiles;
using textindex::RowState;
using textindex::Transaction;

namespace {

// Replaced texts whose terms could not be taken out stay in the index as rows of no file; past this share of the
// live rows, a build starts the index afresh.
constexpr double kGarbageShare = 0.25;

[[noreturn]] void throwCannotWrite() {
    throw VelmoraError(QStringLiteral("无法写入 %1").arg(TextIndexFile()), TextIndexFile());
}

std::unique_ptr<Connection> openForWriting() {
    // Opening fails while a writer holds the index (it is kept then, not replaced): the build can wait for it.
    constexpr int kTries = 50;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        if (std::unique_ptr<Connection> c = textindex::open(true)) {
            return c;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    throwCannotWrite();
}

bool holdsManyReplacedTexts() {
    const std::unique_ptr<Connection> c = openForWriting();
    const qint64 garbage = c->metaNumber("garbage");
    Connection::Statement count(c.get(), "SELECT count(*) FROM docs");
    const qint64 rows = count.step() ? count.integer(0) : 0;
    return garbage > 0 && double(garbage) > kGarbageShare * double(std::max<qint64>(rows, 1));
}

void postponeMerging() {
    // While the build runs, segments are only written, not merged: the optimize at its end merges them all
    // once. Should the build be killed, the writers' crisis merges still bound their number.
    std::unique_ptr<Connection> c = textindex::open(true);
    if (c) {
        // The terms of a transaction gather in memory up to this size: each transaction of a build holds
        // hundreds of documents, and flushed at once they make one segment, not many.
        c->exec("INSERT INTO terms(terms, rank) VALUES('automerge', 0);"
                "INSERT INTO terms(terms, rank) VALUES('hashsize', 67108864)");
    }
}

// The files whose rows are missing or stale, found in one pass before any is read. Rows of files that are gone
// are left to the settling: a file may go while the others are read.
QStringList filesToRead() {
    const QStringList files = cacheFileNames();
    QHash<QString, CacheStamp> kept;
    {
        std::unique_ptr<Connection> c = textindex::open(false);
        if (c) {
            Connection::Statement q(c.get(), "SELECT name, size, mtime, inode FROM docs");
            while (q.step()) {
                kept.insert(q.text(0), q.stamp(1));
            }
        }
    }
    QStringList toRead;
    for (const QString& name : files) {
        const auto it = kept.constFind(name);
        if (it == kept.cend() || !fileMatches(name, *it)) {
            toRead.append(name);
        }
    }
    return toRead;
}

struct ReadText {
    QString folded;
    RowState state = RowState::Damaged;
    CacheStamp stamp;
};

// Reading and folding run on every core.
std::vector<ReadText> readOnEveryCore(const QStringList& names, qsizetype from, qsizetype n) {
    std::vector<ReadText> texts(static_cast<size_t>(n));
    std::atomic<qsizetype> next{0};
    const auto work = [&] {
        for (qsizetype i = next++; i < n; i = next++) {
            ReadText& text = texts[size_t(i)];
            text.state = readFolded(TextCacheFolder() + names.at(from + i), text.folded, text.stamp);
        }
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    {
        std::vector<std::jthread> workers;
        for (unsigned k = 1; k < std::min<qsizetype>(cores, n); ++k) {
            workers.emplace_back(work);
        }
        work();
    }
    return texts;
}

struct Reading {
    int done = 0;
    bool stopped = false;
};

// The index takes what was read in short transactions, each followed by a pause, so that the cache's writers
// are held up no longer than one. A set `stop` ends it after the batch being read, keeping what was done.
Reading readIntoIndex(const QStringList& toRead, const std::function<void(int done, int total)>& progress,
                      const std::atomic<bool>* stop) {
    constexpr qsizetype kBatch = 64;
    Reading reading;
    std::optional<TextIndexUpdate> update;
    QElapsedTimer held;
    for (qsizetype from = 0; from < toRead.size(); from += kBatch) {
        const qsizetype n = std::min(kBatch, toRead.size() - from);
        const std::vector<ReadText> texts = readOnEveryCore(toRead, from, n);
        if (!update) {
            update.emplace();
            held.start();
        }
        for (qsizetype i = 0; i < n; ++i) {
            const QString& name = toRead.at(from + i);
            const ReadText& text = texts[size_t(i)];
            // A file replaced since it was read is read by the next build; its row would vouch for the wrong text.
            if (!fileMatches(name, text.stamp)) {
                continue;
            }
            update->aboutToReplace(name);
            update->put(name, text.state == RowState::Text ? QStringView(text.folded) : QStringView());
        }
        if (held.elapsed() >= kBuildStretchMs || from + n >= toRead.size()) {
            update->commit();
            update.reset();
            std::this_thread::sleep_for(std::chrono::milliseconds(kBuildPauseMs));
        }
        reading.done += int(n);
        if (progress) {
            progress(reading.done, int(toRead.size()));
        }
        if (stop != nullptr && stop->load()) {
            // What was read is kept; the next build goes on from there.
            if (update) {
                update->commit();
            }
            reading.stopped = true;
            return reading;
        }
    }
    return reading;
}

// Rows of files that are gone go, and the folder's stamp is recorded once it is safely older than now. Returns
// the cache files present.
QStringList settle(Connection& c) {
    const qint64 age = nowNs() - folderModified();
    if (age < kRacyNs) {
        ::usleep(useconds_t((kRacyNs - age) / 1000 + 1000));
    }
    Transaction settling(c, Transaction::Kind::Write);
    const QString folderBefore = folderStampText();
    const QStringList present = cacheFileNames();
    const QSet<QString> presentSet(present.cbegin(), present.cend());
    bool covered = true;
    {
        std::vector<QString> gone;
        QHash<QString, bool> rowMatches;
        Connection::Statement q(&c, "SELECT name, size, mtime, inode FROM docs");
        while (q.step()) {
            const QString name = q.text(0);
            if (!presentSet.contains(name)) {
                gone.push_back(name);
                continue;
            }
            rowMatches.insert(name, fileMatches(name, q.stamp(1)));
        }
        for (const QString& name : gone) {
            Connection::Statement drop(&c, "DELETE FROM docs WHERE name = ?1");
            drop.bind(1, name).step();
            c.bump("garbage");
        }
        // A mark whose file is as its row says (or which names no file and no row) goes: this holds the write lock,
        // so no writer is between changing its file and recording it, and one still on its way to the lock changes
        // the file's inode when it writes, which its row then no longer matches. Marks of writers killed before
        // their change must not keep the index from being level after a build.
        QSet<QString> marked;
        QStringList unmark;
        {
            Connection::Statement m(&c, "SELECT DISTINCT name FROM pending");
            while (m.step()) {
                const QString name = m.text(0);
                const bool settledName =
                    rowMatches.value(name, false) || (!rowMatches.contains(name) && !presentSet.contains(name));
                if (settledName) {
                    unmark.append(name);
                } else {
                    marked.insert(name);
                }
            }
        }
        for (const QString& name : unmark) {
            Connection::Statement drop(&c, "DELETE FROM pending WHERE name = ?1");
            drop.bind(1, name).step();
        }
        for (auto it = rowMatches.cbegin(); it != rowMatches.cend(); ++it) {
            covered = covered && (it.value() || marked.contains(it.key()));
        }
        for (const QString& name : present) {
            covered = covered && (rowMatches.contains(name) || marked.contains(name));
        }
    }
    c.bump("generation");
    const bool settled = covered && folderStampText() == folderBefore;
    c.setMeta("complete", settled ? QStringLiteral("1") : QStringLiteral("0"));
    c.setMeta("folder", settled ? folderBefore : QString());
    if (!settling.commit()) {
        throwCannotWrite();
    }
    return present;
}

// Merging all segments rewrites the whole index: worth it after a build of many files (`manyRead`), not of a
// few. One 'optimize' would hold the write lock for all of it (a minute at tens of thousands of documents), and a
// cache writer must not wait that long: the segments are merged a bounded number of pages at a time, each step
// its own transaction followed by a pause. A stop ends it between steps; "merged" says the next build goes on.
void mergeSegments(Connection& c, bool manyRead, const std::atomic<bool>* stop) {
    // Pages written by one step: a few milliseconds of work, far below the stretch a writer may wait.
    constexpr int kPagesPerStep = 64;
    c.exec("INSERT INTO terms(terms, rank) VALUES('automerge', 4)");
    if (!manyRead && c.meta("merged") != QLatin1String("0")) {
        return;
    }
    c.setMeta("merged", QStringLiteral("0"));
    bool merged = false;
    while (!(stop != nullptr && stop->load()) && !c.failed()) {
        // Each step merges the levels that hold enough segments, as automerge would; a step that changes nothing
        // (fewer than two rows written) finds the index merged. Not the negative amount, which merges every
        // level: with cache writers taking the lock in the pauses between its steps, it left FTS5's structure
        // record corrupt (SQLITE_CORRUPT_VTAB on the next opening) with Debian 12's SQLite.
        const int before = sqlite3_total_changes(c.db);
        const QByteArray step =
            "INSERT INTO terms(terms, rank) VALUES('merge', " + QByteArray::number(kPagesPerStep) + ")";
        if (!c.exec(step.constData())) {
            break;
        }
        if (sqlite3_total_changes(c.db) - before < 2) {
            merged = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kBuildPauseMs));
    }
    if (merged) {
        c.setMeta("merged", QStringLiteral("1"));
        c.exec("PRAGMA incremental_vacuum");
    }
}

} // namespace

int BuildTextIndex(bool rebuild, const std::function<void(int done, int total)>& progress,
                   const std::atomic<bool>* stop) {
    if (rebuild) {
        removeIndexFiles();
    }
    // Asking makes the index when there is none, so that a build that cannot write it says so before it reads
    // anything.
    const bool manyReplaced = holdsManyReplacedTexts();
    if (manyReplaced && !rebuild) {
        return BuildTextIndex(true, progress, stop);
    }
    postponeMerging();
    const QStringList toRead = filesToRead();
    const Reading reading = readIntoIndex(toRead, progress, stop);
    if (reading.stopped) {
        return reading.done;
    }
    const std::unique_ptr<Connection> c = openForWriting();
    const QStringList present = settle(*c);
    mergeSegments(*c, rebuild || toRead.size() * 8 > present.size(), stop);
    return int(toRead.size());
}

} // namespace velmora
