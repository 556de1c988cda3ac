// velmoradb relink end to end: real documents read by the built-in reader, their caches written by index, the
// files moved and renamed on disk, then found again with the records' tags, score and cache.

#include "app/dbtool.h"
#include "store/librarylock.h"
#include "store/textcache.h"

#include "corpusappdata.h"
#include "dbtoolrun.h"
#include "libraryfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

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
