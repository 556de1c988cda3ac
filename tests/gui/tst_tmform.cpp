#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/textcodec.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/application.h"
#include "workbench/core/treefile.h"
#include "workbench/fmsetting.h"
#include "workbench/shell.h"
#include "workbench/tagtreewidget.h"
#include "workbench/tmform.h"
#include "workbench/treeview.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Doc {
    QString name;
    QString tags = {};
    quint8 score = 0;
    quint16 reads = 0;
    double created = 0.0;
};

// "a,b(c,d(e)),f" style trees are hard to read; trees here are lists of (depth, text).
Tree treeOf(const QList<std::pair<int, QString>>& lines) {
    QByteArray text;
    for (const auto& [depth, name] : lines) {
        text += QByteArray(depth, '\t') + name.toUtf8() + "\r\n";
    }
    const QByteArray withMark = QByteArray("\xEF\xBB\xBF") + text;
    Tree tree = DecodeTreeText(withMark);
    std::function<void(Tree&)> images = [&images](Tree& nodes) {
        for (TreeNode& node : nodes) {
            node.image = node.children.empty() ? 3 : 1;
            images(node.children);
        }
    };
    images(tree);
    return tree;
}

QString treeShape(const QTreeWidget* view) {
    QStringList lines;
    for (const QTreeWidgetItem* item : PreOrder(view)) {
        lines.append(QString(ItemDepth(item), u'-') + item->text(0));
    }
    return lines.join(u' ');
}

