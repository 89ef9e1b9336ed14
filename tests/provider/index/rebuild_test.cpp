// Whole-file writes (rebuild of a tag, a new file from definitions, tags added and dropped), judged by
// the independent cdx-check tool against the tables. (Record changes mirrored into tags are judged in
// tests/provider/indexing.)
#include <gtest/gtest.h>

#include <fstream>

#include "index_test_support.h"
#include "provider/error.h"
#include "provider/index/byte_io.h"
#include "provider/index/cdx_builder.h"
#include "provider/index/key_encoding.h"

namespace dorvane::provider::index::test {
namespace {
namespace fs = std::filesystem;

struct TableIndex {
    const char* table;
    const char* index;
    std::vector<std::pair<const char*, KeyType>> tags;
};

const std::vector<TableIndex>& tableIndexes() {
    static const std::vector<TableIndex> all = {
        {"calls.dbf", "calls.CDX", {{"CALL_ID", KeyType::Integer}, {"CONTACT_ID", KeyType::Integer}}},
        {"contacts.dbf", "contacts.CDX", {{"CONTACT_ID", KeyType::Integer}, {"TYPE_ID", KeyType::Integer}}},
        {"setup.dbf", "setup.CDX", {{"KEY_NAME", KeyType::Character}}},
        {"types.dbf", "types.CDX", {{"TYPE_ID", KeyType::Integer}}},
        {"FOXPRO-DB-TEST.DBC",
         "FOXPRO-DB-TEST.DCX",
         {{"OBJECTNAME", KeyType::Character}, {"OBJECTTYPE", KeyType::Character}}},
    };
    return all;
}

void expectCheckerAgrees(const fs::path& dbf, std::size_t tagCount) {
    const auto [status, out] = ::dorvane::test::runCdxCheck(dbf);
    EXPECT_EQ(status, 0) << out;
    std::size_t oks = 0;
    for (std::size_t p = out.find("OK tag"); p != std::string::npos; p = out.find("OK tag", p + 1)) ++oks;
    EXPECT_EQ(oks, tagCount) << out;
}

CdxFile openTyped(const fs::path& p, const TableIndex& t) {
    CdxFile cdx = CdxFile::open(p.string(), true);
    for (const auto& [name, type] : t.tags) cdx.setKeyType(name, type);
    return cdx;
}

// Each fixture index: every tag rebuilt from its own keys, then the whole file made anew from its
// definitions, keeps FoxPro's definitions, statistics and root attributes, and matches the table.
TEST(IndexRebuild, RebuiltTagsAndNewFilesStillMatchTheTable) {
    DORVANE_NEEDS_CDX_CHECK();
    for (const TableIndex& t : tableIndexes()) {
        SCOPED_TRACE(t.index);
        const fs::path dir = copyFoxproDb("rebuild");
        std::vector<TagContent> contents;
        {
            CdxFile cdx = openTyped(dir / t.index, t);
            for (const auto& [name, type] : t.tags) {
                const auto before = cdx.entries(name);
                cdx.rebuildTag(name, before);
                EXPECT_EQ(cdx.entries(name), before);
                EXPECT_TRUE(checkInvariants(cdx, name).empty());
            }
            EXPECT_FALSE(fs::exists(dir / (std::string(t.index) + ".dorvane-new")));
            expectCheckerAgrees(dir / t.table, t.tags.size());
            contents = cdx.contents();
        }
        for (TagContent& c : contents) c.previousHeader.reset();
        fs::remove(dir / t.index);
        CdxFile::create((dir / t.index).string(), contents);
        const CdxFile made = CdxFile::open((dir / t.index).string());
        const CdxFile original = CdxFile::open((fixtureDir() / "foxprodb" / t.index).string());
        const std::string madeBytes = readBytes(dir / t.index);
        const std::string originalBytes = readBytes(fixtureDir() / "foxprodb" / t.index);
        ASSERT_EQ(made.tags().size(), original.tags().size());
        for (std::size_t i = 0; i < made.tags().size(); ++i) {
            const TagInfo& a = made.tags()[i];
            const TagInfo& b = original.tags()[i];
            SCOPED_TRACE(a.name);
            EXPECT_EQ(a.name, b.name);
            EXPECT_EQ(a.header.options, b.header.options);
            EXPECT_EQ(a.header.keyExpression, b.header.keyExpression);
            EXPECT_EQ(a.header.forExpression, b.header.forExpression);
            EXPECT_EQ(a.keyLength(), b.keyLength());
            // Key statistics in header bytes 16..23 as FoxPro writes them (zeros for FOR tags).
            EXPECT_TRUE(
                std::equal(a.header.raw.begin() + 16, a.header.raw.begin() + 24, b.header.raw.begin() + 16));
            // Node attributes of a root, including FoxPro's extra bit on a root leaf.
            EXPECT_EQ(madeBytes.substr(a.header.root, 2), originalBytes.substr(b.header.root, 2));
        }
        expectCheckerAgrees(dir / t.table, t.tags.size());
        fs::remove_all(dir);
    }
}

TEST(IndexRebuild, LargeTagIsPackedIntoWellFilledLeaves) {
    const fs::path dir = tempDir("pack");
    std::vector<KeyEntry> entries;
    for (std::uint32_t r = 1; r <= 20000; ++r)
        entries.push_back({encodeCharacterKey("name" + std::to_string(r * 7919u % 20011u), 30), r});
    TagDefinition def{"NAME", "name", "", 30, KeyType::Character};
    CdxFile::create((dir / "big.cdx").string(), {{def, entries, std::nullopt}});
    const CdxFile cdx = CdxFile::open((dir / "big.cdx").string());
    std::sort(entries.begin(), entries.end(), entryLess);
    EXPECT_EQ(cdx.entries("NAME"), entries);
    EXPECT_TRUE(checkInvariants(cdx, "NAME").empty());
    // All leaves but the last are filled as far as building fills them, to within one entry.
    const PageFile file(cdx.path(), false);
    std::size_t leaves = 0, underfilled = 0;
    for (std::uint64_t off = 2048; off + kPageSize <= file.size(); off += kPageSize) {
        std::array<unsigned char, kPageSize> page{};
        file.read(off, page.data(), page.size());
        if ((readLe(page.data(), 2) & kAttrLeaf) == 0) continue;
        ++leaves;
        if (readLe(page.data() + kLeafFreeBytes, 2) > kLeafAreaSize - kBuiltLeafFill + 30 + 4) ++underfilled;
    }
    EXPECT_GT(leaves, 100u);
    EXPECT_LE(underfilled, 1u);
    fs::remove_all(dir);
}

TEST(IndexRebuild, BadDefinitionsAreRefusedAndTheOldFileStays) {
    const fs::path dir = tempDir("baddef");
    const fs::path p = dir / "x.cdx";
    TagDefinition good{"A", "a", "", 4, KeyType::Integer};
    CdxFile::create(p.string(), {{good, {{encodeIntegerKey(1), 1}}, std::nullopt}});
    const std::string before = readBytes(p);
    TagDefinition candidate{"C", "c", "", 4, KeyType::Integer, false, true};
    TagDefinition spanish{"G", "g", "", 4, KeyType::Character};
    spanish.collation = "SPANISH";
    const struct {
        const char* what;
        std::vector<TagContent> tags;
        int error;
    } cases[] = {
        {"candidate duplicates",
         {{candidate, {{encodeIntegerKey(1), 1}, {encodeIntegerKey(1), 2}}, std::nullopt}},
         1884},
        {"collation without weights", {{spanish, {}, std::nullopt}}, 1999},
        {"repeated tag name", {{good, {}, std::nullopt}, {good, {}, std::nullopt}}, 1712},
        {"tag name too long", {{TagDefinition{"ELEVENCHARS", "a", "", 4}, {}, std::nullopt}}, 1712},
        {"key of the wrong size", {{good, {{"abc", 1}}, std::nullopt}}, 1903},
        {"key length above 240", {{TagDefinition{"L", "a", "", 241}, {}, std::nullopt}}, 1903},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(raises(c.error, [&] { CdxFile::create(p.string(), c.tags); })) << c.what;
        EXPECT_EQ(readBytes(p), before) << c.what;
    }
    fs::remove_all(dir);
}

TEST(IndexRebuild, TagsAddedAndDroppedStillMatchTheTable) {
    DORVANE_NEEDS_CDX_CHECK();
    const fs::path dir = copyFoxproDb("tags");
    const TableIndex& t = tableIndexes()[1];
    CdxFile cdx = openTyped(dir / t.index, t);
    const MiniTable table = MiniTable::load(dir / t.table);
    const auto column = [&](const char* field, std::uint16_t width) {
        std::vector<KeyEntry> entries;
        for (std::uint32_t r = 1; r <= table.records.size(); ++r)
            entries.push_back({encodeCharacterKey(table.raw(r, field), width), r});
        return entries;
    };
    cdx.addTag(
        {{"LAST_NAME", "last_name", "", 50, KeyType::Character}, column("last_name", 50), std::nullopt});
    TagDefinition city{"CITY", "city", "", 50, KeyType::Character};
    city.descending = true;
    cdx.addTag({city, column("city", 50), std::nullopt});
    EXPECT_EQ(cdx.tags().size(), 4u);
    expectCheckerAgrees(dir / t.table, 4);
    const auto stored = cdx.entries("CITY");
    auto reversed = cdx.indexOrder("CITY");
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(reversed, stored);
    EXPECT_TRUE(cdx.tag("CITY").descending());

    cdx.dropTag("type_id");
    EXPECT_EQ(cdx.tags().size(), 3u);
    EXPECT_THROW((void)cdx.tag("TYPE_ID"), ProviderError);
    expectCheckerAgrees(dir / t.table, 3);
    // Changes still work on a rewritten file (types carried over).
    EXPECT_TRUE(cdx.insert("LAST_NAME", encodeCharacterKey("Zed", 50), 99));
    fs::remove_all(dir);
}

TEST(IndexRebuild, CollationWithoutWeightsIsReadButNeverChanged) {
    const fs::path dir = tempDir("spanish");
    const fs::path p = dir / "g.cdx";
    TagDefinition def{"NAME", "name", "", 8, KeyType::Character};
    CdxFile::create(
        p.string(),
        {{def, {{encodeCharacterKey("b", 8), 1}, {encodeCharacterKey("a", 8), 2}}, std::nullopt}});
    // Mark the tag as SPANISH, as FoxPro writes it in the tag header.
    std::string bytes = readBytes(p);
    const std::uint32_t header = CdxFile::open(p.string()).tag("NAME").headerOffset;
    bytes.replace(header + kHdrCollation, 7, "SPANISH");
    { std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes; }
    CdxFile cdx = CdxFile::open(p.string(), true);
    cdx.setKeyType("NAME", KeyType::Character);
    EXPECT_EQ(cdx.tag("NAME").collation(), "SPANISH");
    EXPECT_EQ(cdx.entries("NAME").size(), 2u);
    const std::function<void()> changes[] = {
        [&] { cdx.insert("NAME", encodeCharacterKey("c", 8), 3); },
        [&] { cdx.remove("NAME", encodeCharacterKey("a", 8), 2); },
        [&] { cdx.rebuildTag("NAME", {}); },
    };
    for (const auto& change : changes) {
        EXPECT_TRUE(raises(1999, change));
        EXPECT_EQ(readBytes(p), bytes);
    }
    // Other tags of such a file may still be rebuilt: the SPANISH tag is carried over as it is.
    cdx.addTag({{"OTHER", "x", "", 4, KeyType::Integer}, {{encodeIntegerKey(5), 1}}, std::nullopt});
    EXPECT_EQ(cdx.tag("NAME").collation(), "SPANISH");
    EXPECT_EQ(cdx.entries("NAME").size(), 2u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dorvane::provider::index::test
