#include "errors.h"

namespace velmora {

VelmoraError::VelmoraError(const QString& message, const QString& file, qint64 offset)
    : std::runtime_error(message.toStdString()), m_message(message), m_file(file), m_offset(offset) {}

} // namespace velmora
