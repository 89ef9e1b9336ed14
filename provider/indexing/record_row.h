// The table seen by index expressions: field names for compiling (TableCatalog) and one record held
// in memory for evaluating (RecordRow), so keys can be built from values before they reach the disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "provider/format/table.h"
#include "provider/sql/row_context.h"

namespace dorvane::provider::indexing {

// Field names (short or container long names, any case), types and widths of a table.
class TableCatalog final : public sql::FieldCatalog {
public:
    explicit TableCatalog(const Table& table) : m_table(table) {}
    std::optional<int> fieldIndex(std::string_view name) const override;
    char fieldType(int index) const override { return m_table.fields().at(index).type; }
    int fieldWidth(int index) const override { return m_table.fields().at(index).width; }
    int fieldDecimals(int index) const override { return m_table.fields().at(index).decimals; }

private:
    const Table& m_table;
};

// A character field's text padded with blanks to the field's width, as FoxPro's expressions see it;
// other values as they are.
Value paddedToWidth(Value value, const Field& field);

// One record given as a value per visible field. C fields read back padded with blanks to their
// width, as FoxPro stores them (key expressions such as A+B depend on it).
class RecordRow final : public sql::RowContext {
public:
    explicit RecordRow(const std::vector<Field>& fields) : m_fields(fields) {}
    void set(const std::vector<Value>* values, std::uint32_t recno, bool deleted) {
        m_values = values;
        m_recno = recno;
        m_deleted = deleted;
    }
    Value field(int index) const override;
    std::int64_t recno() const override { return m_recno; }
    bool deleted() const override { return m_deleted; }

private:
    const std::vector<Field>& m_fields;
    const std::vector<Value>* m_values = nullptr;
    std::uint32_t m_recno = 0;
    bool m_deleted = false;
};

}  // namespace dorvane::provider::indexing
