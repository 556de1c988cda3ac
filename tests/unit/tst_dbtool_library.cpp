// velmoradb and the library's home: which data folder it uses, and what it refuses to do to a damaged library.

#include "app/dbtool.h"
#include "filesizelimit.h"
#include "storebytes.h"
#include "tempappdata.h"

#include "dbtoolrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <sys/stat.h>

using namespace velmora;
using namespace velmora::test;

namespace {

Run run(const QStringList& args) {
    return RunCaptured(args);
}

} // namespace

class TestDbToolLibrary : public QObject {
    Q_OBJECT

private:
    static QString tool() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../velmoradb"); }

private Q_SLOTS:
    // The order: --appdata, VELMORA_APPDATA, appdata/ beside the program, $XDG_DATA_HOME/velmora, ~/.local/share.
    void dataFolder_chosenInOrder_data() {
        QTest::addColumn<bool>("option");
        QTest::addColumn<bool>("environment");
        QTest::addColumn<bool>("portable");
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("expected");
        QTest::newRow("option beats all") << true << true << true << "xdg"
                                          << "option";
        QTest::newRow("environment beats portable") << false << true << true << "xdg"
                                                    << "env";
        QTest::newRow("portable beats xdg") << false << false << true << "xdg"
                                            << "bin/appdata";
        QTest::newRow("xdg") << false << false << false << "xdg"
                             << "xdg/velmora";
        QTest::newRow("home without xdg") << false << false << false << ""
                                          << "home/.local/share/velmora";
        QTest::newRow("relative xdg is ignored") << false << false << false << "rel"
                                                 << "home/.local/share/velmora";
    }
    void dataFolder_chosenInOrder() {
        QFETCH(bool, option);
        QFETCH(bool, environment);
        QFETCH(bool, portable);
        QFETCH(QString, xdg);
        QFETCH(QString, expected);
        QTemporaryDir root;
        const QString base = root.path() + u'/';
        // A copy of the program, so that a folder beside it can be made without touching the build.
        QVERIFY(QDir().mkpath(base + QStringLiteral("bin")));
        QVERIFY(QFile::copy(tool(), base + QStringLiteral("bin/velmoradb")));
        if (portable) {
            QVERIFY(QDir().mkpath(base + QStringLiteral("bin/appdata")));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), base + QStringLiteral("home"));
        env.remove(QStringLiteral("VELMORA_APPDATA"));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        if (environment) {
            env.insert(QStringLiteral("VELMORA_APPDATA"), base + QStringLiteral("env"));
        }
        if (xdg == QLatin1String("rel")) {
            env.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("relative/share"));
        } else if (!xdg.isEmpty()) {
            env.insert(QStringLiteral("XDG_DATA_HOME"), base + xdg);
        }
        QStringList args;
        if (option) {
            args << QStringLiteral("--appdata") << base + QStringLiteral("option");
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(base + QStringLiteral("bin/velmoradb"), args + QStringList{QStringLiteral("--help")});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.endsWith(QStringLiteral("Data folder in use: %1/\n").arg(base + expected)), qPrintable(out));

        // A change made with the default folder makes it, its owner's alone, with the delivered settings.
        if (!option && !environment && !portable) {
            QFile::copy(tool(), base + QStringLiteral("doc.doc"));
            process.start(base + QStringLiteral("bin/velmoradb"), {"add", base + QStringLiteral("doc.doc")});
            QVERIFY(process.waitForFinished());
            const QString folder = base + expected;
            struct stat facts {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &facts), 0);
            QCOMPARE(int(facts.st_mode & 07777), 0700);
            QVERIFY(QFile::exists(folder + QStringLiteral("/settings.ini")));
            QVERIFY(QFile::exists(folder + QStringLiteral("/worddata.idx")));
        }
    }

    // A save that fails (its second file cannot be made, or the disk is full) leaves both files as they were,
    // says so once, and the library stays healthy for the next command.
    void failedWrite_changesNothingAndSaysSoOnce_data() {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("blocked"); // a folder at this name makes its creation fail; none: disk full
        QTest::newRow("add, new record file") << QStringList{"add", "d.doc"} << "worddata.idx.new";
        QTest::newRow("add, commit marker") << QStringList{"add", "d.doc"} << "worddata.commit";
        QTest::newRow("compact, new string file") << QStringList{"compact"} << "worddata.data.new";
        QTest::newRow("remove, disk full") << QStringList{"remove", "a.doc"} << "";
        QTest::newRow("restore, disk full") << QStringList{"restore", "--all"} << "";
        QTest::newRow("purge, disk full") << QStringList{"purge"} << "";
    }
    void failedWrite_changesNothingAndSaysSoOnce() {
        QFETCH(QStringList, command);
        QFETCH(QString, blocked);
        const TempAppData appData;
        for (const char* name : {"a.doc", "b.doc", "c.doc", "d.doc"}) {
            WriteBytes(appData.file(QString::fromLatin1(name)), "x");
        }
        const auto withPaths = [&](QStringList args) {
            for (QString& arg : args) {
                arg = arg.endsWith(QLatin1String(".doc")) ? appData.file(arg) : arg;
            }
            return args;
        };
        QCOMPARE(run(withPaths({"add", "a.doc", "--tags", "甲", "--password", "p"})).status, 0);
        QCOMPARE(run(withPaths({"add", "b.doc", "c.doc"})).status, 0);
        QCOMPARE(run(withPaths({"remove", "c.doc"})).status, 0);
        const QByteArray records = ReadBytes(appData.file(QStringLiteral("worddata.idx")));
        const QByteArray strings = ReadBytes(appData.file(QStringLiteral("worddata.data")));
        Run result;
        if (blocked.isEmpty()) {
            const FileSizeLimit limit(50);
            result = run(withPaths(command));
        } else {
            QVERIFY(QDir().mkpath(appData.file(blocked + QStringLiteral("/x"))));
            result = run(withPaths(command));
            QVERIFY(QDir(appData.file(blocked)).removeRecursively());
        }
        QCOMPARE(result.status, 1);
        QCOMPARE(result.err.count(QStringLiteral("velmoradb:")), 1);
        QCOMPARE(ReadBytes(appData.file(QStringLiteral("worddata.idx"))), records);
        QCOMPARE(ReadBytes(appData.file(QStringLiteral("worddata.data"))), strings);
        QCOMPARE(run({"check"}).status, 0);
        QCOMPARE(run(withPaths(command)).status, 0);
    }

    // A record that points outside the string file: rewriting commands refuse and change nothing, show fails.
    void damagedLibrary_refusesRewrite_data() {
        QTest::addColumn<QByteArray>("strings");
        QTest::addColumn<qint32>("tags");
        QTest::newRow("string file missing") << QByteArray() << -1;
        QTest::newRow("tags past the end") << item(QStringLiteral("/d/a.doc")) << 400;
        QTest::newRow("tags offset negative") << item(QStringLiteral("/d/a.doc")) << -9;
    }
    void damagedLibrary_refusesRewrite() {
        QFETCH(QByteArray, strings);
        QFETCH(qint32, tags);
        const TempAppData appData;
        RecBytes rec{};
        rec.path = 0;
        rec.tags = tags;
        RecBytes deleted = rec;
        deleted.deleted = 1;
        const QByteArray records = rec.bytes() + deleted.bytes();
        WriteBytes(appData.file(QStringLiteral("worddata.idx")), records);
        if (!strings.isEmpty()) {
            WriteBytes(appData.file(QStringLiteral("worddata.data")), strings);
        }
        for (const QStringList& args : {QStringList{"compact"}, QStringList{"purge"}, QStringList{"show", "0"}}) {
            QString out;
            QString err;
            QTextStream outStream(&out);
            QTextStream errStream(&err);
            QCOMPARE(RunDbTool(args, outStream, errStream), 1);
            QVERIFY2(args.first() == QLatin1String("show") || err.contains(QStringLiteral("velmoradb check")),
                     qPrintable(err));
        }
        QCOMPARE(ReadBytes(appData.file(QStringLiteral("worddata.idx"))), records);
        QCOMPARE(ReadBytes(appData.file(QStringLiteral("worddata.data"))), strings);
    }
};

QTEST_GUILESS_MAIN(TestDbToolLibrary)
#include "tst_dbtool_library.moc"
