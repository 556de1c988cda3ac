#include "ebookworkbook.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "common/fileinfo.h"
#include "common/prompts.h"
#include "office/officetext.h"
#include "office/tiexcel.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/settingslist.h"
#include "workbench/workbench.h"
#include "workbooktabs.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QScopeGuard>
#include <QToolButton>

namespace velmora {

namespace {

const QString kWorkbookName = QStringLiteral("MyExcel.xlsx");
// The row limit of the old workbook format: an import that would reach it writes nothing.
constexpr int kOldFormatRows = 65536;
// The sheet the links go to, and its columns: B the link, C the size, D the type.
constexpr int kLinkSheet = 1;
constexpr int kLinkColumn = 2;
constexpr int kSizeColumn = 3;
constexpr int kTypeColumn = 4;

} // namespace

EbookWorkbook::EbookWorkbook(Workbench& bench, QWidget* toolbar) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("ebookWorkbook"));
    pmExcel = Named(new QMenu(toolbar), QStringLiteral("pmExcel"));
    ItemOpenExcel = NamedAction(pmExcel, QStringLiteral("ItemOpenExcel"), QStringLiteral("打开Excel文件"));
    pmExcel->addSeparator();
    ItemImpBookLink = NamedAction(pmExcel, QStringLiteral("ItemImpBookLink"), QStringLiteral("导入电子书链接"));
    tbtXls = MakeToolButton(toolbar, QStringLiteral("tbtXls"), QString(), QStringLiteral("电子书管理及Excel"));
    tbtXls->setMenu(pmExcel);
    tbtXls->setPopupMode(QToolButton::MenuButtonPopup);
    ConnectReported(tbtXls, &QToolButton::clicked, this, [this] { tbtXlsClick(); });
    ConnectReported(ItemOpenExcel, &QAction::triggered, this, [this] { ItemOpenExcelClick(); });
    ConnectReported(ItemImpBookLink, &QAction::triggered, this, [this] { ItemImpBookLinkClick(); });
}

QWidget* EbookWorkbook::toolButton() const {
    return tbtXls;
}

QMenu* EbookWorkbook::menu() const {
    return pmExcel;
}

QString EbookWorkbook::workbookPath() {
    return QFileInfo(Workbench::dataFile(kWorkbookName)).absoluteFilePath();
}

QString EbookWorkbook::caption() const {
    return tbtXls->window()->windowTitle();
}

QString EbookWorkbook::startFolder() const {
    return PickerStartFolder({m_bench.settings().value(SettingKey::ImportDir)});
}

void EbookWorkbook::tbtXlsClick() {
    const QString path = workbookPath();
    if (!QFileInfo::exists(path)) {
        ShowInfo(QStringLiteral("%1 不存在").arg(path));
    } else if (WorkbookIsOpen(path)) {
        ShowInfo(QStringLiteral("%1 已经打开").arg(path));
    } else {
        OpenAExcelFile(path);
    }
}

bool EbookWorkbook::WorkbookIsOpen(const QString& fn) const {
    return FileInUse(fn) || (m_tabs != nullptr && m_tabs->HasTabOf(QFileInfo(fn).absoluteFilePath()));
}

void EbookWorkbook::ActivateWorkbookTab() {
    if (m_tabs != nullptr) {
        m_tabs->ActivateTabOf(workbookPath());
    }
}

void EbookWorkbook::OpenAExcelFile(const QString& fn) {
    if (m_tabs == nullptr) {
        throw VelmoraError(QStringLiteral("没有可显示工作簿的标签页"));
    }
    m_tabs->OpenAExcelFile(fn);
}

void EbookWorkbook::ItemOpenExcelClick() {
    const QString file =
        PickFiles(true, caption(), startFolder(), QStringLiteral("Excel文件|*.xls;*.xlsx;|")).trimmed();
    if (file.isEmpty() || !QFileInfo(file).isFile()) {
        return;
    }
    if (WorkbookIsOpen(file)) {
        ShowInfo(QStringLiteral("%1 已经打开").arg(file));
        return;
    }
    OpenAExcelFile(file);
}

void EbookWorkbook::ItemImpBookLinkClick() {
    const QString path = workbookPath();
    if (!QFileInfo::exists(path)) {
        ShowInfo(QStringLiteral("%1 不存在").arg(path));
        return;
    }
    if (WorkbookIsOpen(path)) {
        ActivateWorkbookTab();
    } else {
        OpenAExcelFile(path);
    }
    // Held by another program with no tab of ours: there is nothing to write into.
    if (m_tabs == nullptr || !SameTextAscii(m_tabs->ActiveTabPath(), path)) {
        return;
    }
    TiExcel& excel = m_bench.excel();
    // The links go into the e-book workbook's first sheet by name; showing it lets the user watch them arrive.
    excel.ActivateExcelFile(path, kLinkSheet);
    int rows = excel.GetLastFilledRow(path, kLinkSheet, kLinkColumn, kTypeColumn);

    const QString folder = startFolder();
    const QString picked =
        PickFiles(false, caption(), folder, QStringLiteral("电子书|*.pdf;*.mobi;*.epub;*.djvu;|所有文件(*.*)|*.*"));
    if (picked.trimmed().isEmpty()) {
        return;
    }
    const QStringList files = picked.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const QFileInfo first(files.first());
    if (first.exists()) {
        const QString chosenFolder = WithTrailingBackslash(first.absolutePath());
        if (chosenFolder.compare(WithTrailingBackslash(folder), Qt::CaseInsensitive) != 0) {
            m_bench.settings().set(SettingKey::ImportDir, chosenFolder);
            m_bench.saveSettings();
        }
    }
    if (rows + files.size() >= kOldFormatRows) {
        return;
    }
    // The writes let window events through: the menu waits until they are done.
    pmExcel->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([this] {
        pmExcel->setEnabled(true);
        QApplication::restoreOverrideCursor();
    });
    for (const QString& file : files) {
        const QFileInfo book(file);
        if (!book.isFile()) {
            continue;
        }
        ++rows;
        excel.InsertFileLink(path, kLinkSheet, book.absoluteFilePath(), QStringLiteral("B%1").arg(rows));
        excel.SetACellValue(path, kLinkSheet, rows, kSizeColumn, SizeToText(book.size()));
        excel.SetACellValue(path, kLinkSheet, rows, kTypeColumn, book.suffix() + QLatin1Char(' '));
    }
}

} // namespace velmora
