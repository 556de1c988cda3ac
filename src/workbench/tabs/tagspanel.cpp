#include "tagspanel.h"

#include "activedocument.h"
#include "common/errors.h"
#include "common/prompts.h"
#include "office/tiword.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/gridfiles.h"
#include "workbench/core/treefile.h"
#include "workbench/imagelist.h"
#include "workbench/workbench.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace velmora {

namespace {

constexpr int kUnlitStar = 14;
constexpr int kLitStar = 15;
constexpr int kMaxScore = 5;
const QString kSaveNewDocumentFirst = QStringLiteral("新建文档需要先保存才能继续。确定吗？");

} // namespace

TagsPanel::TagsPanel(Workbench& bench, QWidget* toolbar, QWidget* area) : QObject(area), m_bench(bench) {
    setObjectName(QStringLiteral("tagsPanel"));
    tbtTag =
        MakeToolButton(toolbar, QStringLiteral("tbtTag"), QString(), QStringLiteral("设置更改文档标签、密码及评分"));
    ConnectReported(tbtTag, &QToolButton::clicked, this, [this] { tbtTagClick(); });

    tagPanel = Named(new QWidget(area), QStringLiteral("tagPanel"));
    tagPanel->setFixedHeight(26);
    // A narrow window clips the strip at its right end rather than being held wider by it.
    tagPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Describe(tagPanel, QStringLiteral("文档标签"));
    auto* strip = new QHBoxLayout(tagPanel);
    strip->setContentsMargins(4, 1, 4, 1);
    strip->setSpacing(3);
    auto label = [this](const QString& name, const QString& caption) {
        auto* shown = Named(new QLabel(caption, tagPanel), name);
        Describe(shown, caption);
        return shown;
    };
    auto button = [this](const QString& name, const QIcon& icon, const QString& hint) {
        auto* shown = Named(new QToolButton(tagPanel), name);
        shown->setIcon(icon);
        shown->setAutoRaise(true);
        shown->setToolTip(hint);
        Describe(shown, hint);
        return shown;
    };
    strip->addWidget(label(QStringLiteral("lbScore"), QStringLiteral("评分：")));
    for (int i = 0; i < kMaxScore; ++i) {
        QToolButton* star =
            button(QStringLiteral("btGroup%1").arg(i + 1), AppImage(kUnlitStar), QStringLiteral("%1星").arg(i + 1));
        // Checkable, so that the lit state is also what a screen reader tells.
        star->setCheckable(true);
        star->setFixedSize(28, 22);
        ConnectReported(star, &QToolButton::clicked, this, [this, i] { btGroupButtonClicked(i); });
        btGroup[size_t(i)] = star;
        strip->addWidget(star);
    }
    strip->addWidget(label(QStringLiteral("lblPSW"), QStringLiteral("密码：")));
    psEdit = Named(new QLineEdit(tagPanel), QStringLiteral("psEdit"));
    MaskWithStars(psEdit);
    psEdit->setFixedWidth(90);
    Describe(psEdit, QStringLiteral("密码"));
    strip->addWidget(psEdit);
    btPSView = button(QStringLiteral("btPSView"), AppImage(13), QStringLiteral("显示密码"));
    connect(btPSView, &QToolButton::pressed, this, [this] { psEdit->setEchoMode(QLineEdit::Normal); });
    connect(btPSView, &QToolButton::released, this, [this] { psEdit->setEchoMode(QLineEdit::Password); });
    strip->addWidget(btPSView);
    strip->addWidget(label(QStringLiteral("RzLabel4"), QStringLiteral("标签：")));
    btSaveTagScorePS =
        button(QStringLiteral("btSaveTagScorePS"), ToolbarImage(QStringLiteral("tbtSave")), QStringLiteral("保存标签"));
    ConnectReported(btSaveTagScorePS, &QToolButton::clicked, this, [this] { btSaveTagScorePSClick(); });
    strip->addWidget(btSaveTagScorePS);
    btAddTag = button(QStringLiteral("btAddTag"), AppImage(3), QStringLiteral("快速添加标签"));
    ConnectReported(btAddTag, &QToolButton::clicked, this, [this] { btAddTagClick(); });
    strip->addWidget(btAddTag);
    tagEdit = Named(new QLineEdit(tagPanel), QStringLiteral("tagEdit"));
    Describe(tagEdit, QStringLiteral("标签"));
    // Grey text on the button face until the edit is first used: the strip reads as a caption until then.
    QPalette quiet = tagEdit->palette();
    quiet.setColor(QPalette::Text, Qt::darkGray);
    quiet.setColor(QPalette::Base, quiet.color(QPalette::Button));
    tagEdit->setPalette(quiet);
    tagEdit->installEventFilter(this);
    strip->addWidget(tagEdit, 1);
}

