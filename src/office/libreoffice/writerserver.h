#pragma once

#include "loobject.h"
#include "officesession.h"

#include <QList>

#include <atomic>
#include <mutex>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>

namespace velmora::lo {

using css::uno::Reference;

struct WriterDoc {
    Reference<css::frame::XModel> model;
    QString name;     // Word's Name: the file name, or 文档N for a new document
    QString password; // kept only in memory, to protect every later save
    bool titled = false;
    std::atomic<bool> closed{false};
    // What takes the document's own commands over while it is in a tab of the program (see TakeOverCommands).
    Reference<css::uno::XInterface> takeover;

    Reference<css::text::XTextDocument> text() const;
    Reference<css::text::XTextViewCursor> viewCursor() const;
    QString fullName() const;
};
using Doc = std::shared_ptr<WriterDoc>;

// Word's find settings, kept per application as Word keeps them between calls.
struct FindState {
    QString text;
    QString replacement;
    bool matchCase = false;
    bool wholeWord = false;
    bool forward = true;
};

// The state of one "Word.Application" server: its session and its documents in the order Word lists them.
class WordCore final : public std::enable_shared_from_this<WordCore> {
public:
    explicit WordCore(std::shared_ptr<OfficeSession> session) : session(std::move(session)) {}

    std::shared_ptr<OfficeSession> session;
    QString progId;
    const Dispatch* registered = nullptr; // the application object in the running table, if any
    bool visible = false;
    bool screenUpdating = true;
    std::shared_ptr<FindState> findState() { return m_find; }
    int nextNewNumber = 1;
    int bookmarkSorting = 0;
    bool showHidden = false;

    QList<Doc> documents();
    // The document the user works in: the office's current document when it is one of ours and the user moved
    // there since we last looked, otherwise the one last opened, added or activated. Raises when none is open.
    Doc activeDocument();
    // Makes doc the active document and the office's current one.
    void setActive(const Doc& doc);
    Doc open(const QString& path, bool readOnly, const QString& password);
    Doc add();
    void close(const Doc& doc, int saveChanges);
    void save(const Doc& doc);
    // format is Word's FileFormat, -1 to take it from the file name; a password left out keeps the document's.
    void saveAs(const Doc& doc, const QString& path, int format, const std::optional<QString>& password);
    void showAll(bool visible);
    void lockScreen(bool locked);
    void quit();

private:
    Doc track(const Reference<css::frame::XModel>& model, const QString& name);
    void adoptForeignDocuments();
    void followCurrent(const QList<Doc>& docs);
    std::shared_ptr<FindState> m_find = std::make_shared<FindState>();
    std::mutex m_mutex;
    QList<Doc> m_documents;
    Doc m_active;
    // The office's current document as last seen; a change means the user moved to another document.
    Reference<css::frame::XModel> m_seenCurrent;
    QList<Reference<css::frame::XModel>> m_locked;
};

// The native id of a document's window (the X11 window of its frame), 0 when it has none (headless).
quint64 NativeWindowOf(const Doc& doc);

// A member object that belongs to one open document: every call on it fails once the document is closed.
class DocBoundObject : public LoObject {
public:
    DocBoundObject(std::shared_ptr<WordCore> core, Doc doc)
        : LoObject(core->session), m_core(std::move(core)), m_doc(std::move(doc)) {}

protected:
    void checkOpen() const {
        if (m_doc->closed) {
            fail(QStringLiteral("The object has been deleted: the document %1 is closed.").arg(m_doc->name));
        }
    }
    std::shared_ptr<WordCore> m_core;
    Doc m_doc;
};

// A reference to an interface as a reference to one it derives from.
template <typename Base, typename Derived>
Reference<Base> Up(const Reference<Derived>& reference) {
    return Reference<Base>(reference.get());
}

// Pictures, frames and embedded objects of a document: the inline ones (anchored as a character) or the others.
int CountAnchored(const Reference<css::frame::XModel>& model, bool inlineOnes);

// The application object of a Word server.
std::shared_ptr<Dispatch> MakeWordApplication(const std::shared_ptr<WordCore>& core);

// Objects of the Word model that the document and selection parts share.
OleVariant MakeWordRange(const std::shared_ptr<WordCore>& core, const Doc& doc,
                         const Reference<css::text::XTextRange>& range);
OleVariant MakeWordSelection(const std::shared_ptr<WordCore>& core, const Doc& doc);
OleVariant MakeWordWindow(const std::shared_ptr<WordCore>& core, const Doc& doc);
OleVariant MakeWordDocument(const std::shared_ptr<WordCore>& core, const Doc& doc);
OleVariant MakeWordFind(const std::shared_ptr<WordCore>& core, const Doc& doc,
                        const Reference<css::text::XTextRange>& scope);
// The range a Range object of this server stands for; raises for any other object.
Reference<css::text::XTextRange> RangeOf(const OleVariant& value);

// Word's Range.Text: paragraphs end with "\r".
QString WordText(const Reference<css::text::XTextRange>& range);
QString DocumentText(const Doc& doc);

// Property values to and from the automation kinds.
css::uno::Any ToAny(const OleVariant& value);
OleVariant FromAny(const css::uno::Any& value);

// Points (Word's unit) to 1/100 mm (the office's) and back.
sal_Int32 PointsToHmm(double points);
double HmmToPoints(sal_Int32 hmm);

} // namespace velmora::lo
