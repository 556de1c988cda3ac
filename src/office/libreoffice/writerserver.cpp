#include "writerserver.h"

#include "encryptedfile.h"
#include "office/automation/oleserver.h"
#include "servers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XTopWindow2.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/linguistic2/LinguProperties.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/script/provider/theMasterScriptProviderFactory.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/DateTime.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/DocumentZoomType.hpp>
#include <cppuhelper/implbase1.hxx>
#include <rtl/process.h>

namespace velmora::lo {

using namespace css::uno;
using css::beans::PropertyValue;
using rtl::OUString;

namespace {

PropertyValue Prop(const char* name, const Any& value) {
    return PropertyValue(OUString::createFromAscii(name), -1, value, css::beans::PropertyState_DIRECT_VALUE);
}

Sequence<PropertyValue> Props(const std::vector<PropertyValue>& values) {
    return Sequence<PropertyValue>(values.data(), sal_Int32(values.size()));
}

// Hears a document close however it is closed (by us, by the user in its window, by the office ending).
class ClosedListener final : public cppu::WeakImplHelper1<css::lang::XEventListener> {
public:
    explicit ClosedListener(std::weak_ptr<WriterDoc> doc) : m_doc(std::move(doc)) {}
    void SAL_CALL disposing(const css::lang::EventObject&) override {
        if (const auto doc = m_doc.lock()) {
            doc->closed = true;
        }
    }

private:
    std::weak_ptr<WriterDoc> m_doc;
};

struct Format {
    const char* filter;
    bool exportOnly = false;
};

// Word's FileFormat values that the program and its users send, with the filters that write them.
std::optional<Format> FormatOf(int wordFormat) {
    switch (wordFormat) {
    case 0:
        return Format{"MS Word 97"};
    case 2:
        return Format{"Text"};
    case 6:
        return Format{"Rich Text Format"};
    case 8:
    case 10:
        return Format{"HTML (StarWriter)"};
    case 12:
    case 16:
        return Format{"MS Word 2007 XML"};
    case 17:
        return Format{"writer_pdf_Export", true};
    case 23:
        return Format{"writer8"};
    default:
        return std::nullopt;
    }
}

// Word picks the format from the name when none is given.
int FormatFromName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"doc") {
        return 0;
    }
    if (suffix == u"txt") {
        return 2;
    }
    if (suffix == u"rtf") {
        return 6;
    }
    if (suffix == u"htm" || suffix == u"html") {
        return 8;
    }
    if (suffix == u"pdf") {
        return 17;
    }
    if (suffix == u"odt") {
        return 23;
    }
    return 16;
}

Reference<css::awt::XWindow> WindowOf(const Doc& doc) {
    const Reference<css::frame::XController> controller = doc->model->getCurrentController();
    if (!controller.is() || !controller->getFrame().is()) {
        return {};
    }
    return controller->getFrame()->getContainerWindow();
}

// Whether an office runs on the profile: its command line names the profile it was started with.
bool OfficeRunsOn(const QString& profile) {
    const QByteArray option = "-env:UserInstallation=";
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!entry.at(0).isDigit() || !cmdline.open(QIODevice::ReadOnly)) {
            continue;
        }
        for (const QByteArray& argument : cmdline.readAll().split('\0')) {
            if (argument.startsWith(option) &&
                QUrl::fromEncoded(argument.mid(option.size())).toLocalFile() == profile) {
                return true;
            }
        }
    }
    return false;
}

// Whether another office (of this user or another) holds the file: its lock file lies beside it. A lock that an
// office of ours left behind when it was killed holds nothing: it is removed, as the office itself would offer.
bool HeldElsewhere(const QString& absolute) {
    const QFileInfo file(absolute);
    const QString lockPath = file.absolutePath() + QStringLiteral("/.~lock.") + file.fileName() + QLatin1Char('#');
    QFile lock(lockPath);
    if (!lock.open(QIODevice::ReadOnly)) {
        return false;
    }
    // full name,user,host,time,profile URL;
    const QList<QByteArray> fields = lock.read(4096).trimmed().split(',');
    const QByteArray profileUrl = fields.size() >= 5 ? QByteArray(fields.at(4)).replace(';', "") : QByteArray();
    const QString profile = QUrl::fromEncoded(profileUrl).toLocalFile();
    const bool ours =
        profile.contains(QLatin1String("/velmora-lo-")) || profile.contains(QLatin1String("/velmora/libreoffice/"));
    if (ours && !OfficeRunsOn(profile)) {
        lock.close();
        QFile::remove(lockPath);
        return false;
    }
    return true;
}

