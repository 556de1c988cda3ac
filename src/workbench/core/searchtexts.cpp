#include "workbench/core/searchtexts.h"

#include "common/compressedtext.h"
#include "common/readfile.h"
#include "common/textcodec.h"
#include "store/textcache.h"

#include <QDir>
#include <QFile>

#include <array>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace velmora {

namespace {

// As the cache reader's own limit: a larger output is a damaged or hostile file, not a note.
constexpr qsizetype kMaxInflatedSize = kMaxCachedTextBytes;

constexpr int kLeadFirst = 0x81;
constexpr int kTrailFirst = 0x40;
constexpr int kTrails = 0xFF - kTrailFirst; // 0x40 to 0xFE

// Every character code page 936 has, decoded once by the same decoder the cache reader uses and folded. Each
// byte pair is decoded between line feeds, so a pair the decoder refuses cannot shift the pairs after it; such a
// pair, or a lone byte that is no character, is marked 0 and sends its file the slow way.
struct GbkFoldTable {
    std::array<char16_t, 256> single{};
    std::vector<char16_t> pairs;

    GbkFoldTable() : pairs(size_t(0xFF - kLeadFirst) * kTrails) {
        QByteArray probe;
        probe.reserve(qsizetype(pairs.size()) * 3 + 512);
        for (int b = 0x80; b <= 0xFF; ++b) {
            probe += char(b);
            probe += '\n';
        }
        for (int lead = kLeadFirst; lead <= 0xFE; ++lead) {
            for (int trail = kTrailFirst; trail <= 0xFE; ++trail) {
                probe += char(lead);
                probe += char(trail);
                probe += '\n';
            }
        }
        const QString decoded = DecodeAnsi(probe);
        const QList<QStringView> pieces = QStringView(decoded).split(u'\n');
        const auto fold = [](QStringView piece) -> char16_t {
            if (piece.size() != 1 || piece.front() == QChar::ReplacementCharacter || piece.front().isSurrogate()) {
                return 0;
            }
            return QChar::toCaseFolded(piece.front().unicode());
        };
        for (int b = 0; b < 0x80; ++b) {
            single[size_t(b)] = QChar::toCaseFolded(char16_t(b));
        }
        qsizetype at = 0;
        for (int b = 0x80; b <= 0xFF && at < pieces.size(); ++b) {
            single[size_t(b)] = fold(pieces.at(at++));
        }
        for (char16_t& entry : pairs) {
            entry = at < pieces.size() ? fold(pieces.at(at++)) : 0;
        }
        single[0] = 0; // a NUL byte is decoded the slow way like any other oddity
    }
};

const GbkFoldTable& gbkTable() {
    static const GbkFoldTable table;
    return table;
}

// Decodes and folds GBK bytes; false when a byte sequence is not in the table.
bool foldGbk(QByteArrayView bytes, QString& out) {
    const GbkFoldTable& table = gbkTable();
    out.resize(bytes.size());
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    const auto* from = reinterpret_cast<const quint8*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype written = 0;
    for (qsizetype i = 0; i < n;) {
        const quint8 b = from[i];
        char16_t c = 0;
        if (b >= kLeadFirst && b <= 0xFE && i + 1 < n && from[i + 1] >= kTrailFirst && from[i + 1] <= 0xFE) {
            c = table.pairs[size_t(b - kLeadFirst) * kTrails + (from[i + 1] - kTrailFirst)];
            i += 2;
        } else {
            c = table.single[b];
            ++i;
        }
        if (c == 0) {
            return false;
        }
        to[written++] = c;
    }
    out.truncate(written);
    return true;
}

// The inflated bytes; false when the stream is not whole or inflates beyond any note.
bool inflateAll(QByteArrayView compressed, QByteArray& plain) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        return false;
    }
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    zs.avail_in = uInt(compressed.size());
    plain.resize(std::max<qsizetype>(compressed.size() * 4, 4096));
    qsizetype used = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (used == plain.size()) {
            if (plain.size() >= kMaxInflatedSize) {
                break;
            }
            plain.resize(std::min(plain.size() * 2, kMaxInflatedSize));
        }
        zs.next_out = reinterpret_cast<Bytef*>(plain.data() + used);
        zs.avail_out = uInt(plain.size() - used);
        rc = inflate(&zs, Z_NO_FLUSH);
        used = plain.size() - qsizetype(zs.avail_out);
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
            rc = Z_DATA_ERROR; // the stream ends before its end marker
        }
    }
    inflateEnd(&zs);
    plain.truncate(used);
    return rc == Z_STREAM_END;
}

} // namespace

QString FoldedCacheText(QByteArrayView plain) {
    if (plain.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(plain.sliced(3)).toCaseFolded();
    }
    if (!plain.startsWith("\xFF\xFE") && !plain.startsWith("\xFE\xFF")) {
        QString folded;
        if (foldGbk(plain, folded)) {
            return folded;
        }
    }
    return DecodeTextBytes(plain).toCaseFolded();
}

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
    // Only a regular file is read (a FIFO would wait for a writer forever), and only one that a cached text can
    // have deflated to: a larger one, sparse or not, is refused before a byte of it is read.
    qint64 size = 0;
    QString reason;
    const int fd = OpenRegularFile(cacheFile, size, reason);
    if (fd < 0) {
        return {Status::Damaged, nullptr};
    }
    struct stat info {};
    QByteArray compressed;
    bool whole = size <= kMaxCacheFileBytes && ::fstat(fd, &info) == 0;
    if (whole) {
        stamp = Stamp{qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                      quint64(info.st_ino), quint64(info.st_dev)};
        compressed.resize(qsizetype(info.st_size));
        qsizetype got = 0;
        while (got < compressed.size()) {
            const ssize_t n = ::read(fd, compressed.data() + got, size_t(compressed.size() - got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += n;
        }
        whole = got == compressed.size();
    }
    ::close(fd);
    QByteArray plain;
    if (!whole || !inflateAll(compressed, plain)) {
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
