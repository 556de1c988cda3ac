#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QScrollArea;
class QTimer;
class QWidget;

namespace velmora {

class SearchTexts;
class SearchWalk;
class Workbench;

// Search: the search box of the toolbar (schEdit) and its options above the article list (pnlSchOption).
//
// A search walks the names and tags of its candidates on the window's thread in short slices, then reads the
// whole texts it still needs on threads of its own, so the window stays responsive. A new search, a click
// that loads another list and closing the window cancel a running one first (cancel()).
class Search final : public QObject {
    Q_OBJECT

public:
    // What the search reads from the other areas, handed in by the main window.
    struct Sources {
        // The record positions of the article list, in its order.
        std::function<QList<qint64>()> articlePositions;
        // The full paths of the documents open in tabs.
        std::function<QStringList()> openDocuments;
    };

    Search(Workbench& bench, QWidget* toolbar, QWidget* column);
    ~Search() override;

    QWidget* box() const;
    QWidget* options() const;
    // Ctrl+F: the focus goes to the search box.
    QAction* findAction() const { return m_findAction; }
    void setSources(Sources sources) { m_sources = std::move(sources); }

    void clearBox();
    // The box is as wide as the article column below it.
    void followColumnWidth(int width);

    void DoNormalSearch();
    bool DocIsInTabs(const QString& path) const;
    // Stops a running search and waits until its threads have ended; it shows no result.
    void cancel();
    bool running() const { return m_walk != nullptr; }

Q_SIGNALS:
    void positionsReady(const QString& positionList, bool clearSearch);
    // A search ended, with a result or without one, or was cancelled.
    void searchEnded();
    // The search ended having found nothing: the list stays as it was, and the user is to be told.
    void nothingFound();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void walkSlice();
    void readTexts();
    void finish(quint64 generation);
    void end();

    Workbench& m_bench;
    Sources m_sources;
    QLineEdit* schEdit = nullptr;
    QScrollArea* pnlSchOption = nullptr;
    QGroupBox* gpScope = nullptr;
    QRadioButton* rCurrList = nullptr;
    QCheckBox* ckAllText = nullptr;
    QCheckBox* ckFileName = nullptr;
    QCheckBox* ckTag = nullptr;
    QCheckBox* ckPinyin = nullptr;
    QRadioButton* rAandB = nullptr;
    QRadioButton* rAnotB = nullptr;
    QRadioButton* rWhole = nullptr;
    QAction* m_findAction = nullptr;

    std::unique_ptr<SearchTexts> m_texts;
    std::unique_ptr<SearchWalk> m_walk;
    QTimer* m_slices = nullptr;
    std::thread m_reader;
    std::atomic<bool> m_cancelled{false};
    quint64 m_generation = 0;
    bool m_cursorSet = false;
};

} // namespace velmora
