// A document window of the main server found by its caption and taken into a Qt window.
#include "lofixture.h"

#include "office/tiword.h"
#include "platform/windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

using namespace velmora;
using namespace velmora::test;

class TestLoWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void documentWindow_isFoundAndEmbedded() {
        if (QGuiApplication::platformName() != u"xcb") {
            QSKIP("needs an X11 display (run under xvfb-run)");
        }
        LoEnvironment env;
        // The name is unique, so that windows of other tests on the same display cannot answer.
        const QString name = QStringLiteral("嵌入-%1.docx").arg(QCoreApplication::applicationPid());
        const QString path = env.path(name);
        TiWord word(false);
        word.OpenWordFile(WriteTextFile(env.path(QStringLiteral("embed.txt")), {QStringLiteral("窗口")}), {}, false);
        word.SaveAs(path, QString());
        word.SetVisible(true);
        QVERIFY(word.Visible());

        WindowId window = 0;
        QElapsedTimer clock;
        clock.start();
        while (window == 0 && clock.elapsed() < 20000) {
            window = FindTopWindowByCaption(Windows(), name);
            QTest::qWait(150);
        }
        QVERIFY2(window != 0, "no window captioned with the document name");
        QCOMPARE(FindTopWindowByCaption(Windows(), name.toUpper() + QStringLiteral("x")), WindowId(0));

        QWidget tab;
        tab.resize(640, 480);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QVERIFY(Windows().removeFrame(window));
        QVERIFY(Windows().setParent(window, tab.winId()));
        QVERIFY(Windows().moveWindow(window, -3, 0, tab.width(), tab.height()));
        // Inside the tab it is no top-level window any more.
        QCOMPARE(FindTopWindowByCaption(Windows(), name), WindowId(0));
        QVERIFY(Windows().setParent(window, 0));
        QTRY_COMPARE_WITH_TIMEOUT(FindTopWindowByCaption(Windows(), name), window, 5000);
        word.CloseAllFiles();
    }
};

QTEST_MAIN(TestLoWindow)
#include "tst_lo_window.moc"
