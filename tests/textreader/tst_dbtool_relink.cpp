// velmoradb relink end to end: real documents read by the built-in reader, their caches written by index, the
// files moved and renamed on disk, then found again with the records' tags, score and cache.

#include "app/dbtool.h"
#include "store/librarylock.h"
#include "store/movejournal.h"
#include "store/textcache.h"
#include "store/wordmgr.h"

#include "corpusappdata.h"
#include "dbtoolrun.h"
#include "libraryfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

#include <cstdio>

#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

Run run(const QStringList& args) {
    return RunCaptured(args, &ReadDocumentText);
}

} // namespace

class TestDbToolRelink : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CorpusAppData> m_appData;

    void copyOfCorpus(const QString& corpusName, const QString& target) {
        QVERIFY(m_appData->copy(corpusName, target));
    }

    void move(const QString& from, const QString& to) {
        QDir().mkpath(QFileInfo(DocPath(to)).absolutePath());
        QVERIFY(QFile::rename(DocPath(from), DocPath(to)));
    }

    // Four indexed documents, a.docx tagged and scored; then a.docx moved, b.doc moved and renamed, c.docx gone,
    // d.docx copied twice.
    void layMovedLibrary() {
        copyOfCorpus(QStringLiteral("chinese.docx"), QStringLiteral("old/a.docx"));
        copyOfCorpus(QStringLiteral("latin.doc"), QStringLiteral("old/b.doc"));
        copyOfCorpus(QStringLiteral("table.docx"), QStringLiteral("old/c.docx"));
        copyOfCorpus(QStringLiteral("field.docx"), QStringLiteral("old/d.docx"));
        QCOMPARE(run({"add", DocPath("old/a.docx"), "--tags", "历史", "--score", "5"}).status, 0);
        QCOMPARE(run({"add", DocPath("old/b.doc"), DocPath("old/c.docx"), DocPath("old/d.docx")}).status, 0);
        QCOMPARE(run({"index", "--all"}).status, 0);
        move(QStringLiteral("old/a.docx"), QStringLiteral("new/x/a.docx"));
        move(QStringLiteral("old/b.doc"), QStringLiteral("new/y/Latin notes.doc"));
        QVERIFY(QFile::remove(DocPath(QStringLiteral("old/c.docx"))));
        copyOfCorpus(QStringLiteral("field.docx"), QStringLiteral("new/1/d.docx"));
        move(QStringLiteral("old/d.docx"), QStringLiteral("new/2/d.docx"));
    }

