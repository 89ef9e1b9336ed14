// A VFP 9 table the engine wrote (nulls of fixed types, memos and varchars, a deleted record, an
// autoincrement field), read back by dbfread with the _NullFlags decoding of dump_table.py, value for
// value. (compat_independent_test.cpp has python3-dbf, dbfread and GDAL read the other field types.)
#include <gtest/gtest.h>

#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

using test::date;
using test::fieldSpec;

TEST(TableCompat, DbfreadReadsNullsVarcharAndAutoIncrementTheEngineWrote) {
    test::TempDir dir;
    FieldSpec id = fieldSpec("ID", 'I');
    id.autoIncrement = true;
    auto table = Table::create(
        dir / "vfp9.dbf",
        {id, fieldSpec("NAME", 'C', 20), fieldSpec("AMOUNT", 'N', 12, 3, true), fieldSpec("RATE", 'F', 9, 2),
         fieldSpec("COUNT", 'I', 0, 0, true), fieldSpec("PRICE", 'Y'), fieldSpec("REAL", 'B', 0, 2),
         fieldSpec("BORN", 'D', 0, 0, true), fieldSpec("SEEN", 'T', 0, 0, true), fieldSpec("OK", 'L'),
         fieldSpec("NOTES", 'M', 0, 0, true), fieldSpec("CODE", 'V', 12, 0, true)});
    const Value null;
    const std::vector<std::vector<Value>> rows = {
        {null, std::string("Crème brûlée"), 1234.567, -12.5, std::int64_t{42}, Currency{123456}, 2.75,
         date(1999, 12, 31), DateTime{julianDayFromCivil(2020, 2, 29), 45296000}, true,
         std::string("line one\r\nline two"), std::string("var")},
        {null, std::string(""), null, 0.0, null, Currency{-50000}, -1e10, null, null, false, null, null},
        {null, std::string("twenty characters!!!"), -99999.999, 999999.99, std::int64_t{-2147483647},
         Currency{0}, 0.0, date(1900, 1, 1), DateTime{julianDayFromCivil(1970, 1, 1), 0}, true,
         std::string(300, 'z'), std::string("full width!!")},
    };
    for (const auto& row : rows) table->appendValues(row);
    table->setDeleted(2, true);
    std::vector<std::string> engine;
    for (std::uint32_t r = 1; r <= table->recordCount(); ++r) {
        std::string line = table->isDeleted(r) ? "*" : " ";
        for (const Value& v : table->record(r)) line += "\x1f" + test::canonical(v);
        engine.push_back(test::escapeLine(line));
    }
    table.reset();
    EXPECT_EQ(test::dumpWithDbfread(dir / "vfp9.dbf", 1252), engine);
}

}  // namespace
}  // namespace dorvane::provider
