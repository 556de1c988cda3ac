#include "readfile.h"

#include "errors.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString kindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return QStringLiteral("a folder");
    }
    if (S_ISFIFO(mode)) {
        return QStringLiteral("a FIFO");
    }
    if (S_ISCHR(mode)) {
        return QStringLiteral("a character device");
    }
    if (S_ISBLK(mode)) {
        return QStringLiteral("a block device");
    }
    if (S_ISSOCK(mode)) {
        return QStringLiteral("a socket");
    }
    return QStringLiteral("not a file");
}

[[noreturn]] void fail(const QString& path, const QString& reason) {
    throw VelmoraError(QStringLiteral("无法读取文件 %1: %2").arg(path, reason), path);
}

} // namespace

int OpenRegularFile(const QString& path, qint64& size, QString& reason) {
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    // Without O_NONBLOCK, opening a FIFO for reading waits for a writer that may never come.
    do {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        reason = systemReason(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        reason = systemReason(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = QStringLiteral("not a regular file (%1)").arg(kindOf(info.st_mode));
        ::close(fd);
        return -1;
    }
    // Reads of a regular file never wait anyway; the flag is dropped so that nothing downstream sees EAGAIN.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    size = qint64(info.st_size);
    return fd;
}

QByteArray ReadWholeFile(const QString& path, qint64 limit) {
    qint64 size = 0;
    QString reason;
    const int fd = OpenRegularFile(path, size, reason);
    if (fd < 0) {
        fail(path, reason);
    }
    QByteArray bytes;
    qint64 got = 0;
    int error = 0;
    bool tooLarge = size > limit;
    if (!tooLarge) {
        try {
            // One byte more than the size, so that a file that grew since is seen as such and not cut short.
            bytes.resize(qsizetype(size) + 1);
        } catch (const std::bad_alloc&) {
            ::close(fd);
            fail(path, QStringLiteral("out of memory"));
        }
        for (;;) {
            if (got == bytes.size()) {
                if (got > limit) {
                    tooLarge = true;
                    break;
                }
                bytes.resize(std::min<qint64>(limit + 1, got * 2 + 4096));
            }
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                error = errno;
                break;
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
    }
    ::close(fd);
    if (tooLarge) {
        fail(path, QStringLiteral("the file has more than %1 bytes, more than such a file ever holds").arg(limit));
    }
    if (error != 0) {
        fail(path, systemReason(error));
    }
    bytes.truncate(qsizetype(got));
    return bytes;
}

} // namespace velmora
