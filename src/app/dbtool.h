#pragma once

#include "textreader/documenttext.h"

#include <QStringList>

class QTextStream;

namespace velmora {

// How `index` and `relink` read a document. The reader's libraries cost every command milliseconds of start-up,
// so only the program that reads documents (velmoradb-index, which velmoradb hands those commands to) passes one.
using DocumentReader = DocumentText (*)(const QString& path);

// velmoradb: the library from the command line. Returns the exit status: 0 success, 1 an error, 2 a usage
// error. `args` excludes the program name.
int RunDbTool(const QStringList& args, QTextStream& out, QTextStream& err, DocumentReader reader = nullptr);

// Whether args (as RunDbTool takes them) ask for a command that reads documents (index, relink).
bool NeedsDocumentReader(const QStringList& args);

// A command-line argument or a file name as the system gives it. Bytes that are not UTF-8 are kept as the
// unpaired surrogates U+DC80 to U+DCFF, so that such a name can be reported as what it is instead of turning
// into another name that does not exist.
QString DecodeSystemName(QByteArrayView bytes);
QStringList DecodeArguments(int argc, char* argv[]);

} // namespace velmora
