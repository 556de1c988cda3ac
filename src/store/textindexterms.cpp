#include "store/textindexterms.h"

#include <QChar>

#include <algorithm>

namespace velmora {

namespace {

// A term key: a pair as its two units; a unit alone with bit 32 set; a triple with bit 48 set.
constexpr quint64 kLoneBit = quint64(1) << 32;
constexpr quint64 kTripleBit = quint64(1) << 48;
constexpr char kLoneMark = '~';

bool letterOrDigit(char16_t unit) {
    if (unit < 0x80) {
        return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
    }
    return QChar::isLetterOrNumber(char32_t(unit));
}

bool latinWordUnit(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z');
}

quint64 pairKey(char16_t a, char16_t b) {
    return (quint64(a) << 16) | b;
}
quint64 loneKey(char16_t a) {
    return kLoneBit | a;
}
quint64 tripleKey(char16_t a, char16_t b, char16_t c) {
    return kTripleBit | (quint64(a) << 32) | (quint64(b) << 16) | c;
}

void encodeUnit(char16_t unit, char* out) {
    out[0] = char(0x30 + (unit >> 12));
    out[1] = char(0x30 + ((unit >> 6) & 0x3F));
    out[2] = char(0x30 + (unit & 0x3F));
}

int encodeKey(quint64 key, char* out) {
    if (key & kTripleBit) {
        encodeUnit(char16_t((key >> 32) & 0xFFFF), out);
        encodeUnit(char16_t((key >> 16) & 0xFFFF), out + 3);
        encodeUnit(char16_t(key & 0xFFFF), out + 6);
        return 9;
    }
    if (key & kLoneBit) {
        encodeUnit(char16_t(key & 0xFFFF), out);
        out[3] = kLoneMark;
        return 4;
    }
    encodeUnit(char16_t(key >> 16), out);
    encodeUnit(char16_t(key & 0xFFFF), out + 3);
    return 6;
}

// The keys of every position of the text, each once, in the order they first occur.
std::vector<quint64> distinctKeys(const char16_t* units, qsizetype n) {
    size_t capacity = 64;
    while (capacity < size_t(n) * 3) {
        capacity <<= 1;
    }
    // Open addressing over key + 1, so that 0 marks a free slot.
    std::vector<quint64> table(capacity, 0);
    std::vector<quint64> keys;
    keys.reserve(size_t(n) + 64);
    const auto add = [&](quint64 key) {
        size_t slot = size_t((key * 0x9E3779B97F4A7C15ULL) >> 20) & (capacity - 1);
        while (table[slot] != 0) {
            if (table[slot] == key + 1) {
                return;
            }
            slot = (slot + 1) & (capacity - 1);
        }
        table[slot] = key + 1;
        keys.push_back(key);
    };
    bool wordy = n > 0 && letterOrDigit(units[0]);
    for (qsizetype i = 0; i < n; ++i) {
        const bool nextWordy = i + 1 < n && letterOrDigit(units[i + 1]);
        add(wordy && nextWordy ? pairKey(units[i], units[i + 1]) : loneKey(units[i]));
        if (i + 2 < n && latinWordUnit(units[i]) && latinWordUnit(units[i + 1]) && latinWordUnit(units[i + 2])) {
            add(tripleKey(units[i], units[i + 1], units[i + 2]));
        }
        wordy = nextWordy;
    }
    return keys;
}

void appendTerm(QByteArray& match, quint64 key, bool prefix) {
    char encoded[9];
    const int length = encodeKey(key, encoded);
    if (!match.isEmpty()) {
        match += ' ';
    }
    match += '"';
    // A unit that may be followed by a letter is found by every term that begins with it.
    match.append(encoded, prefix ? 3 : length);
    match += prefix ? "\" *" : "\"";
}

} // namespace

bool ForEachTextTerm(QStringView folded, const std::function<bool(const char*, int)>& emit) {
    char encoded[9];
    for (const quint64 key : distinctKeys(reinterpret_cast<const char16_t*>(folded.data()), folded.size())) {
        if (!emit(encoded, encodeKey(key, encoded))) {
            return false;
        }
    }
    return true;
}

std::vector<QByteArray> TextTermsOf(QStringView folded) {
    std::vector<QByteArray> terms;
    ForEachTextTerm(folded, [&terms](const char* term, int length) {
        terms.emplace_back(term, length);
        return true;
    });
    return terms;
}

TermQuery TermQueryFor(QStringView foldedWord) {
    const auto* w = reinterpret_cast<const char16_t*>(foldedWord.data());
    const qsizetype m = foldedWord.size();
    TermQuery query;
    if (m == 0) {
        return query;
    }
    std::vector<quint64> keys;
    bool prefixLast = false;
    for (qsizetype i = 0; i < m; ++i) {
        const bool wordy = letterOrDigit(w[i]);
        if (i + 1 < m) {
            // The unit is followed by the next one: their pair when both are letters, else the unit alone.
            keys.push_back(wordy && letterOrDigit(w[i + 1]) ? pairKey(w[i], w[i + 1]) : loneKey(w[i]));
        } else if (!wordy) {
            keys.push_back(loneKey(w[i]));
        } else if (m == 1) {
            prefixLast = true; // followed by anything: every term that begins with it
        }
        if (i + 2 < m && latinWordUnit(w[i]) && latinWordUnit(w[i + 1]) && latinWordUnit(w[i + 2])) {
            keys.push_back(tripleKey(w[i], w[i + 1], w[i + 2]));
        }
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    for (const quint64 key : keys) {
        appendTerm(query.match, key, false);
    }
    if (prefixLast) {
        appendTerm(query.match, loneKey(w[0]), true);
    }
    const bool letters = std::all_of(w, w + m, letterOrDigit);
    query.exact =
        m == 1 || (m == 2 && letters) || (m == 3 && latinWordUnit(w[0]) && latinWordUnit(w[1]) && latinWordUnit(w[2]));
    return query;
}

} // namespace velmora
