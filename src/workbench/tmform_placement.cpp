// Where the window sits: its place is saved as the outer frame and restored onto a screen that is there, fitted
// again once the window manager has framed the window.
#include "tmform.h"
#include "workbench.h"
#include "workbench/core/settingslist.h"

#include <QGuiApplication>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

// How long after showing the window its frame may still be unknown; a window manager adds it within this.
constexpr int kFrameCheckMs = 25;
// How long the window is fitted to its saved place after it is shown: the window manager frames it when it gets
// to it, which on a busy machine takes seconds; the fitting ends as soon as the frame sits where it was saved.
constexpr int kFramePlacementMs = 30000;
// Frame margins beyond this are a reading taken while the window manager is still re-parenting the window.
constexpr int kLargestFrameMargin = 200;
// Re-parenting also gives plausible but wrong margins for a moment: the frame is taken as known once its margins
// have stayed the same this long.
constexpr int kSettledFrameMs = 1000;

} // namespace

void TmForm::RestoreWindowPlacement() {
    const QString placement = m_bench->settings().value(SettingKey::WinPosLTHW);
    if (placement.isEmpty()) {
        return;
    }
    if (placement == QLatin1String("wsMaximized")) {
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    const QStringList parts = placement.split(u',');
    if (parts.size() < 4) {
        return;
    }
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok) {
            return;
        }
    }
    QRect frame(numbers[0], numbers[1], std::max(numbers[3], 100), std::max(numbers[2], 100));
    // A placement saved on a screen that is gone is brought onto the nearest screen that is there.
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (!screens.isEmpty() && QGuiApplication::screenAt(frame.center()) == nullptr) {
        QRect nearest = screens.first()->availableGeometry();
        qint64 best = std::numeric_limits<qint64>::max();
        for (const QScreen* screen : screens) {
            const QRect area = screen->availableGeometry();
            const QPoint d = area.center() - frame.center();
            const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
            if (distance < best) {
                best = distance;
                nearest = area;
            }
        }
        frame.setSize(frame.size().boundedTo(nearest.size()));
        frame.moveLeft(std::clamp(frame.left(), nearest.left(), nearest.right() - frame.width() + 1));
        frame.moveTop(std::clamp(frame.top(), nearest.top(), nearest.bottom() - frame.height() + 1));
    }
    // The saved size is the outer one. A window manager frames the window only after it is mapped, so the
    // inner size is fitted again once the frame is known; otherwise the window would grow by its frame at
    // every start.
    m_wantedFrame = frame;
    m_framePlacement.start();
    m_lastFrameMargins = QMargins();
    m_frameMarginsSettled.start();
    fitFrameToPlacement();
    if (!m_frameCheck) {
        m_frameCheck = new QTimer(this);
        m_frameCheck->setInterval(kFrameCheckMs);
        connect(m_frameCheck, &QTimer::timeout, this, &TmForm::fitFrameToPlacement);
    }
    m_frameCheck->start();
}

QMargins TmForm::knownFrameMargins() const {
    const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    const bool plausible = frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 && frame.bottom() >= 0 &&
                           std::max({frame.left(), frame.top(), frame.right(), frame.bottom()}) <= kLargestFrameMargin;
    return plausible ? frame : QMargins();
}

void TmForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // Being framed moves the window inside the frame: the moment to fit it, whenever it comes.
    fitFrameToPlacement();
}

void TmForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    fitFrameToPlacement();
}

void TmForm::fitFrameToPlacement() {
    if (m_wantedFrame.isNull()) {
        return;
    }
    const QMargins frame = knownFrameMargins();
    if (frame != m_lastFrameMargins) {
        m_lastFrameMargins = frame;
        m_frameMarginsSettled.start();
    }
    // Done once the frame is known and sits where it was saved; the window manager may still move the window
    // after it has framed it.
    const bool settled = !frame.isNull() && m_frameMarginsSettled.hasExpired(kSettledFrameMs);
    if (isMaximized() || m_framePlacement.hasExpired(kFramePlacementMs) ||
        (settled && frameGeometry() == m_wantedFrame)) {
        m_wantedFrame = QRect();
        if (m_frameCheck) {
            m_frameCheck->stop();
        }
        return;
    }
    if (frame.isNull()) {
        resize(m_wantedFrame.size());
        move(m_wantedFrame.topLeft());
        return;
    }
    // With the frame known, the inner rectangle is placed itself: how a window manager places a frame that is
    // asked for differs from one to the next, the inner rectangle does not. The target depends only on the
    // saved rectangle and the frame, so asking again can never make the window grow.
    const QRect wanted = m_wantedFrame.marginsRemoved(frame);
    if (geometry() != wanted) {
        setGeometry(wanted);
    }
}

void TmForm::SaveWindowPlacement() {
    QString value;
    if (isMaximized()) {
        value = QStringLiteral("wsMaximized");
    } else {
        const QRect frame = frameGeometry();
        value = QStringLiteral("%1,%2,%3,%4").arg(frame.left()).arg(frame.top()).arg(frame.height()).arg(frame.width());
    }
    m_bench->settings().set(SettingKey::WinPosLTHW, value);
    m_bench->saveSettings();
}

} // namespace velmora
