#pragma once

#include <QObject>

class QMenu;
class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// The e-book workbook: MyExcel.xlsx opened in a document tab, with its menu pmExcel.
class EbookWorkbook final : public QObject {
    Q_OBJECT

public:
    EbookWorkbook(Workbench& bench, QWidget* toolbar);

    QWidget* toolButton() const;
    QMenu* menu() const;

private:
    Workbench& m_bench;
    QToolButton* tbtXls = nullptr;
    QMenu* pmExcel = nullptr;
};

} // namespace velmora
