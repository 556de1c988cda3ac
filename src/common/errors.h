#pragma once

#include <QString>

#include <stdexcept>

namespace velmora {

// The one error type of the core layers. It carries the file and, for binary formats, the byte offset it
// concerns, so that a message shown to the user or printed by the command-line tool says where to look.
class VelmoraError : public std::runtime_error {
public:
    explicit VelmoraError(const QString& message, const QString& file = {}, qint64 offset = -1);

    QString message() const { return m_message; }
    QString file() const { return m_file; }
    qint64 offset() const { return m_offset; }

private:
    QString m_message;
    QString m_file;
    qint64 m_offset;
};

} // namespace velmora
