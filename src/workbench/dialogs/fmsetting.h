#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace velmora {

// The settings dialog: return to the last editing position on opening, and the autosave interval.
class TfmSetting final : public QDialog {
    Q_OBJECT

public:
    TfmSetting(const QString& autoGoBack, const QString& autoSaveInterval, QWidget* parent);

    QString autoGoBack() const;
    QString autoSaveInterval() const;

    // OK closes only with values the program can use; otherwise the field is named and the dialog stays.
    void accept() override;

    QCheckBox* ckGoBack = nullptr;
    QLineEdit* svEdit = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;
};

// The autosave interval as the settings file keeps it (whole minutes, up to three digits, 0 for none), or an
// empty text when `typed` is none of those.
QString UsableAutoSaveInterval(const QString& typed);

} // namespace velmora
