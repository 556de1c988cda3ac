#include "wordfiles.h"

#include <QBuffer>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace velmora::test {

void PutU16(QByteArray& bytes, int at, quint16 value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
}

void PutU32(QByteArray& bytes, int at, quint32 value) {
    PutU16(bytes, at, quint16(value & 0xFFFF));
    PutU16(bytes, at + 2, quint16(value >> 16));
}

QByteArray MakeZip(const QList<ZipEntry>& entries) {
    QBuffer buffer;
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdCreate)) {
        throw std::runtime_error("cannot create a zip");
    }
    for (const ZipEntry& entry : entries) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(entry.name))) {
            throw std::runtime_error("cannot add a zip entry");
        }
        file.write(entry.data);
        file.close();
    }
    zip.close();
    return buffer.data();
}

QByteArray MakeZipBomb(const QString& name, quint64 declaredBytes, int actualMiB) {
    // After a full flush the compressor forgets everything, so each MiB of zeros compresses to the same bytes:
    // one chunk repeated is a valid raw deflate stream of any length, made in no time.
    const QByteArray zeros(1024 * 1024, '\0');
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray chunks[2];
    for (QByteArray& chunk : chunks) {
        QByteArray out(64 * 1024, '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
        zs.avail_in = uInt(zeros.size());
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = uInt(out.size());
        deflate(&zs, Z_FULL_FLUSH);
        chunk = out.left(out.size() - qsizetype(zs.avail_out));
    }
    deflateEnd(&zs);
    if (chunks[0] != chunks[1]) {
        throw std::runtime_error("deflate chunks differ");
    }
    QByteArray raw = chunks[0].repeated(actualMiB);
    raw.append("\x03\x00", 2); // an empty final block
    QBuffer buffer;
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    QuaZipNewInfo info(name);
    info.uncompressedSize = ulong(declaredBytes);
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::WriteOnly, info, nullptr, 0, Z_DEFLATED, Z_DEFAULT_COMPRESSION, true)) {
        throw std::runtime_error("cannot add a raw zip entry");
    }
    file.write(raw);
    file.close();
    zip.close();
    return buffer.data();
}

QByteArray MakeDocx(const QString& body) {
    const QString document =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                       "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                       "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
                       "xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\" "
                       "xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\">"
                       "<w:body>%1<w:sectPr/></w:body></w:document>")
            .arg(body);
    return MakeZip({{QStringLiteral("[Content_Types].xml"), QByteArray("<Types/>")},
                    {QStringLiteral("word/document.xml"), document.toUtf8()}});
}

QByteArray MakeCompoundFile(const QList<Stream>& streams) {
    gsf_init();
    GsfOutput* sink = gsf_output_memory_new();
    GsfOutfile* root = gsf_outfile_msole_new(sink);
    for (const Stream& stream : streams) {
        GsfOutput* child = gsf_outfile_new_child(root, stream.name.toUtf8().constData(), FALSE);
        gsf_output_write(child, size_t(stream.data.size()), reinterpret_cast<const guint8*>(stream.data.constData()));
        gsf_output_close(child);
        g_object_unref(child);
    }
    gsf_output_close(GSF_OUTPUT(root));
    g_object_unref(root);
    const QByteArray bytes(reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink))),
                           qsizetype(gsf_output_size(sink)));
    g_object_unref(sink);
    return bytes;
}

namespace {

// One property page (ChpxFkp with 1-byte entries, PapxFkp with 13-byte ones) whose entries cover `ranges` with
// `props` and the gaps between them with nothing, and its one-entry page table at `fibPair`.
void appendPage(DocStreams& s, const QList<QPair<quint32, quint32>>& ranges, int entrySize, const QByteArray& props,
                int fibPair) {
    QList<quint32> bounds{ranges.first().first};
    QList<bool> marked;
    for (const auto& [from, to] : ranges) {
        if (from > bounds.last()) {
            bounds.append(from);
            marked.append(false);
        }
        bounds.append(to);
        marked.append(true);
    }
    QByteArray page(512, '\0');
    const int runs = int(marked.size());
    for (int i = 0; i <= runs; ++i) {
        PutU32(page, i * 4, bounds[i]);
    }
    constexpr int kPropsAt = 0x1F0;
    for (int i = 0; i < runs; ++i) {
        page[(runs + 1) * 4 + i * entrySize] = char(marked[i] ? kPropsAt / 2 : 0);
    }
    page.replace(kPropsAt, props.size(), props);
    page[511] = char(runs);
    s.wordDocument.resize((s.wordDocument.size() + 511) / 512 * 512, '\0');
    const quint32 pn = quint32(s.wordDocument.size() / 512);
    s.wordDocument.append(page);
    const int plcAt = int(s.table.size());
    QByteArray plc(12, '\0');
    PutU32(plc, 0, bounds.first());
    PutU32(plc, 4, bounds.last());
    PutU32(plc, 8, pn);
    s.table.append(plc);
    PutU32(s.wordDocument, fibPair, quint32(plcAt));
    PutU32(s.wordDocument, fibPair + 4, 12);
}

} // namespace

