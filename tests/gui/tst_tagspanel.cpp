#include "common/errors.h"
#include "office/tiword.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/tagspanel.h"
#include "workbench/tagtree.h"
#include "workbench/treefile.h"
#include "workbench/treeview.h"
#include "workbench/workbench.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace velmora;
using namespace velmora::test;

// The strip and the tag tree over a library of one open document, tagged "t", with the tag tree
// 标签分类 > Known, t. Each check reopens the library from its files, so what counts is what was written.
class TestTagsPanel : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<OfficeDouble> m_office;
    std::unique_ptr<Workbench> m_bench;
    std::unique_ptr<QWidget> m_host;
    TagsPanel* m_panel = nullptr;
    TagTree* m_tree = nullptr;
    QString m_path;
    int m_pos = -1;

    void openWindow() {
        m_host = std::make_unique<QWidget>();
        auto* layout = new QHBoxLayout(m_host.get());
        m_bench = std::make_unique<Workbench>();
        m_bench->open();
        auto* toolbar = new QToolBar(m_host.get());
        m_panel = new TagsPanel(*m_bench, toolbar, m_host.get());
        m_tree = new TagTree(*m_bench, m_host.get());
        m_tree->load();
        connect(m_panel, &TagsPanel::tagsAdded, m_tree, &TagTree::addTagNodes);
        layout->addWidget(m_panel->panel());
        layout->addWidget(m_tree->view());
        m_host->resize(900, 200);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        m_bench->setActiveTab(ActiveTab{true, m_pos, m_path, false});
        m_panel->ClearTagPanel();
        m_panel->LoadTagPanel(m_pos);
    }
    void reopen() {
        m_host.reset();
        m_bench.reset();
        openWindow();
    }

    template <typename T = QWidget>
    T* control(const QString& name) const {
        T* found = m_panel->panel()->findChild<T*>(name);
        if (found == nullptr) {
            qFatal("no control %s", qPrintable(name));
        }
        return found;
    }
    QList<int> litStars() const {
        QList<int> lit;
        for (int i = 1; i <= 5; ++i) {
            if (control<QToolButton>(QStringLiteral("btGroup%1").arg(i))->isChecked()) {
                lit.append(i);
            }
        }
        return lit;
    }
    void type(const QString& edit, const QString& text) {
        auto* line = control<QLineEdit>(edit);
        line->clear();
        // Key events carry Latin-1 only; other text arrives as an input method would commit it.
        bool latin = true;
        for (const QChar c : text) {
            latin = latin && c.unicode() < 0x80;
        }
        if (latin) {
            QTest::keyClicks(line, text);
        } else {
            line->insert(text);
        }
    }
    void save() { QTest::mouseClick(control(QStringLiteral("btSaveTagScorePS")), Qt::LeftButton); }
    QStringList topLevelTags() const {
        QStringList texts;
        for (const TreeNode& node : TreeFromWidget(qobject_cast<QTreeWidget*>(m_tree->view()))) {
            texts.append(node.text + u'/' + QString::number(node.image));
        }
        return texts;
    }
    QString stored(int item) { return m_bench->store().ReadAStrItem(m_pos, item, true); }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_office = std::make_unique<OfficeDouble>();
        m_path = m_appData->file(QStringLiteral("docs/a.docx"));
        WriteBytes(m_path, "x");
        {
            TWordMgr store(m_appData->file(QStringLiteral("worddata.data")));
            m_pos = int(store.ImportAWord(m_path, QStringLiteral("t"), QString(), 0));
            store.SaveRecDataFiles(false);
        }
        SaveTreeFile(
            m_appData->file(QStringLiteral("TagTVItems.dat")),
            {TreeNode{QStringLiteral("标签分类"),
                      1,
                      -1,
                      {TreeNode{QStringLiteral("Known"), 3, -1, {}}, TreeNode{QStringLiteral("t"), 3, -1, {}}}}});
        m_office->startWord()->addDocument(m_path, QStringLiteral("正文\r"));
        openWindow();
    }
    void cleanup() {
        m_host.reset();
        m_bench.reset();
        m_office.reset();
        m_prompts.reset();
        m_appData.reset();
    }

    void save_storesWhatTheStripShows_data() {
        QTest::addColumn<QList<int>>("stars");
        QTest::addColumn<QString>("tags");
        QTest::addColumn<int>("score");
        QTest::addColumn<QString>("storedTags");
        QTest::addColumn<QStringList>("newNodes");
        QTest::addColumn<QList<int>>("litAfterReload");
        QTest::newRow("stars 2 and 4") << QList<int>{2, 4} << "t" << 2 << "t" << QStringList() << QList<int>{1, 2};
        QTest::newRow("all five") << QList<int>{1, 2, 3, 4, 5} << "t" << 5 << "t" << QStringList()
                                  << QList<int>{1, 2, 3, 4, 5};
        QTest::newRow("a star twice is off")
            << QList<int>{3, 3, 1} << "t" << 1 << "t" << QStringList() << QList<int>{1};
        QTest::newRow("empty tags clear") << QList<int>() << "" << 0 << "" << QStringList() << QList<int>();
        QTest::newRow("unknown tags, once each") << QList<int>() << "zeta alpha zeta" << 0 << "alpha zeta zeta "
                                                 << QStringList{"alpha/3", "zeta/3"} << QList<int>();
        QTest::newRow("known in another case")
            << QList<int>() << "KNOWN" << 0 << "KNOWN" << QStringList() << QList<int>();
        QTest::newRow("several spaces") << QList<int>() << "b   a" << 0 << "a b " << QStringList{"a/3", "b/3"}
                                        << QList<int>();
        QTest::newRow("single tag as typed")
            << QList<int>() << "Solo" << 0 << "Solo" << QStringList{"Solo/3"} << QList<int>();
        QTest::newRow("single tag and a space")
            << QList<int>() << "Solo " << 0 << "Solo " << QStringList{"Solo/3"} << QList<int>();
    }
    void save_storesWhatTheStripShows() {
        QFETCH(QList<int>, stars);
        QFETCH(QString, tags);
        QFETCH(int, score);
        QFETCH(QString, storedTags);
        QFETCH(QStringList, newNodes);
        QFETCH(QList<int>, litAfterReload);
        QCOMPARE(control<QLineEdit>(QStringLiteral("tagEdit"))->text(), QStringLiteral("t"));
        QSignalSpy changed(m_tree, &TagTree::treeChanged);
        for (int star : stars) {
            QTest::mouseClick(control(QStringLiteral("btGroup%1").arg(star)), Qt::LeftButton);
        }
        type(QStringLiteral("tagEdit"), tags);
        save();
        save();
        QCOMPARE(topLevelTags(), QStringList{"标签分类/1"} + newNodes);
        QCOMPARE(changed.isEmpty(), newNodes.isEmpty());
        QCOMPARE(m_tree->tagTreeChanged(), !newNodes.isEmpty());
        QCOMPARE(m_prompts->log, QStringList());

        reopen();
        QCOMPARE(stored(wdiTags), storedTags);
        QCOMPARE(int(m_bench->store().WordRec().wdScore), score);
        QCOMPARE(litStars(), litAfterReload);
        QCOMPARE(control<QLineEdit>(QStringLiteral("tagEdit"))->text(), storedTags);
    }

    // The password goes into the record and the file together; one stored is never replaced from the strip.
    void password_storedAndAppliedTogether_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("saveAsFails");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("calls");
        const QString saveAs = QStringLiteral("ActiveDocument.SaveAs(&\"%1\", &missing, &missing, &\"新密码\"") +
                               QStringLiteral(", &missing").repeated(12) + u')';
        QTest::newRow("none yet") << "" << false << "新密码"
                                  << QStringList{"Documents.Item(int:1).Activate()", "ActiveDocument.FullName", saveAs,
                                                 "Documents.Item(int:1).Saved := bool:false",
                                                 "Documents.Item(int:1).Save()"};
        QTest::newRow("applying fails") << "" << true << ""
                                        << QStringList{"Documents.Item(int:1).Activate()", "ActiveDocument.FullName",
                                                       saveAs};
        QTest::newRow("one stored") << "旧" << false << "旧" << QStringList();
    }
    void password_storedAndAppliedTogether() {
        QFETCH(QString, before);
        QFETCH(bool, saveAsFails);
        QFETCH(QString, after);
        QFETCH(QStringList, calls);
        if (!before.isEmpty()) {
            m_bench->store().SaveAStrItem(m_pos, wdiPassword, before, true);
            m_bench->store().SaveRecDataFiles(false);
            m_office->passwords.insert(m_path, before);
            reopen();
        }
        WordDouble& word = m_office->word();
        if (saveAsFails) {
            word.failOn(QStringLiteral("ActiveDocument.SaveAs"));
        }
        type(QStringLiteral("psEdit"), QStringLiteral("新密码"));
        QCOMPARE(control<QLineEdit>(QStringLiteral("psEdit"))->displayText(), QStringLiteral("***"));
        word.clearLog();
        save();
        QStringList seen;
        for (const QString& line : word.log()) {
            const bool lookup =
                line == QLatin1String("Documents.Count") ||
                (line.startsWith(QLatin1String("Documents.Item")) && line.endsWith(QLatin1String(".FullName")));
            if (!lookup) {
                seen.append(line);
            }
        }
        for (QString& call : calls) {
            call = call.arg(m_path);
        }
        QCOMPARE(seen, calls);
        QCOMPARE(m_prompts->log.size(), saveAsFails ? 1 : 0);
        QCOMPARE(m_office->passwords.value(m_path), after.isEmpty() ? QString() : after);
        reopen();
        QCOMPARE(stored(wdiPassword), after);
    }

    // The help document, another document in the office, and a new document: nothing reaches a record.
    void tabsWithoutTheirRecord_writeNothing_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("saveAsRequests");
        QTest::newRow("new, yes") << int(TagsPanel::kNewDocument) << true << 1;
        QTest::newRow("new, no") << int(TagsPanel::kNewDocument) << false << 0;
        QTest::newRow("help") << int(TagsPanel::kHelpDocument) << false << 0;
    }
    void tabsWithoutTheirRecord_writeNothing() {
        QFETCH(int, position);
        QFETCH(bool, answer);
        QFETCH(int, saveAsRequests);
        const QByteArray records = ReadBytes(m_bench->store().RecordFileName());
        m_bench->setActiveTab(ActiveTab{true, position, m_path, false});
        QSignalSpy saveAs(m_panel, &TagsPanel::saveAsRequested);
        type(QStringLiteral("tagEdit"), QStringLiteral("新标签"));
        type(QStringLiteral("psEdit"), QStringLiteral("pw"));
        if (position == TagsPanel::kNewDocument) {
            m_prompts->yesNoAnswers.enqueue(answer);
        }
        save();
        QCOMPARE(saveAs.size(), saveAsRequests);
        QCOMPARE(m_prompts->log, position == TagsPanel::kNewDocument
                                     ? QStringList{QStringLiteral("yesno: 新建文档需要先保存才能继续。确定吗？")}
                                     : QStringList());
        QCOMPARE(m_panel->GetCurrDocPSW(position), position == TagsPanel::kNewDocument ? "pw" : "");
        QCOMPARE(ReadBytes(m_bench->store().RecordFileName()), records);
        QCOMPARE(m_office->passwords.value(m_path), QString());
    }

    void passwordForAnotherDocument_raisesBeforeAnyChange() {
        m_office->word().addDocument(m_appData->file(QStringLiteral("docs/b.docx")));
        m_office->word().clearLog();
        QVERIFY_THROWS_EXCEPTION(
            VelmoraError, m_panel->SetPSToDoc(m_appData->file(QStringLiteral("docs/b.docx")), QStringLiteral("pw")));
        m_office->word().closeDocument(m_office->word().documents.first());
        QVERIFY_THROWS_EXCEPTION(VelmoraError, m_panel->SetPSToDoc(m_path, QStringLiteral("pw")));
        QCOMPARE(stored(wdiPassword), QString());
        QVERIFY(m_office->passwords.isEmpty());
    }

    void duringImport_tagsReachTheTreeOnly() {
        m_bench->setImporting(true);
        QCOMPARE(m_panel->GetCurrDocTags(m_pos, QStringLiteral("known 新"), true), QStringLiteral("新 known "));
        QCOMPARE(topLevelTags(), (QStringList{"标签分类/1", "新/3"}));
        m_bench->setImporting(false);
        QCOMPARE(m_panel->GetCurrDocTags(m_pos, QStringLiteral("   "), true), QString());
        reopen();
        QCOMPARE(stored(wdiTags), QStringLiteral("t"));
    }

    void toolbarButton_togglesTheStrip() {
        QWidget* strip = m_panel->panel();
        QVERIFY(strip->isVisible());
        QSignalSpy closeArea(m_panel, &TagsPanel::closeAreaWanted);
        QTest::mouseClick(m_panel->toolButton(), Qt::LeftButton);
        QVERIFY(!strip->isVisible());
        m_bench->setActiveTab(ActiveTab{});
        QTest::mouseClick(m_panel->toolButton(), Qt::LeftButton);
        QVERIFY(strip->isVisible());
        QVERIFY(!strip->isEnabled());
        QCOMPARE(closeArea.size(), 1);
        m_bench->setActiveTab(ActiveTab{true, -1, QStringLiteral("/x/book.xlsx"), true});
        QTest::mouseClick(m_panel->toolButton(), Qt::LeftButton);
        QVERIFY(strip->isVisible());
    }
};

QTEST_MAIN(TestTagsPanel)
#include "tst_tagspanel.moc"
