// Private offices of import and search: their own headless soffice, never the main one, never ending a document of
// the main one, and never outliving the program that started them, even when it is killed.
#include "lofixture.h"

#include "office/automation/oleserver.h"
#include "office/tiword.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <csignal>

using namespace velmora;
using namespace velmora::test;

namespace {

const char kHolder[] = "--hold-private-office";

// A Velmora that holds a private server with a document open until it is killed.
int RunHolder(const QString& document) {
    LoEnvironment::registerServers();
    TiWord word(true);
    word.OpenWordFile(document, QString(), false);
    SayReadyAndWait();
    return 0;
}

} // namespace

class TestLoPrivate : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;

    // Private offices keep their profiles under the temporary folder, the main one under the cache folder.
    QList<qint64> privateOffices() const { return OfficeProcessesUnder(env->path(QStringLiteral("tmp"))); }

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<LoEnvironment>(); }
    void cleanupTestCase() { QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 20000); }

    // The probe's order: private first, then the window's server, then the private one freed.
    void privateFirst_windowsDocumentSurvives() {
        const QString imported = WriteTextFile(env->path(QStringLiteral("导入.txt")), {QStringLiteral("导入的文字")});
        const QString own = WriteTextFile(env->path(QStringLiteral("用户.txt")), {QStringLiteral("用户的文字")});
        auto search = std::make_unique<TiWord>(true);
        search->OpenWordFile(imported, QString(), false);
        QVERIFY(!IsOleServerRunning(QStringLiteral("Word.Application")));
        QCOMPARE(privateOffices().size(), 1);

        TiWord window(false);
        QVERIFY(window.Created());
        QCOMPARE(window.OpenedDocs(), 0);
        window.OpenWordFile(own, QString(), false);
        window.ReplaceAll(QStringLiteral("用户"), QStringLiteral("未保存"));
        QCOMPARE(search->OpenedDocs(), 1);

        search.reset();
        QTRY_VERIFY_WITH_TIMEOUT(privateOffices().isEmpty(), 20000);
        QCOMPARE(window.OpenedDocs(), 1);
        QVERIFY(window.DocChanged(own));
        QCOMPARE(window.GetDocText(), QStringLiteral("未保存的文字\r"));
        // A later private server is again one of its own.
        TiWord reader(true);
        QCOMPARE(reader.OpenedDocs(), 0);
        window.GiveupSave();
        window.CloseAllFiles();
    }

    // A document whose path holds Chinese opens in an office started in any locale: one the machine has, and one it
    // has not generated (the office would take its file names for ASCII).
    void chinesePath_opensInAnyLocale_data() {
        QTest::addColumn<QByteArray>("locale");
        QTest::newRow("C.UTF-8") << QByteArray("C.UTF-8");
        QTest::newRow("not generated") << QByteArray("xx_NOWHERE.UTF-8");
        QTest::newRow("plain C") << QByteArray("C");
    }
    void chinesePath_opensInAnyLocale() {
        QFETCH(QByteArray, locale);
        const QByteArray before = qgetenv("LC_ALL");
        qputenv("LC_ALL", locale);
        const auto restore = qScopeGuard([&] { qputenv("LC_ALL", before); });
        const QString path =
            WriteTextFile(env->path(QStringLiteral("中文目录-%1.txt").arg(QString::fromLatin1(locale))),
                          {QStringLiteral("中文内容")});
        TiWord word(true);
        word.OpenWordFile(path, QString(), true);
        QCOMPARE(word.GetDocText(), QStringLiteral("中文内容\r"));
    }

    void killedProgram_takesItsPrivateOfficeAlong() {
        const QString document = WriteTextFile(env->path(QStringLiteral("持有.txt")), {QStringLiteral("持有")});
        QProcess holder;
        QCOMPARE(StartChildVelmora(holder, {QLatin1String(kHolder), document}), QByteArray("ready\n"));
        QCOMPARE(privateOffices().size(), 1);
        ::kill(pid_t(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished(20000));
        QTRY_VERIFY_WITH_TIMEOUT(privateOffices().isEmpty(), 5000);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kHolder) == 0) {
        return RunHolder(QString::fromLocal8Bit(argv[2]));
    }
    TestLoPrivate test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lo_private.moc"
