#pragma once

#include <QObject>

class QLineEdit;
class QScrollArea;
class QWidget;

namespace velmora {

class Workbench;

// Search: the search box of the toolbar (schEdit) and its options above the article list (pnlSchOption).
class Search final : public QObject {
    Q_OBJECT

public:
    Search(Workbench& bench, QWidget* toolbar, QWidget* column);

    QWidget* box() const;
    QWidget* options() const;

    void clearBox();
    // The box is as wide as the article column below it.
    void followColumnWidth(int width);

private:
    Workbench& m_bench;
    QLineEdit* schEdit = nullptr;
    QScrollArea* pnlSchOption = nullptr;
};

} // namespace velmora
