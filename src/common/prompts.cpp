#include "prompts.h"

#include "fileinfo.h"

#include <QFileInfo>

#include <cstdio>

namespace velmora {

namespace {

class NoPrompts final : public Prompts {
public:
    void info(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void error(const QString& text, const QString& caption) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    }
    bool yesNo(const QString&) override { return false; }
    Answer yesNoCancel(const QString&) override { return Answer::Cancel; }
    QStringList openFiles(bool, const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString folder(const QString&, const QString&) override { return {}; }
};

Prompts*& installed() {
    static Prompts* prompts = nullptr;
    return prompts;
}

} // namespace

Prompts& CurrentPrompts() {
    static NoPrompts none;
    return installed() != nullptr ? *installed() : none;
}

void InstallPrompts(Prompts* prompts) {
    installed() = prompts;
}

void ShowInfo(const QString& text) {
    CurrentPrompts().info(text);
}

void ShowError(const QString& text, const QString& caption) {
    CurrentPrompts().error(text, caption);
}

bool AskYesNo(const QString& text) {
    return CurrentPrompts().yesNo(text);
}

Answer AskYesNoCancel(const QString& text) {
    return CurrentPrompts().yesNoCancel(text);
}

QString PickFiles(bool single, const QString& title, const QString& initialDir, const QString& filter) {
    const QString caption = title.isEmpty() ? QStringLiteral("Open File") : title;
    QStringList chosen = CurrentPrompts().openFiles(single, caption, initialDir, filter);
    if (single && chosen.size() > 1) {
        chosen = chosen.mid(0, 1);
    }
    return chosen.join(QStringLiteral("\r\n"));
}

QString PickSaveName(const QString& initialDir, const QString& fileName, const QString& title, const QString& ext) {
    const QString chosen = CurrentPrompts().saveFile(initialDir, fileName, title, MakeFileFilter(ext), ext).trimmed();
    if (chosen.isEmpty()) {
        return {};
    }
    if (QFileInfo::exists(chosen) && !AskYesNo(QStringLiteral("文件已经存在，要覆盖它吗？"))) {
        return {};
    }
    return chosen;
}

QString PickFolder(const QString& title, const QString& initialDir) {
    return CurrentPrompts().folder(title, initialDir);
}

} // namespace velmora
