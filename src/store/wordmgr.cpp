#include "wordmgr.h"

#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/readfile.h"
#include "common/savefile.h"
#include "common/streamstring.h"
#include "librarylock.h"
#include "movejournal.h"
#include "pathfold.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace velmora {

namespace {

// More deleted records than this at opening make a dated copy of the library, since the user is evidently
// removing documents.
constexpr int kDeletedBeforeBackup = 50;

QByteArray readWholeFile(const QString& path) {
    if (!QFile::exists(path)) {
        return {};
    }
    // The string file's offsets are signed 32-bit: no library file can be larger.
    return ReadWholeFile(path, qint64(0x7FFFFFFF));
}

} // namespace

QStringList SplitStoredTags(const QString& tags) {
    return tags.split(u' ');
}

TWordMgr::TWordMgr(const QString& dbFile, OpenMode mode)
    : FWordRecFile(recordFileFor(dbFile)), FFileName(dbFile), m_mode(mode) {
    if (m_mode == OpenMode::ReadOnly) {
        const SwitchLock lock(switchLockFolder(), SwitchLock::Mode::Shared);
        loadFiles();
    } else {
        const SwitchLock lock(switchLockFolder(), SwitchLock::Mode::Exclusive);
        // A save killed half-way is completed (or undone) before anything reads the pair.
        FinishFileSwitch(switchMarkerFile(), {FFileName, FWordRecFile});
        removeStaleTemporaries();
        loadFiles();
    }
    m_tornBytes = int(FStream.size() % TWordRec::Size);
    if (m_mode == OpenMode::ReadOnly) {
        return;
    }
    // Outside the switch lock, which the save it may make takes again.
    try {
        FinishMoves(*this);
    } catch (const VelmoraError& error) {
        // The journal stays for the next opening; the library must open all the same, and save what changes.
        qWarning("%s", qPrintable(error.message()));
        m_saveFailed = false;
    }
    int deleted = 0;
    const int count = GetRecNumber();
    for (int k = 0; k < count; ++k) {
        ReadDataHead(qint64(k) * TWordRec::Size);
        if (FWordRec.wdDeleted) {
            ++deleted;
        }
    }
    if (deleted > kDeletedBeforeBackup) {
        // A failed safety copy must not keep the user out of the library.
        try {
            SaveRecDataFiles(true);
        } catch (const VelmoraError& error) {
            qWarning("%s", qPrintable(error.message()));
            // Reported here; it must not keep the changes made from now on from being saved at the end.
            m_saveFailed = false;
        }
    }
}

TWordMgr::~TWordMgr() {
    // A save whose failure was already raised to the caller is not tried and reported a second time.
    if (m_mode == OpenMode::ReadOnly || m_saveFailed) {
        return;
    }
    try {
        SaveRecDataFiles(false);
    } catch (const VelmoraError& error) {
        qWarning("%s", qPrintable(error.message()));
    }
}

QString TWordMgr::recordFileFor(const QString& dbFile) {
    return stemOf(dbFile) + QStringLiteral(".idx");
}

QString TWordMgr::stemOf(const QString& dbFile) {
    const qsizetype slash = dbFile.lastIndexOf(QDir::separator());
    const qsizetype dot = dbFile.lastIndexOf(u'.');
    return dot > slash ? dbFile.left(dot) : dbFile;
}

QString TWordMgr::switchMarkerFile() const {
    return stemOf(FFileName) + QStringLiteral(".commit");
}

QString TWordMgr::switchLockFolder() const {
    return QFileInfo(FFileName).absolutePath();
}

void TWordMgr::removeStaleTemporaries() const {
    // Saves write their temporary files under the exclusive lock held here, so any left is a killed save's.
    QStringList patterns;
    for (const QString& path : {FFileName, FWordRecFile, switchMarkerFile(), MoveJournalFile(FFileName)}) {
        patterns.append(QFileInfo(path).fileName() + QStringLiteral(".??????.tmp"));
    }
    // The tag tree is saved under the library lock too, by the window and by velmoradb's new tags.
    patterns.append(QStringLiteral("TagTVItems.dat.??????.tmp"));
    const QDir folder = QFileInfo(FFileName).absoluteDir();
    for (const QString& name : folder.entryList(patterns, QDir::Files | QDir::Hidden | QDir::System)) {
        QFile::remove(folder.filePath(name));
    }
}

