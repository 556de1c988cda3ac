#include "workbench/core/folders.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "common/textcodec.h"
#include "store/heldfiles.h"
#include "store/movejournal.h"
#include "store/pathfold.h"
#include "store/wordmgr.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

const QString kDocumentFilter = QStringLiteral(".doc.docx");

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool sameIgnoringCase(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

template <typename Call>
auto noInterrupt(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// Gives source the name target only when no file has that name. File systems without the no-replace rename
// get the same promise from a hard link, which fails on an existing name; those without hard links from a
// placeholder created exclusively and then renamed over.
int renameNoReplace(const QByteArray& source, const QByteArray& target) {
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return -1;
    }
    if (::link(source.constData(), target.constData()) == 0) {
        if (::unlink(source.constData()) != 0) {
            const int reason = errno;
            ::unlink(target.constData());
            errno = reason;
            return -1;
        }
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) {
        return -1;
    }
    const int placeholder =
        noInterrupt([&] { return ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600); });
    if (placeholder < 0) {
        return -1;
    }
    ::close(placeholder);
    if (::rename(source.constData(), target.constData()) != 0) {
        const int reason = errno;
        ::unlink(target.constData());
        errno = reason;
        return -1;
    }
    return 0;
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = noInterrupt([&] { return ::write(fd, data, size_t(size)); });
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Reads up to size bytes, short only at the end of the file; -1 on an error.
qsizetype readFull(int fd, char* data, qsizetype size) {
    qsizetype done = 0;
    while (done < size) {
        const ssize_t got = noInterrupt([&] { return ::read(fd, data + done, size_t(size - done)); });
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

constexpr qsizetype kChunk = 1 << 20;

bool copyContent(int from, int to) {
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const qsizetype got = readFull(from, buffer.data(), kChunk);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!writeAll(to, buffer.constData(), got)) {
            return false;
        }
    }
}

bool sameContent(int a, int b) {
    QByteArray left(kChunk, Qt::Uninitialized);
    QByteArray right(kChunk, Qt::Uninitialized);
    for (;;) {
        const qsizetype gotLeft = readFull(a, left.data(), kChunk);
        const qsizetype gotRight = readFull(b, right.data(), kChunk);
        if (gotLeft < 0 || gotRight != gotLeft) {
            return false;
        }
        if (gotLeft == 0) {
            return true;
        }
        if (std::memcmp(left.constData(), right.constData(), size_t(gotLeft)) != 0) {
            return false;
        }
    }
}

// The copy is made under a hidden name beside the target and read back before it takes the target's name, so
// that neither a full disk nor a kill can leave a short file under the document's name.
MoveResult moveAcross(const QByteArray& source, const QString& target) {
    const QByteArray temporary =
        native(MoveCopyPrefix(target) +
               QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    const int from = noInterrupt([&] { return ::open(source.constData(), O_RDONLY | O_CLOEXEC); });
    if (from < 0) {
        return MoveResult::Failed;
    }
    struct stat facts {};
    if (::fstat(from, &facts) != 0) {
        ::close(from);
        return MoveResult::Failed;
    }
    const int to = noInterrupt(
        [&] { return ::open(temporary.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, facts.st_mode & 07777); });
    if (to < 0) {
        ::close(from);
        return MoveResult::Failed;
    }
    const struct timespec times[2] = {facts.st_atim, facts.st_mtim};
    bool ok = copyContent(from, to) && ::fsync(to) == 0 && ::lseek(from, 0, SEEK_SET) == 0 &&
              ::lseek(to, 0, SEEK_SET) == 0 && sameContent(from, to);
    ok = ok && ::futimens(to, times) == 0;
    ::close(from);
    if (::close(to) != 0) {
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return MoveResult::Failed;
    }
    const QByteArray targetName = native(target);
    if (renameNoReplace(temporary, targetName) != 0) {
        const bool clash = errno == EEXIST;
        ::unlink(temporary.constData());
        return clash ? MoveResult::TargetExists : MoveResult::Failed;
    }
    if (::unlink(source.constData()) != 0) {
        // A source that stays would leave the document twice and the record at the old one: undo the copy.
        ::unlink(targetName.constData());
        return MoveResult::Failed;
    }
    return MoveResult::Moved;
}

} // namespace

QString GetFolderName(const QString& path) {
    QString name = path;
    if (name.endsWith(QDir::separator())) {
        name.chop(1);
    }
    return name.mid(name.lastIndexOf(QDir::separator()) + 1);
}

QString FolderPathIn(const QStringList& lines, const QString& name) {
    if (name.isEmpty()) {
        return {};
    }
    for (const QString& line : lines) {
        if (sameIgnoringCase(GetFolderName(line), name)) {
            return line;
        }
    }
    return {};
}

QString GetFolderPath(const QString& listFile, const QString& name) {
    return FolderPathIn(ReadTextFile(listFile), name);
}

void UpdateFdList(const QString& listFile, const QString& path, bool add) {
    QStringList lines = ReadTextFile(listFile);
    if (add) {
        lines.append(path);
    } else {
        const auto found = std::find_if(lines.begin(), lines.end(),
                                        [&path](const QString& line) { return sameIgnoringCase(line, path); });
        if (found == lines.end()) {
            return;
        }
        lines.erase(found);
    }
    WriteTextFile(listFile, lines);
}

bool IsValidFolderName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        return false;
    }
    if (name.front().isSpace() || name.back().isSpace()) {
        return false;
    }
    return std::none_of(name.begin(), name.end(),
                        [](QChar c) { return c == u'/' || c == u'\\' || c.category() == QChar::Other_Control; });
}

