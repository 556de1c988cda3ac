// Whole-text search with the text index: `velmoradb search --in text` as a whole process, warm, beside
// `grep -rlF` over the same texts stored plain (UTF-8), with the result counts of both; building the index from
// the caches; adding one document's text (the writer of a closing tab, with and without the index); and the size
// of the index beside the cache it indexes.
//
// The corpus is generated once and kept (VELMORA_BENCH_CORPUS, default /tmp/velmora-textindex-COUNT): a library
// of VELMORA_BENCH_DOCS documents (default 10000), a cache file of about 10,000 characters (20 KB in GBK) for
// every live one, and the same texts plain. The texts are Chinese prose of a Zipf-distributed vocabulary of
// 200,000 words of one to four characters over the 3,755 common characters, with 4 % English words from a
// vocabulary of 30,000 (characters and words both drawn by Zipf's law), so that a word of middle rank occurs in some
// documents and not in all. The index is built (and its build timed) when the corpus has none; delete doctext.index to
// time the build again.
//
//   VELMORA_BENCH_DOCS=100000 velmora_textindex_bench --benchmark_repetitions=5
//   (add --benchmark_report_aggregates_only=true for medians alone)

#include "libgen.h"

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "common/textcodec.h"
#include "store/textcache.h"
#include "store/textindex.h"
#include "store/wordmgr.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

using namespace velmora;
using namespace velmora::bench;

