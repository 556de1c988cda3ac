// The tags strip's password through the real office: the record asks for a password exactly when the file on
// disk needs one, also when the office cannot save.
#include "lofixture.h"

#include "office/tiword.h"
#include "scriptedprompts.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tabs/tagspanel.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

using namespace velmora;
using namespace velmora::test;

class TestLoStrip : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void password_recordFollowsTheFile_data() {
        QTest::addColumn<bool>("pathTaken");
        QTest::newRow("saved") << false;
        QTest::newRow("the office cannot write") << true;
    }
    void password_recordFollowsTheFile() {
        QFETCH(bool, pathTaken);
        LoEnvironment env;
        ScriptedPrompts prompts;
        Workbench bench;
        bench.open();
        const QString folder = env.path(QStringLiteral("docs"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/密.docx");
        TiWord& word = bench.word();
        word.OpenWordFile(WriteTextFile(env.path(QStringLiteral("a.txt")), {QStringLiteral("正文")}), {}, false);
        word.SaveAs(path, QString());
        word.CloseWordFileByName(path);
        const qint64 position = bench.store().ImportAWord(path, QString(), QString(), 0);

        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        auto* toolbar = new QToolBar(&host);
        auto* strip = new TagsPanel(bench, toolbar, &host);
        auto* tabs = new DocumentTabs(bench, toolbar, &host);
        tabs->setTagStrip(strip);
        layout->addWidget(strip->panel());
        layout->addWidget(tabs->pager());
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        tabs->OpenADocByPos(position);
        QCOMPARE(tabs->tabCount(), 1);

        QTest::keyClicks(strip->panel()->findChild<QLineEdit*>(QStringLiteral("psEdit")), QStringLiteral("pw1"));
        if (pathTaken) {
            // A folder where the file was: the office cannot write it, whoever runs the test.
            QVERIFY(QFile::remove(path) && QDir().mkpath(path));
        }
        QTest::mouseClick(strip->panel()->findChild<QToolButton*>(QStringLiteral("btSaveTagScorePS")), Qt::LeftButton);
        QCOMPARE(prompts.log.size(), pathTaken ? 1 : 0);
        QCOMPARE(IsEncryptedOnDisk(path), !pathTaken);
        QCOMPARE(bench.store().ReadAStrItem(position, wdiPassword, true),
                 pathTaken ? QString() : QStringLiteral("pw1"));
    }
};

QTEST_MAIN(TestLoStrip)
#include "tst_lo_strip.moc"
