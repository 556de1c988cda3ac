// velmora_genlib OUTDIR [COUNT] [SEED]: writes a generated library for benchmarks and trials by hand.

#include "libgen.h"
#include "sqlitemirror.h"

#include "common/errors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty() || args.size() > 3 || args.first().startsWith(QLatin1Char('-'))) {
        err << "usage: velmora_genlib OUTDIR [COUNT] [SEED]\n"
               "  writes OUTDIR/worddata.idx, OUTDIR/worddata.data and OUTDIR/library.sqlite\n"
               "  (COUNT documents, 100000 by default; the same SEED gives the same library on the same day)\n";
        return 2;
    }
    velmora::bench::LibraryOptions options;
    bool ok = true;
    if (args.size() > 1) {
        options.count = args.at(1).toInt(&ok);
    }
    if (ok && args.size() > 2) {
        options.seed = args.at(2).toULongLong(&ok);
    }
    if (!ok || options.count < 1) {
        err << "velmora_genlib: COUNT and SEED are positive whole numbers\n";
        return 2;
    }
    try {
        QElapsedTimer timer;
        timer.start();
        const auto lib = velmora::bench::GenerateLibrary(args.first(), options);
        out << "folder: " << lib.folder << '\n'
            << "records: " << lib.records << '\n'
            << "live: " << lib.live << '\n'
            << "deleted: " << lib.deleted << '\n'
            << "with password: " << lib.withPassword << '\n'
            << "untagged (live): " << lib.untagged << '\n'
            << "late live path: " << lib.lateLivePath << '\n'
            << "absent path: " << lib.absentPath << '\n'
            << "tag query: " << velmora::bench::TagFamilyQuery() << '\n'
            << "tag sql: " << velmora::bench::TagQuerySql(velmora::bench::TagFamily(), true) << '\n'
            << "seconds: " << double(timer.elapsed()) / 1000.0 << '\n';
    } catch (const velmora::VelmoraError& error) {
        err << "velmora_genlib: " << error.message() << '\n';
        return 1;
    }
    return 0;
}
