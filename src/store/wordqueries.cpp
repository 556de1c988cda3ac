// The queries, lookups and record changes built on the record and string primitives.

#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "common/streamstring.h"
#include "common/textcodec.h"
#include "lookupindex.h"
#include "pathfold.h"
#include "positionlist.h"
#include "wordmgr.h"

#include <QDate>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

const QString kUntagged = QStringLiteral("无标签文档");

const QStringList& scoreWords() {
    static const QStringList words{QStringLiteral("无星文档"), QStringLiteral("一星"), QStringLiteral("二星"),
                                   QStringLiteral("三星"),     QStringLiteral("四星"), QStringLiteral("五星")};
    return words;
}

// The words of a tag query: a tag and its descendants joined by spaces.
QStringList queryWords(const QString& query) {
    QStringList words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= query.size(); ++i) {
        const bool separator = i == query.size() || query.at(i).unicode() <= 0x20;
        if (separator && start >= 0) {
            words.append(query.mid(start, i - start));
            start = -1;
        } else if (!separator && start < 0) {
            start = i;
        }
    }
    return words;
}

} // namespace

void TWordMgr::endScan() {
    if (GetRecNumber() > 0) {
        ReadDataHead(qint64(GetRecNumber() - 1) * TWordRec::Size);
    }
}

namespace {

bool rawSameIgnoringAsciiCase(const char* a, const char* b, qsizetype units) {
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t x = char16_t(quint8(a[2 * i]) | quint8(a[2 * i + 1]) << 8);
        const char16_t y = char16_t(quint8(b[2 * i]) | quint8(b[2 * i + 1]) << 8);
        if (x != y && !(x < 0x80 && y < 0x80 && (x | 0x20) == (y | 0x20) && (x | 0x20) >= u'a' && (x | 0x20) <= u'z')) {
            return false;
        }
    }
    return true;
}

} // namespace

template <typename Select, typename Take>
void TWordMgr::forEachSelectedLive(Select select, Take take) {
    const int count = GetRecNumber();
    const char* records = FStream.constData();
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        // The deleted flag is the record's last byte: most scans need nothing more of a deleted record.
        if (records[pos + TWordRec::Size - 1] != 0) {
            continue;
        }
        const TWordRec rec = TWordRec::fromBytes(records + pos);
        if (select(rec)) {
            take(pos, rec);
        }
    }
}

template <typename Select>
void TWordMgr::scanLiveToSink(Select select) {
    // Paths already listed, by hash, as their items in the string file: comparing them there costs no copy.
    std::unordered_multimap<quint64, RawText> listed;
    forEachSelectedLive(select, [&](qint64 pos, const TWordRec& rec) {
        const RawText path = rawItem(rec.wdFullNamePos);
        const quint64 hash = FoldedHash(path.data, path.units);
        const auto [first, last] = listed.equal_range(hash);
        const bool seen = std::any_of(first, last, [&](const auto& entry) {
            return entry.second.units == path.units &&
                   rawSameIgnoringAsciiCase(entry.second.data, path.data, path.units);
        });
        if (!seen) {
            listed.emplace(hash, path);
            m_listSink(pos, StringAt(rec.wdFullNamePos));
        }
    });
    endScan();
}

template <typename Select>
void TWordMgr::scanLive(QString& lst, Select select) {
    if (m_listSink) {
        scanLiveToSink(select);
        return;
    }
    PositionList list(lst);
    forEachSelectedLive(select, [&](qint64 pos, const TWordRec& rec) { list.add(pos, StringAt(rec.wdFullNamePos)); });
    lst = list.text();
    endScan();
}

quint64 TagWords::lengthBit(qsizetype length) {
    return quint64(1) << std::min<qsizetype>(length, 63);
}

TagWords::TagWords(const QString& query) {
    for (const QString& word : queryWords(query)) {
        folded.append(FoldAsciiCase(word));
        lengths |= lengthBit(word.size());
    }
}

bool TWordMgr::tagsMatchWords(const TWordRec& rec, const TagWords& words) const {
    const RawText tags = rawItem(rec.wdTagsPos);
    bool found = false;
    ForEachTagPiece(tags.data, tags.units, [&](const char* piece, qsizetype units) {
        // Most pieces differ from every word in length already; the mask answers that without a comparison.
        if (found || (words.lengths & TagWords::lengthBit(units)) == 0) {
            return;
        }
        for (const QString& word : words.folded) {
            if (RawTagEquals(piece, units, word)) {
                found = true;
                return;
            }
        }
    });
    return found;
}

