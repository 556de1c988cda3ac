// The main window starts the shared office in the background as it comes up: an opening clicked meanwhile waits
// for that office with the window alive, and one clicked afterwards finds it running and does not start another.
#include "lofixture.h"

#include "common/appfolder.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "workbench/core/treefile.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tmform.h"

#include <QAccessible>
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

    std::unique_ptr<LoEnvironment> m_env;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<TmForm> m_form;

    QTreeWidget* articles() const { return m_form->findChild<QTreeWidget*>(QStringLiteral("wzTreeView")); }
    DocumentTabs* tabs() const { return m_form->findChild<DocumentTabs*>(QStringLiteral("documentTabs")); }
    QLabel* indicator() const { return m_form->findChild<QLabel*>(QStringLiteral("lbOfficeStart")); }

    // The window on two copies of a sample document, both listed, with the office being started.
    void openAndStartOffice() {
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
        m_form->tagTreeViewClick(m_form->FindTagNode(QStringLiteral("t")), {});
        QVERIFY(OfficeProcessesUnder(m_env->root()).isEmpty());
        m_form->startOfficeEarly();
        QVERIFY(indicator()->isVisible());
        QCOMPARE(QAccessible::queryAccessibleInterface(indicator())->text(QAccessible::Name),
                 QStringLiteral("正在启动 LibreOffice…"));
    }

    // Clicks the article and waits until its office window is in the tab, where there is a display to take it from.
    void openArticle(int row) {
        QTreeWidget* list = articles();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(row)).center());
        QCOMPARE(tabs()->activeTab()->caption, list->topLevelItem(row)->text(0));
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
        QVERIFY2(ended, "the office outlived the window that started it");
    }

    // The office runs before anything is opened, and the first click opens in it. Its start loaded the word
    // processor by opening the help document hidden, and closed it: the help button still opens it in a tab.
    void startedEarly_firstOpeningFindsItRunning() {
        openAndStartOffice();
        QTRY_VERIFY_WITH_TIMEOUT(!indicator()->isVisible(), 60000);
        const QList<qint64> office = OfficeProcessesUnder(m_env->root());
        QCOMPARE(office.size(), 1);
        QElapsedTimer clock;
        clock.start();
        openArticle(0);
        qInfo("first opening, office started early: embedded %lld ms after the click", clock.elapsed());
        QCOMPARE(OfficeProcessesUnder(m_env->root()), office);
        m_form->findChild<QToolButton*>(QStringLiteral("btnHelp"))->click();
        QCOMPARE(tabs()->tabCount(), 2);
        QCOMPARE(tabs()->activeTab()->path, DocumentTabs::helpPath());
    }

    // Clicked while the office still starts, the opening waits for that office, the window handling its events
    // meanwhile (the timer runs before the tab is there), and then opens in it: one office, not a second one.
    void clickedWhileStarting_waitsWithWindowAlive() {
        openAndStartOffice();
        int tabsWhenTimerRan = -1;
        QTimer::singleShot(0, this, [&] { tabsWhenTimerRan = tabs()->tabCount(); });
        openArticle(1);
        QCOMPARE(tabsWhenTimerRan, 0);
        QVERIFY(!indicator()->isVisible());
        QCOMPARE(OfficeProcessesUnder(m_env->root()).size(), 1);
    }

    // Closed while the office still starts, the window waits for it and ends it with itself (cleanup looks).
    void closedWhileStarting_officeEndsWithWindow() {
        openAndStartOffice();
        QVERIFY(m_form->close());
        m_form.reset();
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(m_env->root()).isEmpty(), 20000);
    }
};

QTEST_MAIN(TestLoStartup)
#include "tst_lo_startup.moc"
