#include "dbtool.h"

#include <QStringList>
#include <QTextStream>

#include <cstdio>

// No application object: the tool runs no event loop, and every millisecond of start-up is paid by each
// command a script runs.
int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args.append(QString::fromLocal8Bit(argv[i]));
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velmora::RunDbTool(args, out, err);
}
