// Structure changes (add, rename, drop a field): records, deletion flags and memo pointers survive,
// the layout follows the new structure, FoxPro's limits are enforced, and big tables stream quickly.
#include <gtest/gtest.h>

#include <cstring>

#include "provider/error.h"
#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

using test::fieldSpec;

// Memo pointers of every record, read straight from the file.
std::vector<std::uint32_t> memoPointers(const Table& table, int field) {
    const std::string bytes = test::readBytes(table.path());
    std::vector<std::uint32_t> pointers;
    const Field& f = table.fields()[static_cast<std::size_t>(field)];
    for (std::uint32_t r = 0; r < table.recordCount(); ++r) {
        std::uint32_t p;
        std::memcpy(
            &p, bytes.data() + table.header().headerLength + r * table.header().recordLength + f.offset, 4);
        pointers.push_back(p);
    }
    return pointers;
}

std::unique_ptr<Table> mixedTable(const test::TempDir& dir) {
    auto table =
        Table::create(dir / "mix.dbf", {fieldSpec("NAME", 'C', 10), fieldSpec("NOTES", 'M', 0, 0, true),
                                        fieldSpec("CODE", 'V', 8, 0, true), fieldSpec("QTY", 'I', 0, 0, true),
                                        fieldSpec("PRICE", 'N', 8, 2)});
    for (int i = 0; i < 20; ++i) {
        FieldAssignments row = {{0, std::string("name") + std::to_string(i)}, {4, i * 1.5}};
        if (i % 3) row.push_back({1, std::string(static_cast<std::size_t>(10 * i), 'x')});
        if (i % 4) row.push_back({2, std::string("c") + std::to_string(i)});
        if (i % 5) row.push_back({3, std::int64_t{i}});
        table->append(row);
        if (i % 6 == 1) table->setDeleted(table->recordCount(), true);
    }
    return table;
}

// Every record's values and deletion flag.
std::vector<std::pair<std::vector<Value>, bool>> snapshot(Table& table) {
    std::vector<std::pair<std::vector<Value>, bool>> rows;
    for (std::uint32_t r = 1; r <= table.recordCount(); ++r)
        rows.emplace_back(table.record(r), table.isDeleted(r));
    return rows;
}

TEST(TableSchema, ChangesKeepRecordsDeletionFlagsAndMemoPointers) {
    struct Change {
        const char* name;
        std::function<void(Table&)> apply;
        int dropped;                 // the field gone from each row, or -1
        std::optional<Value> added;  // the value a new field shows in old rows
        int memoFieldAfter;
    };
    const std::vector<Change> changes = {
        {"add a nullable field", [](Table& t) { t.addField(fieldSpec("EXTRA", 'C', 3, 0, true)); }, -1,
         Value{}, 1},
        {"add a non-null field", [](Table& t) { t.addField(fieldSpec("SEEN", 'L')); }, -1, Value(false), 1},
        {"rename a field", [](Table& t) { t.renameField("code", "CODE2"); }, -1, std::nullopt, 1},
        {"drop a field before the memo", [](Table& t) { t.dropField("NAME"); }, 0, std::nullopt, 0},
        {"drop the varchar (shifts null bits)", [](Table& t) { t.dropField("CODE"); }, 2, std::nullopt, 1},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        test::TempDir dir;
        auto table = mixedTable(dir);
        const auto before = snapshot(*table);
        const auto pointers = memoPointers(*table, 1);
        const std::string fpt = test::readBytes(dir / "mix.fpt");
        change.apply(*table);
        auto check = [&](Table& t) {
            auto expected = before;
            for (auto& [row, deleted] : expected) {
                if (change.dropped >= 0) row.erase(row.begin() + change.dropped);
                if (change.added) row.push_back(*change.added);
            }
            EXPECT_EQ(snapshot(t), expected);
            EXPECT_EQ(memoPointers(t, change.memoFieldAfter), pointers);
        };
        check(*table);  // the open table follows the change
        table.reset();
        table = Table::open(dir / "mix.dbf", OpenMode::Exclusive);
        check(*table);  // and so does the file
        EXPECT_TRUE(test::readBytes(dir / "mix.fpt") == fpt) << "memo file rewritten";
        const std::string dbf = test::readBytes(dir / "mix.dbf");
        EXPECT_EQ(dbf.size(), table->header().headerLength + 20u * table->header().recordLength + 1);
        EXPECT_EQ(dbf.back(), '\x1a');
        EXPECT_FALSE(std::filesystem::exists(dir / ".mix.dbf.rebuild"));
        table->append({{table->fieldIndex("PRICE"), 7.0}});  // still writable afterwards
    }
}

