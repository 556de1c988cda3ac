#include "office/automation/automationerror.h"
#include "office/clipboard.h"
#include "office/tiword.h"
#include "officedouble.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace velmora;
using namespace velmora::test;

namespace {

using WordAction = std::function<void(TiWord&)>;

// One Word the user started, holding one document, with the wrapper attached and the set-up calls forgotten.
struct Attached {
    OfficeDouble office;
    std::shared_ptr<WordDocument> document;
    std::unique_ptr<TiWord> word;

    explicit Attached(const QString& text = QStringLiteral("\r")) {
        document = office.startWord()->addDocument(QStringLiteral("/notes/a.docx"), text);
        word = std::make_unique<TiWord>(false);
    }
    WordDouble& server() { return office.word(); }
    QStringList log() { return server().log(); }
};

QStringList setDocParaCalls(const QStringList& values) {
    const QStringList steps{"Selection.Font.Name := ",
                            "Selection.ParagraphFormat.SpaceBeforeAuto := bool:false",
                            "Selection.Font.Size := ",
                            "Selection.ParagraphFormat.SpaceAfter := ",
                            "Selection.ParagraphFormat.SpaceAfterAuto := bool:false",
                            "Selection.ParagraphFormat.LineSpacingRule := int:4",
                            "Selection.ParagraphFormat.LineSpacing := ",
                            "Selection.ParagraphFormat.FirstLineIndent := ",
                            "Selection.ParagraphFormat.CharacterUnitFirstLineIndent := ",
                            "Selection.ParagraphFormat.LineUnitAfter := ",
                            "Selection.ParagraphFormat.WordWrap := bool:true"};
    QStringList calls;
    qsizetype next = 0;
    for (const QString& step : steps) {
        calls.append(step.endsWith(QLatin1String(":= ")) ? step + values.at(next++) : step);
    }
    return calls;
}

} // namespace

Q_DECLARE_METATYPE(WordAction)

class TestTiWordContent : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void getTitle_firstLineUpToTwenty_data();
    void getTitle_firstLineUpToTwenty();
    void getDocProp_data();
    void getDocProp();
    void propertyQueries_data();
    void propertyQueries();
    void setDocPara_data();
    void setDocPara();
    void setAlignment_data();
    void setAlignment();
    void errorRules_data();
    void errorRules();
    void addReturn_retriesTwiceThenRaises_data();
    void addReturn_retriesTwiceThenRaises();
    void replaceAll_restoresScreenUpdating_data();
    void replaceAll_restoresScreenUpdating();
    void replaceAllLinks_data();
    void replaceAllLinks();
    void exportAndOther_data();
    void exportAndOther();
    void mergeDocs_insertsExistingFilesAndSaves();
    void deleteBlankParagraph_removesEmptyParagraphs();
    void getSaveAsDocName_recentFileNotInList();
    void quietOperations_letPendingEventsRun_data();
    void quietOperations_letPendingEventsRun();
    void clipboardWriter_receivesText();
};

void TestTiWordContent::getTitle_firstLineUpToTwenty_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");

    QTest::newRow("four characters") << "标题一二\r正文\r"
                                     << "标题一二";
    QTest::newRow("thirty characters") << QString(30, QLatin1Char('x')) + "\r" << QString(20, QLatin1Char('x'));
    QTest::newRow("starts empty") << "\rtext\r"
                                  << "";
    QTest::newRow("no paragraph mark") << "only"
                                       << "only";
    QTest::newRow("pair at the cut is kept whole")
        << QString(19, QLatin1Char('x')) + QString::fromUtf16(u"😀z\r") << QString(19, QLatin1Char('x'));
}

void TestTiWordContent::getTitle_firstLineUpToTwenty() {
    QFETCH(QString, text);
    QFETCH(QString, title);

    Attached a(text);
    QCOMPARE(a.word->GetTitle(), title);
    QCOMPARE(LastClipboardText(), title);
    QCOMPARE(a.log(), QStringList{"ActiveDocument.Range.Text"});
}

