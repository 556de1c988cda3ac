#pragma once

#include <QApplication>

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

} // namespace velmora
