// A grid for the export tests: it shows a provider RowSource a page at a time as the editor's grid
// does, with the hidden row-identifier column last, and can be made to fail on one cell.
#pragma once

#include <QStringList>
#include <memory>
#include <stdexcept>

#include "export/export_grid.h"
#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/sql/value_text.h"

namespace dorvane::exporting::testing {

class PagingGrid final : public ExportGrid {
public:
    explicit PagingGrid(std::shared_ptr<provider::RowSource> rows, int visible = 25)
        : m_rows(std::move(rows)), m_visible(visible) {}
    int columnCount() const override { return m_rows->columnCount() + 1; }
    QString columnCaption(int c) const override {
        if (c == m_rows->columnCount()) return QStringLiteral("tempidxxx");
        return c < captions.size() ? captions[c] : QString::fromStdString(m_rows->column(c).name);
    }
    QString columnText(int c) const override {
        const std::int64_t row = m_top + m_current;
        if (row == failRow && c == failColumn) throw std::runtime_error("Unspecified error");
        if (c == m_rows->columnCount()) return QString::number(row + 1000001);  // never exported
        const provider::ColumnInfo& info = m_rows->column(c);
        return QString::fromStdString(
            provider::sql::formatForGrid(m_rows->value(row, c), info.type, info.decimals));
    }
    std::int64_t approxCount() const override { return m_rows->rowCount(); }
    int visibleRows() const override { return m_visible; }
    void setRow(int k) override {
        if (k < 0 || k >= m_visible || m_top + k >= approxCount()) throw std::out_of_range("Invalid row");
        m_current = k;
    }
    void scroll(int, int rows) override {
        m_top = std::max<std::int64_t>(0, std::min(m_top + rows, approxCount() - 1));
        m_current = 0;
    }
    void scrollToFirstRow() override { m_top = m_current = 0; }
    std::int64_t top() const { return m_top; }
    std::int64_t currentRow() const { return m_top + m_current; }

    QStringList captions;  // shown instead of the field names
    std::int64_t failRow = -1;
    int failColumn = -1;

private:
    std::shared_ptr<provider::RowSource> m_rows;
    int m_visible;
    std::int64_t m_top = 0;
    int m_current = 0;
};

}  // namespace dorvane::exporting::testing
