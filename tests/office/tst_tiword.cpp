#include "office/automation/automationerror.h"
#include "office/automation/oleserver.h"
#include "office/clipboard.h"
#include "office/tiword.h"
#include "officedouble.h"
#include "scriptedprompts.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace velmora;
using namespace velmora::test;

namespace {

// An operation of the wrapper with its result as text, so that one table can hold all kinds of operations.
using WordOp = std::function<QString(TiWord&)>;

QString text(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

} // namespace

Q_DECLARE_METATYPE(WordOp)

class TestTiWord : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void construct_choosesServer_data();
    void construct_choosesServer();
    void construct_withoutWord_raisesMessage_data();
    void construct_withoutWord_raisesMessage();
    void destroy_quitsOnlyWhatItShould_data();
    void destroy_quitsOnlyWhatItShould();
    void destroy_deadServer_raisesNothing();
    void reconnect_afterServerDied();

    void noDocument_guards_data();
    void noDocument_guards();
    void lookup_ignoresAsciiCaseOnly_data();
    void lookup_ignoresAsciiCaseOnly();
    void byPath_actsOnFoundDocument_data();
    void byPath_actsOnFoundDocument();
    void getABuiltInProp_readsCollectionThenValue();
    void getLastNewDocName_data();
    void getLastNewDocName();
    void documentQueries_data();
    void documentQueries();

    void openWordFile_sendsTenArgumentsByReference_data();
    void openWordFile_sendsTenArgumentsByReference();
    void saveAs_sendsSixteenArgumentsByReference_data();
    void saveAs_sendsSixteenArgumentsByReference();
    void closeCurrDoc_data();
    void closeCurrDoc();
    void closeWordFileByName_onlyDocument_clearsVisibleEvenWhenNotFound();
    void closeAllFiles_closesEveryDocument();
    void saveCurrWord_asksThenMarksSaved_data();
    void saveCurrWord_asksThenMarksSaved();
    void saveAllFiles_savesOnlyChanged();
    void setVisible_writesOnlyOnChange_data();
    void setVisible_writesOnlyOnChange();
    void windowCalls_data();
    void windowCalls();
};

void TestTiWord::construct_choosesServer_data() {
    QTest::addColumn<bool>("userWordRunning");
    QTest::addColumn<bool>("alwaysCreate");
    QTest::addColumn<int>("serversAfter");
    QTest::addColumn<bool>("created");

    QTest::newRow("running, attach") << true << false << 1 << false;
    QTest::newRow("running, always create") << true << true << 2 << true;
    QTest::newRow("none running, attach starts one") << false << false << 1 << true;
    QTest::newRow("none running, always create") << false << true << 1 << true;
}

void TestTiWord::construct_choosesServer() {
    QFETCH(bool, userWordRunning);
    QFETCH(bool, alwaysCreate);
    QFETCH(int, serversAfter);
    QFETCH(bool, created);

    OfficeDouble office;
    if (userWordRunning) {
        office.startWord();
    }
    TiWord word(alwaysCreate);
    QCOMPARE(office.words.size(), serversAfter);
    QCOMPARE(word.Created(), created);
    QCOMPARE(word.Visible(), false);
    // Attaching asks Word nothing.
    QCOMPARE(office.words.last()->fullLog(), QStringList());
}

void TestTiWord::construct_withoutWord_raisesMessage_data() {
    QTest::addColumn<bool>("alwaysCreate");
    QTest::newRow("always create") << true;
    QTest::newRow("create or connect") << false;
}

void TestTiWord::construct_withoutWord_raisesMessage() {
    QFETCH(bool, alwaysCreate);
    OfficeDouble office;
    office.setInstalled(QStringLiteral("Word.Application"), false);
    try {
        TiWord word(alwaysCreate);
        QFAIL("no error raised");
    } catch (const VelmoraError& e) {
        QCOMPARE(e.message(), QStringLiteral("您的电脑上没哦安装Office"));
    }
}

