#include "textcache.h"

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "common/errors.h"
#include "common/textcodec.h"
#include "store/foldedtext.h"
#include "store/textindex.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace velmora {

namespace {

// The longest cache file name, in bytes: what the usual file systems take (ext4, btrfs, xfs, tmpfs: NAME_MAX
// 255) less what the atomic writer adds for its temporary file beside it (".XXXXXX.tmp").
constexpr qsizetype kMaxFileNameBytes = 255 - 11;

// The longest start of `name` whose bytes on disk fit in `bytes`, cut between characters.
QString fittingStart(const QString& name, qsizetype bytes) {
    qsizetype used = 0;
    qsizetype end = 0;
    while (end < name.size()) {
        const qsizetype next = end + (name.at(end).isHighSurrogate() && end + 1 < name.size() ? 2 : 1);
        used += QFile::encodeName(name.mid(end, next - end)).size();
        if (used > bytes) {
            break;
        }
        end = next;
    }
    return name.first(end);
}

} // namespace

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
    const QString tail = u'~' + QString::fromLatin1(digest) + QStringLiteral(".dat_");
    // A document name near the file system's limit would leave no room for the tail; its start is kept
    // instead, and the digits of the whole path keep it apart from others that start alike.
    if (QFile::encodeName(name).size() + tail.size() > kMaxFileNameBytes) {
        name = fittingStart(name, kMaxFileNameBytes - tail.size());
    }
    return TextCacheFolder() + name + tail;
}

bool HasTextCache(const QString& fullPath) {
    return QFile::exists(TextCachePath(fullPath));
}

void WriteTextCache(const QString& fullPath, const QString& text) {
    if (!QDir().mkpath(TextCacheFolder())) {
        throw VelmoraError(QStringLiteral("无法创建文件夹 %1").arg(TextCacheFolder()), TextCacheFolder());
    }
    const QString path = TextCachePath(fullPath);
    const QString name = path.mid(TextCacheFolder().size());
    const QString bounded = BoundedCacheText(text);
    TextIndexUpdate index;
    index.aboutToReplace(name);
    SaveCompressedText(bounded, path);
    // The terms are those of the text as a search will read it back from the file.
    index.put(name, FoldedCacheText(TextToBytes(bounded)));
    index.commit();
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
    TextIndexUpdate index;
    if (!QFile::exists(from) || QFile::exists(to) || !QFile::rename(from, to)) {
        return false;
    }
    index.renamed(from.mid(TextCacheFolder().size()), to.mid(TextCacheFolder().size()));
    index.commit();
    return true;
}

void MoveTextCacheOver(const QString& oldPath, const QString& newPath) {
    const QString from = TextCachePath(oldPath);
    const QString to = TextCachePath(newPath);
    if (from == to || !QFile::exists(from)) {
        return;
    }
    TextIndexUpdate index;
    QFile::remove(to);
    if (QFile::rename(from, to)) {
        index.renamed(from.mid(TextCacheFolder().size()), to.mid(TextCacheFolder().size()));
    } else if (!QFile::exists(to)) {
        index.removed(to.mid(TextCacheFolder().size()));
    }
    index.commit();
}

} // namespace velmora