TEST(TableSchema, AddingMemoOrAutoIncrementFieldsSetsUpWhatTheyNeed) {
    test::TempDir dir;
    auto table = Table::create(dir / "plain.dbf", {fieldSpec("NAME", 'C', 4)});
    for (int i = 0; i < 3; ++i) table->append({{0, std::string("n") + std::to_string(i)}});
    table->setDeleted(2, true);
    EXPECT_FALSE(std::filesystem::exists(dir / "plain.fpt"));
    table->addField(fieldSpec("NOTES", 'M'));
    EXPECT_TRUE(std::filesystem::exists(dir / "plain.fpt"));
    EXPECT_EQ(table->header().tableFlags & kTableFlagMemo, kTableFlagMemo);
    table->update(1, {{1, std::string("now with memo")}});
    EXPECT_EQ(table->value(1, 1), Value(std::string("now with memo")));

    FieldSpec id = fieldSpec("ID", 'I');
    id.autoIncrement = true;
    table->addField(id);
    EXPECT_EQ(table->header().version, kVersionVfpAutoInc);
    EXPECT_EQ(table->value(1, 2), Value(std::int64_t{1}));
    EXPECT_EQ(table->value(3, 2), Value(std::int64_t{3}));
    EXPECT_TRUE(table->isDeleted(2));
    table->append();
    EXPECT_EQ(table->value(4, 2), Value(std::int64_t{4}));
    table->dropField("NOTES");
    EXPECT_EQ(table->header().tableFlags & kTableFlagMemo, 0);
}

TEST(TableSchema, LimitsAndBadNamesAreRefusedWithoutChangingTheFile) {
    test::TempDir dir;
    auto table = Table::create(dir / "lim.dbf", {fieldSpec("NAME", 'C', 250), fieldSpec("OTHER", 'C', 5)});
    table->append({{0, std::string("a")}});
    Table::create(dir / "s.dbf", {fieldSpec("A", 'C', 1)}).reset();
    auto shared = Table::open(dir / "s.dbf", OpenMode::Shared);
    const std::string before = test::readBytes(dir / "lim.dbf");
    struct Refused {
        const char* what;
        std::function<void()> change;
        FoxError error;
    };
    const std::vector<Refused> cases = {
        {"name longer than 10 in a free table", [&] { table->addField(fieldSpec("ELEVENCHARS", 'C', 1)); },
         FoxError::FieldNameInvalid},
        {"name starting with a digit", [&] { table->addField(fieldSpec("1ABC", 'C', 1)); },
         FoxError::FieldNameInvalid},
        {"name with a space", [&] { table->addField(fieldSpec("A B", 'C', 1)); }, FoxError::FieldNameInvalid},
        {"empty name", [&] { table->addField(fieldSpec("", 'C', 1)); }, FoxError::FieldNameInvalid},
        {"duplicate ignoring case", [&] { table->addField(fieldSpec("name", 'C', 1)); },
         FoxError::FieldNameInvalid},
        {"rename onto another field", [&] { table->renameField("OTHER", "Name"); },
         FoxError::FieldNameInvalid},
        {"rename to a bad name", [&] { table->renameField("OTHER", "bad-name"); },
         FoxError::FieldNameInvalid},
        {"character width 0", [&] { table->addField(fieldSpec("C0", 'C', 0)); }, FoxError::FieldWidthInvalid},
        {"character width 255", [&] { table->addField(fieldSpec("C255", 'C', 255)); },
         FoxError::FieldWidthInvalid},
        {"numeric width 21", [&] { table->addField(fieldSpec("N21", 'N', 21)); },
         FoxError::FieldWidthInvalid},
        {"decimals too many", [&] { table->addField(fieldSpec("N5", 'N', 5, 4)); },
         FoxError::FieldWidthInvalid},
        {"unknown type", [&] { table->addField(fieldSpec("X", 'X', 1)); }, FoxError::DataTypeMismatch},
        {"drop an unknown field", [&] { table->dropField("NOPE"); }, FoxError::VariableNotFound},
        {"change in shared use", [&] { shared->addField(fieldSpec("B", 'C', 1)); },
         FoxError::MustBeExclusive},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(test::raises(c.error, c.change));
        EXPECT_TRUE(test::readBytes(dir / "lim.dbf") == before);
    }
    EXPECT_EQ(table->fieldCount(), 2);
}

