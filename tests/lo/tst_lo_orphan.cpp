// The main office outlives a killed Velmora only while another Velmora uses it or it holds a document; otherwise its
// watchdog ends it, and the watchdog ends with it. The Velmora that starts it is this executable run again as a child
// process and killed.
#include "lofixture.h"

#include "office/tiword.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstdio>

using namespace velmora;
using namespace velmora::test;

namespace {

const char kStarter[] = "--start-main-office";
// Several looks of the watchdog: an office it would end is gone by then.
constexpr int kWatchdogLooksMs = 5000;

// Starts the main office, with a document edited and not saved when one is given, and keeps it until killed or told
// to end.
int RunStarter(const QString& document) {
    LoEnvironment::registerServers();
    TiWord word(false);
    if (!word.Created()) {
        std::fputs("not the main office\n", stdout);
        return 1;
    }
    if (!document.isEmpty()) {
        word.OpenWordFile(document, QString(), false);
        word.ReplaceAll(QStringLiteral("保存"), QStringLiteral("未保存"));
    }
    SayReadyAndWait();
    return 0;
}

} // namespace

class TestLoOrphan : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;

    QList<qint64> mainOffices() const { return OfficeProcessesUnder(env->path(QStringLiteral("cache"))); }

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<LoEnvironment>(); }
    void cleanupTestCase() {
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(WatchdogsUnder(env->root()).isEmpty(), 10000);
    }

    void killedStarter_officeStaysOnlyWhileUsed_data() {
        QTest::addColumn<bool>("attached");
        QTest::addColumn<bool>("withDocument");
        QTest::addColumn<bool>("quits");
        QTest::addColumn<bool>("whileStarting");
        QTest::newRow("no other Velmora, no document") << false << false << false << false;
        QTest::newRow("another Velmora attached") << true << false << false << false;
        QTest::newRow("a document with unsaved edits") << false << true << false << false;
        QTest::newRow("quits cleanly, a document with unsaved edits") << false << true << true << false;
        QTest::newRow("killed while its office is starting") << false << false << false << true;
    }
    void killedStarter_officeStaysOnlyWhileUsed() {
        QFETCH(bool, attached);
        QFETCH(bool, withDocument);
        QFETCH(bool, quits);
        QFETCH(bool, whileStarting);
        if (whileStarting) {
            QProcess starter;
            starter.start(QCoreApplication::applicationFilePath(), {QLatin1String(kStarter), QString()});
            QTRY_VERIFY_WITH_TIMEOUT(!mainOffices().isEmpty(), 30000);
            ::kill(pid_t(starter.processId()), SIGKILL);
            QVERIFY(starter.waitForFinished(20000));
            QTRY_VERIFY_WITH_TIMEOUT(mainOffices().isEmpty(), 30000);
            return;
        }
        const QString document =
            withDocument ? WriteTextFile(env->path(QStringLiteral("保存.txt")), {QStringLiteral("要保存的文字")})
                         : QString();
        QProcess starter;
        QCOMPARE(StartChildVelmora(starter, {QLatin1String(kStarter), document}), QByteArray("ready\n"));
        QCOMPARE(mainOffices().size(), 1);
        std::unique_ptr<TiWord> second;
        if (attached) {
            second = std::make_unique<TiWord>(false);
            QVERIFY(!second->Created());
        }
        if (quits) {
            // Its wrapper quits the office it started, which must not throw the unsaved edits away.
            starter.write("end\n");
        } else {
            ::kill(pid_t(starter.processId()), SIGKILL);
        }
        QVERIFY(starter.waitForFinished(20000));
        if (!attached && !withDocument) {
            QTRY_VERIFY_WITH_TIMEOUT(mainOffices().isEmpty(), 30000);
            return;
        }

        QTest::qWait(kWatchdogLooksMs);
        QCOMPARE(mainOffices().size(), 1);
        if (!second) {
            second = std::make_unique<TiWord>(false);
        }
        QVERIFY(!second->Created());
        if (withDocument) {
            QVERIFY(second->DocChanged(document));
            QCOMPARE(second->GetDocText(), QStringLiteral("要未保存的文字\r"));
            second->GiveupSave();
            second->CloseAllFiles();
        }
        QCOMPARE(second->OpenedDocs(), 0);
        // The last Velmora lets go of an office that holds nothing: it ends.
        second.reset();
        QTRY_VERIFY_WITH_TIMEOUT(mainOffices().isEmpty(), 30000);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kStarter) == 0) {
        return RunStarter(QString::fromLocal8Bit(argv[2]));
    }
    TestLoOrphan test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lo_orphan.moc"
