#include "common/textcodec.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/application.h"
#include "workbench/articlelist.h"
#include "workbench/core/treefile.h"
#include "workbench/filtertree.h"
#include "workbench/imagelist.h"
#include "workbench/tagtree.h"
#include "workbench/tagtreewidget.h"
#include "workbench/tmform.h"
#include "workbench/treeview.h"
#include "workbench/workbench.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

// Nodes as "depth:text" in pre-order, each leaf with the leaf picture and each group with the group picture.
Tree treeOf(const QStringList& lines) {
    QByteArray text("\xEF\xBB\xBF");
    for (const QString& line : lines) {
        const qsizetype colon = line.indexOf(u':');
        text += QByteArray(line.left(colon).toInt(), '\t') + line.mid(colon + 1).toUtf8() + "\r\n";
    }
    return DecodeTreeText(text);
}

QString expandedNames(const QTreeWidget* view) {
    QStringList names;
    for (const QTreeWidgetItem* node : PreOrder(view)) {
        if (node->isExpanded()) {
            names.append(node->text(0));
        }
    }
    names.sort();
    return names.join(u' ');
}

} // namespace

class TestPanels : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<Workbench> m_bench;
    std::unique_ptr<QWidget> m_host;

    // One area alone in a window of its own, on a library of three documents tagged t, t and u.
    void openBench(const Tree& tags) {
        writeLibrary(tags);
        m_bench = std::make_unique<Workbench>();
        m_bench->open();
        m_host = std::make_unique<QWidget>();
        new QHBoxLayout(m_host.get());
    }

    void writeLibrary(const Tree& tags) {
        TWordMgr store(m_appData->file(QStringLiteral("worddata.data")));
        for (const char* name : {"a.doc", "b.doc", "c.doc"}) {
            const QString path = m_appData->file(QStringLiteral("docs/")) + QString::fromLatin1(name);
            WriteBytes(path, "x");
            store.ImportAWord(path, name[0] == 'c' ? QStringLiteral("u") : QStringLiteral("t"), QString(), 0);
        }
        store.SaveRecDataFiles(false);
        SaveTreeFile(m_appData->file(QStringLiteral("TagTVItems.dat")), tags);
    }

    void showHost() {
        m_host->resize(300, 200);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    }

    void press(QTreeWidget* view, QTreeWidgetItem* node, const QString& gesture) {
        view->scrollToItem(node);
        const QPoint at = view->visualItemRect(node).center();
        if (gesture == QLatin1String("click")) {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        } else if (gesture == QLatin1String("double click")) {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        } else {
            view->setCurrentItem(node);
            QTest::keyClick(view, Qt::Key_Return);
        }
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
    }
    void cleanup() {
        m_host.reset();
        m_bench.reset();
        m_prompts.reset();
        m_appData.reset();
    }

    void trees_runOncePerGesture_data() {
        QTest::addColumn<bool>("tagTree");
        QTest::addColumn<QString>("gesture");
        for (const char* gesture : {"click", "double click", "enter"}) {
            QTest::addRow("tag, %s", gesture) << true << QString::fromLatin1(gesture);
            QTest::addRow("filter, %s", gesture) << false << QString::fromLatin1(gesture);
        }
    }
    void trees_runOncePerGesture() {
        QFETCH(bool, tagTree);
        QFETCH(QString, gesture);
        openBench(treeOf({"0:t"}));
        TagTree tags(*m_bench, m_host.get());
        FilterTree filters(*m_bench, m_host.get());
        tags.load();
        QTreeWidget* view = static_cast<QTreeWidget*>(tagTree ? tags.view() : filters.view());
        m_host->layout()->addWidget(view);
        showHost();
        QSignalSpy tagLists(&tags, &TagTree::positionsReady);
        QSignalSpy filterLists(&filters, &FilterTree::positionsReady);
        QTreeWidgetItem* node = tagTree ? tags.FindTagNode(QStringLiteral("t")) : PreOrder(view).at(4); // 无星文档
        press(view, node, gesture);
        QCOMPARE((tagTree ? tagLists : filterLists).size(), 1);
        QVERIFY(m_prompts->log.isEmpty());
    }

    void tagTree_ctrlClickKeepsTheNodeSelected() {
        openBench(treeOf({"0:r", "1:t"}));
        TagTree tags(*m_bench, m_host.get());
        tags.load();
        auto* view = static_cast<QTreeWidget*>(tags.view());
        m_host->layout()->addWidget(view);
        showHost();
        view->expandAll();
        QTreeWidgetItem* node = tags.FindTagNode(QStringLiteral("t"));
        for (int i = 0; i < 2; ++i) {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              view->visualItemRect(node).center());
            QVERIFY(node->isSelected());
            QCOMPARE(tags.selectedNodeIndex(), 1);
        }
    }

    void tagTree_keepsTheCurrentNodeInView() {
        QStringList lines{"0:r"};
        for (int i = 0; i < 80; ++i) {
            lines.append(QStringLiteral("1:n%1").arg(i));
        }
        openBench(treeOf(lines));
        TagTree tags(*m_bench, m_host.get());
        tags.load();
        auto* view = static_cast<QTreeWidget*>(tags.view());
        m_host->layout()->addWidget(view);
        showHost();
        view->expandAll();
        QTreeWidgetItem* moved = tags.FindTagNode(QStringLiteral("n0"));
        view->setCurrentItem(moved);
        auto* down = view->findChild<QAction*>(QStringLiteral("ItemDown"));
        for (int i = 0; i < 60; ++i) {
            down->trigger();
        }
        QCOMPARE(view->currentItem(), moved);
        QVERIFY(view->viewport()->rect().contains(view->visualItemRect(moved)));
        QTest::keyClick(view, Qt::Key_End);
        QVERIFY(view->viewport()->rect().contains(view->visualItemRect(view->currentItem())));
    }

    void tagTree_rearrangingKeepsBranchesExpanded_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("operation");
        // Tree: r( z( y( x ) ) a( a1 ) ), every group expanded.
        QTest::newRow("sort") << "r"
                              << "ItemSort";
        QTest::newRow("down") << "z"
                              << "ItemDown";
        QTest::newRow("right") << "a"
                               << "ItemToRight";
        QTest::newRow("left") << "y"
                              << "ItemToLeft";
        QTest::newRow("drop") << "z"
                              << "drop";
    }
    void tagTree_rearrangingKeepsBranchesExpanded() {
        QFETCH(QString, node);
        QFETCH(QString, operation);
        openBench(treeOf({"0:r", "1:z", "2:y", "3:x", "1:a", "2:a1"}));
        TagTree tags(*m_bench, m_host.get());
        tags.load();
        auto* view = static_cast<TagTreeWidget*>(tags.view());
        m_host->layout()->addWidget(view);
        showHost();
        view->expandAll();
        view->setCurrentItem(tags.FindTagNode(node));
        if (operation == QLatin1String("drop")) {
            view->dropSelectedOn(tags.FindTagNode(QStringLiteral("a1")));
        } else {
            view->findChild<QAction*>(operation)->trigger();
        }
        QCOMPARE(expandedNames(view), QStringLiteral("a a1 r x y z"));
    }

    void articleList_sortBoxShowsEveryCaptionWhole() {
        openBench(treeOf({"0:r"}));
        ArticleList articles(*m_bench, m_host.get());
        m_host->layout()->addWidget(articles.widget());
        showHost();
        auto* box = articles.widget()->findChild<QLineEdit*>(QStringLiteral("sortEdit"));
        for (QAction* key : articles.widget()->findChild<QMenu*>(QStringLiteral("pmSort"))->actions()) {
            if (key->isSeparator() || key->data().isNull()) {
                continue;
            }
            articles.SelectSortItem(key->text());
            box->home(false);
            const QPoint first = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
            box->end(false);
            // Shown whole, the text does not scroll when the cursor goes to its end.
            QVERIFY2(box->cursorPositionAt(first) == 0, qPrintable(box->text()));
        }
    }

    void window_leftColumnNarrowsAndSearchBoxFollows() {
        writeLibrary(treeOf({"0:r"}));
        TmForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* column = form.findChild<QWidget*>(QStringLiteral("wzPanel"));
        auto* box = form.findChild<QLineEdit*>(QStringLiteral("schEdit"));
        QCOMPARE(box->width(), column->width() + 1);
        QVERIFY2(form.findChild<QWidget*>(QStringLiteral("leftPanel"))->minimumSizeHint().width() <= 180 + 1 + 250,
                 qPrintable(QString::number(column->minimumSizeHint().width())));
        QCOMPARE(form.windowTitle(), QStringLiteral("Velmora 0.1.0"));
        const QImage search =
            form.findChild<QAction*>(QStringLiteral("schEditRightButton"))->icon().pixmap(18).toImage();
        QCOMPARE(search, AppImage(8).pixmap(18).toImage());
    }

    void window_everyControlNamedAndWaitingOnesSaySo() {
        writeLibrary(treeOf({"0:r"}));
        TmForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QList<QWidget*> controls;
        for (QWidget* widget : form.findChildren<QWidget*>()) {
            if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                qobject_cast<QAbstractItemView*>(widget)) {
                controls.append(widget);
            }
        }
        QVERIFY(controls.size() > 30);
        for (QWidget* control : std::as_const(controls)) {
            if (control->objectName().startsWith(QLatin1String("qt_")) ||
                (control->parentWidget() != nullptr && (control->parentWidget()->inherits("QAbstractItemView") ||
                                                        control->parentWidget()->inherits("QTabBar")))) {
                continue; // Qt's own parts of toolbars and views
            }
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            QVERIFY2(accessible != nullptr && !accessible->text(QAccessible::Name).isEmpty(),
                     control->metaObject()->className());
            if (!control->isEnabled()) {
                QVERIFY2(control->toolTip() == QStringLiteral("尚未实现"), control->metaObject()->className());
            }
        }
    }

    void window_ctrlQClosesWithTheShutdownSteps() {
        writeLibrary(treeOf({"0:r", "1:t"}));
        TmForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* view = form.findChild<QTreeWidget*>(QStringLiteral("tagTreeView"));
        view->setCurrentItem(form.FindTagNode(QStringLiteral("t")));
        QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!form.isVisible());
        const QStringList settings = ReadTextFile(m_appData->file(QStringLiteral("settings.ini")));
        QVERIFY(settings.contains(QStringLiteral("LastNode=1")));
        QCOMPARE(settings.filter(QStringLiteral("WinPosLTHW=")).first().count(u','), 3);
    }
};

int main(int argc, char* argv[]) {
    VelmoraApplication app(argc, argv);
    TestPanels test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_panels.moc"
