// Damaged and hostile files: each way a header, record area or memo block can be broken gives a clear
// ProviderError, never a crash, hang or read out of bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "provider/error.h"
#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

using test::fieldSpec;

constexpr std::size_t kHeaderLength = 296 + 32 * 4;  // 3 fields + _NullFlags
constexpr std::size_t kRecordLength = 1 + 8 + 4 + 6 + 1;

// A small table with text, memo and a nullable varchar, three records, each with a memo.
void makeTable(const test::TempDir& dir) {
    auto table = Table::create(dir / "t.dbf", {fieldSpec("NAME", 'C', 8), fieldSpec("NOTES", 'M'),
                                               fieldSpec("CODE", 'V', 6, 0, true)});
    for (int i = 0; i < 3; ++i)
        table->append({{0, std::string("row") + std::to_string(i)},
                       {1, std::string(100 + i, 'm')},
                       {2, std::string("v")}});
}

void put16(std::string& bytes, std::size_t at, unsigned v) {
    bytes[at] = static_cast<char>(v & 0xFF);
    bytes[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put32be(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
}

using Bytes = std::string;

// Opens and reads everything; returns the first error's code.
std::optional<FoxError> openAndReadAll(const std::filesystem::path& path) {
    try {
        auto table = Table::open(path);
        std::vector<Value> values;
        for (std::uint32_t r = 1; r <= table->recordCount(); ++r) {
            table->readRecord(r, values);
            table->isDeleted(r);
        }
        return std::nullopt;
    } catch (const ProviderError& e) {
        return e.code();
    }
}

// Damage to the .dbf header is refused on open (a missing end marker is not); damage to a memo block
// or the .fpt fails only the memo cells, with the .fpt named.
TEST(TableCorruption, DamagedHeadersAreRefusedAndDamagedMemosFailOnlyTheirCells) {
    const struct {
        const char* name;
        std::function<void(Bytes& dbf, Bytes& fpt)> damage;
        std::optional<FoxError> error;  // none: the table opens and reads
        bool memoFails = false;
    } cases[] = {
        {"empty file", [](Bytes& b, Bytes&) { b.clear(); }, FoxError::NotATable},
        {"shorter than a header", [](Bytes& b, Bytes&) { b.resize(20); }, FoxError::NotATable},
        {"unknown type byte", [](Bytes& b, Bytes&) { b[0] = 0x7F; }, FoxError::NotATable},
        {"text file", [](Bytes& b, Bytes&) { b = Bytes(2000, 'x'); }, FoxError::NotATable},
        {"header length below one field", [](Bytes& b, Bytes&) { put16(b, 8, 40); },
         FoxError::TableCorrupted},
        {"header length past the end", [](Bytes& b, Bytes&) { put16(b, 8, 60000); },
         FoxError::TableCorrupted},
        {"record length 0", [](Bytes& b, Bytes&) { put16(b, 10, 0); }, FoxError::TableCorrupted},
        {"field past the record length", [](Bytes& b, Bytes&) { b[48] = char(200); },
         FoxError::TableCorrupted},
        {"displacement past the record", [](Bytes& b, Bytes&) { put32(b, 44, 60000); },
         FoxError::TableCorrupted},
        {"field width 0", [](Bytes& b, Bytes&) { b[48] = 0; }, FoxError::TableCorrupted},
        {"no field terminator", [](Bytes& b, Bytes&) { std::memset(b.data() + 32, 'A', kHeaderLength - 32); },
         FoxError::TableCorrupted},
        {"record count past the data", [](Bytes& b, Bytes&) { put32(b, 4, 4); }, FoxError::TableCorrupted},
        {"record count huge", [](Bytes& b, Bytes&) { put32(b, 4, 0xFFFFFFFFu); }, FoxError::TableCorrupted},
        {"truncated in the records", [](Bytes& b, Bytes&) { b.resize(kHeaderLength + kRecordLength + 3); },
         FoxError::TableCorrupted},
        {"truncated in the header", [](Bytes& b, Bytes&) { b.resize(200); }, FoxError::TableCorrupted},
        {"no end-of-file marker", [](Bytes& b, Bytes&) { b.pop_back(); }, std::nullopt},
        {"memo pointer past the end",
         [](Bytes& d, Bytes&) { put32(d, kHeaderLength + 9, 100000); },
         {},
         true},
        {"memo pointer in the memo header",
         [](Bytes& d, Bytes&) { put32(d, kHeaderLength + 9, 2); },
         {},
         true},
        {"block length huge", [](Bytes&, Bytes& f) { put32be(f, 8 * 64 + 4, 0x7FFFFFF0u); }, {}, true},
        {"block length one past the file",
         [](Bytes&, Bytes& f) { put32be(f, 8 * 64 + 4, static_cast<std::uint32_t>(f.size() - 8 * 64 - 7)); },
         {},
         true},
        {"block size 0", [](Bytes&, Bytes& f) { f[6] = f[7] = 0; }, {}, true},
        {"memo file truncated to its header", [](Bytes&, Bytes& f) { f.resize(512); }, {}, true},
        {"memo file empty", [](Bytes&, Bytes& f) { f.clear(); }, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        makeTable(dir);
        Bytes dbf = test::readBytes(dir / "t.dbf"), fpt = test::readBytes(dir / "t.fpt");
        c.damage(dbf, fpt);
        test::writeBytes(dir / "t.dbf", dbf);
        test::writeBytes(dir / "t.fpt", fpt);
        if (!c.memoFails) {
            EXPECT_EQ(openAndReadAll(dir / "t.dbf"), c.error);
            continue;
        }
        auto table = Table::open(dir / "t.dbf", OpenMode::Shared);
        EXPECT_EQ(table->value(1, 0), Value(std::string("row0")));
        EXPECT_EQ(table->value(1, 2), Value(std::string("v")));
        EXPECT_TRUE(test::raises(
            FoxError::MemoFileInvalid, [&] { table->value(1, 1); }, "t.fpt"));
    }
}

TEST(TableCorruption, MissingMemoFileStillOpensButRefusesWrites) {
    test::TempDir dir;
    makeTable(dir);
    std::filesystem::remove(dir / "t.fpt");
    auto table = Table::open(dir / "t.dbf", OpenMode::Shared);
    EXPECT_EQ(table->value(2, 0), Value(std::string("row1")));
    EXPECT_THROW(table->value(2, 1), ProviderError);
    const std::string before = test::readBytes(dir / "t.dbf");
    EXPECT_TRUE(test::raises(FoxError::MemoFileInvalid, [&] { table->update(1, {{0, std::string("x")}}); }));
    EXPECT_TRUE(test::readBytes(dir / "t.dbf") == before);
}

TEST(TableCorruption, FileShrinkingUnderAnOpenTableIsReportedNotRead) {
    test::TempDir dir;
    makeTable(dir);
    auto table = Table::open(dir / "t.dbf");
    std::filesystem::resize_file(dir / "t.dbf", kHeaderLength + kRecordLength);
    EXPECT_EQ(table->value(1, 0), Value(std::string("row0")));
    EXPECT_TRUE(test::raises(FoxError::TableCorrupted, [&] { table->value(3, 0); }));
}

// Random byte damage anywhere in the header, records or memo: only ProviderErrors, never a crash.
TEST(TableCorruption, RandomDamageNeverCrashes) {
    test::TempDir dir;
    makeTable(dir);
    const std::string dbf = test::readBytes(dir / "t.dbf");
    const std::string fpt = test::readBytes(dir / "t.fpt");
    std::mt19937 random(20240607);
    for (int round = 0; round < 400; ++round) {
        std::string d = dbf;
        std::string f = fpt;
        std::string& target = round % 3 == 2 ? f : d;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) target[random() % target.size()] = static_cast<char>(random());
        if (round % 17 == 0) target.resize(random() % target.size());
        test::writeBytes(dir / "t.dbf", d);
        test::writeBytes(dir / "t.fpt", f);
        openAndReadAll(dir / "t.dbf");  // any outcome but a crash is acceptable
    }
}

// A fixed-width type with another width (a D field of 4 bytes, say) reads, but a write would spill its
// value over the next field: every write is refused and the file keeps its bytes.
TEST(TableCorruption, OddWidthOfAFixedTypeKeepsTheTableReadOnly) {
    test::TempDir dir;
    {
        auto table = Table::create(dir / "d.dbf", {fieldSpec("BORN", 'D'), fieldSpec("NAME", 'C', 8)});
        table->append({{1, std::string("abc")}});
    }
    std::string bytes = test::readBytes(dir / "d.dbf");
    bytes[32 + kFieldOffsetWidth] = 4;        // BORN: 8 -> 4
    bytes[32 + 32 + 12] = 5;                  // NAME now starts right after it (displacement)
    bytes[32 + 32 + kFieldOffsetWidth] = 12;  // and is 12 wide, so the record length stays 1 + 4 + 12 + ...
    test::writeBytes(dir / "d.dbf", bytes);
    auto table = Table::open(dir / "d.dbf", OpenMode::Exclusive);
    EXPECT_NO_THROW(table->record(1));
    const std::string before = test::readBytes(dir / "d.dbf");
    EXPECT_THROW(table->update(1, {{0, test::date(2024, 1, 31)}}), ProviderError);
    EXPECT_THROW(table->append({}), ProviderError);
    EXPECT_EQ(test::readBytes(dir / "d.dbf"), before);
}

}  // namespace
}  // namespace dorvane::provider
