#include "docreader.h"

#include "compoundfile.h"
#include "documenttext.h"
#include "readfailure.h"
#include "wordchars.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace velmora {

namespace textreader {

namespace {

constexpr quint16 kWordIdent = 0xA5EC;
// Word 97 is the first version with this layout; Word 6 and 95 files have older numbers.
constexpr quint16 kFirstWord97Fib = 0x00C1;
constexpr quint16 kFlagEncrypted = 0x0100;
constexpr quint16 kFlagTableOne = 0x0200;
constexpr qsizetype kFibBaseSize = 32;
// Indexes of the fc/lcb pairs in FibRgFcLcb97.
constexpr qsizetype kPairPlcfBteChpx = 12;
constexpr qsizetype kPairPlcfBtePapx = 13;
constexpr qsizetype kPairClx = 33;
constexpr qsizetype kFkpSize = 512;
constexpr quint16 kSprmCFRMarkDel = 0x0800;
// Marks the paragraph that ends a table row (its one character is the row-end mark), and the same in a nested
// table.
constexpr quint16 kSprmPFTtp = 0x2417;
constexpr quint16 kSprmPFInnerTtp = 0x244C;
constexpr quint16 kSprmTDefTable = 0xD608;
constexpr quint16 kSprmPChgTabs = 0xC615;

quint8 u8(QByteArrayView b, qint64 at) {
    return quint8(b[at]);
}

quint16 u16(QByteArrayView b, qint64 at) {
    return quint16(u8(b, at) | (u8(b, at + 1) << 8));
}

quint32 u32(QByteArrayView b, qint64 at) {
    return quint32(u16(b, at)) | (quint32(u16(b, at + 2)) << 16);
}

void need(QByteArrayView b, qint64 at, qint64 count, const char* what) {
    if (at < 0 || count < 0 || at > b.size() || count > b.size() - at) {
        Damaged(QStringLiteral("%1 lies outside its stream (%2 bytes at %3 of %4)")
                    .arg(QLatin1String(what))
                    .arg(count)
                    .arg(at)
                    .arg(b.size()));
    }
}

// Compressed pieces hold Windows-1252 bytes; only 0x80-0x9F differ from Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct FcRange {
    quint32 from;
    quint32 to;
};

// Whether a property list sets one of `wanted` to a non-zero first operand byte. A list cut short counts for
// what was read before the cut.
bool setsFlag(QByteArrayView grpprl, std::initializer_list<quint16> wanted) {
    bool set = false;
    qint64 at = 0;
    while (at + 2 <= grpprl.size()) {
        const quint16 sprm = u16(grpprl, at);
        at += 2;
        qint64 operand = 0;
        switch (sprm >> 13) {
        case 0:
        case 1:
            operand = 1;
            break;
        case 2:
        case 4:
        case 5:
            operand = 2;
            break;
        case 3:
            operand = 4;
            break;
        case 7:
            operand = 3;
            break;
        default: // 6: the operand starts with its own length
            if (sprm == kSprmTDefTable) {
                operand = at + 2 <= grpprl.size() ? qint64(u16(grpprl, at)) + 1 : 2;
            } else if (sprm == kSprmPChgTabs && at < grpprl.size() && u8(grpprl, at) == 255) {
                return set; // a tab list whose length is spread over its parts; nothing wanted follows it
            } else {
                operand = at < grpprl.size() ? 1 + qint64(u8(grpprl, at)) : 1;
            }
            break;
        }
        if (operand > grpprl.size() - at) {
            break;
        }
        if (std::find(wanted.begin(), wanted.end(), sprm) != wanted.end()) {
            set = u8(grpprl, at) != 0;
        }
        at += operand;
    }
    return set;
}

enum class PageKind { Character, Paragraph };

// The byte ranges of the WordDocument stream whose character runs (ChpxFkp pages) or paragraphs (PapxFkp
// pages) set one of `wanted`, from the page table PlcBteChpx or PlcBtePapx. Sorted and merged.
std::vector<FcRange> flaggedRanges(PageKind kind, quint32 fcPlc, quint32 lcbPlc, QByteArrayView doc,
                                   QByteArrayView table, std::initializer_list<quint16> wanted) {
    std::vector<FcRange> ranges;
    if (lcbPlc == 0) {
        return ranges;
    }
    need(table, fcPlc, lcbPlc, "a property page table");
    if (lcbPlc < 4 || (lcbPlc - 4) % 8 != 0) {
        Damaged(QStringLiteral("a property page table has %1 bytes").arg(lcbPlc));
    }
    const QByteArrayView plc = table.sliced(fcPlc, lcbPlc);
    const qint64 pages = (plc.size() - 4) / 8;
    // Each run or paragraph has a 1-byte offset to its properties, paragraphs with 12 more bytes after it.
    const qint64 entrySize = kind == PageKind::Character ? 1 : 13;
    for (qint64 p = 0; p < pages; ++p) {
        const quint32 pn = u32(plc, (pages + 1) * 4 + p * 4) & 0x3FFFFF;
        const qint64 pageAt = qint64(pn) * kFkpSize;
        need(doc, pageAt, kFkpSize, "a property page");
        const QByteArrayView page = doc.sliced(pageAt, kFkpSize);
        const QByteArrayView body = page.first(kFkpSize - 1);
        const int runs = u8(page, kFkpSize - 1);
        if (runs == 0 || (runs + 1) * 4 + runs * entrySize > kFkpSize - 1) {
            Damaged(QStringLiteral("a property page at %1 claims %2 entries").arg(pageAt).arg(runs));
        }
        for (int r = 0; r < runs; ++r) {
            const quint32 from = u32(page, r * 4);
            const quint32 to = u32(page, (r + 1) * 4);
            const qint64 propsAt = qint64(u8(page, (runs + 1) * 4 + r * entrySize)) * 2;
            if (propsAt == 0 || to <= from) {
                continue;
            }
            need(body, propsAt, kind == PageKind::Character ? 1 : 2, "properties in a page");
            QByteArrayView grpprl;
            if (kind == PageKind::Character) {
                const int cb = u8(page, propsAt);
                need(body, propsAt + 1, cb, "character properties");
                grpprl = page.sliced(propsAt + 1, cb);
            } else {
                // A zero count is followed by the real count of 2-byte units; otherwise it counts 2-byte units
                // less one. Either way the list starts with the 2-byte style index.
                const int cb = u8(page, propsAt);
                const qint64 start = cb == 0 ? propsAt + 2 : propsAt + 1;
                const qint64 size = cb == 0 ? 2 * qint64(u8(page, propsAt + 1)) : 2 * qint64(cb) - 1;
                need(body, start, size, "paragraph properties");
                grpprl = size >= 2 ? page.sliced(start + 2, size - 2) : QByteArrayView();
            }
            if (setsFlag(grpprl, wanted)) {
                ranges.push_back({from, to});
            }
        }
    }
    std::sort(ranges.begin(), ranges.end(), [](const FcRange& a, const FcRange& b) { return a.from < b.from; });
    std::vector<FcRange> merged;
    for (const FcRange& r : ranges) {
        if (!merged.empty() && r.from <= merged.back().to) {
            merged.back().to = std::max(merged.back().to, r.to);
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

// Walks the ranges alongside a piece whose byte positions only grow.
class RangeCursor {
public:
    RangeCursor(const std::vector<FcRange>& ranges, quint32 start)
        : m_it(std::upper_bound(ranges.begin(), ranges.end(), start,
                                [](quint32 v, const FcRange& r) { return v < r.to; })),
          m_end(ranges.end()) {}

    bool contains(quint32 fc) {
        while (m_it != m_end && m_it->to <= fc) {
            ++m_it;
        }
        return m_it != m_end && m_it->from <= fc;
    }

private:
    std::vector<FcRange>::const_iterator m_it;
    std::vector<FcRange>::const_iterator m_end;
};

// Drops field codes and the marks the office program does not show, and spells cell ends as CR BEL.
class VisibleText {
public:
    void add(char16_t c, bool rowEnd) {
        switch (c) {
        case 0x13: // field begin: its code follows
            m_fields.push_back(true);
            ++m_codes;
            return;
        case 0x14: // field separator: its result follows
            if (!m_fields.empty() && m_fields.back()) {
                m_fields.back() = false;
                --m_codes;
            }
            return;
        case 0x15: // field end
            if (!m_fields.empty()) {
                m_codes -= m_fields.back() ? 1 : 0;
                m_fields.pop_back();
            }
            return;
        default:
            break;
        }
        if (m_codes > 0) {
            return;
        }
        switch (c) {
        case 0x07: // the end of a cell closes its last paragraph; the end of a row is no text
            if (!rowEnd) {
                m_text.append(wordchars::kParagraphEnd);
            }
            return;
        case 0x0B:
            m_text.append(wordchars::kLineBreak);
            return;
        case 0x0C: // a page break, or the end of a section
            m_text.append(wordchars::kPageBreak);
            return;
        case 0x0E:
            m_text.append(wordchars::kColumnBreak);
            return;
        case 0x1E:
            m_text.append(wordchars::kNonBreakingHyphen);
            return;
        case 0x1F:
            m_text.append(wordchars::kOptionalHyphen);
            return;
        default:
            break;
        }
        // Anchors of pictures, drawn objects, notes and comments are not text.
        if (c < 0x20 && c != '\r' && c != '\t') {
            return;
        }
        m_text.append(QChar(c));
    }

    // Once the text has reached kMaxDocumentTextChars; it is then cut there, never inside a surrogate pair.
    bool full() const { return m_text.size() >= kMaxDocumentTextChars; }
    QString take() { return BoundedCacheText(m_text); }
    void reserve(qsizetype n) { m_text.reserve(n); }

private:
    QString m_text;
    std::vector<bool> m_fields;
    int m_codes = 0;
};

} // namespace

Fib ParseFib(QByteArrayView doc) {
    if (doc.size() < kFibBaseSize + 2 || u16(doc, 0) != kWordIdent) {
        Fail(TextReadStatus::NotWordFile, QStringLiteral("the WordDocument stream does not start with a Word header"));
    }
    Fib fib;
    fib.nFib = u16(doc, 2);
    const quint16 flags = u16(doc, 0x0A);
    fib.encrypted = (flags & kFlagEncrypted) != 0;
    fib.tableOne = (flags & kFlagTableOne) != 0;
    if (fib.encrypted) {
        Fail(TextReadStatus::Encrypted, QStringLiteral("the document is password-protected"));
    }
    if (fib.nFib < kFirstWord97Fib) {
        Fail(TextReadStatus::NotWordFile,
             QStringLiteral("a document of Word 95 or earlier (version %1)").arg(fib.nFib));
    }
    qint64 at = kFibBaseSize;
    const quint16 csw = u16(doc, at);
    at += 2 + qint64(csw) * 2;
    need(doc, at, 2, "the FIB");
    const quint16 cslw = u16(doc, at);
    at += 2;
    if (cslw < 4) {
        Damaged(QStringLiteral("the FIB holds %1 long values").arg(cslw));
    }
    need(doc, at, qint64(cslw) * 4, "the FIB");
    fib.ccpText = u32(doc, at + 12);
    at += qint64(cslw) * 4;
    need(doc, at, 2, "the FIB");
    const quint16 pairs = u16(doc, at);
    at += 2;
    if (pairs <= kPairClx) {
        Damaged(QStringLiteral("the FIB holds %1 offset pairs").arg(pairs));
    }
    need(doc, at, qint64(pairs) * 8, "the FIB");
    fib.fcPlcfBteChpx = u32(doc, at + kPairPlcfBteChpx * 8);
    fib.lcbPlcfBteChpx = u32(doc, at + kPairPlcfBteChpx * 8 + 4);
    fib.fcPlcfBtePapx = u32(doc, at + kPairPlcfBtePapx * 8);
    fib.lcbPlcfBtePapx = u32(doc, at + kPairPlcfBtePapx * 8 + 4);
    fib.fcClx = u32(doc, at + kPairClx * 8);
    fib.lcbClx = u32(doc, at + kPairClx * 8 + 4);
    return fib;
}

QString MainText(const Fib& fib, QByteArrayView doc, QByteArrayView table, bool* cut) {
    need(table, fib.fcClx, fib.lcbClx, "the piece table");
    const QByteArrayView clx = table.sliced(fib.fcClx, fib.lcbClx);
    // Property lists (Prc) come first and are skipped; then the piece table proper (Pcdt).
    qint64 at = 0;
    while (at < clx.size() && u8(clx, at) == 0x01) {
        need(clx, at + 1, 2, "a property list of the piece table");
        const qint16 cbGrpprl = qint16(u16(clx, at + 1));
        if (cbGrpprl < 0) {
            Damaged(QStringLiteral("a property list of the piece table has %1 bytes").arg(cbGrpprl));
        }
        at += 3 + cbGrpprl;
    }
    need(clx, at, 5, "the piece table");
    if (u8(clx, at) != 0x02) {
        Damaged(QStringLiteral("the piece table has the marker %1").arg(u8(clx, at)));
    }
    const quint32 lcb = u32(clx, at + 1);
    need(clx, at + 5, lcb, "the piece table");
    if (lcb < 4 || (lcb - 4) % 12 != 0) {
        Damaged(QStringLiteral("the piece table has %1 bytes").arg(lcb));
    }
    const QByteArrayView plc = clx.sliced(at + 5, lcb);
    const qint64 pieces = (qint64(lcb) - 4) / 12;
    const std::vector<FcRange> deleted =
        flaggedRanges(PageKind::Character, fib.fcPlcfBteChpx, fib.lcbPlcfBteChpx, doc, table, {kSprmCFRMarkDel});
    const std::vector<FcRange> rowEnds = flaggedRanges(PageKind::Paragraph, fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx, doc,
                                                       table, {kSprmPFTtp, kSprmPFInnerTtp});

    VisibleText text;
    text.reserve(std::min<qint64>({fib.ccpText, doc.size(), kMaxDocumentTextChars + 1}));
    quint32 cpDone = 0;
    for (qint64 p = 0; p < pieces && cpDone < fib.ccpText && !text.full(); ++p) {
        const quint32 cpFrom = u32(plc, p * 4);
        const quint32 cpTo = u32(plc, (p + 1) * 4);
        if (cpFrom != cpDone || cpTo < cpFrom) {
            Damaged(QStringLiteral("piece %1 covers characters %2 to %3 after %4")
                        .arg(p)
                        .arg(cpFrom)
                        .arg(cpTo)
                        .arg(cpDone));
        }
        const quint32 count = std::min(cpTo, fib.ccpText) - cpFrom;
        const quint32 fcField = u32(plc, (pieces + 1) * 4 + p * 8 + 2);
        const bool compressed = (fcField & 0x40000000) != 0;
        const qint64 fc = compressed ? qint64(fcField & 0x3FFFFFFF) / 2 : qint64(fcField & 0x3FFFFFFF);
        const qint64 width = compressed ? 1 : 2;
        need(doc, fc, qint64(count) * width, "a piece of text");
        RangeCursor inDeletion(deleted, quint32(fc));
        RangeCursor inRowEnd(rowEnds, quint32(fc));
        for (quint32 i = 0; i < count && !text.full(); ++i) {
            const quint32 charFc = quint32(fc + qint64(i) * width);
            if (inDeletion.contains(charFc)) {
                continue;
            }
            char16_t c = 0;
            if (compressed) {
                const quint8 b = u8(doc, fc + i);
                c = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b);
            } else {
                c = char16_t(u16(doc, fc + qint64(i) * 2));
            }
            text.add(c, c == 0x07 && inRowEnd.contains(charFc));
        }
        cpDone = cpFrom + count;
    }
    if (text.full()) {
        if (cut != nullptr) {
            *cut = true;
        }
        return text.take();
    }
    if (cpDone < fib.ccpText) {
        Damaged(QStringLiteral("the piece table ends at character %1 of %2").arg(cpDone).arg(fib.ccpText));
    }
    return text.take();
}

} // namespace textreader

DocumentText ReadDocBytes(QByteArrayView bytes) {
    using namespace textreader;
    try {
        if (!CompoundFile::hasSignature(bytes)) {
            Fail(TextReadStatus::NotWordFile, QStringLiteral("not a Word 97-2003 document"));
        }
        const CompoundFile file(bytes);
        if (!file.contains("WordDocument")) {
            if (file.lists("WordDocument")) {
                Damaged(QStringLiteral("the WordDocument stream of the compound file cannot be read"));
            }
            if (file.contains("EncryptedPackage")) {
                Fail(TextReadStatus::Encrypted, QStringLiteral("the document is password-protected"));
            }
            Fail(TextReadStatus::NotWordFile, QStringLiteral("the compound file holds no Word document"));
        }
        const QByteArray doc = file.read("WordDocument", kMaxDocumentPartBytes);
        const Fib fib = ParseFib(doc);
        const QByteArray table = file.read(fib.tableOne ? "1Table" : "0Table", kMaxDocumentPartBytes);
        bool cut = false;
        DocumentText result{TextReadStatus::Ok, MainText(fib, doc, table, &cut), {}, {}};
        if (cut) {
            result.note = TextCutNote();
        }
        return result;
    } catch (const ReadFailure& failure) {
        return {failure.status, {}, failure.reason, {}};
    } catch (const std::bad_alloc&) {
        return {TextReadStatus::TooLarge, {}, QStringLiteral("out of memory"), {}};
    }
}

} // namespace velmora
