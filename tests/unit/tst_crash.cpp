// velmoradb killed at every write, sync, rename and unlink of its saves: the next opening must find exactly the
// library before the command or exactly the one after it, `check` must call it healthy, and the next change must
// work. A folder move and an import (run by crashdriver) killed the same way: after the next opening every
// record names the place its file really is, and every file whose import was done is in the library.

#include "app/dbtool.h"
#include "common/appfolder.h"
#include "store/movejournal.h"
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

// Runs program under strace with the when-th call of `call` killing it; true when the kill came (the run did
// not end before making that call so often).
bool runKilledAt(const QString& strace, const QString& program, const QStringList& args, const char* call, int when,
                 QByteArray* output = nullptr) {
    QProcess process;
    const QString inject = QStringLiteral("inject=%1:signal=KILL:when=%2").arg(QLatin1String(call)).arg(when);
    process.start(strace, QStringList{"-f", "-o", "/dev/null", "-e", inject, program} + args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    if (output != nullptr) {
        *output = process.readAllStandardOutput();
    }
    // strace ends the way its tracee ended: by the signal when the kill came.
    return process.exitStatus() == QProcess::CrashExit || process.exitCode() == 128 + 9;
}

// The library writes and file renames a move or an import makes, each a place to be killed.
const char* const kMoveCalls[] = {"write", "fsync", "rename", "renameat2", "link", "unlink"};

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
    QString m_driver;

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
        m_driver = QCoreApplication::applicationDirPath() + QStringLiteral("/crashdriver");
        QVERIFY(QFile::exists(m_driver));
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

    void moveKilledAnywhere_nextOpeningFinishesIt_data() {
        QTest::addColumn<bool>("across");
        QTest::newRow("one file system") << false;
        QTest::newRow("across file systems") << true;
    }
    void moveKilledAnywhere_nextOpeningFinishesIt() {
        QFETCH(bool, across);
        QTemporaryDir shm(QStringLiteral("/dev/shm/velmora-XXXXXX"));
        if (across && !shm.isValid()) {
            QSKIP("no /dev/shm: no second file system to move across");
        }
        const QString run = m_work.filePath(QStringLiteral("move"));
        const QString appdata = run + QStringLiteral("/appdata/");
        const QString source = run + QStringLiteral("/src/");
        const QString target = (across ? shm.path() : run) + QStringLiteral("/dst/");
        const QStringList names{"甲.docx", "乙.doc", "丙.doc"};
        // Three documents with text caches in the library, and the target folder empty.
        auto prepare = [&] {
            QDir(run).removeRecursively();
            QDir(target).removeRecursively();
            for (const QString& folder : {appdata, source, target}) {
                QDir().mkpath(folder);
            }
            SetAppDataFolder(appdata);
            TWordMgr store(appdata + QStringLiteral("worddata.data"));
            for (const QString& name : names) {
                WriteBytes(source + name, name.toUtf8().repeated(1000));
                store.ImportAWord(source + name, QString(), QString(), 0);
                WriteTextCache(source + name, QStringLiteral("正文 ") + name);
            }
            store.SaveRecDataFiles(false);
            SetAppDataFolder({});
        };
        int kills = 0;
        for (const char* call : kMoveCalls) {
            for (int when = 1;; ++when) {
                prepare();
                const bool killed = runKilledAt(m_strace, m_driver, {"move", appdata, target}, call, when);
                const QString where = QStringLiteral("%1 #%2").arg(QLatin1String(call)).arg(when);
                kills += killed ? 1 : 0;
                SetAppDataFolder(appdata);
                QStringList recorded;
                {
                    // The next opening for writing.
                    TWordMgr store(appdata + QStringLiteral("worddata.data"));
                    for (int k = 0; k < names.size(); ++k) {
                        recorded.append(store.GetDocNameByPos(qint64(k) * TWordMgr::RecSize()));
                    }
                }
                for (int k = 0; k < names.size(); ++k) {
                    const QString name = names.at(k);
                    const bool moved = recorded.at(k) == target + name;
                    const QString other = moved ? source + name : target + name;
                    QVERIFY2(moved || recorded.at(k) == source + name, qPrintable(where + u' ' + recorded.at(k)));
                    QVERIFY2(QFileInfo(recorded.at(k)).isFile(),
                             qPrintable(where + QStringLiteral(": record at ") + recorded.at(k) +
                                        QStringLiteral(", no file")));
                    QVERIFY2(!QFileInfo::exists(other), qPrintable(where + QStringLiteral(": also at ") + other));
                    QCOMPARE(ReadBytes(recorded.at(k)), name.toUtf8().repeated(1000));
                    QVERIFY2(ReadTextCache(recorded.at(k)).trimmed() == QStringLiteral("正文 ") + name,
                             qPrintable(where + QStringLiteral(": text cache left behind for ") + name));
                    QVERIFY2(!HasTextCache(other), qPrintable(where + QStringLiteral(": text cache at ") + other));
                    if (!killed) {
                        QVERIFY(moved);
                    }
                }
                SetAppDataFolder({});
                const QStringList copies =
                    QDir(target).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".velmora-move-"));
                QVERIFY2(copies.isEmpty(), qPrintable(where + u' ' + copies.join(u' ')));
                QVERIFY2(!QFileInfo::exists(MoveJournalFile(appdata + QStringLiteral("worddata.data"))),
                         qPrintable(where + QStringLiteral(": journal left")));
                QVERIFY2(runInProcess({"--appdata", appdata, "check"}) == 0, qPrintable(where));
                if (!killed) {
                    break;
                }
            }
        }
        QVERIFY(kills > 0);
        qInfo("%d kills", kills);
    }

    // relink writes its journal, the records and the moved text caches: killed anywhere, the next opening leaves
    // every record at its old path with the cache there, or at its new path with the cache moved along.
    void relinkKilledAnywhere_nextOpeningFinishesIt() {
        const QString run = m_work.filePath(QStringLiteral("relink"));
        const QString saved = m_work.filePath(QStringLiteral("relink-template"));
        const QString appdata = run + QStringLiteral("/appdata/");
        const QStringList from{run + QStringLiteral("/src/甲.docx"), run + QStringLiteral("/src/乙.docx")};
        // The second one renamed too: found by its text.
        const QStringList to{run + QStringLiteral("/dst/a/甲.docx"), run + QStringLiteral("/dst/b/renamed.docx")};
        const auto copyTree = [](const QString& source, const QString& target) {
            for (const QString& folder : QStringList{"appdata", "appdata/doctext", "dst/a", "dst/b"}) {
                copyFolder(source + u'/' + folder, target + u'/' + folder);
            }
        };
        // Indexed by the tool, so that each cache holds what the reader reads; then the files moved away.
        QDir().mkpath(run + QStringLiteral("/src"));
        const QString corpus = qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/corpus/");
        QVERIFY(QFile::copy(corpus + QStringLiteral("chinese.docx"), from.at(0)));
        QVERIFY(QFile::copy(corpus + QStringLiteral("latin.docx"), from.at(1)));
        QDir().mkpath(appdata);
        QCOMPARE(runInProcess({"--appdata", appdata, "add", from.at(0), from.at(1), "--tags", "标签"}), 0);
        QCOMPARE(QProcess::execute(m_tool, {"--appdata", appdata, "index", "--all"}), 0);
        for (int k = 0; k < 2; ++k) {
            QDir().mkpath(QFileInfo(to.at(k)).absolutePath());
            QVERIFY(QFile::rename(from.at(k), to.at(k)));
        }
        copyTree(run, saved);
        int kills = 0;
        for (const char* call : kMoveCalls) {
            for (int when = 1;; ++when) {
                QDir(run).removeRecursively();
                copyTree(saved, run);
                QByteArray output;
                const bool killed =
                    runKilledAt(m_strace, m_tool, {"--appdata", appdata, "relink", run + "/dst"}, call, when, &output);
                const QString where = QStringLiteral("%1 #%2").arg(QLatin1String(call)).arg(when);
                kills += killed ? 1 : 0;
                SetAppDataFolder(appdata);
                {
                    TWordMgr store(appdata + QStringLiteral("worddata.data"));
                    for (int k = 0; k < 2; ++k) {
                        const QString recorded = store.GetDocNameByPos(qint64(k) * TWordMgr::RecSize());
                        const bool moved = recorded == to.at(k);
                        QVERIFY2(moved || recorded == from.at(k), qPrintable(where + u' ' + recorded));
                        QVERIFY2(moved || killed, qPrintable(where + QStringLiteral(": not relinked: ") + output));
                        QVERIFY2(HasTextCache(recorded) && !HasTextCache(moved ? from.at(k) : to.at(k)),
                                 qPrintable(where + QStringLiteral(": the text cache did not follow ") + recorded));
                        QCOMPARE(store.ReadAStrItem(qint64(k) * TWordMgr::RecSize(), wdiTags, true),
                                 QStringLiteral("标签"));
                    }
                }
                QVERIFY2(!QFileInfo::exists(MoveJournalFile(appdata + QStringLiteral("worddata.data"))),
                         qPrintable(where + QStringLiteral(": journal left")));
                SetAppDataFolder({});
                const QStringList leftovers = QDir(appdata).entryList({"*.new", "*.commit", "*.tmp"}, QDir::Files);
                QVERIFY2(leftovers.isEmpty(), qPrintable(where + u' ' + leftovers.join(u' ')));
                if (!killed) {
                    break;
                }
            }
        }
        QVERIFY(kills > 0);
        qInfo("%d kills", kills);
    }

    void importKilledAnywhere_keepsEveryFileDone() {
        const QStringList files{docPath("n1.docx"), docPath("n2.doc"), docPath("n3.docx")};
        const QString corpus = qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/corpus/");
        for (const QString& file : files) {
            QFile::remove(file);
            QVERIFY(
                QFile::copy(corpus + (file.endsWith(QLatin1String(".doc")) ? "chinese.doc" : "chinese.docx"), file));
        }
        int kills = 0;
        for (const char* call : {"write", "fsync", "rename", "unlink"}) {
            for (int when = 1;; ++when) {
                const QString folder = freshLibrary(QStringLiteral("imported"));
                QByteArray output;
                const bool killed =
                    runKilledAt(m_strace, m_driver, QStringList{"import", folder} + files, call, when, &output);
                const QString where = QStringLiteral("%1 #%2").arg(QLatin1String(call)).arg(when);
                QStringList saved;
                for (const QByteArray& line : output.split('\n')) {
                    if (line.startsWith("done ")) {
                        saved.append(QString::fromUtf8(line.mid(5)));
                    }
                }
                if (!killed) {
                    QCOMPARE(saved, files);
                }
                {
                    TWordMgr store(folder + QStringLiteral("/worddata.data"));
                    for (const QString& file : std::as_const(saved)) {
                        QVERIFY2(store.DocInBase(file), qPrintable(where + QStringLiteral(": lost ") + file));
                    }
                }
                QVERIFY2(runInProcess({"--appdata", folder, "check"}) == 0, qPrintable(where));
                const QStringList leftovers = QDir(folder).entryList({"*.new", "*.commit", "*.tmp"}, QDir::Files);
                QVERIFY2(leftovers.isEmpty(), qPrintable(where + u' ' + leftovers.join(u' ')));
                if (!killed) {
                    break;
                }
                ++kills;
            }
        }
        QVERIFY(kills > 0);
        qInfo("%d kills", kills);
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