DocStreams MakeDocStreams(const QList<DocPiece>& pieces, qint64 ccpText, const QList<QPair<int, int>>& deletedCps,
                          const QList<int>& rowEndCps) {
    constexpr int kFibSize = 0x1A2 + 8 * 60 + 2;
    DocStreams s;
    s.wordDocument = QByteArray(kFibSize, '\0');
    PutU16(s.wordDocument, 0, 0xA5EC);
    PutU16(s.wordDocument, 2, 0x00C1);
    PutU16(s.wordDocument, fib::kFlags, 0x0200);
    PutU16(s.wordDocument, 32, 14);
    PutU16(s.wordDocument, 34 + 28, 22);
    PutU16(s.wordDocument, fib::kPairs, 93);
    s.wordDocument.resize(1024, '\0');

    // Text, last piece first.
    QList<qint64> fcs(pieces.size());
    for (qsizetype i = pieces.size() - 1; i >= 0; --i) {
        fcs[i] = s.wordDocument.size();
        for (QChar c : pieces[i].text) {
            if (pieces[i].compressed) {
                s.wordDocument.append(char(c.unicode()));
            } else {
                s.wordDocument.append(char(c.unicode() & 0xFF));
                s.wordDocument.append(char(c.unicode() >> 8));
            }
        }
    }
    QList<qint64> cps{0};
    for (const DocPiece& piece : pieces) {
        cps.append(cps.last() + piece.text.size());
    }
    PutU32(s.wordDocument, fib::kCcpText, quint32(ccpText < 0 ? cps.last() : ccpText));

    // Piece table.
    const quint32 lcb = quint32(4 * cps.size() + 8 * pieces.size());
    s.table = QByteArray(16, '\0'); // something before, so that offsets are not zero
    const int clxAt = int(s.table.size());
    s.table.append('\x02');
    s.table.append(QByteArray(4, '\0'));
    PutU32(s.table, clxAt + 1, lcb);
    for (qint64 cp : cps) {
        QByteArray v(4, '\0');
        PutU32(v, 0, quint32(cp));
        s.table.append(v);
    }
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QByteArray pcd(8, '\0');
        PutU32(pcd, 2, pieces[i].compressed ? quint32(fcs[i] * 2) | 0x40000000u : quint32(fcs[i]));
        s.table.append(pcd);
    }
    PutU32(s.wordDocument, fib::kFcClx, quint32(clxAt));
    PutU32(s.wordDocument, fib::kLcbClx, quint32(s.table.size() - clxAt));

    // Character positions to byte ranges of the WordDocument stream.
    const auto byteRanges = [&](const QList<QPair<int, int>>& cpRanges) {
        QList<QPair<quint32, quint32>> ranges;
        for (const auto& [from, to] : cpRanges) {
            for (qsizetype i = 0; i < pieces.size(); ++i) {
                const qint64 a = std::max<qint64>(from, cps[i]);
                const qint64 b = std::min<qint64>(to, cps[i + 1]);
                if (a < b) {
                    const int w = pieces[i].compressed ? 1 : 2;
                    ranges.append({quint32(fcs[i] + (a - cps[i]) * w), quint32(fcs[i] + (b - cps[i]) * w)});
                }
            }
        }
        std::sort(ranges.begin(), ranges.end());
        return ranges;
    };
    if (!deletedCps.isEmpty()) {
        // cb 3, then sprmCFRMarkDel with operand 1.
        appendPage(s, byteRanges(deletedCps), 1, QByteArray("\x03\x00\x08\x01", 4), fib::kFcPlcfBteChpx);
    }
    if (!rowEndCps.isEmpty()) {
        QList<QPair<int, int>> marks;
        for (int cp : rowEndCps) {
            marks.append({cp, cp + 1});
        }
        // cb 3 (5 bytes), style 0, then sprmPFTtp with operand 1.
        appendPage(s, byteRanges(marks), 13, QByteArray("\x03\x00\x00\x17\x24\x01", 6), fib::kFcPlcfBtePapx);
    }
    return s;
}

QByteArray PackDoc(const DocStreams& streams) {
    return MakeCompoundFile(
        {{QStringLiteral("WordDocument"), streams.wordDocument}, {QStringLiteral("1Table"), streams.table}});
}

} // namespace velmora::test
