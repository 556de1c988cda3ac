#include "common/compressedtext.h"
#include "documenttext.h"
#include "readfailure.h"
#include "wordchars.h"

#include <QBuffer>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>

#include <optional>
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

// Makes `name` the current entry of the zip after checking what its directory entry says: stored or deflated,
// not encrypted, at most `limit` bytes. Gives the declared size.
qint64 checkedEntry(QuaZip& zip, const QString& name, qint64 limit, QuaZipFileInfo64& info) {
    if (!zip.setCurrentFile(name, QuaZip::csSensitive)) {
        Damaged(QStringLiteral("the part %1 is missing").arg(name));
    }
    if (!zip.getCurrentFileInfo(&info)) {
        Damaged(QStringLiteral("the zip directory entry of %1 cannot be read").arg(name));
    }
    if (info.flags & 1) {
        Fail(TextReadStatus::Encrypted, QStringLiteral("the zip part %1 is encrypted").arg(name));
    }
    if (info.method != 0 && info.method != kDeflated) {
        Damaged(QStringLiteral("the part %1 uses compression method %2").arg(name).arg(info.method));
    }
    if (info.uncompressedSize > quint64(limit)) {
        Fail(TextReadStatus::TooLarge,
             QStringLiteral("the part %1 would inflate to %2 bytes").arg(name).arg(info.uncompressedSize));
    }
    return qint64(info.uncompressedSize);
}

// Reads one zip entry whole, trusting neither its declared size nor its compressed data.
QByteArray readPart(QuaZip& zip, const QString& name, qint64 limit) {
    QuaZipFileInfo64 info;
    const qint64 declared = checkedEntry(zip, name, limit, info);
    if (info.uncompressedSize > kRatioFloor && info.uncompressedSize / kMaxRatio > info.compressedSize) {
        Fail(TextReadStatus::TooLarge, QStringLiteral("the part %1 would inflate to %2 bytes from %3 (a zip bomb?)")
                                           .arg(name)
                                           .arg(info.uncompressedSize)
                                           .arg(info.compressedSize));
    }
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly)) {
        Damaged(QStringLiteral("the part %1 cannot be opened (zip error %2)").arg(name).arg(file.getZipError()));
    }
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

// The main part inflated as it is read, so that memory never grows with what the part holds: never past the
// size its directory entry declares, and checked against its checksum at its end.
class PartDevice final : public QIODevice {
public:
    PartDevice(QuaZipFile& file, qint64 declared) : m_file(file), m_declared(declared) { open(ReadOnly); }

