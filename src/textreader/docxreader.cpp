#include "documenttext.h"
#include "readfailure.h"
#include "wordchars.h"

#include <QBuffer>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>

#include <vector>

namespace velmora {

namespace {

using textreader::Damaged;
using textreader::Fail;

constexpr QStringView kMainNs = u"http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr QStringView kStrictNs = u"http://purl.oclc.org/ooxml/wordprocessingml/main";
constexpr QStringView kCompatibilityNs = u"http://schemas.openxmlformats.org/markup-compatibility/2006";
constexpr QStringView kMathNs = u"http://schemas.openxmlformats.org/officeDocument/2006/math";
constexpr qint64 kMaxRelationshipBytes = 1024 * 1024;
constexpr quint16 kDeflated = 8;

// Deflate rarely gains more than 1:100 on WordprocessingML; a bomb gains 1:1000. Parts small enough to inflate
// harmlessly are never refused by ratio alone.
constexpr quint64 kMaxRatio = 200;
constexpr quint64 kRatioFloor = 16 * 1024 * 1024;

// Reads one zip entry whole, trusting neither its declared size nor its compressed data.
QByteArray readPart(QuaZip& zip, const QString& name, qint64 limit) {
    if (!zip.setCurrentFile(name, QuaZip::csSensitive)) {
        Damaged(QStringLiteral("the part %1 is missing").arg(name));
    }
    QuaZipFileInfo64 info;
    if (!zip.getCurrentFileInfo(&info)) {
        Damaged(QStringLiteral("the zip directory entry of %1 cannot be read").arg(name));
    }
    if (info.flags & 1) {
        Fail(TextReadStatus::Encrypted, QStringLiteral("the zip part %1 is encrypted").arg(name));
    }
    if (info.method != 0 && info.method != kDeflated) {
        Damaged(QStringLiteral("the part %1 uses compression method %2").arg(name).arg(info.method));
    }
    if (info.uncompressedSize > quint64(limit) ||
        (info.uncompressedSize > kRatioFloor && info.uncompressedSize / kMaxRatio > info.compressedSize)) {
        Fail(TextReadStatus::TooLarge, QStringLiteral("the part %1 would inflate to %2 bytes from %3 (a zip bomb?)")
                                           .arg(name)
                                           .arg(info.uncompressedSize)
                                           .arg(info.compressedSize));
    }
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly)) {
        Damaged(QStringLiteral("the part %1 cannot be opened (zip error %2)").arg(name).arg(file.getZipError()));
    }
    const qint64 declared = qint64(info.uncompressedSize);
    QByteArray data(declared, Qt::Uninitialized);
    qint64 got = 0;
    while (got < declared) {
        const qint64 n = file.read(data.data() + got, declared - got);
        if (n <= 0) {
            Damaged(QStringLiteral("the part %1 ends after %2 of its %3 bytes").arg(name).arg(got).arg(declared));
        }
        got += n;
    }
    // A part that inflates beyond the size its directory entry gives is stopped at one byte more.
    char extra = 0;
    if (file.read(&extra, 1) != 0) {
        Fail(TextReadStatus::TooLarge,
             QStringLiteral("the part %1 inflates beyond its declared %2 bytes (a zip bomb?)").arg(name).arg(declared));
    }
    file.close();
    if (file.getZipError() != UNZ_OK) {
        Damaged(QStringLiteral("the part %1 fails its checksum (zip error %2)").arg(name).arg(file.getZipError()));
    }
    return data;
}

// The main document part named by the package relationships, or Word's usual name when a producer left them
// out.
QString mainPartName(QuaZip& zip) {
    const QString fallback = QStringLiteral("word/document.xml");
    if (!zip.setCurrentFile(QStringLiteral("_rels/.rels"), QuaZip::csSensitive)) {
        return fallback;
    }
    const QByteArray rels = readPart(zip, QStringLiteral("_rels/.rels"), kMaxRelationshipBytes);
    QXmlStreamReader xml(rels);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Relationship") {
            continue;
        }
        const QXmlStreamAttributes attrs = xml.attributes();
        if (attrs.value(QLatin1String("Type")).endsWith(u"/officeDocument") &&
            attrs.value(QLatin1String("TargetMode")) != u"External") {
            QString target = attrs.value(QLatin1String("Target")).toString();
            while (target.startsWith(u'/')) {
                target.remove(0, 1);
            }
            return target.isEmpty() ? fallback : target;
        }
    }
    return fallback;
}

