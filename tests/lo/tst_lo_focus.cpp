// The document the user works in: two documents in two windows of the main server, the focus moved between them
// through the window layer, and every call of the wrapper lands on the focused one.
#include "lofixture.h"

#include "office/officetext.h"
#include "office/tiword.h"
#include "platform/windows.h"

#include <QApplication>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

class TestLoFocus : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;
    std::unique_ptr<TiWord> word;
    QString first;
    QString second;

    QString makeOpenDocument(const QString& tail, const QString& text) {
        word->OpenWordFile(WriteTextFile(env->path(QStringLiteral("source") + tail + QStringLiteral(".txt")), {text}),
                           QString(), false);
        // The names carry the process id, so that windows of other tests on the same display cannot answer.
        const QString path =
            env->path(QStringLiteral("笔记-%1.docx%2").arg(QCoreApplication::applicationPid()).arg(tail));
        word->SaveAs(path, QString());
        return path;
    }

    // What a user's click into the document's window does.
    void focus(const QString& path) {
        WindowId window = 0;
        QTRY_VERIFY_WITH_TIMEOUT((window = word->WindowOf(path)) != 0, 20000);
        QVERIFY(Windows().activateWindow(window));
        QTRY_COMPARE_WITH_TIMEOUT(word->ActiveDocFullName(), path, 20000);
    }

private Q_SLOTS:
    void initTestCase() {
        if (QGuiApplication::platformName() != u"xcb") {
            QSKIP("needs an X11 display (run under xvfb-run)");
        }
        env = std::make_unique<LoEnvironment>();
        word = std::make_unique<TiWord>(false);
        QVERIFY(word->Created());
        word->SetVisible(true);
        first = makeOpenDocument(QString(), QStringLiteral("甲的内容"));
        // Its caption begins with the first one's name, and its window is the newer one.
        second = makeOpenDocument(QStringLiteral(".bak.docx"), QStringLiteral("乙的内容"));
        QCOMPARE(word->OpenedDocs(), 2);
    }
    void cleanupTestCase() {
        word.reset();
        if (env) {
            QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 20000);
        }
    }

    // The window the office reports is the top-level window the caption finds, and the caption rule does not
    // hand 笔记-N.docx the newer window of 笔记-N.docx.bak.docx.
    void reportedWindow_isTheDocumentsOwn() {
        for (const QString& path : {first, second}) {
            WindowId reported = 0;
            QTRY_VERIFY_WITH_TIMEOUT((reported = word->WindowOf(path)) != 0, 20000);
            QTRY_COMPARE_WITH_TIMEOUT(FindTopWindowByCaption(Windows(), FileNameOf(path)), reported, 20000);
        }
        QVERIFY(word->WindowOf(first) != word->WindowOf(second));
        QCOMPARE(word->WindowOf(env->path(QStringLiteral("not-open.docx"))), quint64(0));
    }

    void callsLandOnTheFocusedDocument_data() {
        QTest::addColumn<bool>("toFirst");
        QTest::addColumn<QString>("text");
        QTest::newRow("first") << true << "甲的内容\r";
        QTest::newRow("second") << false << "乙的内容\r";
        QTest::newRow("first again") << true << "甲的内容\r";
    }
    void callsLandOnTheFocusedDocument() {
        QFETCH(bool, toFirst);
        QFETCH(QString, text);
        const QString path = toFirst ? first : second;
        focus(path);
        QCOMPARE(word->GetDocText(), text);
        QCOMPARE(word->GetTitle(), text.chopped(1));
        QCOMPARE(word->GetDocPropStr(2), path);
        // A tab's own choice wins over the focus until the user moves again.
        const QString other = toFirst ? second : first;
        QVERIFY(word->ActivateDoc(other));
        QCOMPARE(word->ActiveDocFullName(), other);
    }

    // The probe that lost work: the answered-No close of one document must not discard another's change.
    void answeredNo_closesOnlyTheFocusedDocument() {
        focus(second);
        word->ReplaceAll(QStringLiteral("乙"), QStringLiteral("丙"));
        focus(first);
        word->ReplaceAll(QStringLiteral("甲"), QStringLiteral("丁"));
        QVERIFY(word->DocChanged(first));
        word->GiveupSave();
        word->CloseCurrDocAndDoNotSaveChanges();
        QCOMPARE(word->OpenedDocs(), 1);
        QVERIFY(!word->DocIsOpen(first));
        QVERIFY(word->DocChanged(second));
        QCOMPARE(word->GetDocTextByName(second), QStringLiteral("丙的内容\r"));
        word->GiveupSave();
        word->CloseAllFiles();
    }
};

QTEST_MAIN(TestLoFocus)
#include "tst_lo_focus.moc"
