// The ADO-like Recordset: rows of a SELECT or a schema query, read forward (EOF, MoveNext, Fields) or by
// row position through its RowSource, which is what the editor's grid binds to.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "provider/value.h"

namespace dorvane::provider {

class Connection;

// FoxPro field types as their one-letter codes ('C', 'N', 'I', 'D', 'T', 'L', 'M', ...).
struct ColumnInfo {
    std::string name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
    bool nullable = false;
};

// How a row's values become text: as sql::appendForGrid writes them (what scripts print), or as a grid
// cell shows them (sql::appendCellText).
enum class TextForm { Value, Cell };

// The texts of one row's cells in UTF-8, one after another in one buffer that is reused row after row.
class RowTexts {
public:
    // The text of `column`; raises what kept that cell from being read.
    std::string_view text(int column) const {
        if (!m_failures.empty()) rethrowFailure(column);
        const std::size_t begin = column == 0 ? 0 : m_ends[std::size_t(column) - 1];
        return std::string_view(m_bytes).substr(begin, m_ends[std::size_t(column)] - begin);
    }
    int columnCount() const { return int(m_ends.size()); }

    // Filling, column after column: append to bytes(), then end the cell.
    void clear() {
        m_bytes.clear();
        m_ends.clear();
        m_failures.clear();
    }
    std::string& bytes() { return m_bytes; }
    void endCell() { m_ends.push_back(m_bytes.size()); }
    void failCell(std::exception_ptr failure) {
        m_failures.emplace_back(int(m_ends.size()), std::move(failure));
        endCell();
    }

private:
    void rethrowFailure(int column) const;
    std::string m_bytes;
    std::vector<std::size_t> m_ends;
    std::vector<std::pair<int, std::exception_ptr>> m_failures;
};

// Rows read lazily by position: a grid over a million records asks only for the rows it shows.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual int columnCount() const = 0;
    virtual const ColumnInfo& column(int index) const = 0;
    virtual std::int64_t rowCount() const = 0;
    // Value of one cell; raises ProviderError when the row cannot be read (a damaged memo, say).
    virtual Value value(std::int64_t row, int column) const = 0;
    // Every cell of a row as text, in `out`. A cell that cannot be read keeps its failure, which
    // out.text() raises for that cell alone. Sources override it to read the row once for all cells.
    virtual void rowTexts(std::int64_t row, TextForm form, RowTexts& out) const;
};

// Appends the text of `value` in `form` for a cell of `column`.
void appendText(std::string& out, const Value& value, const ColumnInfo& column, TextForm form);

// Rows held in memory (schema queries, small results).
class MemoryRowSource : public RowSource {
public:
    MemoryRowSource(std::vector<ColumnInfo> columns, std::vector<std::vector<Value>> rows);
    int columnCount() const override { return int(m_columns.size()); }
    const ColumnInfo& column(int index) const override { return m_columns.at(index); }
    std::int64_t rowCount() const override { return std::int64_t(m_rows.size()); }
    Value value(std::int64_t row, int column) const override { return m_rows.at(row).at(column); }

private:
    std::vector<ColumnInfo> m_columns;
    std::vector<std::vector<Value>> m_rows;
};

class Recordset;

// One field of the current row.
class FieldRef {
public:
    FieldRef(const Recordset& owner, int index) : m_owner(owner), m_index(index) {}
    std::string name() const;
    dorvane::provider::Value Value() const;

private:
    const Recordset& m_owner;
    int m_index;
};

// The Fields collection of the current row.
class Fields {
public:
    explicit Fields(const Recordset& owner) : m_owner(owner) {}
    int count() const;
    FieldRef operator[](int index) const;
    // By field name, case-insensitive; raises ProviderError when there is no such field.
    FieldRef operator[](const std::string& name) const;

private:
    const Recordset& m_owner;
};

class Recordset {
public:
    int CursorLocation = 2;

    // Runs `select` on `connection`. Cursor type 1 (keyset) or 2 (dynamic), lock type 3 (optimistic).
    void Open(const std::string& select, Connection& connection, int cursorType = 0, int lockType = 1);
    // Opens over rows already produced (schema queries).
    void openOver(std::shared_ptr<RowSource> rows);
    // ADO's EOF (the name itself is a C library macro).
    bool Eof() const;
    void MoveNext();
    dorvane::provider::Fields Fields() const { return dorvane::provider::Fields(*this); }
    int state() const;
    void Close();
    // What the grid binds to; null while closed.
    std::shared_ptr<RowSource> DataSource() const { return m_rows; }

    std::int64_t position() const { return m_position; }

private:
    std::shared_ptr<RowSource> m_rows;
    std::int64_t m_position = 0;
};

}  // namespace dorvane::provider
