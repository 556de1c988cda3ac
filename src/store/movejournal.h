#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace velmora {

class TWordMgr;

// A document move touches the disk (one rename per file) and the library (one record per file), and no single
// step makes both at once. So the moves a run intends are written down beside the library before its first
// rename, and the journal is removed only once the library files hold every new path. An opening for writing
// that finds a journal looks at where each file really is and brings the record (and its text cache) there.
struct PlannedMove {
    qint64 position = -1;
    QString from;
    QString to;
    // The file the move is about, as it was when the journal was written (the source of a move, the found file of
    // a relink): the journal follows that file only. A file someone else put at the target, even one with the
    // same bytes, is never taken for it, and nothing is deleted for it. Filled in by WriteMoveJournal.
    bool known = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    bool operator==(const PlannedMove&) const = default;
};

// "worddata.moves" beside the library's string file.
QString MoveJournalFile(const QString& dbFile);

// Writes the journal atomically, with the facts of each move's file (its source, or its target when nothing is at
// the source any more); moves already in it (a run whose library save failed) are kept ahead of the new
// ones, since their records are not on disk either. Raises an error when it cannot be written.
void WriteMoveJournal(const QString& dbFile, const QList<PlannedMove>& moves);
// The moves of the journal; lines that do not read as a move are passed over.
QList<PlannedMove> ReadMoveJournal(const QString& dbFile);
void RemoveMoveJournal(const QString& dbFile);

// The hidden copies a move across file systems makes beside its target ("." name ".velmora-move-" digits).
QString MoveCopyPrefix(const QString& target);
void RemoveMoveCopies(const QStringList& targets);

// A document's text cache follows it to its new path (by renaming, so a later file at the old path never
// inherits it). A cache already under the new name belongs to no file there, and is replaced.
void TakeTextCacheAlong(const QString& from, const QString& to);

// What the next opening for writing will do with a journal left behind: for each record it will change, its
// position, the path it holds now and the path it will get. Looks only; deletes and changes nothing.
QList<PlannedMove> PendingMoves(const TWordMgr& store);

// Completes what a killed or failed move left: each record still at a journal's old path whose file is now at
// the new one gets the new path; leftover copies go; the library is saved, then the journal removed. Returns the
// number of records changed. A failure to save is raised and keeps the journal for the next opening.
int FinishMoves(TWordMgr& store);

} // namespace velmora
