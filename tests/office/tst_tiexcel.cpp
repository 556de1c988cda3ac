#include "office/automation/automationerror.h"
#include "office/automation/oleserver.h"
#include "office/tiexcel.h"
#include "officedouble.h"

#include <QTest>

#include <functional>

using namespace velmora;
using namespace velmora::test;

namespace {

using ExcelAction = std::function<QString(TiExcel&)>;

ExcelAction act(std::function<void(TiExcel&)> f) {
    return [f](TiExcel& x) {
        f(x);
        return QString();
    };
}

// The user's Excel with one workbook of three sheets open, the wrapper attached.
struct Attached {
    OfficeDouble office;
    std::shared_ptr<ExcelWorkbook> book;
    std::unique_ptr<TiExcel> excel;

    explicit Attached(bool withWorkbook = true) {
        ExcelDouble& server = *office.startExcel();
        if (withWorkbook) {
            book = server.addWorkbook(QStringLiteral("/books/MyExcel.xlsx"));
        }
        excel = std::make_unique<TiExcel>(false);
    }
    ExcelDouble& server() { return office.excel(); }
    ExcelSheet& sheet(int i = 0) { return book->sheets[i]; }
};

} // namespace

Q_DECLARE_METATYPE(ExcelAction)

class TestTiExcel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void construct_withoutExcel_raisesMessage();
    void destroy_closesThenQuitsWhenItShould_data();
    void destroy_closesThenQuitsWhenItShould();
    void cellCalls_data();
    void cellCalls();
    void noWorkbook_quietAndEmpty_data();
    void noWorkbook_quietAndEmpty();
    void failures_areSwallowed_data();
    void failures_areSwallowed();
    void namedWorkbook_actsOnItOnly_data();
    void namedWorkbook_actsOnItOnly();
    void insertFileLink_showsNameLinksPath();
    void getUsedRows_data();
    void getUsedRows();
    void getUsedCols_stopsAtFirstBlank();
    void getUsedRows_letsErrorsThrough();
};

void TestTiExcel::construct_withoutExcel_raisesMessage() {
    OfficeDouble office;
    office.setInstalled(QStringLiteral("Excel.Application"), false);
    for (const bool alwaysCreate : {true, false}) {
        try {
            TiExcel excel(alwaysCreate);
            QFAIL("no error raised");
        } catch (const VelmoraError& e) {
            QCOMPARE(e.message(), QStringLiteral("您的电脑上没哦安装Office"));
        }
    }
}

void TestTiExcel::destroy_closesThenQuitsWhenItShould_data() {
    QTest::addColumn<bool>("alwaysCreate");
    QTest::addColumn<bool>("closeFails");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("quit");

    QTest::newRow("started by us") << true << false << QStringList{"WorkBooks.Close()", "Quit()"} << true;
    QTest::newRow("user's Excel, all closed")
        << false << false << QStringList{"WorkBooks.Close()", "WorkBooks.Count", "Quit()"} << true;
    QTest::newRow("user's Excel keeps a workbook")
        << false << true << QStringList{"WorkBooks.Close()", "WorkBooks.Count"} << false;
}

void TestTiExcel::destroy_closesThenQuitsWhenItShould() {
    QFETCH(bool, alwaysCreate);
    QFETCH(bool, closeFails);
    QFETCH(QStringList, calls);
    QFETCH(bool, quit);

    OfficeDouble office;
    office.startExcel();
    {
        TiExcel excel(alwaysCreate);
        ExcelDouble& server = *office.excels.last();
        server.addWorkbook(QStringLiteral("/b.xlsx"));
        if (closeFails) {
            server.failOn(QStringLiteral("WorkBooks.Close"));
        }
    }
    QCOMPARE(office.excels.last()->log(), calls);
    QCOMPARE(office.excels.last()->quit(), quit);
}

