#pragma once

#include "common/prompts.h"

class QWidget;

namespace velmora {

// Message boxes and pickers as real dialogs, captioned "Velmora", with the Chinese button texts.
class QtPrompts final : public Prompts {
public:
    void info(const QString& text) override;
    void error(const QString& text, const QString& caption) override;
    bool yesNo(const QString& text) override;
    Answer yesNoCancel(const QString& text) override;
    QStringList openFiles(bool single, const QString& title, const QString& initialDir, const QString& filter) override;
    QString saveFile(const QString& initialDir, const QString& fileName, const QString& title, const QString& filter,
                     const QString& defaultExt) override;
    QString folder(const QString& title, const QString& initialDir) override;
};

// "*.docx 文件|*.docx" (description|pattern pairs) as a file dialog's name filters.
QString ToDialogFilter(const QString& filter);

} // namespace velmora
