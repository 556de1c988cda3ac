#include "loobject.h"

#include "officesession.h"

#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>

namespace velmora::lo {

std::optional<OleVariant> Request::arg(int position, const char* name) const {
    for (const NamedArg& named : this->named) {
        if (named.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
            return named.value.isMissing() ? std::nullopt : std::optional<OleVariant>(named.value.byValue());
        }
    }
    if (position >= 0 && position < args.size() && !args.at(position).isMissing()) {
        return args.at(position).byValue();
    }
    return std::nullopt;
}

QString Request::text(int position, const char* name, const QString& fallback) const {
    const auto value = arg(position, name);
    return value ? value->toString() : fallback;
}

int Request::integer(int position, const char* name, int fallback) const {
    const auto value = arg(position, name);
    return value ? value->toInt() : fallback;
}

bool Request::boolean(int position, const char* name, bool fallback) const {
    const auto value = arg(position, name);
    return value ? value->toBool() : fallback;
}

template <typename Body>
auto LoObject::guarded(Body body) -> decltype(body()) {
    m_session->checkAlive();
    try {
        return body();
    } catch (const AutomationError&) {
        throw;
    } catch (const css::lang::DisposedException&) {
        m_session->markDead();
        throw AutomationError(QStringLiteral("LibreOffice is no longer running"), AutomationFault::Disconnected);
    } catch (const css::uno::RuntimeException&) {
        const QString message = CaughtMessage();
        // A broken pipe shows as a plain runtime error; the process tells whether it was one.
        try {
            m_session->checkAlive();
        } catch (const AutomationError&) {
            throw;
        }
        throw AutomationError(message, AutomationFault::Failed);
    } catch (const css::uno::Exception&) {
        throw AutomationError(CaughtMessage(), AutomationFault::Failed);
    } catch (const std::exception& e) {
        throw AutomationError(QString::fromLocal8Bit(e.what()), AutomationFault::Failed);
    }
}

namespace {

// An empty member name is the default member, which is Value for every object that has one.
QString keyOf(const QString& name) {
    return name.isEmpty() ? QStringLiteral("value") : name.toLower();
}

} // namespace

OleVariant LoObject::getProperty(const QString& name, const OleArgs& index) {
    static const OleNamedArgs none;
    return guarded([&] { return invoke(Request{name, keyOf(name), index, none, false}); });
}

void LoObject::putProperty(const QString& name, const OleArgs& index, const OleVariant& value) {
    static const OleNamedArgs none;
    guarded([&] { assign(Request{name, keyOf(name), index, none, false}, value.byValue()); });
}

OleVariant LoObject::callMethod(const QString& name, const OleArgs& args, const OleNamedArgs& named) {
    return guarded([&] { return invoke(Request{name, keyOf(name), args, named, true}); });
}

void LoObject::assign(const Request& request, const OleVariant&) {
    throw AutomationError(QStringLiteral("%1.%2 cannot be written").arg(typeName(), request.name),
                          AutomationFault::UnknownMember);
}

void LoObject::unknown(const Request& request) const {
    throw AutomationError(QStringLiteral("%1 has no member %2").arg(typeName(), request.name),
                          AutomationFault::UnknownMember);
}

void LoObject::fail(const QString& message, AutomationFault fault) {
    throw AutomationError(message, fault);
}

} // namespace velmora::lo
