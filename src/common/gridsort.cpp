#include "gridsort.h"

#include "errors.h"
#include "prompts.h"

#include <QLocale>

namespace velmora {

QString StringGrid::cell(int row, int col) const {
    const QStringList& cells = rows.at(row);
    return col < cells.size() ? cells.at(col) : QString();
}

void StringGrid::setCell(int row, int col, const QString& text) {
    QStringList& cells = rows[row];
    while (cells.size() <= col) {
        cells.append(QString());
    }
    cells[col] = text;
}

void StringGrid::swapRows(int a, int b) {
    QStringList& first = rows[a];
    QStringList& second = rows[b];
    const qsizetype width = std::max(first.size(), second.size());
    while (first.size() < width) {
        first.append(QString());
    }
    while (second.size() < width) {
        second.append(QString());
    }
    for (qsizetype c = fixedCols; c < width; ++c) {
        first[c].swap(second[c]);
    }
}

void SwapGridRows(GridRows& grid, int a, int b) {
    grid.swapRows(a, b);
}

namespace {

class RowSorter {
public:
    RowSorter(GridRows& grid, int col, bool ascending, bool numeric)
        : m_grid(grid), m_col(col), m_ascending(ascending), m_numeric(numeric) {}

    void sort(int low, int high) {
        int i = low;
        do {
            i = low;
            int j = high;
            const int middle = (low + high) / 2;
            const QString pivot = key(middle);
            do {
                while (before(key(i), pivot)) {
                    ++i;
                }
                while (before(pivot, key(j))) {
                    --j;
                }
                if (i <= j) {
                    if (i != j) {
                        SwapGridRows(m_grid, i, j);
                    }
                    ++i;
                    --j;
                }
            } while (i <= j);
            if (low < j) {
                sort(low, j);
            }
            low = i;
        } while (i < high);
    }

private:
    // In numeric order an empty cell is written back as "0", so the grid shows what it was sorted by.
    QString key(int row) {
        QString text = m_grid.cell(row, m_col);
        if (m_numeric && text.isEmpty()) {
            text = QStringLiteral("0");
            m_grid.setCell(row, m_col, text);
        }
        return text;
    }

    double number(const QString& text) const {
        bool ok = false;
        const double value = m_locale.toDouble(text, &ok);
        if (!ok) {
            throw VelmoraError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
        }
        return value;
    }

    int compare(const QString& a, const QString& b) const {
        if (m_numeric) {
            const double x = number(a);
            const double y = number(b);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        return QString::compare(a, b, Qt::CaseSensitive);
    }

    // Whether a sorts before b in the chosen direction.
    bool before(const QString& a, const QString& b) const {
        const int order = compare(a, b);
        return m_ascending ? order < 0 : order > 0;
    }

    GridRows& m_grid;
    int m_col;
    bool m_ascending;
    bool m_numeric;
    QLocale m_locale = QLocale::system();
};

} // namespace

void SortGrid(GridRows& grid, int col, bool ascending, bool numeric) {
    const int low = grid.fixedRowCount();
    const int high = grid.rowCount() - 1;
    if (high <= low) {
        return;
    }
    try {
        RowSorter(grid, col, ascending, numeric).sort(low, high);
    } catch (const VelmoraError& error) {
        ShowError(QStringLiteral("系统在排序数据的时候遇到异常:\r") + error.message() +
                      QStringLiteral("\r请重试，如果该问题依然存在请与程序供应商联系！"),
                  QStringLiteral("系统错误"));
    }
}

} // namespace velmora
