#include "tool.h"

#include "arguments.h"
#include "messages.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "store/pathfold.h"
#include "store/textcache.h"
#include "store/textindex.h"
#include "workbench/core/searchtexts.h"
#include "workbench/core/searchwalk.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <unistd.h>

namespace velmora::dbtool {

namespace {

bool isTerminal(QTextStream& stream) {
    const auto* file = qobject_cast<QFile*>(stream.device());
    return file && file->handle() >= 0 && isatty(file->handle()) == 1;
}

struct IndexFailure {
    QString path;
    QString reason;
};

// Reads every document with the built-in reader and writes its cache, one worker per core. Each worker takes
// the next path from a shared counter and writes only its own slot of `reasons`, so nothing else is shared.
std::vector<IndexFailure> indexInParallel(const QStringList& paths, DocumentReader read, QTextStream& err) {
    std::vector<QString> reasons(size_t(paths.size()));
    std::atomic<qsizetype> next{0};
    std::atomic<qsizetype> finished{0};
    std::mutex mutex;
    std::condition_variable allDone;
    const auto work = [&] {
        for (qsizetype i = next++; i < paths.size(); i = next++) {
            const DocumentText document = read(paths.at(i));
            if (!document.ok()) {
                reasons[size_t(i)] = document.reason;
            } else {
                try {
                    WriteTextCache(paths.at(i), document.text);
                } catch (const VelmoraError& error) {
                    reasons[size_t(i)] = inEnglish(error.message());
                } catch (const std::exception& error) {
                    reasons[size_t(i)] = QString::fromLocal8Bit(error.what());
                }
            }
            if (++finished == paths.size()) {
                const std::lock_guard<std::mutex> lock(mutex);
                allDone.notify_one();
            }
        }
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::jthread> workers;
    for (unsigned k = 0; k < std::min<qsizetype>(cores, paths.size()); ++k) {
        workers.emplace_back(work);
    }
    const bool progress = isTerminal(err);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!allDone.wait_for(lock, std::chrono::milliseconds(200), [&] { return finished == paths.size(); })) {
            if (progress) {
                err << "\rindexing " << finished.load() << " of " << paths.size() << " documents" << Qt::flush;
            }
        }
    }
    workers.clear();
    if (progress) {
        err << "\r\x1b[K" << Qt::flush;
    }
    std::vector<IndexFailure> failures;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (!reasons[size_t(i)].isEmpty()) {
            failures.push_back({paths.at(i), reasons[size_t(i)]});
        }
    }
    return failures;
}

} // namespace

int DbTool::index(const QStringList& args) {
    const bool all = args == QStringList{QStringLiteral("--all")};
    const bool changed = args == QStringList{QStringLiteral("--changed")};
    if (args.isEmpty() ||
        (!all && !changed && (args.contains(QStringLiteral("--all")) || args.contains(QStringLiteral("--changed"))))) {
        throw UsageError(QStringLiteral("index needs PATH..., --all or --changed"));
    }
    if (m_reader == nullptr) {
        m_err << "velmoradb: this program cannot read documents; velmoradb-index does the indexing\n";
        return kFailed;
    }
    if (!openForReading()) {
        return kFailed;
    }
    // Also when no document is to be read: this is where the user goes to tidy the cache folder.
    RemoveLeftoverCacheTemporaries();
    TWordMgr& library = store();
    QStringList paths;
    std::vector<IndexFailure> failures;
    const int count = library.GetRecNumber();
    if (all || changed) {
        std::optional<TextCacheSources> sources;
        if (changed) {
            sources.emplace();
            sources->loadAll();
        }
        for (int k = 0; k < count; ++k) {
            const qint64 pos = qint64(k) * TWordRec::Size;
            const TWordRec rec = library.RecordAt(pos);
            if (rec.wdDeleted) {
                continue;
            }
            try {
                const QString path = library.StringAt(rec.wdFullNamePos);
                if (!sources || sources->freshness(path) != CacheFreshness::Current) {
                    paths.append(path);
                }
            } catch (const VelmoraError& error) {
                failures.push_back({QStringLiteral("record %1").arg(pos), inEnglish(error.message())});
            }
        }
    } else {
        for (const QString& given : args) {
            const QString path = absolutePath(given);
            QString stored;
            for (int k = 0; k < count && stored.isEmpty(); ++k) {
                const TWordRec rec = library.RecordAt(qint64(k) * TWordRec::Size);
                if (rec.wdDeleted || rec.wdFullNamePos < 0) {
                    continue;
                }
                try {
                    const QString candidate = library.StringAt(rec.wdFullNamePos);
                    stored = SameIgnoringAsciiCase(candidate, path) ? candidate : QString();
                } catch (const VelmoraError&) {
                    // A damaged record is reported by check; it names no document here.
                }
            }
            if (stored.isEmpty()) {
                failures.push_back({path, QStringLiteral("not in the library")});
            } else {
                paths.append(stored);
            }
        }
    }
    // Two workers must never write one cache file.
    paths.removeDuplicates();
    if (!paths.isEmpty() && !MakePrivateFolder(TextCacheFolder())) {
        m_err << "velmoradb: cannot create the folder " << TextCacheFolder() << '\n';
        return kFailed;
    }
    const std::vector<IndexFailure> unread = indexInParallel(paths, m_reader, m_err);
    failures.insert(failures.end(), unread.begin(), unread.end());
    m_out << paths.size() - qsizetype(unread.size()) << " of " << paths.size() << " documents indexed\n";
    for (const IndexFailure& failure : failures) {
        m_err << "velmoradb: not indexed: " << failure.path << ": " << failure.reason << '\n';
    }
    // The writers above kept the text index current; --all also takes in the cache files written without it
    // (by an older program, or by one whose index was damaged) and mends a damaged index.
    if (all) {
        const bool progress = isTerminal(m_err);
        try {
            BuildTextIndex(false, [&](int done, int total) {
                if (progress) {
                    m_err << "\rtext index: " << done << " of " << total << " cache files" << Qt::flush;
                }
            });
        } catch (const VelmoraError& error) {
            m_err << "velmoradb: the text index was not written: " << inEnglish(error.message()) << '\n';
            return kFailed;
        }
        if (progress) {
            m_err << "\r\x1b[K" << Qt::flush;
        }
    }
    return failures.empty() ? kOk : kFailed;
}

