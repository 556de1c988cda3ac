// The information dialog, the macros menu and the tag grids in the real window, against the office double.
#include "common/textcodec.h"
#include "controls.h"
#include "libraryfiles.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "treeshape.h"
#include "workbench/application.h"
#include "workbench/core/treefile.h"
#include "workbench/dialogs/information.h"
#include "workbench/navigation/shortcutgrids.h"
#include "workbench/shell.h"
#include "workbench/tmform.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestInfoMacro : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<OfficeDouble> m_office;
    std::unique_ptr<TmForm> m_form;
    QStringList m_shown;
    bool m_folderOpens = true;

    QString file(const QString& name) const { return m_appData->file(name); }
    WordDouble& word() { return m_office->word(); }
    // A library of a.docx and b.docx tagged t and u under the tag group r, and the window on it.
    void open() {
        WriteLibrary({{"a.docx", "t"}, {"b.docx", "u"}});
        for (const char* name : {"a.docx", "b.docx"}) {
            m_office->disk.insert(DocPath(QLatin1String(name)), DiskFile{QStringLiteral("text\r")});
        }
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("r -t -u"));
        m_form = std::make_unique<TmForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void listTag(const QString& tag) {
        auto* tree = ctl<QTreeWidget>(*m_form, "tagTreeView");
        QTreeWidgetItem* node = m_form->FindTagNode(tag);
        tree->setCurrentItem(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    }

    // Lists the tag's documents and opens the first one with Enter in the article list.
    void openArticle(const QString& tag) {
        listTag(tag);
        auto* list = ctl<QTreeWidget>(*m_form, "wzTreeView");
        QVERIFY(list->topLevelItemCount() > 0);
        list->setCurrentItem(list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Return);
    }

    void clickCell(QTableWidget* grid, int row, int column) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(row, column)).center());
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_office = std::make_unique<OfficeDouble>();
        m_office->startWord();
        m_shown.clear();
        m_folderOpens = true;
        SetShellOpener([this](const QString& target) {
            m_shown.append(QStringLiteral("open ") + target);
            return m_folderOpens;
        });
    }
    void cleanup() {
        m_form.reset();
        m_office.reset();
        m_prompts.reset();
        m_appData.reset();
        SetFileRevealer({});
    }

    // The menu reads macro.txt at the first opening from the article list, once, and shows every line as
    // written; only a macro name reaches the office, unchanged, and any other line is reported when chosen.
    void macroMenu_runsNamesAndReportsOtherLines_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("run");
        QTest::newRow("module and library forms") << QByteArray("Module1.Lead\r\nStandard.Module1.Tidy\r\nm_2._x9\r\n")
                                                  << QStringList{"Module1.Lead", "Standard.Module1.Tidy", "m_2._x9"}
                                                  << QStringList{"Module1.Lead", "Standard.Module1.Tidy", "m_2._x9"};
        QTest::newRow("not names") << QByteArray("Tidy\r\n  Module1.Lead\r\nA&B.c\r\nA.B.C.D\r\n.x\r\nMod.\r\n"
                                                 "M.x?language=Java\r\nM.x/../y\r\nM.x y\r\nM.x%41\r\n")
                                   << QStringList{"Tidy", "  Module1.Lead",    "A&B.c",    "A.B.C.D", ".x",
                                                  "Mod.", "M.x?language=Java", "M.x/../y", "M.x y",   "M.x%41"}
                                   << QStringList{};
        QTest::newRow("LF, empty line, GBK, one name")
            << QByteArray("a\n\n\xB8\xF1\xCA\xBD.x\nLib.Mod.Go\n") << QStringList{"a", "", "格式.x", "Lib.Mod.Go"}
            << QStringList{"Lib.Mod.Go"};
        QTest::newRow("delivered empty file") << QByteArray() << QStringList{} << QStringList{};
    }
    void macroMenu_runsNamesAndReportsOtherLines() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, captions);
        QFETCH(QStringList, run);
        WriteBytes(file(QStringLiteral("macro.txt")), bytes);
        open();
        auto* menu = ctl<QMenu>(*m_form, "pmMacro");
        QCOMPARE(menu->actions().size(), 1);
        openArticle(QStringLiteral("t"));
        openArticle(QStringLiteral("u"));
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("自定义段落格式"));
        const QList<QAction*> items = menu->actions().mid(1);
        QStringList shown;
        for (const QAction* item : items) {
            shown.append(item->text().replace(QStringLiteral("&&"), QStringLiteral("&")));
        }
        QCOMPARE(shown, captions);
        const auto runAll = [&items] {
            for (QAction* item : items) {
                item->trigger();
            }
        };
        runAll();
        QCOMPARE(word().macrosRun, run);
        QStringList reports;
        for (const QString& line : captions) {
            if (!run.contains(line)) {
                reports.append(
                    QStringLiteral("error: Velmora: “%1”不是宏名称，未运行。宏名称应写作“模块.宏”或“库.模块.宏”，"
                                   "只能含字母、数字和下划线。")
                        .arg(line));
            }
        }
        QCOMPARE(m_prompts->log, reports);
        // An unknown macro is swallowed; with no tab open nothing reaches the office.
        m_prompts->log.clear();
        word().failOn(QStringLiteral("Run("), 1);
        runAll();
        QCOMPARE(m_prompts->log.size(), reports.size());
        while (m_form->findChild<QTabWidget*>(QStringLiteral("Pager"))->count() > 0) {
            ctl<QAction>(*m_form, "ItemClose")->trigger();
        }
        word().macrosRun.clear();
        runAll();
        QCOMPARE(word().macrosRun, QStringList());
    }

    // An article opens on a double click or Enter, once; a click, and any gesture with Ctrl (which picks
    // articles for dragging onto a folder), opens nothing.
    void articleList_opensOnClickOrEnter_data() {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<int>("opened");
        QTest::newRow("click") << "click" << 1;
        QTest::newRow("Ctrl+click") << "ctrl click" << 0;
        QTest::newRow("Shift+click") << "shift click" << 0;
        QTest::newRow("Ctrl+double click") << "ctrl double" << 0;
        QTest::newRow("double click") << "double" << 1;
        QTest::newRow("Enter") << "enter" << 1;
        QTest::newRow("double click, twice") << "double double" << 1;
    }
    void articleList_opensOnClickOrEnter() {
        QFETCH(QString, gesture);
        QFETCH(int, opened);
        open();
        listTag(QStringLiteral("t"));
        auto* list = ctl<QTreeWidget>(*m_form, "wzTreeView");
        QCOMPARE(list->topLevelItemCount(), 1);
        QTreeWidgetItem* article = list->topLevelItem(0);
        const QPoint at = list->visualItemRect(article).center();
        word().clearLog();
        for (const QString& step : gesture.split(u' ')) {
            const Qt::KeyboardModifiers ctrl = gesture.startsWith(QLatin1String("ctrl"))    ? Qt::ControlModifier
                                               : gesture.startsWith(QLatin1String("shift")) ? Qt::ShiftModifier
                                                                                            : Qt::NoModifier;
            if (step == u"click") {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, ctrl, at);
            } else if (step == u"double") {
                // A double click as the window system delivers it: a click, then the second press as a double
                // click.
                QTest::mouseClick(list->viewport(), Qt::LeftButton, ctrl, at);
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, ctrl, at);
                QTest::mouseRelease(list->viewport(), Qt::LeftButton, ctrl, at);
            } else if (step == u"enter") {
                list->setCurrentItem(article);
                QTest::keyClick(list, Qt::Key_Return);
            }
        }
        QCOMPARE(m_form->findChild<QTabWidget*>(QStringLiteral("Pager"))->count(), opened);
        QCOMPARE(word().log().filter(QStringLiteral("Documents.Open(")).size(), opened);
        QCOMPARE(word().documents.size(), opened);
        QVERIFY(m_prompts->log.isEmpty());
    }

    // A screen reader walks the window's accessible tree, with no tab open and with one: every control on it has
    // a name, and the menus the toolbar drops down are reached through their buttons, each item by its caption.
    void window_everyControlAndMenuItemReachableByName_data() {
        QTest::addColumn<bool>("tabOpen");
        QTest::newRow("no tab") << false;
        QTest::newRow("a tab") << true;
    }
    void window_everyControlAndMenuItemReachableByName() {
        QFETCH(bool, tabOpen);
        WriteBytes(file(QStringLiteral("macro.txt")), "Module1.Lead\r\n");
        open();
        if (tabOpen) {
            openArticle(QStringLiteral("t"));
        }
        const QSet<QAccessible::Role> controls{
            QAccessible::PushButton, QAccessible::CheckBox,       QAccessible::RadioButton,  QAccessible::ButtonMenu,
            QAccessible::MenuItem,   QAccessible::PageTab,        QAccessible::EditableText, QAccessible::ComboBox,
            QAccessible::Tree,       QAccessible::List,           QAccessible::Table,        QAccessible::SpinBox,
            QAccessible::Slider,     QAccessible::ButtonDropDown,
        };
        QStringList unnamed;
        QSet<const QObject*> reached;
        QSet<const QAccessibleInterface*> seen;
        std::function<void(QAccessibleInterface*, const QString&)> walk = [&](QAccessibleInterface* node,
                                                                              const QString& path) {
            if (node == nullptr || seen.contains(node)) {
                return;
            }
            seen.insert(node);
            const QString where = path + u'/' + node->text(QAccessible::Name);
            if (controls.contains(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
                unnamed.append(where + u' ' + QString::fromLatin1(node->object()->metaObject()->className()));
            }
            reached.insert(node->object());
            // The rows of a list are its content, each named by its text.
            if (node->role() != QAccessible::Tree && node->role() != QAccessible::List &&
                node->role() != QAccessible::Table) {
                for (int i = 0; i < node->childCount(); ++i) {
                    walk(node->child(i), where);
                }
            }
        };
        walk(QAccessible::queryAccessibleInterface(m_form.get()), QString());
        // Every button and edit, whether in the tree or not: Qt's own parts of toolbars and tab bars included.
        for (QWidget* widget : m_form->findChildren<QWidget*>()) {
            if ((qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget)) &&
                !widget->parentWidget()->inherits("QAbstractItemView") &&
                QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).trimmed().isEmpty()) {
                unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + u' ' + widget->objectName());
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));

        QStringList unreached;
        for (const QToolButton* button : m_form->findChildren<QToolButton*>()) {
            for (const QAction* item : button->menu() != nullptr ? button->menu()->actions() : QList<QAction*>()) {
                if (!item->isSeparator() && !reached.contains(item)) {
                    unreached.append(button->objectName() + u' ' + item->text());
                }
            }
        }
        QVERIFY2(unreached.isEmpty(), qPrintable(unreached.join(u'\n')));
        for (const char* item : {"ItemDocTags", "ItemMyPara", "ItemAddToSC"}) {
            QVERIFY2(reached.contains(ctl<QAction>(*m_form, item)), item);
        }
        // The user's macros, once read, are among the items reached.
        QCOMPARE(ctl<QMenu>(*m_form, "pmMacro")->actions().size(), tabOpen ? 2 : 1);
    }

    // Tags typed for a new document and common tags clicked in after them are stored with it together.
    void newDocument_typedAndCommonTagsStored_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("cells");
        QTest::addColumn<QString>("stored");
        QTest::newRow("typed, then a common tag") << "alpha" << QList<int>{1} << "读书 alpha ";
        QTest::newRow("common tags only") << "" << QList<int>{1, 4} << "笔记 读书 ";
        QTest::newRow("typed only") << "alpha" << QList<int>{} << "alpha";
        QTest::newRow("nothing") << "" << QList<int>{} << "";
    }
    void newDocument_typedAndCommonTagsStored() {
        QFETCH(QString, typed);
        QFETCH(QList<int>, cells);
        QFETCH(QString, stored);
        WriteTextFile(file(QStringLiteral("TagsList.dat")), {"A", "读书", "Abc", "", "笔记"});
        open();
        QTest::mouseClick(ctl<QToolButton>(*m_form, "tbtCreate"), Qt::LeftButton);
        QCOMPARE(m_form->findChild<QTabWidget*>(QStringLiteral("Pager"))->count(), 1);
        if (ctl<QWidget>(*m_form, "tagPanel")->isHidden()) {
            QTest::mouseClick(ctl<QToolButton>(*m_form, "tbtTag"), Qt::LeftButton);
        }
        auto* tagEdit = ctl<QLineEdit>(*m_form, "tagEdit");
        QTest::keyClicks(tagEdit, typed);
        QTest::mouseClick(ctl<QToolButton>(*m_form, "btAddTag"), Qt::LeftButton);
        QTRY_VERIFY(ctl<QWidget>(*m_form, "scPnl")->isVisible());
        for (int column : cells) {
            clickCell(ctl<QTableWidget>(*m_form, "tagGrid"), 0, column);
        }
        m_prompts->yesNoAnswers.enqueue(true);
        m_prompts->saveFileAnswers.enqueue(DocPath(QStringLiteral("Plan")));
        ctl<QAction>(*m_form, "ItemSaveAs")->trigger();
        QVERIFY2(m_prompts->yesNoAnswers.isEmpty() && m_prompts->saveFileAnswers.isEmpty(), "unused answers");
        m_form.reset();
        TWordMgr store(file(QStringLiteral("worddata.data")));
        const qint64 position = 2 * TWordRec::Size;
        QCOMPARE(store.ReadAStrItem(position, wdiFullName, true), DocPath(QStringLiteral("Plan.docx")));
        QCOMPARE(store.ReadAStrItem(position, wdiTags, true), stored);
    }

    // The numbers are those of the tab's document even when the office has another one active; the dates are
    // the file's, the time left out at midnight.
    void information_countsAndDatesOfTheTabsDocument_data() {
        QTest::addColumn<QDateTime>("written");
        QTest::addColumn<QString>("shown");
        QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 4), QTime(15, 6, 7)) << "修改日期：2026/3/4 15:06:07";
        QTest::newRow("midnight") << QDateTime(QDate(2025, 12, 31), QTime(0, 0)) << "修改日期：2025/12/31";
    }
    void information_countsAndDatesOfTheTabsDocument() {
        QFETCH(QDateTime, written);
        QFETCH(QString, shown);
        open();
        openArticle(QStringLiteral("t"));
        const QString path = DocPath(QStringLiteral("a.docx"));
        {
            QFile touched(path);
            QVERIFY(touched.open(QIODevice::ReadWrite));
            QVERIFY(touched.setFileTime(written, QFileDevice::FileModificationTime));
        }
        const std::shared_ptr<WordDocument> document = word().documents.first();
        document->counts.insert(QStringLiteral("tables"), 2);
        document->counts.insert(QStringLiteral("fields"), 4);
        document->hyperlinks = {QStringLiteral("https://example.org")};
        document->pages = 3;
        word().addDocument(DocPath(QStringLiteral("other.docx")));

        QTest::mouseClick(ctl<QToolButton>(*m_form, "tbtInfo"), Qt::LeftButton);
        auto* information = m_form->findChild<Information*>(QStringLiteral("information"));
        QPointer<TinfoForm> form = information->form();
        QVERIFY(form != nullptr && form->isVisible());
        QCOMPARE(form->windowTitle(), QStringLiteral("word文档属性"));
        QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("edDocName"))->text(), path);
        QCOMPARE(ctl<QLabel>(*form, "lbTableNum")->text(), QStringLiteral("表格数：  2"));
        QCOMPARE(ctl<QLabel>(*form, "lbLinkNum")->text(), QStringLiteral("链接数：  1"));
        QCOMPARE(ctl<QLabel>(*form, "lbField")->text(), QStringLiteral("域数目：  4"));
        QCOMPARE(ctl<QLabel>(*form, "lbPageNum")->text(), QStringLiteral("页面数：  3"));
        QCOMPARE(ctl<QLabel>(*form, "lbModi")->text(), shown);

        // The menu item shows a new one; going back to the main window closes it.
        ctl<QAction>(*m_form, "ItemInfo")->trigger();
        QTRY_VERIFY(form == nullptr);
        form = information->form();
        QVERIFY(form != nullptr);
        QTRY_VERIFY(form->isActiveWindow());
        m_form->activateWindow();
        QTRY_VERIFY(form == nullptr);
    }

    // The locate button shows the file in the file manager, or opens its folder when none answers; when neither
    // can be done the window says so and where the file is.
    void locate_showsTheFileOrOpensItsFolderOrSaysSo_data() {
        QTest::addColumn<bool>("reveals");
        QTest::addColumn<bool>("folderOpens");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("message");
        QTest::newRow("file manager") << true << true << QStringList{"reveal <a>"} << "";
        QTest::newRow("folder only") << false << true << QStringList{"reveal <a>", "open <docs>"} << "";
        QTest::newRow("neither") << false << false << QStringList{"reveal <a>", "open <docs>"}
                                 << "info: 没有可以显示文件的文件管理器。文件位于：\n<a>";
    }
    void locate_showsTheFileOrOpensItsFolderOrSaysSo() {
        QFETCH(bool, reveals);
        QFETCH(bool, folderOpens);
        QFETCH(QStringList, shown);
        QFETCH(QString, message);
        m_folderOpens = folderOpens;
        SetFileRevealer([this, reveals](const QString& path) {
            m_shown.append(QStringLiteral("reveal ") + path);
            return reveals;
        });
        open();
        openArticle(QStringLiteral("t"));
        QTest::mouseClick(ctl<QToolButton>(*m_form, "tbtInfo"), Qt::LeftButton);
        TinfoForm* form = m_form->findChild<Information*>(QStringLiteral("information"))->form();
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("btDocPath")), Qt::LeftButton);
        const auto fill = [this](QString text) {
            return text.replace(QStringLiteral("<a>"), DocPath(QStringLiteral("a.docx")))
                .replace(QStringLiteral("<docs>"), file(QStringLiteral("docs")));
        };
        for (QString& line : shown) {
            line = fill(line);
        }
        QCOMPARE(m_shown, shown);
        QCOMPARE(m_prompts->log, message.isEmpty() ? QStringList() : QStringList{fill(message)});
    }

    // The dialog closes by its own button and by Esc, and is gone afterwards; the button lies inside it.
    void information_closesByButtonAndEsc_data() {
        QTest::addColumn<bool>("esc");
        QTest::newRow("button") << false;
        QTest::newRow("Esc") << true;
    }
    void information_closesByButtonAndEsc() {
        QFETCH(bool, esc);
        open();
        openArticle(QStringLiteral("t"));
        QTest::mouseClick(ctl<QToolButton>(*m_form, "tbtInfo"), Qt::LeftButton);
        QPointer<TinfoForm> form = m_form->findChild<Information*>(QStringLiteral("information"))->form();
        QVERIFY(form != nullptr);
        QTRY_VERIFY(form->isActiveWindow());
        auto* close = form->findChild<QPushButton*>(QStringLiteral("btClose"));
        QVERIFY(close != nullptr && close->isVisible());
        QVERIFY(form->rect().contains(QRect(close->mapTo(form.data(), QPoint(0, 0)), close->size())));
        if (esc) {
            QTest::keyClick(form->focusWidget() != nullptr ? form->focusWidget() : form.data(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(close, Qt::LeftButton);
        }
        QTRY_VERIFY(form == nullptr);
    }

    // An office error while counting is reported and no dialog is left behind.
    void information_officeErrorShowsNoDialog() {
        open();
        openArticle(QStringLiteral("t"));
        word().failOn(QStringLiteral("ActiveDocument.Tables"), 1, QStringLiteral("counting failed"));
        QTest::mouseClick(ctl<QToolButton>(*m_form, "tbtInfo"), Qt::LeftButton);
        QCOMPARE(m_prompts->log.size(), 1);
        QVERIFY(m_prompts->log.first().contains(QStringLiteral("counting failed")));
        QVERIFY(m_form->findChild<TinfoForm*>() == nullptr);
    }

    // Shortcuts: added by the tag menu once in any letter case, listing their tag when clicked, and written
    // after every change even when the first cell was emptied.
    void shortcuts_addClickDeleteAndDrop() {
        WriteBytes(file(QStringLiteral("SCList.dat")), "gone\r\n");
        open();
        auto* grid = ctl<QTableWidget>(*m_form, "rzGrid");
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("gone"));
        auto* tree = ctl<QTreeWidget>(*m_form, "tagTreeView");
        tree->setCurrentItem(m_form->FindTagNode(QStringLiteral("t")));
        ctl<QAction>(*m_form, "ItemAddToSC")->trigger();
        ctl<QAction>(*m_form, "ItemAddToSC")->trigger();
        QCOMPARE(ReadBytes(file(QStringLiteral("SCList.dat"))), QByteArray("gone\r\nt\r\n"));

        // A shortcut whose tag is gone does nothing; one whose tag is there lists it with its descendants.
        clickCell(grid, 0, 0);
        QCOMPARE(ctl<QTreeWidget>(*m_form, "wzTreeView")->topLevelItemCount(), 0);
        clickCell(grid, 0, 1);
        QCOMPARE(ctl<QTreeWidget>(*m_form, "wzTreeView")->topLevelItemCount(), 1);
        QCOMPARE(m_form->setting(QStringLiteral("LastTag")), QStringLiteral("t"));

        grid->setCurrentCell(0, 0);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(grid->item(0, 0)->text(), QString());
        QCOMPARE(ReadBytes(file(QStringLiteral("SCList.dat"))), QByteArray("gone\r\nt\r\n"));
        tree->setCurrentItem(m_form->FindTagNode(QStringLiteral("u")));
        m_form->findChild<ShortcutGrids*>()->dropTagOnCell(grid, 1, 2);
        QCOMPARE(ReadBytes(file(QStringLiteral("SCList.dat"))), QByteArray("t\r\nu\r\n"));
        tree->setCurrentItem(m_form->FindTagNode(QStringLiteral("r")));
        ctl<QAction>(*m_form, "ItemAddToSC")->trigger();
        QCOMPARE(ReadBytes(file(QStringLiteral("SCList.dat"))), QByteArray("r\r\nt\r\nu\r\n"));
    }

    // Common tags: a click adds the tag to the tag edit, headers and capitalised tags excepted; cells typed in
    // edit mode are written on save.
    void commonTags_clickAddsAndEditSaves() {
        WriteTextFile(file(QStringLiteral("TagsList.dat")), {"A", "读书", "Abc", "", "笔记"});
        open();
        auto* grid = ctl<QTableWidget>(*m_form, "tagGrid");
        QCOMPARE(grid->item(0, 4)->text(), QStringLiteral("笔记"));
        QTest::mouseClick(ctl<QToolButton>(*m_form, "btAddTag"), Qt::LeftButton);
        QTRY_VERIFY(ctl<QWidget>(*m_form, "scPnl")->isVisible());
        auto* tagEdit = ctl<QLineEdit>(*m_form, "tagEdit");
        tagEdit->setText(QStringLiteral("a b"));
        for (int column : {0, 1, 2, 1, 4}) {
            clickCell(grid, 0, column);
        }
        QCOMPARE(tagEdit->text(), QStringLiteral("a b 读书 读书 笔记"));

        QTest::mouseClick(ctl<QToolButton>(*m_form, "btTagEdit"), Qt::LeftButton);
        grid->setCurrentCell(0, 3);
        QTest::keyClick(grid, Qt::Key_F2);
        auto* editor = grid->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor != nullptr);
        QTest::keyClicks(editor, QStringLiteral("new"));
        QTest::mouseClick(ctl<QToolButton>(*m_form, "btTagSave"), Qt::LeftButton);
        QStringList expected{"A", "读书", "Abc", "new", "笔记"};
        expected.resize(64);
        QCOMPARE(ReadTextFile(file(QStringLiteral("TagsList.dat"))), expected);
        QTest::mouseClick(ctl<QToolButton>(*m_form, "btCloseSCPnl"), Qt::LeftButton);
        QVERIFY(!ctl<QWidget>(*m_form, "scPnl")->isVisible());
    }
};

int main(int argc, char* argv[]) {
    VelmoraApplication app(argc, argv);
    TestInfoMacro test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_infomacro.moc"
