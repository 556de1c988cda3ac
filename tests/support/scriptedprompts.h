#pragma once

#include "common/prompts.h"

#include <QQueue>
#include <QStringList>
#include <QVariant>

namespace velmora::test {

// Answers the program's questions from a script, in order, and records everything it was shown or asked.
// A question with no scripted answer fails the test: a test must know every dialog it causes.
class ScriptedPrompts final : public Prompts {
public:
    ScriptedPrompts();
    ~ScriptedPrompts() override;

    // Scripted answers, taken in order by the kind of question.
    QQueue<bool> yesNoAnswers;
    QQueue<Answer> yesNoCancelAnswers;
    QQueue<QStringList> openFileAnswers;
    QQueue<QString> saveFileAnswers;
    QQueue<QString> folderAnswers;

    // What was shown, one entry per box or picker, as "info: text", "error: caption: text", "yesno: text",
    // "yesnocancel: text", "open: title", "save: title", "folder: title".
    QStringList log;
    // Where the last file picker started, and what it offered; where the last save and folder pickers started.
    QString lastOpenDir;
    QString lastOpenFilter;
    QString lastSaveDir;
    QString lastFolderDir;

    void info(const QString& text) override;
    void error(const QString& text, const QString& caption) override;
    bool yesNo(const QString& text) override;
    Answer yesNoCancel(const QString& text) override;
    QStringList openFiles(bool single, const QString& title, const QString& initialDir, const QString& filter) override;
    QString saveFile(const QString& initialDir, const QString& fileName, const QString& title, const QString& filter,
                     const QString& defaultExt) override;
    QString folder(const QString& title, const QString& initialDir) override;

private:
    template <typename T>
    T take(QQueue<T>& answers, const QString& what);
};

} // namespace velmora::test
