#pragma once

#include "common/errors.h"

namespace velmora {

// Why an automation call failed. Callers mostly only show the message; the reason lets a caller tell a server
// that has gone away (reconnect) from one that refused a single call.
enum class AutomationFault {
    Failed,        // the server raised an error of its own
    UnknownMember, // no member of that name
    BadArguments,  // wrong number or kind of arguments, or an index out of range
    TypeMismatch,  // a value could not be converted to the kind asked for
    NotAnObject,   // a member was addressed on a value that holds no object
    NoServer,      // no server registered (or running) under the program identifier
    Disconnected,  // the server process is gone
};

// The one error type of the automation layer, carrying the server's own message.
class AutomationError : public VelmoraError {
public:
    explicit AutomationError(const QString& message, AutomationFault fault = AutomationFault::Failed);

    AutomationFault fault() const { return m_fault; }

private:
    AutomationFault m_fault;
};

} // namespace velmora