void TWordMgr::loadFiles() {
    // Only a reader that may not finish a pending switch finds one here; it reads the pair the switch made.
    FStream = loadFile(CurrentFileOf(switchMarkerFile(), FWordRecFile), m_mappedRecords);
    FDataStream = loadFile(CurrentFileOf(switchMarkerFile(), FFileName), m_mappedStrings);
    FIndexChanged = false;
    FDataChanged = false;
}

QByteArray TWordMgr::loadFile(const QString& path, std::unique_ptr<MappedFile>& mapped) {
    if (m_mode == OpenMode::ReadOnly) {
        // The files are only ever replaced by renaming a new file over them, never rewritten in place, so the
        // mapped pages stay what they were for as long as we look at them.
        auto file = std::make_unique<MappedFile>();
        if (file->map(path)) {
            mapped = std::move(file);
            return mapped->bytes();
        }
    }
    return readWholeFile(path);
}

TWordMgr::RawText TWordMgr::rawItem(qint32 offset) const {
    if (offset == -1) {
        return {};
    }
    qint32 count = 0;
    try {
        count = StreamStringByteCount(FDataStream, offset);
    } catch (const VelmoraError& error) {
        throw VelmoraError(error.message(), FFileName, offset);
    }
    return {FDataStream.constData() + offset + 4, count / 2};
}

int TWordMgr::GetRecNumber() const {
    return int(FStream.size() / TWordRec::Size);
}

bool TWordMgr::IsRecordPosition(qint64 pos) const {
    return pos >= 0 && pos % TWordRec::Size == 0 && pos + TWordRec::Size <= FStream.size();
}

void TWordMgr::requireRecordPosition(qint64 pos) const {
    if (!IsRecordPosition(pos)) {
        throw VelmoraError(
            QStringLiteral("记录位置 %1 不是记录文件中的记录 (共 %2 条记录)").arg(pos).arg(GetRecNumber()),
            FWordRecFile, pos);
    }
}

TWordRec TWordMgr::RecordAt(qint64 pos) const {
    if (!IsRecordPosition(pos)) {
        return TWordRec{};
    }
    return TWordRec::fromBytes(FStream.constData() + pos);
}

QString TWordMgr::StringAt(qint32 offset) const {
    // Only -1 means "no item"; any other offset must lie inside the string file, even when that file is empty.
    const RawText raw = rawItem(offset);
    if (raw.units == 0) {
        return {}; // no item has no bytes to copy, and copying from a null pointer is undefined even for none
    }
    QString text(raw.units, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(raw.data, raw.units, text.data());
    return text;
}

qint64 TWordMgr::FirstRecordOutsideStrings() const {
    const int count = GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const TWordRec rec = RecordAt(pos);
        for (const qint32 offset : {rec.wdFullNamePos, rec.wdTagsPos, rec.wdPasswordPos}) {
            if (offset == -1) {
                continue;
            }
            try {
                StreamStringByteCount(FDataStream, offset);
            } catch (const VelmoraError&) {
                return pos;
            }
        }
    }
    return -1;
}

void TWordMgr::ReadDataHead(qint64 iPos) {
    if (iPos == -1) {
        return;
    }
    FWordRec = RecordAt(iPos);
}

void TWordMgr::SaveDataHead(qint64 iPos) {
    if (iPos == -1) {
        // A torn record at the end of the file is no record; the new one must start on a record boundary.
        FStream.truncate(qsizetype(GetRecNumber()) * TWordRec::Size);
        iPos = FStream.size();
        FStream.resize(iPos + TWordRec::Size);
    } else {
        requireRecordPosition(iPos);
    }
    writeRecord(iPos, FWordRec);
}

void TWordMgr::writeRecord(qint64 pos, const TWordRec& rec) {
    rec.toBytes(FStream.data() + pos);
    FIndexChanged = true;
    noteRecordInIndexes(pos, rec);
}

