// Test rows are built by concatenation and must be plain QStrings and QByteArrays, not string builders.
#undef QT_USE_QSTRINGBUILDER

#include "app/dbtool.h"
#include "common/textcodec.h"
#include "store/textcache.h"
#include "tempappdata.h"
#include "textreader/documenttext.h"
#include "wordfiles.h"

#include "dbtoolrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

Q_DECLARE_METATYPE(velmora::TextReadStatus)

namespace {

// Deep enough to overflow any thread's stack one call per element: a main thread's 8 MiB at over 100 bytes a
// frame, and a worker's far less.
constexpr int kDeep = 70000;

// What stands where the document was added: its bytes, or a file of another kind put there afterwards.
enum class Put { Bytes, Fifo, LinkToZero };

QString deep(const QString& open, const QString& close, const QString& inner) {
    return open.repeated(kDeep) + inner + close.repeated(kDeep);
}

QString para(const QString& text) {
    return QStringLiteral("<w:p><w:r><w:t>%1</w:t></w:r></w:p>").arg(text);
}

// A .doc whose WordDocument stream promises a table stream holding nothing libgsf can place: the reader finds it
// damaged, and libgsf has its say about the compound file on the way.
QByteArray damagedDoc() {
    QByteArray bytes = PackDoc(MakeDocStreams({{QStringLiteral("text\r"), false}}));
    // The directory's first entry names the root; its start sector is set past the end of the file.
    const qsizetype dirSector = qsizetype(quint8(bytes[0x30])) | qsizetype(quint8(bytes[0x31])) << 8;
    PutU32(bytes, int(512 + dirSector * 512 + 0x74), 0x00FFFFF0);
    return bytes;
}

} // namespace

class TestHostile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;

    // velmoradb index in a process of its own, so that a crash or a hang of the reader fails the row instead of
    // the whole test program.
    struct Child {
        int status = -1;
        QString out;
        QString err;
    };
    bool indexInChild(const QString& path, Child& child) {
        QProcess velmoradb;
        velmoradb.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../velmoradb"),
                        {"--appdata", m_appData->path(), "index", path});
        if (!velmoradb.waitForFinished(120000)) {
            velmoradb.kill();
            velmoradb.waitForFinished();
            qWarning("velmoradb index did not end");
            return false;
        }
        if (velmoradb.exitStatus() != QProcess::NormalExit) {
            qWarning("velmoradb index died: %s", velmoradb.readAllStandardError().constData());
            return false;
        }
        child = {velmoradb.exitCode(), QString::fromUtf8(velmoradb.readAllStandardOutput()),
                 QString::fromUtf8(velmoradb.readAllStandardError())};
        return true;
    }

