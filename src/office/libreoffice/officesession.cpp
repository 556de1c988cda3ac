#include "officesession.h"

#include "officewatch.h"

#include "office/automation/automationerror.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <QUrl>

#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <cppuhelper/implbase1.hxx>

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmora::lo {

using namespace css::uno;
using rtl::OUString;

namespace {

// soffice ends with this code after creating a new profile and expects its launcher to start it again.
constexpr int kRestartExitCode = 81;
constexpr int kStartTimeoutMs = 60000;
constexpr int kMaxEarlyEnds = 4;

Reference<XComponentContext> localContext() {
    static const Reference<XComponentContext> context = [] {
        // An office that dies while we write to its pipe (killed during a handshake) must fail the call with an
        // error, not end this program with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        // Without the bootstrap variables the UNO runtime cannot find its type and service files and crashes.
        if (qEnvironmentVariableIsEmpty("URE_BOOTSTRAP")) {
            qputenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" VELMORA_LO_PROGRAM_DIR "/fundamentalrc");
        }
        try {
            return cppu::defaultBootstrap_InitialComponentContext();
        } catch (const Exception& e) {
            throw AutomationError(QStringLiteral("the UNO runtime could not start: %1").arg(ToQ(e.Message)),
                                  AutomationFault::NoServer);
        }
    }();
    return context;
}

// Hears the bridge go away: the office was killed or ended.
class BridgeListener final : public cppu::WeakImplHelper1<css::lang::XEventListener> {
public:
    explicit BridgeListener(std::weak_ptr<OfficeSession> session) : m_session(std::move(session)) {}
    void SAL_CALL disposing(const css::lang::EventObject&) override {
        if (const auto session = m_session.lock()) {
            session->markDead();
        }
    }

private:
    std::weak_ptr<OfficeSession> m_session;
};

// Settings of the office's profile that must be in place before it starts. The window's interface is Chinese
// whatever the system's language, and the office inside its tabs speaks it too; the office is never to ask about
// keeping a Word format, since Word files are what the library holds.
struct ProfileSetting {
    const char* path;
    const char* name;
    const char* value;
};
constexpr ProfileSetting kProfileSettings[] = {
    // The user interface language as the office's own settings dialog sets it; the office works out the language
    // it then uses from it at start (ooLocale) and writes that back.
    {"/org.openoffice.Office.Linguistic/General", "UILocale", "zh-CN"},
    {"/org.openoffice.Office.Common/Save/Document", "WarnAlienFormat", "false"},
};

QByteArray SettingLine(const ProfileSetting& setting) {
    return QByteArray("<item oor:path=\"") + setting.path + "\"><prop oor:name=\"" + setting.name +
           "\" oor:op=\"fuse\"><value>" + setting.value + "</value></prop></item>";
}

// The office keeps a profile's settings in one file, an item a line, and writes it back whole when it ends; our
// items replace its own of the same names. A file the office would not read either is left to the office.
void PrepareProfile(const QString& profileDir) {
    const QString path = profileDir + QStringLiteral("/user/registrymodifications.xcu");
    QDir().mkpath(profileDir + QStringLiteral("/user"));
    QByteArray text;
    if (QFile file(path); file.open(QIODevice::ReadOnly)) {
        text = file.readAll();
    }
    if (text.isEmpty()) {
        text =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
            "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n</oor:items>\n";
    }
    const qsizetype end = text.lastIndexOf("</oor:items>");
    if (end < 0) {
        return;
    }
    QList<QByteArray> lines = text.left(end).split('\n');
    for (const ProfileSetting& setting : kProfileSettings) {
        const QByteArray key = QByteArray("oor:path=\"") + setting.path + "\"><prop oor:name=\"" + setting.name + '"';
        lines.removeIf([&](const QByteArray& line) { return line.contains(key); });
    }
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) {
        lines.removeLast();
    }
    for (const ProfileSetting& setting : kProfileSettings) {
        lines.append(SettingLine(setting));
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(lines.join('\n') + '\n' + text.mid(end));
        file.commit();
    }
}

// The office takes its file names' encoding from the locale it is started in. A locale the machine has not
// generated (or one without UTF-8) leaves it with ASCII, and a document whose path holds Chinese cannot be opened;
// such an office gets C.UTF-8, which every system has. A working locale stays: it sets the documents' defaults.
std::vector<QByteArray> OfficeEnvironment() {
    bool usable = false;
    if (const locale_t locale = newlocale(LC_ALL_MASK, "", locale_t(nullptr)); locale != locale_t(nullptr)) {
        const char* codeset = nl_langinfo_l(CODESET, locale);
        usable = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
        freelocale(locale);
    }
    std::vector<QByteArray> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (usable || std::strncmp(*entry, "LC_ALL=", 7) != 0) {
            environment.emplace_back(*entry);
        }
    }
    if (!usable) {
        environment.emplace_back("LC_ALL=C.UTF-8");
    }
    return environment;
}

