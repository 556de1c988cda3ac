#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace velmora {

// Work the window does in the background, told in the toolbar: a caption and a bar while it lasts, nothing
// otherwise. The parts come and go, not the widget itself: a toolbar shows and hides its items through their
// actions.
class ToolbarActivity : public QWidget {
    Q_OBJECT

public:
    // `name`: the object name; the caption and the bar are named "lb" and "pb" followed by it, with a capital.
    ToolbarActivity(const QString& name, const QString& caption, QWidget* parent);

protected:
    // Shown with a bar that runs on its own, until progress is told.
    void setActive(bool active);
    void setProgress(int done, int total, const QString& caption);

private:
    QString m_caption;
    QLabel* m_label = nullptr;
    QProgressBar* m_bar = nullptr;
};

} // namespace velmora
