#pragma once

#include "platform/windows.h"
#include "workbench/core/doctab.h"
#include "workbooktabs.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QAction;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace velmora {

class DocumentLife;
class DocumentPage;
class TabWindows;
class TagStrip;
class Workbench;

// The document tabs (Pager): the set of open documents, each in a tab of its own, the close panel, the toolbar's
// document buttons and the interval timer. Which tab is acted on is decided here; the office windows in the tabs
// are TabWindows', and what happens to a tab's document (save, save-as, close and their questions) is
// DocumentLife's. A tab's state lives in the DocTab of its page and nowhere else.
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

    void setTagStrip(TagStrip* strip);

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
    // What became of a tab a visit looked at.
    enum class Visit { Next, Gone, Stop };
    // The one walk over the tabs, in their order; false when a step stopped it.
    bool visitTabs(const std::function<Visit(DocumentPage* page, int index)>& step);
    DocumentPage* pageAt(int index) const;
    DocumentPage* activePage() const;
    DocTab& active();
    // A new tab for an opened document, made the active one and published; its window is looked for.
    void addTab(const QString& caption, const QString& path, qint64 position);
    // The tab's caption and path shown again, and published when it is the active one.
    void showTabName(const DocTab& tab);
    int indexOfTab(const DocTab& tab) const;
    void PagerChange(int index);
    void publishActiveTab();
    void ColourTabs();
    void clearStrip();
    void loadStrip(qint64 position);
    void restoreAfterFailedOpening();
    // The active tab goes, its window given back first; the last tab becomes the active one.
    void DropActiveTab();
    int tabIndexOf(const QString& path) const;

    Workbench& m_bench;
    TagStrip* m_strip = nullptr;
    QPointer<QTabWidget> Pager;
    QWidget* pnlClose = nullptr;
    TabWindows* m_windows = nullptr;
    DocumentLife* m_life = nullptr;
    QTimer* svTimer = nullptr;
    QAction* GoBackAction = nullptr;
    QToolButton* tbtCreate = nullptr;
    QToolButton* tbtSave = nullptr;
    QToolButton* tbtSaveAll = nullptr;
    QToolButton* tbtEmbed = nullptr;
    // The tab bar was clicked on another tab than the active one: the change that follows is the click's.
    bool m_tabClicked = false;
};

} // namespace velmora
