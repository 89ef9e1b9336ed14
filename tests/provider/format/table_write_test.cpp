// Writing VFP tables: round trips per field type, the layout VFP expects, memo block handling, and
// the value checks that must refuse a write without touching the file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "provider/error.h"
#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

using test::date;
using test::fieldSpec;

std::vector<FieldSpec> everyType() {
    FieldSpec autoId = fieldSpec("ID", 'I');
    autoId.autoIncrement = true;
    autoId.autoIncrementNext = 5;
    autoId.autoIncrementStep = 3;
    FieldSpec raw = fieldSpec("RAW", 'C', 4);
    raw.binary = true;
    return {autoId,
            fieldSpec("NAME", 'C', 12),
            fieldSpec("NNAME", 'C', 6, 0, true),
            fieldSpec("VNAME", 'V', 10, 0, true),
            fieldSpec("VBIN", 'Q', 6),
            fieldSpec("AMOUNT", 'N', 10, 2),
            fieldSpec("RATIO", 'F', 8, 3, true),
            fieldSpec("COUNT", 'I', 0, 0, true),
            fieldSpec("REAL", 'B', 0, 4),
            fieldSpec("PRICE", 'Y', 0, 0, true),
            fieldSpec("BORN", 'D', 0, 0, true),
            fieldSpec("SEEN", 'T'),
            fieldSpec("OK", 'L', 0, 0, true),
            fieldSpec("NOTES", 'M', 0, 0, true),
            fieldSpec("PIC", 'G'),
            fieldSpec("DATA", 'W'),
            raw};
}

TEST(TableWrite, EveryTypeRoundTripsWithNullsAndEmptyValues) {
    test::TempDir dir;
    auto table = Table::create(dir / "all.dbf", everyType());
    const std::vector<std::vector<Value>> rows = {
        {std::monostate{}, std::string("Zoë Ångström"), std::string("abc"), std::string("short"),
         Blob{"\x01\x00\x02"}, 1234.5, -0.125, std::int64_t{-2147483647}, 3.25, Currency{-123456789},
         date(2024, 2, 29), DateTime{julianDayFromCivil(1999, 12, 31), 86399000}, true,
         std::string("memo text\r\nline 2"), Blob{"OLE"}, Blob{std::string("\0\xff", 2)}, Blob{"ab\x01z"}},
        {std::monostate{}, std::string(""), std::monostate{}, std::monostate{}, Blob{""}, 0.0,
         std::monostate{}, std::monostate{}, 0.0, std::monostate{}, std::monostate{}, DateTime{},
         std::monostate{}, std::monostate{}, Blob{}, Blob{}, Blob{"    "}},
        {std::monostate{}, std::string("123456789012"), std::string("full!!"), std::string("ten chars!"),
         Blob{"sixsix"}, -999999.99, 9999.999, std::int64_t{2147483647}, -1e300, Currency{0}, Date{},
         DateTime{julianDayFromCivil(2038, 1, 19), 3600000}, false, std::string(""), Blob{}, Blob{},
         Blob{"full"}},
    };
    for (const auto& row : rows) table->appendValues(row);
    table.reset();

    auto reread = Table::open(dir / "all.dbf");
    ASSERT_EQ(reread->recordCount(), rows.size());
    for (std::uint32_t r = 0; r < rows.size(); ++r) {
        const std::vector<Value> got = reread->record(r + 1);
        EXPECT_EQ(got[0], Value(std::int64_t{5 + 3 * static_cast<std::int64_t>(r)})) << "autoincrement";
        for (std::size_t f = 1; f < got.size(); ++f)
            EXPECT_EQ(got[f], rows[r][f]) << "row " << r << " field " << f;
    }
    EXPECT_EQ(reread->fields()[0].autoIncrementNext, 14);
}

