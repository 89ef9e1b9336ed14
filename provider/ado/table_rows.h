// Adapters between an open table and the rest of the provider: the evaluator's view of its fields and
// current record, and the lazily read rows a recordset hands to the grid.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "provider/ado/recordset.h"
#include "provider/format/table.h"
#include "provider/indexing/record_row.h"
#include "provider/sql/evaluator.h"
#include "provider/sql/row_context.h"

namespace dorvane::provider {

// The evaluator's view of a table's fields (short or long names, any case).
using TableFieldCatalog = indexing::TableCatalog;

// One record of a table as the evaluator reads it; values are read only when an expression asks.
class TableRowContext final : public sql::RowContext {
public:
    explicit TableRowContext(Table& table) : m_table(table) {}
    void moveTo(std::uint32_t recno) { m_recno = recno; }
    // Character fields come padded with blanks to their width, as FoxPro's expressions see them.
    Value field(int index) const override {
        return indexing::paddedToWidth(m_table.value(m_recno, index), m_table.fields()[size_t(index)]);
    }
    std::int64_t recno() const override { return m_recno; }
    bool deleted() const override { return m_table.isDeleted(m_recno); }

private:
    Table& m_table;
    std::uint32_t m_recno = 1;
};

// Column description of a table field.
ColumnInfo columnOf(const Field& field);

// Which records a result shows: every record not marked deleted, found through a sorted list of the
// deleted ones (so a table of a million records costs nothing to open), or an explicit list.
class RecordMap {
public:
    // All records 1..count except `deleted` (ascending).
    static RecordMap allBut(std::uint32_t count, std::vector<std::uint32_t> deleted);
    static RecordMap listed(std::vector<std::uint32_t> recnos);
    std::int64_t size() const;
    std::uint32_t recnoAt(std::int64_t row) const;

private:
    bool m_listed = false;
    std::uint32_t m_count = 0;
    std::vector<std::uint32_t> m_recnos;  // listed records, or the deleted ones
};

// Rows of a SELECT over one table: whole fields (SELECT *) or computed columns, read on demand.
class TableRowSource final : public RowSource {
public:
    TableRowSource(std::shared_ptr<Table> table, RecordMap records);
    // Chosen columns: column i is field fields[i], or, where that is -1, the compiled expressions[i].
    TableRowSource(std::shared_ptr<Table> table, RecordMap records, std::vector<ColumnInfo> columns,
                   std::vector<int> fields, std::vector<sql::CompiledExpr> expressions);
    int columnCount() const override { return int(m_columns.size()); }
    const ColumnInfo& column(int index) const override { return m_columns.at(index); }
    std::int64_t rowCount() const override { return m_records.size(); }
    Value value(std::int64_t row, int column) const override;
    // Reads the record once for all its cells.
    void rowTexts(std::int64_t row, TextForm form, RowTexts& out) const override;

private:
    // How rowTexts() makes a cell's text: most field types straight from the record's bytes, the
    // others (memos, nullable fields, ...) from the field's decoded value.
    enum class CellSource : char { Value, Text, Integer, Logical, Date, Number };
    Value valueAt(std::int64_t row, int column) const;
    mutable std::vector<Value> m_record;  // the decoded fields of the record last read, reused
    std::vector<CellSource> m_sources;
    std::vector<char> m_decoded;  // per field: whether rowTexts() needs its value
    std::vector<int> m_nullBits;  // per field: its bit in the record's null flags, or -1
    std::uint32_t m_nullFlagsOffset = 0;
    int m_nullFlagsWidth = 0;
    std::shared_ptr<Table> m_table;
    RecordMap m_records;
    std::vector<ColumnInfo> m_columns;
    std::vector<int> m_fields;  // empty: column i is field i
    std::vector<sql::CompiledExpr> m_expressions;
    mutable TableRowContext m_row;
};

}  // namespace dorvane::provider
