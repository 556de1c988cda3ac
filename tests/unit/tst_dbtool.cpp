#include "app/dbtool.h"
#include "store/librarylock.h"
#include "store/wordmgr.h"
#include "storebytes.h"
#include "tempappdata.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>
#include <QTextStream>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestDbTool : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    QString m_docs;

    Run run(const QStringList& args) {
        Run result;
        QTextStream out(&result.out);
        QTextStream err(&result.err);
        result.status = RunDbTool(args, out, err);
        return result;
    }

    QString doc(const QString& name) {
        const QString path = m_docs + name;
        WriteBytes(path, "x");
        return path;
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_docs = m_appData->file(QStringLiteral("docs/"));
        QDir().mkpath(m_docs);
    }
    void cleanup() { m_appData.reset(); }

    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("no command") << QStringList{} << 2;
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2;
        QTest::newRow("tags without query") << QStringList{"tags"} << 2;
        QTest::newRow("score out of range") << QStringList{"add", "/x.doc", "--score", "6"} << 2;
        QTest::newRow("score not a number") << QStringList{"add", "/x.doc", "--score", "many"} << 2;
        QTest::newRow("option without value") << QStringList{"add", "/x.doc", "--tags"} << 2;
        QTest::newRow("date kind out of range") << QStringList{"filter", "date", "今天", "4"} << 2;
        QTest::newRow("unknown filter") << QStringList{"filter", "colour"} << 2;
        QTest::newRow("show without a number") << QStringList{"show", "first"} << 2;
        QTest::newRow("restore nothing") << QStringList{"restore"} << 2;
        QTest::newRow("purge with arguments") << QStringList{"purge", "now"} << 2;
    }
    void usage() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        const Run result = run(args);
        QCOMPARE(result.status, status);
        if (status == 0) {
            QVERIFY(result.out.contains(QStringLiteral("filter date WINDOW KIND")));
        } else {
            QVERIFY(!result.err.isEmpty());
            QVERIFY(!QFile::exists(m_appData->file(QStringLiteral("worddata.idx"))));
        }
    }

    void add_listsNewDocumentsAndSkipsMissingOrPresentOnes() {
        const QString a = doc(QStringLiteral("报告.docx"));
        const QString b = doc(QStringLiteral("b.doc"));
        Run result =
            run({"add", a, m_docs + "missing.doc", b, "--tags", "  work 笔记 ", "--password", "pw", "--score", "4"});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.out, QStringLiteral("0|%1\n35|%2\n").arg(a, b));
        QVERIFY(result.err.contains(m_docs + "missing.doc"));
        result = run({"add", a});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.out, QString());
        QVERIFY(result.err.contains(QStringLiteral("already")));

        TWordMgr store(m_appData->file(QStringLiteral("worddata.data")));
        QCOMPARE(store.GetRecNumber(), 2);
        QCOMPARE(store.ReadAStrItem(35, wdiTags, true), QStringLiteral("work 笔记"));
        QCOMPARE(store.ReadAStrItem(35, wdiPassword, false), QStringLiteral("pw"));
        QCOMPARE(store.WordRec().wdScore, quint8(4));
        QVERIFY(store.WordRec().wdArchive);
    }

    void listingCommands() {
        const QString a = doc(QStringLiteral("a.docx"));
        const QString b = doc(QStringLiteral("b.doc"));
        QCOMPARE(run({"add", a, "--tags", "work"}).status, 0);
        QCOMPARE(run({"add", b, "--password", "pw", "--score", "3"}).status, 0);
        QCOMPARE(run({"tags", "WORK plan"}).out, QStringLiteral("0|%1\n").arg(a));
        QCOMPARE(run({"tags", "docs", "--shift"}).out, QString());
        QCOMPARE(run({"filter", "untagged"}).out, QStringLiteral("35|%1\n").arg(b));
        QCOMPARE(run({"filter", "password"}).out, QStringLiteral("35|%1\n").arg(b));
        QCOMPARE(run({"filter", "score", "三星"}).out, QStringLiteral("35|%1\n").arg(b));
        QCOMPARE(run({"filter", "date", "今天", "2"}).out, QStringLiteral("0|%1\n35|%2\n").arg(a, b));
        QCOMPARE(run({"filter", "date", "今天", "3"}).out, QString());

        const QString listing = m_appData->file(QStringLiteral("listing.txt"));
        WriteBytes(listing, "\xEF\xBB\xBF" + b.toUtf8() + "\r\n" + a.toUtf8() + "x\r\n");
        QCOMPARE(run({"paths", listing}).out, QStringLiteral("35|%1\n").arg(b));
        QCOMPARE(run({"paths", listing + "-missing"}).status, 1);
    }

    void show_printsTheRecord() {
        const QString a = doc(QStringLiteral("a.docx"));
        QCOMPARE(run({"add", a, "--tags", "t1 t2", "--password", "secret", "--score", "5"}).status, 0);
        const Run result = run({"show", "0"});
        QCOMPARE(result.status, 0);
        const QStringList lines = result.out.split(u'\n');
        QCOMPARE(lines.mid(0, 4), (QStringList{"path: " + a, "tags: t1 t2", "password: secret", "score: 5"}));
        QVERIFY(lines.at(4).startsWith(QStringLiteral("created: 20")));
        QCOMPARE(lines.mid(5), (QStringList{"accessed: 1899-12-30 00:00:00", "reads: 0", "edits: 0", "archive: 1",
                                            "deleted: 0", ""}));
    }

    void show_refusesWhatIsNoRecord_data() {
        QTest::addColumn<QString>("pos");
        QTest::addColumn<QString>("named");
        QTest::newRow("negative") << "-35"
                                  << "-35";
        QTest::newRow("not a multiple of 35") << "36"
                                              << "36";
        QTest::newRow("past the last record") << "70"
                                              << "70";
        QTest::newRow("string item outside the file") << "35"
                                                      << "9999";
    }
    void show_refusesWhatIsNoRecord() {
        QFETCH(QString, pos);
        QFETCH(QString, named);
        RecBytes damaged{};
        damaged.path = 9999;
        WriteBytes(m_appData->file(QStringLiteral("worddata.idx")), RecBytes{0}.bytes() + damaged.bytes());
        WriteBytes(m_appData->file(QStringLiteral("worddata.data")), item(QStringLiteral("/d/a.doc")));
        const Run result = run({"show", pos});
        QCOMPARE(result.status, 1);
        QVERIFY2(result.err.contains(named), qPrintable(result.err));
        QCOMPARE(result.out, QString());
    }

    void removeRestorePurgeCompact() {
        const QString a = doc(QStringLiteral("a.docx"));
        const QString b = doc(QStringLiteral("b.doc"));
        QCOMPARE(run({"add", a, b}).status, 0);
        QCOMPARE(run({"remove", a.toUpper().replace(m_docs.toUpper(), m_docs)}).status, 0);
        QCOMPARE(run({"filter", "untagged"}).out, QStringLiteral("35|%1\n").arg(b));
        QCOMPARE(run({"remove", m_docs + "none.doc"}).status, 1);
        QCOMPARE(run({"restore", a}).status, 0);
        QCOMPARE(run({"filter", "untagged"}).out, QStringLiteral("0|%1\n35|%2\n").arg(a, b));
        QCOMPARE(run({"remove", a, b}).status, 0);
        QCOMPARE(run({"restore", "--all"}).status, 0);
        QCOMPARE(run({"filter", "untagged"}).out, QStringLiteral("0|%1\n35|%2\n").arg(a, b));
        QCOMPARE(run({"remove", a}).status, 0);
        QCOMPARE(run({"purge"}).status, 0);
        QCOMPARE(run({"filter", "untagged"}).out, QStringLiteral("0|%1\n").arg(b));
        QCOMPARE(run({"compact"}).status, 0);
        QCOMPARE(ReadBytes(m_appData->file(QStringLiteral("worddata.data"))), item(b));
    }

    void check_reportsDamage() {
        RecBytes badCount{};
        badCount.path = 0;
        RecBytes badOffset{};
        badOffset.path = 4;
        badOffset.tags = 500;
        WriteBytes(m_appData->file(QStringLiteral("worddata.idx")),
                   RecBytes{4}.bytes() + badCount.bytes() + badOffset.bytes() + "tail");
        WriteBytes(m_appData->file(QStringLiteral("worddata.data")), le32(-8) + item(QStringLiteral("ok")));
        const Run result = run({"check"});
        QCOMPARE(result.status, 1);
        const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).contains(QStringLiteral("not a multiple of 35")));
        QVERIFY(lines.at(1).startsWith(QStringLiteral("record 35: path")));
        QVERIFY(lines.at(2).startsWith(QStringLiteral("record 70: tags")));
        QVERIFY(lines.at(2).contains(QStringLiteral("500")));
    }

    void check_andStats_onAHealthyLibrary() {
        QCOMPARE(run({"add", doc("a.doc"), "--tags", "t", "--score", "2"}).status, 0);
        QCOMPARE(run({"add", doc("b.doc"), "--password", "p"}).status, 0);
        QCOMPARE(run({"add", doc("c.doc")}).status, 0);
        QCOMPARE(run({"remove", m_docs + "c.doc"}).status, 0);
        QCOMPARE(run({"check"}).status, 0);
        QCOMPARE(run({"stats"}).out, QStringLiteral("records: 3\nlive: 2\ndeleted: 1\nwith tags: 1\nwith password: 1\n"
                                                    "score 0: 1\nscore 1: 0\nscore 2: 1\nscore 3: 0\nscore 4: 0\n"
                                                    "score 5: 0\n"));
    }

    void heldLock_refusesChangesButNotReading() {
        const QString a = doc(QStringLiteral("a.doc"));
        QCOMPARE(run({"add", a}).status, 0);
        LibraryLock mainWindow;
        QVERIFY(mainWindow.tryLock());
        const QByteArray before = ReadBytes(m_appData->file(QStringLiteral("worddata.idx")));
        for (const QStringList& args :
             {QStringList{"add", doc("b.doc")}, QStringList{"remove", a}, QStringList{"restore", "--all"},
              QStringList{"purge"}, QStringList{"compact"}}) {
            const Run result = run(args);
            QCOMPARE(result.status, 1);
            QVERIFY(result.err.contains(QStringLiteral("velmora.lock")));
        }
        QCOMPARE(ReadBytes(m_appData->file(QStringLiteral("worddata.idx"))), before);
        QCOMPARE(run({"filter", "untagged"}).out, QStringLiteral("0|%1\n").arg(a));
    }

    void program_exitStatusAndUtf8Output() {
        const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../velmoradb");
        QVERIFY(QFile::exists(tool));
        const QString a = doc(QStringLiteral("笔记.doc"));
        QProcess process;
        process.start(tool, {"--appdata", m_appData->path(), "add", a, "--tags", "北京"});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QStringLiteral("0|%1\n").arg(a));
        process.start(tool, {"--appdata", m_appData->path(), "tags", "北京"});
        QVERIFY(process.waitForFinished());
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QStringLiteral("0|%1\n").arg(a));
        process.start(tool, {"--appdata", m_appData->path(), "show", "7"});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 1);
        process.start(tool, {"--appdata", m_appData->path()});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(TestDbTool)
#include "tst_dbtool.moc"