void TestTiWord::destroy_quitsOnlyWhatItShould_data() {
    QTest::addColumn<bool>("alwaysCreate");
    QTest::addColumn<bool>("documentOpen");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("quit");

    QTest::newRow("started by us, document open") << true << true << QStringList{"Quit()"} << true;
    QTest::newRow("user's Word, document open") << false << true << QStringList{"Documents.Count"} << false;
    QTest::newRow("user's Word, empty") << false << false << QStringList{"Documents.Count", "Quit()"} << true;
}

void TestTiWord::destroy_quitsOnlyWhatItShould() {
    QFETCH(bool, alwaysCreate);
    QFETCH(bool, documentOpen);
    QFETCH(QStringList, calls);
    QFETCH(bool, quit);

    OfficeDouble office;
    office.startWord();
    {
        TiWord word(alwaysCreate);
        WordDouble& server = *office.words.last();
        if (documentOpen) {
            server.addDocument(QStringLiteral("/notes/a.docx"));
        }
        server.clearLog();
        // Leaving the scope destroys the wrapper.
    }
    WordDouble& server = *office.words.last();
    QCOMPARE(server.log(), calls);
    QCOMPARE(server.quit(), quit);
    // A Word that quit leaves the running table; the user's Word that stays is still found.
    QCOMPARE(IsOleServerRunning(QStringLiteral("Word.Application")), !(quit && !alwaysCreate));
}

void TestTiWord::destroy_deadServer_raisesNothing() {
    OfficeDouble office;
    auto word = std::make_unique<TiWord>(true);
    office.word().die();
    word.reset();
    QVERIFY(!office.word().quit());
}

void TestTiWord::reconnect_afterServerDied() {
    OfficeDouble office;
    office.startWord()->addDocument(QStringLiteral("/notes/a.docx"));
    auto word = std::make_unique<TiWord>(false);
    office.word().die();
    try {
        word->DocIsOpen(QStringLiteral("/notes/a.docx"));
        QFAIL("a dead server must raise");
    } catch (const AutomationError& e) {
        QCOMPARE(e.fault(), AutomationFault::Disconnected);
    }
    QVERIFY(!IsOleServerRunning(QStringLiteral("Word.Application")));

    // What the main window does: a new wrapper in place of the old one, then the question once more.
    word = std::make_unique<TiWord>(false);
    QCOMPARE(office.words.size(), 2);
    QVERIFY(word->Created());
    QVERIFY(!word->DocIsOpen(QStringLiteral("/notes/a.docx")));
}