QWidget* TagsPanel::panel() const {
    return tagPanel;
}

QWidget* TagsPanel::toolButton() const {
    return tbtTag;
}

bool TagsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tagEdit && event->type() == QEvent::FocusIn) {
        tagEditEnter();
    }
    return QObject::eventFilter(watched, event);
}

void TagsPanel::tagEditEnter() {
    if (m_tagEditEntered) {
        return;
    }
    m_tagEditEntered = true;
    QPalette palette = tagEdit->palette();
    palette.setColor(QPalette::Base, tagPanel->palette().color(QPalette::Base));
    tagEdit->setPalette(palette);
}

bool TagsPanel::activeTabIsWorkbook() const {
    const ActiveTab& tab = m_bench.activeTab();
    // The tabs decide a tab's kind by its file's extension; a folder named like a workbook changes nothing.
    return tab.open && tab.workbook;
}

// -- stars --

void TagsPanel::showScore(int score) {
    m_score = std::clamp(score, 0, kMaxScore);
    for (int i = 0; i < kMaxScore; ++i) {
        QToolButton* star = btGroup[size_t(i)];
        const bool lit = i < m_score;
        star->setChecked(lit);
        star->setIcon(AppImage(lit ? kLitStar : kUnlitStar));
    }
}

void TagsPanel::btGroupButtonClicked(int index) {
    // The strip shows a score, not five switches: a reopened document can only light its first stars, so a
    // click on star k means k, and on the highest lit star takes that star back.
    const int star = index + 1;
    showScore(star == m_score ? star - 1 : star);
}

// -- the strip's content --

void TagsPanel::ClearTagPanel() {
    tagEdit->clear();
    tagEdit->setModified(false);
    psEdit->clear();
    psEdit->setModified(false);
    psEdit->setEchoMode(QLineEdit::Password);
    showScore(0);
}

void TagsPanel::LoadTagPanel(int iPos) {
    if (iPos < 0 || !m_bench.hasStore()) {
        return;
    }
    TWordMgr& store = m_bench.store();
    if (store.RecStream().isEmpty() || !store.IsRecordPosition(iPos)) {
        return;
    }
    tagPanel->setEnabled(true);
    tagEdit->setText(store.ReadAStrItem(iPos, wdiTags, true));
    psEdit->setText(store.ReadAStrItem(iPos, wdiPassword, false));
    tagEdit->setModified(false);
    psEdit->setModified(false);
    // A score above five comes only from a damaged or foreign record; it shows as the most there is.
    showScore(std::min<int>(store.WordRec().wdScore, kMaxScore));
}

// -- tags, password and their storing --

QString TagsPanel::normaliseAndStoreTags(int ipos, const QString& tags, bool rd) {
    const NormalTags normal = NormalizeTags(tags);
    if (normal.tags.isEmpty()) {
        return {};
    }
    Q_EMIT tagsAdded(normal.tags);
    // While an import runs it stores the tags itself; a tab without a record has nothing to store them in.
    if (!m_bench.importing() && ipos >= 0) {
        m_bench.store().SaveTags(ipos, normal.text, rd);
    }
    return normal.text;
}

QString TagsPanel::GetCurrDocTags(int ipos, const QString& tags, bool rd) {
    const QString result = normaliseAndStoreTags(ipos, tags, rd);
    if (!result.isEmpty() && !m_bench.importing() && ipos >= 0) {
        m_bench.store().SaveRecDataFiles(false);
    }
    return result;
}

void TagsPanel::StoreTypedTags(int ipos) {
    // The edit's modified flag says nothing here: a common tag clicked in replaces the text and clears it. The
    // strip was emptied when the new document was made, so what it holds now was meant for it.
    GetCurrDocTags(ipos, tagEdit->text(), true);
    tagEdit->setModified(false);
}

QString TagsPanel::GetCurrDocPSW(int ipos) {
    const QString typed = psEdit->text();
    if (typed.trimmed().isEmpty()) {
        return {};
    }
    if (ipos == kNewDocument) {
        return typed;
    }
    // The help document and any other tab without a record never get a password.
    if (ipos < 0 || !m_bench.hasStore() || !m_bench.store().IsRecordPosition(ipos)) {
        return {};
    }
    // A stored password is never replaced from the strip.
    return m_bench.store().RecordAt(ipos).wdPasswordPos < 0 ? typed : QString();
}

