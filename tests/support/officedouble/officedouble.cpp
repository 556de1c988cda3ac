#include "officedouble.h"

#include "doubleobject.h"
#include "office/automation/automationerror.h"
#include "office/automation/oleserver.h"

namespace velmora::test {

namespace {

const QString kWord = QStringLiteral("Word.Application");
const QString kExcel = QStringLiteral("Excel.Application");

QString memberLine(const QString& path, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                   bool call) {
    QString line = path.isEmpty() ? QString() : path + QLatin1Char('.');
    line += name.isEmpty() ? QStringLiteral("[default]") : name;
    if (call || !args.isEmpty() || !named.isEmpty()) {
        QStringList parts;
        for (const OleVariant& arg : args) {
            parts.append(DescribeValue(arg));
        }
        for (const NamedArg& arg : named) {
            parts.append(arg.name + QLatin1Char('=') + DescribeValue(arg.value));
        }
        line += QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    return line;
}

} // namespace

QString DescribeValue(const OleVariant& value) {
    if (!value.isObject()) {
        return value.describe();
    }
    const auto* object = dynamic_cast<const DoubleObject*>(value.toObject().get());
    const QString text = object ? QStringLiteral("obj:") + object->path() : QStringLiteral("obj");
    return value.isByRef() ? QLatin1Char('&') + text : text;
}

void RaiseUnknown(const QString& name) {
    throw AutomationError(QStringLiteral("Unknown name: %1").arg(name), AutomationFault::UnknownMember);
}

void RaiseBadArgs(const QString& why) {
    throw AutomationError(why, AutomationFault::BadArguments);
}

void RaiseFailed(const QString& why) {
    throw AutomationError(why, AutomationFault::Failed);
}

OleVariant Arg(const OleArgs& args, const OleNamedArgs& named, int index, const QString& name) {
    for (const NamedArg& arg : named) {
        if (arg.name.compare(name, Qt::CaseInsensitive) == 0) {
            return arg.value;
        }
    }
    return index < args.size() ? args.at(index) : OleVariant::missing();
}

QString PathFileName(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// --- DoubleObject ---

DoubleObject::DoubleObject(std::shared_ptr<ServerDouble> server, QString path)
    : m_server(std::move(server)), m_path(std::move(path)) {}

OleVariant DoubleObject::getProperty(const QString& name, const OleArgs& index) {
    m_server->enter(memberLine(m_path, name, index, {}, false));
    OleVariant result = invoke(name.toLower(), name, index, {}, false);
    if (result.isObject()) {
        m_server->markNavigation();
    }
    return result;
}

void DoubleObject::putProperty(const QString& name, const OleArgs& index, const OleVariant& value) {
    m_server->enter(memberLine(m_path, name, index, {}, false) + QStringLiteral(" := ") + DescribeValue(value));
    assign(name.toLower(), name, index, value);
}

OleVariant DoubleObject::callMethod(const QString& name, const OleArgs& args, const OleNamedArgs& named) {
    m_server->enter(memberLine(m_path, name, args, named, true));
    return invoke(name.toLower(), name, args, named, true);
}

OleVariant DoubleObject::invoke(const QString&, const QString& name, const OleArgs&, const OleNamedArgs&, bool) {
    RaiseUnknown(name);
}

void DoubleObject::assign(const QString&, const QString& name, const OleArgs&, const OleVariant&) {
    RaiseUnknown(name);
}

QString DoubleObject::child(const QString& name, const OleArgs& args) const {
    return memberLine(m_path, name, args, {}, false);
}

// --- BagObject ---

BagObject::BagObject(std::shared_ptr<ServerDouble> server, QString path, QString key)
    : DoubleObject(std::move(server), std::move(path)), m_key(std::move(key)) {}

OleVariant BagObject::invoke(const QString&, const QString& name, const OleArgs& args, const OleNamedArgs&, bool call) {
    const QString childKey = m_key + QLatin1Char('.') + name;
    if (!call && args.isEmpty() && m_server->isBag(childKey)) {
        return make<BagObject>(child(name), childKey);
    }
    if (call) {
        return OleVariant(); // a method of a plain object: only the log line matters
    }
    return m_server->property(m_key, name);
}

void BagObject::assign(const QString&, const QString& name, const OleArgs&, const OleVariant& value) {
    m_server->setProperty(m_key, name, value);
}

// --- ServerDouble ---

ServerDouble::ServerDouble(OfficeDouble* owner, QString progId) : m_owner(owner), m_progId(std::move(progId)) {}

ServerDouble::~ServerDouble() = default;

QStringList ServerDouble::log() const {
    QStringList lines;
    for (const Entry& entry : m_log) {
        if (!entry.navigation) {
            lines.append(entry.line);
        }
    }
    return lines;
}

QStringList ServerDouble::fullLog() const {
    QStringList lines;
    for (const Entry& entry : m_log) {
        lines.append(entry.line);
    }
    return lines;
}

void ServerDouble::clearLog() {
    m_log.clear();
}

void ServerDouble::failOn(const QString& prefix, int times, const QString& message) {
    m_failRules.append({prefix, times, message});
}

void ServerDouble::die() {
    m_dead = true;
    RevokeActiveObject(m_progId, m_registered);
    m_registered = nullptr;
}

void ServerDouble::quitNow() {
    m_quit = true;
    die();
}

void ServerDouble::enter(const QString& line) {
    if (m_dead) {
        throw AutomationError(QStringLiteral("The RPC server is unavailable."), AutomationFault::Disconnected);
    }
    m_log.append({line, false});
    for (FailRule& rule : m_failRules) {
        if (rule.times != 0 && line.startsWith(rule.prefix)) {
            if (rule.times > 0) {
                --rule.times;
            }
            throw AutomationError(rule.message, AutomationFault::Failed);
        }
    }
}

void ServerDouble::markNavigation() {
    if (!m_log.isEmpty()) {
        m_log.last().navigation = true;
    }
}

OleVariant ServerDouble::property(const QString& object, const QString& name) const {
    return m_properties.value(object.toLower() + QLatin1Char('.') + name.toLower());
}

void ServerDouble::setProperty(const QString& object, const QString& name, const OleVariant& value) {
    // The stored value is the value, not the way it was passed.
    m_properties.insert(object.toLower() + QLatin1Char('.') + name.toLower(), value.byValue());
}

std::shared_ptr<Dispatch> ServerDouble::application() {
    std::shared_ptr<Dispatch> app = m_application.lock();
    if (!app) {
        app = makeApplication();
        m_application = app;
    }
    return app;
}

void ServerDouble::makeActive() {
    std::shared_ptr<Dispatch> app = application();
    m_registered = app.get();
    RegisterActiveObject(m_progId, app);
}

// --- OfficeDouble ---

OfficeDouble::OfficeDouble() {
    install(kWord);
    install(kExcel);
}

OfficeDouble::~OfficeDouble() {
    UnregisterOleServer(kWord);
    UnregisterOleServer(kExcel);
    for (const auto& server : words) {
        server->die();
    }
    for (const auto& server : excels) {
        server->die();
    }
}

void OfficeDouble::install(const QString& progId) {
    RegisterOleServer(progId, [this, progId]() -> std::shared_ptr<Dispatch> {
        std::shared_ptr<ServerDouble> server;
        if (progId == kWord) {
            words.append(std::make_shared<WordDouble>(this, progId));
            server = words.last();
        } else {
            excels.append(std::make_shared<ExcelDouble>(this, progId));
            server = excels.last();
        }
        if (createdServersRegister) {
            server->makeActive();
        }
        if (serverStarted) {
            serverStarted(*server);
        }
        return server->application();
    });
}

void OfficeDouble::setInstalled(const QString& progId, bool installed) {
    if (installed) {
        install(progId);
    } else {
        UnregisterOleServer(progId);
    }
}

std::shared_ptr<WordDouble> OfficeDouble::startWord() {
    words.append(std::make_shared<WordDouble>(this, kWord));
    words.last()->makeActive();
    return words.last();
}

std::shared_ptr<ExcelDouble> OfficeDouble::startExcel() {
    excels.append(std::make_shared<ExcelDouble>(this, kExcel));
    excels.last()->makeActive();
    return excels.last();
}

} // namespace velmora::test
