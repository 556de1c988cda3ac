#include "articlelist.h"

#include "common/datetime.h"
#include "common/fileinfo.h"
#include "common/gridsort.h"
#include "common/pinyin.h"
#include "store/pathfold.h"
#include "store/wordmgr.h"
#include "treeview.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/imagelist.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace velmora {

namespace {

constexpr int kArticleImage = 2;
constexpr int kAscendingPicture = 24;
constexpr int kDescendingPicture = 23;
constexpr int kSortMenuPicture = 7;

enum Column { KeyColumn = 0, TextColumn = 1, PositionColumn = 2, PathColumn = 3 };

// The file name without its folder and without its extension.
QString articleText(const QString& fullPath) {
    QString name = fullPath.mid(fullPath.lastIndexOf(QDir::separator()) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) {
        name.truncate(dot);
    }
    return name;
}

// Dates sort as the fixed-width number yyyyMMddHHmmss, chronological under every locale; a date that cannot be
// had (the file is gone) sorts as the oldest.
QString dateKey(std::optional<double> days) {
    if (!days || !std::isfinite(*days)) {
        return QStringLiteral("0");
    }
    const QDateTime time = DaysToDateTime(*days);
    return time.isValid() ? time.toString(QStringLiteral("yyyyMMddHHmmss")) : QStringLiteral("0");
}

QString sortCaption(const QString& key) {
    return QStringLiteral("按 %1 排序").arg(key);
}

} // namespace

ArticleList::ArticleList(Workbench& bench, QWidget* parent) : QObject(parent), m_bench(bench) {
    setObjectName(QStringLiteral("articleList"));
    wzPanel = Named(new QWidget(parent), QStringLiteral("wzPanel"));
    Describe(wzPanel, QStringLiteral("文章列表"));
    m_layout = new QVBoxLayout(wzPanel);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    buildSortMenu();

    auto* bar = new QWidget(wzPanel);
    bar->setFixedHeight(24);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(2, 0, 4, 0);
    barLayout->setSpacing(4);
    sortEdit = Named(new QLineEdit(bar), QStringLiteral("sortEdit"));
    sortEdit->setReadOnly(true);
    Describe(sortEdit, QStringLiteral("排序方式"));
    sortEditLeftButton = sortEdit->addAction(AppImage(kAscendingPicture), QLineEdit::LeadingPosition);
    sortEditLeftButton->setObjectName(QStringLiteral("sortEditLeftButton"));
    sortEditLeftButton->setText(QStringLiteral("升序/降序排列"));
    sortEditLeftButton->setToolTip(sortEditLeftButton->text());
    sortEditLeftButton->setData(kAscendingPicture);
    sortEditRightButton = sortEdit->addAction(AppImage(kSortMenuPicture), QLineEdit::TrailingPosition);
    sortEditRightButton->setObjectName(QStringLiteral("sortEditRightButton"));
    sortEditRightButton->setText(QStringLiteral("排序方式"));
    sortEditRightButton->setToolTip(sortEditRightButton->text());
    ConnectReported(sortEditLeftButton, &QAction::triggered, this, [this] { sortEditLeftButtonClick(); });
    ConnectReported(sortEditRightButton, &QAction::triggered, this, [this] { sortEditRightButtonClick(); });
    // Wide enough for the longest caption beside both buttons, so that no key is ever shown clipped.
    int widest = 0;
    for (const QAction* item : std::as_const(sortKeyItems)) {
        widest = std::max(widest, sortEdit->fontMetrics().horizontalAdvance(sortCaption(item->text())));
    }
    const int buttons = 2 * (sortEdit->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, sortEdit) + 12);
    sortEdit->setFixedWidth(widest + buttons + 12);
    wzNumLabel = Named(new QLabel(QStringLiteral("0条"), bar), QStringLiteral("wzNumLabel"));
    Describe(wzNumLabel, QStringLiteral("文档数"));
    wzNumLabel->hide();
    barLayout->addWidget(sortEdit);
    barLayout->addStretch(1);
    barLayout->addWidget(wzNumLabel, 0, Qt::AlignRight | Qt::AlignVCenter);
    m_layout->addWidget(bar);

    wzTreeView = Named(new QTreeWidget(wzPanel), QStringLiteral("wzTreeView"));
    Describe(wzTreeView, QStringLiteral("文章列表"));
    ConfigureTree(wzTreeView, QColor(Qt::white));
    wzTreeView->setRootIsDecorated(false);
    wzTreeView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    wzTreeView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_layout->addWidget(wzTreeView, 1);
    // A click opens; the view's own activation is not used, as it waits for a double click here and also fires
    // on a Ctrl+double click, whose clicks pick articles for dragging onto a folder.
    connect(wzTreeView, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* article) {
        if (m_clickOpens) {
            Q_EMIT articleActivated(ItemState(article));
        }
    });
    OnEnterKey(wzTreeView, [this](QTreeWidgetItem* article) { Q_EMIT articleActivated(ItemState(article)); });
    wzPanel->installEventFilter(this);
    wzTreeView->viewport()->installEventFilter(this);
}

