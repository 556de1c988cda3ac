// The main window's keyboard and right-click menus through its controls, against the office double.
#include "common/textcodec.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/core/treefile.h"
#include "workbench/documenttabs.h"
#include "workbench/information.h"
#include "workbench/shell.h"
#include "workbench/tmform.h"
#include "workbench/treeview.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

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

    QString file(const QString& name) const { return m_appData->file(name); }
    QString doc(const QString& name) const { return file(QStringLiteral("docs/")) + name; }
    template <typename T>
    T* ctl(const QString& name) const {
        T* found = m_form->findChild<T*>(name);
        if (found == nullptr) {
            qFatal("no control %s", qPrintable(name));
        }
        return found;
    }
    DocumentTabs& tabs() const { return *ctl<DocumentTabs>(QStringLiteral("documentTabs")); }
    QTreeWidget* articles() const { return ctl<QTreeWidget>(QStringLiteral("wzTreeView")); }

    // A library of a.docx (tag t) and b.docx (tag u) under the tag group r, the folder docs in the folder tree,
    // and the window on it with both documents listed.
    void open() {
        QDir().mkpath(doc(QString()));
        {
            TWordMgr store(file(QStringLiteral("worddata.data")));
            for (const char* tag : {"t", "u"}) {
                const QString path = doc(QLatin1String(tag[0] == 't' ? "a.docx" : "b.docx"));
                WriteBytes(path, "x");
                m_office->disk.insert(path, DiskFile{QStringLiteral("text\r")});
                store.ImportAWord(path, QString::fromLatin1(tag), QString(), 0);
            }
            store.SaveRecDataFiles(false);
        }
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), DecodeTreeText(QByteArray("r\r\n\tt\r\n\tu\r\n")));
        WriteBytes(file(QStringLiteral("FdTVItems.dat")), "docs\r\n");
        WriteBytes(file(QStringLiteral("fdlist.dat")), EncodeAnsi(QString(doc(QString()) + QStringLiteral("\r\n"))));
        m_form = std::make_unique<TmForm>();
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        auto* tree = ctl<QTreeWidget>(QStringLiteral("tagTreeView"));
        QTreeWidgetItem* group = m_form->FindTagNode(QStringLiteral("r"));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(group).center());
        QCOMPARE(articles()->topLevelItemCount(), 2);
    }

    // Opens the articles at these rows, in order, through Enter in the article list.
    void openArticles(const QList<int>& rows) {
        for (const int row : rows) {
            articles()->setCurrentItem(articles()->topLevelItem(row));
            QTest::keyClick(articles(), Qt::Key_Return);
        }
    }

    // A control as the tests name it: its object name, a tab bar by its tab widget's.
    static QString nameOf(const QWidget* widget) {
        if (widget == nullptr) {
            return QStringLiteral("(none)");
        }
        if (qobject_cast<const QTabBar*>(widget) != nullptr && widget->parentWidget() != nullptr) {
            return widget->parentWidget()->objectName() + QStringLiteral(".tabs");
        }
        return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                              : widget->objectName();
    }

    // What the keys and the menus change, in one line.
    QString state() {
        QStringList tabNames;
        for (int i = 0; i < tabs().tabCount(); ++i) {
            tabNames.append(tabs().tabAt(i)->caption);
        }
        QStringList listed;
        for (int i = 0; i < articles()->topLevelItemCount(); ++i) {
            listed.append(articles()->topLevelItem(i)->text(0));
        }
        QStringList saved;
        for (const auto& document : m_office->word().documents) {
            if (document->saveCount > 0) {
                saved.append(document->name);
            }
        }
        QStringList tags;
        for (const QTreeWidgetItem* node : PreOrder(ctl<QTreeWidget>(QStringLiteral("tagTreeView")))) {
            tags.append(QString(ItemDepth(node), u'-') + node->text(0));
        }
        QStringList folders;
        for (const QTreeWidgetItem* node : PreOrder(ctl<QTreeWidget>(QStringLiteral("fdTreeView")))) {
            folders.append(node->text(0));
        }
        Information* info = m_form->findChild<Information*>();
        const bool infoShown = info != nullptr && info->form() != nullptr && info->form()->isVisible();
        return QStringLiteral("tabs:%1 active:%2 saved:%3 goback:%4 articles:%5 tags:%6 folders:%7 info:%8 shown:%9")
            .arg(tabNames.join(u','))
            .arg(tabs().tabCount() > 0 ? tabs().activeTab()->caption : QString())
            .arg(saved.join(u','))
            .arg(m_office->word().goBackCount)
            .arg(listed.join(u','), tags.join(u','), folders.join(u','))
            .arg(infoShown ? 1 : 0)
            .arg(m_revealed.join(u','));
    }

    void showContextMenu(QTreeWidget* view, const QString& nodeText) {
        QPoint at(5, view->viewport()->height() - 3);
        if (!nodeText.isEmpty()) {
            const QList<QTreeWidgetItem*> found = view->findItems(nodeText, Qt::MatchExactly | Qt::MatchRecursive);
            QVERIFY(!found.isEmpty());
            at = view->visualItemRect(found.first()).center();
        }
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
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
        m_prompts.reset();
        m_appData.reset();
    }

    // Tab and Shift+Tab from the search box visit these controls and come back to the search box; never a
    // document's page, whose office would take the keys, and the shortcut grid lets the keyboard go on.
    void tabRound_goesRoundTheAreas_data() {
        QTest::addColumn<QList<int>>("opened");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QStringList>("round");
        // Each group of option buttons is one stop, at its first button going forward and its last going back, as
        // Qt's own Tab has it.
        const QStringList searchOn{"schEdit", "rAllDoc", "ckAllText", "ckFileName", "ckTag", "rAorB", "btSearchInfo"};
        const QStringList searchBack{"btSearchInfo", "rWhole", "ckTag", "ckFileName", "ckAllText", "rCurrList"};
        const QStringList middle{"rzGrid",   "Page.tabs", "tagTreeView",      "sortEdit", "wzTreeView",
                                 "btGroup1", "btGroup2",  "btGroup3",         "btGroup4", "btGroup5",
                                 "psEdit",   "btPSView",  "btSaveTagScorePS", "btAddTag", "tagEdit"};
        QStringList middleBack;
        for (auto it = middle.crbegin(); it != middle.crend(); ++it) {
            middleBack.append(*it);
        }
        QTest::newRow("no document, forward") << QList<int>{} << true << searchOn + middle;
        QTest::newRow("no document, backward")
            << QList<int>{} << false << QStringList{"schEdit"} + middleBack + searchBack;
        QTest::newRow("two documents, forward")
            << QList<int>{0, 1} << true << searchOn + middle + QStringList{"Pager.tabs"};
        QTest::newRow("two documents, backward")
            << QList<int>{0, 1} << false << QStringList{"schEdit", "Pager.tabs"} + middleBack + searchBack;
    }
    void tabRound_goesRoundTheAreas() {
        QFETCH(QList<int>, opened);
        QFETCH(bool, forward);
        QFETCH(QStringList, round);
        open();
        openArticles(opened);
        QCOMPARE(tabs().tabCount(), opened.size());
        auto* search = ctl<QLineEdit>(QStringLiteral("schEdit"));
        search->setFocus(Qt::OtherFocusReason);
        QStringList visited{nameOf(QApplication::focusWidget())};
        for (qsizetype i = 0; i < round.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
            visited.append(nameOf(QApplication::focusWidget()));
        }
        QCOMPARE(visited, round + QStringList{QStringLiteral("schEdit")});
        // Nothing typed reached a document: the office was asked for nothing but the openings.
        QCOMPARE(state().section(u' ', 0, 2), QStringLiteral("tabs:%1 active:%2 saved:")
                                                  .arg(opened.size() == 2 ? QStringLiteral("a,b") : QString(),
                                                       opened.size() == 2 ? QStringLiteral("b") : QString()));
    }

    // The document keys act from any control of the window, and the keys the window had keep working.
    void commandKeys_actOnTheTabs_data() {
        QTest::addColumn<QList<int>>("opened");
        QTest::addColumn<int>("active");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("expected");
        const QString list = QStringLiteral("wzTreeView");
        const QString search = QStringLiteral("schEdit");
        QTest::newRow("Ctrl+N new document") << QList<int>{} << -1 << list << QKeySequence(Qt::CTRL | Qt::Key_N)
                                             << QStringLiteral("tabs:文档1 active:文档1 saved: goback:0");
        QTest::newRow("Ctrl+S saves the active document")
            << QList<int>{0, 1} << 1 << search << QKeySequence(Qt::CTRL | Qt::Key_S)
            << QStringLiteral("tabs:a,b active:b saved:b.docx goback:0");
        QTest::newRow("Ctrl+W closes the active tab")
            << QList<int>{0, 1} << 0 << list << QKeySequence(Qt::CTRL | Qt::Key_W)
            << QStringLiteral("tabs:b active:b saved: goback:0");
        QTest::newRow("Ctrl+W without a tab does nothing")
            << QList<int>{} << -1 << list << QKeySequence(Qt::CTRL | Qt::Key_W)
            << QStringLiteral("tabs: active: saved: goback:0");
        QTest::newRow("Ctrl+Tab next tab") << QList<int>{0, 1} << 0 << list << QKeySequence(Qt::CTRL | Qt::Key_Tab)
                                           << QStringLiteral("tabs:a,b active:b saved: goback:0");
        QTest::newRow("Ctrl+Tab round to the first")
            << QList<int>{0, 1} << 1 << search << QKeySequence(Qt::CTRL | Qt::Key_Tab)
            << QStringLiteral("tabs:a,b active:a saved: goback:0");
        QTest::newRow("Ctrl+Shift+Tab previous tab")
            << QList<int>{0, 1} << 1 << list << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)
            << QStringLiteral("tabs:a,b active:a saved: goback:0");
        QTest::newRow("Ctrl+Shift+Tab round to the last")
            << QList<int>{0, 1} << 0 << list << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)
            << QStringLiteral("tabs:a,b active:b saved: goback:0");
        QTest::newRow("Enter opens the current article") << QList<int>{} << -1 << list << QKeySequence(Qt::Key_Return)
                                                         << QStringLiteral("tabs:a active:a saved: goback:0");
        QTest::newRow("Ctrl+B still goes back") << QList<int>{0} << 0 << list << QKeySequence(Qt::CTRL | Qt::Key_B)
                                                << QStringLiteral("tabs:a active:a saved: goback:1");
    }
    void commandKeys_actOnTheTabs() {
        QFETCH(QList<int>, opened);
        QFETCH(int, active);
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        QFETCH(QString, expected);
        open();
        openArticles(opened);
        if (active >= 0) {
            static_cast<QTabWidget*>(tabs().pager())->setCurrentIndex(active);
        }
        articles()->setCurrentItem(articles()->topLevelItem(0));
        QWidget* target = ctl<QWidget>(focus);
        target->setFocus(Qt::OtherFocusReason);
        QTest::keySequence(target, key);
        QCOMPARE(state().section(u' ', 0, 3), expected);
    }

    // Right-click shows an area's menu, its items named by their captions; one command of it, chosen in the menu,
    // does what the toolbar's or the main menu's command does.
    void contextMenus_showAndRun_data() {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("node");
        QTest::addColumn<QList<int>>("opened");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QString>("expected");
        const QStringList tagItems{"标签节点排序", "折叠所有标签", "当前标签添加到快捷方式", "当前节点向左",
                                   "当前节点向右", "当前节点向上", "当前节点向下",           "删除当前标签"};
        const QStringList folderItems{"新建文件夹", "在选定文件夹下新建子文件夹", "加入已有文件夹（不移动不复制）",
                                      "移除选定文件夹（不删除文件夹）", "将当前文章列表里的所有文档移动到选定文件夹里"};
        const QStringList articleItems{"打开", "文档信息", "定位", "从资料库中移除"};
        QTest::newRow("tag node, delete") << "tagTreeView"
                                          << "u" << QList<int>{} << tagItems << "删除当前标签" << QList<bool>{true}
                                          << "tags:r,-t folders:docs info:0 shown:";
        QTest::newRow("tag tree empty space, delete acts on nothing")
            << "tagTreeView" << QString() << QList<int>{} << tagItems << "删除当前标签" << QList<bool>{}
            << "tags:r,-t,-u folders:docs info:0 shown:";
        QTest::newRow("folder node, remove")
            << "fdTreeView"
            << "docs" << QList<int>{} << folderItems << "移除选定文件夹（不删除文件夹）" << QList<bool>{true}
            << "tags:r,-t,-u folders: info:0 shown:";
        QTest::newRow("article, open") << "wzTreeView"
                                       << "b" << QList<int>{} << articleItems << "打开" << QList<bool>{}
                                       << "tabs:b active:b saved: goback:0 articles:a,b";
        QTest::newRow("article open in a tab, open shows its tab")
            << "wzTreeView"
            << "a" << QList<int>{0, 1} << articleItems << "打开" << QList<bool>{}
            << "tabs:a,b active:a saved: goback:0 articles:a,b";
        QTest::newRow("article, information")
            << "wzTreeView"
            << "a" << QList<int>{} << articleItems << "文档信息" << QList<bool>{}
            << "tabs:a active:a saved: goback:0 articles:a,b tags:r,-t,-u folders:docs info:1 shown:";
        QTest::newRow("article open in a tab, information")
            << "wzTreeView"
            << "a" << QList<int>{0, 1} << articleItems << "文档信息" << QList<bool>{}
            << "tabs:a,b active:a saved: goback:0 articles:a,b tags:r,-t,-u folders:docs info:1 shown:";
        QTest::newRow("article, locate") << "wzTreeView"
                                         << "b" << QList<int>{} << articleItems << "定位" << QList<bool>{}
                                         << "tabs: active: saved: goback:0 articles:a,b tags:r,-t,-u "
                                            "folders:docs info:0 shown:b.docx";
        QTest::newRow("article, remove") << "wzTreeView"
                                         << "a" << QList<int>{} << articleItems << "从资料库中移除" << QList<bool>{true}
                                         << "tabs: active: saved: goback:0 articles:b";
        QTest::newRow("article open in a tab, remove")
            << "wzTreeView"
            << "b" << QList<int>{0, 1} << articleItems << "从资料库中移除" << QList<bool>{true}
            << "tabs:a active:a saved: goback:0 articles:a tags";
        QTest::newRow("article list empty space: no menu")
            << "wzTreeView" << QString() << QList<int>{} << QStringList{} << QString() << QList<bool>{}
            << "tabs: active: saved: goback:0 articles:a,b";
    }
    void contextMenus_showAndRun() {
        QFETCH(QString, view);
        QFETCH(QString, node);
        QFETCH(QList<int>, opened);
        QFETCH(QStringList, captions);
        QFETCH(QString, chosen);
        QFETCH(QList<bool>, answers);
        QFETCH(QString, expected);
        open();
        openArticles(opened);
        if (!opened.isEmpty()) {
            // The list shows the article that is not active, so that the menu's article is told apart.
            static_cast<QTabWidget*>(tabs().pager())->setCurrentIndex(1);
        }
        auto* tree = ctl<QTreeWidget>(view);
        Page()->setCurrentWidget(view == u"fdTreeView" ? tree->parentWidget() : static_cast<QWidget*>(tree));
        tree->expandAll();
        showContextMenu(tree, node);
        QMenu* menu = nullptr;
        for (QMenu* candidate : m_form->findChildren<QMenu*>()) {
            if (candidate->isVisible()) {
                menu = candidate;
            }
        }
        if (captions.isEmpty()) {
            QVERIFY(menu == nullptr);
        } else {
            QVERIFY(menu != nullptr);
            QStringList shown;
            QStringList spoken;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(menu);
            for (QAction* item : menu->actions()) {
                if (!item->isSeparator()) {
                    shown.append(item->text());
                }
            }
            for (int i = 0; i < accessible->childCount(); ++i) {
                const QString name = accessible->child(i)->text(QAccessible::Name);
                if (!name.isEmpty()) {
                    spoken.append(name);
                }
            }
            QCOMPARE(shown, captions);
            QCOMPARE(spoken, captions);
            QAction* item = nullptr;
            for (QAction* candidate : menu->actions()) {
                if (candidate->text() == chosen) {
                    item = candidate;
                }
            }
            QVERIFY(item != nullptr && item->isEnabled());
            for (const bool answer : answers) {
                m_prompts->yesNoAnswers.enqueue(answer);
            }
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
            QTRY_VERIFY(!menu->isVisible());
        }
        QVERIFY2(state().contains(expected), qPrintable(state()));
        if (node.isEmpty() && view == u"tagTreeView") {
            QCOMPARE(m_prompts->log.filter(QStringLiteral("info:")),
                     QStringList{QStringLiteral("info: 没有选定的标签")});
        }
    }

private:
    QTabWidget* Page() const { return ctl<QTabWidget>(QStringLiteral("Page")); }
};

QTEST_MAIN(TestWindowKeys)
#include "tst_windowkeys.moc"
