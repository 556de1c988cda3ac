// The store on a generated library of 100,000 documents (VELMORA_BENCH_DOCS changes the count), with SQLite
// holding the same rows answering the same questions in the same run. Generation happens once, before any
// benchmark, in a temporary folder that also receives the dated copies the store makes when it opens.
//
//   velmora_store_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "benchmain.h"
#include "imagescan.h"
#include "libgen.h"
#include "sqlitemirror.h"

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "common/errors.h"
#include "store/wordmgr.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <optional>

using namespace velmora;
using namespace velmora::bench;

namespace {

struct Library {
    QTemporaryDir temp;
    GeneratedLibrary lib;
    // The same records with none deleted: opening it makes no dated copy, which isolates the cost of loading.
    QString noBackupDataFile;
    std::unique_ptr<TWordMgr> store;
    std::unique_ptr<SqliteLibrary> sqlite;
    QString chineseText;
};

Library* g_library = nullptr;

QString copyLibrary(const QString& folderName) {
    const QString folder = g_library->temp.filePath(folderName);
    QDir().mkpath(folder);
    for (const QString& name : {QStringLiteral("worddata.idx"), QStringLiteral("worddata.data")}) {
        QFile::remove(folder + u'/' + name);
        if (!QFile::copy(g_library->lib.folder + u'/' + name, folder + u'/' + name)) {
            throw VelmoraError(QStringLiteral("cannot copy %1 into %2").arg(name, folder));
        }
    }
    return folder + QStringLiteral("/worddata.data");
}

qsizetype lineCount(const QString& list) {
    return list.count(u'\n');
}

void setDocs(benchmark::State& state, qsizetype docs) {
    state.counters["docs"] = benchmark::Counter(double(docs));
}

// -- opening --

void BM_Open(benchmark::State& state, bool withDeleted) {
    const QString file = withDeleted ? g_library->lib.dataFile : g_library->noBackupDataFile;
    for (auto _ : state) {
        std::optional<TWordMgr> store;
        store.emplace(file);
        benchmark::DoNotOptimize(store->GetRecNumber());
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    setDocs(state, TWordMgr(file).GetRecNumber());
}

// -- the tag query of a tag and its five descendants --

void BM_TagQuery_Store(benchmark::State& state) {
    const QString query = TagFamilyQuery();
    qsizetype docs = 0;
    for (auto _ : state) {
        const QString list = g_library->store->GetListForLoadwzTV(query, false);
        docs = lineCount(list);
        benchmark::DoNotOptimize(list.constData());
    }
    setDocs(state, docs);
}

// The first query of a freshly opened store, which is what every velmoradb process pays.
void BM_TagQuery_StoreFirstAfterOpen(benchmark::State& state) {
    const QString query = TagFamilyQuery();
    qsizetype docs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<TWordMgr>(g_library->noBackupDataFile);
        state.ResumeTiming();
        const QString list = store->GetListForLoadwzTV(query, false);
        docs = lineCount(list);
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    setDocs(state, docs);
}

void BM_TagQuery_Sqlite(benchmark::State& state) {
    int docs = 0;
    for (auto _ : state) {
        const QString list = g_library->sqlite->TagQuery(docs);
        benchmark::DoNotOptimize(list.constData());
    }
    setDocs(state, docs);
}

// Opening, one tag query and closing, in one process: what the velmoradb tags command does on each side.
void BM_OpenAndTagQuery_Store(benchmark::State& state, bool withDeleted) {
    const QString file = withDeleted ? g_library->lib.dataFile : g_library->noBackupDataFile;
    const QString query = TagFamilyQuery();
    qsizetype docs = 0;
    for (auto _ : state) {
        TWordMgr store(file);
        docs = lineCount(store.GetListForLoadwzTV(query, false));
    }
    setDocs(state, docs);
}

void BM_OpenAndTagQuery_Sqlite(benchmark::State& state) {
    int docs = 0;
    for (auto _ : state) {
        SqliteLibrary sqlite(g_library->lib.sqliteFile, TagFamily());
        benchmark::DoNotOptimize(sqlite.TagQuery(docs).constData());
    }
    setDocs(state, docs);
}

void BM_TagQuery_SketchScanInPlace(benchmark::State& state) {
    const QString query = TagFamilyQuery();
    const TWordMgr& store = *g_library->store;
    qsizetype docs = 0;
    for (auto _ : state) {
        const QList<qint64> found = ScanTagQuery(store.RecStream(), store.DataStream(), query);
        const QString list = PositionListOf(store.RecStream(), store.DataStream(), found);
        docs = lineCount(list);
        benchmark::DoNotOptimize(list.constData());
    }
    setDocs(state, docs);
}

// The floor of a velmoradb tags process's own work: map the two files instead of reading them, scan in place.
void BM_OpenAndTagQuery_SketchMapAndScan(benchmark::State& state) {
    const QString query = TagFamilyQuery();
    const QString dataFile = g_library->lib.dataFile;
    const QString recordFile = QString(dataFile).replace(QStringLiteral(".data"), QStringLiteral(".idx"));
    qsizetype docs = 0;
    for (auto _ : state) {
        QFile records(recordFile);
        QFile strings(dataFile);
        if (!records.open(QIODevice::ReadOnly) || !strings.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot open the library files");
            return;
        }
        const QByteArrayView recordImage(records.map(0, records.size()), records.size());
        const QByteArrayView stringImage(strings.map(0, strings.size()), strings.size());
        const QList<qint64> found = ScanTagQuery(recordImage, stringImage, query);
        docs = lineCount(PositionListOf(recordImage, stringImage, found));
    }
    setDocs(state, docs);
}

// -- DocInBase --

const QString& lookupPath(bool present) {
    return present ? g_library->lib.lateLivePath : g_library->lib.absentPath;
}

void BM_DocInBase_Store(benchmark::State& state, bool present) {
    const QString& path = lookupPath(present);
    for (auto _ : state) {
        benchmark::DoNotOptimize(g_library->store->DocInBase(path));
    }
}

void BM_DocInBase_StoreFirstAfterOpen(benchmark::State& state) {
    const QString& path = lookupPath(true);
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<TWordMgr>(g_library->noBackupDataFile);
        state.ResumeTiming();
        benchmark::DoNotOptimize(store->DocInBase(path));
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
}

void BM_DocInBase_Sqlite(benchmark::State& state, bool present) {
    const QString& path = lookupPath(present);
    for (auto _ : state) {
        benchmark::DoNotOptimize(g_library->sqlite->DocInBase(path));
    }
}

void BM_DocInBase_SketchScanInPlace(benchmark::State& state, bool present) {
    const QString& path = lookupPath(present);
    const TWordMgr& store = *g_library->store;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScanDocInBase(store.RecStream(), store.DataStream(), path));
    }
}