void TestTiWord::noDocument_guards_data() {
    QTest::addColumn<WordOp>("op");
    QTest::addColumn<QString>("result");

    const QString no = QStringLiteral("false");
    const QString none;
    const QString path = QStringLiteral("/notes/a.docx");
    QTest::newRow("DocIsOpen") << WordOp([=](TiWord& w) { return text(w.DocIsOpen(path)); }) << no;
    QTest::newRow("DocIsOpened") << WordOp([=](TiWord& w) { return text(w.DocIsOpened(path)); }) << no;
    QTest::newRow("DocChanged") << WordOp([=](TiWord& w) { return text(w.DocChanged(path)); }) << no;
    QTest::newRow("TheDocHasChanged") << WordOp([=](TiWord& w) { return text(w.TheDocHasChanged(path)); }) << no;
    QTest::newRow("HaveDocChanged") << WordOp([](TiWord& w) { return text(w.HaveDocChanged()); }) << no;
    QTest::newRow("HaveNewDoc") << WordOp([](TiWord& w) { return text(w.HaveNewDoc()); }) << no;
    QTest::newRow("GetLastNewDocName") << WordOp([](TiWord& w) { return w.GetLastNewDocName(); }) << none;
    QTest::newRow("GetDocText") << WordOp([](TiWord& w) { return w.GetDocText(); }) << none;
    QTest::newRow("GetDocTextByName") << WordOp([=](TiWord& w) { return w.GetDocTextByName(path); }) << none;
    QTest::newRow("GetABuiltInProp") << WordOp([=](TiWord& w) { return w.GetABuiltInProp(1, path); }) << none;
    QTest::newRow("ListDocsName") << WordOp([](TiWord& w) { return w.ListDocsName(true); }) << none;
    QTest::newRow("GetSaveAsDocName") << WordOp([](TiWord& w) { return w.GetSaveAsDocName({}); }) << none;
    QTest::newRow("SaveDocToHtml") << WordOp([](TiWord& w) { return text(w.SaveDocToHtml("/x.htm")); })
                                   << QStringLiteral("true");
    QTest::newRow("MergeDocs") << WordOp([](TiWord& w) { return text(w.MergeDocs("/m.docx", "/a.docx")); }) << no;

    const auto action = [](std::function<void(TiWord&)> f) {
        return WordOp([f](TiWord& w) {
            f(w);
            return QString();
        });
    };
    QTest::newRow("SaveWordFileByName") << action([=](TiWord& w) { w.SaveWordFileByName(path); }) << none;
    QTest::newRow("CloseWordFileByName") << action([=](TiWord& w) { w.CloseWordFileByName(path); }) << none;
    QTest::newRow("SetDocChanged") << action([=](TiWord& w) { w.SetDocChanged(path, false); }) << none;
    QTest::newRow("SaveCurrWord") << action([](TiWord& w) { w.SaveCurrWord(); }) << none;
    QTest::newRow("SaveAllFiles") << action([](TiWord& w) { w.SaveAllFiles(); }) << none;
    QTest::newRow("GiveupSave") << action([](TiWord& w) { w.GiveupSave(); }) << none;
    QTest::newRow("CloseCurrDocAndSaveChanges") << action([](TiWord& w) { w.CloseCurrDocAndSaveChanges(); }) << none;
    QTest::newRow("CloseAllFiles") << action([](TiWord& w) { w.CloseAllFiles(); }) << none;
    QTest::newRow("GoBack") << action([](TiWord& w) { w.GoBack(); }) << none;
    QTest::newRow("MoveToEnd") << action([](TiWord& w) { w.MoveToEnd(); }) << none;
    QTest::newRow("SelectAll") << action([](TiWord& w) { w.SelectAll(true); }) << none;
    QTest::newRow("SelCopy") << action([](TiWord& w) { w.SelCopy(); }) << none;
    QTest::newRow("CopyToClip") << action([](TiWord& w) { w.CopyToClip(); }) << none;
    QTest::newRow("SetAlignment") << action([](TiWord& w) { w.SetAlignment(1); }) << none;
    QTest::newRow("SetFont") << action([](TiWord& w) { w.SetFont("Arial", 12, true, false); }) << none;
    QTest::newRow("SaveDocToRTF") << action([](TiWord& w) { w.SaveDocToRTF("/x.rtf"); }) << none;
    QTest::newRow("DeleteBlankParagraph") << action([](TiWord& w) { w.DeleteBlankParagraph(); }) << none;
}

void TestTiWord::noDocument_guards() {
    QFETCH(WordOp, op);
    QFETCH(QString, result);

    OfficeDouble office;
    ScriptedPrompts prompts;
    office.startWord();
    TiWord word(false);
    QCOMPARE(op(word), result);
    // Only the document count is read: nothing is sent that would fail in a Word without documents.
    for (const QString& line : office.word().log()) {
        QCOMPARE(line, QStringLiteral("Documents.Count"));
    }
    QVERIFY(!office.word().log().isEmpty());
}

void TestTiWord::lookup_ignoresAsciiCaseOnly_data() {
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("found");

    QTest::newRow("same") << "/home/u/Notes/A.docx"
                          << "/home/u/Notes/A.docx" << true;
    QTest::newRow("ascii case") << "/home/u/Notes/A.docx"
                                << "/home/u/notes/a.DOCX" << true;
    QTest::newRow("other letters keep case") << "/home/u/Ä.docx"
                                             << "/home/u/ä.docx" << false;
    QTest::newRow("whole string") << "/home/u/a.docx"
                                  << "/home/u/a.doc" << false;
    QTest::newRow("not a substring") << "/home/u/a.docx"
                                     << "u/a.docx" << false;
}

void TestTiWord::lookup_ignoresAsciiCaseOnly() {
    QFETCH(QString, open);
    QFETCH(QString, asked);
    QFETCH(bool, found);

    OfficeDouble office;
    WordDouble& server = *office.startWord();
    server.addDocument(QStringLiteral("/other.docx"));
    server.addDocument(open);
    TiWord word(false);
    QCOMPARE(word.DocIsOpen(asked), found);
    QCOMPARE(server.log(),
             (QStringList{"Documents.Count", "Documents.Item(int:1).FullName", "Documents.Item(int:2).FullName"}));
}

