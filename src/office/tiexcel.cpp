#include "tiexcel.h"

#include "common/appfolder.h"
#include "office/automation/automationerror.h"
#include "office/automation/oleserver.h"
#include "office/officetext.h"

namespace velmora {

namespace {

const QString kExcelProgId = QStringLiteral("Excel.Application");
// Excel's xlUp: Range.End moves up to the edge of a block of filled cells.
constexpr int kXlUp = -4162;

bool HoldsSomething(const OleVariant& value) {
    return !value.isEmpty() && !value.toString().isEmpty();
}

// The file name of a path without its folder and its last extension, as a link's visible text.
QString DisplayNameOf(const QString& path) {
    const QString name = FileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

} // namespace

TiExcel::TiExcel(bool AlwaysCreate) {
    FVisible = false;
    FCreated = false;
    if (!AlwaysCreate) {
        CreateOrConnectExcel();
        return;
    }
    FExcel = StartOfficeServer(kExcelProgId);
    FCreated = true;
}

TiExcel::~TiExcel() {
    Destroy();
}

void TiExcel::Destroy() noexcept {
    try {
        if (!FExcel.isObject()) {
            return;
        }
        CloseExcelFile();
        if (FCreated || FExcel.get(QStringLiteral("WorkBooks")).get(QStringLiteral("Count")).toInt() == 0) {
            FExcel.call(QStringLiteral("Quit"));
        }
        FExcel = OleVariant();
    } catch (...) {
        // An Excel that is gone or busy must not stop the program from closing.
    }
}

void TiExcel::CreateOrConnectExcel() {
    FExcel = ConnectOrStartOfficeServer(kExcelProgId, FCreated);
}

template <typename Body>
void TiExcel::Quietly(Body body) {
    try {
        body();
    } catch (const std::exception&) {
        // Quiet by design: see the class comment.
    }
    ProcessPendingMessages();
}

bool TiExcel::HasWorkbook() {
    return FExcel.get(QStringLiteral("WorkBooks")).get(QStringLiteral("Count")).toInt() != 0;
}

void TiExcel::SetVisible(bool Value) {
    if (FExcel.get(QStringLiteral("Visible")).toBool() != Value) {
        FExcel.put(QStringLiteral("Visible"), Value);
        FVisible = Value;
    }
}

void TiExcel::ShowExcel(bool f) {
    FExcel.put(QStringLiteral("Visible"), f);
}

void TiExcel::OpenExcelFile(const QString& xlsName) {
    Quietly([&] { FExcel.get(QStringLiteral("WorkBooks")).call(QStringLiteral("Open"), {xlsName}); });
}

int TiExcel::FindWorkbook(const QString& xlsName) {
    const int n = FExcel.get(QStringLiteral("WorkBooks")).get(QStringLiteral("Count")).toInt();
    for (int i = 1; i <= n; ++i) {
        if (SameTextAscii(WorkbookAt(i).get(QStringLiteral("FullName")).toString(), xlsName)) {
            return i;
        }
    }
    return 0;
}

OleVariant TiExcel::WorkbookAt(int i) {
    return FExcel.get(QStringLiteral("WorkBooks")).get(QStringLiteral("Item"), {i});
}

bool TiExcel::IsWorkbookOpen(const QString& xlsName) {
    bool open = false;
    Quietly([&] { open = FindWorkbook(xlsName) != 0; });
    return open;
}

void TiExcel::SaveExcelFile(const QString& xlsName) {
    Quietly([&] {
        const int i = FindWorkbook(xlsName);
        if (i != 0 && !WorkbookAt(i).get(QStringLiteral("Saved")).toBool()) {
            WorkbookAt(i).call(QStringLiteral("Save"));
        }
    });
}

bool TiExcel::ExcelFileSaved(const QString& xlsName) {
    bool saved = true;
    Quietly([&] {
        const int i = FindWorkbook(xlsName);
        saved = i == 0 || WorkbookAt(i).get(QStringLiteral("Saved")).toBool();
    });
    return saved;
}

void TiExcel::CloseExcelFile() {
    Quietly([&] { FExcel.get(QStringLiteral("WorkBooks")).call(QStringLiteral("Close")); });
}

void TiExcel::CloseExcelFile(const QString& xlsName) {
    Quietly([&] {
        if (const int i = FindWorkbook(xlsName); i != 0) {
            WorkbookAt(i).call(QStringLiteral("Close"), {}, {{QStringLiteral("SaveChanges"), false}});
        }
    });
}

void TiExcel::ActivateExcelFile(const QString& xlsName, int aSheet) {
    Quietly([&] {
        if (const int i = FindWorkbook(xlsName); i != 0) {
            WorkbookAt(i).call(QStringLiteral("Activate"));
            WorkbookAt(i).get(QStringLiteral("WorkSheets"), {aSheet}).call(QStringLiteral("Activate"));
        }
    });
}

quint64 TiExcel::WindowOf(const QString& xlsName) {
    double handle = 0;
    Quietly([&] {
        if (const int i = FindWorkbook(xlsName); i != 0) {
            handle = WorkbookAt(i).get(QStringLiteral("ActiveWindow")).get(QStringLiteral("Hwnd")).toDouble();
        }
    });
    return handle > 0 ? quint64(handle) : 0;
}

void TiExcel::GiveupSave() {
    Quietly([&] {
        if (HasWorkbook()) {
            FExcel.get(QStringLiteral("ActiveWorkBook")).put(QStringLiteral("Saved"), true);
        }
    });
}

void TiExcel::SetCellValue(int r, int c, const OleVariant& val) {
    Quietly([&] {
        if (HasWorkbook()) {
            FExcel.get(QStringLiteral("Cells"), {r, c}).put(QStringLiteral("Value"), val);
        }
    });
}

void TiExcel::SetACellValue(int aSheet, int r, int c, const QString& S) {
    Quietly([&] {
        if (HasWorkbook()) {
            FExcel.get(QStringLiteral("WorkSheets"), {aSheet})
                .get(QStringLiteral("Cells"), {r, c})
                .put(QStringLiteral("Value"), S);
        }
    });
}

void TiExcel::SetACellValue(int r, int c, const QString& aSheet, const QString& S) {
    Quietly([&] {
        if (HasWorkbook()) {
            FExcel.get(QStringLiteral("WorkSheets"), {aSheet})
                .get(QStringLiteral("Cells"), {r, c})
                .put(QStringLiteral("Value"), S);
        }
    });
}

QString TiExcel::ACellValue(int aSheet, int aRow, int aCol) {
    QString value;
    Quietly([&] {
        if (HasWorkbook()) {
            value = FExcel.get(QStringLiteral("WorkSheets"), {aSheet})
                        .get(QStringLiteral("Cells"), {aRow, aCol})
                        .toString();
        }
    });
    return value;
}

QString TiExcel::ACellHperLink(int aSheet, int aRow, int aCol) {
    QString address;
    Quietly([&] {
        if (HasWorkbook()) {
            FExcel.get(QStringLiteral("WorkSheets"), {aSheet})
                .get(QStringLiteral("Cells"), {aRow, aCol})
                .call(QStringLiteral("Select"));
            address = FExcel.get(QStringLiteral("Selection"))
                          .get(QStringLiteral("Hyperlinks"), {1})
                          .get(QStringLiteral("Address"))
                          .toString();
        }
    });
    return address;
}

void TiExcel::InsertFileLink(const QString& fn, const QString& cellStr) {
    Quietly([&] {
        if (HasWorkbook()) {
            const OleVariant anchor = FExcel.get(QStringLiteral("Range"), {cellStr});
            FExcel.get(QStringLiteral("ActiveSheet"))
                .get(QStringLiteral("Hyperlinks"))
                .call(QStringLiteral("Add"), {},
                      {{QStringLiteral("Anchor"), anchor},
                       {QStringLiteral("Address"), fn},
                       {QStringLiteral("TextToDisplay"), DisplayNameOf(fn)}});
        }
    });
}

void TiExcel::SetACellValue(const QString& xlsName, int aSheet, int r, int c, const QString& S) {
    Quietly([&] {
        if (const int i = FindWorkbook(xlsName); i != 0) {
            WorkbookAt(i)
                .get(QStringLiteral("WorkSheets"), {aSheet})
                .get(QStringLiteral("Cells"), {r, c})
                .put(QStringLiteral("Value"), S);
        }
    });
}

void TiExcel::InsertFileLink(const QString& xlsName, int aSheet, const QString& fn, const QString& cellStr) {
    Quietly([&] {
        if (const int i = FindWorkbook(xlsName); i != 0) {
            const OleVariant sheet = WorkbookAt(i).get(QStringLiteral("WorkSheets"), {aSheet});
            sheet.get(QStringLiteral("Hyperlinks"))
                .call(QStringLiteral("Add"), {},
                      {{QStringLiteral("Anchor"), sheet.get(QStringLiteral("Range"), {cellStr})},
                       {QStringLiteral("Address"), fn},
                       {QStringLiteral("TextToDisplay"), DisplayNameOf(fn)}});
        }
    });
}

int TiExcel::GetLastFilledRow(const QString& xlsName, int aSheet, int firstCol, int lastCol) {
    const int i = FindWorkbook(xlsName);
    if (i == 0) {
        throw AutomationError(QStringLiteral("工作簿 %1 没有打开").arg(xlsName), AutomationFault::BadArguments);
    }
    const OleVariant sheet = WorkbookAt(i).get(QStringLiteral("WorkSheets"), {aSheet});
    int last = 0;
    for (int c = firstCol; c <= lastCol; ++c) {
        // From the sheet's last row, End(xlUp) stops on the lowest filled cell, or on row 1 when there is none;
        // a filled last row would itself be skipped, so it is looked at first.
        const OleVariant bottom = sheet.get(QStringLiteral("Cells"), {kMaxRows, c});
        if (HoldsSomething(bottom.get(QStringLiteral("Value")))) {
            return kMaxRows;
        }
        const OleVariant end = bottom.get(QStringLiteral("End"), {kXlUp});
        const int row = end.get(QStringLiteral("Row")).toInt();
        if (row > last && (row > 1 || HoldsSomething(end.get(QStringLiteral("Value"))))) {
            last = row;
        }
    }
    return last;
}

int TiExcel::CountFilled(int st, int fixed, bool alongRow, int limit) {
    int i = 1;
    while (true) {
        const OleArgs cell = alongRow ? OleArgs{fixed, i} : OleArgs{i, fixed};
        const QString text = FExcel.get(QStringLiteral("WorkSheets"), {st})
                                 .get(QStringLiteral("Cells"), cell)
                                 .get(QStringLiteral("Value"))
                                 .toString();
        if (IsBlank(text)) {
            return i - 1;
        }
        ++i;
        if (i == limit) {
            return limit - 1;
        }
    }
}

int TiExcel::GetUsedRows(int st, int c) {
    return CountFilled(st, c, false, kMaxRows);
}

int TiExcel::GetUsedCols(int st, int r) {
    return CountFilled(st, r, true, kMaxCols);
}

void TiExcel::RunMacro(const QString& mcrName) {
    Quietly([&] {
        if (HasWorkbook()) {
            FExcel.call(QStringLiteral("Run"), {mcrName});
        }
    });
}

} // namespace velmora
