#include "common/compressedtext.h"
#include "common/errors.h"
#include "common/savefile.h"
#include "common/settings.h"
#include "common/streamstring.h"
#include "common/textcodec.h"
#include "filesizelimit.h"
#include "tempappdata.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <limits>
#include <sys/resource.h>

using namespace velmora;
using namespace velmora::test;
using velmora::test::ReadBytes;
using velmora::test::WriteBytes;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Accepts at most `limit` bytes in all and at most `chunk` per call, then fails (or, when `stall` is set,
// keeps answering that nothing was written), as a full disk or a dropped network share would.
class FailingDevice final : public QIODevice {
public:
    FailingDevice(qint64 limit, qint64 chunk, bool stall) : m_limit(limit), m_chunk(chunk), m_stall(stall) {
        open(QIODevice::WriteOnly);
    }

    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        const qint64 room = m_limit - written.size();
        if (room <= 0) {
            if (m_stall) {
                return 0;
            }
            setErrorString(QStringLiteral("device full"));
            return -1;
        }
        const qint64 take = std::min({size, room, m_chunk});
        written.append(data, take);
        return take;
    }

private:
    qint64 m_limit;
    qint64 m_chunk;
    bool m_stall;
};

QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// "中文\r\nabc\r\n" in GBK, compressed by zlib at level 1 outside our code.
const char* const kCompressedChineseAbc = "7801bb76e1dc115eaec4a4645e2e00240c048d";

} // namespace

class TestTextFormats final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodeAnsi_data();
    void encodeAnsi();
    void decodeTextBytes_data();
    void decodeTextBytes();
    void splitLines_data();
    void splitLines();
    void textToStream_data();
    void textToStream();
    void textToStream_failingDevice_raises();
    void streamToText_data();
    void streamToText();
    void writeTextFile_gbkCrLfNoBom();
    void readTextFile_honoursBom();
    void readTextFile_missing_givesNoLines();
    void writeTextFile_missingFolder_raises();

    void getSetting_data();
    void getSetting();
    void setSetting_data();
    void setSetting();

    void writeStreamString_data();
    void writeStreamString();
    void readStreamString_data();
    void readStreamString();
    void readStreamString_outsideStream_raisesNamingOffset_data();
    void readStreamString_outsideStream_raisesNamingOffset();

    void compressText_data();
    void compressText();
    void saveCompressedText_writesExactBytesAndReplaces();
    void loadCompressedText_roundTrip();
    void decompressText_damaged_raises_data();
    void decompressText_damaged_raises();
    void loadCompressedText_damagedFile_raisesNamingFile();
    void decompressText_honoursBom();

    void writeAll_data();
    void writeAll();
    void writeFileAtomically_replacesFile();
    void writeFileAtomically_missingFolder_raises();
    void writeFileAtomically_writeFails_keepsOldFile();
    void writeFilesAtomically_oneFails_replacesNone();
};

void TestTextFormats::encodeAnsi_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QStringLiteral("Abc 1") << hex("4162632031");
    QTest::newRow("chinese") << QStringLiteral("中文") << hex("d6d0cec4");
    QTest::newRow("mixed") << QStringLiteral("a中b") << hex("61d6d062");
    QTest::newRow("euro sign of code page 936") << QStringLiteral("€") << hex("80");
    QTest::newRow("full-width letter") << QStringLiteral("Ａ") << hex("a3c1");
    QTest::newRow("hangul is not in gbk") << QStringLiteral("x한y") << hex("783f79");
    QTest::newRow("emoji is not in gbk") << QStringLiteral("x😀y") << hex("783f79");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestTextFormats::encodeAnsi() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(EncodeAnsi(text).toHex(), bytes.toHex());
}

void TestTextFormats::decodeTextBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("gbk without bom") << hex("d6d0cec40d0a41") << QStringLiteral("中文\r\nA");
    QTest::newRow("utf-8 bom") << hex("efbbbfe4b8ade69687") << QStringLiteral("中文");
    QTest::newRow("utf-16le bom") << hex("fffe2d4e87654100") << QStringLiteral("中文A");
    QTest::newRow("utf-16be bom") << hex("feff4e2d65870041") << QStringLiteral("中文A");
    QTest::newRow("utf-8 bom only") << hex("efbbbf") << QString();
    QTest::newRow("utf-16le bom only") << hex("fffe") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    // Without its mark, UTF-8 is read as GBK: the mark is the only thing that says otherwise.
    QTest::newRow("utf-8 without bom reads as gbk") << hex("e4b8ade69687") << QStringLiteral("涓\uE15F枃");
}

