#include "common/textcodec.h"
#include "store/textcache.h"
#include "tempappdata.h"
#include "textreader/documenttext.h"
#include "workbench/search/cachelevel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

using namespace velmora;
using namespace velmora::test;

namespace {

QString corpus(const QString& name) {
    return qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/corpus/") + name;
}

// The cache of a document read from `file`, as its lines are kept.
QString cachedTextOf(const QString& file) {
    return JoinLines(SplitLines(ReadDocumentText(file).text));
}

} // namespace

class TestCacheLevel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The pass after start reads again what other programs changed while the window was closed, and the watch on
    // the folders what they change while it runs (written beside and renamed over, as nearly every program
    // saves). Unchanged documents are not read.
    void passAndWatch_readChangedDocumentsAgain() {
        TempAppData appdata;
        const QString docs = appdata.file(QStringLiteral("docs/"));
        QVERIFY(QDir().mkpath(docs));
        const QStringList documents{docs + QStringLiteral("a.docx"), docs + QStringLiteral("b.docx"),
                                    docs + QStringLiteral("c.docx")};
        for (const QString& path : documents) {
            QVERIFY(QFile::copy(corpus(QStringLiteral("chinese.docx")), path));
            WriteTextCache(path, QStringLiteral("as read"));
        }
        QTest::qWait(20);
        QVERIFY(QFile::remove(documents.at(0)));
        QVERIFY(QFile::copy(corpus(QStringLiteral("latin.docx")), documents.at(0)));

        CacheLevelPass pass(nullptr);
        QSignalSpy finished(&pass, &CacheLevelPass::passFinished);
        pass.start(documents);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.takeFirst().at(0).toInt(), 1);
        QCOMPARE(ReadTextCache(documents.at(0)), cachedTextOf(corpus(QStringLiteral("latin.docx"))));
        QCOMPARE(ReadTextCache(documents.at(1)), QStringLiteral("as read\r\n"));

        const QString beside = docs + QStringLiteral(".b.docx.tmp");
        QVERIFY(QFile::copy(corpus(QStringLiteral("table.docx")), beside));
        QCOMPARE(std::rename(QFile::encodeName(beside).constData(), QFile::encodeName(documents.at(1)).constData()), 0);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.takeFirst().at(0).toInt(), 1);
        QCOMPARE(ReadTextCache(documents.at(1)), cachedTextOf(corpus(QStringLiteral("table.docx"))));
        QCOMPARE(ReadTextCache(documents.at(2)), QStringLiteral("as read\r\n"));
    }
};

QTEST_MAIN(TestCacheLevel)
#include "tst_cachelevel.moc"
