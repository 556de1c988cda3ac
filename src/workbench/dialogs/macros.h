#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// The macros menu (pmMacro): the paragraph preset of the office wrapper, and the user's own macros listed by name
// in macro.txt, run on the document being edited.
class Macros final : public QObject {
    Q_OBJECT

public:
    Macros(Workbench& bench, QWidget* toolbar);

    QWidget* toolButton() const;
    QMenu* menu() const;

    // Whether the active tab's window has been given back to the desktop; the preset is then not applied.
    void setWindowReleased(std::function<bool()> released) { m_windowReleased = std::move(released); }

    // Reads macro.txt into the menu while the menu holds only its fixed item: the file is read once it has
    // names, and looked for again at the next chance while it has none.
    void LoadMacroMenu();
    void MacroItemClick(QAction* item);
    void ItemMyParaClick(Qt::KeyboardModifiers modifiers);

private:
    Workbench& m_bench;
    std::function<bool()> m_windowReleased;
    QToolButton* tbtMacro = nullptr;
    QMenu* pmMacro = nullptr;
    QAction* ItemMyPara = nullptr;
};

} // namespace velmora
