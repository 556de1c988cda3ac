#include "compressedtext.h"

#include "errors.h"
#include "readfile.h"
#include "savefile.h"
#include "textcodec.h"

#include <QFile>

#include <cerrno>

#include <unistd.h>
#include <zlib.h>

namespace velmora {

QString BoundedCacheText(const QString& text) {
    if (text.size() <= kMaxCachedTextChars) {
        return text;
    }
    qsizetype keep = kMaxCachedTextChars;
    if (text.at(keep - 1).isHighSurrogate()) {
        --keep;
    }
    return text.first(keep);
}

QByteArray CompressText(const QString& text) {
    const QByteArray plain = TextToBytes(text);
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                             reinterpret_cast<const Bytef*>(plain.constData()), uLong(plain.size()), 1);
    if (rc != Z_OK) {
        throw VelmoraError(QStringLiteral("压缩失败 (zlib %1)").arg(rc));
    }
    out.truncate(qsizetype(size));
    return out;
}

QString DecompressText(QByteArrayView compressed, const QString& name) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        throw VelmoraError(QStringLiteral("解压缩失败: %1").arg(name), name);
    }
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    zs.avail_in = uInt(compressed.size());
    QByteArray plain;
    int rc = Z_OK;
    char buffer[64 * 1024];
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(buffer);
        zs.avail_out = sizeof(buffer);
        rc = inflate(&zs, Z_NO_FLUSH);
        plain.append(buffer, qsizetype(sizeof(buffer) - zs.avail_out));
        if (plain.size() > kMaxCachedTextBytes) {
            rc = Z_MEM_ERROR;
        }
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
            rc = Z_DATA_ERROR; // the stream ends before its end marker
        }
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) {
        throw VelmoraError(QStringLiteral("解压缩失败: %1 不是有效的压缩文本 (zlib %2)").arg(name).arg(rc), name);
    }
    return JoinLines(SplitLines(DecodeTextBytes(plain)));
}

void SaveCompressedText(const QString& text, const QString& fileName) {
    WriteFileAtomically(fileName, CompressText(text));
}

QString LoadCompressedText(const QString& fileName) {
    return DecompressText(ReadWholeFile(fileName, kMaxCacheFileBytes), fileName);
}

bool ReadCacheFileBytes(const QString& fileName, QByteArray& compressed, struct stat& info) {
    compressed.clear();
    qint64 size = 0;
    QString reason;
    const int fd = OpenRegularFile(fileName, size, reason);
    if (fd < 0) {
        return false;
    }
    bool whole = size <= kMaxCacheFileBytes && ::fstat(fd, &info) == 0 && info.st_size <= kMaxCacheFileBytes;
    if (whole) {
        compressed.resize(qsizetype(info.st_size));
        qsizetype got = 0;
        while (got < compressed.size()) {
            const ssize_t n = ::read(fd, compressed.data() + got, size_t(compressed.size() - got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += n;
        }
        whole = got == compressed.size();
    }
    ::close(fd);
    return whole;
}

} // namespace velmora
