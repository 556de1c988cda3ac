#include "pinyin.h"

#include "gridsort.h"
#include "textcodec.h"

#include <array>

namespace velmora {

namespace {

constexpr char16_t kFirstCjk = 0x4E00;
constexpr char16_t kLastCjk = 0x9FA5;

struct InitialRange {
    quint16 last;
    char letter;
};

// The pinyin blocks of the first-level characters, by GBK code; each block ends at `last` and begins after the
// previous one, the first at B0A1.
constexpr quint16 kFirstLevelStart = 0xB0A1;
constexpr std::array<InitialRange, 23> kRanges{{
    {0xB0C4, 'A'}, {0xB2C0, 'B'}, {0xB4ED, 'C'}, {0xB6E9, 'D'}, {0xB7A1, 'E'}, {0xB8C0, 'F'},
    {0xB9FD, 'G'}, {0xBBF6, 'H'}, {0xBFA5, 'J'}, {0xC0AB, 'K'}, {0xC2E7, 'L'}, {0xC4C2, 'M'},
    {0xC5B5, 'N'}, {0xC5BD, 'O'}, {0xC6D9, 'P'}, {0xC8BA, 'Q'}, {0xC8F5, 'R'}, {0xCBF9, 'S'},
    {0xCDD9, 'T'}, {0xCEF3, 'W'}, {0xD1B8, 'X'}, {0xD4D0, 'Y'}, {0xD7F9, 'Z'},
}};

char initialOfCode(quint16 code) {
    if (code < kFirstLevelStart) {
        return 0;
    }
    for (const InitialRange& range : kRanges) {
        if (code <= range.last) {
            return range.letter;
        }
    }
    return 0;
}

// Only characters of the CJK block can have a GBK code inside the first-level blocks, so one table over that
// block, filled by encoding it once, answers every character.
const std::array<char, kLastCjk - kFirstCjk + 1>& initialTable() {
    static const auto table = [] {
        std::array<char, kLastCjk - kFirstCjk + 1> result{};
        for (char16_t c = kFirstCjk; c <= kLastCjk; ++c) {
            const QByteArray bytes = EncodeAnsi(QStringView(&c, 1));
            if (bytes.size() == 2) {
                result[c - kFirstCjk] = initialOfCode(quint16(quint8(bytes[0]) << 8 | quint8(bytes[1])));
            }
        }
        return result;
    }();
    return table;
}

} // namespace

bool IsCjkChar(QChar c) {
    return c.unicode() >= kFirstCjk && c.unicode() <= kLastCjk;
}

QChar PinyinInitialOf(QChar c) {
    if (!IsCjkChar(c)) {
        return c;
    }
    const char letter = initialTable()[c.unicode() - kFirstCjk];
    return letter != 0 ? QChar::fromLatin1(letter) : c;
}

QString PinyinInitials(QStringView text) {
    QString result = text.toString();
    for (QChar& c : result) {
        c = PinyinInitialOf(c);
    }
    return result;
}

void SortListByPinyin(QStringList& list, bool ascending, bool numeric) {
    StringGrid grid;
    grid.rows.reserve(list.size());
    for (const QString& item : list) {
        grid.rows.append({item, PinyinInitials(item)});
    }
    SortGrid(grid, 1, ascending, numeric);
    for (qsizetype i = 0; i < list.size(); ++i) {
        list[i] = grid.rows[i][0];
    }
}

} // namespace velmora
