#include "tool.h"

#include "arguments.h"
#include "messages.h"

#include "common/appfolder.h"
#include "common/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <new>

#include <unistd.h>

namespace velmora {

namespace dbtool {

namespace {

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
  search [--mode whole|or|and|not] [--in name,tags,text] [--pinyin] WORDS...
                               documents whose file name, tags or cached text hold the
                               words (and: all in one field, the default; or: any; not:
                               the first but none of the others; whole: the words as one
                               text); documents without a cached text are searched by
                               name and tags and named on standard error; with --pinyin
                               a word of Latin letters also matches a name or tag by its
                               pinyin initials (zgls finds 中国历史)

  show POS [--show-password]   the record at POS (the password only as "(set)" unless asked)
  check                        reports damaged records and string items, and lists live
                               documents whose file is missing as missing|POS|PATH and
                               those whose file changed after its text was cached as
                               stale|PATH
  stats                        counts of records, tags, passwords and scores
  index PATH... | --all | --changed
                               writes the text cache of the documents (all live ones with
                               --all, those stale or without a cache with --changed) with
                               the built-in .docx/.doc reader, on all cores

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
  relink [--dry-run] [--by-name] FOLDER...
                               finds the files of documents whose file is missing below
                               the folders, by name and cached text (renamed: by text),
                               and gives their records the new paths; prints
                               relinked|POS|OLD|NEW, by name|POS|OLD|NEW (a document
                               without cached text and the one file of its name, taken
                               only with --by-name), ambiguous|POS|OLD|N candidates or
                               not found|POS|OLD for each (--dry-run changes nothing)

Exit status: 0 success, 1 error, 2 usage error.
)usage";

} // namespace

QString libraryFile() {
    return AppDataFolder() + QStringLiteral("worddata.data");
}

QString recordFile() {
    return AppDataFolder() + QStringLiteral("worddata.idx");
}

QString tagTreeFile() {
    return AppDataFolder() + QStringLiteral("TagTVItems.dat");
}

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

bool DbTool::lockForChange() {
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
            m_err << "velmoradb: the library is open in the Velmora window" << where.arg(LibraryLock::lockFilePath())
                  << "; close it first\n";
        } else {
            m_err << "velmoradb: another velmoradb is changing the library" << where.arg(LibraryLock::lockFilePath())
                  << "; try again when it has finished\n";
        }
        return false;
    }
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
        {QStringLiteral("search"), &DbTool::search}, {QStringLiteral("relink"), &DbTool::relink},
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

} // namespace dbtool

using namespace dbtool;

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

bool NeedsDocumentReader(const QStringList& args) {
    const qsizetype command = args.value(0) == QLatin1String("--appdata") ? 2 : 0;
    return args.value(command) == QLatin1String("index") || args.value(command) == QLatin1String("relink");
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