namespace {

constexpr int kCnWords = 200000;
constexpr int kEnWords = 30000;
constexpr qsizetype kTextChars = 10000;

struct Vocabulary {
    QStringList cn;
    QStringList en;
    std::vector<double> cnCumulative;
    std::vector<double> enCumulative;
};

std::vector<double> zipf(int n) {
    std::vector<double> cumulative(static_cast<size_t>(n));
    double sum = 0;
    for (int r = 0; r < n; ++r) {
        sum += 1.0 / (r + 10);
        cumulative[size_t(r)] = sum;
    }
    for (double& c : cumulative) {
        c /= sum;
    }
    return cumulative;
}

const QString& pick(const QStringList& words, const std::vector<double>& cumulative, std::mt19937_64& rng) {
    const double u = double(rng() >> 11) / double(1ULL << 53);
    const auto it = std::lower_bound(cumulative.cbegin(), cumulative.cend(), u);
    return words.at(std::min<qsizetype>(it - cumulative.cbegin(), words.size() - 1));
}

const Vocabulary& vocabulary() {
    static const Vocabulary v = [] {
        Vocabulary made;
        QByteArray gb;
        for (int lead = 0xB0; lead <= 0xD7; ++lead) {
            for (int trail = 0xA1; trail <= 0xFE && !(lead == 0xD7 && trail > 0xF9); ++trail) {
                gb += char(lead);
                gb += char(trail);
            }
        }
        const QString chars = DecodeAnsi(gb);
        std::mt19937_64 rng(20260601);
        // Characters are as unevenly used as in real prose: a few hundred make most of a text.
        const std::vector<double> charCumulative = zipf(int(chars.size()));
        QStringList charList;
        for (const QChar c : chars) {
            charList.append(QString(c));
        }
        static const int lengths[] = {1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 4, 4, 4, 4, 4};
        for (int w = 0; w < kCnWords; ++w) {
            QString word;
            for (int k = lengths[rng() % 20]; k > 0; --k) {
                word += pick(charList, charCumulative, rng);
            }
            made.cn.append(word);
        }
        for (int w = 0; w < kEnWords; ++w) {
            QString word;
            for (int k = 4 + int(rng() % 6); k > 0; --k) {
                word += QChar(u'a' + char16_t(rng() % 26));
            }
            made.en.append(word);
        }
        made.cnCumulative = zipf(kCnWords);
        made.enCumulative = zipf(kEnWords);
        return made;
    }();
    return v;
}

QString documentText(quint64 seed) {
    static const QStringList punctuation{QStringLiteral("，"), QStringLiteral("，"), QStringLiteral("、"),
                                         QStringLiteral("；"), QStringLiteral("："), QStringLiteral("“"),
                                         QStringLiteral("”")};
    const Vocabulary& v = vocabulary();
    std::mt19937_64 rng(seed);
    QString text;
    text.reserve(kTextChars + 256);
    qsizetype lineStart = 0;
    while (text.size() < kTextChars) {
        text += pick(v.cn, v.cnCumulative, rng);
        if (rng() % 100 < 4) {
            text += u' ' + pick(v.en, v.enCumulative, rng) + u' ';
        }
        if (rng() % 100 < 10) {
            text += punctuation.at(qsizetype(rng() % quint64(punctuation.size())));
        }
        if (text.size() - lineStart > 40 + qsizetype(rng() % 160)) {
            text += QStringLiteral("。\r\n");
            lineStart = text.size();
        }
    }
    return text;
}

// The query words: middle-rank words that occur in some documents and not in all.
struct Query {
    const char* name;
    QString word;
};
std::vector<Query> queries() {
    const Vocabulary& v = vocabulary();
    const auto firstOfLength = [&](int from, int length) {
        for (int r = from; r < kCnWords; ++r) {
            if (v.cn.at(r).size() == length) {
                return v.cn.at(r);
            }
        }
        return QString();
    };
    return {{"cn2", firstOfLength(20000, 2)},
            {"cn4", firstOfLength(20000, 4)},
            {"en", v.en.at(3000)},
            {"cn1", firstOfLength(20000, 1)}};
}

QString g_corpus;
QString g_tool;
QStringList g_paths;

void ensureCorpus(int count) {
    const QString ready = g_corpus + QStringLiteral("/ready");
    const QString appdata = g_corpus + QStringLiteral("/appdata/");
    SetAppDataFolder(appdata);
    if (!QFile::exists(ready)) {
        QDir(g_corpus).removeRecursively();
        std::fprintf(stderr, "generating %d documents in %s ...\n", count, qPrintable(g_corpus));
        LibraryOptions options;
        options.count = count;
        GenerateLibrary(appdata, options);
        QDir().mkpath(TextCacheFolder());
        QDir().mkpath(g_corpus + QStringLiteral("/plain"));
    }
    TWordMgr store(appdata + QStringLiteral("worddata.data"));
    g_paths.clear();
    for (int k = 0; k < store.GetRecNumber(); ++k) {
        const TWordRec rec = store.RecordAt(qint64(k) * TWordRec::Size);
        if (!rec.wdDeleted) {
            g_paths.append(store.StringAt(rec.wdFullNamePos));
        }
    }
    if (QFile::exists(ready)) {
        return;
    }
    // Written straight to the cache files, as an older program would have: the index is built afterwards.
    std::atomic<qsizetype> next{0};
    const auto work = [&] {
        for (qsizetype i = next++; i < g_paths.size(); i = next++) {
            const QString text = documentText(quint64(i) + 1);
            SaveCompressedText(text, TextCachePath(g_paths.at(i)));
            QFile plain(g_corpus + QStringLiteral("/plain/%1.txt").arg(i));
            if (plain.open(QIODevice::WriteOnly)) {
                plain.write(text.toUtf8());
            }
        }
    };
    {
        std::vector<std::jthread> workers;
        for (unsigned k = 1; k < std::max(1u, std::thread::hardware_concurrency()); ++k) {
            workers.emplace_back(work);
        }
        work();
    }
    QFile(ready).open(QIODevice::WriteOnly);
}

qint64 folderBytes(const QString& folder) {
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        bytes += it.nextFileInfo().size();
    }
    return bytes;
}

int countLines(const QByteArray& output) {
    return int(output.count('\n'));
}

QByteArray run(const QString& program, const QStringList& args) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.start(program, args);
    process.waitForFinished(-1);
    return process.readAllStandardOutput();
}

void BM_BuildIndex(benchmark::State& state) {
    for (auto _ : state) {
        BuildTextIndex(true);
    }
    state.counters["docs"] = double(g_paths.size());
}

