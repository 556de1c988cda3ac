#include "textcache.h"

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "common/errors.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace velmora {

QString TextCacheFolder() {
    return AppDataFolder() + QStringLiteral("doctext") + QDir::separator();
}

QString TextCachePath(const QString& fullPath) {
    QString name = fullPath.mid(fullPath.lastIndexOf(QDir::separator()) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) {
        name.truncate(dot);
    }
    const QByteArray digest =
        QCryptographicHash::hash(fullPath.toCaseFolded().toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return TextCacheFolder() + name + u'~' + QString::fromLatin1(digest) + QStringLiteral(".dat_");
}

bool HasTextCache(const QString& fullPath) {
    return QFile::exists(TextCachePath(fullPath));
}

void WriteTextCache(const QString& fullPath, const QString& text) {
    if (!QDir().mkpath(TextCacheFolder())) {
        throw VelmoraError(QStringLiteral("无法创建文件夹 %1").arg(TextCacheFolder()), TextCacheFolder());
    }
    SaveCompressedText(text, TextCachePath(fullPath));
}

QString ReadTextCache(const QString& fullPath) {
    const QString path = TextCachePath(fullPath);
    if (!QFile::exists(path)) {
        return {};
    }
    return LoadCompressedText(path);
}

bool MoveTextCache(const QString& oldPath, const QString& newPath) {
    const QString from = TextCachePath(oldPath);
    const QString to = TextCachePath(newPath);
    if (!QFile::exists(from) || QFile::exists(to)) {
        return false;
    }
    return QFile::rename(from, to);
}

} // namespace velmora
