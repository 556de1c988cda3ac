// What reading documents through LibreOffice costs: these figures decide whether import and search read text
// through the office or through a built-in reader.
#include "office/automation/oleserver.h"
#include "office/libreoffice/libreoffice.h"
#include "office/tiword.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>

using namespace velmora;

namespace {

struct Office {
    QTemporaryDir dir;
    std::unique_ptr<TiWord> main;
    std::unique_ptr<TiWord> reader;
    QString onePage;
    QString fiftyPages;

    Office() {
        QDir().mkpath(dir.filePath(QStringLiteral("tmp")));
        qputenv("TMPDIR", dir.filePath(QStringLiteral("tmp")).toUtf8());
        qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
        RegisterLibreOfficeServers();
        main = std::make_unique<TiWord>(false);
        // A main server that holds a document is left running by a wrapper that attached to it.
        main->CreateNewDoc();
        reader = std::make_unique<TiWord>(true);
        onePage = make(QStringLiteral("one.docx"), 12, 60);
        // About 700 characters a page.
        fiftyPages = make(QStringLiteral("fifty.docx"), 50 * 7, 100);
    }

    QString make(const QString& name, int paragraphs, int length) {
        static const QString pattern = QStringLiteral("中文文档的全文检索需要读取每一段文字，");
        QStringList lines;
        for (int i = 0; i < paragraphs; ++i) {
            QString line;
            while (line.size() < length) {
                line += pattern;
            }
            lines.append(QString::number(i) + line.left(length));
        }
        const QString text = dir.filePath(name + QStringLiteral(".txt"));
        QFile file(text);
        file.open(QIODevice::WriteOnly);
        file.write("\xEF\xBB\xBF" + lines.join(QLatin1Char('\n')).toUtf8());
        file.close();
        reader->OpenWordFile(text, QString(), false);
        const QString path = dir.filePath(name);
        reader->SaveAs(path, QString());
        reader->CloseAllFiles();
        return path;
    }
};

Office& office() {
    static Office instance;
    return instance;
}

// A second program attaching to the main server that this one started: the UNO runtime, the pipe, the bridge and
// a first answer, timed inside a child process of the bench.
void BM_ConnectToRunningServer(benchmark::State& state) {
    office();
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--attach")});
        if (!child.waitForFinished(60000) || child.exitCode() != 0) {
            state.SkipWithError("the second program could not attach");
            return;
        }
        state.SetIterationTime(QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble() / 1000.0);
    }
}

int AttachAndAnswer() {
    QElapsedTimer clock;
    clock.start();
    RegisterLibreOfficeServers();
    if (!IsOleServerRunning(QStringLiteral("Word.Application"))) {
        return 1;
    }
    TiWord word(false);
    word.OpenedDocs();
    std::printf("%.3f\n", double(clock.nsecsElapsed()) / 1e6);
    return word.Created() ? 1 : 0;
}

void OpenReadClose(benchmark::State& state, const QString& path) {
    TiWord& word = *office().reader;
    qint64 characters = 0;
    for (auto _ : state) {
        word.OpenWordFile(path, QString(), true);
        characters = word.GetDocTextByName(path).size();
        word.CloseWordFileByName(path);
    }
    state.counters["characters"] = double(characters);
}

void BM_OpenTextClose_OnePage(benchmark::State& state) {
    OpenReadClose(state, office().onePage);
}

void BM_OpenTextClose_FiftyChinesePages(benchmark::State& state) {
    OpenReadClose(state, office().fiftyPages);
}

// A tab switch: the tab's document made the active one, then one call that acts on the active document.
void BM_SwitchActiveDocument(benchmark::State& state) {
    TiWord& word = *office().reader;
    const QString other = office().dir.filePath(QStringLiteral("other.docx"));
    QFile::copy(office().onePage, other);
    word.OpenWordFile(office().onePage, QString(), true);
    word.OpenWordFile(other, QString(), true);
    bool first = true;
    for (auto _ : state) {
        word.ActivateDoc(first ? office().onePage : other);
        benchmark::DoNotOptimize(word.ActiveDocName());
        first = !first;
    }
    word.CloseAllFiles();
}

// Import and search start an office of their own: from asking for it to its first answer.
void BM_StartPrivateOffice(benchmark::State& state) {
    office();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto word = std::make_unique<TiWord>(true);
        benchmark::DoNotOptimize(word->OpenedDocs());
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        // Ending it is not part of the start.
        word.reset();
    }
}

void BM_SaveAsWithPassword(benchmark::State& state) {
    TiWord& word = *office().reader;
    word.OpenWordFile(office().onePage, QString(), false);
    const QString target = office().dir.filePath(QStringLiteral("protected.docx"));
    for (auto _ : state) {
        word.SaveAs(target, QStringLiteral("密码"));
    }
    word.CloseAllFiles();
}

} // namespace

BENCHMARK(BM_ConnectToRunningServer)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_OpenTextClose_OnePage)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_OpenTextClose_FiftyChinesePages)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_SwitchActiveDocument)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_StartPrivateOffice)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(2)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_SaveAsWithPassword)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--attach") == 0) {
        return AttachAndAnswer();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    office().reader.reset();
    office().main->CloseCurrDocAndDoNotSaveChanges();
    office().main.reset();
    benchmark::Shutdown();
    return 0;
}
