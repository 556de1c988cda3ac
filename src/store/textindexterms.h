#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <vector>

namespace velmora {

// The terms the text index keeps of a folded text, and the query that finds a folded keyword with them.
//
// At every position of the text one term begins with that position's UTF-16 unit: the pair of it and the next
// unit when both are letters or digits (Han characters included), else the unit alone, marked as followed by
// something else (punctuation, space, the end). Three neighbouring Latin letters or digits give their triple as
// well, since pairs of Latin letters occur in nearly every document. So a document holds a unit exactly when
// some term begins with it, and holds a keyword of two letters exactly when it has their pair: both are answered
// by the index alone, and longer keywords get candidates that the search verifies.
//
// Pairs of a letter and a punctuation mark are not kept: nobody searches for them, and they made a fifth of all
// terms. A unit's terms are written as three characters of six bits each from '0' (a pair as six, a triple as
// nine, a unit alone as three and '~'), so that a term never holds a quote of the query syntax and no term is
// the start of another of a different unit.

// Gives each distinct term of a folded text to `emit` (its bytes, its length) until `emit` returns false; false
// then, else true.
bool ForEachTextTerm(QStringView folded, const std::function<bool(const char*, int)>& emit);
// The same as a list: for tests.
std::vector<QByteArray> TextTermsOf(QStringView folded);

struct TermQuery {
    QByteArray match;   // the FTS5 query: every term the keyword implies, a lone unit as a prefix
    bool exact = false; // a document matching it holds the keyword; else it is only a candidate
};
// The query for a folded keyword; an empty `match` when the keyword implies no term at all.
TermQuery TermQueryFor(QStringView foldedWord);

} // namespace velmora
