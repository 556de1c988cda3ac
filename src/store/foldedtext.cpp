#include "store/foldedtext.h"

#include "common/compressedtext.h"
#include "common/textcodec.h"

#include <array>
#include <vector>

#include <zlib.h>

namespace velmora {

namespace {

// As the cache reader's own limit: a larger output is a damaged or hostile file, not a note.
constexpr qsizetype kMaxInflatedSize = kMaxCachedTextBytes;

constexpr int kLeadFirst = 0x81;
constexpr int kTrailFirst = 0x40;
constexpr int kTrails = 0xFF - kTrailFirst; // 0x40 to 0xFE

// Every character code page 936 has, decoded once by the same decoder the cache reader uses and folded. Each
// byte pair is decoded between line feeds, so a pair the decoder refuses cannot shift the pairs after it; such a
// pair, or a lone byte that is no character, is marked 0 and sends its file the slow way.
struct GbkFoldTable {
    std::array<char16_t, 256> single{};
    std::vector<char16_t> pairs;

    GbkFoldTable() : pairs(size_t(0xFF - kLeadFirst) * kTrails) {
        QByteArray probe;
        probe.reserve(qsizetype(pairs.size()) * 3 + 512);
        for (int b = 0x80; b <= 0xFF; ++b) {
            probe += char(b);
            probe += '\n';
        }
        for (int lead = kLeadFirst; lead <= 0xFE; ++lead) {
            for (int trail = kTrailFirst; trail <= 0xFE; ++trail) {
                probe += char(lead);
                probe += char(trail);
                probe += '\n';
            }
        }
        const QString decoded = DecodeAnsi(probe);
        const QList<QStringView> pieces = QStringView(decoded).split(u'\n');
        const auto fold = [](QStringView piece) -> char16_t {
            if (piece.size() != 1 || piece.front() == QChar::ReplacementCharacter || piece.front().isSurrogate()) {
                return 0;
            }
            return QChar::toCaseFolded(piece.front().unicode());
        };
        for (int b = 0; b < 0x80; ++b) {
            single[size_t(b)] = QChar::toCaseFolded(char16_t(b));
        }
        qsizetype at = 0;
        for (int b = 0x80; b <= 0xFF && at < pieces.size(); ++b) {
            single[size_t(b)] = fold(pieces.at(at++));
        }
        for (char16_t& entry : pairs) {
            entry = at < pieces.size() ? fold(pieces.at(at++)) : 0;
        }
        single[0] = 0; // a NUL byte is decoded the slow way like any other oddity
    }
};

const GbkFoldTable& gbkTable() {
    static const GbkFoldTable table;
    return table;
}

// Decodes and folds GBK bytes; false when a byte sequence is not in the table.
bool foldGbk(QByteArrayView bytes, QString& out) {
    const GbkFoldTable& table = gbkTable();
    out.resize(bytes.size());
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    const auto* from = reinterpret_cast<const quint8*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype written = 0;
    for (qsizetype i = 0; i < n;) {
        const quint8 b = from[i];
        char16_t c = 0;
        if (b >= kLeadFirst && b <= 0xFE && i + 1 < n && from[i + 1] >= kTrailFirst && from[i + 1] <= 0xFE) {
            c = table.pairs[size_t(b - kLeadFirst) * kTrails + (from[i + 1] - kTrailFirst)];
            i += 2;
        } else {
            c = table.single[b];
            ++i;
        }
        if (c == 0) {
            return false;
        }
        to[written++] = c;
    }
    out.truncate(written);
    return true;
}

// The inflated bytes; false when the stream is not whole or inflates beyond any note.
} // namespace

bool InflateCacheBytes(QByteArrayView compressed, QByteArray& plain) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        return false;
    }
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    zs.avail_in = uInt(compressed.size());
    plain.resize(std::max<qsizetype>(compressed.size() * 4, 4096));
    qsizetype used = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (used == plain.size()) {
            if (plain.size() >= kMaxInflatedSize) {
                break;
            }
            plain.resize(std::min(plain.size() * 2, kMaxInflatedSize));
        }
        zs.next_out = reinterpret_cast<Bytef*>(plain.data() + used);
        zs.avail_out = uInt(plain.size() - used);
        rc = inflate(&zs, Z_NO_FLUSH);
        used = plain.size() - qsizetype(zs.avail_out);
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
            rc = Z_DATA_ERROR; // the stream ends before its end marker
        }
    }
    inflateEnd(&zs);
    plain.truncate(used);
    return rc == Z_STREAM_END;
}

QString FoldedCacheText(QByteArrayView plain) {
    if (plain.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(plain.sliced(3)).toCaseFolded();
    }
    if (!plain.startsWith("\xFF\xFE") && !plain.startsWith("\xFE\xFF")) {
        QString folded;
        if (foldGbk(plain, folded)) {
            return folded;
        }
    }
    return DecodeTextBytes(plain).toCaseFolded();
}

} // namespace velmora
