// Two Velmoras of one user share the main Word server: the second attaches to the soffice that the first one
// started, even when the second was started first, and must neither end it nor keep using it once it is gone. The first
// Velmora is this executable run again as a child process.
#include "lofixture.h"

#include "office/automation/oleserver.h"
#include "office/tiword.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kWord = QStringLiteral("Word.Application");
const char kFirstVelmora[] = "--first-velmora";

// The first Velmora: starts the main server, opens one document in it and keeps both until told to end.
int RunFirstVelmora(const QString& document) {
    LoEnvironment::registerServers();
    {
        TiWord word(false);
        if (!word.Created()) {
            std::fputs("not the main server\n", stdout);
            return 1;
        }
        word.OpenWordFile(document, QString(), false);
        SayReadyAndWait();
    }
    return 0;
}

} // namespace

class TestLoAttach : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;
    QProcess first;
    QString firstDocument;

private Q_SLOTS:
    void initTestCase() {
        // This Velmora starts before the first one has started its office: it must find that office later.
        env = std::make_unique<LoEnvironment>(false);
        LoEnvironment::registerServers();
        QVERIFY(!IsOleServerRunning(kWord));
        firstDocument = WriteTextFile(env->path(QStringLiteral("第一个.txt")), {QStringLiteral("第一个程序的文档")});
        // The child inherits the profile and cache folders, which name the main server's pipe.
        QCOMPARE(StartChildVelmora(first, {QLatin1String(kFirstVelmora), firstDocument}), QByteArray("ready\n"));
    }
    void cleanupTestCase() {
        if (first.state() != QProcess::NotRunning) {
            first.write("end\n");
            first.waitForFinished(20000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 10000);
    }

    void secondVelmora_attachesAndLeavesTheServerRunning() {
        QVERIFY(IsOleServerRunning(kWord));
        const QString own = WriteTextFile(env->path(QStringLiteral("第二个.txt")), {QStringLiteral("第二个程序")});
        {
            TiWord word(false);
            QVERIFY(!word.Created());
            QCOMPARE(word.OpenedDocs(), 1);
            QVERIFY(word.DocIsOpen(firstDocument));
            QCOMPARE(word.GetDocTextByName(firstDocument), QStringLiteral("第一个程序的文档\r"));
            word.OpenWordFile(own, QString(), false);
            QCOMPARE(word.OpenedDocs(), 2);
            word.CloseWordFileByName(own);
        }
        // Letting go of the wrapper and its documents must not end an office that the first Velmora runs.
        QCOMPARE(OfficeProcessesUnder(env->root()).size(), 1);
        QVERIFY(IsOleServerRunning(kWord));
        TiWord again(false);
        QVERIFY(!again.Created());
        QCOMPARE(again.OpenedDocs(), 1);
    }

    void firstVelmoraQuits_serverIsGoneHereToo() {
        first.write("end\n");
        QVERIFY(first.waitForFinished(20000));
        QCOMPARE(first.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 10000);
        // The reconnect rule of the main window: no running server, so the next wrapper starts a main one here.
        QTRY_VERIFY_WITH_TIMEOUT(!IsOleServerRunning(kWord), 5000);
        TiWord word(false);
        QVERIFY(word.Created());
        QVERIFY(IsOleServerRunning(kWord));
        QCOMPARE(word.OpenedDocs(), 0);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kFirstVelmora) == 0) {
        return RunFirstVelmora(QString::fromLocal8Bit(argv[2]));
    }
    TestLoAttach test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lo_attach.moc"
