// What the exports read of the editor's grid: its columns, the texts of its current row, and the paging
// the row walk uses. The editor's grid provides it; the exports never read the table itself.
#pragma once

#include <QString>
#include <cstdint>
#include <string_view>

namespace dorvane::exporting {

class ExportGrid {
public:
    virtual ~ExportGrid() = default;
    // Every column, the hidden row-identifier column (always the last) included.
    virtual int columnCount() const = 0;
    virtual QString columnCaption(int column) const = 0;
    // The cell of `column` in the current row as the grid displays it; NULL displays as "".
    virtual QString columnText(int column) const = 0;
    // The same text in UTF-8, valid until the current row changes.
    virtual std::string_view columnUtf8(int column) const = 0;
    // The number of rows the grid holds.
    virtual std::int64_t approxCount() const = 0;
    // How many rows the grid shows at once (at least 1).
    virtual int visibleRows() const = 0;
    // Makes visible row k (0 is the top visible row) the current row. The display may follow later:
    // a walk over every row does not repaint row by row.
    virtual void setRow(int visibleRow) = 0;
    // Scrolls by whole columns and rows; the top row never passes the last row.
    virtual void scroll(int columns, int rows) = 0;
    // Scrolls back so that the first row is the top visible row.
    virtual void scrollToFirstRow() = 0;
};

}  // namespace dorvane::exporting