void ArticleList::buildSortMenu() {
    pmSort = Named(new QMenu(wzPanel), QStringLiteral("pmSort"));
    const QList<std::pair<const char*, const char*>> keyItems{
        {"ItemTitle", "文章标题"},    {"ItemTags", "标签"},           {"ItemReadNum", "阅读次数"},
        {"ItemEditNum", "编辑次数"},  {"ItemScore", "评价(星级)"},    {"ItemCrDate", "创建日期"},
        {"ItemModiDate", "修改日期"}, {"ItemAccessDate", "访问日期"},
    };
    int key = 0;
    for (const auto& [name, caption] : keyItems) {
        QAction* item = NamedAction(pmSort, QString::fromLatin1(name), QString::fromUtf8(caption));
        item->setCheckable(true);
        item->setData(key++);
        ConnectReported(item, &QAction::triggered, this, [this, item] {
            // Key items do not check themselves: the program checks the chosen one.
            item->setChecked(!item->isChecked());
            ItemTitleClick(item);
        });
        sortKeyItems.append(item);
    }
    sortKeyItems.first()->setChecked(true);
    pmSort->addSeparator();
    auto* direction = new QActionGroup(pmSort);
    ItemSortHigh = NamedAction(pmSort, QStringLiteral("ItemSortHigh"), QStringLiteral("升序"));
    ItemSortLow = NamedAction(pmSort, QStringLiteral("ItemSortLow"), QStringLiteral("降序"));
    for (QAction* item : {ItemSortHigh, ItemSortLow}) {
        item->setCheckable(true);
        direction->addAction(item);
        ConnectReported(item, &QAction::triggered, this, [this, item] { ItemSortHighClick(item); });
    }
    ItemSortHigh->setChecked(true);
}

QWidget* ArticleList::widget() const {
    return wzPanel;
}

QWidget* ArticleList::view() const {
    return wzTreeView;
}

void ArticleList::RenameArticleNode(qint64 position, const QString& caption) {
    for (int i = 0; i < wzTreeView->topLevelItemCount(); ++i) {
        if (ItemState(wzTreeView->topLevelItem(i)) == position) {
            wzTreeView->topLevelItem(i)->setText(0, caption);
            wzTreeView->topLevelItem(i)->setToolTip(
                0, QDir::toNativeSeparators(m_bench.store().GetDocNameByPos(position)));
            return;
        }
    }
}

void ArticleList::RemoveArticleNode(qint64 position) {
    for (int i = 0; i < wzTreeView->topLevelItemCount(); ++i) {
        if (ItemState(wzTreeView->topLevelItem(i)) == position) {
            delete wzTreeView->takeTopLevelItem(i);
            return;
        }
    }
}

QList<qint64> ArticleList::articlePositions(bool selectedOnly) const {
    QList<qint64> positions;
    for (int i = 0; i < wzTreeView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* article = wzTreeView->topLevelItem(i);
        if (!selectedOnly || article->isSelected()) {
            positions.append(ItemState(article));
        }
    }
    return positions;
}

void ArticleList::placeAbove(QWidget* options) {
    m_layout->insertWidget(1, options);
}

