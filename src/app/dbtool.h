#pragma once

#include <QStringList>

class QTextStream;

namespace velmora {

// velmoradb: the library from the command line. Returns the exit status: 0 success, 1 an error, 2 a usage
// error. `args` excludes the program name.
int RunDbTool(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace velmora
