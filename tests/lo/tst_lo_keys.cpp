// The window's keys pressed with the keyboard inside documents in tabs of a real LibreOffice: each does what it
// does in the window, the office shows no dialog of its own, and the office under the other tabs lives on.
#include "lofixture.h"

#include "common/appfolder.h"
#include "office/automation/oleserver.h"
#include "office/tiword.h"
#include "platform/windows.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tmform.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

// What the user's keyboard does: the X server's own key events, sent to the window that has the focus.
void Press(const QStringList& arguments) {
    QProcess::execute(QStringLiteral("xdotool"), arguments);
}

// Shown top-level windows other than the main window: a dialog the office put up on its own. Offices of earlier
// tests on the same display may still show theirs, so only the windows that were not there before count.
QStringList OtherWindows(const QWidget& form, const QList<WindowId>& before = {}) {
    QStringList captions;
    for (const TopWindow& top : Windows().topWindows()) {
        if (top.visible && top.id != form.winId() && !before.contains(top.id)) {
            captions.append(QStringLiteral("%1 %2").arg(top.id).arg(top.caption));
        }
    }
    return captions;
}

QList<WindowId> ShownWindows() {
    QList<WindowId> shown;
    for (const TopWindow& top : Windows().topWindows()) {
        if (top.visible) {
            shown.append(top.id);
        }
    }
    return shown;
}

} // namespace

class TestLoKeys : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;
    ScriptedPrompts prompts;
    std::unique_ptr<TmForm> form;
    DocumentTabs* tabs = nullptr;
    QList<qint64> office;

    const DocTab& active() const { return *tabs->activeTab(); }

    // The keyboard goes into the active tab's document, as a click into it would give it.
    void focusDocument() {
        QTRY_VERIFY_WITH_TIMEOUT(active().window != 0, 30000);
        QVERIFY(Windows().activateWindow(active().window));
        QTest::qWait(300);
    }

