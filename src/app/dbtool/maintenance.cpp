#include "tool.h"

#include "arguments.h"
#include "messages.h"

#include "common/errors.h"
#include "common/streamstring.h"
#include "store/movejournal.h"
#include "store/pathfold.h"
#include "store/textcache.h"
#include "store/textindex.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include <sys/stat.h>

namespace velmora::dbtool {

namespace {

// What is at a document's path: nothing (as opposed to something this process may not look at), or which file.
struct FileFacts {
    bool missing = false;
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
};

FileFacts factsOf(const QString& path) {
    FileFacts facts;
    struct stat info;
    if (path.isEmpty()) {
        return facts;
    }
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        facts.known = true;
        facts.device = info.st_dev;
        facts.inode = info.st_ino;
    } else {
        facts.missing = errno == ENOENT || errno == ENOTDIR;
    }
    return facts;
}

// Which of the documents' files are missing, and which file each reaches. Looking a path up is most of what
// `check` costs on a large library, and lookups of different files do not wait for each other, so they are
// spread over the cores.
std::vector<FileFacts> filesOf(const std::vector<std::pair<qint64, QString>>& documents) {
    std::vector<FileFacts> facts(documents.size());
    std::atomic<size_t> next{0};
    constexpr size_t kBatch = 256;
    const auto work = [&] {
        for (size_t start = next.fetch_add(kBatch); start < documents.size(); start = next.fetch_add(kBatch)) {
            for (size_t i = start; i < std::min(start + kBatch, documents.size()); ++i) {
                facts[i] = factsOf(documents[i].second);
            }
        }
    };
    {
        std::vector<std::jthread> workers;
        const size_t cores = std::max(1u, std::thread::hardware_concurrency());
        for (size_t k = 1; k < std::min(cores, documents.size() / kBatch + 1); ++k) {
            workers.emplace_back(work);
        }
        work();
    }
    return facts;
}

QString recordsRemoved(int count) {
    return QStringLiteral("%1 %2 removed\n").arg(count).arg(count == 1 ? "record" : "records");
}

} // namespace

int DbTool::purge(const QStringList& args) {
    expectCount(args, 0, "purge takes no arguments");
    return rewriteRecords([](TWordMgr& library) {
        library.DelAllItemsPermanently();
        library.SaveRecDataFiles(false);
    });
}

int DbTool::compact(const QStringList& args) {
    expectCount(args, 0, "compact takes no arguments");
    return rewriteRecords([](TWordMgr& library) {
        // Compaction moves every record; the dated copies are the way back.
        library.SaveRecDataFiles(true);
        library.CleanStreams();
        library.SaveRecDataFiles(false);
    });
}

int DbTool::rewriteRecords(const std::function<void(TWordMgr&)>& rewrite) {
    if (!openForChange(false) || refuseDamagedLibrary()) {
        return kFailed;
    }
    TWordMgr& library = store();
    const int before = library.GetRecNumber();
    rewrite(library);
    m_out << recordsRemoved(before - library.GetRecNumber());
    return kOk;
}

