#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/textcodec.h"
#include "controls.h"
#include "libraryfiles.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "treeshape.h"
#include "workbench/application.h"
#include "workbench/core/treefile.h"
#include "workbench/dialogs/fmsetting.h"
#include "workbench/navigation/tagtreewidget.h"
#include "workbench/navigation/treeview.h"
#include "workbench/shell.h"
#include "workbench/tmform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

// r( a( a1 a2( x ) ) b c ) s: groups at three depths, a first, a middle and a last child, a second top-level node.
constexpr const char* kTagTree = "r -a --a1 --a2 ---x -b -c s";

} // namespace

class TestTmForm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<TmForm> m_form;
    QString m_docs;
    QStringList m_opened;

    QString file(const QString& name) const { return m_appData->file(name); }

    void writeSettings(const QStringList& lines) { WriteTextFile(file(QStringLiteral("settings.ini")), lines); }

    TmForm& open() {
        m_form = std::make_unique<TmForm>();
        m_form->show();
        if (!QTest::qWaitForWindowExposed(m_form.get())) {
            qWarning("window not exposed");
        }
        return *m_form;
    }

    void closeForm() {
        if (m_form) {
            m_form->close();
            m_form.reset();
        }
    }

    QTreeWidgetItem* tagNode(const QString& text) { return m_form->FindTagNode(text); }

    void click(QTreeWidget* tree, QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QVERIFY(item != nullptr);
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers, tree->visualItemRect(item).center());
    }

    void select(QTreeWidgetItem* item) {
        ctl<TagTreeWidget>(*m_form, "tagTreeView")->setCurrentItem(item);
        item->setSelected(true);
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_docs = DocPath(QString());
        QDir().mkpath(m_docs);
        m_opened.clear();
        SetShellOpener([this](const QString& target) {
            m_opened.append(target);
            return true;
        });
    }
    void cleanup() {
        closeForm();
        m_prompts.reset();
        m_appData.reset();
    }

    void startup_withoutSettings_writesEveryKey() {
        open();
        QCOMPARE(
            ReadBytes(file(QStringLiteral("settings.ini"))),
            EncodeAnsi(QStringLiteral("ImportDir=\r\nSaveAsDir=\r\nSortType=文章标题\r\nWinPosLTHW=\r\nLastTag=\r\n"
                                      "LastNode=-1\r\nAutoGoBack=0\r\nAutoSaveInterval=5\r\n")));
        QCOMPARE(ctl<QTimer>(*m_form, "svTimer")->interval(), 5 * 60000);
        QCOMPARE(ctl<QLineEdit>(*m_form, "sortEdit")->text(), QStringLiteral("按 文章标题 排序"));
        QCOMPARE(TreeShape(ctl<TagTreeWidget>(*m_form, "tagTreeView")), QStringLiteral("标签分类"));
        QVERIFY(ctl<QLabel>(*m_form, "wzNumLabel")->isHidden());
        QVERIFY(m_prompts->log.isEmpty());
    }

    void startup_rememberedNodeAndSettings_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("sortText");
        QTest::newRow("no node") << QStringList{"LastNode=-1", "AutoSaveInterval=10", "SortType=阅读次数"} << ""
                                 << 600000 << "按 阅读次数 排序";
        QTest::newRow("third node") << QStringList{"LastNode=2", "AutoSaveInterval=5", "SortType=文章标题"} << "b"
                                    << 300000 << "按 文章标题 排序";
        QTest::newRow("last node") << QStringList{"LastNode=3", "AutoSaveInterval=1"} << "c" << 60000 << "按  排序";
        QTest::newRow("one past the last node") << QStringList{"LastNode=4"} << "" << 300000 << "按  排序";
        QTest::newRow("empty values") << QStringList{"LastNode=", "AutoSaveInterval="} << "" << 300000 << "按  排序";
        QTest::newRow("not numbers") << QStringList{"LastNode=x", "AutoSaveInterval=soon"} << "" << 300000
                                     << "按  排序";
        QTest::newRow("a longer key line first")
            << QStringList{"LastNodeX=3", "LastNode=1"} << "" << 300000 << "按  排序";
        QTest::newRow("interval zero") << QStringList{"AutoSaveInterval=0"} << "" << 0 << "按  排序";
    }
    void startup_rememberedNodeAndSettings() {
        QFETCH(QStringList, settings);
        QFETCH(QString, selected);
        QFETCH(int, interval);
        QFETCH(QString, sortText);
        writeSettings(settings);
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("标签分类 -a --b -c"));
        open();
        QTreeWidgetItem* current = ctl<TagTreeWidget>(*m_form, "tagTreeView")->currentItem();
        QCOMPARE(current != nullptr ? current->text(0) : QString(), selected);
        QCOMPARE(ctl<QTimer>(*m_form, "svTimer")->interval(), interval);
        QCOMPARE(ctl<QTimer>(*m_form, "svTimer")->isActive(), interval > 0);
        QCOMPARE(ctl<QLineEdit>(*m_form, "sortEdit")->text(), sortText);
    }

    void startup_damagedTreeFiles_reportAndKeepTheDesignedTrees_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("shorter than a head") << QByteArray("\x05\x00", 2);
        QTest::newRow("text length past the end") << QByteArray::fromHex("ff000000"
                                                                         "0b010000"
                                                                         "00000000") +
                                                         "a\r\n";
        QTest::newRow("a line two levels deep") << QByteArray::fromHex("07000000"
                                                                       "13000000"
                                                                       "00000000") +
                                                       "a\r\n\t\tb\r\n";
    }
    void startup_damagedTreeFiles_reportAndKeepTheDesignedTrees() {
        QFETCH(QByteArray, bytes);
        WriteBytes(file(QStringLiteral("TagTVItems.dat")), bytes);
        WriteBytes(file(QStringLiteral("wzTVItems.dat")), bytes);
        open();
        QCOMPARE(TreeShape(ctl<TagTreeWidget>(*m_form, "tagTreeView")), QStringLiteral("标签分类"));
        QCOMPARE(ctl<QTreeWidget>(*m_form, "wzTreeView")->topLevelItemCount(), 0);
        QCOMPARE(m_prompts->log.size(), 2);
        QVERIFY2(m_prompts->log.at(0).startsWith(QStringLiteral("error: Velmora: ")), qPrintable(m_prompts->log.at(0)));
        QVERIFY(m_prompts->log.at(0).contains(QStringLiteral("TagTVItems.dat")));
        QVERIFY(m_prompts->log.at(1).contains(QStringLiteral("wzTVItems.dat")));
    }

    void startup_tornRecordFile_isReportedOnce() {
        WriteBytes(file(QStringLiteral("worddata.idx")), QByteArray(35 + 9, '\xff'));
        open();
        QCOMPARE(m_prompts->log.size(), 1);
        QVERIFY2(m_prompts->log.at(0).contains(QStringLiteral("记录文件末尾有不完整的记录")),
                 qPrintable(m_prompts->log.at(0)));
        QVERIFY(m_prompts->log.at(0).contains(file(QStringLiteral("worddata.idx"))));
    }

    void startup_savedArticleListAndFolders() {
        writeSettings({"LastTag=旅行"});
        Tree articles{{QStringLiteral("北京"), 2, 0, {}}, {QStringLiteral("长城"), 2, 35, {}}};
        SaveTreeFile(file(QStringLiteral("wzTVItems.dat")), articles);
        WriteBytes(file(QStringLiteral("FdTVItems.dat")), EncodeAnsi(QStringLiteral("笔记\r\n\t旅行\r\n工作\r\n")));
        open();
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"北京", "长城"}));
        QCOMPARE(ItemState(ctl<QTreeWidget>(*m_form, "wzTreeView")->topLevelItem(1)), 35);
        QCOMPARE(ctl<QLabel>(*m_form, "wzNumLabel")->text(), QStringLiteral("旅行 2条 "));
        QVERIFY(ctl<QLabel>(*m_form, "wzNumLabel")->isVisible());
        QCOMPARE(TreeShape(ctl<QTreeWidget>(*m_form, "fdTreeView")), QStringLiteral("笔记 -旅行 工作"));
        QCOMPARE(ItemImage(ctl<QTreeWidget>(*m_form, "fdTreeView")->topLevelItem(0)), 33);
    }

    void placement_roundTrip_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QString>("written");
        QTest::newRow("height before width") << "100,50,700,1000" << QRect(100, 50, 1000, 700) << "100,50,700,1000";
        QTest::newRow("extra parts ignored") << "10,20,600,900,9" << QRect(10, 20, 900, 600) << "10,20,600,900";
    }
    void placement_roundTrip() {
        QFETCH(QString, saved);
        QFETCH(QRect, frame);
        QFETCH(QString, written);
        writeSettings({"WinPosLTHW=" + saved});
        open();
        QCOMPARE(m_form->frameGeometry(), frame);
        closeForm();
        QVERIFY(ReadTextFile(file(QStringLiteral("settings.ini"))).contains("WinPosLTHW=" + written));
    }

    void placement_offEveryScreen_isBroughtBack() {
        writeSettings({"WinPosLTHW=9000,-7000,300,400"});
        open();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(screen.contains(m_form->frameGeometry().center()), qPrintable(QString::number(m_form->x())));
    }

    void placement_tooFewParts_keepsTheDefault() {
        writeSettings({"WinPosLTHW=100,50,700"});
        open();
        QCOMPARE(m_form->size(), QSize(1180, 760));
    }

    void tagClick_listsTheTagAndItsDescendants() {
        WriteLibrary(
            {{"a.doc", "work"}, {"b.doc", "report"}, {"c.doc", "other"}, {"notes/d.doc", "notes"}, {"e.doc", "rep"}});
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("标签分类 -work --report -notes -empty"));
        writeSettings({"LastTag=", "SortType=文章标题"});
        open();
        ctl<TagTreeWidget>(*m_form, "tagTreeView")->expandAll();

        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("work"));
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"a", "b"}));
        QCOMPARE(ctl<QLabel>(*m_form, "wzNumLabel")->text(), QStringLiteral("work 2条 "));
        QCOMPARE(m_form->setting("LastTag"), QStringLiteral("work"));
        QCOMPARE(ReadTextFile(file("TagsFre.ini")), QStringList{"work=1"});

        // The list already shown is not asked for again, nor counted.
        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("work"));
        QCOMPARE(ReadTextFile(file("TagsFre.ini")), QStringList{"work=1"});

        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("report"));
        QCOMPARE(ArticleTitles(*m_form), QStringList{"b"});
        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("work"), Qt::ControlModifier);
        QCOMPARE(ArticleTitles(*m_form), QStringList{"a"});
        QCOMPARE(ReadTextFile(file("TagsFre.ini")), (QStringList{"work=2", "report=1"}));

        // Shift adds the documents one of whose tags lies in their own path: d.doc is in notes/.
        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("report"), Qt::ShiftModifier);
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"b", "d"}));

        // A tag that lists nothing changes nothing.
        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("empty"));
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"b", "d"}));
        QCOMPARE(ctl<QLabel>(*m_form, "wzNumLabel")->text(), QStringLiteral("report 2条 "));
        QVERIFY(!ReadTextFile(file("TagsFre.ini")).join(u' ').contains(QStringLiteral("empty")));
    }

    void tagFrequency_spoiledCountStartsAgain() {
        WriteTextFile(file("TagsFre.ini"), {"work=many", "work=5", "other=2"});
        open();
        m_form->IncTagFrequency("work");
        m_form->IncTagFrequency("other");
        m_form->IncTagFrequency("Work");
        QCOMPARE(ReadTextFile(file("TagsFre.ini")), (QStringList{"work=1", "work=5", "other=3", "Work=1"}));
    }

    void tagQuery_isTheTagAndEveryDescendant() {
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("a -b --c -d e"));
        open();
        QCOMPARE(TmForm::GetTagQuery(tagNode("a")), QStringLiteral("a b c d "));
        QCOMPARE(TmForm::GetTagQuery(tagNode("c")), QStringLiteral("c "));
        QVERIFY(m_form->TagInTree(QStringLiteral("D")));
        QVERIFY(!m_form->TagInTree(QStringLiteral("f")));
    }

    // Every way to rearrange the tag tree, from the menu or by a drop, on kTagTree with every branch expanded.
    // The moved node stays current and every branch stays expanded; pictures change only where a drop
    // empties or fills a group ("groups": the nodes with the group picture, all others keep the leaf picture).
    void rearranging_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("operation"); // a menu command, or "drop on " a node (none: on empty space)
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("groups");
        QTest::addColumn<bool>("changed");
        const char* same = kTagTree;
        const auto row = [](const char* name, const char* node, const char* operation, const char* shape,
                            const char* groups, bool changed) {
            QTest::newRow(name) << QString(node) << QString(operation) << QString::fromUtf8(shape) << QString(groups)
                                << changed;
        };
        row("left: branch to grandparent's front", "a2", "ItemToLeft", "r -a2 --x -a --a1 -b -c s", "r a2 a", true);
        row("right: last in previous sibling", "b", "ItemToRight", "r -a --a1 --a2 ---x --b -c s", "r a a2", true);
        row("right: branch into a leaf", "a2", "ItemToRight", "r -a --a1 ---a2 ----x -b -c s", "r a a2", true);
        row("up: before the previous sibling", "c", "ItemUp", "r -a --a1 --a2 ---x -c -b s", "r a a2", true);
        row("down: a branch after the next sibling", "a", "ItemDown", "r -b -a --a1 --a2 ---x -c s", "r a a2", true);
        row("left: a top-level node cannot", "r", "ItemToLeft", same, "r a a2", false);
        row("up: the first child cannot", "a1", "ItemUp", same, "r a a2", false);
        row("sort: saved at once", "r", "ItemSort", same, "r a a2", false);
        row("drop: an only child out, its group a leaf", "x", "drop on b", "r -a --a1 --a2 -b --x -c s", "r a b", true);
        row("drop: branch on empty space, last at top", "a", "drop on ", "r -b -c s a -a1 -a2 --x", "r a a2", true);
        row("drop: on itself, nothing moves", "a", "drop on a", same, "r a a2", true);
        row("drop: on its own descendant, nothing moves", "a", "drop on x", same, "r a a2", true);
    }
    void rearranging() {
        QFETCH(QString, node);
        QFETCH(QString, operation);
        QFETCH(QString, shape);
        QFETCH(QString, groups);
        QFETCH(bool, changed);
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf(kTagTree));
        open();
        auto* view = ctl<TagTreeWidget>(*m_form, "tagTreeView");
        view->expandAll();
        select(tagNode(node));
        if (operation.startsWith(u"drop on ")) {
            view->dropSelectedOn(operation.size() > 8 ? tagNode(operation.mid(8)) : nullptr);
        } else {
            ctl<QMenu>(*m_form, "pmNavTreeView")->findChild<QAction*>(operation)->trigger();
        }
        QCOMPARE(TreeShape(view), shape);
        QCOMPARE(view->currentItem()->text(0), node);
        QCOMPARE(m_form->tagTreeChanged(), changed);
        QStringList groupNodes;
        for (const QTreeWidgetItem* item : PreOrder(view)) {
            QVERIFY2(item->isExpanded(), qPrintable(item->text(0)));
            if (ItemImage(item) == 1) {
                groupNodes.append(item->text(0));
            } else {
                QVERIFY2(ItemImage(item) == 3, qPrintable(item->text(0)));
            }
        }
        QCOMPARE(groupNodes.join(u' '), groups);
    }

    void menuEnabling_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("enabled");
        QTest::newRow("top level, first") << "r"
                                          << "down";
        QTest::newRow("depth 1, first with children") << "a"
                                                      << "down";
        QTest::newRow("depth 1, middle") << "b"
                                         << "right up down delete";
        QTest::newRow("depth 2, first") << "a1"
                                        << "left down delete";
        QTest::newRow("depth 2, last with children") << "a2"
                                                     << "left right up";
        QTest::newRow("depth 3, only child") << "x"
                                             << "left delete";
    }
    void menuEnabling() {
        QFETCH(QString, node);
        QFETCH(QString, enabled);
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf(kTagTree));
        open();
        select(tagNode(node));
        Q_EMIT ctl<QMenu>(*m_form, "pmNavTreeView")->aboutToShow();
        QStringList found;
        const QList<std::pair<QAction*, const char*>> items{{ctl<QAction>(*m_form, "ItemToLeft"), "left"},
                                                            {ctl<QAction>(*m_form, "ItemToRight"), "right"},
                                                            {ctl<QAction>(*m_form, "ItemUp"), "up"},
                                                            {ctl<QAction>(*m_form, "ItemDown"), "down"},
                                                            {ctl<QAction>(*m_form, "ItemDelTag"), "delete"}};
        for (const auto& [item, name] : items) {
            if (item->isEnabled()) {
                found.append(QString::fromLatin1(name));
            }
        }
        QCOMPARE(found.join(u' '), enabled);
        QVERIFY(ctl<QAction>(*m_form, "ItemSort")->isEnabled());
        QVERIFY(ctl<QAction>(*m_form, "ItemCollapse")->isEnabled());
    }

    void menuCommands_withoutSelection_say() {
        open();
        ctl<TagTreeWidget>(*m_form, "tagTreeView")->clearSelection();
        ctl<TagTreeWidget>(*m_form, "tagTreeView")->setCurrentItem(nullptr);
        ctl<QAction>(*m_form, "ItemUp")->trigger();
        ctl<QAction>(*m_form, "ItemDelTag")->trigger();
        QCOMPARE(m_prompts->log, (QStringList{"info: 没有选定的标签", "info: 没有选定的标签"}));
    }

    void delete_asksFirst() {
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("r -a -b"));
        open();
        select(tagNode("a"));
        m_prompts->yesNoAnswers.enqueue(false);
        m_prompts->yesNoAnswers.enqueue(true);
        ctl<QAction>(*m_form, "ItemDelTag")->trigger();
        QCOMPARE(TreeShape(ctl<TagTreeWidget>(*m_form, "tagTreeView")), QStringLiteral("r -a -b"));
        QVERIFY(!m_form->tagTreeChanged());
        ctl<QAction>(*m_form, "ItemDelTag")->trigger();
        QCOMPARE(TreeShape(ctl<TagTreeWidget>(*m_form, "tagTreeView")), QStringLiteral("r -b"));
        QVERIFY(m_form->tagTreeChanged());
        QCOMPARE(m_prompts->log.last(), QStringLiteral("yesno: 确定要删除选定的标签吗？"));
    }

    void sortTree_writesTheFile() {
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("z -b -a m -d --y --x"));
        open();
        ctl<QAction>(*m_form, "ItemTagSort")->trigger();
        QCOMPARE(TreeShape(ctl<TagTreeWidget>(*m_form, "tagTreeView")), QStringLiteral("m -d --x --y z -a -b"));
        Tree saved;
        QVERIFY(LoadTreeFile(file(QStringLiteral("TagTVItems.dat")), saved));
        QCOMPARE(saved.front().text, QStringLiteral("m"));
        QVERIFY(!m_form->tagTreeChanged());
    }

    void sortTree_emptyTreeWritesNothing() {
        open();
        ctl<TagTreeWidget>(*m_form, "tagTreeView")->clear();
        ctl<QAction>(*m_form, "ItemSort")->trigger();
        QVERIFY(!QFile::exists(file(QStringLiteral("TagTVItems.dat"))));
    }

    void filterClicks_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("no stars") << "属性"
                                  << "无星文档" << QStringList{"c"};
        QTest::newRow("three stars") << "属性"
                                     << "三星" << QStringList{"a", "b"};
        QTest::newRow("untagged") << "属性"
                                  << "无标签文档" << QStringList{"b"};
        QTest::newRow("files written today") << "修改日期"
                                             << "今天" << QStringList{"a", "b", "c"};
        QTest::newRow("nothing found empties the list") << "属性"
                                                        << "五星" << QStringList{};
    }
    void filterClicks() {
        QFETCH(QString, group);
        QFETCH(QString, filter);
        QFETCH(QStringList, listed);
        WriteLibrary({{"a.doc", "t", 3}, {"b.doc", "", 3}, {"c.doc", "t", 0}});
        writeSettings({"LastTag=前一个", "SortType=文章标题"});
        open();
        m_form->LoadArticleList(QStringLiteral("0|%1a.doc\r\n").arg(m_docs), true);
        ctl<QTabWidget>(*m_form, "Page")->setCurrentWidget(ctl<QTreeWidget>(*m_form, "filtTreeView"));
        QTreeWidgetItem* groupNode = nullptr;
        for (QTreeWidgetItem* node : PreOrder(ctl<QTreeWidget>(*m_form, "filtTreeView"))) {
            if (node->text(0) == group) {
                groupNode = node;
            }
        }
        QTreeWidgetItem* node = nullptr;
        for (int i = 0; i < groupNode->childCount(); ++i) {
            if (groupNode->child(i)->text(0) == filter) {
                node = groupNode->child(i);
            }
        }
        click(ctl<QTreeWidget>(*m_form, "filtTreeView"), node);
        QCOMPARE(ArticleTitles(*m_form), listed);
        // The label keeps naming the last tag; after an empty result it still counts the old list.
        QCOMPARE(ctl<QLabel>(*m_form, "wzNumLabel")->text(),
                 QStringLiteral("前一个 %1条 ").arg(listed.isEmpty() ? 1 : listed.size()));
    }

    void filterGroupNodes_doNothing() {
        WriteLibrary({{"a.doc"}});
        open();
        m_form->LoadArticleList(QStringLiteral("0|%1a.doc\r\n").arg(m_docs), true);
        ctl<QTabWidget>(*m_form, "Page")->setCurrentWidget(ctl<QTreeWidget>(*m_form, "filtTreeView"));
        for (QTreeWidgetItem* node : PreOrder(ctl<QTreeWidget>(*m_form, "filtTreeView"))) {
            if (ItemDepth(node) < 2) {
                click(ctl<QTreeWidget>(*m_form, "filtTreeView"), node);
            }
        }
        QCOMPARE(ArticleTitles(*m_form), QStringList{"a"});
    }

    void sortKeys_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("order");
        // Digits, then capitals (every Chinese title's initials are capitals), then lower case.
        QTest::newRow("title ascending") << "ItemTitle" << true
                                         << QStringList{"2026计划", "北京", "长城", "Zoo", "apple"};
        QTest::newRow("title descending")
            << "ItemTitle" << false << QStringList{"apple", "Zoo", "长城", "北京", "2026计划"};
        QTest::newRow("tags ascending") << "ItemTags" << true
                                        << QStringList{"Zoo", "北京", "长城", "apple", "2026计划"};
        QTest::newRow("reads: most first when ascending")
            << "ItemReadNum" << true << QStringList{"长城", "北京", "apple", "Zoo", "2026计划"};
        QTest::newRow("reads: fewest first when descending")
            << "ItemReadNum" << false << QStringList{"2026计划", "Zoo", "apple", "北京", "长城"};
        QTest::newRow("score: five stars first")
            << "ItemScore" << true << QStringList{"Zoo", "apple", "北京", "长城", "2026计划"};
        QTest::newRow("created: latest first")
            << "ItemCrDate" << true << QStringList{"apple", "长城", "北京", "2026计划", "Zoo"};
        QTest::newRow("created: oldest first")
            << "ItemCrDate" << false << QStringList{"Zoo", "2026计划", "北京", "长城", "apple"};
    }
    void sortKeys() {
        QFETCH(QString, key);
        QFETCH(bool, ascending);
        QFETCH(QStringList, order);
        const double day = 46000.0;
        WriteLibrary({{"北京.doc", "bj", 2, 5, day + 2.25},
                      {"长城.docx", "cc", 1, 9, day + 3.5},
                      {"2026计划.doc", "x", 0, 0, day + 1.0},
                      {"apple.doc", "de", 4, 3, day + 30.0},
                      {"Zoo.doc", "", 5, 1, 100.0}});
        writeSettings({"LastTag=全部", "SortType=文章标题"});
        open();
        TWordMgr& store = m_form->store();
        QString listing;
        for (const char* name : {"北京.doc", "长城.docx", "Zoo.doc", "2026计划.doc", "apple.doc"}) {
            listing += m_docs + QString::fromUtf8(name) + u'\n';
        }
        m_form->LoadArticleList(store.GetListForLoadwzTV2(listing), true);
        if (!ascending) {
            ctl<QAction>(*m_form, "ItemSortLow")->trigger();
            QCOMPARE(ctl<QAction>(*m_form, "sortEditLeftButton")->data().toInt(), 23);
        }
        ctl<QMenu>(*m_form, "pmSort")->findChild<QAction*>(key)->trigger();
        QCOMPARE(ArticleTitles(*m_form), order);
        QCOMPARE(m_form->CheckedSortItem()->objectName(), key);
        QCOMPARE(GetSettingFromFile(), m_form->CheckedSortItem()->text());
    }

    void sortDirection_menuChangesPictureOnly_buttonFlipsAndSorts() {
        WriteLibrary({{"b.doc"}, {"a.doc"}});
        open();
        m_form->LoadArticleList(m_form->store().GetListForLoadwzTV2(m_docs + "a.doc\n" + m_docs + "b.doc"), true);
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"a", "b"}));
        ctl<QAction>(*m_form, "ItemSortLow")->trigger();
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"a", "b"}));
        ctl<QAction>(*m_form, "sortEditLeftButton")->trigger();
        QVERIFY(ctl<QAction>(*m_form, "ItemSortHigh")->isChecked());
        QCOMPARE(ctl<QAction>(*m_form, "sortEditLeftButton")->data().toInt(), 24);
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"a", "b"}));
        ctl<QAction>(*m_form, "sortEditLeftButton")->trigger();
        QVERIFY(ctl<QAction>(*m_form, "ItemSortLow")->isChecked());
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"b", "a"}));
    }

    void loadArticleList_skipsShortAndBlankLinesAndEmptyLists() {
        WriteLibrary({{"a.doc"}, {".doc"}, {"c.doc"}});
        writeSettings({"LastTag=x"});
        open();
        ctl<QLineEdit>(*m_form, "schEdit")->setText(QStringLiteral("kw"));
        m_form->LoadArticleList(QStringLiteral("0|%1a.doc\r\n1|b\r\n35|%1.doc\r\n70|%1c.doc\r\n").arg(m_docs), false);
        QCOMPARE(ArticleTitles(*m_form), (QStringList{"a", "c"}));
        QCOMPARE(ctl<QLineEdit>(*m_form, "schEdit")->text(), QStringLiteral("kw"));
        m_form->LoadArticleList(QString(), true);
        QCOMPARE(ctl<QTreeWidget>(*m_form, "wzTreeView")->topLevelItemCount(), 0);
        QCOMPARE(ctl<QLabel>(*m_form, "wzNumLabel")->text(), QStringLiteral("x 0条 "));
        QCOMPARE(ctl<QLineEdit>(*m_form, "schEdit")->text(), QString());
    }

    void settingsDialog_okWritesCancelDoesNot_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("ok") << true;
        QTest::newRow("close box") << false;
    }
    void settingsDialog_okWritesCancelDoesNot() {
        QFETCH(bool, ok);
        writeSettings({"AutoGoBack=1", "AutoSaveInterval=5"});
        open();
        QTimer::singleShot(0, this, [ok] {
            auto* dialog = qobject_cast<TfmSetting*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Velmora - 设置"));
            QVERIFY(dialog->ckGoBack->isChecked());
            QCOMPARE(dialog->svEdit->text(), QStringLiteral("5"));
            dialog->ckGoBack->setChecked(false);
            dialog->svEdit->clear();
            QTest::keyClicks(dialog->svEdit, QStringLiteral("1x0"));
            if (ok) {
                QTest::mouseClick(dialog->btOK, Qt::LeftButton);
            } else {
                dialog->reject();
            }
        });
        QTest::mouseClick(ctl<QToolButton>(*m_form, "BtnUtilities"), Qt::LeftButton);
        QCOMPARE(m_form->setting("AutoGoBack"), ok ? QStringLiteral("0") : QStringLiteral("1"));
        QCOMPARE(m_form->setting("AutoSaveInterval"), ok ? QStringLiteral("10") : QStringLiteral("5"));
        // The autosave keeps its interval until the next start.
        QCOMPARE(ctl<QTimer>(*m_form, "svTimer")->interval(), 5 * 60000);
    }

    void backup_copiesTheSmallFilesIntoTodaysFolder() {
        WriteLibrary({{"a.doc"}});
        WriteTextFile(file("macro.txt"), {"m1"});
        WriteTextFile(file("TagsFre.ini"), {"a=1"});
        WriteBytes(file("book.xlsx"), "x");
        open();
        ctl<QAction>(*m_form, "ItemBackup")->trigger();
        WriteTextFile(file("TagsFre.ini"), {"a=2"});
        ctl<QAction>(*m_form, "ItemBackup")->trigger();
        const QString dated =
            file(QStringLiteral("databackup/")) + CurrentDateTime().date().toString(QStringLiteral("yyyyMMdd"));
        QStringList copied = QDir(dated).entryList(QDir::Files, QDir::Name);
        QCOMPARE(copied, (QStringList{"TagsFre.ini", "macro.txt", "settings.ini"}));
        QCOMPARE(ReadTextFile(dated + QStringLiteral("/TagsFre.ini")), QStringList{"a=2"});
        QVERIFY(m_prompts->log.isEmpty());
    }

    // The page opens, or the user is told that nothing opened it: the opener refuses at once, or the desktop's
    // opener starts and ends with a failure.
    void updateNotice_thenOpensThePage_data() {
        QTest::addColumn<QString>("opener");
        QTest::newRow("opened") << "opens";
        QTest::newRow("no opener") << "refuses";
        QTest::newRow("the desktop's opener fails") << "exit 4";
    }
    void updateNotice_thenOpensThePage() {
        QFETCH(QString, opener);
        QTemporaryDir fakes;
        const QByteArray path = qgetenv("PATH");
        const auto restore = qScopeGuard([&] {
            qputenv("PATH", path);
            SetShellOpener([this](const QString& target) {
                m_opened.append(target);
                return true;
            });
        });
        if (opener == u"refuses") {
            SetShellOpener([](const QString&) { return false; });
        } else if (opener.startsWith(u"exit")) {
            QFile script(fakes.filePath(QStringLiteral("xdg-open")));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\n" + opener.toLatin1() + "\n");
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
            qputenv("PATH", QFile::encodeName(fakes.path()) + ':' + path);
            SetShellOpener({});
        }
        open();
        ctl<QAction>(*m_form, "ItemWeibo")->trigger();
        const QString notice = QStringLiteral("info: 请关注我的微博，跟踪最新版本，提出改进意见");
        if (opener == u"opens") {
            QCOMPARE(m_prompts->log, QStringList{notice});
            QCOMPARE(m_opened.size(), 1);
            QVERIFY(m_opened.first().startsWith(QStringLiteral("https://")));
            return;
        }
        QTRY_COMPARE(m_prompts->log.size(), 2);
        QVERIFY(m_prompts->log.last().startsWith(QStringLiteral("info: 没有可以打开网页的浏览器。网址：\nhttps://")));
    }

    void shutdown_writesExactlyWhatChanged() {
        WriteLibrary({{"a.doc", "t"}});
        writeSettings({"WinPosLTHW=", "LastNode=-1", "LastTag="});
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("r -t"));
        {
            QFile old(file(QStringLiteral("TagTVItems.dat")));
            QVERIFY(old.open(QIODevice::ReadWrite));
            QVERIFY(old.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(0, 0)), QFileDevice::FileModificationTime));
        }
        open();
        select(tagNode("t"));
        closeForm();
        QStringList files = QDir(m_appData->path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, (QStringList{"MyExcel.xlsx", "TagTVItems.dat", "help.docx", "macro.txt", "settings.ini",
                                     "worddata.data", "worddata.idx"}));
        QCOMPARE(QFileInfo(file(QStringLiteral("TagTVItems.dat"))).lastModified().date().year(), 2020);
        const QStringList settings = ReadTextFile(file(QStringLiteral("settings.ini")));
        QVERIFY(settings.contains(QStringLiteral("LastNode=1")));
        QVERIFY(settings.filter(QStringLiteral("WinPosLTHW=")).first().count(u',') == 3);

        open();
        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("t"));
        select(tagNode("t"));
        ctl<QAction>(*m_form, "ItemUp")->trigger();
        select(tagNode("r"));
        ctl<QAction>(*m_form, "ItemDown")->trigger();
        ctl<TagTreeWidget>(*m_form, "tagTreeView")->dropSelectedOn(tagNode("t"));
        closeForm();
        QVERIFY(QFileInfo(file(QStringLiteral("TagTVItems.dat"))).lastModified().date().year() != 2020);
        Tree articles;
        QVERIFY(LoadTreeFile(file(QStringLiteral("wzTVItems.dat")), articles));
        QCOMPARE(articles.size(), size_t(1));
        QCOMPARE(articles.front().text, QStringLiteral("a"));
        QCOMPARE(articles.front().image, 2);
        QCOMPARE(articles.front().state, 0);
    }

    void errorInAHandler_isReportedAndTheWindowGoesOn() {
        WriteLibrary({{"a.doc", "work"}});
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("work other"));
        // Point the record's tags at an offset past the end of the string file.
        QByteArray records = ReadBytes(file(QStringLiteral("worddata.idx")));
        records.replace(4, 4, QByteArray::fromHex("ffffff00"));
        WriteBytes(file(QStringLiteral("worddata.idx")), records);
        open();
        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("work"));
        QCOMPARE(m_prompts->log.size(), 1);
        QVERIFY2(m_prompts->log.first().startsWith(QStringLiteral("error: Velmora: ")),
                 qPrintable(m_prompts->log.first()));
        QVERIFY(m_prompts->log.first().contains(QStringLiteral("16777215")));
        QVERIFY(m_form->isVisible());
        click(ctl<TagTreeWidget>(*m_form, "tagTreeView"), tagNode("other"));
        QCOMPARE(m_prompts->log.size(), 2);
    }

private:
    QString GetSettingFromFile() {
        for (const QString& line : ReadTextFile(file(QStringLiteral("settings.ini")))) {
            if (line.startsWith(QStringLiteral("SortType="))) {
                return line.mid(9);
            }
        }
        return {};
    }
};

// The program's own application object, so that errors escaping a handler meet its error report.
int main(int argc, char* argv[]) {
    VelmoraApplication app(argc, argv);
    TestTmForm test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_tmform.moc"
