#include "controls.h"

#include "application.h"
#include "imagelist.h"
#include "workbench/core/texts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProxyStyle>
#include <QStyle>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velmora {

namespace {

class EnterKeyFilter final : public QObject {
public:
    EnterKeyFilter(QTreeWidget* tree, std::function<void(QTreeWidgetItem*)> handler)
        : QObject(tree), m_tree(tree), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_tree && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && m_tree->currentItem() != nullptr) {
                RunReported([this] { m_handler(m_tree->currentItem()); });
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTreeWidget* m_tree;
    std::function<void(QTreeWidgetItem*)> m_handler;
};

class StarMaskStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return u'*';
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

const char kDropDownProperty[] = "velmoraDropDownMenu";

// Qt lists a tool button's menu among its accessible children only when the button is split in two. A menu that
// drops down at once is a popup of its own while closed, reachable from no window, so its items would never
// reach a screen reader: this interface gives the button its menu as its one child.
class DropDownButtonAccessible final : public QAccessibleWidget {
public:
    explicit DropDownButtonAccessible(QToolButton* button) : QAccessibleWidget(button, QAccessible::ButtonMenu) {}

    QToolButton* button() const { return static_cast<QToolButton*>(widget()); }

    QString text(QAccessible::Text t) const override {
        const QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty()) {
            return button()->text().remove(u'&');
        }
        return text;
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.hasPopup = true;
        state.pressed = button()->isDown();
        return state;
    }
    int childCount() const override { return button()->menu() != nullptr ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && button()->menu() != nullptr ? QAccessible::queryAccessibleInterface(button()->menu())
                                                         : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && button()->menu() != nullptr && child->object() == button()->menu() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            // The menu runs its own event loop; the screen reader's call must return before it does.
            QMetaObject::invokeMethod(button(), &QToolButton::showMenu, Qt::QueuedConnection);
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* dropDownButtonFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QToolButton") && object->property(kDropDownProperty).toBool()) {
        return new DropDownButtonAccessible(static_cast<QToolButton*>(object));
    }
    return nullptr;
}

} // namespace

void DropDownMenu(QToolButton* button, QMenu* menu) {
    // Installed after the application's own factory, so it is asked first.
    static const bool installed = [] {
        QAccessible::installFactory(dropDownButtonFactory);
        return true;
    }();
    Q_UNUSED(installed);
    button->setProperty(kDropDownProperty, true);
    // Qt made and kept the button's interface when its caption was set; the next query makes the one above.
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(QAccessible::queryAccessibleInterface(button)));
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
}

void NameTabCloseButton(QTabBar* bar, int index) {
    const auto side =
        QTabBar::ButtonPosition(bar->style()->styleHint(QStyle::SH_TabBar_CloseButtonPosition, nullptr, bar));
    if (QWidget* close = bar->tabButton(index, side)) {
        Describe(close, QStringLiteral("关闭"));
    }
}

void MaskWithStars(QLineEdit* edit) {
    edit->setEchoMode(QLineEdit::Password);
    auto* style = new StarMaskStyle;
    edit->setStyle(style);
    style->setParent(edit);
}

void Describe(QWidget* widget, const QString& name, const QString& description) {
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description.isEmpty() ? name : description);
}

QAction* NamedAction(QMenu* menu, const QString& name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

QToolButton* MakeToolButton(QWidget* parent, const QString& name, const QString& caption, const QString& hint) {
    auto* button = Named(new QToolButton(parent), name);
    button->setIcon(ToolbarImage(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setAutoRaise(true);
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    Describe(button, caption.isEmpty() ? hint : caption, hint);
    return button;
}

void MarkNotBuilt(QWidget* widget) {
    widget->setEnabled(false);
    QList<QWidget*> widgets = widget->findChildren<QWidget*>();
    widgets.prepend(widget);
    for (QWidget* part : std::as_const(widgets)) {
        part->setToolTip(kNotBuilt);
        part->setStatusTip(kNotBuilt);
        part->setAccessibleDescription(kNotBuilt);
        for (QAction* action : part->actions()) {
            MarkNotBuilt(action);
        }
    }
}

void MarkNotBuilt(QAction* action) {
    action->setEnabled(false);
    action->setToolTip(kNotBuilt);
    action->setStatusTip(kNotBuilt);
}

void ConfigureTree(QTreeWidget* tree, const QColor& background) {
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    tree->setIndentation(15);
    tree->setIconSize(QSize(18, 18));
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setUniformRowHeights(true);
    tree->setAutoFillBackground(true);
    tree->setStyleSheet(QStringLiteral("QTreeWidget { background: %1; border: none; }").arg(background.name()));
}

QWidget* CaptionedPanel(const QString& name, const QString& caption, QWidget* content, QWidget* parent) {
    auto* panel = Named(new QWidget(parent), name);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* title = Named(new QLabel(caption, panel), name + QStringLiteral("Caption"));
    title->setContentsMargins(6, 3, 6, 3);
    title->setStyleSheet(QStringLiteral("background: #dfe7ee; color: #2c3e50; font-weight: bold;"));
    Describe(title, caption);
    Describe(panel, caption);
    layout->addWidget(title);
    layout->addWidget(content, 1);
    return panel;
}

void OnEnterKey(QTreeWidget* tree, std::function<void(QTreeWidgetItem*)> handler) {
    tree->installEventFilter(new EnterKeyFilter(tree, std::move(handler)));
}

} // namespace velmora
