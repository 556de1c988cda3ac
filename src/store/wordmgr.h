#pragma once

#include "lookupindex.h"
#include "mappedfile.h"
#include "wordrec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace velmora {

// Item numbers that select a record field.
enum WordItem : int {
    wdiFullName = 0,
    wdiTags = 1,
    wdiPassword = 2,
    wdiCreateTime = 3,
    wdiAccessTime = 4,
    wdiReadTimes = 5,
    wdiEditTimes = 6,
};

// The words of a tag query, folded, with a mask of their lengths to reject most tags without comparing.
struct TagWords {
    explicit TagWords(const QString& query);
    static quint64 lengthBit(qsizetype length);

    QStringList folded;
    quint64 lengths = 0;
};

// ReadOnly maps the files instead of reading them, makes no dated copies on opening, and refuses to save:
// for commands that only look.
enum class OpenMode { ReadWrite, ReadOnly };

// Which date a date-window query tests.
enum class DateSource : int { FileCreated = 1, FileWritten = 2, Accessed = 3 };

// The library: the record file (35-byte records) and the string file they point into, both held whole in
// memory, changed there, and written back by SaveRecDataFiles. Records are addressed by their byte offset in
// the record file. Most record operations work on one current record; with `rd` they read it first.
//
// Positions are checked: one that is not a whole record of the file reads as an empty record and cannot be
// written to, and a string item that does not lie inside the string file raises an error naming its offset.
class TWordMgr final {
public:
    explicit TWordMgr(const QString& dbFile, OpenMode mode = OpenMode::ReadWrite);
    // Saves what changed; an error on that last save cannot be raised from here, so callers that care call
    // SaveRecDataFiles first.
    ~TWordMgr();
    Q_DISABLE_COPY_MOVE(TWordMgr)

    static constexpr int RecSize() { return TWordRec::Size; }
    int GetRecNumber() const;
    bool IsRecordPosition(qint64 pos) const;

    // -- record and string primitives --
    void ReadDataHead(qint64 iPos);
    void SaveDataHead(qint64 iPos);
    QString ReadAStrItem(qint64 ipos, int wdItem, bool rd);
    void SaveAStrItem(qint64 ipos, int wdItem, const QString& str, bool rd);
    quint16 ReadADigitItem(qint64 ipos, int wdItem, bool rd);
    void IncADigitItem(qint64 ipos, int wdItem, bool rd);
    void SetDateTime(qint64 ipos, int wdItem, double dt, bool rd);
    void SaveRecDataFiles(bool bk);
    void CleanStreams();

    // -- queries: position lists of live records, in record order --
    QString GetListForLoadwzTV(const QString& tags, bool f);
    QString GetListForLoadwzTV2(const QString& txt);
    void QkSearchByTag(const QString& ndtxt, QString& lst);
    void QkSearchByScore(const QString& ndtxt, QString& lst);
    void QkSearchByDateTime(const QString& ndtxt, DateSource dt, QString& lst);
    void QkSearchByPSW(QString& lst);

    // Where the scanning queries put their lines instead of into the position list: a command-line listing
    // prints each line as it is found, so that its memory stays that of the files however long the output
    // (paths are still listed once each). An empty sink restores the list.
    using ListSink = std::function<void(qint64 pos, const QString& path)>;
    void SetListSink(ListSink sink) { m_listSink = std::move(sink); }

    // -- lookups --
    bool DocInBase(const QString& docName);
    void GetDocAllByPos(qint64 ipos, QString& fn, QString& psw, QString& tags, quint8& score);
    QString GetDocNameByPos(qint64 ipos);
    quint8 GetDocScore(qint64 RecPos, bool rd);
    qint64 GetRecPosByDocCreateTime(const QString& docName, double crdt, QString& psw, QString& tags, quint8& sc);
    qint64 GetRecPosByDocCreateTime(const QString& docName, double crdt);
    bool HasSameCrDateTime(double dt) const;