TEST(TableSchema, FieldCountLimitCountsNullFlags) {
    test::TempDir dir;
    std::vector<FieldSpec> many;
    for (int i = 0; i < 255; ++i) many.push_back(fieldSpec("F" + std::to_string(i), 'C', 254));
    EXPECT_NO_THROW(Table::create(dir / "many.dbf", many));  // 255 x 254 + 1 = 64,771 bytes
    many.back().nullable = true;                             // _NullFlags would be the 256th field
    EXPECT_TRUE(test::raises(FoxError::TooManyFields, [&] { Table::create(dir / "many.dbf", many); }));
    many.resize(254);
    auto table = Table::create(dir / "many.dbf", many);
    const std::string before = test::readBytes(dir / "many.dbf");
    // The field plus _NullFlags would make 256.
    EXPECT_TRUE(test::raises(FoxError::TooManyFields, [&] { table->addField(fieldSpec("V", 'V', 10)); }));
    EXPECT_TRUE(test::readBytes(dir / "many.dbf") == before);
    table->addField(fieldSpec("LAST", 'L'));
    EXPECT_EQ(table->fieldCount(), 255);
}

// Enough records that the rewrite streams them through several copy buffers: every record arrives
// whole and in order across the buffer boundaries. (Its speed is measured by bench/run_engine_bench.sh.)
TEST(TableSchema, AddingAFieldStreamsEveryRecordAcrossCopyBuffers) {
    test::TempDir dir;
    auto table =
        Table::create(dir / "big.dbf", {fieldSpec("NAME", 'C', 30), fieldSpec("QTY", 'I'),
                                        fieldSpec("PRICE", 'N', 10, 2), fieldSpec("NOTE", 'V', 20, 0, true)});
    table->append({{0, std::string("a name")}, {1, std::int64_t{7}}, {2, 3.5}, {3, std::string("short")}});
    const TableHeader header = table->header();
    table.reset();
    constexpr std::uint32_t kRecords = 150000;  // about 10 MB: more than two 4 MB copy buffers
    std::string bytes = test::readBytes(dir / "big.dbf");
    const std::string record = bytes.substr(header.headerLength, header.recordLength);
    bytes.resize(header.headerLength);
    bytes.reserve(header.headerLength + static_cast<std::size_t>(kRecords) * record.size() + 1);
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        bytes += record;
        // Each record carries its own number in QTY (bytes 1..4 after the name), to check the order.
        std::memcpy(bytes.data() + bytes.size() - record.size() + 1 + 30, &i, 4);
    }
    bytes += '\x1a';
    std::memcpy(bytes.data() + 4, &kRecords, 4);
    test::writeBytes(dir / "big.dbf", bytes);
    bytes = std::string();

    table = Table::open(dir / "big.dbf", OpenMode::Exclusive);
    table->addField(fieldSpec("EXTRA", 'N', 5, 0, true));
    EXPECT_EQ(table->recordCount(), kRecords);
    for (std::uint32_t recno : {1u, 60000u, 60001u, 120000u, 120001u, kRecords}) {
        EXPECT_EQ(table->value(recno, 1), Value(std::int64_t(recno - 1))) << recno;
        EXPECT_EQ(table->value(recno, 3), Value(std::string("short"))) << recno;
        EXPECT_EQ(table->value(recno, 4), Value(std::monostate{})) << recno;
    }
    EXPECT_EQ(table->value(1, 2), Value(3.5));
    EXPECT_EQ(std::filesystem::file_size(dir / "big.dbf"),
              table->header().headerLength + std::uint64_t(kRecords) * table->header().recordLength + 1);
}

}  // namespace
}  // namespace dorvane::provider
