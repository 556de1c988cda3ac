#include "benchmain.h"

#include "common/errors.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace velmora::bench {

int BenchMain(int argc, char** argv, const std::function<void()>& body) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    QCoreApplication app(argc, argv);
    try {
        body();
    } catch (const VelmoraError& error) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()),
                     qPrintable(error.message()));
        return 1;
    }
    return 0;
}

void RunRegisteredBenchmarks() {
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

} // namespace velmora::bench
