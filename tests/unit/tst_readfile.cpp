#include "common/errors.h"
#include "common/readfile.h"
#include "tempappdata.h"

#include <QFile>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

class TestReadFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unreadable_raisesAnErrorNamingTheFile_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << QStringLiteral("missing.dat");
        QTest::newRow("a folder") << QStringLiteral(".");
        // Opens, then fails at the first read: a read error must not pass for an empty file.
        QTest::newRow("read error") << QStringLiteral("/proc/self/mem");
    }
    void unreadable_raisesAnErrorNamingTheFile() {
        QFETCH(QString, path);
        try {
            ReadWholeFile(path);
            QFAIL("no error");
        } catch (const VelmoraError& error) {
            QCOMPARE(error.file(), path);
            QVERIFY(error.message().startsWith(QStringLiteral("无法读取文件 ") + path + QStringLiteral(": ")));
        }
    }

    void wholeFile_isReadByteForByte() {
        TempAppData folder;
        const QByteArray bytes = QByteArray("\x00\xff\r\n", 4).repeated(70000);
        QFile file(folder.file(QStringLiteral("a.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        QCOMPARE(ReadWholeFile(file.fileName()), bytes);
    }
};

QTEST_GUILESS_MAIN(TestReadFile)
#include "tst_readfile.moc"
