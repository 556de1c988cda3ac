#include "commandtakeover.h"

#include <com/sun/star/awt/Key.hpp>
#include <com/sun/star/awt/KeyEvent.hpp>
#include <com/sun/star/awt/KeyModifier.hpp>
#include <com/sun/star/awt/XKeyHandler.hpp>
#include <com/sun/star/awt/XUserInputInterception.hpp>
#include <com/sun/star/frame/DispatchDescriptor.hpp>
#include <com/sun/star/frame/FeatureStateEvent.hpp>
#include <com/sun/star/frame/XDispatch.hpp>
#include <com/sun/star/frame/XDispatchProviderInterception.hpp>
#include <com/sun/star/frame/XDispatchProviderInterceptor.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XInterceptorInfo.hpp>
#include <com/sun/star/frame/XStatusListener.hpp>
#include <com/sun/star/util/URL.hpp>
#include <cppuhelper/implbase4.hxx>

#include <mutex>

namespace velmora::lo {

using namespace css::uno;
using css::frame::XDispatch;
using css::frame::XDispatchProvider;
using rtl::OUString;

namespace {

struct Taken {
    const char* url;
    const char* command;
};

// The office's commands that would save, close or end a document behind the program's back (its Save Document?
// question included), and the tab keys' own.
constexpr Taken kTaken[] = {
    {".uno:Save", "Save"},
    {".uno:SaveAs", "SaveAs"},
    {".uno:SaveAll", "SaveAll"},
    {".uno:CloseDoc", "Close"},
    {".uno:CloseWin", "Close"},
    // What the frame dispatches when its window is closed by the window manager.
    {".uno:CloseFrame", "Close"},
    {".uno:Quit", "Quit"},
    {".uno:AddDirect", "New"},
};

const char* CommandOf(const OUString& url) {
    for (const Taken& taken : kTaken) {
        if (url.equalsAscii(taken.url)) {
            return taken.command;
        }
    }
    return nullptr;
}

class CommandInterceptor final
    : public cppu::WeakImplHelper4<css::frame::XDispatchProviderInterceptor, css::frame::XInterceptorInfo, XDispatch,
                                   css::awt::XKeyHandler> {
public:
    CommandInterceptor(std::weak_ptr<WriterDoc> doc, std::shared_ptr<Dispatch> sink)
        : m_doc(std::move(doc)), m_sink(std::move(sink)) {}

    Reference<XDispatch> SAL_CALL queryDispatch(const css::util::URL& url, const OUString& target,
                                                sal_Int32 flags) override {
        if (CommandOf(url.Complete) != nullptr) {
            return this;
        }
        const Reference<XDispatchProvider> slave = getSlaveDispatchProvider();
        return slave.is() ? slave->queryDispatch(url, target, flags) : Reference<XDispatch>();
    }
    Sequence<Reference<XDispatch>>
        SAL_CALL queryDispatches(const Sequence<css::frame::DispatchDescriptor>& requests) override {
        Sequence<Reference<XDispatch>> dispatches(requests.getLength());
        for (sal_Int32 i = 0; i < requests.getLength(); ++i) {
            const css::frame::DispatchDescriptor& request = requests[i];
            dispatches.getArray()[i] = queryDispatch(request.FeatureURL, request.FrameName, request.SearchFlags);
        }
        return dispatches;
    }

    Reference<XDispatchProvider> SAL_CALL getSlaveDispatchProvider() override {
        std::lock_guard lock(m_mutex);
        return m_slave;
    }
    void SAL_CALL setSlaveDispatchProvider(const Reference<XDispatchProvider>& provider) override {
        std::lock_guard lock(m_mutex);
        m_slave = provider;
    }
    Reference<XDispatchProvider> SAL_CALL getMasterDispatchProvider() override {
        std::lock_guard lock(m_mutex);
        return m_master;
    }
    void SAL_CALL setMasterDispatchProvider(const Reference<XDispatchProvider>& provider) override {
        std::lock_guard lock(m_mutex);
        m_master = provider;
    }

    // Only these reach this interceptor: every other command the frame looks up (each button of every toolbar)
    // goes past it without a call into the program.
    Sequence<OUString> SAL_CALL getInterceptedURLs() override {
        Sequence<OUString> urls(sal_Int32(std::size(kTaken)));
        for (sal_Int32 i = 0; i < urls.getLength(); ++i) {
            urls.getArray()[i] = OUString::createFromAscii(kTaken[i].url);
        }
        return urls;
    }

    void SAL_CALL dispatch(const css::util::URL& url, const Sequence<css::beans::PropertyValue>&) override {
        send(CommandOf(url.Complete));
    }
    // The office's menus and buttons show a command as available only once its dispatcher says so.
    void SAL_CALL addStatusListener(const Reference<css::frame::XStatusListener>& listener,
                                    const css::util::URL& url) override {
        if (!listener.is()) {
            return;
        }
        css::frame::FeatureStateEvent state;
        state.Source = static_cast<XDispatch*>(this);
        state.FeatureURL = url;
        state.IsEnabled = true;
        listener->statusChanged(state);
    }
    void SAL_CALL removeStatusListener(const Reference<css::frame::XStatusListener>&, const css::util::URL&) override {}

    // Ctrl+Tab and Ctrl+Shift+Tab are no commands of the word processor's: its text window takes them before any
    // key binding is asked (a tab character, the next word completion). The controller's key handlers come first.
    sal_Bool SAL_CALL keyPressed(const css::awt::KeyEvent& key) override {
        const char* command = tabCommandOf(key);
        send(command);
        return command != nullptr;
    }
    sal_Bool SAL_CALL keyReleased(const css::awt::KeyEvent& key) override { return tabCommandOf(key) != nullptr; }
    void SAL_CALL disposing(const css::lang::EventObject&) override {}

private:
    static const char* tabCommandOf(const css::awt::KeyEvent& key) {
        constexpr sal_Int16 others = css::awt::KeyModifier::MOD2 | css::awt::KeyModifier::MOD3;
        if (key.KeyCode != css::awt::Key::TAB || (key.Modifiers & css::awt::KeyModifier::MOD1) == 0 ||
            (key.Modifiers & others) != 0) {
            return nullptr;
        }
        return (key.Modifiers & css::awt::KeyModifier::SHIFT) != 0 ? "PreviousTab" : "NextTab";
    }

    void send(const char* command) {
        const std::shared_ptr<WriterDoc> doc = m_doc.lock();
        if (command == nullptr || !doc || doc->closed) {
            return;
        }
        try {
            m_sink->callMethod(QStringLiteral("Command"), {QString::fromLatin1(command), doc->fullName()}, {});
        } catch (...) {
            // A program that no longer listens takes nothing over; the office must not fail for it.
        }
    }

private:
    std::weak_ptr<WriterDoc> m_doc;
    std::shared_ptr<Dispatch> m_sink;
    std::mutex m_mutex;
    Reference<XDispatchProvider> m_slave;
    Reference<XDispatchProvider> m_master;
};

Reference<css::awt::XUserInputInterception> ControllerOf(const Doc& doc) {
    return Reference<css::awt::XUserInputInterception>(doc->model->getCurrentController(), UNO_QUERY);
}

Reference<css::frame::XDispatchProviderInterception> FrameOf(const Doc& doc) {
    const Reference<css::frame::XController> controller = doc->model->getCurrentController();
    return Reference<css::frame::XDispatchProviderInterception>(controller.is() ? controller->getFrame() : nullptr,
                                                                UNO_QUERY);
}

} // namespace

void TakeOverCommands(const Doc& doc, std::shared_ptr<Dispatch> sink) {
    GiveBackCommands(doc);
    const Reference<css::frame::XDispatchProviderInterception> frame = FrameOf(doc);
    if (!frame.is()) {
        throw AutomationError(QStringLiteral("the document %1 has no window").arg(doc->name));
    }
    const Reference<css::frame::XDispatchProviderInterceptor> interceptor(new CommandInterceptor(doc, std::move(sink)));
    frame->registerDispatchProviderInterceptor(interceptor);
    doc->takeover = interceptor;
    if (const Reference<css::awt::XUserInputInterception> controller = ControllerOf(doc); controller.is()) {
        controller->addKeyHandler(Reference<css::awt::XKeyHandler>(interceptor, UNO_QUERY));
    }
}

void GiveBackCommands(const Doc& doc) {
    const Reference<css::frame::XDispatchProviderInterceptor> interceptor(doc->takeover, UNO_QUERY);
    if (!interceptor.is()) {
        return;
    }
    doc->takeover.clear();
    if (const Reference<css::frame::XDispatchProviderInterception> frame = FrameOf(doc); frame.is()) {
        frame->releaseDispatchProviderInterceptor(interceptor);
    }
    if (const Reference<css::awt::XUserInputInterception> controller = ControllerOf(doc); controller.is()) {
        controller->removeKeyHandler(Reference<css::awt::XKeyHandler>(interceptor, UNO_QUERY));
    }
}

} // namespace velmora::lo