// Each changed memo goes to fresh blocks at the end (the old ones stay as they were); an empty memo is 0.
TEST(TableWrite, ChangedMemosGoToFreshBlocksAtTheEnd) {
    test::TempDir dir;
    auto table = Table::create(dir / "m.dbf", {fieldSpec("NOTES", 'M')});
    table->append({{0, std::string(20, 'a')}});
    table->append({{0, std::string()}});
    const struct {
        bool update;
        std::uint32_t recno;
        std::string text;
        std::uint32_t block;  // 20 or 50 bytes take one block (the 50 would fit the old one), 200 four
    } steps[] = {{false, 1, std::string(20, 'a'), 8}, {false, 2, "", 0},
                 {true, 1, std::string(50, 'c'), 9},  {true, 1, std::string(200, 'b'), 10},
                 {true, 2, std::string(20, 'a'), 14}, {true, 1, "", 0}};
    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(step.recno) + " " + std::to_string(step.text.size()));
        if (step.update) table->update(step.recno, {{0, step.text}});
        std::uint32_t block;
        std::memcpy(&block, test::readBytes(dir / "m.dbf").data() + 296 + 32 + (step.recno - 1) * 5 + 1, 4);
        EXPECT_EQ(block, step.block);
        EXPECT_EQ(table->value(step.recno, 0), Value(step.text));
    }
    const std::string memo = test::readBytes(dir / "m.fpt");
    EXPECT_EQ(memo.size(), 15u * 64u);
    EXPECT_EQ(memo.substr(0, 8), std::string("\0\0\0\x0f\0\0\0\x40", 8));  // next free 15, block size 64, BE
}

struct RefusedWrite {
    const char* what;
    int field;
    Value value;
    FoxError error;
};

TEST(TableWrite, RefusedValuesLeaveTheFileUntouched) {
    test::TempDir dir;
    auto table = Table::create(
        dir / "w.dbf", {fieldSpec("NAME", 'C', 5), fieldSpec("AMOUNT", 'N', 6, 2), fieldSpec("COUNT", 'I'),
                        fieldSpec("OK", 'L'), fieldSpec("NOTES", 'M'), fieldSpec("VNAME", 'V', 4),
                        fieldSpec("BORN", 'D'), fieldSpec("PRICE", 'Y')});
    table->append({{0, std::string("abc")}, {4, std::string("keep")}});
    const std::vector<RefusedWrite> cases = {
        {"text longer than the field", 0, std::string("abcdef"), FoxError::StringTooLong},
        {"number too wide", 1, 1000.0, FoxError::NumericOverflow},
        {"negative number too wide", 1, -100.5, FoxError::NumericOverflow},
        {"integer out of range", 2, std::int64_t{2147483648}, FoxError::NumericOverflow},
        {"infinite number", 1, HUGE_VAL, FoxError::NumericOverflow},
        {"text into a number", 1, std::string("12"), FoxError::DataTypeMismatch},
        {"number into a logical", 3, 1.0, FoxError::DataTypeMismatch},
        {"date into text", 0, date(2020, 1, 1), FoxError::DataTypeMismatch},
        {"null into a non-nullable field", 0, std::monostate{}, FoxError::FieldNotNull},
        {"null into a non-nullable memo", 4, std::monostate{}, FoxError::FieldNotNull},
        {"text the code page cannot hold", 0, std::string("日本"), FoxError::CodePageCannotHold},
        {"memo text the code page cannot hold", 4, std::string("Ω日本"), FoxError::CodePageCannotHold},
        {"varchar too long", 5, std::string("12345"), FoxError::StringTooLong},
        {"logical into a date", 6, true, FoxError::DataTypeMismatch},
        {"currency overflow", 7, 1e300, FoxError::NumericOverflow},
    };
    const std::string dbf = test::readBytes(dir / "w.dbf");
    const std::string fpt = test::readBytes(dir / "w.fpt");
    for (const RefusedWrite& c : cases) {
        for (const bool append : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (append ? " (append)" : " (update)"));
            // A good value in another field must not be written either.
            const FieldAssignments values = {
                {c.field == 3 ? 0 : 3, c.field == 3 ? Value(std::string("x")) : Value(true)},
                {c.field, c.value}};
            EXPECT_TRUE(test::raises(c.error, [&] {
                if (append)
                    table->append(values);
                else
                    table->update(1, values);
            }));
            EXPECT_TRUE(test::readBytes(dir / "w.dbf") == dbf);
            EXPECT_TRUE(test::readBytes(dir / "w.fpt") == fpt);
        }
    }
    EXPECT_EQ(table->recordCount(), 1u);
    EXPECT_EQ(table->value(1, 4), Value(std::string("keep")));
    // The width counts bytes of the code page, not of UTF-8: five accented letters fit C(5).
    table->update(1, {{0, std::string("ééééé")}});
    EXPECT_EQ(table->value(1, 0), Value(std::string("ééééé")));
}

