#pragma once

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QToolButton;
class QWidget;

namespace velmora {

class Workbench;
class WorkbookTabs;

// The e-book workbook: MyExcel.xlsx in the data folder, a list of links to book files shown in a document tab,
// and any other workbook opened into a tab from the menu pmExcel. Its toolbar button exists but is never shown.
class EbookWorkbook final : public QObject {
    Q_OBJECT

public:
    EbookWorkbook(Workbench& bench, QWidget* toolbar);

    QWidget* toolButton() const;
    QMenu* menu() const;
    void setWorkbookTabs(WorkbookTabs* tabs) { m_tabs = tabs; }

    // The e-book workbook's full path.
    static QString workbookPath();

    void tbtXlsClick();
    void ItemOpenExcelClick();
    void ItemImpBookLinkClick();
    // Held by another program, or shown in a tab.
    bool WorkbookIsOpen(const QString& fn) const;
    void ActivateWorkbookTab();
    void OpenAExcelFile(const QString& fn);

private:
    // Where the pickers start: the folder of the last import, or the program's folder when that is gone.
    QString startFolder() const;
    QString caption() const;

    Workbench& m_bench;
    WorkbookTabs* m_tabs = nullptr;
    QToolButton* tbtXls = nullptr;
    QMenu* pmExcel = nullptr;
    QAction* ItemOpenExcel = nullptr;
    QAction* ItemImpBookLink = nullptr;
};

} // namespace velmora
