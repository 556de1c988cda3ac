#include "common/compressedtext.h"
#include "office/tiword.h"
#include "officedouble.h"
#include "store/textcache.h"
#include "tempappdata.h"
#include "wordfiles.h"
#include "workbench/cachewriter.h"

#include <QDir>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

QString dataDir() {
    return qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/data/");
}

// The hand-written texts escape \r, \t and \\; their real line breaks are only for reading.
QString unescape(const QString& escaped) {
    QString text;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped[i];
        if (c == u'\n') {
            continue;
        }
        if (c != u'\\' || i + 1 >= escaped.size()) {
            text.append(c);
            continue;
        }
        const QChar e = escaped[++i];
        if (e == u'x') {
            text.append(QChar(escaped.mid(i + 1, 2).toUShort(nullptr, 16)));
            i += 2;
        } else {
            text.append(e == u'r' ? QChar(u'\r') : e == u't' ? QChar(u'\t') : e);
        }
    }
    return text;
}

QStringList documentLines(const WordDouble& word) {
    QStringList lines;
    for (const QString& line : word.log()) {
        if (line.contains(QLatin1String("Documents.")) || line.contains(QLatin1String("ActiveDocument"))) {
            lines.append(line);
        }
    }
    return lines;
}

} // namespace

class TestCacheWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The cache of a Word file holds the bytes the office program's text would give, without asking it.
    void corpus_readWithoutTheOffice_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("expected");
        const QStringList names = QDir(dataDir() + QStringLiteral("expected")).entryList({"*.txt"}, QDir::Files);
        QVERIFY(!names.isEmpty());
        for (const QString& txt : names) {
            QFile file(dataDir() + QStringLiteral("expected/") + txt);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString expected = unescape(QString::fromUtf8(file.readAll()));
            for (const char* ext : {".docx", ".doc"}) {
                const QString document = QFileInfo(txt).completeBaseName() + QLatin1String(ext);
                QTest::newRow(qPrintable(document)) << dataDir() + QStringLiteral("corpus/") + document << expected;
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
        QCOMPARE(documentLines(office.word()), QStringList());
    }

    // What the reader cannot read goes to the office: from the open document, or opened read-only with the
    // password and closed again.
    void unreadable_fallsBackToTheOffice_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QStringList>("calls");
        const QByteArray encrypted =
            MakeCompoundFile({{"EncryptionInfo", QByteArray(200, '\1')}, {"EncryptedPackage", QByteArray(900, 'x')}});
        QTest::newRow("encrypted, closed")
            << encrypted << false
            << QStringList{"Documents.Open(&\"%1\", &missing, &bool:true, &missing, &\"pw\", &missing, &missing, "
                           "&missing, &missing, &missing)",
                           "Documents.Item(int:1).FullName", "Documents.Item(int:1).Range.Text",
                           "Documents.Item(int:1).FullName", "Documents.Item(int:1).Close()"};
        QTest::newRow("encrypted, open in a tab")
            << encrypted << true
            << QStringList{"Documents.Item(int:1).FullName", "Documents.Item(int:1).FullName",
                           "Documents.Item(int:1).Range.Text"};
        QTest::newRow("not a Word file") << QByteArray("{\\rtf1 hello}") << false
                                         << QStringList{
                                                "Documents.Open(&\"%1\", &missing, &bool:true, &missing, "
                                                "&\"pw\", &missing, &missing, &missing, &missing, &missing)",
                                                "Documents.Item(int:1).FullName", "Documents.Item(int:1).Range.Text",
                                                "Documents.Item(int:1).FullName", "Documents.Item(int:1).Close()"};
    }
    void unreadable_fallsBackToTheOffice() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, open);
        QFETCH(QStringList, calls);
        TempAppData appData;
        OfficeDouble office;
        TiWord word(false);
        const QString path = appData.file(QStringLiteral("秘密.docx"));
        WriteBytes(path, bytes);
        office.disk.insert(path, DiskFile{QStringLiteral("机密\r第二段\r"), -1});
        office.passwords.insert(path, QStringLiteral("pw"));
        if (open) {
            office.word().addDocument(path, office.disk.value(path).text);
        }
        office.word().clearLog();
        QVERIFY(WriteMissingTextCacheFor(word, path, QStringLiteral("pw")));
        QCOMPARE(ReadBytes(TextCachePath(path)), CompressText(QStringLiteral("机密\r第二段\r")));
        for (QString& call : calls) {
            call.replace(QStringLiteral("%1"), path);
        }
        QStringList seen = documentLines(office.word());
        seen.removeAll(QStringLiteral("Documents.Count"));
        QCOMPARE(seen, calls);
        QCOMPARE(office.word().documents.size(), open ? 1 : 0);
        // A cache that is there is left alone.
        office.word().clearLog();
        QVERIFY(!WriteMissingTextCacheFor(word, path, QStringLiteral("pw")));
        QCOMPARE(office.word().log(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCacheWriter)
#include "tst_cachewriter.moc"
