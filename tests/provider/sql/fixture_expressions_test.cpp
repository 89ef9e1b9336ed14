// Index key and FOR expressions stored by Visual FoxPro in the fixture .CDX/.DCX files: each compiles
// against its table's fields, has the key length FoxPro gave the tag, and reproduces the full keys
// FoxPro wrote into interior index nodes.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "provider/format/table.h"
#include "provider/sql/evaluator.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Unsigned integers of `bytes` bytes at `at`, little-endian unless `big`.
std::uint32_t number(const std::string& b, std::size_t at, int bytes, bool big = false) {
    std::uint32_t n = 0;
    for (int i = 0; i < bytes; ++i)
        n |= std::uint32_t(static_cast<unsigned char>(b.at(at + i))) << 8 * (big ? bytes - 1 - i : i);
    return n;
}
unsigned u8(const std::string& b, std::size_t at) {
    return number(b, at, 1);
}
unsigned le16(const std::string& b, std::size_t at) {
    return number(b, at, 2);
}
std::uint32_t le32(const std::string& b, std::size_t at) {
    return number(b, at, 4);
}
std::uint32_t be32(const std::string& b, std::size_t at) {
    return number(b, at, 4, true);
}

// A fixture table read by the table engine, as the evaluator sees a record. Long names of contained
// tables live in the container; the .dbf holds their first ten letters.
class FixtureTable : public FieldCatalog, public RowContext {
public:
    explicit FixtureTable(const std::string& path) : m_table(Table::open(path)) {}
    std::optional<int> fieldIndex(std::string_view name) const override {
        for (std::size_t i = 0; i < m_table->fields().size(); ++i)
            if (equalsIgnoreCase(m_table->fields()[i].name, name.substr(0, 10))) return static_cast<int>(i);
        return std::nullopt;
    }
    char fieldType(int i) const override { return m_table->fields()[i].type; }
    int fieldWidth(int i) const override { return m_table->fields()[i].width; }
    int fieldDecimals(int i) const override { return m_table->fields()[i].decimals; }
    // Character values as stored, blank-padded to the field's width.
    Value field(int i) const override {
        Value v = m_table->value(m_recno, i);
        if (auto* s = std::get_if<std::string>(&v); s && fieldType(i) == 'C') s->resize(fieldWidth(i), ' ');
        return v;
    }
    std::int64_t recno() const override { return m_recno; }
    bool deleted() const override { return m_table->isDeleted(m_recno); }
    void go(std::uint32_t recno) { m_recno = recno; }

private:
    std::unique_ptr<Table> m_table;
    std::uint32_t m_recno = 1;
};

struct Tag {
    std::size_t header;
    int keyLength;
    std::string key;
    std::string forClause;
};

// Tag headers: root at 0, key length at 12, options at 14 (0x20 compact,
// 0x40 compound, 0x80 directory), signature 1 at 15, FOR offset/length at 504/506, key length incl.
// NUL at 510, expression pool at 512.
std::vector<Tag> findTags(const std::string& cdx) {
    std::vector<Tag> tags;
    for (std::size_t at = 0; at + 1024 <= cdx.size(); at += 512) {
        const unsigned options = u8(cdx, at + 14);
        const unsigned keyChars = le16(cdx, at + 510);
        if (u8(cdx, at + 15) != 1 || (options & 0x60) != 0x60 || (options & 0x80) || keyChars < 2 ||
            keyChars > 511)
            continue;
        const std::string pool = cdx.substr(at + 512, 512);
        if (pool[keyChars - 1] != '\0') continue;
        Tag tag{at, static_cast<int>(le16(cdx, at + 12)), pool.substr(0, keyChars - 1), {}};
        if (const unsigned forChars = le16(cdx, at + 506); forChars > 1)
            tag.forClause = pool.substr(le16(cdx, at + 504), forChars - 1);
        tags.push_back(tag);
    }
    return tags;
}

TEST(FixtureExpressions, CompileWithFoxProKeyLengthsAndRebuildInteriorKeys) {
    const std::string dir = std::string(DORVANE_FIXTURES) + "/foxprodb/";
    const struct {
        const char *index, *table;
        int expectedTags;
    } files[] = {{"calls.CDX", "calls.dbf", 3},
                 {"contacts.CDX", "contacts.dbf", 3},
                 {"setup.CDX", "setup.dbf", 1},
                 {"types.CDX", "types.dbf", 1},
                 {"FOXPRO-DB-TEST.DCX", "FOXPRO-DB-TEST.DBC", 2}};
    int interiorKeysChecked = 0;
    for (const auto& f : files) {
        SCOPED_TRACE(f.index);
        const std::string cdx = readFile(dir + f.index);
        ASSERT_FALSE(cdx.empty()) << "fixtures missing at " << dir;
        FixtureTable table(dir + f.table);
        const std::vector<Tag> tags = findTags(cdx);
        ASSERT_EQ(static_cast<int>(tags.size()), f.expectedTags);
        for (const Tag& tag : tags) {
            SCOPED_TRACE(tag.key);
            const CompiledExpr key = compileExpression(tag.key, table);
            EXPECT_EQ(key.resultType().width, tag.keyLength);
            std::optional<CompiledExpr> filter;
            if (!tag.forClause.empty()) {
                filter = compileExpression(tag.forClause, table);
                EXPECT_EQ(filter->resultType().type, 'L');
            }
            // An interior node (attributes at 0 without the leaf bit 2, count at 2) holds full keys from
            // offset 12: key, record number BE, child offset BE.
            const std::size_t root = le32(cdx, tag.header);
            if (le16(cdx, root) & 2) continue;
            for (unsigned i = 0; i < le16(cdx, root + 2); ++i) {
                const std::size_t entry = root + 12 + i * (tag.keyLength + 8);
                table.go(be32(cdx, entry + tag.keyLength));
                if (filter) {
                    EXPECT_TRUE(filter->matches(table));
                }
                const Value k = key.evaluate(table);
                ASSERT_TRUE(std::holds_alternative<std::string>(k));
                EXPECT_EQ(std::get<std::string>(k), cdx.substr(entry, tag.keyLength));
                ++interiorKeysChecked;
            }
        }
    }
    EXPECT_GE(interiorKeysChecked, 2);
}

}  // namespace
}  // namespace dorvane::provider::sql
