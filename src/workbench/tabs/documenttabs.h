#pragma once

#include "platform/windows.h"
#include "workbench/core/doctab.h"
#include "workbooktabs.h"

#include <QObject>
#include <QPointer>

class QAction;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace velmora {

class TagStrip;
class Workbench;
class DocumentPage;

// The document tabs (Pager): each open document in a tab of its own, its office window re-parented into the tab,
// the close panel, and the timers that place windows and save on an interval. A tab's state lives in the DocTab
// of its page and nowhere else.
class DocumentTabs final : public QObject, public WorkbookTabs {
    Q_OBJECT

public:
    DocumentTabs(Workbench& bench, QWidget* toolbar, QWidget* area);
    // Pages still holding a window give it back, whatever ends the window without its shutdown.
    ~DocumentTabs() override;

    QWidget* pager() const;
    // The toolbar's document buttons, in their order: new, save, save all; and embed, which sits further on.
    QList<QWidget*> fileButtons() const;
    QWidget* embedButton() const;
    QAction* goBackAction() const;
    // The menu items this area answers, by the object names of the main menu.
    void attachMenu(QAction* itemNew, QAction* itemSave, QAction* itemSaveAll, QAction* itemSaveAs, QAction* itemClose,
                    QAction* itemDelDoc);

    void setTagStrip(TagStrip* strip) { m_strip = strip; }

    // The autosave interval in minutes; none at 0 or below.
    void startAutoSave(int minutes);

    int tabCount() const;
    const DocTab* tabAt(int index) const;
    const DocTab* activeTab() const;

    // Opens the library document at `ipos` (or the help document at kHelpPosition) in a new tab.
    void OpenADocByPos(qint64 ipos);
    void btnHelpClick();
    void tbtCreateClick();
    void tbtSaveClick();
    void tbtSaveAllClick();
    void ItemSaveAsClick();
    void svTimerTimer();
    // The close button of the tab, the close area and the menu all close the active tab the same way.
    void closeActiveTab();
    void ItemDelDocClick();
    void tbtEmbedClick();
    void Timer1Timer();
    void GoBackActionExecute();
    // Makes the tab `step` places on (or back, below 0) the active one, round from the last to the first. The
    // keyboard stays where it is: only a click on a tab hands it to the tab's office.
    void switchTab(int step);
    // Shutdown's questions, before anything is written: every document and workbook with unsaved changes is saved,
    // and one that cannot be (a new document, a file that refuses) is kept, saved or thrown away as the user says.
    // False when the user cancelled: the window stays open. Every tab left afterwards holds nothing unsaved.
    bool prepareClose();
    // Shutdown: saves every document and workbook with a file that holds unsaved changes, each on its own, and
    // gives every window back to the desktop.
    void saveAndReleaseAll();

    bool HasTabOf(const QString& path) const override;
    bool ActivateTabOf(const QString& path) override;
    QString ActiveTabPath() const override;
    void OpenAExcelFile(const QString& path) override;

    static QString helpPath();
    // The close area over the tab area, shown while the strip and a tab are.
    void ShowCloseArea(bool show);

public Q_SLOTS:
    // The tags strip's save button on a new document.
    void saveAsFromStrip();

Q_SIGNALS:
    void currentDocumentChanged();
    // An article's document got a new name, or left the library.
    void articleRenamed(qint64 position, const QString& caption);
    void articleRemoved(qint64 position);
    // The tags strip is to be toggled as its button does, shown when hidden, or its tag edit fitted again.
    void tagStripToggleWanted();
    void tagStripShowWanted();
    void tagStripHideWanted();
    void tagEditFitWanted();
    // A document was saved: the tag tree is written too when it changed.
    void tagTreeSaveWanted();
    // A new document is about to be made.
    void newDocumentStarting();
    // While the office makes a new document, nothing may start another opening.
    void creatingDocument(bool running);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DocumentPage* pageAt(int index) const;
    DocumentPage* activePage() const;
    DocTab& active();
    DocumentPage* addTab(const DocTab& tab);
    // The name the office knows a tab's document by: its full path, or a new document's name.
    void activateDocument(DocTab& tab);
    // The office's own saving renames a document behind the tab: the tab follows the document's file, and a library
    // record follows a Word file. False when the office holds the document no more.
    bool followDocument(DocTab& tab);
    void renameTab(DocTab& tab, const QString& path);
    int indexOfTab(const DocTab& tab) const;
    void PagerChange(int index);
    void publishActiveTab();
    void ColourTabs();
    void clearStrip();
    void loadStrip(qint64 position);
    void restoreAfterFailedOpening();

    bool SaveCurrDoc(bool automatic);
    // Asks whether to save the new document, then saves it as saveNewDocAs does.
    QString SaveNewDoc();
    // Brings the active new document into the library under a picked name; empty when it was not saved.
    QString saveNewDocAs();
    // The name a document is saved under: picked, ".docx" added, refused when another library document has it,
    // and the overwrite question asked about that final name. Empty when not to be saved.
    QString pickDocumentName(const QString& proposed, const QString& ownPath);
    void CloseCurrDoc();
    // Save, don't save or cancel; false when the tab stays.
    bool CloseCurrNewDoc();
    void discardNewDoc();
    void DropActiveTab();
    int tabIndexOf(const QString& path) const;
    // Saves the tab's workbook by its name; raises when it still holds unsaved changes afterwards.
    void saveWorkbook(const DocTab& tab);
    // False when the workbook could not be saved and the user kept it.
    bool CloseMyExcel();
    void persistLibrary();
    void WriteTextCacheIfMissing(const DocTab& tab);
    void SaveDocOnClose(DocTab& tab);
    void refreshCache(const DocTab& tab);
    void giveBackWindow(DocTab& tab);
    void placeWindow(DocumentPage* page);
    void settleWindow(DocumentPage* page);
    void ReleaseWordWindow(bool hideWord);
    // Gives the window back to the desktop, spread over the screen's free area as a maximised window is.
    void releaseToDesktop(WindowId window);
    void startEmbedding(DocumentPage* page);
    void finishEmbedding();

    Workbench& m_bench;
    TagStrip* m_strip = nullptr;
    QPointer<QTabWidget> Pager;
    QWidget* pnlClose = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* svTimer = nullptr;
    int m_embedAttempts = 0;
    // A found window waiting for the window manager to let go of it.
    quint64 m_withdrawing = 0;
    QPointer<DocumentPage> m_embedding;
    // Tabs opened while another's window was still being taken, in their order.
    QList<QPointer<DocumentPage>> m_embedQueue;
    QAction* GoBackAction = nullptr;
    QToolButton* tbtCreate = nullptr;
    QToolButton* tbtSave = nullptr;
    QToolButton* tbtSaveAll = nullptr;
    QToolButton* tbtEmbed = nullptr;
    bool m_closing = false;
    // The tab bar was clicked on another tab than the active one: the change that follows is the click's.
    bool m_tabClicked = false;
};

} // namespace velmora
