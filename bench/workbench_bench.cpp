// The main window on a generated library of 100,000 documents (VELMORA_BENCH_DOCS changes the count), offscreen:
// start-up to the shown window, a tag click that lists about 10,000 documents, re-sorting them, and loading and
// saving a tag tree of 2,000 nodes. Generation happens once, before any benchmark, in a temporary folder.
//
//   workbench_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "libgen.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "common/prompts.h"
#include "common/textcodec.h"
#include "store/pathfold.h"
#include "store/wordmgr.h"
#include "workbench/application.h"
#include "workbench/core/treefile.h"
#include "workbench/navigation/tagtreewidget.h"
#include "workbench/navigation/treeview.h"
#include "workbench/tmform.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMenu>
#include <QSet>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace velmora;
using namespace velmora::bench;

namespace {

constexpr int kTreeNodes = 2000;
constexpr int kWantedDocs = 10000;
const QString kGroupTag = QStringLiteral("综合资料");
const QString kRootTag = QStringLiteral("标签分类");

// No dialog may block a benchmark; an error box is counted so that the benchmark that caused it fails.
class SilentPrompts final : public Prompts {
public:
    int errors = 0;

    void info(const QString& text) override { std::fprintf(stderr, "info: %s\n", qPrintable(text)); }
    void error(const QString& text, const QString&) override {
        ++errors;
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    bool yesNo(const QString&) override { return false; }
    Answer yesNoCancel(const QString&) override { return Answer::Cancel; }
    QStringList openFiles(bool, const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString folder(const QString&, const QString&) override { return {}; }
};

struct Fixture {
    QTemporaryDir temp;
    SilentPrompts prompts;
    // The generated library with its deleted records and the saved trees of a user who has worked with it; the
    // same without deleted records (opening makes no dated copy); the same again without saved trees.
    QString userAppData;
    QString noDeletedAppData;
    QString bareAppData;
    QString treeFile;
    Tree tagTree;
    QString groupQuery;
    int groupTags = 0;
    int groupDocs = 0;
    QString groupList;
    std::unique_ptr<TmForm> window;
};

Fixture* g_fixture = nullptr;
QtMessageHandler g_defaultMessages = nullptr;

// The offscreen platform warns at every window it shows; in a loop that buries the results.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!text.contains(QLatin1String("propagateSizeHints"))) {
        g_defaultMessages(type, context, text);
    }
}

void copyFile(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to)) {
        throw VelmoraError(QStringLiteral("cannot copy %1 to %2").arg(from, to), from);
    }
}

void copyLibrary(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : {QStringLiteral("worddata.idx"), QStringLiteral("worddata.data")}) {
        copyFile(from + name, to + name);
    }
}

// Every tag of the library with the live documents that carry it, folded as the store compares them.
QHash<QString, QList<qint64>> tagDocuments(const QString& dataFile, QHash<QString, QString>& spelling) {
    const TWordMgr store(dataFile, OpenMode::ReadOnly);
    QHash<QString, QList<qint64>> docs;
    for (int k = 0; k < store.GetRecNumber(); ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const TWordRec rec = store.RecordAt(pos);
        if (rec.wdDeleted || rec.wdTagsPos < 0) {
            continue;
        }
        for (const QString& tag : SplitStoredTags(store.StringAt(rec.wdTagsPos))) {
            if (!tag.isEmpty()) {
                const QString folded = FoldAsciiCase(tag);
                docs[folded].append(pos);
                spelling.insert(folded, tag);
            }
        }
    }
    return docs;
}

