// The text cache write of a closing tab: a typed note's text read by the built-in reader and written compressed,
// for a one-page and a twenty-page Chinese note. The office is the double: a Word file never reaches it.
//
//   velmora_cachewriter_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "notedocx.h"
#include "officedouble.h"

#include "common/appfolder.h"
#include "office/tiword.h"
#include "workbench/tabs/cachewriter.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace velmora;

namespace {

void BM_WriteTextCacheOnClose(benchmark::State& state) {
    QTemporaryDir dir;
    SetAppDataFolder(dir.path());
    const QString path = dir.filePath(QStringLiteral("note.docx"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bench::MakeNoteDocx(int(state.range(0)), true, 7)) < 0) {
        state.SkipWithError("cannot write the note");
        return;
    }
    file.close();
    test::OfficeDouble office;
    TiWord word(false);
    for (auto _ : state) {
        WriteTextCacheFor(word, path);
    }
    SetAppDataFolder(QString());
}
BENCHMARK(BM_WriteTextCacheOnClose)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
