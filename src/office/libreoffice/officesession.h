#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace velmora::lo {

namespace css = com::sun::star;

class AttachLock;

// How a server's soffice is started: its pipe, its profile, and whether it may show windows.
struct SessionOptions {
    QString pipe;
    QString profileDir;
    bool headless = true;
    bool removeProfile = true; // a throw-away profile, removed when the office ends
    // The office is killed when this program ends, however it ends (a private office that only it can reach).
    bool endWithParent = false;
    // Told the process id of each soffice started, at once: what must watch it does so before anything can end
    // this program while the office is coming up.
    std::function<void(qint64 pid)> started;
};

// One soffice process and the bridge to it. A session either owns its process (it started it and ends it) or is
// attached to one that another program started. Once the bridge goes away the session is dead for good and every
// call raises AutomationError (Disconnected).
class OfficeSession final : public std::enable_shared_from_this<OfficeSession> {
public:
    // Starts soffice with its own pipe and profile and connects; raises AutomationError when it cannot.
    static std::shared_ptr<OfficeSession> start(const SessionOptions& options);
    // Connects to the soffice that answers on pipe; raises AutomationError when none does.
    static std::shared_ptr<OfficeSession> attach(const QString& pipe);
    // Whether an soffice answers on pipe.
    static bool answers(const QString& pipe) noexcept;

    ~OfficeSession();
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;

    const css::uno::Reference<css::uno::XComponentContext>& context() const { return m_context; }
    const css::uno::Reference<css::frame::XDesktop2>& desktop() const { return m_desktop; }
    bool owned() const { return m_owned; }
    bool headless() const { return m_headless; }
    qint64 processId() const { return m_pid; }
    QString pipe() const { return m_pipe; }

    bool dead() const { return m_dead; }
    // Raises AutomationError (Disconnected) when the process or the bridge is gone.
    void checkAlive();
    // Called from any thread when the bridge is lost; runs the death handler once.
    void markDead() noexcept;
    // Run once, on whichever thread notices the end first.
    void setDeathHandler(std::function<void()> handler);

    // Ends the office this session started: every document is closed without asking, then the process. An office
    // that someone else started is only let go, as by release(). Never raises.
    void terminate() noexcept;
    // Lets go of the office and leaves it running with whatever it holds; the session is dead from now on.
    void release() noexcept;
    // Whether any document is open in the office, whoever opened it.
    bool holdsDocuments();
    // The main office's lock of this program, held while the session is alive (until it ends, lets go or dies).
    void holdWhileAlive(std::unique_ptr<AttachLock> lock);

private:
    // Whether ending the shown office loses nobody's work: none of its documents holds unsaved changes.
    bool mayEndSharedOffice() noexcept;
    OfficeSession() = default;
    void announce(const SessionOptions& options) const;
    void connect();
    void listen();
    bool processRunning();

    css::uno::Reference<css::uno::XComponentContext> m_context;
    css::uno::Reference<css::frame::XDesktop2> m_desktop;
    css::uno::Reference<css::uno::XInterface> m_bridge;
    QString m_pipe;
    QString m_profileDir;
    bool m_headless = true;
    bool m_removeProfile = false;
    bool m_owned = false;
    qint64 m_pid = 0; // > 0 while our process runs, -1 once it ended, 0 when attached
    std::atomic<bool> m_dead{false};
    std::mutex m_deathMutex;
    std::function<void()> m_onDeath;
    std::unique_ptr<AttachLock> m_attachLock;
};

// Text between Qt and UNO.
rtl::OUString ToOU(const QString& text);
QString ToQ(const rtl::OUString& text);
// A file URL for a local path and back.
rtl::OUString FileUrl(const QString& path);
QString LocalPath(const rtl::OUString& url);

// The message of the UNO exception being handled, for an AutomationError.
QString CaughtMessage();

} // namespace velmora::lo
