#include "dbtool.h"

#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/pinyin.h"
#include "common/streamstring.h"
#include "common/textcodec.h"
#include "store/librarylock.h"
#include "store/pathfold.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "workbench/core/searchtexts.h"
#include "workbench/core/searchwalk.h"
#include "workbench/core/treefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kUsageText = R"usage(usage: velmoradb [--appdata DIR] COMMAND [ARGS]
       velmoradb --help | --version

The library is in the data folder: DIR, else $VELMORA_APPDATA, else appdata/ beside
the program when it exists, else $XDG_DATA_HOME/velmora (~/.local/share/velmora).

Listing commands print one line per document: position|full path.
  tags QUERY [--shift]         documents tagged with a word of QUERY (with --shift also
                               documents one of whose tags lies in their own path)
  tags --list                  every tag of a live document with its number of
                               documents, one tag|count line each, by pinyin initials
  paths FILE                   documents whose full path is a line of FILE (UTF-8)
  filter untagged              documents without tags
  filter password              documents with a password
  filter score N               N 0 to 5, or 无星文档, 一星, 二星, 三星, 四星, 五星
  filter date WINDOW KIND      WINDOW 今天, 三日内, 一周内 or 一月内;
                               KIND 1 file created, 2 file modified, 3 last opened
  search [--mode whole|or|and|not] [--in name,tags,text] WORDS...
                               documents whose file name, tags or cached text hold the
                               words (and: all in one field, the default; or: any; not:
                               the first but none of the others; whole: the words as one
                               text); documents without a cached text are searched by
                               name and tags and named on standard error

  show POS [--show-password]   the record at POS (the password only as "(set)" unless asked)
  check                        reports damaged records and string items, and lists live
                               documents whose file is missing as missing|POS|PATH
  stats                        counts of records, tags, passwords and scores
  index PATH... | --all        writes the text cache of the documents (all live ones with
                               --all) with the built-in .docx/.doc reader, on all cores

Commands that change the library (refused while Velmora or another velmoradb has it open):
  add [-r] PATH... [--tags TEXT] [--password TEXT] [--score N]
                               adds .doc and .docx files, printing their lines; with -r
                               also every .doc and .docx below the folders among PATH
  set POS|PATH... [--tags TEXT | --add-tags TEXT] [--score N]
                               changes the tags or score of the documents, printing their
                               lines (a password is given in Velmora's window, which also
                               sets it on the file)
  remove PATH...               marks the documents deleted
  restore PATH... | --all      clears the deleted mark
  purge                        removes deleted records for good
  compact                      rewrites both files without unused items, after a dated
                               copy of both in databackup/

Exit status: 0 success, 1 error, 2 usage error.
)usage";

const QStringList& scoreWords() {
    static const QStringList words{QStringLiteral("无星文档"), QStringLiteral("一星"), QStringLiteral("二星"),
                                   QStringLiteral("三星"),     QStringLiteral("四星"), QStringLiteral("五星")};
    return words;
}

const QStringList& dateWindows() {
    static const QStringList windows{QStringLiteral("今天"), QStringLiteral("三日内"), QStringLiteral("一周内"),
                                     QStringLiteral("一月内")};
    return windows;
}

class UsageError {
public:
    explicit UsageError(QString message) : text(std::move(message)) {}
    QString text;
};

QString libraryFile() {
    return AppDataFolder() + QStringLiteral("worddata.data");
}

QString recordFile() {
    return AppDataFolder() + QStringLiteral("worddata.idx");
}

QString tagTreeFile() {
    return AppDataFolder() + QStringLiteral("TagTVItems.dat");
}

QString absolutePath(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

QString formatDays(double days) {
    const QDateTime time = DaysToDateTime(days);
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString::number(days);
}

// Bytes DecodeSystemName could not read as UTF-8: low surrogates with no high surrogate before them.
bool hasUndecodableByte(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate())) {
            return true;
        }
    }
    return false;
}

bool hasControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// A name fit for a one-line message: control characters and undecodable bytes written as escapes.
QString shown(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool lone = c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate());
        if (lone && c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF) {
            result += QStringLiteral("\\x%1").arg(c.unicode() - 0xDC00, 2, 16, QLatin1Char('0'));
        } else if (c == u'\n') {
            result += QStringLiteral("\\n");
        } else if (c == u'\t') {
            result += QStringLiteral("\\t");
        } else if (c == u'\r') {
            result += QStringLiteral("\\r");
        } else if (c.category() == QChar::Other_Control || lone) {
            result += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            result += c;
        }
    }
    return result;
}

