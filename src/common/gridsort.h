#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace velmora {

// The rows a grid sort works on. The article list's table and the plain StringGrid both offer it, so there is
// one sort for both.
class GridRows {
public:
    virtual ~GridRows() = default;
    virtual int rowCount() const = 0;
    virtual int fixedRowCount() const = 0;
    virtual QString cell(int row, int col) const = 0;
    virtual void setCell(int row, int col, const QString& text) = 0;
    // Exchanges the cells of the non-fixed columns of two rows.
    virtual void swapRows(int a, int b) = 0;
};

// A plain table of text rows; the first fixedRows rows and fixedCols columns are headers that never move.
class StringGrid final : public GridRows {
public:
    QList<QStringList> rows;
    int fixedRows = 0;
    int fixedCols = 0;

    int rowCount() const override { return int(rows.size()); }
    int fixedRowCount() const override { return fixedRows; }
    QString cell(int row, int col) const override;
    void setCell(int row, int col, const QString& text) override;
    void swapRows(int a, int b) override;
};

void SwapGridRows(GridRows& grid, int a, int b);

// Quicksort of the non-fixed rows by one column, as text (ordinal, case-sensitive) or as numbers read with the
// user's decimal separator (an empty cell counts as, and becomes, "0"). Not stable. A cell that is not a number
// stops the sort, leaves the rows partly sorted, and is reported in the "系统错误" box.
void SortGrid(GridRows& grid, int col, bool ascending, bool numeric);

} // namespace velmora