// Walks the body of document.xml. Only the elements that carry main text, or that hide it, are looked at;
// everything else is descended into, so that content controls, smart tags, custom XML and insertions give their
// text as Word shows it.
class BodyWalker {
public:
    explicit BodyWalker(const QByteArray& xml) : m_xml(xml) {}

    QString run() {
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::DTD) {
                // Word never writes one, and entity declarations are how XML is made to explode.
                Damaged(QStringLiteral("the document part declares a DTD"));
            }
            if (token == QXmlStreamReader::StartElement && isWord() && m_xml.name() == u"body") {
                walkChildren();
                break;
            }
        }
        if (m_xml.hasError()) {
            Damaged(QStringLiteral("the document part is not well-formed XML: %1 (line %2)")
                        .arg(m_xml.errorString())
                        .arg(m_xml.lineNumber()));
        }
        return m_text;
    }

private:
    bool isWord() const { return m_xml.namespaceUri() == kMainNs || m_xml.namespaceUri() == kStrictNs; }
    bool hidden() const { return m_fieldCodes > 0; }

    QString wordAttribute(QStringView localName) const {
        const QXmlStreamAttributes attrs = m_xml.attributes();
        for (const QXmlStreamAttribute& a : attrs) {
            if (a.name() == localName && (a.namespaceUri() == kMainNs || a.namespaceUri() == kStrictNs)) {
                return a.value().toString();
            }
        }
        return {};
    }

    void append(QChar c) {
        if (!hidden()) {
            m_text.append(c);
        }
    }

    // Reads the children of the current element up to its end element.
    void walkChildren() {
        while (m_xml.readNextStartElement()) {
            element();
        }
    }

    void element() {
        const QStringView ns = m_xml.namespaceUri();
        const QStringView name = m_xml.name();
        if (ns == kCompatibilityNs) {
            alternateContentPart(name);
            return;
        }
        if (ns == kMathNs) {
            if (name == u"t") {
                const QString t = m_xml.readElementText();
                if (!hidden()) {
                    m_text.append(t);
                }
            } else {
                walkChildren();
            }
            return;
        }
        if (!isWord()) {
            walkChildren();
            return;
        }
        if (name == u"t") {
            const QString t = m_xml.readElementText();
            if (!hidden()) {
                m_text.append(t);
            }
        } else if (name == u"r") {
            run_();
        } else if (name == u"p") {
            paragraph();
        } else if (name == u"tbl") {
            walkChildren();
        } else if (name == u"tr") {
            row();
        } else if (name == u"tc") {
            walkChildren();
        } else if (name == u"fldSimple" || name == u"hyperlink" || name == u"ins" || name == u"moveTo" ||
                   name == u"sdt" || name == u"sdtContent" || name == u"smartTag" || name == u"customXml" ||
                   name == u"dir" || name == u"bdo") {
            walkChildren();
        } else {
            // Deletions, moved-away text, text boxes, drawings, properties, bookmarks and everything unknown:
            // nothing of the main text lies inside.
            m_xml.skipCurrentElement();
        }
    }

    void alternateContentPart(QStringView name) {
        if (name == u"AlternateContent") {
            m_choiceTaken.push_back(false);
            walkChildren();
            m_choiceTaken.pop_back();
        } else if (name == u"Choice" && !m_choiceTaken.empty() && !m_choiceTaken.back()) {
            m_choiceTaken.back() = true;
            walkChildren();
        } else {
            m_xml.skipCurrentElement();
        }
    }

    void run_() {
        while (m_xml.readNextStartElement()) {
            if (!isWord()) {
                element();
                continue;
            }
            const QStringView name = m_xml.name();
            if (name == u"t") {
                const QString t = m_xml.readElementText();
                if (!hidden()) {
                    m_text.append(t);
                }
                continue;
            }
            if (name == u"tab" || name == u"ptab") {
                append(wordchars::kTab);
            } else if (name == u"br") {
                const QString type = wordAttribute(u"type");
                append(type == u"page"     ? wordchars::kPageBreak
                       : type == u"column" ? wordchars::kColumnBreak
                                           : wordchars::kLineBreak);
            } else if (name == u"cr") {
                append(wordchars::kLineBreak);
            } else if (name == u"noBreakHyphen") {
                append(wordchars::kNonBreakingHyphen);
            } else if (name == u"softHyphen") {
                append(wordchars::kOptionalHyphen);
            } else if (name == u"sym") {
                symbol();
            } else if (name == u"fldChar") {
                fieldChar();
            } else if (name == u"ruby" || name == u"rubyBase") {
                rubyPart(name);
                continue;
            } else if (name == u"AlternateContent") {
                element();
                continue;
            }
            // Properties, deleted text, field codes, drawings and note references carry no main text.
            m_xml.skipCurrentElement();
        }
    }

    // Ruby text (the small reading above) is not part of the line; its base is.
    void rubyPart(QStringView name) {
        if (name == u"rubyBase") {
            walkChildren();
            return;
        }
        while (m_xml.readNextStartElement()) {
            if (isWord() && m_xml.name() == u"rubyBase") {
                walkChildren();
            } else {
                m_xml.skipCurrentElement();
            }
        }
    }

    void symbol() {
        bool ok = false;
        const uint code = wordAttribute(u"char").toUInt(&ok, 16);
        // Symbol fonts are addressed in the private area F000-F0FF; the code is what the font draws.
        if (ok && code > 0 && code <= 0xFFFF && !QChar::isSurrogate(char16_t(code))) {
            append(QChar(char16_t(code)));
        }
    }

    void fieldChar() {
        const QString type = wordAttribute(u"fldCharType");
        if (type == u"begin") {
            m_fields.push_back(true);
            ++m_fieldCodes;
        } else if (type == u"separate") {
            if (!m_fields.empty() && m_fields.back()) {
                m_fields.back() = false;
                --m_fieldCodes;
            }
        } else if (type == u"end") {
            if (!m_fields.empty()) {
                m_fieldCodes -= m_fields.back() ? 1 : 0;
                m_fields.pop_back();
            }
        }
    }

    void paragraph() {
        bool markDeleted = false;
        bool sectionEnd = false;
        while (m_xml.readNextStartElement()) {
            if (isWord() && m_xml.name() == u"pPr") {
                paragraphProperties(markDeleted, sectionEnd);
            } else {
                element();
            }
        }
        // A deleted paragraph mark joins the paragraph to the next one, as the office program shows it with the
        // deletion accepted.
        if (!markDeleted) {
            append(sectionEnd ? wordchars::kSectionEnd : wordchars::kParagraphEnd);
        }
    }

    void paragraphProperties(bool& markDeleted, bool& sectionEnd) {
        while (m_xml.readNextStartElement()) {
            if (!isWord()) {
                m_xml.skipCurrentElement();
                continue;
            }
            if (m_xml.name() == u"sectPr") {
                sectionEnd = true;
                m_xml.skipCurrentElement();
            } else if (m_xml.name() == u"rPr") {
                while (m_xml.readNextStartElement()) {
                    if (isWord() && (m_xml.name() == u"del" || m_xml.name() == u"moveFrom")) {
                        markDeleted = true;
                    }
                    m_xml.skipCurrentElement();
                }
            } else {
                m_xml.skipCurrentElement();
            }
        }
    }

    void row() {
        const qsizetype start = m_text.size();
        bool deleted = false;
        while (m_xml.readNextStartElement()) {
            if (isWord() && m_xml.name() == u"trPr") {
                while (m_xml.readNextStartElement()) {
                    deleted = deleted || (isWord() && m_xml.name() == u"del");
                    m_xml.skipCurrentElement();
                }
            } else {
                element();
            }
        }
        if (deleted) {
            m_text.truncate(start);
        }
    }

    QXmlStreamReader m_xml;
    QString m_text;
    // One entry per open field, true while its code is being read.
    std::vector<bool> m_fields;
    int m_fieldCodes = 0;
    std::vector<bool> m_choiceTaken;
};

} // namespace

