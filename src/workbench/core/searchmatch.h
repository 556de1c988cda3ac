#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace velmora {

// How the keywords of a search combine; the numbers are those the options panel's modes have always had.
enum class SearchMode : int { Whole = 0, Any = 1, All = 2, FirstNotOthers = 3 };

// The keywords of one search, case-folded once so that each field is folded (or compared folding) only once.
// The keyword text is split at every space; the empty pieces that several spaces in a row (or a leading space)
// leave are no keywords at all, so they can neither match everything nor make "A非B" exclude everything.
//
// With `pinyin`, a keyword made only of Latin letters also matches a name or tag whose pinyin initials
// (PinyinInitials, the article list's sort key) contain it, so "zgls" finds 中国历史.
class SearchKeywords final {
public:
    SearchKeywords(const QString& text, SearchMode mode, bool pinyin = false);

    SearchMode mode() const { return m_mode; }
    // Whether words()[i] is also looked for in pinyin initials.
    bool byInitials(qsizetype i) const { return m_byInitials.value(i, false); }
    bool anyByInitials() const { return m_byInitials.contains(true); }
    // Nothing can match: the text held no keyword.
    bool isEmpty() const { return m_words.isEmpty(); }
    // Whole mode looks for this one folded text, spaces included; the other modes for each of words().
    const QStringList& words() const { return m_words; }

private:
    SearchMode m_mode;
    QStringList m_words;
    QList<bool> m_byInitials;
};

// One document's answer, from its fields fed one after another (name, tags, text). Under "A与B" every keyword
// must be in one field; under "A非B" the first keyword must be in some field and no other keyword in any of the
// fields searched, so that a B in the text leaves out a document whose name holds A.
class DocumentMatch final {
public:
    explicit DocumentMatch(const SearchKeywords* keywords) : m_keywords(keywords) {}

    // `folded` says the field is already case-folded (a text kept for searching), which spares folding it again.
    // `initials` says the field is a name or tags, which the pinyin keywords also look for by its initials.
    void feed(QStringView field, bool folded = false, bool initials = false);
    // A field known only by which keywords it holds: present[i] for words()[i].
    void feedKnown(const std::vector<bool>& present);
    // No further field can change the answer.
    bool decided() const;
    bool matched() const;

    const SearchKeywords* keywords() const { return m_keywords; }

private:
    template <typename Has>
    void feedWith(const Has& has);

    const SearchKeywords* m_keywords;
    bool m_matched = false;
    bool m_firstSeen = false;
    bool m_excluded = false;
};

// Whether one text answers the keyword text in the mode.
bool MatchKeywords(const QString& keywords, QStringView text, SearchMode mode);

// The file name of a path without its folder and its extension, the part a name search looks in.
QStringView DocumentBaseName(QStringView path);

} // namespace velmora
