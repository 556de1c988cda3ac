// The main window's keyboard and right-click menus through its controls, against the office double.
#include "common/textcodec.h"
#include "controls.h"
#include "libraryfiles.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "tempappdata.h"
#include "treeshape.h"
#include "workbench/core/treefile.h"
#include "workbench/dialogs/information.h"
#include "workbench/navigation/treeview.h"
#include "workbench/shell.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tmform.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestWindowKeys : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<OfficeDouble> m_office;
    std::unique_ptr<TmForm> m_form;
    QStringList m_revealed;

    DocumentTabs& tabs() const { return *ctl<DocumentTabs>(*m_form, "documentTabs"); }
    QTreeWidget* articles() const { return ctl<QTreeWidget>(*m_form, "wzTreeView"); }

    // The window on a.docx (tag t) and b.docx (tag u) under the tag group r and the folder docs, both listed; the
    // articles at `opened` opened by Enter in the list, the second then left active.
    void open(const QList<int>& opened) {
        WriteLibrary({{"a.docx", "t"}, {"b.docx", "u"}});
        const QString docs = DocPath(QString());
        for (const char* name : {"a.docx", "b.docx"}) {
            m_office->disk.insert(docs + QLatin1String(name), DiskFile{QStringLiteral("text\r")});
        }
        SaveTreeFile(m_appData->file(QStringLiteral("TagTVItems.dat")), TreeOf("r -t -u"));
        WriteBytes(m_appData->file(QStringLiteral("FdTVItems.dat")), "docs\r\n");
        WriteBytes(m_appData->file(QStringLiteral("fdlist.dat")), EncodeAnsi(QString(docs + QStringLiteral("\r\n"))));
        m_form = std::make_unique<TmForm>();
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        m_form->tagTreeViewClick(m_form->FindTagNode(QStringLiteral("r")), {});
        for (const int row : opened) {
            articles()->setCurrentItem(articles()->topLevelItem(row));
            QTest::keyClick(articles(), Qt::Key_Return);
        }
    }

    static QString nameOf(const QWidget* widget) {
        if (widget == nullptr) {
            return QStringLiteral("(none)");
        }
        const bool bar = qobject_cast<const QTabBar*>(widget) != nullptr;
        return bar ? widget->parentWidget()->objectName() + QStringLiteral(".tabs") : widget->objectName();
    }

    // What the keys and the menus change, in one line.
    QString state() {
        QStringList open, saved, listed, tags, folders;
        for (int i = 0; i < tabs().tabCount(); ++i) {
            open.append(tabs().tabAt(i)->caption);
        }
        for (const auto& document : m_office->word().documents) {
            if (document->saveCount > 0) {
                saved.append(document->name);
            }
        }
        for (int i = 0; i < articles()->topLevelItemCount(); ++i) {
            listed.append(articles()->topLevelItem(i)->text(0));
        }
        for (const QTreeWidgetItem* node : PreOrder(ctl<QTreeWidget>(*m_form, "tagTreeView"))) {
            tags.append(QString(ItemDepth(node), u'-') + node->text(0));
        }
        for (const QTreeWidgetItem* node : PreOrder(ctl<QTreeWidget>(*m_form, "fdTreeView"))) {
            folders.append(node->text(0));
        }
        const Information* info = m_form->findChild<Information*>();
        return QStringLiteral("tabs:%1 active:%2 saved:%3 goback:%4 articles:%5 tags:%6 folders:%7 info:%8 shown:%9")
            .arg(open.join(u','), tabs().tabCount() > 0 ? tabs().activeTab()->caption : QString(), saved.join(u','))
            .arg(m_office->word().goBackCount)
            .arg(listed.join(u','), tags.join(u','), folders.join(u','))
            .arg(info->form() != nullptr && info->form()->isVisible() ? 1 : 0)
            .arg(m_revealed.join(u','));
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        InstallPrompts(m_prompts.get());
        m_office = std::make_unique<OfficeDouble>();
        m_office->startWord();
        m_revealed.clear();
        SetFileRevealer([this](const QString& path) {
            m_revealed.append(QFileInfo(path).fileName());
            return true;
        });
    }
    void cleanup() {
        m_form.reset();
        m_office.reset();
        InstallPrompts(nullptr);
        SetFileRevealer({});
        QVERIFY2(m_prompts->yesNoAnswers.isEmpty(), "unused answers");
    }

    // Tab (or Shift+Tab) from the search box goes round the areas and back: never into a document's page, whose
    // office would keep the keys, and on out of the shortcut grid. An option group is one stop, as in Qt's own Tab.
    void tabRound_goesRoundTheAreas_data() {
        QTest::addColumn<QList<int>>("opened");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QStringList>("round");
        const QStringList middle{"rzGrid",   "Page.tabs", "tagTreeView",      "sortEdit", "wzTreeView",
                                 "btGroup1", "btGroup2",  "btGroup3",         "btGroup4", "btGroup5",
                                 "psEdit",   "btPSView",  "btSaveTagScorePS", "btAddTag", "tagEdit"};
        QStringList back;
        std::copy(middle.crbegin(), middle.crend(), std::back_inserter(back));
        QTest::newRow("no document, forward") << QList<int>{} << true
                                              << QStringList{"schEdit",    "rAllDoc", "btSearchInfo", "ckAllText",
                                                             "ckFileName", "ckTag",   "ckPinyin",     "rAorB"} +
                                                     middle;
        QTest::newRow("two documents, backward")
            << QList<int>{0, 1} << false
            << QStringList{"schEdit", "Pager.tabs"} + back +
                   QStringList{"rWhole", "ckPinyin", "ckTag", "ckFileName", "ckAllText", "btSearchInfo", "rCurrList"};
    }
    void tabRound_goesRoundTheAreas() {
        QFETCH(QList<int>, opened);
        QFETCH(bool, forward);
        QFETCH(QStringList, round);
        open(opened);
        ctl(*m_form, "schEdit")->setFocus(Qt::OtherFocusReason);
        QStringList visited{nameOf(QApplication::focusWidget())};
        for (qsizetype i = 0; i < round.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
            visited.append(nameOf(QApplication::focusWidget()));
        }
        QCOMPARE(visited, round + QStringList{QStringLiteral("schEdit")});
        QCOMPARE(tabs().tabCount(), opened.size());
    }

    // F6 goes to the next area's first control, round from the tabs to the search box; Shift+F6 back.
    void areaKeys_goFromAreaToArea_data() {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QStringList>("round");
        QTest::newRow("F6") << true << QStringList{"rzGrid", "sortEdit", "btGroup1", "Pager.tabs", "schEdit"};
        QTest::newRow("Shift+F6") << false << QStringList{"Pager.tabs", "btGroup1", "sortEdit", "rzGrid", "schEdit"};
    }
    void areaKeys_goFromAreaToArea() {
        QFETCH(bool, forward);
        QFETCH(QStringList, round);
        open({0});
        ctl(*m_form, "schEdit")->setFocus(Qt::OtherFocusReason);
        QStringList visited;
        for (qsizetype i = 0; i < round.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, forward ? Qt::NoModifier : Qt::ShiftModifier);
            visited.append(nameOf(QApplication::focusWidget()));
        }
        QCOMPARE(visited, round);
    }

    // The document keys act from the list or the search box; Enter and the keys the window had keep working.
    void commandKeys_actOnTheTabs_data() {
        QTest::addColumn<QList<int>>("opened");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("expected");
        const QList<int> none, both{0, 1};
        QTest::newRow("Ctrl+N") << none << "wzTreeView" << QKeySequence("Ctrl+N") << "tabs:文档1 active:文档1 saved:";
        QTest::newRow("Ctrl+S") << both << "schEdit" << QKeySequence("Ctrl+S") << "tabs:a,b active:b saved:b.docx";
        QTest::newRow("Ctrl+W") << both << "wzTreeView" << QKeySequence("Ctrl+W") << "tabs:a active:a saved:";
        QTest::newRow("Ctrl+Tab") << both << "schEdit" << QKeySequence("Ctrl+Tab") << "tabs:a,b active:a saved:";
        QTest::newRow("Ctrl+Shift+Tab") << both << "wzTreeView" << QKeySequence("Ctrl+Shift+Tab")
                                        << "tabs:a,b active:a saved:";
        QTest::newRow("Enter") << none << "wzTreeView" << QKeySequence(Qt::Key_Return) << "tabs:a active:a saved:";
        QTest::newRow("Ctrl+B") << both << "wzTreeView" << QKeySequence("Ctrl+B") << "active:b saved: goback:1";
    }
    void commandKeys_actOnTheTabs() {
        QFETCH(QList<int>, opened);
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        QFETCH(QString, expected);
        open(opened);
        articles()->setCurrentItem(articles()->topLevelItem(0));
        ctl(*m_form, focus)->setFocus(Qt::OtherFocusReason);
        QTest::keySequence(ctl(*m_form, focus), key);
        QVERIFY2(state().contains(expected), qPrintable(state()));
    }

    // The office's own commands of a document in a tab (its keys, menus, window close) run the window's items for
    // that document's tab, as the window's keys do; while a dialog of the window is up they rest.
    void officeCommands_runTheWindowsItems_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("document");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Save of the other tab") << "Save" << 0 << "tabs:a,b active:a saved:a.docx";
        QTest::newRow("Close") << "Close" << 1 << "tabs:a active:a saved:";
        QTest::newRow("NextTab") << "NextTab" << 1 << "tabs:a,b active:a saved:";
        QTest::newRow("New") << "New" << 0 << "tabs:a,b,文档1 active:文档1 saved:";
        QTest::newRow("unknown") << "Frobnicate" << 0 << "tabs:a,b active:b saved:";
        QTest::newRow("while a dialog is up") << "Close modal" << 1 << "tabs:a,b active:b saved:";
    }
    void officeCommands_runTheWindowsItems() {
        QFETCH(QString, command);
        QFETCH(int, document);
        QFETCH(QString, expected);
        open({0, 1});
        const auto& doc = m_office->word().documents.at(document);
        QVERIFY(doc->commandSink);
        QDialog modal(m_form.get());
        if (command.endsWith(u" modal")) {
            modal.setModal(true);
            modal.show();
            command.chop(6);
        }
        doc->commandSink->callMethod(QStringLiteral("Command"), {command, doc->fullName}, {});
        // The office's call returns before the window acts.
        QVERIFY(!state().contains(expected) || command == u"Frobnicate" || modal.isVisible());
        QTest::qWait(50);
        QVERIFY2(state().contains(expected), qPrintable(state()));
    }

    // Right-click shows an area's menu, its items named by their captions; the command chosen in it does what the
    // toolbar's or the main menu's does, for the node clicked (on empty space: for none).
    void contextMenus_showAndRun_data() {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("node");
        QTest::addColumn<QList<int>>("opened");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("expected");
        const QStringList tagItems{"标签节点排序", "折叠所有标签", "当前标签添加到快捷方式", "当前节点向左",
                                   "当前节点向右", "当前节点向上", "当前节点向下",           "删除当前标签"};
        const QStringList folderItems{"新建文件夹", "在选定文件夹下新建子文件夹", "加入已有文件夹（不移动不复制）",
                                      "移除选定文件夹（不删除文件夹）", "将当前文章列表里的所有文档移动到选定文件夹里"};
        const QStringList articleItems{"打开", "文档信息", "定位", "从资料库中移除"};
        const QList<int> none, both{0, 1};
        QTest::newRow("tag") << "tagTreeView"
                             << "u" << none << tagItems << "删除当前标签"
                             << "tags:r,-t folders:docs";
        QTest::newRow("tag tree, empty space") << "tagTreeView"
                                               << "" << none << tagItems << "删除当前标签"
                                               << "tags:r,-t,-u folders:docs";
        QTest::newRow("folder") << "fdTreeView"
                                << "docs" << none << folderItems << "移除选定文件夹（不删除文件夹）"
                                << "folders: info";
        QTest::newRow("article, open") << "wzTreeView"
                                       << "b" << none << articleItems << "打开"
                                       << "tabs:b active:b";
        QTest::newRow("open article, open") << "wzTreeView"
                                            << "a" << both << articleItems << "打开"
                                            << "tabs:a,b active:a";
        QTest::newRow("open article, information") << "wzTreeView"
                                                   << "a" << both << articleItems << "文档信息"
                                                   << "active:a saved: goback:0 articles:a,b tags:r,-t,-u "
                                                      "folders:docs info:1";
        QTest::newRow("article, locate") << "wzTreeView"
                                         << "b" << none << articleItems << "定位"
                                         << "shown:b.docx";
        QTest::newRow("article, remove") << "wzTreeView"
                                         << "a" << none << articleItems << "从资料库中移除"
                                         << "tabs: active: saved: goback:0 articles:b tags";
        QTest::newRow("open article, remove") << "wzTreeView"
                                              << "b" << both << articleItems << "从资料库中移除"
                                              << "tabs:a active:a saved: goback:0 articles:a tags";
        QTest::newRow("article list, empty space") << "wzTreeView"
                                                   << "" << none << QStringList{} << ""
                                                   << "tabs: active: saved: goback:0 articles:a,b";
    }
    void contextMenus_showAndRun() {
        QFETCH(QString, view);
        QFETCH(QString, node);
        QFETCH(QList<int>, opened);
        QFETCH(QStringList, captions);
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        open(opened);
        auto* tree = ctl<QTreeWidget>(*m_form, view);
        ctl<QTabWidget>(*m_form, "Page")->setCurrentWidget(view == u"fdTreeView" ? tree->parentWidget() : tree);
        tree->expandAll();
        const QList<QTreeWidgetItem*> found = tree->findItems(node, Qt::MatchExactly | Qt::MatchRecursive);
        const QPoint at =
            node.isEmpty() ? QPoint(5, tree->viewport()->height() - 3) : tree->visualItemRect(found.value(0)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &click);
        QMenu* menu = nullptr;
        for (QMenu* shown : m_form->findChildren<QMenu*>()) {
            menu = shown->isVisible() ? shown : menu;
        }
        QCOMPARE(menu != nullptr, !captions.isEmpty());
        if (menu != nullptr) {
            QStringList spoken;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(menu);
            for (int i = 0; i < accessible->childCount(); ++i) {
                if (QAccessibleInterface* item = accessible->child(i); item->role() != QAccessible::Separator) {
                    spoken.append(item->text(QAccessible::Name));
                }
            }
            QCOMPARE(spoken, captions);
            const QList<QAction*> items = menu->actions();
            QAction* item = *std::find_if(items.begin(), items.end(), [&](QAction* a) { return a->text() == chosen; });
            QVERIFY(item->isEnabled());
            m_prompts->yesNoAnswers.enqueue(true);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
            QTRY_VERIFY(!menu->isVisible());
            if (m_prompts->log.filter(QStringLiteral("yesno:")).isEmpty()) {
                m_prompts->yesNoAnswers.clear();
            }
        }
        QVERIFY2(state().contains(expected), qPrintable(state()));
        if (node.isEmpty() && view == u"tagTreeView") {
            // Deleting on empty space deletes no tag that was chosen before: it says that none is chosen.
            QCOMPARE(m_prompts->log, QStringList{QStringLiteral("info: 没有选定的标签")});
        }
    }
};

QTEST_MAIN(TestWindowKeys)
#include "tst_windowkeys.moc"