namespace textreader {

DocumentText ReadDocxDevice(QIODevice& device) {
    try {
        QuaZip zip(&device);
        if (!zip.open(QuaZip::mdUnzip)) {
            Damaged(QStringLiteral("not a readable zip archive (zip error %1)").arg(zip.getZipError()));
        }
        const QString mainPart = mainPartName(zip);
        if (!zip.setCurrentFile(mainPart, QuaZip::csSensitive)) {
            Fail(TextReadStatus::NotWordFile,
                 QStringLiteral("the zip archive holds no Word document part (%1)").arg(mainPart));
        }
        const QByteArray xml = readPart(zip, mainPart, kMaxDocumentPartBytes);
        return {TextReadStatus::Ok, BodyWalker(xml).run(), {}};
    } catch (const ReadFailure& failure) {
        return {failure.status, {}, failure.reason};
    } catch (const std::bad_alloc&) {
        return {TextReadStatus::TooLarge, {}, QStringLiteral("out of memory")};
    }
}

} // namespace textreader

DocumentText ReadDocxBytes(QByteArrayView bytes) {
    QByteArray raw = QByteArray::fromRawData(bytes.data(), bytes.size());
    QBuffer buffer(&raw);
    return textreader::ReadDocxDevice(buffer);
}

} // namespace velmora
