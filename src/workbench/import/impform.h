#pragma once

#include "importrun.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace velmora {

class SettingsList;

// The import dialog: the files to import (picked, or listed from a folder), the password and the tags with the
// lines each applies to, and whether to index. It checks nothing itself; OK and Cancel only close it.
class TimpForm final : public QDialog {
    Q_OBJECT

public:
    // `files` are listed at once (files dropped on the main window).
    TimpForm(SettingsList& settings, const QStringList& files, QWidget* parent);

    QStringList listedFiles() const;
    // The choices as a run takes them; a placeholder left in the tag box is taken out of it first.
    ImportOptions options();

Q_SIGNALS:
    // Ctrl and a click on the selection hint: the main window's close area turns opaque or transparent again.
    void closeAreaToggleWanted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btFileBrowseClick();
    void btBrowseClick();
    void btListFilesClick();
    void btDeleteClick();
    void btRemoveNoSelItemClick();
    void tagsLblEditEnter();
    void setList(const QStringList& files);

    SettingsList& m_settings;
    QLineEdit* fnEdit = nullptr;
    QPushButton* btFileBrowse = nullptr;
    QLineEdit* dirEdit = nullptr;
    QPushButton* btBrowse = nullptr;
    QPushButton* btListFiles = nullptr;
    QCheckBox* ckFolder = nullptr;
    QLabel* Label1 = nullptr;
    QListWidget* ListBox = nullptr;
    QPushButton* btDelete = nullptr;
    QPushButton* btRemoveNoSelItem = nullptr;
    QLineEdit* ledPSW = nullptr;
    QToolButton* btPSView = nullptr;
    QRadioButton* rPSSelItems = nullptr;
    QRadioButton* rPSAllItems = nullptr;
    QRadioButton* rSelItems = nullptr;
    QRadioButton* rAllItems = nullptr;
    QLineEdit* tagsLblEdit = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnOK = nullptr;
    QCheckBox* ckIndex = nullptr;
    QLabel* Label2 = nullptr;
};

} // namespace velmora