private Q_SLOTS:
    void initTestCase() {
        if (QGuiApplication::platformName() != u"xcb") {
            QSKIP("needs an X11 display (run under xvfb-run)");
        }
        env = std::make_unique<LoEnvironment>();
        SetAppDataFolder(env->path(QStringLiteral("appdata")));
        PrepareDataFolder();
        QList<qint64> positions;
        {
            TiWord maker(true);
            TWordMgr store(AppDataFolder() + QStringLiteral("worddata.data"));
            for (const QString& name : {QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")}) {
                const QString path = env->path(QStringLiteral("笔记/") + name + QStringLiteral(".docx"));
                QDir().mkpath(QFileInfo(path).absolutePath());
                maker.OpenWordFile(WriteTextFile(env->path(name + QStringLiteral(".txt")), {name}), {}, false);
                maker.SaveAs(path, QString());
                maker.CloseWordFileByName(path);
                positions.append(store.ImportAWord(path, QString(), QString(), 0));
            }
            store.SaveRecDataFiles(false);
        }
        InstallPrompts(&prompts);
        form = std::make_unique<TmForm>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        tabs = form->findChild<DocumentTabs*>(QStringLiteral("documentTabs"));
        QVERIFY(tabs);
        for (const qint64 position : positions) {
            tabs->OpenADocByPos(position);
        }
        QCOMPARE(tabs->tabCount(), 3);
        for (int i = 0; i < 3; ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(tabs->tabAt(i)->window != 0, 30000);
        }
        office = OfficeProcessesUnder(env->root());
        QCOMPARE(office.size(), 1);
    }

    void cleanupTestCase() {
        if (form) {
            // The new document of the last row is thrown away at the quit.
            prompts.yesNoCancelAnswers.enqueue(Answer::No);
            form->close();
            form.reset();
        }
        InstallPrompts(nullptr);
        if (env) {
            const bool ended = QTest::qWaitFor([&] { return OfficeProcessesUnder(env->root()).isEmpty(); }, 20000);
            for (const qint64 pid : OfficeProcessesUnder(env->root())) {
                ::kill(pid_t(pid), SIGKILL);
            }
            QVERIFY2(ended, "the office outlived the window that started it");
        }
    }

    void keyInDocument_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("Ctrl+S saves a library document") << "ctrl+s"
                                                         << "abc"
                                                         << "saved";
        QTest::newRow("Ctrl+Tab goes round to the first tab") << "ctrl+Tab"
                                                              << ""
                                                              << "tab 0";
        QTest::newRow("Ctrl+Shift+Tab goes back to the last") << "ctrl+shift+Tab"
                                                              << ""
                                                              << "tab 2";
        QTest::newRow("Ctrl+W closes the tab, saving it") << "ctrl+w"
                                                          << "x"
                                                          << "closed";
        QTest::newRow("Ctrl+N makes a new document") << "ctrl+n"
                                                     << ""
                                                     << "new";
        QTest::newRow("Ctrl+S names a new document as .docx") << "ctrl+s"
                                                              << "def"
                                                              << "named";
        QTest::newRow("Ctrl+N again") << "ctrl+n"
                                      << ""
                                      << "new";
        QTest::newRow("Ctrl+Q asks the window's question") << "ctrl+q"
                                                           << "y"
                                                           << "asked";
    }
    void keyInDocument() {
        QFETCH(QString, key);
        QFETCH(QString, typed);
        QFETCH(QString, outcome);
        const int count = tabs->tabCount();
        const QString path = active().path;
        focusDocument();
        const QList<WindowId> before = ShownWindows();
        if (!typed.isEmpty()) {
            Press({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("50"), typed});
        }
        const QString named = env->path(QStringLiteral("笔记/新的.docx"));
        if (outcome == u"asked") {
            prompts.yesNoCancelAnswers.enqueue(Answer::Cancel);
        } else if (outcome == u"named") {
            prompts.saveFileAnswers.enqueue(named);
        }
        Press({QStringLiteral("key"), key});

        if (outcome == u"saved") {
            QTRY_VERIFY_WITH_TIMEOUT(ReadDocumentText(path).text.contains(typed), 20000);
        } else if (outcome.startsWith(u"tab ")) {
            const auto* pager = qobject_cast<QTabWidget*>(tabs->pager());
            QTRY_COMPARE_WITH_TIMEOUT(pager->currentIndex(), outcome.mid(4).toInt(), 10000);
        } else if (outcome == u"closed") {
            QTRY_COMPARE_WITH_TIMEOUT(tabs->tabCount(), count - 1, 20000);
            // The window saves a changed document when its tab closes.
            QVERIFY(ReadDocumentText(path).text.contains(typed));
        } else if (outcome == u"named") {
            QTRY_VERIFY_WITH_TIMEOUT(ReadDocumentText(named).text.contains(typed), 20000);
            QVERIFY(ReadBytes(named).startsWith("PK"));
            QCOMPARE(active().path, named);
            QCOMPARE(active().kind(), TabKind::Document);
        } else if (outcome == u"new") {
            QTRY_COMPARE_WITH_TIMEOUT(tabs->tabCount(), count + 1, 20000);
            QCOMPARE(active().kind(), TabKind::NewDocument);
        } else if (outcome == u"asked") {
            QTRY_VERIFY_WITH_TIMEOUT(!prompts.log.filter(QStringLiteral("yesnocancel:")).isEmpty(), 20000);
            QVERIFY(form->isVisible());
            QCOMPARE(tabs->tabCount(), count);
        }
        // Whatever the office would have asked would be up by now.
        QTest::qWait(1000);
        const QStringList dialogs = OtherWindows(*form, before);
        QVERIFY2(dialogs.isEmpty(), qPrintable(dialogs.join(u'\n')));
        QCOMPARE(OfficeProcessesUnder(env->root()), office);
        TiWord look(false);
        for (int i = 0; i < tabs->tabCount(); ++i) {
            QVERIFY2(look.DocIsOpen(tabs->tabAt(i)->path), qPrintable(tabs->tabAt(i)->path));
        }
        QVERIFY2(prompts.log.filter(QStringLiteral("error:")).isEmpty(), qPrintable(prompts.log.join(u'\n')));
    }

    // The office in the tabs speaks the window's language, whatever the locale the test runs in.
    void officeLanguage_isTheWindows() {
        const OleVariant word = GetActiveOleObject(QStringLiteral("Word.Application"));
        QCOMPARE(word.get(QStringLiteral("LanguageSettings")).call(QStringLiteral("LanguageID"), {2}).toInt(), 2052);
    }
};

QTEST_MAIN(TestLoKeys)
#include "tst_lo_keys.moc"
