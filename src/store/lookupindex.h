#pragma once

#include <QString>
#include <QtGlobal>

#include <utility>
#include <vector>

namespace velmora {

// A 64-bit hash of text with the letters a to z taken as A to Z, the same whether the text is a QString or
// UTF-16LE bytes inside a string file.
quint64 FoldedHash(QStringView text);
quint64 FoldedHash(const char* utf16le, qsizetype units);

// Record positions by the folded hash of a key (a path, a tag). It only proposes candidates: an entry may be
// stale or collide, so every caller reads the record and tests it for real. That lets the store add entries as
// records change and never remove any, and drop the whole index when the record image is replaced.
//
// A process that asks once (a command-line query) is served faster by one scan than by building an index, so
// the index is built only when a second lookup shows that more are coming.
class LookupIndex final {
public:
    bool isBuilt() const { return m_built; }
    // True when the caller should build the index now (and then call markBuilt), false to scan instead.
    bool wantsBuild() { return !m_built && ++m_lookups > 1; }
    void markBuilt();
    void clear();

    void add(quint64 hash, qint64 position);
    // Candidates for one key, ascending, each once.
    std::vector<qint64> candidates(quint64 hash) const;

private:
    using Entry = std::pair<quint64, qint64>;
    void mergeRecent();

    std::vector<Entry> m_sorted;
    // Entries added since the last merge, kept unsorted so that adding one is cheap.
    std::vector<Entry> m_recent;
    bool m_built = false;
    int m_lookups = 0;
};

} // namespace velmora