bool TWordMgr::tagInOwnPath(const TWordRec& rec) {
    const QString path = StringAt(rec.wdFullNamePos);
    for (const QString& tag : SplitStoredTags(StringAt(rec.wdTagsPos))) {
        if (!tag.isEmpty() && path.contains(tag, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString TWordMgr::GetListForLoadwzTV(const QString& tags, bool f) {
    const TagWords words(tags);
    if (f || !(m_tagIndex.isBuilt() || m_tagIndex.wantsBuild())) {
        QString lst;
        scanLive(lst, [&](const TWordRec& rec) {
            return rec.wdTagsPos >= 0 && (tagsMatchWords(rec, words) || (f && tagInOwnPath(rec)));
        });
        return lst;
    }
    if (!m_tagIndex.isBuilt()) {
        buildTagIndex();
    }
    std::vector<qint64> candidates;
    for (const QString& word : words.folded) {
        const std::vector<qint64> found = m_tagIndex.candidates(FoldedHash(word));
        candidates.insert(candidates.end(), found.begin(), found.end());
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    PositionList list;
    for (const qint64 pos : candidates) {
        const TWordRec rec = RecordAt(pos);
        if (IsRecordPosition(pos) && !rec.wdDeleted && rec.wdTagsPos >= 0 && tagsMatchWords(rec, words)) {
            list.add(pos, StringAt(rec.wdFullNamePos));
        }
    }
    endScan();
    return list.text();
}

QString TWordMgr::GetListForLoadwzTV2(const QString& txt) {
    std::vector<qint64> candidates;
    for (const QString& line : SplitLines(txt)) {
        if (!line.isEmpty()) {
            const std::vector<qint64> found = recordsWithPath(line, false);
            candidates.insert(candidates.end(), found.begin(), found.end());
        }
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    PositionList list;
    for (const qint64 pos : candidates) {
        list.add(pos, StringAt(RecordAt(pos).wdFullNamePos));
    }
    endScan();
    return list.text();
}

void TWordMgr::QkSearchByTag(const QString& ndtxt, QString& lst) {
    if (SameIgnoringAsciiCase(ndtxt, kUntagged)) {
        scanLive(lst, [](const TWordRec& rec) { return rec.wdTagsPos < 0; });
        return;
    }
    scanLive(lst, [&](const TWordRec& rec) {
        return rec.wdTagsPos >= 0 && !ndtxt.isEmpty() && StringAt(rec.wdTagsPos).contains(ndtxt, Qt::CaseInsensitive);
    });
}

void TWordMgr::QkSearchByScore(const QString& ndtxt, QString& lst) {
    scanLive(lst, [&](const TWordRec& rec) {
        return rec.wdScore < scoreWords().size() && SameIgnoringAsciiCase(scoreWords().at(rec.wdScore), ndtxt);
    });
}

void TWordMgr::QkSearchByDateTime(const QString& ndtxt, DateSource dt, QString& lst) {
    static const QStringList windows{QStringLiteral("今天"), QStringLiteral("三日内"), QStringLiteral("一周内"),
                                     QStringLiteral("一月内")};
    static const int maxDays[] = {0, 3, 7, 31};
    const auto window = std::find_if(windows.cbegin(), windows.cend(),
                                     [&](const QString& word) { return SameIgnoringAsciiCase(word, ndtxt); });
    if (window == windows.cend()) {
        endScan();
        return;
    }
    const qsizetype which = window - windows.cbegin();
    const QDateTime now = CurrentDateTime();
    const double nowDays = DateTimeToDays(now);
    scanLive(lst, [&](const TWordRec& rec) {
        std::optional<double> date;
        switch (dt) {
        case DateSource::FileCreated:
            date = GetFileDate(StringAt(rec.wdFullNamePos), FileDateKind::Created);
            break;
        case DateSource::FileWritten:
            date = GetFileDate(StringAt(rec.wdFullNamePos), FileDateKind::Written);
            break;
        case DateSource::Accessed:
            // Never opened is never recent.
            if (rec.wdAccessTime != 0.0) {
                date = rec.wdAccessTime;
            }
            break;
        }
        if (!date || !std::isfinite(*date)) {
            return false;
        }
        if (which == 0) {
            return DaysToDateTime(*date).date() == now.date();
        }
        return std::trunc(std::fabs(nowDays - *date)) <= maxDays[which];
    });
}

void TWordMgr::QkSearchByPSW(QString& lst) {
    scanLive(lst, [](const TWordRec& rec) { return rec.wdPasswordPos >= 0; });
}

std::vector<qint64> TWordMgr::recordsWithPath(const QString& path, bool includeDeleted) {
    const QString folded = FoldAsciiCase(path);
    auto matches = [&](const TWordRec& rec) {
        if (!includeDeleted && rec.wdDeleted) {
            return false;
        }
        const RawText stored = rawItem(rec.wdFullNamePos);
        return RawEqualsFolded(stored.data, stored.units, folded);
    };
    std::vector<qint64> found;
    if (m_pathIndex.isBuilt() || m_pathIndex.wantsBuild()) {
        if (!m_pathIndex.isBuilt()) {
            buildPathIndex();
        }
        for (const qint64 pos : m_pathIndex.candidates(FoldedHash(folded))) {
            if (IsRecordPosition(pos) && matches(RecordAt(pos))) {
                found.push_back(pos);
            }
        }
        return found;
    }
    const int count = GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        if (matches(RecordAt(pos))) {
            found.push_back(pos);
        }
    }
    return found;
}

bool TWordMgr::DocInBase(const QString& docName) {
    const std::vector<qint64> found = recordsWithPath(docName, false);
    if (found.empty()) {
        endScan();
        return false;
    }
    ReadDataHead(found.front());
    return true;
}

void TWordMgr::GetDocAllByPos(qint64 ipos, QString& fn, QString& psw, QString& tags, quint8& score) {
    ReadDataHead(ipos);
    fn = StringAt(FWordRec.wdFullNamePos);
    psw = StringAt(FWordRec.wdPasswordPos);
    tags = StringAt(FWordRec.wdTagsPos);
    score = FWordRec.wdScore;
}

QString TWordMgr::GetDocNameByPos(qint64 ipos) {
    ReadDataHead(ipos);
    return StringAt(FWordRec.wdFullNamePos);
}

quint8 TWordMgr::GetDocScore(qint64 RecPos, bool rd) {
    if (rd) {
        ReadDataHead(RecPos);
    }
    return FWordRec.wdScore;
}

qint64 TWordMgr::GetRecPosByDocCreateTime(const QString& docName, double crdt, QString& psw, QString& tags,
                                          quint8& sc) {
    psw.clear();
    tags.clear();
    for (const qint64 pos : recordsWithPath(docName, false)) {
        const TWordRec rec = RecordAt(pos);
        if (rec.wdCreateTime == crdt) {
            ReadDataHead(pos);
            psw = StringAt(rec.wdPasswordPos);
            tags = StringAt(rec.wdTagsPos);
            sc = rec.wdScore;
            return pos;
        }
    }
    endScan();
    return -1;
}

qint64 TWordMgr::GetRecPosByDocCreateTime(const QString& docName, double crdt) {
    QString psw;
    QString tags;
    quint8 sc = 0;
    return GetRecPosByDocCreateTime(docName, crdt, psw, tags, sc);
}

namespace {

double timeOfDay(double days) {
    return std::isfinite(days) ? std::fabs(days - std::trunc(days)) : 0.0;
}

// By the exact difference: rounding each time to whole milliseconds first would call 0.4 ms and 0.6 ms apart.
bool sameTimeOfDay(double a, double b) {
    return std::fabs(timeOfDay(a) - timeOfDay(b)) * 86400000.0 < 1.0;
}

} // namespace

bool TWordMgr::HasSameCrDateTime(double dt) const {
    const int count = GetRecNumber();
    for (int k = 0; k < count; ++k) {
        if (sameTimeOfDay(RecordAt(qint64(k) * TWordRec::Size).wdCreateTime, dt)) {
            return true;
        }
    }
    return false;
}

qint64 TWordMgr::ImportAWord(const QString& docName, const QString& tags, const QString& psw, quint8 score) {
    FWordRec.wdFullNamePos = qint32(WriteStreamString(FDataStream, docName));
    FWordRec.wdTagsPos = qint32(WriteStreamString(FDataStream, tags));
    FWordRec.wdPasswordPos = qint32(WriteStreamString(FDataStream, psw));
    FWordRec.wdArchive = true;
    FWordRec.wdAccessTime = 0.0;
    FWordRec.wdEditTimes = 0;
    FWordRec.wdCreateTime = GetFileDate(docName, FileDateKind::Created).value_or(0.0);
    FWordRec.wdReadTimes = 0;
    FWordRec.wdScore = score;
    FWordRec.wdDeleted = false;
    const qint64 pos = qint64(GetRecNumber()) * TWordRec::Size;
    SaveDataHead(-1);
    FDataChanged = true;
    return pos;
}

void TWordMgr::SaveDocName(qint64 ipos, const QString& docName, bool rd) {
    SaveAStrItem(ipos, wdiFullName, docName, rd);
}

void TWordMgr::SaveMovedDocName(qint64 ipos, const QString& docName) {
    requireRecordPosition(ipos);
    ReadDataHead(ipos);
    if (StringAt(FWordRec.wdFullNamePos) != docName) {
        FWordRec.wdFullNamePos = qint32(WriteStreamString(FDataStream, docName));
    }
    SaveDataHead(ipos);
    FDataChanged = true;
}

void TWordMgr::SaveTags(qint64 ipos, const QString& tags, bool rd) {
    if (tags.isEmpty() && FWordRec.wdTagsPos == -1) {
        return;
    }
    const QString stored = ReadAStrItem(ipos, wdiTags, rd);
    if (tags.isEmpty()) {
        if (!IsBlank(stored)) {
            requireRecordPosition(ipos);
            FWordRec.wdTagsPos = -1;
            SaveDataHead(ipos);
            FDataChanged = true;
        }
        return;
    }
    if (!SameIgnoringAsciiCase(tags, stored)) {
        SaveAStrItem(ipos, wdiTags, tags, rd);
    }
}

void TWordMgr::SetDocScore(qint64 ipos, quint8 sc, bool rd) {
    requireRecordPosition(ipos);
    if (rd) {
        ReadDataHead(ipos);
    }
    FWordRec.wdScore = sc;
    SaveDataHead(ipos);
}

void TWordMgr::SetRecDeleted(qint64 ipos, bool rd) {
    requireRecordPosition(ipos);
    if (rd) {
        ReadDataHead(ipos);
    }
    FWordRec.wdDeleted = true;
    SaveDataHead(ipos);
}

void TWordMgr::SetRecArchive(qint64 ipos, bool achv, bool rd) {
    requireRecordPosition(ipos);
    if (rd) {
        ReadDataHead(ipos);
    }
    FWordRec.wdArchive = achv;
    SaveDataHead(ipos);
}

void TWordMgr::BatRemoveDocs(const QString& txt) {
    std::vector<qint64> found;
    for (const QString& line : SplitLines(txt)) {
        if (!line.isEmpty()) {
            const std::vector<qint64> more = recordsWithPath(line, false);
            found.insert(found.end(), more.begin(), more.end());
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    for (const qint64 pos : found) {
        ReadDataHead(pos);
        FWordRec.wdDeleted = true;
        SaveDataHead(pos);
    }
}

void TWordMgr::RestoreAItem(qint64 apos) {
    if (!IsRecordPosition(apos)) {
        return;
    }
    ReadDataHead(apos);
    if (FWordRec.wdDeleted) {
        FWordRec.wdDeleted = false;
        SaveDataHead(apos);
    }
}

void TWordMgr::RestoreADeleted(const QString& docName, double crdt) {
    for (const qint64 pos : recordsWithPath(docName, true)) {
        const TWordRec rec = RecordAt(pos);
        if (rec.wdDeleted && sameTimeOfDay(rec.wdCreateTime, crdt)) {
            ReadDataHead(pos);
            FWordRec.wdDeleted = false;
            SaveDataHead(pos);
            return;
        }
    }
}

void TWordMgr::RestoreAllDeleted() {
    const int count = GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        ReadDataHead(pos);
        if (FWordRec.wdDeleted) {
            FWordRec.wdDeleted = false;
            SaveDataHead(pos);
        }
    }
}

void TWordMgr::DelAItemPermanently(qint64 apos) {
    requireRecordPosition(apos);
    QByteArray image = FStream.left(qsizetype(GetRecNumber()) * TWordRec::Size);
    image.remove(apos, TWordRec::Size);
    replaceRecordImage(std::move(image));
    FIndexChanged = true;
}

void TWordMgr::DelAllItemsPermanently() {
    QByteArray image;
    const int count = GetRecNumber();
    image.reserve(qsizetype(count) * TWordRec::Size);
    for (int k = 0; k < count; ++k) {
        const char* record = FStream.constData() + qint64(k) * TWordRec::Size;
        if (!TWordRec::fromBytes(record).wdDeleted) {
            image.append(record, TWordRec::Size);
        }
    }
    replaceRecordImage(std::move(image));
    FIndexChanged = true;
}

} // namespace velmora
