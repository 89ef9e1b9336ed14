// Compatibility with independent implementations: tables python3-dbf writes are read by the engine
// value for value, and tables the engine writes are read back by python3-dbf, python3-dbfread and
// GDAL (ogrinfo). (dbfread reading the real fixtures is FixtureTest, in table_read_test.cpp.) The Python side
// lives in compat_tables.py; both sides print values in one canonical form ("row|FIELD|value") so they
// compare as text.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "provider/error.h"
#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

namespace fs = std::filesystem;
using Lines = std::map<std::string, std::string>;  // "row|FIELD" -> canonical value

const std::string kScript = std::string(DORVANE_SOURCE_DIR) + "/tests/provider/format/compat_tables.py";

// The engine's value in the canonical form compat_tables.py prints, built on the support header's form.
std::string canonical(const Value& value) {
    if (isNull(value)) return "NULL";
    if (auto f = std::get_if<bool>(&value)) return *f ? "L:T" : "L:F";
    if (auto s = std::get_if<std::string>(&value))
        return "S:" + test::canonical(Blob{s->substr(0, s->find_last_not_of(' ') + 1)}).substr(2);
    const std::string text = test::canonical(value);
    if (std::holds_alternative<Blob>(value)) return "B:" + text.substr(2);
    const bool date = std::holds_alternative<Date>(value);
    if (date || std::holds_alternative<DateTime>(value)) {
        std::string digits;
        for (char c : text == "NULL" ? std::string() : text)
            if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
        return (date ? "D:" : "T:") + digits;
    }
    const auto* c = std::get_if<Currency>(&value);
    const auto* i = std::get_if<std::int64_t>(&value);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.10g",
                  c   ? static_cast<double>(c->scaled) / 10000.0
                  : i ? static_cast<double>(*i)
                      : std::get<double>(value));
    return std::string("N:") + buffer;
}

// Runs the helper script; its standard output (a test failure when it exits with an error).
std::string runScript(const std::string& arguments) {
    const std::string output =
        test::runCommand("/usr/bin/python3 " + kScript + " " + arguments + " 2>&1 || echo FAILED");
    EXPECT_EQ(output.find("FAILED\n"), std::string::npos) << arguments << "\n" << output.substr(0, 2000);
    return output;
}

// Parses "row|FIELD|value" lines; "#table|name" starts the section of `name` (stored with that prefix).
std::map<std::string, Lines> parseSections(const std::string& output) {
    std::map<std::string, Lines> sections;
    std::string current;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("#table|", 0) == 0) {
            current = line.substr(7);
            continue;
        }
        const auto bar = line.rfind('|');
        if (bar != std::string::npos) sections[current][line.substr(0, bar)] = line.substr(bar + 1);
    }
    return sections;
}

class CompatTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
};

// --- Tables written by python3-dbf, read by the engine -----------------------------------------

TEST_F(CompatTest, EngineReadsTablesPythonDbfWrote) {
    const auto sections = parseSections(runScript("write " + m_dir.path().string()));
    ASSERT_EQ(sections.size(), 3u);
    for (const auto& [fileName, expected] : sections) {
        SCOPED_TRACE(fileName);
        auto table = Table::open(m_dir / fileName);
        std::size_t compared = 0;
        for (const auto& [key, value] : expected) {
            const auto bar = key.find('|');
            const std::uint32_t recno = static_cast<std::uint32_t>(std::stoul(key.substr(0, bar))) + 1;
            const int field = table->fieldIndex(key.substr(bar + 1));
            ASSERT_GE(field, 0) << key;
            EXPECT_EQ(canonical(table->value(recno, field)), value) << key;
            ++compared;
        }
        EXPECT_EQ(compared, expected.size());
        EXPECT_GT(table->recordCount(), 1u);
    }
}

// --- Tables written by the engine, read by python3-dbf, dbfread and GDAL -----------------------

using test::fieldSpec;

Value stamp(int y, int mo, int d, int h, int mi, int s) {
    return DateTime{julianDayFromCivil(y, mo, d), ((h * 60 + mi) * 60 + s) * 1000};
}

struct EngineTable {
    const char* fileName;
    std::uint8_t codePageMark;
    std::vector<FieldSpec> fields;
    std::vector<std::vector<Value>> rows;
};

