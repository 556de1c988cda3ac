#include "common/compressedtext.h"
#include "office/tiword.h"
#include "officedouble.h"
#include "store/textcache.h"
#include "tempappdata.h"
#include "wordfiles.h"
#include "workbench/tabs/cachewriter.h"

#include <QDir>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

class TestCacheWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A Word file's cache holds the bytes of the text the office would give (written by hand in expected/),
    // and the office is not asked.
    void corpus_readWithoutTheOffice_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("expected");
        const QString data = qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/");
        for (const QString& txt : QDir(data + QStringLiteral("expected")).entryList({"*.txt"}, QDir::Files)) {
            QString expected = QString::fromUtf8(ReadBytes(data + QStringLiteral("expected/") + txt)).remove(u'\n');
            expected.replace(QStringLiteral("\\r"), QStringLiteral("\r"))
                .replace(QStringLiteral("\\t"), QStringLiteral("\t"));
            for (const char* ext : {".docx", ".doc"}) {
                const QString name = QFileInfo(txt).completeBaseName() + QLatin1String(ext);
                QTest::newRow(qPrintable(name)) << data + QStringLiteral("corpus/") + name << expected;
            }
        }
    }
    void corpus_readWithoutTheOffice() {
        QFETCH(QString, document);
        QFETCH(QString, expected);
        TempAppData appData;
        OfficeDouble office;
        TiWord word(false);
        office.word().clearLog();
        WriteTextCacheFor(word, document);
        QCOMPARE(ReadBytes(TextCachePath(document)), CompressText(expected));
        QCOMPARE(office.word().log().filter(QStringLiteral("Documents.")), QStringList());
    }

    // What the reader cannot read comes from the office: from the open document, or opened read-only with the
    // password and closed again.
    void unreadable_fallsBackToTheOffice_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("open");
        const QByteArray encrypted =
            MakeCompoundFile({{"EncryptionInfo", QByteArray(200, '\1')}, {"EncryptedPackage", QByteArray(900, 'x')}});
        QTest::newRow("encrypted") << encrypted << false;
        QTest::newRow("encrypted, open in a tab") << encrypted << true;
        QTest::newRow("not a Word file") << QByteArray("{\\rtf1 hello}") << false;
    }
    void unreadable_fallsBackToTheOffice() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, open);
        TempAppData appData;
        OfficeDouble office;
        TiWord word(false);
        const QString path = appData.file(QStringLiteral("秘密.docx"));
        const QString text = QStringLiteral("机密\r第二段\r");
        WriteBytes(path, bytes);
        office.disk.insert(path, DiskFile{text, -1});
        office.passwords.insert(path, QStringLiteral("pw"));
        if (open) {
            office.word().addDocument(path, text);
        }
        office.word().clearLog();
        QVERIFY(WriteMissingTextCacheFor(word, path, QStringLiteral("pw")));
        QCOMPARE(ReadBytes(TextCachePath(path)), CompressText(text));
        const QStringList calls = office.word().log();
        QCOMPARE(
            calls.filter(QStringLiteral("Documents.Open(&\"%1\", &missing, &bool:true, &missing, &\"pw\"").arg(path))
                .size(),
            open ? 0 : 1);
        QCOMPARE(calls.filter(QStringLiteral(".Close()")).size(), open ? 0 : 1);
        QCOMPARE(office.word().documents.size(), open ? 1 : 0);
        // A cache that is there is left alone.
        office.word().clearLog();
        QVERIFY(!WriteMissingTextCacheFor(word, path, QStringLiteral("pw")));
        QCOMPARE(office.word().log(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCacheWriter)
#include "tst_cachewriter.moc"
