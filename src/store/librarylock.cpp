#include "librarylock.h"

#include "common/appfolder.h"
#include "common/readfile.h"

#include <QByteArray>
#include <QFile>
#include <QSysInfo>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace velmora {

namespace {

QByteArray holderName(LibraryLock::Holder kind) {
    return kind == LibraryLock::Holder::Window ? QByteArrayLiteral("velmora") : QByteArrayLiteral("velmoradb");
}

int openLockFile(const QString& path, int flags) {
    int fd = -1;
    do {
        fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// How long a refusal waits for the holder to name itself: far longer than writing a line takes.
constexpr int kNameAttempts = 40;
constexpr std::chrono::milliseconds kNameWait(25);

// A holder on this machine whose process has ended is no holder: its name was left behind.
bool isAlive(const LibraryLock::Owner& owner) {
    if (owner.host != QSysInfo::machineHostName() || owner.pid <= 0) {
        return true;
    }
    return ::kill(pid_t(owner.pid), 0) == 0 || errno != ESRCH;
}

int lockFd(int fd, int operation) {
    int rc = 0;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

} // namespace

LibraryLock::LibraryLock(Holder self) : m_self(self) {}

LibraryLock::~LibraryLock() {
    if (m_fd >= 0) {
        if (m_locked) {
            // The text is left for nobody; an empty file reads as "holder unknown" and blocks no one.
            [[maybe_unused]] const int ignored = ::ftruncate(m_fd, 0);
        }
        ::close(m_fd);
    }
}

QString LibraryLock::lockFilePath() {
    return AppDataFolder() + QStringLiteral("velmora.lock");
}

bool LibraryLock::tryLock() {
    if (m_locked) {
        return true;
    }
    m_heldByOther = false;
    m_error.clear();
    // The lock is for changing the library: a folder that cannot be written is refused with its reason here,
    // not later by the first save.
    if (::access(QFile::encodeName(AppDataFolder()).constData(), W_OK | X_OK) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (m_fd < 0) {
        m_fd = openLockFile(lockFilePath(), O_RDWR | O_CREAT);
        if (m_fd < 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
    }
    // A holder takes the lock first and writes its name just after, and a holder killed before it removed its
    // name leaves it for the next one to overwrite. So a refusal that finds no name, or the name of a process
    // gone, looks again for a moment: by then the holder has written its name, or has ended and let go of the
    // lock, which is then taken. The wait is bounded, so a holder stopped in that instant blocks nobody for long.
    for (int attempt = 0;; ++attempt) {
        if (lockFd(m_fd, LOCK_EX | LOCK_NB) == 0) {
            break;
        }
        if (errno != EWOULDBLOCK) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        m_owner = readOwner();
        if ((m_owner.known && isAlive(m_owner)) || attempt >= kNameAttempts) {
            m_heldByOther = true;
            return false;
        }
        std::this_thread::sleep_for(kNameWait);
    }
    m_locked = true;
    const QByteArray text = holderName(m_self) + '\n' + QByteArray::number(qint64(::getpid())) + '\n' +
                            QSysInfo::machineHostName().toUtf8() + '\n';
    // Who holds it is only ever shown to a user; failing to say so does not make the lock less held.
    if (::ftruncate(m_fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(m_fd, text.constData(), size_t(text.size()), 0);
    }
    return true;
}

LibraryLock::Owner LibraryLock::owner() const {
    return m_heldByOther ? m_owner : readOwner();
}

LibraryLock::Owner LibraryLock::readOwner() {
    Owner owner;
    qint64 size = 0;
    QString reason;
    const int fd = OpenRegularFile(lockFilePath(), size, reason);
    if (fd < 0) {
        return owner;
    }
    QByteArray text(4096, Qt::Uninitialized);
    const ssize_t got = ::pread(fd, text.data(), size_t(text.size()), 0);
    ::close(fd);
    text.truncate(got > 0 ? qsizetype(got) : 0);
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 4) {
        return owner; // empty or still being written
    }
    bool ok = false;
    owner.pid = lines.at(1).toLongLong(&ok);
    if (!ok || (lines.at(0) != "velmora" && lines.at(0) != "velmoradb")) {
        return owner;
    }
    owner.known = true;
    owner.kind = lines.at(0) == "velmora" ? Holder::Window : Holder::Tool;
    owner.host = QString::fromUtf8(lines.at(2));
    return owner;
}

QString LibraryLock::holder() const {
    const Owner found = owner();
    if (!found.known) {
        return {};
    }
    return QStringLiteral("%1 (pid %2 on %3)")
        .arg(found.kind == Holder::Window ? QStringLiteral("Velmora") : QStringLiteral("velmoradb"))
        .arg(found.pid)
        .arg(found.host);
}

SwitchLock::SwitchLock(const QString& folder, Mode mode) {
    do {
        m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        return;
    }
    if (lockFd(m_fd, mode == Mode::Shared ? LOCK_SH : LOCK_EX) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

SwitchLock::~SwitchLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

} // namespace velmora
