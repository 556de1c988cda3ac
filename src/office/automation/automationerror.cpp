#include "automationerror.h"

namespace velmora {

AutomationError::AutomationError(const QString& message, AutomationFault fault)
    : VelmoraError(message), m_fault(fault) {}

} // namespace velmora
