#pragma once

#include <QApplication>

#include <exception>

namespace velmora {

// The program's application object. An error that escapes an event handler is shown in a message box with its
// text, and the program goes on.
class VelmoraApplication final : public QApplication {
    Q_OBJECT

public:
    VelmoraApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

void ReportError(const QString& text);
void ReportErrorOf(const std::exception& error) noexcept;

// Runs an event handler. An error it raises is shown in the error report here, before it could unwind through
// Qt's event delivery, which is not written for exceptions (it would leak the event's data).
template <typename Handler>
void RunReported(Handler&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& error) {
        ReportErrorOf(error);
    }
}

} // namespace velmora
