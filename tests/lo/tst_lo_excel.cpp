// The e-book workbook through TiExcel, answered by LibreOffice Calc.
#include "lofixture.h"

#include "office/tiexcel.h"

#include <QFile>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

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
        TiExcel excel(true);
        excel.OpenExcelFile(path);
        QCOMPARE(excel.ACellValue(1, 2, 1), QStringLiteral("深度工作"));
        QCOMPARE(excel.ACellValue(1, 2, 2), QStringLiteral("深度 工作"));
        QCOMPARE(excel.ACellHperLink(1, 2, 2), target);
        QCOMPARE(excel.ACellValue(2, 1, 1), QStringLiteral("第二页"));
        QCOMPARE(excel.ACellHperLink(1, 1, 1), QString());
        excel.GiveupSave();
    }
};

QTEST_GUILESS_MAIN(TestLoExcel)
#include "tst_lo_excel.moc"
