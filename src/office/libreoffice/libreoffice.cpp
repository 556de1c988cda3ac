#include "libreoffice.h"

#include "officesession.h"
#include "officewatch.h"
#include "servers.h"

#include "office/automation/oleserver.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

#include <cstdlib>
#include <utility>
#include <vector>

#include <unistd.h>

namespace velmora {

namespace {

const QString kWord = QStringLiteral("Word.Application");
const QString kExcel = QStringLiteral("Excel.Application");

struct Kind {
    QString progId;
    QString tag;
    bool word;
};

// The profiles and pipes of the main servers belong to one user and one cache folder, so that two Velmoras of
// that user share them and nobody else does.
QString CacheRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/velmora/libreoffice");
}

QString MainPipe(const Kind& kind) {
    const QByteArray key = QCryptographicHash::hash(CacheRoot().toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QStringLiteral("velmora_%1_%2_%3").arg(getuid()).arg(QString::fromLatin1(key), kind.tag);
}

// Held by every Velmora that uses the main office; see AttachLock.
QString AttachLockPath(const Kind& kind) {
    return CacheRoot() + QLatin1Char('/') + kind.tag + QStringLiteral(".attached");
}

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The servers this program put in the running table. They leave it before the program's statics (the UNO runtime
// among them) are torn down, or their bridges would be released into a runtime that is gone.
std::vector<std::pair<QString, const Dispatch*>>& Registered() {
    static std::vector<std::pair<QString, const Dispatch*>> servers;
    return servers;
}

void RevokeAtExit() {
    for (const auto& [progId, server] : std::exchange(Registered(), {})) {
        RevokeActiveObject(progId, server);
    }
}

std::shared_ptr<Dispatch> Serve(const std::shared_ptr<lo::OfficeSession>& session, const Kind& kind, bool main) {
    std::shared_ptr<Dispatch> server =
        kind.word ? lo::StartWordServer(session, kind.progId, main) : lo::StartExcelServer(session, kind.progId, main);
    if (main) {
        Registered().emplace_back(kind.progId, server.get());
    }
    return server;
}

std::shared_ptr<Dispatch> StartServer(const Kind& kind, bool privateOnly) {
    const QString mainPipe = MainPipe(kind);
    std::unique_ptr<lo::AttachLock> attachLock;
    bool main = false;
    if (!privateOnly && !IsOleServerRunning(kind.progId)) {
        // Taken before the pipe is asked: an idle office that the watchdog is ending must be gone by then, and a
        // watchdog of an office that ended must not end the one started here.
        attachLock = lo::AttachLock::take(AttachLockPath(kind));
        main = !lo::OfficeSession::answers(mainPipe);
    }
    lo::SessionOptions options;
    if (main) {
        options.pipe = mainPipe;
        options.profileDir = CacheRoot() + QLatin1Char('/') + kind.tag;
        options.headless = !HasDisplay();
        options.removeProfile = false;
        // Other Velmoras may come to use this office, and this program may be killed, also while the office is
        // still coming up: its end is left to its watchdog from the moment it exists, which ends it once nobody
        // uses it and it holds no document.
        options.started = [lockPath = AttachLockPath(kind), mainPipe](qint64 pid) {
            lo::StartOfficeWatch(lockPath, pid, mainPipe);
        };
    } else {
        const QString id = QUuid::createUuid().toString(QUuid::Id128).left(12);
        options.pipe = QStringLiteral("velmora_%1_%2_%3").arg(getuid()).arg(id, kind.tag);
        options.profileDir = QDir::tempPath() + QStringLiteral("/velmora-lo-") + id;
        options.headless = true;
        options.removeProfile = true;
        // Nobody else knows its pipe, so nobody but this program can be using it.
        options.endWithParent = true;
    }
    const std::shared_ptr<lo::OfficeSession> session = lo::OfficeSession::start(options);
    if (main) {
        session->holdWhileAlive(std::move(attachLock));
    }
    return Serve(session, kind, main);
}

} // namespace

bool RegisterLibreOfficeServers() {
    if (!QFileInfo(QStringLiteral(VELMORA_LO_PROGRAM_DIR "/soffice.bin")).isExecutable()) {
        return false;
    }
    static bool once = false;
    for (const Kind& kind : {Kind{kWord, QStringLiteral("word"), true}, Kind{kExcel, QStringLiteral("excel"), false}}) {
        RegisterOleServer(
            kind.progId, [kind] { return StartServer(kind, false); }, [kind] { return StartServer(kind, true); });
        // While the application object lives, the office's bridge libraries do too; after it, at exit, they may
        // already be gone, so the exit handler is only the fallback of a program without one.
        if (!std::exchange(once, true)) {
            lo::OfficeSession::answers(MainPipe(kind));
            Registered();
            if (QCoreApplication::instance()) {
                qAddPostRoutine(RevokeAtExit);
            } else {
                std::atexit(RevokeAtExit);
            }
        }
        // A main server that another Velmora of this user started, before or after this one, is the running one
        // here too.
        SetActiveObjectFinder(kind.progId, [kind] {
            std::unique_ptr<lo::AttachLock> attachLock = lo::AttachLock::take(AttachLockPath(kind));
            if (lo::OfficeSession::answers(MainPipe(kind))) {
                try {
                    const std::shared_ptr<lo::OfficeSession> session = lo::OfficeSession::attach(MainPipe(kind));
                    session->holdWhileAlive(std::move(attachLock));
                    Serve(session, kind, true);
                } catch (const std::exception&) {
                    // It ended between the two looks: the next creation starts a new one.
                }
            }
        });
    }
    return true;
}

QString LibreOfficeMainPipe(const QString& progId) {
    const bool word = progId.compare(kWord, Qt::CaseInsensitive) == 0;
    return MainPipe(Kind{progId, word ? QStringLiteral("word") : QStringLiteral("excel"), word});
}

} // namespace velmora
