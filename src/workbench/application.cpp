#include "application.h"

#include "common/errors.h"
#include "common/prompts.h"
#include "workbench/core/texts.h"

#include <QLibraryInfo>
#include <QLocale>

namespace velmora {

VelmoraApplication::VelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kProgramName);
    // No display name: Qt would append it to every caption ("Velmora 0.1.0 — Velmora").
    setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    // Ties the windows to the desktop entry that ./run.sh installs, for the taskbar's icon and grouping.
    setDesktopFileName(QStringLiteral("velmora"));
    if (LoadQtTexts(m_qtTexts)) {
        installTranslator(&m_qtTexts);
    }
}

bool LoadQtTexts(QTranslator& translator) {
    return translator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

bool VelmoraApplication::notify(QObject* receiver, QEvent* event) {
    // The last resort for a handler that did not go through RunReported.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportErrorOf(error);
    }
    return false;
}

void ReportErrorOf(const std::exception& error) noexcept {
    try {
        const auto* ours = dynamic_cast<const VelmoraError*>(&error);
        ReportError(ours != nullptr ? ours->message() : QString::fromLocal8Bit(error.what()));
    } catch (...) {
        // Showing the report failed too; there is nothing left to tell the user with.
    }
}

void ReportError(const QString& text) {
    ShowError(text, kProgramName);
}

} // namespace velmora