    bool failed() const { return m_failure.has_value(); }
    const textreader::ReadFailure& failure() const { return *m_failure; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (m_failure || m_ended) {
            return m_failure ? -1 : 0;
        }
        // Asked for nothing (QIODevice probes so): that is no end of the part.
        if (maxSize <= 0) {
            return 0;
        }
        const qint64 n = m_file.read(data, maxSize);
        if (n < 0) {
            m_failure = textreader::ReadFailure{
                TextReadStatus::Damaged,
                QStringLiteral("the main part cannot be inflated (zip error %1)").arg(m_file.getZipError())};
            return -1;
        }
        m_read += n;
        if (m_read > m_declared) {
            m_failure = textreader::ReadFailure{
                TextReadStatus::TooLarge,
                QStringLiteral("the main part inflates beyond its declared %1 bytes (a zip bomb?)").arg(m_declared)};
            return -1;
        }
        if (n == 0) {
            m_ended = true;
            m_file.close();
            if (m_read < m_declared) {
                m_failure = textreader::ReadFailure{
                    TextReadStatus::Damaged,
                    QStringLiteral("the main part ends after %1 of its %2 bytes").arg(m_read).arg(m_declared)};
                return -1;
            }
            if (m_file.getZipError() != UNZ_OK) {
                m_failure = textreader::ReadFailure{
                    TextReadStatus::Damaged,
                    QStringLiteral("the main part fails its checksum (zip error %1)").arg(m_file.getZipError())};
                return -1;
            }
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QuaZipFile& m_file;
    const qint64 m_declared;
    qint64 m_read = 0;
    bool m_ended = false;
    std::optional<textreader::ReadFailure> m_failure;
};

// Passes XML through, cutting long text, CDATA sections and comments into pieces that mean the same (an empty
// comment between two pieces of text, a section or comment closed and opened again). The XML reader holds a
// whole token in memory, and a part may hold one text of hundreds of megabytes; in pieces, memory stays the
// size of the text kept. Markup that cannot be cut (a tag with its attributes, a processing instruction, a
// declaration) longer than any Word writes is refused. A part in UTF-16, which Word never writes, passes as it is.
class TokenSplitter {
public:
    static constexpr qsizetype kPieceBytes = 64 * 1024;
    static constexpr qsizetype kMaxMarkupBytes = 16 * 1024 * 1024;

    // False when a tag is longer than kMaxMarkupBytes.
    bool feed(QByteArrayView in, QByteArray& out) {
        out.clear();
        out.reserve(in.size() + in.size() / kPieceBytes * 16 + 16);
        for (const char c : in) {
            // UTF-16 shows in its first two bytes: a byte-order mark, or the zero byte of "<".
            if (m_seen < 2) {
                m_passThrough = m_passThrough || c == '\0' || (m_seen == 0 && (c == '\xFF' || c == '\xFE'));
                ++m_seen;
            }
            if (m_passThrough) {
                out.append(c);
                continue;
            }
            if (!step(c, out)) {
                return false;
            }
        }
        return true;
    }

private:
    enum class State { Content, Open, Tag, Quoted, Comment, CData, Instruction, Declaration };

    static bool startsCharacter(char c) { return (quint8(c) & 0xC0) != 0x80; }

    bool step(char c, QByteArray& out) {
        switch (m_state) {
        case State::Content:
            if (c == '<') {
                enter(State::Open);
                m_opening.clear();
                ++m_markup;
                break;
            }
            if (m_run >= kPieceBytes && !m_inEntity && startsCharacter(c)) {
                out.append("<!---->");
                m_run = 0;
            }
            m_inEntity = c == '&' || (m_inEntity && c != ';');
            ++m_run;
            break;
        case State::Open:
            m_opening.append(c);
            ++m_markup;
            if (m_opening == "!--") {
                enter(State::Comment);
            } else if (m_opening == "![CDATA[") {
                enter(State::CData);
            } else if (m_opening.front() == '?') {
                enter(State::Instruction);
            } else if (m_opening.front() != '!') {
                enter(c == '>' ? State::Content : State::Tag);
            } else if (!QByteArrayView("!--").startsWith(m_opening) &&
                       !QByteArrayView("![CDATA[").startsWith(m_opening)) {
                enter(State::Declaration);
            }
            break;
        case State::Tag:
            ++m_markup;
            if (c == '"' || c == '\'') {
                m_quote = c;
                m_state = State::Quoted;
            } else if (c == '>') {
                enter(State::Content);
            }
            break;
        case State::Quoted:
            ++m_markup;
            if (c == m_quote) {
                m_state = State::Tag;
            }
            break;
        case State::Comment:
            if (m_run >= kPieceBytes && m_last != '-' && c != '-' && startsCharacter(c)) {
                out.append("--><!--");
                m_run = 0;
            }
            if (c == '>' && m_last == '-' && m_beforeLast == '-') {
                enter(State::Content);
            }
            ++m_run;
            break;
        case State::CData:
            if (m_run >= kPieceBytes && m_last != ']' && c != ']' && startsCharacter(c)) {
                out.append("]]><![CDATA[");
                m_run = 0;
            }
            if (c == '>' && m_last == ']' && m_beforeLast == ']') {
                enter(State::Content);
            }
            ++m_run;
            break;
        case State::Instruction:
            ++m_markup;
            if (c == '>' && m_last == '?') {
                enter(State::Content);
            }
            break;
        case State::Declaration:
            ++m_markup;
            if (c == '>') {
                enter(State::Content);
            }
            break;
        }
        m_beforeLast = m_last;
        m_last = c;
        out.append(c);
        return m_markup <= kMaxMarkupBytes;
    }

    void enter(State state) {
        m_state = state;
        m_run = 0;
        m_inEntity = false;
        m_last = m_beforeLast = '\0';
        if (state == State::Content || state == State::Comment || state == State::CData) {
            m_markup = 0;
        }
    }

    State m_state = State::Content;
    QByteArray m_opening;
    qsizetype m_run = 0;
    qsizetype m_markup = 0;
    bool m_inEntity = false;
    char m_quote = '"';
    char m_last = '\0';
    char m_beforeLast = '\0';
    int m_seen = 0;
    bool m_passThrough = false;
};

// Walks the body of document.xml. Only the elements that carry main text, or that hide it, are looked at;
// everything else is descended into, so that content controls, smart tags, custom XML and insertions give their
// text as Word shows it.
//
// The walk keeps its own stack of open elements rather than recursing: a part of a few megabytes can nest
// elements deeper than any thread's stack. It stops once the text reaches kMaxCachedTextChars.
class BodyWalker {
public:
    explicit BodyWalker(QIODevice* device) : m_device(device) {}

    QString run() {
        int depth = 0;
        while (!m_xml.hasError()) {
            const auto token = next();
            if (token == QXmlStreamReader::DTD) {
                // Word never writes one, and entity declarations are how XML is made to explode.
                Damaged(QStringLiteral("the document part declares a DTD"));
            }
            if (token == QXmlStreamReader::StartElement && isWord() && m_xml.name() == u"body") {
                walkBody();
                break;
            }
            if (token == QXmlStreamReader::StartElement && ++depth > kMaxDocumentDepth) {
                deeper();
            }
            if (token == QXmlStreamReader::EndElement) {
                --depth;
            }
            if (token == QXmlStreamReader::EndDocument || token == QXmlStreamReader::Invalid) {
                break;
            }
        }
        if (m_xml.hasError() && !m_full) {
            Damaged(QStringLiteral("the document part is not well-formed XML: %1 (line %2)")
                        .arg(m_xml.errorString())
                        .arg(m_xml.lineNumber()));
        }
        return m_text;
    }

    bool full() const { return m_full; }

private:
    enum class Kind {
        Container, // text-bearing elements inside: every child is an element of the body
        Text,      // w:t or m:t: its characters are text
        Run,       // w:r
        Ruby,      // w:ruby: only its base is text
        Paragraph, // w:p
        ParagraphProperties,
        MarkProperties, // w:rPr of a paragraph mark
        Row,            // w:tr
        RowProperties,
        AlternateContent,
        Skip, // nothing of the main text lies inside
    };
    struct Frame {
        Kind kind;
        bool flag = false;    // Paragraph: mark deleted; Row: deleted; AlternateContent: a choice taken
        bool section = false; // Paragraph: ends a section
        qsizetype start = 0;  // Row: where its text starts
    };

    // The next token, the part fed to the reader a block at a time through the splitter.
    QXmlStreamReader::TokenType next() {
        for (;;) {
            const auto token = m_xml.readNext();
            if (token != QXmlStreamReader::Invalid || m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
                return token;
            }
            const QByteArray block = m_device->read(kFeedBytes);
            if (block.isEmpty()) {
                return token;
            }
            if (!m_splitter.feed(block, m_fed)) {
                Damaged(QStringLiteral("the document part holds a tag of more than %1 bytes")
                            .arg(TokenSplitter::kMaxMarkupBytes));
            }
            m_xml.addData(m_fed);
        }
    }

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
        if (!hidden() && !m_full) {
            m_text.append(c);
            m_full = m_text.size() >= kMaxCachedTextChars;
        }
    }

    void append(QStringView text) {
        if (hidden() || m_full) {
            return;
        }
        const qsizetype room = kMaxCachedTextChars - m_text.size();
        if (text.size() < room) {
            m_text.append(text);
            return;
        }
        // Cut between characters: half a surrogate pair would be no character at all.
        const qsizetype keep = room > 0 && text.at(room - 1).isHighSurrogate() ? room - 1 : room;
        m_text.append(text.first(keep));
        m_full = true;
    }

    void push(Kind kind) {
        if (m_stack.size() >= size_t(kMaxDocumentDepth)) {
            deeper();
        }
        m_stack.push_back(Frame{kind, false, false, m_text.size()});
    }

    [[noreturn]] static void deeper() {
        Damaged(QStringLiteral("the document part nests elements more than %1 deep").arg(kMaxDocumentDepth));
    }

    void walkBody() {
        push(Kind::Container);
        while (!m_stack.empty() && !m_full) {
            switch (next()) {
            case QXmlStreamReader::StartElement:
                startElement();
                break;
            case QXmlStreamReader::EndElement:
                endElement();
                break;
            case QXmlStreamReader::Characters:
                if (m_stack.back().kind == Kind::Text) {
                    append(m_xml.text());
                }
                break;
            case QXmlStreamReader::Invalid:
                return;
            default:
                break;
            }
        }
    }

    void endElement() {
        const Frame done = m_stack.back();
        m_stack.pop_back();
        switch (done.kind) {
        case Kind::Paragraph:
            // A deleted paragraph mark joins the paragraph to the next one, as the office program shows it with
            // the deletion accepted.
            if (!done.flag) {
                append(done.section ? wordchars::kSectionEnd : wordchars::kParagraphEnd);
            }
            break;
        case Kind::ParagraphProperties:
        case Kind::MarkProperties:
            // Hand what was found to the paragraph.
            m_stack.back().flag = m_stack.back().flag || done.flag;
            m_stack.back().section = m_stack.back().section || done.section;
            break;
        case Kind::RowProperties:
            m_stack.back().flag = m_stack.back().flag || done.flag;
            break;
        case Kind::Row:
            if (done.flag) {
                m_text.truncate(done.start);
            }
            break;
        case Kind::AlternateContent:
            m_choiceTaken.pop_back();
            break;
        default:
            break;
        }
    }

    void startElement() {
        Frame& parent = m_stack.back();
        switch (parent.kind) {
        case Kind::Text:
        case Kind::Skip:
            push(Kind::Skip);
            return;
        case Kind::Run:
            runChild();
            return;
        case Kind::Ruby:
            if (isWord() && m_xml.name() == u"rubyBase") {
                push(Kind::Container);
            } else {
                push(Kind::Skip);
            }
            return;
        case Kind::Paragraph:
            if (isWord() && m_xml.name() == u"pPr") {
                push(Kind::ParagraphProperties);
                return;
            }
            break;
        case Kind::ParagraphProperties:
            if (isWord() && m_xml.name() == u"sectPr") {
                parent.section = true;
            } else if (isWord() && m_xml.name() == u"rPr") {
                push(Kind::MarkProperties);
                return;
            }
            push(Kind::Skip);
            return;
        case Kind::MarkProperties:
            if (isWord() && (m_xml.name() == u"del" || m_xml.name() == u"moveFrom")) {
                parent.flag = true;
            }
            push(Kind::Skip);
            return;
        case Kind::Row:
            if (isWord() && m_xml.name() == u"trPr") {
                push(Kind::RowProperties);
                return;
            }
            break;
        case Kind::RowProperties:
            parent.flag = parent.flag || (isWord() && m_xml.name() == u"del");
            push(Kind::Skip);
            return;
        case Kind::Container:
        case Kind::AlternateContent:
            break;
        }
        element();
    }

    // An element where body content may stand.
    void element() {
        const QStringView ns = m_xml.namespaceUri();
        const QStringView name = m_xml.name();
        if (ns == kCompatibilityNs) {
            alternateContentPart(name);
            return;
        }
        if (ns == kMathNs) {
            push(name == u"t" ? Kind::Text : Kind::Container);
            return;
        }
        if (!isWord()) {
            push(Kind::Container);
            return;
        }
        if (name == u"t") {
            push(Kind::Text);
        } else if (name == u"r") {
            push(Kind::Run);
        } else if (name == u"p") {
            push(Kind::Paragraph);
        } else if (name == u"tr") {
            push(Kind::Row);
        } else if (name == u"tbl" || name == u"tc" || name == u"fldSimple" || name == u"hyperlink" || name == u"ins" ||
                   name == u"moveTo" || name == u"sdt" || name == u"sdtContent" || name == u"smartTag" ||
                   name == u"customXml" || name == u"dir" || name == u"bdo") {
            push(Kind::Container);
        } else {
            // Deletions, moved-away text, text boxes, drawings, properties, bookmarks and everything unknown:
            // nothing of the main text lies inside.
            push(Kind::Skip);
        }
    }

    void alternateContentPart(QStringView name) {
        if (name == u"AlternateContent") {
            m_choiceTaken.push_back(false);
            push(Kind::AlternateContent);
        } else if (name == u"Choice" && !m_choiceTaken.empty() && !m_choiceTaken.back()) {
            m_choiceTaken.back() = true;
            push(Kind::Container);
        } else {
            push(Kind::Skip);
        }
    }

    void runChild() {
        if (!isWord()) {
            element();
            return;
        }
        const QStringView name = m_xml.name();
        if (name == u"t") {
            push(Kind::Text);
            return;
        }
        if (name == u"ruby") {
            push(Kind::Ruby);
            return;
        }
        if (name == u"rubyBase") {
            push(Kind::Container);
            return;
        }
        if (name == u"AlternateContent") {
            element();
            return;
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
        }
        // Properties, deleted text, field codes, drawings and note references carry no main text.
        push(Kind::Skip);
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

    static constexpr qint64 kFeedBytes = 64 * 1024;

    QIODevice* m_device;
    TokenSplitter m_splitter;
    QByteArray m_fed;
    QXmlStreamReader m_xml;
    QString m_text;
    bool m_full = false;
    std::vector<Frame> m_stack;
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
        // The main part is walked as it inflates: memory stays the size of the text kept, whatever the part
        // holds, so only its declared size is checked and not its ratio.
        QuaZipFileInfo64 info;
        const qint64 declared = checkedEntry(zip, mainPart, kMaxDocumentPartBytes, info);
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::ReadOnly)) {
            Damaged(
                QStringLiteral("the part %1 cannot be opened (zip error %2)").arg(mainPart).arg(file.getZipError()));
        }
        PartDevice part(file, declared);
        BodyWalker walker(&part);
        QString text;
        try {
            text = walker.run();
            // What follows the body is read too, so that the part's checksum is checked.
            char rest[4096];
            while (!walker.full() && part.read(rest, sizeof(rest)) > 0) {
            }
        } catch (const ReadFailure&) {
            if (part.failed()) {
                throw part.failure();
            }
            throw;
        }
        if (part.failed() && !walker.full()) {
            throw part.failure();
        }
        DocumentText result{TextReadStatus::Ok, std::move(text), {}, {}};
        if (walker.full()) {
            result.note = TextCutNote();
        }
        return result;
    } catch (const ReadFailure& failure) {
        return {failure.status, {}, failure.reason, {}};
    } catch (const std::bad_alloc&) {
        return {TextReadStatus::TooLarge, {}, QStringLiteral("out of memory"), {}};
    }
}

} // namespace textreader

DocumentText ReadDocxBytes(QByteArrayView bytes) {
    QByteArray raw = QByteArray::fromRawData(bytes.data(), bytes.size());
    QBuffer buffer(&raw);
    return textreader::ReadDocxDevice(buffer);
}

} // namespace velmora