// A tag tree of kTreeNodes nodes over the library's own tags: the top node, a group whose tags together carry
// about kWantedDocs documents, and the other tags in groups of 25 with a nested group in each, as a user who has
// sorted a large tag list would have it.
void buildTagTree(Fixture& f, const QString& dataFile) {
    QHash<QString, QString> spelling;
    const QHash<QString, QList<qint64>> docs = tagDocuments(dataFile, spelling);
    QStringList tags = spelling.values();
    std::sort(tags.begin(), tags.end());

    TreeNode group{kGroupTag, 1, -1, {}};
    // The group's own name may be a tag of the library too: its documents are listed with the rest.
    QSet<qint64> listed;
    for (const qint64 pos : docs.value(FoldAsciiCase(kGroupTag))) {
        listed.insert(pos);
    }
    qsizetype next = 0;
    while (next < tags.size() && listed.size() < kWantedDocs) {
        const QString& tag = tags.at(next++);
        group.children.push_back(TreeNode{tag, 3, -1, {}});
        for (const qint64 pos : docs.value(FoldAsciiCase(tag))) {
            listed.insert(pos);
        }
    }
    f.groupTags = int(group.children.size());
    f.groupDocs = int(listed.size());

    TreeNode root{kRootTag, 1, -1, {}};
    root.children.push_back(std::move(group));
    int nodes = 2 + f.groupTags;
    while (next < tags.size() && nodes < kTreeNodes) {
        TreeNode sub{tags.at(next++), 1, -1, {}};
        ++nodes;
        for (int i = 0; i < 24 && next < tags.size() && nodes < kTreeNodes; ++i, ++nodes) {
            TreeNode leaf{tags.at(next++), 3, -1, {}};
            if (i == 0) {
                leaf.image = 1;
                for (int j = 0; j < 4 && next < tags.size() && nodes + 1 < kTreeNodes; ++j, ++nodes) {
                    leaf.children.push_back(TreeNode{tags.at(next++), 3, -1, {}});
                }
            }
            sub.children.push_back(std::move(leaf));
        }
        root.children.push_back(std::move(sub));
    }
    f.tagTree = Tree{std::move(root)};
    if (CountNodes(f.tagTree) != kTreeNodes) {
        throw VelmoraError(
            QStringLiteral("the tag tree has %1 nodes, not %2").arg(CountNodes(f.tagTree)).arg(kTreeNodes));
    }
}

void writeSettings(const QString& appData, int lastNode) {
    WriteTextFile(appData + QStringLiteral("settings.ini"),
                  {QStringLiteral("ImportDir="), QStringLiteral("SaveAsDir="), QStringLiteral("SortType=文章标题"),
                   QStringLiteral("WinPosLTHW="), QStringLiteral("LastTag=") + kGroupTag,
                   QStringLiteral("LastNode=%1").arg(lastNode), QStringLiteral("AutoGoBack=0"),
                   QStringLiteral("AutoSaveInterval=5")});
}

// The saved article list of the group's documents, one top-level node each with picture 2 and its position.
Tree articleTree(const QString& positionList) {
    Tree list;
    for (const QString& line : positionList.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const qsizetype bar = line.indexOf(u'|');
        QString name = line.mid(line.lastIndexOf(u'/') + 1);
        name.truncate(name.lastIndexOf(u'.'));
        list.push_back(TreeNode{name, 2, qint32(line.left(bar).toInt()), {}});
    }
    return list;
}