void TestTiWordContent::getDocProp_data() {
    QTest::addColumn<int>("idx");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("result");

    QTest::newRow("0 bookmarks") << 0 << QStringList{"ActiveDocument.Bookmarks.Count"} << 0;
    QTest::newRow("1 characters") << 1 << QStringList{"ActiveDocument.Characters.Count"} << 6;
    QTest::newRow("10 paragraphs") << 10 << QStringList{"ActiveDocument.Paragraphs.Count"} << 2;
    QTest::newRow("13 shapes") << 13 << QStringList{"ActiveDocument.Shapes.Count"} << 4;
    QTest::newRow("17 authorities categories")
        << 17 << QStringList{"ActiveDocument.TablesOfAuthoritiesCategories.Count"} << 0;
    QTest::newRow("19 tables of figures") << 19 << QStringList{"ActiveDocument.TablesOfFigures.Count"} << 0;
    QTest::newRow("20 asks nothing") << 20 << QStringList() << -1;
    QTest::newRow("-1 asks nothing") << -1 << QStringList() << -1;
}

void TestTiWordContent::getDocProp() {
    QFETCH(int, idx);
    QFETCH(QStringList, calls);
    QFETCH(int, result);

    Attached a(QStringLiteral("ab\rcd\r"));
    a.document->counts.insert(QStringLiteral("shapes"), 4);
    QCOMPARE(a.word->GetDocProp(idx), result);
    QCOMPARE(a.log(), calls);
}

void TestTiWordContent::propertyQueries_data() {
    QTest::addColumn<WordAction>("op");
    QTest::addColumn<QStringList>("calls");

    const auto str = [](int idx) { return WordAction([idx](TiWord& w) { w.GetDocPropStr(idx); }); };
    const auto flag = [](int idx) { return WordAction([idx](TiWord& w) { w.GetDocPropBool(idx); }); };
    // The text properties look for an open document first: with none they are empty, not an error.
    QTest::newRow("str 0") << str(0) << QStringList{"Documents.Count", "ActiveDocument.AttachedTemplate.FullName"};
    QTest::newRow("str 3") << str(3) << QStringList();
    QTest::newRow("bool 0") << flag(0) << QStringList{"ActiveDocument.HasPassword"};
    QTest::newRow("bool 2") << flag(2) << QStringList{"ActiveDocument.Saved"};
    QTest::newRow("bool 3") << flag(3) << QStringList();
    QTest::newRow("pages") << WordAction([](TiWord& w) { QCOMPARE(w.GetDocPages(), 3); })
                           << QStringList{"Selection.Information(int:4)"};
    QTest::newRow("built-in property") << WordAction([](TiWord& w) {
        QCOMPARE(w.GetBuiltInDocumentProperty(2), QStringLiteral("Subject"));
    }) << QStringList{"ActiveDocument.BuiltInDocumentProperties(int:2).[default]"};
    QTest::newRow("document text") << WordAction([](TiWord& w) { QCOMPARE(w.GetDocText(), QStringLiteral("t\r")); })
                                   << QStringList{"Documents.Count", "ActiveDocument.Range.Text"};
}

void TestTiWordContent::propertyQueries() {
    QFETCH(WordAction, op);
    QFETCH(QStringList, calls);

    Attached a(QStringLiteral("t\r"));
    a.document->pages = 3;
    a.document->builtInValues.insert(2, QStringLiteral("Subject"));
    op(*a.word);
    QCOMPARE(a.log(), calls);
}

void TestTiWordContent::setDocPara_data() {
    QTest::addColumn<QString>("font");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QList<float>>("values");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("the preset") << QString() << false << QList<float>{10.5f, -1, -1, -1, -1, -1}
                                << setDocParaCalls({"\"微软雅黑\"", "single:10.5", "cur:2.5", "int:16", "cur:0.35",
                                                    "int:2", "cur:0.5"});
    QTest::newRow("the preset on the whole story")
        << QString() << true << QList<float>{10.5f, -1, -1, -1, -1, -1}
        << QStringList{"Selection.WholeStory()"} +
               setDocParaCalls({"\"微软雅黑\"", "single:10.5", "cur:2.5", "int:16", "cur:0.35", "int:2", "cur:0.5"});
    QTest::newRow("given values are sent as singles")
        << "SimSun" << false << QList<float>{12, 3, 18, 0.5f, 1, 0.25f}
        << setDocParaCalls(
               {"\"SimSun\"", "single:12", "single:3", "single:18", "single:0.5", "single:1", "single:0.25"});
    QTest::newRow("only exactly -1 is the preset")
        << QString() << false << QList<float>{-1, -1.5f, -1, -1, -1, -1}
        << setDocParaCalls({"\"微软雅黑\"", "single:-1", "single:-1.5", "int:16", "cur:0.35", "int:2", "cur:0.5"});
}

