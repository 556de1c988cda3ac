#pragma once

#include "store/heldfiles.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace velmora {

class TWordMgr;

// Finding the files of records whose documents were moved or renamed outside the program. The record holds no
// size or checksum of its file, but the text cache holds its text: a file is the document when its name matches
// and its text is the cached text, or, renamed too, when its text alone is. A record whose text is known takes
// no file whose text cannot be read. A record without a cached text can only be matched by name, which is a
// guess (many documents share a common name): such a match is proposed and taken only when the user says so.
// Nothing else is guessed: a record with several such files, or none, keeps its path and is reported.

// The text of a file as the built-in reader gives it; nullopt when it cannot be read (a protected document, a
// damaged one). Called from several threads at once.
using RelinkReader = std::function<std::optional<QString>(const QString& path)>;

// What a text is compared by: a digest of its characters without white space and control characters, so that
// a cache written from the office's text and one read by the built-in reader compare equal. Empty for a text
// with nothing else (an empty document matches no other).
QByteArray RelinkTextKey(const QString& text);

struct MissingDocument {
    qint64 position = -1;
    QString path;
};

// The live records whose file is missing: nothing at all is at the path (one this process may not look at is
// not missing). In record order.
std::vector<MissingDocument> FindMissingDocuments(const TWordMgr& store);
struct RelinkFinding {
    // ByName: the one file of the record's name, no text to prove it; changed only when asked.
    enum class Kind { Relinked, ByName, Ambiguous, NotFound };
    Kind kind = Kind::NotFound;
    qint64 position = -1;
    QString oldPath;
    QString newPath;    // Relinked and ByName
    int candidates = 0; // Ambiguous only
};

// A Word file below the folders whose name no record may hold, as `add` refuses it: a line break in a name would
// forge a line of every listing, and a name that is not UTF-8 cannot be stored as it is spelled on disk.
struct RefusedFile {
    enum class Reason { NotUtf8, ControlCharacter };
    QByteArray name; // the file system's bytes
    Reason reason = Reason::NotUtf8;
};

struct RelinkPlan {
    std::vector<RelinkFinding> findings; // one per missing document, in their order
    QStringList unreadableFolders;       // "folder: reason", passed over by the walk
    std::vector<RefusedFile> refusedFiles;
    bool cancelled = false;
};

struct RelinkProgress {
    enum class Stage { Listing, Reading };
    Stage stage = Stage::Listing;
    qsizetype done = 0;
    qsizetype total = 0;
};

// Looks below `folders` (each walked whole; linked folders are not followed, and the data folder is never
// entered: its help document is nobody's file) for the files of `missing`. Touches no store, so it may run on a
// thread of its own; `progress` is called on that thread. `held` is the library's HeldFiles: a missing record's
// own path holds nothing, so its file renamed only in letter case is found. A folder that does not exist or
// cannot be read is named in unreadableFolders.
RelinkPlan PlanRelinks(const std::vector<MissingDocument>& missing, const QStringList& folders, const HeldFiles& held,
                       const RelinkReader& reader, const std::function<void(const RelinkProgress&)>& progress = {},
                       const std::atomic<bool>* cancelled = nullptr);

// Gives each relinked record its new path (tags, score, counters, dates and password stay) and moves its text
// cache along, through the move journal as a folder move does, so that a kill at any point is finished by the
// next opening. A record that changed since the plan was made (its path, its file back, the new file gone or
// taken by another record) is left alone and its finding turned into NotFound. A ByName finding is applied only
// when its position is in `takenByName`, and then becomes Relinked. The library files are written before it
// returns; a failure to write them is raised (the journal then finishes the records at the next opening).
void ApplyRelinks(TWordMgr& store, RelinkPlan& plan, const QSet<qint64>& takenByName = {});
// The positions of the plan's ByName findings: what `velmoradb relink --by-name` takes.
QSet<qint64> ByNamePositions(const RelinkPlan& plan);

// Relinks one record to a file the user picked, by the same path as ApplyRelinks. False, changing nothing, when
// the file is not a regular file or another live record holds it.
bool RelinkToFile(TWordMgr& store, qint64 position, const QString& file);

} // namespace velmora
