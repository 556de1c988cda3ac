#pragma once

#include "office/automation/olevariant.h"

#include <QString>

namespace velmora {

// The program's only way to Excel, built like TiWord over whatever server answers "Excel.Application". The
// workbook and cell operations are quiet: a failure leaves the workbook as it was (a read yields empty text)
// and raises nothing, because the workbook tab must keep working while the user edits in Excel. Only
// GetUsedRows and GetUsedCols let errors through, as their callers need a true row count or none.
class TiExcel final {
public:
    // Raises VelmoraError "您的电脑上没哦安装Office" when no Excel can be had.
    explicit TiExcel(bool AlwaysCreate);
    // Closes every workbook, then quits Excel when this wrapper started it or no workbook remains; never raises.
    ~TiExcel();
    Q_DISABLE_COPY_MOVE(TiExcel)

    void CreateOrConnectExcel();

    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    bool Created() const { return FCreated; }
    void SetCreated(bool Value) { FCreated = Value; }

    void ShowExcel(bool f);
    void OpenExcelFile(const QString& xlsName);
    // Saves the active workbook when it has changes, whatever name is passed.
    void SaveExcelFile(const QString& xlsName);
    void CloseExcelFile();
    void GiveupSave();

    void SetCellValue(int r, int c, const OleVariant& val);
    void SetACellValue(int aSheet, int r, int c, const QString& S);
    void SetACellValue(int r, int c, const QString& aSheet, const QString& S);
    QString ACellValue(int aSheet, int aRow, int aCol);
    QString ACellHperLink(int aSheet, int aRow, int aCol);
    void InsertFileLink(const QString& fn, const QString& cellStr);

    int GetUsedRows(int st, int c);
    int GetUsedCols(int st, int r);

    void RunMacro(const QString& mcrName);

    // Excel's sheet size: the probes of GetUsedRows and GetUsedCols stop one short of it.
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxCols = 16384;

private:
    void Destroy() noexcept;
    bool HasWorkbook();
    // Runs body and swallows its automation errors, then lets pending window events run.
    template <typename Body>
    void Quietly(Body body);
    int CountFilled(int st, int fixed, bool alongRow, int limit);

    OleVariant FExcel;
    bool FVisible = false;
    bool FCreated = false;
};

} // namespace velmora
