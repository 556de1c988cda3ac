#include "shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace velmora {

namespace {

std::function<void(const QString&)>& opener() {
    static std::function<void(const QString&)> open = [](const QString& target) {
        const QUrl url = target.contains(QStringLiteral("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
        QDesktopServices::openUrl(url);
    };
    return open;
}

} // namespace

void OpenWithShell(const QString& pathOrUrl) {
    opener()(pathOrUrl);
}

void SetShellOpener(std::function<void(const QString&)> open) {
    opener() = std::move(open);
}

} // namespace velmora
