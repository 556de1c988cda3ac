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
    // Whether a workbook of that full name is open (names compared as SameTextAscii does).
    bool IsWorkbookOpen(const QString& xlsName);
    // Saves the named workbook when it has changes. Another workbook may be the active one: the user moves
    // between them in their own windows, and saving that one instead would write the wrong file.
    void SaveExcelFile(const QString& xlsName);
    // False only when the named workbook is open and holds unsaved changes, so that a failed save is known before
    // its workbook is closed.
    bool ExcelFileSaved(const QString& xlsName);
    // Closes every workbook this Excel holds, discarding changes; for the end of the program.
    void CloseExcelFile();
    // Closes only the named workbook, discarding changes: the caller has saved it.
    void CloseExcelFile(const QString& xlsName);
    // Makes the named workbook and its sheet aSheet the active ones, so that the user sees what is written.
    void ActivateExcelFile(const QString& xlsName, int aSheet);
    // The top-level window of the named workbook; 0 when the server cannot tell.
    quint64 WindowOf(const QString& xlsName);
    void GiveupSave();

    void SetCellValue(int r, int c, const OleVariant& val);
    void SetACellValue(int aSheet, int r, int c, const QString& S);
    void SetACellValue(int r, int c, const QString& aSheet, const QString& S);
    QString ACellValue(int aSheet, int aRow, int aCol);
    QString ACellHperLink(int aSheet, int aRow, int aCol);
    void InsertFileLink(const QString& fn, const QString& cellStr);

    // The same writes into sheet aSheet of the named workbook, whichever workbook or sheet is active.
    void SetACellValue(const QString& xlsName, int aSheet, int r, int c, const QString& S);
    void InsertFileLink(const QString& xlsName, int aSheet, const QString& fn, const QString& cellStr);

    int GetUsedRows(int st, int c);
    int GetUsedCols(int st, int r);
    // The last row that holds anything in any of the columns firstCol..lastCol of sheet aSheet of the named
    // workbook; 0 when they are all empty. Unlike GetUsedRows a blank cell in between does not end the count,
    // so rows appended below it never land on rows that are already filled. Lets errors through, and raises
    // when no workbook of that name is open.
    int GetLastFilledRow(const QString& xlsName, int aSheet, int firstCol, int lastCol);

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
    // The 1-based index of the named workbook in WorkBooks; 0 when none is open under that name.
    int FindWorkbook(const QString& xlsName);
    OleVariant WorkbookAt(int i);

    OleVariant FExcel;
    bool FVisible = false;
    bool FCreated = false;
};

} // namespace velmora
