#pragma once

#include "common/fileinfo.h"

#include <QHash>
#include <QString>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace velmora {

// The plain text of each library document is kept compressed in appdata/doctext/, one file per document:
// its base name, "~", 8 hexadecimal digits of the SHA-1 of its full path with the letters A to Z lowered (the
// record's identity: paths differing in the case of any other letter are two documents), then ".dat_". The
// digits keep namesakes (a .doc beside a .docx, the same name in two folders) from sharing one file. Where that
// name (or its writer's temporary name) would pass the file system's 255 bytes, the base name is cut, between
// characters, until it fits.
QString TextCacheFolder();
QString TextCachePath(const QString& fullPath);
// The same file's name within the cache folder.
QString TextCacheName(const QString& fullPath);

bool HasTextCache(const QString& fullPath);
// Replaces the document's cache file, making the folder first when needed. Text beyond kMaxCachedTextChars is
// not kept.
void WriteTextCache(const QString& fullPath, const QString& text);
// The cached text; the empty string when there is no cache file. A damaged file, one that is not a regular file
// or one larger than kMaxCacheFileBytes raises an error.
QString ReadTextCache(const QString& fullPath);
// Moves the cache of a document saved under a new name. Nothing happens when there is no old cache or a cache
// for the new name already exists; false then.
bool MoveTextCache(const QString& oldPath, const QString& newPath);
// Moves the cache of a document to its new path, replacing a cache already there (which belongs to no file at
// the new path). Nothing happens when there is no old cache.
void MoveTextCacheOver(const QString& oldPath, const QString& newPath);
// Removes the cache file of the document `fullPath`, if it has one (a file written over by a save-as).
void RemoveTextCache(const QString& fullPath);
// Removes the temporary files that killed cache writes left in the cache folder, once older than a minute; the
// first write of each process calls it. Returns how many went.
int RemoveLeftoverCacheTemporaries();

// Whether a document's cache still holds the text of the file now at its path.
enum class CacheFreshness { Missing, Current, Stale };

// The stamps of the documents' files as they were when their caches' texts were read, as the text index's rows
// keep them beside each cache's own stamp. A cache whose document no longer has that stamp is stale; so is one
// whose stamp is not known (written before rows kept it, or taken in from the folder alone) once its document
// was modified after the cache file was written. A document whose file is gone has nothing to be read again from: its
// cache counts as current (`check` names the file missing).
class TextCacheSources final {
public:
    // Asks the index one cache at a time: for the few documents a search found.
    TextCacheSources();
    ~TextCacheSources();
    Q_DISABLE_COPY_MOVE(TextCacheSources)
    // Reads every row at once: for questions about most of the library.
    void loadAll();
    CacheFreshness freshness(const QString& fullPath);

private:
    std::optional<FileStamp> sourceOf(const QString& name);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_query = nullptr;
    bool m_loaded = false;
    QHash<QString, FileStamp> m_sources;
};

// Every change of a cache file above is made under the text index's write lock and recorded in the index
// (textindex.h); a writer that cannot reach the index still writes the cache, and leaves the index stale.

} // namespace velmora
