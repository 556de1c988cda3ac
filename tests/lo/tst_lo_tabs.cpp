// Library documents opened into tabs of a real window, edited, saved and closed in LibreOffice.
#include "dbtoolrun.h"
#include "lofixture.h"

#include "office/tiword.h"
#include "platform/windows.h"
#include "scriptedprompts.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QVBoxLayout>

#include <csignal>

using namespace velmora;
using namespace velmora::test;

namespace {

// The window's place on the desktop, as the X server tells it.
QString WindowGeometry(WindowId window) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QString::number(window)});
    xdotool.waitForFinished(10000);
    const QString said = QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
    return said.mid(said.indexOf(u'\n') + 1).trimmed();
}

// The tab area alone in a shown window of its own.
struct TabsWindow {
    explicit TabsWindow(Workbench& bench) : toolbar(new QToolBar(&host)), tabs(bench, toolbar, &host) {
        host.resize(900, 700);
        auto* layout = new QVBoxLayout(&host);
        layout->addWidget(tabs.pager());
        host.show();
    }
    QWidget host;
    QToolBar* toolbar;
    DocumentTabs tabs;
};

} // namespace

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
    // Whichever route saved the typed word into the file, the cache holds it at once (within the window's look at
    // its tabs' files, for a save the office made on its own), and a search from the command line finds it.
    void saveRoute_searchFindsTheTypedWord_data() {
        QTest::addColumn<QString>("route");
        QTest::newRow("inside the document (the office's own save)") << "office";
        QTest::newRow("toolbar") << "toolbar";
        QTest::newRow("autosave") << "autosave";
        QTest::newRow("quit") << "quit";
        QTest::newRow("the office's own save-as") << "office save-as";
    }
    void saveRoute_searchFindsTheTypedWord() {
        QFETCH(QString, route);
        LoEnvironment env;
        Workbench bench;
        bench.open();
        const qint64 position = addDocument(bench, env, QStringLiteral("笔记.docx"), QStringLiteral("原来的文字"));
        QString path = env.path(QStringLiteral("笔记.docx"));
        WriteTextCache(path, QStringLiteral("原来的文字"));
        // On disk, for the command line's search.
        bench.store().SaveRecDataFiles(false);
        TabsWindow window(bench);
        QVERIFY(QTest::qWaitForWindowExposed(&window.host));
        DocumentTabs& tabs = window.tabs;
        tabs.OpenADocByPos(position);
        if (QGuiApplication::platformName() == u"xcb") {
            // The office's own save-as is followed by the document's window.
            QTRY_VERIFY_WITH_TIMEOUT(tabs.activeTab()->window != 0, 20000);
        }
        bench.word().ReplaceAll(QStringLiteral("原来"), QStringLiteral("苹果"));
        if (route == u"office") {
            bench.word().SaveWordFileByName(path);
        } else if (route == u"toolbar") {
            tabs.tbtSaveClick();
        } else if (route == u"autosave") {
            tabs.svTimerTimer();
        } else if (route == u"quit") {
            QVERIFY(tabs.prepareClose());
            tabs.saveAndReleaseAll();
        } else {
            path = env.path(QStringLiteral("另存.docx"));
            bench.word().SaveAs(path, QString());
            tabs.closeActiveTab();
            QCOMPARE(bench.store().GetDocNameByPos(position), path);
        }
        QTRY_COMPARE_WITH_TIMEOUT(ReadTextCache(path), QStringLiteral("苹果的文字\r\n"), 2000);
        const Run search = RunCaptured(
            {QStringLiteral("search"), QStringLiteral("--in"), QStringLiteral("text"), QStringLiteral("苹果")});
        // The rows share one library: the documents of the rows before are found too.
        QVERIFY2(search.status == 0, qPrintable(search.err));
        QVERIFY2(search.out.split(u'\n').contains(QStringLiteral("%1|%2").arg(position).arg(path)),
                 qPrintable(search.out));
        while (tabs.tabCount() > 0) {
            tabs.closeActiveTab();
        }
    }

    void documentInTab_editedSavedClosed() {
        LoEnvironment env;
        Workbench bench;
        bench.open();
        const qint64 first = addDocument(bench, env, QStringLiteral("第一.docx"), QStringLiteral("原来的文字"));
        const qint64 second = addDocument(bench, env, QStringLiteral("第二.docx"), QStringLiteral("第二篇"));
        const qint64 third = addDocument(bench, env, QStringLiteral("第三.docx"), QStringLiteral("第三篇"));
        const QString path = env.path(QStringLiteral("第一.docx"));

        TabsWindow window(bench);
        QVERIFY(QTest::qWaitForWindowExposed(&window.host));
        DocumentTabs& tabs = window.tabs;

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

    // Two tabs with unsaved edits, opened back to back, and a new document. The office saves one document and the
    // new one under names of its own; closing their tabs saves and closes them like any other and leaves the office
    // running, so the other tab's edit is saved at its close. Autosave leaves an unchanged file alone.
    void officesOwnSave_tabsFollowAndOfficeLives() {
        LoEnvironment env;
        ScriptedPrompts prompts;
        InstallPrompts(&prompts);
        Workbench bench;
        bench.open();
        const qint64 first = addDocument(bench, env, QStringLiteral("甲.docx"), QStringLiteral("甲的文字"));
        const qint64 second = addDocument(bench, env, QStringLiteral("乙.docx"), QStringLiteral("乙的文字"));
        const QString path1 = env.path(QStringLiteral("甲.docx"));
        const QString renamed = env.path(QStringLiteral("乙改名.docx"));
        WriteTextCache(env.path(QStringLiteral("乙.docx")), QStringLiteral("乙的文字"));

        TabsWindow window(bench);
        QVERIFY(QTest::qWaitForWindowExposed(&window.host));
        QWidget& host = window.host;
        DocumentTabs& tabs = window.tabs;

        // The second opening comes while the first window is still being taken: both are taken.
        tabs.OpenADocByPos(first);
        tabs.OpenADocByPos(second);
        QCOMPARE(tabs.tabCount(), 2);
        const bool display = QGuiApplication::platformName() == u"xcb";
        if (display) {
            QTRY_VERIFY_WITH_TIMEOUT(tabs.tabAt(0)->window != 0 && tabs.tabAt(1)->window != 0, 30000);
            QCOMPARE(FindTopWindowByCaption(bench.windows(), QStringLiteral("甲.docx")), WindowId(0));
        }

        TiWord& word = bench.word();
        if (display) {
            // Released, the frameless window covers the screen's free area as a maximised one would; taken back,
            // it sits in its tab again.
            tabs.tbtEmbedClick();
            QVERIFY(tabs.activeTab()->released);
            const QRect free = host.screen()->availableGeometry();
            QTRY_COMPARE(WindowGeometry(tabs.activeTab()->window),
                         QStringLiteral("Position: %1,%2 (screen: 0)\n  Geometry: %3x%4")
                             .arg(free.x())
                             .arg(free.y())
                             .arg(free.width())
                             .arg(free.height()));
            tabs.tbtEmbedClick();
            QVERIFY(!tabs.activeTab()->released);
        }
        const QDateTime written = QFileInfo(path1).lastModified();
        static_cast<QTabWidget*>(tabs.pager())->setCurrentIndex(0);
        tabs.svTimerTimer();
        QCOMPARE(QFileInfo(path1).lastModified(), written);
        word.ReplaceAll(QStringLiteral("甲的"), QStringLiteral("甲改的"));
        static_cast<QTabWidget*>(tabs.pager())->setCurrentIndex(1);
        word.ReplaceAll(QStringLiteral("乙的"), QStringLiteral("乙改的"));

        // The office's own Save As, behind the tabs, then one more edit.
        QVERIFY(word.ActivateDoc(env.path(QStringLiteral("乙.docx"))));
        word.SaveAs(renamed, QString());
        word.ReplaceAll(QStringLiteral("乙改的"), QStringLiteral("乙又改的"));
        const QList<qint64> office = OfficeProcessesUnder(env.root());
        QCOMPARE(office.size(), 1);

        tabs.closeActiveTab();
        QCOMPARE(tabs.tabCount(), 1);
        QVERIFY(!word.DocIsOpen(renamed));
        QCOMPARE(ReadDocumentText(renamed).text, QStringLiteral("乙又改的文字\r"));
        TWordMgr& store = bench.store();
        QCOMPARE(store.ReadAStrItem(second, wdiFullName, true), renamed);
        QCOMPARE(ReadTextCache(renamed), QStringLiteral("乙又改的文字\r\n"));
        QVERIFY(!HasTextCache(env.path(QStringLiteral("乙.docx"))));

        // A new document that the office saved itself closes without a question.
        tabs.tbtCreateClick();
        const QString mine = env.path(QStringLiteral("自己存的.docx"));
        if (display) {
            QTRY_VERIFY_WITH_TIMEOUT(tabs.activeTab()->window != 0, 30000);
        }
        word.AddReturn();
        word.SaveAs(mine, QString());
        const QString officeSaved = ReadDocumentText(mine).text;
        word.AddReturn();
        tabs.closeActiveTab();
        QVERIFY(prompts.log.isEmpty());
        QCOMPARE(tabs.tabCount(), 1);
        QVERIFY(!word.DocIsOpen(mine));
        QCOMPARE(ReadDocumentText(mine).text, officeSaved + QStringLiteral("\r"));

        QTest::qWait(500);
        QCOMPARE(OfficeProcessesUnder(env.root()), office);
        tabs.closeActiveTab();
        QCOMPARE(tabs.tabCount(), 0);
        QCOMPARE(ReadDocumentText(path1).text, QStringLiteral("甲改的文字\r"));
        QCOMPARE(OfficeProcessesUnder(env.root()), office);
        InstallPrompts(nullptr);
    }
};

QTEST_MAIN(TestLoTabs)
#include "tst_lo_tabs.moc"
