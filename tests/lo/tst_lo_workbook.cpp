// The delivered e-book workbook in a tab of a real window, book links imported into it by LibreOffice Calc.
#include "lofixture.h"

#include "common/appfolder.h"
#include "office/tiexcel.h"
#include "platform/windows.h"
#include "scriptedprompts.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tabs/ebookworkbook.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <quazip.h>
#include <quazipfile.h>

using namespace velmora;
using namespace velmora::test;

namespace {

QByteArray ZipEntry(const QString& zip, const QString& entry) {
    QuaZip archive(zip);
    if (!archive.open(QuaZip::mdUnzip) || !archive.setCurrentFile(entry)) {
        return {};
    }
    QuaZipFile file(&archive);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString WriteBook(const QString& path, qint64 size) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(size, 'b')) != size) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

} // namespace

class TestLoWorkbook : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void importedLinks_savedWithAbsoluteTargets() {
        LoEnvironment env;
        // A data folder of the test's own, which start-up fills with the delivered workbook.
        SetAppDataFolder(env.path(QStringLiteral("appdata")));
        ScriptedPrompts prompts;
        PrepareDataFolder();
        Workbench bench;
        bench.open();
        const QString workbook = EbookWorkbook::workbookPath();

        QWidget host;
        host.setWindowTitle(QStringLiteral("Velmora"));
        host.resize(1000, 700);
        auto* layout = new QVBoxLayout(&host);
        auto* toolbar = new QToolBar(&host);
        DocumentTabs tabs(bench, toolbar, &host);
        EbookWorkbook ebook(bench, toolbar);
        ebook.setWorkbookTabs(&tabs);
        layout->addWidget(tabs.pager());
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        const QString deep = WriteBook(env.path(QStringLiteral("书库/深度 工作.pdf")), 1024);
        const QString small = WriteBook(env.path(QStringLiteral("书库/a.b.epub")), 1023);
        prompts.openFileAnswers.enqueue({deep, small});
        host.findChild<QAction*>(QStringLiteral("ItemImpBookLink"))->trigger();
        QCOMPARE(tabs.tabCount(), 1);
        QCOMPARE(tabs.ActiveTabPath(), workbook);
        if (QGuiApplication::platformName() == u"xcb") {
            // Calc's window is taken into the tab.
            QTRY_VERIFY_WITH_TIMEOUT(tabs.activeTab()->window != 0, 20000);
            QCOMPARE(tabs.activeTab()->window, bench.excel().WindowOf(workbook));
            QCOMPARE(FindTopWindowByCaption(bench.windows(), QStringLiteral("MyExcel.xlsx")), WindowId(0));
        }

        // A row cleared by the user in between is not written over by the next import.
        bench.excel().SetACellValue(workbook, 1, 2, 2, QString());
        bench.excel().SetACellValue(workbook, 1, 2, 3, QString());
        bench.excel().SetACellValue(workbook, 1, 2, 4, QString());
        const QString later = WriteBook(env.path(QStringLiteral("后来/第三本.mobi")), 3 << 20);
        prompts.openFileAnswers.enqueue({later});
        host.findChild<QAction*>(QStringLiteral("ItemImpBookLink"))->trigger();
        QCOMPARE(tabs.tabCount(), 1);
        tabs.closeActiveTab();
        QCOMPARE(tabs.tabCount(), 0);
        QVERIFY(!bench.excel().IsWorkbookOpen(workbook));
        QCOMPARE(bench.settings().value(SettingKey::ImportDir), env.path(QStringLiteral("后来/")));

        // The file itself holds external links with the books' full paths.
        const QByteArray rels = ZipEntry(workbook, QStringLiteral("xl/worksheets/_rels/sheet1.xml.rels"));
        for (const QString& target : {small, later}) {
            const QByteArray link = "Target=\"file://" + target.toUtf8() + "\" TargetMode=\"External\"";
            QVERIFY2(rels.contains(link), rels.constData());
        }
        QVERIFY2(!rels.contains(deep.toUtf8()), rels.constData());

        // Read back by a spreadsheet program of its own: the heading row, the cleared row, the links.
        TiExcel excel(true);
        excel.OpenExcelFile(workbook);
        const QStringList expected{"电子书|大小|类型|", "|||", "a.b|1023 Byte(s)|epub |" + small,
                                   "第三本|3.00 MB|mobi |" + later};
        QStringList rows;
        for (int row = 1; row <= 4; ++row) {
            rows.append(QStringList{excel.ACellValue(1, row, 2), excel.ACellValue(1, row, 3),
                                    excel.ACellValue(1, row, 4), row == 1 ? QString() : excel.ACellHperLink(1, row, 2)}
                            .join(u'|'));
        }
        QCOMPARE(rows, expected);
        QCOMPARE(excel.GetLastFilledRow(workbook, 1, 2, 4), 4);
        excel.GiveupSave();
    }
};

QTEST_MAIN(TestLoWorkbook)
#include "tst_lo_workbook.moc"
