// Library documents opened into tabs of a real window, edited, saved and closed in LibreOffice.
#include "lofixture.h"

#include "office/tiword.h"
#include "platform/windows.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/documenttabs.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include <csignal>

using namespace velmora;
using namespace velmora::test;

class TestLoTabs : public QObject {
    Q_OBJECT

    // A one-paragraph .docx made by the office itself, added to the library.
    static qint64 addDocument(Workbench& bench, const LoEnvironment& env, const QString& name, const QString& text) {
        const QString path = env.path(name);
        TiWord& word = bench.word();
        word.OpenWordFile(WriteTextFile(env.path(name + QStringLiteral(".txt")), {text}), {}, false);
        word.SaveAs(path, QString());
        word.CloseWordFileByName(path);
        return bench.store().ImportAWord(path, QString(), QString(), 0);
    }

private Q_SLOTS:
    void documentInTab_editedSavedClosed() {
        LoEnvironment env;
        Workbench bench;
        bench.open();
        const qint64 first = addDocument(bench, env, QStringLiteral("第一.docx"), QStringLiteral("原来的文字"));
        const qint64 second = addDocument(bench, env, QStringLiteral("第二.docx"), QStringLiteral("第二篇"));
        const qint64 third = addDocument(bench, env, QStringLiteral("第三.docx"), QStringLiteral("第三篇"));
        const QString path = env.path(QStringLiteral("第一.docx"));

        QWidget host;
        host.resize(900, 700);
        auto* layout = new QVBoxLayout(&host);
        auto* toolbar = new QToolBar(&host);
        DocumentTabs tabs(bench, toolbar, &host);
        layout->addWidget(tabs.pager());
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        tabs.OpenADocByPos(first);
        QCOMPARE(tabs.tabCount(), 1);
        const bool display = QGuiApplication::platformName() == u"xcb";
        if (display) {
            // Re-parented into the tab: the office's window is no top-level window any more.
            QTRY_VERIFY_WITH_TIMEOUT(tabs.activeTab()->window != 0, 20000);
            QCOMPARE(tabs.activeTab()->window, bench.word().WindowOf(path));
            QCOMPARE(FindTopWindowByCaption(bench.windows(), QStringLiteral("第一.docx")), WindowId(0));
        }

        // Autosave writes the edit to the file; closing counts it and refreshes the cache.
        bench.word().ReplaceAll(QStringLiteral("原来"), QStringLiteral("改过"));
        tabs.svTimerTimer();
        QCOMPARE(ReadDocumentText(path).text, QStringLiteral("改过的文字\r"));
        bench.word().ReplaceAll(QStringLiteral("文字"), QStringLiteral("内容"));
        tabs.closeActiveTab();
        QCOMPARE(tabs.tabCount(), 0);
        QVERIFY(!bench.word().DocIsOpen(path));
        TWordMgr& store = bench.store();
        QCOMPARE(store.ReadADigitItem(first, wdiReadTimes, true), quint16(1));
        QCOMPARE(store.ReadADigitItem(first, wdiEditTimes, true), quint16(1));
        QVERIFY(store.WordRec().wdAccessTime > 0);
        QCOMPARE(ReadTextCache(path), QStringLiteral("改过的内容\r\n"));

        // The office dies under two open tabs: the tabs can still be closed and the next opening works.
        tabs.OpenADocByPos(first);
        tabs.OpenADocByPos(second);
        QCOMPARE(tabs.tabCount(), 2);
        for (const qint64 pid : OfficeProcessesUnder(env.root())) {
            ::kill(pid_t(pid), SIGKILL);
        }
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env.root()).isEmpty(), 10000);
        tabs.OpenADocByPos(third);
        QCOMPARE(tabs.tabCount(), 3);
        QVERIFY(bench.word().DocIsOpen(env.path(QStringLiteral("第三.docx"))));
        while (tabs.tabCount() > 0) {
            tabs.closeActiveTab();
        }
        QVERIFY(!bench.word().DocIsOpen(env.path(QStringLiteral("第三.docx"))));
    }
};

QTEST_MAIN(TestLoTabs)
#include "tst_lo_tabs.moc"
