#pragma once

#include "workbench/core/doctab.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace velmora {

class TagStrip;
class Workbench;

// Why a tab's document is being saved; each decides what is written and what is asked.
enum class SaveOccasion {
    // The save button or menu item on the active tab: a new document is given a name.
    Command,
    // The interval timer: only a library document with unsaved changes, never a password.
    Autosave,
    // Save all: every library document and workbook, changed or not.
    All,
    // The window closes: every file with unsaved changes, without a question.
    Shutdown,
};

// What became of a tab whose document was asked to close.
enum class Closing { Stays, Closed, Cancelled };

// The life of one tab's document in the office: saving, save-as, closing with its questions, and following the
// document when the office saves it under another name. The tab set decides which tab; this decides what happens
// to its document, its record and its text cache.
class DocumentLife final : public QObject {
    Q_OBJECT

public:
    // `window` is the main window, raised over the office while a document closes.
    DocumentLife(Workbench& bench, QWidget* window, QObject* parent);

    void setTagStrip(TagStrip* strip) { m_strip = strip; }

    // The tab's document becomes the office's active one; raises when the office holds it no more.
    void activate(DocTab& tab);
    // The office's own saving renames a document behind the tab: the tab follows the document's file, and a
    // library record follows a Word file. False when the office holds the document no more.
    bool follow(DocTab& tab);

    // Whether the tab's file was written since the tab last looked: by the office on its own (Ctrl+S inside the
    // document, its menus) or by another program. Such a write is a save: the cache is read again from the file.
    bool noticeOwnSave(DocTab& tab);
    // The tab takes its file as it is now for the one it last saw (a document just opened).
    void lookedAt(DocTab& tab);

    // False when nothing was saved (the help document, a new document not given a name, an occasion that passes
    // the tab over).
    bool save(DocTab& tab, SaveOccasion occasion);
    // 另存为 on the tab: a library document under a picked name, anything else into the library.
    void saveAs(DocTab& tab);

    // Closes the document: saved first, or asked about. Closed means the office closed it and the tab is to go.
    Closing close(DocTab& tab);
    // The document leaves the library (its record marked deleted at once) and closes as any other.
    Closing removeFromLibrary(DocTab& tab);
    // Before the window closes: a changed document is saved, one that cannot be is closed or kept as the user says.
    // `bringForward` makes the tab the active one before anything is asked or done for it.
    Closing settleBeforeQuit(DocTab& tab, const std::function<void()>& bringForward);

Q_SIGNALS:
    // The tab shows another file now (and maybe another record): its caption and path are to be shown again.
    void tabRenamed(const DocTab* tab);
    void articleRenamed(qint64 position, const QString& caption);
    // A new document came into the library: the strip is to be shown for it.
    void documentAdded();
    // A document was saved: the tag tree is written too when it changed.
    void tagTreeSaveWanted();

private:
    // Every route by which a tab's document comes to live in another file ends here (the office's own save-as,
    // 另存为, a new document's first save).
    void changePath(DocTab& tab, const QString& path);
    void saveDocument(DocTab& tab, SaveOccasion occasion);
    void saveWorkbook(const DocTab& tab);
    // Asks whether to save the new document, then saves it as saveNewDocAs does.
    QString SaveNewDoc(DocTab& tab);
    // Brings a new document into the library under a picked name; empty when it was not saved.
    QString saveNewDocAs(DocTab& tab);
    // The name a document is saved under: picked, ".docx" added, refused when another library document has it,
    // and the overwrite question asked about that final name. Empty when not to be saved.
    QString pickDocumentName(const QString& proposed, const QString& ownPath);
    Closing closeDocument(DocTab& tab);
    Closing closeNewDocument(DocTab& tab);
    Closing closeWorkbook(DocTab& tab);
    void discardNewDoc(DocTab& tab);
    // The office closes the document with its window, over the main window.
    void closeInOffice(DocTab& tab);
    void persistLibrary();
    // Every route by which the tab's file was written ends here: the cache is read again from the file.
    // `changed`: the document held an edit, which its opening counts once when it ends.
    void saved(DocTab& tab, bool changed);
    void countEditOnce(DocTab& tab);
    void WriteTextCacheIfMissing(const DocTab& tab);
    void refreshCache(const DocTab& tab);

    Workbench& m_bench;
    QPointer<QWidget> m_window;
    TagStrip* m_strip = nullptr;
};

} // namespace velmora
