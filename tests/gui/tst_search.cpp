#include "common/compressedtext.h"
#include "controls.h"
#include "libraryfiles.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "store/textcache.h"
#include "store/textindex.h"
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

    // Sets the options as named: "list" or "all", fields out of "n" (name), "t" (tags) and "x" (text), a mode's
    // object name, "p" for pinyin initials; then types the keywords and presses Enter, and waits until the search has
    // ended.
    void search(const QString& scope, const QString& fields, const char* mode, const QString& keywords) {
        ctl<QRadioButton>(*m_form, scope == u"list" ? "rCurrList" : "rAllDoc")->setChecked(true);
        ctl<QCheckBox>(*m_form, "ckFileName")->setChecked(fields.contains(u'n'));
        ctl<QCheckBox>(*m_form, "ckTag")->setChecked(fields.contains(u't'));
        ctl<QCheckBox>(*m_form, "ckAllText")->setChecked(fields.contains(u'x'));
        ctl<QCheckBox>(*m_form, "ckPinyin")->setChecked(fields.contains(u'p'));
        ctl<QRadioButton>(*m_form, mode)->setChecked(true);
        auto* box = ctl<QLineEdit>(*m_form, "schEdit");
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
        // No file is one the built-in reader can read, so every text not cached comes from the office. notes.doc
        // is not on disk; plan-old's stored password is not the file's.
        m_positions = WriteLibrary({{.name = "plan-final.docx", .tags = "t", .password = "pw"},
                                    {.name = "plan-old.docx", .tags = "t", .password = "wrong"},
                                    {.name = "notes.doc", .tags = "u", .onDisk = false},
                                    {.name = "memo.docx", .tags = "u 会议"}});
        const std::pair<const char*, const char*> texts[] = {{"plan-final.docx", "季度会议 agenda"},
                                                             {"plan-old.docx", "旧的会议"},
                                                             {"notes.doc", "会议"},
                                                             {"memo.docx", "会议纪要 Plan"}};
        for (const auto& [name, text] : texts) {
            m_office->disk.insert(DocPath(QString::fromUtf8(name)), DiskFile{QString::fromUtf8(text) + u'\r'});
        }
        m_office->passwords.insert(DocPath(QStringLiteral("plan-final.docx")), QStringLiteral("pw"));
        m_office->passwords.insert(DocPath(QStringLiteral("plan-old.docx")), QStringLiteral("pw"));
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
        QTest::newRow("pinyin initials of a tag") << "all"
                                                  << "ntp"
                                                  << "rAorB"
                                                  << "HY" << QStringList{"memo"};
        QTest::newRow("without pinyin initials") << "all"
                                                 << "nt"
                                                 << "rAorB"
                                                 << "hy" << QStringList{"memo", "notes"};
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
                                    .arg(DocPath(QStringLiteral("notes.doc")))
                                    .arg(m_positions.at(3))
                                    .arg(DocPath(QStringLiteral("memo.docx"))),
                                true);
        search(scope, fields, mode.toLatin1().constData(), keywords);
        QCOMPARE(ArticleTitles(*m_form, TitleOrder::Sorted), found);
        QCOMPARE(m_form->setting(QStringLiteral("LastTag")), QStringLiteral("搜索"));
        QCOMPARE(ctl<QLineEdit>(*m_form, "schEdit")->text(), keywords);
        if (found != QStringList{"memo", "notes"}) {
            QCOMPARE(ctl<QLabel>(*m_form, "wzNumLabel")->text(), QStringLiteral("搜索 %1条 ").arg(found.size()));
        }
        // A search that found nothing says so, over the list it left as it was.
        if (keywords == u"zzz") {
            QCOMPARE(ctl<QLabel>(*m_form, "wzNumLabel")->text(), QStringLiteral("搜索 0条 "));
            QVERIFY(ctl<QLabel>(*m_form, "wzNumLabel")->isVisible());
        }
        QVERIFY(m_prompts->log.isEmpty());
    }

    // A document read for a search gets its cache file, in a folder made for it; a damaged one is written again.
    void textSearch_writesTheCacheOfWhatItRead() {
        QDir().mkpath(TextCacheFolder());
        WriteBytes(TextCachePath(DocPath(QStringLiteral("memo.docx"))), "damaged");
        QDir(TextCacheFolder()).removeRecursively();
        m_form = std::make_unique<TmForm>();
        m_form->show();
        search(QStringLiteral("all"), QStringLiteral("x"), "rAorB", QStringLiteral("agenda"));
        QCOMPARE(ArticleTitles(*m_form, TitleOrder::Sorted), QStringList{"plan-final"});
        QCOMPARE(ReadTextCache(DocPath(QStringLiteral("plan-final.docx"))), QStringLiteral("季度会议 agenda\r\n"));
        QCOMPARE(ReadTextCache(DocPath(QStringLiteral("memo.docx"))), QStringLiteral("会议纪要 Plan\r\n"));
        QVERIFY(!HasTextCache(DocPath(QStringLiteral("plan-old.docx"))));
        // The private office ended with the search, and only the main office could be left.
        QVERIFY(!m_office->words.isEmpty());
        QTRY_VERIFY(m_office->word(0).quit());
        // A damaged cache file is a miss: it is read again and replaced. (A keyword of four characters, which the
        // text index cannot decide alone, so the cache file is read.)
        WriteBytes(TextCachePath(DocPath(QStringLiteral("memo.docx"))), "damaged");
        search(QStringLiteral("all"), QStringLiteral("x"), "rAorB", QStringLiteral("会议纪要"));
        QCOMPARE(ArticleTitles(*m_form, TitleOrder::Sorted), QStringList{"memo"});
        QCOMPARE(ReadTextCache(DocPath(QStringLiteral("memo.docx"))), QStringLiteral("会议纪要 Plan\r\n"));
    }

    void controls_emptyListCtrlFAndHelp() {
        m_form = std::make_unique<TmForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        QVERIFY(!ctl<QCheckBox>(*m_form, "ckPinyin")->isChecked());
        search(QStringLiteral("list"), QStringLiteral("n"), "rAorB", QStringLiteral("plan"));
        QCOMPARE(m_prompts->log, QStringList{"info: 注意：当前文章列表是空的"});
        QVERIFY(ArticleTitles(*m_form, TitleOrder::Sorted).isEmpty());
        ctl<QTreeWidget>(*m_form, "wzTreeView")->setFocus();
        QTest::keyClick(m_form.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(ctl<QLineEdit>(*m_form, "schEdit")->hasFocus());
        ctl<QAbstractButton>(*m_form, "btSearchInfo")->click();
        QCOMPARE(m_prompts->log.last(), QStringLiteral("info: 搜索关键词须用空格隔开。可以有多个关键词。"));
        for (QWidget* control : m_form->findChild<QWidget*>(QStringLiteral("pnlSchOption"))->findChildren<QWidget*>()) {
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
        }
    }

    // Caches written by a program without the text index: the window builds it once it is up, showing so in the
    // toolbar, and searches answer alike before and after.
    void startWithCachesButNoIndex_buildsItInTheBackground() {
        QDir().mkpath(TextCacheFolder());
        for (const char* name : {"plan-final.docx", "memo.docx"}) {
            SaveCompressedText(m_office->disk.value(DocPath(QString::fromUtf8(name))).text,
                               TextCachePath(DocPath(QString::fromUtf8(name))));
        }
        QVERIFY(TextIndexNeedsBuild());
        m_form = std::make_unique<TmForm>();
        m_form->show();
        search(QStringLiteral("all"), QStringLiteral("x"), "rAorB", QStringLiteral("agenda"));
        const QStringList before = ArticleTitles(*m_form, TitleOrder::Sorted);
        QVERIFY(m_form->buildTextIndexEarly());
        QVERIFY(ctl<QLabel>(*m_form, "lbIndexBuild")->isVisible());
        QTRY_VERIFY(!ctl<QLabel>(*m_form, "lbIndexBuild")->isVisible());
        const TextIndexState state = CheckTextIndex();
        QVERIFY(state.complete && state.staleFiles.isEmpty() && state.unindexedFiles.isEmpty());
        QVERIFY(!m_form->buildTextIndexEarly());
        search(QStringLiteral("all"), QStringLiteral("x"), "rAorB", QStringLiteral("agenda"));
        QCOMPARE(ArticleTitles(*m_form, TitleOrder::Sorted), before);
    }

    // Closing the window while a search runs cancels it first: its threads are stopped and it shows nothing.
    void closingDuringSearch_cancelsIt() {
        m_form = std::make_unique<TmForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        const int threadsBefore = runningThreads();
        ctl<QCheckBox>(*m_form, "ckAllText")->setChecked(true);
        ctl<QRadioButton>(*m_form, "rAorB")->setChecked(true);
        auto* box = ctl<QLineEdit>(*m_form, "schEdit");
        box->insert(QStringLiteral("会议"));
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(QApplication::overrideCursor() != nullptr);
        m_form->close();
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(runningThreads(), threadsBefore);
        QTest::qWait(50);
        QVERIFY(ArticleTitles(*m_form, TitleOrder::Sorted).isEmpty());
    }
};

QTEST_MAIN(TestSearchArea)
#include "tst_search.moc"
