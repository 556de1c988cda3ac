// The check on disk that decides whether a Word file is password-protected: a file it misses is opened without
// keeping its password and written back in the clear; a file it wrongly flags can never be saved.
#include "office/libreoffice/encryptedfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using velmora::lo::IsEncryptedWordFile;

namespace {

constexpr quint32 kFree = 0xFFFFFFFFu;
constexpr quint32 kEnd = 0xFFFFFFFEu;
constexpr quint32 kFatSector = 0xFFFFFFFDu;
constexpr quint32 kDifatSector = 0xFFFFFFFCu;

void put16(QByteArray& bytes, qsizetype at, quint16 value) {
    std::memcpy(bytes.data() + at, &value, 2);
}

void put32(QByteArray& bytes, qsizetype at, quint32 value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

// The first bytes of a WordDocument stream: the Word identifier and the flags word at offset 10.
QByteArray WordHeader(bool encrypted, qsizetype size) {
    QByteArray stream(size, '\x5A');
    put16(stream, 0, 0xA5EC);
    put16(stream, 10, encrypted ? 0x0100 : 0x0000);
    return stream;
}

// A compound file laid out by hand, so that each structure a writer may choose (sector size, mini stream,
// directory spread over sectors, FAT listed in a DIFAT sector) appears on purpose.
struct Layout {
    int sectorShift = 9;
    bool miniStreams = false;     // streams under the cut-off go into the root's mini stream
    int entriesBeforeStreams = 0; // empty directory entries pushing the streams into later directory sectors
    bool fatThroughDifat = false; // the FAT sector is listed in a DIFAT sector rather than in the header
    bool directoryLoops = false;  // the directory chain points back at itself
    QList<QPair<QString, QByteArray>> streams;
};

QByteArray BuildCompound(const Layout& layout) {
    const qsizetype sectorSize = qsizetype(1) << layout.sectorShift;
    const qsizetype perSector = sectorSize / 4;
    QList<QByteArray> sectors;
    QList<quint32> fat;
    auto addChain = [&](const QByteArray& data) {
        const quint32 first = quint32(sectors.size());
        const qsizetype count = qMax<qsizetype>(1, (data.size() + sectorSize - 1) / sectorSize);
        for (qsizetype i = 0; i < count; ++i) {
            QByteArray sector = data.mid(i * sectorSize, sectorSize);
            sector.append(QByteArray(sectorSize - sector.size(), '\0'));
            sectors.append(sector);
            fat.append(i + 1 < count ? quint32(sectors.size()) : kEnd);
        }
        return first;
    };
    // Sector 0 is the FAT, sector 1 the DIFAT sector when one is used.
    sectors.append(QByteArray(sectorSize, '\0'));
    fat.append(kFatSector);
    if (layout.fatThroughDifat) {
        sectors.append(QByteArray(sectorSize, '\0'));
        fat.append(kDifatSector);
    }

    struct Entry {
        QString name;
        int type;
        quint32 start;
        quint32 size;
    };
    QList<Entry> entries;
    QByteArray mini;
    QList<quint32> miniFat;
    for (const auto& [name, data] : layout.streams) {
        if (layout.miniStreams && data.size() < 4096) {
            const quint32 start = quint32(mini.size() / 64);
            const qsizetype count = qMax<qsizetype>(1, (data.size() + 63) / 64);
            mini.append(data);
            mini.append(QByteArray(count * 64 - data.size(), '\0'));
            for (qsizetype i = 0; i < count; ++i) {
                miniFat.append(i + 1 < count ? quint32(start + i + 1) : kEnd);
            }
            entries.append({name, 2, start, quint32(data.size())});
        } else {
            entries.append({name, 2, addChain(data), quint32(data.size())});
        }
    }
    quint32 rootStart = kEnd;
    quint32 miniFatStart = kEnd;
    if (!mini.isEmpty()) {
        rootStart = addChain(mini);
        QByteArray table;
        for (quint32 next : miniFat) {
            table.append(reinterpret_cast<const char*>(&next), 4);
        }
        miniFatStart = addChain(table);
    }

    QByteArray directory;
    auto addEntry = [&](const QString& name, int type, quint32 start, quint32 size) {
        QByteArray entry(128, '\0');
        if (!name.isEmpty()) {
            std::memcpy(entry.data(), name.utf16(), size_t(name.size()) * 2);
            put16(entry, 0x40, quint16((name.size() + 1) * 2));
        }
        entry[0x42] = char(type);
        put32(entry, 0x44, kFree);
        put32(entry, 0x48, kFree);
        put32(entry, 0x4C, type == 5 ? 1 : kFree);
        put32(entry, 0x74, start);
        put32(entry, 0x78, size);
        directory.append(entry);
    };
    addEntry(QStringLiteral("Root Entry"), 5, rootStart, quint32(mini.size()));
    for (int i = 0; i < layout.entriesBeforeStreams; ++i) {
        addEntry(QString(), 0, 0, 0);
    }
    for (const Entry& entry : entries) {
        addEntry(entry.name, entry.type, entry.start, entry.size);
    }
    const quint32 directoryStart = addChain(directory);
    if (layout.directoryLoops) {
        fat[directoryStart + (directory.size() - 1) / sectorSize] = directoryStart;
    }

    Q_ASSERT(fat.size() <= perSector);
    for (qsizetype i = 0; i < perSector; ++i) {
        put32(sectors[0], 4 * i, i < fat.size() ? fat.at(i) : kFree);
    }
    QByteArray header(sectorSize, '\0');
    std::memcpy(header.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    put16(header, 0x18, 0x3E);
    put16(header, 0x1A, layout.sectorShift == 12 ? 4 : 3);
    put16(header, 0x1C, 0xFFFE);
    put16(header, 0x1E, quint16(layout.sectorShift));
    put16(header, 0x20, 6);
    put32(header, 0x2C, 1);
    put32(header, 0x30, directoryStart);
    put32(header, 0x38, 4096);
    put32(header, 0x3C, miniFatStart);
    put32(header, 0x40, mini.isEmpty() ? 0 : 1);
    put32(header, 0x44, layout.fatThroughDifat ? 1 : kEnd);
    put32(header, 0x48, layout.fatThroughDifat ? 1 : 0);
    for (int i = 0; i < 109; ++i) {
        put32(header, 0x4C + 4 * i, i == 0 && !layout.fatThroughDifat ? 0 : kFree);
    }
    if (layout.fatThroughDifat) {
        for (qsizetype i = 0; i < perSector; ++i) {
            put32(sectors[1], 4 * i, i == 0 ? 0 : i + 1 == perSector ? kEnd : kFree);
        }
    }
    QByteArray file = header;
    for (const QByteArray& sector : sectors) {
        file.append(sector);
    }
    return file;
}

} // namespace

class TestLoEncryptedFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString write(const QByteArray& bytes) {
        static int serial = 0;
        const QString path = dir.filePath(QStringLiteral("sample-%1.doc").arg(++serial));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            qFatal("cannot write %s", qPrintable(path));
        }
        return path;
    }

