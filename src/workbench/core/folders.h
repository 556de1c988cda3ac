#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace velmora {

class TWordMgr;

// -- the folder list (fdlist.dat): the full path of every folder of the folder tree, each ending with the
// delimiter, in the order added. A node's text is the last folder name of its line, which is how a node finds
// its folder.

// The last component of a folder path, one trailing delimiter ignored.
QString GetFolderName(const QString& path);
// The first line whose last folder name equals name ignoring case; empty when none. A name that merely occurs
// further up a path must not win: the node would list and receive another folder's documents.
QString FolderPathIn(const QStringList& lines, const QString& name);
QString GetFolderPath(const QString& listFile, const QString& name);
// Appends path, or removes the first line equal to it ignoring case; the file is written back whole.
void UpdateFdList(const QString& listFile, const QString& path, bool add);

// A name a folder may be created under: not empty, "." or "..", without a delimiter or a control character, and
// not beginning or ending with white space (a name that looks like another in every listing).
bool IsValidFolderName(const QString& name);
// A folder that may join the tree: an existing absolute folder other than the root, whose name is valid.
bool IsAddableFolder(const QString& dir);

// -- the documents of folders --

// The ".doc" and ".docx" files directly in folder, and in its sub-folders with recurse, one per line; nothing
// for an unknown (empty) folder, which would otherwise be taken as the working folder or the root.
QString FolderFileListing(const QString& folder, bool recurse);
// The position list of the library documents in `folders` (their own files) and, recursing when asked, in
// `descendants`; each document once.
QString FolderDocuments(TWordMgr& store, const QStringList& folders, const QStringList& descendants, bool recurse);
// Marks deleted the library documents directly in folder.
void RemoveFolderDocuments(TWordMgr& store, const QString& folder);

// -- moves --

enum class MoveResult {
    Moved,
    AlreadyThere,  // the target is the source itself
    SourceMissing, // no file at the source
    TargetExists,  // another file has the target's name: it is never replaced
    InUse,         // another program holds the file
    SymbolicLink,  // the document's name is a link: moved, it would point elsewhere
    Failed,        // the system refused (no right, no room, no such folder)
};

// Moves a file without ever replacing one: a no-replace rename on one file system; across file systems a copy
// beside the target that is read back and compared before it takes the target's name, and only then the
// source is deleted. A file whose new name differs only in letter case on a file system that ignores case is
// renamed in place.
MoveResult MoveFileNoReplace(const QString& source, const QString& target);

// Why a move result keeps a document where it is, for the report; empty for a move that happened or was not needed.
QString MoveFailureReason(MoveResult result);

struct MoveFailure {
    QString path;
    QString reason;
};

struct MoveOutcome {
    int moved = 0;
    int failed = 0;
    QList<MoveFailure> failures;
    QStringList movedFiles; // new paths
    QString saveError;      // the library could not be written after files had moved
};

// Moves the documents at `positions` into folder, each keeping its file name, and records each new path as it
// is spelled; each text cache goes along. A document that `isOpen` names, one another program holds, a link, a
// clash, and one whose file is missing when `countMissing` count as failures and stay where they are.
// The moves are written to the library's move journal before the first rename; the library files are written
// at the end, and only then the journal is removed. A library that cannot be written is reported in the outcome
// (the next opening finishes the records); a journal that cannot be written raises an error, nothing moved.
MoveOutcome MoveDocuments(TWordMgr& store, const QList<qint64>& positions, const QString& folder,
                          const std::function<bool(const QString&)>& isOpen, bool countMissing);

// The report after a move: the failures with their reasons, and after a failed library save the files that moved.
// Empty when there is nothing to report.
QString MoveReportText(const MoveOutcome& outcome);

// Whether two paths reach the same file (or are the same text).
bool SameFile(const QString& a, const QString& b);

} // namespace velmora
