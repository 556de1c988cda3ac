#include "workbench/core/searchtexts.h"

#include "common/compressedtext.h"
#include "common/textcodec.h"
#include "store/foldedtext.h"
#include "store/textcache.h"

#include <QDir>
#include <QFile>

#include <array>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace velmora {

SearchTexts::SearchTexts(qsizetype budgetBytes) : m_budget(budgetBytes) {}

bool SearchTexts::stampOf(const QByteArray& file, Stamp& stamp) {
    struct stat info {};
    if (::stat(file.constData(), &info) != 0) {
        return false;
    }
    stamp = Stamp{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                  quint64(info.st_ino), quint64(info.st_dev)};
    return true;
}

void SearchTexts::listFolder() {
    QSet<QString> listed;
    const QString folder = TextCacheFolder();
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        listed.insert(folder + name);
    }
    QMutexLocker lock(&m_mutex);
    m_listed = std::move(listed);
    m_haveListing = true;
}

void SearchTexts::forgetListing() {
    QMutexLocker lock(&m_mutex);
    m_listed.clear();
    m_haveListing = false;
}

QString SearchTexts::cacheFileOf(const QString& documentPath) {
    {
        QMutexLocker lock(&m_mutex);
        const auto known = m_names.constFind(documentPath);
        if (known != m_names.cend()) {
            return known.value();
        }
    }
    const QString cacheFile = TextCachePath(documentPath);
    QMutexLocker lock(&m_mutex);
    // The names of documents are few beside their texts; a library that grows past this starts them afresh.
    if (m_names.size() > 1000000) {
        m_names.clear();
    }
    m_names.insert(documentPath, cacheFile);
    return cacheFile;
}

SearchTexts::Text SearchTexts::cached(const QString& documentPath) {
    QString cacheFile;
    {
        // Most documents of a library have no cache file: they cost one lock, and no hash and no system call.
        QMutexLocker lock(&m_mutex);
        const auto known = m_names.constFind(documentPath);
        if (known != m_names.cend()) {
            cacheFile = known.value();
            if (m_haveListing && !m_listed.contains(cacheFile)) {
                return {Status::Missing, nullptr};
            }
        }
    }
    if (cacheFile.isEmpty()) {
        cacheFile = cacheFileOf(documentPath);
        QMutexLocker lock(&m_mutex);
        if (m_haveListing && !m_listed.contains(cacheFile)) {
            return {Status::Missing, nullptr};
        }
    }
    const QByteArray name = QFile::encodeName(cacheFile);
    Stamp stamp;
    if (!stampOf(name, stamp)) {
        return {Status::Missing, nullptr};
    }
    {
        QMutexLocker lock(&m_mutex);
        const auto known = m_entries.find(cacheFile);
        if (known != m_entries.end()) {
            if (known->stamp == stamp) {
                known->lastUse = ++m_clock;
                return {Status::Found, known->folded};
            }
            m_bytes -= known->folded->size() * qsizetype(sizeof(QChar));
            m_entries.erase(known);
        }
    }
    // The stamp kept is the one of the file actually read, so a file replaced meanwhile is read again next time.
    struct stat info {};
    QByteArray compressed;
    const bool whole = ReadCacheFileBytes(cacheFile, compressed, info);
    if (info.st_ino != 0) {
        stamp = Stamp{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                      quint64(info.st_ino), quint64(info.st_dev)};
    }
    QByteArray plain;
    if (!whole || !InflateCacheBytes(compressed, plain)) {
        return {Status::Damaged, nullptr};
    }
    auto folded = std::make_shared<const QString>(FoldedCacheText(plain));
    if (folded->isEmpty()) {
        return {Status::Missing, nullptr};
    }
    keep(cacheFile, stamp, folded);
    return {Status::Found, std::move(folded)};
}

void SearchTexts::remember(const QString& documentPath, const QString& text) {
    const QString cacheFile = cacheFileOf(documentPath);
    Stamp stamp;
    if (text.isEmpty() || !stampOf(QFile::encodeName(cacheFile), stamp)) {
        return;
    }
    // What the file holds, read back through the encoding, is what later searches will see.
    {
        QMutexLocker lock(&m_mutex);
        m_listed.insert(cacheFile);
    }
    keep(cacheFile, stamp, std::make_shared<const QString>(FoldedCacheText(TextToBytes(BoundedCacheText(text)))));
}

void SearchTexts::keep(const QString& cacheFile, const Stamp& stamp, std::shared_ptr<const QString> folded) {
    const qsizetype bytes = folded->size() * qsizetype(sizeof(QChar));
    if (bytes > m_budget) {
        return;
    }
    QMutexLocker lock(&m_mutex);
    Entry& entry = m_entries[cacheFile];
    if (entry.folded) {
        m_bytes -= entry.folded->size() * qsizetype(sizeof(QChar));
    }
    entry = Entry{stamp, std::move(folded), ++m_clock};
    m_bytes += bytes;
    if (m_bytes > m_budget) {
        evictLocked();
    }
}

void SearchTexts::evictLocked() {
    // Down to seven eighths at once, so that a search over more text than fits does not sort at every file.
    std::vector<std::pair<quint64, QString>> byUse;
    byUse.reserve(size_t(m_entries.size()));
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        byUse.emplace_back(it->lastUse, it.key());
    }
    std::sort(byUse.begin(), byUse.end());
    const qsizetype target = m_budget / 8 * 7;
    for (const auto& [use, key] : byUse) {
        if (m_bytes <= target) {
            break;
        }
        const auto it = m_entries.find(key);
        m_bytes -= it->folded->size() * qsizetype(sizeof(QChar));
        m_entries.erase(it);
    }
}

qsizetype SearchTexts::keptBytes() const {
    QMutexLocker lock(&m_mutex);
    return m_bytes;
}

int SearchTexts::keptTexts() const {
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

void SearchTexts::clear() {
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
    m_names.clear();
    m_listed.clear();
    m_haveListing = false;
    m_bytes = 0;
}

} // namespace velmora
