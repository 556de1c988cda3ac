#include "common/fileinfo.h"
#include "common/savefile.h"
#include "store/movejournal.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/core/folders.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

class TestFolders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void folderPath_lastNameWins_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("a deeper line naming it further up loses") << QStringList{"/a/notes/x/", "/notes/"} << "notes"
                                                                  << "/notes/";
        QTest::newRow("letter case ignored") << QStringList{"/d/Notes/"} << "NOTES"
                                             << "/d/Notes/";
        QTest::newRow("the first of two") << QStringList{"/a/x/", "/b/X/"} << "x"
                                          << "/a/x/";
        QTest::newRow("no trailing delimiter") << QStringList{"/d/e"} << "e"
                                               << "/d/e";
        QTest::newRow("unknown") << QStringList{"/a/notes/x/"} << "notes"
                                 << "";
        QTest::newRow("empty name never matches the root") << QStringList{"/"} << ""
                                                           << "";
    }
    void folderPath_lastNameWins() {
        QFETCH(QStringList, lines);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(FolderPathIn(lines, name), expected);
    }

    void folderNames_refusedWhenUnsafe_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        for (const char* bad : {"", ".", "..", "a/b", "a\\b", "a\tb", "a\nb", " a", "a "}) {
            QTest::newRow(bad) << QString::fromUtf8(bad) << false;
        }
        QTest::newRow("ideographic space") << QStringLiteral("\u3000笔记") << false;
        QTest::newRow("no-break space") << QStringLiteral("a\u00a0") << false;
        for (const char* good : {"notes", "笔记", "a b", "...", ".hidden", "노트"}) {
            QTest::newRow(good) << QString::fromUtf8(good) << true;
        }
    }
    void folderNames_refusedWhenUnsafe() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(IsValidFolderName(name), valid);
    }

    void folderList_roundTripByteForByte_data() {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("code page 936") << QStringList{"/srv/笔记/", "/srv/a/"} << ""
                                       << QByteArray("/srv/\xB1\xCA\xBC\xC7/\r\n/srv/a/\r\n");
        QTest::newRow("a name the code page cannot hold")
            << QStringList{"/srv/a/", "/srv/노트/"} << ""
            << QByteArray("\xEF\xBB\xBF/srv/a/\r\n/srv/\xEB\x85\xB8\xED\x8A\xB8/\r\n");
        QTest::newRow("first equal line removed, case ignored")
            << QStringList{"/s/a/", "/s/b/", "/S/A/"} << "/S/a/" << QByteArray("/s/b/\r\n/S/A/\r\n");
        QTest::newRow("removing an unknown line") << QStringList{"/s/a/"} << "/s/" << QByteArray("/s/a/\r\n");
    }
    void folderList_roundTripByteForByte() {
        QFETCH(QStringList, added);
        QFETCH(QString, removed);
        QFETCH(QByteArray, expected);
        TempAppData appData;
        const QString file = appData.file(QStringLiteral("fdlist.dat"));
        for (const QString& path : added) {
            UpdateFdList(file, path, true);
        }
        if (!removed.isEmpty()) {
            UpdateFdList(file, removed, false);
        }
        QCOMPARE(ReadBytes(file), expected);
        const QString last = added.last();
        QCOMPARE(GetFolderPath(file, GetFolderName(last)), expected.contains(last.toUtf8()) ? last : QString());
    }

    void listing_docAndDocxOwnFolderFlatDescendantsDeepWithCtrl_data() {
        QTest::addColumn<bool>("ctrl");
        QTest::newRow("plain") << false;
        QTest::newRow("ctrl") << true;
    }
    void listing_docAndDocxOwnFolderFlatDescendantsDeepWithCtrl() {
        QFETCH(bool, ctrl);
        TempAppData appData;
        const QString root = appData.file(QStringLiteral("disk/"));
        TWordMgr store(appData.file(QStringLiteral("worddata.data")));
        const QStringList files{"own/a.doc",  "own/b.docx",     "own/deep/c.doc",
                                "kid/d.DOCX", "kid/deep/e.doc", "other/f.doc"};
        for (const QString& file : files) {
            QDir().mkpath(QFileInfo(root + file).path());
            WriteBytes(root + file, "x");
            store.ImportAWord(root + file, QString(), QString(), 0);
        }
        // A document in the working folder must not be listed by a node whose folder is unknown.
        WriteBytes(QDir::current().filePath(QStringLiteral("here.doc")), "x");
        store.ImportAWord(QDir::current().filePath(QStringLiteral("here.doc")), QString(), QString(), 0);
        const QString list =
            FolderDocuments(store, {root + QStringLiteral("own/")}, {QString(), root + QStringLiteral("kid")}, ctrl);
        QStringList listed;
        for (const QString& line : list.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            listed.append(line.mid(line.indexOf(u'|') + 1).mid(root.size()));
        }
        QStringList expected{"own/a.doc", "own/b.docx", "kid/d.DOCX"};
        if (ctrl) {
            expected.append(QStringLiteral("kid/deep/e.doc"));
        }
        QCOMPARE(listed, expected);
        QCOMPARE(FolderDocuments(store, {QString()}, {}, true), QString());

        RemoveFolderDocuments(store, root + QStringLiteral("own/"));
        QCOMPARE(store.RecordAt(0).wdDeleted, true);
        QCOMPARE(store.RecordAt(35).wdDeleted, true);
        QCOMPARE(store.RecordAt(70).wdDeleted, false);
    }

    void moves_neverReplaceNorTouchOpenOrHeldFiles_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("countMissing");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QString>("reason");
        QTest::newRow("plain") << "plain" << true << true << "";
        QTest::newRow("clash") << "clash" << false << false << "目标文件夹里已有同名文件";
        QTest::newRow("open in a tab") << "open" << false << false << "文档在标签页中打开";
        QTest::newRow("held by another program") << "held" << false << false << "文档正被其他程序打开";
        QTest::newRow("open in an office (its lock file)") << "office" << false << false << "文档正被其他程序打开";
        QTest::newRow("a symbolic link") << "link" << true << false << "文档是符号链接，不移动";
        QTest::newRow("missing, counted (drag)") << "missing" << true << false << "文件不存在";
        QTest::newRow("missing, not counted (move all)") << "missing" << false << false << "";
        QTest::newRow("already in the folder") << "there" << true << false << "";
        QTest::newRow("folder differing only in case") << "case" << true << true << "";
        QTest::newRow("across file systems") << "across" << true << true << "";
        QTest::newRow("a namesake moved first") << "twin" << true << false << "同时移动的另一个文档也叫这个名字";
    }
    void moves_neverReplaceNorTouchOpenOrHeldFiles() {
        QFETCH(QString, situation);
        QFETCH(bool, countMissing);
        QFETCH(bool, moved);
        QFETCH(QString, reason);
        TempAppData appData;
        QTemporaryDir shm(QStringLiteral("/dev/shm/velmora-XXXXXX"));
        if (situation == QLatin1String("across") && !shm.isValid()) {
            QSKIP("no second file system");
        }
        const QString from =
            situation == QLatin1String("across") ? shm.path() + u'/' : appData.file(QStringLiteral("docs/"));
        QString folder = situation == QLatin1String("case") ? appData.file(QStringLiteral("Docs/"))
                                                            : appData.file(QStringLiteral("target/"));
        if (situation == QLatin1String("there")) {
            folder = from;
        }
        QDir().mkpath(from);
        QDir().mkpath(folder);
        const QString source = from + QStringLiteral("笔记.doc");
        const QString target = folder + QStringLiteral("笔记.doc");
        if (situation == QLatin1String("link")) {
            // A relative link, which would point nowhere from the target folder.
            QDir().mkpath(from + QStringLiteral("real"));
            WriteBytes(from + QStringLiteral("real/笔记.doc"), "document");
            QVERIFY(QFile::link(QStringLiteral("real/笔记.doc"), source));
        } else if (situation != QLatin1String("missing")) {
            WriteBytes(source, "document");
        }
        if (situation == QLatin1String("office")) {
            WriteBytes(OfficeLockFileOf(source),
                       ",user,host,09.12.2026 10:00,file:///home/user/.config/libreoffice/4;");
        }
        WriteTextCache(source, QStringLiteral("正文"));
        if (situation == QLatin1String("clash")) {
            WriteBytes(target, "other");
        }
        const qint64 oldTime = 1'000'000'000;
        if (QFile file(source); file.exists() && file.open(QIODevice::ReadWrite)) {
            file.setFileTime(QDateTime::fromSecsSinceEpoch(oldTime), QFileDevice::FileModificationTime);
        }
        const int held = ::open(QFile::encodeName(source).constData(), O_RDONLY);
        if (situation == QLatin1String("held")) {
            QCOMPARE(::flock(held, LOCK_EX), 0);
        }
        const QString dataFile = appData.file(QStringLiteral("worddata.data"));
        MoveOutcome outcome;
        {
            TWordMgr store(dataFile);
            store.ImportAWord(source, QString(), QString(), 0);
            if (situation == QLatin1String("twin")) {
                QDir().mkpath(appData.file(QStringLiteral("other")));
                WriteBytes(appData.file(QStringLiteral("other/笔记.doc")), "twin");
                store.ImportAWord(appData.file(QStringLiteral("other/笔记.doc")), QString(), QString(), 0);
            }
            store.SaveRecDataFiles(false);
            auto isOpen = [&](const QString& path) { return situation == QLatin1String("open") && path == source; };
            const bool twin = situation == QLatin1String("twin");
            outcome =
                MoveDocuments(store, twin ? QList<qint64>{35, 0} : QList<qint64>{0}, folder, isOpen, countMissing);
            // Written at once: another opening of the files sees the new path.
            TWordMgr reader(dataFile, OpenMode::ReadOnly);
            QCOMPARE(reader.GetDocNameByPos(0), moved ? target : source);
        }
        ::close(held);
        QCOMPARE(outcome.moved, (moved || situation == QLatin1String("twin")) ? 1 : 0);
        QCOMPARE(outcome.failed, reason.isEmpty() ? 0 : 1);
        if (!reason.isEmpty()) {
            QCOMPARE(outcome.failures.first().path, source);
            QCOMPARE(outcome.failures.first().reason, reason);
            QVERIFY(MoveReportText(outcome).contains(source + QStringLiteral("\n    ") + reason));
        }
        // The text cache goes where the document goes, and nothing stays for a later file at the old path.
        QCOMPARE(ReadTextCache(moved ? target : source).trimmed(), QStringLiteral("正文"));
        if (moved && TextCachePath(source) != TextCachePath(target)) {
            QVERIFY(!HasTextCache(source));
        }
        if (situation == QLatin1String("link")) {
            QCOMPARE(QFileInfo(source).symLinkTarget(), from + QStringLiteral("real/笔记.doc"));
            QVERIFY(!QFileInfo::exists(target));
        }
        QVERIFY(!QFileInfo::exists(MoveJournalFile(dataFile)));
        if (moved) {
            QVERIFY(!QFileInfo::exists(source));
            QCOMPARE(ReadBytes(target), QByteArray("document"));
            QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), oldTime);
        } else if (situation != QLatin1String("missing")) {
            QCOMPARE(ReadBytes(source), QByteArray("document"));
        }
        if (situation == QLatin1String("clash")) {
            QCOMPARE(ReadBytes(target), QByteArray("other"));
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("velmora")), QStringList());
    }

    // What a killed move leaves between its steps, and what the next opening for writing makes of it.
    void journal_nextOpeningFollowsTheFiles_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("recordMoves");
        QTest::addColumn<bool>("sourceStays");
        QTest::newRow("renamed, record behind") << "renamed" << true << false;
        QTest::newRow("copied across, old not removed yet") << "copied" << true << false;
        QTest::newRow("linked, old not removed yet") << "linked" << true << false;
        QTest::newRow("not moved yet") << "unmoved" << false << true;
        QTest::newRow("another file took the target") << "clash" << false << true;
        QTest::newRow("a byte-identical file took the target") << "twin" << false << true;
        QTest::newRow("record already saved") << "saved" << true << false;
        QTest::newRow("moved on by a second run after a failed save") << "twice" << true << false;
    }
    void journal_nextOpeningFollowsTheFiles() {
        QFETCH(QString, state);
        QFETCH(bool, recordMoves);
        QFETCH(bool, sourceStays);
        TempAppData appData;
        const QString dataFile = appData.file(QStringLiteral("worddata.data"));
        const QString source = appData.file(QStringLiteral("src/笔记.doc"));
        const QString target = appData.file(QStringLiteral("dst/笔记.doc"));
        QDir().mkpath(appData.file(QStringLiteral("src")));
        QDir().mkpath(appData.file(QStringLiteral("dst")));
        WriteBytes(source, "document");
        WriteTextCache(source, QStringLiteral("正文"));
        {
            TWordMgr store(dataFile);
            store.ImportAWord(appData.file(QStringLiteral("src/other.doc")), QString(), QString(), 0);
            store.ImportAWord(source, QString(), QString(), 0);
            if (state == QLatin1String("saved")) {
                store.SaveMovedDocName(35, target);
            }
            store.SaveRecDataFiles(false);
        }
        const QString between = appData.file(QStringLiteral("mid/笔记.doc"));
        if (state == QLatin1String("twice")) {
            QDir().mkpath(appData.file(QStringLiteral("mid")));
            WriteMoveJournal(dataFile, {{35, source, between}});
            QVERIFY(QFile::rename(source, between));
            QVERIFY(MoveTextCache(source, between));
            WriteMoveJournal(dataFile, {{35, between, target}});
            QVERIFY(QFile::rename(between, target));
        } else {
            WriteMoveJournal(dataFile, {{35, source, target}});
        }
        WriteBytes(MoveCopyPrefix(target) + QStringLiteral("0123abcd"), "half a copy");
        if (state == QLatin1String("renamed") || state == QLatin1String("saved")) {
            QVERIFY(QFile::rename(source, target));
        } else if (state == QLatin1String("copied")) {
            // As the move across file systems copies: the bytes and the modification time.
            QVERIFY(QFile::copy(source, target));
            struct stat facts {};
            QCOMPARE(::stat(QFile::encodeName(source).constData(), &facts), 0);
            const struct timespec times[2] = {facts.st_atim, facts.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(target).constData(), times, 0), 0);
        } else if (state == QLatin1String("linked")) {
            QVERIFY(::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0);
        } else if (state == QLatin1String("clash")) {
            WriteBytes(target, "another document");
        } else if (state == QLatin1String("twin")) {
            // Another document of the same name and bytes, moved there by an earlier step of the run.
            WriteBytes(target, "document");
        }
        {
            // What a reading command says the next opening will do, before it does it.
            TWordMgr looking(dataFile, OpenMode::ReadOnly);
            const QList<PlannedMove> pending = PendingMoves(looking);
            QCOMPARE(pending.size(), recordMoves && state != QLatin1String("saved") ? 1 : 0);
            QVERIFY(pending.isEmpty() || (pending.first().position == 35 && pending.first().to == target));
        }
        { TWordMgr store(dataFile); }
        TWordMgr reader(dataFile, OpenMode::ReadOnly);
        QCOMPARE(reader.StringAt(reader.RecordAt(35).wdFullNamePos), recordMoves ? target : source);
        QCOMPARE(reader.StringAt(reader.RecordAt(0).wdFullNamePos), appData.file(QStringLiteral("src/other.doc")));
        QCOMPARE(QFileInfo::exists(source), sourceStays);
        QCOMPARE(ReadBytes(recordMoves ? target : source), QByteArray("document"));
        if (state == QLatin1String("clash")) {
            QCOMPARE(ReadBytes(target), QByteArray("another document"));
        }
        QCOMPARE(QFileInfo::exists(target), state != QLatin1String("unmoved"));
        if (state != QLatin1String("saved")) {
            QCOMPARE(ReadTextCache(recordMoves ? target : source).trimmed(), QStringLiteral("正文"));
        }
        QVERIFY(!QFileInfo::exists(MoveJournalFile(dataFile)));
        QCOMPARE(QDir(appData.file(QStringLiteral("dst")))
                     .entryList(QDir::Files | QDir::Hidden)
                     .filter(QStringLiteral("velmora")),
                 QStringList());
    }

    void moveWithFailedSave_reportsMovedFilesAndNextOpeningHeals() {
        TempAppData appData;
        const QString dataFile = appData.file(QStringLiteral("worddata.data"));
        QDir().mkpath(appData.file(QStringLiteral("src")));
        QDir().mkpath(appData.file(QStringLiteral("dst")));
        const QStringList names{"a.doc", "b.docx"};
        MoveOutcome outcome;
        {
            TWordMgr store(dataFile);
            for (const QString& name : names) {
                WriteBytes(appData.file(QStringLiteral("src/") + name), name.toUtf8());
                store.ImportAWord(appData.file(QStringLiteral("src/") + name), QString(), QString(), 0);
            }
            store.SaveRecDataFiles(false);
            // A folder where the save writes its new string file: the library cannot be written.
            QDir().mkpath(dataFile + NewFileSuffix() + QStringLiteral("/blocked"));
            outcome = MoveDocuments(store, {0, 35}, appData.file(QStringLiteral("dst")), {}, true);
        }
        QCOMPARE(outcome.moved, 2);
        QVERIFY(!outcome.saveError.isEmpty());
        const QString report = MoveReportText(outcome);
        for (const QString& name : names) {
            QVERIFY2(report.contains(appData.file(QStringLiteral("dst/") + name)), qPrintable(report));
        }
        QVERIFY(!report.contains(QStringLiteral("文档移动有")));
        QVERIFY(QFileInfo::exists(MoveJournalFile(dataFile)));
        QVERIFY(QDir(dataFile + NewFileSuffix()).removeRecursively());
        { TWordMgr store(dataFile); }
        TWordMgr reader(dataFile, OpenMode::ReadOnly);
        QCOMPARE(reader.GetDocNameByPos(0), appData.file(QStringLiteral("dst/a.doc")));
        QCOMPARE(reader.GetDocNameByPos(35), appData.file(QStringLiteral("dst/b.docx")));
        QVERIFY(!QFileInfo::exists(MoveJournalFile(dataFile)));
    }
};

QTEST_GUILESS_MAIN(TestFolders)
#include "tst_folders.moc"
