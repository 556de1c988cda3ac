#include "qtprompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace velmora {

namespace {

const QString kCaption = QStringLiteral("Velmora");

QWidget* parentWindow() {
    return QApplication::activeWindow();
}

QMessageBox::StandardButton ask(const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::Question, kCaption, text, buttons, parentWindow());
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (QAbstractButton* yes = box.button(QMessageBox::Yes)) {
        yes->setText(QStringLiteral("是(&Y)"));
    }
    if (QAbstractButton* no = box.button(QMessageBox::No)) {
        no->setText(QStringLiteral("否(&N)"));
    }
    if (QAbstractButton* cancel = box.button(QMessageBox::Cancel)) {
        cancel->setText(QStringLiteral("取消"));
    }
    return QMessageBox::StandardButton(box.exec());
}

void show(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parentWindow());
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

} // namespace

QString ToDialogFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        filters.append(parts.at(i) + QStringLiteral(" (") + patterns + u')');
    }
    return filters.join(QStringLiteral(";;"));
}

void QtPrompts::info(const QString& text) {
    show(QMessageBox::Information, kCaption, text);
}

void QtPrompts::error(const QString& text, const QString& caption) {
    show(QMessageBox::Critical, caption, text);
}

bool QtPrompts::yesNo(const QString& text) {
    return ask(text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

Answer QtPrompts::yesNoCancel(const QString& text) {
    switch (ask(text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

QStringList QtPrompts::openFiles(bool single, const QString& title, const QString& initialDir, const QString& filter) {
    if (single) {
        const QString chosen = QFileDialog::getOpenFileName(parentWindow(), title, initialDir, ToDialogFilter(filter));
        return chosen.isEmpty() ? QStringList() : QStringList{QDir::toNativeSeparators(chosen)};
    }
    QStringList chosen = QFileDialog::getOpenFileNames(parentWindow(), title, initialDir, ToDialogFilter(filter));
    for (QString& path : chosen) {
        path = QDir::toNativeSeparators(path);
    }
    return chosen;
}

QString QtPrompts::saveFile(const QString& initialDir, const QString& fileName, const QString& title,
                            const QString& filter, const QString& defaultExt) {
    QFileDialog dialog(parentWindow(), title, initialDir, ToDialogFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The overwrite question is asked by the caller, in the program's own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QString suffix = defaultExt;
    if (suffix.startsWith(u'.')) {
        suffix.remove(0, 1);
    }
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

QString QtPrompts::folder(const QString& title, const QString& initialDir) {
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(parentWindow(), title, initialDir));
}

} // namespace velmora
