// Backing up the program's own small data files, and the update notice.

#include "common/appfolder.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "common/prompts.h"
#include "shell.h"
#include "tmform.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmora {

namespace {

const QString kUpdatePage = QStringLiteral("https://velmora.app/updates");

} // namespace

void TmForm::ItemBackupClick() {
    const QString root = AppDataFolder() + QStringLiteral("databackup") + QDir::separator();
    // Zero-padded, so that two days never share a folder (27 January and 7 December would otherwise).
    const QString dated = root + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QDir::separator();
    QDir().mkpath(root);
    if (!QFileInfo(root).isDir()) {
        ShowInfo(QStringLiteral("创建文件夹失败"));
        return;
    }
    QStringList files;
    ListFiles(AppDataFolder(), QStringLiteral(".txt.ini.dat.xls"), false, files);
    if (!QDir().mkpath(dated)) {
        throw VelmoraError(QStringLiteral("创建文件夹失败: %1").arg(dated), dated);
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

void TmForm::ItemWeiboClick() {
    ShowInfo(QStringLiteral("请关注我的微博，跟踪最新版本，提出改进意见"));
    OpenWithShell(kUpdatePage);
}

} // namespace velmora
