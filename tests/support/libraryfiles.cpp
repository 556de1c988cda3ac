#include "libraryfiles.h"

#include "common/appfolder.h"
#include "common/datetime.h"
#include "store/wordmgr.h"
#include "tempappdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmora::test {

QString DocPath(const QString& name) {
    return AppDataFolder() + QStringLiteral("docs/") + name;
}

QString WriteDoc(const QString& name, const QByteArray& bytes) {
    const QString path = DocPath(name);
    QDir().mkpath(QFileInfo(path).path());
    WriteBytes(path, bytes);
    QFile written(path);
    if (!written.open(QIODevice::ReadWrite) ||
        !written.setFileTime(CurrentDateTime(), QFileDevice::FileModificationTime)) {
        qFatal("cannot date %s", qPrintable(path));
    }
    return path;
}

QList<qint64> WriteLibrary(const QList<LibraryDoc>& docs) {
    TWordMgr store(AppDataFolder() + QStringLiteral("worddata.data"));
    QList<qint64> positions;
    for (const LibraryDoc& doc : docs) {
        const QString path = doc.onDisk ? WriteDoc(doc.name) : DocPath(doc.name);
        const qint64 pos = store.ImportAWord(path, doc.tags, doc.password, doc.score);
        for (int i = 0; i < doc.reads; ++i) {
            store.IncADigitItem(pos, wdiReadTimes, true);
        }
        if (doc.created != 0.0) {
            store.SetDateTime(pos, wdiCreateTime, doc.created, true);
        }
        if (doc.deleted) {
            store.SetRecDeleted(pos, false);
        }
        positions.append(pos);
    }
    store.SaveRecDataFiles(false);
    return positions;
}

} // namespace velmora::test