bool ArticleList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == wzPanel && event->type() == QEvent::Resize) {
        Q_EMIT widthChanged(wzPanel->width());
    }
    // The view tells of a click without its keys; they are taken here, before it does. A Ctrl or Shift click picks
    // articles, and the second click of a double click would open the same article again.
    if (watched == wzTreeView->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        m_secondClick = true;
    }
    if (watched == wzTreeView->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_clickOpens = mouse->button() == Qt::LeftButton && !m_secondClick &&
                       (mouse->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) == 0;
        m_secondClick = false;
    }
    // A Ctrl+click switches the list to dragging, so that the articles picked by Ctrl+clicks can be dragged onto
    // a folder; a plain click switches it back. Switched at the release, so the press that starts a drag of the
    // picked articles still finds dragging on.
    if (watched == wzTreeView->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const bool ctrl = static_cast<QMouseEvent*>(event)->modifiers().testFlag(Qt::ControlModifier);
        wzTreeView->setDragEnabled(ctrl);
        wzTreeView->setDragDropMode(ctrl ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
    }
    return QObject::eventFilter(watched, event);
}

ArticleList::SortKey ArticleList::keyOf(const QAction* keyItem) {
    return keyItem != nullptr ? SortKey(keyItem->data().toInt()) : SortKey::Title;
}

QAction* ArticleList::CheckedSortItem() const {
    for (QAction* item : sortKeyItems) {
        if (item->isChecked()) {
            return item;
        }
    }
    return nullptr;
}

QString ArticleList::ArticleSortKey(SortKey key, const TWordRec& rec, const QString& fullPath, const QString& text) {
    switch (key) {
    case SortKey::Title:
        break;
    case SortKey::Tags:
        return PinyinInitials(m_bench.store().StringAt(rec.wdTagsPos));
    case SortKey::ReadNum:
        return QString::number(rec.wdReadTimes);
    case SortKey::EditNum:
        return QString::number(rec.wdEditTimes);
    case SortKey::Score:
        return QString::number(rec.wdScore);
    case SortKey::CrDate:
        return dateKey(rec.wdCreateTime);
    case SortKey::ModiDate:
        return dateKey(GetFileDate(fullPath, FileDateKind::Written));
    case SortKey::AccessDate:
        return dateKey(GetFileDate(fullPath, FileDateKind::Accessed));
    }
    return PinyinInitials(text);
}

void ArticleList::fillArticles(const QList<QStringList>& rows) {
    StringGrid grid;
    grid.rows = rows;
    QAction* keyItem = CheckedSortItem();
    const SortKey key = keyOf(keyItem);
    const bool numeric = keyItem != nullptr && key != SortKey::Title && key != SortKey::Tags;
    // Number keys run the other way: "升序" puts the largest count, the best score, the latest date first.
    const bool ascending = numeric ? !ItemSortHigh->isChecked() : ItemSortHigh->isChecked();
    SortGrid(grid, KeyColumn, ascending, numeric);

    TWordMgr& store = m_bench.store();
    QList<QTreeWidgetItem*> items;
    items.reserve(grid.rows.size());
    for (const QStringList& row : std::as_const(grid.rows)) {
        // A blank title is skipped, not taken as the end: no document after it may be dropped.
        if (row.at(TextColumn).trimmed().isEmpty()) {
            continue;
        }
        const qint64 pos = row.at(PositionColumn).toLongLong();
        QTreeWidgetItem* article = MakeTreeItem(row.at(TextColumn), kArticleImage, qint32(pos));
        article->setToolTip(0, QDir::toNativeSeparators(row.at(PathColumn)));
        items.append(article);
        store.ReadDataHead(pos);
    }
    wzTreeView->setUpdatesEnabled(false);
    wzTreeView->clear();
    wzTreeView->addTopLevelItems(items);
    wzTreeView->setUpdatesEnabled(true);
}

void ArticleList::LoadArticleList(const QString& positionList, bool clearSearch) {
    const SortKey key = keyOf(CheckedSortItem());
    TWordMgr& store = m_bench.store();
    QList<QStringList> rows;
    const QStringList lines = positionList.split(QStringLiteral("\r\n"));
    rows.reserve(lines.size());
    for (const QString& line : lines) {
        if (line.size() < 8) {
            continue;
        }
        const qsizetype bar = line.indexOf(u'|');
        bool ok = false;
        const qint64 pos = line.left(bar).toLongLong(&ok);
        if (bar < 0 || !ok) {
            continue;
        }
        const QString path = line.mid(bar + 1);
        const QString text = articleText(path);
        store.ReadDataHead(pos);
        rows.append({ArticleSortKey(key, store.WordRec(), path, text), text, QString::number(pos), path});
    }
    fillArticles(rows);
    showArticleCount();
    if (clearSearch) {
        Q_EMIT searchCleared();
    }
}

