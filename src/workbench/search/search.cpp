#include "search.h"

#include "common/prompts.h"
#include "office/tiword.h"
#include "store/pathfold.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/searchtexts.h"
#include "workbench/core/searchwalk.h"
#include "workbench/imagelist.h"
#include "workbench/tabs/cachewriter.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int kSearchPicture = 8;
// A slice of the walk ends after this long, so that the window answers between slices.
constexpr qint64 kSliceMs = 12;
constexpr qsizetype kSliceRecords = 512;
const QString kSearchCaption = QStringLiteral("搜索");
const QString kEmptyListNotice = QStringLiteral("注意：当前文章列表是空的");
const QString kSearchHelp = QStringLiteral("搜索关键词须用空格隔开。可以有多个关键词。");

template <typename T>
T* Option(QWidget* parent, const char* name, const char* caption) {
    auto* control = Named(new T(QString::fromUtf8(caption), parent), QString::fromLatin1(name));
    Describe(control, control->text());
    return control;
}

} // namespace

Search::Search(Workbench& bench, QWidget* toolbar, QWidget* column)
    : QObject(toolbar), m_bench(bench), m_texts(std::make_unique<SearchTexts>()) {
    setObjectName(QStringLiteral("search"));
    schEdit = Named(new QLineEdit(toolbar), QStringLiteral("schEdit"));
    schEdit->setFixedWidth(251);
    schEdit->setPlaceholderText(kSearchCaption);
    Describe(schEdit, kSearchCaption);
    QAction* searchButton = schEdit->addAction(AppImage(kSearchPicture), QLineEdit::TrailingPosition);
    searchButton->setObjectName(QStringLiteral("schEditRightButton"));
    searchButton->setText(kSearchCaption);
    searchButton->setToolTip(kSearchCaption);
    ConnectReported(schEdit, &QLineEdit::returnPressed, this, [this] { DoNormalSearch(); });
    ConnectReported(searchButton, &QAction::triggered, this, [this] { DoNormalSearch(); });

    m_findAction = Named(new QAction(kSearchCaption, this), QStringLiteral("ItemFind"));
    m_findAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m_findAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_findAction, &QAction::triggered, schEdit, [this] {
        schEdit->setFocus(Qt::ShortcutFocusReason);
        schEdit->selectAll();
    });

    // Three short rows fit the article column of the window's default layout; a column made narrower still
    // scrolls the options sideways rather than holding the column wide.
    pnlSchOption = Named(new QScrollArea(column), QStringLiteral("pnlSchOption"));
    pnlSchOption->setFrameShape(QFrame::NoFrame);
    pnlSchOption->setWidgetResizable(true);
    pnlSchOption->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pnlSchOption->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Describe(pnlSchOption, QStringLiteral("搜索选项"));
    pnlSchOption->installEventFilter(this);
    auto* content = new QWidget;
    auto* options = new QVBoxLayout(content);
    options->setContentsMargins(1, 1, 1, 1);
    options->setSpacing(1);
    gpScope = Named(new QGroupBox(content), QStringLiteral("gpScope"));
    Describe(gpScope, QStringLiteral("搜索范围"));
    auto* scope = new QGridLayout(gpScope);
    scope->setContentsMargins(3, 1, 3, 1);
    scope->setHorizontalSpacing(2);
    scope->setVerticalSpacing(0);
    auto* scopeGroup = new QButtonGroup(gpScope);
    auto* rAllDoc = Option<QRadioButton>(gpScope, "rAllDoc", "全部文档");
    rCurrList = Option<QRadioButton>(gpScope, "rCurrList", "文章列表");
    ckAllText = Option<QCheckBox>(gpScope, "ckAllText", "全部文字");
    ckFileName = Option<QCheckBox>(gpScope, "ckFileName", "文档名称");
    ckTag = Option<QCheckBox>(gpScope, "ckTag", "文档标签");
    // Off at start, so that a search answers as it always has until pinyin initials are asked for.
    ckPinyin = Option<QCheckBox>(gpScope, "ckPinyin", "拼音首字母");
    // Where to look on the first row, what to look at on the second, and below it how names and tags are read (a
    // row of its own: beside them the options would not fit the column).
    scope->addWidget(rAllDoc, 0, 0);
    scope->addWidget(rCurrList, 0, 1);
    scope->addWidget(ckAllText, 1, 0);
    scope->addWidget(ckFileName, 1, 1);
    scope->addWidget(ckTag, 1, 2);
    scope->addWidget(ckPinyin, 2, 0, 1, 3);
    scope->setColumnStretch(3, 1);
    scopeGroup->addButton(rAllDoc);
    scopeGroup->addButton(rCurrList);
    rAllDoc->setChecked(true);
    ckFileName->setChecked(true);
    ckTag->setChecked(true);
    auto* info = Named(new QToolButton(gpScope), QStringLiteral("btSearchInfo"));
    info->setIcon(ToolbarImage(QStringLiteral("tbtInfo")));
    info->setAutoRaise(true);
    info->setToolTip(QStringLiteral("搜索说明"));
    Describe(info, QStringLiteral("搜索说明"));
    ConnectReported(info, &QToolButton::clicked, this, [] { ShowInfo(kSearchHelp); });
    scope->addWidget(info, 0, 2, Qt::AlignRight);
    // Tab visits the button where it is drawn, at the end of the first row.
    QWidget::setTabOrder(rCurrList, info);
    options->addWidget(gpScope, 0, Qt::AlignLeft);
    auto* modes = new QHBoxLayout;
    modes->setContentsMargins(2, 0, 0, 0);
    modes->setSpacing(2);
    auto* modeGroup = new QButtonGroup(content);
    auto* rAorB = Option<QRadioButton>(content, "rAorB", "A或B");
    rAandB = Option<QRadioButton>(content, "rAandB", "A与B");
    rAnotB = Option<QRadioButton>(content, "rAnotB", "A非B");
    rWhole = Option<QRadioButton>(content, "rWhole", "完全匹配");
    for (QRadioButton* button : {rAorB, rAandB, rAnotB, rWhole}) {
        modeGroup->addButton(button);
        modes->addWidget(button);
    }
    rWhole->setChecked(true);
    modes->addStretch(1);
    options->addLayout(modes);
    pnlSchOption->setWidget(content);

    m_slices = new QTimer(this);
    m_slices->setSingleShot(true);
    m_slices->setInterval(0);
    connect(m_slices, &QTimer::timeout, this, [this] { walkSlice(); });
}

