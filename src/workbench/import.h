#pragma once

#include <QObject>

class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// Import: word documents into the library (the toolbar's 导入 button, TimpForm and its progress dialog).
class Import final : public QObject {
    Q_OBJECT

public:
    Import(Workbench& bench, QWidget* toolbar);

    QWidget* toolButton() const;

private:
    Workbench& m_bench;
    QToolButton* tbtImport = nullptr;
};

} // namespace velmora
