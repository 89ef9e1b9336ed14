// An in-memory table for the SQL tests: field definitions, one current record, its recno and mark.
#pragma once

#include <string>
#include <vector>

#include "provider/sql/row_context.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql::test {

struct TestField {
    std::string name;
    char type;
    int width;
    int decimals;
    Value value;
};

class MemoryTable : public FieldCatalog, public RowContext {
public:
    explicit MemoryTable(std::vector<TestField> fields, std::string alias = "t")
        : m_fields(std::move(fields)), m_alias(std::move(alias)) {}

    std::optional<int> fieldIndex(std::string_view name) const override {
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            if (equalsIgnoreCase(m_fields[i].name, name)) return static_cast<int>(i);
        return std::nullopt;
    }
    char fieldType(int i) const override { return m_fields[i].type; }
    int fieldWidth(int i) const override { return m_fields[i].width; }
    int fieldDecimals(int i) const override { return m_fields[i].decimals; }
    std::string_view alias() const override { return m_alias; }
    const std::string& fieldName(int i) const { return m_fields[i].name; }

    Value field(int i) const override {
        ++reads;
        return m_fields[i].value;
    }
    std::int64_t recno() const override { return m_recno; }
    bool deleted() const override { return m_deleted; }

    void set(std::string_view name, Value v) { m_fields[*fieldIndex(name)].value = std::move(v); }
    void setRecord(std::int64_t recno, bool deleted) {
        m_recno = recno;
        m_deleted = deleted;
    }

    mutable int reads = 0;

private:
    std::vector<TestField> m_fields;
    std::string m_alias;
    std::int64_t m_recno = 7;
    bool m_deleted = false;
};

// The record the expression cases run against (sql_cases.txt describes it).
inline MemoryTable sampleRecord() {
    return MemoryTable({
        {"name", 'C', 10, 0, std::string("Smith     ")},
        {"city", 'C', 12, 0, std::string("Z\xC3\xBCrich      ")},
        {"qty", 'N', 5, 0, 12.0},
        {"price", 'N', 8, 2, 3.5},
        {"id", 'I', 4, 0, std::int64_t{3}},
        {"born", 'D', 8, 0, Date{julianDayFromCivil(2024, 1, 31)}},
        {"stamp", 'T', 8, 0, DateTime{julianDayFromCivil(2024, 1, 31), (14 * 60 + 5) * 60000}},
        {"paid", 'L', 1, 0, true},
        {"note", 'M', 4, 0, Value{}},
        {"cash", 'Y', 8, 4, Currency{125000}},
        {"tempidxxx", 'I', 4, 0, std::int64_t{12}},
        {"bin", 'W', 4, 0, Blob{"\x01"}},
    });
}

}  // namespace dorvane::provider::sql::test
