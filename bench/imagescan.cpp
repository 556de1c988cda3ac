#include "imagescan.h"

#include "store/positionlist.h"
#include "store/wordrec.h"

#include <QtEndian>

#include <vector>

namespace velmora::bench {

namespace {

char16_t fold(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
}

std::u16string folded(QStringView text) {
    std::u16string out;
    out.reserve(size_t(text.size()));
    for (const QChar c : text) {
        out.push_back(fold(c.unicode()));
    }
    return out;
}

// The item at offset as raw UTF-16LE bytes; empty when it is not a whole item of the image (the store would
// raise an error there, which a sketch need not imitate).
QByteArrayView itemAt(QByteArrayView strings, qint32 offset) {
    if (offset < 0 || qsizetype(offset) + 4 > strings.size()) {
        return {};
    }
    const qint32 count = qFromLittleEndian<qint32>(strings.data() + offset);
    if (count < 0 || count > strings.size() - offset - 4) {
        return {};
    }
    return strings.sliced(offset + 4, count & ~1);
}

bool sameFolded(const char* utf16le, const std::u16string& word) {
    for (size_t i = 0; i < word.size(); ++i) {
        if (fold(qFromLittleEndian<char16_t>(utf16le + 2 * i)) != word[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

QList<qint64> ScanTagQuery(QByteArrayView records, QByteArrayView strings, const QString& query) {
    std::vector<std::u16string> words;
    for (const QStringView word : QStringView(query).split(u' ', Qt::SkipEmptyParts)) {
        words.push_back(folded(word));
    }
    QList<qint64> found;
    const qsizetype count = records.size() / TWordRec::Size;
    for (qsizetype k = 0; k < count; ++k) {
        const char* rec = records.data() + k * TWordRec::Size;
        if (rec[34] != 0) {
            continue;
        }
        const QByteArrayView tags = itemAt(strings, qFromLittleEndian<qint32>(rec + 4));
        const char* p = tags.data();
        const qsizetype units = tags.size() / 2;
        bool hit = false;
        for (qsizetype start = 0; start <= units && !hit;) {
            qsizetype end = start;
            while (end < units && qFromLittleEndian<char16_t>(p + 2 * end) != u' ') {
                ++end;
            }
            const size_t length = size_t(end - start);
            for (const std::u16string& word : words) {
                if (length != 0 && word.size() == length && sameFolded(p + 2 * start, word)) {
                    hit = true;
                    break;
                }
            }
            start = end + 1;
        }
        if (hit) {
            found.append(k * TWordRec::Size);
        }
    }
    return found;
}

bool ScanDocInBase(QByteArrayView records, QByteArrayView strings, const QString& path) {
    const std::u16string wanted = folded(path);
    const qsizetype count = records.size() / TWordRec::Size;
    for (qsizetype k = 0; k < count; ++k) {
        const char* rec = records.data() + k * TWordRec::Size;
        if (rec[34] != 0) {
            continue;
        }
        const QByteArrayView name = itemAt(strings, qFromLittleEndian<qint32>(rec));
        if (size_t(name.size()) == 2 * wanted.size() && sameFolded(name.data(), wanted)) {
            return true;
        }
    }
    return false;
}

QString PositionListOf(QByteArrayView records, QByteArrayView strings, const QList<qint64>& positions) {
    PositionList list;
    for (const qint64 pos : positions) {
        if (pos + TWordRec::Size > records.size()) {
            continue;
        }
        const QByteArrayView name = itemAt(strings, qFromLittleEndian<qint32>(records.data() + pos));
        QString path(name.size() / 2, Qt::Uninitialized);
        qFromLittleEndian<char16_t>(name.data(), path.size(), path.data());
        list.add(pos, path);
    }
    return list.text();
}

} // namespace velmora::bench
