#include "movejournal.h"

#include "common/errors.h"
#include "common/savefile.h"
#include "textcache.h"
#include "wordmgr.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// A path may hold any character but "/" and NUL, tabs and line breaks included; escaped, every field is one word.
QByteArray encodeField(const QString& path) {
    return QUrl::toPercentEncoding(path, "/ ._-~+,()[]");
}

QString decodeField(const QByteArray& field) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field));
}

QByteArray journalBytes(const QList<PlannedMove>& moves) {
    QByteArray bytes;
    for (const PlannedMove& move : moves) {
        bytes += QByteArray::number(move.position) + '\t' + encodeField(move.from) + '\t' + encodeField(move.to);
        if (move.known) {
            bytes += '\t' + QByteArray::number(move.device) + '\t' + QByteArray::number(move.inode) + '\t' +
                     QByteArray::number(move.size) + '\t' + QByteArray::number(move.modifiedNs);
        }
        bytes += '\n';
    }
    return bytes;
}

bool exists(const QString& path) {
    struct stat facts {};
    return ::lstat(native(path).constData(), &facts) == 0;
}

qint64 modifiedNs(const struct stat& facts) {
    return qint64(facts.st_mtim.tv_sec) * 1'000'000'000 + facts.st_mtim.tv_nsec;
}

// The facts of the file the move is about: its source before the move, or the file a relink found.
PlannedMove withFacts(PlannedMove move) {
    if (move.known) {
        return move;
    }
    struct stat facts {};
    if (::lstat(native(move.from).constData(), &facts) == 0 || ::lstat(native(move.to).constData(), &facts) == 0) {
        if (S_ISREG(facts.st_mode)) {
            move.known = true;
            move.device = quint64(facts.st_dev);
            move.inode = quint64(facts.st_ino);
            move.size = qint64(facts.st_size);
            move.modifiedNs = modifiedNs(facts);
        }
    }
    return move;
}

bool sameBytes(const QString& a, const QString& b) {
    QFile left(a);
    QFile right(b);
    if (!left.open(QIODevice::ReadOnly) || !right.open(QIODevice::ReadOnly) || left.size() != right.size()) {
        return false;
    }
    constexpr qint64 chunk = 1 << 20;
    while (!left.atEnd()) {
        const QByteArray l = left.read(chunk);
        if (l.isEmpty() || l != right.read(chunk)) {
            return false;
        }
    }
    return true;
}

bool isTheFile(const PlannedMove& move, const struct stat& facts) {
    return move.known && quint64(facts.st_dev) == move.device && quint64(facts.st_ino) == move.inode;
}

// The copy a move across file systems makes keeps the source's size and modification time.
bool isItsCopy(const PlannedMove& move, const struct stat& facts) {
    return move.known && !isTheFile(move, facts) && qint64(facts.st_size) == move.size &&
           modifiedNs(facts) == move.modifiedNs;
}

// Whether a move from `from` to `to` took place, finishing (with `finish`) one cut short between its last two
// steps (the copy or link under the new name made, the old name not yet removed). Only the file the journal
// names is followed, and nothing that is not provably the same document twice is ever deleted.
bool arrived(const PlannedMove& move, bool finish) {
    struct stat source {};
    struct stat target {};
    if (::lstat(native(move.to).constData(), &target) != 0 || !S_ISREG(target.st_mode)) {
        return false;
    }
    // A journal written before files were named by their facts is followed as it always was, minus deleting.
    const bool ours = !move.known || isTheFile(move, target) || isItsCopy(move, target);
    if (::lstat(native(move.from).constData(), &source) != 0) {
        return errno == ENOENT && ours;
    }
    if (!S_ISREG(source.st_mode) || (move.known && !isTheFile(move, source))) {
        return false;
    }
    if (source.st_dev == target.st_dev && source.st_ino == target.st_ino) {
        if (source.st_nlink > 1) {
            // The hard link a move makes where renaming without replacing is not offered.
            return !finish || ::unlink(native(move.from).constData()) == 0;
        }
        // One file under two spellings (a file system that ignores case): it has the spelling its folder lists.
        return QDir(QFileInfo(move.to).absolutePath())
            .entryList(QDir::Files | QDir::Hidden)
            .contains(QFileInfo(move.to).fileName());
    }
    // The verified copy across file systems took the new name; the old file was about to be removed.
    return isItsCopy(move, target) && sameBytes(move.from, move.to) &&
           (!finish || ::unlink(native(move.from).constData()) == 0);
}

struct Finished {
    qint64 position = -1;
    QString recorded;
    QString path;
    QList<const PlannedMove*> steps;
};

