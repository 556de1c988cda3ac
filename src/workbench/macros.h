#pragma once

#include <QObject>

class QMenu;
class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// Macros: the user's macro list of macro.txt, run on the current document from pmMacro.
class Macros final : public QObject {
    Q_OBJECT

public:
    Macros(Workbench& bench, QWidget* toolbar);

    QWidget* toolButton() const;
    QMenu* menu() const;

private:
    Workbench& m_bench;
    QToolButton* tbtMacro = nullptr;
    QMenu* pmMacro = nullptr;
};

} // namespace velmora
