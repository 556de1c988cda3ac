#pragma once

#include <QLockFile>
#include <QString>

namespace velmora {

// While the main window has the library open it holds appdata/velmora.lock, so that the command-line tool
// does not change the files under it. A lock left by a process that died is taken over.
class LibraryLock final {
public:
    LibraryLock();
    Q_DISABLE_COPY_MOVE(LibraryLock)

    static QString lockFilePath();

    // True when this process now holds the lock.
    bool tryLock();
    bool isLocked() const { return m_lock.isLocked(); }
    QLockFile::LockError error() const { return m_lock.error(); }
    // Who holds the lock, as "pid on host", when another process does.
    QString holder() const;

private:
    QLockFile m_lock;
};

} // namespace velmora
