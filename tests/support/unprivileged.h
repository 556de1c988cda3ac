#pragma once

#include <QString>

#include <functional>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

// The user id a child takes when the tests run as root: root passes every permission check, so a case about a
// folder or file that cannot be written would never see its case.
inline constexpr uid_t kUnprivilegedId = 65534; // nobody

// Runs `check` as an unprivileged user: in a forked child that gives up root when the tests run as root,
// directly otherwise. Returns what `check` returned (an empty text for success, else what went wrong), or why the
// child could not run it. The child must not use threads the parent started.
inline QString RunUnprivileged(const std::function<QString()>& check) {
    if (::geteuid() != 0) {
        return check();
    }
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return QStringLiteral("pipe failed");
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return QStringLiteral("fork failed");
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        QString result;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0) {
            result = QStringLiteral("could not give up root");
        } else {
            result = check();
        }
        const QByteArray bytes = result.toUtf8();
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], bytes.constData(), size_t(bytes.size()));
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    QByteArray answer;
    char buffer[512];
    ssize_t got = 0;
    while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        answer.append(buffer, got);
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return QStringLiteral("the unprivileged child died");
    }
    return QString::fromUtf8(answer);
}

} // namespace velmora::test
