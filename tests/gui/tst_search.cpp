#include "officedouble.h"
#include "scriptedprompts.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/tmform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestSearchArea : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<OfficeDouble> m_office;
    std::unique_ptr<TmForm> m_form;
    QList<qint64> m_positions;

    QString doc(const QString& name) const { return m_appData->file(QStringLiteral("docs/")) + name; }

    template <typename T>
    T* ctl(const char* name) const {
        T* found = m_form->findChild<T*>(QString::fromLatin1(name));
        if (found == nullptr) {
            qFatal("no control %s", name);
        }
        return found;
    }

    QStringList articles() const {
        const auto* list = ctl<QTreeWidget>("wzTreeView");
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            texts.append(list->topLevelItem(i)->text(0));
        }
        texts.sort();
        return texts;
    }

    // Sets the options as named: "list" or "all", fields out of "n" (name), "t" (tags) and "x" (text), a mode's
    // object name; then types the keywords and presses Enter, and waits until the search has ended.
    void search(const QString& scope, const QString& fields, const char* mode, const QString& keywords) {
        ctl<QRadioButton>(scope == u"list" ? "rCurrList" : "rAllDoc")->setChecked(true);
        ctl<QCheckBox>("ckFileName")->setChecked(fields.contains(u'n'));
        ctl<QCheckBox>("ckTag")->setChecked(fields.contains(u't'));
        ctl<QCheckBox>("ckAllText")->setChecked(fields.contains(u'x'));
        ctl<QRadioButton>(mode)->setChecked(true);
        auto* box = ctl<QLineEdit>("schEdit");
        box->clear();
        box->insert(keywords); // typing, which QTest does for ASCII only
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY(QApplication::overrideCursor() == nullptr);
    }

    // The threads of this process, as the kernel counts them.
    static int runningThreads() {
        return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        InstallPrompts(m_prompts.get());
        m_office = std::make_unique<OfficeDouble>();
        QDir().mkpath(doc(QString()));
        // No file is one the built-in reader can read, so every text not cached comes from the office. notes.doc
        // is not on disk; plan-old's stored password is not the file's.
        struct Entry {
            const char* name;
            const char* tags;
            const char* password;
            const char* text;
        };
        const Entry entries[] = {{"plan-final.docx", "t", "pw", "季度会议 agenda"},
                                 {"plan-old.docx", "t", "wrong", "旧的会议"},
                                 {"notes.doc", "u", "", "会议"},
                                 {"memo.docx", "u 会议", "", "会议纪要 Plan"}};
        TWordMgr library(m_appData->file(QStringLiteral("worddata.data")));
        m_positions.clear();
        for (const Entry& entry : entries) {
            const QString path = doc(QString::fromUtf8(entry.name));
            if (QLatin1String(entry.name) != QLatin1String("notes.doc")) {
                WriteBytes(path, "x");
            }
            m_office->disk.insert(path, DiskFile{QString::fromUtf8(entry.text) + u'\r'});
            if (*entry.password != '\0') {
                m_office->passwords.insert(path, QStringLiteral("pw"));
            }
            m_positions.append(
                library.ImportAWord(path, QString::fromUtf8(entry.tags), QString::fromUtf8(entry.password), 0));
        }
        library.SaveRecDataFiles(false);
    }
    void cleanup() {
        if (m_form) {
            m_form->close();
            m_form.reset();
        }
        m_office.reset();
        InstallPrompts(nullptr);
        m_prompts.reset();
        m_appData.reset();
    }

    void search_findsWhatTheOptionsAskFor_data() {
        QTest::addColumn<QString>("scope");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QStringList>("found");
        // The list holds the documents tagged u before each search.
        QTest::newRow("all: names, or") << "all"
                                        << "n"
                                        << "rAorB"
                                        << "plan memo" << QStringList{"memo", "plan-final", "plan-old"};
        QTest::newRow("list: names, or") << "list"
                                         << "n"
                                         << "rAorB"
                                         << "plan memo" << QStringList{"memo"};
        QTest::newRow("whole with a trailing space") << "all"
                                                     << "nt"
                                                     << "rWhole"
                                                     << "PLAN-F " << QStringList{"plan-final"};
        QTest::newRow("not: tags exclude") << "all"
                                           << "nt"
                                           << "rAnotB"
                                           << "plan 会议" << QStringList{"plan-final", "plan-old"};
        // plan-old's password is wrong and notes.doc is gone: both are passed over, the search goes on.
        QTest::newRow("text from the office") << "all"
                                              << "x"
                                              << "rAandB"
                                              << "会议" << QStringList{"memo", "plan-final"};
        QTest::newRow("not across name and text") << "all"
                                                  << "nx"
                                                  << "rAnotB"
                                                  << "plan 会议" << QStringList{"plan-old"};
        QTest::newRow("nothing found keeps the list") << "all"
                                                      << "ntx"
                                                      << "rAorB"
                                                      << "zzz" << QStringList{"memo", "notes"};
    }
    void search_findsWhatTheOptionsAskFor() {
        QFETCH(QString, scope);
        QFETCH(QString, fields);
        QFETCH(QString, mode);
        QFETCH(QString, keywords);
        QFETCH(QStringList, found);
        m_form = std::make_unique<TmForm>();
        m_form->show();
        m_form->LoadArticleList(QStringLiteral("%1|%2\r\n%3|%4\r\n")
                                    .arg(m_positions.at(2))
                                    .arg(doc(QStringLiteral("notes.doc")))
                                    .arg(m_positions.at(3))
                                    .arg(doc(QStringLiteral("memo.docx"))),
                                true);
        search(scope, fields, mode.toLatin1().constData(), keywords);
        QCOMPARE(articles(), found);
        QCOMPARE(m_form->setting(QStringLiteral("LastTag")), QStringLiteral("搜索"));
        QCOMPARE(ctl<QLineEdit>("schEdit")->text(), keywords);
        if (keywords != u"zzz") {
            QCOMPARE(ctl<QLabel>("wzNumLabel")->text(), QStringLiteral("搜索 %1条 ").arg(found.size()));
        }
        QVERIFY(m_prompts->log.isEmpty());
    }

    // A document read for a search gets its cache file, in a folder made for it; a damaged one is written again.
    void textSearch_writesTheCacheOfWhatItRead() {
        QDir().mkpath(TextCacheFolder());
        WriteBytes(TextCachePath(doc(QStringLiteral("memo.docx"))), "damaged");
        QDir(TextCacheFolder()).removeRecursively();
        m_form = std::make_unique<TmForm>();
        m_form->show();
        search(QStringLiteral("all"), QStringLiteral("x"), "rAorB", QStringLiteral("agenda"));
        QCOMPARE(articles(), QStringList{"plan-final"});
        QCOMPARE(ReadTextCache(doc(QStringLiteral("plan-final.docx"))), QStringLiteral("季度会议 agenda\r\n"));
        QCOMPARE(ReadTextCache(doc(QStringLiteral("memo.docx"))), QStringLiteral("会议纪要 Plan\r\n"));
        QVERIFY(!HasTextCache(doc(QStringLiteral("plan-old.docx"))));
        // The private office ended with the search, and only the main office could be left.
        QVERIFY(!m_office->words.isEmpty());
        QTRY_VERIFY(m_office->word(0).quit());
        // A damaged cache file is a miss: it is read again and replaced.
        WriteBytes(TextCachePath(doc(QStringLiteral("memo.docx"))), "damaged");
        search(QStringLiteral("all"), QStringLiteral("x"), "rAorB", QStringLiteral("纪要"));
        QCOMPARE(articles(), QStringList{"memo"});
        QCOMPARE(ReadTextCache(doc(QStringLiteral("memo.docx"))), QStringLiteral("会议纪要 Plan\r\n"));
    }

    void controls_emptyListCtrlFAndHelp() {
        m_form = std::make_unique<TmForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        search(QStringLiteral("list"), QStringLiteral("n"), "rAorB", QStringLiteral("plan"));
        QCOMPARE(m_prompts->log, QStringList{"info: 注意：当前文章列表是空的"});
        QVERIFY(articles().isEmpty());
        ctl<QTreeWidget>("wzTreeView")->setFocus();
        QTest::keyClick(m_form.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(ctl<QLineEdit>("schEdit")->hasFocus());
        ctl<QAbstractButton>("btSearchInfo")->click();
        QCOMPARE(m_prompts->log.last(), QStringLiteral("info: 搜索关键词须用空格隔开。可以有多个关键词。"));
        for (QWidget* control : m_form->findChild<QWidget*>(QStringLiteral("pnlSchOption"))->findChildren<QWidget*>()) {
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
        }
    }

    // Closing the window while a search runs cancels it first: its threads are stopped and it shows nothing.
    void closingDuringSearch_cancelsIt() {
        m_form = std::make_unique<TmForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        const int threadsBefore = runningThreads();
        ctl<QCheckBox>("ckAllText")->setChecked(true);
        ctl<QRadioButton>("rAorB")->setChecked(true);
        auto* box = ctl<QLineEdit>("schEdit");
        box->insert(QStringLiteral("会议"));
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(QApplication::overrideCursor() != nullptr);
        m_form->close();
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(runningThreads(), threadsBefore);
        QTest::qWait(50);
        QVERIFY(articles().isEmpty());
    }
};

QTEST_MAIN(TestSearchArea)
#include "tst_search.moc"
