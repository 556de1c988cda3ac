#pragma once

#include <QString>

namespace velmora {

class TiWord;

// The text a document's cache holds: read from its file by the built-in reader, and from the office program only
// when the reader cannot (a protected, damaged or foreign file), so that the bytes are the same either way.
QString DocumentTextForCache(TiWord& word, const QString& path);

} // namespace velmora
