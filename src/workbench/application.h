#pragma once

#include <QApplication>
#include <QTranslator>

#include <exception>
#include <tuple>
#include <type_traits>
#include <utility>

namespace velmora {

// The program's application object. An error that escapes an event handler is shown in a message box with its
// text, and the program goes on.
class VelmoraApplication final : public QApplication {
    Q_OBJECT

public:
    VelmoraApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    QTranslator m_qtTexts;
};

// Qt's own texts (file dialogs, standard buttons) in Chinese, as the rest of the interface is on every system:
// whatever the system's locale, into translator. False when Qt's Chinese translations are not installed.
bool LoadQtTexts(QTranslator& translator);

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

namespace detail {

template <typename Handler, typename Args, std::size_t... I>
constexpr bool takesLeading(std::index_sequence<I...>) {
    return std::is_invocable_v<Handler&, std::tuple_element_t<I, Args>...>;
}

// Calls the handler with as many of the signal's leading arguments as it takes.
template <std::size_t N, typename Handler, typename Args>
void callLeading(Handler& handler, Args& args) {
    if constexpr (takesLeading<Handler, Args>(std::make_index_sequence<N>{})) {
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            handler(std::get<I>(args)...);
        }
        (std::make_index_sequence<N>{});
    } else if constexpr (N > 0) {
        callLeading<N - 1>(handler, args);
    } else {
        static_assert(N > 0, "the handler takes none of the signal's leading arguments");
    }
}

} // namespace detail

// Connects a signal to a handler that runs through RunReported: an error it raises is reported and the window
// goes on. The handler may take any leading part of the signal's arguments.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection ConnectReported(const Sender* sender, Signal signal, const QObject* context, Handler handler) {
    return QObject::connect(sender, signal, context, [handler = std::move(handler)](auto... args) mutable -> void {
        RunReported([&] {
            auto tuple = std::forward_as_tuple(args...);
            detail::callLeading<sizeof...(args)>(handler, tuple);
        });
    });
}

} // namespace velmora
