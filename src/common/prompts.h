#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

enum class Answer { Yes, No, Cancel };

// Every message box and file or folder picker of the program goes through the installed Prompts, so that the
// main window can show real dialogs and a test can answer them from a script.
class Prompts {
public:
    virtual ~Prompts() = default;

    virtual void info(const QString& text) = 0;
    virtual void error(const QString& text, const QString& caption) = 0;
    virtual bool yesNo(const QString& text) = 0;
    virtual Answer yesNoCancel(const QString& text) = 0;
    // An empty list when cancelled.
    virtual QStringList openFiles(bool single, const QString& title, const QString& initialDir,
                                  const QString& filter) = 0;
    // The chosen path as picked; the empty string when cancelled.
    virtual QString saveFile(const QString& initialDir, const QString& fileName, const QString& title,
                             const QString& filter, const QString& defaultExt) = 0;
    virtual QString folder(const QString& title, const QString& initialDir) = 0;
};

// The installed prompts; without one, messages go to the error output and every question is declined, which is
// what a program without a window must do.
Prompts& CurrentPrompts();
void InstallPrompts(Prompts* prompts);

void ShowInfo(const QString& text);
void ShowError(const QString& text, const QString& caption);
bool AskYesNo(const QString& text);
Answer AskYesNoCancel(const QString& text);

// The chosen path (single) or paths, one per line with CR LF between; the empty string when cancelled.
QString PickFiles(bool single, const QString& title, const QString& initialDir, const QString& filter);

// The chosen save name, trimmed; the empty string when cancelled or when the file exists and the user does
// not want to overwrite it.
QString PickSaveName(const QString& initialDir, const QString& fileName, const QString& title, const QString& ext);

QString PickFolder(const QString& title, const QString& initialDir = {});

} // namespace velmora