void TestTiExcel::cellCalls_data() {
    QTest::addColumn<ExcelAction>("op");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("SetCellValue") << act([](TiExcel& x) { x.SetCellValue(2, 3, 4.5); }) << QString()
                                  << QStringList{"WorkBooks.Count", "Cells(int:2, int:3).Value := double:4.5"};
    QTest::newRow("SetACellValue by number")
        << act([](TiExcel& x) { x.SetACellValue(1, 7, 3, "1.50 MB"); }) << QString()
        << QStringList{"WorkBooks.Count", R"(WorkSheets(int:1).Cells(int:7, int:3).Value := "1.50 MB")"};
    QTest::newRow("SetACellValue by name")
        << act([](TiExcel& x) { x.SetACellValue(7, 4, QStringLiteral("Sheet2"), QStringLiteral(".pdf ")); })
        << QString() << QStringList{"WorkBooks.Count", R"(WorkSheets("Sheet2").Cells(int:7, int:4).Value := ".pdf ")"};
    QTest::newRow("ACellValue") << ExcelAction([](TiExcel& x) { return x.ACellValue(1, 2, 2); }) << "Deep Work"
                                << QStringList{"WorkBooks.Count", "WorkSheets(int:1).Cells(int:2, int:2).[default]"};
    QTest::newRow("ACellHperLink") << ExcelAction([](TiExcel& x) { return x.ACellHperLink(1, 2, 2); })
                                   << "/books/Deep Work.pdf"
                                   << QStringList{"WorkBooks.Count", "WorkSheets(int:1).Cells(int:2, int:2).Select()",
                                                  "Selection.Hyperlinks(int:1).Address"};
    QTest::newRow("GiveupSave") << act([](TiExcel& x) { x.GiveupSave(); }) << QString()
                                << QStringList{"WorkBooks.Count", "ActiveWorkBook.Saved := bool:true"};
    QTest::newRow("RunMacro") << act([](TiExcel& x) { x.RunMacro("Sort"); }) << QString()
                              << QStringList{"WorkBooks.Count", R"(Run("Sort"))"};
    QTest::newRow("OpenExcelFile") << act([](TiExcel& x) { x.OpenExcelFile("/books/other.xlsx"); }) << QString()
                                   << QStringList{R"(WorkBooks.Open("/books/other.xlsx"))"};
    QTest::newRow("SetVisible") << ExcelAction([](TiExcel& x) {
        x.SetVisible(true);
        return x.Visible() ? QStringLiteral("shown") : QString();
    }) << "shown" << QStringList{"Visible", "Visible := bool:true"};
}

void TestTiExcel::cellCalls() {
    QFETCH(ExcelAction, op);
    QFETCH(QString, result);
    QFETCH(QStringList, calls);

    Attached a;
    a.office.workbookFiles.insert(QStringLiteral("/books/other.xlsx"), ExcelWorkbook{});
    a.sheet().cells.insert({2, 2}, QStringLiteral("Deep Work"));
    a.sheet().links.insert({2, 2}, QStringLiteral("/books/Deep Work.pdf"));
    QCOMPARE(op(*a.excel), result);
    QCOMPARE(a.server().log(), calls);
}

void TestTiExcel::noWorkbook_quietAndEmpty_data() {
    QTest::addColumn<ExcelAction>("op");

    QTest::newRow("SetCellValue") << act([](TiExcel& x) { x.SetCellValue(1, 1, 1); });
    QTest::newRow("SetACellValue") << act([](TiExcel& x) { x.SetACellValue(1, 1, 1, "x"); });
    QTest::newRow("SetACellValue by name") << act([](TiExcel& x) { x.SetACellValue(1, 1, QStringLiteral("S"), "x"); });
    QTest::newRow("InsertFileLink") << act([](TiExcel& x) { x.InsertFileLink("/b/a.pdf", "B1"); });
    QTest::newRow("ACellValue") << ExcelAction([](TiExcel& x) { return x.ACellValue(1, 1, 1); });
    QTest::newRow("ACellHperLink") << ExcelAction([](TiExcel& x) { return x.ACellHperLink(1, 1, 1); });
    QTest::newRow("GiveupSave") << act([](TiExcel& x) { x.GiveupSave(); });
    QTest::newRow("RunMacro") << act([](TiExcel& x) { x.RunMacro("m"); });
}

void TestTiExcel::noWorkbook_quietAndEmpty() {
    QFETCH(ExcelAction, op);

    Attached a(false);
    QCOMPARE(op(*a.excel), QString());
    QCOMPARE(a.server().log(), QStringList{"WorkBooks.Count"});
}