QString TWordMgr::ReadAStrItem(qint64 ipos, int wdItem, bool rd) {
    if (ipos == -1 || FStream.isEmpty()) {
        return {};
    }
    if (rd) {
        ReadDataHead(ipos);
    }
    switch (wdItem) {
    case wdiFullName:
        return StringAt(FWordRec.wdFullNamePos);
    case wdiTags:
        return StringAt(FWordRec.wdTagsPos);
    case wdiPassword:
        return StringAt(FWordRec.wdPasswordPos);
    default:
        return {};
    }
}

void TWordMgr::SaveAStrItem(qint64 ipos, int wdItem, const QString& str, bool rd) {
    if (ipos != -1) {
        requireRecordPosition(ipos);
    }
    if (rd) {
        ReadDataHead(ipos);
    }
    qint32* field = nullptr;
    switch (wdItem) {
    case wdiFullName:
        field = &FWordRec.wdFullNamePos;
        break;
    case wdiTags:
        field = &FWordRec.wdTagsPos;
        break;
    case wdiPassword:
        field = &FWordRec.wdPasswordPos;
        break;
    default:
        break;
    }
    if (field != nullptr) {
        if (wdItem != wdiFullName && str.isEmpty()) {
            *field = -1;
        } else if (!SameIgnoringAsciiCase(StringAt(*field), str)) {
            *field = qint32(WriteStreamString(FDataStream, str));
        }
    }
    SaveDataHead(ipos);
    FDataChanged = true;
}

quint16 TWordMgr::ReadADigitItem(qint64 ipos, int wdItem, bool rd) {
    if (FStream.isEmpty()) {
        return 0;
    }
    if (rd) {
        ReadDataHead(ipos);
    }
    switch (wdItem) {
    case wdiReadTimes:
        return FWordRec.wdReadTimes;
    case wdiEditTimes:
        return FWordRec.wdEditTimes;
    default:
        return 0;
    }
}

void TWordMgr::IncADigitItem(qint64 ipos, int wdItem, bool rd) {
    if (ipos != -1) {
        requireRecordPosition(ipos);
    }
    if (rd) {
        ReadDataHead(ipos);
    }
    // The counters are 16 bits on disk: they stop at the top instead of wrapping to 0.
    if (wdItem == wdiReadTimes && FWordRec.wdReadTimes < 0xFFFF) {
        ++FWordRec.wdReadTimes;
    } else if (wdItem == wdiEditTimes && FWordRec.wdEditTimes < 0xFFFF) {
        ++FWordRec.wdEditTimes;
    }
    SaveDataHead(ipos);
}

void TWordMgr::SetDateTime(qint64 ipos, int wdItem, double dt, bool rd) {
    if (ipos != -1) {
        requireRecordPosition(ipos);
    }
    if (rd) {
        ReadDataHead(ipos);
    }
    if (wdItem == wdiCreateTime) {
        FWordRec.wdCreateTime = dt;
    } else if (wdItem == wdiAccessTime) {
        FWordRec.wdAccessTime = dt;
    }
    SaveDataHead(ipos);
}

void TWordMgr::SaveRecDataFiles(bool bk) {
    if (m_mode == OpenMode::ReadOnly) {
        if (FIndexChanged || FDataChanged || bk) {
            throw VelmoraError(QStringLiteral("资料库以只读方式打开，不能保存: %1").arg(FFileName), FFileName);
        }
        return;
    }
    // The flags are cleared only once the files are switched, so a failed save leaves the files as they were
    // and is tried again by the next one.
    try {
        if (FIndexChanged || FDataChanged) {
            const SwitchLock lock(switchLockFolder(), SwitchLock::Mode::Exclusive);
            if (FIndexChanged && FDataChanged) {
                // The string file goes first: a record never points into strings that are not on disk yet.
                WriteFilesTogether(switchMarkerFile(), {{FFileName, FDataStream}, {FWordRecFile, FStream}});
            } else if (FIndexChanged) {
                WriteFileAtomically(FWordRecFile, FStream);
            } else {
                WriteFileAtomically(FFileName, FDataStream);
            }
            FIndexChanged = false;
            FDataChanged = false;
        }
        if (bk && !FStream.isEmpty()) {
            backUpImages();
        }
    } catch (const VelmoraError&) {
        m_saveFailed = true;
        throw;
    }
    m_saveFailed = false;
}

