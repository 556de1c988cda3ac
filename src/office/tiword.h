#pragma once

#include "office/automation/olevariant.h"

#include <QString>

#include <functional>
#include <memory>

namespace velmora {

class CommandSink;

// The office's own commands for a document in a tab, which the window carries out in its own way instead.
enum class OfficeCommand { Save, SaveAs, SaveAll, Close, Quit, New, NextTab, PreviousTab };
using OfficeCommandHandler = std::function<void(OfficeCommand command, const QString& DocName)>;

// The program's only way to Word: one late-bound reference to the application object of whatever server
// answers "Word.Application". Every operation starts again from the application object, so no document or
// range object outlives the call that fetched it. Automation errors propagate unless an operation says it
// swallows them.
class TiWord final {
public:
    // With AlwaysCreate a new Word is always started (and quit again on destruction); otherwise a running Word
    // is used when there is one. Raises VelmoraError "您的电脑上没哦安装Office" when no Word can be had.
    explicit TiWord(bool AlwaysCreate);
    // Quits Word when this wrapper started it or when it holds no document; never raises.
    ~TiWord();
    Q_DISABLE_COPY_MOVE(TiWord)

    void CreateOrConnectWord();

    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    bool Created() const { return FCreated; }
    void SetCreated(bool Value) { FCreated = Value; }

    void ShowWord(bool f);
    void SetWinPos(int t, int l, int h, int w);
    void CloseOpenSpellCheck(bool f);

    // Open documents.
    int OpenedDocs();
    QString ActiveDocName();
    QString ActiveDocFullName();
    bool DocIsOpen(const QString& DocName);
    bool DocIsOpened(const QString& docName);
    bool DocChanged(const QString& docName);
    bool TheDocHasChanged(const QString& docName);
    bool ActiveDocChanged();
    bool HaveDocChanged();
    bool HaveNewDoc();
    QString GetLastNewDocName();
    // The office's "Saved" flag of the document: `chg` true marks it saved, false marks it as holding unsaved
    // changes. Nothing is written either way; callers say which they mean with the two below.
    void SetDocChanged(const QString& docName, bool chg);
    void MarkDocSaved(const QString& docName) { SetDocChanged(docName, true); }
    void MarkDocUnsaved(const QString& docName) { SetDocChanged(docName, false); }

    // Opening, creating, saving, closing.
    OleVariant OpenWordFile(const QString& DocName, const QString& psw, bool rdOnly);
    void CreateNewDoc();
    void SaveCurrWord();
    void SaveWordFileByName(const QString& DocName);
    void SaveAllFiles();
    void SaveAs(const QString& DocName, const QString& psw);
    void GiveupSave();
    void CloseCurrDocAndSaveChanges();
    void CloseCurrDocAndDoNotSaveChanges();
    void CloseCurrDocAndPromptToSaveChanges();
    void CloseWordFileByName(const QString& DocName);
    void CloseAllFiles();

    // Makes the open document DocName (a full name, or the name of a new document) the active one, before an
    // operation made for its tab; false when it is not open.
    bool ActivateDoc(const QString& DocName);
    // The native window the office shows DocName in (an X11 window id), 0 when it is not open or has no window.
    // Finding the window by its caption is the fallback for a 0.
    quint64 WindowOf(const QString& DocName);
    // The full name the office now knows a tab's document by, which the office's own saving changes behind the
    // program's back: the document shown in window (when not 0), else the one the office first named DocName
    // (a new document keeps that name after the office saved it). Empty when neither is open.
    QString CurrentFullNameOf(const QString& DocName, quint64 window);
    // The handler hears the commands of the documents given to TakeOverCommands, with the document's full name,
    // from the program's event loop once the office's call has returned (never inside a call of this wrapper).
    void SetCommandHandler(OfficeCommandHandler handler);
    // The office hands DocName's commands that save, close or quit (and the window's tab keys pressed in it) to
    // the handler instead of carrying them out; false when it is not open.
    bool TakeOverCommands(const QString& DocName);
    // The office carries out DocName's commands itself again, as for any document of its own.
    void GiveBackCommands(const QString& DocName);

    // Editing position and clipboard.
    void GoBack();
    void MoveToEnd();
    void SelectAll(bool st);
    void SelCopy();
    void CopyToClip();

    // Text.
    QString GetDocText();
    QString GetDocTextByName(const QString& docName);
    QString SelectionText();
    QString GetTitle();

    // Properties of the active document.
    int GetDocProp(int idx);
    int GetDocPages();
    QString GetDocPropStr(int idx);
    bool GetDocPropBool(int idx);
    QString GetBuiltInDocumentProperty(int idx);
    QString GetABuiltInProp(int prop, const QString& docName);
    QString ListDocsName(bool stName);
    QString GetSaveAsDocName(const QString& fnList);

    // Formatting of the selection.
    void SetDocPara(const QString& ftName, bool all, float ftSize, float spAfter, float spLine, float fstLnInd,
                    float charInd, float lnAfter);
    void SetAlignment(int wdAl);
    void SetFont(const QString& FontName, int FontSize, bool Bold, bool Italic);
    void AddReturn();
    void ViewFullPage();

    // Find and replace.
    void FindText(const QString& s, bool down);
    void ReplaceAll(const QString& s1, const QString& s2);
    void ReplaceAllLinks(const QString& s1, const QString& s2);

    // Export.
    void SaveDocToRTF(const QString& fn);
    bool SaveDocToHtml(const QString& fn);

    // Other.
    void AddBookMark(const QString& BookMarkName);
    void OutPicture(const QString& sFileName);
    // True when the merged document was made and saved under MergedDocName.
    bool MergeDocs(const QString& MergedDocName, const QString& DocList);
    void RunMacro(const QString& mcrName);
    void DeleteBlankParagraph();

    // How often AddReturn tries a paragraph insertion that keeps failing before it gives up.
    static constexpr int kAddReturnAttempts = 3;

private:
    void Destroy() noexcept;
    void CloseCurrDoc(int saveChanges);
    // The 1-based index of the open document whose full name is DocName, 0 when none; n is Documents.Count as
    // the caller read it.
    int FindDoc(const QString& DocName, int n);
    OleVariant DocumentAt(int i);
    // Runs body with screen updating off and turns it on again on every way out, the body's error winning.
    template <typename Body>
    void WithoutScreenUpdating(Body body);

    OleVariant FWord;
    std::shared_ptr<CommandSink> m_commands;
    bool FVisible = false;
    bool FCreated = false;
};

} // namespace velmora