void TestTextFormats::decodeTextBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DecodeTextBytes(bytes), text);
}

void TestTextFormats::splitLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("no break") << QStringLiteral("abc") << QStringList{QStringLiteral("abc")};
    QTest::newRow("cr") << QStringLiteral("a\rb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("lf") << QStringLiteral("a\nb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("cr lf") << QStringLiteral("a\r\nb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("mixed breaks") << QStringLiteral("a\rb\nc\r\nd")
                                  << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                                 QStringLiteral("d")};
    QTest::newRow("final break ends the last line") << QStringLiteral("a\r\n") << QStringList{QStringLiteral("a")};
    QTest::newRow("final cr") << QStringLiteral("a\r") << QStringList{QStringLiteral("a")};
    QTest::newRow("break only") << QStringLiteral("\r\n") << QStringList{QString()};
    QTest::newRow("empty line kept") << QStringLiteral("a\n\nb")
                                     << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("lf cr is two breaks") << QStringLiteral("a\n\rb")
                                         << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("cr cr lf") << QStringLiteral("a\r\r\n") << QStringList{QStringLiteral("a"), QString()};
}

void TestTextFormats::splitLines() {
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(SplitLines(text), lines);
}

void TestTextFormats::textToStream_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty writes nothing") << QString() << QByteArray();
    QTest::newRow("one line gets cr lf") << QStringLiteral("中文") << hex("d6d0cec40d0a");
    QTest::newRow("lf becomes cr lf") << QStringLiteral("a\nb") << hex("610d0a620d0a");
    QTest::newRow("cr becomes cr lf") << QStringLiteral("a\rb\r") << hex("610d0a620d0a");
    QTest::newRow("final break not doubled") << QStringLiteral("a\r\n") << hex("610d0a");
    QTest::newRow("empty lines kept") << QStringLiteral("\n\n") << hex("0d0a0d0a");
    QTest::newRow("unpaired surrogate becomes ?") << QString(QStringLiteral("a") + QChar(0xD800)) << hex("613f0d0a");
    QTest::newRow("hangul makes the text utf-8") << QStringLiteral("中한") << hex("efbbbfe4b8aded959c0d0a");
}

void TestTextFormats::textToStream() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QByteArray data;
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::ReadWrite));
    TextToStream(text, buffer);
    QCOMPARE(data.toHex(), bytes.toHex());
}

void TestTextFormats::textToStream_failingDevice_raises() {
    FailingDevice device(3, 100, false);
    QVERIFY_THROWS_EXCEPTION(VelmoraError, TextToStream(QStringLiteral("abcdef"), device));
}

void TestTextFormats::streamToText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("gbk lines") << hex("d6d0cec40d0a61") << QStringLiteral("中文\r\na\r\n");
    QTest::newRow("utf-8 bom, lf") << hex("efbbbfe4b8ad0a62") << QStringLiteral("中\r\nb\r\n");
    QTest::newRow("utf-16le bom, cr") << hex("fffe2d4e0d006200") << QStringLiteral("中\r\nb\r\n");
    QTest::newRow("utf-16be bom") << hex("feff4e2d") << QStringLiteral("中\r\n");
}

void TestTextFormats::streamToText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    // Whatever was read before, the whole stream is the text.
    buffer.seek(bytes.size());
    QCOMPARE(StreamToText(buffer), text);
}

void TestTextFormats::writeTextFile_gbkCrLfNoBom() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.dat"));
    WriteBytes(path, QByteArrayLiteral("old content that is longer than the new one"));
    WriteTextFile(path, {QStringLiteral("中文"), QString(), QStringLiteral("a=b")});
    QCOMPARE(ReadBytes(path).toHex(), hex("d6d0cec40d0a0d0a613d620d0a").toHex());
    QCOMPARE(ReadTextFile(path), (QStringList{QStringLiteral("中文"), QString(), QStringLiteral("a=b")}));

    WriteTextFile(path, {});
    QVERIFY(QFile::exists(path));
    QCOMPARE(ReadBytes(path), QByteArray());
}

