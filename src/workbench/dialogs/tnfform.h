#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

// The dialog "新建文件夹": the folder to create in (or to add) and the new folder's name. The folder tree changes
// its labels and disables what a command does not ask for.
class TnfForm final : public QDialog {
    Q_OBJECT

public:
    // `startFolder` is where the folder picker starts and what it leaves when cancelled.
    TnfForm(const QString& startFolder, QWidget* parent);

    QLabel* dirEditLabel = nullptr;
    QLineEdit* dirEdit = nullptr;
    QPushButton* btBrowse = nullptr;
    QLabel* edNewNameLabel = nullptr;
    QLineEdit* edNewName = nullptr;
    QPushButton* btnOK = nullptr;

private:
    void btBrowseClick();
    void dirEditChange();

    QString m_startFolder;
};

} // namespace velmora
