#include "librarylock.h"

#include "common/appfolder.h"

#include <QDir>

namespace velmora {

LibraryLock::LibraryLock() : m_lock(lockFilePath()) {
    // A main window may keep the library open for days: only a dead owner makes the lock stale, never its age.
    m_lock.setStaleLockTime(0);
}

QString LibraryLock::lockFilePath() {
    return AppDataFolder() + QStringLiteral("velmora.lock");
}

bool LibraryLock::tryLock() {
    QDir().mkpath(AppDataFolder());
    return m_lock.tryLock(0);
}

QString LibraryLock::holder() const {
    qint64 pid = 0;
    QString host;
    QString app;
    if (!m_lock.getLockInfo(&pid, &host, &app)) {
        return {};
    }
    return QStringLiteral("%1 (pid %2 on %3)").arg(app).arg(pid).arg(host);
}

} // namespace velmora