void TWordMgr::backUpImages() {
    const QString folder = AppDataFolder() + QStringLiteral("databackup");
    if (!MakePrivateFolder(folder)) {
        throw VelmoraError(QStringLiteral("无法创建文件夹 %1").arg(folder), folder);
    }
    // The ISO date is a valid file name under every locale, and sorts by date.
    const QString stem = WithTrailingBackslash(folder) + CurrentDateTime().date().toString(Qt::ISODate);
    WriteFilesAtomically({{stem + QStringLiteral(".idx"), FStream}, {stem + QStringLiteral(".data"), FDataStream}});
}

void TWordMgr::CleanStreams() {
    if (FStream.isEmpty()) {
        return;
    }
    // Rewriting from a record whose item lies outside the string file (a missing or cut string file) would
    // drop that item for good while looking like success.
    if (const qint64 bad = FirstRecordOutsideStrings(); bad >= 0) {
        throw VelmoraError(
            QStringLiteral("记录 %1 指向字符串文件之外，资料库已损坏，不能整理: %2").arg(bad).arg(FFileName), FFileName,
            bad);
    }
    QByteArray records;
    QByteArray strings;
    const int count = GetRecNumber();
    records.reserve(FStream.size());
    strings.reserve(FDataStream.size());
    for (int k = 0; k < count; ++k) {
        TWordRec rec = RecordAt(qint64(k) * TWordRec::Size);
        if (rec.wdDeleted) {
            continue;
        }
        rec.wdFullNamePos = qint32(WriteStreamString(strings, StringAt(rec.wdFullNamePos)));
        if (rec.wdPasswordPos >= 0) {
            rec.wdPasswordPos = qint32(WriteStreamString(strings, StringAt(rec.wdPasswordPos)));
        }
        if (rec.wdTagsPos >= 0) {
            rec.wdTagsPos = qint32(WriteStreamString(strings, StringAt(rec.wdTagsPos)));
        }
        const qsizetype at = records.size();
        records.resize(at + TWordRec::Size);
        rec.toBytes(records.data() + at);
    }
    // The two files point into each other: the images change only once both are switched on disk.
    {
        const SwitchLock lock(switchLockFolder(), SwitchLock::Mode::Exclusive);
        WriteFilesTogether(switchMarkerFile(), {{FFileName, strings}, {FWordRecFile, records}});
    }
    FDataStream = std::move(strings);
    replaceRecordImage(std::move(records));
    FIndexChanged = false;
    FDataChanged = false;
}

void TWordMgr::SetRecStream(const QByteArray& stream) {
    replaceRecordImage(stream);
    FIndexChanged = true;
}

void TWordMgr::replaceRecordImage(QByteArray image) {
    FStream = std::move(image);
    m_pathIndex.clear();
    m_tagIndex.clear();
}

void TWordMgr::noteRecordInIndexes(qint64 pos, const TWordRec& rec) {
    try {
        if (m_pathIndex.isBuilt()) {
            const RawText path = rawItem(rec.wdFullNamePos);
            m_pathIndex.add(FoldedHash(path.data, path.units), pos);
        }
        if (m_tagIndex.isBuilt()) {
            const RawText tags = rawItem(rec.wdTagsPos);
            ForEachTagPiece(tags.data, tags.units,
                            [&](const char* piece, qsizetype units) { m_tagIndex.add(FoldedHash(piece, units), pos); });
        }
    } catch (const VelmoraError&) {
        // A damaged string item must not stop the write; the queries meet it again and report it.
        m_pathIndex.clear();
        m_tagIndex.clear();
    }
}

void TWordMgr::buildPathIndex() {
    const int count = GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const RawText path = rawItem(RecordAt(pos).wdFullNamePos);
        m_pathIndex.add(FoldedHash(path.data, path.units), pos);
    }
    m_pathIndex.markBuilt();
}

void TWordMgr::buildTagIndex() {
    const int count = GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const TWordRec rec = RecordAt(pos);
        if (rec.wdDeleted || rec.wdTagsPos < 0) {
            continue;
        }
        const RawText tags = rawItem(rec.wdTagsPos);
        ForEachTagPiece(tags.data, tags.units,
                        [&](const char* piece, qsizetype units) { m_tagIndex.add(FoldedHash(piece, units), pos); });
    }
    m_tagIndex.markBuilt();
}

} // namespace velmora