bool isWordDocument(const QString& path) {
    return path.endsWith(QLatin1String(".doc"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".docx"), Qt::CaseInsensitive);
}

// Whether nothing is at the path (as opposed to something this process may not look at).
bool fileIsMissing(const QString& path) {
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        return false;
    }
    return errno == ENOENT || errno == ENOTDIR;
}

// Which of the documents' files are missing. Looking a path up is most of what `check` costs on a large
// library, and lookups of different files do not wait for each other, so they are spread over the cores.
std::vector<bool> missingFiles(const std::vector<std::pair<qint64, QString>>& documents) {
    std::vector<char> gone(documents.size(), 0);
    std::atomic<size_t> next{0};
    constexpr size_t kBatch = 256;
    const auto work = [&] {
        for (size_t start = next.fetch_add(kBatch); start < documents.size(); start = next.fetch_add(kBatch)) {
            for (size_t i = start; i < std::min(start + kBatch, documents.size()); ++i) {
                gone[i] = !documents[i].second.isEmpty() && fileIsMissing(documents[i].second) ? 1 : 0;
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
    return std::vector<bool>(gone.begin(), gone.end());
}

// The errors of the library code are worded for the window, in Chinese; the tool is a scripting tool and
// speaks English. A message not known here is passed on as it is.
QString inEnglish(QString message) {
    static const std::pair<QRegularExpression, QString> wordings[] = {
        {QRegularExpression(QStringLiteral("^无法读取文件 (.*): ([^:]*)$")), QStringLiteral("cannot read \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法写入文件 (.*): ([^:]*)$")), QStringLiteral("cannot write \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法创建文件 (.*): ([^:]*)$")), QStringLiteral("cannot create \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法保存文件 (.*): ([^:]*)$")), QStringLiteral("cannot save \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法删除文件 (.*): ([^:]*)$")), QStringLiteral("cannot remove \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法创建文件夹 (.*)$")), QStringLiteral("cannot create the folder \\1")},
        {QRegularExpression(QStringLiteral("^无法设置文件夹 (.*) 的权限: (.*)$")),
         QStringLiteral("cannot set the permissions of the folder \\1: \\2")},
        {QRegularExpression(QStringLiteral("^无法读取内置文件 (.*)$")),
         QStringLiteral("cannot read the built-in file \\1")},
        {QRegularExpression(QStringLiteral("^字符串位置 (-?\\d+) 超出字符串文件 \\((\\d+) 字节\\)$")),
         QStringLiteral("string item offset \\1 lies outside the string file (\\2 bytes)")},
        {QRegularExpression(QStringLiteral("^字符串位置 (-?\\d+) 的长度 (-?\\d+) 超出字符串文件$")),
         QStringLiteral("the string item at offset \\1 gives a length of \\2, which does not fit in the string file")},
        {QRegularExpression(QStringLiteral("^字符串文件超过 2 GB，无法再写入$")),
         QStringLiteral("the string file has reached 2 GB; nothing more can be written to it")},
        {QRegularExpression(QStringLiteral("^记录位置 (-?\\d+) 不是记录文件中的记录 \\(共 (\\d+) 条记录\\)$")),
         QStringLiteral("position \\1 is not a record of the record file (\\2 records)")},
        {QRegularExpression(QStringLiteral("^记录 (-?\\d+) 指向字符串文件之外，资料库已损坏，不能整理: (.*)$")),
         QStringLiteral(
             "record \\1 points outside the string file \\2; the library is damaged and cannot be rewritten")},
        {QRegularExpression(QStringLiteral("^资料库以只读方式打开，不能保存: (.*)$")),
         QStringLiteral("the library was opened read-only and cannot be saved: \\1")},
        {QRegularExpression(QStringLiteral("^树文件 (.*) 已损坏: 文件只有 (\\d+) 字节，不足 12 字节的文件头$")),
         QStringLiteral("the tree file \\1 is damaged: it has only \\2 bytes, less than its 12-byte head")},
        {QRegularExpression(QStringLiteral("^树文件 (.*) 已损坏: 文本长度 (-?\\d+) 超出文件大小 (\\d+)$")),
         QStringLiteral("the tree file \\1 is damaged: its text length \\2 exceeds the file size \\3")},
        {QRegularExpression(
             QStringLiteral("^树文件 (.*) 已损坏: 节点块 \\(位置 (-?\\d+), 长度 (-?\\d+)\\) 超出文件大小 (\\d+)$")),
         QStringLiteral(
             "the tree file \\1 is damaged: its node block (offset \\2, length \\3) exceeds the file size \\4")},
        {QRegularExpression(QStringLiteral("^(.*) 第 (\\d+) 行的层级 (\\d+) 比上一行深了不止一级: (.*)$")),
         QStringLiteral("\\1 line \\2: level \\3 is more than one deeper than the line before: \\4")},
        {QRegularExpression(QStringLiteral("^解压缩失败: (.*) 不是有效的压缩文本 \\(zlib (-?\\d+)\\)$")),
         QStringLiteral("\\1 is not valid compressed text (zlib \\2)")},
    };
    for (const auto& [pattern, english] : wordings) {
        if (pattern.match(message).hasMatch()) {
            return message.replace(pattern, english);
        }
    }
    return message;
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
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

    // A command that reads needs a library to read: a mistyped folder must not pass for an empty library.
    bool libraryExists();
    // Only the default data folder comes into being by itself; a folder named on purpose must already exist.
    bool folderForChange();

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
            const LibraryLock::Owner owner = m_lock->owner();
            const QString where = QStringLiteral(" (pid %1 on %2, %3)").arg(owner.pid).arg(owner.host);
            if (!owner.known) {
                m_err << "velmoradb: the library is in use (" << LibraryLock::lockFilePath() << " is held)\n";
            } else if (owner.kind == LibraryLock::Holder::Window) {
                m_err << "velmoradb: the library is open in the Velmora window"
                      << where.arg(LibraryLock::lockFilePath()) << "; close it first\n";
            } else {
                m_err << "velmoradb: another velmoradb is changing the library"
                      << where.arg(LibraryLock::lockFilePath()) << "; try again when it has finished\n";
            }
            return false;
        }
        return true;
    }

    bool openForReading() { return libraryExists(); }
    bool openForChange(bool mayCreate) { return (mayCreate ? folderForChange() : libraryExists()) && lockForChange(); }

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

    static std::optional<QString> takeOption(QStringList& args, const QString& name) {
        const qsizetype at = args.indexOf(name);
        if (at < 0) {
            return std::nullopt;
        }
        if (at + 1 >= args.size()) {
            throw UsageError(name + QStringLiteral(" needs a value"));
        }
        const QString value = args.at(at + 1);
        args.remove(at, 2);
        return value;
    }

    static bool takeFlag(QStringList& args, const QString& name) { return args.removeAll(name) > 0; }

    static void rejectOptions(const QStringList& args) {
        for (const QString& arg : args) {
            if (arg.startsWith(QLatin1String("--"))) {
                throw UsageError(QStringLiteral("unknown option: ") + arg);
            }
        }
    }

    static std::optional<quint8> takeScore(QStringList& args) {
        const std::optional<QString> text = takeOption(args, QStringLiteral("--score"));
        if (!text) {
            return std::nullopt;
        }
        bool ok = false;
        const int score = text->toInt(&ok);
        if (!ok || score < 0 || score > 5) {
            throw UsageError(QStringLiteral("--score takes 0 to 5"));
        }
        return quint8(score);
    }

    // Tags end up as lines of the tag tree file, where a line break or a TAB would make other nodes.
    static std::optional<QString> takeTags(QStringList& args, const QString& name) {
        std::optional<QString> text = takeOption(args, name);
        if (text && hasControlCharacter(*text)) {
            throw UsageError(name + QStringLiteral(" must not hold control characters (tags are separated by spaces)"));
        }
        return text;
    }

    static void expectCount(const QStringList& args, qsizetype count, const char* what) {
        if (args.size() != count) {
            throw UsageError(QString::fromUtf8(what));
        }
    }

    // Live records whose path equals path, ignoring the case of A to Z as the library does.
    std::vector<qint64> liveRecordsOf(const QString& path);
    // Walks the folder for .doc and .docx files, in name order; folders that cannot be read are reported.
    QStringList documentsBelow(const QString& folder, int& status);

    int tags(QStringList args);
    int tagList();
    int paths(const QStringList& args);
    int filter(const QStringList& args);
    int show(QStringList args);
    int add(QStringList args);
    int set(QStringList args);
    int removeOrRestore(const QStringList& args, bool remove);
    int purge(const QStringList& args);
    int compact(const QStringList& args);
    int check(const QStringList& args);
    int stats(const QStringList& args);
    int index(const QStringList& args);
    int search(QStringList args);

    QTextStream& m_out;
    QTextStream& m_err;
    std::optional<LibraryLock> m_lock;
    bool m_chosenFolder = false;
    std::unique_ptr<TWordMgr> m_store;
    DocumentReader m_reader;
};

