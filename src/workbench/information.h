#pragma once

#include <QObject>

class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// The information dialog (TinfoForm) of the current document or of the selected articles.
class Information final : public QObject {
    Q_OBJECT

public:
    Information(Workbench& bench, QWidget* toolbar);

    QWidget* toolButton() const;

private:
    Workbench& m_bench;
    QToolButton* tbtInfo = nullptr;
};

} // namespace velmora
