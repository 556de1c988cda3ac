// The built-in text reader: one note, a long Chinese note, and `velmoradb index --all` over a library of
// 1,000 one-page notes (VELMORA_BENCH_NOTES changes the count), all generated once in a temporary folder.
//
//   velmora_textreader_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "notedocx.h"

#include "app/dbtool.h"
#include "textreader/documenttext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <memory>

using namespace velmora;
using namespace velmora::bench;

namespace {

struct Notes {
    QTemporaryDir temp;
    QString onePage;
    QString fiftyPagesChinese;
    QString appData;
    int libraryCount = 0;
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

int runTool(const QStringList& args) {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    return RunDbTool(args, outStream, errStream);
}

Notes& notes() {
    static const std::unique_ptr<Notes> made = [] {
        auto n = std::make_unique<Notes>();
        n->onePage = n->temp.filePath(QStringLiteral("one-page.docx"));
        writeFile(n->onePage, MakeNoteDocx(1, false, 0));
        n->fiftyPagesChinese = n->temp.filePath(QStringLiteral("fifty-pages.docx"));
        writeFile(n->fiftyPagesChinese, MakeNoteDocx(50, true, 0));

        n->libraryCount = qEnvironmentVariableIsSet("VELMORA_BENCH_NOTES")
                              ? qEnvironmentVariableIntValue("VELMORA_BENCH_NOTES")
                              : 1000;
        n->appData = n->temp.filePath(QStringLiteral("appdata"));
        const QString docs = n->temp.filePath(QStringLiteral("notes/"));
        QDir().mkpath(docs);
        QStringList add{QStringLiteral("--appdata"), n->appData, QStringLiteral("add")};
        for (int i = 0; i < n->libraryCount; ++i) {
            const QString path = docs + QStringLiteral("笔记%1.docx").arg(i);
            writeFile(path, MakeNoteDocx(1, i % 2 == 0, i));
            add.append(path);
        }
        if (runTool(add) != 0) {
            qFatal("cannot add the generated notes to the library");
        }
        return n;
    }();
    return *made;
}

void readOrDie(const QString& path, benchmark::State& state) {
    const DocumentText read = ReadDocumentText(path);
    if (!read.ok()) {
        state.SkipWithError(qPrintable(read.reason));
    }
    benchmark::DoNotOptimize(read.text.size());
}

void BM_ReadOnePageDocx(benchmark::State& state) {
    const QString path = notes().onePage;
    for (auto _ : state) {
        readOrDie(path, state);
    }
}
BENCHMARK(BM_ReadOnePageDocx)->Unit(benchmark::kMicrosecond);

void BM_ReadFiftyPageChineseDocx(benchmark::State& state) {
    const QString path = notes().fiftyPagesChinese;
    for (auto _ : state) {
        readOrDie(path, state);
    }
}
BENCHMARK(BM_ReadFiftyPageChineseDocx)->Unit(benchmark::kMillisecond);

void BM_IndexAll(benchmark::State& state) {
    const Notes& n = notes();
    for (auto _ : state) {
        if (runTool({QStringLiteral("--appdata"), n.appData, QStringLiteral("index"), QStringLiteral("--all")}) != 0) {
            state.SkipWithError("velmoradb index --all failed");
        }
    }
    state.counters["notes"] = n.libraryCount;
}
BENCHMARK(BM_IndexAll)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