// A document the office made (new, or read from plain text) has no creation date or author until someone sets
// them; Word gives them when it creates the document.
void StampCreation(const Reference<css::frame::XModel>& model) {
    const Reference<css::document::XDocumentProperties> properties =
        Reference<css::document::XDocumentPropertiesSupplier>(model, UNO_QUERY_THROW)->getDocumentProperties();
    if (properties->getCreationDate().Year != 0) {
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    css::util::DateTime created;
    created.Year = sal_Int16(now.date().year());
    created.Month = sal_uInt16(now.date().month());
    created.Day = sal_uInt16(now.date().day());
    created.Hours = sal_uInt16(now.time().hour());
    created.Minutes = sal_uInt16(now.time().minute());
    created.Seconds = sal_uInt16(now.time().second());
    properties->setCreationDate(created);
    if (properties->getAuthor().isEmpty()) {
        properties->setAuthor(ToOU(qEnvironmentVariable("USER")));
    }
}

} // namespace

quint64 NativeWindowOf(const Doc& doc) {
    const Reference<css::awt::XSystemDependentWindowPeer> peer(WindowOf(doc), UNO_QUERY);
    if (!peer.is()) {
        return 0;
    }
    // The office does not check the process id: a window of another process is answered all the same.
    Sequence<sal_Int8> process(16);
    rtl_getGlobalProcessId(reinterpret_cast<sal_uInt8*>(process.getArray()));
    css::awt::SystemDependentXWindow window;
    if (!(peer->getWindowHandle(process, css::lang::SystemDependent::SYSTEM_XWINDOW) >>= window)) {
        return 0;
    }
    return quint64(window.WindowHandle);
}

// --- WriterDoc ---------------------------------------------------------------------------------------------------

Reference<css::text::XTextDocument> WriterDoc::text() const {
    return Reference<css::text::XTextDocument>(model, UNO_QUERY_THROW);
}

Reference<css::text::XTextViewCursor> WriterDoc::viewCursor() const {
    const Reference<css::text::XTextViewCursorSupplier> supplier(model->getCurrentController(), UNO_QUERY);
    if (!supplier.is()) {
        throw AutomationError(QStringLiteral("the document %1 has no window").arg(name));
    }
    return supplier->getViewCursor();
}

QString WriterDoc::fullName() const {
    const OUString url = model->getURL();
    return url.isEmpty() ? name : LocalPath(url);
}

// --- WordCore ----------------------------------------------------------------------------------------------------

QList<Doc> WordCore::documents() {
    adoptForeignDocuments();
    std::lock_guard lock(m_mutex);
    m_documents.removeIf([](const Doc& doc) { return doc->closed.load(); });
    if (m_active && m_active->closed) {
        m_active = m_documents.isEmpty() ? nullptr : m_documents.last();
    }
    return m_documents;
}

// Word lists every document of its process, also those opened in its window or by another program attached to the
// same office; those join the list after the ones this server opened.
void WordCore::adoptForeignDocuments() {
    const Reference<css::container::XEnumeration> components = session->desktop()->getComponents()->createEnumeration();
    while (components->hasMoreElements()) {
        const Reference<css::frame::XModel> model(components->nextElement(), UNO_QUERY);
        if (!model.is() || !Reference<css::text::XTextDocument>(model, UNO_QUERY).is()) {
            continue;
        }
        bool known = false;
        {
            std::lock_guard lock(m_mutex);
            for (const Doc& doc : m_documents) {
                known = known || (!doc->closed && doc->model == model);
            }
        }
        if (!known) {
            const OUString url = model->getURL();
            const QString name = url.isEmpty() ? ToQ(Reference<css::frame::XTitle>(model, UNO_QUERY_THROW)->getTitle())
                                               : QFileInfo(LocalPath(url)).fileName();
            const Doc doc = track(model, name);
            // Adopting a document does not make it the active one, unless there is none.
            std::lock_guard lock(m_mutex);
            if (!m_active || m_active->closed) {
                m_active = doc;
            }
        }
    }
}

Doc WordCore::activeDocument() {
    followCurrent(documents());
    std::lock_guard lock(m_mutex);
    if (!m_active) {
        throw AutomationError(QStringLiteral("This command is not available because no document is open."));
    }
    return m_active;
}

