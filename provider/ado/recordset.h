// The ADO-like Recordset: rows of a SELECT or a schema query, read forward (EOF, MoveNext, Fields) or by
// row position through its RowSource, which is what the editor's grid binds to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
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

// Rows read lazily by position: a grid over a million records asks only for the rows it shows.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual int columnCount() const = 0;
    virtual const ColumnInfo& column(int index) const = 0;
    virtual std::int64_t rowCount() const = 0;
    // Value of one cell; raises ProviderError when the row cannot be read (a damaged memo, say).
    virtual Value value(std::int64_t row, int column) const = 0;
};

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