bool IsAddableFolder(const QString& dir) {
    if (dir.isEmpty() || QDir::isRelativePath(dir)) {
        return false;
    }
    const QFileInfo info(dir);
    return info.isDir() && !QDir(dir).isRoot() && IsValidFolderName(GetFolderName(QDir::cleanPath(dir)));
}

QString FolderFileListing(const QString& folder, bool recurse) {
    if (folder.trimmed().isEmpty()) {
        return {};
    }
    QStringList files;
    ListFiles(WithTrailingBackslash(folder), kDocumentFilter, recurse, files);
    return JoinLines(files);
}

QString FolderDocuments(TWordMgr& store, const QStringList& folders, const QStringList& descendants, bool recurse) {
    // One lookup of every listing: the store lists each document once and in record order, and the article list
    // sorts what it shows anyway.
    QString listing;
    for (const QString& folder : folders) {
        listing += FolderFileListing(folder, false);
    }
    for (const QString& folder : descendants) {
        listing += FolderFileListing(folder, recurse);
    }
    return listing.isEmpty() ? QString() : store.GetListForLoadwzTV2(listing);
}

void RemoveFolderDocuments(TWordMgr& store, const QString& folder) {
    const QString listing = FolderFileListing(folder, false);
    if (!listing.isEmpty()) {
        store.BatRemoveDocs(listing);
    }
}

MoveResult MoveFileNoReplace(const QString& source, const QString& target) {
    const QByteArray from = native(source);
    const QByteArray to = native(target);
    struct stat sourceFacts {};
    if (source.isEmpty() || ::lstat(from.constData(), &sourceFacts) != 0) {
        return MoveResult::SourceMissing;
    }
    // Moved, a link would point elsewhere (or nowhere) from its new folder, and the document would stay behind.
    if (S_ISLNK(sourceFacts.st_mode)) {
        return MoveResult::SymbolicLink;
    }
    if (!S_ISREG(sourceFacts.st_mode)) {
        return MoveResult::SourceMissing;
    }
    if (source == target) {
        return MoveResult::AlreadyThere;
    }
    struct stat targetFacts {};
    if (::lstat(to.constData(), &targetFacts) == 0) {
        const bool sameFile = targetFacts.st_dev == sourceFacts.st_dev && targetFacts.st_ino == sourceFacts.st_ino;
        if (!sameFile) {
            return MoveResult::TargetExists;
        }
        // Two spellings of one file: a file system that ignores case. Renaming gives it the new spelling.
        if (FileInUse(source)) {
            return MoveResult::InUse;
        }
        return ::rename(from.constData(), to.constData()) == 0 ? MoveResult::Moved : MoveResult::Failed;
    }
    if (FileInUse(source)) {
        return MoveResult::InUse;
    }
    if (renameNoReplace(from, to) == 0) {
        return MoveResult::Moved;
    }
    switch (errno) {
    case EEXIST:
        return MoveResult::TargetExists;
    case EXDEV:
        return moveAcross(from, target);
    default:
        return MoveResult::Failed;
    }
}

