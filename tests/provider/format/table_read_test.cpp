// Reading the real FoxPro and dBASE fixtures: structure against their summaries, every value against
// an independent reader (dbfread), and spot values the format facts pin down.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

using test::fixturePath;

struct SummaryField {
    std::string name;
    char type;
    int width;
    int decimals;
};

struct Summary {
    std::uint32_t records = 0;
    std::vector<SummaryField> fields;
};

Summary readSummary(const std::string& name) {
    std::ifstream in(fixturePath(name));
    Summary summary;
    bool inFields = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Records:", 0) == 0)
            summary.records = static_cast<std::uint32_t>(std::stoul(line.substr(8)));
        if (line.rfind("-----", 0) == 0) {
            inFields = true;
            continue;
        }
        if (!inFields || line.find_first_not_of(' ') == std::string::npos) continue;
        std::istringstream cells(line);
        SummaryField f;
        std::string type;
        cells >> f.name >> type >> f.width >> f.decimals;
        f.type = type[0];
        summary.fields.push_back(f);
    }
    return summary;
}

struct FixtureCase {
    const char* table;
    const char* summary;
    int dbfreadMisreads;  // a field dbfread reads wrongly, or -1 (it reads dBASE IV memos past their length)
};

class FixtureTest : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureTest, StructureMatchesSummaryAndValuesMatchDbfread) {
    const FixtureCase& c = GetParam();
    auto table = Table::open(fixturePath(c.table));
    if (c.summary[0]) {
        const Summary summary = readSummary(c.summary);
        EXPECT_EQ(table->recordCount(), summary.records);
        // The summary also lists _NullFlags, which the engine hides from fields().
        std::vector<Field> all = table->header().fields;
        ASSERT_EQ(all.size(), summary.fields.size());
        for (std::size_t i = 0; i < all.size(); ++i) {
            SCOPED_TRACE(summary.fields[i].name);
            EXPECT_EQ(all[i].name, summary.fields[i].name);
            EXPECT_EQ(all[i].type, summary.fields[i].type);
            EXPECT_EQ(all[i].width, summary.fields[i].width);
            EXPECT_EQ(all[i].decimals, summary.fields[i].decimals);
        }
    }
    const int codePage = table->codePage() ? table->codePage()->number() : 1252;
    const std::vector<std::string> expected = test::dumpWithDbfread(fixturePath(c.table), codePage);
    ASSERT_EQ(expected.size(), table->recordCount()) << (expected.empty() ? "" : expected.front());
    std::vector<Value> values;
    for (std::uint32_t recno = 1; recno <= table->recordCount(); ++recno) {
        table->readRecord(recno, values);
        std::string line = table->isDeleted(recno) ? "*" : " ";
        std::string theirs;
        int cell = 0;
        for (std::size_t at = 0, next; at != std::string::npos;
             at = next == std::string::npos ? next : next + 1, ++cell) {
            next = expected[recno - 1].find('\x1f', at);
            if (cell > 0) theirs += "\x1f";
            theirs += c.dbfreadMisreads >= 0 && cell - 1 == c.dbfreadMisreads
                          ? "~"
                          : expected[recno - 1].substr(at, next - at);
        }
        for (std::size_t i = 0; i < values.size(); ++i)
            line += "\x1f" + (static_cast<int>(i) == c.dbfreadMisreads ? "~" : test::canonical(values[i]));
        // Bytes the code page leaves undefined decode to C1 controls here and to U+FFFD in Python.
        for (std::size_t at = line.find('\xC2'); at != std::string::npos; at = line.find('\xC2', at + 1))
            if (at + 1 < line.size() && static_cast<unsigned char>(line[at + 1]) < 0xA0)
                line.replace(at, 2, "\xEF\xBF\xBD");
        EXPECT_EQ(test::escapeLine(line), theirs) << c.table << " record " << recno;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureTest,
                         ::testing::Values(FixtureCase{"dbase_03.dbf", "dbase_03_summary.txt", -1},
                                           FixtureCase{"dbase_30.dbf", "dbase_30_summary.txt", -1},
                                           FixtureCase{"dbase_31.dbf", "dbase_31_summary.txt", -1},
                                           FixtureCase{"dbase_32.dbf", "dbase_32_summary.txt", -1},
                                           FixtureCase{"dbase_83.dbf", "dbase_83_summary.txt", -1},
                                           FixtureCase{"dbase_8b.dbf", "dbase_8b_summary.txt", 5},
                                           FixtureCase{"dbase_f5.dbf", "dbase_f5_summary.txt", -1},
                                           FixtureCase{"cp1251.dbf", "cp1251_summary.txt", -1},
                                           FixtureCase{"foxprodb/calls.dbf", "", -1},
                                           FixtureCase{"foxprodb/contacts.dbf", "", -1},
                                           FixtureCase{"foxprodb/setup.dbf", "", -1},
                                           FixtureCase{"foxprodb/types.dbf", "", -1}),
                         [](const auto& info) {
                             std::string name = std::filesystem::path(info.param.table).stem().string();
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(FixtureSpotValues, StructuralIndexAndContainerMakeTablesReadOnly) {
    test::TempDir dir;
    const auto cases = {std::vector<std::string>{"dbase_30.dbf", "dbase_30.fpt"},
                        std::vector<std::string>{"foxprodb/FOXPRO-DB-TEST.DBC", "foxprodb/FOXPRO-DB-TEST.DCT",
                                                 "foxprodb/FOXPRO-DB-TEST.DCX"}};
    for (const auto& files : cases) {
        const auto path = dir.copyFixture(files);
        const std::string before = test::readBytes(path);
        auto table = Table::open(path, OpenMode::Exclusive);
        const std::vector<std::function<void()>> writes = {
            [&] { table->append(); },
            [&] {
                table->update(1, {{0, table->value(1, 0)}});
            },
            [&] { table->setDeleted(1, true); }, [&] { table->addField({.name = "EXTRA", .type = 'L'}); }};
        for (const auto& write : writes)
            EXPECT_TRUE(test::raises(FoxError::IndexNotMaintained, write,
                                     path.extension() == ".dbf" ? "dbase_30.cdx" : "FOXPRO-DB-TEST.DCX"));
        table.reset();
        EXPECT_EQ(test::readBytes(path), before);
    }
}

// A VFP 9 table the engine wrote (nulls of fixed types, memos and varchars, a deleted record, an
// autoincrement field), read back by dbfread with the _NullFlags decoding of dump_table.py, value for
// value. (compat_independent_test.cpp has python3-dbf, dbfread and GDAL read the other field types.)
TEST(TableCompat, DbfreadReadsNullsVarcharAndAutoIncrementTheEngineWrote) {
    test::TempDir dir;
    FieldSpec id = test::fieldSpec("ID", 'I');
    id.autoIncrement = true;
    auto table = Table::create(
        dir / "vfp9.dbf", {id, test::fieldSpec("NAME", 'C', 20), test::fieldSpec("AMOUNT", 'N', 12, 3, true),
                           test::fieldSpec("RATE", 'F', 9, 2), test::fieldSpec("COUNT", 'I', 0, 0, true),
                           test::fieldSpec("PRICE", 'Y'), test::fieldSpec("REAL", 'B', 0, 2),
                           test::fieldSpec("BORN", 'D', 0, 0, true), test::fieldSpec("SEEN", 'T', 0, 0, true),
                           test::fieldSpec("OK", 'L'), test::fieldSpec("NOTES", 'M', 0, 0, true),
                           test::fieldSpec("CODE", 'V', 12, 0, true)});
    const Value null;
    const std::vector<std::vector<Value>> rows = {
        {null, std::string("Crème brûlée"), 1234.567, -12.5, std::int64_t{42}, Currency{123456}, 2.75,
         test::date(1999, 12, 31), DateTime{julianDayFromCivil(2020, 2, 29), 45296000}, true,
         std::string("line one\r\nline two"), std::string("var")},
        {null, std::string(""), null, 0.0, null, Currency{-50000}, -1e10, null, null, false, null, null},
        {null, std::string("twenty characters!!!"), -99999.999, 999999.99, std::int64_t{-2147483647},
         Currency{0}, 0.0, test::date(1900, 1, 1), DateTime{julianDayFromCivil(1970, 1, 1), 0}, true,
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
