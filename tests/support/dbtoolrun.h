#pragma once

#include "app/dbtool.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace velmora::test {

// One velmoradb command run in this process, with what it printed on each stream.
struct Run {
    int status = -1;
    QString out;
    QString err;
};

inline Run RunCaptured(const QStringList& args, DocumentReader reader = nullptr) {
    Run result;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    result.status = RunDbTool(args, out, err, reader);
    return result;
}

} // namespace velmora::test
