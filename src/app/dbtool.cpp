#include "dbtool.h"

#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/streamstring.h"
#include "common/textcodec.h"
#include "store/librarylock.h"
#include "store/pathfold.h"
#include "store/textcache.h"
#include "store/wordmgr.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <unistd.h>

namespace velmora {

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kUsageText = R"(usage: velmoradb [--appdata DIR] COMMAND [ARGS]

The library is in the data folder: DIR, else $VELMORA_APPDATA, else appdata/ beside
the program when it exists, else $XDG_DATA_HOME/velmora (~/.local/share/velmora).

Listing commands print one line per document: position|full path.
  tags QUERY [--shift]         documents tagged with a word of QUERY (with --shift also
                               documents one of whose tags lies in their own path)
  paths FILE                   documents whose full path is a line of FILE (UTF-8)
  filter untagged              documents without tags
  filter password              documents with a password
  filter score WORD            无星文档, 一星, 二星, 三星, 四星 or 五星
  filter date WINDOW KIND      WINDOW 今天, 三日内, 一周内 or 一月内;
                               KIND 1 file created, 2 file modified, 3 last opened

  show POS                     the record at POS
  check                        reports damaged records and string items
  stats                        counts of records, tags, passwords and scores
  index PATH... | --all        writes the text cache of the documents (all live ones with
                               --all) with the built-in .docx/.doc reader, on all cores

Commands that change the library (refused while Velmora has it open):
  add PATH... [--tags TEXT] [--password TEXT] [--score N]
  remove PATH...               marks the documents deleted
  restore PATH... | --all      clears the deleted mark
  purge                        removes deleted records for good
  compact                      rewrites both files without unused items

Exit status: 0 success, 1 error, 2 usage error.
)";

class UsageError {
public:
    explicit UsageError(QString message) : text(std::move(message)) {}
    QString text;
};

QString libraryFile() {
    return AppDataFolder() + QStringLiteral("worddata.data");
}