void TestTiWordContent::setDocPara() {
    QFETCH(QString, font);
    QFETCH(bool, all);
    QFETCH(QList<float>, values);
    QFETCH(QStringList, calls);

    Attached a;
    a.word->SetDocPara(font, all, values[0], values[1], values[2], values[3], values[4], values[5]);
    QCOMPARE(a.log(), calls);
}

void TestTiWordContent::setAlignment_data() {
    QTest::addColumn<int>("wdAl");
    QTest::addColumn<int>("sent");

    const QList<QPair<int, int>> table{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5},
                                       {6, 7}, {7, 8}, {8, 9}, {9, 0}, {-1, 0}};
    for (const auto& [wdAl, sent] : table) {
        QTest::addRow("%d sends %d", wdAl, sent) << wdAl << sent;
    }
}

void TestTiWordContent::setAlignment() {
    QFETCH(int, wdAl);
    QFETCH(int, sent);

    Attached a;
    a.word->SetAlignment(wdAl);
    QCOMPARE(a.log(), (QStringList{"Documents.Count",
                                   QStringLiteral("Selection.ParagraphFormat.Alignment := &int:%1").arg(sent)}));
}

void TestTiWordContent::errorRules_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<WordAction>("op");
    QTest::addColumn<bool>("raises");
    QTest::addColumn<QString>("lastCall");

    QTest::newRow("SetFont swallows, skips the rest")
        << "Selection.Font.Size" << WordAction([](TiWord& w) { w.SetFont("Arial", 12, true, true); }) << false
        << "Selection.Font.Size := int:12";
    QTest::newRow("SetAlignment swallows")
        << "Selection.ParagraphFormat.Alignment" << WordAction([](TiWord& w) { w.SetAlignment(2); }) << false
        << "Selection.ParagraphFormat.Alignment := &int:2";
    QTest::newRow("OutPicture swallows") << "Selection.Range.InlineShapes.AddPicture" << WordAction([](TiWord& w) {
        w.OutPicture("/p.png");
    }) << false << R"(Selection.Range.InlineShapes.AddPicture("/p.png", bool:false, bool:true))";
    QTest::newRow("SaveDocToHtml reports")
        << "ActiveDocument.SaveAs" << WordAction([](TiWord& w) { QVERIFY(!w.SaveDocToHtml("/x.htm")); }) << false
        << R"(ActiveDocument.SaveAs("/x.htm", int:8, bool:false, "", bool:false, "", bool:false, bool:false, )"
           R"(bool:false, bool:false))";
    QTest::newRow("SaveDocToRTF raises") << "ActiveDocument.SaveAs"
                                         << WordAction([](TiWord& w) { w.SaveDocToRTF("/x.rtf"); }) << true
                                         << R"(ActiveDocument.SaveAs(&"/x.rtf", &int:6, &bool:false, &"", )"
                                            R"(&bool:false, &"", &bool:false, &bool:false, &bool:false, )"
                                            R"(&bool:false, &bool:false))";
    QTest::newRow("RunMacro raises") << "Run" << WordAction([](TiWord& w) { w.RunMacro("Tidy"); }) << true
                                     << R"(Run("Tidy"))";
    QTest::newRow("SetFont lets a failing count through")
        << "Documents.Count" << WordAction([](TiWord& w) { w.SetFont("Arial", 12, true, true); }) << true
        << "Documents.Count";
    QTest::newRow("FindText raises") << "Selection.Find.Execute" << WordAction([](TiWord& w) { w.FindText("x", true); })
                                     << true << "Selection.Find.Execute()";
}