private Q_SLOTS:
    void init() { m_appData = std::make_unique<CorpusAppData>(); }
    void cleanup() { m_appData.reset(); }

    // Through the program, as a user runs it (velmoradb hands relink to velmoradb-index, which has the reader) and
    // without the right to pass any permission check: a folder it may not read is named and the run fails.
    void relink_dryRunThenForReal() {
        layMovedLibrary();
        QVERIFY(QFile::setPermissions(DocPath("new/y"), QFileDevice::Permissions()));
        QStringList command{QCoreApplication::applicationDirPath() + QStringLiteral("/../velmoradb")};
        if (::geteuid() == 0) {
            command = QStringList{"setpriv", "--bounding-set=-dac_override,-dac_read_search"} + command;
        }
        const auto relink = [&](const QStringList& args) {
            QProcess tool;
            tool.start(command.first(), command.mid(1) + QStringList{"--appdata", m_appData->path(), "relink"} + args);
            tool.waitForFinished(30000);
            return Run{tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()),
                       QString::fromUtf8(tool.readAllStandardError())};
        };
        const QString lines = QStringLiteral("relinked|0|%1|%2\n%3|35|%4%5\nnot found|70|%6\n"
                                             "ambiguous|105|%7|2 candidates\n");
        const QString dryLines =
            lines.arg(DocPath("old/a.docx"), DocPath("new/x/a.docx"), QStringLiteral("not found"), DocPath("old/b.doc"),
                      QString(), DocPath("old/c.docx"), DocPath("old/d.docx"));
        {
            // A dry run looks only, so the window holding the library does not stop it; a real run is refused.
            LibraryLock window(LibraryLock::Holder::Window);
            QVERIFY(window.tryLock());
            const Run dry = relink({"--dry-run", DocPath("new")});
            QCOMPARE(dry.out, dryLines);
            QCOMPARE(dry.err,
                     QStringLiteral("velmoradb: cannot read the folder %1: Permission denied\n").arg(DocPath("new/y")));
            QCOMPARE(dry.status, 1);
            const Run refused = relink({DocPath("new")});
            QVERIFY2(refused.status == 1 && refused.err.contains(QStringLiteral("open in the Velmora window")),
                     qPrintable(refused.err));
        }
        QFile::setPermissions(DocPath("new/y"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(run({"show", "35"}).out.section(u'\n', 0, 0), "path: " + DocPath("old/b.doc"));
        const Run real = relink({DocPath("new")});
        QCOMPARE(real.out, lines.arg(DocPath("old/a.docx"), DocPath("new/x/a.docx"), QStringLiteral("relinked"),
                                     DocPath("old/b.doc"), u'|' + DocPath("new/y/Latin notes.doc"),
                                     DocPath("old/c.docx"), DocPath("old/d.docx")));
        QCOMPARE(real.err, QString());
        QCOMPARE(real.status, 1);
        const QString shown = run({"show", "0"}).out;
        QVERIFY2(shown.startsWith("path: " + DocPath("new/x/a.docx") + "\ntags: 历史\n"), qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("\nscore: 5\n")));
        // The caches followed the records.
        QVERIFY(HasTextCache(DocPath("new/x/a.docx")) && !HasTextCache(DocPath("old/a.docx")));
        QVERIFY(HasTextCache(DocPath("new/y/Latin notes.doc")));
        QCOMPARE(run({"check"}).out.count(QStringLiteral("missing|")), 2);
    }

    // Each row a way a record could pass to a file that is not its own; %D is the documents' folder, and the
    // data folder lies below it.
    void hostile_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("status");
        const QString aOld = QStringLiteral("%Dold/a.docx");
        QTest::newRow("an empty namesake of a known text")
            << "empty" << QStringList{"relink", "%Dnew"} << "not found|0|" + aOld + "\n"
            << "" << 1;
        QTest::newRow("a namesake without text, not asked")
            << "noText" << QStringList{"relink", "%Dnew"} << "by name|0|" + aOld + "|%Dnew/a.docx\n"
            << "" << 1;
        QTest::newRow("a namesake without text, asked")
            << "noText" << QStringList{"relink", "--by-name", "%Dnew"} << "relinked|0|" + aOld + "|%Dnew/a.docx\n"
            << "" << 0;
        QTest::newRow("relinked through a linked folder")
            << "link" << QStringList{"relink", "%Dalink"} << "not found|35|" + aOld + "\n"
            << "" << 1;
        QTest::newRow("added through a linked folder") << "link" << QStringList{"add", "%Dalink/a.docx"} << ""
                                                       << "velmoradb: already in the library: %Dalink/a.docx\n"
                                                       << 1;
        QTest::newRow("a folder renamed in letter case")
            << "case" << QStringList{"relink", "%D"} << "relinked|0|%DOld/a.docx|" + aOld + "\n"
            << "" << 0;
        QTest::newRow("a line feed in the name")
            << "lineFeed" << QStringList{"relink", "%Dnew"} << "not found|0|" + aOld + "\n"
            << "velmoradb: the path holds a control character: %Dnew/a\\n.docx\n"
            << 1;
        QTest::newRow("a name that is not UTF-8")
            << "latin1" << QStringList{"relink", "%Dnew"} << "not found|0|" + aOld + "\n"
            << "velmoradb: the file name is not valid UTF-8: %Dnew/\\xe9.docx\n"
            << 1;
        QTest::newRow("the data folder below the folder searched")
            << "help" << QStringList{"relink", "%D"} << "not found|0|%Dold/help.docx\n"
            << "" << 1;
        QTest::newRow("restored onto a file a live record holds")
            << "restore" << QStringList{"restore", aOld} << ""
            << "velmoradb: record 0 is not restored: record 35 holds " + aOld + "\n"
            << 1;
        QTest::newRow("check finds two live records on one file")
            << "twice" << QStringList{"check"} << "record 35: holds the same file as record 0: " + aOld + "\n"
            << "1 damaged place" << 1;
        QTest::newRow("check names what a killed move left")
            << "journal" << QStringList{"check"}
            << "missing|0|" + aOld + "\npending move|0|" + aOld + "|%Dnew/a.docx\n1 records checked, no damage found\n"
            << "the next change to the library gives 1 record the path its file moved to" << 1;
    }
    void hostile() {
        QFETCH(QString, situation);
        QFETCH(QStringList, command);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, status);
        const QString lib = DocPath(QStringLiteral("lib/"));
        QDir().mkpath(lib);
        const auto tool = [&](QStringList args) {
            args.replaceInStrings(QStringLiteral("%D"), DocPath(QString()));
            return run(QStringList{"--appdata", lib} + args);
        };
        const auto indexed = [&](const QString& name) {
            copyOfCorpus(QStringLiteral("chinese.docx"), name);
            QCOMPARE(tool({"add", DocPath(name)}).status, 0);
            QCOMPARE(tool({"index", "--all"}).status, 0);
        };
        if (situation == QLatin1String("empty")) {
            indexed(QStringLiteral("old/a.docx"));
            move(QStringLiteral("old/a.docx"), QStringLiteral("kept/a.docx"));
            QDir().mkpath(DocPath(QStringLiteral("new")));
            WriteBytes(DocPath(QStringLiteral("new/a.docx")), QByteArray());
        } else if (situation == QLatin1String("noText")) {
            copyOfCorpus(QStringLiteral("chinese.docx"), QStringLiteral("old/a.docx"));
            QCOMPARE(tool({"add", DocPath(QStringLiteral("old/a.docx"))}).status, 0);
            move(QStringLiteral("old/a.docx"), QStringLiteral("new/a.docx"));
        } else if (situation == QLatin1String("link")) {
            copyOfCorpus(QStringLiteral("chinese.docx"), QStringLiteral("a/a.docx"));
            QCOMPARE(tool({"add", DocPath(QStringLiteral("a/a.docx"))}).status, 0);
            indexed(QStringLiteral("old/a.docx"));
            QVERIFY(QFile::remove(DocPath(QStringLiteral("old/a.docx"))));
            QVERIFY(QFile::link(DocPath(QStringLiteral("a")), DocPath(QStringLiteral("alink"))));
        } else if (situation == QLatin1String("case")) {
            indexed(QStringLiteral("Old/a.docx"));
            QVERIFY(QDir().rename(DocPath(QStringLiteral("Old")), DocPath(QStringLiteral("old"))));
        } else if (situation == QLatin1String("lineFeed") || situation == QLatin1String("latin1")) {
            indexed(QStringLiteral("old/a.docx"));
            QDir().mkpath(DocPath(QStringLiteral("new")));
            const QByteArray name = QFile::encodeName(DocPath(QStringLiteral("new/"))) +
                                    (situation == QLatin1String("latin1") ? "\xe9.docx" : "a\n.docx");
            QCOMPARE(::rename(QFile::encodeName(DocPath(QStringLiteral("old/a.docx"))).constData(), name.constData()),
                     0);
        } else if (situation == QLatin1String("help")) {
            indexed(QStringLiteral("old/help.docx"));
            QVERIFY(QFile::rename(DocPath(QStringLiteral("old/help.docx")), lib + QStringLiteral("help.docx")));
        } else if (situation == QLatin1String("restore")) {
            copyOfCorpus(QStringLiteral("chinese.docx"), QStringLiteral("old/a.docx"));
            for (const char* step : {"add", "remove", "add"}) {
                QCOMPARE(tool({QString::fromLatin1(step), DocPath(QStringLiteral("old/a.docx"))}).status, 0);
            }
        } else if (situation == QLatin1String("journal")) {
            copyOfCorpus(QStringLiteral("chinese.docx"), QStringLiteral("old/a.docx"));
            QCOMPARE(tool({"add", DocPath(QStringLiteral("old/a.docx"))}).status, 0);
            WriteMoveJournal(lib + QStringLiteral("worddata.data"),
                             {{0, DocPath(QStringLiteral("old/a.docx")), DocPath(QStringLiteral("new/a.docx"))}});
            move(QStringLiteral("old/a.docx"), QStringLiteral("new/a.docx"));
        } else if (situation == QLatin1String("twice")) {
            copyOfCorpus(QStringLiteral("chinese.docx"), QStringLiteral("old/a.docx"));
            TWordMgr library(lib + QStringLiteral("worddata.data"));
            library.ImportAWord(DocPath(QStringLiteral("old/a.docx")), {}, {}, 0);
            library.ImportAWord(DocPath(QStringLiteral("old/a.docx")), {}, {}, 0);
        }
        const Run result = tool(command);
        QCOMPARE(result.out, QString(out).replace(QStringLiteral("%D"), DocPath(QString())));
        if (err.isEmpty() || err.endsWith(u'\n')) {
            QCOMPARE(result.err, QString(err).replace(QStringLiteral("%D"), DocPath(QString())));
        } else {
            QVERIFY2(result.err.contains(err), qPrintable(result.err));
        }
        QCOMPARE(result.status, status);
    }

    void relink_usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("no folder") << QStringList{"relink"} << 2 << "relink needs at least one FOLDER";
        QTest::newRow("unknown option") << QStringList{"relink", "--force", "/tmp"} << 2 << "--force";
        QTest::newRow("not a folder") << QStringList{"relink", "/nonexistent/folder"} << 1
                                      << "velmoradb: not a folder: /nonexistent/folder\n";
    }
    void relink_usage() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        layMovedLibrary();
        const Run result = run(args);
        QCOMPARE(result.status, status);
        QVERIFY2(result.err.contains(err), qPrintable(result.err));
        QCOMPARE(result.out, QString());
    }
};

QTEST_GUILESS_MAIN(TestDbToolRelink)
#include "tst_dbtool_relink.moc"
