// The search against real LibreOffice: a document the built-in reader cannot read (it has a password) is read by
// the search's own office with its stored password, found by a word of its text, and cached; a wrong stored
// password passes the document over; the office ends with the search.
#include "lofixture.h"

#include "common/appfolder.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "wholetextsearch.h"
#include "workbench/workbench.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

class TestLoSearch : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<LoEnvironment>(); }
    void cleanupTestCase() { QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 20000); }

    void textSearch_readsProtectedDocumentsThroughThePrivateOffice() {
        QTemporaryDir appData;
        SetAppDataFolder(appData.path());
        const QString docs = appData.filePath(QStringLiteral("docs/"));
        QDir().mkpath(docs);
        const QString data = QStringLiteral(VELMORA_LO_TEST_DATA "/");
        struct Entry {
            const char* sample;
            const char* name;
            QString password;
        };
        const Entry entries[] = {{"secret.docx", "加密.docx", QStringLiteral("密码abc")},
                                 {"secret.doc", "错误密码.doc", QStringLiteral("wrong")},
                                 {"plain.doc", "普通.doc", QString()}};
        {
            TWordMgr library(appData.filePath(QStringLiteral("worddata.data")));
            for (const Entry& entry : entries) {
                QVERIFY(QFile::copy(data + QLatin1String(entry.sample), docs + QString::fromUtf8(entry.name)));
                library.ImportAWord(docs + QString::fromUtf8(entry.name), QString(), entry.password, 0);
            }
            library.SaveRecDataFiles(false);
        }
        Workbench bench;
        bench.open();
        QCOMPARE(SearchWholeText(bench, QStringLiteral("english 42")),
                 QStringList{QStringLiteral("0|%1加密.docx\r\n70|%1普通.doc\r\n").arg(docs)});
        QVERIFY(ReadTextCache(docs + QStringLiteral("加密.docx")).contains(QStringLiteral("第一段：中文文档的内容。")));
        QVERIFY(!HasTextCache(docs + QStringLiteral("错误密码.doc")));
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->path(QStringLiteral("tmp"))).isEmpty(), 20000);
        SetAppDataFolder({});
    }
};

QTEST_MAIN(TestLoSearch)
#include "tst_lo_search.moc"