void TestTiWordContent::errorRules() {
    QFETCH(QString, failing);
    QFETCH(WordAction, op);
    QFETCH(bool, raises);
    QFETCH(QString, lastCall);

    Attached a;
    a.server().failOn(failing);
    bool raised = false;
    try {
        op(*a.word);
    } catch (const AutomationError& e) {
        raised = true;
        QCOMPARE(e.message(), QStringLiteral("call refused"));
    }
    QCOMPARE(raised, raises);
    QCOMPARE(a.log().last(), lastCall);
}

void TestTiWordContent::addReturn_retriesTwiceThenRaises_data() {
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<bool>("raises");

    QTest::newRow("first try") << 0 << 1 << false;
    QTest::newRow("one retry") << 1 << 2 << false;
    QTest::newRow("two retries") << 2 << 3 << false;
    QTest::newRow("gives up") << 3 << 3 << true;
    QTest::newRow("never loops forever") << -1 << 3 << true;
}

void TestTiWordContent::addReturn_retriesTwiceThenRaises() {
    QFETCH(int, failures);
    QFETCH(int, attempts);
    QFETCH(bool, raises);

    Attached a;
    if (failures != 0) {
        a.server().failOn(QStringLiteral("Selection.TypeParagraph"), failures);
    }
    bool raised = false;
    try {
        a.word->AddReturn();
    } catch (const AutomationError&) {
        raised = true;
    }
    QCOMPARE(raised, raises);
    QCOMPARE(a.log(), QStringList(attempts, QStringLiteral("Selection.TypeParagraph()")));
    QCOMPARE(a.document->text, raises ? QStringLiteral("\r") : QStringLiteral("\r\r"));
}

void TestTiWordContent::replaceAll_restoresScreenUpdating_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("calls");

    const QStringList all{"ScreenUpdating := bool:false",
                          "Selection.Find.ClearFormatting()",
                          "Selection.Find.Replacement.ClearFormatting()",
                          R"(Selection.Find.Text := "old")",
                          R"(Selection.Find.Replacement.Text := "new")",
                          "Selection.Find.Execute(Replace=int:2)",
                          "ScreenUpdating := bool:true"};
    QTest::newRow("success") << QString() << all;
    QTest::newRow("clear formatting fails") << "Selection.Find.ClearFormatting" << QStringList{all[0], all[1], all[6]};
    QTest::newRow("execute fails") << "Selection.Find.Execute" << all;
}

void TestTiWordContent::replaceAll_restoresScreenUpdating() {
    QFETCH(QString, failing);
    QFETCH(QStringList, calls);

    Attached a(QStringLiteral("old and OLD\r"));
    if (!failing.isEmpty()) {
        a.server().failOn(failing);
    }
    bool raised = false;
    try {
        a.word->ReplaceAll(QStringLiteral("old"), QStringLiteral("new"));
    } catch (const AutomationError&) {
        raised = true;
    }
    QCOMPARE(raised, !failing.isEmpty());
    QCOMPARE(a.log(), calls);
    QCOMPARE(a.server().property("Application", "ScreenUpdating"), OleVariant(true));
    if (!raised) {
        QCOMPARE(a.document->text, QStringLiteral("new and new\r"));
    }
}

void TestTiWordContent::replaceAllLinks_data() {
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("s1");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("writes");

    QTest::newRow("first occurrence only")
        << QStringList{"/old/a/old.pdf"} << "old" << QStringList{"/new/a/old.pdf"}
        << QStringList{R"(ActiveDocument.Hyperlinks.item(int:1).Address := "/new/a/old.pdf")"};
    QTest::newRow("other case written back unchanged")
        << QStringList{"/OLD/a.pdf", "/x.pdf"} << "old" << QStringList{"/OLD/a.pdf", "/x.pdf"}
        << QStringList{R"(ActiveDocument.Hyperlinks.item(int:1).Address := "/OLD/a.pdf")"};
    QTest::newRow("not contained, not written")
        << QStringList{"/x.pdf"} << "old" << QStringList{"/x.pdf"} << QStringList();
    QTest::newRow("empty search text changes nothing")
        << QStringList{"/x.pdf"} << "" << QStringList{"/x.pdf"} << QStringList();
}

