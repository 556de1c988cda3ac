#include "dbtool.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmoradb"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velmora::RunDbTool(QCoreApplication::arguments().mid(1), out, err);
}
