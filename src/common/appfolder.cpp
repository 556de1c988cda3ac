#include "appfolder.h"

#include "errors.h"
#include "savefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

// The delivered files live in this library; a static library's resources must be registered by name.
static void initDeliveredResources() {
    Q_INIT_RESOURCE(delivered);
}

namespace velmora {

namespace {

QString& appDataOverride() {
    static QString folder;
    return folder;
}

} // namespace

QString AppFolder() {
    QString dir;
    if (QCoreApplication::instance() != nullptr) {
        dir = QCoreApplication::applicationDirPath();
    } else {
        dir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        dir = QFileInfo(dir).absolutePath();
    }
    return WithTrailingBackslash(QDir::toNativeSeparators(dir));
}

QString AppDataFolder() {
    if (!appDataOverride().isEmpty()) {
        return appDataOverride();
    }
    const QString fromEnv = qEnvironmentVariable("VELMORA_APPDATA");
    if (!fromEnv.isEmpty()) {
        return WithTrailingBackslash(QDir::toNativeSeparators(QFileInfo(fromEnv).absoluteFilePath()));
    }
    // Decided once: every data file's path asks, and the answer must not change under a running program.
    static const QString chosen = [] {
        const QString portable = AppFolder() + QStringLiteral("appdata");
        if (QFileInfo(portable).isDir()) {
            return WithTrailingBackslash(portable);
        }
        QString base = qEnvironmentVariable("XDG_DATA_HOME");
        // XDG_DATA_HOME must be absolute; a relative value is ignored, as other desktop programs ignore it.
        if (base.isEmpty() || QDir::isRelativePath(base)) {
            base = QDir::homePath() + QStringLiteral("/.local/share");
        }
        return WithTrailingBackslash(QDir::toNativeSeparators(QDir::cleanPath(base + QStringLiteral("/velmora"))));
    }();
    return chosen;
}

const QList<DeliveredFile>& DeliveredFiles() {
    static const QList<DeliveredFile> files{
        {QStringLiteral(":/velmora/appdata/settings.ini"), QStringLiteral("settings.ini")},
        {QStringLiteral(":/velmora/appdata/help.docx"), QStringLiteral("help.docx")},
        // Empty: the user writes the names of his own macros into it.
        {QStringLiteral(":/velmora/appdata/macro.txt"), QStringLiteral("macro.txt")},
        {QStringLiteral(":/velmora/appdata/MyExcel.xlsx"), QStringLiteral("MyExcel.xlsx")},
    };
    return files;
}

bool MakePrivateFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    if (QFileInfo(clean).isDir()) {
        return true;
    }
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !MakePrivateFolder(parent)) {
        return false;
    }
    // Made with its mode at once: a folder made open and closed afterwards could be entered meanwhile.
    return ::mkdir(QFile::encodeName(clean).constData(), 0700) == 0 || QFileInfo(clean).isDir();
}

void PrepareDataFolder() {
    initDeliveredResources();
    const QString folder = AppDataFolder();
    const QByteArray native = QFile::encodeName(folder);
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder)) {
            throw VelmoraError(QStringLiteral("无法创建文件夹 %1").arg(folder), folder);
        }
        if (::chmod(native.constData(), 0700) != 0) {
            throw VelmoraError(QStringLiteral("无法设置文件夹 %1 的权限: %2")
                                   .arg(folder, QString::fromLocal8Bit(std::strerror(errno))),
                               folder);
        }
    }
    // Older versions made these open to everyone.
    for (const char* sub : {"doctext", "databackup"}) {
        const QByteArray path = QFile::encodeName(folder + QLatin1String(sub));
        if (QFileInfo(QFile::decodeName(path)).isDir() && !QFileInfo(QFile::decodeName(path)).isSymLink()) {
            ::chmod(path.constData(), 0700);
        }
    }
    for (const DeliveredFile& file : DeliveredFiles()) {
        const QString target = folder + file.name;
        // A dangling link counts as a file the user has: it is never replaced.
        if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) {
            continue;
        }
        QFile source(file.resource);
        if (!source.open(QIODevice::ReadOnly)) {
            throw VelmoraError(QStringLiteral("无法读取内置文件 %1").arg(file.resource), file.resource);
        }
        WriteNewFile(target, source.readAll());
    }
}

void SetAppDataFolder(const QString& folder) {
    appDataOverride() = folder.isEmpty()
                            ? QString()
                            : WithTrailingBackslash(QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath()));
}

QString WithTrailingBackslash(const QString& path) {
    if (path.endsWith(QDir::separator())) {
        return path;
    }
    return path + QDir::separator();
}

QString PickerStartFolder(const QStringList& remembered) {
    for (const QString& folder : remembered) {
        if (!folder.isEmpty() && QDir::isAbsolutePath(folder) && QFileInfo(folder).isDir()) {
            return WithTrailingBackslash(folder);
        }
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) {
        return WithTrailingBackslash(QDir::toNativeSeparators(documents));
    }
    return WithTrailingBackslash(QDir::toNativeSeparators(QDir::homePath()));
}

QString TrimControl(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size() - 1;
    while (first <= last && text.at(first).unicode() <= 0x20) {
        ++first;
    }
    while (last >= first && text.at(last).unicode() <= 0x20) {
        --last;
    }
    return text.mid(first, last - first + 1);
}

bool IsBlank(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0x20) {
            return false;
        }
    }
    return true;
}

QString CleanFolderName(const QString& name) {
    static const QString forbidden = QStringLiteral("\"*:<>?\\|/");
    QString result = TrimControl(name);
    result.removeIf([](QChar c) { return forbidden.contains(c); });
    return result;
}

} // namespace velmora
