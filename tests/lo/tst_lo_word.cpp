// Word documents through TiWord, answered by LibreOffice Writer: one private server for the whole executable.
#include "lofixture.h"

#include "office/automation/automationerror.h"
#include "office/tiword.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

const QStringList kChinese = {QStringLiteral("第一段：中文文档的内容。"),
                              QStringLiteral("第二段，包含 English 与数字 42。"), QStringLiteral("第三段结束！")};

QString Joined(const QStringList& paragraphs) {
    return paragraphs.join(QLatin1Char('\r')) + QLatin1Char('\r');
}

bool LooksEncrypted(const QString& path, const QString& text) {
    const QByteArray bytes = ReadBytes(path);
    const bool compound = bytes.startsWith(QByteArray("\xD0\xCF\x11\xE0", 4));
    const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return compound && !bytes.contains(utf16);
}

} // namespace

class TestLoWord : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<LoEnvironment> env;
    std::unique_ptr<TiWord> word;

    // A saved Word document with the given paragraphs.
    QString makeDocument(const QString& name, const QStringList& paragraphs, const QString& psw = {}) {
        const QString source = WriteTextFile(env->path(name + QStringLiteral(".txt")), paragraphs);
        word->OpenWordFile(source, QString(), false);
        const QString target = env->path(name);
        word->SaveAs(target, psw);
        word->CloseWordFileByName(target);
        return target;
    }