QString absolutePath(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

QString formatDays(double days) {
    const QDateTime time = DaysToDateTime(days);
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString::number(days);
}

class DbTool {
public:
    DbTool(QTextStream& out, QTextStream& err, DocumentReader reader) : m_out(out), m_err(err), m_reader(reader) {}

    int run(QStringList args);

private:
    // Commands that only look map the files and leave them untouched; the others hold the lock first.
    TWordMgr& store() {
        if (!m_store) {
            m_store = std::make_unique<TWordMgr>(libraryFile(), m_lock ? OpenMode::ReadWrite : OpenMode::ReadOnly);
        }
        return *m_store;
    }

    // Changing commands hold the lock for their whole run, so neither the main window nor a second tool can
    // change the files in between.
    bool lockForChange() {
        if (!m_chosenFolder && qEnvironmentVariableIsEmpty("VELMORA_APPDATA")) {
            // Only the default data folder is made on first use; one the user named must exist already.
            PrepareDataFolder();
        }
        m_lock.emplace(LibraryLock::Holder::Tool);
        if (!m_lock->tryLock()) {
            if (!m_lock->isHeldByOther()) {
                m_err << "velmoradb: cannot create the lock file " << LibraryLock::lockFilePath() << ": "
                      << m_lock->errorString() << '\n';
                return false;
            }
            const QString holder = m_lock->holder();
            m_err << "velmoradb: the library is open in " << (holder.isEmpty() ? QStringLiteral("Velmora") : holder)
                  << " (" << LibraryLock::lockFilePath() << "); close it first\n";
            return false;
        }
        return true;
    }

    // Commands that rewrite every record would carry a damaged item into the new files as if it were whole.
    bool refuseDamagedLibrary() {
        const qint64 bad = store().FirstRecordOutsideStrings();
        if (bad < 0) {
            return false;
        }
        m_err << "velmoradb: record " << bad << " points outside the string file " << store().FileName()
              << "; nothing was changed. Run velmoradb check\n";
        return true;
    }

    // The store for a listing query: its lines are printed as they are found, never collected.
    TWordMgr& streaming() {
        store().SetListSink([this](qint64 pos, const QString& path) { m_out << pos << '|' << path << '\n'; });
        return store();
    }

    void printList(const QString& list) {
        for (const QString& line : SplitLines(list)) {
            m_out << line << '\n';
        }
    }

    static QString takeOption(QStringList& args, const QString& name) {
        const qsizetype at = args.indexOf(name);
        if (at < 0) {
            return {};
        }
        if (at + 1 >= args.size()) {
            throw UsageError(name + QStringLiteral(" needs a value"));
        }
        const QString value = args.at(at + 1);
        args.remove(at, 2);
        return value;
    }

    static void expectCount(const QStringList& args, qsizetype count, const char* what) {
        if (args.size() != count) {
            throw UsageError(QString::fromUtf8(what));
        }
    }

    int tags(QStringList args);
    int paths(const QStringList& args);
    int filter(const QStringList& args);
    int show(const QStringList& args);
    int add(QStringList args);
    int removeOrRestore(const QStringList& args, bool remove);
    int purge(const QStringList& args);
    int compact(const QStringList& args);
    int check(const QStringList& args);
    int stats(const QStringList& args);
    int index(const QStringList& args);

    QTextStream& m_out;
    QTextStream& m_err;
    std::optional<LibraryLock> m_lock;
    bool m_chosenFolder = false;
    std::unique_ptr<TWordMgr> m_store;
    DocumentReader m_reader;
};

int DbTool::run(QStringList args) {
    if (args.size() >= 2 && args.first() == QLatin1String("--appdata")) {
        SetAppDataFolder(args.at(1));
        m_chosenFolder = true;
        args.remove(0, 2);
    }
    if (!args.isEmpty() && (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h"))) {
        m_out << kUsageText << "\nData folder in use: " << QDir::toNativeSeparators(AppDataFolder()) << '\n';
        return kOk;
    }
    if (args.isEmpty()) {
        throw UsageError(QStringLiteral("no command given"));
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("tags")) {
        return tags(args);
    }
    if (command == QLatin1String("paths")) {
        return paths(args);
    }
    if (command == QLatin1String("filter")) {
        return filter(args);
    }
    if (command == QLatin1String("show")) {
        return show(args);
    }
    if (command == QLatin1String("add")) {
        return add(args);
    }
    if (command == QLatin1String("remove")) {
        return removeOrRestore(args, true);
    }
    if (command == QLatin1String("restore")) {
        return removeOrRestore(args, false);
    }
    if (command == QLatin1String("purge")) {
        return purge(args);
    }
    if (command == QLatin1String("compact")) {
        return compact(args);
    }
    if (command == QLatin1String("check")) {
        return check(args);
    }
    if (command == QLatin1String("stats")) {
        return stats(args);
    }
    if (command == QLatin1String("index")) {
        return index(args);
    }
    throw UsageError(QStringLiteral("unknown command: ") + command);
}

int DbTool::tags(QStringList args) {
    const bool shift = args.removeAll(QStringLiteral("--shift")) > 0;
    expectCount(args, 1, "tags takes one QUERY");
    printList(streaming().GetListForLoadwzTV(args.first(), shift));
    return kOk;
}

int DbTool::paths(const QStringList& args) {
    expectCount(args, 1, "paths takes one FILE");
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly)) {
        m_err << "velmoradb: cannot read " << args.first() << ": " << file.errorString() << '\n';
        return kFailed;
    }
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    }
    printList(store().GetListForLoadwzTV2(QString::fromUtf8(bytes)));
    return kOk;
}

int DbTool::filter(const QStringList& args) {
    if (args.isEmpty()) {
        throw UsageError(QStringLiteral("filter needs untagged, password, score WORD or date WINDOW KIND"));
    }
    const QString kind = args.first();
    QString list;
    streaming();
    if (kind == QLatin1String("untagged")) {
        expectCount(args, 1, "filter untagged takes no arguments");
        store().QkSearchByTag(QStringLiteral("无标签文档"), list);
    } else if (kind == QLatin1String("password")) {
        expectCount(args, 1, "filter password takes no arguments");
        store().QkSearchByPSW(list);
    } else if (kind == QLatin1String("score")) {
        expectCount(args, 2, "filter score takes one WORD");
        store().QkSearchByScore(args.at(1), list);
    } else if (kind == QLatin1String("date")) {
        expectCount(args, 3, "filter date takes WINDOW and KIND");
        bool ok = false;
        const int source = args.at(2).toInt(&ok);
        if (!ok || source < 1 || source > 3) {
            throw UsageError(QStringLiteral("KIND is 1, 2 or 3"));
        }
        store().QkSearchByDateTime(args.at(1), DateSource(source), list);
    } else {
        throw UsageError(QStringLiteral("unknown filter: ") + kind);
    }
    printList(list);
    return kOk;
}