    // -- record changes --
    qint64 ImportAWord(const QString& docName, const QString& tags, const QString& psw, quint8 score);
    void SaveDocName(qint64 ipos, const QString& docName, bool rd);
    // A file moved on disk: its new path is stored as it is spelled, also when it differs from the old one only in
    // letter case, since on a case-sensitive file system the old spelling no longer reaches the file.
    void SaveMovedDocName(qint64 ipos, const QString& docName);
    void SaveTags(qint64 ipos, const QString& tags, bool rd);
    void SetDocScore(qint64 ipos, quint8 sc, bool rd);
    void SetRecDeleted(qint64 ipos, bool rd);
    void SetRecArchive(qint64 ipos, bool achv, bool rd);
    void BatRemoveDocs(const QString& txt);
    void RestoreAItem(qint64 apos);
    void RestoreADeleted(const QString& docName, double crdt);
    void RestoreAllDeleted();
    void DelAItemPermanently(qint64 apos);
    void DelAllItemsPermanently();

    // -- properties --
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& Value) { FFileName = Value; }
    QString RecordFileName() const { return FWordRecFile; }
    const QByteArray& RecStream() const { return FStream; }
    void SetRecStream(const QByteArray& stream);
    const QByteArray& DataStream() const { return FDataStream; }
    const TWordRec& WordRec() const { return FWordRec; }
    void SetWordRec(const TWordRec& rec) { FWordRec = rec; }
    bool IndexChanged() const { return FIndexChanged; }
    void SetIndexChanged(bool changed) { FIndexChanged = changed; }
    bool DataChanged() const { return FDataChanged; }

    // The record at pos without touching the current record; an empty record for a position that is not one.
    TWordRec RecordAt(qint64 pos) const;
    // -1 reads as the empty string; any other offset outside the string file raises an error naming it.
    QString StringAt(qint32 offset) const;

    // Bytes after the last whole record at opening (a record file cut short); 0 when the file is whole.
    int TornRecordBytes() const { return m_tornBytes; }
    // The first record with an item outside the string file, or -1: the library must not be rewritten then.
    qint64 FirstRecordOutsideStrings() const;

private:
    // A string item's UTF-16LE units where they lie in the string image.
    struct RawText {
        const char* data = nullptr;
        qsizetype units = 0;
    };

    static QString recordFileFor(const QString& dbFile);
    static QString stemOf(const QString& dbFile);
    QString switchMarkerFile() const;
    QString switchLockFolder() const;
    void removeStaleTemporaries() const;
    void loadFiles();
    QByteArray loadFile(const QString& path, std::unique_ptr<MappedFile>& mapped);
    RawText rawItem(qint32 offset) const;
    bool tagsMatchWords(const TWordRec& rec, const TagWords& words) const;
    bool tagInOwnPath(const TWordRec& rec);
    void backUpImages();
    void requireRecordPosition(qint64 pos) const;
    void writeRecord(qint64 pos, const TWordRec& rec);
    void replaceRecordImage(QByteArray image);
    void noteRecordInIndexes(qint64 pos, const TWordRec& rec);
    void buildPathIndex();
    void buildTagIndex();
    // Live records whose path equals path ignoring case, ascending (deleted ones too with includeDeleted).
    std::vector<qint64> recordsWithPath(const QString& path, bool includeDeleted);
    // The current record becomes the last record of the file, as after a scan of every record.
    void endScan();
    template <typename Select>
    void scanLive(QString& lst, Select select);
    template <typename Select>
    void scanLiveToSink(Select select);
    // Hands every live record that select accepts, with its position, to take, in the order of the file.
    template <typename Select, typename Take>
    void forEachSelectedLive(Select select, Take take);

    QByteArray FStream;
    QByteArray FDataStream;
    QString FWordRecFile;
    QString FFileName;
    TWordRec FWordRec;
    bool FIndexChanged = false;
    bool FDataChanged = false;

    OpenMode m_mode;
    int m_tornBytes = 0;
    bool m_saveFailed = false;
    std::unique_ptr<MappedFile> m_mappedRecords;
    std::unique_ptr<MappedFile> m_mappedStrings;
    ListSink m_listSink;
    LookupIndex m_pathIndex;
    LookupIndex m_tagIndex;
};

// Splits a stored tags text at each single space; two spaces in a row give an empty piece.
QStringList SplitStoredTags(const QString& tags);

} // namespace velmora
