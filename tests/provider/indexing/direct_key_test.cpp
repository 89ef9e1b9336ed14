// Keys read straight from record bytes against the general path (values and the evaluator): every key
// form DirectKey covers, on records of every kind of byte content, in several code pages; and whole
// rebuilds of a large table mixing both paths, judged by the independent checker.
#include "provider/indexing/direct_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>

#include "indexing_support.h"
#include "provider/error.h"
#include "provider/format/codepage.h"
#include "provider/format/header.h"
#include "provider/index/key_encoding.h"
#include "provider/indexing/attach.h"
#include "provider/indexing/record_row.h"

namespace dorvane::provider::indexing {
namespace {

using namespace testing;
using index::KeyEntry;
using index::KeyType;
using index::TagDefinition;

index::TagInfo tagInfo(const std::string& expression, std::uint16_t keyLength,
                       const std::string& forExpression = "", const char* collation = "") {
    index::TagInfo info;
    info.header.collation = collation;
    info.name = "T";
    info.header.keyExpression = expression;
    info.header.forExpression = forExpression;
    info.header.keyLength = keyLength;
    return info;
}

// Bytes a field may hold, the odd ones included: what other programs, damage or FoxPro itself leave.
std::string fieldBytes(const Field& f, std::mt19937& rng) {
    const auto pick = [&](std::initializer_list<const char*> options) {
        std::string s = *(options.begin() + rng() % options.size());
        s.resize(static_cast<std::size_t>(f.width), ' ');
        return s;
    };
    std::string out(static_cast<std::size_t>(f.width), ' ');
    switch (f.type) {
        case 'C':
            switch (rng() % 5) {
                case 0:
                    break;  // blank
                case 1:     // any byte at all, NULs too
                    for (char& c : out) c = static_cast<char>(rng());
                    break;
                case 2:  // letters of the upper half (accented in the Western pages)
                    for (std::size_t i = 0; i < out.size() - rng() % 4; ++i)
                        out[i] = static_cast<char>(0xC0 + rng() % 0x40);
                    break;
                case 3:  // text ending in NULs
                    out = pick({"abc", "Zebra", "x"});
                    std::fill(out.begin() + 5, out.end(), '\0');
                    break;
                default:
                    for (std::size_t i = 0; i < out.size() - rng() % 6; ++i)
                        out[i] = static_cast<char>('A' + rng() % 58);
            }
            return out;
        case 'I':
        case 'B':
        case 'Y':
            for (char& c : out) c = static_cast<char>(rng());
            if (rng() % 8 == 0) std::fill(out.begin(), out.end(), '\0');
            return out;
        case 'T': {
            const std::int32_t days[] = {0, -5, 2440588, 2451545, 2460000, static_cast<std::int32_t>(rng())};
            const std::int32_t ms[] = {
                0, 999, 43200000, 86399999, 86400000, -1, static_cast<std::int32_t>(rng())};
            const std::int32_t day = days[rng() % 6], milli = ms[rng() % 7];
            std::memcpy(out.data(), &day, 4);
            std::memcpy(out.data() + 4, &milli, 4);
            return out;
        }
        case 'D':
            if (rng() % 2) {
                char text[16];
                std::snprintf(text, sizeof text, "%04d%02d%02d", 1 + static_cast<int>(rng() % 9999),
                              1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 28));
                return text;
            }
            return pick({"", "20230231", "20240229", "20230229", "00000000", "99991231", "2023 101",
                         "-0010101", "20231301", "2023120\x01", "19991232"});
        case 'N':
        case 'F':
            if (rng() % 2) {
                char text[32];
                std::snprintf(text, sizeof text, "%*.*f", f.width, f.decimals,
                              (static_cast<double>(rng() % 2000000) - 1000000) / 100);
                return text;
            }
            return pick({"", "**********", "  12a", "+5.5", "-0", "1e3", "  .5"});
        case 'L':
            return pick({"T", "F", "t", "f", "Y", "y", "N", "n", "?", " ", "\x01"});
    }
    return out;
}

// A table of every field type the key forms read, its records written byte by byte (deletion flags
// and null bits included), then opened for reading.
std::unique_ptr<Table> oddTable(const fs::path& dbf, std::uint8_t codePageMark, std::size_t records) {
    CreateOptions options;
    options.codePageMark = codePageMark;
    {
        auto table = Table::create(
            dbf,
            {{"c", "", 'C', 12}, {"cn", "", 'C', 12, 0, true}, {"i", "", 'I', 4}, {"inl", "", 'I', 4, 0, true},
             {"d", "", 'D', 8}, {"dn", "", 'D', 8, 0, true}, {"n", "", 'N', 10, 2}, {"f", "", 'F', 12, 4},
             {"b", "", 'B', 8, 2}, {"y", "", 'Y', 8}, {"t", "", 'T', 8}, {"l", "", 'L', 1}, {"ln", "", 'L', 1, 0, true}},
            options);
        for (std::size_t i = 0; i < records; ++i) table->append();
    }
    auto table = Table::open(dbf, OpenMode::ReadOnly);
    const TableHeader& h = table->header();
    std::mt19937 rng(static_cast<unsigned>(codePageMark) * 7919u);
    std::fstream file(dbf, std::ios::in | std::ios::out | std::ios::binary);
    for (std::size_t r = 0; r < records; ++r) {
        std::string record(h.recordLength, ' ');
        record[0] = rng() % 4 == 0 ? '*' : ' ';
        for (const Field& f : h.fields) {
            std::string bytes =
                f.isSystem() ? std::string(static_cast<std::size_t>(f.width), '\0') : fieldBytes(f, rng);
            if (f.isSystem())
                for (char& c : bytes) c = static_cast<char>(rng() % 3 == 0 ? rng() : 0);
            record.replace(f.offset, bytes.size(), bytes);
        }
        file.seekp(static_cast<std::streamoff>(h.headerLength + r * h.recordLength));
        file.write(record.data(), static_cast<std::streamsize>(record.size()));
    }
    file.close();
    return Table::open(dbf, OpenMode::ReadOnly);
}

// "cn" with a 12-byte key: the tag has no null marker byte, so a null has no key.
TEST(DirectKey, GivesTheGeneralPathsBytesOrHandsTheRecordOver) {
    const struct {
        const char* expression;
        std::uint16_t keyLength;
        const char* collation = "";
    } forms[] = {
        {"c", 12}, {"UPPER(c)", 12}, {"LOWER(c)", 12}, {"uppe(c)", 12}, {"cn", 13}, {"UPPER(cn)", 13},
        {"cn", 12}, {"i", 4},        {"inl", 5},        {"d", 8},       {"DTOS(d)", 8}, {"dn", 9},
        {"DTOS(dn)", 9}, {"n", 8},   {"f", 8},          {"b", 8},       {"y", 8},   {"t", 8},
        {"l", 1}, {"ln", 2}, {"c", 24, "GENERAL"}, {"cn", 25, "GENERAL"}  // GENERAL: code page 1252 only
    };
    const std::uint8_t codePages[] = {0x03, 0x01, 0x02, 0xC9, 0x04};  // 1252, 437, 850, 1251, Macintosh
    constexpr std::size_t kRecords = 1500;
    ScratchDir dir;
    for (const std::uint8_t mark : codePages) {
        if (!CodePage::isSupportedMark(mark)) continue;
        const fs::path dbf = dir / ("odd" + std::to_string(mark) + ".dbf");
        auto table = oddTable(dbf, mark, kRecords);
        const std::string bytes = readBytes(dbf);
        const TableHeader& h = table->header();
        for (const auto& form : forms) {
            if (*form.collation && table->codePage()->number() != 1252) continue;
            SCOPED_TRACE(std::string(form.expression) + form.collation + " in code page " +
                         std::to_string(table->codePage()->number()));
            const TagKey tag = TagKey::prepare(
                *table, tagInfo(form.expression, form.keyLength, "", form.collation), "odd.cdx");
            const std::optional<DirectKey> direct = DirectKey::forTag(*table, tag);
            ASSERT_TRUE(direct);
            std::size_t read = 0, refusedByBoth = 0;
            std::vector<Value> values;
            RecordRow row(table->fields());
            for (std::uint32_t recno = 1; recno <= kRecords; ++recno) {
                table->readRecord(recno, values);
                row.set(&values, recno, table->isDeleted(recno));
                std::optional<std::string> general;
                try {
                    general = tag.keyOf(row);
                } catch (const ProviderError&) {
                }
                std::string key(form.keyLength, '\xEE');
                const char* record = bytes.data() + h.headerLength + (recno - 1) * h.recordLength;
                if (direct->keyOf(record, reinterpret_cast<unsigned char*>(key.data()))) {
                    ASSERT_TRUE(general) << "record " << recno << ": the general path refuses it";
                    ASSERT_EQ(key, *general) << "record " << recno;
                    ++read;
                } else if (!general) {
                    ++refusedByBoth;
                } else {
                    // Handed over though the general path has a key: only values that read as null
                    // without the null bit ('?' in a logical) are left to it.
                    EXPECT_EQ(*general, std::string(form.keyLength, '\0')) << "record " << recno;
                }
            }
            EXPECT_GT(read, kRecords / 2);
            EXPECT_LT(refusedByBoth, kRecords / 2);
        }
    }
}

TEST(DirectKey, LeavesOtherTagsToTheGeneralPath) {
    ScratchDir dir;
    auto table = oddTable(dir / "t.dbf", 0x03, 3);
    const struct {
        const char *expression, *forExpression;
        std::uint16_t keyLength;
    } others[] = {{"c", "i > 0", 12},     {"c + c", "", 24},        {"STR(i)", "", 10}, {"ALLTRIM(c)", "", 12},
                  {"UPPER(c + c)", "", 24}, {"DTOS(t)", "", 8}, {"DELETED()", "", 1}};
    for (const auto& o : others)
        EXPECT_FALSE(DirectKey::forTag(
            *table, TagKey::prepare(*table, tagInfo(o.expression, o.keyLength, o.forExpression), "t.cdx")))
            << o.expression << " FOR " << o.forExpression;
}

// A table big enough for the records to be read on several threads and the tags laid out on several,
// with tags of both paths, a unique and a candidate tag, deleted records and records only the general
// path can key.
TEST(DirectKey, RebuildingALargeTableGivesEveryTagTheRecordsKeys) {
    DORVANE_NEEDS_CDX_CHECK();
    ScratchDir dir;
    const fs::path dbf = dir / "big.dbf";
    constexpr std::uint32_t kRecords = 70000;
    {
        auto table = Table::create(dbf, {{"id", "", 'I', 4}, {"name", "", 'C', 30}, {"born", "", 'D', 8},
                                         {"qty", "", 'N', 10, 2}, {"flag", "", 'L', 1, 0, true}});
        for (std::uint32_t i = 1; i <= kRecords; ++i) {
            const Value flag = i % 11 == 0 ? Value{} : Value{i % 3 == 0};
            table->appendValues(
                {std::int64_t{i}, "N\xC3\xA9me " + std::to_string((i * 7919) % 100003),
                 Date{julianDayFromCivil(1950 + int(i % 70), 1 + int(i % 12), 1 + int(i % 28))},
                 double(i % 1000) / 4 - 50, flag});
            if (i % 13 == 0) table->setDeleted(i, true);
        }
    }
    {
        // Some flags hold '?', which reads as null without the null bit: only the general path keys them.
        const auto table = Table::open(dbf);
        const Field& flag = table->fields()[4];
        std::fstream file(dbf, std::ios::in | std::ios::out | std::ios::binary);
        for (std::uint32_t recno = 5; recno <= kRecords; recno += 1000) {
            file.seekp(static_cast<std::streamoff>(table->header().headerLength +
                                                   std::uint64_t{recno - 1} * table->header().recordLength +
                                                   flag.offset));
            file.put('?');
        }
        file.seekp(28);
        file.put(static_cast<char>(kTableFlagStructuralIndex));
    }
    std::vector<TagDefinition> tags = {
        {"ID", "id", "", 4, KeyType::Integer, false, /*candidate=*/true},
        {"NAME", "UPPER(name)", "", 30},
        {"BORN", "DTOS(born)", "", 8},
        {"BORNDATE", "born", "", 8, KeyType::Date},
        {"QTY", "qty", "", 8, KeyType::Numeric},
        {"FLAG", "flag", "", 2, KeyType::Logical},
        {"LNAME", "LOWER(name)", "", 30, KeyType::Character, /*unique=*/true},
        {"POSITIVE", "name", "qty > 0", 30},
        {"IDTEXT", "STR(id)", "", 10},
    };
    tags[4].descending = true;  // QTY
    std::vector<index::TagContent> contents;
    for (const auto& t : tags) contents.push_back({t, {}, std::nullopt});
    index::CdxFile::create((dir / "big.cdx").string(), contents);

    auto table = Table::open(dbf, OpenMode::Exclusive);
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    ASSERT_FALSE(attachIndexMaintenance(*table, keep));
    IndexMaintainer& maintainer = *keep.front();
    maintainer.rebuild();

    // Each tag holds every record's key by the general path.
    EXPECT_EQ(maintainer.tags().size(), tags.size());
    expectTagsMatchRecords(*table);
    expectCheckerAccepts(dbf);
    keep.clear();
}

// Records an open write batch still holds in memory are keyed as the table reads them.
TEST(DirectKey, RebuildingDuringAWriteBatchKeysTheBatchedRecords) {
    DORVANE_NEEDS_CDX_CHECK();
    ScratchDir dir;
    const TagDefinition name{"NAME", "UPPER(name)", "", 10, KeyType::Character};
    auto table = createIndexedTable(dir / "b.dbf", {{"name", "", 'C', 10}}, {name});
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    ASSERT_FALSE(attachIndexMaintenance(*table, keep));
    for (int i = 0; i < 50; ++i) table->appendValues({std::string("before")});
    table->beginWriteBatch();
    for (std::uint32_t recno = 10; recno < 20; ++recno) table->update(recno, {{0, std::string("after")}});
    keep.front()->rebuild();
    table->endWriteBatch();
    // Still maintained after the file was replaced.
    table->appendValues({std::string("late")});
    const std::vector<KeyEntry> held = keep.front()->indexFile().entries("NAME");
    ASSERT_EQ(held.size(), 51u);
    for (std::uint32_t i = 0; i < 10; ++i) EXPECT_EQ(held[i], (KeyEntry{"AFTER     ", 10 + i}));
    expectCheckerAccepts(table->path());
    keep.clear();
}

// A key the general path refuses (UPPER of a letter whose capital the table's code page lacks) makes the
// rebuild fail as before, and the index file stays as it was.
TEST(DirectKey, ARecordNoKeyCanHoldRefusesTheRebuild) {
    ScratchDir dir;
    const fs::path dbf = dir / "dos.dbf";
    const TagDefinition name{"NAME", "UPPER(name)", "", 10};
    {
        CreateOptions options;
        options.codePageMark = 0x01;  // 437: has \u00FF (0x98) but not its capital \u0178
        auto table = Table::create(dbf, {{"name", "", 'C', 10}}, options);
        for (int i = 0; i < 300; ++i) table->appendValues({std::string(i == 250 ? "\xC3\xBFves" : "yves")});
    }
    {
        std::fstream file(dbf, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(28);
        file.put(static_cast<char>(kTableFlagStructuralIndex));
    }
    index::CdxFile::create((dir / "dos.cdx").string(), {{name, {}, std::nullopt}});
    const std::string before = readBytes(dir / "dos.cdx");
    auto table = Table::open(dbf, OpenMode::Exclusive);
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    ASSERT_FALSE(attachIndexMaintenance(*table, keep));
    EXPECT_TRUE(raises(FoxError::CodePageCannotHold, [&] { keep.front()->rebuild(); }));
    EXPECT_EQ(readBytes(dir / "dos.cdx"), before);
    keep.clear();
}

}  // namespace
}  // namespace dorvane::provider::indexing