void TestTextFormats::readTextFile_honoursBom() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.dat"));
    WriteBytes(path, hex("fffe2d4e0d000a0061000a00"));
    QCOMPARE(ReadTextFile(path), (QStringList{QStringLiteral("中"), QStringLiteral("a")}));
    WriteBytes(path, hex("efbbbfe4b8ad0d62"));
    QCOMPARE(ReadTextFile(path), (QStringList{QStringLiteral("中"), QStringLiteral("b")}));
}

void TestTextFormats::readTextFile_missing_givesNoLines() {
    QTemporaryDir dir;
    QCOMPARE(ReadTextFile(dir.filePath(QStringLiteral("absent.ini"))), QStringList());
}

void TestTextFormats::writeTextFile_missingFolder_raises() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/such/folder/list.dat"));
    QVERIFY_THROWS_EXCEPTION(VelmoraError, WriteTextFile(path, {QStringLiteral("a")}));
    QVERIFY(!QFile::exists(path));
}

void TestTextFormats::getSetting_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << QStringList{QStringLiteral("A=1"), QStringLiteral("Dir=/home/u")} << QStringLiteral("Dir")
                           << QStringLiteral("/home/u");
    QTest::newRow("first match wins") << QStringList{QStringLiteral("Key=1"), QStringLiteral("Key=2")}
                                      << QStringLiteral("Key") << QStringLiteral("1");
    // A key that begins another key takes that line when it comes first, cut by the key's length plus one.
    QTest::newRow("prefix key, longer line first")
        << QStringList{QStringLiteral("AutoSave=5"), QStringLiteral("Auto=1")} << QStringLiteral("Auto")
        << QStringLiteral("ave=5");
    QTest::newRow("prefix key, own line first") << QStringList{QStringLiteral("Auto=1"), QStringLiteral("AutoSave=5")}
                                                << QStringLiteral("Auto") << QStringLiteral("1");
    QTest::newRow("absent") << QStringList{QStringLiteral("A=1")} << QStringLiteral("B") << QString();
    QTest::newRow("empty list") << QStringList() << QStringLiteral("B") << QString();
    QTest::newRow("case-sensitive") << QStringList{QStringLiteral("key=1")} << QStringLiteral("Key") << QString();
    QTest::newRow("line without =") << QStringList{QStringLiteral("KeyValue")} << QStringLiteral("Key")
                                    << QStringLiteral("alue");
    QTest::newRow("line is the key") << QStringList{QStringLiteral("Key")} << QStringLiteral("Key") << QString();
    QTest::newRow("value holds =") << QStringList{QStringLiteral("P=a=b")} << QStringLiteral("P")
                                   << QStringLiteral("a=b");
    QTest::newRow("empty value") << QStringList{QStringLiteral("Key="), QStringLiteral("Key=2")}
                                 << QStringLiteral("Key") << QString();
    QTest::newRow("chinese") << QStringList{QStringLiteral("标签=读书")} << QStringLiteral("标签")
                             << QStringLiteral("读书");
}

void TestTextFormats::getSetting() {
    QFETCH(QStringList, list);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QCOMPARE(GetSetting(key, list), value);
}

void TestTextFormats::setSetting_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("first match replaced")
        << QStringList{QStringLiteral("A=1"), QStringLiteral("B=2"), QStringLiteral("A=3")} << QStringLiteral("A")
        << QStringLiteral("9") << QStringList{QStringLiteral("A=9"), QStringLiteral("B=2"), QStringLiteral("A=3")};
    QTest::newRow("absent key never added") << QStringList{QStringLiteral("A=1")} << QStringLiteral("B")
                                            << QStringLiteral("2") << QStringList{QStringLiteral("A=1")};
    QTest::newRow("empty list stays empty")
        << QStringList() << QStringLiteral("B") << QStringLiteral("2") << QStringList();
    QTest::newRow("line without =") << QStringList{QStringLiteral("Key")} << QStringLiteral("Key")
                                    << QStringLiteral("v") << QStringList{QStringLiteral("Key=v")};
    QTest::newRow("prefix key replaces the longer line when first")
        << QStringList{QStringLiteral("AutoSave=5"), QStringLiteral("Auto=1")} << QStringLiteral("Auto")
        << QStringLiteral("2") << QStringList{QStringLiteral("Auto=2"), QStringLiteral("Auto=1")};
    QTest::newRow("case-sensitive") << QStringList{QStringLiteral("key=1")} << QStringLiteral("Key")
                                    << QStringLiteral("2") << QStringList{QStringLiteral("key=1")};
    QTest::newRow("empty value") << QStringList{QStringLiteral("Dir=/a")} << QStringLiteral("Dir") << QString()
                                 << QStringList{QStringLiteral("Dir=")};
}

