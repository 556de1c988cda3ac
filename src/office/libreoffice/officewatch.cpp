#include "officewatch.h"

#include "officesession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QThread>

#include <com/sun/star/frame/XDesktop2.hpp>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace velmora::lo {

namespace {

constexpr int kLookIntervalMs = 1000;
// The watchdog holds the lock alone only for a look at the office and, when it is idle, for its end.
constexpr int kLockWaitMs = 30000;
constexpr int kEndTimeoutMs = 10000;
constexpr int kBecomeOfficeMs = 10000;

const char kWatchName[] = "velmora-officewatch";

int OpenLockFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// The start of a process in clock ticks since boot, 0 when it is gone or has ended (a zombie): with the process id
// it names one process, never a later one that got the same id.
quint64 StartTimeOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold spaces; the fields after it do not.
    const qsizetype nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0) {
        return 0;
    }
    const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
    // From the state (the third field) on: the start time is the 22nd.
    if (fields.size() < 20 || fields.at(0) == "Z" || fields.at(0) == "X") {
        return 0;
    }
    return fields.at(19).toULongLong();
}

// Whether pid is an soffice that listens on pipe, as Velmora starts its main office: any other office, even one
// reached on the same pipe, is not the watchdog's to end.
bool IsOfficeOn(qint64 pid, const QString& pipe) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QList<QByteArray> arguments = file.readAll().split('\0');
    return !arguments.isEmpty() && arguments.first().endsWith("/soffice.bin") &&
           arguments.contains("--accept=pipe,name=" + pipe.toUtf8() + ";urp;");
}

QByteArray WatchProgram() {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const QString beside = QFileInfo(self).absolutePath() + QLatin1Char('/') + QLatin1String(kWatchName);
    if (QFileInfo(beside).isExecutable()) {
        return QFile::encodeName(beside);
    }
    // Programs run from the build tree (the tests) are not beside it.
    const QString built = QStringLiteral(VELMORA_OFFICEWATCH_PROGRAM);
    return QFileInfo(built).isExecutable() ? QFile::encodeName(built) : QByteArray();
}

// Ends the office when it holds no document; the caller holds the lock alone, so no Velmora uses it. The session is
// kept between looks while the office holds the user's documents.
bool EndIfIdle(std::shared_ptr<OfficeSession>& session, const QString& pipe) {
    try {
        if (!session || session->dead()) {
            session = OfficeSession::attach(pipe);
        }
        if (session->holdsDocuments()) {
            return false;
        }
        // The office may still refuse (a document opened in its window since the look, a dialog it shows).
        return session->desktop()->terminate();
    } catch (...) {
        // An office that does not answer now is looked at again later; it is never killed unasked.
        session.reset();
        return false;
    }
}

} // namespace

std::unique_ptr<AttachLock> AttachLock::take(const QString& path) {
    const int fd = OpenLockFile(path);
    if (fd < 0) {
        return nullptr;
    }
    QElapsedTimer clock;
    clock.start();
    while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || clock.elapsed() > kLockWaitMs) {
            // A watchdog stuck on an office that does not answer must not keep this program from the office.
            break;
        }
        QThread::msleep(20);
    }
    return std::unique_ptr<AttachLock>(new AttachLock(fd));
}

AttachLock::~AttachLock() {
    ::close(m_fd);
}

void StartOfficeWatch(const QString& lockPath, qint64 officePid, const QString& pipe) noexcept {
    QList<QByteArray> arguments{WatchProgram(), QFile::encodeName(lockPath), QByteArray::number(officePid),
                                pipe.toUtf8()};
    if (arguments.first().isEmpty()) {
        return;
    }
    std::vector<char*> argv;
    for (QByteArray& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // Forked twice, so that the watchdog is nobody's child here and needs no reaping; it leaves this program's session
    // so that a terminal's interrupt, which ends the program, leaves it to do its work. Only async-signal-safe calls
    // run in the children, as this program has threads.
    const pid_t child = fork();
    if (child == 0) {
        if (fork() != 0) {
            _exit(0);
        }
        setsid();
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) {
            _exit(127);
        }
        // Nothing of this program may outlive it in the watchdog: a connection to an office would keep the office
        // from noticing this program's end.
        close_range(3, ~0U, 0);
        std::signal(SIGPIPE, SIG_DFL);
        execve(argv.front(), argv.data(), environ);
        _exit(127);
    }
    if (child > 0) {
        waitpid(child, nullptr, 0);
    }
}

int RunOfficeWatch(const QString& lockPath, qint64 officePid, const QString& pipe) {
    const quint64 started = StartTimeOf(officePid);
    if (started == 0) {
        return 1;
    }
    // The watchdog is started the moment the office's process is made, which may not have become soffice yet.
    QElapsedTimer becoming;
    becoming.start();
    while (!IsOfficeOn(officePid, pipe)) {
        if (StartTimeOf(officePid) != started || becoming.elapsed() > kBecomeOfficeMs) {
            return 1;
        }
        QThread::msleep(10);
    }
    const int fd = OpenLockFile(lockPath);
    if (fd < 0) {
        return 1;
    }
    const auto running = [&] { return StartTimeOf(officePid) == started; };
    std::shared_ptr<OfficeSession> session;
    while (running()) {
        QThread::msleep(kLookIntervalMs);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            // A Velmora uses the office: it decides what becomes of it.
            session.reset();
            continue;
        }
        // Holding the lock alone, nobody starts another office on the pipe, so an office that still runs now is the
        // one that answers there.
        if (running() && EndIfIdle(session, pipe)) {
            session.reset();
            QElapsedTimer clock;
            clock.start();
            while (running() && clock.elapsed() < kEndTimeoutMs) {
                QThread::msleep(50);
            }
            // It agreed to end and holds nothing, but hangs on its way out.
            if (running()) {
                ::kill(pid_t(officePid), SIGKILL);
            }
        }
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return 0;
}

} // namespace velmora::lo