int DbTool::show(const QStringList& args) {
    expectCount(args, 1, "show takes one POS");
    bool ok = false;
    const qint64 pos = args.first().toLongLong(&ok);
    if (!ok) {
        throw UsageError(QStringLiteral("POS is a record position, a number"));
    }
    TWordMgr& library = store();
    if (!library.IsRecordPosition(pos)) {
        m_err << "velmoradb: position " << args.first() << " is not a record (positions are multiples of "
              << TWordRec::Size << " below " << qint64(library.GetRecNumber()) * TWordRec::Size << ")\n";
        return kFailed;
    }
    const TWordRec rec = library.RecordAt(pos);
    const QString path = library.StringAt(rec.wdFullNamePos);
    const QString tagText = library.StringAt(rec.wdTagsPos);
    const QString password = library.StringAt(rec.wdPasswordPos);
    m_out << "path: " << path << '\n'
          << "tags: " << tagText << '\n'
          << "password: " << password << '\n'
          << "score: " << rec.wdScore << '\n'
          << "created: " << formatDays(rec.wdCreateTime) << '\n'
          << "accessed: " << formatDays(rec.wdAccessTime) << '\n'
          << "reads: " << rec.wdReadTimes << '\n'
          << "edits: " << rec.wdEditTimes << '\n'
          << "archive: " << (rec.wdArchive ? 1 : 0) << '\n'
          << "deleted: " << (rec.wdDeleted ? 1 : 0) << '\n';
    return kOk;
}

int DbTool::add(QStringList args) {
    const QString tagText = TrimControl(takeOption(args, QStringLiteral("--tags")));
    const QString password = takeOption(args, QStringLiteral("--password"));
    const QString scoreText = takeOption(args, QStringLiteral("--score"));
    int score = 0;
    if (!scoreText.isEmpty()) {
        bool ok = false;
        score = scoreText.toInt(&ok);
        if (!ok || score < 0 || score > 5) {
            throw UsageError(QStringLiteral("--score takes 0 to 5"));
        }
    }
    if (args.isEmpty()) {
        throw UsageError(QStringLiteral("add needs at least one PATH"));
    }
    if (!lockForChange()) {
        return kFailed;
    }
    TWordMgr& library = store();
    int status = kOk;
    for (const QString& given : args) {
        const QString path = absolutePath(given);
        if (!QFileInfo(path).isFile()) {
            m_err << "velmoradb: no such file: " << given << '\n';
            status = kFailed;
            continue;
        }
        if (library.DocInBase(path)) {
            m_err << "velmoradb: already in the library: " << path << '\n';
            status = kFailed;
            continue;
        }
        const qint64 pos = library.ImportAWord(path, QString(), password, quint8(score));
        if (!tagText.isEmpty()) {
            library.SaveTags(pos, tagText, true);
        }
        m_out << pos << '|' << path << '\n';
    }
    library.SaveRecDataFiles(false);
    return status;
}

int DbTool::removeOrRestore(const QStringList& args, bool remove) {
    const bool all = !remove && args == QStringList{QStringLiteral("--all")};
    if (args.isEmpty() || (!all && args.contains(QStringLiteral("--all")))) {
        throw UsageError(remove ? QStringLiteral("remove needs at least one PATH")
                                : QStringLiteral("restore needs PATH... or --all"));
    }
    if (!lockForChange()) {
        return kFailed;
    }
    TWordMgr& library = store();
    int status = kOk;
    if (all) {
        library.RestoreAllDeleted();
    } else {
        for (const QString& given : args) {
            const QString path = absolutePath(given);
            bool found = false;
            const int count = library.GetRecNumber();
            for (int k = 0; k < count; ++k) {
                const qint64 pos = qint64(k) * TWordRec::Size;
                const TWordRec rec = library.RecordAt(pos);
                if (rec.wdDeleted != remove && SameIgnoringAsciiCase(library.StringAt(rec.wdFullNamePos), path)) {
                    found = true;
                    if (remove) {
                        library.SetRecDeleted(pos, true);
                    } else {
                        library.RestoreAItem(pos);
                    }
                }
            }
            if (!found) {
                m_err << "velmoradb: " << (remove ? "not in the library: " : "no deleted record of: ") << path << '\n';
                status = kFailed;
            }
        }
    }
    library.SaveRecDataFiles(false);
    return status;
}

