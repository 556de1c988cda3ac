// What a user waits for in the document tabs, against the office that shows the documents: an article click until
// the document's window sits in its tab, closing a changed document with its cache write, and switching tabs.
// Run under xvfb-run, so that windows exist to be placed.
#include "office/libreoffice/libreoffice.h"
#include "office/tiword.h"
#include "store/wordmgr.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include <memory>

using namespace velmora;

namespace {

struct Desk {
    QTemporaryDir dir;
    std::unique_ptr<Workbench> bench;
    std::unique_ptr<QWidget> host;
    DocumentTabs* tabs = nullptr;
    QList<qint64> positions;

    Desk() {
        bench = std::make_unique<Workbench>();
        bench->open();
        for (const char* name : {"one.docx", "two.docx"}) {
            positions.append(make(QString::fromLatin1(name)));
        }
        host = std::make_unique<QWidget>();
        host->resize(1000, 760);
        auto* layout = new QVBoxLayout(host.get());
        tabs = new DocumentTabs(*bench, new QToolBar(host.get()), host.get());
        layout->addWidget(tabs->pager());
        host->show();
        settle(200);
    }

    // A one-page document made by the office itself.
    qint64 make(const QString& name) {
        QStringList lines;
        for (int i = 0; i < 12; ++i) {
            lines.append(QString::number(i) + QStringLiteral("中文文档的全文检索需要读取每一段文字，").repeated(3));
        }
        const QString text = dir.filePath(name + QStringLiteral(".txt"));
        QFile file(text);
        file.open(QIODevice::WriteOnly);
        file.write("\xEF\xBB\xBF" + lines.join(QLatin1Char('\n')).toUtf8());
        file.close();
        const QString path = dir.filePath(name);
        TiWord& word = bench->word();
        word.OpenWordFile(text, QString(), false);
        word.SaveAs(path, QString());
        word.CloseWordFileByName(path);
        return bench->store().ImportAWord(path, QString(), QString(), 0);
    }

    static void settle(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }

    // Opens the document and waits until its window sits in the tab; the milliseconds of both steps.
    std::pair<double, double> openShown(qint64 position) {
        QElapsedTimer clock;
        clock.start();
        tabs->OpenADocByPos(position);
        const double opened = double(clock.nsecsElapsed()) / 1e6;
        while (tabs->activeTab()->window == 0 && clock.elapsed() < 15000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        QApplication::processEvents();
        return {opened, double(clock.nsecsElapsed()) / 1e6};
    }
};

Desk& desk() {
    static Desk instance;
    return instance;
}

void BM_ArticleClickToShownInTab(benchmark::State& state) {
    Desk& d = desk();
    double openMs = 0;
    double shownMs = 0;
    for (auto _ : state) {
        const auto [opened, shown] = d.openShown(d.positions.at(0));
        state.SetIterationTime(shown / 1000.0);
        openMs += opened;
        shownMs += shown;
        state.PauseTiming();
        d.tabs->closeActiveTab();
        state.ResumeTiming();
    }
    // Where the time goes: the office opening the file, and then waiting for its window to be placed.
    state.counters["open_ms"] = openMs / double(state.iterations());
    state.counters["embed_ms"] = (shownMs - openMs) / double(state.iterations());
}

void BM_CloseChangedDocumentWithCache(benchmark::State& state) {
    Desk& d = desk();
    bool edited = false;
    for (auto _ : state) {
        d.openShown(d.positions.at(0));
        d.bench->word().ReplaceAll(edited ? QStringLiteral("检索") : QStringLiteral("搜索"),
                                   edited ? QStringLiteral("搜索") : QStringLiteral("检索"));
        edited = !edited;
        QElapsedTimer clock;
        clock.start();
        d.tabs->closeActiveTab();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}

void BM_SwitchTabs(benchmark::State& state) {
    Desk& d = desk();
    d.openShown(d.positions.at(0));
    d.openShown(d.positions.at(1));
    auto* pager = static_cast<QTabWidget*>(d.tabs->pager());
    int next = 0;
    for (auto _ : state) {
        pager->setCurrentIndex(next);
        QApplication::processEvents();
        next = 1 - next;
    }
    while (d.tabs->tabCount() > 0) {
        d.tabs->closeActiveTab();
    }
}

} // namespace

BENCHMARK(BM_ArticleClickToShownInTab)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly();
BENCHMARK(BM_CloseChangedDocumentWithCache)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly();
BENCHMARK(BM_SwitchTabs)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly();

int main(int argc, char** argv) {
    QTemporaryDir data;
    qputenv("VELMORA_APPDATA", data.path().toUtf8());
    QDir().mkpath(data.filePath(QStringLiteral("tmp")));
    qputenv("TMPDIR", data.filePath(QStringLiteral("tmp")).toUtf8());
    qputenv("XDG_CACHE_HOME", data.filePath(QStringLiteral("cache")).toUtf8());
    QApplication app(argc, argv);
    RegisterLibreOfficeServers();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    desk().bench->word().CloseAllFiles();
    // The window and the office wrapper go while the application still exists.
    desk().host.reset();
    desk().bench.reset();
    benchmark::Shutdown();
    return 0;
}
