#pragma once

#include <QList>
#include <QMultiHash>
#include <QString>

namespace velmora {

// Record positions by a hash of a case-folded key (a path, a tag). It only proposes candidates: an entry may be
// stale or collide, so every caller reads the record and tests it for real. That lets the store add entries as
// records change and never remove any, and drop the whole index when the record image is replaced.
class LookupIndex final {
public:
    bool isBuilt() const { return m_built; }
    void markBuilt() { m_built = true; }
    void clear();

    void add(QStringView key, qint64 position);
    // Candidates for one key, ascending, each once.
    QList<qint64> candidates(QStringView key) const;

private:
    static size_t hashOf(QStringView key);

    QMultiHash<size_t, qint64> m_entries;
    bool m_built = false;
};

} // namespace velmora
