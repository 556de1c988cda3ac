#pragma once

#include <QObject>
#include <QString>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTreeWidget;
class QVBoxLayout;
class QWidget;

namespace velmora {

class Workbench;
struct TWordRec;

// The article list (wzPanel): the documents of the last tag, filter or search, the eight sort keys and the two
// directions, and the count label.
class ArticleList final : public QObject {
    Q_OBJECT

public:
    enum class SortKey { Title, Tags, ReadNum, EditNum, Score, CrDate, ModiDate, AccessDate };

    ArticleList(Workbench& bench, QWidget* parent);

    // The column for the window's layout; `options` goes between the sort bar and the list.
    QWidget* widget() const;
    void placeAbove(QWidget* options);

    void LoadArticleList(const QString& positionList, bool clearSearch);
    void SortArticleList(QAction* keyItem);
    QAction* CheckedSortItem() const;
    void SelectSortItem(const QString& caption);
    QString ArticleSortKey(SortKey key, const TWordRec& rec, const QString& fullPath, const QString& articleText);
    // Empties the list without touching the count label, which keeps counting the last list shown.
    void clearArticles();
    // The count label says that a search found nothing ("搜索 0条 "); the list shown stays.
    void showNothingFound();
    // The first article of that record position gets the caption, or leaves the list.
    void RenameArticleNode(qint64 position, const QString& caption);
    void RemoveArticleNode(qint64 position);
    // An imported document at the end of the list, unsorted, as the import lists them.
    void appendArticle(qint64 position, const QString& caption);
    // Each article shows its document's full path as its tip, read again from the library (after a move).
    void showArticlePaths();
    QWidget* view() const;
    // The record positions of the listed articles in list order, all or only the selected ones.
    QList<qint64> articlePositions(bool selectedOnly) const;

    void loadSaved();
    void saveList();

Q_SIGNALS:
    void searchCleared();
    // A document of the list is to be opened (a double click without Ctrl, or Enter), by its record position.
    void articleActivated(qint64 position);
    void widthChanged(int width);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSortMenu();
    void ItemTitleClick(QAction* keyItem);
    void ItemSortHighClick(QAction* directionItem);
    void sortEditLeftButtonClick();
    void sortEditRightButtonClick();
    void showArticleCount();
    void fillArticles(const QList<QStringList>& rows);
    static SortKey keyOf(const QAction* keyItem);

    Workbench& m_bench;
    QWidget* wzPanel = nullptr;
    QVBoxLayout* m_layout = nullptr;
    QLineEdit* sortEdit = nullptr;
    QAction* sortEditLeftButton = nullptr;
    QAction* sortEditRightButton = nullptr;
    QLabel* wzNumLabel = nullptr;
    QTreeWidget* wzTreeView = nullptr;
    QMenu* pmSort = nullptr;
    QList<QAction*> sortKeyItems;
    QAction* ItemSortHigh = nullptr;
    QAction* ItemSortLow = nullptr;
    bool m_clickOpens = false;
    bool m_secondClick = false;
};

} // namespace velmora
