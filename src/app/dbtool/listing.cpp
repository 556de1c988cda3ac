#include "tool.h"

#include "arguments.h"
#include "messages.h"

#include "common/pinyin.h"
#include "common/streamstring.h"

#include <QFile>
#include <QHash>
#include <QSysInfo>

#include <deque>
#include <unordered_map>

namespace velmora::dbtool {

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

} // namespace velmora::dbtool