pid_t spawnOffice(const SessionOptions& options) {
    QList<QByteArray> arguments{
        QByteArrayLiteral(VELMORA_LO_PROGRAM_DIR "/soffice.bin"),
        "-env:UserInstallation=" + QUrl::fromLocalFile(options.profileDir).toEncoded(),
        "--norestore",
        "--nologo",
        "--nodefault",
        "--nolockcheck",
        "--accept=pipe,name=" + options.pipe.toUtf8() + ";urp;",
    };
    if (options.headless) {
        arguments.append("--headless");
    }
    std::vector<char*> argv;
    for (QByteArray& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<QByteArray> environment = OfficeEnvironment();
    std::vector<char*> envp;
    for (QByteArray& variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const bool endWithParent = options.endWithParent;
    // fork rather than posix_spawn: the child must ask for its own death signal before it becomes soffice. Only
    // async-signal-safe calls run in it, as the parent has threads.
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open("/dev/null", O_WRONLY);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
            _exit(127);
        }
        if (endWithParent) {
            // The signal comes when the thread that forked ends; offices are started from the thread that uses
            // them, which lives as long as the program's use of them.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) {
                _exit(127);
            }
        }
        // The office may outlive this program: it must not hold its files, locks or connections to other offices.
        close_range(3, ~0U, 0);
        // An ignored signal stays ignored across exec; the office gets the default this program may have changed.
        std::signal(SIGPIPE, SIG_DFL);
        execve(argv.front(), argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) {
        throw AutomationError(QStringLiteral("LibreOffice could not be started: %1").arg(qt_error_string(errno)),
                              AutomationFault::NoServer);
    }
    return pid;
}

} // namespace

OUString ToOU(const QString& text) {
    return OUString(reinterpret_cast<const sal_Unicode*>(text.utf16()), sal_Int32(text.size()));
}

QString ToQ(const OUString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getStr()), text.getLength());
}

OUString FileUrl(const QString& path) {
    return ToOU(QString::fromUtf8(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded()));
}

QString LocalPath(const OUString& url) {
    const QUrl parsed(ToQ(url));
    return parsed.isLocalFile() ? QDir::toNativeSeparators(parsed.toLocalFile()) : ToQ(url);
}

QString CaughtMessage() {
    const Any caught = cppu::getCaughtException();
    Exception e;
    if (caught >>= e) {
        QString message = ToQ(e.Message);
        // UNO appends the source position of the throw, which tells a user nothing.
        const qsizetype at = message.indexOf(QLatin1String(" at ./"));
        if (at > 0) {
            message.truncate(at);
        }
        return message.isEmpty() ? ToQ(caught.getValueTypeName()) : message;
    }
    return QStringLiteral("LibreOffice reported an error");
}