void TagsPanel::SetPSToDoc(const QString& docName, const QString& psw) {
    const ActiveTab& tab = m_bench.activeTab();
    if (!tab.open || tab.path != docName) {
        throw VelmoraError(QStringLiteral("只能给当前标签页的文档设置密码: %1").arg(docName), docName);
    }
    // Without a record the password would protect a file that the library cannot open again.
    if (tab.position < 0 || !m_bench.store().IsRecordPosition(tab.position)) {
        throw VelmoraError(QStringLiteral("文档不在资料库中，不能设置密码: %1").arg(docName), docName);
    }
    TiWord& word = m_bench.word();
    ActivateTabDocument(word, docName);

    // The library learns the password, on disk, before the file gets it: a kill in between leaves a file that
    // still opens without it and a record that will be corrected by the next save, never a locked-out file.
    TWordMgr& store = m_bench.store();
    const qint64 ipos = tab.position;
    const QString previous = store.ReadAStrItem(ipos, wdiPassword, true);
    auto storePassword = [&store, ipos](const QString& password) {
        // The store keeps a text that differs only in letter case; a password must be kept exactly.
        store.SaveAStrItem(ipos, wdiPassword, QString(), true);
        store.SaveAStrItem(ipos, wdiPassword, password, true);
        store.SaveRecDataFiles(false);
    };
    const bool changed = previous != psw;
    if (changed) {
        storePassword(psw);
    }
    try {
        word.SaveAs(docName, psw);
    } catch (...) {
        // An office can fail after it has written the protected file; a record without the password would then
        // lock the library out of it. Only a file that does not need a password gives the old one back.
        if (changed && !IsEncryptedOnDisk(docName)) {
            RunReported([&] { storePassword(previous); });
        }
        throw;
    }
    word.MarkDocUnsaved(docName);
    word.SaveWordFileByName(docName);
}

void TagsPanel::btSaveTagScorePSClick() {
    const ActiveTab tab = m_bench.activeTab();
    if (!tab.open || activeTabIsWorkbook() || tab.position == kHelpDocument) {
        return;
    }
    if (tab.position == kNewDocument) {
        if (AskYesNo(kSaveNewDocumentFirst)) {
            Q_EMIT saveAsRequested();
        }
        return;
    }
    if (tab.position < 0) {
        return;
    }
    TWordMgr& store = m_bench.store();
    const int ipos = tab.position;
    store.ReadDataHead(ipos);
    store.SetDocScore(ipos, quint8(m_score), false);
    const QString tags = normaliseAndStoreTags(ipos, tagEdit->text(), false);
    // An empty result clears the stored tags.
    store.SaveAStrItem(ipos, wdiTags, tags, true);
    tagEdit->setModified(false);
    const QString psw = GetCurrDocPSW(ipos);
    try {
        if (!psw.isEmpty()) {
            SetPSToDoc(tab.path, psw);
        }
    } catch (...) {
        RunReported([&store] { store.SaveRecDataFiles(false); });
        throw;
    }
    store.SaveRecDataFiles(false);
}

// -- showing the strip --

void TagsPanel::tbtTagClick() {
    if (activeTabIsWorkbook()) {
        return;
    }
    const bool tabsOpen = m_bench.activeTab().open;
    tagPanel->setVisible(tagPanel->isHidden());
    tagPanel->setEnabled(tabsOpen);
    FitTagEdit();
    if (tabsOpen) {
        Q_EMIT closeAreaWanted();
    }
}

void TagsPanel::showStrip() {
    if (tagPanel->isHidden()) {
        tbtTagClick();
    }
}

void TagsPanel::hideStrip() {
    tagPanel->hide();
}

void TagsPanel::FitTagEdit() {
    // The layout gives the tag edit all the width the other controls leave; this only makes it do so now.
    tagPanel->layout()->activate();
}

void TagsPanel::btAddTagClick() {
    if (activeTabIsWorkbook()) {
        return;
    }
    Q_EMIT commonTagsWanted(QRect(tagEdit->mapToGlobal(QPoint(0, 0)), tagEdit->size()));
}

void TagsPanel::addCommonTag(const QString& tag) {
    tagEdit->setText(AppendTag(tagEdit->text(), tag));
}

} // namespace velmora