bool SameFile(const QString& a, const QString& b) {
    if (a == b) {
        return true;
    }
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

QString MoveFailureReason(MoveResult result) {
    switch (result) {
    case MoveResult::SourceMissing:
        return QStringLiteral("文件不存在");
    case MoveResult::TargetExists:
        return QStringLiteral("目标文件夹里已有同名文件");
    case MoveResult::InUse:
        return QStringLiteral("文档正被其他程序打开");
    case MoveResult::SymbolicLink:
        return QStringLiteral("文档是符号链接，不移动");
    case MoveResult::Failed:
        return QStringLiteral("系统拒绝移动（没有权限、空间不足或文件夹不存在）");
    case MoveResult::Moved:
    case MoveResult::AlreadyThere:
        break;
    }
    return {};
}

namespace {

const QString kOpenInTab = QStringLiteral("文档在标签页中打开");
const QString kNoRecord = QStringLiteral("不是资料库里的记录");
const QString kTargetHeld = QStringLiteral("资料库中另一个文档的记录已经指向目标文件夹里的同名文件");
const QString kSameTarget = QStringLiteral("同时移动的另一个文档也叫这个名字");
constexpr int kReportLines = 20;

// Why a document stays where it is, decided before anything is written, so that it does not enter the journal:
// nothing when it may move, an empty reason when it stays without counting as a failure.
std::optional<QString> refusal(const QString& name, const QString& target,
                               const std::function<bool(const QString&)>& isOpen, bool countMissing) {
    struct stat source {};
    if (name.isEmpty() || ::lstat(native(name).constData(), &source) != 0 ||
        !(S_ISREG(source.st_mode) || S_ISLNK(source.st_mode))) {
        return countMissing ? MoveFailureReason(MoveResult::SourceMissing) : QString();
    }
    if (S_ISLNK(source.st_mode)) {
        return MoveFailureReason(MoveResult::SymbolicLink);
    }
    if (name == target) {
        return QString();
    }
    // Our own tabs first: the office's lock file would name them as held by another program.
    if (isOpen && isOpen(name)) {
        return kOpenInTab;
    }
    // Whether another program holds it is asked by the move itself, just before the rename.
    struct stat clash {};
    if (::lstat(native(target).constData(), &clash) == 0 &&
        (clash.st_dev != source.st_dev || clash.st_ino != source.st_ino)) {
        return MoveFailureReason(MoveResult::TargetExists);
    }
    return std::nullopt;
}

} // namespace

MoveOutcome MoveDocuments(TWordMgr& store, const QList<qint64>& positions, const QString& folder,
                          const std::function<bool(const QString&)>& isOpen, bool countMissing) {
    MoveOutcome outcome;
    auto fail = [&outcome](const QString& path, const QString& reason) {
        outcome.failures.append({path, reason});
        ++outcome.failed;
    };
    const QString prefix = WithTrailingBackslash(folder);
    QList<PlannedMove> planned;
    // Every target is decided before the first rename: two documents of one name must not both enter the journal
    // for one target, or the next opening could give both records the one file that arrived.
    HeldFiles held(store);
    QSet<QString> targets;
    for (const qint64 position : positions) {
        if (!store.IsRecordPosition(position)) {
            fail(QString::number(position), kNoRecord);
            continue;
        }
        QString name;
        try {
            name = store.GetDocNameByPos(position);
        } catch (const VelmoraError& error) {
            fail(QString::number(position), error.message());
            continue;
        }
        const QString target = prefix + QFileInfo(name).fileName();
        if (const std::optional<QString> reason = refusal(name, target, isOpen, countMissing)) {
            if (!reason->isEmpty()) {
                fail(name, *reason);
            }
            continue;
        }
        if (held.holds(target, {position})) {
            fail(name, kTargetHeld);
            continue;
        }
        if (targets.contains(FoldAsciiCase(target))) {
            fail(name, kSameTarget);
            continue;
        }
        targets.insert(FoldAsciiCase(target));
        planned.append({position, name, target});
    }
    if (planned.isEmpty()) {
        return outcome;
    }
    // Written before the first rename: a kill from here on is finished by the next opening of the library.
    WriteMoveJournal(store.FileName(), planned);
    for (const PlannedMove& move : std::as_const(planned)) {
        const MoveResult result = MoveFileNoReplace(move.from, move.to);
        if (result == MoveResult::AlreadyThere) {
            continue;
        }
        if (result != MoveResult::Moved) {
            if (result != MoveResult::SourceMissing || countMissing) {
                fail(move.from, MoveFailureReason(result));
            }
            continue;
        }
        outcome.movedFiles.append(move.to);
        ++outcome.moved;
        try {
            store.SaveMovedDocName(move.position, move.to);
            TakeTextCacheAlong(move.from, move.to);
        } catch (const VelmoraError& error) {
            // The file is at its new place; the journal brings the record there at the next opening.
            outcome.saveError = error.message();
        }
    }
    try {
        store.SaveRecDataFiles(false);
        RemoveMoveJournal(store.FileName());
    } catch (const VelmoraError& error) {
        outcome.saveError = error.message();
    }
    return outcome;
}

QString MoveReportText(const MoveOutcome& outcome) {
    QString text;
    if (outcome.failed > 0) {
        text = QStringLiteral("文档移动有 %1 失败").arg(outcome.failed);
        for (qsizetype i = 0; i < outcome.failures.size() && i < kReportLines; ++i) {
            text += QStringLiteral("\n%1\n    %2").arg(outcome.failures.at(i).path, outcome.failures.at(i).reason);
        }
        if (outcome.failures.size() > kReportLines) {
            text += QStringLiteral("\n……");
        }
    }
    if (!outcome.saveError.isEmpty()) {
        if (!text.isEmpty()) {
            text += QStringLiteral("\n\n");
        }
        text += QStringLiteral("资料库保存失败：%1\n以下 %2 个文档已经移动，资料库下次打开时会更新它们的记录：")
                    .arg(outcome.saveError)
                    .arg(outcome.movedFiles.size());
        for (qsizetype i = 0; i < outcome.movedFiles.size() && i < kReportLines; ++i) {
            text += u'\n' + outcome.movedFiles.at(i);
        }
        if (outcome.movedFiles.size() > kReportLines) {
            text += QStringLiteral("\n……");
        }
    }
    return text;
}

} // namespace velmora
