#pragma once

#include <QString>

namespace velmora {

// While the main window or a changing velmoradb command has the library open it holds appdata/velmora.lock,
// so that nobody changes the files under it. The lock is the kernel's (flock) on that file, so it ends with
// its process however that process ends: a lock file left by a killed process, empty or half written, never
// blocks anyone. The file's text names the holder, for the refusal message only.
class LibraryLock final {
public:
    enum class Holder { Window, Tool };

    explicit LibraryLock(Holder self = Holder::Tool);
    ~LibraryLock();
    Q_DISABLE_COPY_MOVE(LibraryLock)

    static QString lockFilePath();

    // True when this process now holds the lock. False either because another process holds it (isHeldByOther())
    // or because the lock file cannot be made or opened (errorString() gives the system's reason).
    bool tryLock();
    bool isLocked() const { return m_locked; }
    bool isHeldByOther() const { return m_heldByOther; }
    QString errorString() const { return m_error; }

    // Who holds the lock when another process does, as that process wrote it. After a refusal, the holder seen
    // then: tryLock waits a moment for a holder that has not written its name yet, so `known` is false only
    // when it never did (or wrote something else).
    struct Owner {
        bool known = false;
        Holder kind = Holder::Tool;
        qint64 pid = 0;
        QString host;
    };
    Owner owner() const;
    // The holder as text: "Velmora (pid 12 on host)" or "velmoradb (pid 12 on host)", empty when unknown.
    QString holder() const;

private:
    static Owner readOwner();

    Holder m_self;
    Owner m_owner;
    int m_fd = -1;
    bool m_locked = false;
    bool m_heldByOther = false;
    QString m_error;
};

// A short lock around the moment the record and string files are read or switched, so that a reader sees
// both before a save or both after it, never one of each. Readers share it, the switch holds it alone. It is
// the kernel's lock on the library's folder itself: no file to leave behind, and a reader can take it in a
// folder it cannot write. A folder that cannot be opened is read without it.
class SwitchLock final {
public:
    enum class Mode { Shared, Exclusive };
    SwitchLock(const QString& folder, Mode mode);
    ~SwitchLock();
    Q_DISABLE_COPY_MOVE(SwitchLock)

private:
    int m_fd = -1;
};

} // namespace velmora
