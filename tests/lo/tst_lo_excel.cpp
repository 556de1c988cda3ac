// The e-book workbook through TiExcel, answered by LibreOffice Calc.
#include "lofixture.h"

#include "office/tiexcel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstdio>

using namespace velmora;
using namespace velmora::test;

namespace {

const char kOtherProgram[] = "--other-program";

// Another program of the user: opens a workbook in the running office, changes it, and keeps it until told.
int RunOtherProgram(const QString& workbook) {
    LoEnvironment::registerServers();
    TiExcel excel(false);
    if (excel.Created()) {
        std::fputs("started an office of its own\n", stdout);
        return 1;
    }
    excel.OpenExcelFile(workbook);
    excel.SetACellValue(1, 1, 1, QStringLiteral("用户的改动"));
    SayReadyAndWait();
    excel.GiveupSave();
    return 0;
}

} // namespace

class TestLoExcel : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;

private Q_SLOTS:
    void initTestCase() { env = std::make_unique<LoEnvironment>(); }

    void cellsAndLinks_roundTripInXlsx() {
        const QString path = env->path(QStringLiteral("books.xlsx"));
        QVERIFY(QFile::copy(QStringLiteral(VELMORA_LO_TEST_DATA "/book.xlsx"), path));
        const QString target = env->path(QStringLiteral("深度 工作.pdf"));
        {
            TiExcel excel(true);
            excel.OpenExcelFile(path);
            QCOMPARE(excel.GetUsedRows(1, 1), 0);
            excel.SetACellValue(1, 1, 1, QStringLiteral("书名"));
            excel.SetACellValue(2, 1, QStringLiteral("Books"), QStringLiteral("深度工作"));
            excel.SetACellValue(2, 1, 1, QStringLiteral("第二页"));
            excel.InsertFileLink(target, QStringLiteral("B2"));
            QCOMPARE(excel.GetUsedRows(1, 1), 2);
            QCOMPARE(excel.GetUsedCols(1, 2), 2);
            excel.SaveExcelFile(path);
            excel.CloseExcelFile();
        }
        // The links keep their full path when the workbook moves.
        QVERIFY(QDir().mkpath(env->path(QStringLiteral("moved"))));
        const QString moved = env->path(QStringLiteral("moved/books.xlsx"));
        QVERIFY(QFile::rename(path, moved));
        TiExcel excel(true);
        excel.OpenExcelFile(moved);
        QCOMPARE(excel.ACellValue(1, 2, 1), QStringLiteral("深度工作"));
        QCOMPARE(excel.ACellValue(1, 2, 2), QStringLiteral("深度 工作"));
        QCOMPARE(excel.ACellHperLink(1, 2, 2), target);
        QCOMPARE(excel.ACellValue(2, 1, 1), QStringLiteral("第二页"));
        QCOMPARE(excel.ACellHperLink(1, 1, 1), QString());
        excel.GiveupSave();
    }

    // The e-book workbook's server ends only what it opened: a workbook that another program opened in the same
    // office stays open with its unsaved change, and so does the office.
    void quit_leavesOthersWorkbooks() {
        const QString users = env->path(QStringLiteral("用户的.xlsx"));
        const QString ebooks = env->path(QStringLiteral("电子书.xlsx"));
        QVERIFY(QFile::copy(QStringLiteral(VELMORA_LO_TEST_DATA "/book.xlsx"), users));
        QVERIFY(QFile::copy(QStringLiteral(VELMORA_LO_TEST_DATA "/book.xlsx"), ebooks));
        auto excel = std::make_unique<TiExcel>(false);
        QVERIFY(excel->Created());
        QProcess other;
        QCOMPARE(StartChildVelmora(other, {QLatin1String(kOtherProgram), users}), QByteArray("ready\n"));
        excel->OpenExcelFile(ebooks);
        excel.reset();
        QCOMPARE(OfficeProcessesUnder(env->root()).size(), 1);
        {
            // A wrapper attached to that office closes and quits no more than its own either.
            TiExcel attached(false);
            QVERIFY(!attached.Created());
            attached.OpenExcelFile(ebooks);
            attached.CloseExcelFile();
            QCOMPARE(attached.ACellValue(1, 1, 1), QStringLiteral("用户的改动"));
        }
        TiExcel again(false);
        QCOMPARE(again.ACellValue(1, 1, 1), QStringLiteral("用户的改动"));
        other.write("end\n");
        QVERIFY(other.waitForFinished(60000));
        QCOMPARE(other.exitCode(), 0);
        // The office was left running for the other program; here the test ends it.
        for (const qint64 pid : OfficeProcessesUnder(env->root())) {
            ::kill(pid_t(pid), SIGKILL);
        }
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 20000);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kOtherProgram) == 0) {
        return RunOtherProgram(QString::fromLocal8Bit(argv[2]));
    }
    TestLoExcel test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_lo_excel.moc"
