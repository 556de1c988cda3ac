#include "documentlife.h"

#include "cachewriter.h"
#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "common/prompts.h"
#include "office/officetext.h"
#include "office/tiexcel.h"
#include "office/tiword.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "store/wordrec.h"
#include "workbench/application.h"
#include "workbench/core/settingslist.h"
#include "workbench/core/tagstrip.h"
#include "workbench/workbench.h"

#include <QFileInfo>
#include <QWidget>

namespace velmora {

namespace {

// The record's path becomes the file's name as spelt. The store keeps the old spelling of a value that differs
// only in letter case, but here such a name is another file: the old one stays on disk under the old spelling.
void StoreRecordPath(TWordMgr& store, qint64 position, const QString& path) {
    const QString stored = store.ReadAStrItem(position, wdiFullName, true);
    if (stored != path && SameTextAscii(stored, path)) {
        store.SaveAStrItem(position, wdiFullName, QString(), false);
    }
    store.SaveAStrItem(position, wdiFullName, path, false);
}

} // namespace

DocumentLife::DocumentLife(Workbench& bench, QWidget* window, QObject* parent)
    : QObject(parent), m_bench(bench), m_window(window) {}

void DocumentLife::activate(DocTab& tab) {
    if (tab.kind() == TabKind::Workbook) {
        return;
    }
    TiWord& word = m_bench.word();
    // A tab switch has usually made it the active one already: asking is much cheaper than activating a frame.
    if (word.OpenedDocs() > 0 && word.ActiveDocFullName().compare(tab.path, Qt::CaseInsensitive) == 0) {
        return;
    }
    if (!word.ActivateDoc(tab.path) && (!follow(tab) || !word.ActivateDoc(tab.path))) {
        throw VelmoraError(QStringLiteral("文档已不在office中打开: %1").arg(tab.path));
    }
}

bool DocumentLife::follow(DocTab& tab) {
    if (tab.kind() == TabKind::Workbook) {
        return true;
    }
    TiWord& word = m_bench.word();
    if (word.DocIsOpen(tab.path)) {
        return true;
    }
    const QString now = word.CurrentFullNameOf(tab.path, tab.window);
    if (now.isEmpty()) {
        return false;
    }
    changePath(tab, now);
    // The office wrote the file under its new name: a save like any other.
    saved(tab, true);
    Q_EMIT tabRenamed(&tab);
    return true;
}

bool DocumentLife::noticeOwnSave(DocTab& tab) {
    if (tab.kind() != TabKind::Document || tab.isHelp() || !tab.hasFile()) {
        return false;
    }
    const FileStamp now = FileStampOf(tab.path);
    if (now.size < 0 || now == tab.seenStamp) {
        return false;
    }
    saved(tab, true);
    return true;
}

void DocumentLife::lookedAt(DocTab& tab) {
    tab.seenStamp = FileStampOf(tab.path);
}

void DocumentLife::saved(DocTab& tab, bool changed) {
    tab.savedDuringLife = tab.savedDuringLife || changed;
    lookedAt(tab);
    // The cache is read back from the file just written, so that a search finds what the file holds whoever
    // saved it; waiting for the tab to close would leave a quit, a crash or the office's own save unseen.
    if (tab.isLibraryDocument()) {
        refreshCache(tab);
    }
}

void DocumentLife::countEditOnce(DocTab& tab) {
    if (tab.savedDuringLife && tab.isLibraryDocument() && m_bench.hasStore()) {
        m_bench.store().IncADigitItem(tab.position, wdiEditTimes, true);
    }
    tab.savedDuringLife = false;
}

void DocumentLife::changePath(DocTab& tab, const QString& path) {
    const QString old = tab.path;
    tab.path = path;
    tab.caption = tab.hasFile() ? DocumentCaption(path) : path;
    if (tab.isHelp()) {
        // Saved elsewhere, it is the user's own file now, no longer the help document that is never written.
        tab.position = kNewPosition;
    }
    const bool recordFollows = tab.position >= 0 && tab.kind() == TabKind::Document &&
                               (SameTextAscii(old, path) || !m_bench.store().DocInBase(path));
    // The office has just written the file at `path`: a cache kept under its name holds the text of the file
    // written over. The document's own cache takes its place when the record comes along (moved, never copied),
    // else it is removed. Two names differing only in the case of a folder share one cache file, which then
    // simply stays.
    if (TextCachePath(old) != TextCachePath(path)) {
        if (recordFollows && HasTextCache(old)) {
            MoveTextCacheOver(old, path);
        } else {
            RemoveTextCache(path);
        }
    }
    if (recordFollows) {
        StoreRecordPath(m_bench.store(), tab.position, path);
        persistLibrary();
        Q_EMIT articleRenamed(tab.position, QFileInfo(path).completeBaseName());
    } else if (tab.position >= 0) {
        // The record keeps its own file; the tab shows another one now, outside the library.
        tab.position = kNewPosition;
    }
}

// -- saving --

bool DocumentLife::save(DocTab& tab, SaveOccasion occasion) {
    if (tab.kind() == TabKind::Workbook) {
        switch (occasion) {
        case SaveOccasion::Command:
            saveWorkbook(tab);
            return true;
        case SaveOccasion::All:
            // A workbook that cannot be saved is reported; the tabs after it are saved all the same.
            RunReported([&] { saveWorkbook(tab); });
            return true;
        case SaveOccasion::Shutdown:
            if (m_bench.hasExcel() && QFileInfo::exists(tab.path) && !m_bench.excel().ExcelFileSaved(tab.path)) {
                saveWorkbook(tab);
                return true;
            }
            return false;
        case SaveOccasion::Autosave:
            return false;
        }
    }
    // The help document is ours, not the user's: it is never written.
    if (tab.isHelp()) {
        return false;
    }
    switch (occasion) {
    case SaveOccasion::Command:
        if (!follow(tab)) {
            return false;
        }
        // A document without a file can only be saved by choosing a name for it.
        if (!tab.hasFile()) {
            return !saveNewDocAs(tab).isEmpty();
        }
        saveDocument(tab, occasion);
        Q_EMIT tagTreeSaveWanted();
        return true;
    case SaveOccasion::Autosave:
        // A document without unsaved changes is not written again: its file keeps its modification time.
        if (tab.kind() != TabKind::Document || tab.position < 0 || !follow(tab) || !tab.isLibraryDocument() ||
            !m_bench.word().DocChanged(tab.path)) {
            return false;
        }
        saveDocument(tab, occasion);
        Q_EMIT tagTreeSaveWanted();
        return true;
    case SaveOccasion::All: {
        if (tab.kind() != TabKind::Document || tab.position < 0 || !follow(tab) || !tab.isLibraryDocument()) {
            return false;
        }
        // The edit is counted once, when the opening ends, and only when there was one.
        const bool changed = m_bench.word().DocChanged(tab.path);
        m_bench.word().SaveWordFileByName(tab.path);
        saved(tab, changed);
        return true;
    }
    case SaveOccasion::Shutdown: {
        bool wrote = false;
        if (tab.hasFile() && m_bench.hasWord() && QFileInfo::exists(tab.path)) {
            noticeOwnSave(tab);
            if (m_bench.word().DocChanged(tab.path)) {
                m_bench.word().SaveWordFileByName(tab.path);
                saved(tab, true);
                wrote = true;
            }
        }
        // The window's end is the end of every opening.
        countEditOnce(tab);
        return wrote;
    }
    }
    return false;
}

void DocumentLife::saveDocument(DocTab& tab, SaveOccasion occasion) {
    activate(tab);
    // Autosave saves only a changed document.
    const bool changed = occasion == SaveOccasion::Autosave || m_bench.word().DocChanged(tab.path);
    // A password goes onto a file only by the strip's own way, which stores it in the record as well; autosave
    // never applies one, nor does a file outside the library.
    const QString psw = (occasion != SaveOccasion::Autosave && m_strip && tab.position >= 0)
                            ? m_strip->GetCurrDocPSW(int(tab.position))
                            : QString();
    if (!psw.isEmpty()) {
        m_strip->SetPSToDoc(tab.path, psw);
    } else {
        m_bench.word().SaveWordFileByName(tab.path);
    }
    saved(tab, changed || !psw.isEmpty());
}

void DocumentLife::saveWorkbook(const DocTab& tab) {
    TiExcel& excel = m_bench.excel();
    excel.SaveExcelFile(tab.path);
    if (!excel.ExcelFileSaved(tab.path)) {
        throw VelmoraError(QStringLiteral("无法保存 %1").arg(tab.path), tab.path);
    }
}

QString DocumentLife::pickDocumentName(const QString& proposed, const QString& ownPath) {
    const QString folder = PickerStartFolder(
        {m_bench.settings().value(SettingKey::SaveAsDir), m_bench.settings().value(SettingKey::ImportDir)});
    const QString ext = QStringLiteral(".docx");
    const QString name = DocumentSaveName(
        CurrentPrompts().saveFile(folder, proposed, QStringLiteral("另存为"), MakeFileFilter(ext), ext));
    if (name.isEmpty()) {
        return {};
    }
    if (!SameTextAscii(name, ownPath) && m_bench.store().DocInBase(name)) {
        ShowInfo(QStringLiteral("存在同名文件"));
        return {};
    }
    // Asked about the name the file is written under, not the one typed before the extension was added.
    if (name != ownPath && QFileInfo::exists(name) && !AskYesNo(QStringLiteral("文件已经存在，要覆盖它吗？"))) {
        return {};
    }
    return name;
}

QString DocumentLife::SaveNewDoc(DocTab& tab) {
    if (!AskYesNo(QStringLiteral("要保存 %1 吗？").arg(tab.caption))) {
        return {};
    }
    return saveNewDocAs(tab);
}

QString DocumentLife::saveNewDocAs(DocTab& tab) {
    activate(tab);
    TiWord& word = m_bench.word();
    const QString title = word.GetTitle();
    const QString name = pickDocumentName(title, QString());
    if (name.isEmpty()) {
        return {};
    }
    TWordMgr& store = m_bench.store();
    m_bench.settings().set(SettingKey::SaveAsDir, QFileInfo(name).absolutePath() + QLatin1Char('/'));
    m_bench.saveSettings();
    const QString psw = m_strip ? m_strip->GetCurrDocPSW(int(kNewPosition)) : QString();
    word.SaveAs(name, psw);
    // Not in the library yet, the document comes with no record: its record is made for the new file.
    tab.position = kNewPosition;
    changePath(tab, name);
    const qint64 position = store.ImportAWord(name, QString(), psw, 0);
    tab.position = position;
    saved(tab, true);
    if (m_strip) {
        m_strip->StoreTypedTags(int(position));
    }
    store.SetDateTime(position, wdiAccessTime, NowAsDays(), true);
    store.SetRecArchive(position, false, true);
    // The strip keeps what was typed for the document; it learns the new record from the published tab.
    Q_EMIT tabRenamed(&tab);
    persistLibrary();
    Q_EMIT documentAdded();
    return name;
}

void DocumentLife::saveAs(DocTab& tab) {
    if (tab.kind() == TabKind::Workbook || tab.isHelp() || !follow(tab)) {
        return;
    }
    // A new document, or a file the office saved outside the library, comes into the library.
    if (!tab.isLibraryDocument()) {
        SaveNewDoc(tab);
        return;
    }
    activate(tab);
    const QString name = pickDocumentName(tab.caption, tab.path);
    if (name.isEmpty()) {
        return;
    }
    TWordMgr& store = m_bench.store();
    m_bench.word().SaveAs(name, store.ReadAStrItem(tab.position, wdiPassword, true));
    changePath(tab, name);
    // Counted when the opening ends, as every save is.
    saved(tab, true);
    Q_EMIT tabRenamed(&tab);
}

// -- closing --

Closing DocumentLife::close(DocTab& tab) {
    if (tab.kind() == TabKind::Workbook) {
        return closeWorkbook(tab);
    }
    return tab.hasFile() ? closeDocument(tab) : closeNewDocument(tab);
}

Closing DocumentLife::removeFromLibrary(DocTab& tab) {
    if (tab.position >= 0) {
        m_bench.store().SetRecDeleted(tab.position, true);
        persistLibrary();
    }
    return close(tab);
}

Closing DocumentLife::closeDocument(DocTab& tab) {
    activate(tab);
    if (tab.isHelp()) {
        m_bench.word().GiveupSave();
        closeInOffice(tab);
        return Closing::Closed;
    }
    WriteTextCacheIfMissing(tab);
    noticeOwnSave(tab);
    TiWord& word = m_bench.word();
    if (word.DocChanged(tab.path)) {
        word.SaveWordFileByName(tab.path);
        saved(tab, true);
    }
    countEditOnce(tab);
    closeInOffice(tab);
    return Closing::Closed;
}

Closing DocumentLife::closeNewDocument(DocTab& tab) {
    switch (AskYesNoCancel(QStringLiteral("要保存 %1 吗？").arg(tab.caption))) {
    case Answer::Cancel:
        return Closing::Cancelled;
    case Answer::No:
        discardNewDoc(tab);
        return Closing::Closed;
    case Answer::Yes:
        break;
    }
    // Cancelled or already in the library: the tab and its text stay, so that nothing typed is lost.
    if (saveNewDocAs(tab).isEmpty()) {
        return Closing::Cancelled;
    }
    WriteTextCacheIfMissing(tab);
    countEditOnce(tab);
    closeInOffice(tab);
    return Closing::Closed;
}

void DocumentLife::discardNewDoc(DocTab& tab) {
    activate(tab);
    // Marked saved, the document closes without the office asking about it again.
    m_bench.word().GiveupSave();
    closeInOffice(tab);
}

Closing DocumentLife::closeWorkbook(DocTab& tab) {
    TiExcel& excel = m_bench.excel();
    excel.SaveExcelFile(tab.path);
    // Closing discards what is unsaved: a workbook whose save failed (read-only, disk full) closes only when the
    // user says so, and otherwise keeps its tab.
    if (!excel.ExcelFileSaved(tab.path) &&
        !AskYesNo(QStringLiteral("无法保存 %1，关闭后其中的改动将丢失；确定要关闭吗？").arg(tab.path))) {
        return Closing::Cancelled;
    }
    closeInOffice(tab);
    return Closing::Closed;
}

void DocumentLife::closeInOffice(DocTab& tab) {
    // The window stays in its tab until the office closes it with the document: given back to the desktop first
    // it would flash there, and a save that fails would leave it outside the tab that is kept. The main window
    // comes forward, not whatever window the desktop would show next.
    if (QWidget* window = m_window ? m_window->window() : nullptr) {
        window->raise();
        window->activateWindow();
    }
    bool stillOpen = false;
    if (tab.kind() == TabKind::Workbook) {
        // Only this workbook: the others in tabs keep their unsaved work.
        m_bench.excel().CloseExcelFile(tab.path);
        stillOpen = m_bench.excel().IsWorkbookOpen(tab.path);
    } else {
        m_bench.word().CloseWordFileByName(tab.path);
        stillOpen = m_bench.word().DocIsOpen(tab.path);
    }
    if (!stillOpen) {
        // The window went with the document.
        tab.window = 0;
    }
}

Closing DocumentLife::settleBeforeQuit(DocTab& tab, const std::function<void()>& bringForward) {
    try {
        if (tab.kind() == TabKind::Workbook) {
            if (m_bench.hasExcel() && !m_bench.excel().ExcelFileSaved(tab.path)) {
                m_bench.excel().SaveExcelFile(tab.path);
                if (!m_bench.excel().ExcelFileSaved(tab.path)) {
                    bringForward();
                    return closeWorkbook(tab);
                }
            }
        } else if (!tab.isHelp() && m_bench.hasWord() && follow(tab) && m_bench.word().DocChanged(tab.path)) {
            bringForward();
            if (!tab.hasFile()) {
                return closeNewDocument(tab);
            }
            activate(tab);
            m_bench.word().SaveWordFileByName(tab.path);
            saved(tab, true);
        }
    } catch (const VelmoraError& error) {
        // Whatever could not be saved is closed unsaved only when the user says so.
        if (!AskYesNo(QStringLiteral("%1\n\n仍要关闭吗？").arg(error.message()))) {
            return Closing::Cancelled;
        }
        if (tab.kind() != TabKind::Workbook) {
            // The user gave it up: the rest of the shutdown does not try it again.
            RunReported([&] { m_bench.word().MarkDocSaved(tab.path); });
        }
    }
    return Closing::Stays;
}

void DocumentLife::persistLibrary() {
    // A record created, renamed or deleted reaches the disk at once, not only at exit.
    RunReported([this] { m_bench.store().SaveRecDataFiles(false); });
}

void DocumentLife::WriteTextCacheIfMissing(const DocTab& tab) {
    if (tab.position < 0 || HasTextCache(tab.path)) {
        return;
    }
    refreshCache(tab);
}

void DocumentLife::refreshCache(const DocTab& tab) {
    // A cache that cannot be written must not keep the document from being saved and closed.
    try {
        WriteTextCache(tab.path, DocumentTextForCache(m_bench.word(), tab.path));
    } catch (const VelmoraError& error) {
        ReportError(error.message());
    }
}

} // namespace velmora
