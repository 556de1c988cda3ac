// The information dialog's numbers for a document built here, counted by LibreOffice.
#include "lofixture.h"

#include "controls.h"
#include "office/tiword.h"
#include "workbench/dialogs/information.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace velmora;
using namespace velmora::test;

class TestLoInfo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void information_countsTheTabsDocument() {
        LoEnvironment env;
        Workbench bench;
        bench.open();
        TiWord& word = bench.word();
        const QString rtf = env.path(QStringLiteral("built.rtf"));
        {
            QFile file(rtf);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(
                "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n"
                "\\pard Intro {\\field{\\*\\fldinst HYPERLINK \"http://example.com/\"}{\\fldrslt a link}}.\\par\n"
                "\\trowd\\cellx2000\\cellx4000\\pard\\intbl A\\cell B\\cell\\row\n"
                "\\pard Between.\\par\n"
                "\\trowd\\cellx2000\\pard\\intbl C\\cell\\row\n"
                "\\pard End.\\par}\n");
        }
        const QString path = env.path(QStringLiteral("统计.docx"));
        word.OpenWordFile(rtf, QString(), false);
        word.SaveAs(path, QString());
        // Another document is the office's active one when the dialog is asked for.
        word.OpenWordFile(WriteTextFile(env.path(QStringLiteral("other.txt")), {QStringLiteral("x")}), {}, false);
        bench.setActiveTab(ActiveTab{true, 0, path, false});

        QWidget host;
        auto* toolbar = new QToolBar(&host);
        Information information(bench, toolbar);
        QTest::mouseClick(static_cast<QToolButton*>(information.toolButton()), Qt::LeftButton);
        TinfoForm* form = information.form();
        QVERIFY(form != nullptr);
        const auto label = [form](const char* name) { return ctl<QLabel>(*form, name)->text(); };
        QCOMPARE(ctl<QLineEdit>(*form, "edDocName")->text(), path);
        QCOMPARE(label("lbTableNum"), QStringLiteral("表格数：  2"));
        QCOMPARE(label("lbLinkNum"), QStringLiteral("链接数：  1"));
        QCOMPARE(label("lbField"), QStringLiteral("域数目：  1"));
        QCOMPARE(label("lbPageNum"), QStringLiteral("页面数：  1"));
        for (const char* none : {"lbBookmarkNum", "lbCommentNum", "lbFootNum", "lbEndNum", "lbCateNum", "lbShapeNum"}) {
            QVERIFY2(label(none).endsWith(QStringLiteral("：  0")), qPrintable(label(none)));
        }
        QVERIFY(label("lbCharNum").section(u' ', -1).toInt() > 20);
        QVERIFY(
            label("lbModi").startsWith(QFileInfo(path).lastModified().toString(QStringLiteral("修改日期：yyyy/M/d "))));
        QCOMPARE(word.ActiveDocFullName(), path);
        form->close();
        word.CloseAllFiles();
    }
};

QTEST_MAIN(TestLoInfo)
#include "tst_lo_info.moc"
