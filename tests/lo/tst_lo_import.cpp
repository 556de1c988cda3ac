// The import against LibreOffice: a folder of real Word files, one of them only the office can read, imported with
// a password and indexed.
#include "lofixture.h"

#include "office/tiword.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tagstripdouble.h"
#include "textreader/documenttext.h"
#include "workbench/import/importrun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

QStringList Lines(const QString& text) {
    return text.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
}

} // namespace

class TestLoImport : public QObject {
    Q_OBJECT

    std::unique_ptr<LoEnvironment> env;

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<LoEnvironment>(); }
    void cleanupTestCase() { QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 20000); }

    void folder_protectedAndIndexed() {
        // A library of the test's own; the text cache is the data folder's, rewritten by every import.
        QDir().mkpath(env->path(QStringLiteral("library")));
        const QString library = env->path(QStringLiteral("library/worddata.data"));
        const QString folder = env->path(QStringLiteral("笔记")) + QDir::separator();
        QDir().mkpath(folder + QStringLiteral("旧"));
        const QString data = QStringLiteral(VELMORA_LO_TEST_DATA "/");
        QVERIFY(QFile::copy(data + QStringLiteral("plain.docx"), folder + QStringLiteral("新笔记.docx")));
        QVERIFY(QFile::copy(data + QStringLiteral("plain.doc"), folder + QStringLiteral("旧/旧笔记.doc")));
        QFile rtf(folder + QStringLiteral("格式.doc"));
        QVERIFY(rtf.open(QIODevice::WriteOnly));
        rtf.write("{\\rtf1\\ansi only the office reads this\\par}");
        rtf.close();

        ImportOptions options;
        QHash<QString, QStringList> before;
        for (const QString& line : ListImportFiles(folder, true)) {
            options.items.append({line, false});
            const DocumentText read = ReadDocumentText(line);
            before.insert(line,
                          read.ok() ? Lines(read.text) : QStringList{QStringLiteral("only the office reads this")});
        }
        QCOMPARE(options.items.size(), 4); // the sub-folder's line too
        options.password = QStringLiteral("密码pw");
        options.index = true;
        TagStripDouble strip;
        {
            TWordMgr store(library);
            ImportRun run(store, strip, options);
            while (!run.atEnd()) {
                run.next();
            }
            run.finish();
            QCOMPARE(run.failures().size(), 0);
            QCOMPARE(run.importedCount(), 3);
            QVERIFY(run.officeStarted());
        }
        TWordMgr store(library);
        QCOMPARE(store.GetRecNumber(), 3);
        TiWord word(true);
        for (int i = 0; i < store.GetRecNumber(); ++i) {
            const QString path = store.ReadAStrItem(i * TWordMgr::RecSize(), wdiFullName, true);
            QCOMPARE(store.ReadAStrItem(i * TWordMgr::RecSize(), wdiPassword, true), options.password);
            QCOMPARE(ReadDocumentText(path).status, TextReadStatus::Encrypted);
            QCOMPARE(Lines(ReadTextCache(path)), before.value(path));
            word.OpenWordFile(path, options.password, true);
            QCOMPARE(Lines(word.GetDocTextByName(path)), before.value(path));
            word.CloseWordFileByName(path);
        }
    }
};

QTEST_GUILESS_MAIN(TestLoImport)
#include "tst_lo_import.moc"
