#include "common/appfolder.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "tempappdata.h"
#include "workbench/core/doctab.h"
#include "workbench/core/settingslist.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tabs/ebookworkbook.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

// "B7" or "B7=text" as a cell of the double's sheet.
QPair<QPair<int, int>, QString> ParseCell(const QString& cell) {
    const QString name = cell.section(u'=', 0, 0);
    return {{name.mid(1).toInt(), name.at(0).unicode() - 'A' + 1},
            cell.contains(u'=') ? cell.section(u'=', 1) : QStringLiteral("x")};
}

} // namespace

class TestEbookWorkbook : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<OfficeDouble> m_office;
    std::unique_ptr<Workbench> m_bench;
    std::unique_ptr<QWidget> m_host;
    DocumentTabs* m_tabs = nullptr;

    static QString myExcel() { return EbookWorkbook::workbookPath(); }
    QString book(const QString& name) const { return m_appData->file(QStringLiteral("books/")) + name; }
    ExcelDouble& excel() { return m_office->excel(); }

    // A workbook on disk (for the program's file checks) and in the office double (for its contents).
    void placeWorkbook(const QString& path, const QStringList& cells = {QStringLiteral("B1=电子书")}) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteBytes(path, "workbook");
        ExcelWorkbook workbook;
        workbook.fullName = path;
        workbook.sheets.append({QStringLiteral("电子书"), {}, {}});
        workbook.sheets.append({QStringLiteral("Sheet2"), {}, {}});
        for (const QString& line : cells) {
            const auto [cell, text] = ParseCell(line);
            workbook.sheets[0].cells.insert(cell, text);
        }
        m_office->workbookFiles.insert(path, workbook);
    }
    // Book files of the given sizes; a negative size is a file that is gone before the import writes.
    QStringList placeBooks(const QStringList& books) {
        QStringList paths;
        for (const QString& entry : books) {
            const qint64 size = entry.section(u':', 1).toLongLong();
            paths.append(book(entry.section(u':', 0, 0)));
            if (size >= 0) {
                QDir().mkpath(QFileInfo(paths.last()).absolutePath());
                WriteBytes(paths.last(), QByteArray(size, 'x'));
            }
        }
        return paths;
    }
    std::shared_ptr<ExcelWorkbook> opened(const QString& path) {
        for (const auto& workbook : excel().workbooks) {
            if (workbook->fullName == path) {
                return workbook;
            }
        }
        return nullptr;
    }
    void trigger(const char* action) { m_host->findChild<QAction*>(QLatin1String(action))->trigger(); }
    void clickButton() { m_host->findChild<QToolButton*>(QStringLiteral("tbtXls"))->click(); }
    // The calls without the lookups that find a workbook by its name and the embedding timer's window probes,
    // which run whenever window events are let through.
    QStringList calls() {
        QStringList kept;
        for (const QString& line : excel().log()) {
            if (line != u"WorkBooks.Count" && !line.endsWith(u").FullName") && !line.contains(u"ActiveWindow")) {
                kept.append(QString(line).replace(m_appData->path(), QStringLiteral("D/")));
            }
        }
        excel().clearLog();
        return kept;
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_office = std::make_unique<OfficeDouble>();
        m_bench = std::make_unique<Workbench>();
        m_bench->open();
        m_host = std::make_unique<QWidget>();
        m_host->setWindowTitle(QStringLiteral("Velmora 测试"));
        auto* toolbar = new QToolBar(m_host.get());
        auto* area = new QWidget(m_host.get());
        new QVBoxLayout(area);
        m_tabs = new DocumentTabs(*m_bench, toolbar, area);
        area->layout()->addWidget(m_tabs->pager());
        auto* ebook = new EbookWorkbook(*m_bench, toolbar);
        ebook->setWorkbookTabs(m_tabs);
    }

    void cleanup() {
        m_host.reset();
        m_bench.reset();
        m_office.reset();
        QVERIFY2(m_prompts->yesNoAnswers.isEmpty() && m_prompts->openFileAnswers.isEmpty(), "unused answers");
        m_prompts.reset();
        m_appData.reset();
    }

    void tabKind_byTheFileExtensionOnly_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("kind");
        QTest::newRow("workbook") << "/d/A.XLSX" << int(TabKind::Workbook);
        QTest::newRow("document in a folder named .xls") << "/d/n.xls/a.docx" << int(TabKind::Document);
        QTest::newRow("workbook in a folder named .doc") << "/d/o.doc/l.xls" << int(TabKind::Workbook);
        QTest::newRow("backup of a document") << "/d/a.docx.bak" << int(TabKind::NewDocument);
        QTest::newRow("new document") << "文档1" << int(TabKind::NewDocument);
    }
    void tabKind_byTheFileExtensionOnly() {
        QFETCH(QString, path);
        QFETCH(int, kind);
        QCOMPARE(int(KindOfPath(path)), kind);
    }

    // What each way in says, and whether a tab is the result.
    void entries_messagesAndTabs_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("tabs");

        QTest::newRow("button, no workbook") << QStringList{"button"} << QStringList{"info: P 不存在"} << 0;
        QTest::newRow("button twice") << QStringList{"place", "button", "button"} << QStringList{"info: P 已经打开"}
                                      << 1;
        QTest::newRow("menu, already in a tab")
            << QStringList{"place", "button", "open P"} << QStringList{"open: Velmora 测试", "info: P 已经打开"} << 1;
        QTest::newRow("menu, another workbook")
            << QStringList{"place", "button", "open other.xlsx"} << QStringList{"open: Velmora 测试"} << 2;
        QTest::newRow("menu, office cannot open it")
            << QStringList{"open broken.xlsx"}
            << QStringList{"open: Velmora 测试", "error: Velmora: 无法打开 D/books/broken.xlsx"} << 0;
        QTest::newRow("no spreadsheet program") << QStringList{"place", "no excel", "button"}
                                                << QStringList{"error: Velmora: 您的电脑上没哦安装Office"} << 0;
    }
    void entries_messagesAndTabs() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        QFETCH(int, tabs);

        placeWorkbook(book(QStringLiteral("other.xlsx")));
        WriteBytes(book(QStringLiteral("broken.xlsx")), "not known to the office");
        for (const QString& step : steps) {
            if (step == u"place") {
                placeWorkbook(myExcel());
            } else if (step == u"button") {
                clickButton();
            } else if (step == u"import") {
                trigger("ItemImpBookLink");
            } else if (step == u"no excel") {
                m_office->setInstalled(QStringLiteral("Excel.Application"), false);
            } else {
                const QString name = step.section(u' ', 1);
                m_prompts->openFileAnswers.enqueue(name.isEmpty() ? QStringList{}
                                                   : name == u"P" ? QStringList{myExcel()}
                                                                  : QStringList{book(name)});
                trigger("ItemOpenExcel");
            }
        }
        QStringList log = m_prompts->log;
        log.replaceInStrings(myExcel(), QStringLiteral("P")).replaceInStrings(m_appData->path(), QStringLiteral("D/"));
        QCOMPARE(log, shown);
        QCOMPARE(m_tabs->tabCount(), tabs);
        if (tabs > 0) {
            // One spreadsheet program serves every workbook tab.
            QCOMPARE(m_office->excels.size(), 1);
            QCOMPARE(m_tabs->activeTab()->position, kNewPosition);
            QCOMPARE(m_bench->activeTab().workbook, true);
        }
        if (!steps.filter(QStringLiteral("open")).isEmpty()) {
            QCOMPARE(m_prompts->lastOpenFilter, QStringLiteral("Excel文件|*.xls;*.xlsx;|"));
        }
    }

    // Rows go below the last filled row of columns B to D, one per book that still exists.
    void import_appendsBelowTheLastFilledRow_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("books"); // name:size, a negative size for a book gone before the writes
        QTest::addColumn<QStringList>("rows");  // row|B shown|B link|C|D

        QTest::newRow("below B1..B4") << QStringList{"B1=书名", "B2", "B3", "B4"}
                                      << QStringList{"a.pdf:1023", "a.b.pdf:1024", "c.epub:1572864"}
                                      << QStringList{"5|a|a.pdf|1023 Byte(s)|pdf ", "6|a.b|a.b.pdf|1.00 KB|pdf ",
                                                     "7|c|c.epub|1.50 MB|epub "};
        QTest::newRow("a cleared row is not filled again")
            << QStringList{"B1", "B2", "B4", "D5"} << QStringList{"d.djvu:0"}
            << QStringList{"6|d|d.djvu|0 Byte(s)|djvu "};
        QTest::newRow("a vanished book uses no row")
            << QStringList{"B1"} << QStringList{"a.pdf:1", "gone.pdf:-1", "无扩展名:2"}
            << QStringList{"2|a|a.pdf|1 Byte(s)|pdf ", "3|无扩展名|无扩展名|2 Byte(s)| "};
        QTest::newRow("the old format's row limit")
            << QStringList{"B65530"} << QStringList{"1.pdf:1", "2.pdf:1", "3.pdf:1", "4.pdf:1", "5.pdf:1", "6.pdf:1"}
            << QStringList{};
    }
    void import_appendsBelowTheLastFilledRow() {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, books);
        QFETCH(QStringList, rows);

        placeWorkbook(myExcel(), existing);
        m_prompts->openFileAnswers.enqueue(placeBooks(books));
        trigger("ItemImpBookLink");
        const auto workbook = opened(myExcel());
        QVERIFY(workbook);
        QStringList written;
        const ExcelSheet& sheet = workbook->sheets.at(0);
        for (int row = 1; row <= 65536; ++row) {
            if (!sheet.links.contains({row, 2})) {
                continue;
            }
            written.append(QStringList{QString::number(row), sheet.cells.value({row, 2}).toString(),
                                       sheet.links.value({row, 2}).mid(book(QString()).size()),
                                       sheet.cells.value({row, 3}).toString(), sheet.cells.value({row, 4}).toString()}
                               .join(u'|'));
        }
        QCOMPARE(written, rows);
        QCOMPARE(sheet.cells.size(), existing.size() + 3 * rows.size());
        QVERIFY(workbook->sheets.at(1).cells.isEmpty());
        // The import leaves saving to the tab.
        QCOMPARE(workbook->saved, rows.isEmpty());
        QCOMPARE(m_prompts->lastOpenFilter, QStringLiteral("电子书|*.pdf;*.mobi;*.epub;*.djvu;|所有文件(*.*)|*.*"));
    }

    // The picker starts in the folder of the last import; the folder of the first book chosen becomes it.
    void import_importDirFollowsTheFirstBook_data() {
        QTest::addColumn<QString>("folders"); // stored, where the picker starts, stored after
        QTest::newRow("same folder") << "books/|books/|books/";
        QTest::newRow("same folder in another letter case") << "Books/|Books/|Books/";
        QTest::newRow("another folder") << "other/|other/|books/";
        // Never the program's folder: the user's documents folder, as every picker.
        QTest::newRow("a folder that is gone") << "gone/|*documents*|books/";
    }
    void import_importDirFollowsTheFirstBook() {
        QFETCH(QString, folders);
        const QStringList folder = folders.split(u'|');
        for (const char* name : {"Books", "other"}) {
            QDir().mkpath(m_appData->file(QLatin1String(name)));
        }
        m_bench->settings().set(SettingKey::ImportDir, m_appData->file(folder[0]));
        m_bench->saveSettings();
        placeWorkbook(myExcel());
        m_prompts->openFileAnswers.enqueue(placeBooks({QStringLiteral("a.pdf:1")}));
        trigger("ItemImpBookLink");
        QCOMPARE(m_prompts->lastOpenDir,
                 folder[1] == u"*documents*" ? PickerStartFolder({}) : m_appData->file(folder[1]));
        QVERIFY(m_prompts->lastOpenDir != AppFolder());
        SettingsList written;
        written.load(Workbench::dataFile(QStringLiteral("settings.ini")));
        QCOMPARE(written.value(SettingKey::ImportDir), m_appData->file(folder[2]));
    }

    // Two workbooks in tabs share one spreadsheet program; each tab saves and closes only its own workbook.
    void closingOneTab_keepsTheOtherWorkbook() {
        const QString other = book(QStringLiteral("other.xlsx"));
        placeWorkbook(myExcel());
        placeWorkbook(other);
        clickButton();
        m_prompts->openFileAnswers.enqueue({other});
        trigger("ItemOpenExcel");
        QCOMPARE(m_tabs->tabCount(), 2);
        QCOMPARE(m_office->excels.size(), 1);
        opened(myExcel())->sheets[0].cells.insert({2, 2}, QStringLiteral("mine"));
        opened(myExcel())->saved = false;
        opened(other)->sheets[0].cells.insert({2, 2}, QStringLiteral("theirs"));
        opened(other)->saved = false;

        // Saving the active tab saves its workbook only; autosave leaves workbooks alone.
        m_tabs->tbtSaveClick();
        m_tabs->svTimerTimer();
        QCOMPARE(m_office->workbookFiles.value(other).saveCount, 1);
        QCOMPARE(m_office->workbookFiles.value(myExcel()).saveCount, 0);
        opened(other)->saved = false;

        // A save that fails closes nothing unless the user gives the changes up.
        QVERIFY(m_tabs->ActivateTabOf(myExcel()));
        excel().failOn(QStringLiteral("WorkBooks.Item(int:1).Save("), 1);
        m_prompts->yesNoAnswers.enqueue(false);
        m_tabs->closeActiveTab();
        QCOMPARE(m_tabs->tabCount(), 2);
        QVERIFY(opened(myExcel()));
        QCOMPARE(m_prompts->log.last(),
                 QStringLiteral("yesno: 无法保存 %1，关闭后其中的改动将丢失；确定要关闭吗？").arg(myExcel()));

        calls();
        m_tabs->closeActiveTab();
        // By its own name, although the other workbook was opened last.
        const QString mine = QStringLiteral("WorkBooks.Item(int:1).");
        QCOMPARE(calls(), (QStringList{mine + "Saved", mine + "Save()", mine + "Saved",
                                       mine + "Close(SaveChanges=bool:false)"}));
        QCOMPARE(m_tabs->tabCount(), 1);
        QVERIFY(!opened(myExcel()));
        QCOMPARE(m_office->workbookFiles.value(myExcel()).sheets.at(0).cells.value({2, 2}).toString(),
                 QStringLiteral("mine"));
        QVERIFY(opened(other) && !opened(other)->saved);
        QCOMPARE(m_tabs->ActiveTabPath(), other);
        // No word processor was started for workbooks.
        QVERIFY(m_office->words.isEmpty());

        // At shutdown the remaining workbook is saved under its own name.
        m_tabs->saveAndReleaseAll();
        QCOMPARE(m_office->workbookFiles.value(other).saveCount, 2);
        QCOMPARE(m_office->workbookFiles.value(other).sheets.at(0).cells.value({2, 2}).toString(),
                 QStringLiteral("theirs"));
    }
};

QTEST_MAIN(TestEbookWorkbook)
#include "tst_ebookworkbook.moc"
