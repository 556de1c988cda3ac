#include "streamstring.h"

#include "appfolder.h"
#include "errors.h"

#include <QtEndian>

namespace velmora {

qint64 WriteStreamString(QByteArray& stream, const QString& text) {
    if (IsBlank(text)) {
        return -1;
    }
    const qint64 offset = stream.size();
    const qint64 byteCount = qint64(text.size()) * 2;
    if (offset + 4 + byteCount > std::numeric_limits<qint32>::max()) {
        throw VelmoraError(QStringLiteral("字符串文件超过 2 GB，无法再写入"), {}, offset);
    }
    char count[4];
    qToLittleEndian<qint32>(qint32(byteCount), count);
    stream.append(count, 4);
    const qsizetype textStart = stream.size();
    stream.resize(textStart + byteCount);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), stream.data() + textStart);
    return offset;
}

qint32 StreamStringByteCount(const QByteArray& stream, qint64 offset) {
    // Compared without adding to offset, which may be anything up to the largest qint64.
    if (offset < 0 || offset > stream.size() - 4) {
        throw VelmoraError(QStringLiteral("字符串位置 %1 超出字符串文件 (%2 字节)").arg(offset).arg(stream.size()), {},
                           offset);
    }
    const qint32 count = qFromLittleEndian<qint32>(stream.constData() + offset);
    if (count < 0 || count > stream.size() - offset - 4) {
        throw VelmoraError(QStringLiteral("字符串位置 %1 的长度 %2 超出字符串文件").arg(offset).arg(count), {}, offset);
    }
    return count;
}

QString ReadStreamString(const QByteArray& stream, qint64 offset) {
    if (offset == -1 || stream.isEmpty()) {
        return {};
    }
    const qint32 count = StreamStringByteCount(stream, offset);
    QString text(count / 2, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(stream.constData() + offset + 4, count / 2, text.data());
    return text;
}

} // namespace velmora