void TestTiWord::byPath_actsOnFoundDocument_data() {
    QTest::addColumn<WordOp>("op");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("call");

    const QString path = QStringLiteral("/NOTES/B.docx");
    QTest::newRow("SaveWordFileByName") << WordOp([=](TiWord& w) {
        w.SaveWordFileByName(path);
        return QString();
    }) << QString() << "Documents.Item(int:2).Save()";
    QTest::newRow("CloseWordFileByName") << WordOp([=](TiWord& w) {
        w.CloseWordFileByName(path);
        return QString();
    }) << QString() << "Documents.Item(int:2).Close()";
    QTest::newRow("SetDocChanged") << WordOp([=](TiWord& w) {
        w.SetDocChanged(path, false);
        return QString();
    }) << QString() << "Documents.Item(int:2).Saved := bool:false";
    QTest::newRow("DocChanged") << WordOp([=](TiWord& w) { return text(w.DocChanged(path)); }) << "true"
                                << "Documents.Item(int:2).Saved";
    QTest::newRow("TheDocHasChanged") << WordOp([=](TiWord& w) { return text(w.TheDocHasChanged(path)); }) << "true"
                                      << "Documents.Item(int:2).Saved";
    QTest::newRow("GetDocTextByName") << WordOp([=](TiWord& w) { return w.GetDocTextByName(path); }) << "b text\r"
                                      << "Documents.Item(int:2).Range.Text";
}

void TestTiWord::byPath_actsOnFoundDocument() {
    QFETCH(WordOp, op);
    QFETCH(QString, result);
    QFETCH(QString, call);

    OfficeDouble office;
    WordDouble& server = *office.startWord();
    server.addDocument(QStringLiteral("/notes/a.docx"), QStringLiteral("a text\r"));
    server.addDocument(QStringLiteral("/notes/b.docx"), QStringLiteral("b text\r"))->saved = false;
    server.addDocument(QStringLiteral("/notes/c.docx"));
    TiWord word(false);
    QCOMPARE(op(word), result);
    // The search stops at the first match; the document is fetched again by its index.
    QCOMPARE(server.log(), (QStringList{"Documents.Count", "Documents.Item(int:1).FullName",
                                        "Documents.Item(int:2).FullName", call}));
}

void TestTiWord::getABuiltInProp_readsCollectionThenValue() {
    OfficeDouble office;
    WordDouble& server = *office.startWord();
    server.addDocument(QStringLiteral("/notes/a.docx"))->builtInValues.insert(3, QStringLiteral("Ann"));
    TiWord word(false);
    QCOMPARE(word.GetABuiltInProp(3, QStringLiteral("/notes/A.docx")), QStringLiteral("Ann"));
    const QStringList fullLog = server.fullLog();
    QCOMPARE(
        fullLog.mid(fullLog.size() - 7),
        (QStringList{"Documents", "Documents.Item(int:1)", "Documents.Item(int:1).BuiltInDocumentProperties",
                     "Documents", "Documents.Item(int:1)", "Documents.Item(int:1).BuiltInDocumentProperties(int:3)",
                     "Documents.Item(int:1).BuiltInDocumentProperties(int:3).Value"}));
    QCOMPARE(word.GetABuiltInProp(3, QStringLiteral("/notes/other.docx")), QString());
}

void TestTiWord::getLastNewDocName_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("result");

    QTest::newRow("highest number") << QStringList{"文档1", "文档3", "report.docx"} << "文档3";
    QTest::newRow("order does not matter") << QStringList{"文档12", "文档3"} << "文档12";
    QTest::newRow("saved documents only") << QStringList{"a.docx", "B.DOC"} << "";
    QTest::newRow("name that is no number") << QStringList{"文档x", "Notes"} << "";
    QTest::newRow("zero is not newer than none") << QStringList{"文档0"} << "";
}

