// The article list: loading position lists, the eight sort keys and the two directions.

#include "common/datetime.h"
#include "common/fileinfo.h"
#include "common/gridsort.h"
#include "common/pinyin.h"
#include "imagelist.h"
#include "store/pathfold.h"
#include "tmform.h"
#include "treeview.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>

#include <cmath>

namespace velmora {

namespace {

constexpr int kArticleImage = 2;
constexpr int kAscendingPicture = 24;
constexpr int kDescendingPicture = 23;

enum Column { KeyColumn = 0, TextColumn = 1, PositionColumn = 2 };

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

} // namespace

bool TmForm::isNumberKey(QAction* keyItem) {
    const QString name = keyItem != nullptr ? keyItem->objectName() : QString();
    return name != QLatin1String("ItemTitle") && name != QLatin1String("ItemTags");
}

QAction* TmForm::CheckedSortItem() const {
    for (QAction* item : sortKeyItems) {
        if (item->isChecked()) {
            return item;
        }
    }
    return nullptr;
}

bool TmForm::sortAscendingChecked() const {
    return ItemSortHigh->isChecked();
}

QString TmForm::ArticleSortKey(QAction* keyItem, const QString& fullPath, const QString& text) {
    const QString name = keyItem != nullptr ? keyItem->objectName() : QStringLiteral("ItemTitle");
    const TWordRec& rec = wdMgr->WordRec();
    if (name == QLatin1String("ItemTags")) {
        return PinyinInitials(wdMgr->StringAt(rec.wdTagsPos));
    }
    if (name == QLatin1String("ItemReadNum")) {
        return QString::number(rec.wdReadTimes);
    }
    if (name == QLatin1String("ItemEditNum")) {
        return QString::number(rec.wdEditTimes);
    }
    if (name == QLatin1String("ItemScore")) {
        return QString::number(rec.wdScore);
    }
    if (name == QLatin1String("ItemCrDate")) {
        return dateKey(rec.wdCreateTime);
    }
    if (name == QLatin1String("ItemModiDate")) {
        return dateKey(GetFileDate(fullPath, FileDateKind::Written));
    }
    if (name == QLatin1String("ItemAccessDate")) {
        return dateKey(GetFileDate(fullPath, FileDateKind::Accessed));
    }
    return PinyinInitials(text);
}

void TmForm::fillArticles(const QList<QStringList>& rows) {
    StringGrid grid;
    grid.rows = rows;
    QAction* key = CheckedSortItem();
    const bool numeric = isNumberKey(key) && key != nullptr;
    // Number keys run the other way: "升序" puts the largest count, the best score, the latest date first.
    const bool ascending = numeric ? !sortAscendingChecked() : sortAscendingChecked();
    SortGrid(grid, KeyColumn, ascending, numeric);

    QList<QTreeWidgetItem*> items;
    items.reserve(grid.rows.size());
    for (const QStringList& row : std::as_const(grid.rows)) {
        // A blank title is skipped, not taken as the end: no document after it may be dropped.
        if (row.at(TextColumn).trimmed().isEmpty()) {
            continue;
        }
        const qint64 pos = row.at(PositionColumn).toLongLong();
        items.append(MakeTreeItem(row.at(TextColumn), kArticleImage, qint32(pos)));
        wdMgr->ReadDataHead(pos);
    }
    wzTreeView->setUpdatesEnabled(false);
    wzTreeView->clear();
    wzTreeView->addTopLevelItems(items);
    wzTreeView->setUpdatesEnabled(true);
}

void TmForm::LoadArticleList(const QString& positionList, bool clearSearch) {
    QAction* key = CheckedSortItem();
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
        wdMgr->ReadDataHead(pos);
        rows.append({ArticleSortKey(key, path, text), text, QString::number(pos)});
    }
    fillArticles(rows);
    showArticleCount();
    if (clearSearch) {
        schEdit->clear();
    }
}

void TmForm::SortArticleList(QAction* keyItem) {
    QList<QStringList> rows;
    rows.reserve(wzTreeView->topLevelItemCount());
    for (int i = 0; i < wzTreeView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* article = wzTreeView->topLevelItem(i);
        const qint64 pos = ItemState(article);
        wdMgr->ReadDataHead(pos);
        const QString path = wdMgr->ReadAStrItem(pos, wdiFullName, false);
        rows.append({ArticleSortKey(keyItem, path, article->text(0)), article->text(0), QString::number(pos)});
    }
    fillArticles(rows);
}

void TmForm::showArticleCount() {
    wzNumLabel->setText(
        QStringLiteral("%1 %2条 ").arg(setting(QStringLiteral("LastTag"))).arg(wzTreeView->topLevelItemCount()));
    wzNumLabel->show();
}

void TmForm::SelectSortItem(const QString& caption) {
    for (QAction* item : sortKeyItems) {
        item->setChecked(SameIgnoringAsciiCase(item->text(), caption));
    }
    sortEdit->setText(QStringLiteral("按 %1 排序").arg(caption));
}

void TmForm::ItemTitleClick(QAction* keyItem) {
    SelectSortItem(keyItem->text());
    setSetting(QStringLiteral("SortType"), keyItem->text());
    SaveSettings();
    if (wzTreeView->topLevelItemCount() > 0) {
        SortArticleList(keyItem);
    }
}

void TmForm::ItemSortHighClick(QAction* directionItem) {
    directionItem->setChecked(true);
    const int picture = directionItem == ItemSortHigh ? kAscendingPicture : kDescendingPicture;
    sortEditLeftButton->setIcon(AppImage(picture));
    sortEditLeftButton->setData(picture);
}

void TmForm::sortEditLeftButtonClick() {
    ItemSortHighClick(sortEditLeftButton->data().toInt() == kDescendingPicture ? ItemSortHigh : ItemSortLow);
    SortArticleList(CheckedSortItem());
}

void TmForm::sortEditRightButtonClick() {
    pmSort->popup(QCursor::pos());
}

} // namespace velmora
