// The main window starts the shared office in the background as it comes up: an opening clicked meanwhile waits
// for that office with the window alive, and one clicked afterwards finds it running and does not start another.
#include "lofixture.h"

#include "common/appfolder.h"
#include "common/prompts.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "workbench/core/treefile.h"
#include "workbench/documenttabs.h"
#include "workbench/tmform.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <csignal>
#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestLoStartup : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> m_env;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<TmForm> m_form;

    // Two copies of a sample document tagged t, and the window on them with both listed.
    void open() {
        const QString docs = m_env->path(QStringLiteral("docs/"));
        QDir().mkpath(docs);
        {
            TWordMgr store(AppDataFolder() + QStringLiteral("worddata.data"));
            for (const QString& name : {QStringLiteral("一.docx"), QStringLiteral("二.docx")}) {
                QVERIFY(QFile::copy(QStringLiteral(VELMORA_LO_TEST_DATA "/plain.docx"), docs + name));
                store.ImportAWord(docs + name, QStringLiteral("t"), QString(), 0);
            }
            store.SaveRecDataFiles(false);
        }
        SaveTreeFile(AppDataFolder() + QStringLiteral("TagTVItems.dat"), DecodeTreeText(QByteArray("t\r\n")));
        m_form = std::make_unique<TmForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        auto* tags = m_form->findChild<QTreeWidget*>(QStringLiteral("tagTreeView"));
        QTreeWidgetItem* tag = m_form->FindTagNode(QStringLiteral("t"));
        QTest::mouseClick(tags->viewport(), Qt::LeftButton, {}, tags->visualItemRect(tag).center());
        QCOMPARE(articles()->topLevelItemCount(), 2);
    }

    QTreeWidget* articles() const { return m_form->findChild<QTreeWidget*>(QStringLiteral("wzTreeView")); }
    DocumentTabs* tabs() const { return m_form->findChild<DocumentTabs*>(QStringLiteral("documentTabs")); }
    QLabel* indicator() const { return m_form->findChild<QLabel*>(QStringLiteral("lbOfficeStart")); }

    void clickArticle(int row) {
        QTreeWidget* list = articles();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(row)).center());
    }

    // The tab's office window taken into the tab, where there is a display to take it from.
    void waitForEmbedding() {
        if (QGuiApplication::platformName() == u"xcb") {
            QTRY_VERIFY_WITH_TIMEOUT(tabs()->activeTab()->window != 0, 30000);
        }
    }

private Q_SLOTS:
    void init() {
        m_env = std::make_unique<LoEnvironment>();
        SetAppDataFolder(m_env->path(QStringLiteral("appdata")));
        PrepareDataFolder();
        m_prompts = std::make_unique<ScriptedPrompts>();
        InstallPrompts(m_prompts.get());
    }
    void cleanup() {
        m_form.reset();
        const bool ended = QTest::qWaitFor([&] { return OfficeProcessesUnder(m_env->root()).isEmpty(); }, 20000);
        for (const qint64 pid : OfficeProcessesUnder(m_env->root())) {
            ::kill(pid_t(pid), SIGKILL);
        }
        InstallPrompts(nullptr);
        QVERIFY2(m_prompts->log.filter(QStringLiteral("error:")).isEmpty(), qPrintable(m_prompts->log.join(u'\n')));
        m_prompts.reset();
        m_env.reset();
        QVERIFY2(ended, "the office outlived the window that started it");
    }

    // Started with the window, the office runs before anything is opened; the first click opens in it.
    void startedEarly_firstOpeningFindsItRunning() {
        open();
        QVERIFY(OfficeProcessesUnder(m_env->root()).isEmpty());
        m_form->startOfficeEarly();
        QVERIFY(indicator()->isVisible());
        QCOMPARE(QAccessible::queryAccessibleInterface(indicator())->text(QAccessible::Name),
                 QStringLiteral("正在启动 LibreOffice…"));
        QTRY_VERIFY_WITH_TIMEOUT(!indicator()->isVisible(), 60000);
        const QList<qint64> office = OfficeProcessesUnder(m_env->root());
        QCOMPARE(office.size(), 1);

        QElapsedTimer clock;
        clock.start();
        clickArticle(0);
        QCOMPARE(tabs()->tabCount(), 1);
        waitForEmbedding();
        qInfo("first opening, office started early: embedded %lld ms after the click", clock.elapsed());
        QCOMPARE(OfficeProcessesUnder(m_env->root()), office);
        // The start opened the help document hidden to load the word processor early, and closed it again: the
        // help button opens it in a tab like any time.
        m_form->findChild<QToolButton*>(QStringLiteral("btnHelp"))->click();
        QCOMPARE(tabs()->tabCount(), 2);
        QCOMPARE(tabs()->activeTab()->path, DocumentTabs::helpPath());
    }

    // Clicked while the office still starts, the opening waits for that office, the window handling its events
    // meanwhile, and then opens and embeds in it: one office, not a second one.
    void clickedWhileStarting_waitsWithWindowAlive() {
        open();
        m_form->startOfficeEarly();
        QVERIFY(indicator()->isVisible());
        const QString chosen = articles()->topLevelItem(1)->text(0);
        int tabsWhenTimerRan = -1;
        QTimer::singleShot(0, this, [&] { tabsWhenTimerRan = tabs()->tabCount(); });
        clickArticle(1);
        QCOMPARE(tabs()->tabCount(), 1);
        // The timer ran while the click waited for the office, before its tab was there.
        QCOMPARE(tabsWhenTimerRan, 0);
        QVERIFY(!indicator()->isVisible());
        waitForEmbedding();
        QCOMPARE(OfficeProcessesUnder(m_env->root()).size(), 1);
        QCOMPARE(tabs()->activeTab()->caption, chosen);
    }
};

QTEST_MAIN(TestLoStartup)
#include "tst_lo_startup.moc"
