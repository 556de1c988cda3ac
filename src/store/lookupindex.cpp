#include "lookupindex.h"

#include <QChar>
#include <QtEndian>

#include <algorithm>

namespace velmora {

namespace {

constexpr quint64 kFnvOffset = 14695981039346656037ULL;
constexpr quint64 kFnvPrime = 1099511628211ULL;
constexpr size_t kMaxRecent = 4096;

// Folds case for every letter, since tags are equal ignoring any letter's case; a letter outside the basic
// plane adds nothing, so its two cases share a hash too (callers re-test every candidate).
inline quint64 mix(quint64 hash, char16_t unit) {
    if (unit >= 0x80) {
        if (QChar::isSurrogate(unit)) {
            return hash;
        }
        unit = QChar::toCaseFolded(unit);
    }
    if (unit >= u'a' && unit <= u'z') {
        unit = char16_t(unit - (u'a' - u'A'));
    }
    hash = (hash ^ (unit & 0xff)) * kFnvPrime;
    return (hash ^ (unit >> 8)) * kFnvPrime;
}

} // namespace

quint64 FoldedHash(QStringView text) {
    quint64 hash = kFnvOffset;
    for (const QChar c : text) {
        hash = mix(hash, c.unicode());
    }
    return hash;
}

quint64 FoldedHash(const char* utf16le, qsizetype units) {
    quint64 hash = kFnvOffset;
    for (qsizetype i = 0; i < units; ++i) {
        hash = mix(hash, qFromLittleEndian<char16_t>(utf16le + 2 * i));
    }
    return hash;
}

void LookupIndex::markBuilt() {
    mergeRecent();
    m_built = true;
}

void LookupIndex::clear() {
    m_sorted = {};
    m_recent = {};
    m_built = false;
    m_lookups = 0;
}

void LookupIndex::add(quint64 hash, qint64 position) {
    m_recent.emplace_back(hash, position);
    if (m_built && m_recent.size() > kMaxRecent) {
        mergeRecent();
    }
}

void LookupIndex::mergeRecent() {
    if (m_recent.empty()) {
        return;
    }
    std::sort(m_recent.begin(), m_recent.end());
    const size_t middle = m_sorted.size();
    m_sorted.insert(m_sorted.end(), m_recent.begin(), m_recent.end());
    std::inplace_merge(m_sorted.begin(), m_sorted.begin() + qsizetype(middle), m_sorted.end());
    m_recent.clear();
}

std::vector<qint64> LookupIndex::candidates(quint64 hash) const {
    std::vector<qint64> found;
    const auto range = std::equal_range(m_sorted.begin(), m_sorted.end(), Entry{hash, 0},
                                        [](const Entry& a, const Entry& b) { return a.first < b.first; });
    for (auto it = range.first; it != range.second; ++it) {
        found.push_back(it->second);
    }
    for (const Entry& entry : m_recent) {
        if (entry.first == hash) {
            found.push_back(entry.second);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

} // namespace velmora
