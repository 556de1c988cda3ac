#include "common/errors.h"
#include "store/textcache.h"
#include "tempappdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <memory>

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
        // The digits are the first 8 of the SHA-1 of the UTF-8 of the case-folded full path.
        QTest::newRow("docx") << "/home/u/文档/Plan.docx"
                              << "Plan~2bee4468.dat_";
        QTest::newRow("namesake in another folder") << "/home/u/other/plan.docx"
                                                    << "plan~9c63095e.dat_";
        QTest::newRow("doc beside the docx") << "/home/u/文档/Plan.doc"
                                             << "Plan~b20a350a.dat_";
        QTest::newRow("case of the path does not count") << "/HOME/U/文档/PLAN.DOCX"
                                                         << "PLAN~2bee4468.dat_";
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
};

QTEST_GUILESS_MAIN(TestTextCache)
#include "tst_textcache.moc"
