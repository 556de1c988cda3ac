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
    if (m_keywords->isEmpty() || decided()) {
        return;
    }
    const QStringList& words = m_keywords->words();
    const auto has = [&](const QString& word) {
        return folded ? containsUnits(field, word) : field.contains(word, Qt::CaseInsensitive);
    };
    switch (m_keywords->mode()) {
    case SearchMode::Whole:
        m_matched = has(words.first());
        break;
    case SearchMode::Any:
        m_matched = std::any_of(words.cbegin(), words.cend(), has);
        break;
    case SearchMode::All:
        m_matched = std::all_of(words.cbegin(), words.cend(), has);
        break;
    case SearchMode::FirstNotOthers:
        m_firstSeen = m_firstSeen || has(words.first());
        m_excluded = m_excluded || std::any_of(words.cbegin() + 1, words.cend(), has);
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