TEST(TableWrite, DeletionFlagIsTheOnlyByteThatChangesAndReadOnlyTablesRefuseWrites) {
    test::TempDir dir;
    auto table = Table::create(dir / "d.dbf", {fieldSpec("NAME", 'C', 5)});
    for (int i = 0; i < 3; ++i) table->append({{0, std::string(1, static_cast<char>('a' + i))}});
    const std::string before = test::readBytes(dir / "d.dbf");
    table->setDeleted(2, true);
    EXPECT_TRUE(table->isDeleted(2) && !table->isDeleted(1));
    std::string expected = before;
    expected[296 + 32 + 6] = '*';
    EXPECT_EQ(test::readBytes(dir / "d.dbf"), expected);
    table->setDeleted(2, false);
    EXPECT_EQ(test::readBytes(dir / "d.dbf"), before);
    EXPECT_THROW(table->setDeleted(4, true), ProviderError);
    EXPECT_THROW(table->value(0, 0), ProviderError);
    table.reset();
    EXPECT_THROW(Table::open(dir / "d.dbf", OpenMode::ReadOnly)->append(), ProviderError);
    EXPECT_THROW(Table::open(dir.copyFixture({"dbase_03.dbf"}), OpenMode::Shared)->setDeleted(1, true),
                 ProviderError);  // an old format
}

// Updates gathered in a write batch: reads see them at once, other writes and the end of the batch put
// them in the file, and the file ends byte for byte as record-by-record updates leave it.
TEST(TableWrite, BatchedUpdatesEndAsSingleUpdatesWould) {
    test::TempDir dir;
    auto make = [&](const std::string& name) {
        // Records across more pages than the table keeps in memory, some lying across two pages.
        auto table = Table::create(dir / name, {fieldSpec("N", 'I'), fieldSpec("NAME", 'C', 250)},
                                   {.fixedHeaderDate = date(2024, 1, 31)});
        for (int i = 0; i < 1500; ++i) table->append({{0, std::int64_t(i)}});
        return table;
    };
    auto single = make("single.dbf");
    auto batched = make("batched.dbf");
    batched->beginWriteBatch();
    for (std::uint32_t recno = 1; recno <= 1500; ++recno) {
        if (recno == 150) continue;  // a gap starts a new run
        single->update(recno, {{0, std::int64_t(recno * 7)}, {1, std::string("r") + std::to_string(recno)}});
        batched->update(recno, {{0, std::int64_t(recno * 7)}, {1, std::string("r") + std::to_string(recno)}});
        EXPECT_EQ(batched->value(recno, 0), Value(std::int64_t(recno * 7)));
    }
    for (std::uint32_t recno = 1; recno <= 1500; recno += 1 + recno % 7)
        ASSERT_EQ(batched->value(recno, 1), Value(recno == 150 ? std::string() : "r" + std::to_string(recno)))
            << recno;
    batched->setDeleted(20, true);  // writes the gathered records first
    single->setDeleted(20, true);
    batched->update(299, {{1, std::string("last")}});
    single->update(299, {{1, std::string("last")}});
    batched->endWriteBatch();
    EXPECT_EQ(test::readBytes(dir / "batched.dbf"), test::readBytes(dir / "single.dbf"));
}

}  // namespace
}  // namespace dorvane::provider