// A journal kept by a failed save may name one document twice (moved on by a later run): its moves are followed
// in order from the path the library holds, through places it has left, to where it is now.
std::vector<Finished> followJournal(const TWordMgr& store, const QList<PlannedMove>& moves, bool finish) {
    QList<qint64> positions;
    for (const PlannedMove& move : moves) {
        if (!positions.contains(move.position)) {
            positions.append(move.position);
        }
    }
    std::vector<Finished> done;
    for (const qint64 position : std::as_const(positions)) {
        if (!store.IsRecordPosition(position)) {
            continue;
        }
        Finished record;
        record.position = position;
        try {
            record.recorded = store.StringAt(store.RecordAt(position).wdFullNamePos);
        } catch (const VelmoraError&) {
            continue;
        }
        record.path = record.recorded;
        for (const PlannedMove& move : moves) {
            if (move.position != position || move.from != record.path) {
                continue;
            }
            if (arrived(move, finish) || (!exists(move.from) && !exists(move.to))) {
                record.steps.append(&move);
                record.path = move.to;
            }
        }
        if (record.path != record.recorded && exists(record.path)) {
            done.push_back(std::move(record));
        }
    }
    return done;
}

} // namespace

QString MoveJournalFile(const QString& dbFile) {
    const qsizetype slash = dbFile.lastIndexOf(QDir::separator());
    const qsizetype dot = dbFile.lastIndexOf(u'.');
    return (dot > slash ? dbFile.left(dot) : dbFile) + QStringLiteral(".moves");
}

QList<PlannedMove> ReadMoveJournal(const QString& dbFile) {
    QFile file(MoveJournalFile(dbFile));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<PlannedMove> moves;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        bool ok = false;
        const qint64 position = fields.value(0).toLongLong(&ok);
        if (!ok || (fields.size() != 3 && fields.size() != 7)) {
            continue;
        }
        PlannedMove move{position, decodeField(fields.at(1)), decodeField(fields.at(2))};
        if (fields.size() == 7) {
            bool device = false;
            bool inode = false;
            bool size = false;
            bool modified = false;
            move.device = fields.at(3).toULongLong(&device);
            move.inode = fields.at(4).toULongLong(&inode);
            move.size = fields.at(5).toLongLong(&size);
            move.modifiedNs = fields.at(6).toLongLong(&modified);
            if (!(device && inode && size && modified)) {
                continue;
            }
            move.known = true;
        }
        moves.append(move);
    }
    return moves;
}

void WriteMoveJournal(const QString& dbFile, const QList<PlannedMove>& moves) {
    QList<PlannedMove> all = ReadMoveJournal(dbFile);
    for (const PlannedMove& move : moves) {
        all.append(withFacts(move));
    }
    WriteFileAtomically(MoveJournalFile(dbFile), journalBytes(all));
}

void RemoveMoveJournal(const QString& dbFile) {
    const QByteArray name = native(MoveJournalFile(dbFile));
    if (::unlink(name.constData()) != 0 && errno != ENOENT) {
        throw VelmoraError(QStringLiteral("无法删除文件 %1: %2")
                               .arg(MoveJournalFile(dbFile), QString::fromLocal8Bit(std::strerror(errno))),
                           MoveJournalFile(dbFile));
    }
}

QString MoveCopyPrefix(const QString& target) {
    const QFileInfo info(target);
    return info.absolutePath() + QDir::separator() + u'.' + info.fileName() + QStringLiteral(".velmora-move-");
}

void RemoveMoveCopies(const QStringList& targets) {
    // Each folder is listed once: a move of many documents into one folder names that folder many times.
    QHash<QString, QStringList> prefixes;
    for (const QString& target : targets) {
        const QFileInfo prefix(MoveCopyPrefix(target));
        prefixes[prefix.absolutePath()].append(prefix.fileName());
    }
    for (auto folder = prefixes.cbegin(); folder != prefixes.cend(); ++folder) {
        const QDir dir(folder.key());
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (std::any_of(folder.value().begin(), folder.value().end(),
                            [&name](const QString& prefix) { return name.startsWith(prefix); })) {
                QFile::remove(dir.filePath(name));
            }
        }
    }
}

void TakeTextCacheAlong(const QString& from, const QString& to) {
    MoveTextCacheOver(from, to);
}

QList<PlannedMove> PendingMoves(const TWordMgr& store) {
    QList<PlannedMove> pending;
    const QList<PlannedMove> moves = ReadMoveJournal(store.FileName());
    for (const Finished& record : followJournal(store, moves, false)) {
        pending.append({record.position, record.recorded, record.path});
    }
    return pending;
}

int FinishMoves(TWordMgr& store) {
    const QString dbFile = store.FileName();
    if (!QFileInfo::exists(MoveJournalFile(dbFile))) {
        return 0;
    }
    const QList<PlannedMove> moves = ReadMoveJournal(dbFile);
    QStringList targets;
    for (const PlannedMove& move : moves) {
        targets.append(move.to);
    }
    RemoveMoveCopies(targets);
    const std::vector<Finished> done = followJournal(store, moves, true);
    for (const Finished& record : done) {
        store.SaveMovedDocName(record.position, record.path);
        // A record already at its new path was saved after its cache moved; a cache at the old path then belongs
        // to whatever file came there since, so only the steps made here take it along.
        for (const PlannedMove* step : std::as_const(record.steps)) {
            TakeTextCacheAlong(step->from, step->to);
        }
    }
    // A failed save keeps the journal, and the next opening finishes it again.
    store.SaveRecDataFiles(false);
    RemoveMoveJournal(dbFile);
    return int(done.size());
}

} // namespace velmora