void TestTextFormats::setSetting() {
    QFETCH(QStringList, list);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QStringList, expected);
    SetSetting(key, value, list);
    QCOMPARE(list, expected);
}

void TestTextFormats::writeStreamString_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("ascii into empty stream")
        << QByteArray() << QStringLiteral("ab") << qint64(0) << hex("0400000061006200");
    QTest::newRow("appended at the end") << hex("aabbcc") << QStringLiteral("中") << qint64(3)
                                         << hex("aabbcc020000002d4e");
    QTest::newRow("stored untrimmed") << QByteArray() << QStringLiteral(" a\t") << qint64(0)
                                      << hex("06000000200061000900");
    QTest::newRow("surrogate pair counts two units")
        << QByteArray() << QStringLiteral("😀") << qint64(0) << hex("040000003dd800de");
    QTest::newRow("empty text") << hex("01") << QString() << qint64(-1) << hex("01");
    QTest::newRow("blank text") << hex("01") << QStringLiteral(" \t\r\n") << qint64(-1) << hex("01");
    QTest::newRow("control characters are blank")
        << QByteArray() << QStringLiteral("\x01\x1f ") << qint64(-1) << QByteArray();
}

void TestTextFormats::writeStreamString() {
    QFETCH(QByteArray, before);
    QFETCH(QString, text);
    QFETCH(qint64, offset);
    QFETCH(QByteArray, after);
    QByteArray stream = before;
    QCOMPARE(WriteStreamString(stream, text), offset);
    QCOMPARE(stream.toHex(), after.toHex());
}

void TestTextFormats::readStreamString_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("text");
    const QByteArray two = hex("0400000061006200020000002d4e");
    QTest::newRow("first item") << two << qint64(0) << QStringLiteral("ab");
    QTest::newRow("second item, last bytes of stream") << two << qint64(8) << QStringLiteral("中");
    QTest::newRow("untrimmed") << hex("06000000200061000900") << qint64(0) << QStringLiteral(" a\t");
    QTest::newRow("surrogate pair") << hex("040000003dd800de") << qint64(0) << QStringLiteral("😀");
    QTest::newRow("zero count") << hex("00000000") << qint64(0) << QString();
    QTest::newRow("odd count reads whole units") << hex("030000006100ff") << qint64(0) << QStringLiteral("a");
    QTest::newRow("count one reads nothing") << hex("01000000ff") << qint64(0) << QString();
    QTest::newRow("offset -1") << two << qint64(-1) << QString();
    QTest::newRow("empty stream, any offset") << QByteArray() << qint64(1000) << QString();
}

void TestTextFormats::readStreamString() {
    QFETCH(QByteArray, stream);
    QFETCH(qint64, offset);
    QFETCH(QString, text);
    QCOMPARE(ReadStreamString(stream, offset), text);
}

void TestTextFormats::readStreamString_outsideStream_raisesNamingOffset_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<qint64>("offset");
    const QByteArray one = hex("0400000061006200");
    QTest::newRow("offset at the end") << one << qint64(8);
    QTest::newRow("offset far past the end") << one << qint64(100000);
    QTest::newRow("count cut by the end") << one << qint64(6);
    QTest::newRow("negative offset other than -1") << one << qint64(-2);
    QTest::newRow("largest offset") << one << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest offset") << one << std::numeric_limits<qint64>::min();
    QTest::newRow("count past the end") << hex("0800000061006200") << qint64(0);
    QTest::newRow("odd count one past the end") << hex("0500000061006200") << qint64(0);
    QTest::newRow("negative count") << hex("ffffffff61006200") << qint64(0);
    QTest::newRow("largest count") << hex("ffffff7f61006200") << qint64(0);
    QTest::newRow("truncated stream") << hex("040000") << qint64(0);
}

