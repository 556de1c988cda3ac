// A move or an import without the window, for the kill sweeps of tst_crash:
//   crashdriver move APPDATA FOLDER       moves every live document of the library into FOLDER
//   crashdriver import APPDATA FILE...    imports the files with indexing, asking for the library to be written
//                                         after each one, and prints "done PATH" once PATH's import has returned
//   crashdriver cachewrite APPDATA PATH TEXT   writes TEXT as the cached text of PATH
//   crashdriver cachemove APPDATA FROM TO      moves the text cache of FROM over that of TO

#include "common/appfolder.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tagstripdouble.h"
#include "workbench/core/folders.h"
#include "workbench/import/importrun.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

using namespace velmora;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 3) {
        return 2;
    }
    const QString mode = args.takeFirst();
    SetAppDataFolder(args.takeFirst());
    if (mode == QLatin1String("cachewrite") && args.size() == 2) {
        WriteTextCache(args.at(0), args.at(1));
        return 0;
    }
    if (mode == QLatin1String("cachemove") && args.size() == 2) {
        MoveTextCacheOver(args.at(0), args.at(1));
        return 0;
    }
    TWordMgr store(AppDataFolder() + QStringLiteral("worddata.data"));
    if (mode == QLatin1String("move")) {
        QList<qint64> positions;
        for (int k = 0; k < store.GetRecNumber(); ++k) {
            positions.append(qint64(k) * TWordMgr::RecSize());
        }
        const MoveOutcome outcome = MoveDocuments(store, positions, args.first(), {}, true);
        return outcome.failed == 0 && outcome.saveError.isEmpty() ? 0 : 1;
    }
    ImportOptions options;
    for (const QString& path : std::as_const(args)) {
        options.items.append({path, false});
    }
    test::TagStripDouble strip;
    ImportRun run(store, strip, options, std::chrono::milliseconds(0));
    while (!run.atEnd()) {
        const ImportRun::Step step = run.next();
        if (step.outcome != ImportRun::Outcome::Skipped) {
            std::printf("done %s\n", step.path.toUtf8().constData());
            std::fflush(stdout);
        }
    }
    run.finish();
    return run.failures().isEmpty() ? 0 : 1;
}
