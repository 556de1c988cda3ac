#include "common/textcodec.h"
#include "libraryfiles.h"
#include "scriptedprompts.h"
#include "tempappdata.h"
#include "treeshape.h"
#include "workbench/application.h"
#include "workbench/core/treefile.h"
#include "workbench/imagelist.h"
#include "workbench/navigation/articlelist.h"
#include "workbench/navigation/filtertree.h"
#include "workbench/navigation/tagtree.h"
#include "workbench/navigation/treeview.h"
#include "workbench/tmform.h"
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

class TestPanels : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<Workbench> m_bench;
    std::unique_ptr<QWidget> m_host;

    // One area alone in a window of its own, on the files of writeFiles.
    void openBench(const QString& tags) {
        writeFiles(tags);
        m_bench = std::make_unique<Workbench>();
        m_bench->open();
        m_host = std::make_unique<QWidget>();
        new QHBoxLayout(m_host.get());
    }

    // A library of three documents tagged t, t and u, and the tag tree of the shape tags.
    void writeFiles(const QString& tags) {
        WriteLibrary({{"a.doc", "t"}, {"b.doc", "t"}, {"c.doc", "u"}});
        SaveTreeFile(m_appData->file(QStringLiteral("TagTVItems.dat")), TreeOf(tags));
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
        openBench("t");
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
        openBench("r -t");
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
        QString shape(QStringLiteral("r"));
        for (int i = 0; i < 80; ++i) {
            shape += QStringLiteral(" -n%1").arg(i);
        }
        openBench(shape);
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

    void articleList_sortBoxShowsEveryCaptionWhole() {
        openBench("r");
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
        writeFiles("r");
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
        writeFiles("r");
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
        writeFiles("r -t");
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
