#include "application.h"

#include "common/errors.h"
#include "common/prompts.h"

namespace velmora {

VelmoraApplication::VelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Velmora"));
    setApplicationDisplayName(QStringLiteral("Velmora"));
    setApplicationVersion(QStringLiteral(VELMORA_VERSION));
}

bool VelmoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const VelmoraError& error) {
        ReportError(error.message());
    } catch (const std::exception& error) {
        ReportError(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

void ReportError(const QString& text) {
    ShowError(text, QStringLiteral("Velmora"));
}

} // namespace velmora
