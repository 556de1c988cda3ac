#include "encryptedfile.h"

#include <QFile>

#include <cstring>
#include <optional>

namespace velmora::lo {

namespace {

quint32 u32(const QByteArray& bytes, qint64 at) {
    if (at < 0 || at + 4 > bytes.size()) {
        return 0xFFFFFFFFu;
    }
    quint32 value = 0;
    std::memcpy(&value, bytes.constData() + at, 4);
    return value;
}

quint16 u16(const QByteArray& bytes, qint64 at) {
    if (at < 0 || at + 2 > bytes.size()) {
        return 0;
    }
    quint16 value = 0;
    std::memcpy(&value, bytes.constData() + at, 2);
    return value;
}

// A compound file as far as reading its directory and the first bytes of a stream needs.
class CompoundFile {
public:
    explicit CompoundFile(QByteArray bytes) : m_bytes(std::move(bytes)) {
        const quint16 shift = u16(m_bytes, 0x1E);
        if (shift < 9 || shift > 12) {
            return;
        }
        m_sectorSize = qint64(1) << shift;
        // The first 109 FAT sectors are listed in the header, the rest in a chain of DIFAT sectors.
        QList<quint32> fatSectors;
        for (int i = 0; i < 109; ++i) {
            fatSectors.append(u32(m_bytes, 0x4C + 4 * i));
        }
        quint32 difat = u32(m_bytes, 0x44);
        for (int guard = 0; difat < 0xFFFFFFFAu && guard < 10000; ++guard) {
            const qint64 at = offset(difat);
            const qint64 perSector = m_sectorSize / 4 - 1;
            for (qint64 i = 0; i < perSector; ++i) {
                fatSectors.append(u32(m_bytes, at + 4 * i));
            }
            difat = u32(m_bytes, at + 4 * perSector);
        }
        for (quint32 sector : fatSectors) {
            if (sector >= 0xFFFFFFFAu) {
                continue;
            }
            const qint64 at = offset(sector);
            if (at < 0 || at + m_sectorSize > m_bytes.size()) {
                continue;
            }
            for (qint64 i = 0; i < m_sectorSize / 4; ++i) {
                m_fat.append(u32(m_bytes, at + 4 * i));
            }
        }
        m_valid = true;
    }

    bool valid() const { return m_valid; }

    struct Stream {
        quint32 start;
        quint32 size;
    };

    // The start sector and the size of the stream of that name, or nothing.
    std::optional<Stream> stream(const QString& name) const {
        quint32 sector = u32(m_bytes, 0x30);
        for (int guard = 0; sector < 0xFFFFFFFAu && guard < 100000; ++guard) {
            const qint64 at = offset(sector);
            for (qint64 entry = at; entry + 128 <= at + m_sectorSize && entry + 128 <= m_bytes.size(); entry += 128) {
                const int nameBytes = u16(m_bytes, entry + 0x40);
                if (nameBytes < 2 || nameBytes > 64) {
                    continue;
                }
                const QString entryName = QString::fromUtf16(
                    reinterpret_cast<const char16_t*>(m_bytes.constData() + entry), nameBytes / 2 - 1);
                if (entryName == name) {
                    return Stream{u32(m_bytes, entry + 0x74), u32(m_bytes, entry + 0x78)};
                }
            }
            sector = sector < quint32(m_fat.size()) ? m_fat.at(sector) : 0xFFFFFFFEu;
        }
        return std::nullopt;
    }

    qint64 offset(quint32 sector) const { return (qint64(sector) + 1) * m_sectorSize; }

    // The file offset of a byte of a stream; small streams live in the mini stream, which is the root entry's.
    qint64 offsetIn(const Stream& stream, qint64 at) const {
        quint32 sector = stream.start;
        if (stream.size < u32(m_bytes, 0x38)) {
            const qint64 miniSize = qint64(1) << u16(m_bytes, 0x20);
            const auto root = rootStream();
            if (!root || miniSize < 16) {
                return -1;
            }
            at += qint64(stream.start) * miniSize;
            sector = root->start;
        }
        for (qint64 skip = at / m_sectorSize; skip > 0; --skip) {
            if (sector >= quint32(m_fat.size())) {
                return -1;
            }
            sector = m_fat.at(sector);
        }
        return sector >= 0xFFFFFFFAu ? -1 : offset(sector) + at % m_sectorSize;
    }

    std::optional<Stream> rootStream() const {
        const qint64 entry = offset(u32(m_bytes, 0x30));
        if (entry < 0 || entry + 128 > m_bytes.size()) {
            return std::nullopt;
        }
        return Stream{u32(m_bytes, entry + 0x74), u32(m_bytes, entry + 0x78)};
    }

private:
    QByteArray m_bytes;
    qint64 m_sectorSize = 512;
    QList<quint32> m_fat;
    bool m_valid = false;
};

} // namespace

bool IsEncryptedWordFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    static const QByteArray compoundMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    if (!bytes.startsWith(compoundMagic)) {
        return false;
    }
    const CompoundFile compound(bytes);
    if (!compound.valid()) {
        return false;
    }
    if (compound.stream(QStringLiteral("EncryptedPackage"))) {
        return true;
    }
    const auto word = compound.stream(QStringLiteral("WordDocument"));
    if (!word) {
        return false;
    }
    // fEncrypted is bit 8 of the flags word at offset 10 of the stream's header, which is never encrypted.
    constexpr quint16 kEncrypted = 0x0100;
    const qint64 flags = compound.offsetIn(*word, 0x0A);
    return flags >= 0 && (u16(bytes, flags) & kEncrypted) != 0;
}

} // namespace velmora::lo
