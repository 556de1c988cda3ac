// The folder tree in the main window, offscreen, on a library of 20,000 documents: a click on a folder node that
// lists 2,000 of them, and moving 1,000 documents from one folder to another with the library save, by the
// toolbar's move-all command. Everything is made once in a temporary folder on one file system.
//
//   velmora_folders_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "common/appfolder.h"
#include "common/prompts.h"
#include "common/textcodec.h"
#include "store/wordmgr.h"
#include "workbench/application.h"
#include "workbench/navigation/foldertree.h"
#include "workbench/navigation/treeview.h"
#include "workbench/tmform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace velmora;

namespace {

constexpr int kLibrary = 20000;
constexpr int kListed = 2000;
constexpr int kMoved = 1000;

// Every question is answered yes, so that the move-all command runs; a report is printed.
class YesPrompts final : public Prompts {
public:
    void info(const QString& text) override { std::fprintf(stderr, "info: %s\n", qPrintable(text)); }
    void error(const QString& text, const QString&) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    bool yesNo(const QString&) override { return true; }
    Answer yesNoCancel(const QString&) override { return Answer::Yes; }
    QStringList openFiles(bool, const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString folder(const QString&, const QString&) override { return {}; }
};

struct Fixture {
    QTemporaryDir temp;
    YesPrompts prompts;
    std::unique_ptr<TmForm> form;
    FolderTree* folders = nullptr;
    QTreeWidget* tree = nullptr;

    void make(const QStringList& folderNames, const QList<int>& counts) {
        const QString appData = temp.filePath(QStringLiteral("appdata"));
        SetAppDataFolder(appData);
        QDir().mkpath(appData);
        TWordMgr store(appData + QStringLiteral("/worddata.data"));
        QStringList list;
        QStringList treeText;
        int made = 0;
        for (int f = 0; f < folderNames.size(); ++f) {
            const QString folder = temp.filePath(QStringLiteral("disk/") + folderNames[f]) + u'/';
            QDir().mkpath(folder);
            list.append(folder);
            treeText.append(folderNames[f]);
            for (int i = 0; i < counts[f]; ++i, ++made) {
                const QString path = folder + QStringLiteral("笔记%1.docx").arg(i);
                QFile file(path);
                if (file.open(QIODevice::WriteOnly)) {
                    file.write("x");
                }
                store.ImportAWord(path, QStringLiteral("标签 资料 "), QString(), 3);
            }
        }
        // The rest of the library lies elsewhere; the folders never see it.
        for (; made < kLibrary; ++made) {
            store.ImportAWord(QStringLiteral("/elsewhere/%1/文档%2.doc").arg(made % 50).arg(made), QString(), QString(),
                              0);
        }
        store.SaveRecDataFiles(false);
        WriteTextFile(appData + QStringLiteral("/fdlist.dat"), list);
        WriteTextFile(appData + QStringLiteral("/FdTVItems.dat"), treeText);
        InstallPrompts(&prompts);
        form = std::make_unique<TmForm>();
        form->show();
        folders = form->findChild<FolderTree*>(QStringLiteral("folderTree"));
        this->tree = form->findChild<QTreeWidget*>(QStringLiteral("fdTreeView"));
    }

    ~Fixture() {
        form.reset();
        InstallPrompts(nullptr);
    }
};

void BM_FolderClickListing2000(benchmark::State& state) {
    Fixture fixture;
    fixture.make({QStringLiteral("资料")}, {kListed});
    auto* list = fixture.form->findChild<QTreeWidget*>(QStringLiteral("wzTreeView"));
    for (auto _ : state) {
        fixture.folders->fdTreeViewClick(fixture.tree->topLevelItem(0), {});
    }
    if (list->topLevelItemCount() != kListed) {
        state.SkipWithError("the click did not list the folder");
    }
}
BENCHMARK(BM_FolderClickListing2000)->Unit(benchmark::kMillisecond);

void BM_MoveAll1000WithLibrarySave(benchmark::State& state) {
    Fixture fixture;
    fixture.make({QStringLiteral("甲"), QStringLiteral("乙")}, {kMoved, 0});
    auto* list = fixture.form->findChild<QTreeWidget*>(QStringLiteral("wzTreeView"));
    int from = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fixture.folders->fdTreeViewClick(fixture.tree->topLevelItem(from), {});
        if (list->topLevelItemCount() != kMoved) {
            state.SkipWithError("the folder did not list its documents");
            break;
        }
        fixture.tree->setCurrentItem(fixture.tree->topLevelItem(1 - from));
        state.ResumeTiming();
        fixture.folders->btnMoveAllClick();
        from = 1 - from;
    }
    // After the last move the documents are in the folder the next one would start from.
    const QString holder =
        fixture.temp.filePath(QStringLiteral("disk/") + (from == 0 ? QStringLiteral("甲") : QStringLiteral("乙")));
    if (QDir(holder).entryList(QDir::Files).size() != kMoved) {
        state.SkipWithError("the documents did not all move");
    }
}
BENCHMARK(BM_MoveAll1000WithLibrarySave)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    VelmoraApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
