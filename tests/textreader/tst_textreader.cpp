// Test rows are built by concatenation and must be plain QStrings and QByteArrays, not string builders.
#undef QT_USE_QSTRINGBUILDER

#include "textreader/documenttext.h"
#include "wordfiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

Q_DECLARE_METATYPE(velmora::TextReadStatus)

using CpRanges = QList<QPair<int, int>>;

namespace {

QString dataDir() {
    return qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/");
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(path));
    }
    return file.readAll();
}

// The expected texts escape control characters; their real line breaks are only for reading.
QString unescape(const QString& escaped) {
    QString text;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped[i];
        if (c == u'\n') {
            continue;
        }
        if (c != u'\\' || i + 1 >= escaped.size()) {
            text.append(c);
            continue;
        }
        const QChar e = escaped[++i];
        switch (e.unicode()) {
        case 'r':
            text.append(u'\r');
            break;
        case 'a':
            text.append(u'\a');
            break;
        case 't':
            text.append(u'\t');
            break;
        case 'v':
            text.append(u'\v');
            break;
        case 'f':
            text.append(u'\f');
            break;
        case 'x':
            text.append(QChar(escaped.mid(i + 1, 2).toUShort(nullptr, 16)));
            i += 2;
            break;
        default:
            text.append(e);
        }
    }
    return text;
}

// Control characters made visible in failure messages.
QByteArray visible(const QString& text) {
    QString out;
    for (QChar c : text) {
        out += c.unicode() < 0x20 ? QStringLiteral("<%1>").arg(c.unicode(), 2, 16, QLatin1Char('0')) : QString(c);
    }
    return out.toUtf8();
}

QString run(const QString& text) {
    return QStringLiteral("<w:r><w:t xml:space=\"preserve\">%1</w:t></w:r>").arg(text);
}

QString para(const QString& inner) {
    return QStringLiteral("<w:p>%1</w:p>").arg(inner);
}

QString fieldChar(const char* type) {
    return QStringLiteral("<w:r><w:fldChar w:fldCharType=\"%1\"/></w:r>").arg(QLatin1String(type));
}

QString instr(const QString& code) {
    return QStringLiteral("<w:r><w:instrText>%1</w:instrText></w:r>").arg(code);
}

} // namespace

class TestTextReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void corpus_givesExpectedText_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("expected");
        const QStringList names = QDir(dataDir() + QStringLiteral("expected")).entryList({"*.txt"}, QDir::Files);
        QVERIFY(names.size() >= 8);
        for (const QString& txt : names) {
            const QString name = txt.chopped(4);
            const QString expected = unescape(QString::fromUtf8(fileBytes(dataDir() + "expected/" + txt)));
            for (const char* ext : {".docx", ".doc"}) {
                const QString document = name + QLatin1String(ext);
                QTest::newRow(qPrintable(document)) << dataDir() + "corpus/" + document << expected;
            }
        }
    }
    void corpus_givesExpectedText() {
        QFETCH(QString, document);
        QFETCH(QString, expected);
        const DocumentText read = ReadDocumentText(document);
        QVERIFY2(read.ok(), qPrintable(read.reason));
        QCOMPARE(visible(read.text), visible(expected));
    }

    void docxBody_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first alternate choice only")
            << para("<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\">" + run("A") +
                    "</mc:Choice><mc:Choice Requires=\"w14\">" + run("B") + "</mc:Choice><mc:Fallback>" + run("C") +
                    "</mc:Fallback></mc:AlternateContent></w:r>")
            << "A\r";
        QTest::newRow("text box is not main text")
            << para(run("x") + "<w:r><w:drawing><wps:txbx><w:txbxContent>" + para(run("box")) +
                    "</w:txbxContent></wps:txbx></w:drawing></w:r>")
            << "x\r";
        QTest::newRow("nested field shows the outer result")
            << para(fieldChar("begin") + instr(" IF ") + fieldChar("begin") + instr(" PAGE ") + fieldChar("separate") +
                    run("1") + fieldChar("end") + instr(" = 1 \"yes\" ") + fieldChar("separate") + run("yes") +
                    fieldChar("end") + run("!"))
            << "yes!\r";
        QTest::newRow("field without result shows nothing")
            << para(fieldChar("begin") + instr(" XE \"entry\" ") + fieldChar("end") + run("after")) << "after\r";
        QTest::newRow("simple field and content control")
            << "<w:sdt><w:sdtPr><w:alias w:val=\"alias\"/></w:sdtPr><w:sdtContent>" +
                   para("<w:fldSimple w:instr=\"PAGE\">" + run("7") + "</w:fldSimple>") + "</w:sdtContent></w:sdt>"
            << "7\r";
        QTest::newRow("deleted paragraph mark joins paragraphs")
            << "<w:p><w:pPr><w:rPr><w:del w:id=\"1\" w:author=\"a\"/></w:rPr></w:pPr>" + run("one") + "</w:p>" +
                   para(run("two"))
            << "onetwo\r";
        QTest::newRow("deleted row is dropped")
            << "<w:tbl><w:tr><w:trPr><w:del w:id=\"2\" w:author=\"a\"/></w:trPr><w:tc>" + para(run("gone")) +
                   "</w:tc></w:tr><w:tr><w:tc>" + para(run("kept")) + "</w:tc></w:tr></w:tbl>" + para("")
            << "kept\r\r";
        QTest::newRow("moved text counts once, where it went")
            << para("<w:moveFrom>" + run("old") + "</w:moveFrom><w:moveTo>" + run("new") + "</w:moveTo>") << "new\r";
        QTest::newRow("breaks, hyphens and tabs")
            << para("<w:r><w:t>a</w:t><w:br/><w:t>b</w:t><w:br w:type=\"page\"/><w:t>c</w:t><w:br "
                    "w:type=\"column\"/><w:cr/><w:noBreakHyphen/><w:softHyphen/><w:tab/></w:r>")
            << QString::fromUtf16(u"a\rb\rc\r\r\u2011\u00AD\t\r");
        QTest::newRow("tab stops are not tabs")
            << "<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr>" + run("x") + "</w:p>"
            << "x\r";
        QTest::newRow("section break ends its paragraph as any other")
            << "<w:p><w:pPr><w:sectPr/></w:pPr>" + run("s1") + "</w:p>" + para(run("s2")) << "s1\rs2\r";
        QTest::newRow("empty cell and nested table")
            << "<w:tbl><w:tr><w:tc><w:p/></w:tc><w:tc><w:tbl><w:tr><w:tc>" + para(run("in")) +
                   "</w:tc></w:tr></w:tbl><w:p/></w:tc></w:tr></w:tbl><w:p/>"
            << "\rin\r\r\r";
        QTest::newRow("ruby gives its base") << para("<w:r><w:ruby><w:rubyPr/><w:rt>" + run("zhong") +
                                                     "</w:rt><w:rubyBase>" + run("中") + "</w:rubyBase></w:ruby></w:r>")
                                             << "中\r";
        QTest::newRow("symbol, math and entities")
            << para("<w:r><w:sym w:font=\"Wingdings\" w:char=\"F04A\"/></w:r><m:oMath><m:r><m:t>x=1</m:t></m:r>"
                    "</m:oMath>" +
                    run(" a &amp; b "))
            << QString(QChar(0xF04A)) + "x=1 a & b \r";
        QTest::newRow("comment and note references are not text")
            << para("<w:commentRangeStart w:id=\"0\"/>" + run("c") +
                    "<w:r><w:commentReference w:id=\"0\"/></w:r><w:r><w:footnoteReference w:id=\"1\"/></w:r>")
            << "c\r";
    }
    void docxBody() {
        QFETCH(QString, body);
        QFETCH(QString, expected);
        const DocumentText read = ReadDocxBytes(MakeDocx(body));
        QVERIFY2(read.ok(), qPrintable(read.reason));
        QCOMPARE(visible(read.text), visible(expected));
    }

    void docStreams_data() {
        QTest::addColumn<QList<DocPiece>>("pieces");
        QTest::addColumn<qint64>("ccpText");
        QTest::addColumn<CpRanges>("deleted");
        QTest::addColumn<QList<int>>("rowEnds");
        QTest::addColumn<QString>("expected");
        using Pieces = QList<DocPiece>;
        using Cps = CpRanges;
        using Rows = QList<int>;
        const qint64 all = -1;
        QTest::newRow("16-bit piece") << Pieces{{"中文 text\r", false}} << all << Cps{} << Rows{} << "中文 text\r";
        QTest::newRow("8-bit piece in Windows-1252") << Pieces{{QString::fromLatin1("\x93q\x94 \x80 \xE9\r"), true}}
                                                     << all << Cps{} << Rows{} << QString::fromUtf8("“q” € é\r");
        QTest::newRow("pieces in text order, not file order")
            << Pieces{{"ab", true}, {"中\r", false}, {"cd\r", true}} << all << Cps{} << Rows{} << "ab中\rcd\r";
        QTest::newRow("field code dropped, result kept")
            << Pieces{{"a\x13 PAGE \x14", false}, {"1\x15z\r", true}} << all << Cps{} << Rows{} << "a1z\r";
        QTest::newRow("nested fields") << Pieces{{"\x13 IF \x13 PAGE \x14"
                                                  "1\x15 = 1 \x14yes\x15\r",
                                                  false}}
                                       << all << Cps{} << Rows{} << "yes\r";
        QTest::newRow("unclosed field hides the rest")
            << Pieces{{"a\x13 broken\r", false}} << all << Cps{} << Rows{} << "a";
        QTest::newRow("anchors dropped, breaks as paragraph ends")
            << Pieces{{"a\x01"
                       "b\x02"
                       "c\x08"
                       "d\x05\t\v\f\x0E\x1E\x1F\r",
                       false}}
            << all << Cps{} << Rows{} << QString::fromUtf16(u"abcd\t\r\r\r\u2011\u00AD\r");
        QTest::newRow("cells end their paragraph, rows end nothing") << Pieces{{"a\x07"
                                                                                "b\x07\x07\r",
                                                                                false}}
                                                                     << all << Cps{} << Rows{4} << "a\rb\r\r";
        QTest::newRow("empty cell before the row end") << Pieces{{"a\x07\x07\x07"
                                                                  "c\x07\x07\r",
                                                                  false}}
                                                       << all << Cps{} << Rows{3, 6} << "a\r\rc\r\r";
        QTest::newRow("notes after the main text")
            << Pieces{{"body\r", false}, {"note\r\r", false}} << qint64(5) << Cps{} << Rows{} << "body\r";
        QTest::newRow("tracked deletion")
            << Pieces{{"keep gone keep\r", false}} << all << Cps{{5, 10}} << Rows{} << "keep keep\r";
        QTest::newRow("deletion across pieces of both widths")
            << Pieces{{"ab", true}, {"cd", false}, {"e\r", true}} << all << Cps{{1, 3}, {4, 5}} << Rows{} << "ad\r";
    }
    void docStreams() {
        QFETCH(QList<DocPiece>, pieces);
        QFETCH(qint64, ccpText);
        QFETCH(CpRanges, deleted);
        QFETCH(QList<int>, rowEnds);
        QFETCH(QString, expected);
        const DocumentText read = ReadDocBytes(PackDoc(MakeDocStreams(pieces, ccpText, deleted, rowEnds)));
        QVERIFY2(read.ok(), qPrintable(read.reason));
        QCOMPARE(visible(read.text), visible(expected));
    }

    void damaged_isRefusedWithReason_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextReadStatus>("status");
        const QByteArray docx = fileBytes(dataDir() + QStringLiteral("corpus/latin.docx"));
        QTest::newRow("zip cut in half") << "a.docx" << docx.left(docx.size() / 2) << TextReadStatus::Damaged;
        QTest::newRow("zip without its end record") << "a.docx" << docx.chopped(22) << TextReadStatus::Damaged;
        QByteArray flipped = docx;
        flipped[flipped.indexOf("word/document.xml") + 60] =
            char(flipped[flipped.indexOf("word/document.xml") + 60] ^ 0x55);
        QTest::newRow("zip data corrupted") << "a.docx" << flipped << TextReadStatus::Damaged;
        QTest::newRow("zip bomb, honest size")
            << "bomb.docx" << MakeZipBomb("word/document.xml", quint64(1) << 30, 1024) << TextReadStatus::TooLarge;
        // Inflating stops at the size the directory gives; what was inflated then fails its checksum.
        QTest::newRow("zip bomb under a small size")
            << "bomb.docx" << MakeZipBomb("word/document.xml", 4096, 64) << TextReadStatus::Damaged;
        QTest::newRow("no document.xml") << "a.docx"
                                         << MakeZip({{"[Content_Types].xml", "<Types/>"},
                                                     {"word/styles.xml", "<w:styles/>"}})
                                         << TextReadStatus::NotWordFile;
        const QByteArray rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                                "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
                                "2006/relationships/officeDocument\" Target=\"/word/main.xml\"/></Relationships>";
        QTest::newRow("relationship to a missing part")
            << "a.docx" << MakeZip({{"_rels/.rels", rels}, {"word/document.xml", "<x/>"}})
            << TextReadStatus::NotWordFile;
        QTest::newRow("document.xml cut short")
            << "a.docx" << MakeZip({{"word/document.xml", "<w:document xmlns:w=\"x\"><w:body><w:p>"}})
            << TextReadStatus::Damaged;
        QTest::newRow("document.xml with entity declarations")
            << "a.docx"
            << MakeZip({{"word/document.xml", "<!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                                              "<d>&b;&b;&b;</d>"}})
            << TextReadStatus::Damaged;

        QByteArray noise(4096, '\0');
        QRandomGenerator random(6);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QTest::newRow("random bytes named .doc") << "a.doc" << noise << TextReadStatus::NotWordFile;
        QTest::newRow("random bytes after a compound-file signature")
            << "a.doc" << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + noise << TextReadStatus::Damaged;
        QTest::newRow("RTF named .doc") << "a.doc" << QByteArray("{\\rtf1\\ansi hello}") << TextReadStatus::NotWordFile;
        QTest::newRow("empty file") << "a.docx" << QByteArray() << TextReadStatus::NotWordFile;
        QTest::newRow("compound file without a Word stream")
            << "a.doc" << MakeCompoundFile({{"Workbook", QByteArray(600, 'x')}}) << TextReadStatus::NotWordFile;
        QTest::newRow("password-protected .docx")
            << "a.docx"
            << MakeCompoundFile({{"EncryptionInfo", QByteArray(200, '\1')}, {"EncryptedPackage", QByteArray(900, 'x')}})
            << TextReadStatus::Encrypted;

        const DocPiece piece{QStringLiteral("keep gone\r"), false};
        const DocStreams good = MakeDocStreams({piece}, -1, {{5, 9}});
        const auto lying = [&](const char* row, auto patch, TextReadStatus status) {
            DocStreams s = good;
            patch(s);
            QTest::newRow(row) << "a.doc" << PackDoc(s) << status;
        };
        lying(
            "password-protected .doc", [](DocStreams& s) { PutU16(s.wordDocument, fib::kFlags, 0x0300); },
            TextReadStatus::Encrypted);
        lying(
            "Word 95 document", [](DocStreams& s) { PutU16(s.wordDocument, 2, 0x0065); }, TextReadStatus::NotWordFile);
        lying(
            "FIB: wrong identifier", [](DocStreams& s) { PutU16(s.wordDocument, 0, 0x1234); },
            TextReadStatus::NotWordFile);
        lying(
            "FIB: cut short", [](DocStreams& s) { s.wordDocument.truncate(100); }, TextReadStatus::Damaged);
        lying(
            "FIB: too few offset pairs", [](DocStreams& s) { PutU16(s.wordDocument, fib::kPairs, 20); },
            TextReadStatus::Damaged);
        lying(
            "FIB: long values past the stream", [](DocStreams& s) { PutU16(s.wordDocument, 34 + 28, 0xFFFF); },
            TextReadStatus::Damaged);
        lying(
            "FIB: piece table past the table stream",
            [](DocStreams& s) { PutU32(s.wordDocument, fib::kFcClx, quint32(s.table.size())); },
            TextReadStatus::Damaged);
        lying(
            "FIB: piece table longer than the stream",
            [](DocStreams& s) { PutU32(s.wordDocument, fib::kLcbClx, 0xFFFFFFFF); }, TextReadStatus::Damaged);
        lying(
            "FIB: offset plus length overflows",
            [](DocStreams& s) {
                PutU32(s.wordDocument, fib::kFcClx, 0xFFFFFFF0);
                PutU32(s.wordDocument, fib::kLcbClx, 0x20);
            },
            TextReadStatus::Damaged);
        lying(
            "FIB: more text than pieces", [](DocStreams& s) { PutU32(s.wordDocument, fib::kCcpText, 1000000); },
            TextReadStatus::Damaged);
        lying(
            "FIB: property table past the stream",
            [](DocStreams& s) { PutU32(s.wordDocument, fib::kFcPlcfBteChpx, 0x7FFFFFFF); }, TextReadStatus::Damaged);
        lying(
            "piece table with a wrong marker", [](DocStreams& s) { s.table[16] = 0x03; }, TextReadStatus::Damaged);
        lying(
            "piece past the WordDocument stream", [](DocStreams& s) { PutU32(s.table, 16 + 5 + 8 + 2, 0x3FFFFF00); },
            TextReadStatus::Damaged);
        lying(
            "compressed piece past the stream",
            [](DocStreams& s) { PutU32(s.table, 16 + 5 + 8 + 2, 0x40000000u | 0x3FFFFF00u); }, TextReadStatus::Damaged);
        lying(
            "property page past the stream", [](DocStreams& s) { PutU32(s.table, int(s.table.size()) - 4, 0x3FFFFF); },
            TextReadStatus::Damaged);
        lying(
            "table stream missing", [](DocStreams& s) { PutU16(s.wordDocument, fib::kFlags, 0x0000); },
            TextReadStatus::Damaged);
    }
    void damaged_isRefusedWithReason() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(TextReadStatus, status);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        for (const DocumentText& read : {ReadDocumentText(path), ReadDocumentBytes(bytes)}) {
            QCOMPARE(read.status, status);
            QVERIFY(!read.reason.isEmpty());
            QVERIFY(read.text.isEmpty());
        }
    }

    void missingFile_isUnreadable() {
        const DocumentText read = ReadDocumentText(QStringLiteral("/nonexistent/velmora/note.docx"));
        QCOMPARE(read.status, TextReadStatus::Unreadable);
        QVERIFY(!read.reason.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTextReader)
#include "tst_textreader.moc"