bool DbTool::libraryExists() {
    const QString folder = AppDataFolder();
    const QFileInfo info(QDir::cleanPath(folder));
    if (!info.exists()) {
        m_err << "velmoradb: the data folder " << folder << " does not exist\n";
        return false;
    }
    if (!info.isDir()) {
        m_err << "velmoradb: " << folder << " is not a folder\n";
        return false;
    }
    if (::access(QFile::encodeName(folder).constData(), R_OK | X_OK) != 0) {
        m_err << "velmoradb: cannot read the data folder " << folder << ": " << systemReason(errno) << '\n';
        return false;
    }
    if (!QFileInfo::exists(libraryFile()) && !QFileInfo::exists(recordFile())) {
        m_err << "velmoradb: no library in " << folder << " (neither worddata.idx nor worddata.data is there)\n";
        return false;
    }
    return true;
}

bool DbTool::folderForChange() {
    const QString folder = AppDataFolder();
    const QFileInfo info(QDir::cleanPath(folder));
    if (info.isDir()) {
        return true;
    }
    if (info.exists()) {
        m_err << "velmoradb: " << folder << " is not a folder\n";
        return false;
    }
    if (m_chosenFolder || !qEnvironmentVariableIsEmpty("VELMORA_APPDATA")) {
        m_err << "velmoradb: the data folder " << folder << " does not exist (create it to start a library there)\n";
        return false;
    }
    // The default folder is made, its owner's alone, when the lock is taken.
    return true;
}

