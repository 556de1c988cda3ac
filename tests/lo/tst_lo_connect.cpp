// The main window's server: found as the running one, and replaced after it was killed.
#include "lofixture.h"

#include "office/automation/automationerror.h"
#include "office/automation/oleserver.h"
#include "office/tiword.h"

#include <QTest>

#include <csignal>

using namespace velmora;
using namespace velmora::test;

class TestLoConnect : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<LoEnvironment>(); }

    void runningServer_isFoundUntilItQuits() {
        const QString word = QStringLiteral("Word.Application");
        QVERIFY(!IsOleServerRunning(word));
        {
            TiWord first(false);
            QVERIFY(first.Created());
            QVERIFY(IsOleServerRunning(word));
            TiWord second(false);
            QVERIFY(!second.Created());
            first.CreateNewDoc();
            QCOMPARE(second.OpenedDocs(), 1);
            second.CloseAllFiles();
        }
        QVERIFY(!IsOleServerRunning(word));
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 10000);
    }

    void killedServer_isReplacedByTheNextWrapper() {
        auto word = std::make_unique<TiWord>(false);
        word->CreateNewDoc();
        const QList<qint64> pids = OfficeProcessesUnder(env->root());
        QCOMPARE(pids.size(), 1);
        ::kill(pid_t(pids.first()), SIGKILL);
        // The main window's rule: a failing call means the server is gone; a new wrapper starts another.
        try {
            word->DocIsOpen(QStringLiteral("/nowhere.docx"));
            QFAIL("a dead server answered");
        } catch (const AutomationError& e) {
            QCOMPARE(e.fault(), AutomationFault::Disconnected);
        }
        QVERIFY_THROWS_EXCEPTION(AutomationError, word->OpenedDocs());
        QVERIFY(!IsOleServerRunning(QStringLiteral("Word.Application")));
        word = std::make_unique<TiWord>(false);
        QVERIFY(word->Created());
        QCOMPARE(word->OpenedDocs(), 0);
        word.reset();
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestLoConnect)
#include "tst_lo_connect.moc"
