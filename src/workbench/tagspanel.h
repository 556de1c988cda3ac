#pragma once

#include <QObject>

class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// The tags panel (tagPanel) above the document tabs: the score stars (btGroup1–5), the password and tags edits
// of the current document, and the toolbar's tags button.
class TagsPanel final : public QObject {
    Q_OBJECT

public:
    TagsPanel(Workbench& bench, QWidget* toolbar, QWidget* area);

    QWidget* panel() const;
    QWidget* toolButton() const;

private:
    Workbench& m_bench;
    QWidget* tagPanel = nullptr;
    QToolButton* tbtTag = nullptr;
};

} // namespace velmora
