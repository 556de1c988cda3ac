#include "workbench/core/searchmatch.h"

#include "common/pinyin.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace velmora {

namespace {

bool onlyLatinLetters(QStringView word) {
    return !word.isEmpty() && std::all_of(word.begin(), word.end(),
                                          [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); });
}

} // namespace

SearchKeywords::SearchKeywords(const QString& text, SearchMode mode, bool pinyin) : m_mode(mode) {
    if (mode == SearchMode::Whole) {
        if (!text.isEmpty()) {
            m_words.append(text.toCaseFolded());
        }
    } else {
        for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
            m_words.append(word.toCaseFolded());
        }
    }
    for (const QString& word : std::as_const(m_words)) {
        m_byInitials.append(pinyin && onlyLatinLetters(word));
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

// Whether the pinyin initials of text (PinyinInitials) contain word, a folded word of Latin letters: only A to Z
// need folding. The initials are taken character by character, so that no copy of the field is made.
bool initialsContain(QStringView text, QStringView word) {
    const qsizetype last = text.size() - word.size();
    for (qsizetype start = 0; start <= last; ++start) {
        qsizetype i = 0;
        for (; i < word.size(); ++i) {
            char16_t c = PinyinInitialOf(text[start + i]).unicode();
            if (c >= u'A' && c <= u'Z') {
                c = char16_t(c - u'A' + u'a');
            }
            if (c != word[i].unicode()) {
                break;
            }
        }
        if (i == word.size()) {
            return true;
        }
    }
    return false;
}

} // namespace

void DocumentMatch::feed(QStringView field, bool folded, bool initials) {
    const QStringList& words = m_keywords->words();
    // Only a field with Chinese characters has initials other than itself.
    std::optional<bool> chinese;
    const auto inInitials = [&](qsizetype i) {
        if (!initials || !m_keywords->byInitials(i)) {
            return false;
        }
        if (!chinese) {
            chinese = std::any_of(field.begin(), field.end(), IsCjkChar);
        }
        return *chinese && initialsContain(field, words.at(i));
    };
    feedWith([&](qsizetype i) {
        const QString& word = words.at(i);
        return (folded ? containsUnits(field, word) : field.contains(word, Qt::CaseInsensitive)) || inInitials(i);
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
    case SearchMode::All: {
        bool all = true;
        for (qsizetype i = 0; i < n && all; ++i) {
            all = has(i);
        }
        m_matched = all;
        break;
    }
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