void TestTextFormats::readStreamString_outsideStream_raisesNamingOffset() {
    QFETCH(QByteArray, stream);
    QFETCH(qint64, offset);
    try {
        const QString text = ReadStreamString(stream, offset);
        QFAIL(qPrintable(QStringLiteral("no error; read \"%1\"").arg(text)));
    } catch (const VelmoraError& error) {
        QCOMPARE(error.offset(), offset);
        QVERIFY2(error.message().contains(QString::number(offset)), qPrintable(error.message()));
    }
}

void TestTextFormats::compressText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("lf") << QStringLiteral("中文\nabc") << hex(kCompressedChineseAbc);
    QTest::newRow("cr lf with final break") << QStringLiteral("中文\r\nabc\r\n") << hex(kCompressedChineseAbc);
    QTest::newRow("cr") << QStringLiteral("中文\rabc") << hex(kCompressedChineseAbc);
    QTest::newRow("empty text") << QString() << hex("7801030000000001");
}

void TestTextFormats::compressText() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(CompressText(text).toHex(), bytes.toHex());
}

void TestTextFormats::saveCompressedText_writesExactBytesAndReplaces() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plan.dat_"));
    WriteBytes(path, QByteArray(200, 'x'));
    SaveCompressedText(QStringLiteral("中文\nabc"), path);
    QCOMPARE(ReadBytes(path).toHex(), QByteArray(kCompressedChineseAbc));
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("plan.dat_")});
}

void TestTextFormats::loadCompressedText_roundTrip() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plan.dat_"));
    WriteBytes(path, hex(kCompressedChineseAbc));
    QCOMPARE(LoadCompressedText(path), QStringLiteral("中文\r\nabc\r\n"));
    WriteBytes(path, hex("7801030000000001"));
    QCOMPARE(LoadCompressedText(path), QString());
    SaveCompressedText(QStringLiteral("x한\r\r\ny"), path);
    QCOMPARE(LoadCompressedText(path), QStringLiteral("x한\r\n\r\ny\r\n"));
}

void TestTextFormats::decompressText_damaged_raises_data() {
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = hex(kCompressedChineseAbc);
    QByteArray badChecksum = good;
    badChecksum[badChecksum.size() - 1] = char(badChecksum.back() ^ 0x01);
    QByteArray badHeader = good;
    badHeader[1] = char(0x02);
    QByteArray badData = good;
    badData[4] = char(badData[4] ^ 0xff);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("plain text") << QByteArrayLiteral("hello, world");
    QTest::newRow("header only") << hex("7801");
    QTest::newRow("checksum missing") << good.left(good.size() - 4);
    QTest::newRow("last byte missing") << good.left(good.size() - 1);
    QTest::newRow("cut inside the data") << good.left(6);
    QTest::newRow("checksum wrong") << badChecksum;
    QTest::newRow("header check wrong") << badHeader;
    QTest::newRow("data damaged") << badData;
    QTest::newRow("raw deflate without header") << good.mid(2);
}

void TestTextFormats::decompressText_damaged_raises() {
    QFETCH(QByteArray, bytes);
    try {
        const QString text = DecompressText(bytes, QStringLiteral("plan.dat_"));
        QFAIL(qPrintable(QStringLiteral("no error; read \"%1\"").arg(text)));
    } catch (const VelmoraError& error) {
        QCOMPARE(error.file(), QStringLiteral("plan.dat_"));
    }
}

void TestTextFormats::loadCompressedText_damagedFile_raisesNamingFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plan.dat_"));
    WriteBytes(path, hex(kCompressedChineseAbc).left(10));
    try {
        LoadCompressedText(path);
        QFAIL("no error");
    } catch (const VelmoraError& error) {
        QCOMPARE(error.file(), path);
        QVERIFY2(error.message().contains(path), qPrintable(error.message()));
    }
    WriteBytes(path, QByteArray());
    QVERIFY_THROWS_EXCEPTION(VelmoraError, LoadCompressedText(path));
}

void TestTextFormats::decompressText_honoursBom() {
    // "\xEF\xBB\xBF中\nx" (UTF-8 with its mark), compressed by zlib at level 1 outside our code.
    QCOMPARE(DecompressText(hex("78017bbf7bff931d6bb92a001afe0535")), QStringLiteral("中\r\nx\r\n"));
}

