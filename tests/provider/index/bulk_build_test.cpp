// Building whole index files from flat keys: the sort agrees with comparing keys then record numbers
// for every shape of key set, the one-pass layout writes the pages the node codec writes (leaves split
// where packLeaves splits them), and the tags laid out on several threads report the first faulty tag.
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

struct KeyShape {
    const char* name;
    std::uint16_t keyLength;
    Generator key;
};

std::string digitsAfterPrefix(std::mt19937& rng, std::size_t, std::size_t) {
    return encodeCharacterKey("NAME " + std::to_string(rng() % 100003), 30);
}

const std::vector<KeyShape>& keyShapes() {
    static const std::vector<KeyShape> shapes = {
        {"random bytes", 12,
         [](std::mt19937& rng, std::size_t, std::size_t) {
             std::string k(12, '\0');
             for (char& c : k) c = static_cast<char>(rng());
             return k;
         }},
        {"digits after a shared prefix", 30, digitsAfterPrefix},
        {"few mixed prefixes, then letters", 20,
         [](std::mt19937& rng, std::size_t, std::size_t) {
             // Every column holds many different bytes, so no one integer holds enough of them to
             // tell keys of the same prefix apart.
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
        {"differences only at the end", 100,
         [](std::mt19937& rng, std::size_t, std::size_t) {
             std::string k(100, 'x');
             for (std::size_t j = 90; j < 100; ++j) k[j] = static_cast<char>(rng() % 4);
             return k;
         }},
        {"one key for all", 8,
         [](std::mt19937&, std::size_t, std::size_t) { return std::string("SAMEDATE"); }},
        {"few keys", 4,
         [](std::mt19937& rng, std::size_t, std::size_t) { return encodeIntegerKey(rng() % 5); }},
        {"ascending with repeats", 4,
         [](std::mt19937&, std::size_t i, std::size_t) { return encodeIntegerKey(static_cast<int>(i / 3)); }},
        {"descending", 8,
         [](std::mt19937&, std::size_t i, std::size_t n) { return encodeDoubleKey(double(n - i) * 0.5); }},
    };
    return shapes;
}

std::vector<std::pair<std::string, std::uint32_t>> entriesInOrder(const FlatKeys& keys,
                                                                  const std::vector<std::uint32_t>& order) {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    for (std::uint32_t i : order) out.emplace_back(std::string(keys.keyText(i)), keys.recnos[i]);
    return out;
}

TEST(KeySort, OrdersLikeComparingKeysThenRecordNumbers) {
    std::mt19937 rng(11);
    for (const KeyShape& shape : keyShapes()) {
        for (const std::size_t n : {0u, 1u, 2u, 63u, 64u, 65u, 700u, 70000u}) {
            for (const bool shuffledRecords : {false, true}) {
                SCOPED_TRACE(std::string(shape.name) + ", " + std::to_string(n) + " keys" +
                             (shuffledRecords ? ", records shuffled" : ""));
                FlatKeys keys(shape.keyLength);
                std::vector<std::uint32_t> recnos(n);
                std::iota(recnos.begin(), recnos.end(), 1u);
                if (shuffledRecords) std::shuffle(recnos.begin(), recnos.end(), rng);
                for (std::size_t i = 0; i < n; ++i) keys.add(shape.key(rng, i, n), recnos[i]);

                std::vector<std::uint32_t> expected(n);
                std::iota(expected.begin(), expected.end(), 0u);
                std::sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
                    const int c = keys.keyText(a).compare(keys.keyText(b));
                    return c != 0 ? c < 0 : keys.recnos[a] < keys.recnos[b];
                });
                const std::vector<std::uint32_t> order = sortedOrder(keys);
                ASSERT_EQ(order.size(), n);
                EXPECT_EQ(entriesInOrder(keys, order), entriesInOrder(keys, expected));
            }
        }
    }
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
    const auto tag = [](const char* name, bool candidate, std::size_t entries, int repeatAt) {
        TagKeys t{{name, "k", "", 4, KeyType::Integer, false, candidate}, FlatKeys(4), std::nullopt};
        for (std::size_t i = 0; i < entries; ++i)
            t.keys.add(encodeIntegerKey(static_cast<int>(i) == repeatAt ? 0 : static_cast<int>(i)),
                       static_cast<std::uint32_t>(i + 1));
        return t;
    };
    // Big tags, so they are laid out on several threads; the error is the first faulty tag's.
    const struct {
        const char* what;
        std::function<std::vector<TagKeys>()> tags;
        int error;
        std::string names;
    } cases[] = {
        {"candidate repeats before a bad name",
         [&] {
             std::vector<TagKeys> v;
             v.push_back(tag("FINE", true, 80000, -1));
             v.push_back(tag("TWICE", true, 80000, 70000));
             v.push_back(tag("", false, 10, -1));
             return v;
         },
         1884, "TWICE"},
        {"bad name before candidate repeats",
         [&] {
             std::vector<TagKeys> v;
             v.push_back(tag("FINE", false, 80000, -1));
             v.push_back(tag("ELEVENCHARS", false, 10, -1));
             v.push_back(tag("TWICE", true, 80000, 3));
             return v;
         },
         1712, ""},
        {"two candidates repeat",
         [&] {
             std::vector<TagKeys> v;
             v.push_back(tag("FIRST", true, 90000, 89999));
             v.push_back(tag("SECOND", true, 10, 5));
             return v;
         },
         1884, "FIRST"},
    };
    for (const auto& c : cases) EXPECT_TRUE(raises(c.error, [&] { buildCdxImage(c.tags()); }, c.names)) << c.what;
}

}  // namespace
}  // namespace dorvane::provider::index::test
