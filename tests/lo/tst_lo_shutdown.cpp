// The main window's shutdown with new documents in tabs of a real LibreOffice: nothing unsaved goes without the
// user's word, and the office this window started does not outlive it.
#include "lofixture.h"

#include "common/appfolder.h"
#include "office/tiword.h"
#include "scriptedprompts.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tmform.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QToolButton>

#include <csignal>
#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestLoShutdown : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One new document thrown away when its tab closes, another left unsaved at Ctrl+Q: the quit asks, its
    // cancel keeps the window and the document, and "don't save" ends the window and the office with it.
    void newDocuments_discardedAndAskedAtQuit() {
        LoEnvironment env;
        SetAppDataFolder(env.path(QStringLiteral("appdata")));
        PrepareDataFolder();
        ScriptedPrompts prompts;
        InstallPrompts(&prompts);
        auto form = std::make_unique<TmForm>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* tabs = form->findChild<DocumentTabs*>(QStringLiteral("documentTabs"));
        auto* create = form->findChild<QToolButton*>(QStringLiteral("tbtCreate"));
        QAction* quit = form->findChild<QAction*>(QStringLiteral("ItemQuit"));
        QVERIFY(tabs && create && quit);

        create->click();
        QCOMPARE(tabs->tabCount(), 1);
        QCOMPARE(OfficeProcessesUnder(env.root()).size(), 1);
        {
            // The user's typing, as the office sees it.
            TiWord typing(false);
            typing.SetDocChanged(QStringLiteral("文档1"), false);
            prompts.yesNoCancelAnswers.enqueue(Answer::No);
            form->findChild<QAction*>(QStringLiteral("ItemClose"))->trigger();
            QCOMPARE(tabs->tabCount(), 0);
            QVERIFY(!typing.DocIsOpen(QStringLiteral("文档1")));

            create->click();
            QCOMPARE(tabs->tabCount(), 1);
            const QString second = tabs->activeTab()->path;
            typing.SetDocChanged(second, false);
            prompts.yesNoCancelAnswers.enqueue(Answer::Cancel);
            quit->trigger();
            QVERIFY(form->isVisible());
            QCOMPARE(tabs->tabCount(), 1);
            QVERIFY(typing.DocIsOpen(second));
            QCOMPARE(prompts.log.filter(QStringLiteral("yesnocancel:")).size(), 2);

            prompts.yesNoCancelAnswers.enqueue(Answer::No);
            quit->trigger();
            QVERIFY(!form->isVisible());
        }
        form.reset();
        QVERIFY2(prompts.log.filter(QStringLiteral("error:")).isEmpty(), qPrintable(prompts.log.join(u'\n')));
        const bool ended = QTest::qWaitFor([&] { return OfficeProcessesUnder(env.root()).isEmpty(); }, 20000);
        for (const qint64 pid : OfficeProcessesUnder(env.root())) {
            ::kill(pid_t(pid), SIGKILL);
        }
        InstallPrompts(nullptr);
        QVERIFY2(ended, "the office outlived the window that started it");
    }
};

QTEST_MAIN(TestLoShutdown)
#include "tst_lo_shutdown.moc"