int DbTool::run(QStringList args) {
    if (args.value(0) == QLatin1String("--appdata")) {
        if (args.value(1).isEmpty()) {
            throw UsageError(QStringLiteral("--appdata needs a folder"));
        }
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
    if (command == QLatin1String("--version")) {
        m_out << "velmoradb " << VELMORA_VERSION << '\n';
        return kOk;
    }
    using Command = int (DbTool::*)(const QStringList&);
    using TakingCommand = int (DbTool::*)(QStringList);
    static const QHash<QString, Command> byReference{
        {QStringLiteral("paths"), &DbTool::paths}, {QStringLiteral("filter"), &DbTool::filter},
        {QStringLiteral("purge"), &DbTool::purge}, {QStringLiteral("compact"), &DbTool::compact},
        {QStringLiteral("check"), &DbTool::check}, {QStringLiteral("stats"), &DbTool::stats},
        {QStringLiteral("index"), &DbTool::index},
    };
    static const QHash<QString, TakingCommand> byValue{
        {QStringLiteral("tags"), &DbTool::tags},     {QStringLiteral("show"), &DbTool::show},
        {QStringLiteral("add"), &DbTool::add},       {QStringLiteral("set"), &DbTool::set},
        {QStringLiteral("search"), &DbTool::search},
    };
    if (const auto found = byReference.constFind(command); found != byReference.cend()) {
        return (this->*found.value())(args);
    }
    if (const auto found = byValue.constFind(command); found != byValue.cend()) {
        return (this->*found.value())(args);
    }
    if (command == QLatin1String("remove") || command == QLatin1String("restore")) {
        return removeOrRestore(args, command == QLatin1String("remove"));
    }
    throw UsageError(QStringLiteral("unknown command: ") + command);
}

int DbTool::tags(QStringList args) {
    if (args.contains(QStringLiteral("--list"))) {
        expectCount(args, 1, "tags --list takes no other arguments");
        return tagList();
    }
    const bool shift = takeFlag(args, QStringLiteral("--shift"));
    expectCount(args, 1, "tags takes one QUERY, or --list");
    if (!openForReading()) {
        return kFailed;
    }
    printList(streaming().GetListForLoadwzTV(args.first(), shift));
    return kOk;
}

// A string item where it lies in the string file, when its UTF-16 units can be read in place there; otherwise
// (a big-endian machine, an odd offset in a damaged file) through a copy.
QStringView tagsText(const TWordMgr& library, qint32 offset, QString& copy) {
    const QByteArray& strings = library.DataStream();
    const qint32 bytes = StreamStringByteCount(strings, offset);
    const char* units = strings.constData() + offset + 4;
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian && reinterpret_cast<quintptr>(units) % alignof(char16_t) == 0) {
        return QStringView(reinterpret_cast<const char16_t*>(units), bytes / 2);
    }
    copy = library.StringAt(offset);
    return copy;
}

