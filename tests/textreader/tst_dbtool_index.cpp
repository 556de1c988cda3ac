#include "app/dbtool.h"
#include "common/textcodec.h"
#include "store/textcache.h"

#include "corpusappdata.h"
#include "dbtoolrun.h"
#include "libraryfiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTextStream>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

Run run(const QStringList& args) {
    return RunCaptured(args, &ReadDocumentText);
}

// The cache holds the text as CR LF lines, so the expectation is put in that form too.
QString asCached(const QString& text) {
    return JoinLines(SplitLines(text));
}

} // namespace

class TestDbToolIndex : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CorpusAppData> m_appData;

    QString copyOfCorpus(const QString& name) {
        m_appData->copy(name, name);
        return DocPath(name);
    }

private Q_SLOTS:
    void init() { m_appData = std::make_unique<CorpusAppData>(); }
    void cleanup() { m_appData.reset(); }

    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing to index") << QStringList{"index"};
        QTest::newRow("--all with paths") << QStringList{"index", "--all", "/a.docx"};
    }
    void usage() {
        QFETCH(QStringList, args);
        QCOMPARE(run(args).status, 2);
    }

    void indexAll_writesEveryLiveDocumentAndListsFailures() {
        const QString chinese = copyOfCorpus(QStringLiteral("chinese.docx"));
        const QString table = copyOfCorpus(QStringLiteral("table.doc"));
        const QString removed = copyOfCorpus(QStringLiteral("latin.docx"));
        const QString rtf = DocPath(QStringLiteral("notes.doc"));
        WriteBytes(rtf, "{\\rtf1 not a Word file}");
        const QString gone = DocPath(QStringLiteral("gone.docx"));
        WriteBytes(gone, "x");
        QCOMPARE(run({"add", chinese, table, removed, rtf, gone}).status, 0);
        QVERIFY(QFile::remove(gone));
        QCOMPARE(run({"remove", removed}).status, 0);

        const Run result = run({"index", "--all"});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.out, QStringLiteral("2 of 4 documents indexed\n"));
        QVERIFY2(result.err.contains(rtf + ": an RTF document"), qPrintable(result.err));
        QVERIFY2(result.err.contains(gone + ": "), qPrintable(result.err));
        QCOMPARE(result.err.count(u'\n'), 2);
        QCOMPARE(ReadTextCache(chinese),
                 asCached("文档库的第一段。\r第二段：中文与English混排，标点符号！\r第三段结束。\r"));
        QVERIFY(ReadTextCache(table).contains(QStringLiteral("\r\n苹果\r\n3\r\n斤\r\n")));
        QVERIFY(!HasTextCache(removed));
        QVERIFY(!HasTextCache(rtf));
    }

    void indexPaths_takesOnlyLibraryDocumentsWhateverTheirCase() {
        const QString field = copyOfCorpus(QStringLiteral("field.docx"));
        const QString outside = copyOfCorpus(QStringLiteral("empty.doc"));
        QCOMPARE(run({"add", field}).status, 0);
        WriteTextCache(field, QStringLiteral("stale"));

        Run result = run({"index", field});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, QStringLiteral("1 of 1 documents indexed\n"));
        QCOMPARE(ReadTextCache(field), asCached("Page 1 of the note.\r作者：Li Lei\r"));

        result = run({"index", outside, DocPath(QStringLiteral("FIELD.DOCX"))});
        QCOMPARE(result.status, 1);
        QVERIFY(result.err.contains(outside + ": not in the library"));
        QCOMPARE(result.out, QStringLiteral("1 of 1 documents indexed\n"));
        QVERIFY(!HasTextCache(outside));
    }

    void program_handsIndexToTheIndexer() {
        const QString field = copyOfCorpus(QStringLiteral("field.docx"));
        QCOMPARE(run({"add", field}).status, 0);
        QProcess velmoradb;
        velmoradb.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../velmoradb"),
                        {"--appdata", m_appData->path(), "index", "--all"});
        QVERIFY(velmoradb.waitForFinished());
        QCOMPARE(velmoradb.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(velmoradb.readAllStandardOutput()), QStringLiteral("1 of 1 documents indexed\n"));
        QCOMPARE(ReadTextCache(field), asCached("Page 1 of the note.\r作者：Li Lei\r"));
    }

    void withoutAReader_indexRefuses() {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        QCOMPARE(RunDbTool({"index", "--all"}, outStream, errStream), 1);
        QVERIFY(err.contains(QStringLiteral("velmoradb-index")));
    }
};

QTEST_GUILESS_MAIN(TestDbToolIndex)
#include "tst_dbtool_index.moc"
