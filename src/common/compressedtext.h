#pragma once

#include <sys/stat.h>

#include <QString>

namespace velmora {

// The most text one document keeps in its cache file: far above any note (a long novel has a few million
// characters), low enough that a search, which holds each text whole, stays small. Readers cut a document's
// text here; writers cut whatever else they are given.
inline constexpr qsizetype kMaxCachedTextChars = qsizetype(16) * 1024 * 1024;
// That text as it lies inflated in the file: up to three bytes a character (UTF-8 when GBK cannot hold it), a
// byte-order mark and the CR LF after the last line.
inline constexpr qsizetype kMaxCachedTextBytes = 3 * kMaxCachedTextChars + 16;
// The largest file such text can deflate to (above zlib's compressBound). A larger cache file is refused unread.
inline constexpr qsizetype kMaxCacheFileBytes = kMaxCachedTextBytes + kMaxCachedTextBytes / 1024 + 64;

// The text cut to kMaxCachedTextChars, never between the two halves of a surrogate pair.
QString BoundedCacheText(const QString& text);

// The text cache format: the text as CR LF lines in GBK, compressed as one zlib stream at level 1.
QByteArray CompressText(const QString& text);
// Raises an error for a stream that is not whole or inflates beyond kMaxCachedTextBytes.
QString DecompressText(QByteArrayView compressed, const QString& name = {});

void SaveCompressedText(const QString& text, const QString& fileName);
// Reads only a regular file of at most kMaxCacheFileBytes.
QString LoadCompressedText(const QString& fileName);

// The bytes of a cache file, read whole, and its status as it was read. False for what no cached text can be: not
// a regular file (a FIFO would wait for a writer forever), larger than kMaxCacheFileBytes (refused before a byte
// of it is read, sparse or not), unreadable, or shorter than its size; `info` is filled once the file is open.
bool ReadCacheFileBytes(const QString& fileName, QByteArray& compressed, struct stat& info);

} // namespace velmora
