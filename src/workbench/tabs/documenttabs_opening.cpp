// How documents and workbooks come into the tabs: opened from the library (or found again when moved), the help
// document, a new document, a workbook.
#include "common/datetime.h"
#include "common/errors.h"
#include "common/prompts.h"
#include "documentlife.h"
#include "documentpage.h"
#include "documenttabs.h"
#include "office/tiexcel.h"
#include "office/tiword.h"
#include "store/wordmgr.h"
#include "store/wordrec.h"
#include "tabwindows.h"
#include "workbench/core/settingslist.h"
#include "workbench/core/tagstrip.h"
#include "workbench/search/relinkrun.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QTabWidget>

namespace velmora {

namespace {

// Restores the cursor and re-enables a control on every way out of an opening.
class BusyGuard final {
public:
    explicit BusyGuard(QWidget* disabled) : m_disabled(disabled) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (m_disabled) {
            m_disabled->setEnabled(false);
        }
    }
    ~BusyGuard() {
        if (m_disabled) {
            m_disabled->setEnabled(true);
        }
        QApplication::restoreOverrideCursor();
    }
    Q_DISABLE_COPY_MOVE(BusyGuard)

private:
    QPointer<QWidget> m_disabled;
};

} // namespace

void DocumentTabs::OpenADocByPos(qint64 ipos) {
    clearStrip();
    // Whatever stops the opening, the strip shows the active tab's document again, so that its save button
    // cannot store an empty strip over that document's tags and score.
    struct Restore {
        DocumentTabs* tabs;
        ~Restore() {
            try {
                tabs->restoreAfterFailedOpening();
            } catch (...) {
            }
        }
    } restore{this};

    QString path;
    QString psw;
    if (ipos == kHelpPosition) {
        path = helpPath();
    } else {
        QString tags;
        quint8 score = 0;
        m_bench.store().GetDocAllByPos(ipos, path, psw, tags, score);
        if (path.isEmpty()) {
            throw VelmoraError(QStringLiteral("记录中没有文档"));
        }
    }
    bool open = false;
    try {
        open = m_bench.word().DocIsOpen(path);
    } catch (const VelmoraError&) {
        // A Word that went away is replaced by the next call.
        open = m_bench.word().DocIsOpen(path);
    }
    if (open) {
        return;
    }
    TiWord& word = m_bench.word();
    const auto openInOffice = [&] {
        word.SetVisible(false);
        try {
            word.OpenWordFile(path, psw, false);
        } catch (...) {
            // Other tabs' windows live in their tabs; the office itself must not stay hidden behind a failure.
            if (Pager->count() > 0) {
                word.SetVisible(true);
            }
            throw;
        }
    };
    try {
        openInOffice();
    } catch (...) {
        // A file moved or renamed outside the program: its record (tags, score, counters) finds it again
        // instead of the user adding it anew.
        if (ipos == kHelpPosition || QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            throw;
        }
        const QString found = OfferToLocate(Pager->window(), m_bench.store(), ipos, path);
        if (found == path) {
            return;
        }
        path = found;
        Q_EMIT articleRenamed(ipos, QFileInfo(path).completeBaseName());
        openInOffice();
    }
    if (ipos != kHelpPosition && path.compare(helpPath(), Qt::CaseInsensitive) != 0) {
        TWordMgr& store = m_bench.store();
        store.IncADigitItem(ipos, wdiReadTimes, true);
        store.SetDateTime(ipos, wdiAccessTime, NowAsDays(), true);
    }
    addTab(DocumentCaption(path), path, ipos);
    ColourTabs();
    if (!word.Visible()) {
        word.SetVisible(true);
    }
    ShowCloseArea(true);
    if (m_bench.settings().value(SettingKey::AutoGoBack) == QLatin1String("1")) {
        word.GoBack();
    }
}

void DocumentTabs::restoreAfterFailedOpening() {
    if (DocumentPage* page = activePage()) {
        loadStrip(page->tab.position);
    }
}

void DocumentTabs::btnHelpClick() {
    if (!QFileInfo::exists(helpPath())) {
        return;
    }
    const BusyGuard busy(nullptr);
    OpenADocByPos(kHelpPosition);
}

void DocumentTabs::tbtCreateClick() {
    for (int i = 0; i < Pager->count(); ++i) {
        DocTab& tab = pageAt(i)->tab;
        // One the office has saved under a name of its own is no new document any more.
        if (tab.kind() == TabKind::NewDocument && m_bench.hasWord()) {
            m_life->follow(tab);
        }
        if (tab.kind() == TabKind::Workbook || !tab.hasFile()) {
            ShowInfo(QStringLiteral("请先保存 %1").arg(QFileInfo(tab.caption).fileName()));
            return;
        }
    }
    Q_EMIT newDocumentStarting();
    clearStrip();
    const BusyGuard busy(nullptr);
    Q_EMIT creatingDocument(true);
    const auto listBack = qScopeGuard([this] { Q_EMIT creatingDocument(false); });
    try {
        m_bench.word().CreateNewDoc();
    } catch (const VelmoraError&) {
        m_bench.word().CreateNewDoc();
    }
    TiWord& word = m_bench.word();
    const QString name = word.GetLastNewDocName();
    addTab(name, name, kNewPosition);
    word.SetVisible(true);
    Q_EMIT tagStripToggleWanted();
    ColourTabs();
    if (Pager->count() == 1) {
        Q_EMIT tagEditFitWanted();
    }
    ShowCloseArea(true);
    loadStrip(kNewPosition);
}

void DocumentTabs::OpenAExcelFile(const QString& path) {
    // The office reports a workbook by its absolute name, and the tab must match it.
    const QString fn = QFileInfo(path).absoluteFilePath();
    clearStrip();
    const BusyGuard busy(nullptr);
    try {
        TiExcel& excel = m_bench.excel();
        excel.OpenExcelFile(fn);
        // The opening itself is quiet; a workbook that did not open must not leave an empty tab behind.
        if (!excel.IsWorkbookOpen(fn)) {
            throw VelmoraError(QStringLiteral("无法打开 %1").arg(fn), fn);
        }
    } catch (...) {
        restoreAfterFailedOpening();
        throw;
    }
    // A workbook has no tags, password or score.
    Q_EMIT tagStripHideWanted();
    addTab(QFileInfo(fn).completeBaseName(), fn, kNewPosition);
    ColourTabs();
    TiExcel& excel = m_bench.excel();
    if (!excel.Visible()) {
        excel.SetVisible(true);
    }
    ShowCloseArea(true);
}

} // namespace velmora
