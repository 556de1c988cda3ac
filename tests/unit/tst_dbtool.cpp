#include "app/dbtool.h"
#include "common/datetime.h"
#include "store/librarylock.h"
#include "store/wordmgr.h"
#include "storebytes.h"
#include "tempappdata.h"

#include "dbtoolrun.h"
#include "libraryfiles.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QProcess>
#include <QSysInfo>
#include <QTest>
#include <QTextStream>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

class TestDbTool : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    QString m_docs;

    Run run(const QStringList& args) { return RunCaptured(args); }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_docs = DocPath(QString());
        QDir().mkpath(m_docs);
    }
    void cleanup() { m_appData.reset(); }

    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("first"); // the first line of the output, or of the error when not 0
        QTest::newRow("help") << QStringList{"--help"} << 0 << "usage: velmoradb [--appdata DIR] COMMAND [ARGS]";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "velmoradb " VELMORA_TEST_VERSION;
        QTest::newRow("no command") << QStringList{} << 2 << "velmoradb: no command given";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << "velmoradb: unknown command: frobnicate";
        QTest::newRow("appdata without value")
            << QStringList{"--appdata"} << 2 << "velmoradb: --appdata needs a folder";
        QTest::newRow("appdata empty") << QStringList{"--appdata", "", "stats"} << 2
                                       << "velmoradb: --appdata needs a folder";
        QTest::newRow("tags without query") << QStringList{"tags"} << 2 << "velmoradb: tags takes one QUERY, or --list";
        QTest::newRow("tag list and query")
            << QStringList{"tags", "--list", "--shift"} << 2 << "velmoradb: tags --list takes no other arguments";
        QTest::newRow("score out of range")
            << QStringList{"add", "/x.doc", "--score", "6"} << 2 << "velmoradb: --score takes 0 to 5";
        QTest::newRow("option without value")
            << QStringList{"add", "/x.doc", "--tags"} << 2 << "velmoradb: --tags needs a value";
        QTest::newRow("unknown option") << QStringList{"add", "/x.doc", "--colour", "red"} << 2
                                        << "velmoradb: unknown option: --colour";
        QTest::newRow("line break in tags") << QStringList{"add", "/x.doc", "--tags", "a\nb"} << 2
                                            << "velmoradb: --tags must not hold control characters (tags are "
                                               "separated by spaces)";
        QTest::newRow("date kind out of range")
            << QStringList{"filter", "date", "今天", "4"} << 2 << "velmoradb: KIND is 1, 2 or 3";
        QTest::newRow("unknown date window") << QStringList{"filter", "date", "明天", "1"} << 2
                                             << "velmoradb: unknown date window: 明天 (accepted: 今天, 三日内, "
                                                "一周内, 一月内)";
        QTest::newRow("unknown filter") << QStringList{"filter", "colour"} << 2
                                        << "velmoradb: unknown filter: colour (accepted: untagged, password, score N "
                                           "or date WINDOW KIND)";
        QTest::newRow("unknown score") << QStringList{"filter", "score", "6"} << 2
                                       << "velmoradb: unknown score: 6 (accepted: 0 to 5, 无星文档, 一星, 二星, 三星, "
                                          "四星, 五星)";
        QTest::newRow("show without a number")
            << QStringList{"show", "first"} << 2 << "velmoradb: POS is a record position, a number";
        QTest::newRow("restore nothing") << QStringList{"restore"} << 2 << "velmoradb: restore needs PATH... or --all";
        QTest::newRow("purge with arguments")
            << QStringList{"purge", "now"} << 2 << "velmoradb: purge takes no arguments";
        QTest::newRow("set without change")
            << QStringList{"set", "0"} << 2 << "velmoradb: set needs --tags, --add-tags or --score";
        QTest::newRow("set both tag options") << QStringList{"set", "0", "--tags", "a", "--add-tags", "b"} << 2
                                              << "velmoradb: --tags and --add-tags cannot be given together";
        QTest::newRow("set a password") << QStringList{"set", "0", "--password", "pw"} << 2
                                        << "velmoradb: set records no password: the library may only hold a password "
                                           "the file really has, so a password is given in Velmora's window, which "
                                           "sets it on the file too";
    }
    void usage() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, first);
        const Run result = run(args);
        QCOMPARE(result.status, status);
        const QStringList lines = (status == 0 ? result.out : result.err).split(u'\n');
        QCOMPARE(lines.first(), first);
        if (status == 2) {
            QCOMPARE(lines.mid(1), (QStringList{"(velmoradb --help lists the commands)", ""}));
        }
        QVERIFY(!QFile::exists(m_appData->file(QStringLiteral("worddata.idx"))));
    }

    void add_listsNewDocumentsAndSkipsMissingOrPresentOnes() {
        const QString a = WriteDoc(QStringLiteral("报告.docx"));
        const QString b = WriteDoc(QStringLiteral("b.doc"));
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
        QCOMPARE(store.ReadAStrItem(35, wdiTags, true), QStringLiteral("笔记 work "));
        QCOMPARE(store.ReadAStrItem(35, wdiPassword, false), QStringLiteral("pw"));
        QCOMPARE(store.WordRec().wdScore, quint8(4));
        QVERIFY(store.WordRec().wdArchive);
    }

    void listingCommands() {
        const QString a = WriteDoc(QStringLiteral("a.docx"));
        const QString b = WriteDoc(QStringLiteral("b.doc"));
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
        const QString a = WriteDoc(QStringLiteral("a.docx"));
        QCOMPARE(run({"add", a, "--tags", "t1 t2", "--password", "secret", "--score", "5"}).status, 0);
        const Run result = run({"show", "0"});
        QCOMPARE(result.status, 0);
        const QStringList lines = result.out.split(u'\n');
        QCOMPARE(lines.mid(0, 4), (QStringList{"path: " + a, "tags: t1 t2 ", "password: (set)", "score: 5"}));
        QVERIFY(lines.at(4).startsWith(QStringLiteral("created: 20")));
        QCOMPARE(lines.mid(5),
                 (QStringList{"accessed: never", "reads: 0", "edits: 0", "archive: 1", "deleted: 0", ""}));
        QVERIFY(run({"show", "0", "--show-password"}).out.contains(QStringLiteral("\npassword: secret\n")));
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
        const QString a = WriteDoc(QStringLiteral("a.docx"));
        const QString b = WriteDoc(QStringLiteral("b.doc"));
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
        QCOMPARE(lines.size(), 6);
        QVERIFY(lines.at(0).contains(QStringLiteral("not a multiple of 35")));
        QCOMPARE(lines.at(1), QStringLiteral("record 35: path: the string item at offset 0 gives a length of -8, which "
                                             "does not fit in the string file"));
        QCOMPARE(lines.at(2),
                 QStringLiteral("record 70: tags: string item offset 500 lies outside the string file (12 bytes)"));
        // The records whose path can be read are still tested for a missing file.
        QCOMPARE(lines.mid(3),
                 (QStringList{"missing|0|ok", "missing|70|ok", "record 70: holds the same file as record 0: ok"}));
    }

    void check_andStats_onAHealthyLibrary() {
        QCOMPARE(run({"add", WriteDoc("a.doc"), "--tags", "t", "--score", "2"}).status, 0);
        QCOMPARE(run({"add", WriteDoc("b.doc"), "--password", "p"}).status, 0);
        QCOMPARE(run({"add", WriteDoc("c.doc")}).status, 0);
        QCOMPARE(run({"remove", m_docs + "c.doc"}).status, 0);
        QCOMPARE(run({"check"}).status, 0);
        // A damaged text index says why; like a stale one it is derived data, which index --all replaces.
        QVERIFY(QDir().mkpath(m_appData->file(QStringLiteral("doctext.index"))));
        const Run damaged = run({"check"});
        QVERIFY2(damaged.out.startsWith(QStringLiteral("text index: damaged: it is a folder, not a file\n")),
                 qPrintable(damaged.out));
        QCOMPARE(damaged.status, 0);
        QVERIFY(QDir().rmdir(m_appData->file(QStringLiteral("doctext.index"))));
        QCOMPARE(run({"stats"}).out, QStringLiteral("records: 3\nlive: 2\ndeleted: 1\nwith tags: 1\nwith password: 1\n"
                                                    "score 0: 1\nscore 1: 0\nscore 2: 1\nscore 3: 0\nscore 4: 0\n"
                                                    "score 5: 0\n"));
    }

    void heldLock_namesItsHolder_data() {
        QTest::addColumn<int>("holder");
        QTest::addColumn<QString>("err");
        QTest::newRow("window") << int(LibraryLock::Holder::Window)
                                << "velmoradb: the library is open in the Velmora window (pid <p> on <h>, <l>); "
                                   "close it first\n";
        QTest::newRow("tool") << int(LibraryLock::Holder::Tool)
                              << "velmoradb: another velmoradb is changing the library (pid <p> on <h>, <l>); try "
                                 "again when it has finished\n";
    }
    void heldLock_namesItsHolder() {
        QFETCH(int, holder);
        QFETCH(QString, err);
        QCOMPARE(run({"add", WriteDoc(QStringLiteral("a.doc"))}).status, 0);
        LibraryLock other{LibraryLock::Holder(holder)};
        QVERIFY(other.tryLock());
        const Run result = run({"purge"});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.err, err.replace("<p>", QString::number(QCoreApplication::applicationPid()))
                                 .replace("<h>", QSysInfo::machineHostName())
                                 .replace("<l>", LibraryLock::lockFilePath()));
    }

    void heldLock_refusesChangesButNotReading() {
        const QString a = WriteDoc(QStringLiteral("a.doc"));
        QCOMPARE(run({"add", a}).status, 0);
        LibraryLock mainWindow;
        QVERIFY(mainWindow.tryLock());
        const QByteArray before = ReadBytes(m_appData->file(QStringLiteral("worddata.idx")));
        for (const QStringList& args :
             {QStringList{"add", WriteDoc("b.doc")}, QStringList{"remove", a}, QStringList{"restore", "--all"},
              QStringList{"purge"}, QStringList{"compact"}}) {
            const Run result = run(args);
            QCOMPARE(result.status, 1);
            QVERIFY(result.err.contains(QStringLiteral("velmora.lock")));
        }
        QCOMPARE(ReadBytes(m_appData->file(QStringLiteral("worddata.idx"))), before);
        QCOMPARE(run({"filter", "untagged"}).out, QStringLiteral("0|%1\n").arg(a));
    }

    // Names in the tables: "<d>" is the documents folder, "<ff>" a byte that is not UTF-8.
    void add_choosesWordDocuments_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("doc and docx in any case")
            << QStringList{"a.DOCX", "b.Doc", "n.txt", "noext"}
            << QStringList{"add", "<d>a.DOCX", "<d>n.txt", "<d>b.Doc", "<d>noext"} << 1 << "0|<d>a.DOCX\n35|<d>b.Doc\n"
            << "velmoradb: not a Word document: <d>n.txt\n"
               "velmoradb: not a Word document: <d>noext\n";
        QTest::newRow("folders walked in name order")
            << QStringList{"x/b.doc", "x/a.docx", "x/sub/c.DOC", "x/t.txt"} << QStringList{"add", "-r", "<d>x"} << 0
            << "0|<d>x/a.docx\n35|<d>x/b.doc\n70|<d>x/sub/c.DOC\n"
            << "";
        QTest::newRow("a walk skips what the library has")
            << QStringList{"x/a.doc", "x/文档.doc"} << QStringList{"add", "<d>x/a.doc", "-r", "<d>x"} << 0
            << "0|<d>x/a.doc\n35|<d>x/文档.doc\n"
            << "";
        QTest::newRow("a name that is not UTF-8 in a walk")
            << QStringList{"w/文档.doc", "w/bad<ff>.doc"} << QStringList{"add", "-r", "<d>w"} << 1
            << "0|<d>w/文档.doc\n"
            << "velmoradb: the file name is not valid UTF-8: <d>w/bad\\xff.doc\n";
        QTest::newRow("a name that is not UTF-8 given")
            << QStringList{} << QStringList{"add", "<d>bad<ff>.doc"} << 1 << ""
            << "velmoradb: the file name is not valid UTF-8: "
               "<d>bad\\xff.doc\n";
        QTest::newRow("a folder without -r") << QStringList{"x/a.doc"} << QStringList{"add", "<d>x"} << 1 << ""
                                             << "velmoradb: <d>x is a folder (add -r adds the documents below it)\n";
        QTest::newRow("a control character") << QStringList{} << QStringList{"add", "<d>a\nb.doc"} << 1 << ""
                                             << "velmoradb: the path holds a control character: <d>a\\nb.doc\n";
        QTest::newRow("twice in one command")
            << QStringList{"a.doc"} << QStringList{"add", "<d>a.doc", "<d>a.doc"} << 1 << "0|<d>a.doc\n"
            << "velmoradb: already in the library: <d>a.doc\n";
        QTest::newRow("missing") << QStringList{} << QStringList{"add", "<d>none.doc"} << 1 << ""
                                 << "velmoradb: no such file: <d>none.doc\n";
    }
    void add_choosesWordDocuments() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const auto expand = [this](QString text) {
            return text.replace(QStringLiteral("<d>"), m_docs).replace(QStringLiteral("<ff>"), QChar(0xDCFF));
        };
        for (const QString& name : files) {
            QByteArray bytes = QFile::encodeName(m_docs + name).replace("<ff>", "\xff");
            QDir().mkpath(QFileInfo(m_docs + name).absolutePath());
            const int fd = ::open(bytes.constData(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        for (QString& arg : args) {
            arg = expand(arg);
        }
        const Run result = run(args);
        QCOMPARE(result.err, expand(err));
        QCOMPARE(result.out, expand(out));
        QCOMPARE(result.status, status);
    }

    // Folders the walk cannot read are named, the rest is added, and the exit status says so. Root reads every
    // folder, so the tool runs without the capabilities that let it.
    void addRecursive_namesEveryUnreadableFolder_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("locked");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("one sub-folder") << QStringList{"x/a.doc", "x/shut/b.doc"} << QStringList{"x/shut"} << 1
                                        << "0|<d>x/a.doc\n"
                                        << "velmoradb: cannot read the folder <d>x/shut: Permission denied\n";
        QTest::newRow("two, the walk goes on between them")
            << QStringList{"x/1/a.doc", "x/2/b.doc", "x/3/c.doc"} << QStringList{"x/1", "x/3"} << 1
            << "0|<d>x/2/b.doc\n"
            << "velmoradb: cannot read the folder <d>x/1: Permission denied\n"
               "velmoradb: cannot read the folder <d>x/3: Permission denied\n";
        QTest::newRow("the folder given") << QStringList{"x/a.doc"} << QStringList{"x"} << 1 << ""
                                          << "velmoradb: cannot read the folder <d>x: Permission denied\n";
        QTest::newRow("a linked file is added") << QStringList{"x/a.doc", "y/b.doc", "x/b.doc->../y/b.doc"}
                                                << QStringList{} << 0 << "0|<d>x/a.doc\n35|<d>x/b.doc\n"
                                                << "";
        QTest::newRow("a linked folder is not followed")
            << QStringList{"x/a.doc", "y/b.doc", "x/link->../y"} << QStringList{} << 0 << "0|<d>x/a.doc\n"
            << "";
    }
    void addRecursive_namesEveryUnreadableFolder() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, locked);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QStringList command{QCoreApplication::applicationDirPath() + QStringLiteral("/../velmoradb")};
        if (::geteuid() == 0) {
            command.prepend(QStringLiteral("--bounding-set=-dac_override,-dac_read_search"));
            command.prepend(QStringLiteral("setpriv"));
        }
        for (const QString& file : files) {
            const qsizetype arrow = file.indexOf(QStringLiteral("->"));
            QDir().mkpath(QFileInfo(m_docs + file.left(arrow)).absolutePath());
            if (arrow >= 0) {
                QVERIFY(QFile::link(file.mid(arrow + 2), m_docs + file.left(arrow)));
            } else {
                WriteBytes(m_docs + file, "x");
            }
        }
        for (const QString& folder : locked) {
            QVERIFY(QFile::setPermissions(m_docs + folder, QFileDevice::Permissions()));
        }
        QProcess tool;
        tool.start(command.takeFirst(),
                   command + QStringList{"--appdata", m_appData->path(), "add", "-r", m_docs + QStringLiteral("x")});
        QVERIFY(tool.waitForFinished(30000));
        for (const QString& folder : locked) {
            QFile::setPermissions(m_docs + folder,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        QCOMPARE(QString::fromUtf8(tool.readAllStandardError()), QString(err).replace(QStringLiteral("<d>"), m_docs));
        QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()), QString(out).replace(QStringLiteral("<d>"), m_docs));
        QCOMPARE(tool.exitCode(), status);
    }

    void set_tagsAndScore_reachTheTagTree() {
        const QString a = WriteDoc(QStringLiteral("a.doc"));
        const QString b = WriteDoc(QStringLiteral("b.doc"));
        QCOMPARE(run({"add", a, b, WriteDoc("c.doc"), "--tags", "work 科研"}).status, 0);
        QCOMPARE(run({"remove", m_docs + "c.doc"}).status, 0);
        const QList<std::pair<QStringList, Run>> steps{
            {{"set", a, "--add-tags", "WORK  笔记"}, {0, "0|" + a + "\n", ""}},
            {{"set", "35", "70", "--score", "4", "--tags", "Work"},
             {1, "35|" + b + "\n", "velmoradb: position 70 is not a live record\n"}},
            {{"set", m_docs + "none.doc", "--score", "1"},
             {1, "", "velmoradb: not in the library: " + m_docs + "none.doc\n"}},
            {{"tags", "--list"}, {0, "笔记|1\n科研|1\nwork|2\n", ""}},
            {{"filter", "score", "4"}, {0, "35|" + b + "\n", ""}},
            {{"filter", "score", "0"}, {0, "0|" + a + "\n", ""}},
            {{"show", "0"}, {0, "path: " + a + "\ntags: 笔记 科研 work \n", ""}},
        };
        for (const auto& [args, expected] : steps) {
            const Run result = run(args);
            QCOMPARE(result.err, expected.err);
            QCOMPARE(result.out.left(expected.out.size()), expected.out);
            QCOMPARE(result.status, expected.status);
        }
        // The group node the window starts with, then each new tag once, as leaves (image 3, state -1).
        QCOMPARE(ReadBytes(m_appData->file(QStringLiteral("TagTVItems.dat"))).toHex(' '),
                 QByteArray::fromHex("1c000000 28000000 14000000"
                                     "b1eac7a9b7d6c0e0 0d0a  bfc6d1d0 0d0a  776f726b 0d0a  b1cabcc7 0d0a"
                                     "01 ffffffff  03 ffffffff  03 ffffffff  03 ffffffff")
                     .toHex(' '));
    }

    void add_damagedTagTree_changesNothing() {
        const QString tree = m_appData->file(QStringLiteral("TagTVItems.dat"));
        WriteBytes(tree, "damaged");
        const Run result = run({"add", WriteDoc(QStringLiteral("a.doc")), "--tags", "new"});
        QCOMPARE(result.err,
                 "velmoradb: the tree file " + tree + " is damaged: it has only 7 bytes, less than its 12-byte head\n");
        QCOMPARE(result.out, QString());
        QCOMPARE(result.status, 1);
        QVERIFY(!QFile::exists(m_appData->file(QStringLiteral("worddata.idx"))));
        QCOMPARE(ReadBytes(tree), QByteArray("damaged"));
    }

    void check_listsMissingFiles_andPurgeCompactCount() {
        const QString a = WriteDoc(QStringLiteral("a.doc"));
        const QString b = WriteDoc(QStringLiteral("b.doc"));
        const QString c = WriteDoc(QStringLiteral("c.doc"));
        QCOMPARE(run({"add", a, b, c}).status, 0);
        QFile::remove(c);
        QCOMPARE(run({"remove", b}).status, 0);
        const Run checked = run({"check"});
        QCOMPARE(checked.out, "missing|70|" + c + "\n3 records checked, no damage found\n");
        QCOMPARE(checked.err, QStringLiteral("velmoradb: 1 document is missing from disk\n"));
        QCOMPARE(checked.status, 1);

        const QByteArray records = ReadBytes(m_appData->file(QStringLiteral("worddata.idx")));
        QCOMPARE(run({"compact"}).out, QStringLiteral("1 record removed\n"));
        const QString copy = m_appData->file("databackup/" + CurrentDateTime().date().toString(Qt::ISODate));
        QCOMPARE(ReadBytes(copy + ".idx"), records);
        QCOMPARE(ReadBytes(copy + ".data").size(), 3 * 4 + 2 * (a.size() + b.size() + c.size()));
        QCOMPARE(run({"remove", a}).status, 0);
        QCOMPARE(run({"purge"}).out, QStringLiteral("1 record removed\n"));
        QCOMPARE(run({"purge"}).out, QStringLiteral("0 records removed\n"));
    }

    void folders_data() {
        QTest::addColumn<QString>("folder"); // below the test's folder; "-" made empty, "=" a file
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("reading a folder that does not exist")
            << "none" << QStringList{"stats"} << 1 << "velmoradb: the data folder <f> does not exist\n";
        QTest::newRow("reading a folder without library")
            << "-" << QStringList{"tags", "--list"} << 1
            << "velmoradb: no library in <f> (neither worddata.idx nor worddata.data is there)\n";
        QTest::newRow("changing a folder without library")
            << "-" << QStringList{"purge"} << 1
            << "velmoradb: no library in <f> (neither worddata.idx nor worddata.data is there)\n";
        QTest::newRow("reading a file") << "=" << QStringList{"check"} << 1 << "velmoradb: <f> is not a folder\n";
        QTest::newRow("adding to a folder that does not exist")
            << "none" << QStringList{"add", "<a>"} << 1
            << "velmoradb: the data folder <f> does not exist (create it to start a library there)\n";
        QTest::newRow("adding to an empty folder") << "-" << QStringList{"add", "<a>"} << 0 << "";
    }
    void folders() {
        QFETCH(QString, folder);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        const QString path = m_appData->file(folder == "-" || folder == "=" ? QStringLiteral("lib") : folder);
        if (folder == "-") {
            QDir().mkpath(path);
        } else if (folder == "=") {
            WriteBytes(path, "x");
        }
        const QString a = WriteDoc(QStringLiteral("a.doc"));
        for (QString& arg : args) {
            arg.replace(QStringLiteral("<a>"), a);
        }
        const Run result = run(QStringList{"--appdata", path} + args);
        QCOMPARE(result.err, QString(err).replace(QStringLiteral("<f>"), path + u'/'));
        QCOMPARE(result.status, status);
        QCOMPARE(QFileInfo::exists(path + "/worddata.idx"), status == 0);
    }

    void window_helpAndVersion_openNoWindow() {
        const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../velmora");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // a window would fail here, not silently open offscreen
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("VELMORA_APPDATA"), m_appData->path());
        process.setProcessEnvironment(env);
        process.start(program, {"--help"});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.startsWith(QStringLiteral("usage: velmora [--help | --version]\n")), qPrintable(out));
        QVERIFY2(out.endsWith("Data folder in use: " + m_appData->path() + "\n"), qPrintable(out));
        process.start(program, {"--version"});
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.readAllStandardOutput(), QByteArray("velmora " VELMORA_TEST_VERSION "\n"));
    }

    void program_exitStatusAndUtf8Output() {
        const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../velmoradb");
        QVERIFY(QFile::exists(tool));
        const QString a = WriteDoc(QStringLiteral("笔记.doc"));
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
