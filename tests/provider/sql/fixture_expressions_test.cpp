// Index key and FOR expressions stored by Visual FoxPro in the fixture .CDX/.DCX files: each compiles
// against its table's fields, has the key length FoxPro gave the tag, and reproduces the full keys
// FoxPro wrote into interior index nodes.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "provider/sql/evaluator.h"
#include "provider/sql/text_utils.h"

namespace dorvane::provider::sql {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

unsigned u8(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b.at(at));
}
unsigned le16(const std::string& b, std::size_t at) {
    return u8(b, at) | u8(b, at + 1) << 8;
}
std::uint32_t le32(const std::string& b, std::size_t at) {
    return le16(b, at) | std::uint32_t(le16(b, at + 2)) << 16;
}
std::uint32_t be32(const std::string& b, std::size_t at) {
    return std::uint32_t(u8(b, at)) << 24 | u8(b, at + 1) << 16 | u8(b, at + 2) << 8 | u8(b, at + 3);
}

// Just enough of a .dbf for the test: field descriptors (header offset 32, 32 bytes each, up to 0x0D:
// name 0-10, type 11, offset in record 12-15, width 16, decimals 17) and raw records
// (header length at 8, record length at 10).
class FixtureTable : public FieldCatalog, public RowContext {
public:
    explicit FixtureTable(const std::string& path) : m_bytes(readFile(path)) {
        const unsigned headerLength = le16(m_bytes, 8);
        m_recordLength = le16(m_bytes, 10);
        m_firstRecord = headerLength;
        std::size_t offset = 1;
        for (std::size_t at = 32; at + 32 <= headerLength && m_bytes[at] != 0x0D; at += 32) {
            Field f;
            f.name = m_bytes.substr(at, 11).c_str();
            f.type = m_bytes[at + 11];
            f.width = static_cast<int>(u8(m_bytes, at + 16));
            f.decimals = static_cast<int>(u8(m_bytes, at + 17));
            f.offset = offset;
            offset += f.width;
            m_fields.push_back(f);
        }
    }

    // Long names of contained tables live in the container; the .dbf holds their first ten letters.
    std::optional<int> fieldIndex(std::string_view name) const override {
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            if (equalsIgnoreCase(m_fields[i].name, name.substr(0, 10))) return static_cast<int>(i);
        return std::nullopt;
    }
    char fieldType(int i) const override { return m_fields[i].type; }
    int fieldWidth(int i) const override { return m_fields[i].width; }
    int fieldDecimals(int i) const override { return m_fields[i].decimals; }

    Value field(int i) const override {
        const Field& f = m_fields[i];
        const std::size_t at = m_firstRecord + (m_recno - 1) * m_recordLength + f.offset;
        if (f.type == 'C') return m_bytes.substr(at, f.width);
        if (f.type == 'I') return std::int64_t(std::int32_t(le32(m_bytes, at)));
        return Value{};
    }
    std::int64_t recno() const override { return static_cast<std::int64_t>(m_recno); }
    bool deleted() const override {
        return m_bytes.at(m_firstRecord + (m_recno - 1) * m_recordLength) == '*';
    }

    void go(std::size_t recno) { m_recno = recno; }
    bool loaded() const { return !m_fields.empty(); }

private:
    struct Field {
        std::string name;
        char type;
        int width;
        int decimals;
        std::size_t offset;
    };
    std::string m_bytes;
    std::vector<Field> m_fields;
    std::size_t m_recordLength = 0;
    std::size_t m_firstRecord = 0;
    std::size_t m_recno = 1;
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
        const char* index;
        const char* table;
        int expectedTags;
    } files[] = {
        {"calls.CDX", "calls.dbf", 3},
        {"contacts.CDX", "contacts.dbf", 3},
        {"setup.CDX", "setup.dbf", 1},
        {"types.CDX", "types.dbf", 1},
        {"FOXPRO-DB-TEST.DCX", "FOXPRO-DB-TEST.DBC", 2},
    };
    int interiorKeysChecked = 0;
    for (const auto& f : files) {
        SCOPED_TRACE(f.index);
        const std::string cdx = readFile(dir + f.index);
        FixtureTable table(dir + f.table);
        if (cdx.empty() || !table.loaded()) GTEST_SKIP() << "fixtures missing at " << dir;
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
