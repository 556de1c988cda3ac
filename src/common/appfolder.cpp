#include "appfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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
    return AppFolder() + QStringLiteral("appdata") + QDir::separator();
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