    static QByteArray sample(const char* name) {
        QFile file(QStringLiteral(VELMORA_LO_TEST_DATA "/") + QLatin1String(name));
        if (!file.open(QIODevice::ReadOnly)) {
            qFatal("missing sample %s", name);
        }
        return file.readAll();
    }

private Q_SLOTS:
    void officeSamples_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("encrypted");
        QTest::newRow(".docx in the clear (a zip)") << "plain.docx" << false;
        QTest::newRow(".doc in the clear") << "plain.doc" << false;
        QTest::newRow(".docx with a password") << "secret.docx" << true;
        QTest::newRow(".doc with a password") << "secret.doc" << true;
        QTest::newRow("compound file without a Word stream") << "plain.xls" << false;
        QTest::newRow("protected OpenDocument is no Word file") << "secret.odt" << false;
    }
    void officeSamples() {
        QFETCH(QString, name);
        QFETCH(bool, encrypted);
        QCOMPARE(IsEncryptedWordFile(QStringLiteral(VELMORA_LO_TEST_DATA "/") + name), encrypted);
    }

    void layouts_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("encrypted");
        const auto word = [](bool encrypted, qsizetype size = 5000) {
            Layout layout;
            layout.streams = {{QStringLiteral("1Table"), QByteArray(700, 'T')},
                              {QStringLiteral("WordDocument"), WordHeader(encrypted, size)}};
            return layout;
        };
        QTest::newRow("flag set, 512-byte sectors") << BuildCompound(word(true)) << true;
        QTest::newRow("flag clear, 512-byte sectors") << BuildCompound(word(false)) << false;
        Layout big = word(true);
        big.sectorShift = 12;
        QTest::newRow("flag set, 4096-byte sectors") << BuildCompound(big) << true;
        big.streams = word(false).streams;
        QTest::newRow("flag clear, 4096-byte sectors") << BuildCompound(big) << false;
        Layout small = word(true, 1800);
        small.miniStreams = true;
        QTest::newRow("flag set, stream in the mini stream") << BuildCompound(small) << true;
        small.streams = word(false, 1800).streams;
        QTest::newRow("flag clear, stream in the mini stream") << BuildCompound(small) << false;
        Layout far = word(true);
        far.entriesBeforeStreams = 9;
        QTest::newRow("entry in a later directory sector") << BuildCompound(far) << true;
        Layout difat = word(true);
        difat.fatThroughDifat = true;
        QTest::newRow("FAT listed in a DIFAT sector") << BuildCompound(difat) << true;
        Layout package;
        package.streams = {{QStringLiteral("EncryptionInfo"), QByteArray(224, 'I')},
                           {QStringLiteral("EncryptedPackage"), QByteArray(4200, 'P')}};
        QTest::newRow("encrypted package") << BuildCompound(package) << true;
        package.miniStreams = true;
        package.streams.last().second.truncate(300);
        QTest::newRow("encrypted package in the mini stream") << BuildCompound(package) << true;
        Layout other;
        other.streams = {{QStringLiteral("1Table"), WordHeader(true, 5000)}};
        QTest::newRow("flag bits in another stream") << BuildCompound(other) << false;
        Layout loop = word(true);
        loop.streams.removeLast();
        loop.entriesBeforeStreams = 8;
        loop.directoryLoops = true;
        QTest::newRow("directory chain that loops") << BuildCompound(loop) << false;
        QByteArray badShift = BuildCompound(word(true));
        put16(badShift, 0x1E, 20);
        QTest::newRow("impossible sector size") << badShift << false;
        QByteArray outside = BuildCompound(word(true));
        put32(outside, 0x30, 0x00FFFFFF);
        QTest::newRow("directory past the end") << outside << false;
    }
    void layouts() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, encrypted);
        QCOMPARE(IsEncryptedWordFile(write(bytes)), encrypted);
    }

    // Cut files must be answered, never read past their end; whatever the answer, it comes.
    void damagedFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("encrypted");
        const QByteArray docx = sample("secret.docx");
        const QByteArray doc = sample("secret.doc");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("magic only") << docx.left(8) << false;
        QTest::newRow("header only") << docx.left(512) << false;
        QTest::newRow(".docx cut in its directory") << docx.left(1536 + 64) << false;
        QTest::newRow(".doc cut in half") << doc.left(doc.size() / 2) << false;
        QTest::newRow("zip bytes after the compound magic") << docx.left(8) + sample("plain.docx") << false;
    }
    void damagedFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, encrypted);
        QCOMPARE(IsEncryptedWordFile(write(bytes)), encrypted);
    }

    void unreadablePaths_areNotEncrypted() {
        QVERIFY(!IsEncryptedWordFile(dir.filePath(QStringLiteral("missing.doc"))));
        QVERIFY(!IsEncryptedWordFile(dir.path()));
        QVERIFY(!IsEncryptedWordFile(QString()));
    }
};

QTEST_GUILESS_MAIN(TestLoEncryptedFile)
#include "tst_lo_encryptedfile.moc"
