#include "bynamelist.h"
#include "common/textcodec.h"
#include "controls.h"
#include "libraryfiles.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "treeshape.h"
#include "workbench/application.h"
#include "workbench/dialogs/tnfform.h"
#include "workbench/navigation/foldertree.h"
#include "workbench/navigation/treeview.h"
#include "workbench/tmform.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestFolderTree : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<TmForm> m_form;
    QString m_disk;

    QString file(const QString& name) const { return m_appData->file(name); }
    QTreeWidget* tree() const { return ctl<QTreeWidget>(*m_form, "fdTreeView"); }
    FolderTree* folders() const { return ctl<FolderTree>(*m_form, "folderTree"); }
    QTreeWidgetItem* node(const QString& text) const {
        for (QTreeWidgetItem* item : PreOrder(tree())) {
            if (item->text(0) == text) {
                return item;
            }
        }
        return nullptr;
    }

    // Folders base (with kid below it), target and ghost (whose folder the list does not know); documents
    // base/a.doc, base/b.docx and base/kid/c.docx in the library.
    void openWindow() {
        for (const char* folder : {"base/kid", "target"}) {
            QDir().mkpath(m_disk + QString::fromLatin1(folder));
        }
        WriteLibrary({{"base/a.doc"}, {"base/b.docx"}, {"base/kid/c.docx"}});
        WriteBytes(file(QStringLiteral("FdTVItems.dat")), "base\r\n\tkid\r\ntarget\r\nghost\r\n");
        WriteTextFile(file(QStringLiteral("fdlist.dat")),
                      {m_disk + QStringLiteral("base/"), m_disk + QStringLiteral("base/kid/"),
                       m_disk + QStringLiteral("target/")});
        m_form = std::make_unique<TmForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void press(const char* button) { ctl<QAction>(*m_form, button)->trigger(); }

    // Answers the next folder dialog: `fill` gets it, then OK is pressed unless `fill` closed it.
    void answerDialog(std::function<void(TnfForm*)> fill) {
        QTimer::singleShot(0, this, [fill = std::move(fill)] {
            auto* dialog = qobject_cast<TnfForm*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            fill(dialog);
            if (dialog->isVisible() && dialog->btnOK->isEnabled()) {
                QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
            } else if (dialog->isVisible()) {
                // What the button refuses, the command must refuse too.
                dialog->accept();
            }
        });
    }

    QString recordPath(qint64 pos) { return m_form->store().GetDocNameByPos(pos).mid(m_disk.size()); }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_disk = DocPath(QString());
    }
    void cleanup() {
        m_form.reset();
        m_prompts.reset();
        m_appData.reset();
    }

    void newFolders_madeOnDiskOrRefused_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shape");
        QTest::newRow("new") << "fdNew"
                             << " 笔记 "
                             << ""
                             << "base -kid target ghost 笔记";
        QTest::newRow("sub") << "btnSubNew"
                             << "sub"
                             << ""
                             << "base -kid -sub target ghost";
        QTest::newRow("empty") << "fdNew"
                               << "  "
                               << "创建文件夹失败"
                               << "base -kid target ghost";
        QTest::newRow("dot dot") << "btnSubNew"
                                 << ".."
                                 << "创建文件夹失败"
                                 << "base -kid target ghost";
        QTest::newRow("wide space") << "fdNew"
                                    << "\u3000x"
                                    << "创建文件夹失败"
                                    << "base -kid target ghost";
        QTest::newRow("name in the tree") << "fdNew"
                                          << "KID"
                                          << "文件夹已经存在"
                                          << "base -kid target ghost";
        QTest::newRow("sub name in the tree") << "btnSubNew"
                                              << "Target"
                                              << "文件夹已经存在"
                                              << "base -kid target ghost";
    }
    void newFolders_madeOnDiskOrRefused() {
        QFETCH(QString, button);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, shape);
        openWindow();
        tree()->setCurrentItem(node(QStringLiteral("base")));
        const QByteArray treeBefore = ReadBytes(file(QStringLiteral("FdTVItems.dat")));
        answerDialog([&](TnfForm* dialog) {
            const bool sub = button == QLatin1String("btnSubNew");
            QCOMPARE(dialog->dirEdit->isEnabled(), !sub);
            QCOMPARE(dialog->edNewNameLabel->text(),
                     sub ? QStringLiteral("新建子文件夹名：") : QStringLiteral("新建文件夹名："));
            dialog->dirEdit->setText(sub ? dialog->dirEdit->text() : m_disk);
            dialog->edNewName->setText(typed);
        });
        press(button.toLatin1().constData());
        QCOMPARE(m_prompts->log, message.isEmpty() ? QStringList() : QStringList{QStringLiteral("info: ") + message});
        QCOMPARE(TreeShape(tree()), shape);
        const QString made = button == QLatin1String("fdNew") ? QStringLiteral("笔记") : QStringLiteral("base/sub");
        QCOMPARE(QFileInfo(m_disk + made).isDir(), message.isEmpty());
        const QStringList list = ReadTextFile(file(QStringLiteral("fdlist.dat")));
        QCOMPARE(list.size(), message.isEmpty() ? 4 : 3);
        if (message.isEmpty()) {
            QCOMPARE(list.last(), m_disk + made + u'/');
            QCOMPARE(ReadBytes(file(QStringLiteral("FdTVItems.dat"))),
                     button == QLatin1String("fdNew")
                         ? QByteArray("base\r\n\tkid\r\ntarget\r\nghost\r\n\xB1\xCA\xBC\xC7\r\n")
                         : QByteArray("base\r\n\tkid\r\n\tsub\r\ntarget\r\nghost\r\n"));
        } else {
            QCOMPARE(ReadBytes(file(QStringLiteral("FdTVItems.dat"))), treeBefore);
        }
    }

    void browseCancelled_startFolder() {
        openWindow();
        m_prompts->folderAnswers.enqueue(QString());
        answerDialog([](TnfForm* dialog) {
            dialog->dirEdit->clear();
            QVERIFY(!dialog->btnOK->isEnabled());
            QTest::mouseClick(dialog->btBrowse, Qt::LeftButton);
            QCOMPARE(dialog->dirEdit->text(), FolderTree::startFolder());
            QVERIFY(dialog->btnOK->isEnabled());
            dialog->reject();
        });
        press("fdNew");
        QCOMPARE(m_prompts->log, QStringList{QStringLiteral("folder: 浏览选择文件夹")});
    }

    void addFolder_besideOrBelowOrRefused_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shape");
        const QString done = QStringLiteral("文件夹添加完成。如果里面的文档未加入数据库，则仍需导入。");
        QTest::newRow("beside") << int(Answer::Yes) << "new" << done << "base -kid -new target ghost";
        QTest::newRow("below") << int(Answer::No) << "new" << done << "base -kid --new target ghost";
        QTest::newRow("cancel") << int(Answer::Cancel) << "new"
                                << ""
                                << "base -kid target ghost";
        QTest::newRow("root") << int(Answer::Yes) << "/"
                              << "创建文件夹失败"
                              << "base -kid target ghost";
        QTest::newRow("relative") << int(Answer::Yes) << "."
                                  << "创建文件夹失败"
                                  << "base -kid target ghost";
        QTest::newRow("same name elsewhere") << int(Answer::Yes) << "new/TARGET"
                                             << "文件夹已经存在"
                                             << "base -kid target ghost";
    }
    void addFolder_besideOrBelowOrRefused() {
        QFETCH(int, answer);
        QFETCH(QString, dir);
        QFETCH(QString, message);
        QFETCH(QString, shape);
        openWindow();
        QDir().mkpath(m_disk + QStringLiteral("new/TARGET"));
        tree()->setCurrentItem(node(QStringLiteral("kid")));
        m_prompts->yesNoCancelAnswers.enqueue(Answer(answer));
        if (Answer(answer) != Answer::Cancel) {
            answerDialog([&](TnfForm* dialog) {
                QCOMPARE(dialog->dirEditLabel->text(), QStringLiteral("选择要加入的文件夹..."));
                QVERIFY(!dialog->edNewName->isEnabled());
                dialog->dirEdit->setText(dir.startsWith(u'n') ? m_disk + dir : dir);
            });
        }
        press("btnAddFolder");
        QCOMPARE(m_prompts->log.mid(1),
                 message.isEmpty()
                     ? QStringList()
                     : QStringList{QStringLiteral("info: ") + message.replace(QStringLiteral("<disk>"), m_disk)});
        QCOMPARE(TreeShape(tree()), shape);
        QCOMPARE(ReadTextFile(file(QStringLiteral("fdlist.dat"))).last(),
                 message.startsWith(QStringLiteral("文件夹添加完成")) ? m_disk + QStringLiteral("new/")
                                                                      : m_disk + QStringLiteral("target/"));
    }

    void click_listsOwnAndDescendantDocuments() {
        openWindow();
        for (const char* text : {"ghost", "kid", "base"}) {
            QTreeWidgetItem* item = node(QString::fromLatin1(text));
            tree()->scrollToItem(item);
            QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(item).center());
            // An unknown folder lists nothing, and the list stays as it was.
            QCOMPARE(ArticleTitles(*m_form).size(), text[0] == 'g' ? 0 : text[0] == 'k' ? 1 : 3);
        }
    }

    void remove_leafOnlyMarksDocAndDocxDeleted() {
        openWindow();
        m_prompts->yesNoAnswers.enqueue(true);
        tree()->setCurrentItem(node(QStringLiteral("base")));
        press("btnDelFolder");
        tree()->setCurrentItem(node(QStringLiteral("kid")));
        press("btnDelFolder");
        QCOMPARE(m_prompts->log,
                 (QStringList{QStringLiteral("info: 移除对象不能包含子文件夹。可以先将子文件夹拖拽其它地方"),
                              QStringLiteral("yesno: 确定要移除（不删除磁盘上的文件夹）选定的文件夹吗？")}));
        QCOMPARE(TreeShape(tree()), QStringLiteral("base target ghost"));
        QCOMPARE(ReadBytes(file(QStringLiteral("FdTVItems.dat"))), QByteArray("base\r\ntarget\r\nghost\r\n"));
        QCOMPARE(ReadTextFile(file(QStringLiteral("fdlist.dat"))).size(), 2);
        QVERIFY(m_form->store().RecordAt(70).wdDeleted);
        QVERIFY(QFileInfo::exists(m_disk + QStringLiteral("base/kid/c.docx")));
    }

    void moves_byCommandAndDrop_data() {
        QTest::addColumn<bool>("drop");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("move all, one clash") << false << "target"
                                             << "文档移动有 1 失败\n<disk>base/b.docx\n    目标文件夹里已有同名文件"
                                             << QStringList{"target/a.doc", "base/b.docx", "target/c.docx"};
        QTest::newRow("drop the selected") << true << "target"
                                           << "" << QStringList{"target/a.doc", "base/b.docx", "base/kid/c.docx"};
        QTest::newRow("drop the selected, a clash")
            << true << "target"
            << "文档移动有 1 失败\n<disk>base/b.docx\n    目标文件夹里已有同名文件"
            << QStringList{"base/a.doc", "base/b.docx", "base/kid/c.docx"};
        QTest::newRow("move all to an unknown folder")
            << false << "ghost"
            << "ghost 不存在" << QStringList{"base/a.doc", "base/b.docx", "base/kid/c.docx"};
        QTest::newRow("drop on an unknown folder")
            << true << "ghost"
            << "ghost 不存在" << QStringList{"base/a.doc", "base/b.docx", "base/kid/c.docx"};
    }
    void moves_byCommandAndDrop() {
        QFETCH(bool, drop);
        QFETCH(QString, folder);
        QFETCH(QString, message);
        QFETCH(QStringList, paths);
        openWindow();
        WriteBytes(m_disk + QStringLiteral("target/b.docx"), "other");
        m_form->LoadArticleList(m_form->store().GetListForLoadwzTV2(m_disk + QStringLiteral("base/a.doc\r\n") + m_disk +
                                                                    QStringLiteral("base/b.docx\r\n") + m_disk +
                                                                    QStringLiteral("base/kid/c.docx\r\n")),
                                true);
        auto* list = m_form->findChild<QTreeWidget*>(QStringLiteral("wzTreeView"));
        if (drop) {
            list->topLevelItem(message.isEmpty() ? 0 : 1)->setSelected(true);
            QVERIFY(folders()->fdTreeViewDragOver(list));
            QCOMPARE(folders()->dragKind(), FolderTree::ArticleDrag);
            folders()->fdTreeViewDragDrop(node(folder));
            QCOMPARE(folders()->dragKind(), FolderTree::NoDrag);
        } else {
            m_prompts->yesNoAnswers.enqueue(true);
            tree()->setCurrentItem(node(folder));
            press("btnMoveAll");
        }
        QCOMPARE(m_prompts->log.filter(QStringLiteral("info")),
                 message.isEmpty()
                     ? QStringList()
                     : QStringList{QStringLiteral("info: ") + message.replace(QStringLiteral("<disk>"), m_disk)});
        QCOMPARE((QStringList{recordPath(0), recordPath(35), recordPath(70)}), paths);
        for (const QString& path : paths) {
            QVERIFY(QFileInfo::exists(m_disk + path));
        }
        QCOMPARE(ReadBytes(m_disk + QStringLiteral("target/b.docx")), QByteArray("other"));
        QCOMPARE(ArticleTitles(*m_form).size(), 3);
        // The listed articles tell where their documents are now.
        QStringList shown;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            shown.append(list->topLevelItem(i)->toolTip(0).mid(m_disk.size()));
        }
        QCOMPARE(shown, paths);
    }

    void dragFolder_lastChildNeverIntoItself_data() {
        QTest::addColumn<QString>("moved");
        QTest::addColumn<QString>("onto");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("onto a node") << "target"
                                     << "kid"
                                     << "base -kid --target ghost"
                                     << QByteArray("base\r\n\tkid\r\n\t\ttarget\r\nghost\r\n");
        QTest::newRow("onto empty space")
            << "base"
            << ""
            << "target ghost base -kid" << QByteArray("target\r\nghost\r\nbase\r\n\tkid\r\n");
        QTest::newRow("into its own branch")
            << "base"
            << "kid"
            << "base -kid target ghost" << QByteArray("base\r\n\tkid\r\ntarget\r\nghost\r\n");
    }
    void dragFolder_lastChildNeverIntoItself() {
        QFETCH(QString, moved);
        QFETCH(QString, onto);
        QFETCH(QString, shape);
        QFETCH(QByteArray, saved);
        openWindow();
        tree()->setCurrentItem(node(moved));
        QVERIFY(folders()->fdTreeViewDragOver(tree()));
        QCOMPARE(folders()->dragKind(), FolderTree::FolderDrag);
        folders()->fdTreeViewDragDrop(onto.isEmpty() ? nullptr : node(onto));
        QCOMPARE(TreeShape(tree()), shape);
        QCOMPARE(ReadBytes(file(QStringLiteral("FdTVItems.dat"))), saved);
        // The tag tree takes no folder.
        QVERIFY(!folders()->fdTreeViewDragOver(m_form->findChild<QTreeWidget*>(QStringLiteral("tagTreeView"))));
    }

    // The menu's 查找丢失的文档… finds documents moved outside the program below a picked folder, and says what it did.
    void menuRelink_findsMovedDocuments() {
        openWindow();
        QAction* item = m_form->findChild<QAction*>(QStringLiteral("ItemRelink"));
        QCOMPARE(item->text(), QStringLiteral("查找丢失的文档…"));
        QVERIFY(item->isEnabled());
        QDir().mkpath(m_disk + QStringLiteral("target/x"));
        QVERIFY(QFile::rename(m_disk + QStringLiteral("base/a.doc"), m_disk + QStringLiteral("target/x/a.doc")));
        QVERIFY(QFile::remove(m_disk + QStringLiteral("base/b.docx")));
        m_prompts->folderAnswers.enqueue(m_disk + QStringLiteral("target"));
        // Without a cached text the name alone matched: nothing changes until the user ticks it.
        QStringList offered;
        AnswerByNameList(this, true, &offered);
        press("ItemRelink");
        QCOMPARE(offered,
                 QStringList{m_disk + QStringLiteral("base/a.doc → ") + m_disk + QStringLiteral("target/x/a.doc-")});
        QCOMPARE(m_prompts->log, (QStringList{"folder: 查找丢失的文档",
                                              "info: 找回 1 个文档；0 个有多个可能的文件，未作更改；1 个没有找到。"}));
        QCOMPARE(recordPath(0), QStringLiteral("target/x/a.doc"));
        QCOMPARE(recordPath(35), QStringLiteral("base/b.docx"));
        // Nothing missing any more but b.docx, which is nowhere: a second run finds nothing, cancelling asks no more.
        m_prompts->folderAnswers.enqueue(QString());
        press("ItemRelink");
        QCOMPARE(m_prompts->log.size(), 3);
    }

    void articleList_ctrlClickSwitchesToDragging() {
        openWindow();
        m_form->LoadArticleList(m_form->store().GetListForLoadwzTV2(m_disk + QStringLiteral("base/a.doc")), true);
        auto* list = m_form->findChild<QTreeWidget*>(QStringLiteral("wzTreeView"));
        const QPoint at = list->visualItemRect(list->topLevelItem(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, at);
        QVERIFY(list->dragEnabled());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(!list->dragEnabled());
    }
};

int main(int argc, char* argv[]) {
    VelmoraApplication app(argc, argv);
    TestFolderTree test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_foldertree.moc"