void prepare(Fixture& f) {
    if (!f.temp.isValid()) {
        throw VelmoraError(QStringLiteral("cannot make a temporary folder: %1").arg(f.temp.errorString()));
    }
    f.userAppData = f.temp.filePath(QStringLiteral("user")) + u'/';
    f.noDeletedAppData = f.temp.filePath(QStringLiteral("nodeleted")) + u'/';
    f.bareAppData = f.temp.filePath(QStringLiteral("bare")) + u'/';
    f.treeFile = f.temp.filePath(QStringLiteral("trees/TagTVItems.dat"));
    QDir().mkpath(f.temp.filePath(QStringLiteral("trees")));

    LibraryOptions options;
    const QByteArray count = qgetenv("VELMORA_BENCH_DOCS");
    if (!count.isEmpty()) {
        options.count = count.toInt();
    }
    QElapsedTimer timer;
    timer.start();
    SetAppDataFolder(f.temp.filePath(QStringLiteral("generated")));
    const GeneratedLibrary lib = GenerateLibrary(f.temp.filePath(QStringLiteral("generated")), options);
    const QString generated = lib.folder + u'/';
    copyLibrary(generated, f.userAppData);
    copyLibrary(generated, f.noDeletedAppData);
    {
        TWordMgr store(f.noDeletedAppData + QStringLiteral("worddata.data"));
        store.RestoreAllDeleted();
        store.SaveRecDataFiles(false);
    }
    copyLibrary(f.noDeletedAppData, f.bareAppData);
    QDir(f.temp.filePath(QStringLiteral("generated/databackup"))).removeRecursively();

    buildTagTree(f, lib.dataFile);
    f.groupQuery = kGroupTag + u' ';
    for (const TreeNode& tag : f.tagTree.front().children.front().children) {
        f.groupQuery += tag.text + u' ';
    }
    {
        TWordMgr store(lib.dataFile, OpenMode::ReadOnly);
        f.groupList = store.GetListForLoadwzTV(f.groupQuery, false);
    }
    const qsizetype listed = f.groupList.count(QStringLiteral("\r\n"));
    if (listed != f.groupDocs) {
        throw VelmoraError(
            QStringLiteral("the store lists %1 documents for the group, the tally %2").arg(listed).arg(f.groupDocs));
    }

    SaveTreeFile(f.treeFile, f.tagTree);
    // The group is the second node in pre-order, remembered as the last selected one.
    for (const QString& appData : {f.userAppData, f.noDeletedAppData}) {
        SaveTreeFile(appData + QStringLiteral("TagTVItems.dat"), f.tagTree);
        SaveTreeFile(appData + QStringLiteral("wzTVItems.dat"), articleTree(f.groupList));
        writeSettings(appData, 1);
    }
    writeSettings(f.bareAppData, -1);

    std::fprintf(stderr,
                 "library: %d records (%d live, %d deleted), prepared in %.1f s; tag tree %d nodes; group of %d tags "
                 "listing %d documents\n",
                 lib.records, lib.live, lib.deleted, double(timer.elapsed()) / 1000.0, CountNodes(f.tagTree),
                 f.groupTags, f.groupDocs);
}