private Q_SLOTS:
    void init() { m_appData = std::make_unique<TempAppData>(); }
    void cleanup() { m_appData.reset(); }

    // Each row: what lies at the document's path, and what reading it gives. `text` is the whole text read, or
    // for a refusal a part of its reason; `cut` whether the text was cut at the bound.
    void hostileDocument_readOrRefusedByName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("put");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextReadStatus>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cut");
        const auto ok = TextReadStatus::Ok;
        const QByteArray plain = MakeDocx(para("plain"));
        const int bytes = int(Put::Bytes);

        QTest::newRow("content controls nested 70000 deep")
            << "sdt.docx" << bytes << MakeDocx(deep("<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>", para("deep")))
            << ok << "deep\r" << false;
        QTest::newRow("tables nested 70000 deep")
            << "tbl.docx" << bytes << MakeDocx(deep("<w:tbl><w:tr><w:tc>", "</w:tc></w:tr></w:tbl>", para("deep")))
            << ok << "deep\r" << false;
        QTest::newRow("unknown elements nested 70000 deep")
            << "unknown.docx" << bytes << MakeDocx(deep("<wps:wsp>", "</wps:wsp>", para("deep"))) << ok << "deep\r"
            << false;
        QTest::newRow("skipped elements nested 70000 deep")
            << "skipped.docx" << bytes
            << MakeDocx(para("before") + deep("<w:del>", "</w:del>", para("gone")) + para("after")) << ok
            << "before\rafter\r" << false;
        QTest::newRow("paragraphs nested 70000 deep")
            << "paras.docx" << bytes << MakeDocx(deep("<w:p>", "</w:p>", QString())) << ok << QString(kDeep, u'\r')
            << false;
        QTest::newRow("elements nested beyond the bound")
            << "deeper.docx" << bytes
            << MakeDocx(QStringLiteral("<wps:wsp>").repeated(kMaxDocumentDepth) + para("deep") +
                        QStringLiteral("</wps:wsp>").repeated(kMaxDocumentDepth))
            << TextReadStatus::Damaged << "nests elements more than" << false;
        QTest::newRow("elements opened 70000 deep, never closed")
            << "open.docx" << bytes
            << MakeZip({{"word/document.xml",
                         "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                         "<w:body>" +
                             QByteArray("<w:sdt><w:sdtContent>").repeated(kDeep)}})
            << TextReadStatus::Damaged << "not well-formed" << false;

        // Runs of a mebibyte each, one letter a run, past the bound: the text is kept up to it.
        QString runs;
        QString longText;
        for (char letter = 'a'; longText.size() <= kMaxDocumentTextChars; ++letter) {
            const QString block(1 << 20, QChar(letter));
            runs += QStringLiteral("<w:r><w:t>%1</w:t></w:r>").arg(block);
            longText += block;
        }
        QTest::newRow("more text than any note") << "long.docx" << bytes << MakeDocx("<w:p>" + runs + "</w:p>") << ok
                                                 << longText.first(kMaxDocumentTextChars) << true;
        const QString emojiAcross = QString(kMaxDocumentTextChars - 1, u'x') + QStringLiteral("😀tail");
        QTest::newRow("bound between the halves of a character")
            << "emoji.docx" << bytes << MakeDocx(para(emojiAcross)) << ok << QString(kMaxDocumentTextChars - 1, u'x')
            << true;
        QTest::newRow("one text node of more than any note")
            << "node.docx" << bytes << MakeDocx(para(QString(kMaxDocumentTextChars + 100, u'n'))) << ok
            << QString(kMaxDocumentTextChars, u'n') << true;
        // Long text is handed to the XML reader in pieces; the pieces must mean what the whole did.
        QTest::newRow("long Chinese text, entities, CDATA and a comment")
            << "pieces.docx" << bytes
            << MakeDocx(para(QStringLiteral("汉").repeated(200000) + QStringLiteral("&amp;").repeated(100000) +
                             "<![CDATA[" + QString(300000, u'c') + "]]>" + "<!--" +
                             QStringLiteral("-x").repeated(100000) + "-->" + "end"))
            << ok << QStringLiteral("汉").repeated(200000) + QString(100000, u'&') + QString(300000, u'c') + "end\r"
            << false;
        QTest::newRow("a tag longer than any Word writes")
            << "tag.docx" << bytes << MakeDocx("<w:p w:rsidR=\"" + QString(17 << 20, u'0') + "\"/>")
            << TextReadStatus::Damaged << "a tag of more than" << false;
        QTest::newRow(".doc with more text than any note")
            << "long.doc" << bytes << PackDoc(MakeDocStreams({{QString(kMaxDocumentTextChars + 100, u'z'), true}}))
            << ok << QString(kMaxDocumentTextChars, u'z') << true;

        QTest::newRow("FIFO") << "fifo.docx" << int(Put::Fifo) << plain << TextReadStatus::Unreadable
                              << "not a regular file (a FIFO)" << false;
        QTest::newRow("link to /dev/zero") << "zero.docx" << int(Put::LinkToZero) << plain << TextReadStatus::Unreadable
                                           << "not a regular file (a character device)" << false;
        QTest::newRow("damaged .doc") << "damaged.doc" << bytes << damagedDoc() << TextReadStatus::Damaged
                                      << "compound file" << false;
    }
    void hostileDocument_readOrRefusedByName() {
        QFETCH(QString, name);
        QFETCH(int, put);
        QFETCH(QByteArray, bytes);
        QFETCH(TextReadStatus, status);
        QFETCH(QString, text);
        QFETCH(bool, cut);
        const QString docs = m_appData->file(QStringLiteral("docs/"));
        QVERIFY(QDir().mkpath(docs));
        const QString path = docs + name;
        WriteBytes(path, bytes);
        // A document that was a file when it was added, and is something else by the time it is read.
        QCOMPARE(RunCaptured({"add", path}).status, 0);
        if (put == int(Put::Fifo)) {
            QVERIFY(QFile::remove(path));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (put == int(Put::LinkToZero)) {
            QVERIFY(QFile::remove(path));
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        }

        Child child;
        QVERIFY2(indexInChild(path, child), qPrintable(name));
        if (status == TextReadStatus::Ok) {
            QCOMPARE(child.status, 0);
            QCOMPARE(child.out, QStringLiteral("1 of 1 documents indexed\n"));
            QCOMPARE(child.err, cut ? QStringLiteral("velmoradb: note: %1: %2\n").arg(path, TextCutNote()) : QString());
            QVERIFY(ReadTextCache(path) == JoinLines(SplitLines(text)));
        } else {
            QCOMPARE(child.status, 1);
            QCOMPARE(child.out, QStringLiteral("0 of 1 documents indexed\n"));
            // The reason is the only thing on standard error: no library speaks for itself.
            QVERIFY2(child.err.startsWith(QStringLiteral("velmoradb: not indexed: %1: ").arg(path)) &&
                         child.err.count(u'\n') == 1 && child.err.contains(text),
                     qPrintable(child.err));
            QVERIFY(!HasTextCache(path));
        }

        const DocumentText read = ReadDocumentText(path);
        QCOMPARE(read.status, status);
        QCOMPARE(read.note.isEmpty(), !cut);
        if (status == TextReadStatus::Ok) {
            QCOMPARE(read.text.size(), text.size());
            QVERIFY(read.text == text);
        } else {
            QVERIFY2(read.reason.contains(text), qPrintable(read.reason));
            QVERIFY(read.text.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
