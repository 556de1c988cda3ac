#pragma once

#include "workbench/core/tagstrip.h"

#include <QObject>
#include <QStringList>

#include <array>

class QLineEdit;
class QRect;
class QToolButton;
class QWidget;

namespace velmora {

class Workbench;

// The tags panel (tagPanel) above the document tabs: the score stars (btGroup1–5), the password and tags edits
// of the document in the active tab, the button that stores them, and the toolbar's tags button.
class TagsPanel final : public QObject, public TagStrip {
    Q_OBJECT

public:
    // The record positions of a tab without a record of its own.
    static constexpr int kNewDocument = -1;
    static constexpr int kHelpDocument = -811;

    TagsPanel(Workbench& bench, QWidget* toolbar, QWidget* area);

    QWidget* panel() const;
    QWidget* toolButton() const;

    QString GetCurrDocTags(int ipos, const QString& tags, bool rd) override;
    void StoreTypedTags(int ipos) override;
    QString GetCurrDocPSW(int ipos) override;
    void SetPSToDoc(const QString& docName, const QString& psw) override;
    void ClearTagPanel() override;
    void LoadTagPanel(int iPos) override;

    // The toolbar's tags button and the menu's "文档标签": show or hide the strip.
    void tbtTagClick();
    void FitTagEdit();
    // Shows the strip the way its button does, when it is hidden.
    void showStrip();
    // A common tag clicked: it joins the tag edit's text after one space.
    void addCommonTag(const QString& tag);
    // A workbook has no tags, password or score: the strip goes while one is opened.
    void hideStrip();

Q_SIGNALS:
    // The tags of a text given to a document; the tag tree adds those it does not know.
    void tagsAdded(const QStringList& tags);
    // The strip met a new document that must be saved into the library first.
    void saveAsRequested();
    // The strip was shown or hidden while tabs are open: the close area over the tabs follows it.
    void closeAreaWanted();
    // The quick-tags popup is to be shown under (or hidden from) the tag edit, given in global coordinates.
    void commonTagsWanted(const QRect& tagEdit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btGroupButtonClicked(int index);
    void btSaveTagScorePSClick();
    void btAddTagClick();
    void tagEditEnter();
    // Lights the first `score` stars and no others.
    void showScore(int score);
    // GetCurrDocTags without writing the library files, for a caller that writes them itself.
    QString normaliseAndStoreTags(int ipos, const QString& tags, bool rd);
    bool activeTabIsWorkbook() const;

    Workbench& m_bench;
    bool m_tagEditEntered = false;
    int m_score = 0;
    QWidget* tagPanel = nullptr;
    QToolButton* tbtTag = nullptr;
    std::array<QToolButton*, 5> btGroup{};
    QLineEdit* psEdit = nullptr;
    QToolButton* btPSView = nullptr;
    QToolButton* btSaveTagScorePS = nullptr;
    QToolButton* btAddTag = nullptr;
    QLineEdit* tagEdit = nullptr;
};

} // namespace velmora