void ArticleList::SortArticleList(QAction* keyItem) {
    const SortKey key = keyOf(keyItem);
    TWordMgr& store = m_bench.store();
    QList<QStringList> rows;
    rows.reserve(wzTreeView->topLevelItemCount());
    for (int i = 0; i < wzTreeView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* article = wzTreeView->topLevelItem(i);
        const qint64 pos = ItemState(article);
        store.ReadDataHead(pos);
        const QString path = store.ReadAStrItem(pos, wdiFullName, false);
        rows.append({ArticleSortKey(key, store.WordRec(), path, article->text(0)), article->text(0),
                     QString::number(pos), path});
    }
    fillArticles(rows);
}

void ArticleList::appendArticle(qint64 position, const QString& caption) {
    QTreeWidgetItem* article = MakeTreeItem(caption, kArticleImage, qint32(position));
    article->setToolTip(0, QDir::toNativeSeparators(m_bench.store().GetDocNameByPos(position)));
    wzTreeView->addTopLevelItem(article);
}

void ArticleList::showArticlePaths() {
    TWordMgr& store = m_bench.store();
    for (int i = 0; i < wzTreeView->topLevelItemCount(); ++i) {
        QTreeWidgetItem* article = wzTreeView->topLevelItem(i);
        const qint64 pos = ItemState(article);
        // A saved list may name records a replaced library no longer has.
        const bool known = store.IsRecordPosition(pos);
        article->setToolTip(0, known ? QDir::toNativeSeparators(store.GetDocNameByPos(pos)) : QString());
    }
}

void ArticleList::clearArticles() {
    wzTreeView->clear();
}

void ArticleList::showArticleCount() {
    wzNumLabel->setText(QStringLiteral("%1 %2条 ")
                            .arg(m_bench.settings().value(SettingKey::LastTag))
                            .arg(wzTreeView->topLevelItemCount()));
    wzNumLabel->show();
    m_bench.setShownListCaption(wzNumLabel->text());
}

void ArticleList::showNothingFound() {
    // The label is the only sign of a search that found nothing, hidden until the first list was shown.
    wzNumLabel->setText(QStringLiteral("%1 0条 ").arg(m_bench.settings().value(SettingKey::LastTag)));
    wzNumLabel->show();
}

void ArticleList::SelectSortItem(const QString& caption) {
    for (QAction* item : std::as_const(sortKeyItems)) {
        item->setChecked(SameIgnoringAsciiCase(item->text(), caption));
    }
    sortEdit->setText(sortCaption(caption));
}

void ArticleList::ItemTitleClick(QAction* keyItem) {
    SelectSortItem(keyItem->text());
    m_bench.settings().set(SettingKey::SortType, keyItem->text());
    m_bench.saveSettings();
    if (wzTreeView->topLevelItemCount() > 0) {
        SortArticleList(keyItem);
    }
}

void ArticleList::ItemSortHighClick(QAction* directionItem) {
    directionItem->setChecked(true);
    const int picture = directionItem == ItemSortHigh ? kAscendingPicture : kDescendingPicture;
    sortEditLeftButton->setIcon(AppImage(picture));
    sortEditLeftButton->setData(picture);
}

void ArticleList::sortEditLeftButtonClick() {
    ItemSortHighClick(sortEditLeftButton->data().toInt() == kDescendingPicture ? ItemSortHigh : ItemSortLow);
    SortArticleList(CheckedSortItem());
}

void ArticleList::sortEditRightButtonClick() {
    pmSort->popup(QCursor::pos());
}

void ArticleList::loadSaved() {
    if (LoadTVItems(wzTreeView, m_bench.dataFile(QStringLiteral("wzTVItems.dat")))) {
        showArticlePaths();
        showArticleCount();
    }
}

void ArticleList::saveList() {
    if (wzTreeView->topLevelItemCount() > 0) {
        SaveTVItems(wzTreeView, m_bench.dataFile(QStringLiteral("wzTVItems.dat")));
    }
}

} // namespace velmora
