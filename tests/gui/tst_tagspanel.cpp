#include "common/errors.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/imagelist.h"
#include "workbench/navigation/tagtree.h"
#include "workbench/navigation/treeview.h"
#include "workbench/tabs/tagspanel.h"
#include "workbench/workbench.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace velmora;
using namespace velmora::test;

using Ints = QList<int>;

// The strip and the tag tree over a library of one document open in the office, tagged "t", with the tag tree
// 标签分类 > Known, t. Checks reopen the library from its files: what counts is what was written.
class TestTagsPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<OfficeDouble> m_office;
    std::unique_ptr<Workbench> m_bench;
    std::unique_ptr<QWidget> m_host;
    TagsPanel* m_panel = nullptr;
    TagTree* m_tree = nullptr;
    QString m_path;
    int m_pos = -1;

    void reopen() {
        m_host.reset();
        m_bench = std::make_unique<Workbench>();
        m_bench->open();
        m_host = std::make_unique<QWidget>();
        m_panel = new TagsPanel(*m_bench, m_host.get(), m_host.get());
        m_tree = new TagTree(*m_bench, m_host.get());
        m_tree->load();
        connect(m_panel, &TagsPanel::tagsAdded, m_tree, &TagTree::addTagNodes);
        (new QHBoxLayout(m_host.get()))->addWidget(m_panel->panel());
        m_host->show();
        m_bench->setActiveTab(ActiveTab{true, m_pos, m_path, false});
        m_panel->LoadTagPanel(m_pos);
    }
    template <typename T = QToolButton>
    T* control(const QString& name) const {
        return m_panel->panel()->findChild<T*>(name);
    }
    void type(const QString& edit, const QString& text) {
        control<QLineEdit>(edit)->clear();
        // Key events carry Latin-1 only; other text arrives as an input method commits it.
        text.toLatin1() == text.toUtf8() ? QTest::keyClicks(control<QLineEdit>(edit), text)
                                         : control<QLineEdit>(edit)->insert(text);
    }
    void save() { QTest::mouseClick(control(QStringLiteral("btSaveTagScorePS")), Qt::LeftButton); }
    QStringList topLevel() const {
        QStringList texts;
        for (const TreeNode& node : TreeFromWidget(qobject_cast<QTreeWidget*>(m_tree->view()))) {
            texts.append(node.text + u'/' + QString::number(node.image));
        }
        return texts;
    }
    QString stored(int item) { return m_bench->store().ReadAStrItem(m_pos, item, true); }
    // The number of lit stars when they are the first ones, else -1: the strip only ever shows a score. A star
    // is lit when its picture and its checked state (what a screen reader tells) both say so.
    int litStars() const {
        const QImage litPicture = AppImage(15).pixmap(22).toImage();
        QList<bool> lit;
        for (int i = 1; i <= 5; ++i) {
            const QToolButton* star = control(QStringLiteral("btGroup%1").arg(i));
            const bool shown = star->icon().pixmap(22).toImage() == litPicture;
            if (shown != star->isChecked()) {
                return -1;
            }
            lit.append(shown);
        }
        const int count = int(lit.count(true));
        return lit.indexOf(false) == -1 || lit.indexOf(false) == count ? count : -1;
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_office = std::make_unique<OfficeDouble>();
        m_path = m_appData->file(QStringLiteral("a.docx"));
        WriteBytes(m_path, "x");
        TWordMgr(m_appData->file(QStringLiteral("worddata.data"))).ImportAWord(m_path, QStringLiteral("t"), {}, 0);
        m_pos = 0;
        SaveTreeFile(m_appData->file(QStringLiteral("TagTVItems.dat")),
                     {{QStringLiteral("标签分类"), 1, -1, {{QStringLiteral("Known"), 3, -1, {}}, {"t", 3, -1, {}}}}});
        m_office->startWord()->addDocument(m_path);
        reopen();
    }
    void cleanup() {
        m_host.reset();
        m_bench.reset();
        m_office.reset();
        m_prompts.reset();
        m_appData.reset();
    }

    void save_storesWhatTheStripShows_data() {
        QTest::addColumn<Ints>("stars");
        QTest::addColumn<QString>("tags");
        QTest::addColumn<QString>("storedTags");
        QTest::addColumn<QStringList>("newNodes");
        QTest::addColumn<Ints>("litAfterReload");
        QTest::newRow("stars 2 and 4") << Ints{2, 4} << "t"
                                       << "t" << QStringList() << Ints{1, 2, 3, 4};
        QTest::newRow("all five") << Ints{1, 2, 3, 4, 5} << "t"
                                  << "t" << QStringList() << Ints{1, 2, 3, 4, 5};
        QTest::newRow("a star twice is off") << Ints{3, 3, 1} << "t"
                                             << "t" << QStringList() << Ints{1};
        QTest::newRow("empty tags clear") << Ints() << ""
                                          << "" << QStringList() << Ints();
        QTest::newRow("unknown, once each") << Ints() << "zeta alpha zeta"
                                            << "alpha zeta zeta " << QStringList{"alpha/3", "zeta/3"} << Ints();
        QTest::newRow("known in another case") << Ints() << "KNOWN"
                                               << "KNOWN" << QStringList() << Ints();
        QTest::newRow("several spaces") << Ints() << "b   a"
                                        << "a b " << QStringList{"a/3", "b/3"} << Ints();
        QTest::newRow("one tag as typed") << Ints() << "Solo"
                                          << "Solo" << QStringList{"Solo/3"} << Ints();
        QTest::newRow("one tag, a space") << Ints() << "Solo "
                                          << "Solo " << QStringList{"Solo/3"} << Ints();
    }
    void save_storesWhatTheStripShows() {
        QFETCH(Ints, stars);
        QFETCH(QString, tags);
        QFETCH(QString, storedTags);
        QFETCH(QStringList, newNodes);
        QFETCH(Ints, litAfterReload);
        QSignalSpy changed(m_tree, &TagTree::treeChanged);
        for (int star : stars) {
            QTest::mouseClick(control(QStringLiteral("btGroup%1").arg(star)), Qt::LeftButton);
        }
        type(QStringLiteral("tagEdit"), tags);
        save();
        save();
        QCOMPARE(topLevel(), QStringList{"标签分类/1"} + newNodes);
        QCOMPARE(changed.size(), newNodes.isEmpty() ? 0 : 1);
        reopen();
        QCOMPARE(stored(wdiTags), storedTags);
        QCOMPARE(int(m_bench->store().WordRec().wdScore), litAfterReload.size());
        Ints lit;
        for (int i = 1; i <= 5; ++i) {
            if (control(QStringLiteral("btGroup%1").arg(i))->isChecked()) {
                lit.append(i);
            }
        }
        QCOMPARE(lit, litAfterReload);
        QCOMPARE(m_prompts->log, QStringList());
    }

    // Whatever the strip shows before saving, it shows after reopening: star k means k, and the highest lit
    // star clicked again takes itself back.
    void star_showsAndStoresItsNumber_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("after");
        for (int before = 0; before <= 5; ++before) {
            for (int clicked = 1; clicked <= 5; ++clicked) {
                QTest::addRow("%d lit, star %d", before, clicked)
                    << before << clicked << (clicked == before ? clicked - 1 : clicked);
            }
        }
    }
    void star_showsAndStoresItsNumber() {
        QFETCH(int, before);
        QFETCH(int, clicked);
        QFETCH(int, after);
        m_bench->store().SetDocScore(m_pos, quint8(before), true);
        m_bench->store().SaveRecDataFiles(false);
        reopen();
        QCOMPARE(litStars(), before);
        QTest::mouseClick(control(QStringLiteral("btGroup%1").arg(clicked)), Qt::LeftButton);
        QCOMPARE(litStars(), after);
        save();
        reopen();
        QCOMPARE(int(m_bench->store().RecordAt(m_pos).wdScore), after);
        QCOMPARE(litStars(), after);
    }

    // The password reaches the record and the file together; a stored one is never replaced from the strip.
    // When the office fails, the file on disk decides: one it left protected keeps the password in the record.
    void password_storedAndAppliedTogether_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("applyFails");
        QTest::addColumn<bool>("protectedOnDisk");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("inOffice");
        QTest::newRow("none yet") << "" << false << false << "新密码"
                                  << "新密码";
        QTest::newRow("applying fails") << "" << true << false << ""
                                        << "";
        QTest::newRow("fails, file protected") << "" << true << true << "新密码"
                                               << "";
        QTest::newRow("one stored") << "旧" << false << false << "旧"
                                    << "旧";
    }
    void password_storedAndAppliedTogether() {
        QFETCH(QString, before);
        QFETCH(bool, applyFails);
        QFETCH(bool, protectedOnDisk);
        QFETCH(QString, after);
        QFETCH(QString, inOffice);
        m_bench->store().SaveAStrItem(m_pos, wdiPassword, before, true);
        m_office->passwords.insert(m_path, before);
        if (applyFails) {
            m_office->word().failOn(QStringLiteral("ActiveDocument.SaveAs"));
        }
        if (protectedOnDisk) {
            // As a save that wrote the protected file and then failed leaves it.
            QFile::remove(m_path);
            QVERIFY(QFile::copy(
                qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/tests/lo/data/secret.docx"), m_path));
        }
        type(QStringLiteral("psEdit"), QStringLiteral("新密码"));
        QCOMPARE(control<QLineEdit>(QStringLiteral("psEdit"))->displayText(), QStringLiteral("***"));
        m_office->word().clearLog();
        save();
        const QStringList calls = m_office->word().log().filter(QRegularExpression("Activate|SaveAs|Saved|Save\\("));
        QCOMPARE(calls.size(), before.isEmpty() ? (applyFails ? 2 : 4) : 0);
        QCOMPARE(m_prompts->log.size(), applyFails ? 1 : 0);
        QCOMPARE(m_office->passwords.value(m_path), inOffice);
        reopen();
        QCOMPARE(stored(wdiPassword), after);
        // Only the active tab's document, open in the office, gets a password.
        m_office->word().closeDocument(m_office->word().documents.first());
        QVERIFY_THROWS_EXCEPTION(VelmoraError, m_panel->SetPSToDoc(m_path, QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(VelmoraError, m_panel->SetPSToDoc(m_path + u'x', QStringLiteral("x")));
        QCOMPARE(stored(wdiPassword), after);
    }

    // A new document asks to be saved first; it and the help document write no record.
    void tabsWithoutARecord_writeNothing_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("answer");
        QTest::newRow("new, yes") << int(TagsPanel::kNewDocument) << true;
        QTest::newRow("new, no") << int(TagsPanel::kNewDocument) << false;
        QTest::newRow("help") << int(TagsPanel::kHelpDocument) << false;
    }
    void tabsWithoutARecord_writeNothing() {
        QFETCH(int, position);
        QFETCH(bool, answer);
        const bool isNew = position == TagsPanel::kNewDocument;
        const QByteArray records = ReadBytes(m_bench->store().RecordFileName());
        m_bench->setActiveTab(ActiveTab{true, position, m_path, false});
        QSignalSpy saveAs(m_panel, &TagsPanel::saveAsRequested);
        type(QStringLiteral("tagEdit"), QStringLiteral("新标签"));
        type(QStringLiteral("psEdit"), QStringLiteral("pw"));
        if (isNew) {
            m_prompts->yesNoAnswers.enqueue(answer);
        }
        save();
        QCOMPARE(saveAs.size(), answer ? 1 : 0);
        QCOMPARE(m_prompts->log, isNew ? QStringList{"yesno: 新建文档需要先保存才能继续。确定吗？"} : QStringList());
        QCOMPARE(m_panel->GetCurrDocPSW(position), isNew ? "pw" : "");
        QCOMPARE(ReadBytes(m_bench->store().RecordFileName()), records);
        QVERIFY(m_office->passwords.isEmpty());
    }

    void duringImport_tagsReachTheTreeOnly() {
        m_bench->setImporting(true);
        QCOMPARE(m_panel->GetCurrDocTags(m_pos, QStringLiteral("known 新"), true), QStringLiteral("新 known "));
        QCOMPARE(topLevel(), (QStringList{"标签分类/1", "新/3"}));
        m_bench->setImporting(false);
        QCOMPARE(m_panel->GetCurrDocTags(m_pos, QStringLiteral("   "), true), QString());
        reopen();
        QCOMPARE(stored(wdiTags), QStringLiteral("t"));
        // A score beyond five, from a damaged or foreign record, lights the five stars there are.
        m_bench->store().SetDocScore(m_pos, 9, true);
        m_panel->LoadTagPanel(m_pos);
        QVERIFY(control(QStringLiteral("btGroup5"))->isChecked());
    }
};

QTEST_MAIN(TestTagsPanel)
#include "tst_tagspanel.moc"
