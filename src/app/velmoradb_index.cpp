#include "dbtool.h"

#include <QStringList>
#include <QTextStream>

// velmoradb with the document reader: velmoradb hands it the index command.
int main(int argc, char* argv[]) {
    const QStringList args = velmora::DecodeArguments(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velmora::RunDbTool(args, out, err, &velmora::ReadDocumentText);
}
