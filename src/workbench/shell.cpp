#include "shell.h"

#include "platform/filemanager.h"

#include <QDesktopServices>
#include <QFileInfo>
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

std::function<bool(const QString&)>& revealer() {
    static std::function<bool(const QString&)> reveal = [](const QString& path) { return RevealInFileManager(path); };
    return reveal;
}

} // namespace

void OpenWithShell(const QString& pathOrUrl) {
    opener()(pathOrUrl);
}

void SetShellOpener(std::function<void(const QString&)> open) {
    opener() = std::move(open);
}

void ShowInFileManager(const QString& path) {
    if (!revealer()(path)) {
        OpenWithShell(QFileInfo(path).absolutePath());
    }
}

void SetFileRevealer(std::function<bool(const QString&)> reveal) {
    revealer() = std::move(reveal);
}

} // namespace velmora
