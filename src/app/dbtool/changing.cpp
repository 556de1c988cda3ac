#include "tool.h"

#include "arguments.h"
#include "messages.h"

#include "common/errors.h"
#include "store/heldfiles.h"
#include "store/pathfold.h"
#include "workbench/core/treefile.h"
#include "workbench/core/wordfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <optional>
#include <system_error>

namespace velmora::dbtool {

QStringList DbTool::documentsBelow(const QString& folder, int& status) {
    WordFileWalk walk;
    walk.unreadable = [this, &status](const std::string& name, const std::error_code& error) {
        m_err << "velmoradb: cannot read the folder "
              << shown(DecodeSystemName(QByteArrayView(name.data(), qsizetype(name.size())))) << ": "
              << QString::fromLocal8Bit(error.message().c_str()) << '\n';
        status = kFailed;
    };
    // Without a stop of ours the walk always ends with its list.
    const std::vector<std::string> found = WordFilesBelow(QFile::encodeName(folder).toStdString(), walk).value();
    QStringList paths;
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
    // By file, not by spelling: through a linked folder or a second hard link one document has many paths.
    HeldFiles held(library);
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
        if (!IsWordDocumentName(QFile::encodeName(path).toStdString())) {
            m_err << "velmoradb: not a Word document: " << given << '\n';
            status = kFailed;
            return;
        }
        if (held.holds(path)) {
            if (!found) {
                m_err << "velmoradb: already in the library: " << path << '\n';
                status = kFailed;
            }
            return;
        }
        // Where ImportAWord will put it.
        held.add(library.RecStream().size() + qint64(adding.size()) * TWordRec::Size, path);
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
    HeldFiles held(library);
    // A deleted record comes back only to a file no live record holds: two records on one file would each
    // carry their own tags and counters for it, and every listing would show it twice.
    const auto restore = [&](qint64 pos, const QString& path) {
        if (const qint64 holder = held.holder(path); holder >= 0) {
            m_err << "velmoradb: record " << pos << " is not restored: record " << holder << " holds " << path << '\n';
            status = kFailed;
            return;
        }
        library.RestoreAItem(pos);
        held.add(pos, path);
    };
    const int count = library.GetRecNumber();
    if (all) {
        for (int k = 0; k < count; ++k) {
            const qint64 pos = qint64(k) * TWordRec::Size;
            if (!library.RecordAt(pos).wdDeleted) {
                continue;
            }
            QString path;
            try {
                path = library.StringAt(library.RecordAt(pos).wdFullNamePos);
            } catch (const VelmoraError&) {
                // A damaged item names no file another record could hold.
            }
            restore(pos, path);
        }
    } else {
        for (const QString& given : args) {
            const QString path = absolutePath(given);
            bool found = false;
            for (int k = 0; k < count; ++k) {
                const qint64 pos = qint64(k) * TWordRec::Size;
                const TWordRec rec = library.RecordAt(pos);
                const QString recorded = library.StringAt(rec.wdFullNamePos);
                if (rec.wdDeleted != remove && SameIgnoringAsciiCase(recorded, path)) {
                    found = true;
                    if (remove) {
                        library.SetRecDeleted(pos, true);
                    } else {
                        restore(pos, recorded);
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

} // namespace velmora::dbtool