int DbTool::check(const QStringList& args) {
    expectCount(args, 0, "check takes no arguments");
    if (!openForReading()) {
        return kFailed;
    }
    TWordMgr& library = store();
    int damaged = 0;
    const qint64 size = library.RecStream().size();
    if (size % TWordRec::Size != 0) {
        m_out << "record file: size " << size << " is not a multiple of " << TWordRec::Size << " ("
              << size % TWordRec::Size << " bytes after the last record)\n";
        ++damaged;
    }
    const QByteArray& strings = library.DataStream();
    const int count = library.GetRecNumber();
    std::vector<std::pair<qint64, QString>> documents;
    documents.reserve(size_t(count));
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const TWordRec rec = library.RecordAt(pos);
        const std::pair<const char*, qint32> items[] = {
            {"path", rec.wdFullNamePos}, {"tags", rec.wdTagsPos}, {"password", rec.wdPasswordPos}};
        bool pathReadable = rec.wdFullNamePos >= 0;
        for (const auto& [name, offset] : items) {
            if (offset == -1) {
                continue;
            }
            if (offset < -1) {
                m_out << "record " << pos << ": " << name << " offset " << offset << " is negative\n";
                ++damaged;
                continue;
            }
            try {
                StreamStringByteCount(strings, offset);
            } catch (const VelmoraError& error) {
                m_out << "record " << pos << ": " << name << ": " << inEnglish(error.message()) << '\n';
                ++damaged;
                pathReadable = pathReadable && std::strcmp(name, "path") != 0;
            }
        }
        if (pathReadable && !rec.wdDeleted) {
            documents.emplace_back(pos, library.StringAt(rec.wdFullNamePos));
        }
    }
    const std::vector<FileFacts> files = filesOf(documents);
    qsizetype missing = 0;
    // Two live records on one file (one path spelled twice, or one file reached by two paths) each keep tags and
    // counters of their own for it: the library is wrong, whichever of them the user opens.
    QHash<QString, qint64> byPath;
    QHash<QPair<quint64, quint64>, qint64> byFile;
    for (size_t i = 0; i < documents.size(); ++i) {
        const auto& [pos, path] = documents[i];
        if (files[i].missing) {
            m_out << "missing|" << pos << '|' << path << '\n';
            ++missing;
        }
        qint64 first = byPath.value(FoldAsciiCase(path), -1);
        const QPair<quint64, quint64> file(quint64(files[i].device), quint64(files[i].inode));
        if (first < 0 && files[i].known) {
            first = byFile.value(file, -1);
        }
        if (first >= 0) {
            m_out << "record " << pos << ": holds the same file as record " << first << ": " << path << '\n';
            ++damaged;
            continue;
        }
        byPath.insert(FoldAsciiCase(path), pos);
        if (files[i].known) {
            byFile.insert(file, pos);
        }
    }
    // A read-only opening finishes no move: what a killed one left is said, with what the next opening for
    // writing (any changing command, or the window) will make of it.
    if (QFile::exists(MoveJournalFile(library.FileName()))) {
        const QList<PlannedMove> pending = PendingMoves(library);
        for (const PlannedMove& move : pending) {
            m_out << "pending move|" << move.position << '|' << move.from << '|' << move.to << '\n';
        }
        m_err << "velmoradb: an interrupted move left " << MoveJournalFile(library.FileName())
              << "; the next change to the library ";
        if (pending.isEmpty()) {
            m_err << "removes it and changes no record\n";
        } else {
            m_err << "gives " << pending.size() << (pending.size() == 1 ? " record" : " records")
                  << " the path its file moved to\n";
        }
    }
    // A search trusts a cache unless it found the document by it: one whose file changed since is named here.
    TextCacheSources sources;
    sources.loadAll();
    qsizetype stale = 0;
    for (size_t i = 0; i < documents.size(); ++i) {
        if (!files[i].missing && sources.freshness(documents[i].second) == CacheFreshness::Stale) {
            m_out << "stale|" << documents[i].second << '\n';
            ++stale;
        }
    }
    // The text index is derived from the cache: it is reported where it disagrees, and index --all mends it. A
    // stale index is no damage (searches read what it cannot vouch for, and a kill may leave it so), so it does
    // not change the exit status.
    const TextIndexState textIndex = CheckTextIndex();
    qsizetype indexProblems = 0;
    if (textIndex.present && !textIndex.readable) {
        m_out << "text index: damaged: " << textIndex.problem << '\n';
        ++indexProblems;
    }
    for (const QString& name : textIndex.staleFiles) {
        m_out << "index stale|" << name << '\n';
        ++indexProblems;
    }
    for (const QString& name : textIndex.unindexedFiles) {
        m_out << "index missing|" << name << '\n';
        ++indexProblems;
    }
    if (indexProblems > 0) {
        m_err << "velmoradb: the text index " << TextIndexFile() << " disagrees with the text cache (" << indexProblems
              << (indexProblems == 1 ? " place" : " places") << "); velmoradb index --all brings it level\n";
    }
    if (damaged > 0) {
        m_err << "velmoradb: " << damaged << " damaged " << (damaged == 1 ? "place" : "places") << " in "
              << library.FileName() << " and " << library.RecordFileName() << '\n';
        return kFailed;
    }
    m_out << count << " records checked, no damage found\n";
    if (missing > 0) {
        m_err << "velmoradb: " << missing << (missing == 1 ? " document is" : " documents are")
              << " missing from disk\n";
        return kFailed;
    }
    if (stale > 0) {
        m_err << "velmoradb: " << stale << (stale == 1 ? " document has" : " documents have")
              << " a text cache older than its file; velmoradb index --changed reads them again\n";
        return kFailed;
    }
    return kOk;
}

int DbTool::stats(const QStringList& args) {
    expectCount(args, 0, "stats takes no arguments");
    if (!openForReading()) {
        return kFailed;
    }
    TWordMgr& library = store();
    int live = 0;
    int deleted = 0;
    int tagged = 0;
    int withPassword = 0;
    int perScore[6] = {};
    int otherScore = 0;
    const int count = library.GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const TWordRec rec = library.RecordAt(qint64(k) * TWordRec::Size);
        if (rec.wdDeleted) {
            ++deleted;
            continue;
        }
        ++live;
        tagged += rec.wdTagsPos >= 0 ? 1 : 0;
        withPassword += rec.wdPasswordPos >= 0 ? 1 : 0;
        if (rec.wdScore <= 5) {
            ++perScore[rec.wdScore];
        } else {
            ++otherScore;
        }
    }
    m_out << "records: " << count << '\n'
          << "live: " << live << '\n'
          << "deleted: " << deleted << '\n'
          << "with tags: " << tagged << '\n'
          << "with password: " << withPassword << '\n';
    for (int s = 0; s <= 5; ++s) {
        m_out << "score " << s << ": " << perScore[s] << '\n';
    }
    if (otherScore > 0) {
        m_out << "score above 5: " << otherScore << '\n';
    }
    return kOk;
}

} // namespace velmora::dbtool