void TestTiWordContent::replaceAllLinks() {
    QFETCH(QStringList, addresses);
    QFETCH(QString, s1);
    QFETCH(QStringList, after);
    QFETCH(QStringList, writes);

    Attached a;
    a.document->hyperlinks = addresses;
    a.word->ReplaceAllLinks(s1, QStringLiteral("new"));
    QCOMPARE(a.document->hyperlinks, after);
    QStringList log = a.log();
    QCOMPARE(log.takeFirst(), QStringLiteral("ScreenUpdating := bool:false"));
    QCOMPARE(log.takeLast(), QStringLiteral("ScreenUpdating := bool:true"));
    QCOMPARE(log.takeFirst(), QStringLiteral("ActiveDocument.Hyperlinks.Count"));
    log.removeIf([](const QString& line) { return line.endsWith(QLatin1String(".Address")); });
    QCOMPARE(log, writes);
}

void TestTiWordContent::exportAndOther_data() {
    QTest::addColumn<WordAction>("op");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("SaveDocToRTF") << WordAction([](TiWord& w) { w.SaveDocToRTF("/x.rtf"); })
                                  << QStringList{"Documents.Count",
                                                 R"(ActiveDocument.SaveAs(&"/x.rtf", &int:6, &bool:false, &"", )"
                                                 R"(&bool:false, &"", &bool:false, &bool:false, &bool:false, )"
                                                 R"(&bool:false, &bool:false))"};
    QTest::newRow("SaveDocToHtml") << WordAction([](TiWord& w) { QVERIFY(w.SaveDocToHtml("/x.htm")); })
                                   << QStringList{"Documents.Count",
                                                  R"(ActiveDocument.SaveAs("/x.htm", int:8, bool:false, "", )"
                                                  R"(bool:false, "", bool:false, bool:false, bool:false, )"
                                                  R"(bool:false))"};
    QTest::newRow("AddBookMark") << WordAction([](TiWord& w) { w.AddBookMark("mark"); })
                                 << QStringList{R"(ActiveDocument.Bookmarks.Add("mark", &obj:Selection.Range))",
                                                "ActiveDocument.Bookmarks.DefaultSorting := int:0",
                                                "ActiveDocument.Bookmarks.ShowHidden := bool:false"};
    QTest::newRow("OutPicture") << WordAction([](TiWord& w) {
        w.OutPicture("/p.png");
    }) << QStringList{R"(Selection.Range.InlineShapes.AddPicture("/p.png", bool:false, bool:true))"};
    QTest::newRow("FindText") << WordAction([](TiWord& w) { w.FindText("needle", false); })
                              << QStringList{R"(Selection.Find.Text := "needle")", "Selection.Find.Execute()"};
    QTest::newRow("ViewFullPage") << WordAction([](TiWord& w) { w.ViewFullPage(); })
                                  << QStringList{"ActiveWindow.ActivePane.View.Zoom.PageFit := int:1"};
    QTest::newRow("RunMacro") << WordAction([](TiWord& w) { w.RunMacro("Tidy"); }) << QStringList{R"(Run("Tidy"))"};
    QTest::newRow("SetFont") << WordAction([](TiWord& w) { w.SetFont("Arial", 12, true, false); })
                             << QStringList{"Documents.Count", R"(Selection.Font.Name := "Arial")",
                                            "Selection.Font.Size := int:12", "Selection.Font.Bold := bool:true",
                                            "Selection.Font.Italic := bool:false"};
}

void TestTiWordContent::exportAndOther() {
    QFETCH(WordAction, op);
    QFETCH(QStringList, calls);

    Attached a;
    op(*a.word);
    QCOMPARE(a.log(), calls);
}

