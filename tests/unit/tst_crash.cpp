// velmoradb killed at every write, sync, rename and unlink of its saves: the next opening must find exactly the
// library before the command or exactly the one after it, `check` must call it healthy, and the next change must
// work.

#include "app/dbtool.h"
#include "common/appfolder.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tempappdata.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Pair {
    QByteArray records;
    QByteArray strings;
    bool operator==(const Pair&) const = default;
};

int runInProcess(const QStringList& args) {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    return RunDbTool(args, outStream, errStream);
}

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files)) {
        QFile::copy(from + u'/' + name, to + u'/' + name);
    }
}

} // namespace

class TestCrash : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_strace;
    QString m_tool;
    QString m_template;

    QString docPath(const char* name) const { return m_work.filePath(QStringLiteral("docs/")) + QLatin1String(name); }

    // The pair an opening that may write sees (it completes or undoes an interrupted switch first).
    static Pair openPair(const QString& folder) {
        const TWordMgr store(folder + QStringLiteral("/worddata.data"));
        return {store.RecStream(), store.DataStream()};
    }

    QString freshLibrary(const QString& name) const {
        const QString folder = m_work.filePath(name);
        QDir(folder).removeRecursively();
        copyFolder(m_template, folder);
        return folder;
    }

private Q_SLOTS:
    void initTestCase() {
        m_strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (m_strace.isEmpty()) {
            QSKIP("strace is not installed (scripts/setup.sh installs it)");
        }
        m_tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../velmoradb");
        QVERIFY(QFile::exists(m_tool));
        QDir().mkpath(m_work.filePath(QStringLiteral("docs")));
        // Real documents, so that `index` writes their caches.
        const QString corpus = qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/corpus/");
        QVERIFY(QFile::copy(corpus + QStringLiteral("chinese.docx"), docPath("a.docx")));
        QVERIFY(QFile::copy(corpus + QStringLiteral("chinese.doc"), docPath("b.doc")));
        for (const char* name : {"c.doc", "d.doc"}) {
            WriteBytes(docPath(name), "not a word file");
        }
        // The library every run starts from: three records, one deleted, tags and a password.
        m_template = m_work.filePath(QStringLiteral("template"));
        QDir().mkpath(m_template);
        const QStringList appdata{QStringLiteral("--appdata"), m_template};
        QCOMPARE(runInProcess(appdata + QStringList{"add", docPath("a.docx"), "--tags", "甲 乙", "--password", "p"}),
                 0);
        QCOMPARE(runInProcess(appdata + QStringList{"add", docPath("b.doc"), docPath("c.doc")}), 0);
        QCOMPARE(runInProcess(appdata + QStringList{"remove", docPath("c.doc")}), 0);
    }

    void killAtEverySaveStep_data() {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("add") << QStringList{"add", docPath("d.doc"), "--tags", "丙"};
        QTest::newRow("remove") << QStringList{"remove", docPath("a.docx")};
        QTest::newRow("restore") << QStringList{"restore", "--all"};
        QTest::newRow("purge") << QStringList{"purge"};
        QTest::newRow("compact") << QStringList{"compact"};
        QTest::newRow("index") << QStringList{"index", docPath("a.docx"), docPath("b.doc")};
    }
    void killAtEverySaveStep() {
        QFETCH(QStringList, command);
        const QString done = freshLibrary(QStringLiteral("done"));
        QCOMPARE(runInProcess(QStringList{"--appdata", done} + command) == 2, false);
        const Pair before = openPair(m_template);
        const Pair after = openPair(done);
        int kills = 0;
        for (const char* call : {"write", "fsync", "rename", "unlink"}) {
            for (int when = 1;; ++when) {
                const QString folder = freshLibrary(QStringLiteral("killed"));
                QProcess process;
                const QString inject =
                    QStringLiteral("inject=%1:signal=KILL:when=%2").arg(QLatin1String(call)).arg(when);
                process.start(m_strace,
                              QStringList{"-f", "-o", "/dev/null", "-e", inject, m_tool, "--appdata", folder} +
                                  command);
                QVERIFY(process.waitForFinished(60000));
                // strace ends the way its tracee ended: by the signal when the kill came.
                const bool killed = process.exitStatus() == QProcess::CrashExit || process.exitCode() == 128 + 9;
                if (!killed) {
                    // This call was never made a `when`-th time: every step of the save was tried.
                    break;
                }
                ++kills;
                const QString where = QStringLiteral("%1 #%2").arg(QLatin1String(call)).arg(when);
                const Pair found = openPair(folder);
                QVERIFY2(found == before || found == after, qPrintable(where + QStringLiteral(": a mixed library")));
                const QStringList appdata{QStringLiteral("--appdata"), folder};
                QVERIFY2(runInProcess(appdata + QStringList{"check"}) == 0, qPrintable(where));
                if (command.first() == QLatin1String("index")) {
                    // A cache file is either whole or not there.
                    SetAppDataFolder(folder);
                    for (const char* name : {"a.docx", "b.doc"}) {
                        if (HasTextCache(docPath(name))) {
                            QVERIFY_THROWS_NO_EXCEPTION(ReadTextCache(docPath(name)));
                        }
                    }
                    SetAppDataFolder({});
                }
                const QStringList leftovers = QDir(folder).entryList({"*.new", "*.commit", "*.tmp"}, QDir::Files);
                QVERIFY2(leftovers.isEmpty(), qPrintable(where + u' ' + leftovers.join(u' ')));
                QVERIFY2(runInProcess(appdata + QStringList{"restore", "--all"}) == 0, qPrintable(where));
                QVERIFY2(runInProcess(appdata + QStringList{"check"}) == 0, qPrintable(where));
            }
        }
        QVERIFY(kills > 0);
        qInfo("%d kills", kills);
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
