#include "shell.h"

#include "platform/filemanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace velmora {

namespace {

using Opener = std::function<bool(const QString& target, const std::function<void()>& failed)>;

// The desktop's opener says by its exit status whether a program took the target (a browser, a file manager); what
// it says on its error output reaches no user.
bool StartDesktopOpener(const QString& target, const std::function<void()>& failed) {
    const QUrl url = target.contains(QStringLiteral("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
    auto* opener = new QProcess(QCoreApplication::instance());
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({url.toString(QUrl::FullyEncoded)});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener, [opener, failed](int code, QProcess::ExitStatus status) {
        opener->deleteLater();
        if ((status != QProcess::NormalExit || code != 0) && failed) {
            failed();
        }
    });
    opener->start();
    if (!opener->waitForStarted()) {
        delete opener;
        return false;
    }
    return true;
}

Opener& opener() {
    static Opener open = StartDesktopOpener;
    return open;
}

std::function<bool(const QString&)>& revealer() {
    static std::function<bool(const QString&)> reveal = [](const QString& path) { return RevealInFileManager(path); };
    return reveal;
}

} // namespace

void OpenWithShell(const QString& pathOrUrl, const std::function<void()>& failed) {
    if (!opener()(pathOrUrl, failed) && failed) {
        failed();
    }
}

void SetShellOpener(std::function<bool(const QString&)> open) {
    if (!open) {
        opener() = StartDesktopOpener;
        return;
    }
    opener() = [open = std::move(open)](const QString& target, const std::function<void()>&) { return open(target); };
}

void ShowInFileManager(const QString& path, const std::function<void()>& failed) {
    if (!revealer()(path)) {
        OpenWithShell(QFileInfo(path).absolutePath(), failed);
    }
}

void SetFileRevealer(std::function<bool(const QString&)> reveal) {
    revealer() = reveal ? std::move(reveal) : [](const QString& path) { return RevealInFileManager(path); };
}

QString NoFileManagerText(const QString& path) {
    return QStringLiteral("没有可以显示文件的文件管理器。文件位于：\n%1").arg(QDir::toNativeSeparators(path));
}

} // namespace velmora
