// Spreadsheet automation as the spreadsheet export drives it: an application object made by its
// programmatic identifier, a new workbook, cells of its active sheet, column widths, and showing it.
// Every call raises when the spreadsheet program fails.
#pragma once

#include <QString>
#include <memory>

namespace dorvane::platform {

class SpreadsheetWorkbook {
public:
    virtual ~SpreadsheetWorkbook() = default;
    // ActiveSheet.Cells(row, column) = text (rows and columns from 1): what a header cell receives.
    virtual void setCells(int row, int column, const QString& text) = 0;
    // ActiveSheet.Cells(row, column).Value = text.
    virtual void setCellsValue(int row, int column, const QString& text) = 0;
    // ActiveSheet.Columns.Autofit.
    virtual void ColumnsAutofit() = 0;
    // How many rows the active sheet holds.
    virtual int sheetRows() const = 0;
};

class SpreadsheetApplication {
public:
    virtual ~SpreadsheetApplication() = default;
    // Workbooks.add: a new workbook, owned by the application.
    virtual SpreadsheetWorkbook& WorkbooksAdd() = 0;
    // Visible = value: showing the application hands its workbooks to the user.
    virtual void setVisible(bool value) = 0;
    virtual void Quit() = 0;
};

class SpreadsheetAutomation {
public:
    virtual ~SpreadsheetAutomation() = default;
    // CreateObject(progId): raises when no such application can be made.
    virtual std::unique_ptr<SpreadsheetApplication> CreateObject(const QString& progId) = 0;
};

}  // namespace dorvane::platform