std::vector<EngineTable> engineTables() {
    const Value null;
    return {
        // Every field nullable: python3-dbf numbers null bits by field position, which agrees with
        // FoxPro's numbering only then.
        {"eng_types.dbf",
         0x03,
         {fieldSpec("NAME", 'C', 20, 0, true), fieldSpec("AMOUNT", 'Y', 0, 0, true),
          fieldSpec("RATIO", 'B', 0, 2, true), fieldSpec("PRICE", 'N', 10, 2, true),
          fieldSpec("QTY", 'F', 8, 3, true), fieldSpec("CNT", 'I', 0, 0, true),
          fieldSpec("FLAG", 'L', 0, 0, true), fieldSpec("BORN", 'D', 0, 0, true),
          fieldSpec("STAMP", 'T', 0, 0, true), fieldSpec("NOTES", 'M', 0, 0, true),
          fieldSpec("PIC", 'G', 0, 0, true)},
         {{std::string("Crème brûlée €"), Currency{123456}, 1.5, 123.45, 7.125, std::int64_t{-42}, true,
           test::date(2020, 2, 29), stamp(2021, 12, 31, 23, 59, 58), std::string(2000, 'x') + " end",
           Blob{std::string("\x00\x01\xff", 3)}},
          {null, null, null, null, null, null, null, null, null, null, null},
          {std::string("Zoë"), Currency{-9223372036854775807LL}, -0.25, -99999.99, 0.5,
           std::int64_t{2147483647}, false, test::date(1899, 12, 31), stamp(1970, 1, 1, 0, 0, 1),
           std::string("a\r\nb\tc"), null}}},
        {"eng_plain.dbf",
         0x03,
         {fieldSpec("CODE", 'C', 10), fieldSpec("QTY", 'N', 8, 0), fieldSpec("PRICE", 'N', 10, 2),
          fieldSpec("FLAG", 'L'), fieldSpec("BORN", 'D'), fieldSpec("NOTES", 'M')},
         {{std::string("AB"), 12345.0, 0.5, true, test::date(2000, 1, 1), std::string("memo one")},
          {std::string("ÀÉÎÕÜ ÿ"), -9999999.0, -12345.67, false, test::date(1999, 12, 31),
           std::string(600, 'y')},
          {std::string("x"), 0.0, 99999.99, true, test::date(2038, 1, 19), std::string("")}}},
        {"eng_1251.dbf",
         0xC9,
         {fieldSpec("NAME", 'C', 30), fieldSpec("NOTES", 'M')},
         {{std::string("Привет, мир"), std::string("Съешь же ещё этих мягких французских булок")},
          {std::string("ЁЖЗ ёжз"), std::string("Ъ")}}},
    };
}

// What a reader should print for `value` of a field of `type`, or nullopt when that reader cannot
// know the value: dbfread ignores _NullFlags and reads an empty memo (block 0) as None; GDAL reads
// only C, N, F, D and L, without null flags (L as text, blank text as null).
std::optional<std::string> expectedFor(const std::string& reader, char type, const Value& value) {
    if (reader == "dbfread") {
        if (isNull(value)) return std::nullopt;
        if (type == 'M' && std::get<std::string>(value).empty()) return "NULL";
    }
    if (reader == "ogr") {
        if (std::string("CNFDL").find(type) == std::string::npos) return std::nullopt;
        if (type == 'L' && isNull(value)) return std::nullopt;
        if (auto f = std::get_if<bool>(&value)) return *f ? "S:54" : "S:46";
        if (auto s = std::get_if<std::string>(&value); s && s->find_first_not_of(' ') == std::string::npos)
            return "NULL";
    }
    return canonical(value);
}

TEST_F(CompatTest, IndependentReadersReadTablesTheEngineWrote) {
    for (const EngineTable& t : engineTables()) {
        SCOPED_TRACE(t.fileName);
        const fs::path path = m_dir / t.fileName;
        {
            CreateOptions options;
            options.codePageMark = t.codePageMark;
            auto table = Table::create(path, t.fields, options);
            for (const auto& row : t.rows) table->appendValues(row);
        }
        for (const std::string reader : {"dbf", "dbfread", "ogr"}) {
            SCOPED_TRACE(reader);
            const Lines got = parseSections(runScript("read " + reader + " " + path.string()))[""];
            std::size_t compared = 0;
            for (std::size_t r = 0; r < t.rows.size(); ++r) {
                for (std::size_t f = 0; f < t.fields.size(); ++f) {
                    const auto expected = expectedFor(reader, t.fields[f].type, t.rows[r][f]);
                    if (!expected) continue;
                    const std::string key = std::to_string(r) + "|" + t.fields[f].name;
                    const auto found = got.find(key);
                    ASSERT_NE(found, got.end()) << key << " missing";
                    EXPECT_EQ(found->second, *expected) << key;
                    ++compared;
                }
            }
            EXPECT_GE(compared, t.rows.size()) << "too little compared";
            EXPECT_EQ(got.count(std::to_string(t.rows.size()) + "|" + t.fields[0].name), 0u)
                << "extra record";
        }
    }
}

}  // namespace
}  // namespace dorvane::provider