Search::~Search() {
    // Nothing may be told of the end any more; the threads are only stopped.
    m_cancelled = true;
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (m_cursorSet) {
        QGuiApplication::restoreOverrideCursor();
    }
}

QWidget* Search::box() const {
    return schEdit;
}

QWidget* Search::options() const {
    return pnlSchOption;
}

void Search::clearBox() {
    schEdit->clear();
}

void Search::followColumnWidth(int width) {
    schEdit->setFixedWidth(width + 1);
}

bool Search::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pnlSchOption && event->type() == QEvent::Resize) {
        gpScope->setFixedWidth(std::max(gpScope->minimumSizeHint().width(), pnlSchOption->width() - 2));
        // As high as the rows, and the scroll bar's height more only while the column is too narrow for them.
        const bool scrolls = pnlSchOption->widget()->minimumSizeHint().width() > pnlSchOption->width();
        pnlSchOption->setFixedHeight(pnlSchOption->widget()->sizeHint().height() +
                                     (scrolls ? pnlSchOption->horizontalScrollBar()->sizeHint().height() : 0));
    }
    return QObject::eventFilter(watched, event);
}

bool Search::DocIsInTabs(const QString& path) const {
    if (!m_sources.openDocuments) {
        return false;
    }
    const QStringList open = m_sources.openDocuments();
    return std::any_of(open.cbegin(), open.cend(),
                       [&path](const QString& tab) { return SameIgnoringAsciiCase(tab, path); });
}

void Search::DoNormalSearch() {
    cancel();
    if (!m_bench.hasStore() || m_bench.store().GetRecNumber() == 0) {
        return;
    }
    QString text = schEdit->text();
    m_bench.settings().set(SettingKey::LastTag, kSearchCaption);
    if (text.trimmed().isEmpty()) {
        return;
    }
    if (text.endsWith(u' ')) {
        text.chop(1);
    }
    std::vector<qint64> candidates;
    if (rCurrList->isChecked()) {
        const QList<qint64> listed = m_sources.articlePositions ? m_sources.articlePositions() : QList<qint64>();
        if (listed.isEmpty()) {
            ShowInfo(kEmptyListNotice);
            return;
        }
        candidates.assign(listed.cbegin(), listed.cend());
    } else {
        candidates = AllRecordPositions(m_bench.store());
    }
    SearchRequest request;
    request.keywords = text;
    request.mode = rAandB->isChecked()   ? SearchMode::All
                   : rAnotB->isChecked() ? SearchMode::FirstNotOthers
                   : rWhole->isChecked() ? SearchMode::Whole
                                         : SearchMode::Any;
    request.fields = (ckFileName->isChecked() ? SearchFileName : 0u) | (ckTag->isChecked() ? SearchTags : 0u) |
                     (ckAllText->isChecked() ? SearchText : 0u);
    request.pinyin = ckPinyin->isChecked();
    // A document open in a tab is searched as it is now, unsaved typing included.
    auto openText = [this](const QString& path) -> std::optional<QString> {
        if (!DocIsInTabs(path)) {
            return std::nullopt;
        }
        try {
            return m_bench.word().GetDocTextByName(path);
        } catch (const std::exception&) {
            return QString();
        }
    };
    m_walk = std::make_unique<SearchWalk>(request, std::move(candidates), openText);
    m_cancelled = false;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    m_cursorSet = true;
    walkSlice();
}