std::shared_ptr<OfficeSession> OfficeSession::start(const SessionOptions& options) {
    std::shared_ptr<OfficeSession> session(new OfficeSession());
    session->m_pipe = options.pipe;
    session->m_profileDir = options.profileDir;
    session->m_headless = options.headless;
    session->m_removeProfile = options.removeProfile;
    session->m_owned = true;
    QDir().mkpath(options.profileDir);
    PrepareProfile(options.profileDir);
    session->m_pid = spawnOffice(options);
    session->announce(options);
    QElapsedTimer clock;
    clock.start();
    int earlyEnds = 0;
    while (true) {
        int status = 0;
        const pid_t ended = waitpid(pid_t(session->m_pid), &status, WNOHANG);
        if (ended == session->m_pid) {
            session->m_pid = 0;
            if (WIFEXITED(status) && WEXITSTATUS(status) == kRestartExitCode && clock.elapsed() < kStartTimeoutMs) {
                session->m_pid = spawnOffice(options);
                session->announce(options);
                continue;
            }
            // Several offices starting at once on one display now and then find it refusing a connection and
            // end at once; a later start goes through.
            if (++earlyEnds < kMaxEarlyEnds && clock.elapsed() < kStartTimeoutMs) {
                QThread::msleep(200);
                session->m_pid = spawnOffice(options);
                session->announce(options);
                continue;
            }
            throw AutomationError(QStringLiteral("LibreOffice ended while starting (status %1)").arg(status),
                                  AutomationFault::NoServer);
        }
        try {
            session->connect();
            break;
        } catch (const css::connection::NoConnectException&) {
        }
        if (clock.elapsed() > kStartTimeoutMs) {
            session->terminate();
            throw AutomationError(QStringLiteral("LibreOffice did not answer on its pipe"), AutomationFault::NoServer);
        }
        QThread::msleep(20);
    }
    session->listen();
    return session;
}

std::shared_ptr<OfficeSession> OfficeSession::attach(const QString& pipe) {
    std::shared_ptr<OfficeSession> session(new OfficeSession());
    session->m_pipe = pipe;
    session->m_headless = false;
    try {
        session->connect();
    } catch (const Exception&) {
        throw AutomationError(QStringLiteral("no LibreOffice answers on %1: %2").arg(pipe, CaughtMessage()),
                              AutomationFault::NoServer);
    }
    session->listen();
    return session;
}

bool OfficeSession::answers(const QString& pipe) noexcept {
    try {
        const Reference<css::connection::XConnector> connector = css::connection::Connector::create(localContext());
        const Reference<css::connection::XConnection> connection =
            connector->connect(ToOU(QStringLiteral("pipe,name=") + pipe));
        connection->close();
        return true;
    } catch (...) {
        return false;
    }
}

void OfficeSession::announce(const SessionOptions& options) const {
    if (options.started && m_pid > 0) {
        options.started(m_pid);
    }
}

void OfficeSession::connect() {
    const Reference<XComponentContext> local = localContext();
    const Reference<css::connection::XConnection> connection =
        css::connection::Connector::create(local)->connect(ToOU(QStringLiteral("pipe,name=") + m_pipe));
    const Reference<css::bridge::XBridge> bridge =
        css::bridge::BridgeFactory::create(local)->createBridge(OUString(), "urp", connection, nullptr);
    const Reference<XInterface> instance = bridge->getInstance("StarOffice.ComponentContext");
    const Reference<XComponentContext> remote(instance, UNO_QUERY_THROW);
    m_bridge = bridge;
    m_context = remote;
    m_desktop = css::frame::Desktop::create(remote);
}

void OfficeSession::listen() {
    const Reference<css::lang::XComponent> bridge(m_bridge, UNO_QUERY);
    if (bridge.is()) {
        bridge->addEventListener(new BridgeListener(weak_from_this()));
    }
}

void OfficeSession::setDeathHandler(std::function<void()> handler) {
    bool alreadyDead = false;
    {
        std::lock_guard lock(m_deathMutex);
        m_onDeath = std::move(handler);
        alreadyDead = m_dead;
    }
    if (alreadyDead) {
        markDead();
    }
}

void OfficeSession::holdWhileAlive(std::unique_ptr<AttachLock> lock) {
    std::lock_guard guard(m_deathMutex);
    if (!m_dead) {
        m_attachLock = std::move(lock);
    }
}

