#pragma once

#include <QString>

namespace velmora {

class TiWord;

// The one way a document's text reaches its cache file, whoever writes it (closing a tab, the import, the
// search): the built-in reader first, which costs milliseconds and needs no office program; the office program
// only for what that reader cannot read (a protected document, another format under a Word name, a damaged
// file). So the cache of a document holds the same bytes whichever writer filled it.
//
// When the office program is needed and `path` is not open in it, the document is opened read-only with `psw`,
// read and closed again. Errors of the office program propagate.
QString DocumentTextForCache(TiWord& word, const QString& path, const QString& psw = {});

// Replaces the cache file of `path` with DocumentTextForCache.
void WriteTextCacheFor(TiWord& word, const QString& path, const QString& psw = {});
// The same, only when the document has no cache file yet. Returns whether it wrote one.
bool WriteMissingTextCacheFor(TiWord& word, const QString& path, const QString& psw = {});

} // namespace velmora
