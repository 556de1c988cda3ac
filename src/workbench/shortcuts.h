#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <utility>

class QWidget;

namespace velmora {

// Tab and Shift+Tab in the main window: they go round the window's areas in a fixed order, through the controls of
// each area that take the focus by Tab, and never into a document tab's page, whose office window would keep the
// keyboard (and type the tabs into the document).
class WindowKeys final : public QObject {
    Q_OBJECT

public:
    explicit WindowKeys(QWidget* window);

    // The next area of the round: every control inside `roots` that takes the focus by Tab, in the window's focus
    // order, except those inside `excluded`.
    void addArea(const QList<QWidget*>& roots, const QList<QWidget*>& excluded = {});

    // Moves the focus one control on (or back), from area to area and round again; from a control outside every
    // area to the first (or last) control of the round. False when no control can take the focus.
    bool moveFocus(bool next);
    // F6 and Shift+F6: the focus goes to the first control of the next (or previous) area that has one, round
    // from the last area to the first. False when no control can take the focus.
    bool moveArea(bool next);

private:
    struct Area {
        QList<QPointer<QWidget>> roots;
        QList<QPointer<QWidget>> excluded;
    };
    bool inArea(const Area& area, const QWidget* widget) const;
    // The first area holding the widget; -1 for none.
    qsizetype areaOf(const QWidget* widget) const;
    // The round's controls, each with its area.
    QList<std::pair<QWidget*, qsizetype>> stopsByArea() const;

    QWidget* m_window;
    QList<Area> m_areas;
};

} // namespace velmora