void OfficeSession::markDead() noexcept {
    m_dead = true;
    std::function<void()> handler;
    std::unique_ptr<AttachLock> attachLock;
    {
        std::lock_guard lock(m_deathMutex);
        handler = std::move(m_onDeath);
        m_onDeath = nullptr;
        // A session that let go or lost its office no longer keeps the office for this program.
        attachLock = std::move(m_attachLock);
    }
    if (handler) {
        try {
            handler();
        } catch (...) {
        }
    }
}

bool OfficeSession::processRunning() {
    if (m_pid <= 0) {
        return true;
    }
    int status = 0;
    if (waitpid(pid_t(m_pid), &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return m_pid > 0;
}

void OfficeSession::checkAlive() {
    if (!m_dead && m_pid < 0) {
        markDead();
    }
    if (!m_dead && m_pid > 0 && !processRunning()) {
        markDead();
    }
    if (m_dead) {
        throw AutomationError(QStringLiteral("LibreOffice is no longer running"), AutomationFault::Disconnected);
    }
}

bool OfficeSession::holdsDocuments() {
    checkAlive();
    const Reference<css::container::XEnumeration> components = m_desktop->getComponents()->createEnumeration();
    while (components->hasMoreElements()) {
        if (Reference<css::frame::XModel>(components->nextElement(), UNO_QUERY).is()) {
            return true;
        }
    }
    return false;
}

void OfficeSession::release() noexcept {
    markDead();
    // Still our child, but no longer ours to end: it outlives this session, and its profile stays with it.
    m_pid = 0;
    m_removeProfile = false;
}

bool OfficeSession::mayEndSharedOffice() noexcept {
    try {
        const Reference<css::container::XEnumeration> components = m_desktop->getComponents()->createEnumeration();
        while (components->hasMoreElements()) {
            const Reference<css::util::XModifiable> modifiable(components->nextElement(), UNO_QUERY);
            if (modifiable.is() && modifiable->isModified()) {
                return false;
            }
        }
    } catch (const Exception&) {
        // An office that no longer answers holds nothing that could still be saved.
    }
    return true;
}

void OfficeSession::terminate() noexcept {
    if (!m_owned) {
        release();
        return;
    }
    // The shown office is shared: the user may have typed into any of its documents, in a tab of this or of another
    // Velmora or in the office's own window. Ending it would throw that work away; it is left running instead, and
    // its watchdog ends it once nobody uses it and it holds no document.
    if (!m_headless && !m_dead && !mayEndSharedOffice()) {
        release();
        return;
    }
    if (!m_dead) {
        try {
            // Documents are closed without asking: terminate alone would refuse while one is modified.
            const Reference<css::container::XEnumeration> components = m_desktop->getComponents()->createEnumeration();
            while (components->hasMoreElements()) {
                const Reference<css::util::XCloseable> closeable(components->nextElement(), UNO_QUERY);
                if (closeable.is()) {
                    try {
                        closeable->close(true);
                    } catch (const Exception&) {
                    }
                }
            }
            m_desktop->terminate();
        } catch (const Exception&) {
            // A bridge that breaks while the office ends is the expected outcome.
        }
    }
    markDead();
    if (m_pid > 0) {
        QElapsedTimer clock;
        clock.start();
        while (processRunning() && clock.elapsed() < 5000) {
            QThread::msleep(10);
        }
        if (m_pid > 0) {
            ::kill(pid_t(m_pid), SIGKILL);
            waitpid(pid_t(m_pid), nullptr, 0);
            m_pid = -1;
        }
    }
    if (!m_profileDir.isEmpty() && m_removeProfile) {
        QDir(m_profileDir).removeRecursively();
    }
}

OfficeSession::~OfficeSession() {
    if (m_pid > 0) {
        terminate();
    }
    // An office that someone else runs stays; only the bridge to it goes, with its threads.
    try {
        if (const Reference<css::lang::XComponent> bridge(m_bridge, UNO_QUERY); bridge.is()) {
            bridge->dispose();
        }
    } catch (const Exception&) {
    }
}

} // namespace velmora::lo
