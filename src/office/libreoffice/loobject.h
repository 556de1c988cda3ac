#pragma once

#include "office/automation/automationerror.h"
#include "office/automation/dispatch.h"

#include <QString>

#include <memory>
#include <optional>

namespace velmora::lo {

class OfficeSession;

// One member request as a server sees it: a read with arguments and a call are the same request, and `call`
// only tells a bare read from a call without arguments.
struct Request {
    QString name; // as the client wrote it
    QString key;  // lower case
    const OleArgs& args;
    const OleNamedArgs& named;
    bool call = false;

    bool is(const char* member) const { return key == QLatin1String(member); }
    // The argument at a position or by its name; nothing when left out (missing counts as left out).
    std::optional<OleVariant> arg(int position, const char* name) const;
    QString text(int position, const char* name, const QString& fallback = {}) const;
    int integer(int position, const char* name, int fallback) const;
    bool boolean(int position, const char* name, bool fallback) const;
};

// What every object of a LibreOffice server has: the session it talks to, the translation of every failure into
// AutomationError, and the refusal of unknown members by name.
class LoObject : public Dispatch {
public:
    explicit LoObject(std::shared_ptr<OfficeSession> session) : m_session(std::move(session)) {}

    OleVariant getProperty(const QString& name, const OleArgs& index) final;
    void putProperty(const QString& name, const OleArgs& index, const OleVariant& value) final;
    OleVariant callMethod(const QString& name, const OleArgs& args, const OleNamedArgs& named) final;

    const std::shared_ptr<OfficeSession>& session() const { return m_session; }

protected:
    virtual OleVariant invoke(const Request& request) = 0;
    virtual void assign(const Request& request, const OleVariant& value);
    // What the object is called in error messages ("Document", "Selection.Font").
    virtual QString typeName() const = 0;

    [[noreturn]] void unknown(const Request& request) const;
    [[noreturn]] static void fail(const QString& message, AutomationFault fault = AutomationFault::Failed);

    // Runs body and turns every failure into AutomationError, marking the session dead when the office went away.
    template <typename Body>
    auto guarded(Body body) -> decltype(body());

    std::shared_ptr<OfficeSession> m_session;
};

template <typename T, typename... Args>
OleVariant MakeObject(Args&&... args) {
    return OleVariant(std::shared_ptr<Dispatch>(std::make_shared<T>(std::forward<Args>(args)...)));
}

} // namespace velmora::lo
