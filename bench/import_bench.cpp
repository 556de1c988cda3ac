// The import of 1,000 one-page Chinese notes (.docx) with indexing and no password, and where its time goes: the
// records alone (no indexing), the built-in reader alone, and the cache files alone. No office is started: every
// note is one the built-in reader reads.
//
//   velmora_import_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "notedocx.h"

#include "common/appfolder.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/core/tagstrip.h"
#include "workbench/import/importrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace velmora;

namespace {

constexpr int kNotes = 1000;

class NoStrip final : public TagStrip {
public:
    QString GetCurrDocTags(int, const QString&, bool) override { return {}; }
    void StoreTypedTags(int) override {}
    QString GetCurrDocPSW(int) override { return {}; }
    void SetPSToDoc(const QString&, const QString&) override {}
    void ClearTagPanel() override {}
    void LoadTagPanel(int) override {}
};

// The notes, made once for every benchmark of the run.
struct Notes {
    QTemporaryDir dir;
    QStringList paths;
    Notes() {
        const QString folder = dir.filePath(QStringLiteral("笔记"));
        QDir().mkpath(folder);
        for (int i = 0; i < kNotes; ++i) {
            const QString path = folder + QStringLiteral("/笔记%1.docx").arg(i, 4, 10, QLatin1Char('0'));
            QFile file(path);
            if (file.open(QIODevice::WriteOnly)) {
                file.write(bench::MakeNoteDocx(1, true, i));
            }
            paths.append(path);
        }
    }
};

Notes& TheNotes() {
    static Notes notes;
    return notes;
}

// A fresh data folder per iteration, so that every run imports into an empty library.
void RunImport(benchmark::State& state, bool index) {
    Notes& notes = TheNotes();
    ImportOptions options;
    for (const QString& path : notes.paths) {
        options.items.append({path, false});
    }
    options.index = index;
    NoStrip strip;
    for (auto _ : state) {
        state.PauseTiming();
        auto data = std::make_unique<QTemporaryDir>();
        SetAppDataFolder(data->path());
        state.ResumeTiming();
        TWordMgr store(data->filePath(QStringLiteral("worddata.data")));
        ImportRun run(store, strip, options);
        while (!run.atEnd()) {
            run.next();
        }
        run.finish();
        if (run.importedCount() != kNotes || !run.failures().isEmpty() || run.officeStarted()) {
            state.SkipWithError("not every note was imported without the office");
        }
        state.PauseTiming();
        data.reset();
        state.ResumeTiming();
    }
    SetAppDataFolder(QString());
}

void BM_ImportIndexed(benchmark::State& state) {
    RunImport(state, true);
}
BENCHMARK(BM_ImportIndexed)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImportRecordsOnly(benchmark::State& state) {
    RunImport(state, false);
}
BENCHMARK(BM_ImportRecordsOnly)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadNotes(benchmark::State& state) {
    Notes& notes = TheNotes();
    for (auto _ : state) {
        for (const QString& path : notes.paths) {
            benchmark::DoNotOptimize(ReadDocumentText(path));
        }
    }
}
BENCHMARK(BM_ReadNotes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteCaches(benchmark::State& state) {
    Notes& notes = TheNotes();
    QStringList texts;
    for (const QString& path : notes.paths) {
        texts.append(ReadDocumentText(path).text);
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto data = std::make_unique<QTemporaryDir>();
        SetAppDataFolder(data->path());
        state.ResumeTiming();
        for (qsizetype i = 0; i < texts.size(); ++i) {
            WriteTextCache(notes.paths.at(i), texts.at(i));
        }
        state.PauseTiming();
        data.reset();
        state.ResumeTiming();
    }
    SetAppDataFolder(QString());
}
BENCHMARK(BM_WriteCaches)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
