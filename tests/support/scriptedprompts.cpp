#include "scriptedprompts.h"

#include <QTest>

namespace velmora::test {

ScriptedPrompts::ScriptedPrompts() {
    InstallPrompts(this);
}

ScriptedPrompts::~ScriptedPrompts() {
    InstallPrompts(nullptr);
}

template <typename T>
T ScriptedPrompts::take(QQueue<T>& answers, const QString& what) {
    if (answers.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected dialog: ") + what), __FILE__, __LINE__);
        return T{};
    }
    return answers.dequeue();
}

void ScriptedPrompts::info(const QString& text) {
    log.append(QStringLiteral("info: ") + text);
}

void ScriptedPrompts::error(const QString& text, const QString& caption) {
    log.append(QStringLiteral("error: ") + caption + QStringLiteral(": ") + text);
}

bool ScriptedPrompts::yesNo(const QString& text) {
    log.append(QStringLiteral("yesno: ") + text);
    return take(yesNoAnswers, log.last());
}

Answer ScriptedPrompts::yesNoCancel(const QString& text) {
    log.append(QStringLiteral("yesnocancel: ") + text);
    if (yesNoCancelAnswers.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected dialog: ") + log.last()), __FILE__, __LINE__);
        return Answer::Cancel;
    }
    return yesNoCancelAnswers.dequeue();
}

QStringList ScriptedPrompts::openFiles(bool, const QString& title, const QString& initialDir, const QString& filter) {
    log.append(QStringLiteral("open: ") + title);
    lastOpenDir = initialDir;
    lastOpenFilter = filter;
    return take(openFileAnswers, log.last());
}

QString ScriptedPrompts::saveFile(const QString& initialDir, const QString&, const QString& title, const QString&,
                                  const QString&) {
    log.append(QStringLiteral("save: ") + title);
    lastSaveDir = initialDir;
    return take(saveFileAnswers, log.last());
}

QString ScriptedPrompts::folder(const QString& title, const QString& initialDir) {
    log.append(QStringLiteral("folder: ") + title);
    lastFolderDir = initialDir;
    return take(folderAnswers, log.last());
}

} // namespace velmora::test
