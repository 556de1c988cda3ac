#include "workbench/core/searchmatch.h"

#include <algorithm>
#include <cstring>

namespace velmora {

SearchKeywords::SearchKeywords(const QString& text, SearchMode mode) : m_mode(mode) {
    if (mode == SearchMode::Whole) {
        if (!text.isEmpty()) {
            m_words.append(text.toCaseFolded());
        }
        return;
    }
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        m_words.append(word.toCaseFolded());
    }
}

namespace {

// Whole texts are long and already folded: their search is a plain search of UTF-16 units, which memmem does
// several times faster than a search that must keep to character boundaries. A match at an odd byte offset
// straddles two units and is passed over.
bool containsUnits(QStringView text, QStringView word) {
    if (word.isEmpty()) {
        return true;
    }
    const char* start = reinterpret_cast<const char*>(text.data());
    const char* end = start + text.size() * 2;
    const char* from = start;
    while (from < end) {
        const void* hit = ::memmem(from, size_t(end - from), word.data(), size_t(word.size()) * 2);
        if (hit == nullptr) {
            return false;
        }
        const char* at = static_cast<const char*>(hit);
        if ((at - start) % 2 == 0) {
            return true;
        }
        from = at + 1;
    }
    return false;
}

} // namespace

void DocumentMatch::feed(QStringView field, bool folded) {
    const QStringList& words = m_keywords->words();
    feedWith([&](qsizetype i) {
        return folded ? containsUnits(field, words.at(i)) : field.contains(words.at(i), Qt::CaseInsensitive);
    });
}

void DocumentMatch::feedKnown(const std::vector<bool>& present) {
    feedWith([&](qsizetype i) { return size_t(i) < present.size() && present[size_t(i)]; });
}

template <typename Has>
void DocumentMatch::feedWith(const Has& has) {
    if (m_keywords->isEmpty() || decided()) {
        return;
    }
    const qsizetype n = m_keywords->words().size();
    const auto anyFrom = [&](qsizetype from) {
        for (qsizetype i = from; i < n; ++i) {
            if (has(i)) {
                return true;
            }
        }
        return false;
    };
    switch (m_keywords->mode()) {
    case SearchMode::Whole:
        m_matched = has(0);
        break;
    case SearchMode::Any:
        m_matched = anyFrom(0);
        break;
    case SearchMode::All:
        m_matched = true;
        for (qsizetype i = 0; i < n && m_matched; ++i) {
            m_matched = has(i);
        }
        break;
    case SearchMode::FirstNotOthers:
        m_firstSeen = m_firstSeen || has(0);
        m_excluded = m_excluded || anyFrom(1);
        break;
    }
}

bool DocumentMatch::decided() const {
    if (m_keywords->mode() == SearchMode::FirstNotOthers) {
        return m_excluded || (m_firstSeen && m_keywords->words().size() == 1);
    }
    return m_matched;
}

bool DocumentMatch::matched() const {
    if (m_keywords->mode() == SearchMode::FirstNotOthers) {
        return m_firstSeen && !m_excluded;
    }
    return m_matched;
}

bool MatchKeywords(const QString& keywords, QStringView text, SearchMode mode) {
    const SearchKeywords prepared(keywords, mode);
    DocumentMatch match(&prepared);
    match.feed(text);
    return match.matched();
}

QStringView DocumentBaseName(QStringView path) {
    QStringView name = path.sliced(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 ? name.first(dot) : name;
}

} // namespace velmora
