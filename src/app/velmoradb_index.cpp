#include "dbtool.h"

#include <QStringList>
#include <QTextStream>

// velmoradb with the document reader: velmoradb hands it the index command.
int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args.append(QString::fromLocal8Bit(argv[i]));
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velmora::RunDbTool(args, out, err, &velmora::ReadDocumentText);
}
