#include "tool.h"

#include "arguments.h"
#include "messages.h"

#include "workbench/core/relink.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace velmora::dbtool {

namespace {

constexpr qint64 kProgressEveryMs = 200;

bool isTerminal(QTextStream& stream) {
    const auto* file = qobject_cast<QFile*>(stream.device());
    return file && file->handle() >= 0 && isatty(file->handle()) == 1;
}

} // namespace

int DbTool::relink(QStringList args) {
    const bool dryRun = takeFlag(args, QStringLiteral("--dry-run"));
    const bool byName = takeFlag(args, QStringLiteral("--by-name"));
    rejectOptions(args);
    if (args.isEmpty()) {
        throw UsageError(QStringLiteral("relink needs at least one FOLDER"));
    }
    if (m_reader == nullptr) {
        m_err << "velmoradb: this program cannot read documents; velmoradb-index does the relinking\n";
        return kFailed;
    }
    int status = kOk;
    QStringList folders;
    for (const QString& given : std::as_const(args)) {
        if (hasUndecodableByte(given) || hasControlCharacter(given)) {
            m_err << "velmoradb: the folder name cannot be used: " << shown(given) << '\n';
            status = kFailed;
            continue;
        }
        const QString folder = absolutePath(given);
        if (!QFileInfo(folder).isDir()) {
            m_err << "velmoradb: not a folder: " << shown(given) << '\n';
            status = kFailed;
            continue;
        }
        folders.append(folder);
    }
    if (folders.isEmpty()) {
        return kFailed;
    }
    // A dry run only looks, and so may look while the window has the library.
    if (dryRun ? !openForReading() : !openForChange(false)) {
        return kFailed;
    }
    TWordMgr& library = store();
    const DocumentReader read = m_reader;
    const RelinkReader reader = [read](const QString& path) -> std::optional<QString> {
        DocumentText document = read(path);
        if (!document.ok()) {
            return std::nullopt;
        }
        return std::move(document.text);
    };
    const bool terminal = isTerminal(m_err);
    QElapsedTimer lastShown;
    lastShown.start();
    const auto progress = [&](const RelinkProgress& now) {
        if (!terminal || lastShown.elapsed() < kProgressEveryMs) {
            return;
        }
        lastShown.restart();
        if (now.stage == RelinkProgress::Stage::Listing) {
            m_err << "\rrelinking: " << now.done << " documents listed" << Qt::flush;
        } else {
            m_err << "\rrelinking: " << now.done << " of " << now.total << " texts compared" << Qt::flush;
        }
    };
    RelinkPlan plan = PlanRelinks(FindMissingDocuments(library), folders, HeldFiles(library), reader, progress);
    if (terminal) {
        m_err << "\r\x1b[K" << Qt::flush;
    }
    if (!dryRun) {
        ApplyRelinks(library, plan, byName ? ByNamePositions(plan) : QSet<qint64>());
    }
    for (const RelinkFinding& finding : plan.findings) {
        switch (finding.kind) {
        case RelinkFinding::Kind::Relinked:
            m_out << "relinked|" << finding.position << '|' << finding.oldPath << '|' << finding.newPath << '\n';
            break;
        case RelinkFinding::Kind::ByName:
            m_out << "by name|" << finding.position << '|' << finding.oldPath << '|' << finding.newPath << '\n';
            status = kFailed;
            break;
        case RelinkFinding::Kind::Ambiguous:
            m_out << "ambiguous|" << finding.position << '|' << finding.oldPath << '|' << finding.candidates
                  << " candidates\n";
            status = kFailed;
            break;
        case RelinkFinding::Kind::NotFound:
            m_out << "not found|" << finding.position << '|' << finding.oldPath << '\n';
            status = kFailed;
            break;
        }
    }
    // Named as add names them: a file the library cannot hold is not silently "not found".
    for (const RefusedFile& refused : plan.refusedFiles) {
        const QString name = shown(DecodeSystemName(refused.name));
        if (refused.reason == RefusedFile::Reason::NotUtf8) {
            m_err << "velmoradb: the file name is not valid UTF-8: " << name << '\n';
        } else {
            m_err << "velmoradb: the path holds a control character: " << name << '\n';
        }
        status = kFailed;
    }
    for (const QString& folder : std::as_const(plan.unreadableFolders)) {
        m_err << "velmoradb: cannot read the folder " << shown(folder) << '\n';
        status = kFailed;
    }
    return status;
}

} // namespace velmora::dbtool