void BM_Sizes(benchmark::State& state) {
    for (auto _ : state) {
    }
    state.counters["index_MiB"] =
        double(QFileInfo(TextIndexFile()).size() + QFileInfo(TextIndexFile() + QStringLiteral("-wal")).size()) /
        (1 << 20);
    state.counters["cache_MiB"] = double(folderBytes(TextCacheFolder())) / (1 << 20);
}

void BM_VelmoradbSearch(benchmark::State& state, const QString& word) {
    const QStringList args{QStringLiteral("--appdata"), AppDataFolder(),        QStringLiteral("search"),
                           QStringLiteral("--in"),      QStringLiteral("text"), word};
    const int found = countLines(run(g_tool, args)); // warms the caches
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(g_tool, args));
    }
    state.counters["found"] = found;
}

// The same process searching names only: what starting the program and reading the library cost, which every
// search pays before the text is looked at.
void BM_VelmoradbNameSearch(benchmark::State& state, const QString& word) {
    const QStringList args{QStringLiteral("--appdata"), AppDataFolder(),        QStringLiteral("search"),
                           QStringLiteral("--in"),      QStringLiteral("name"), word};
    run(g_tool, args);
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(g_tool, args));
    }
}

void BM_Grep(benchmark::State& state, const QString& word) {
    const QStringList args{QStringLiteral("-rlF"), word, g_corpus + QStringLiteral("/plain")};
    const int found = countLines(run(QStringLiteral("grep"), args));
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(QStringLiteral("grep"), args));
    }
    state.counters["found"] = found;
}

// The writer of a closing tab: one document's cache replaced, with the index (range 1) or as it was without
// one (range 0). The texts written are those the documents already have, so the corpus stays as generated.
void BM_AddOneDocument(benchmark::State& state) {
    std::mt19937_64 rng(7);
    const bool indexed = state.range(0) == 1;
    for (auto _ : state) {
        state.PauseTiming();
        const qsizetype i = qsizetype(rng() % quint64(g_paths.size()));
        const QString text = documentText(quint64(i) + 1);
        state.ResumeTiming();
        if (indexed) {
            WriteTextCache(g_paths.at(i), text);
        } else {
            SaveCompressedText(text, TextCachePath(g_paths.at(i)));
            state.PauseTiming();
            WriteTextCache(g_paths.at(i), text); // the index is not left stale for the searches after
            state.ResumeTiming();
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = qEnvironmentVariableIntValue("VELMORA_BENCH_DOCS") > 0
                          ? qEnvironmentVariableIntValue("VELMORA_BENCH_DOCS")
                          : 10000;
    g_corpus = qEnvironmentVariableIsSet("VELMORA_BENCH_CORPUS")
                   ? qEnvironmentVariable("VELMORA_BENCH_CORPUS")
                   : QStringLiteral("/tmp/velmora-textindex-%1").arg(count);
    g_tool = QCoreApplication::applicationDirPath() + QStringLiteral("/velmoradb");
    ensureCorpus(count);
    for (const Query& query : queries()) {
        std::fprintf(stderr, "%s: %s\n", query.name, query.word.toUtf8().constData());
    }
    benchmark::Initialize(&argc, argv);
    if (!QFile::exists(TextIndexFile())) {
        benchmark::RegisterBenchmark("build_index", BM_BuildIndex)
            ->Iterations(1)
            ->Repetitions(1)
            ->Unit(benchmark::kSecond);
    }
    benchmark::RegisterBenchmark("sizes", BM_Sizes)->Iterations(1)->Repetitions(1);
    benchmark::RegisterBenchmark("velmoradb_name_search", BM_VelmoradbNameSearch, queries().front().word)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
    for (const Query& query : queries()) {
        benchmark::RegisterBenchmark((std::string("velmoradb_search/") + query.name).c_str(), BM_VelmoradbSearch,
                                     query.word)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark((std::string("grep/") + query.name).c_str(), BM_Grep, query.word)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
    }
    benchmark::RegisterBenchmark("add_one_document", BM_AddOneDocument)
        ->Arg(0)
        ->Arg(1)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(50);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
