#pragma once

#include <QString>

#include <memory>

namespace velmora::lo {

// The main office is shared by the Velmoras of one user, so no single one of them may end it when it goes, and a
// killed one cannot. Each Velmora that uses the main office holds a shared lock on a file beside the office's
// profile; the kernel lets go of it however the program ends. The watchdog that the starting Velmora leaves behind
// ends the office once it can take that lock alone (nobody uses the office) and the office holds no document.
class AttachLock final {
public:
    // Waits while the watchdog is looking at (or ending) an idle office, so that the office this program then finds
    // on the pipe is one that stays. Null when the file cannot be opened: the office is then used unwatched.
    static std::unique_ptr<AttachLock> take(const QString& path);
    ~AttachLock();
    AttachLock(const AttachLock&) = delete;
    AttachLock& operator=(const AttachLock&) = delete;

private:
    explicit AttachLock(int fd) : m_fd(fd) {}
    int m_fd;
};

// Leaves the watchdog of the main office that this program has just started on pipe: a process of its own, outliving
// this one, ending when the office ends. Never raises; without the watchdog program the office is unwatched.
void StartOfficeWatch(const QString& lockPath, qint64 officePid, const QString& pipe) noexcept;

// The watchdog itself: watches the office officePid, which must be an soffice listening on pipe, until it ends;
// returns the exit status.
int RunOfficeWatch(const QString& lockPath, qint64 officePid, const QString& pipe);

} // namespace velmora::lo