void waitUntilExposed(QWidget& widget) {
    const QDeadlineTimer deadline(10000);
    while (widget.windowHandle() == nullptr || !widget.windowHandle()->isExposed()) {
        if (deadline.hasExpired()) {
            throw VelmoraError(QStringLiteral("the main window was never exposed"));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // The first paint follows the exposure.
    QCoreApplication::processEvents();
}

bool failedWithError(benchmark::State& state, int errorsBefore) {
    if (g_fixture->prompts.errors != errorsBefore) {
        state.SkipWithError("the window reported an error");
        return true;
    }
    return false;
}

QTreeWidget* articleView(TmForm& window) {
    return window.findChild<QTreeWidget*>(QStringLiteral("wzTreeView"));
}

QTreeWidget* tagView(TmForm& window) {
    return window.findChild<QTreeWidget*>(QStringLiteral("tagTreeView"));
}

// Makes the next click on the group list again, as a click on another tag first would.
void forgetShownList(TmForm& window) {
    window.findChild<Workbench*>()->setShownListCaption(QStringLiteral("0条"));
}

QAction* sortKeyItem(TmForm& window, const QString& caption) {
    for (QAction* item : window.findChild<QMenu*>(QStringLiteral("pmSort"))->actions()) {
        if (item->text() == caption) {
            return item;
        }
    }
    throw VelmoraError(QStringLiteral("no sort key %1").arg(caption));
}

// The window the list and tree benchmarks work in: opened once on the user's folder, the group's list shown.
TmForm& window() {
    Fixture& f = *g_fixture;
    if (!f.window) {
        SetAppDataFolder(f.userAppData);
        f.window = std::make_unique<TmForm>();
        f.window->show();
        waitUntilExposed(*f.window);
    }
    return *f.window;
}

// -- start-up to the shown window --

void BM_StartUp(benchmark::State& state, const QString* appData) {
    SetAppDataFolder(*appData);
    const int errors = g_fixture->prompts.errors;
    int articles = 0;
    for (auto _ : state) {
        auto form = std::make_unique<TmForm>();
        form->show();
        waitUntilExposed(*form);
        state.PauseTiming();
        articles = articleView(*form)->topLevelItemCount();
        // The store writes what changed when the window goes; that belongs to shutdown, not to start-up.
        form.reset();
        QCoreApplication::processEvents();
        QDir(*appData + QStringLiteral("databackup")).removeRecursively();
        state.ResumeTiming();
    }
    if (!failedWithError(state, errors)) {
        state.counters["articles"] = articles;
    }
}

// -- the tag click --

void clickGroup(TmForm& form, QTreeWidgetItem* node) {
    form.tagTreeViewClick(node, Qt::NoModifier);
    // The user waits for the list to be drawn, not only filled.
    QCoreApplication::processEvents();
}

void BM_TagClick(benchmark::State& state) {
    TmForm& form = window();
    const int errors = g_fixture->prompts.errors;
    form.SelectSortItem(QStringLiteral("文章标题"));
    QTreeWidgetItem* node = form.FindTagNode(kGroupTag);
    // The store builds its tag index at the second lookup: measure the clicks after that, as a user who keeps
    // clicking tags sees them; BM_TagClick_First measures the first one.
    for (int i = 0; i < 2; ++i) {
        forgetShownList(form);
        clickGroup(form, node);
    }
    for (auto _ : state) {
        state.PauseTiming();
        forgetShownList(form);
        state.ResumeTiming();
        clickGroup(form, node);
    }
    if (!failedWithError(state, errors)) {
        state.counters["docs"] = articleView(form)->topLevelItemCount();
    }
}

// The first tag click after start-up, before the store has an index to answer from.
void BM_TagClick_First(benchmark::State& state) {
    SetAppDataFolder(g_fixture->noDeletedAppData);
    const int errors = g_fixture->prompts.errors;
    int docs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<TmForm>();
        form->show();
        waitUntilExposed(*form);
        forgetShownList(*form);
        QTreeWidgetItem* node = form->FindTagNode(kGroupTag);
        state.ResumeTiming();
        clickGroup(*form, node);
        state.PauseTiming();
        docs = articleView(*form)->topLevelItemCount();
        form.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    if (!failedWithError(state, errors)) {
        state.counters["docs"] = docs;
    }
}

// The two halves of the click: the store's answer, and filling the list from it.
void BM_TagClick_StoreQuery(benchmark::State& state) {
    TmForm& form = window();
    qsizetype docs = 0;
    for (auto _ : state) {
        const QString list = form.store().GetListForLoadwzTV(g_fixture->groupQuery, false);
        docs = list.count(u'\n');
        benchmark::DoNotOptimize(list.constData());
    }
    state.counters["docs"] = double(docs);
}

void BM_TagClick_LoadArticleList(benchmark::State& state) {
    TmForm& form = window();
    const int errors = g_fixture->prompts.errors;
    form.SelectSortItem(QStringLiteral("文章标题"));
    for (auto _ : state) {
        form.LoadArticleList(g_fixture->groupList, true);
        QCoreApplication::processEvents();
    }
    if (!failedWithError(state, errors)) {
        state.counters["docs"] = articleView(form)->topLevelItemCount();
    }
}

// -- re-sorting the listed documents --

void BM_Resort(benchmark::State& state, const QString* caption) {
    TmForm& form = window();
    const int errors = g_fixture->prompts.errors;
    form.SelectSortItem(QStringLiteral("文章标题"));
    form.LoadArticleList(g_fixture->groupList, true);
    QAction* byTitle = sortKeyItem(form, QStringLiteral("文章标题"));
    QAction* key = sortKeyItem(form, *caption);
    for (auto _ : state) {
        state.PauseTiming();
        // Always from the title order, so that no iteration starts from a list already in the wanted order.
        form.SortArticleList(byTitle);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        form.SortArticleList(key);
        QCoreApplication::processEvents();
    }
    if (!failedWithError(state, errors)) {
        state.counters["docs"] = articleView(form)->topLevelItemCount();
    }
}

// -- the tag tree of 2,000 nodes --

void BM_TagTree_Load(benchmark::State& state) {
    TmForm& form = window();
    for (auto _ : state) {
        LoadTVItems(tagView(form), g_fixture->treeFile);
    }
    state.counters["nodes"] = double(PreOrder(tagView(form)).size());
}

void BM_TagTree_LoadAndDraw(benchmark::State& state) {
    TmForm& form = window();
    for (auto _ : state) {
        LoadTVItems(tagView(form), g_fixture->treeFile);
        QCoreApplication::processEvents();
    }
    state.counters["nodes"] = double(PreOrder(tagView(form)).size());
}

void BM_TagTree_Save(benchmark::State& state) {
    TmForm& form = window();
    LoadTVItems(tagView(form), g_fixture->treeFile);
    const QString file = g_fixture->temp.filePath(QStringLiteral("trees/saved.dat"));
    for (auto _ : state) {
        SaveTVItems(tagView(form), file);
    }
    state.counters["nodes"] = double(PreOrder(tagView(form)).size());
    if (QFile(file).size() != QFile(g_fixture->treeFile).size()) {
        state.SkipWithError("the saved tree differs in size from the loaded one");
    }
}

void BM_TagTree_Encode(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeTreeFile(g_fixture->tagTree).constData());
    }
    state.counters["nodes"] = CountNodes(g_fixture->tagTree);
}

