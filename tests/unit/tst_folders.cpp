#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/folders.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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
        QTest::addColumn<int>("failed");
        QTest::newRow("plain") << "plain" << true << true << 0;
        QTest::newRow("clash") << "clash" << false << false << 1;
        QTest::newRow("open in a tab") << "open" << false << false << 1;
        QTest::newRow("held by another program") << "held" << false << false << 1;
        QTest::newRow("missing, counted (drag)") << "missing" << true << false << 1;
        QTest::newRow("missing, not counted (move all)") << "missing" << false << false << 0;
        QTest::newRow("already in the folder") << "there" << true << false << 0;
        QTest::newRow("folder differing only in case") << "case" << true << true << 0;
        QTest::newRow("across file systems") << "across" << true << true << 0;
    }
    void moves_neverReplaceNorTouchOpenOrHeldFiles() {
        QFETCH(QString, situation);
        QFETCH(bool, countMissing);
        QFETCH(bool, moved);
        QFETCH(int, failed);
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
        if (situation != QLatin1String("missing")) {
            WriteBytes(source, "document");
        }
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
            store.SaveRecDataFiles(false);
            auto isOpen = [&](const QString& path) { return situation == QLatin1String("open") && path == source; };
            outcome = MoveDocuments(store, {0}, folder, isOpen, countMissing);
            // Written at once: another opening of the files sees the new path.
            TWordMgr reader(dataFile, OpenMode::ReadOnly);
            QCOMPARE(reader.GetDocNameByPos(0), moved ? target : source);
        }
        ::close(held);
        QCOMPARE(outcome.moved, moved ? 1 : 0);
        QCOMPARE(outcome.failed, failed);
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
};

QTEST_GUILESS_MAIN(TestFolders)
#include "tst_folders.moc"
