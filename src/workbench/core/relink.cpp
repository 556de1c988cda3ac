#include "workbench/core/relink.h"

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "common/errors.h"
#include "store/movejournal.h"
#include "store/pathfold.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "workbench/core/wordfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <optional>
#include <thread>

#include <sys/stat.h>

namespace velmora {

namespace {

// Nothing at all is at the path; a path this process may not look at is not called missing.
bool nothingAt(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        return false;
    }
    return errno == ENOENT || errno == ENOTDIR;
}

bool isRegularFile(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString systemName(const std::string& bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

bool hasControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// The name as the library would store it; nullopt, with the reason, for a name `add` refuses.
std::optional<QString> storableName(const std::string& bytes, std::vector<RefusedFile>& refused) {
    const QByteArray raw(bytes.data(), qsizetype(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString name = utf8(raw);
    if (utf8.hasError()) {
        refused.push_back({raw, RefusedFile::Reason::NotUtf8});
        return std::nullopt;
    }
    if (hasControlCharacter(name)) {
        refused.push_back({raw, RefusedFile::Reason::ControlCharacter});
        return std::nullopt;
    }
    return name;
}

std::optional<std::pair<dev_t, ino_t>> folderAt(const std::string& path) {
    struct stat facts {};
    if (::stat(path.c_str(), &facts) != 0) {
        return std::nullopt;
    }
    return std::pair(facts.st_dev, facts.st_ino);
}

struct Candidate {
    QString path;
    QString foldedName;
    // The text key once read; a file the reader cannot read is `unreadable`, and has none.
    QByteArray key;
    bool read = false;
    bool unreadable = false;
};

// The Word files below the folders, each once, in name order; folders that cannot be read are noted and passed.
std::vector<Candidate> listCandidates(const QStringList& folders, const HeldFiles& held, const QSet<qint64>& missing,
                                      RelinkPlan& plan, const std::function<void(const RelinkProgress&)>& progress,
                                      const std::atomic<bool>* cancelled) {
    QStringList& unreadable = plan.unreadableFolders;
    const auto dataFolder = folderAt(QFile::encodeName(AppDataFolder()).toStdString());
    std::vector<std::string> found;
    for (const QString& folder : folders) {
        // Links are not followed: a linked folder may lead back up the tree, and a linked file is not where the
        // document is.
        WordFileWalk walk;
        walk.followFileLinks = false;
        // By identity, not spelling: the data folder may be reached through a link.
        walk.skip = [&dataFolder](const std::string& name) { return dataFolder && folderAt(name) == dataFolder; };
        walk.unreadable = [&unreadable](const std::string& name, const std::error_code& error) {
            unreadable.append(systemName(name) + QStringLiteral(": ") +
                              QString::fromLocal8Bit(error.message().c_str()));
        };
        const size_t before = found.size();
        walk.goOn = [&](size_t more) {
            if (progress) {
                progress({RelinkProgress::Stage::Listing, qsizetype(before + more), 0});
            }
            return cancelled == nullptr || !cancelled->load();
        };
        std::optional<std::vector<std::string>> below = WordFilesBelow(QFile::encodeName(folder).toStdString(), walk);
        if (!below) {
            return {};
        }
        std::move(below->begin(), below->end(), std::back_inserter(found));
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<Candidate> candidates;
    candidates.reserve(found.size());
    for (const std::string& name : found) {
        std::optional<QString> stored = storableName(name, plan.refusedFiles);
        if (!stored) {
            continue;
        }
        QString path = std::move(*stored);
        if (held.holds(path, missing)) {
            continue;
        }
        Candidate candidate;
        candidate.foldedName = FoldAsciiCase(fileNameOf(path));
        candidate.path = std::move(path);
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

// Runs work(i) for every index on one thread per core, reporting progress from the calling thread.
template <typename Work>
void inParallel(const std::vector<size_t>& indices, Work work,
                const std::function<void(const RelinkProgress&)>& progress, qsizetype doneBefore, qsizetype total,
                const std::atomic<bool>* cancelled) {
    std::atomic<size_t> next{0};
    std::atomic<qsizetype> done{0};
    const auto worker = [&] {
        for (size_t i = next++; i < indices.size(); i = next++) {
            if (cancelled != nullptr && cancelled->load()) {
                return;
            }
            work(indices[i]);
            ++done;
        }
    };
    const size_t count = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), indices.size());
    std::vector<std::jthread> pool;
    for (size_t k = 0; k < count; ++k) {
        pool.emplace_back(worker);
    }
    while (progress && done.load() < qsizetype(indices.size()) && !(cancelled != nullptr && cancelled->load())) {
        progress({RelinkProgress::Stage::Reading, doneBefore + done.load(), total});
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    pool.clear();
    if (progress) {
        progress({RelinkProgress::Stage::Reading, doneBefore + done.load(), total});
    }
}

} // namespace

QByteArray RelinkTextKey(const QString& text) {
    const QString bounded = BoundedCacheText(text);
    QString kept;
    kept.reserve(bounded.size());
    for (const QChar c : bounded) {
        if (!c.isSpace() && c.category() != QChar::Other_Control && c != QChar(0x00AD) && c != QChar(0x2011)) {
            kept.append(c);
        }
    }
    if (kept.isEmpty()) {
        return {};
    }
    return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(kept.constData()), kept.size() * 2),
                                    QCryptographicHash::Sha256);
}

std::vector<MissingDocument> FindMissingDocuments(const TWordMgr& store) {
    std::vector<MissingDocument> missing;
    const int count = store.GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const TWordRec rec = store.RecordAt(pos);
        if (rec.wdDeleted) {
            continue;
        }
        QString path;
        try {
            path = store.StringAt(rec.wdFullNamePos);
        } catch (const VelmoraError&) {
            continue; // a damaged record names no file to look for
        }
        if (!path.isEmpty() && nothingAt(path)) {
            missing.push_back({pos, path});
        }
    }
    return missing;
}

RelinkPlan PlanRelinks(const std::vector<MissingDocument>& missing, const QStringList& folders, const HeldFiles& held,
                       const RelinkReader& reader, const std::function<void(const RelinkProgress&)>& progress,
                       const std::atomic<bool>* cancelled) {
    RelinkPlan plan;
    const auto stopped = [cancelled] { return cancelled != nullptr && cancelled->load(); };
    if (missing.empty()) {
        return plan;
    }
    // Nothing is at a missing record's path, so it holds no file: its own file under another letter case is the
    // first one it may take.
    QSet<qint64> missingPositions;
    for (const MissingDocument& doc : missing) {
        missingPositions.insert(doc.position);
    }
    std::vector<Candidate> candidates = listCandidates(folders, held, missingPositions, plan, progress, cancelled);
    QHash<QString, std::vector<size_t>> byName;
    for (size_t i = 0; i < candidates.size(); ++i) {
        byName[candidates[i].foldedName].push_back(i);
    }
    const auto readCandidate = [&](size_t i) {
        Candidate& candidate = candidates[i];
        std::optional<QString> text;
        try {
            text = reader ? reader(candidate.path) : std::nullopt;
        } catch (const std::exception&) {
            text.reset();
        }
        candidate.unreadable = !text.has_value();
        if (text) {
            candidate.key = RelinkTextKey(*text);
        }
        candidate.read = true;
    };

    // First reading: the cached text of every missing document, and the files that carry its name.
    std::vector<QByteArray> recordKeys(missing.size());
    std::vector<size_t> named;
    for (const MissingDocument& doc : missing) {
        for (const size_t i : byName.value(FoldAsciiCase(fileNameOf(doc.path)))) {
            named.push_back(i);
        }
    }
    std::sort(named.begin(), named.end());
    named.erase(std::unique(named.begin(), named.end()), named.end());
    std::vector<size_t> firstWork(missing.size() + named.size());
    for (size_t i = 0; i < firstWork.size(); ++i) {
        firstWork[i] = i;
    }
    const qsizetype firstTotal = qsizetype(firstWork.size());
    inParallel(
        firstWork,
        [&](size_t i) {
            if (i < missing.size()) {
                try {
                    recordKeys[i] = RelinkTextKey(ReadTextCache(missing[i].path));
                } catch (const std::exception&) {
                    // A damaged cache proves nothing: the record is found by name only.
                }
            } else {
                readCandidate(named[i - missing.size()]);
            }
        },
        progress, 0, firstTotal, cancelled);
    if (stopped()) {
        plan.cancelled = true;
        return plan;
    }

    // By name: a file whose text is the cached text; by text alone for a document renamed too. A record whose
    // text is known takes no file that cannot be read (a placeholder of a cloud folder, an empty file): its
    // real file may still come. Only a record without a text is matched by name alone, as a proposal.
    std::vector<std::vector<size_t>> sameByName(missing.size());
    std::vector<std::vector<size_t>> unverified(missing.size());
    bool textStage = false;
    for (size_t m = 0; m < missing.size(); ++m) {
        for (const size_t i : byName.value(FoldAsciiCase(fileNameOf(missing[m].path)))) {
            const Candidate& candidate = candidates[i];
            if (recordKeys[m].isEmpty()) {
                unverified[m].push_back(i);
            } else if (!candidate.unreadable && candidate.key == recordKeys[m]) {
                sameByName[m].push_back(i);
            }
        }
        textStage = textStage || (sameByName[m].empty() && !recordKeys[m].isEmpty());
    }
    QHash<QByteArray, std::vector<size_t>> byText;
    if (textStage) {
        std::vector<size_t> rest;
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (!candidates[i].read) {
                rest.push_back(i);
            }
        }
        inParallel(rest, readCandidate, progress, firstTotal, firstTotal + qsizetype(rest.size()), cancelled);
        if (stopped()) {
            plan.cancelled = true;
            return plan;
        }
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (!candidates[i].key.isEmpty()) {
                byText[candidates[i].key].push_back(i);
            }
        }
    }

    std::vector<std::vector<size_t>> matches(missing.size());
    std::vector<bool> nameOnly(missing.size(), false);
    QHash<size_t, int> wanted;
    for (size_t m = 0; m < missing.size(); ++m) {
        if (!sameByName[m].empty()) {
            matches[m] = sameByName[m];
        } else if (!recordKeys[m].isEmpty() && byText.contains(recordKeys[m])) {
            matches[m] = byText.value(recordKeys[m]);
        } else {
            matches[m] = unverified[m];
            nameOnly[m] = true;
        }
        if (matches[m].size() == 1) {
            ++wanted[matches[m].front()];
        }
    }
    for (size_t m = 0; m < missing.size(); ++m) {
        RelinkFinding finding;
        finding.position = missing[m].position;
        finding.oldPath = missing[m].path;
        finding.candidates = int(matches[m].size());
        if (matches[m].empty()) {
            finding.kind = RelinkFinding::Kind::NotFound;
        } else if (matches[m].size() == 1 && wanted.value(matches[m].front()) == 1) {
            finding.kind = nameOnly[m] ? RelinkFinding::Kind::ByName : RelinkFinding::Kind::Relinked;
            finding.newPath = candidates[matches[m].front()].path;
        } else {
            // Several files, or one file that more than one record would take: neither is guessed.
            finding.kind = RelinkFinding::Kind::Ambiguous;
        }
        plan.findings.push_back(std::move(finding));
    }
    return plan;
}

namespace {

// Whether the record may still take the new file: it is at the old path, nothing is there, the new file is a
// regular file with a name the library may hold, and no other live record holds it.
bool stillFits(TWordMgr& store, const RelinkFinding& finding, const HeldFiles& held) {
    if (!store.IsRecordPosition(finding.position) || store.RecordAt(finding.position).wdDeleted) {
        return false;
    }
    try {
        if (store.StringAt(store.RecordAt(finding.position).wdFullNamePos) != finding.oldPath) {
            return false;
        }
    } catch (const VelmoraError&) {
        return false;
    }
    return nothingAt(finding.oldPath) && isRegularFile(finding.newPath) && !hasControlCharacter(finding.newPath) &&
           !held.holds(finding.newPath, {finding.position});
}

void applyMoves(TWordMgr& store, const QList<PlannedMove>& moves) {
    if (moves.isEmpty()) {
        return;
    }
    // Written before the first record changes: a kill from here on is finished by the next opening, which
    // finds each old path empty and the new file in place, as after a move.
    WriteMoveJournal(store.FileName(), moves);
    for (const PlannedMove& move : moves) {
        store.SaveMovedDocName(move.position, move.to);
        TakeTextCacheAlong(move.from, move.to);
    }
    store.SaveRecDataFiles(false);
    RemoveMoveJournal(store.FileName());
}

} // namespace

void ApplyRelinks(TWordMgr& store, RelinkPlan& plan, const QSet<qint64>& takenByName) {
    HeldFiles held(store);
    QList<PlannedMove> moves;
    for (RelinkFinding& finding : plan.findings) {
        const bool byName = finding.kind == RelinkFinding::Kind::ByName;
        if (!(finding.kind == RelinkFinding::Kind::Relinked || (byName && takenByName.contains(finding.position)))) {
            continue;
        }
        if (!stillFits(store, finding, held)) {
            finding.kind = RelinkFinding::Kind::NotFound;
            finding.newPath.clear();
            continue;
        }
        finding.kind = RelinkFinding::Kind::Relinked;
        held.add(finding.position, finding.newPath);
        moves.append({finding.position, finding.oldPath, finding.newPath});
    }
    applyMoves(store, moves);
}

QSet<qint64> ByNamePositions(const RelinkPlan& plan) {
    QSet<qint64> positions;
    for (const RelinkFinding& finding : plan.findings) {
        if (finding.kind == RelinkFinding::Kind::ByName) {
            positions.insert(finding.position);
        }
    }
    return positions;
}

bool RelinkToFile(TWordMgr& store, qint64 position, const QString& file) {
    RelinkFinding finding;
    finding.kind = RelinkFinding::Kind::Relinked;
    finding.position = position;
    finding.newPath = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    try {
        finding.oldPath = store.GetDocNameByPos(position);
    } catch (const VelmoraError&) {
        return false;
    }
    if (!stillFits(store, finding, HeldFiles(store))) {
        return false;
    }
    applyMoves(store, {{position, finding.oldPath, finding.newPath}});
    return true;
}

} // namespace velmora