void TestTiWord::getLastNewDocName() {
    QFETCH(QStringList, names);
    QFETCH(QString, result);

    OfficeDouble office;
    WordDouble& server = *office.startWord();
    for (const QString& name : names) {
        server.addDocument(name);
    }
    TiWord word(false);
    QCOMPARE(word.GetLastNewDocName(), result);
}

void TestTiWord::documentQueries_data() {
    QTest::addColumn<WordOp>("op");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("HaveDocChanged stops at first")
        << WordOp([](TiWord& w) { return text(w.HaveDocChanged()); }) << "true"
        << QStringList{"Documents.Count", "Documents.Item(int:1).Saved", "Documents.Item(int:2).Saved"};
    QTest::newRow("HaveNewDoc") << WordOp([](TiWord& w) { return text(w.HaveNewDoc()); }) << "true"
                                << QStringList{"Documents.Count", "Documents.Item(int:1).Name",
                                               "Documents.Item(int:2).Name", "Documents.Item(int:3).Name"};
    QTest::newRow("ListDocsName full") << WordOp([](TiWord& w) { return w.ListDocsName(false); })
                                       << "/n/a.docx\r\n/n/b.DOC\r\n文档1\r\n"
                                       << QStringList{"Documents.Count", "Documents.Item(int:1).FullName",
                                                      "Documents.Item(int:2).FullName",
                                                      "Documents.Item(int:3).FullName"};
    QTest::newRow("ListDocsName names") << WordOp([](TiWord& w) { return w.ListDocsName(true); })
                                        << "a.docx\r\nb.DOC\r\n文档1\r\n"
                                        << QStringList{"Documents.Count", "Documents.Item(int:1).FullName",
                                                       "Documents.Item(int:2).FullName",
                                                       "Documents.Item(int:3).FullName"};
}

void TestTiWord::documentQueries() {
    QFETCH(WordOp, op);
    QFETCH(QString, result);
    QFETCH(QStringList, calls);

    OfficeDouble office;
    WordDouble& server = *office.startWord();
    server.addDocument(QStringLiteral("/n/a.docx"));
    server.addDocument(QStringLiteral("/n/b.DOC"))->saved = false;
    server.addNewDocument();
    TiWord word(false);
    QCOMPARE(op(word), result);
    QCOMPARE(server.log(), calls);
}

void TestTiWord::openWordFile_sendsTenArgumentsByReference_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("call");

    QTest::newRow("no password") << "" << false
                                 << R"(Documents.Open(&"%1", &missing, &bool:false, &missing, &"", &missing, )"
                                    R"(&missing, &missing, &missing, &missing))";
    QTest::newRow("password, read-only")
        << "pw" << true
        << R"(Documents.Open(&"%1", &missing, &bool:true, &missing, &"pw", &missing, &missing, &missing, &missing, )"
           R"(&missing))";
}

void TestTiWord::openWordFile_sendsTenArgumentsByReference() {
    QFETCH(QString, password);
    QFETCH(bool, readOnly);
    QFETCH(QString, call);

    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("note.txt"), "first line\nsecond line\n");
    OfficeDouble office;
    office.passwords.insert(path, password);
    TiWord word(true);
    const OleVariant document = word.OpenWordFile(path, password, readOnly);
    QVERIFY(document.isObject());
    QCOMPARE(office.word().log(), QStringList{call.arg(path)});
    // The opened document is the active one, with the file's lines as paragraphs.
    QCOMPARE(word.ActiveDocFullName(), path);
    QCOMPARE(word.GetDocText(), QStringLiteral("first line\rsecond line\r"));
}

void TestTiWord::saveAs_sendsSixteenArgumentsByReference_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("passwordArg");

    QTest::newRow("without password") << ""
                                      << "&missing";
    QTest::newRow("with password") << "secret"
                                   << R"(&"secret")";
}