int DbTool::purge(const QStringList& args) {
    expectCount(args, 0, "purge takes no arguments");
    if (!lockForChange()) {
        return kFailed;
    }
    if (refuseDamagedLibrary()) {
        return kFailed;
    }
    store().DelAllItemsPermanently();
    store().SaveRecDataFiles(false);
    return kOk;
}

int DbTool::compact(const QStringList& args) {
    expectCount(args, 0, "compact takes no arguments");
    if (!lockForChange()) {
        return kFailed;
    }
    if (refuseDamagedLibrary()) {
        return kFailed;
    }
    store().CleanStreams();
    store().SaveRecDataFiles(false);
    return kOk;
}

int DbTool::check(const QStringList& args) {
    expectCount(args, 0, "check takes no arguments");
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
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const TWordRec rec = library.RecordAt(pos);
        const std::pair<const char*, qint32> items[] = {
            {"path", rec.wdFullNamePos}, {"tags", rec.wdTagsPos}, {"password", rec.wdPasswordPos}};
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
                m_out << "record " << pos << ": " << name << ": " << error.message() << '\n';
                ++damaged;
            }
        }
    }
    if (damaged > 0) {
        m_err << "velmoradb: " << damaged << " damaged " << (damaged == 1 ? "place" : "places") << " in "
              << library.FileName() << " and " << library.RecordFileName() << '\n';
        return kFailed;
    }
    m_out << count << " records checked, no damage found\n";
    return kOk;
}

int DbTool::stats(const QStringList& args) {
    expectCount(args, 0, "stats takes no arguments");
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
                    reasons[size_t(i)] = error.message();
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

int DbTool::index(const QStringList& args) {
    const bool all = args == QStringList{QStringLiteral("--all")};
    if (args.isEmpty() || (!all && args.contains(QStringLiteral("--all")))) {
        throw UsageError(QStringLiteral("index needs PATH... or --all"));
    }
    if (m_reader == nullptr) {
        m_err << "velmoradb: this program cannot read documents; velmoradb-index does the indexing\n";
        return kFailed;
    }
    TWordMgr& library = store();
    QStringList paths;
    std::vector<IndexFailure> failures;
    const int count = library.GetRecNumber();
    if (all) {
        for (int k = 0; k < count; ++k) {
            const qint64 pos = qint64(k) * TWordRec::Size;
            const TWordRec rec = library.RecordAt(pos);
            if (rec.wdDeleted) {
                continue;
            }
            try {
                paths.append(library.StringAt(rec.wdFullNamePos));
            } catch (const VelmoraError& error) {
                failures.push_back({QStringLiteral("record %1").arg(pos), error.message()});
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
    if (!paths.isEmpty() && !QDir().mkpath(TextCacheFolder())) {
        m_err << "velmoradb: cannot create the folder " << TextCacheFolder() << '\n';
        return kFailed;
    }
    const std::vector<IndexFailure> unread = indexInParallel(paths, m_reader, m_err);
    failures.insert(failures.end(), unread.begin(), unread.end());
    m_out << paths.size() - qsizetype(unread.size()) << " of " << paths.size() << " documents indexed\n";
    for (const IndexFailure& failure : failures) {
        m_err << "velmoradb: not indexed: " << failure.path << ": " << failure.reason << '\n';
    }
    return failures.empty() ? kOk : kFailed;
}

} // namespace

bool IsIndexCommand(const QStringList& args) {
    const qsizetype command = args.value(0) == QLatin1String("--appdata") ? 2 : 0;
    return args.value(command) == QLatin1String("index");
}

int RunDbTool(const QStringList& args, QTextStream& out, QTextStream& err, DocumentReader reader) {
    const QString previousAppData = AppDataFolder();
    int status = kFailed;
    try {
        DbTool tool(out, err, reader);
        status = tool.run(args);
    } catch (const UsageError& error) {
        err << "velmoradb: " << error.text << "\n(velmoradb --help lists the commands)\n";
        status = kUsage;
    } catch (const VelmoraError& error) {
        err << "velmoradb: " << error.message() << '\n';
        status = kFailed;
    } catch (const std::bad_alloc&) {
        err << "velmoradb: " << args.value(args.value(0) == QLatin1String("--appdata") ? 2 : 0) << ": out of memory\n";
        status = kFailed;
    } catch (const std::exception& error) {
        err << "velmoradb: " << error.what() << '\n';
        status = kFailed;
    }
    out.flush();
    err.flush();
    SetAppDataFolder(previousAppData);
    return status;
}

} // namespace velmora
