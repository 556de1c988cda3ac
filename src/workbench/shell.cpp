#include "shell.h"

#include "platform/filemanager.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace velmora {

namespace {

std::function<bool(const QString&)>& opener() {
    static std::function<bool(const QString&)> open = [](const QString& target) {
        const QUrl url = target.contains(QStringLiteral("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
        return QDesktopServices::openUrl(url);
    };
    return open;
}

std::function<bool(const QString&)>& revealer() {
    static std::function<bool(const QString&)> reveal = [](const QString& path) { return RevealInFileManager(path); };
    return reveal;
}

} // namespace

bool OpenWithShell(const QString& pathOrUrl) {
    return opener()(pathOrUrl);
}

void SetShellOpener(std::function<bool(const QString&)> open) {
    opener() = std::move(open);
}

bool ShowInFileManager(const QString& path) {
    return revealer()(path) || OpenWithShell(QFileInfo(path).absolutePath());
}

void SetFileRevealer(std::function<bool(const QString&)> reveal) {
    revealer() = std::move(reveal);
}

} // namespace velmora
