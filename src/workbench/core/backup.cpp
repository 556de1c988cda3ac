#include "workbench/core/backup.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "common/prompts.h"
#include "workbench/core/texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmora {

void BackupSmallFiles(const QString& dataFolder, const QDate& day) {
    const QString root = dataFolder + QStringLiteral("databackup") + QDir::separator();
    // Zero-padded, so that two days never share a folder (27 January and 7 December would otherwise).
    const QString dated = root + day.toString(QStringLiteral("yyyyMMdd")) + QDir::separator();
    MakePrivateFolder(root);
    if (!QFileInfo(root).isDir()) {
        ShowInfo(kFolderNotMade);
        return;
    }
    QStringList files;
    ListFiles(dataFolder, QStringLiteral(".txt.ini.dat.xls"), false, files);
    if (!MakePrivateFolder(dated)) {
        throw VelmoraError(QStringLiteral("%1: %2").arg(kFolderNotMade, dated), dated);
    }
    for (const QString& file : std::as_const(files)) {
        if (!QFile::exists(file)) {
            continue;
        }
        const QString target = dated + QFileInfo(file).fileName();
        QFile::remove(target);
        QFile::copy(file, target);
    }
}

} // namespace velmora