private Q_SLOTS:
    void initTestCase() {
        env = std::make_unique<LoEnvironment>();
        word = std::make_unique<TiWord>(true);
        QVERIFY(word->Created());
    }
    void cleanupTestCase() {
        word.reset();
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env->root()).isEmpty(), 10000);
    }
    void cleanup() {
        if (word->OpenedDocs() > 0) {
            word->CloseAllFiles();
        }
    }

    void newDocuments_areNumberedInOrder() {
        word->CreateNewDoc();
        const QString first = word->GetLastNewDocName();
        QVERIFY(first.startsWith(QStringLiteral("文档")));
        word->CreateNewDoc();
        QCOMPARE(word->GetLastNewDocName(), QStringLiteral("文档%1").arg(first.mid(2).toInt() + 1));
        QCOMPARE(word->ActiveDocName(), word->GetLastNewDocName());
        QCOMPARE(word->ActiveDocFullName(), word->GetLastNewDocName());
        QVERIFY(word->HaveNewDoc());
        QVERIFY(!word->HaveDocChanged());
    }

    void saveAs_roundTrip_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::newRow("docx") << "plain.docx"
                              << "";
        QTest::newRow("doc") << "plain.doc"
                             << "";
        QTest::newRow("docx with password") << "secret.docx"
                                            << "密码abc";
        QTest::newRow("doc with password") << "secret.doc"
                                           << "密码abc";
    }
    void saveAs_roundTrip() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        const QString path = makeDocument(name, kChinese, password);
        QCOMPARE(LooksEncrypted(path, kChinese.first()), !password.isEmpty());
        if (!password.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(AutomationError, word->OpenWordFile(path, QString(), false));
            QVERIFY_THROWS_EXCEPTION(AutomationError, word->OpenWordFile(path, QStringLiteral("wrong"), false));
            QCOMPARE(word->OpenedDocs(), 0);
        }
        word->OpenWordFile(path, password, false);
        QVERIFY(word->DocIsOpen(path));
        QCOMPARE(word->GetDocTextByName(path), Joined(kChinese));
        QCOMPARE(word->GetDocPropBool(0), !password.isEmpty());
        QCOMPARE(word->GetDocPropStr(2), path);

        // A change saved in place keeps the protection.
        word->ReplaceAll(QStringLiteral("第一段"), QStringLiteral("首段"));
        QVERIFY(word->DocChanged(path));
        word->SaveWordFileByName(path);
        QVERIFY(!word->DocChanged(path));
        word->CloseWordFileByName(path);
        QCOMPARE(LooksEncrypted(path, QStringLiteral("首段")), !password.isEmpty());
        word->OpenWordFile(path, password, true);
        QVERIFY(word->GetDocText().startsWith(QStringLiteral("首段：中文文档的内容。\r")));
        QVERIFY(word->GetDocPropBool(1));
    }

    void passwordOnOtherFormat_isRefused() {
        const QString path = makeDocument(QStringLiteral("for-rtf.docx"), kChinese);
        word->OpenWordFile(path, QString(), false);
        QVERIFY_THROWS_EXCEPTION(AutomationError,
                                 word->SaveAs(env->path(QStringLiteral("x.rtf")), QStringLiteral("pw")));
        QVERIFY(!QFileInfo::exists(env->path(QStringLiteral("x.rtf"))));
    }

    void counts_matchTheDocument() {
        const QString path = makeDocument(QStringLiteral("counts.docx"), kChinese);
        word->OpenWordFile(path, QString(), false);
        QCOMPARE(word->GetDocProp(1), int(Joined(kChinese).size()));
        QCOMPARE(word->GetDocProp(10), 3);
        QCOMPARE(word->GetDocProp(12), 3);
        QCOMPARE(word->GetDocPages(), 1);
        for (int idx : {0, 2, 3, 4, 5, 6, 13, 15, 18}) {
            QCOMPARE(word->GetDocProp(idx), 0);
        }
        QCOMPARE(word->GetDocProp(20), -1);
        QVERIFY(word->GetBuiltInDocumentProperty(15).toInt() > 0);
        QVERIFY(!word->GetABuiltInProp(11, path).isEmpty());
        QCOMPARE(word->GetABuiltInProp(11, env->path(QStringLiteral("not-open.docx"))), QString());
        QCOMPARE(word->GetTitle(), QStringLiteral("第一段：中文文档的内容。"));
    }

    // The office's separate endnote page is no page of the printed body, and a hyperlink is one of Word's fields.
    void endnotesAndLinks_countAsWordDoes() {
        QCOMPARE(word->GetDocPropStr(2), QString());
        const QString path = env->path(QStringLiteral("endnote.rtf"));
        QFile rtf(path);
        QVERIFY(rtf.open(QIODevice::WriteOnly));
        rtf.write("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fet1\\enddoc\\aenddoc\n"
                  "\\pard Body text{\\super\\chftn{\\footnote\\ftnalt\\pard{\\super\\chftn} Endnote text.}} and "
                  "{\\field{\\*\\fldinst HYPERLINK \"http://example.com/\"}{\\fldrslt a link}}.\\par}\n");
        rtf.close();
        word->OpenWordFile(path, QString(), false);
        QCOMPARE(word->GetDocProp(3), 1);
        QCOMPARE(word->GetDocProp(6), 1);
        QCOMPARE(word->GetDocProp(4), 1);
        QCOMPARE(word->GetDocPages(), 1);
        QCOMPARE(word->GetDocPropStr(2), path);
    }

    void formatting_reachesTheSavedFile() {
        const QString path = makeDocument(QStringLiteral("format.docx"), kChinese);
        word->OpenWordFile(path, QString(), false);
        word->SetDocPara(QString(), true, 10.5f, -1, -1, -1, -1, -1);
        word->SetAlignment(1);
        word->SetFont(QStringLiteral("楷体"), 14, true, false);
        const QString html = env->path(QStringLiteral("format.html"));
        QVERIFY(word->SaveDocToHtml(html));
        const QString saved = QString::fromUtf8(ReadBytes(html));
        QVERIFY2(saved.contains(QStringLiteral("楷体")), qPrintable(saved.left(2000)));
        QVERIFY(saved.contains(QStringLiteral("center"), Qt::CaseInsensitive));
        QVERIFY(saved.contains(QStringLiteral("<b>")) || saved.contains(QStringLiteral("bold")));
        QVERIFY(saved.contains(QStringLiteral("中文文档的内容")));
    }

    void mergeDocs_keepsTheOrder() {
        const QString a = makeDocument(QStringLiteral("merge-a.docx"), {QStringLiteral("甲文件")});
        const QString b = makeDocument(QStringLiteral("merge-b.docx"), {QStringLiteral("乙文件")});
        word->OpenWordFile(a, QString(), false);
        const QString merged = env->path(QStringLiteral("merged.docx"));
        QVERIFY(word->MergeDocs(merged, a + QStringLiteral("\r\n") + env->path(QStringLiteral("missing.docx")) +
                                            QStringLiteral("\r\n") + b));
        QCOMPARE(word->OpenedDocs(), 1);
        word->OpenWordFile(merged, QString(), false);
        const QString text = word->GetDocTextByName(merged);
        QVERIFY2(text.indexOf(QStringLiteral("甲文件")) >= 0 &&
                     text.indexOf(QStringLiteral("甲文件")) < text.indexOf(QStringLiteral("乙文件")),
                 qPrintable(text));
    }

    void failures_raiseAutomationErrors_data() {
        QTest::addColumn<int>("which");
        QTest::newRow("missing file") << 0;
        QTest::newRow("unknown macro") << 1;
        QTest::newRow("active document when none is open") << 2;
    }
    void failures_raiseAutomationErrors() {
        QFETCH(int, which);
        switch (which) {
        case 0:
            QVERIFY_THROWS_EXCEPTION(AutomationError,
                                     word->OpenWordFile(env->path(QStringLiteral("nowhere.docx")), QString(), false));
            break;
        case 1:
            word->CreateNewDoc();
            QVERIFY_THROWS_EXCEPTION(AutomationError, word->RunMacro(QStringLiteral("NoSuchMacro")));
            break;
        default:
            QVERIFY_THROWS_EXCEPTION(AutomationError, word->ActiveDocName());
            break;
        }
    }
};

QTEST_GUILESS_MAIN(TestLoWord)
#include "tst_lo_word.moc"
