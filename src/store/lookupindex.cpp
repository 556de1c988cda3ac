#include "lookupindex.h"

#include "pathfold.h"

#include <algorithm>

namespace velmora {

void LookupIndex::clear() {
    m_entries.clear();
    m_built = false;
}

size_t LookupIndex::hashOf(QStringView key) {
    return qHash(FoldAsciiCase(key));
}

void LookupIndex::add(QStringView key, qint64 position) {
    m_entries.insert(hashOf(key), position);
}

QList<qint64> LookupIndex::candidates(QStringView key) const {
    QList<qint64> found = m_entries.values(hashOf(key));
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

} // namespace velmora
