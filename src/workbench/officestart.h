#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace velmora {

class Workbench;

// Tells, in the toolbar, that the office is being started in the background: a caption and a running bar while
// the start lasts, nothing otherwise.
class OfficeStartIndicator final : public QWidget {
    Q_OBJECT

public:
    OfficeStartIndicator(Workbench& bench, QWidget* parent);

private:
    void follow(bool starting);

    QLabel* m_caption = nullptr;
    QProgressBar* m_bar = nullptr;
};

} // namespace velmora