void Search::walkSlice() {
    try {
        QElapsedTimer slice;
        slice.start();
        const TWordMgr& store = m_bench.store();
        while (m_walk->step(store, kSliceRecords) && slice.elapsed() < kSliceMs) {
        }
        if (!m_walk->finished()) {
            m_slices->start();
            return;
        }
    } catch (const std::exception& error) {
        cancel();
        ReportErrorOf(error);
        return;
    }
    if (m_walk->waiting().empty()) {
        finish(m_generation);
        return;
    }
    const quint64 generation = m_generation;
    m_reader = std::thread([this, generation] {
        readTexts();
        QMetaObject::invokeMethod(
            this, [this, generation] { finish(generation); }, Qt::QueuedConnection);
    });
}

// On the search's own thread. Documents without a usable cache file are read and their cache written (the
// built-in reader first; the search's own office only for what that reader cannot read, started on first need
// and ended with the search, on this thread as a private office must be). One that cannot be read at all is
// passed over and the search goes on.
void Search::readTexts() {
    std::vector<TextCandidate>& waiting = m_walk->waiting();
    MatchCachedTexts(waiting, *m_texts, m_cancelled);
    std::unique_ptr<TiWord> word;
    bool noOffice = false;
    for (TextCandidate& candidate : waiting) {
        if (m_cancelled) {
            break;
        }
        if (candidate.text != TextCandidate::Text::Uncached && candidate.text != TextCandidate::Text::Damaged &&
            candidate.text != TextCandidate::Text::Stale) {
            continue;
        }
        candidate.text = TextCandidate::Text::Unreadable;
        if (!QFileInfo::exists(candidate.path)) {
            continue;
        }
        QString text;
        try {
            DocumentText read = ReadDocumentText(candidate.path);
            if (read.ok()) {
                text = std::move(read.text);
            } else {
                // Not a regular file, or not to be opened at all: the office would fare no better, or wait.
                if (noOffice || read.status == TextReadStatus::Unreadable) {
                    continue;
                }
                if (!word) {
                    try {
                        word = std::make_unique<TiWord>(true);
                    } catch (const std::exception&) {
                        noOffice = true;
                        continue;
                    }
                }
                text = DocumentTextForCache(*word, candidate.path, candidate.password);
            }
        } catch (const std::exception&) {
            continue;
        }
        try {
            WriteTextCache(candidate.path, text);
            m_texts->remember(candidate.path, text);
        } catch (const std::exception&) {
            // The text was read; a cache file that cannot be written now is written by a later search.
        }
        candidate.match.feed(text);
        candidate.text = TextCandidate::Text::Read;
    }
    word.reset();
}

void Search::finish(quint64 generation) {
    if (generation != m_generation || !m_walk) {
        return;
    }
    if (m_reader.joinable()) {
        m_reader.join();
    }
    const QString result = m_walk->result();
    end();
    // A search that finds nothing leaves the list as it was.
    if (result.size() > 8) {
        Q_EMIT positionsReady(result, false);
    } else {
        Q_EMIT nothingFound();
    }
    Q_EMIT searchEnded();
}

void Search::cancel() {
    if (!m_walk) {
        return;
    }
    m_cancelled = true;
    if (m_reader.joinable()) {
        m_reader.join();
    }
    end();
    Q_EMIT searchEnded();
}

void Search::end() {
    ++m_generation;
    m_slices->stop();
    m_walk.reset();
    if (m_cursorSet) {
        m_cursorSet = false;
        QGuiApplication::restoreOverrideCursor();
    }
}

} // namespace velmora
