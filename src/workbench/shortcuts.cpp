#include "shortcuts.h"

#include <QScrollArea>
#include <QTabBar>
#include <QWidget>

#include <algorithm>

namespace velmora {

namespace {

bool Inside(const QWidget* root, const QWidget* widget) {
    return root != nullptr && widget != nullptr && (root == widget || root->isAncestorOf(widget));
}

// A control Tab may stop at now.
bool TakesTab(const QWidget* widget, const QWidget* window) {
    if (widget->focusProxy() != nullptr || (widget->focusPolicy() & Qt::TabFocus) != Qt::TabFocus ||
        !widget->isEnabled() || !widget->isVisibleTo(window) || !window->isAncestorOf(widget)) {
        return false;
    }
    // A scroll area only frames its controls, which are the stops; a tab bar without tabs has nothing to show the
    // focus on.
    if (qobject_cast<const QScrollArea*>(widget) != nullptr) {
        return false;
    }
    const auto* tabs = qobject_cast<const QTabBar*>(widget);
    return tabs == nullptr || tabs->count() > 0;
}

} // namespace

WindowKeys::WindowKeys(QWidget* window) : QObject(window), m_window(window) {
    setObjectName(QStringLiteral("windowKeys"));
}

void WindowKeys::addArea(const QList<QWidget*>& roots, const QList<QWidget*>& excluded) {
    Area area;
    for (QWidget* root : roots) {
        area.roots.append(root);
    }
    for (QWidget* widget : excluded) {
        area.excluded.append(widget);
    }
    m_areas.append(area);
}

bool WindowKeys::inArea(const Area& area, const QWidget* widget) const {
    const auto within = [widget](const QPointer<QWidget>& root) { return Inside(root, widget); };
    return std::any_of(area.roots.begin(), area.roots.end(), within) &&
           std::none_of(area.excluded.begin(), area.excluded.end(), within);
}

QList<std::pair<QWidget*, qsizetype>> WindowKeys::stopsByArea() const {
    // The window's own focus chain gives the order inside an area: the order the controls were made in, or the
    // one a panel set for them.
    QList<QWidget*> chain;
    for (QWidget* widget = m_window->nextInFocusChain(); widget != nullptr && widget != m_window;
         widget = widget->nextInFocusChain()) {
        if (TakesTab(widget, m_window)) {
            chain.append(widget);
        }
    }
    QList<std::pair<QWidget*, qsizetype>> stops;
    QList<QWidget*> taken;
    for (qsizetype area = 0; area < m_areas.size(); ++area) {
        // Root by root, in the order the area names them: a control moved into another panel goes to the end of
        // the window's chain, which must not change its place in the round.
        for (const QPointer<QWidget>& root : m_areas.at(area).roots) {
            for (QWidget* widget : std::as_const(chain)) {
                if (!taken.contains(widget) && Inside(root, widget) && inArea(m_areas.at(area), widget)) {
                    taken.append(widget);
                    stops.append({widget, area});
                }
            }
        }
    }
    return stops;
}

qsizetype WindowKeys::areaOf(const QWidget* widget) const {
    for (qsizetype area = 0; widget != nullptr && area < m_areas.size(); ++area) {
        if (inArea(m_areas.at(area), widget)) {
            return area;
        }
    }
    return -1;
}

bool WindowKeys::moveArea(bool next) {
    const QList<std::pair<QWidget*, qsizetype>> stops = stopsByArea();
    if (stops.isEmpty()) {
        return false;
    }
    const qsizetype areas = m_areas.size();
    const qsizetype current = areaOf(m_window->focusWidget());
    // From outside every area, F6 starts the round at the first area and Shift+F6 at the last.
    qsizetype area = current < 0 ? (next ? areas - 1 : 0) : current;
    for (qsizetype step = 0; step < areas; ++step) {
        area = (area + (next ? 1 : areas - 1)) % areas;
        for (const auto& [widget, at] : stops) {
            if (at == area) {
                widget->setFocus(Qt::ShortcutFocusReason);
                return true;
            }
        }
    }
    return false;
}

bool WindowKeys::moveFocus(bool next) {
    const QList<std::pair<QWidget*, qsizetype>> stops = stopsByArea();
    if (stops.isEmpty()) {
        return false;
    }
    const qsizetype count = stops.size();
    QWidget* focus = m_window->focusWidget();
    qsizetype target = -1;
    for (qsizetype i = 0; i < count && target < 0; ++i) {
        if (stops.at(i).first == focus) {
            target = (i + (next ? 1 : count - 1)) % count;
        }
    }
    if (target < 0) {
        // Off the round (a list's panel, a document's page, a toolbar button): on to the next area's first stop,
        // or back to the previous area's last one.
        const qsizetype area = areaOf(focus);
        for (qsizetype i = 0; i < count && target < 0; ++i) {
            const qsizetype at = next ? i : count - 1 - i;
            if (area < 0 || (next ? stops.at(at).second > area : stops.at(at).second < area)) {
                target = at;
            }
        }
        if (target < 0) {
            target = next ? 0 : count - 1;
        }
    }
    QWidget* stop = stops.at(target).first;
    stop->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    // Qt's own Tab scrolls a control into view in the scroll area that holds it; this round does it too.
    for (QWidget* parent = stop->parentWidget(); parent != nullptr && parent != m_window;
         parent = parent->parentWidget()) {
        if (auto* scroll = qobject_cast<QScrollArea*>(parent)) {
            scroll->ensureWidgetVisible(stop);
        }
    }
    return true;
}

} // namespace velmora
