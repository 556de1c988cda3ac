#include "savefile.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void fail(const QString& what, const QString& path, int error) {
    throw VelmoraError(QStringLiteral("%1 %2: %3").arg(what, path, systemReason(error)), path);
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

void writeFd(int fd, QByteArrayView data, const QString& path) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t written = ::write(fd, data.data() + done, size_t(data.size() - done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            fail(QStringLiteral("无法写入文件"), path, written < 0 ? errno : ENOSPC);
        }
        done += written;
    }
    if (::fsync(fd) != 0) {
        fail(QStringLiteral("无法写入文件"), path, errno);
    }
}

// Fills a file just created under `name` (owner-only, synced) and closes it; on any failure it is removed.
void fillNewFile(int fd, const QByteArray& name, QByteArrayView data, const QString& path) {
    try {
        // The mode asked for at creation is narrowed by the umask; the owner must keep reading and writing.
        if (::fchmod(fd, 0600) != 0) {
            fail(QStringLiteral("无法创建文件"), path, errno);
        }
        writeFd(fd, data, path);
    } catch (...) {
        ::close(fd);
        ::unlink(name.constData());
        throw;
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(name.constData());
        fail(QStringLiteral("无法写入文件"), path, error);
    }
}

// Writes data to a file that this call creates (O_EXCL: never an existing file, never through a link).
void writeCreated(const QByteArray& name, QByteArrayView data, const QString& path) {
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        fail(QStringLiteral("无法创建文件"), path, errno);
    }
    fillNewFile(fd, name, data, path);
}

// A rename is durable only once its folder is synced.
void syncFolderOf(const QString& path) {
    const QByteArray folder = native(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    // Some file systems refuse to sync a folder; the rename itself has already happened.
    ::fsync(fd);
    ::close(fd);
}

void renameOver(const QString& from, const QString& to) {
    if (::rename(native(from).constData(), native(to).constData()) != 0) {
        fail(QStringLiteral("无法保存文件"), to, errno);
    }
}

bool exists(const QString& path) {
    struct stat facts {};
    return ::lstat(native(path).constData(), &facts) == 0;
}

QString folderOf(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// The names a marker lists, each a plain file name in the marker's folder.
QStringList markedPaths(const QString& marker) {
    QFile file(marker);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList paths;
    const QString folder = folderOf(marker);
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString name = QString::fromUtf8(line);
        if (!name.isEmpty() && !name.contains(u'/') && name != QLatin1String(".") && name != QLatin1String("..")) {
            paths.append(folder + name);
        }
    }
    return paths;
}

} // namespace

void WriteAll(QIODevice& device, QByteArrayView data, const QString& name) {
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 written = device.write(data.data() + done, data.size() - done);
        if (written <= 0) {
            throw VelmoraError(QStringLiteral("无法写入文件 %1: %2").arg(name, device.errorString()), name);
        }
        done += written;
    }
}

namespace {

// A synced temporary file beside `path` holding data; its name is returned for the rename.
QByteArray writeTemporary(const QString& path, QByteArrayView data) {
    QByteArray name = native(path) + ".XXXXXX.tmp";
    const int fd = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        fail(QStringLiteral("无法创建文件"), path, errno);
    }
    fillNewFile(fd, name, data, path);
    return name;
}

void renameTemporary(const QByteArray& temporary, const QString& path) {
    // rename() replaces a link at the target name with the file; it never writes through it.
    if (::rename(temporary.constData(), native(path).constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        fail(QStringLiteral("无法保存文件"), path, error);
    }
}

} // namespace

void WriteFileAtomically(const QString& path, QByteArrayView data) {
    renameTemporary(writeTemporary(path, data), path);
    syncFolderOf(path);
}

void WriteNewFile(const QString& path, QByteArrayView data) {
    writeCreated(native(path), data, path);
    syncFolderOf(path);
}

void WriteFilesTogether(const QString& marker, const QList<FileContent>& files) {
    QStringList paths;
    for (const FileContent& file : files) {
        paths.append(file.path);
    }
    // An earlier switch that failed half-way is finished first: until then its .new files are the library.
    FinishFileSwitch(marker, paths);
    QByteArray names;
    try {
        for (const FileContent& file : files) {
            const QString fresh = file.path + NewFileSuffix();
            ::unlink(native(fresh).constData());
            writeCreated(native(fresh), file.data, fresh);
            names += QFile::encodeName(QFileInfo(file.path).fileName()) + '\n';
        }
        WriteFileAtomically(marker, names);
    } catch (...) {
        for (const FileContent& file : files) {
            ::unlink(native(file.path + NewFileSuffix()).constData());
        }
        throw;
    }
    // From here on the new files are the library: a failed rename is finished by the next opening.
    for (const FileContent& file : files) {
        renameOver(file.path + NewFileSuffix(), file.path);
    }
    syncFolderOf(marker);
    // A marker whose files are all renamed names nothing pending; one left behind is removed by the next opening.
    ::unlink(native(marker).constData());
    syncFolderOf(marker);
}

void FinishFileSwitch(const QString& marker, const QStringList& paths) {
    if (exists(marker)) {
        for (const QString& path : markedPaths(marker)) {
            if (exists(path + NewFileSuffix())) {
                renameOver(path + NewFileSuffix(), path);
            }
        }
        syncFolderOf(marker);
        if (::unlink(native(marker).constData()) != 0) {
            fail(QStringLiteral("无法删除文件"), marker, errno);
        }
    } else {
        for (const QString& path : paths) {
            ::unlink(native(path + NewFileSuffix()).constData());
        }
    }
    syncFolderOf(marker);
}

QString CurrentFileOf(const QString& marker, const QString& path) {
    if (exists(marker) && markedPaths(marker).contains(QFileInfo(path).absoluteFilePath()) &&
        exists(path + NewFileSuffix())) {
        return path + NewFileSuffix();
    }
    return path;
}

void WriteFilesAtomically(const QList<FileContent>& files) {
    QList<QByteArray> temporaries;
    try {
        for (const FileContent& file : files) {
            temporaries.append(writeTemporary(file.path, file.data));
        }
    } catch (...) {
        for (const QByteArray& temporary : temporaries) {
            ::unlink(temporary.constData());
        }
        throw;
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        renameTemporary(temporaries.at(i), files.at(i).path);
    }
    if (!files.isEmpty()) {
        syncFolderOf(files.first().path);
    }
}

} // namespace velmora
