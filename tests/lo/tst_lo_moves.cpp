// Folder moves against real LibreOffice: a document that a second office has open stays where it is and is named
// in the report (the office would otherwise save it back to the old place later); a moved document is found by
// its text at its new place, and a new file at the old place does not inherit the old text.
#include "lofixture.h"

#include "common/appfolder.h"
#include "common/textcodec.h"
#include "office/tiword.h"
#include "scriptedprompts.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "wholetextsearch.h"
#include "workbench/navigation/foldertree.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace velmora;
using namespace velmora::test;

class TestLoMoves : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;
    std::unique_ptr<QTemporaryDir> m_appData;
    QString m_src;
    QString m_dst;

    // The folder tree knows src and dst; the library holds the given copies of the sample in src, in order.
    void prepare(const QStringList& names) {
        m_appData = std::make_unique<QTemporaryDir>();
        SetAppDataFolder(m_appData->path());
        m_src = m_appData->filePath(QStringLiteral("src/"));
        m_dst = m_appData->filePath(QStringLiteral("dst/"));
        QDir().mkpath(m_src);
        QDir().mkpath(m_dst);
        TWordMgr library(m_appData->filePath(QStringLiteral("worddata.data")));
        for (const QString& name : names) {
            QVERIFY(QFile::copy(QStringLiteral(VELMORA_LO_TEST_DATA "/plain.docx"), m_src + name));
            QFile::setPermissions(m_src + name, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            library.ImportAWord(m_src + name, QString(), QString(), 0);
        }
        library.SaveRecDataFiles(false);
        QFile tree(m_appData->filePath(QStringLiteral("FdTVItems.dat")));
        QVERIFY(tree.open(QIODevice::WriteOnly));
        tree.write("src\r\ndst\r\n");
        tree.close();
        velmora::WriteTextFile(m_appData->filePath(QStringLiteral("fdlist.dat")), {m_src, m_dst});
    }

    // Moves the documents at positions into dst with the folder tree's 移动 command, as the user does.
    static void moveAll(Workbench& bench, ScriptedPrompts& prompts, const QList<qint64>& positions) {
        QWidget host;
        FolderTree folders(bench, &host);
        folders.load();
        folders.setArticleSource(nullptr, [positions](bool) { return positions; });
        auto* tree = host.findChild<QTreeWidget*>(QStringLiteral("fdTreeView"));
        tree->setCurrentItem(tree->topLevelItem(1));
        prompts.yesNoAnswers.enqueue(true);
        host.findChild<QAction*>(QStringLiteral("btnMoveAll"))->trigger();
    }

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<LoEnvironment>(); }
    void cleanupTestCase() { QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 20000); }
    void cleanup() {
        SetAppDataFolder({});
        m_appData.reset();
    }

    void documentOpenInAnotherOffice_staysAndIsNamed() {
        prepare({QStringLiteral("一.docx"), QStringLiteral("二.docx")});
        ScriptedPrompts prompts;
        Workbench bench;
        bench.open();
        {
            TiWord other(true);
            other.OpenWordFile(m_src + QStringLiteral("二.docx"), QString(), false);
            moveAll(bench, prompts, {0, 35});
            QCOMPARE(
                prompts.log.filter(QStringLiteral("info: ")),
                QStringList{QStringLiteral("info: 文档移动有 1 失败\n%1二.docx\n    文档正被其他程序打开").arg(m_src)});
            QCOMPARE(bench.store().GetDocNameByPos(0), m_dst + QStringLiteral("一.docx"));
            QCOMPARE(bench.store().GetDocNameByPos(35), m_src + QStringLiteral("二.docx"));
            QVERIFY(QFile::exists(m_dst + QStringLiteral("一.docx")));
            QVERIFY(QFile::exists(m_src + QStringLiteral("二.docx")));
            // The office saves where it opened the document, which is still where the library has it.
            other.SaveWordFileByName(m_src + QStringLiteral("二.docx"));
            other.CloseWordFileByName(m_src + QStringLiteral("二.docx"));
        }
        prompts.log.clear();
        moveAll(bench, prompts, {35});
        QCOMPARE(prompts.log.filter(QStringLiteral("info: ")), QStringList());
        QCOMPARE(bench.store().GetDocNameByPos(35), m_dst + QStringLiteral("二.docx"));
        QVERIFY(!QFile::exists(m_src + QStringLiteral("二.docx")));
    }

    void movedDocument_foundByItsText_newFileAtOldPlaceInheritsNothing() {
        prepare({QStringLiteral("笔记.docx")});
        ScriptedPrompts prompts;
        Workbench bench;
        bench.open();
        // The search reads the document and keeps its text.
        QCOMPARE(SearchWholeText(bench, QStringLiteral("english 42")),
                 QStringList{QStringLiteral("0|%1笔记.docx\r\n").arg(m_src)});
        QVERIFY(HasTextCache(m_src + QStringLiteral("笔记.docx")));
        moveAll(bench, prompts, {0});
        QCOMPARE(prompts.log.filter(QStringLiteral("info: ")), QStringList());
        // Another document comes to the old place: text the built-in reader cannot read, so the office reads it.
        test::WriteTextFile(m_src + QStringLiteral("笔记.docx"), {QStringLiteral("另一篇文档的正文")});
        bench.store().ImportAWord(m_src + QStringLiteral("笔记.docx"), QString(), QString(), 0);
        QCOMPARE(SearchWholeText(bench, QStringLiteral("english 42")),
                 QStringList{QStringLiteral("0|%1笔记.docx\r\n").arg(m_dst)});
        QCOMPARE(SearchWholeText(bench, QStringLiteral("另一篇文档")),
                 QStringList{QStringLiteral("35|%1笔记.docx\r\n").arg(m_src)});
    }
};

QTEST_MAIN(TestLoMoves)
#include "tst_lo_moves.moc"