int DbTool::tagList() {
    if (!openForReading()) {
        return kFailed;
    }
    TWordMgr& library = store();
    // One entry per tag, letter case folded as the tag queries fold it; the first spelling met is shown. Most
    // tags recur spelled alike, so a spelling seen before is found without folding or copying it.
    struct Entry {
        QString tag;
        int documents = 0;
        int lastRecord = -1;
    };
    struct ViewHash {
        size_t operator()(QStringView view) const noexcept { return qHash(view); }
    };
    std::deque<Entry> entries;
    std::deque<QString> spellings; // the keys of bySpelling point into these
    std::unordered_map<QStringView, size_t, ViewHash> bySpelling;
    QHash<QString, size_t> byFolded;
    const int count = library.GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const TWordRec rec = library.RecordAt(qint64(k) * TWordRec::Size);
        if (rec.wdDeleted || rec.wdTagsPos < 0) {
            continue;
        }
        QString copy;
        const QStringView text = tagsText(library, rec.wdTagsPos, copy);
        for (qsizetype start = 0; start < text.size();) {
            qsizetype end = text.indexOf(u' ', start);
            end = end < 0 ? text.size() : end;
            const QStringView tag = text.sliced(start, end - start);
            start = end + 1;
            if (tag.isEmpty()) {
                continue;
            }
            size_t index = 0;
            if (const auto known = bySpelling.find(tag); known != bySpelling.end()) {
                index = known->second;
            } else {
                const QString folded = tag.toString().toCaseFolded();
                const auto entry = byFolded.constFind(folded);
                index = entry != byFolded.cend() ? entry.value() : entries.size();
                if (index == entries.size()) {
                    entries.push_back(Entry{tag.toString(), 0, -1});
                    byFolded.insert(folded, index);
                }
                spellings.push_back(tag.toString());
                bySpelling.emplace(QStringView(spellings.back()), index);
            }
            Entry& entry = entries[index];
            // A tag written twice in one document counts that document once.
            if (entry.lastRecord != k) {
                entry.lastRecord = k;
                ++entry.documents;
            }
        }
    }
    QStringList order;
    order.reserve(qsizetype(entries.size()));
    for (const Entry& entry : entries) {
        order.append(entry.tag);
    }
    SortListByPinyin(order, true, false);
    for (const QString& tag : order) {
        m_out << tag << '|' << entries[byFolded.value(tag.toCaseFolded())].documents << '\n';
    }
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
    if (!openForReading()) {
        return kFailed;
    }
    printList(store().GetListForLoadwzTV2(QString::fromUtf8(bytes)));
    return kOk;
}

int DbTool::filter(const QStringList& args) {
    const QString kinds = QStringLiteral("untagged, password, score N or date WINDOW KIND");
    if (args.isEmpty()) {
        throw UsageError(QStringLiteral("filter needs ") + kinds);
    }
    const QString kind = args.first();
    QString word;
    DateSource source = DateSource::FileCreated;
    if (kind == QLatin1String("untagged") || kind == QLatin1String("password")) {
        expectCount(args, 1, "filter untagged and filter password take no more arguments");
    } else if (kind == QLatin1String("score")) {
        expectCount(args, 2, "filter score takes one N");
        bool isNumber = false;
        const int score = args.at(1).toInt(&isNumber);
        if (isNumber && score >= 0 && score <= 5) {
            word = scoreWords().at(score);
        } else if (scoreWords().contains(args.at(1))) {
            word = args.at(1);
        } else {
            throw UsageError(QStringLiteral("unknown score: %1 (accepted: 0 to 5, %2)")
                                 .arg(args.at(1), scoreWords().join(QStringLiteral(", "))));
        }
    } else if (kind == QLatin1String("date")) {
        expectCount(args, 3, "filter date takes WINDOW and KIND");
        if (!dateWindows().contains(args.at(1))) {
            throw UsageError(QStringLiteral("unknown date window: %1 (accepted: %2)")
                                 .arg(args.at(1), dateWindows().join(QStringLiteral(", "))));
        }
        word = args.at(1);
        bool ok = false;
        const int number = args.at(2).toInt(&ok);
        if (!ok || number < 1 || number > 3) {
            throw UsageError(QStringLiteral("KIND is 1, 2 or 3"));
        }
        source = DateSource(number);
    } else {
        throw UsageError(QStringLiteral("unknown filter: %1 (accepted: %2)").arg(kind, kinds));
    }
    if (!openForReading()) {
        return kFailed;
    }
    QString list;
    streaming();
    if (kind == QLatin1String("untagged")) {
        store().QkSearchByTag(QStringLiteral("无标签文档"), list);
    } else if (kind == QLatin1String("password")) {
        store().QkSearchByPSW(list);
    } else if (kind == QLatin1String("score")) {
        store().QkSearchByScore(word, list);
    } else {
        store().QkSearchByDateTime(word, source, list);
    }
    printList(list);
    return kOk;
}