QStringList articleTexts(const QTreeWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        texts.append(list->topLevelItem(i)->text(0));
    }
    return texts;
}

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

    void writeLibrary(const QList<Doc>& docs) {
        TWordMgr store(file(QStringLiteral("worddata.data")));
        for (const Doc& doc : docs) {
            const QString path = m_docs + doc.name;
            WriteBytes(path, "x");
            // Written "today" by the program's clock, which the test fixes.
            if (QFile written(path); written.open(QIODevice::ReadWrite)) {
                QVERIFY(written.setFileTime(CurrentDateTime(), QFileDevice::FileModificationTime));
            }
            const qint64 pos = store.ImportAWord(path, doc.tags, QString(), doc.score);
            for (int i = 0; i < doc.reads; ++i) {
                store.IncADigitItem(pos, wdiReadTimes, true);
            }
            if (doc.created != 0.0) {
                store.SetDateTime(pos, wdiCreateTime, doc.created, true);
            }
        }
        store.SaveRecDataFiles(false);
    }

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

    // The window's controls by their names, wherever their area keeps them.
    template <typename T>
    T* ctl(const char* name) const {
        T* found = m_form->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) {
            qFatal("no control %s", name);
        }
        return found;
    }

    QTreeWidgetItem* tagNode(const QString& text) { return m_form->FindTagNode(text); }

    void click(QTreeWidget* tree, QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QVERIFY(item != nullptr);
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers, tree->visualItemRect(item).center());
    }

    void select(QTreeWidgetItem* item) {
        ctl<TagTreeWidget>("tagTreeView")->setCurrentItem(item);
        item->setSelected(true);
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_docs = m_appData->file(QStringLiteral("docs/"));
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
        QCOMPARE(ctl<QTimer>("svTimer")->interval(), 5 * 60000);
        QCOMPARE(ctl<QLineEdit>("sortEdit")->text(), QStringLiteral("按 文章标题 排序"));
        QCOMPARE(treeShape(ctl<TagTreeWidget>("tagTreeView")), QStringLiteral("标签分类"));
        QVERIFY(ctl<QLabel>("wzNumLabel")->isHidden());
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
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), treeOf({{0, "标签分类"}, {1, "a"}, {2, "b"}, {1, "c"}}));
        open();
        QTreeWidgetItem* current = ctl<TagTreeWidget>("tagTreeView")->currentItem();
        QCOMPARE(current != nullptr ? current->text(0) : QString(), selected);
        QCOMPARE(ctl<QTimer>("svTimer")->interval(), interval);
        QCOMPARE(ctl<QTimer>("svTimer")->isActive(), interval > 0);
        QCOMPARE(ctl<QLineEdit>("sortEdit")->text(), sortText);
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
        QCOMPARE(treeShape(ctl<TagTreeWidget>("tagTreeView")), QStringLiteral("标签分类"));
        QCOMPARE(ctl<QTreeWidget>("wzTreeView")->topLevelItemCount(), 0);
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
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"北京", "长城"}));
        QCOMPARE(ItemState(ctl<QTreeWidget>("wzTreeView")->topLevelItem(1)), 35);
        QCOMPARE(ctl<QLabel>("wzNumLabel")->text(), QStringLiteral("旅行 2条 "));
        QVERIFY(ctl<QLabel>("wzNumLabel")->isVisible());
        QCOMPARE(treeShape(ctl<QTreeWidget>("fdTreeView")), QStringLiteral("笔记 -旅行 工作"));
        QCOMPARE(ItemImage(ctl<QTreeWidget>("fdTreeView")->topLevelItem(0)), 33);
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
        writeLibrary(
            {{"a.doc", "work"}, {"b.doc", "report"}, {"c.doc", "other"}, {"notes/d.doc", "notes"}, {"e.doc", "rep"}});
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")),
                     treeOf({{0, "标签分类"}, {1, "work"}, {2, "report"}, {1, "notes"}, {1, "empty"}}));
        writeSettings({"LastTag=", "SortType=文章标题"});
        open();
        ctl<TagTreeWidget>("tagTreeView")->expandAll();

        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("work"));
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"a", "b"}));
        QCOMPARE(ctl<QLabel>("wzNumLabel")->text(), QStringLiteral("work 2条 "));
        QCOMPARE(m_form->setting("LastTag"), QStringLiteral("work"));
        QCOMPARE(ReadTextFile(file("TagsFre.ini")), QStringList{"work=1"});

        // The list already shown is not asked for again, nor counted.
        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("work"));
        QCOMPARE(ReadTextFile(file("TagsFre.ini")), QStringList{"work=1"});

        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("report"));
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), QStringList{"b"});
        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("work"), Qt::ControlModifier);
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), QStringList{"a"});
        QCOMPARE(ReadTextFile(file("TagsFre.ini")), (QStringList{"work=2", "report=1"}));

        // Shift adds the documents one of whose tags lies in their own path: d.doc is in notes/.
        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("report"), Qt::ShiftModifier);
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"b", "d"}));

        // A tag that lists nothing changes nothing.
        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("empty"));
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"b", "d"}));
        QCOMPARE(ctl<QLabel>("wzNumLabel")->text(), QStringLiteral("report 2条 "));
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
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")),
                     treeOf({{0, "a"}, {1, "b"}, {2, "c"}, {1, "d"}, {0, "e"}}));
        open();
        QCOMPARE(TmForm::GetTagQuery(tagNode("a")), QStringLiteral("a b c d "));
        QCOMPARE(TmForm::GetTagQuery(tagNode("c")), QStringLiteral("c "));
        QVERIFY(m_form->TagInTree(QStringLiteral("D")));
        QVERIFY(!m_form->TagInTree(QStringLiteral("f")));
    }

    void moves_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("move");
        QTest::addColumn<QString>("shape");
        // Tree: r( a( a1 a2( x ) ) b c )
        QTest::newRow("left to the grandparent's front") << "a2"
                                                         << "ItemToLeft"
                                                         << "r -a2 --x -a --a1 -b -c";
        QTest::newRow("right into the previous sibling") << "b"
                                                         << "ItemToRight"
                                                         << "r -a --a1 --a2 ---x --b -c";
        QTest::newRow("up before the previous sibling") << "c"
                                                        << "ItemUp"
                                                        << "r -a --a1 --a2 ---x -c -b";
        QTest::newRow("down after the next sibling") << "a"
                                                     << "ItemDown"
                                                     << "r -b -a --a1 --a2 ---x -c";
        QTest::newRow("top-level node cannot go left") << "r"
                                                       << "ItemToLeft"
                                                       << "r -a --a1 --a2 ---x -b -c";
        QTest::newRow("first child cannot go up") << "a1"
                                                  << "ItemUp"
                                                  << "r -a --a1 --a2 ---x -b -c";
    }
    void moves() {
        QFETCH(QString, node);
        QFETCH(QString, move);
        QFETCH(QString, shape);
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")),
                     treeOf({{0, "r"}, {1, "a"}, {2, "a1"}, {2, "a2"}, {3, "x"}, {1, "b"}, {1, "c"}}));
        open();
        select(tagNode(node));
        const QString before = treeShape(ctl<TagTreeWidget>("tagTreeView"));
        ctl<QMenu>("pmNavTreeView")->findChild<QAction*>(move)->trigger();
        QCOMPARE(treeShape(ctl<TagTreeWidget>("tagTreeView")), shape);
        QCOMPARE(m_form->tagTreeChanged(), shape != before);
        QCOMPARE(ctl<TagTreeWidget>("tagTreeView")->currentItem()->text(0), node);
        // Moving keeps the pictures.
        QCOMPARE(ItemImage(tagNode("a2")), 1);
        QCOMPARE(ItemImage(tagNode("b")), 3);
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
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")),
                     treeOf({{0, "r"}, {1, "a"}, {2, "a1"}, {2, "a2"}, {3, "x"}, {1, "b"}, {1, "c"}, {0, "s"}}));
        open();
        select(tagNode(node));
        Q_EMIT ctl<QMenu>("pmNavTreeView")->aboutToShow();
        QStringList found;
        const QList<std::pair<QAction*, const char*>> items{{ctl<QAction>("ItemToLeft"), "left"},
                                                            {ctl<QAction>("ItemToRight"), "right"},
                                                            {ctl<QAction>("ItemUp"), "up"},
                                                            {ctl<QAction>("ItemDown"), "down"},
                                                            {ctl<QAction>("ItemDelTag"), "delete"}};
        for (const auto& [item, name] : items) {
            if (item->isEnabled()) {
                found.append(QString::fromLatin1(name));
            }
        }
        QCOMPARE(found.join(u' '), enabled);
        QVERIFY(ctl<QAction>("ItemSort")->isEnabled());
        QVERIFY(ctl<QAction>("ItemCollapse")->isEnabled());
    }

    void menuCommands_withoutSelection_say() {
        open();
        ctl<TagTreeWidget>("tagTreeView")->clearSelection();
        ctl<TagTreeWidget>("tagTreeView")->setCurrentItem(nullptr);
        ctl<QAction>("ItemUp")->trigger();
        ctl<QAction>("ItemDelTag")->trigger();
        QCOMPARE(m_prompts->log, (QStringList{"info: 没有选定的标签", "info: 没有选定的标签"}));
    }

    void delete_asksFirst() {
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), treeOf({{0, "r"}, {1, "a"}, {1, "b"}}));
        open();
        select(tagNode("a"));
        m_prompts->yesNoAnswers.enqueue(false);
        m_prompts->yesNoAnswers.enqueue(true);
        ctl<QAction>("ItemDelTag")->trigger();
        QCOMPARE(treeShape(ctl<TagTreeWidget>("tagTreeView")), QStringLiteral("r -a -b"));
        QVERIFY(!m_form->tagTreeChanged());
        ctl<QAction>("ItemDelTag")->trigger();
        QCOMPARE(treeShape(ctl<TagTreeWidget>("tagTreeView")), QStringLiteral("r -b"));
        QVERIFY(m_form->tagTreeChanged());
        QCOMPARE(m_prompts->log.last(), QStringLiteral("yesno: 确定要删除选定的标签吗？"));
    }

    void drops_data() {
        QTest::addColumn<QString>("dragged");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("images");
        // Tree: r( g( only ) leaf ) s ; images of g, leaf, r after the drop.
        QTest::newRow("only child out: its group becomes a leaf") << "only"
                                                                  << "leaf"
                                                                  << "r -g -leaf --only s"
                                                                  << "3 1 1";
        QTest::newRow("onto empty space: last top-level node") << "g"
                                                               << ""
                                                               << "r -leaf s g -only"
                                                               << "1 3 1";
        QTest::newRow("onto itself: nothing moves") << "g"
                                                    << "g"
                                                    << "r -g --only -leaf s"
                                                    << "1 3 1";
        QTest::newRow("onto its own descendant: nothing moves") << "g"
                                                                << "only"
                                                                << "r -g --only -leaf s"
                                                                << "1 3 1";
    }
    void drops() {
        QFETCH(QString, dragged);
        QFETCH(QString, target);
        QFETCH(QString, shape);
        QFETCH(QString, images);
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")),
                     treeOf({{0, "r"}, {1, "g"}, {2, "only"}, {1, "leaf"}, {0, "s"}}));
        open();
        select(tagNode(dragged));
        ctl<TagTreeWidget>("tagTreeView")->dropSelectedOn(target.isEmpty() ? nullptr : tagNode(target));
        QCOMPARE(treeShape(ctl<TagTreeWidget>("tagTreeView")), shape);
        QCOMPARE(QStringLiteral("%1 %2 %3")
                     .arg(ItemImage(tagNode("g")))
                     .arg(ItemImage(tagNode("leaf")))
                     .arg(ItemImage(tagNode("r"))),
                 images);
        QVERIFY(m_form->tagTreeChanged());
    }

    void sortTree_writesTheFile() {
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")),
                     treeOf({{0, "z"}, {1, "b"}, {1, "a"}, {0, "m"}, {1, "d"}, {2, "y"}, {2, "x"}}));
        open();
        ctl<QAction>("ItemTagSort")->trigger();
        QCOMPARE(treeShape(ctl<TagTreeWidget>("tagTreeView")), QStringLiteral("m -d --x --y z -a -b"));
        Tree saved;
        QVERIFY(LoadTreeFile(file(QStringLiteral("TagTVItems.dat")), saved));
        QCOMPARE(saved.front().text, QStringLiteral("m"));
        QVERIFY(!m_form->tagTreeChanged());
    }

    void sortTree_emptyTreeWritesNothing() {
        open();
        ctl<TagTreeWidget>("tagTreeView")->clear();
        ctl<QAction>("ItemSort")->trigger();
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
        writeLibrary({{"a.doc", "t", 3}, {"b.doc", "", 3}, {"c.doc", "t", 0}});
        writeSettings({"LastTag=前一个", "SortType=文章标题"});
        open();
        m_form->LoadArticleList(QStringLiteral("0|%1a.doc\r\n").arg(m_docs), true);
        ctl<QTabWidget>("Page")->setCurrentWidget(ctl<QTreeWidget>("filtTreeView"));
        QTreeWidgetItem* groupNode = nullptr;
        for (QTreeWidgetItem* node : PreOrder(ctl<QTreeWidget>("filtTreeView"))) {
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
        click(ctl<QTreeWidget>("filtTreeView"), node);
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), listed);
        // The label keeps naming the last tag; after an empty result it still counts the old list.
        QCOMPARE(ctl<QLabel>("wzNumLabel")->text(),
                 QStringLiteral("前一个 %1条 ").arg(listed.isEmpty() ? 1 : listed.size()));
    }

    void filterGroupNodes_doNothing() {
        writeLibrary({{"a.doc"}});
        open();
        m_form->LoadArticleList(QStringLiteral("0|%1a.doc\r\n").arg(m_docs), true);
        ctl<QTabWidget>("Page")->setCurrentWidget(ctl<QTreeWidget>("filtTreeView"));
        for (QTreeWidgetItem* node : PreOrder(ctl<QTreeWidget>("filtTreeView"))) {
            if (ItemDepth(node) < 2) {
                click(ctl<QTreeWidget>("filtTreeView"), node);
            }
        }
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), QStringList{"a"});
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
        writeLibrary({{"北京.doc", "bj", 2, 5, day + 2.25},
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
            ctl<QAction>("ItemSortLow")->trigger();
            QCOMPARE(ctl<QAction>("sortEditLeftButton")->data().toInt(), 23);
        }
        ctl<QMenu>("pmSort")->findChild<QAction*>(key)->trigger();
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), order);
        QCOMPARE(m_form->CheckedSortItem()->objectName(), key);
        QCOMPARE(GetSettingFromFile(), m_form->CheckedSortItem()->text());
    }

    void sortDirection_menuChangesPictureOnly_buttonFlipsAndSorts() {
        writeLibrary({{"b.doc"}, {"a.doc"}});
        open();
        m_form->LoadArticleList(m_form->store().GetListForLoadwzTV2(m_docs + "a.doc\n" + m_docs + "b.doc"), true);
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"a", "b"}));
        ctl<QAction>("ItemSortLow")->trigger();
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"a", "b"}));
        ctl<QAction>("sortEditLeftButton")->trigger();
        QVERIFY(ctl<QAction>("ItemSortHigh")->isChecked());
        QCOMPARE(ctl<QAction>("sortEditLeftButton")->data().toInt(), 24);
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"a", "b"}));
        ctl<QAction>("sortEditLeftButton")->trigger();
        QVERIFY(ctl<QAction>("ItemSortLow")->isChecked());
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"b", "a"}));
    }

    void loadArticleList_skipsShortAndBlankLinesAndEmptyLists() {
        writeLibrary({{"a.doc"}, {".doc"}, {"c.doc"}});
        writeSettings({"LastTag=x"});
        open();
        ctl<QLineEdit>("schEdit")->setText(QStringLiteral("kw"));
        m_form->LoadArticleList(QStringLiteral("0|%1a.doc\r\n1|b\r\n35|%1.doc\r\n70|%1c.doc\r\n").arg(m_docs), false);
        QCOMPARE(articleTexts(ctl<QTreeWidget>("wzTreeView")), (QStringList{"a", "c"}));
        QCOMPARE(ctl<QLineEdit>("schEdit")->text(), QStringLiteral("kw"));
        m_form->LoadArticleList(QString(), true);
        QCOMPARE(ctl<QTreeWidget>("wzTreeView")->topLevelItemCount(), 0);
        QCOMPARE(ctl<QLabel>("wzNumLabel")->text(), QStringLiteral("x 0条 "));
        QCOMPARE(ctl<QLineEdit>("schEdit")->text(), QString());
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
        QTest::mouseClick(ctl<QToolButton>("BtnUtilities"), Qt::LeftButton);
        QCOMPARE(m_form->setting("AutoGoBack"), ok ? QStringLiteral("0") : QStringLiteral("1"));
        QCOMPARE(m_form->setting("AutoSaveInterval"), ok ? QStringLiteral("10") : QStringLiteral("5"));
        // The autosave keeps its interval until the next start.
        QCOMPARE(ctl<QTimer>("svTimer")->interval(), 5 * 60000);
    }

    void backup_copiesTheSmallFilesIntoTodaysFolder() {
        writeLibrary({{"a.doc"}});
        WriteTextFile(file("macro.txt"), {"m1"});
        WriteTextFile(file("TagsFre.ini"), {"a=1"});
        WriteBytes(file("book.xlsx"), "x");
        open();
        ctl<QAction>("ItemBackup")->trigger();
        WriteTextFile(file("TagsFre.ini"), {"a=2"});
        ctl<QAction>("ItemBackup")->trigger();
        const QString dated =
            file(QStringLiteral("databackup/")) + CurrentDateTime().date().toString(QStringLiteral("yyyyMMdd"));
        QStringList copied = QDir(dated).entryList(QDir::Files, QDir::Name);
        QCOMPARE(copied, (QStringList{"TagsFre.ini", "macro.txt", "settings.ini"}));
        QCOMPARE(ReadTextFile(dated + QStringLiteral("/TagsFre.ini")), QStringList{"a=2"});
        QVERIFY(m_prompts->log.isEmpty());
    }

    void updateNotice_thenOpensThePage() {
        open();
        ctl<QAction>("ItemWeibo")->trigger();
        QCOMPARE(m_prompts->log, QStringList{"info: 请关注我的微博，跟踪最新版本，提出改进意见"});
        QCOMPARE(m_opened.size(), 1);
        QVERIFY(m_opened.first().startsWith(QStringLiteral("https://")));
    }

    void shutdown_writesExactlyWhatChanged() {
        writeLibrary({{"a.doc", "t"}});
        writeSettings({"WinPosLTHW=", "LastNode=-1", "LastTag="});
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), treeOf({{0, "r"}, {1, "t"}}));
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
        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("t"));
        select(tagNode("t"));
        ctl<QAction>("ItemUp")->trigger();
        select(tagNode("r"));
        ctl<QAction>("ItemDown")->trigger();
        ctl<TagTreeWidget>("tagTreeView")->dropSelectedOn(tagNode("t"));
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
        writeLibrary({{"a.doc", "work"}});
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), treeOf({{0, "work"}, {0, "other"}}));
        // Point the record's tags at an offset past the end of the string file.
        QByteArray records = ReadBytes(file(QStringLiteral("worddata.idx")));
        records.replace(4, 4, QByteArray::fromHex("ffffff00"));
        WriteBytes(file(QStringLiteral("worddata.idx")), records);
        open();
        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("work"));
        QCOMPARE(m_prompts->log.size(), 1);
        QVERIFY2(m_prompts->log.first().startsWith(QStringLiteral("error: Velmora: ")),
                 qPrintable(m_prompts->log.first()));
        QVERIFY(m_prompts->log.first().contains(QStringLiteral("16777215")));
        QVERIFY(m_form->isVisible());
        click(ctl<TagTreeWidget>("tagTreeView"), tagNode("other"));
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
