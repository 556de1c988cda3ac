#include "common/appfolder.h"
#include "common/errors.h"
#include "common/prompts.h"
#include "office/clipboard.h"
#include "store/librarylock.h"
#include "workbench/application.h"
#include "workbench/qtprompts.h"
#include "workbench/tmform.h"

#include <QClipboard>
#include <QGuiApplication>

#ifdef VELMORA_WITH_LIBREOFFICE
#include "office/libreoffice/libreoffice.h"
#endif

int main(int argc, char* argv[]) {
    velmora::VelmoraApplication app(argc, argv);
    velmora::QtPrompts prompts;
    velmora::InstallPrompts(&prompts);
    velmora::SetClipboardWriter([](const QString& text) { QGuiApplication::clipboard()->setText(text); });
#ifdef VELMORA_WITH_LIBREOFFICE
    // LibreOffice Writer and Calc answer for the word processor and the spreadsheet; nothing starts until a
    // document is opened.
    velmora::RegisterLibreOfficeServers();
#endif

    try {
        velmora::PrepareDataFolder();
    } catch (const velmora::VelmoraError& error) {
        velmora::ShowInfo(error.message());
        return 1;
    }
    // Two windows on one library would overwrite each other's changes.
    velmora::LibraryLock lock(velmora::LibraryLock::Holder::Window);
    if (!lock.tryLock()) {
        if (lock.isHeldByOther()) {
            velmora::ShowInfo(QStringLiteral("资料库正在被另一个 Velmora 窗口使用 (%1)。").arg(lock.holder()));
        } else {
            velmora::ShowInfo(
                QStringLiteral("资料库文件夹 %1 不能写入: %2").arg(velmora::AppDataFolder(), lock.errorString()));
        }
        return 1;
    }
    int status = 0;
    {
        velmora::TmForm form;
        form.show();
        status = app.exec();
    }
    velmora::InstallPrompts(nullptr);
    return status;
}