int DbTool::search(QStringList args) {
    SearchRequest request;
    request.pinyin = takeFlag(args, QStringLiteral("--pinyin"));
    if (const std::optional<QString> mode = takeOption(args, QStringLiteral("--mode"))) {
        static const QHash<QString, SearchMode> modes{{QStringLiteral("whole"), SearchMode::Whole},
                                                      {QStringLiteral("or"), SearchMode::Any},
                                                      {QStringLiteral("and"), SearchMode::All},
                                                      {QStringLiteral("not"), SearchMode::FirstNotOthers}};
        if (!modes.contains(*mode)) {
            throw UsageError(QStringLiteral("unknown mode: %1 (accepted: whole, or, and, not)").arg(*mode));
        }
        request.mode = modes.value(*mode);
    }
    if (const std::optional<QString> fields = takeOption(args, QStringLiteral("--in"))) {
        static const QHash<QString, SearchField> names{{QStringLiteral("name"), SearchFileName},
                                                       {QStringLiteral("tags"), SearchTags},
                                                       {QStringLiteral("text"), SearchText}};
        request.fields = 0;
        for (const QString& field : fields->split(u',')) {
            if (!names.contains(field)) {
                throw UsageError(QStringLiteral("unknown field: %1 (accepted: name, tags, text)").arg(field));
            }
            request.fields |= names.value(field);
        }
    }
    rejectOptions(args);
    if (args.isEmpty()) {
        throw UsageError(QStringLiteral("search needs WORDS"));
    }
    request.keywords = args.join(u' ');
    if (!openForReading()) {
        return kFailed;
    }
    const TWordMgr& library = store();
    // The text index is opened, and its rows read, while the library is walked: on two cores both take about
    // as long.
    std::future<std::unique_ptr<TextIndexReader>> index;
    if (request.fields & SearchText) {
        index = std::async(std::launch::async, [] { return std::make_unique<TextIndexReader>(); });
    }
    SearchWalk walk(request, AllRecordPositions(library));
    walk.step(library, library.GetRecNumber());
    const std::unique_ptr<TextIndexReader> reader = index.valid() ? index.get() : nullptr;
    // Each text is read once here: nothing is kept for a later search.
    SearchTexts texts(0);
    const std::atomic<bool> cancelled{false};
    MatchCachedTexts(walk.waiting(), texts, cancelled, 0, reader.get());
    for (const QString& line : SplitLines(walk.result())) {
        m_out << line << '\n';
    }
    for (const TextCandidate& candidate : walk.waiting()) {
        if (candidate.text == TextCandidate::Text::Uncached) {
            m_err << "velmoradb: not indexed: " << candidate.path << '\n';
        } else if (candidate.text == TextCandidate::Text::Damaged) {
            m_err << "velmoradb: not indexed: " << candidate.path << ": the cache file is damaged\n";
        } else if (candidate.text == TextCandidate::Text::Stale) {
            m_err << "velmoradb: stale: " << candidate.path << ": the file changed since its text was read\n";
        }
    }
    return kOk;
}

} // namespace velmora::dbtool
