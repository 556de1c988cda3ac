#include "searchmatch.h"

#include <algorithm>

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

void DocumentMatch::feed(QStringView field, bool folded) {
    if (m_keywords->isEmpty() || decided()) {
        return;
    }
    const Qt::CaseSensitivity cs = folded ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QStringList& words = m_keywords->words();
    const auto has = [&](const QString& word) { return field.contains(word, cs); };
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
