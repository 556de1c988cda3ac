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

#include <cstdio>
#include <cstring>

#ifdef VELMORA_WITH_LIBREOFFICE
#include "office/libreoffice/libreoffice.h"
#endif

namespace {

// Answered before any window system is touched, so that they work over ssh and in scripts.
bool answeredFromCommandLine(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("velmora %s\n", VELMORA_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: velmora [--help | --version]\n\n"
                        "Opens the document library in a window. velmoradb works on it from the command line.\n"
                        "The environment variable VELMORA_APPDATA names another data folder.\n\n"
                        "Data folder in use: %s\n",
                        velmora::AppDataFolder().toLocal8Bit().constData());
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (answeredFromCommandLine(argc, argv)) {
        return 0;
    }
    velmora::VelmoraApplication app(argc, argv);
    velmora::QtPrompts prompts;
    velmora::InstallPrompts(&prompts);
    velmora::SetClipboardWriter([](const QString& text) { QGuiApplication::clipboard()->setText(text); });
#ifdef VELMORA_WITH_LIBREOFFICE
    // LibreOffice Writer and Calc answer for the word processor and the spreadsheet.
    const bool office = velmora::RegisterLibreOfficeServers();
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
        const velmora::LibraryLock::Owner owner = lock.owner();
        if (lock.isHeldByOther() && owner.known && owner.kind == velmora::LibraryLock::Holder::Tool) {
            velmora::ShowInfo(
                QStringLiteral("资料库正在被命令行工具 velmoradb 修改 (%1)，请稍后再打开。").arg(lock.holder()));
        } else if (lock.isHeldByOther()) {
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
        form.buildTextIndexEarly();
        form.levelCachesEarly();
#ifdef VELMORA_WITH_LIBREOFFICE
        // The word processor takes seconds to come up: it does so while the user looks for a document.
        if (office) {
            form.startOfficeEarly();
        }
#endif
        status = app.exec();
    }
    velmora::InstallPrompts(nullptr);
    return status;
}
