#include "officedouble.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tagstripdouble.h"
#include "tempappdata.h"
#include "wordfiles.h"
#include "workbench/import/importrun.h"

#include <QDir>
#include <QTest>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

// Kinds of file a test lists: "docx" the built-in reader reads ("正文 N"), "text" only the office reads (a text
// file under a Word name), "gone" is listed but not on disk.
QString MakeFile(const QString& folder, const QString& name, const QString& kind) {
    const QString path = folder + name;
    if (kind == u"docx") {
        WriteBytes(path, MakeDocx(QStringLiteral("<w:p><w:r><w:t>正文 %1</w:t></w:r></w:p>").arg(name)));
    } else if (kind == u"text") {
        WriteBytes(path, QStringLiteral("正文 %1\n").arg(name).toUtf8());
    }
    return path;
}

// The office's lines about documents, with the test's folder left out.
QStringList DocumentCalls(const ServerDouble& word, const QString& folder) {
    QStringList calls;
    for (QString line : word.log()) {
        if (line.startsWith(QLatin1String("Documents.Open")) || line.contains(QLatin1String(".Close")) ||
            line.contains(QLatin1String(".Save")) || line.contains(QLatin1String("Saved :="))) {
            calls.append(line.remove(folder));
        }
    }
    return calls;
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT

    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<OfficeDouble> m_office;
    QString m_docs;

    // Runs a whole list and reopens the library from its files: what counts is what was written.
    std::unique_ptr<TWordMgr> run(const ImportOptions& options, TagStripDouble& strip,
                                  QList<ImportRun::Failure>* failures = nullptr) {
        {
            TWordMgr store(m_appData->file(QStringLiteral("worddata.data")));
            ImportRun importRun(store, strip, options);
            while (!importRun.atEnd()) {
                importRun.next();
            }
            importRun.finish();
            if (failures != nullptr) {
                *failures = importRun.failures();
            }
        }
        return std::make_unique<TWordMgr>(m_appData->file(QStringLiteral("worddata.data")));
    }
    static QString stored(TWordMgr& store, const QString& path, int item) {
        for (qint64 pos = 0; pos < qint64(store.GetRecNumber()) * TWordMgr::RecSize(); pos += TWordMgr::RecSize()) {
            if (store.ReadAStrItem(pos, wdiFullName, true) == path) {
                return store.ReadAStrItem(pos, item, true);
            }
        }
        return QStringLiteral("(no record)");
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_office = std::make_unique<OfficeDouble>();
        m_docs = m_appData->file(QStringLiteral("docs/"));
        QDir().mkpath(m_docs);
    }
    void cleanup() {
        m_office.reset();
        m_appData.reset();
    }

    // The office's calls for one file, by what the file needs: none for what the reader reads and no password.
    void oneFile_officeCalls_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("index");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("calls");
        const QStringList none;
        const QString openRead = QStringLiteral("Documents.Open(&\"a.doc\", &missing, &bool:true, &missing, &\"\", "
                                                "&missing, &missing, &missing, &missing, &missing)");
        const QString openWrite = QStringLiteral("Documents.Open(&\"a.doc\", &missing, &bool:false, &missing, &\"\", "
                                                 "&missing, &missing, &missing, &missing, &missing)");
        const QStringList protect{
            openWrite,
            QStringLiteral(
                "ActiveDocument.SaveAs(&\"a.doc\", &missing, &missing, &\"pw\", &missing, &missing, &missing, "
                "&missing, &missing, &missing, &missing, &missing, &missing, &missing, &missing, &missing)"),
            QStringLiteral("Documents.Item(int:1).Saved := bool:false"),
            QStringLiteral("Documents.Item(int:1).Save()"),
            QStringLiteral("Documents.Item(int:1).Saved := bool:true"),
            QStringLiteral("Documents.Item(int:1).Close()")};
        const QStringList read{openRead, QStringLiteral("Documents.Item(int:1).Close()")};
        QTest::newRow("readable, no index") << "docx" << false << QString() << none;
        QTest::newRow("readable, index") << "docx" << true << QString() << none;
        QTest::newRow("readable, blank password") << "docx" << true << QStringLiteral("  ") << none;
        QTest::newRow("readable, password") << "docx" << false << QStringLiteral("pw") << protect;
        QTest::newRow("readable, index and password") << "docx" << true << QStringLiteral("pw") << protect;
        QTest::newRow("unreadable, no index") << "text" << false << QString() << none;
        QTest::newRow("unreadable, index") << "text" << true << QString() << read;
        QTest::newRow("unreadable, index and password") << "text" << true << QStringLiteral("pw") << read + protect;
    }
    void oneFile_officeCalls() {
        QFETCH(QString, kind);
        QFETCH(bool, index);
        QFETCH(QString, password);
        QFETCH(QStringList, calls);
        const QString path = MakeFile(m_docs, QStringLiteral("a.doc"), kind);
        ImportOptions options;
        options.items = {{path, false}};
        options.index = index;
        options.password = password;
        TagStripDouble strip;
        QList<ImportRun::Failure> failures;
        auto store = run(options, strip, &failures);

        QCOMPARE(failures.size(), 0);
        QCOMPARE(m_office->words.isEmpty(), calls.isEmpty());
        if (!calls.isEmpty()) {
            QCOMPARE(DocumentCalls(m_office->word(), m_docs), calls);
            QVERIFY(m_office->word().quit());
        }
        const bool protectedFile = !password.trimmed().isEmpty();
        QCOMPARE(stored(*store, path, wdiPassword), protectedFile ? password : QString());
        QCOMPARE(m_office->passwords.value(path), protectedFile ? password : QString());
        QCOMPARE(HasTextCache(path), index);
        if (index) {
            QCOMPARE(ReadTextCache(path), QStringLiteral("正文 a.doc\r\n"));
        }
    }

    // A file that cannot be protected or read is reported and left without a password in its record; the run goes
    // on with the next file, which is protected, and the office is quit at the end.
    void failures_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("failOn");
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<bool>("index");
        QTest::addColumn<QString>("reason");
        QTest::newRow("save with password refused") << "docx"
                                                    << "ActiveDocument.SaveAs"
                                                    << "" << true << "设置密码失败，文档未加密：call refused";
        QTest::newRow("second save refused, file protected") << "docx"
                                                             << "Documents.Item(int:1).Save("
                                                             << "" << false << "文档已加密，但保存时出错：call refused";
        QTest::newRow("file has a password already")
            << "docx"
            << ""
            << "old" << false << "设置密码失败，文档未加密：The password is incorrect. Word cannot open the document.";
        QTest::newRow("office cannot read it") << "text"
                                               << "Documents.Open(&\""
                                               << "" << true << "建立索引失败：call refused";
    }
    void failures() {
        QFETCH(QString, kind);
        QFETCH(QString, failOn);
        QFETCH(QString, oldPassword);
        QFETCH(bool, index);
        QFETCH(QString, reason);
        const QString bad = MakeFile(m_docs, QStringLiteral("bad.docx"), kind);
        const QString good = MakeFile(m_docs, QStringLiteral("good.docx"), QStringLiteral("docx"));
        if (!oldPassword.isEmpty()) {
            m_office->passwords.insert(bad, oldPassword);
        }
        if (!failOn.isEmpty()) {
            m_office->serverStarted = [failOn](ServerDouble& server) { server.failOn(failOn, 1); };
        }
        ImportOptions options;
        options.items = {{bad, true}, {good, false}};
        options.index = index;
        options.password = kind == u"text" ? QString() : QStringLiteral("pw");
        TagStripDouble strip;
        QList<ImportRun::Failure> failures;
        auto store = run(options, strip, &failures);
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures.first().path, bad);
        QCOMPARE(failures.first().reason, reason);
        // The record holds a password exactly when the file needs one, whatever failed.
        const QString needed = m_office->passwords.value(bad);
        QCOMPARE(needed.isEmpty(), oldPassword.isEmpty() && !reason.startsWith(QStringLiteral("文档已加密")));
        QCOMPARE(stored(*store, bad, wdiPassword), needed == oldPassword ? QString() : needed);
        QCOMPARE(stored(*store, good, wdiPassword), options.password);
        QCOMPARE(m_office->passwords.value(good), options.password);
        QCOMPARE(m_office->words.size(), 1);
        QVERIFY(m_office->word().quit());
        QCOMPARE(m_office->word().documents.size(), 0);
    }

    // Which lines are imported and what each gets, by the scopes of password and tags.
    void lines_data() {
        QTest::addColumn<QStringList>("lines"); // file name, "*" prefix: selected
        QTest::addColumn<bool>("pswAll");
        QTest::addColumn<bool>("tagsAll");
        QTest::addColumn<QString>("tags");
        QTest::addColumn<QStringList>("expected"); // per imported line: name|password|tags
        QTest::newRow("all lines") << QStringList{"a.docx", "b.doc"} << true << true << "y  x"
                                   << QStringList{"a.docx|pw|x y ", "b.doc|pw|x y "};
        QTest::newRow("password to lines 1 and 3") << QStringList{"*a.docx", "b.docx", "*c.docx"} << false << true << ""
                                                   << QStringList{"a.docx|pw|", "b.docx||", "c.docx|pw|"};
        QTest::newRow("tags to line 2") << QStringList{"a.docx", "*b.docx", "c.docx"} << true << false << "t"
                                        << QStringList{"a.docx|pw|", "b.docx|pw|t", "c.docx|pw|"};
        QTest::newRow("placeholder left in the tags")
            << QStringList{"a.docx"} << true << true << "标签请用空格分开t" << QStringList{"a.docx|pw|t"};
        QTest::newRow("skipped: folder line, missing file, listed twice, in the library in other case")
            << QStringList{"sub/", "gone.docx", "a.docx", "a.docx", "IN.docx"} << true << true << ""
            << QStringList{"a.docx|pw|"};
        QTest::newRow("tags to selected lines, none selected: nothing imported")
            << QStringList{"a.docx"} << true << false << "t" << QStringList{};
    }
    void lines() {
        QFETCH(QStringList, lines);
        QFETCH(bool, pswAll);
        QFETCH(bool, tagsAll);
        QFETCH(QString, tags);
        QFETCH(QStringList, expected);
        {
            TWordMgr store(m_appData->file(QStringLiteral("worddata.data")));
            store.ImportAWord(MakeFile(m_docs, QStringLiteral("in.docx"), QStringLiteral("docx")), {}, {}, 0);
            store.SaveRecDataFiles(false);
        }
        QDir().mkpath(m_docs + QStringLiteral("sub"));
        ImportOptions options;
        for (QString line : lines) {
            const bool selected = line.startsWith(u'*');
            line.remove(u'*');
            const QString path = m_docs + line;
            if (!line.startsWith(QLatin1String("gone")) && !line.endsWith(u'/')) {
                MakeFile(m_docs, line, QStringLiteral("docx"));
            }
            options.items.append({path, selected});
        }
        options.password = QStringLiteral("pw");
        options.passwordAllItems = pswAll;
        options.tagsModified = !tags.isEmpty();
        options.tags = tags;
        options.tagsAllItems = tagsAll;
        options.index = false;
        TagStripDouble strip;
        auto store = TagScopeMissing(options)
                         ? std::make_unique<TWordMgr>(m_appData->file(QStringLiteral("worddata.data")))
                         : run(options, strip);
        QStringList got;
        for (qint64 pos = TWordMgr::RecSize(); pos < qint64(store->GetRecNumber()) * TWordMgr::RecSize();
             pos += TWordMgr::RecSize()) {
            got.append(QStringList{store->ReadAStrItem(pos, wdiFullName, true).remove(m_docs),
                                   store->ReadAStrItem(pos, wdiPassword, true), store->ReadAStrItem(pos, wdiTags, true)}
                           .join(u'|'));
        }
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
