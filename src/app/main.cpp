#include "common/appfolder.h"
#include "store/wordmgr.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QTextStream out(stdout);
    out << "Velmora " << QCoreApplication::applicationVersion() << '\n';
    velmora::TWordMgr library(velmora::AppDataFolder() + QStringLiteral("worddata.data"));
    int live = 0;
    for (int k = 0; k < library.GetRecNumber(); ++k) {
        live += library.RecordAt(qint64(k) * velmora::TWordRec::Size).wdDeleted ? 0 : 1;
    }
    out << "library: " << library.FileName() << '\n'
        << "documents: " << live << " (" << library.GetRecNumber() - live << " deleted)\n";
    return 0;
}
