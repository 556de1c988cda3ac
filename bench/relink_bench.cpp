// Relinking and the pinyin search at the sizes they are meant for:
// - 1,000 library documents whose files were moved (one in ten renamed too) below a folder of 100,000 files:
//   the moved documents, 2,000 other Word documents the library does not hold, and 97,000 other files (pictures,
//   text), 100 to a folder. Each record has its text cache, written from the built-in reader's text. Timed: finding
//   the missing records, the walk, the comparisons and the record changes with their journal and cache moves, as
//   `velmoradb relink` does them. The files are in the page cache (the first run warms it).
// - A name and tag search of the generated library of 100,000 records with pinyin initials on, and off beside it.
//
//   velmora_relink_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include "benchmain.h"
#include "libgen.h"
#include "notedocx.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/core/relink.h"
#include "workbench/core/searchwalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace velmora;
using namespace velmora::bench;

namespace {

constexpr int kMoved = 1000;
constexpr int kOtherDocuments = 2000;
constexpr int kFiles = 100000;
constexpr int kFilesPerFolder = 100;

struct Setup {
    QTemporaryDir temp;
    QString appdata;
    QString saved; // the library and its caches before any relink
    QString disk;
    GeneratedLibrary generated;
};
Setup* g_setup = nullptr;

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        throw VelmoraError(QStringLiteral("cannot write %1").arg(path));
    }
}

void copyFiles(const QString& from, const QString& to) {
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files)) {
        QFile::copy(from + u'/' + name, to + u'/' + name);
    }
}

void restoreLibrary() {
    copyFiles(g_setup->saved, g_setup->appdata);
    copyFiles(g_setup->saved + QStringLiteral("/doctext"), g_setup->appdata + QStringLiteral("doctext"));
}

std::optional<QString> readText(const QString& path) {
    DocumentText read = ReadDocumentText(path);
    return read.ok() ? std::optional<QString>(std::move(read.text)) : std::nullopt;
}

void prepare(Setup& setup) {
    QElapsedTimer timer;
    timer.start();
    setup.appdata = setup.temp.filePath(QStringLiteral("appdata/"));
    setup.saved = setup.temp.filePath(QStringLiteral("saved"));
    setup.disk = setup.temp.filePath(QStringLiteral("disk/"));
    QDir().mkpath(setup.appdata);
    SetAppDataFolder(setup.appdata);
    {
        TWordMgr store(setup.appdata + QStringLiteral("worddata.data"));
        int file = 0;
        const auto nextPath = [&](const QString& name) -> QString {
            const QString folder = setup.disk + QStringLiteral("f%1/").arg(file / kFilesPerFolder);
            if (file % kFilesPerFolder == 0) {
                QDir().mkpath(folder);
            }
            ++file;
            return folder + name;
        };
        for (int k = 0; k < kMoved; ++k) {
            const QByteArray docx = MakeNoteDocx(1, k % 2 == 0, k);
            const QString name = QStringLiteral("笔记%1.docx").arg(k);
            const QString path = nextPath(k % 10 == 0 ? QStringLiteral("renamed %1.docx").arg(k) : name);
            writeFile(path, docx);
            const QString old = setup.temp.filePath(QStringLiteral("gone/")) + name;
            store.ImportAWord(old, QStringLiteral("标签"), QString(), 3);
            WriteTextCache(old, readText(path).value_or(QString()));
        }
        for (int k = 0; k < kOtherDocuments; ++k) {
            writeFile(nextPath(QStringLiteral("other%1.docx").arg(k)), MakeNoteDocx(1, k % 2 == 1, kMoved + k));
        }
        while (file < kFiles) {
            const bool picture = file % 3 == 0;
            writeFile(nextPath(QStringLiteral("file%1.%2").arg(file).arg(picture ? "jpg" : "txt")),
                      QByteArray(picture ? 4096 : 512, 'x'));
        }
        store.SaveRecDataFiles(false);
    }
    copyFiles(setup.appdata, setup.saved);
    copyFiles(setup.appdata + QStringLiteral("doctext"), setup.saved + QStringLiteral("/doctext"));
    std::fprintf(stderr, "prepared %d files (%d moved documents) in %.1f s\n", kFiles, kMoved,
                 double(timer.elapsed()) / 1000.0);
}

void BM_RelinkThousandBelowHundredThousand(benchmark::State& state) {
    // Made on first use, so that the search benchmarks alone do not wait for 100,000 files.
    if (g_setup->disk.isEmpty()) {
        prepare(*g_setup);
    }
    int relinked = 0;
    for (auto _ : state) {
        state.PauseTiming();
        restoreLibrary();
        state.ResumeTiming();
        TWordMgr store(g_setup->appdata + QStringLiteral("worddata.data"));
        RelinkPlan plan = PlanRelinks(FindMissingDocuments(store), {g_setup->disk}, HeldFiles(store), &readText);
        ApplyRelinks(store, plan);
        relinked = int(std::count_if(plan.findings.begin(), plan.findings.end(), [](const RelinkFinding& finding) {
            return finding.kind == RelinkFinding::Kind::Relinked;
        }));
    }
    if (relinked != kMoved) {
        state.SkipWithError("not every moved document was relinked");
    }
    state.counters["relinked"] = relinked;
}

void pinyinSearch(benchmark::State& state, bool pinyin) {
    if (g_setup->generated.dataFile.isEmpty()) {
        g_setup->generated = GenerateLibrary(g_setup->temp.filePath(QStringLiteral("generated")));
    }
    const TWordMgr store(g_setup->generated.dataFile, OpenMode::ReadOnly);
    SearchRequest request{QStringLiteral("hyjy"), SearchMode::Any, SearchFileName | SearchTags};
    request.pinyin = pinyin;
    qsizetype found = 0;
    for (auto _ : state) {
        SearchWalk walk(request, AllRecordPositions(store));
        walk.step(store, store.GetRecNumber());
        found = walk.result().count(u'\n');
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = double(found);
}

void BM_PinyinSearch(benchmark::State& state) {
    pinyinSearch(state, true);
}

void BM_SearchWithoutPinyin(benchmark::State& state) {
    pinyinSearch(state, false);
}

} // namespace

BENCHMARK(BM_RelinkThousandBelowHundredThousand)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PinyinSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchWithoutPinyin)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return BenchMain(argc, argv, [] {
        Setup setup;
        g_setup = &setup;
        RunRegisteredBenchmarks();
        g_setup = nullptr;
    });
}
