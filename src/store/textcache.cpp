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
#include <QMutex>

#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

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

// The name a path is known by: the record's identity folds the letters a to z and nothing else, so the cache name
// folds exactly those (to lower case, which keeps the names of every cache written before for ASCII and Chinese
// paths). Folding more would give two records one cache file: Äpfel/ and äpfel/ are two folders.
QByteArray identityBytes(const QString& fullPath) {
    QByteArray bytes = fullPath.toUtf8();
    for (char& c : bytes) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return bytes;
}

// A writer killed between writing its temporary file and renaming it leaves "NAME.dat_.XXXXXX.tmp". One younger
// than this may belong to a writer at work in another process.
constexpr qint64 kLeftoverAgeSeconds = 60;

bool isCacheTemporary(const char* name) {
    const size_t length = std::strlen(name);
    constexpr size_t kTail = sizeof(".dat_.XXXXXX.tmp") - 1;
    return length > kTail && std::strcmp(name + length - 4, ".tmp") == 0 &&
           std::strncmp(name + length - kTail, ".dat_.", 6) == 0;
}

} // namespace

int RemoveLeftoverCacheTemporaries() {
    const QByteArray folder = QFile::encodeName(TextCacheFolder());
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr) {
        return 0;
    }
    const time_t oldest = ::time(nullptr) - kLeftoverAgeSeconds;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isCacheTemporary(entry->d_name)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode) &&
            info.st_mtime < oldest && ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

QString TextCacheFolder() {
    return AppDataFolder() + QStringLiteral("doctext") + QDir::separator();
}

QString TextCacheName(const QString& fullPath) {
    // A search names the cache file of every document in the library: this is written to allocate little.
    QStringView name = QStringView(fullPath).mid(fullPath.lastIndexOf(QDir::separator()) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) {
        name.truncate(dot);
    }
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(identityBytes(fullPath));
    const QByteArrayView digest = sha1.resultView();
    static constexpr char kHex[] = "0123456789abcdef";
    char16_t tail[14] = {u'~', 0, 0, 0, 0, 0, 0, 0, 0, u'.', u'd', u'a', u't', u'_'};
    for (int i = 0; i < 4; ++i) {
        tail[1 + 2 * i] = char16_t(kHex[quint8(digest[i]) >> 4]);
        tail[2 + 2 * i] = char16_t(kHex[quint8(digest[i]) & 0xF]);
    }
    constexpr qsizetype kTail = 14;
    // A document name near the file system's limit would leave no room for the tail; its start is kept
    // instead, and the digits of the whole path keep it apart from others that start alike. (A UTF-16 unit is
    // at most three bytes in UTF-8, so most names need no counting.)
    QString result;
    if (name.size() * 3 + kTail > kMaxFileNameBytes &&
        QFile::encodeName(name.toString()).size() + kTail > kMaxFileNameBytes) {
        result = fittingStart(name.toString(), kMaxFileNameBytes - kTail);
    } else {
        result.reserve(name.size() + kTail);
        result.append(name);
    }
    result.append(QStringView(tail, kTail));
    return result;
}

QString TextCachePath(const QString& fullPath) {
    return TextCacheFolder() + TextCacheName(fullPath);
}

bool HasTextCache(const QString& fullPath) {
    return QFile::exists(TextCachePath(fullPath));
}

void WriteTextCache(const QString& fullPath, const QString& text) {
    if (!MakePrivateFolder(TextCacheFolder())) {
        throw VelmoraError(QStringLiteral("无法创建文件夹 %1").arg(TextCacheFolder()), TextCacheFolder());
    }
    // Leftovers of killed writes are looked for once in a process (per cache folder): listing a folder of a whole
    // library's caches at every write would cost more than the write.
    {
        static QMutex mutex;
        static QString swept;
        const QMutexLocker lock(&mutex);
        if (swept != TextCacheFolder()) {
            swept = TextCacheFolder();
            RemoveLeftoverCacheTemporaries();
        }
    }
    const QString path = TextCachePath(fullPath);
    const QString name = path.mid(TextCacheFolder().size());
    const QString bounded = BoundedCacheText(text);
    TextIndexUpdate index({name});
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
    const QString fromName = from.mid(TextCacheFolder().size());
    const QString toName = to.mid(TextCacheFolder().size());
    if (!QFile::exists(from) || QFile::exists(to)) {
        return false;
    }
    TextIndexUpdate index({fromName, toName});
    if (!QFile::rename(from, to)) {
        index.commit();
        return false;
    }
    index.renamed(fromName, toName);
    index.commit();
    return true;
}

