#pragma once

#include <QString>

namespace velmora {

// What the e-book workbook needs of the document tabs: workbooks are shown in tabs like documents. The tabs'
// area implements it; the main window hands it over, so that neither area includes the other's header.
class WorkbookTabs {
public:
    virtual ~WorkbookTabs() = default;

    // Whether a tab shows the file; paths are compared ignoring the case of ASCII letters.
    virtual bool HasTabOf(const QString& path) const = 0;
    // Makes the first tab that shows the file the active one; false when no tab shows it.
    virtual bool ActivateTabOf(const QString& path) = 0;
    // The full path shown by the active tab; empty when no tab is open.
    virtual QString ActiveTabPath() const = 0;
    // Opens the workbook in a new tab and makes it the active one. Raises, adding no tab, when the spreadsheet
    // program cannot be had or cannot open the file.
    virtual void OpenAExcelFile(const QString& path) = 0;
};

} // namespace velmora
