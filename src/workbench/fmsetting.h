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

    QCheckBox* ckGoBack = nullptr;
    QLineEdit* svEdit = nullptr;
    QPushButton* btOK = nullptr;
};

} // namespace velmora
