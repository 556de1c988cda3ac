#include "tiexcel.h"

#include "common/appfolder.h"
#include "office/automation/automationerror.h"
#include "office/automation/oleserver.h"
#include "office/officetext.h"

namespace velmora {

namespace {

const QString kExcelProgId = QStringLiteral("Excel.Application");

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

void TiExcel::SaveExcelFile(const QString& /*xlsName*/) {
    Quietly([&] {
        if (!FExcel.get(QStringLiteral("ActiveWorkBook")).get(QStringLiteral("Saved")).toBool()) {
            FExcel.get(QStringLiteral("ActiveWorkBook")).call(QStringLiteral("Save"));
        }
    });
}

void TiExcel::CloseExcelFile() {
    Quietly([&] { FExcel.get(QStringLiteral("WorkBooks")).call(QStringLiteral("Close")); });
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
