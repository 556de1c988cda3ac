#pragma once

#include <QString>

namespace velmora {

// Paths, tags and keywords are "equal ignoring case" when they match with the letters a to z taken as A to Z;
// every other character must match exactly.
QString FoldAsciiCase(QStringView text);
bool SameIgnoringAsciiCase(QStringView a, QStringView b);

} // namespace velmora

namespace velmora {

// Whether UTF-16LE units inside a string file equal text that FoldAsciiCase has already folded.
bool RawEqualsFolded(const char* utf16le, qsizetype units, QStringView folded);
// Whether a stored tag equals a query word ignoring the case of every letter (Ä/ä, Greek, Cyrillic, full-width
// letters), as Qt's case-insensitive comparison takes it. `folded` is the word after FoldAsciiCase: ASCII text,
// nearly every tag, is compared unit by unit without decoding.
bool RawTagEquals(const char* utf16le, qsizetype units, QStringView folded);

// Calls visit(piece, units) for every non-empty piece of a stored tags text split at single spaces.
template <typename Visit>
void ForEachTagPiece(const char* utf16le, qsizetype units, Visit&& visit) {
    qsizetype start = 0;
    for (qsizetype i = 0; i <= units; ++i) {
        const bool end = i == units || (utf16le[2 * i] == ' ' && utf16le[2 * i + 1] == 0);
        if (end) {
            if (i > start) {
                visit(utf16le + 2 * start, i - start);
            }
            start = i + 1;
        }
    }
}

} // namespace velmora
