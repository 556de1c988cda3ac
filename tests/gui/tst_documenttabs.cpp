#include "bynamelist.h"
#include "libraryfiles.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/core/tagstrip.h"
#include "workbench/tabs/documentpage.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tabs/tagspanel.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>
#include <optional>

using namespace velmora;
using namespace velmora::test;

namespace {

// The strip as the tabs see it: what it was told, and the password a user typed into it.
class StripDouble final : public TagStrip {
public:
    QStringList calls;
    QString typedPassword;
    QString GetCurrDocTags(int, const QString& tags, bool) override { return tags; }
    void StoreTypedTags(int) override {}
    QString GetCurrDocPSW(int ipos) override {
        calls.append(QStringLiteral("psw %1").arg(ipos));
        return typedPassword;
    }
    void SetPSToDoc(const QString& docName, const QString& psw) override {
        calls.append(QStringLiteral("set %1 %2").arg(docName, psw));
    }
    void ClearTagPanel() override { calls.append(QStringLiteral("clear")); }
    void LoadTagPanel(int iPos) override { calls.append(QStringLiteral("load %1").arg(iPos)); }
};

} // namespace

class TestDocumentTabs : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<OfficeDouble> m_office;
    std::unique_ptr<Workbench> m_bench;
    std::unique_ptr<QWidget> m_host;
    DocumentTabs* m_tabs = nullptr;
    StripDouble m_strip;
    QList<qint64> m_positions;

    WordDouble& word() { return m_office->word(); }
    TWordMgr& store() { return m_bench->store(); }
    // Calls without the lookups of the open documents, which only find the tab's document.
    QStringList calls() {
        QStringList kept;
        for (const QString& line : word().log()) {
            if (!line.startsWith(QLatin1String("Documents.Count")) && !line.contains(QLatin1String(").FullName"))) {
                kept.append(QString(line).replace(DocPath(QString()), QStringLiteral("D/")));
            }
        }
        word().clearLog();
        return kept;
    }
    void openFirst() {
        m_tabs->OpenADocByPos(m_positions.at(0));
        m_tabs->Timer1Timer();
        word().clearLog();
        m_strip.calls.clear();
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        InstallPrompts(m_prompts.get());
        m_office = std::make_unique<OfficeDouble>();
        m_office->startWord();
        // On the real disk too, as the office's files are: a library document whose file is gone is offered to be
        // located.
        m_positions = WriteLibrary({{.name = "a.docx", .tags = "t", .score = 2, .password = "pw"},
                                    {.name = "b.docx", .tags = "t", .score = 2}});
        for (const QString& name : {QStringLiteral("a.docx"), QStringLiteral("b.docx")}) {
            m_office->disk.insert(DocPath(name), DiskFile{QStringLiteral("text of %1\r").arg(name)});
        }
        m_office->passwords.insert(DocPath(QStringLiteral("a.docx")), QStringLiteral("pw"));
        m_bench = std::make_unique<Workbench>();
        m_bench->open();
        m_host = std::make_unique<QWidget>();
        auto* toolbar = new QToolBar(m_host.get());
        auto* area = new QWidget(m_host.get());
        new QVBoxLayout(area);
        m_tabs = new DocumentTabs(*m_bench, toolbar, area);
        area->layout()->addWidget(m_tabs->pager());
        m_tabs->setTagStrip(&m_strip);
        m_strip = StripDouble();
    }

    void cleanup() {
        m_host.reset();
        m_bench.reset();
        m_office.reset();
        InstallPrompts(nullptr);
        QVERIFY2(m_prompts->yesNoAnswers.isEmpty() && m_prompts->saveFileAnswers.isEmpty(), "unused answers");
        m_prompts.reset();
        m_appData.reset();
    }

    void open_withStoredPassword_countsAndPublishes() {
        m_tabs->OpenADocByPos(m_positions.at(0));
        QCOMPARE(calls(),
                 (QStringList{"Visible", // hidden already: nothing to hide before the opening
                              "Documents.Open(&\"D/a.docx\", &missing, &bool:false, &missing, &\"pw\", "
                              "&missing, &missing, &missing, &missing, &missing)",
                              // the office's own commands for the document come to the window
                              "Documents.Item(int:1).TakeOverCommands(obj)", "Visible", "Visible := bool:true"}));
        QCOMPARE(m_tabs->tabCount(), 1);
        QCOMPARE(m_tabs->activeTab()->position, m_positions.at(0));
        QCOMPARE(m_tabs->activeTab()->caption, QStringLiteral("a"));
        QCOMPARE(m_bench->activeTab().position, int(m_positions.at(0)));
        QCOMPARE(store().ReadADigitItem(m_positions.at(0), wdiReadTimes, true), quint16(1));
        // Opening it again while open does nothing at all.
        m_tabs->OpenADocByPos(m_positions.at(0));
        QCOMPARE(m_tabs->tabCount(), 1);
        QCOMPARE(store().ReadADigitItem(m_positions.at(0), wdiReadTimes, true), quint16(1));
    }

    // A document whose file is gone offers to locate it: the file picked, or a folder searched; the record keeps
    // its tags and counts, and the document opens from its new place.
    void openMissing_offersToLocate_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("told");
        QTest::newRow("the file picked") << int(Answer::Yes) << QStringList{"new/1/c.docx"} << "new/1/c.docx"
                                         << "";
        QTest::newRow("a folder searched") << int(Answer::No) << QStringList{"new/2/c.docx"} << "new/2/c.docx"
                                           << "";
        QTest::newRow("two copies found") << int(Answer::No) << QStringList{"new/1/c.docx", "new/2/c.docx"} << ""
                                          << "info: 找到 2 个可能的文件，无法确定是哪一个，文档未作更改。";
        QTest::newRow("none found") << int(Answer::No) << QStringList{} << ""
                                    << "info: 在这个文件夹中没有找到这个文档。";
        QTest::newRow("not wanted") << int(Answer::Cancel) << QStringList{"new/1/c.docx"} << ""
                                    << "";
    }
    void openMissing_offersToLocate() {
        QFETCH(int, answer);
        QFETCH(QStringList, copies);
        QFETCH(QString, opened);
        QFETCH(QString, told);
        for (const QString& copy : copies) {
            QDir().mkpath(QFileInfo(DocPath(copy)).absolutePath());
            WriteBytes(DocPath(copy), "text of c");
        }
        const qint64 pos = store().ImportAWord(DocPath(QStringLiteral("c.docx")), QStringLiteral("历史"), QString(), 3);
        m_prompts->yesNoCancelAnswers.enqueue(Answer(answer));
        if (answer == int(Answer::Yes)) {
            m_prompts->openFileAnswers.enqueue({DocPath(copies.first())});
        } else if (answer == int(Answer::No)) {
            m_prompts->folderAnswers.enqueue(DocPath(QStringLiteral("new")));
        }
        // Without a cached text one copy is a match by name alone: taken only when ticked in the list.
        QStringList offered;
        if (answer == int(Answer::No) && copies.size() == 1) {
            AnswerByNameList(this, true, &offered);
        }
        QSignalSpy renamed(m_tabs, &DocumentTabs::articleRenamed);
        m_tabs->OpenADocByPos(pos);
        const QString path = opened.isEmpty() ? DocPath(QStringLiteral("c.docx")) : DocPath(opened);
        QCOMPARE(store().GetDocNameByPos(pos), path);
        QCOMPARE(store().ReadAStrItem(pos, wdiTags, true), QStringLiteral("历史"));
        QCOMPARE(store().GetDocScore(pos, true), quint8(3));
        QCOMPARE(m_tabs->tabCount(), opened.isEmpty() ? 0 : 1);
        QCOMPARE(store().ReadADigitItem(pos, wdiReadTimes, true), quint16(opened.isEmpty() ? 0 : 1));
        QCOMPARE(renamed.size(), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty()) {
            QCOMPARE(m_tabs->activeTab()->path, path);
        }
        QCOMPARE(m_prompts->log.filter(QStringLiteral("info: ")), told.isEmpty() ? QStringList() : QStringList{told});
        QCOMPARE(offered.size(), answer == int(Answer::No) ? int(copies.size() == 1) : 0);
    }

    void openFailing_leavesCountersAndReloadsTheActiveTab() {
        openFirst();
        word().failOn(QStringLiteral("Documents.Open"), 1, QStringLiteral("The password is incorrect"));
        QVERIFY_THROWS_EXCEPTION(std::exception, m_tabs->OpenADocByPos(m_positions.at(1)));
        QCOMPARE(m_tabs->tabCount(), 1);
        QCOMPARE(store().ReadADigitItem(m_positions.at(1), wdiReadTimes, true), quint16(0));
        QCOMPARE(m_strip.calls, (QStringList{"clear", QStringLiteral("load %1").arg(m_positions.at(0))}));
        QCOMPARE(calls().last(), QStringLiteral("Visible := bool:true"));
    }

    void closeLibraryDocument_data() {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("savedBefore");
        QTest::addColumn<bool>("cached");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("edits");
        QTest::addColumn<QString>("cache");
        const QStringList unchanged{"ActiveDocument.FullName", "Documents.Item(int:1).Saved",
                                    "Documents.Item(int:1).Close()"};
        QTest::newRow("unchanged, cached") << false << false << true << unchanged << 0 << "old\r\n";
        QTest::newRow("unchanged, no cache")
            << false << false << false
            << QStringList{"ActiveDocument.FullName", "Documents.Item(int:1).Range.Text", "Documents.Item(int:1).Saved",
                           "Documents.Item(int:1).Close()"}
            << 0 << "text of a.docx\r\n";
        QTest::newRow("changed") << true << false << true
                                 << QStringList{"ActiveDocument.FullName", "Documents.Item(int:1).Saved",
                                                "Documents.Item(int:1).Save()", "Documents.Item(int:1).Range.Text",
                                                "Documents.Item(int:1).Close()"}
                                 << 1 << "new\r\n";
        // Saved while open: the cache followed the save, and the opening's edit is counted at its close.
        QTest::newRow("saved during the tab's life")
            << true << true << true
            << QStringList{"ActiveDocument.FullName", "Documents.Item(int:1).Saved", "Documents.Item(int:1).Close()"}
            << 1 << "new\r\n";
    }

    void closeLibraryDocument() {
        QFETCH(bool, changed);
        QFETCH(bool, savedBefore);
        QFETCH(bool, cached);
        const QString path = DocPath(QStringLiteral("a.docx"));
        if (cached) {
            WriteTextCache(path, QStringLiteral("old"));
        }
        openFirst();
        if (changed) {
            word().active->text = QStringLiteral("new\r");
            word().active->saved = false;
        }
        if (savedBefore) {
            m_tabs->tbtSaveClick();
            word().clearLog();
        }
        m_tabs->closeActiveTab();
        QTEST(calls(), "expected");
        QCOMPARE(m_tabs->tabCount(), 0);
        QVERIFY(word().documents.isEmpty());
        QTEST(int(store().ReadADigitItem(m_positions.at(0), wdiEditTimes, true)), "edits");
        QTEST(ReadTextCache(path), "cache");
        QVERIFY(!m_bench->activeTab().open);
    }

    void closeNewDocument_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("shown");
        QTest::newRow("cancel") << int(Answer::Cancel) << QString() << QString() << QString();
        QTest::newRow("don't save") << int(Answer::No) << QString() << QString() << QString();
        QTest::newRow("save, picker cancelled") << int(Answer::Yes) << QString() << QString() << QString();
        QTest::newRow("already in the library") << int(Answer::Yes) << "a.docx" << QString() << "info: 存在同名文件";
        QTest::newRow("saved, extension added, case kept") << int(Answer::Yes) << "Plan"
                                                           << "Plan.docx" << QString();
    }

    // Save, don't save or cancel: a new document is saved, thrown away, or kept with its text; thrown away, it no
    // longer keeps another new document from being made.
    void closeNewDocument() {
        QFETCH(int, answer);
        QFETCH(QString, picked);
        QFETCH(QString, saved);
        m_tabs->tbtCreateClick();
        QCOMPARE(m_tabs->activeTab()->caption, QStringLiteral("文档1"));
        word().active->text = QStringLiteral("新的笔记\r");
        word().active->saved = false;
        m_prompts->log.clear();
        m_prompts->yesNoCancelAnswers.enqueue(Answer(answer));
        if (Answer(answer) == Answer::Yes) {
            m_prompts->saveFileAnswers.enqueue(picked.isEmpty() ? QString() : DocPath(picked));
        }
        m_tabs->closeActiveTab();
        QCOMPARE(m_prompts->log.value(0), QStringLiteral("yesnocancel: 要保存 文档1 吗？"));
        QStringList shown = m_prompts->log.filter(QStringLiteral("info:"));
        QTEST(shown.value(0), "shown");
        if (Answer(answer) == Answer::No) {
            QCOMPARE(m_tabs->tabCount(), 0);
            QVERIFY(word().documents.isEmpty());
            QCOMPARE(store().GetRecNumber(), 2);
            m_tabs->tbtCreateClick();
            QCOMPARE(m_tabs->tabCount(), 1);
            QCOMPARE(m_tabs->activeTab()->caption, QStringLiteral("文档2"));
            return;
        }
        if (saved.isEmpty()) {
            QCOMPARE(m_tabs->tabCount(), 1);
            QCOMPARE(word().documents.size(), 1);
            QCOMPARE(word().active->text, QStringLiteral("新的笔记\r"));
            QCOMPARE(store().GetRecNumber(), 2);
            return;
        }
        QCOMPARE(m_tabs->tabCount(), 0);
        QVERIFY(word().documents.isEmpty());
        QVERIFY(m_office->disk.contains(DocPath(saved)));
        QCOMPARE(store().GetRecNumber(), 3);
        QVERIFY(store().DocInBase(DocPath(saved)));
        QCOMPARE(ReadTextCache(DocPath(saved)), QStringLiteral("新的笔记\r\n"));
        // The new record reached the disk at once.
        TWordMgr reread(m_appData->file(QStringLiteral("worddata.data")), OpenMode::ReadOnly);
        QVERIFY(reread.DocInBase(DocPath(saved)));
    }

    void saveAs_movesCacheAndRecord() {
        const QString path = DocPath(QStringLiteral("a.docx"));
        WriteTextCache(path, QStringLiteral("old"));
        openFirst();
        m_prompts->saveFileAnswers.enqueue(DocPath(QStringLiteral("b.docx")));
        m_tabs->ItemSaveAsClick();
        QCOMPARE(m_prompts->log.filter(QStringLiteral("info:")), QStringList{"info: 存在同名文件"});
        QCOMPARE(calls(), (QStringList{"ActiveDocument.FullName"}));
        m_prompts->saveFileAnswers.enqueue(DocPath(QStringLiteral("New")));
        m_tabs->ItemSaveAsClick();
        QCOMPARE(store().ReadAStrItem(m_positions.at(0), wdiFullName, true), DocPath(QStringLiteral("New.docx")));
        // The cache came along and was read again from the file just written.
        QCOMPARE(ReadTextCache(DocPath(QStringLiteral("New.docx"))), QStringLiteral("text of a.docx\r\n"));
        QVERIFY(!HasTextCache(path));
        QCOMPARE(m_tabs->activeTab()->caption, QStringLiteral("New"));
        QCOMPARE(m_office->passwords.value(DocPath(QStringLiteral("New.docx"))), QStringLiteral("pw"));
        QCOMPARE(store().ReadADigitItem(m_positions.at(0), wdiEditTimes, true), quint16(0));
        m_tabs->closeActiveTab();
        QCOMPARE(store().ReadADigitItem(m_positions.at(0), wdiEditTimes, true), quint16(1));
    }

    // Whichever route saved the document, its cache holds the saved text at once, and the opening counts one
    // edit when it ends (two saves are still one edit; a save with nothing changed is none).
    void saveRoute_refreshesCacheAtOnce_data() {
        QTest::addColumn<QString>("route");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("edits");
        QTest::newRow("toolbar, twice") << "toolbar" << true << 1;
        QTest::newRow("autosave") << "autosave" << true << 1;
        QTest::newRow("save all, twice") << "all" << true << 1;
        QTest::newRow("save all, nothing changed") << "all" << false << 0;
        QTest::newRow("the office on its own (Ctrl+S inside the document)") << "office" << true << 1;
        QTest::newRow("quit") << "quit" << true << 1;
    }
    void saveRoute_refreshesCacheAtOnce() {
        QFETCH(QString, route);
        QFETCH(bool, changed);
        // The office double keeps files in memory: what a search reads of a file not in the built-in reader's
        // formats is the office's text of the open document.
        const QString path = DocPath(QStringLiteral("b.docx"));
        WriteTextCache(path, QStringLiteral("old"));
        m_tabs->OpenADocByPos(m_positions.at(1));
        word().active->text = QStringLiteral("new\r");
        word().active->saved = !changed;
        if (route == u"toolbar") {
            m_tabs->tbtSaveClick();
            m_tabs->tbtSaveClick();
        } else if (route == u"autosave") {
            m_tabs->svTimerTimer();
        } else if (route == u"all") {
            m_tabs->tbtSaveAllClick();
            m_tabs->tbtSaveAllClick();
        } else if (route == u"office") {
            word().active->saved = true;
            WriteBytes(path, "written by the office");
            QTRY_COMPARE(ReadTextCache(path), QStringLiteral("new\r\n"));
        } else if (route == u"quit") {
            QVERIFY(m_tabs->prepareClose());
            m_tabs->saveAndReleaseAll();
        }
        QCOMPARE(ReadTextCache(path), QStringLiteral("new\r\n"));
        if (route != u"quit") {
            m_tabs->closeActiveTab();
        }
        QTEST(int(store().ReadADigitItem(m_positions.at(1), wdiEditTimes, true)), "edits");
    }

    // Autosave saves the active library document and never applies a typed password; the help document is never
    // saved and changes no record.
    void autosave_data() {
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("library document")
            << false << true
            << QStringList{"Documents.Item(int:1).Saved", "ActiveDocument.FullName", "Documents.Item(int:1).Save()"};
        // Written again, an unchanged file would move its modification time.
        QTest::newRow("unchanged library document")
            << false << false
            << QStringList{"Documents.Item(int:1).Saved", "Documents.Item(int:1).Saved",
                           "Documents.Item(int:1).Save()"};
        QTest::newRow("help document") << true << true << QStringList{};
    }

    void autosave() {
        QFETCH(bool, help);
        QFETCH(bool, changed);
        WriteBytes(DocumentTabs::helpPath(), "帮助\n");
        m_strip.typedPassword = QStringLiteral("typed");
        if (help) {
            m_tabs->btnHelpClick();
            QCOMPARE(m_tabs->activeTab()->position, kHelpPosition);
            word().clearLog();
        } else {
            openFirst();
        }
        const QByteArray records = ReadBytes(m_appData->file(QStringLiteral("worddata.data")));
        word().active->saved = !changed;
        m_tabs->svTimerTimer();
        m_tabs->tbtSaveAllClick();
        QFETCH(QStringList, expected);
        QCOMPARE(calls().mid(0, expected.size()), expected);
        QVERIFY(m_strip.calls.filter(QStringLiteral("set")).isEmpty());
        if (help) {
            m_tabs->closeActiveTab();
            QCOMPARE(store().ReadADigitItem(m_positions.at(0), wdiReadTimes, true), quint16(0));
            QVERIFY(!HasTextCache(DocumentTabs::helpPath()));
            QVERIFY(word().documents.isEmpty());
        }
    }

    // A typed password goes onto the file only through the strip, which also stores it; a second new document
    // waits for the first to be saved.
    void save_passwordThroughStrip_secondNewDocumentRefused() {
        openFirst();
        m_strip.typedPassword = QStringLiteral("typed");
        m_tabs->tbtSaveClick();
        QCOMPARE(m_strip.calls.filter(QStringLiteral("set")),
                 QStringList{"set " + DocPath(QStringLiteral("a.docx")) + " typed"});
        QVERIFY(calls().filter(QStringLiteral("Save(")).isEmpty());
        m_tabs->tbtCreateClick();
        m_tabs->tbtCreateClick();
        QCOMPARE(m_prompts->log, QStringList{"info: 请先保存 文档1"});
        QCOMPARE(m_tabs->tabCount(), 2);
        QCOMPARE(word().documents.size(), 2);
    }

    // The tags typed for a new document reach its record when it is saved into the library, and the strip, which
    // creating the document toggled, shows again; a later save asks for the tag tree to be written.
    void saveNewDocument_storesTypedTags_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("typed") << "  b  a "
                               << "a b ";
        QTest::newRow("nothing typed") << QString() << QString();
    }

    void saveNewDocument_storesTypedTags() {
        auto* strip = new TagsPanel(*m_bench, m_host.get(), m_host.get());
        m_tabs->setTagStrip(strip);
        connect(m_tabs, &DocumentTabs::tagStripToggleWanted, strip, &TagsPanel::tbtTagClick);
        connect(m_tabs, &DocumentTabs::tagStripShowWanted, strip, &TagsPanel::showStrip);
        QSignalSpy treeSaves(m_tabs, &DocumentTabs::tagTreeSaveWanted);
        m_tabs->tbtCreateClick();
        QVERIFY(strip->panel()->isHidden());
        QFETCH(QString, typed);
        QTest::keyClicks(strip->panel()->findChild<QLineEdit*>(QStringLiteral("tagEdit")), typed);
        m_prompts->yesNoAnswers.enqueue(true);
        m_prompts->saveFileAnswers.enqueue(DocPath(QStringLiteral("Plan")));
        m_tabs->ItemSaveAsClick();
        QTEST(store().ReadAStrItem(m_tabs->activeTab()->position, wdiTags, true), "stored");
        QVERIFY(!strip->panel()->isHidden());
        QCOMPARE(treeSaves.count(), 0);
        m_tabs->tbtSaveClick();
        QCOMPARE(treeSaves.count(), 1);
    }

    // What is done for a tab is done to its document, even when another one became the office's active one.
    void save_activatesTheTabsDocument() {
        openFirst();
        m_tabs->OpenADocByPos(m_positions.at(1));
        word().active = word().documents.first();
        word().clearLog();
        m_tabs->tbtSaveClick();
        // Its text is read again for its cache from the file just written (the office's, in this double).
        QCOMPARE(calls(), (QStringList{"ActiveDocument.FullName", "Documents.Item(int:2).Activate()",
                                       "Documents.Item(int:2).Saved", "Documents.Item(int:2).Save()",
                                       "Documents.Item(int:2).Range.Text"}));
    }

    // The embedding timer gives up after its attempts and stores nothing it did not find.
    void embedding_givesUpAndKeepsWindowZero() {
        openFirst();
        auto* timer = m_tabs->findChild<QTimer*>(QStringLiteral("Timer1"));
        timer->start();
        // The opening made the first of its 61 attempts.
        for (int i = 0; i < 60; ++i) {
            QVERIFY(timer->isActive());
            m_tabs->Timer1Timer();
        }
        QVERIFY(!timer->isActive());
        QCOMPARE(m_tabs->activeTab()->window, quint64(0));
        // A tab whose window was never placed still saves and closes its document.
        word().active->saved = false;
        m_tabs->closeActiveTab();
        QVERIFY(word().documents.isEmpty());
        QCOMPARE(word().documents.size(), 0);
    }

    // The overwrite question is about the name the file is written under, ".docx" added to what was typed; the
    // cache is moved, never copied, also when only the letter case changes, and one left by a file written over
    // goes, whether the window or the office itself saved the document under the new name.
    void saveAs_asksAboutTheFinalName_data() {
        QTest::addColumn<bool>("byOffice");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("onDisk");
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<QString>("savedAs");
        QTest::newRow("typed without suffix, final name exists, kept") << false << "v1.2"
                                                                       << "v1.2.docx" << false << QString();
        QTest::newRow("typed without suffix, final name exists, overwritten") << false << "v1.2"
                                                                              << "v1.2.docx" << true << "v1.2.docx";
        QTest::newRow("typed name exists, final name does not") << false << "v1.2"
                                                                << "v1.2" << false << "v1.2.docx";
        QTest::newRow("letter case only") << false << "A" << QString() << false << "A.docx";
        QTest::newRow("the office's own save-as over a file with a cache")
            << true << QString() << "v1.2.docx" << false << "v1.2.docx";
    }

    void saveAs_asksAboutTheFinalName() {
        QFETCH(bool, byOffice);
        QFETCH(QString, typed);
        QFETCH(QString, onDisk);
        QFETCH(QString, savedAs);
        const QString path = DocPath(QStringLiteral("a.docx"));
        WriteTextCache(path, QStringLiteral("old"));
        if (!onDisk.isEmpty()) {
            QDir().mkpath(DocPath(QString()));
            WriteBytes(DocPath(onDisk), "another file");
            WriteTextCache(DocPath(onDisk), QStringLiteral("stale"));
        }
        openFirst();
        const bool asks = !byOffice && onDisk.endsWith(QLatin1String(".docx"));
        if (byOffice) {
            // The office writes the file and knows the document by its new name; the tab finds it by its window
            // at its next step.
            const WindowId window = 4242;
            word().setProperty(QStringLiteral("ActiveWindow"), QStringLiteral("Hwnd"), double(window));
            static_cast<DocumentPage*>(static_cast<QTabWidget*>(m_tabs->pager())->currentWidget())->tab.window = window;
            word().active->fullName = DocPath(savedAs);
            word().active->name = savedAs;
            m_office->disk.insert(DocPath(savedAs), DiskFile{QStringLiteral("text of a.docx\r")});
            m_tabs->tbtSaveClick();
        } else {
            m_prompts->saveFileAnswers.enqueue(DocPath(typed));
            if (asks) {
                QFETCH(bool, overwrite);
                m_prompts->yesNoAnswers.enqueue(overwrite);
            }
            m_tabs->ItemSaveAsClick();
        }
        const QStringList asked = m_prompts->log.filter(QStringLiteral("yesno:"));
        QCOMPARE(asked, asks ? QStringList{"yesno: 文件已经存在，要覆盖它吗？"} : QStringList{});
        if (savedAs.isEmpty()) {
            QCOMPARE(store().ReadAStrItem(m_positions.at(0), wdiFullName, true), path);
            QVERIFY(!m_office->disk.contains(DocPath(QStringLiteral("v1.2.docx"))));
            QCOMPARE(ReadTextCache(path), QStringLiteral("old\r\n"));
            return;
        }
        QCOMPARE(store().ReadAStrItem(m_positions.at(0), wdiFullName, true), DocPath(savedAs));
        QVERIFY(m_office->disk.contains(DocPath(savedAs)));
        QCOMPARE(m_tabs->activeTab()->path, DocPath(savedAs));
        // The document's own cache came along (the stale one of the file written over went) and was read again
        // from the file just written.
        QCOMPARE(ReadTextCache(DocPath(savedAs)), QStringLiteral("text of a.docx\r\n"));
        QVERIFY(!QFile::exists(TextCachePath(path)));
    }

    // The office saved a new document under a name of its own: the tab follows the file, another new document may
    // be made, and closing the tab saves it like any document with a file, asking nothing.
    void officeSavedNewDocument_tabFollowsAndCloses() {
        m_tabs->tbtCreateClick();
        const QString mine = DocPath(QStringLiteral("mine.docx"));
        // The office keeps calling it 文档1; only its full name tells the file.
        word().active->fullName = mine;
        word().active->text = QStringLiteral("先存了\r");
        m_office->disk.insert(mine, DiskFile{QStringLiteral("\r")});
        word().active->saved = false;
        m_tabs->tbtCreateClick();
        QCOMPARE(m_tabs->tabCount(), 2);
        QCOMPARE(m_tabs->tabAt(0)->path, mine);
        QCOMPARE(m_tabs->tabAt(0)->caption, QStringLiteral("mine"));
        static_cast<QTabWidget*>(m_tabs->pager())->setCurrentIndex(0);
        m_tabs->closeActiveTab();
        QVERIFY(m_prompts->log.isEmpty());
        QCOMPARE(m_tabs->tabCount(), 1);
        QCOMPARE(word().documents.size(), 1);
        QCOMPARE(m_office->disk.value(mine).text, QStringLiteral("先存了\r"));
        // The toolbar's save on a new document is its save-as.
        m_prompts->saveFileAnswers.enqueue(DocPath(QStringLiteral("Plan")));
        m_tabs->tbtSaveClick();
        QVERIFY(store().DocInBase(DocPath(QStringLiteral("Plan.docx"))));
        QCOMPARE(m_tabs->activeTab()->caption, QStringLiteral("Plan"));
    }

    // Shutdown's questions: nothing unsaved is closed without the user's word, and a cancel keeps everything.
    void prepareClose_data() {
        QTest::addColumn<bool>("workbook");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("tabsLeft");
        QTest::newRow("new document, cancel") << false << int(Answer::Cancel) << false << 2;
        QTest::newRow("new document, don't save") << false << int(Answer::No) << true << 1;
        QTest::newRow("new document, save") << false << int(Answer::Yes) << true << 1;
        QTest::newRow("workbook that cannot be saved, kept") << true << int(Answer::No) << false << 2;
        QTest::newRow("workbook that cannot be saved, given up") << true << int(Answer::Yes) << true << 1;
    }

    void prepareClose() {
        QFETCH(bool, workbook);
        QFETCH(int, answer);
        openFirst();
        word().active->saved = false;
        const QString book = DocPath(QStringLiteral("书.xlsx"));
        if (workbook) {
            QDir().mkpath(DocPath(QString()));
            WriteBytes(book, "workbook");
            ExcelWorkbook file;
            file.fullName = book;
            file.sheets.append({QStringLiteral("Sheet1"), {}, {}});
            m_office->workbookFiles.insert(book, file);
            m_tabs->OpenAExcelFile(book);
            m_office->excel().workbooks.first()->saved = false;
            m_office->excel().failOn(QStringLiteral("WorkBooks.Item(int:1).Save("), 2);
            m_prompts->yesNoAnswers.enqueue(Answer(answer) == Answer::Yes);
        } else {
            m_tabs->tbtCreateClick();
            word().active->saved = false;
            m_prompts->yesNoCancelAnswers.enqueue(Answer(answer));
            if (Answer(answer) == Answer::Yes) {
                m_prompts->saveFileAnswers.enqueue(DocPath(QStringLiteral("新")));
            }
        }
        m_prompts->log.clear();
        QFETCH(bool, closes);
        QCOMPARE(m_tabs->prepareClose(), closes);
        QCOMPARE(m_prompts->log.filter(QStringLiteral("yesno")).size(), 1);
        QTEST(m_tabs->tabCount(), "tabsLeft");
        // The library document with a file was saved without a question, whatever came after it.
        QVERIFY(word().documents.first()->saved);
        QCOMPARE(word().documents.first()->saveCount, 1);
        if (closes) {
            m_tabs->saveAndReleaseAll();
            QVERIFY(m_prompts->log.filter(QStringLiteral("error:")).isEmpty());
        }
    }

    // The close area keeps to the tab area's corner when the window changes size or the strip above the tabs
    // shows or hides.
    void closeArea_followsTheTabArea() {
        auto* area = m_tabs->pager()->parentWidget();
        auto* strip = new QWidget(area);
        strip->setFixedHeight(26);
        static_cast<QVBoxLayout*>(area->layout())->insertWidget(0, strip);
        area->resize(800, 500);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        openFirst();
        auto* closeArea = area->findChild<QWidget*>(QStringLiteral("pnlClose"));
        QVERIFY(closeArea->isVisible());
        const auto corner = [&] { return QPoint(area->width() - 140, m_tabs->pager()->y()); };
        QCOMPARE(closeArea->pos(), corner());
        area->resize(1000, 600);
        QTRY_COMPARE(closeArea->pos(), corner());
        strip->hide();
        QTRY_COMPARE(m_tabs->pager()->y(), area->layout()->contentsMargins().top());
        QTRY_COMPARE(closeArea->pos(), corner());
    }

    // The active tab's face has the tooltip colour, the others the button colour, which differ where the text
    // colours do not.
    void activeTab_standsOut() {
        m_tabs->pager()->parentWidget()->resize(800, 500);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        openFirst();
        m_tabs->OpenADocByPos(m_positions.at(1));
        auto* bar = m_tabs->pager()->findChild<QTabBar*>();
        const auto face = [bar](int index) {
            const QRect tab = bar->tabRect(index);
            return bar->grab().toImage().pixelColor(tab.left() + 4, tab.center().y());
        };
        const QPalette palette = QApplication::palette();
        QVERIFY(palette.color(QPalette::ToolTipBase) != palette.color(QPalette::Button));
        QCOMPARE(bar->currentIndex(), 1);
        QCOMPARE(face(1), palette.color(QPalette::ToolTipBase));
        QCOMPARE(face(0), palette.color(QPalette::Button));
        bar->setCurrentIndex(0);
        QTRY_COMPARE(face(0), palette.color(QPalette::ToolTipBase));
        QCOMPARE(face(1), palette.color(QPalette::Button));
    }

    // While the office makes a new document, the article list cannot start another opening.
    void newDocument_listDisabledWhileMade() {
        QWidget list;
        connect(m_tabs, &DocumentTabs::creatingDocument, &list, [&list](bool running) { list.setEnabled(!running); });
        // The office went away: the new document's call starts one, and the list is looked at then.
        word().die();
        std::optional<bool> enabledMeanwhile;
        m_office->serverStarted = [&](ServerDouble&) { enabledMeanwhile = list.isEnabled(); };
        m_tabs->tbtCreateClick();
        QCOMPARE(enabledMeanwhile, std::optional<bool>(false));
        QVERIFY(list.isEnabled());
        QCOMPARE(m_tabs->tabCount(), 1);
    }
};

QTEST_MAIN(TestDocumentTabs)
#include "tst_documenttabs.moc"
