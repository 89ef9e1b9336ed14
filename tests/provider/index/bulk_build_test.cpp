// Building whole index files from flat keys: every shape of key set comes out sorted by key then record
// number, the one-pass layout writes the pages the node codec writes (leaves split where packLeaves
// splits them), and the tags laid out on several threads report the first faulty tag.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <numeric>
#include <random>

#include "index_test_support.h"
#include "provider/error.h"
#include "provider/index/byte_io.h"
#include "provider/index/cdx_builder.h"
#include "provider/index/key_sort.h"
#include "provider/index/node.h"

namespace dorvane::provider::index::test {
namespace {
namespace fs = std::filesystem;

using Generator = std::function<std::string(std::mt19937&, std::size_t i, std::size_t n)>;

std::string digitsAfterPrefix(std::mt19937& rng, std::size_t, std::size_t) {
    return encodeCharacterKey("NAME " + std::to_string(rng() % 100003), 30);
}

// The pages of one tree, in key order: every leaf with the interior nodes above them checked on the way.
std::vector<Node> leavesOf(const std::string& image, std::uint32_t root, const NodeFormat& format) {
    std::vector<Node> leaves;
    std::vector<std::uint32_t> todo{root};
    while (!todo.empty()) {
        const std::uint32_t at = todo.back();
        todo.pop_back();
        const auto* page = reinterpret_cast<const unsigned char*>(image.data()) + at;
        Node node = decodeNode(page, at, format, "built");
        // What the node codec writes for the decoded node is the page itself, byte for byte.
        std::array<unsigned char, kPageSize> again{};
        encodeNode(node, format, again.data());
        EXPECT_TRUE(std::equal(again.begin(), again.end(), page)) << "page " << at;
        if (node.leaf) leaves.push_back(std::move(node));
        for (auto c = node.children.rbegin(); c != node.children.rend(); ++c) todo.push_back(*c);
    }
    return leaves;
}

struct BuiltTag {
    TagDefinition definition;
    std::vector<KeyEntry> expected;  // sorted, one entry per key in a unique tag
};

// Builds one file from the tags at `file` and checks every tag's pages against the node codec, its
// entries against `expected` and its key statistics.
void expectBuiltFileHolds(std::vector<TagKeys> tags, const std::vector<BuiltTag>& want,
                          const fs::path& file) {
    const std::string image = buildCdxImage(std::move(tags));
    { std::ofstream(file, std::ios::binary | std::ios::trunc) << image; }
    CdxFile cdx = CdxFile::open(file.string());
    ASSERT_EQ(cdx.tags().size(), want.size());
    for (const BuiltTag& w : want) {
        SCOPED_TRACE(w.definition.name);
        const TagDefinition& d = w.definition;
        cdx.setKeyType(d.name, d.keyType);
        const TagInfo& info = cdx.tag(d.name);
        EXPECT_EQ(cdx.entries(d.name), w.expected);
        EXPECT_TRUE(checkInvariants(cdx, d.name).empty());
        std::uint32_t distinct = 0;
        for (std::size_t i = 0; i < w.expected.size(); ++i)
            if (i == 0 || w.expected[i].key != w.expected[i - 1].key) ++distinct;
        const bool counted = d.forExpression.empty();  // FoxPro keeps no statistics for FOR tags
        EXPECT_EQ(readLe(info.header.raw.data() + kHdrKeyCount, 4), counted ? w.expected.size() : 0u);
        EXPECT_EQ(readLe(info.header.raw.data() + kHdrDistinctCount, 4), counted ? distinct : 0u);

        // Leaves split where packLeaves splits the entries.
        const NodeFormat format{d.keyLength, padByteFor(d.keyType)};
        const std::vector<Node> leaves = leavesOf(image, info.header.root, format);
        std::vector<std::size_t> starts = packLeaves(w.expected, format, kBuiltLeafFill);
        ASSERT_EQ(leaves.size(), starts.size());
        starts.push_back(w.expected.size());
        for (std::size_t i = 0; i < leaves.size(); ++i)
            EXPECT_EQ(leaves[i].keys.size(), starts[i + 1] - starts[i]) << "leaf " << i;
    }
}

TEST(BulkBuild, PagesAreWhatTheNodeCodecWritesForEveryKindOfTag) {
    const fs::path dir = tempDir("bulk");
    std::mt19937 rng(5);
    struct Case {
        const char* name;
        TagDefinition definition;
        std::size_t entries;
        std::uint32_t recnoSpread;  // record numbers drawn from 1..spread (0: 1..entries in order)
        Generator key;
    };
    const auto text = [](std::size_t length, int alphabet) {
        return [=](std::mt19937& rng, std::size_t, std::size_t) {
            std::string k(rng() % (length + 1), ' ');
            for (char& c : k) c = static_cast<char>('a' + rng() % alphabet);
            return encodeCharacterKey(k, static_cast<std::uint16_t>(length));
        };
    };
    const auto integer = [](int range) {
        return [=](std::mt19937& rng, std::size_t, std::size_t) {
            return encodeIntegerKey(int(rng() % range) - range / 2);
        };
    };
    const Case cases[] = {
        {"empty tag", {"EMPTY", "e", "", 10, KeyType::Character}, 0, 0, text(10, 3)},
        {"one entry", {"ONE", "o", "", 10, KeyType::Character}, 1, 0, text(10, 3)},
        {"names", {"NAME", "UPPER(name)", "", 30, KeyType::Character}, 60000, 0, digitsAfterPrefix},
        {"short text, many repeats", {"CODE", "code", "", 6, KeyType::Character}, 20000, 0, text(6, 2)},
        {"integers, zero padded", {"ID", "id", "", 4, KeyType::Integer}, 30000, 0, integer(100000)},
        {"wide records",
         {"WIDE", "w", "", 8, KeyType::Numeric},
         9000,
         0xFFFFFF0u,
         [](std::mt19937& rng, std::size_t, std::size_t) { return encodeDoubleKey(double(rng() % 500)); }},
        {"unique", {"UNIQ", "u", "", 12, KeyType::Character, true}, 15000, 50000, text(12, 4)},
        {"candidate",
         {"CAND", "c", "", 4, KeyType::Integer, false, true},
         5000,
         0,
         [](std::mt19937&, std::size_t i, std::size_t) {
             return encodeIntegerKey(static_cast<int>(i * 7 % 5000));
         }},
        {"longest keys", {"LONG", "l", "x > 1", 240, KeyType::Character}, 3000, 100000, text(240, 2)},
        // Shapes the sort must not shortcut: every column of the prefixes holds many bytes; keys that
        // differ in their last bytes only.
        {"few mixed prefixes",
         {"MIXED", "m", "", 20, KeyType::Character},
         70000,
         70000,
         [](std::mt19937& rng, std::size_t, std::size_t) {
             static const std::vector<std::string> prefixes = [] {
                 std::mt19937 fixed(3);
                 std::vector<std::string> v(16, std::string(12, '\0'));
                 for (std::string& p : v)
                     for (char& c : p) c = static_cast<char>(fixed());
                 return v;
             }();
             std::string k = prefixes[rng() % prefixes.size()];
             for (int j = 0; j < 8; ++j) k += static_cast<char>('A' + rng() % 26);
             return k;
         }},
        {"differences at the end",
         {"END", "e", "", 100, KeyType::Character},
         70000,
         70000,
         [](std::mt19937& rng, std::size_t, std::size_t) {
             std::string k(100, 'x');
             for (std::size_t j = 90; j < 100; ++j) k[j] = static_cast<char>(rng() % 4);
             return k;
         }},
    };
    std::vector<TagKeys> tags;
    std::vector<BuiltTag> want;
    for (const Case& c : cases) {
        TagKeys t{c.definition, FlatKeys(c.definition.keyLength), std::nullopt};
        BuiltTag w{c.definition, {}};
        for (std::size_t i = 0; i < c.entries; ++i) {
            const std::uint32_t recno =
                c.recnoSpread ? 1 + rng() % c.recnoSpread : static_cast<std::uint32_t>(i + 1);
            const std::string key = c.key(rng, i, c.entries);
            t.keys.add(key, recno);
            w.expected.push_back({key, recno});
        }
        std::sort(w.expected.begin(), w.expected.end(), entryLess);
        if (c.definition.unique)
            w.expected.erase(std::unique(w.expected.begin(), w.expected.end(),
                                         [](const KeyEntry& a, const KeyEntry& b) { return a.key == b.key; }),
                             w.expected.end());
        tags.push_back(std::move(t));
        want.push_back(std::move(w));
    }
    expectBuiltFileHolds(std::move(tags), want, dir / "all.cdx");

    // Enough tags for a directory of several leaves under an interior root.
    tags.clear();
    want.clear();
    for (int i = 0; i < 90; ++i) {
        const TagDefinition d{"TAG" + std::to_string(i * 37 % 90), "f", "", 4, KeyType::Integer};
        TagKeys t{d, FlatKeys(4), std::nullopt};
        t.keys.add(encodeIntegerKey(i), 1);
        tags.push_back(std::move(t));
        want.push_back({d, {{encodeIntegerKey(i), 1}}});
    }
    expectBuiltFileHolds(std::move(tags), want, dir / "many.cdx");
    fs::remove_all(dir);
}

TEST(BulkBuild, TheFirstFaultyTagDecidesTheError) {
    struct Tag {
        const char* name;
        bool candidate;
        std::size_t entries;
        int repeatAt;  // the entry whose key repeats the first one (-1: none)
    };
    // Big tags, so they are laid out on several threads; the error is the first faulty tag's.
    const struct {
        const char* what;
        std::vector<Tag> tags;
        int error;
        std::string names;
    } cases[] = {
        {"candidate repeats before a bad name",
         {{"FINE", true, 80000, -1}, {"TWICE", true, 80000, 70000}, {"", false, 10, -1}},
         1884,
         "TWICE"},
        {"bad name before candidate repeats",
         {{"FINE", false, 80000, -1}, {"ELEVENCHARS", false, 10, -1}, {"TWICE", true, 80000, 3}},
         1712,
         ""},
        {"two candidates repeat", {{"FIRST", true, 90000, 89999}, {"SECOND", true, 10, 5}}, 1884, "FIRST"},
    };
    for (const auto& c : cases) {
        std::vector<TagKeys> tags;
        for (const Tag& t : c.tags) {
            tags.push_back(
                {{t.name, "k", "", 4, KeyType::Integer, false, t.candidate}, FlatKeys(4), std::nullopt});
            for (std::size_t i = 0; i < t.entries; ++i)
                tags.back().keys.add(
                    encodeIntegerKey(static_cast<int>(i) == t.repeatAt ? 0 : static_cast<int>(i)),
                    static_cast<std::uint32_t>(i + 1));
        }
        EXPECT_TRUE(raises(
            c.error, [&] { buildCdxImage(std::move(tags)); }, c.names))
            << c.what;
    }
}

}  // namespace
}  // namespace dorvane::provider::index::test