// The office reports the document whose frame was activated last: the user's click or focus into its window. It
// wins only when it changed since we last looked, so that a document opened hidden through the server, whose frame
// may not become the office's current one, stays active until the user actually moves.
void WordCore::followCurrent(const QList<Doc>& docs) {
    // A headless office has no user who could move anywhere.
    if (session->headless()) {
        return;
    }
    const Reference<css::frame::XModel> current(session->desktop()->getCurrentComponent(), UNO_QUERY);
    std::lock_guard lock(m_mutex);
    if (current == m_seenCurrent) {
        return;
    }
    m_seenCurrent = current;
    for (const Doc& doc : docs) {
        if (doc->model == current && !doc->closed) {
            m_active = doc;
        }
    }
}

void WordCore::setActive(const Doc& doc) {
    // Only a shown document can have the user's focus; activating a hidden frame costs a round of the office's
    // user interface for nothing.
    const Reference<css::frame::XController> controller =
        visible ? doc->model->getCurrentController() : Reference<css::frame::XController>();
    if (controller.is() && controller->getFrame().is()) {
        controller->getFrame()->activate();
    }
    const Reference<css::frame::XModel> current(
        session->headless() ? nullptr : session->desktop()->getCurrentComponent(), UNO_QUERY);
    std::lock_guard lock(m_mutex);
    m_active = doc;
    m_seenCurrent = current;
}

Doc WordCore::track(const Reference<css::frame::XModel>& model, const QString& name) {
    auto doc = std::make_shared<WriterDoc>();
    doc->model = model;
    doc->name = name;
    model->addEventListener(new ClosedListener(doc));
    if (!screenUpdating) {
        model->lockControllers();
        m_locked.append(model);
    }
    std::lock_guard lock(m_mutex);
    m_documents.append(doc);
    return doc;
}

Doc WordCore::open(const QString& path, bool readOnly, const QString& password) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (const Doc& doc : documents()) {
        // Word hands back a document that is already open rather than opening it twice.
        if (doc->model->getURL() == FileUrl(absolute)) {
            setActive(doc);
            return doc;
        }
    }
    if (!QFileInfo(absolute).isFile()) {
        throw AutomationError(QStringLiteral("The file %1 does not exist.").arg(path));
    }
    const bool encrypted = IsEncryptedWordFile(absolute);
    if (encrypted && password.isEmpty()) {
        throw AutomationError(QStringLiteral("The document %1 needs a password.").arg(QFileInfo(path).fileName()));
    }
    // A document that another office holds (its lock file is there) cannot be opened for writing without asking
    // the user, which a server cannot: it is opened read-only, as the office would offer.
    const bool held = !readOnly && HeldElsewhere(absolute);
    std::vector<PropertyValue> args{Prop("Hidden", Any(!visible)), Prop("ReadOnly", Any(readOnly || held))};
    if (!password.isEmpty()) {
        args.push_back(Prop("Password", Any(ToOU(password))));
    }
    Reference<css::lang::XComponent> component;
    try {
        component = session->desktop()->loadComponentFromURL(FileUrl(absolute), "_blank", 0, Props(args));
        if (!component.is() && (held || HeldElsewhere(absolute))) {
            throw AutomationError(QStringLiteral("%1 已被其他程序打开").arg(QDir::toNativeSeparators(absolute)));
        }
    } catch (const css::uno::RuntimeException&) {
        throw;
    } catch (const Exception&) {
        // Without an interaction handler a wrong password fails the load instead of asking.
        if (encrypted) {
            throw AutomationError(
                QStringLiteral("The password is incorrect: %1 cannot be opened.").arg(QFileInfo(path).fileName()));
        }
        throw AutomationError(
            QStringLiteral("%1 cannot be opened: %2").arg(QFileInfo(path).fileName(), CaughtMessage()));
    }
    const Reference<css::frame::XModel> model(component, UNO_QUERY);
    if (!component.is()) {
        throw AutomationError(QStringLiteral("%1 cannot be opened.").arg(QDir::toNativeSeparators(absolute)));
    }
    if (!model.is() || !Reference<css::text::XTextDocument>(component, UNO_QUERY).is()) {
        if (const Reference<css::util::XCloseable> closeable{component, UNO_QUERY}; closeable.is()) {
            closeable->close(true);
        }
        throw AutomationError(QStringLiteral("%1 is not a text document.").arg(QFileInfo(path).fileName()));
    }
    const Doc doc = track(model, QFileInfo(absolute).fileName());
    if (encrypted) {
        doc->password = password;
    }
    setActive(doc);
    return doc;
}

