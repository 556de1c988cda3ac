#pragma once

// Hand-built bytes of the library formats, written out field by field so that the tests do not lean on the
// store's own writer.

#include <QByteArray>
#include <QString>

#include <cstring>

namespace velmora::test {

inline QByteArray le32(qint32 v) {
    const quint32 u = quint32(v);
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i) {
        b[i] = char((u >> (8 * i)) & 0xff);
    }
    return b;
}

inline QByteArray le16(quint16 v) {
    QByteArray b(2, '\0');
    b[0] = char(v & 0xff);
    b[1] = char(v >> 8);
    return b;
}

inline QByteArray leDouble(double d) {
    quint64 bits;
    std::memcpy(&bits, &d, 8);
    QByteArray b(8, '\0');
    for (int i = 0; i < 8; ++i) {
        b[i] = char((bits >> (8 * i)) & 0xff);
    }
    return b;
}

// A string item: the byte count, then UTF-16LE.
inline QByteArray item(const QString& text) {
    QByteArray b = le32(qint32(text.size() * 2));
    for (const QChar c : text) {
        b.append(char(c.unicode() & 0xff));
        b.append(char(c.unicode() >> 8));
    }
    return b;
}

struct RecBytes {
    qint32 path = -1;
    qint32 tags = -1;
    qint32 password = -1;
    double created = 0.0;
    double accessed = 0.0;
    quint16 reads = 0;
    quint16 edits = 0;
    quint8 score = 0;
    quint8 archive = 0;
    quint8 deleted = 0;

    QByteArray bytes() const {
        QByteArray b = le32(path) + le32(tags) + le32(password) + leDouble(created) + leDouble(accessed) + le16(reads) +
                       le16(edits);
        b.append(char(score));
        b.append(char(archive));
        b.append(char(deleted));
        return b;
    }
};

} // namespace velmora::test
