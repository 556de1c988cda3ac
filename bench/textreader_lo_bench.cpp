// The same 50 one-page notes read by the built-in reader and by LibreOffice through TiWord (open read-only, the
// text by name, close), side by side. LibreOffice runs headless with a private profile in a temporary folder.
//
//   velmora_textreader_lo_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include "notedocx.h"

#include "office/libreoffice/libreoffice.h"
#include "office/tiword.h"
#include "textreader/documenttext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace velmora;
using namespace velmora::bench;

namespace {

constexpr int kNotes = 50;

struct Setup {
    QTemporaryDir temp;
    QStringList paths;
    std::unique_ptr<TiWord> word;
};

Setup& setup() {
    static const std::unique_ptr<Setup> made = [] {
        auto s = std::make_unique<Setup>();
        QDir().mkpath(s->temp.filePath(QStringLiteral("tmp")));
        QDir().mkpath(s->temp.filePath(QStringLiteral("cache")));
        qputenv("TMPDIR", s->temp.filePath(QStringLiteral("tmp")).toUtf8());
        qputenv("XDG_CACHE_HOME", s->temp.filePath(QStringLiteral("cache")).toUtf8());
        for (int i = 0; i < kNotes; ++i) {
            const QString path = s->temp.filePath(QStringLiteral("note%1.docx").arg(i));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(MakeNoteDocx(1, i % 2 == 0, i)) < 0) {
                qFatal("cannot write %s", qPrintable(path));
            }
            s->paths.append(path);
        }
        if (!RegisterLibreOfficeServers()) {
            qFatal("LibreOffice is not installed");
        }
        s->word = std::make_unique<TiWord>(true);
        return s;
    }();
    return *made;
}

void BM_FiftyNotes_BuiltInReader(benchmark::State& state) {
    const Setup& s = setup();
    for (auto _ : state) {
        for (const QString& path : s.paths) {
            benchmark::DoNotOptimize(ReadDocumentText(path).text.size());
        }
    }
}
BENCHMARK(BM_FiftyNotes_BuiltInReader)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FiftyNotes_LibreOffice(benchmark::State& state) {
    Setup& s = setup();
    for (auto _ : state) {
        for (const QString& path : s.paths) {
            s.word->OpenWordFile(path, QString(), true);
            benchmark::DoNotOptimize(s.word->GetDocTextByName(path).size());
            s.word->CloseWordFileByName(path);
        }
    }
}
BENCHMARK(BM_FiftyNotes_LibreOffice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    setup().word.reset();
    return 0;
}