void TestTiExcel::failures_areSwallowed_data() {
    QTest::addColumn<ExcelAction>("op");
    QTest::addColumn<QString>("failing");

    QTest::newRow("SetACellValue") << act([](TiExcel& x) { x.SetACellValue(1, 1, 1, "x"); }) << "WorkSheets";
    QTest::newRow("ACellValue") << ExcelAction([](TiExcel& x) { return x.ACellValue(1, 1, 1); }) << "WorkSheets";
    QTest::newRow("ACellHperLink without link")
        << ExcelAction([](TiExcel& x) { return x.ACellHperLink(1, 5, 5); }) << QString();
    QTest::newRow("InsertFileLink") << act([](TiExcel& x) { x.InsertFileLink("/b/a.pdf", "B1"); })
                                    << "ActiveSheet.Hyperlinks.Add";
    QTest::newRow("OpenExcelFile missing") << act([](TiExcel& x) { x.OpenExcelFile("/nowhere.xlsx"); }) << QString();
    QTest::newRow("SaveExcelFile") << act([](TiExcel& x) { x.SaveExcelFile("/books/MyExcel.xlsx"); })
                                   << "WorkBooks.Item";
    QTest::newRow("InsertFileLink by name")
        << act([](TiExcel& x) { x.InsertFileLink("/books/MyExcel.xlsx", 1, "/b/a.pdf", "B1"); }) << "WorkBooks";
    QTest::newRow("WindowOf") << ExcelAction([](TiExcel& x) {
        return x.WindowOf("/books/MyExcel.xlsx") == 0 ? QString() : QStringLiteral("a window");
    }) << "WorkBooks.Item";
    QTest::newRow("dead server") << act([](TiExcel& x) { x.SetCellValue(1, 1, 1); }) << "*die*";
}

void TestTiExcel::failures_areSwallowed() {
    QFETCH(ExcelAction, op);
    QFETCH(QString, failing);

    Attached a;
    if (failing == QLatin1String("*die*")) {
        a.server().die();
    } else if (!failing.isEmpty()) {
        a.server().failOn(failing);
    }
    QCOMPARE(op(*a.excel), QString());
    QVERIFY(a.sheet().cells.isEmpty());
}

void TestTiExcel::namedWorkbook_actsOnItOnly_data() {
    QTest::addColumn<ExcelAction>("op");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("result");

    const QString found = QStringLiteral("WorkBooks.Item(int:1).");
    const QString sheet = found + QStringLiteral("WorkSheets(int:1).");
    QTest::newRow("save unchanged") << act([](TiExcel& x) { x.SaveExcelFile("/BOOKS/MyExcel.xlsx"); }) << false
                                    << QStringList{found + "Saved"} << "saved, other";
    QTest::newRow("save changed") << act([](TiExcel& x) { x.SaveExcelFile("/books/MyExcel.xlsx"); }) << true
                                  << QStringList{found + "Saved", found + "Save()"} << "saved, other";
    QTest::newRow("saved?") << ExcelAction([](TiExcel& x) {
        return x.ExcelFileSaved("/books/MyExcel.xlsx") ? QStringLiteral("yes") : QStringLiteral("no");
    }) << true << QStringList{found + "Saved"}
                            << "no";
    QTest::newRow("close") << act([](TiExcel& x) { x.CloseExcelFile("/books/MyExcel.xlsx"); }) << true
                           << QStringList{found + "Close(SaveChanges=bool:false)"} << "closed, other";
    QTest::newRow("activate") << act([](TiExcel& x) { x.ActivateExcelFile("/books/MyExcel.xlsx", 1); }) << false
                              << QStringList{found + "Activate()", sheet + "Activate()"} << "saved, active";
    QTest::newRow("cell") << act([](TiExcel& x) { x.SetACellValue("/books/MyExcel.xlsx", 1, 7, 3, "1.00 KB"); })
                          << false << QStringList{sheet + R"(Cells(int:7, int:3).Value := "1.00 KB")"}
                          << "changed, other";
    QTest::newRow("link")
        << act([](TiExcel& x) { x.InsertFileLink("/books/MyExcel.xlsx", 1, "/books/Deep Work.pdf", "B7"); }) << false
        << QStringList{sheet + R"(Hyperlinks.Add(Anchor=obj:WorkBooks.Item(int:1).WorkSheets(int:1).Range("B7"), )"
                               R"(Address="/books/Deep Work.pdf", TextToDisplay="Deep Work"))"}
        << "changed, other, B7 Deep Work";
}