void TestTiWordContent::mergeDocs_insertsExistingFilesAndSaves() {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("one.txt"));
    const QString second = dir.filePath(QStringLiteral("two.txt"));
    for (const auto& [path, body] : {std::pair{first, QByteArray("one\n")}, std::pair{second, QByteArray("two\n")}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(body);
    }
    const QString missing = dir.filePath(QStringLiteral("gone.txt"));

    Attached a;
    QVERIFY(a.word->MergeDocs(QStringLiteral("/m/merged.docx"), first + "\r\n" + missing + "\r\n" + second + "\r\n"));
    const QString insert = QStringLiteral(R"(Selection.InsertFile("%1", "", bool:false, bool:false, bool:false))");
    QCOMPARE(a.log(), (QStringList{"Documents.Count", "Documents.Add(missing)", insert.arg(first), insert.arg(second),
                                   R"([文档1].SaveAs("/m/merged.docx"))", "[文档1].Close()"}));
    QCOMPARE(a.office.disk.value(QStringLiteral("/m/merged.docx")).text, QStringLiteral("one\rtwo\r\r"));
    QCOMPARE(a.server().documents.size(), 1);

    a.server().clearLog();
    QVERIFY(!a.word->MergeDocs(QStringLiteral("/m/merged.docx"), QStringLiteral(" \r\n ")));
    QCOMPARE(a.log(), QStringList{"Documents.Count"});
}

void TestTiWordContent::deleteBlankParagraph_removesEmptyParagraphs() {
    {
        Attached a(QStringLiteral("a\r\r\rb\r\rc\r"));
        a.word->DeleteBlankParagraph();
        QCOMPARE(a.document->text, QStringLiteral("a\rb\rc\r"));
        QCOMPARE(a.log().first(), QStringLiteral("Documents.Count"));
        QCOMPARE(a.log().at(1), QStringLiteral("ScreenUpdating := bool:false"));
        QCOMPARE(a.log().last(), QStringLiteral("ScreenUpdating := bool:true"));
    }
    // Only one office double may live at a time: both would answer the same program identifiers.
    Attached failing(QStringLiteral("a\r\rb\r"));
    failing.server().failOn(QStringLiteral("ActiveDocument.Paragraphs.Item(int:2).Range.Delete"));
    QVERIFY_THROWS_EXCEPTION(AutomationError, failing.word->DeleteBlankParagraph());
    QCOMPARE(failing.server().property("Application", "ScreenUpdating"), OleVariant(true));
}

void TestTiWordContent::getSaveAsDocName_recentFileNotInList() {
    QTemporaryDir dir;
    const QString listed = dir.filePath(QStringLiteral("listed.docx"));
    const QString fresh = dir.filePath(QStringLiteral("fresh.docx"));
    for (const QString& path : {listed, fresh}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    OfficeDouble office;
    WordDouble& server = *office.startWord();
    server.addDocument(QStringLiteral("/nowhere/unsaved.docx"));
    server.addDocument(listed);
    server.addDocument(fresh);
    TiWord word(false);
    QCOMPARE(word.GetSaveAsDocName(listed.toUpper() + QStringLiteral("\r\n")), fresh);
    QCOMPARE(word.GetSaveAsDocName(listed + fresh), QString());
}

void TestTiWordContent::quietOperations_letPendingEventsRun_data() {
    QTest::addColumn<WordAction>("op");
    QTest::addColumn<QString>("failing");

    QTest::newRow("SetAlignment") << WordAction([](TiWord& w) { w.SetAlignment(1); }) << QString();
    QTest::newRow("SetFont") << WordAction([](TiWord& w) { w.SetFont("Arial", 9, false, false); }) << QString();
    QTest::newRow("OutPicture after failure")
        << WordAction([](TiWord& w) { w.OutPicture("/p.png"); }) << "Selection.Range";
}

void TestTiWordContent::quietOperations_letPendingEventsRun() {
    QFETCH(WordAction, op);
    QFETCH(QString, failing);

    Attached a;
    if (!failing.isEmpty()) {
        a.server().failOn(failing);
    }
    bool ran = false;
    QMetaObject::invokeMethod(
        this, [&ran] { ran = true; }, Qt::QueuedConnection);
    op(*a.word);
    QVERIFY(ran);
}

void TestTiWordContent::clipboardWriter_receivesText() {
    QString written;
    SetClipboardWriter([&written](const QString& text) { written = text; });
    Attached a(QStringLiteral("Title\rbody\r"));
    a.word->GetTitle();
    SetClipboardWriter({});
    QCOMPARE(written, QStringLiteral("Title"));
}

QTEST_GUILESS_MAIN(TestTiWordContent)
#include "tst_tiword_content.moc"
