#pragma once

#include "store/foldedtext.h"

#include <QByteArrayView>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>

#include <memory>

namespace velmora {

// The whole texts that searches read from the text cache, inflated and case-folded, kept in memory while their
// cache files stay unchanged: a second search over the same documents reads no file and inflates nothing. A
// file is known unchanged by its size, modification time and inode (a writer replaces the file, so a new text
// is a new inode). The kept texts are bounded in size; the least recently used go first.
//
// Safe to use from several threads at once.
class SearchTexts final {
public:
    static constexpr qsizetype kDefaultBudget = qsizetype(320) << 20;

    explicit SearchTexts(qsizetype budgetBytes = kDefaultBudget);
    Q_DISABLE_COPY_MOVE(SearchTexts)

    enum class Status {
        Found,
        // No cache file, or one whose text is empty: the text must be read from the document again.
        Missing,
        // A cache file that does not inflate: it counts as a miss and is to be written again.
        Damaged,
    };
    struct Text {
        Status status = Status::Missing;
        std::shared_ptr<const QString> folded;
    };

    // Lists the cache folder: until the next listing, a document whose cache file was not there is known to
    // have none without asking the file system. A search lists it once at its start.
    void listFolder();
    // Forgets the listing: the next search looks at each file it asks for.
    void forgetListing();
    // The path of the document's cache file (kept, since it costs a hash of the path).
    QString cacheFileName(const QString& documentPath) { return cacheFileOf(documentPath); }
    // The folded text of the document's cache file.
    Text cached(const QString& documentPath);
    // A writer has just put this text into the document's cache file.
    void remember(const QString& documentPath, const QString& text);

    qsizetype keptBytes() const;
    int keptTexts() const;
    void clear();

private:
    struct Stamp {
        qint64 size = -1;
        qint64 modifiedNs = 0;
        quint64 inode = 0;
        quint64 device = 0;
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    struct Entry {
        Stamp stamp;
        std::shared_ptr<const QString> folded;
        quint64 lastUse = 0;
    };

    static bool stampOf(const QByteArray& file, Stamp& stamp);
    QString cacheFileOf(const QString& documentPath);
    void keep(const QString& cacheFile, const Stamp& stamp, std::shared_ptr<const QString> folded);
    void evictLocked();

    const qsizetype m_budget;
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_entries;
    // Cache file names by document path: the name costs a hash of the path, and a search asks for every one.
    QHash<QString, QString> m_names;
    QSet<QString> m_listed;
    bool m_haveListing = false;
    qsizetype m_bytes = 0;
    quint64 m_clock = 0;
};

} // namespace velmora