// -- the filter tree's queries --

template <typename Query>
void runFilter(benchmark::State& state, Query query) {
    QString list;
    for (auto _ : state) {
        list.clear();
        query(*g_library->store, list);
        benchmark::DoNotOptimize(list.constData());
    }
    setDocs(state, lineCount(list));
}

void BM_Filter_Untagged(benchmark::State& state) {
    runFilter(state, [](TWordMgr& store, QString& list) { store.QkSearchByTag(QStringLiteral("无标签文档"), list); });
}

void BM_Filter_ThreeStars(benchmark::State& state) {
    runFilter(state, [](TWordMgr& store, QString& list) { store.QkSearchByScore(QStringLiteral("三星"), list); });
}

void BM_Filter_AccessedThisWeek(benchmark::State& state) {
    runFilter(state, [](TWordMgr& store, QString& list) {
        store.QkSearchByDateTime(QStringLiteral("一周内"), DateSource::Accessed, list);
    });
}

// Asks the file system for every live document's times; the generated files do not exist, so this is the cost
// of the failing look-ups alone.
void BM_Filter_WrittenThisWeek(benchmark::State& state) {
    runFilter(state, [](TWordMgr& store, QString& list) {
        store.QkSearchByDateTime(QStringLiteral("一周内"), DateSource::FileWritten, list);
    });
}