Doc WordCore::add() {
    const Reference<css::lang::XComponent> component = session->desktop()->loadComponentFromURL(
        "private:factory/swriter", "_blank", 0, Props({Prop("Hidden", Any(!visible))}));
    const Reference<css::frame::XModel> model(component, UNO_QUERY_THROW);
    const Doc doc = track(model, QStringLiteral("文档%1").arg(nextNewNumber++));
    // The caption is what the program finds the window by: "文档1 - LibreOffice Writer".
    Reference<css::frame::XTitle>(model, UNO_QUERY_THROW)->setTitle(ToOU(doc->name));
    doc->titled = true;
    StampCreation(model);
    Reference<css::util::XModifiable>(model, UNO_QUERY_THROW)->setModified(false);
    setActive(doc);
    return doc;
}

void WordCore::close(const Doc& doc, int saveChanges) {
    const Reference<css::util::XModifiable> modifiable(doc->model, UNO_QUERY_THROW);
    if (modifiable->isModified()) {
        if (saveChanges == -1) {
            save(doc);
        } else if (saveChanges != 0) {
            // Word asks the user; so does the office's own close, but only where it has a screen to ask on.
            if (session->headless()) {
                throw AutomationError(
                    QStringLiteral("%1 has unsaved changes and there is no window to ask about them.").arg(doc->name));
            }
            const Reference<css::frame::XController> controller = doc->model->getCurrentController();
            WindowOf(doc)->setVisible(true);
            if (controller.is() && !controller->suspend(true)) {
                throw AutomationError(QStringLiteral("Closing %1 was cancelled.").arg(doc->name));
            }
        }
    }
    if (m_locked.removeAll(doc->model) > 0) {
        doc->model->unlockControllers();
    }
    Reference<css::util::XCloseable>(doc->model, UNO_QUERY_THROW)->close(true);
    doc->closed = true;
    documents();
}

void WordCore::save(const Doc& doc) {
    if (doc->model->getURL().isEmpty()) {
        throw AutomationError(QStringLiteral("%1 has never been saved: it needs SaveAs.").arg(doc->name));
    }
    const Reference<css::frame::XStorable> storable(doc->model, UNO_QUERY_THROW);
    if (storable->isReadonly()) {
        throw AutomationError(QStringLiteral("%1 is open read-only and cannot be saved; save it under another name.")
                                  .arg(doc->fullName()));
    }
    storable->store();
    // The office keeps a loaded or saved document's encryption when it stores it again; should it ever not, the
    // file is written again through the checked path at once.
    if (!doc->password.isEmpty() && !IsEncryptedWordFile(doc->fullName())) {
        saveAs(doc, doc->fullName(), FormatFromName(doc->fullName()), doc->password);
    }
}

