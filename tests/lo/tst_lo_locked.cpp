// A document held open elsewhere: by another office of the same user, or behind another user's lock file. It opens
// read-only, and saving it fails with a message that names the file.
#include "lofixture.h"

#include "office/automation/automationerror.h"
#include "office/tiword.h"

#include <QFile>
#include <QTest>
#include <QUrl>

using namespace velmora;
using namespace velmora::test;

class TestLoLocked : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;
    std::unique_ptr<TiWord> word;
    std::unique_ptr<TiWord> elsewhere;

private Q_SLOTS:
    void initTestCase() {
        env = std::make_unique<LoEnvironment>();
        word = std::make_unique<TiWord>(true);
        elsewhere = std::make_unique<TiWord>(true);
    }
    void cleanupTestCase() {
        word.reset();
        elsewhere.reset();
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 20000);
    }

    void heldDocument_opensReadOnly_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("lockOwner"); // empty: the other office's own lock
        QTest::addColumn<bool>("held");
        QTest::newRow("another office of this user") << "共用的笔记.docx" << QByteArray() << true;
        QTest::newRow("another user's lock file")
            << "他人的笔记.docx" << QByteArray("someone,elsewhere,elsewhere,09.12.2026 03:00,file:///home/someone/4;")
            << true;
        // A private office of ours that was killed: its profile is gone and no office runs on it.
        QTest::newRow("lock left by a killed office of ours")
            << "遗留的笔记.docx"
            << (",me,here,09.12.2026 03:00," +
                QUrl::fromLocalFile(env->path(QStringLiteral("tmp/velmora-lo-0123456789ab"))).toEncoded() + ";")
            << false;
    }
    void heldDocument_opensReadOnly() {
        QFETCH(QString, name);
        QFETCH(QByteArray, lockOwner);
        QFETCH(bool, held);
        const QString path = env->path(name);
        elsewhere->OpenWordFile(WriteTextFile(env->path(name + QStringLiteral(".txt")), {QStringLiteral("原文")}),
                                QString(), false);
        elsewhere->SaveAs(path, QString());
        if (!lockOwner.isEmpty()) {
            elsewhere->CloseAllFiles();
            QFile lock(env->path(QStringLiteral(".~lock.%1#").arg(name)));
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write(lockOwner + '\n');
        }
        word->OpenWordFile(path, QString(), false);
        QCOMPARE(word->GetDocText(), QStringLiteral("原文\r"));
        QCOMPARE(word->GetDocPropBool(1), held);
        word->ReplaceAll(QStringLiteral("原文"), QStringLiteral("改动"));
        try {
            word->SaveWordFileByName(path);
            QVERIFY(!held);
        } catch (const AutomationError& e) {
            QVERIFY(held);
            QVERIFY2(e.message().contains(name), qPrintable(e.message()));
            QVERIFY2(!e.message().contains(QStringLiteral("0x")), qPrintable(e.message()));
        }
        word->GiveupSave();
        word->CloseAllFiles();
        elsewhere->CloseAllFiles();
    }
};

QTEST_GUILESS_MAIN(TestLoLocked)
#include "tst_lo_locked.moc"