void TestTiWord::saveAs_sendsSixteenArgumentsByReference() {
    QFETCH(QString, password);
    QFETCH(QString, passwordArg);

    OfficeDouble office;
    office.startWord()->addNewDocument();
    TiWord word(false);
    word.SaveAs(QStringLiteral("/notes/new.docx"), password);
    QStringList args{R"(&"/notes/new.docx")", "&missing", "&missing", passwordArg};
    while (args.size() < 16) {
        args.append(QStringLiteral("&missing"));
    }
    QCOMPARE(office.word().log(), QStringList{"ActiveDocument.SaveAs(" + args.join(", ") + ")"});
    // The callers key the tab by the new path from here on.
    QCOMPARE(word.ActiveDocFullName(), QStringLiteral("/notes/new.docx"));
    QCOMPARE(office.passwords.value(QStringLiteral("/notes/new.docx")), password);
}

void TestTiWord::closeCurrDoc_data() {
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("documents");
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("visibleAfter");

    QTest::newRow("save changes, last") << 0 << 1 << "ActiveDocument.Close(int:-1)" << false;
    QTest::newRow("do not save, last") << 1 << 1 << "ActiveDocument.Close(int:0)" << false;
    QTest::newRow("prompt, last") << 2 << 1 << "ActiveDocument.Close(int:-2)" << false;
    QTest::newRow("save changes, one of two") << 0 << 2 << "ActiveDocument.Close(int:-1)" << true;
}

void TestTiWord::closeCurrDoc() {
    QFETCH(int, how);
    QFETCH(int, documents);
    QFETCH(QString, call);
    QFETCH(bool, visibleAfter);

    OfficeDouble office;
    WordDouble& server = *office.startWord();
    for (int i = 0; i < documents; ++i) {
        server.addNewDocument();
    }
    TiWord word(false);
    word.SetVisible(true);
    server.clearLog();
    if (how == 0) {
        word.CloseCurrDocAndSaveChanges();
    } else if (how == 1) {
        word.CloseCurrDocAndDoNotSaveChanges();
    } else {
        word.CloseCurrDocAndPromptToSaveChanges();
    }
    QCOMPARE(server.log(), (QStringList{"Documents.Count", call}));
    QCOMPARE(word.Visible(), visibleAfter);
    // Word's own window is left as it is.
    QCOMPARE(server.property("Application", "Visible"), OleVariant(true));
}

void TestTiWord::closeWordFileByName_onlyDocument_clearsVisibleEvenWhenNotFound() {
    OfficeDouble office;
    office.startWord()->addDocument(QStringLiteral("/notes/a.docx"));
    TiWord word(false);
    word.SetVisible(true);
    word.CloseWordFileByName(QStringLiteral("/notes/other.docx"));
    QVERIFY(!word.Visible());
    QCOMPARE(office.word().documents.size(), 1);
}

void TestTiWord::closeAllFiles_closesEveryDocument() {
    OfficeDouble office;
    WordDouble& server = *office.startWord();
    server.addDocument(QStringLiteral("/n/a.docx"));
    server.addDocument(QStringLiteral("/n/b.docx"));
    TiWord word(false);
    word.SetVisible(true);
    server.clearLog();
    word.CloseAllFiles();
    QVERIFY(server.documents.isEmpty());
    QVERIFY(!word.Visible());
    QCOMPARE(server.log(),
             (QStringList{"Documents.Count", "Documents.Item(int:2).Close()", "Documents.Item(int:1).Close()"}));
}

void TestTiWord::saveCurrWord_asksThenMarksSaved_data() {
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("yes") << true
                         << QStringList{"Documents.Count", "ActiveDocument.Saved", "ActiveDocument.Name",
                                        "ActiveDocument.Save()", "ActiveDocument.Saved := bool:true"};
    QTest::newRow("no") << false
                        << QStringList{"Documents.Count", "ActiveDocument.Saved", "ActiveDocument.Name",
                                       "ActiveDocument.Saved := bool:true"};
}

void TestTiWord::saveCurrWord_asksThenMarksSaved() {
    QFETCH(bool, answer);
    QFETCH(QStringList, calls);

    OfficeDouble office;
    ScriptedPrompts prompts;
    prompts.yesNoAnswers.enqueue(answer);
    const auto document = office.startWord()->addDocument(QStringLiteral("/n/a.docx"));
    document->saved = false;
    TiWord word(false);
    word.SaveCurrWord();
    QCOMPARE(prompts.log, QStringList{QStringLiteral("yesno: 是否将更改保存到 a.docx 中？")});
    QCOMPARE(office.word().log(), calls);
    QVERIFY(document->saved);
    QCOMPARE(document->saveCount, answer ? 1 : 0);
}

