#pragma once

#include <QString>

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

// Every change of a cache file above is made under the text index's write lock and recorded in the index
// (textindex.h); a writer that cannot reach the index still writes the cache, and leaves the index stale.

} // namespace velmora