void BM_Filter_Password(benchmark::State& state) {
    runFilter(state, [](TWordMgr& store, QString& list) { store.QkSearchByPSW(list); });
}

// -- writing --

void BM_SaveAfterOneChange(benchmark::State& state) {
    // A store of its own: each change notes the record in the store's lookup indexes, which must not grow
    // under the other benchmarks.
    TWordMgr store(copyLibrary(QStringLiteral("save")));
    const qint64 pos = qint64(store.GetRecNumber() / 2) * TWordRec::Size;
    quint8 score = 0;
    for (auto _ : state) {
        score = quint8((score + 1) % 6);
        store.SetDocScore(pos, score, true);
        store.SaveRecDataFiles(false);
    }
}

void BM_CleanStreams(benchmark::State& state) {
    qsizetype kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<TWordMgr>(copyLibrary(QStringLiteral("clean")));
        state.ResumeTiming();
        store->CleanStreams();
        state.PauseTiming();
        kept = store->GetRecNumber();
        store.reset();
        state.ResumeTiming();
    }
    setDocs(state, kept);
}

// -- the text cache format --

void BM_CompressedText(benchmark::State& state, bool save, bool load) {
    const QString file = g_library->temp.filePath(QStringLiteral("sample.dat_"));
    SaveCompressedText(g_library->chineseText, file);
    for (auto _ : state) {
        if (save) {
            SaveCompressedText(g_library->chineseText, file);
        }
        if (load) {
            benchmark::DoNotOptimize(LoadCompressedText(file).constData());
        }
    }
    state.counters["chars"] = benchmark::Counter(double(g_library->chineseText.size()));
    state.counters["file_bytes"] = benchmark::Counter(double(QFile(file).size()));
}

void registerAll() {
    using benchmark::kMicrosecond;
    using benchmark::kMillisecond;
    const auto add = [](const char* name, auto fn, benchmark::TimeUnit unit, auto... args) {
        // Several of these wait on the disk, and PauseTiming brackets work the process would do on the side.
        benchmark::RegisterBenchmark(name, fn, args...)->UseRealTime()->Unit(unit);
    };
    add("Open/store_5pct_deleted_makes_dated_copy", BM_Open, kMillisecond, true);
    add("Open/store_none_deleted", BM_Open, kMillisecond, false);
    add("TagQuery/store", BM_TagQuery_Store, kMillisecond);
    add("TagQuery/store_first_after_open", BM_TagQuery_StoreFirstAfterOpen, kMillisecond);
    add("TagQuery/sqlite", BM_TagQuery_Sqlite, kMillisecond);
    add("OpenAndTagQuery/store_5pct_deleted_makes_dated_copy", BM_OpenAndTagQuery_Store, kMillisecond, true);
    add("OpenAndTagQuery/store_none_deleted", BM_OpenAndTagQuery_Store, kMillisecond, false);
    add("OpenAndTagQuery/sqlite", BM_OpenAndTagQuery_Sqlite, kMillisecond);
    add("TagQuery/sketch_scan_in_place", BM_TagQuery_SketchScanInPlace, kMillisecond);
    add("OpenAndTagQuery/sketch_map_and_scan", BM_OpenAndTagQuery_SketchMapAndScan, kMillisecond);
    add("DocInBase/store_late_path", BM_DocInBase_Store, kMicrosecond, true);
    add("DocInBase/store_absent_path", BM_DocInBase_Store, kMicrosecond, false);
    add("DocInBase/store_first_after_open", BM_DocInBase_StoreFirstAfterOpen, kMillisecond);
    add("DocInBase/sqlite_late_path", BM_DocInBase_Sqlite, kMicrosecond, true);
    add("DocInBase/sqlite_absent_path", BM_DocInBase_Sqlite, kMicrosecond, false);
    add("DocInBase/sketch_scan_in_place_late_path", BM_DocInBase_SketchScanInPlace, kMillisecond, true);
    add("DocInBase/sketch_scan_in_place_absent_path", BM_DocInBase_SketchScanInPlace, kMillisecond, false);
    add("Filter/untagged", BM_Filter_Untagged, kMillisecond);
    add("Filter/three_stars", BM_Filter_ThreeStars, kMillisecond);
    add("Filter/accessed_this_week", BM_Filter_AccessedThisWeek, kMillisecond);
    add("Filter/written_this_week", BM_Filter_WrittenThisWeek, kMillisecond);
    add("Filter/password", BM_Filter_Password, kMillisecond);
    add("SaveRecDataFiles/after_one_change", BM_SaveAfterOneChange, kMillisecond);
    add("CleanStreams", BM_CleanStreams, kMillisecond);
    add("CompressedText/save_and_load_20KB", BM_CompressedText, kMillisecond, true, true);
    add("CompressedText/save_20KB", BM_CompressedText, kMillisecond, true, false);
    add("CompressedText/load_20KB", BM_CompressedText, kMillisecond, false, true);
}