int DbTool::show(QStringList args) {
    const bool showPassword = takeFlag(args, QStringLiteral("--show-password"));
    expectCount(args, 1, "show takes one POS");
    bool ok = false;
    const qint64 pos = args.first().toLongLong(&ok);
    if (!ok) {
        throw UsageError(QStringLiteral("POS is a record position, a number"));
    }
    if (!openForReading()) {
        return kFailed;
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
    // Scripts print records to logs and terminals; the password is shown only when asked for.
    const QString passwordShown = showPassword || password.isEmpty() ? password : QStringLiteral("(set)");
    const QString accessed = rec.wdAccessTime == 0.0 ? QStringLiteral("never") : formatDays(rec.wdAccessTime);
    m_out << "path: " << path << '\n'
          << "tags: " << tagText << '\n'
          << "password: " << passwordShown << '\n'
          << "score: " << rec.wdScore << '\n'
          << "created: " << formatDays(rec.wdCreateTime) << '\n'
          << "accessed: " << accessed << '\n'
          << "reads: " << rec.wdReadTimes << '\n'
          << "edits: " << rec.wdEditTimes << '\n'
          << "archive: " << (rec.wdArchive ? 1 : 0) << '\n'
          << "deleted: " << (rec.wdDeleted ? 1 : 0) << '\n';
    return kOk;
}

QStringList DbTool::documentsBelow(const QString& folder, int& status) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    // Each folder is read on its own, so that one that cannot be read is named and the walk goes on with the rest.
    std::vector<fs::path> pending{fs::path(QFile::encodeName(folder).toStdString())};
    while (!pending.empty()) {
        const fs::path current = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        std::vector<fs::path> folders;
        fs::directory_iterator entries(current, error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            std::error_code ignored;
            const std::string& name = entries->path().native();
            // Linked folders are not followed: a link back up the tree would never end.
            if (entries->is_directory(ignored) && !entries->is_symlink(ignored)) {
                folders.push_back(entries->path());
            } else if (entries->is_regular_file(ignored) &&
                       isWordDocument(QString::fromLatin1(name.data(), qsizetype(name.size())))) {
                found.push_back(name);
            }
        }
        if (error) {
            const std::string& name = current.native();
            m_err << "velmoradb: cannot read the folder "
                  << shown(DecodeSystemName(QByteArrayView(name.data(), qsizetype(name.size())))) << ": "
                  << QString::fromLocal8Bit(error.message().c_str()) << '\n';
            status = kFailed;
        }
        // Taken from the back: in name order, so that the messages come in the order a listing shows.
        std::sort(folders.rbegin(), folders.rend());
        std::move(folders.begin(), folders.end(), std::back_inserter(pending));
    }
    std::sort(found.begin(), found.end());
    QStringList paths;
    paths.reserve(qsizetype(found.size()));
    for (const std::string& name : found) {
        paths.append(DecodeSystemName(QByteArrayView(name.data(), qsizetype(name.size()))));
    }
    return paths;
}

int DbTool::add(QStringList args) {
    const bool recursive = takeFlag(args, QStringLiteral("-r"));
    const std::optional<QString> tagText = takeTags(args, QStringLiteral("--tags"));
    const QString password = takeOption(args, QStringLiteral("--password")).value_or(QString());
    const quint8 score = takeScore(args).value_or(0);
    rejectOptions(args);
    if (args.isEmpty()) {
        throw UsageError(QStringLiteral("add needs at least one PATH"));
    }
    if (!openForChange(true)) {
        return kFailed;
    }
    TWordMgr& library = store();
    int status = kOk;
    QStringList adding;
    QSet<QString> seen;
    // `found` is true for a document found in a folder walk, where one already in the library is what a second
    // walk of the same folder is expected to meet.
    const auto consider = [&](const QString& given, bool found) {
        if (hasUndecodableByte(given)) {
            m_err << "velmoradb: the file name is not valid UTF-8: " << shown(given) << '\n';
            status = kFailed;
            return;
        }
        if (hasControlCharacter(given)) {
            m_err << "velmoradb: the path holds a control character: " << shown(given) << '\n';
            status = kFailed;
            return;
        }
        const QString path = absolutePath(given);
        const QFileInfo info(path);
        if (info.isDir()) {
            m_err << "velmoradb: " << given << " is a folder (add -r adds the documents below it)\n";
            status = kFailed;
            return;
        }
        if (!info.isFile()) {
            m_err << "velmoradb: no such file: " << given << '\n';
            status = kFailed;
            return;
        }
        if (!isWordDocument(path)) {
            m_err << "velmoradb: not a Word document: " << given << '\n';
            status = kFailed;
            return;
        }
        const QString folded = FoldAsciiCase(path);
        if (seen.contains(folded) || library.DocInBase(path)) {
            if (!found) {
                m_err << "velmoradb: already in the library: " << path << '\n';
                status = kFailed;
            }
            return;
        }
        seen.insert(folded);
        adding.append(path);
    };
    for (const QString& given : args) {
        if (recursive && !hasUndecodableByte(given) && QFileInfo(given).isDir()) {
            for (const QString& path : documentsBelow(given, status)) {
                consider(path, true);
            }
        } else {
            consider(given, false);
        }
    }
    if (adding.isEmpty()) {
        return status;
    }
    const NormalTags normal = NormalizeTags(tagText.value_or(QString()));
    // The tree first: stopped in between, it names a tag no document has yet, which is harmless; the other way
    // round documents would carry tags the window's tree never shows.
    if (!normal.tags.isEmpty()) {
        AddTagNodesToFile(tagTreeFile(), normal.tags);
    }
    QStringList lines;
    for (const QString& path : adding) {
        const qint64 pos = library.ImportAWord(path, QString(), password, score);
        if (!normal.text.isEmpty()) {
            library.SaveTags(pos, normal.text, true);
        }
        lines.append(QString::number(pos) + u'|' + path);
    }
    library.SaveRecDataFiles(false);
    for (const QString& line : lines) {
        m_out << line << '\n';
    }
    return status;
}

