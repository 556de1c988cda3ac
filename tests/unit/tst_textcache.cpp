#include "common/compressedtext.h"
#include "common/errors.h"
#include "fifounblocker.h"
#include "store/textcache.h"
#include "store/textindex.h"
#include "tempappdata.h"
#include "workbench/core/searchtexts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <memory>

#include <sqlite3.h>
#include <sys/stat.h>
#include <zlib.h>

using namespace velmora;
using namespace velmora::test;

class TestTextCache : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;

private Q_SLOTS:
    void init() { m_appData = std::make_unique<TempAppData>(); }
    void cleanup() { m_appData.reset(); }

    void cachePath_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("cacheName");
        // The digits are the first 8 of the SHA-1 of the UTF-8 of the full path with A to Z lowered.
        QTest::newRow("docx") << "/home/u/文档/Plan.docx"
                              << "Plan~2bee4468.dat_";
        QTest::newRow("namesake in another folder") << "/home/u/other/plan.docx"
                                                    << "plan~9c63095e.dat_";
        QTest::newRow("doc beside the docx") << "/home/u/文档/Plan.doc"
                                             << "Plan~b20a350a.dat_";
        QTest::newRow("case of the path does not count") << "/HOME/U/文档/PLAN.DOCX"
                                                         << "PLAN~2bee4468.dat_";
        // The record's identity folds a to z only: these are two documents each, with a cache each.
        QTest::newRow("folder Äpfel") << "/home/u/Äpfel/plan.docx"
                                      << "plan~53d5a12a.dat_";
        QTest::newRow("folder äpfel") << "/home/u/äpfel/plan.docx"
                                      << "plan~25eef881.dat_";
        QTest::newRow("folder Документы") << "/home/u/Документы/plan.docx"
                                          << "plan~84a28f69.dat_";
        QTest::newRow("folder документы") << "/home/u/документы/plan.docx"
                                          << "plan~bee76b78.dat_";
        QTest::newRow("ASCII case only of ÄPFEL") << "/HOME/U/ÄPFEL/PLAN.DOCX"
                                                  << "PLAN~53d5a12a.dat_";
    }
    void cachePath() {
        QFETCH(QString, document);
        QFETCH(QString, cacheName);
        QCOMPARE(TextCachePath(document), m_appData->file(QStringLiteral("doctext/")) + cacheName);
    }

    void cachePath_baseNameIsCutAtTheLastDotOfTheFileName() {
        const QString noExtension = QFileInfo(TextCachePath(QStringLiteral("/d.v/notes"))).fileName();
        QVERIFY2(QRegularExpression(QStringLiteral("^notes~[0-9a-f]{8}\\.dat_$")).match(noExtension).hasMatch(),
                 qPrintable(noExtension));
        QVERIFY(QFileInfo(TextCachePath(QStringLiteral("/d/a.b.docx"))).fileName().startsWith(QStringLiteral("a.b~")));
    }

    void writeThenRead_makesFolderAndKeepsNamesakesApart() {
        const QString docx = QStringLiteral("/home/u/plan.docx");
        const QString doc = QStringLiteral("/home/u/plan.doc");
        QVERIFY(!HasTextCache(docx));
        QCOMPARE(ReadTextCache(docx), QString());
        WriteTextCache(docx, QStringLiteral("第一行\r第二行\nthird"));
        WriteTextCache(doc, QStringLiteral("other"));
        QVERIFY(HasTextCache(docx));
        QCOMPARE(ReadTextCache(docx), QStringLiteral("第一行\r\n第二行\r\nthird\r\n"));
        QCOMPARE(ReadTextCache(doc), QStringLiteral("other\r\n"));
        // The zlib stream, at level 1, of the text as GBK lines ended by CR LF.
        QCOMPARE(ReadBytes(TextCachePath(doc)), QByteArray::fromHex("7801cb2fc9482de2e502000ade023a"));
        QCOMPARE(ReadBytes(TextCachePath(docx)),
                 QByteArray::fromHex("7801db7aebd2ee0b1778b9b6dedaf60f4497646416a5f0720100aabc0c00"));
    }

    // A killed write's temporary file goes once it is a minute old; a younger one may be another process's.
    void leftoverTemporaries_goOnceAMinuteOld() {
        const QString folder = m_appData->file(QStringLiteral("doctext/"));
        QVERIFY(QDir().mkpath(folder));
        const QString old = folder + QStringLiteral("a~12345678.dat_.Ab3dEf.tmp");
        const QString young = folder + QStringLiteral("b~12345678.dat_.Zz9yXw.tmp");
        const QString other = folder + QStringLiteral("notes.tmp");
        for (const QString& file : {old, young, other}) {
            WriteBytes(file, "partial");
        }
        const QDateTime past = QDateTime::currentDateTime().addSecs(-61);
        for (const QString& file : {old, other}) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(past, QFileDevice::FileModificationTime));
        }
        WriteTextCache(QStringLiteral("/d/a.docx"), QStringLiteral("text"));
        QVERIFY(!QFile::exists(old));
        QVERIFY(QFile::exists(young));
        QVERIFY(QFile::exists(other));
        QCOMPARE(RemoveLeftoverCacheTemporaries(), 0);
    }

    // A cache is stale once its document is not the file its text was read from: by the stamp the index's row
    // keeps, or, where the row keeps none, by the document's times against the cache file's.
    void freshness_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("freshness");
        QTest::newRow("no cache") << "no cache"
                                  << "unknown" << int(CacheFreshness::Missing);
        QTest::newRow("document gone") << "removed"
                                       << "unknown" << int(CacheFreshness::Current);
        QTest::newRow("unchanged") << "none"
                                   << "unknown" << int(CacheFreshness::Current);
        QTest::newRow("written after the cache") << "written"
                                                 << "unknown" << int(CacheFreshness::Stale);
        QTest::newRow("another file put at the path") << "replaced"
                                                      << "unknown" << int(CacheFreshness::Stale);
        QTest::newRow("kept stamp is the file's") << "written"
                                                  << "as now" << int(CacheFreshness::Current);
        QTest::newRow("kept stamp is another file's") << "none"
                                                      << "other" << int(CacheFreshness::Stale);
    }
    void freshness() {
        QFETCH(QString, change);
        QFETCH(QString, source);
        const QString document = m_appData->file(QStringLiteral("文档.docx"));
        WriteBytes(document, "as read");
        if (change != u"no cache") {
            WriteTextCache(document, QStringLiteral("正文"));
        }
        QTest::qWait(20);
        if (change == u"removed") {
            QVERIFY(QFile::remove(document));
        } else if (change == u"written") {
            WriteBytes(document, "saved since");
        } else if (change == u"replaced") {
            WriteBytes(document + QStringLiteral(".new"), "as read");
            QVERIFY(::rename(QFile::encodeName(document + QStringLiteral(".new")).constData(),
                             QFile::encodeName(document).constData()) == 0);
        }
        if (source != u"unknown") {
            const FileStamp now = FileStampOf(document);
            const FileStamp kept = source == u"as now" ? now : FileStamp{now.size, now.modifiedNs, now.inode + 1};
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(TextIndexFile()).constData(), &db), SQLITE_OK);
            const QByteArray sql =
                QStringLiteral("ALTER TABLE docs ADD COLUMN source_size INTEGER;"
                               "ALTER TABLE docs ADD COLUMN source_mtime INTEGER;"
                               "ALTER TABLE docs ADD COLUMN source_inode INTEGER;"
                               "UPDATE docs SET source_size = %1, source_mtime = %2, source_inode = %3")
                    .arg(kept.size)
                    .arg(kept.modifiedNs)
                    .arg(qint64(kept.inode))
                    .toUtf8();
            QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        QFETCH(int, freshness);
        QCOMPARE(int(TextCacheSources().freshness(document)), freshness);
        TextCacheSources all;
        all.loadAll();
        QCOMPARE(int(all.freshness(document)), freshness);
    }

    void emptyText_readsAsNoText() {
        WriteTextCache(QStringLiteral("/d/empty.docx"), QString());
        QVERIFY(HasTextCache(QStringLiteral("/d/empty.docx")));
        QCOMPARE(ReadTextCache(QStringLiteral("/d/empty.docx")), QString());
    }

    void damagedCache_raises() {
        WriteTextCache(QStringLiteral("/d/a.docx"), QStringLiteral("text"));
        WriteBytes(TextCachePath(QStringLiteral("/d/a.docx")), "not zlib");
        QVERIFY_THROWS_EXCEPTION(VelmoraError, ReadTextCache(QStringLiteral("/d/a.docx")));
    }

    void move_followsTheNewNameUnlessTaken() {
        WriteTextCache(QStringLiteral("/d/old.docx"), QStringLiteral("old"));
        QVERIFY(MoveTextCache(QStringLiteral("/d/old.docx"), QStringLiteral("/d/new.docx")));
        QVERIFY(!HasTextCache(QStringLiteral("/d/old.docx")));
        QCOMPARE(ReadTextCache(QStringLiteral("/d/new.docx")), QStringLiteral("old\r\n"));
        WriteTextCache(QStringLiteral("/d/other.docx"), QStringLiteral("other"));
        QVERIFY(!MoveTextCache(QStringLiteral("/d/other.docx"), QStringLiteral("/d/new.docx")));
        QCOMPARE(ReadTextCache(QStringLiteral("/d/new.docx")), QStringLiteral("old\r\n"));
        QCOMPARE(ReadTextCache(QStringLiteral("/d/other.docx")), QStringLiteral("other\r\n"));
        QVERIFY(!MoveTextCache(QStringLiteral("/d/none.docx"), QStringLiteral("/d/x.docx")));
    }

    // The cache name's base is cut only where the name would pass the file system's 255 bytes, between
    // characters, counting bytes as they lie on disk.
    void longName_isCutToFitAndStillCached_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("kept");
        const QString han = QStringLiteral("汉");
        const QString emoji = QStringLiteral("😀");
        // 230 bytes of base name, with the 14 of the tail and the 11 the writer's temporary name adds, make 255.
        QTest::newRow("230 ASCII bytes fit as they are") << QString(230, u'a') << QString(230, u'a');
        QTest::newRow("231 ASCII bytes lose one") << QString(231, u'a') << QString(230, u'a');
        QTest::newRow("76 Chinese characters fit as they are") << han.repeated(76) << han.repeated(76);
        QTest::newRow("83 Chinese characters keep 76") << han.repeated(83) << han.repeated(76);
        QTest::newRow("cut falls inside a Chinese character") << "a" + han.repeated(90) << "a" + han.repeated(76);
        QTest::newRow("cut falls inside an emoji") << "abc" + emoji.repeated(70) << "abc" + emoji.repeated(56);
    }
    void longName_isCutToFitAndStillCached() {
        QFETCH(QString, base);
        QFETCH(QString, kept);
        const QString document = QStringLiteral("/home/u/文档/") + base + QStringLiteral(".docx");
        const QString name = QFileInfo(TextCachePath(document)).fileName();
        QVERIFY2(name.startsWith(kept + u'~'), qPrintable(name));
        QVERIFY2(QRegularExpression(QStringLiteral("^~[0-9a-f]{8}\\.dat_$")).match(name.mid(kept.size())).hasMatch(),
                 qPrintable(name));
        QVERIFY(QFile::encodeName(name).size() <= 255);
        WriteTextCache(document, QStringLiteral("正文"));
        QCOMPARE(ReadTextCache(document), QStringLiteral("正文\r\n"));
        SearchTexts texts;
        texts.listFolder();
        QCOMPARE(texts.cached(document).status, SearchTexts::Status::Found);
    }

    // Text beyond the bound is not kept, so that every cache file written can be read back.
    void writer_cutsTextBeyondTheBound() {
        const QString document = QStringLiteral("/d/long.docx");
        WriteTextCache(document, QString(kMaxCachedTextChars, u'a') + QStringLiteral("bc"));
        const QString read = ReadTextCache(document);
        QCOMPARE(read.size(), kMaxCachedTextChars + 2);
        QVERIFY(read.endsWith(QStringLiteral("a\r\n")));
    }

    // What may stand where a cache file should: each reader refuses it without reading it whole, and without
    // waiting on it.
    void hostileCacheFile_isRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "not a regular file (a FIFO)";
        QTest::newRow("link to /dev/zero") << "zero"
                                           << "not a regular file (a character device)";
        QTest::newRow("sparse 3 GB file") << "sparse"
                                          << "more than";
        QTest::newRow("one byte over the bound") << "over"
                                                 << "more than";
        QTest::newRow("inflates beyond the bound") << "bomb"
                                                   << "zlib";
    }
    void hostileCacheFile_isRefused() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString document = QStringLiteral("/d/hostile.docx");
        const QString cache = TextCachePath(document);
        QVERIFY(QDir().mkpath(TextCacheFolder()));
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(cache).constData(), 0600), 0);
        } else if (kind == u"zero") {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), cache));
        } else if (kind == u"sparse" || kind == u"over") {
            QFile file(cache);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(kind == u"sparse" ? qint64(3) << 30 : kMaxCacheFileBytes + 1));
        } else {
            const QByteArray plain(kMaxCachedTextBytes + 1, 'a');
            uLongf size = compressBound(uLong(plain.size()));
            QByteArray packed(qsizetype(size), Qt::Uninitialized);
            QCOMPARE(compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                               reinterpret_cast<const Bytef*>(plain.constData()), uLong(plain.size()), 1),
                     Z_OK);
            WriteBytes(cache, packed.first(qsizetype(size)));
        }
        const FifoUnblocker unblocker(cache);
        try {
            ReadTextCache(document);
            QFAIL("read");
        } catch (const VelmoraError& error) {
            QVERIFY2(error.message().contains(reason), qPrintable(error.message()));
        }
        SearchTexts texts;
        QCOMPARE(texts.cached(document).status, SearchTexts::Status::Damaged);
        QVERIFY(!unblocker.wasNeeded());
    }
};

QTEST_GUILESS_MAIN(TestTextCache)
#include "tst_textcache.moc"