void TestTiWord::saveAllFiles_savesOnlyChanged() {
    OfficeDouble office;
    WordDouble& server = *office.startWord();
    server.addDocument(QStringLiteral("/n/a.docx"));
    server.addDocument(QStringLiteral("/n/b.docx"))->saved = false;
    TiWord word(false);
    word.SaveAllFiles();
    QCOMPARE(server.log(), (QStringList{"Documents.Count", "Documents.Item(int:1).Saved", "Documents.Item(int:2).Saved",
                                        "Documents.Item(int:2).Save()"}));
}

void TestTiWord::setVisible_writesOnlyOnChange_data() {
    QTest::addColumn<bool>("wordVisible");
    QTest::addColumn<bool>("value");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("fieldAfter");

    QTest::newRow("show hidden Word") << false << true << QStringList{"Visible", "Visible := bool:true"} << true;
    QTest::newRow("already shown") << true << true << QStringList{"Visible"} << false;
    QTest::newRow("hide shown Word") << true << false << QStringList{"Visible", "Visible := bool:false"} << false;
}

void TestTiWord::setVisible_writesOnlyOnChange() {
    QFETCH(bool, wordVisible);
    QFETCH(bool, value);
    QFETCH(QStringList, calls);
    QFETCH(bool, fieldAfter);

    OfficeDouble office;
    office.startWord()->setProperty("Application", "Visible", wordVisible);
    TiWord word(false);
    word.SetVisible(value);
    QCOMPARE(office.word().log(), calls);
    QCOMPARE(word.Visible(), fieldAfter);
}

void TestTiWord::windowCalls_data() {
    QTest::addColumn<WordOp>("op");
    QTest::addColumn<QStringList>("calls");

    const auto action = [](std::function<void(TiWord&)> f) {
        return WordOp([f](TiWord& w) {
            f(w);
            return QString();
        });
    };
    const QStringList placed{"WindowState := int:1", "WindowState := int:0", "Top := int:10", "Left := int:20"};
    QTest::newRow("SetWinPos all") << action([](TiWord& w) { w.SetWinPos(10, 20, 300, 400); })
                                   << placed + QStringList{"Height := int:300", "Width := int:400"};
    QTest::newRow("SetWinPos no size") << action([](TiWord& w) { w.SetWinPos(10, 20, 0, 0); }) << placed;
    QTest::newRow("SetWinPos negative width is sent")
        << action([](TiWord& w) { w.SetWinPos(10, 20, -5, -7); }) << placed + QStringList{"Width := int:-7"};
    QTest::newRow("CloseOpenSpellCheck") << action([](TiWord& w) {
        w.CloseOpenSpellCheck(false);
    }) << QStringList{"Options.CheckSpellingAsYouType := bool:false", "Options.CheckGrammarAsYouType := bool:false"};
    QTest::newRow("CreateNewDoc") << action([](TiWord& w) { w.CreateNewDoc(); })
                                  << QStringList{"Documents.Add(missing, missing, missing, missing)"};
    QTest::newRow("GoBack") << action([](TiWord& w) { w.GoBack(); }) << QStringList{"Documents.Count", "GoBack()"};
    QTest::newRow("MoveToEnd") << action([](TiWord& w) { w.MoveToEnd(); })
                               << QStringList{"Documents.Count", "Selection.EndKey(&int:6, &int:0)"};
    QTest::newRow("CopyToClip") << action([](TiWord& w) { w.CopyToClip(); })
                                << QStringList{"Documents.Count", "ActiveDocument.ActiveWindow.Selection.WholeStory()",
                                               "ActiveDocument.ActiveWindow.Selection.Copy()"};
}

void TestTiWord::windowCalls() {
    QFETCH(WordOp, op);
    QFETCH(QStringList, calls);

    OfficeDouble office;
    office.startWord()->addDocument(QStringLiteral("/n/a.docx"));
    TiWord word(false);
    op(word);
    QCOMPARE(office.word().log(), calls);
}

QTEST_GUILESS_MAIN(TestTiWord)
#include "tst_tiword.moc"
