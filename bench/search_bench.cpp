// The search on a generated library of 100,000 documents, 10,000 of them with a cached text of about 20 KB of
// Chinese (10,000 characters, GBK): a whole-text search in "A与B" the first time (every cache file read and
// inflated, on all cores) and repeated (the texts kept in memory), a name and tag search, and beside them
// `grep -rlF` over the same texts stored uncompressed, the floor to compare with. The files are in the system's
// page cache in every case: the first search is the first of the program, not of the machine.
//
//   velmora_search_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "benchmain.h"
#include "libgen.h"

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "common/errors.h"
#include "common/textcodec.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "workbench/core/searchtexts.h"
#include "workbench/core/searchwalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace velmora;
using namespace velmora::bench;

namespace {

constexpr int kCachedTexts = 10000;
constexpr qsizetype kTextChars = 10 * 1024;

struct Library {
    QTemporaryDir temp;
    GeneratedLibrary lib;
    std::unique_ptr<TWordMgr> store;
    QString plainFolder;
    SearchTexts keptTexts;
    QString firstCached;
};
Library* g_library = nullptr;

// The second keyword is in no text, so every text is searched to its end: the slowest "A与B" there is.
const QString kTextKeywords = QStringLiteral("会议 龙虾");

QString runSearch(const SearchRequest& request, SearchTexts& texts) {
    SearchWalk walk(request, AllRecordPositions(*g_library->store));
    walk.step(*g_library->store, g_library->store->GetRecNumber());
    const std::atomic<bool> cancelled{false};
    MatchCachedTexts(walk.waiting(), texts, cancelled);
    return walk.result();
}

void BM_TextSearchFirstTime(benchmark::State& state) {
    for (auto _ : state) {
        SearchTexts texts;
        benchmark::DoNotOptimize(runSearch({kTextKeywords, SearchMode::All, SearchText}, texts));
    }
}

void BM_TextSearchRepeated(benchmark::State& state) {
    runSearch({kTextKeywords, SearchMode::All, SearchText}, g_library->keptTexts);
    for (auto _ : state) {
        benchmark::DoNotOptimize(runSearch({kTextKeywords, SearchMode::All, SearchText}, g_library->keptTexts));
    }
    state.counters["kept_MiB"] = double(g_library->keptTexts.keptBytes()) / (1 << 20);
}

void BM_NameAndTagSearch(benchmark::State& state) {
    SearchTexts texts(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            runSearch({QStringLiteral("项目 管理"), SearchMode::All, SearchFileName | SearchTags}, texts));
    }
}

// The floor: grep over the same texts uncompressed (UTF-8), for the first keyword alone.
void BM_GrepFloor(benchmark::State& state) {
    for (auto _ : state) {
        QProcess grep;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        grep.setProcessEnvironment(environment);
        grep.start(QStringLiteral("grep"), {QStringLiteral("-rlF"), QStringLiteral("龙虾"), g_library->plainFolder});
        grep.waitForFinished(-1);
        benchmark::DoNotOptimize(grep.readAllStandardOutput());
    }
}

// Where the time of one text goes: reading, inflating, decoding and folding its cache file (0), decoding and
// folding alone (1), searching the folded text (2).
void BM_OneText(benchmark::State& state) {
    const QString text = SampleChineseText(kTextChars, 7);
    const QString folded = FoldedCacheText(TextToBytes(text));
    const SearchKeywords keywords(kTextKeywords, SearchMode::All);
    for (auto _ : state) {
        switch (state.range(0)) {
        case 0: {
            SearchTexts texts(0);
            benchmark::DoNotOptimize(texts.cached(g_library->firstCached));
            break;
        }
        case 1:
            benchmark::DoNotOptimize(FoldedCacheText(TextToBytes(text)));
            break;
        default: {
            DocumentMatch match(&keywords);
            match.feed(folded, true);
            benchmark::DoNotOptimize(match.matched());
        }
        }
    }
}

void prepare(Library& library) {
    QElapsedTimer timer;
    timer.start();
    LibraryOptions options;
    const QByteArray docs = qgetenv("VELMORA_BENCH_DOCS");
    if (!docs.isEmpty()) {
        options.count = docs.toInt();
    }
    library.lib = GenerateLibrary(library.temp.filePath(QStringLiteral("library")), options);
    SetAppDataFolder(library.lib.folder);
    library.store = std::make_unique<TWordMgr>(library.lib.dataFile, OpenMode::ReadOnly);
    library.plainFolder = library.temp.filePath(QStringLiteral("plain"));
    QDir().mkpath(library.plainFolder);
    QDir().mkpath(TextCacheFolder());
    // Spread over the library, so that the cached documents are not all at its start.
    const int records = library.store->GetRecNumber();
    const int step = std::max(1, library.lib.live / kCachedTexts);
    int written = 0;
    qint64 bytes = 0;
    for (int k = 0, live = 0; k < records && written < kCachedTexts; ++k) {
        const TWordRec rec = library.store->RecordAt(qint64(k) * TWordRec::Size);
        if (rec.wdDeleted || live++ % step != 0) {
            continue;
        }
        const QString path = library.store->StringAt(rec.wdFullNamePos);
        const QString text = SampleChineseText(kTextChars, quint64(k) + 1);
        const QByteArray packed = CompressText(text);
        QFile cache(TextCachePath(path));
        QFile plain(library.plainFolder + QStringLiteral("/%1.txt").arg(k));
        if (!cache.open(QIODevice::WriteOnly) || cache.write(packed) != packed.size() ||
            !plain.open(QIODevice::WriteOnly) || plain.write(text.toUtf8()) < 0) {
            throw VelmoraError(QStringLiteral("cannot write the texts of %1").arg(path));
        }
        bytes += text.size();
        if (library.firstCached.isEmpty()) {
            library.firstCached = path;
        }
        ++written;
    }
    std::fprintf(stderr, "library: %d records (%d live), %d cached texts of %lld characters on average, in %.1f s\n",
                 library.lib.records, library.lib.live, written, written > 0 ? bytes / written : 0,
                 double(timer.elapsed()) / 1000.0);
}

} // namespace

BENCHMARK(BM_OneText)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextSearchFirstTime)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TextSearchRepeated)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_NameAndTagSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrepFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
    return BenchMain(argc, argv, [] {
        Library library;
        g_library = &library;
        prepare(library);
        RunRegisteredBenchmarks();
        g_library = nullptr;
    });
}