// MyExcel.xlsx is open but another workbook is the active one: every named operation reaches MyExcel only.
void TestTiExcel::namedWorkbook_actsOnItOnly() {
    QFETCH(ExcelAction, op);
    QFETCH(bool, changed);
    QFETCH(QStringList, calls);
    QFETCH(QString, result);

    Attached a;
    a.book->saved = !changed;
    const auto other = a.server().addWorkbook(QStringLiteral("/books/other.xlsx"));
    other->saved = false;
    const QString answer = op(*a.excel);
    calls.prepend(QStringLiteral("WorkBooks.Item(int:1).FullName"));
    calls.prepend(QStringLiteral("WorkBooks.Count"));
    QCOMPARE(a.server().log(), calls);
    const bool open = a.server().workbooks.contains(a.book);
    QString state = QStringLiteral("%1, %2").arg(!open ? "closed" : (a.book->saved ? "saved" : "changed"),
                                                 a.server().active == a.book ? "active" : "other");
    if (const QString b7 = a.sheet().cells.value({7, 2}).toString(); !b7.isEmpty()) {
        state += QStringLiteral(", B7 ") + b7;
    }
    QCOMPARE(answer.isEmpty() ? state : answer, result);
    // The other workbook keeps its unsaved change, its sheets untouched.
    QVERIFY(a.server().workbooks.contains(other) && !other->saved && other->sheets.at(0).cells.isEmpty());
}

void TestTiExcel::insertFileLink_showsNameLinksPath() {
    Attached a;
    a.excel->InsertFileLink(QStringLiteral("/books/Deep Work.pdf"), QStringLiteral("B7"));
    QCOMPARE(a.server().log(), (QStringList{"WorkBooks.Count", "ActiveSheet.Hyperlinks.Add(Anchor=obj:Range(\"B7\"), "
                                                               "Address=\"/books/Deep Work.pdf\", "
                                                               "TextToDisplay=\"Deep Work\")"}));
    QCOMPARE(a.sheet().cells.value({7, 2}), OleVariant(QStringLiteral("Deep Work")));
    QCOMPARE(a.sheet().links.value({7, 2}), QStringLiteral("/books/Deep Work.pdf"));
    QCOMPARE(a.excel->ACellHperLink(1, 7, 2), QStringLiteral("/books/Deep Work.pdf"));
}

void TestTiExcel::getUsedRows_data() {
    QTest::addColumn<QList<OleVariant>>("column");
    QTest::addColumn<int>("rows");

    const OleVariant f = QStringLiteral("x");
    QTest::newRow("five filled") << QList<OleVariant>{f, f, f, f, f} << 5;
    QTest::newRow("first empty") << QList<OleVariant>{OleVariant(), f} << 0;
    QTest::newRow("spaces count as empty") << QList<OleVariant>{f, f, OleVariant(QStringLiteral(" \t ")), f} << 2;
    QTest::newRow("numbers are filled") << QList<OleVariant>{OleVariant(0), OleVariant(2.5)} << 2;
}

void TestTiExcel::getUsedRows() {
    QFETCH(QList<OleVariant>, column);
    QFETCH(int, rows);

    Attached a;
    for (int i = 0; i < column.size(); ++i) {
        if (!column[i].isEmpty()) {
            a.sheet().cells.insert({i + 1, 2}, column[i]);
        }
    }
    a.sheet().cells.insert({rows + 5, 2}, QStringLiteral("below the gap"));
    QCOMPARE(a.excel->GetUsedRows(1, 2), rows);
    // One probe per row, the empty one included, with no workbook guard.
    QStringList probes;
    for (int i = 1; i <= rows + 1; ++i) {
        probes.append(QStringLiteral("WorkSheets(int:1).Cells(int:%1, int:2).Value").arg(i));
    }
    QCOMPARE(a.server().log(), probes);
}

void TestTiExcel::getUsedCols_stopsAtFirstBlank() {
    Attached a;
    a.sheet(1).cells.insert({3, 1}, QStringLiteral("a"));
    a.sheet(1).cells.insert({3, 2}, QStringLiteral("b"));
    QCOMPARE(a.excel->GetUsedCols(2, 3), 2);
    QCOMPARE(a.server().log().last(), QStringLiteral("WorkSheets(int:2).Cells(int:3, int:3).Value"));
}

void TestTiExcel::getUsedRows_letsErrorsThrough() {
    Attached none(false);
    QVERIFY_THROWS_EXCEPTION(AutomationError, none.excel->GetUsedRows(1, 2));
    Attached a;
    QVERIFY_THROWS_EXCEPTION(AutomationError, a.excel->GetUsedCols(9, 1));
    QVERIFY_THROWS_EXCEPTION(AutomationError, a.excel->GetLastFilledRow(QStringLiteral("/b/none.xlsx"), 1, 2, 4));
}

QTEST_GUILESS_MAIN(TestTiExcel)
#include "tst_tiexcel.moc"