void WordCore::saveAs(const Doc& doc, const QString& path, int wordFormat, const std::optional<QString>& password) {
    if (wordFormat < 0) {
        wordFormat = FormatFromName(path);
    }
    const std::optional<Format> format = FormatOf(wordFormat);
    if (!format) {
        throw AutomationError(QStringLiteral("The file format %1 is not supported.").arg(wordFormat));
    }
    // A document that had a password keeps it unless the caller asks for none (an empty password).
    const QString secret = password                                                    ? *password
                           : (wordFormat == 0 || wordFormat == 12 || wordFormat == 16) ? doc->password
                                                                                       : QString();
    const bool protect = !secret.isEmpty();
    std::vector<PropertyValue> args{Prop("FilterName", Any(OUString::createFromAscii(format->filter)))};
    if (protect) {
        if (wordFormat == 0) {
            args.push_back(Prop("Password", Any(ToOU(secret))));
        } else if (wordFormat == 12 || wordFormat == 16) {
            // The plain Password argument is ignored by the Word 2007 filter, which then writes the file in the
            // clear; the agile-free standard encryption is what it honours.
            const css::beans::NamedValue values[] = {css::beans::NamedValue("OOXPassword", Any(ToOU(secret))),
                                                     css::beans::NamedValue("CryptoType", Any(OUString("Standard")))};
            const Sequence<css::beans::NamedValue> encryption(values, 2);
            args.push_back(Prop("EncryptionData", Any(encryption)));
        } else {
            throw AutomationError(QStringLiteral("Only .doc and .docx files can be protected by a password."));
        }
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const Reference<css::frame::XStorable> storable(doc->model, UNO_QUERY_THROW);
    StampCreation(doc->model);
    if (format->exportOnly) {
        storable->storeToURL(FileUrl(absolute), Props(args));
        return;
    }
    if (protect) {
        // A copy beside the target proves that the filter encrypts before the target is touched, so that a
        // failed protection leaves neither a file in the clear nor a lost one. Its name holds no password.
        const QString probe = QFileInfo(absolute).absolutePath() + QStringLiteral("/.~velmora-") +
                              QUuid::createUuid().toString(QUuid::Id128).left(12) + QLatin1Char('.') +
                              QFileInfo(absolute).suffix();
        try {
            storable->storeToURL(FileUrl(probe), Props(args));
        } catch (...) {
            QFile::remove(probe);
            throw;
        }
        const bool encrypted = IsEncryptedWordFile(probe);
        QFile::remove(probe);
        if (!encrypted) {
            throw AutomationError(QStringLiteral("%1 could not be encrypted; it was not saved.").arg(path));
        }
    }
    storable->storeAsURL(FileUrl(absolute), Props(args));
    if (protect && !IsEncryptedWordFile(absolute)) {
        QFile::remove(absolute);
        Reference<css::util::XModifiable>(doc->model, UNO_QUERY_THROW)->setModified(true);
        throw AutomationError(QStringLiteral("%1 could not be encrypted; it was removed.").arg(path));
    }
    doc->password = secret;
    doc->name = QFileInfo(absolute).fileName();
    if (doc->titled) {
        Reference<css::frame::XTitle>(doc->model, UNO_QUERY_THROW)->setTitle(ToOU(doc->name));
    }
}

void WordCore::showAll(bool show) {
    for (const Doc& doc : documents()) {
        if (const Reference<css::awt::XWindow> window = WindowOf(doc); window.is()) {
            window->setVisible(show);
        }
    }
}

void WordCore::lockScreen(bool locked) {
    if (locked) {
        for (const Doc& doc : documents()) {
            if (!m_locked.contains(doc->model)) {
                doc->model->lockControllers();
                m_locked.append(doc->model);
            }
        }
        return;
    }
    const QList<Reference<css::frame::XModel>> locked_ = std::exchange(m_locked, {});
    for (const Reference<css::frame::XModel>& model : locked_) {
        try {
            model->unlockControllers();
        } catch (const css::lang::DisposedException&) {
        }
    }
}

void WordCore::quit() {
    if (registered) {
        RevokeActiveObject(progId, registered);
        registered = nullptr;
    }
    session->terminate();
}

// --- objects of the application level ----------------------------------------------------------------------------

namespace {

class WordObject : public LoObject {
public:
    explicit WordObject(std::shared_ptr<WordCore> core) : LoObject(core->session), m_core(std::move(core)) {}

protected:
    std::shared_ptr<WordCore> m_core;
};

class DocumentsObject final : public WordObject {
public:
    using WordObject::WordObject;

protected:
    QString typeName() const override { return QStringLiteral("Documents"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("count")) {
            return int(m_core->documents().size());
        }
        if (r.is("item") || (r.is("value") && !r.args.isEmpty())) {
            const QList<Doc> docs = m_core->documents();
            const auto which = r.arg(0, "Index");
            if (!which) {
                fail(QStringLiteral("Documents.Item needs an index"), AutomationFault::BadArguments);
            }
            if (which->kind() == OleVariant::Kind::Text) {
                for (const Doc& doc : docs) {
                    if (doc->name.compare(which->toString(), Qt::CaseInsensitive) == 0 ||
                        doc->fullName().compare(which->toString(), Qt::CaseInsensitive) == 0) {
                        return MakeWordDocument(m_core, doc);
                    }
                }
                fail(QStringLiteral("The requested member of the collection does not exist."),
                     AutomationFault::BadArguments);
            }
            const int i = which->toInt();
            if (i < 1 || i > docs.size()) {
                fail(QStringLiteral("The requested member of the collection does not exist."),
                     AutomationFault::BadArguments);
            }
            return MakeWordDocument(m_core, docs.at(i - 1));
        }
        if (r.is("open")) {
            const QString path = r.text(0, "FileName");
            if (path.isEmpty()) {
                fail(QStringLiteral("Documents.Open needs a file name"), AutomationFault::BadArguments);
            }
            return MakeWordDocument(m_core,
                                    m_core->open(path, r.boolean(2, "ReadOnly", false), r.text(4, "PasswordDocument")));
        }
        if (r.is("add")) {
            if (r.arg(0, "Template")) {
                fail(QStringLiteral("Documents.Add from a template is not supported"), AutomationFault::BadArguments);
            }
            return MakeWordDocument(m_core, m_core->add());
        }
        if (r.is("close")) {
            const int saveChanges = r.integer(0, "SaveChanges", -2);
            for (const Doc& doc : m_core->documents()) {
                m_core->close(doc, saveChanges);
            }
            return OleVariant();
        }
        unknown(r);
    }
};

class OptionsObject final : public WordObject {
public:
    using WordObject::WordObject;

protected:
    QString typeName() const override { return QStringLiteral("Options"); }
    OleVariant invoke(const Request& r) override {
        if (const char* property = linguProperty(r)) {
            return lingu()->getPropertyValue(OUString::createFromAscii(property)).get<bool>();
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        if (const char* property = linguProperty(r)) {
            lingu()->setPropertyValue(OUString::createFromAscii(property), Any(value.toBool()));
            return;
        }
        WordObject::assign(r, value);
    }

private:
    static const char* linguProperty(const Request& r) {
        if (r.is("checkspellingasyoutype")) {
            return "IsSpellAuto";
        }
        if (r.is("checkgrammarasyoutype")) {
            return "IsGrammarAuto";
        }
        return nullptr;
    }
    Reference<css::beans::XPropertySet> lingu() const {
        return Reference<css::beans::XPropertySet>(css::linguistic2::LinguProperties::create(m_session->context()),
                                                   UNO_QUERY_THROW);
    }
};

// ActiveWindow, its ActivePane, the pane's View and the view's Zoom: one object per step of the path, all
// answered by the document's view.
class WindowObject final : public WordObject {
public:
    enum class Level { Window, Pane, View, Zoom };
    WindowObject(std::shared_ptr<WordCore> core, Doc doc, Level level)
        : WordObject(std::move(core)), m_doc(std::move(doc)), m_level(level) {}

protected:
    QString typeName() const override {
        static const char* const names[] = {"Window", "Pane", "View", "Zoom"};
        return QLatin1String(names[int(m_level)]);
    }
    OleVariant invoke(const Request& r) override {
        if (m_level == Level::Window && r.is("selection")) {
            return MakeWordSelection(m_core, m_doc);
        }
        if (m_level == Level::Window && r.is("hwnd")) {
            // Word's window handle; here the X11 window of the document's frame, 0 without a display.
            return double(NativeWindowOf(m_doc));
        }
        if (m_level == Level::Window && r.is("activepane")) {
            return MakeObject<WindowObject>(m_core, m_doc, Level::Pane);
        }
        if (m_level == Level::Pane && r.is("view")) {
            return MakeObject<WindowObject>(m_core, m_doc, Level::View);
        }
        if (m_level == Level::View && r.is("zoom")) {
            return MakeObject<WindowObject>(m_core, m_doc, Level::Zoom);
        }
        if (m_level == Level::Zoom && r.is("pagefit")) {
            const sal_Int16 type = view()->getPropertyValue("ZoomType").get<sal_Int16>();
            return type == css::view::DocumentZoomType::ENTIRE_PAGE  ? 1
                   : type == css::view::DocumentZoomType::PAGE_WIDTH ? 2
                                                                     : 0;
        }
        if (m_level == Level::Zoom && r.is("percentage")) {
            return int(view()->getPropertyValue("ZoomValue").get<sal_Int16>());
        }
        unknown(r);
    }
    void assign(const Request& r, const OleVariant& value) override {
        if (m_level == Level::Zoom && r.is("pagefit")) {
            const int fit = value.toInt();
            const sal_Int16 type = fit == 1   ? css::view::DocumentZoomType::ENTIRE_PAGE
                                   : fit == 2 ? css::view::DocumentZoomType::PAGE_WIDTH
                                              : css::view::DocumentZoomType::BY_VALUE;
            view()->setPropertyValue("ZoomType", Any(type));
            return;
        }
        if (m_level == Level::Zoom && r.is("percentage")) {
            view()->setPropertyValue("ZoomType", Any(sal_Int16(css::view::DocumentZoomType::BY_VALUE)));
            view()->setPropertyValue("ZoomValue", Any(sal_Int16(value.toInt())));
            return;
        }
        WordObject::assign(r, value);
    }

private:
    Reference<css::beans::XPropertySet> view() const {
        const Reference<css::beans::XPropertySet> settings(m_doc->model->getCurrentController(), UNO_QUERY_THROW);
        return Reference<css::beans::XPropertySet>(settings->getPropertyValue("ViewSettings"), UNO_QUERY_THROW);
    }
    Doc m_doc;
    Level m_level;
};

// Word's LanguageSettings: the language the office's user interface is set to, as Word's language identifiers.
class LanguageSettingsObject final : public WordObject {
public:
    using WordObject::WordObject;

protected:
    QString typeName() const override { return QStringLiteral("LanguageSettings"); }
    OleVariant invoke(const Request& r) override {
        // msoLanguageIDUI; the office has one language for its interface, its help and its installation alike.
        if (r.is("languageid")) {
            const int which = r.integer(0, "Id", 2);
            if (which < 1 || which > 5) {
                fail(QStringLiteral("LanguageSettings.LanguageID(%1) is not supported").arg(which),
                     AutomationFault::BadArguments);
            }
            return identifierOf(uiLocale());
        }
        unknown(r);
    }

private:
    QString uiLocale() const {
        const Reference<css::lang::XMultiServiceFactory> provider =
            css::configuration::theDefaultProvider::get(m_session->context());
        const Any node(css::beans::NamedValue("nodepath", Any(OUString("/org.openoffice.Setup/L10N"))));
        const Reference<css::beans::XPropertySet> settings(
            provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationAccess",
                                                  Sequence<Any>(&node, 1)),
            UNO_QUERY_THROW);
        return ToQ(settings->getPropertyValue("ooLocale").get<OUString>());
    }
    static int identifierOf(const QString& locale) {
        static const std::pair<const char*, int> known[] = {
            {"zh-CN", 2052}, {"zh-TW", 1028}, {"en-US", 1033}, {"en-GB", 2057},
            {"de-DE", 1031}, {"fr-FR", 1036}, {"ja-JP", 1041}, {"ko-KR", 1042},
        };
        for (const auto& [name, identifier] : known) {
            if (locale.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
                return identifier;
            }
        }
        // No setting: the office follows the system's language, which no identifier here names.
        fail(QStringLiteral("the office's interface language %1 has no Word language identifier here")
                 .arg(locale.isEmpty() ? QStringLiteral("(the system's)") : locale));
    }
};

class WordApplication final : public WordObject {
public:
    using WordObject::WordObject;

protected:
    QString typeName() const override { return QStringLiteral("Application"); }
    OleVariant invoke(const Request& r) override {
        if (r.is("documents")) {
            return MakeObject<DocumentsObject>(m_core);
        }
        if (r.is("activedocument")) {
            return MakeWordDocument(m_core, m_core->activeDocument());
        }
        if (r.is("selection")) {
            return MakeWordSelection(m_core, m_core->activeDocument());
        }
        if (r.is("activewindow")) {
            return MakeObject<WindowObject>(m_core, m_core->activeDocument(), WindowObject::Level::Window);
        }
        if (r.is("options")) {
            return MakeObject<OptionsObject>(m_core);
        }
        if (r.is("languagesettings")) {
            return MakeObject<LanguageSettingsObject>(m_core);
        }
        if (r.is("visible")) {
            return m_core->visible;
        }
        if (r.is("screenupdating")) {
            return m_core->screenUpdating;
        }
        if (r.is("name") || r.is("value")) {
            return QStringLiteral("LibreOffice Writer");
        }
        if (r.is("windowstate")) {
            const Reference<css::awt::XTopWindow2> top(activeWindow(), UNO_QUERY);
            return !top.is() ? 0 : top->getIsMaximized() ? 1 : top->getIsMinimized() ? 2 : 0;
        }
        if (r.is("top") || r.is("left") || r.is("height") || r.is("width")) {
            const css::awt::Rectangle box = activeWindow()->getPosSize();
            return r.is("top")      ? int(box.Y)
                   : r.is("left")   ? int(box.X)
                   : r.is("height") ? int(box.Height)
                                    : int(box.Width);
        }
        if (r.is("goback")) {
            goBack();
            return OleVariant();
        }
        if (r.is("run")) {
            return RunBasicMacro(m_session, r.text(0, "MacroName"));
        }
        if (r.is("quit")) {
            m_core->quit();
            return OleVariant();
        }
        unknown(r);
    }

    void assign(const Request& r, const OleVariant& value) override {
        if (r.is("visible")) {
            m_core->visible = value.toBool();
            m_core->showAll(m_core->visible);
            return;
        }
        if (r.is("screenupdating")) {
            m_core->screenUpdating = value.toBool();
            m_core->lockScreen(!m_core->screenUpdating);
            return;
        }
        if (r.is("windowstate")) {
            const Reference<css::awt::XTopWindow2> top(activeWindow(), UNO_QUERY_THROW);
            const int state = value.toInt();
            top->setIsMaximized(state == 1);
            top->setIsMinimized(state == 2);
            return;
        }
        if (r.is("top") || r.is("left") || r.is("height") || r.is("width")) {
            const int v = value.toInt();
            const sal_Int16 flag = r.is("top")      ? css::awt::PosSize::Y
                                   : r.is("left")   ? css::awt::PosSize::X
                                   : r.is("height") ? css::awt::PosSize::HEIGHT
                                                    : css::awt::PosSize::WIDTH;
            activeWindow()->setPosSize(v, v, v, v, flag);
            return;
        }
        WordObject::assign(r, value);
    }

private:
    Reference<css::awt::XWindow> activeWindow() const {
        const Reference<css::awt::XWindow> window = WindowOf(m_core->activeDocument());
        if (!window.is()) {
            fail(QStringLiteral("The active document has no window"));
        }
        return window;
    }

    // Word returns to the last place edited. The office keeps no list of edit places (it restores the view of a
    // document it saved itself when loading it), so the insertion point stays where it is.
    void goBack() { m_core->activeDocument(); }
};

} // namespace

std::shared_ptr<Dispatch> MakeWordApplication(const std::shared_ptr<WordCore>& core) {
    return std::make_shared<WordApplication>(core);
}

std::shared_ptr<Dispatch> StartWordServer(const std::shared_ptr<OfficeSession>& session, const QString& progId,
                                          bool registerAsRunning) {
    const auto core = std::make_shared<WordCore>(session);
    core->progId = progId;
    std::shared_ptr<Dispatch> application = MakeWordApplication(core);
    if (registerAsRunning) {
        RegisterActiveObject(progId, application);
        core->registered = application.get();
        const Dispatch* registered = application.get();
        session->setDeathHandler([progId, registered] { RevokeActiveObject(progId, registered); });
    }
    return application;
}

OleVariant RunBasicMacro(const std::shared_ptr<OfficeSession>& session, const QString& macro) {
    // Word's Run runs a macro by name; here it is a LibreOffice Basic macro of the user's own library ("My
    // Macros"), named as Word names it: Macro, Module.Macro or Library.Module.Macro.
    const QString name = macro.trimmed();
    if (name.isEmpty()) {
        throw AutomationError(QStringLiteral("Run needs a macro name"), AutomationFault::BadArguments);
    }
    QStringList parts = name.split(QLatin1Char('.'));
    if (parts.size() == 1) {
        parts.prepend(QStringLiteral("Module1"));
    }
    if (parts.size() == 2) {
        parts.prepend(QStringLiteral("Standard"));
    }
    const QString url =
        QStringLiteral("vnd.sun.star.script:%1?language=Basic&location=application").arg(parts.join(QLatin1Char('.')));
    const Reference<css::script::provider::XScriptProvider> provider =
        css::script::provider::theMasterScriptProviderFactory::get(session->context())
            ->createScriptProvider(Any(OUString()));
    Reference<css::script::provider::XScript> script;
    try {
        script = provider->getScript(ToOU(url));
    } catch (const css::uno::RuntimeException&) {
        throw;
    } catch (const Exception&) {
        throw AutomationError(QStringLiteral("The macro %1 cannot be found.").arg(name));
    }
    Sequence<sal_Int16> outIndex;
    Sequence<Any> out;
    return FromAny(script->invoke(Sequence<Any>(), outIndex, out));
}

OleVariant MakeWordWindow(const std::shared_ptr<WordCore>& core, const Doc& doc) {
    return MakeObject<WindowObject>(core, doc, WindowObject::Level::Window);
}

} // namespace velmora::lo
