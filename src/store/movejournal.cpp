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
        bytes += QByteArray::number(move.position) + '\t' + encodeField(move.from) + '\t' + encodeField(move.to) + '\n';
    }
    return bytes;
}

bool exists(const QString& path) {
    struct stat facts {};
    return ::lstat(native(path).constData(), &facts) == 0;
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

// Whether a move from `from` to `to` took place, finishing one cut short between its last two steps (the copy
// or link under the new name made, the old name not yet removed). Nothing that is not provably the same
// document twice is ever deleted.
bool arrived(const QString& from, const QString& to) {
    struct stat source {};
    struct stat target {};
    if (::lstat(native(to).constData(), &target) != 0 || !S_ISREG(target.st_mode)) {
        return false;
    }
    if (::lstat(native(from).constData(), &source) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(source.st_mode)) {
        return false;
    }
    if (source.st_dev == target.st_dev && source.st_ino == target.st_ino) {
        if (source.st_nlink > 1) {
            // The hard link a move makes where renaming without replacing is not offered.
            return ::unlink(native(from).constData()) == 0;
        }
        // One file under two spellings (a file system that ignores case): it has the spelling its folder lists.
        return QDir(QFileInfo(to).absolutePath())
            .entryList(QDir::Files | QDir::Hidden)
            .contains(QFileInfo(to).fileName());
    }
    // The verified copy across file systems took the new name; the old file was about to be removed.
    return sameBytes(from, to) && ::unlink(native(from).constData()) == 0;
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
        if (!ok || fields.size() != 3) {
            continue;
        }
        moves.append({position, decodeField(fields.at(1)), decodeField(fields.at(2))});
    }
    return moves;
}

void WriteMoveJournal(const QString& dbFile, const QList<PlannedMove>& moves) {
    WriteFileAtomically(MoveJournalFile(dbFile), journalBytes(ReadMoveJournal(dbFile) + moves));
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

int FinishMoves(TWordMgr& store) {
    const QString dbFile = store.FileName();
    if (!QFileInfo::exists(MoveJournalFile(dbFile))) {
        return 0;
    }
    // A journal kept by a failed save may name one document twice (moved on by a later run): its moves are
    // followed in order from the path the library holds, through places it has left, to where it is now.
    const QList<PlannedMove> moves = ReadMoveJournal(dbFile);
    QList<qint64> positions;
    QStringList targets;
    for (const PlannedMove& move : moves) {
        targets.append(move.to);
        if (!positions.contains(move.position)) {
            positions.append(move.position);
        }
    }
    RemoveMoveCopies(targets);
    int changed = 0;
    for (const qint64 position : std::as_const(positions)) {
        if (!store.IsRecordPosition(position)) {
            continue;
        }
        QString path;
        try {
            path = store.GetDocNameByPos(position);
        } catch (const VelmoraError&) {
            continue;
        }
        const QString recorded = path;
        QList<const PlannedMove*> steps;
        for (const PlannedMove& move : moves) {
            if (move.position != position || move.from != path) {
                continue;
            }
            if (arrived(move.from, move.to) || (!exists(move.from) && !exists(move.to))) {
                steps.append(&move);
                path = move.to;
            }
        }
        if (path == recorded || !exists(path)) {
            continue;
        }
        store.SaveMovedDocName(position, path);
        // A record already at its new path was saved after its cache moved; a cache at the old path then belongs
        // to whatever file came there since, so only the steps made here take it along.
        for (const PlannedMove* step : std::as_const(steps)) {
            TakeTextCacheAlong(step->from, step->to);
        }
        ++changed;
    }
    // A failed save keeps the journal, and the next opening finishes it again.
    store.SaveRecDataFiles(false);
    RemoveMoveJournal(dbFile);
    return changed;
}

} // namespace velmora
