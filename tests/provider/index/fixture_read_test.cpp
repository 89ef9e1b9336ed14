// Every tag of the real FoxPro indexes read back: definitions, and keys rebuilt from the table values
// with our encoders must equal the stored entries one for one, in stored order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>

#include "index_test_support.h"
#include "provider/error.h"
#include "provider/index/key_encoding.h"

namespace dorvane::provider::index::test {
namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string str10(std::int32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%10d", v);
    return buf;
}

struct FixtureTag {
    const char* index;
    const char* table;
    const char* tag;
    const char* expression;
    const char* forExpression;
    std::uint16_t keyLength;
    bool candidate;
    KeyType type;
    std::function<std::string(const MiniTable&, std::size_t)> key;
};

const std::vector<FixtureTag>& fixtureTags() {
    static const std::vector<FixtureTag> tags = {
        {"calls.CDX", "calls.dbf", "CALL_ID", "call_id", "", 4, true, KeyType::Integer,
         [](const MiniTable& t, std::size_t r) { return encodeIntegerKey(t.integer(r, "call_id")); }},
        {"calls.CDX", "calls.dbf", "CONTACT_ID", "contact_id", "", 4, false, KeyType::Integer,
         [](const MiniTable& t, std::size_t r) { return encodeIntegerKey(t.integer(r, "contact_id")); }},
        {"contacts.CDX", "contacts.dbf", "CONTACT_ID", "contact_id", "", 4, true, KeyType::Integer,
         [](const MiniTable& t, std::size_t r) { return encodeIntegerKey(t.integer(r, "contact_id")); }},
        {"contacts.CDX", "contacts.dbf", "TYPE_ID", "contact_type_id", "", 4, false, KeyType::Integer,
         [](const MiniTable& t, std::size_t r) { return encodeIntegerKey(t.integer(r, "contact_ty")); }},
        {"setup.CDX", "setup.dbf", "KEY_NAME", "key_name", "", 50, true, KeyType::Character,
         [](const MiniTable& t, std::size_t r) { return encodeCharacterKey(t.raw(r, "key_name"), 50); }},
        {"types.CDX", "types.dbf", "TYPE_ID", "contact_type_id", "", 4, true, KeyType::Integer,
         [](const MiniTable& t, std::size_t r) { return encodeIntegerKey(t.integer(r, "contact_ty")); }},
        {"FOXPRO-DB-TEST.DCX", "FOXPRO-DB-TEST.DBC", "OBJECTNAME",
         "STR(parentid)+objecttype+LOWER(objectname)", ".NOT.DELETED()", 148, false, KeyType::Character,
         [](const MiniTable& t, std::size_t r) {
             return encodeCharacterKey(
                 str10(t.integer(r, "parentid")) + t.raw(r, "objecttype") + lower(t.raw(r, "objectname")),
                 148);
         }},
        {"FOXPRO-DB-TEST.DCX", "FOXPRO-DB-TEST.DBC", "OBJECTTYPE", "STR(parentid)+objecttype",
         ".NOT.DELETED()", 20, false, KeyType::Character,
         [](const MiniTable& t, std::size_t r) {
             return encodeCharacterKey(str10(t.integer(r, "parentid")) + t.raw(r, "objecttype"), 20);
         }},
    };
    return tags;
}

// Expected entries: every record the FOR clause admits (deleted ones too when there is no FOR).
std::vector<KeyEntry> expectedEntries(const FixtureTag& f, const MiniTable& table) {
    std::vector<KeyEntry> out;
    for (std::size_t r = 1; r <= table.records.size(); ++r) {
        if (*f.forExpression && table.deleted(r)) continue;
        out.push_back({f.key(table, r), static_cast<std::uint32_t>(r)});
    }
    std::sort(out.begin(), out.end(), entryLess);
    return out;
}

// fixtureTags() lists every tag of each file, in the directory's order (by name).
TEST(FixtureIndexRead, EveryTagMatchesItsTable) {
    std::map<std::string, std::vector<std::string>> listed;
    for (const FixtureTag& f : fixtureTags()) {
        listed[f.index].push_back(f.tag);
        SCOPED_TRACE(std::string(f.index) + " " + f.tag);
        const auto dir = fixtureDir() / "foxprodb";
        CdxFile cdx = CdxFile::open((dir / f.index).string());
        const TagInfo& tag = cdx.tag(f.tag);
        cdx.setKeyType(f.tag, f.type);
        EXPECT_EQ(tag.header.keyExpression, f.expression);
        EXPECT_EQ(tag.header.forExpression, f.forExpression);
        EXPECT_EQ(tag.keyLength(), f.keyLength);
        EXPECT_EQ(tag.candidate(), f.candidate);
        EXPECT_FALSE(tag.unique());
        EXPECT_FALSE(tag.descending());
        EXPECT_EQ(tag.collation(), "MACHINE");
        const MiniTable table = MiniTable::load(dir / f.table);
        EXPECT_EQ(cdx.entries(f.tag), expectedEntries(f, table));
        EXPECT_TRUE(checkInvariants(cdx, f.tag).empty());
    }
    for (const auto& [file, names] : listed) {
        const CdxFile cdx = CdxFile::open((fixtureDir() / "foxprodb" / file).string());
        std::vector<std::string> inFile;
        for (const TagInfo& t : cdx.tags()) inFile.push_back(t.name);
        EXPECT_EQ(inFile, names) << file;
    }
}

TEST(FixtureIndexRead, SeekFindsPrefixesAndMisses) {
    CdxFile cdx = CdxFile::open((fixtureDir() / "foxprodb" / "FOXPRO-DB-TEST.DCX").string());
    const struct {
        std::string key;
        bool found;
        std::uint32_t recno;
    } cases[] = {
        {"         1Table     calls", true, 42},
        {"         1Table", true, 42},  // first table of container
                                        // 1 in key order
        {"         1Database  database", true, 1},
        {"         1Table     zzz", false, 0},
        {"99", false, 0},
    };
    for (const auto& c : cases) {
        const auto hit = cdx.seek("objectname", c.key);
        EXPECT_EQ(hit.has_value(), c.found) << c.key;
        EXPECT_EQ(hit && c.found ? hit->recno : c.recno, c.recno) << c.key;
    }
    EXPECT_TRUE(raises(1683, [&] { (void)cdx.tag("NOSUCH"); }));
}

}  // namespace
}  // namespace dorvane::provider::index::test
