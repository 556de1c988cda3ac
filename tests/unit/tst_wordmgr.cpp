#include "common/datetime.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "store/wordmgr.h"
#include "storebytes.h"
#include "tempappdata.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestWordMgr : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    QString dbFile() const { return m_appData->file(QStringLiteral("worddata.data")); }
    QString idxFile() const { return m_appData->file(QStringLiteral("worddata.idx")); }
    QString backupStem() const {
        return m_appData->file(QStringLiteral("databackup/")) + CurrentDateTime().date().toString(Qt::ISODate);
    }
    void writeLibrary(const QByteArray& records, const QByteArray& strings) {
        WriteBytes(idxFile(), records);
        WriteBytes(dbFile(), strings);
    }

private Q_SLOTS:
    void init() { m_appData = std::make_unique<TempAppData>(); }
    void cleanup() { m_appData.reset(); }

    void newLibrary_isEmptyAndSavesNothing() {
        {
            TWordMgr store(dbFile());
            QCOMPARE(store.GetRecNumber(), 0);
            QCOMPARE(store.ReadAStrItem(0, wdiFullName, true), QString());
            QCOMPARE(store.ReadADigitItem(0, wdiReadTimes, true), quint16(0));
            store.SaveRecDataFiles(true);
        }
        QVERIFY(!QFile::exists(dbFile()));
        QVERIFY(!QFile::exists(idxFile()));
        QVERIFY(!QDir(m_appData->file(QStringLiteral("databackup"))).exists());
    }

    void recordFileName_data() {
        QTest::addColumn<QString>("dbFile");
        QTest::addColumn<QString>("idxFile");
        QTest::newRow("extension replaced") << "/lib/worddata.data"
                                            << "/lib/worddata.idx";
        QTest::newRow("last dot only") << "/lib/word.data.bak"
                                       << "/lib/word.data.idx";
        QTest::newRow("no extension") << "/lib/worddata"
                                      << "/lib/worddata.idx";
        QTest::newRow("dot in folder only") << "/lib.v2/worddata"
                                            << "/lib.v2/worddata.idx";
    }
    void recordFileName() {
        QFETCH(QString, dbFile);
        QFETCH(QString, idxFile);
        TWordMgr store(dbFile);
        QCOMPARE(store.RecordFileName(), idxFile);
        QCOMPARE(store.FileName(), dbFile);
    }

    void importAWord_writesExactBytes() {
        const QString doc = m_appData->file(QStringLiteral("北京 notes.docx"));
        WriteBytes(doc, "x");
        const double created = *GetFileDate(doc, FileDateKind::Created);
        {
            TWordMgr store(dbFile());
            QCOMPARE(store.ImportAWord(doc, QStringLiteral("work 笔记"), QStringLiteral("pw"), 3), qint64(0));
            QCOMPARE(store.ImportAWord(QStringLiteral("/n/a.doc"), QString(), QStringLiteral("  "), 0), qint64(35));
            QVERIFY(store.IndexChanged());
            QVERIFY(store.DataChanged());
            store.SaveRecDataFiles(false);
            QVERIFY(!store.IndexChanged());
            QVERIFY(!store.DataChanged());
        }
        const QByteArray pathItem = item(doc);
        const QByteArray tagsItem = item(QStringLiteral("work 笔记"));
        const QByteArray pswItem = item(QStringLiteral("pw"));
        const qint32 second = qint32(pathItem.size() + tagsItem.size() + pswItem.size());
        const QByteArray expectedStrings = pathItem + tagsItem + pswItem + item(QStringLiteral("/n/a.doc"));
        RecBytes first{0, qint32(pathItem.size()), qint32(pathItem.size() + tagsItem.size()), created};
        first.score = 3;
        first.archive = 1;
        RecBytes next{second, -1, -1, 0.0};
        next.archive = 1;
        QCOMPARE(ReadBytes(dbFile()), expectedStrings);
        QCOMPARE(ReadBytes(idxFile()), first.bytes() + next.bytes());
    }

    void openExistingFiles_readsFieldsAndItems() {
        const QByteArray strings = item(QStringLiteral("/d/报告.doc")) + item(QStringLiteral("a b"));
        RecBytes rec{0, qint32(item(QStringLiteral("/d/报告.doc")).size()), -1, 45000.5, 46000.25, 7, 65535, 4, 1, 0};
        writeLibrary(rec.bytes(), strings);
        TWordMgr store(dbFile());
        QCOMPARE(store.GetRecNumber(), 1);
        QCOMPARE(store.ReadAStrItem(0, wdiFullName, true), QStringLiteral("/d/报告.doc"));
        QCOMPARE(store.ReadAStrItem(0, wdiTags, false), QStringLiteral("a b"));
        QCOMPARE(store.ReadAStrItem(0, wdiPassword, false), QString());
        QCOMPARE(store.ReadAStrItem(0, wdiCreateTime, false), QString());
        QCOMPARE(store.ReadADigitItem(0, wdiReadTimes, true), quint16(7));
        QCOMPARE(store.ReadADigitItem(0, wdiEditTimes, false), quint16(65535));
        QCOMPARE(store.ReadADigitItem(0, 7, false), quint16(0));
        QCOMPARE(store.WordRec().wdCreateTime, 45000.5);
        QCOMPARE(store.WordRec().wdAccessTime, 46000.25);
        QCOMPARE(store.GetDocScore(0, true), quint8(4));
        QVERIFY(store.WordRec().wdArchive);
        QVERIFY(!store.WordRec().wdDeleted);
    }

    void anyNonZeroByte_readsTrue() {
        QByteArray bytes = RecBytes{}.bytes();
        bytes[33] = char(0x7f);
        bytes[34] = char(0xff);
        writeLibrary(bytes, {});
        TWordMgr store(dbFile());
        store.ReadDataHead(0);
        QVERIFY(store.WordRec().wdArchive);
        QVERIFY(store.WordRec().wdDeleted);
    }

    void saveAStrItem_data() {
        QTest::addColumn<int>("itemNo");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("appends");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("path: ascii case only keeps the old spelling") << 0 << "/d/A.doc"
                                                                      << "/d/a.DOC" << false << "/d/A.doc";
        QTest::newRow("path: other value appended") << 0 << "/d/a.doc"
                                                    << "/d/b.doc" << true << "/d/b.doc";
        QTest::newRow("path: non-ascii case is a change") << 0 << "/d/É.doc"
                                                          << "/d/é.doc" << true << "/d/é.doc";
        QTest::newRow("tags: case only") << 1 << "Work"
                                         << "WORK" << false << "Work";
        QTest::newRow("tags: empty clears without an item") << 1 << "work"
                                                            << "" << false << "";
        QTest::newRow("tags: blank clears without an item") << 1 << "work"
                                                            << "   " << false << "";
        QTest::newRow("tags: untrimmed kept") << 1 << "work"
                                              << " new " << true << " new ";
        QTest::newRow("password: set where none") << 2 << ""
                                                  << "secret" << true << "secret";
        QTest::newRow("password: empty clears") << 2 << "secret"
                                                << "" << false << "";
        QTest::newRow("other item changes nothing") << 4 << ""
                                                    << "x" << false << "";
    }
    void saveAStrItem() {
        QFETCH(int, itemNo);
        QFETCH(QString, stored);
        QFETCH(QString, value);
        QFETCH(bool, appends);
        QFETCH(QString, readBack);
        TWordMgr store(dbFile());
        const QString path = itemNo == 0 ? stored : QStringLiteral("/d/x.doc");
        const qint64 pos =
            store.ImportAWord(path, itemNo == 1 ? stored : QString(), itemNo == 2 ? stored : QString(), 0);
        store.SaveRecDataFiles(false);
        const qsizetype sizeBefore = store.DataStream().size();
        store.SaveAStrItem(pos, itemNo, value, true);
        QCOMPARE(store.DataStream().size() > sizeBefore, appends);
        if (appends) {
            QCOMPARE(store.DataStream().mid(sizeBefore), item(value));
        }
        QCOMPARE(store.ReadAStrItem(pos, itemNo, true), readBack);
        QVERIFY(store.IndexChanged());
        QVERIFY(store.DataChanged());
    }

    void saveTags_clearingAndSameTags() {
        TWordMgr store(dbFile());
        const qint64 pos = store.ImportAWord(QStringLiteral("/d/x.doc"), QStringLiteral("a"), QString(), 0);
        store.SaveRecDataFiles(false);
        store.SaveTags(pos, QStringLiteral("A"), true);
        QVERIFY(!store.DataChanged());
        QVERIFY(!store.IndexChanged());
        store.SaveTags(pos, QString(), true);
        QCOMPARE(store.WordRec().wdTagsPos, -1);
        QVERIFY(store.IndexChanged());
        store.SaveRecDataFiles(false);
        // Clearing what is already clear touches nothing.
        store.SaveTags(pos, QString(), false);
        QVERIFY(!store.IndexChanged());
    }

    void incADigitItem_stopsAtTopAndSaves() {
        RecBytes rec{};
        rec.reads = 65535;
        rec.edits = 9;
        writeLibrary(rec.bytes(), {});
        TWordMgr store(dbFile());
        store.IncADigitItem(0, wdiReadTimes, true);
        store.IncADigitItem(0, wdiEditTimes, true);
        store.IncADigitItem(0, 7, true);
        store.SetDateTime(0, wdiAccessTime, 46000.5, true);
        store.SaveRecDataFiles(false);
        RecBytes expected = rec;
        expected.reads = 65535;
        expected.edits = 10;
        expected.accessed = 46000.5;
        QCOMPARE(ReadBytes(idxFile()), expected.bytes());
    }

    void positionThatIsNoRecord_readsEmptyAndRefusesWrites_data() {
        QTest::addColumn<qint64>("pos");
        QTest::newRow("negative") << qint64(-35);
        QTest::newRow("not a multiple of 35") << qint64(36);
        QTest::newRow("past the end") << qint64(70);
        QTest::newRow("the torn tail") << qint64(35);
        QTest::newRow("far past the end") << qint64(35) * 1000000000;
    }
    void positionThatIsNoRecord_readsEmptyAndRefusesWrites() {
        QFETCH(qint64, pos);
        RecBytes rec{0, -1, -1, 1.0, 2.0, 3, 4, 5, 1, 0};
        writeLibrary(rec.bytes() + QByteArray(10, 'x'), item(QStringLiteral("/d/a.doc")));
        TWordMgr store(dbFile());
        QCOMPARE(store.GetRecNumber(), 1);
        store.ReadDataHead(0);
        store.ReadDataHead(pos);
        QCOMPARE(store.WordRec(), TWordRec{});
        QCOMPARE(store.ReadAStrItem(pos, wdiFullName, true), QString());
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.SaveDataHead(pos));
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.SetDocScore(pos, 1, true));
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.SaveAStrItem(pos, wdiTags, QStringLiteral("t"), true));
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.IncADigitItem(pos, wdiReadTimes, true));
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.SetRecDeleted(pos, true));
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.DelAItemPermanently(pos));
        QVERIFY(!store.IndexChanged());
        QCOMPARE(store.RecStream(), rec.bytes() + QByteArray(10, 'x'));
    }

    void tornTail_newRecordStartsOnARecordBoundary() {
        writeLibrary(RecBytes{}.bytes() + QByteArray(10, 'x'), {});
        TWordMgr store(dbFile());
        QCOMPARE(store.ImportAWord(QStringLiteral("/d/b.doc"), QString(), QString(), 0), qint64(35));
        QCOMPARE(store.RecStream().size(), 70);
        QCOMPARE(store.ReadAStrItem(35, wdiFullName, true), QStringLiteral("/d/b.doc"));
        QCOMPARE(store.TornRecordBytes(), 10);
    }

    void damagedStringItem_raisesErrorNamingOffset_data() {
        QTest::addColumn<QByteArray>("strings");
        QTest::addColumn<qint32>("offset");
        QTest::newRow("offset past the end") << item(QStringLiteral("ab")) << 100;
        QTest::newRow("offset inside the last count") << item(QStringLiteral("ab")) << 6;
        QTest::newRow("negative count") << le32(-4) + QByteArray(8, 'a') << 0;
        QTest::newRow("count past the end") << le32(400) + QByteArray(8, 'a') << 0;
        // Only -1 means "no item"; and an empty string file holds no item at all.
        QTest::newRow("offset below -1") << item(QStringLiteral("ab")) << -7;
        QTest::newRow("empty string file") << QByteArray() << 0;
    }
    void damagedStringItem_raisesErrorNamingOffset() {
        QFETCH(QByteArray, strings);
        QFETCH(qint32, offset);
        RecBytes rec{};
        rec.tags = offset;
        writeLibrary(rec.bytes(), strings);
        TWordMgr store(dbFile());
        try {
            store.ReadAStrItem(0, wdiTags, true);
            QFAIL("no error raised");
        } catch (const VelmoraError& error) {
            QCOMPARE(error.offset(), qint64(offset));
            QVERIFY2(error.message().contains(QString::number(offset)), qPrintable(error.message()));
        }
    }

    void failedSave_keepsChangeFlagAndRetries() {
        const QString folder = m_appData->file(QStringLiteral("lib"));
        QVERIFY(QDir().mkpath(folder));
        const QString db = folder + QStringLiteral("/worddata.data");
        TWordMgr store(db);
        store.ImportAWord(QStringLiteral("/d/a.doc"), QString(), QString(), 0);
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.SaveRecDataFiles(false));
        QVERIFY(store.IndexChanged());
        QVERIFY(store.DataChanged());
        QVERIFY(QDir().mkpath(folder));
        store.SaveRecDataFiles(false);
        QVERIFY(!store.IndexChanged());
        QCOMPARE(ReadBytes(db), item(QStringLiteral("/d/a.doc")));
    }

    void destroy_savesChanges() {
        {
            TWordMgr store(dbFile());
            store.ImportAWord(QStringLiteral("/d/a.doc"), QString(), QString(), 2);
        }
        QCOMPARE(ReadBytes(dbFile()), item(QStringLiteral("/d/a.doc")));
        QCOMPARE(ReadBytes(idxFile()).size(), 35);
    }

    void backupAtOpening_dependsOnDeletedCount_data() {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<bool>("backedUp");
        QTest::newRow("50 deleted") << 50 << false;
        QTest::newRow("51 deleted") << 51 << true;
    }
    void backupAtOpening_dependsOnDeletedCount() {
        QFETCH(int, deleted);
        QFETCH(bool, backedUp);
        QByteArray records;
        RecBytes rec{};
        rec.deleted = 1;
        for (int i = 0; i < deleted; ++i) {
            records += rec.bytes();
        }
        records += RecBytes{}.bytes();
        writeLibrary(records, item(QStringLiteral("x")));
        { TWordMgr store(dbFile()); }
        QCOMPARE(QFile::exists(backupStem() + QStringLiteral(".idx")), backedUp);
        if (backedUp) {
            QCOMPARE(ReadBytes(backupStem() + QStringLiteral(".idx")), records);
            QCOMPARE(ReadBytes(backupStem() + QStringLiteral(".data")), item(QStringLiteral("x")));
        }
    }

    void readOnly_makesNoCopiesAndRefusesToSave() {
        QByteArray records;
        RecBytes rec{};
        rec.deleted = 1;
        for (int i = 0; i < 60; ++i) {
            records += rec.bytes();
        }
        writeLibrary(records, item(QStringLiteral("x")));
        {
            TWordMgr store(dbFile(), OpenMode::ReadOnly);
            QCOMPARE(store.GetRecNumber(), 60);
            QCOMPARE(store.ReadAStrItem(0, wdiFullName, true), QString());
            store.SaveRecDataFiles(false);
            store.SetRecArchive(0, true, true);
            QVERIFY_THROWS_EXCEPTION(VelmoraError, store.SaveRecDataFiles(false));
        }
        QVERIFY(!QDir(m_appData->file(QStringLiteral("databackup"))).exists());
        QCOMPARE(ReadBytes(idxFile()), records);
    }

    void backup_isNamedByIsoDateAndReplacesSameDay() {
        TWordMgr store(dbFile());
        store.ImportAWord(QStringLiteral("/d/a.doc"), QString(), QString(), 0);
        store.SaveRecDataFiles(true);
        store.ImportAWord(QStringLiteral("/d/b.doc"), QString(), QString(), 0);
        store.SaveRecDataFiles(true);
        QCOMPARE(ReadBytes(backupStem() + QStringLiteral(".idx")), ReadBytes(idxFile()));
        QCOMPARE(ReadBytes(backupStem() + QStringLiteral(".data")), ReadBytes(dbFile()));
        QCOMPARE(QDir(m_appData->file(QStringLiteral("databackup"))).entryList(QDir::Files).size(), 2);
    }

    void cleanStreams_keepsLiveItemsInPathPasswordTagsOrder() {
        const QByteArray strings = item(QStringLiteral("/d/one.doc")) + item(QStringLiteral("old tags")) +
                                   item(QStringLiteral("t1")) + item(QStringLiteral("p1")) +
                                   item(QStringLiteral("/d/gone.doc")) + item(QStringLiteral("/d/three.doc"));
        const qint32 oneTags =
            qint32(item(QStringLiteral("/d/one.doc")).size() + item(QStringLiteral("old tags")).size());
        const qint32 onePsw = oneTags + qint32(item(QStringLiteral("t1")).size());
        const qint32 gone = onePsw + qint32(item(QStringLiteral("p1")).size());
        const qint32 three = gone + qint32(item(QStringLiteral("/d/gone.doc")).size());
        RecBytes one{0, oneTags, onePsw, 1.5, 2.5, 1, 2, 3, 1, 0};
        RecBytes deleted{gone, -1, -1, 0, 0, 0, 0, 0, 1, 1};
        RecBytes third{three, -1, -1, 4.0, 0, 0, 0, 5, 0, 0};
        writeLibrary(one.bytes() + deleted.bytes() + third.bytes(), strings);
        TWordMgr store(dbFile());
        store.CleanStreams();
        const QByteArray newStrings = item(QStringLiteral("/d/one.doc")) + item(QStringLiteral("p1")) +
                                      item(QStringLiteral("t1")) + item(QStringLiteral("/d/three.doc"));
        RecBytes newOne = one;
        newOne.path = 0;
        newOne.password = qint32(item(QStringLiteral("/d/one.doc")).size());
        newOne.tags = newOne.password + qint32(item(QStringLiteral("p1")).size());
        RecBytes newThird = third;
        newThird.path = newOne.tags + qint32(item(QStringLiteral("t1")).size());
        QCOMPARE(ReadBytes(dbFile()), newStrings);
        QCOMPARE(ReadBytes(idxFile()), newOne.bytes() + newThird.bytes());
        QCOMPARE(store.RecStream(), newOne.bytes() + newThird.bytes());
        QVERIFY(!store.IndexChanged());
        QVERIFY(!store.DataChanged());
        QCOMPARE(store.GetDocNameByPos(35), QStringLiteral("/d/three.doc"));
    }

    void cleanStreams_failureLeavesLibraryAsItWas() {
        const QString folder = m_appData->file(QStringLiteral("lib"));
        QVERIFY(QDir().mkpath(folder));
        TWordMgr store(folder + QStringLiteral("/worddata.data"));
        store.ImportAWord(QStringLiteral("/d/a.doc"), QString(), QString(), 0);
        store.ImportAWord(QStringLiteral("/d/b.doc"), QString(), QString(), 0);
        store.SetRecDeleted(0, true);
        const QByteArray records = store.RecStream();
        const QByteArray strings = store.DataStream();
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.CleanStreams());
        QCOMPARE(store.RecStream(), records);
        QCOMPARE(store.DataStream(), strings);
        QVERIFY(store.IndexChanged());
    }

    void cleanStreams_damagedItemChangesNothing() {
        RecBytes rec{};
        rec.path = 99;
        writeLibrary(rec.bytes(), item(QStringLiteral("a")));
        TWordMgr store(dbFile());
        QVERIFY_THROWS_EXCEPTION(VelmoraError, store.CleanStreams());
        QCOMPARE(ReadBytes(idxFile()), rec.bytes());
        QCOMPARE(ReadBytes(dbFile()), item(QStringLiteral("a")));
    }
};

QTEST_GUILESS_MAIN(TestWordMgr)
#include "tst_wordmgr.moc"
