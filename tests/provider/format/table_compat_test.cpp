// Tables the engine writes, read back by two independent implementations (python3-dbfread and
// python3-dbf) value for value: proof that the files are real FoxPro tables, not only our round trip.
#include <gtest/gtest.h>

#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

using test::date;
using test::fieldSpec;

std::vector<std::string> engineDump(Table& table) {
    std::vector<std::string> lines;
    for (std::uint32_t r = 1; r <= table.recordCount(); ++r) {
        std::string line = table.isDeleted(r) ? "*" : " ";
        for (const Value& v : table.record(r)) line += "\x1f" + test::canonical(v);
        lines.push_back(test::escapeLine(line));
    }
    return lines;
}

// Fields both readers understand (python3-dbf reads 0x30 tables: no V/Q/W, no autoincrement).
// python3-dbf numbers null bits by field position, not as VFP allocates them, so `nullable` is off
// for the table it reads; dbfread (with the _NullFlags decoding in dump_table.py) covers nulls.
std::vector<FieldSpec> commonFields(bool nullable = true) {
    return {fieldSpec("NAME", 'C', 20),
            fieldSpec("AMOUNT", 'N', 12, 3, nullable),
            fieldSpec("RATE", 'F', 9, 2),
            fieldSpec("COUNT", 'I', 0, 0, nullable),
            fieldSpec("PRICE", 'Y'),
            fieldSpec("REAL", 'B', 0, 2),
            fieldSpec("BORN", 'D', 0, 0, nullable),
            fieldSpec("SEEN", 'T', 0, 0, nullable),
            fieldSpec("OK", 'L'),
            fieldSpec("NOTES", 'M', 0, 0, nullable)};
}

std::vector<std::vector<Value>> commonRows(bool nulls = true) {
    if (!nulls)
        return {{std::string("Crème brûlée"), 1234.567, -12.5, std::int64_t{42}, Currency{123456}, 2.75,
                 date(1999, 12, 31), DateTime{julianDayFromCivil(2020, 2, 29), 45296000}, true,
                 std::string("line one\r\nline two")},
                {std::string(""), 0.0, 0.0, std::int64_t{0}, Currency{-50000}, -1e10, Date{}, DateTime{},
                 false, std::string("")}};
    return {
        {std::string("Crème brûlée"), 1234.567, -12.5, std::int64_t{42}, Currency{123456}, 2.75,
         date(1999, 12, 31), DateTime{julianDayFromCivil(2020, 2, 29), 45296000}, true,
         std::string("line one\r\nline two")},
        {std::string(""), std::monostate{}, 0.0, std::monostate{}, Currency{-50000}, -1e10, std::monostate{},
         std::monostate{}, false, std::monostate{}},
        {std::string("twenty characters!!!"), -99999.999, 999999.99, std::int64_t{-2147483647}, Currency{0},
         0.0, date(1900, 1, 1), DateTime{julianDayFromCivil(1970, 1, 1), 0}, true, std::string(300, 'z')},
    };
}

TEST(TableCompat, DbfreadAndPythonDbfReadAVfpTableTheEngineWrote) {
    test::TempDir dir;
    auto table = Table::create(dir / "plain.dbf", commonFields(false));
    for (const auto& row : commonRows(false)) table->appendValues(row);
    table->setDeleted(2, true);
    const std::vector<std::string> engine = engineDump(*table);
    table.reset();
    EXPECT_EQ(test::dumpWithDbfread(dir / "plain.dbf", 1252), engine);
    EXPECT_EQ(test::dumpWithPythonDbf(dir / "plain.dbf"), engine);
}

// Nulls (of fixed types, memos and varchars), a deleted record and an autoincrement field.
TEST(TableCompat, DbfreadReadsNullsVarcharAndAutoIncrementTheEngineWrote) {
    test::TempDir dir;
    std::vector<FieldSpec> fields = commonFields();
    FieldSpec id = fieldSpec("ID", 'I');
    id.autoIncrement = true;
    fields.insert(fields.begin(), id);
    fields.push_back(fieldSpec("CODE", 'V', 12, 0, true));
    auto table = Table::create(dir / "vfp9.dbf", fields);
    const std::vector<Value> codes = {std::string("var"), std::monostate{}, std::string("full width!!")};
    int i = 0;
    for (auto row : commonRows()) {
        row.insert(row.begin(), std::monostate{});
        row.push_back(codes[static_cast<std::size_t>(i++)]);
        table->appendValues(row);
    }
    table->setDeleted(2, true);
    const std::vector<std::string> engine = engineDump(*table);
    table.reset();
    EXPECT_EQ(test::dumpWithDbfread(dir / "vfp9.dbf", 1252), engine);  // dbfread knows no Q fields
}

}  // namespace
}  // namespace dorvane::provider
