#pragma once

#include <QObject>

class QAction;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// The document tabs (Pager): each open document in a tab of its own, the close panel, and the timers that
// follow the current document and save on an interval. Documents themselves arrive with the office side.
class DocumentTabs final : public QObject {
    Q_OBJECT

public:
    DocumentTabs(Workbench& bench, QWidget* toolbar, QWidget* area);

    QWidget* pager() const;
    // The toolbar's document buttons, in their order: new, save, save all; and embed, which sits further on.
    QList<QWidget*> fileButtons() const;
    QWidget* embedButton() const;
    QAction* goBackAction() const;

    // The autosave interval in minutes; none at 0 or below.
    void startAutoSave(int minutes);

Q_SIGNALS:
    void currentDocumentChanged();

private:
    Workbench& m_bench;
    QTabWidget* Pager = nullptr;
    QWidget* pnlClose = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* svTimer = nullptr;
    QAction* GoBackAction = nullptr;
    QToolButton* tbtCreate = nullptr;
    QToolButton* tbtSave = nullptr;
    QToolButton* tbtSaveAll = nullptr;
    QToolButton* tbtEmbed = nullptr;
};

} // namespace velmora
