#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// The whole content of a file. A file that cannot be opened or read to its end raises an error naming it and
// the system's reason: a short read must never pass for the file's content.
QByteArray ReadWholeFile(const QString& path);

} // namespace velmora
