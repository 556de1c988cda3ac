#include "common/errors.h"
#include "common/readfile.h"
#include "common/textcodec.h"
#include "fifounblocker.h"
#include "tempappdata.h"

#include <QFile>
#include <QTest>

#include <sys/stat.h>

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

    // What may stand where a data file should: refused with a reason, never read whole, never waited on.
    void hostileDataFile_isRefusedUnread_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "not a regular file (a FIFO)";
        QTest::newRow("link to /dev/zero") << "zero"
                                           << "not a regular file (a character device)";
        QTest::newRow("sparse 3 GB file") << "sparse"
                                          << "more than";
        QTest::newRow("one line one byte over the bound") << "over"
                                                          << "more than";
    }
    void hostileDataFile_isRefusedUnread() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        TempAppData folder;
        const QString path = folder.file(QStringLiteral("wzTVItems.dat"));
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"zero") {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (kind == u"sparse") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(qint64(3) << 30));
        } else {
            WriteBytes(path, QByteArray(kMaxDataFileBytes + 1, 'x'));
        }
        const FifoUnblocker unblocker(path);
        for (const auto& read :
             {+[](const QString& p) { ReadWholeFile(p); }, +[](const QString& p) { ReadTextFile(p); }}) {
            try {
                read(path);
                QFAIL("read");
            } catch (const VelmoraError& error) {
                QCOMPARE(error.file(), path);
                QVERIFY2(error.message().startsWith(QStringLiteral("无法读取文件 ") + path + QStringLiteral(": ")) &&
                             error.message().contains(reason),
                         qPrintable(error.message()));
            }
        }
        QVERIFY(!unblocker.wasNeeded());
    }

    void dataFileAtTheBound_isReadWhole() {
        TempAppData folder;
        const QString path = folder.file(QStringLiteral("SCList.dat"));
        const QByteArray bytes(kMaxDataFileBytes, 'x');
        WriteBytes(path, bytes);
        QVERIFY(ReadWholeFile(path) == bytes);
        // A file the caller knows to be larger is read with its own bound.
        WriteBytes(path, bytes + "yz");
        QCOMPARE(ReadWholeFile(path, kMaxDataFileBytes + 2).size(), kMaxDataFileBytes + 2);
    }
};

QTEST_GUILESS_MAIN(TestReadFile)
#include "tst_readfile.moc"
