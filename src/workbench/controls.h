#pragma once

#include <QString>

#include <functional>

class QAction;
class QColor;
class QLineEdit;
class QMenu;
class QTabBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace velmora {

// Small helpers every area uses to make its controls alike: the control's name is also its objectName, and
// every control carries an accessible name and description, so that a screen reader and a test find it.

template <typename T>
T* Named(T* object, const QString& name) {
    object->setObjectName(name);
    return object;
}

// The accessible name is the caption, or the hint where a control shows only a picture.
void Describe(QWidget* widget, const QString& name, const QString& description = {});

QAction* NamedAction(QMenu* menu, const QString& name, const QString& caption);

// A toolbar button with its picture; a button without a caption shows only the picture.
QToolButton* MakeToolButton(QWidget* parent, const QString& name, const QString& caption, const QString& hint);

// Makes `button` drop `menu` down at a click, with the menu's items reachable through the button by a screen
// reader, as they are from a split button.
void DropDownMenu(QToolButton* button, QMenu* menu);

// Names the close button Qt puts on the tab at `index`, which has no accessible name of its own.
void NameTabCloseButton(QTabBar* bar, int index);

// A control of an area still to come: disabled, and its hint says so instead of promising what it will do.
void MarkNotBuilt(QWidget* widget);
void MarkNotBuilt(QAction* action);

// A password edit that masks with "*" whatever the style's own mask character is.
void MaskWithStars(QLineEdit* edit);

void ConfigureTree(QTreeWidget* tree, const QColor& background);

// A panel with a caption strip above its content.
QWidget* CaptionedPanel(const QString& name, const QString& caption, QWidget* content, QWidget* parent);

// Enter or Return on a tree runs `handler` on its current node once. Mouse clicks are left to the caller, so
// that a double click does not run a node a second time through the view's activation.
void OnEnterKey(QTreeWidget* tree, std::function<void(QTreeWidgetItem*)> handler);

} // namespace velmora
