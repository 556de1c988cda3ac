#include "fileinfo.h"

#include "datetime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

FileStamp FileStampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {};
    }
    return FileStamp{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                     quint64(info.st_ino)};
}

qint64 GetFileSizeOf(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (name.contains(u'*') || name.contains(u'?')) {
        const QFileInfoList matches =
            info.dir().entryInfoList({name}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        return matches.isEmpty() ? -1 : matches.first().size();
    }
    return info.isFile() ? info.size() : -1;
}

QString OfficeLockFileOf(const QString& path) {
    const QFileInfo info(path);
    return info.absolutePath() + QDir::separator() + QStringLiteral(".~lock.") + info.fileName() + u'#';
}

bool FileInUse(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    // A folder is no file: opening it for writing fails, which would otherwise read as "held".
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    // LibreOffice takes no kernel lock on a document it has open; its lock file beside the document is what it
    // (and every other office that shares its documents) goes by.
    struct stat lockFile {};
    if (::lstat(QFile::encodeName(OfficeLockFileOf(path)).constData(), &lockFile) == 0) {
        return true;
    }
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return true;
    }
    bool held = false;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
        held = true;
    }
    if (!held) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            held = true;
        } else {
            ::flock(fd, LOCK_UN);
        }
    }
    ::close(fd);
    return held;
}

std::optional<double> GetFileDate(const QString& path, FileDateKind kind) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return std::nullopt;
    }
    QDateTime time;
    switch (kind) {
    case FileDateKind::Created:
        time = info.birthTime();
        if (!time.isValid()) {
            time = info.lastModified();
        }
        break;
    case FileDateKind::Written:
        time = info.lastModified();
        break;
    case FileDateKind::Accessed:
        time = info.lastRead();
        break;
    }
    if (!time.isValid()) {
        return std::nullopt;
    }
    return DateTimeToDays(time);
}

namespace {

bool takenByFilter(const QString& fileName, const QString& filter) {
    if (filter.isEmpty() || filter == QLatin1String("*.*")) {
        return true;
    }
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0) {
        return false;
    }
    return filter.contains(QStringView(fileName).mid(dot), Qt::CaseInsensitive);
}

} // namespace

void ListFiles(const QString& dir, const QString& filter, bool recurse, QStringList& list) {
    const QDir folder(dir);
    const QString prefix = dir.endsWith(QDir::separator()) ? dir : dir + QDir::separator();
    const QStringList files = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : files) {
        if (takenByFilter(name, filter)) {
            list.append(prefix + name);
        }
    }
    if (!recurse) {
        return;
    }
    // Linked folders are not followed: a link back up the tree would never end.
    const QStringList folders =
        folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
    for (const QString& name : folders) {
        const QString sub = prefix + name + QDir::separator();
        list.append(sub);
        ListFiles(sub, filter, true, list);
    }
}

QString SizeToText(qint64 size) {
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    constexpr qint64 kb = 1024;
    constexpr qint64 mb = kb * 1024;
    constexpr qint64 gb = mb * 1024;
    if (size >= gb) {
        return locale.toString(double(size) / double(gb), 'f', 2) + QStringLiteral(" GB");
    }
    if (size >= mb) {
        return locale.toString(double(size) / double(mb), 'f', 2) + QStringLiteral(" MB");
    }
    if (size >= kb) {
        return locale.toString(double(size) / double(kb), 'f', 2) + QStringLiteral(" KB");
    }
    return QString::number(size) + QStringLiteral(" Byte(s)");
}

QString MakeFileFilter(const QString& ext) {
    if (ext.isEmpty()) {
        return QStringLiteral("All(*.*)|*.*");
    }
    return u'*' + ext + QStringLiteral(" 文件|*") + ext;
}

} // namespace velmora