std::vector<qint64> DbTool::liveRecordsOf(const QString& path) {
    TWordMgr& library = store();
    std::vector<qint64> found;
    const int count = library.GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const TWordRec rec = library.RecordAt(pos);
        if (!rec.wdDeleted && SameIgnoringAsciiCase(library.StringAt(rec.wdFullNamePos), path)) {
            found.push_back(pos);
        }
    }
    return found;
}

int DbTool::set(QStringList args) {
    if (args.contains(QStringLiteral("--password"))) {
        throw UsageError(QStringLiteral(
            "set records no password: the library may only hold a password the file really has, so a password is "
            "given in Velmora's window, which sets it on the file too"));
    }
    const std::optional<QString> tagText = takeTags(args, QStringLiteral("--tags"));
    const std::optional<QString> addedTags = takeTags(args, QStringLiteral("--add-tags"));
    const std::optional<quint8> score = takeScore(args);
    rejectOptions(args);
    if (tagText && addedTags) {
        throw UsageError(QStringLiteral("--tags and --add-tags cannot be given together"));
    }
    if (!tagText && !addedTags && !score) {
        throw UsageError(QStringLiteral("set needs --tags, --add-tags or --score"));
    }
    if (args.isEmpty()) {
        throw UsageError(QStringLiteral("set needs at least one POS or PATH"));
    }
    if (!openForChange(false)) {
        return kFailed;
    }
    TWordMgr& library = store();
    int status = kOk;
    std::vector<qint64> targets;
    for (const QString& given : args) {
        bool isNumber = false;
        const qint64 pos = given.toLongLong(&isNumber);
        if (isNumber) {
            if (!library.IsRecordPosition(pos) || library.RecordAt(pos).wdDeleted) {
                m_err << "velmoradb: position " << given << " is not a live record\n";
                status = kFailed;
            } else {
                targets.push_back(pos);
            }
            continue;
        }
        const std::vector<qint64> found = liveRecordsOf(absolutePath(given));
        if (found.empty()) {
            m_err << "velmoradb: not in the library: " << absolutePath(given) << '\n';
            status = kFailed;
        }
        targets.insert(targets.end(), found.begin(), found.end());
    }
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());

    // The new tags text of each target, worked out before anything is written.
    std::vector<std::optional<QString>> newTags(targets.size());
    QStringList treeTags;
    for (size_t i = 0; i < targets.size(); ++i) {
        QString typed;
        if (tagText) {
            typed = *tagText;
        } else if (addedTags) {
            const QString stored = library.StringAt(library.RecordAt(targets[i]).wdTagsPos);
            QStringList merged = stored.split(u' ', Qt::SkipEmptyParts);
            const qsizetype before = merged.size();
            for (const QString& tag : addedTags->split(u' ', Qt::SkipEmptyParts)) {
                if (!merged.contains(tag, Qt::CaseInsensitive)) {
                    merged.append(tag);
                }
            }
            if (merged.size() == before) {
                continue;
            }
            typed = merged.join(u' ');
        } else {
            continue;
        }
        const NormalTags normal = NormalizeTags(typed);
        newTags[i] = normal.text;
        treeTags += normal.tags;
    }
    if (!treeTags.isEmpty()) {
        AddTagNodesToFile(tagTreeFile(), treeTags);
    }
    QStringList lines;
    for (size_t i = 0; i < targets.size(); ++i) {
        if (newTags[i]) {
            library.SaveTags(targets[i], *newTags[i], true);
        }
        if (score) {
            library.SetDocScore(targets[i], *score, true);
        }
        lines.append(QString::number(targets[i]) + u'|' + library.StringAt(library.RecordAt(targets[i]).wdFullNamePos));
    }
    library.SaveRecDataFiles(false);
    for (const QString& line : lines) {
        m_out << line << '\n';
    }
    return status;
}

