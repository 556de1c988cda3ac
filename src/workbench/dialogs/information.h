#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// The information dialog of the active tab's document: its path, the dates of its file and the counts the office
// gives for it. It closes itself as soon as another window becomes active.
class TinfoForm final : public QDialog {
    Q_OBJECT

public:
    explicit TinfoForm(QWidget* parent);

    // Fills the dialog for the document at `path`, counted in `word`'s active document; an unsaved document
    // (no file yet) keeps the design captions.
    void showPath(const QString& path);
    void setCount(const QString& label, int value);
    void setDates(const QString& path);

protected:
    void changeEvent(QEvent* event) override;

private:
    void btDocPathClick();

    QLineEdit* edDocName = nullptr;
    bool m_wasActive = false;
};

class Information final : public QObject {
    Q_OBJECT

public:
    Information(Workbench& bench, QWidget* toolbar);

    QWidget* toolButton() const;
    void tbtInfoClick();
    // The dialog shown last, while it lives.
    TinfoForm* form() const { return infoForm; }

private:
    void LoadDocProperties(TinfoForm& form);

    Workbench& m_bench;
    QToolButton* tbtInfo = nullptr;
    QPointer<TinfoForm> infoForm;
};

// A file time of the dialog: the date, and the time of day unless it is midnight.
QString InfoDateText(double days);

} // namespace velmora