void BM_TagTree_Decode(benchmark::State& state) {
    const QByteArray bytes = EncodeTreeFile(g_fixture->tagTree);
    for (auto _ : state) {
        const Tree tree = DecodeTreeFile(bytes, g_fixture->treeFile);
        benchmark::DoNotOptimize(tree.data());
    }
    state.counters["nodes"] = CountNodes(g_fixture->tagTree);
}

const QString kReadTimes = QStringLiteral("阅读次数");
const QString kTitle = QStringLiteral("文章标题");
const QString kModified = QStringLiteral("修改日期");

void registerAll() {
    Fixture& f = *g_fixture;
    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("StartUp/user_library_with_saved_trees", BM_StartUp, &f.userAppData)
        ->Unit(ms)
        ->Iterations(3);
    benchmark::RegisterBenchmark("StartUp/no_deleted_records_with_saved_trees", BM_StartUp, &f.noDeletedAppData)
        ->Unit(ms)
        ->Iterations(3);
    benchmark::RegisterBenchmark("StartUp/no_deleted_records_no_saved_trees", BM_StartUp, &f.bareAppData)
        ->Unit(ms)
        ->Iterations(3);
    benchmark::RegisterBenchmark("TagClick/10k_by_title", BM_TagClick)->Unit(ms);
    benchmark::RegisterBenchmark("TagClick/10k_by_title_first_after_start", BM_TagClick_First)->Unit(ms)->Iterations(3);
    benchmark::RegisterBenchmark("TagClick/part_store_query", BM_TagClick_StoreQuery)->Unit(ms);
    benchmark::RegisterBenchmark("TagClick/part_LoadArticleList", BM_TagClick_LoadArticleList)->Unit(ms);
    benchmark::RegisterBenchmark("Resort/10k_by_read_times", BM_Resort, &kReadTimes)->Unit(ms);
    benchmark::RegisterBenchmark("Resort/10k_by_title", BM_Resort, &kTitle)->Unit(ms);
    benchmark::RegisterBenchmark("Resort/10k_by_modified_date", BM_Resort, &kModified)->Unit(ms);
    benchmark::RegisterBenchmark("TagTree2000/LoadTVItems", BM_TagTree_Load)->Unit(ms);
    benchmark::RegisterBenchmark("TagTree2000/LoadTVItems_and_draw", BM_TagTree_LoadAndDraw)->Unit(ms);
    benchmark::RegisterBenchmark("TagTree2000/SaveTVItems", BM_TagTree_Save)->Unit(ms);
    benchmark::RegisterBenchmark("TagTree2000/EncodeTreeFile", BM_TagTree_Encode)->Unit(ms);
    benchmark::RegisterBenchmark("TagTree2000/DecodeTreeFile", BM_TagTree_Decode)->Unit(ms);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // Set before the application object exists, which is when Qt picks its platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    VelmoraApplication app(argc, argv);
    g_defaultMessages = qInstallMessageHandler(quietMessages);
    try {
        Fixture fixture;
        InstallPrompts(&fixture.prompts);
        g_fixture = &fixture;
        prepare(fixture);
        registerAll();
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        fixture.window.reset();
        InstallPrompts(nullptr);
        g_fixture = nullptr;
    } catch (const VelmoraError& error) {
        InstallPrompts(nullptr);
        std::fprintf(stderr, "workbench_bench: %s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