// Both sides must answer alike, or the comparison measures different work.
void checkSameAnswers(Library& library) {
    QList<qint64> ours;
    const QString list = library.store->GetListForLoadwzTV(TagFamilyQuery(), false);
    for (const QString& line : list.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        ours.append(line.section(u'|', 0, 0).toLongLong());
    }
    const QList<qint64> theirs = library.sqlite->TagQueryIds();
    if (ours != theirs || ours.isEmpty()) {
        throw VelmoraError(QStringLiteral("the store lists %1 documents for the tag query, SQLite %2")
                               .arg(ours.size())
                               .arg(theirs.size()));
    }
    const TWordMgr& store = *library.store;
    if (ScanTagQuery(store.RecStream(), store.DataStream(), TagFamilyQuery()) != ours ||
        PositionListOf(store.RecStream(), store.DataStream(), ours) != list) {
        throw VelmoraError(QStringLiteral("the in-place scan sketch answers the tag query differently"));
    }
    const QString& late = library.lib.lateLivePath;
    const QString& absent = library.lib.absentPath;
    if (!library.store->DocInBase(late) || !library.sqlite->DocInBase(late) || library.store->DocInBase(absent) ||
        library.sqlite->DocInBase(absent) || !ScanDocInBase(store.RecStream(), store.DataStream(), late) ||
        ScanDocInBase(store.RecStream(), store.DataStream(), absent)) {
        throw VelmoraError(QStringLiteral("the store and SQLite disagree on DocInBase"));
    }
}

void prepare(Library& library) {
    if (!library.temp.isValid()) {
        throw VelmoraError(QStringLiteral("cannot make a temporary folder: %1").arg(library.temp.errorString()));
    }
    SetAppDataFolder(library.temp.filePath(QStringLiteral("appdata")));
    LibraryOptions options;
    const QByteArray docs = qgetenv("VELMORA_BENCH_DOCS");
    if (!docs.isEmpty()) {
        options.count = docs.toInt();
    }
    QElapsedTimer timer;
    timer.start();
    library.lib = GenerateLibrary(library.temp.filePath(QStringLiteral("library")), options);
    {
        library.noBackupDataFile = copyLibrary(QStringLiteral("nodeleted"));
        TWordMgr store(library.noBackupDataFile);
        store.RestoreAllDeleted();
        store.SaveRecDataFiles(false);
    }
    library.store = std::make_unique<TWordMgr>(library.lib.dataFile);
    library.sqlite = std::make_unique<SqliteLibrary>(library.lib.sqliteFile, TagFamily());
    library.chineseText = SampleChineseText(10 * 1024, 7);
    checkSameAnswers(library);
    std::fprintf(stderr, "library: %d records (%d live, %d deleted) in %s, generated in %.1f s\n", library.lib.records,
                 library.lib.live, library.lib.deleted, qPrintable(library.lib.folder),
                 double(timer.elapsed()) / 1000.0);
}

} // namespace

int main(int argc, char** argv) {
    return BenchMain(argc, argv, [] {
        Library library;
        g_library = &library;
        prepare(library);
        registerAll();
        RunRegisteredBenchmarks();
        g_library = nullptr;
    });
}