int DbTool::removeOrRestore(const QStringList& args, bool remove) {
    const bool all = !remove && args == QStringList{QStringLiteral("--all")};
    if (args.isEmpty() || (!all && args.contains(QStringLiteral("--all")))) {
        throw UsageError(remove ? QStringLiteral("remove needs at least one PATH")
                                : QStringLiteral("restore needs PATH... or --all"));
    }
    if (!openForChange(false)) {
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

QString recordsRemoved(int count) {
    return QStringLiteral("%1 %2 removed\n").arg(count).arg(count == 1 ? "record" : "records");
}

int DbTool::purge(const QStringList& args) {
    expectCount(args, 0, "purge takes no arguments");
    if (!openForChange(false)) {
        return kFailed;
    }
    if (refuseDamagedLibrary()) {
        return kFailed;
    }
    TWordMgr& library = store();
    const int before = library.GetRecNumber();
    library.DelAllItemsPermanently();
    library.SaveRecDataFiles(false);
    m_out << recordsRemoved(before - library.GetRecNumber());
    return kOk;
}

int DbTool::compact(const QStringList& args) {
    expectCount(args, 0, "compact takes no arguments");
    if (!openForChange(false)) {
        return kFailed;
    }
    if (refuseDamagedLibrary()) {
        return kFailed;
    }
    TWordMgr& library = store();
    const int before = library.GetRecNumber();
    // Compaction moves every record; the dated copies are the way back.
    library.SaveRecDataFiles(true);
    library.CleanStreams();
    library.SaveRecDataFiles(false);
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
    const std::vector<bool> gone = missingFiles(documents);
    qsizetype missing = 0;
    for (size_t i = 0; i < documents.size(); ++i) {
        if (gone[i]) {
            m_out << "missing|" << documents[i].first << '|' << documents[i].second << '\n';
            ++missing;
        }
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

int DbTool::index(const QStringList& args) {
    const bool all = args == QStringList{QStringLiteral("--all")};
    if (args.isEmpty() || (!all && args.contains(QStringLiteral("--all")))) {
        throw UsageError(QStringLiteral("index needs PATH... or --all"));
    }
    if (m_reader == nullptr) {
        m_err << "velmoradb: this program cannot read documents; velmoradb-index does the indexing\n";
        return kFailed;
    }
    if (!openForReading()) {
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

int DbTool::search(QStringList args) {
    SearchRequest request;
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
    SearchWalk walk(request, AllRecordPositions(library));
    walk.step(library, library.GetRecNumber());
    // Each text is read once here: nothing is kept for a later search.
    SearchTexts texts(0);
    const std::atomic<bool> cancelled{false};
    MatchCachedTexts(walk.waiting(), texts, cancelled);
    for (const QString& line : SplitLines(walk.result())) {
        m_out << line << '\n';
    }
    for (const TextCandidate& candidate : walk.waiting()) {
        if (candidate.text == TextCandidate::Text::Uncached) {
            m_err << "velmoradb: not indexed: " << candidate.path << '\n';
        } else if (candidate.text == TextCandidate::Text::Damaged) {
            m_err << "velmoradb: not indexed: " << candidate.path << ": the cache file is damaged\n";
        }
    }
    return kOk;
}

} // namespace

QString DecodeSystemName(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    const auto byte = [&bytes](qsizetype i) { return quint8(bytes[i]); };
    qsizetype i = 0;
    while (i < bytes.size()) {
        const quint8 lead = byte(i);
        int length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
            least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            least = 0x10000;
        }
        bool valid = length > 0 && i + length <= bytes.size();
        for (int k = 1; valid && k < length; ++k) {
            valid = (byte(i + k) & 0xC0) == 0x80;
            code = (code << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms, UTF-16 surrogates and values past U+10FFFF are not UTF-8 either.
        valid = valid && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            text += QChar(char16_t(0xDC00 + lead));
            ++i;
            continue;
        }
        const char32_t one[] = {code};
        text += QString::fromUcs4(one, 1);
        i += length;
    }
    return text;
}

QStringList DecodeArguments(int argc, char* argv[]) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args.append(DecodeSystemName(QByteArrayView(argv[i])));
    }
    return args;
}

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
        err << "velmoradb: " << inEnglish(error.message()) << '\n';
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
