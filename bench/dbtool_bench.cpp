// velmoradb commands on a generated library of 100,000 documents (VELMORA_BENCH_DOCS changes the count) whose
// files all exist, each run as the tool runs it: open the library, answer, print. Generation happens once,
// before any benchmark, in a temporary folder (TMPDIR=/dev/shm keeps making and removing 100,000 files quick).
//
//   velmora_dbtool_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Goals: `tags --list` at most 100 ms, `check` (every record, every file looked up) at most 1 s.

#include "libgen.h"

#include "app/dbtool.h"
#include "common/errors.h"
#include "store/wordmgr.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace velmora;
using namespace velmora::bench;

namespace {

QString g_folder;

// Runs one command and fails the benchmark unless it succeeds with output.
void runCommand(benchmark::State& state, const QStringList& command) {
    const QStringList args = QStringList{QStringLiteral("--appdata"), g_folder} + command;
    qsizetype printed = 0;
    for (auto _ : state) {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        const int status = RunDbTool(args, outStream, errStream);
        if (status != 0 || out.isEmpty()) {
            state.SkipWithError(
                qPrintable(QStringLiteral("%1 exited %2: %3").arg(command.join(u' ')).arg(status).arg(err)));
            return;
        }
        printed = out.count(u'\n');
        benchmark::DoNotOptimize(out);
    }
    state.counters["lines"] = double(printed);
}

void BM_TagsList(benchmark::State& state) {
    runCommand(state, {QStringLiteral("tags"), QStringLiteral("--list")});
}

// Opening the library and reading every record, for comparison with the two above.
void BM_Stats(benchmark::State& state) {
    runCommand(state, {QStringLiteral("stats")});
}

void BM_Check(benchmark::State& state) {
    runCommand(state, {QStringLiteral("check")});
}

// Every record's document is made, as an empty file, so that `check` finds them all.
void makeDocuments(const QString& dataFile) {
    const TWordMgr store(dataFile, OpenMode::ReadOnly);
    const int count = store.GetRecNumber();
    for (int k = 0; k < count; ++k) {
        const QString path = store.StringAt(store.RecordAt(qint64(k) * TWordRec::Size).wdFullNamePos);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            throw VelmoraError(QStringLiteral("cannot make %1: %2").arg(path, file.errorString()), path);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    try {
        QTemporaryDir temp;
        if (!temp.isValid()) {
            throw VelmoraError(QStringLiteral("cannot make a temporary folder: %1").arg(temp.errorString()));
        }
        LibraryOptions options;
        options.root = temp.filePath(QStringLiteral("docs"));
        const QByteArray docs = qgetenv("VELMORA_BENCH_DOCS");
        if (!docs.isEmpty()) {
            options.count = docs.toInt();
        }
        QElapsedTimer timer;
        timer.start();
        const GeneratedLibrary lib = GenerateLibrary(temp.filePath(QStringLiteral("library")), options);
        makeDocuments(lib.dataFile);
        g_folder = lib.folder;
        std::fprintf(stderr, "library: %d records (%d live) in %s, with their files, made in %.1f s\n", lib.records,
                     lib.live, qPrintable(lib.folder), double(timer.elapsed()) / 1000.0);
        benchmark::RegisterBenchmark("velmoradb/tags_list", BM_TagsList)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("velmoradb/stats", BM_Stats)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("velmoradb/check_with_files", BM_Check)->Unit(benchmark::kMillisecond);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    } catch (const VelmoraError& error) {
        std::fprintf(stderr, "velmora_dbtool_bench: %s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