void MoveTextCacheOver(const QString& oldPath, const QString& newPath) {
    const QString from = TextCachePath(oldPath);
    const QString to = TextCachePath(newPath);
    if (from == to || !QFile::exists(from)) {
        return;
    }
    const QString fromName = from.mid(TextCacheFolder().size());
    const QString toName = to.mid(TextCacheFolder().size());
    TextIndexUpdate index({fromName, toName});
    QFile::remove(to);
    if (QFile::rename(from, to)) {
        index.renamed(fromName, toName);
    } else if (!QFile::exists(to)) {
        index.removed(toName);
    }
    index.commit();
}

void RemoveTextCache(const QString& fullPath) {
    const QString path = TextCachePath(fullPath);
    if (!QFile::exists(path)) {
        return;
    }
    const QString name = path.mid(TextCacheFolder().size());
    TextIndexUpdate index({name});
    if (QFile::remove(path) || !QFile::exists(path)) {
        index.removed(name);
    }
    index.commit();
}

} // namespace velmora

namespace velmora {

TextCacheSources::TextCacheSources() {
    const QByteArray file = QFile::encodeName(TextIndexFile());
    // Read-only and without creating: an index that is not there, or older than its source columns, knows no
    // source, and every cache is judged by its file's times alone.
    if (sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_db,
                           "SELECT source_size, source_mtime, source_inode FROM docs"
                           " WHERE name = ?1 AND source_size IS NOT NULL",
                           -1, &m_query, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_query);
        m_query = nullptr;
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    } else {
        sqlite3_busy_timeout(m_db, 5000);
    }
}

TextCacheSources::~TextCacheSources() {
    sqlite3_finalize(m_query);
    sqlite3_close_v2(m_db);
}

void TextCacheSources::loadAll() {
    m_loaded = true;
    m_sources.clear();
    sqlite3_stmt* all = nullptr;
    if (m_db == nullptr || sqlite3_prepare_v2(m_db,
                                              "SELECT name, source_size, source_mtime, source_inode FROM docs"
                                              " WHERE source_size IS NOT NULL",
                                              -1, &all, nullptr) != SQLITE_OK) {
        sqlite3_finalize(all);
        return;
    }
    while (sqlite3_step(all) == SQLITE_ROW) {
        const QString name = QString::fromUtf16(static_cast<const char16_t*>(sqlite3_column_text16(all, 0)),
                                                sqlite3_column_bytes16(all, 0) / 2);
        m_sources.insert(name, FileStamp{sqlite3_column_int64(all, 1), sqlite3_column_int64(all, 2),
                                         quint64(sqlite3_column_int64(all, 3))});
    }
    sqlite3_finalize(all);
}

std::optional<FileStamp> TextCacheSources::sourceOf(const QString& name) {
    if (m_loaded) {
        const auto it = m_sources.constFind(name);
        return it == m_sources.cend() ? std::nullopt : std::optional<FileStamp>(*it);
    }
    if (m_query == nullptr) {
        return std::nullopt;
    }
    sqlite3_reset(m_query);
    sqlite3_bind_text16(m_query, 1, name.utf16(), int(name.size() * 2), SQLITE_TRANSIENT);
    if (sqlite3_step(m_query) != SQLITE_ROW) {
        return std::nullopt;
    }
    return FileStamp{sqlite3_column_int64(m_query, 0), sqlite3_column_int64(m_query, 1),
                     quint64(sqlite3_column_int64(m_query, 2))};
}

CacheFreshness TextCacheSources::freshness(const QString& fullPath) {
    const QString cachePath = TextCachePath(fullPath);
    struct stat cache {};
    if (::stat(QFile::encodeName(cachePath).constData(), &cache) != 0) {
        return CacheFreshness::Missing;
    }
    struct stat document {};
    if (::stat(QFile::encodeName(fullPath).constData(), &document) != 0) {
        return CacheFreshness::Current;
    }
    if (const std::optional<FileStamp> source = sourceOf(cachePath.mid(TextCacheFolder().size()))) {
        const FileStamp now{qint64(document.st_size),
                            qint64(document.st_mtim.tv_sec) * 1'000'000'000 + document.st_mtim.tv_nsec,
                            quint64(document.st_ino)};
        return *source == now ? CacheFreshness::Current : CacheFreshness::Stale;
    }
    // Its modification time is all that tells: a save sets it, and moving the document (this program's folder
    // moves, relink, a rename) keeps it, as it keeps the text; its change time would call every moved document
    // stale. A file put at the path with an older time of its own passes until the row knows its stamp.
    const auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return ns(document.st_mtim) <= ns(cache.st_mtim) ? CacheFreshness::Current : CacheFreshness::Stale;
}

} // namespace velmora