void TestTextFormats::writeAll_data() {
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<qint64>("chunk");
    QTest::addColumn<bool>("stall");
    QTest::addColumn<bool>("fails");
    QTest::newRow("room for everything") << qint64(10) << qint64(100) << false << false;
    QTest::newRow("short writes are continued") << qint64(100) << qint64(3) << false << false;
    QTest::newRow("one byte at a time") << qint64(10) << qint64(1) << false << false;
    QTest::newRow("fails at once") << qint64(0) << qint64(100) << false << true;
    QTest::newRow("fails after 4 bytes") << qint64(4) << qint64(100) << false << true;
    QTest::newRow("fails after short writes") << qint64(7) << qint64(3) << false << true;
    QTest::newRow("fails one byte short") << qint64(9) << qint64(100) << false << true;
    QTest::newRow("stops taking bytes") << qint64(5) << qint64(2) << true << true;
}

void TestTextFormats::writeAll() {
    QFETCH(qint64, limit);
    QFETCH(qint64, chunk);
    QFETCH(bool, stall);
    QFETCH(bool, fails);
    const QByteArray data = QByteArrayLiteral("0123456789");
    FailingDevice device(limit, chunk, stall);
    try {
        WriteAll(device, data, QStringLiteral("worddata.data"));
        QVERIFY(!fails);
    } catch (const VelmoraError& error) {
        QVERIFY2(fails, qPrintable(error.message()));
        QCOMPARE(error.file(), QStringLiteral("worddata.data"));
        QVERIFY2(error.message().contains(QStringLiteral("worddata.data")), qPrintable(error.message()));
        if (!stall) {
            QVERIFY2(error.message().contains(QStringLiteral("device full")), qPrintable(error.message()));
        }
    }
    QCOMPARE(device.written, data.left(std::min<qint64>(limit, data.size())));
}

void TestTextFormats::writeFileAtomically_replacesFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("worddata.idx"));
    WriteBytes(path, QByteArray(100, 'o'));
    WriteFileAtomically(path, hex("0102"));
    QCOMPARE(ReadBytes(path).toHex(), QByteArray("0102"));
    WriteFileAtomically(path, QByteArray());
    QVERIFY(QFile::exists(path));
    QCOMPARE(ReadBytes(path), QByteArray());
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("worddata.idx")});
}

void TestTextFormats::writeFileAtomically_missingFolder_raises() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gone/worddata.idx"));
    try {
        WriteFileAtomically(path, hex("0102"));
        QFAIL("no error");
    } catch (const VelmoraError& error) {
        QCOMPARE(error.file(), path);
    }
    QVERIFY(entriesOf(dir.path()).isEmpty());
}

void TestTextFormats::writeFileAtomically_writeFails_keepsOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("worddata.data"));
    const QByteArray old = QByteArrayLiteral("the old library");
    WriteBytes(path, old);
    {
        const FileSizeLimit limit(1024);
        QVERIFY_THROWS_EXCEPTION(VelmoraError, WriteFileAtomically(path, QByteArray(256 * 1024, 'n')));
    }
    QCOMPARE(ReadBytes(path), old);
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("worddata.data")});
}

void TestTextFormats::writeFilesAtomically_oneFails_replacesNone() {
    QTemporaryDir dir;
    const QString idx = dir.filePath(QStringLiteral("worddata.idx"));
    const QString data = dir.filePath(QStringLiteral("worddata.data"));
    WriteBytes(idx, QByteArrayLiteral("old idx"));
    WriteBytes(data, QByteArrayLiteral("old data"));
    {
        const FileSizeLimit limit(1024);
        QVERIFY_THROWS_EXCEPTION(VelmoraError, WriteFilesAtomically({{idx, QByteArrayLiteral("new idx")},
                                                                     {data, QByteArray(256 * 1024, 'n')}}));
    }
    QCOMPARE(ReadBytes(idx), QByteArrayLiteral("old idx"));
    QCOMPARE(ReadBytes(data), QByteArrayLiteral("old data"));
    QCOMPARE(entriesOf(dir.path()), (QStringList{QStringLiteral("worddata.data"), QStringLiteral("worddata.idx")}));
}

QTEST_GUILESS_MAIN(TestTextFormats)
#include "tst_textformats.moc"
