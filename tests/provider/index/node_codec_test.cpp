// Node codec: FoxPro's own pages (leaves and a big-endian interior root) re-encode byte for byte; random
// leaves round-trip through the compression with any key length and record-number width; packing respects the
// 488-byte area.
#include <gtest/gtest.h>

#include <random>

#include "index_test_support.h"
#include "provider/error.h"
#include "provider/index/byte_io.h"
#include "provider/index/tree_walk.h"

namespace dorvane::provider::index::test {
namespace {

TEST(NodeCodec, FoxProPagesReencodeIdentically) {
    const char* files[] = {"calls.CDX", "contacts.CDX", "setup.CDX", "types.CDX", "FOXPRO-DB-TEST.DCX"};
    int pages = 0;
    for (const char* name : files) {
        const std::string path = (fixtureDir() / "foxprodb" / name).string();
        const CdxFile cdx = CdxFile::open(path);
        const PageFile file(path, false);
        std::vector<std::pair<std::uint32_t, NodeFormat>> roots;
        std::array<unsigned char, kPageSize> header{};
        file.read(0, header.data(), header.size());
        roots.push_back({readLe(header.data(), 4), NodeFormat{kDirectoryKeyLength, ' '}});
        for (const TagInfo& t : cdx.tags())
            roots.push_back({t.header.root, {t.keyLength(), padByteFor(t.keyType)}});
        for (auto [offset, format] : roots) {
            // Every page of the tree: children first-to-last.
            std::vector<std::uint32_t> todo{offset};
            while (!todo.empty()) {
                const std::uint32_t at = todo.back();
                todo.pop_back();
                std::array<unsigned char, kPageSize> original{}, again{};
                file.read(at, original.data(), original.size());
                const Node n = decodeNode(original.data(), at, format, name);
                encodeNode(n, format, again.data());
                // Compare the bytes that carry data: FoxPro leaves stale bytes in the unused middle.
                const std::size_t count = n.keys.size();
                std::size_t head = kInteriorEntries + count * (format.keyLength + 8u), tail = 0;
                if (n.leaf) {
                    head = kLeafArea + count * original[kLeafEntrySize];
                    tail = kLeafAreaSize - readLe(original.data() + kLeafFreeBytes, 2) -
                           count * original[kLeafEntrySize];
                }
                EXPECT_TRUE(std::equal(original.begin(), original.begin() + head, again.begin()))
                    << name << " page " << at;
                EXPECT_TRUE(std::equal(original.end() - tail, original.end(), again.end() - tail))
                    << name << " page " << at;
                ++pages;
                for (std::uint32_t c : n.children) todo.push_back(c);
            }
        }
    }
    EXPECT_GE(pages, 15);
}

TEST(NodeCodec, RandomLeavesRoundTrip) {
    std::mt19937 rng(7);
    const struct {
        std::uint16_t keyLength;
        unsigned char pad;
        std::uint32_t maxRecno;
    } cases[] = {{1, ' ', 3},         {4, 0, 255},     {8, 0, 70000},           {10, ' ', 5000},
                 {30, ' ', 1u << 24}, {148, ' ', 100}, {240, ' ', 0xFFFFFFFFu}, {240, 0, 2}};
    for (const auto& c : cases) {
        for (int round = 0; round < 40; ++round) {
            // Keys from a small alphabet with pad runs, so prefixes and trailing pads are common.
            std::vector<KeyEntry> entries;
            const int count = std::uniform_int_distribution<int>(0, 60)(rng);
            for (int i = 0; i < count; ++i) {
                std::string key(c.keyLength, static_cast<char>(c.pad));
                const int used = std::uniform_int_distribution<int>(0, c.keyLength)(rng);
                for (int j = 0; j < used; ++j)
                    key[j] = "ab\x01\xff"[std::uniform_int_distribution<int>(0, 3)(rng)];
                entries.push_back({key, std::uniform_int_distribution<std::uint32_t>(0, c.maxRecno)(rng)});
            }
            std::sort(entries.begin(), entries.end(), entryLess);
            const NodeFormat format{c.keyLength, c.pad};
            std::vector<std::size_t> starts = packLeaves(entries, format);
            starts.push_back(entries.size());
            for (std::size_t g = 0; g + 1 < starts.size(); ++g) {
                Node n;
                n.leaf = true;
                n.offset = 512;
                n.keys.assign(entries.begin() + starts[g], entries.begin() + starts[g + 1]);
                ASSERT_TRUE(nodeFits(n, format));
                std::array<unsigned char, kPageSize> page{};
                encodeNode(n, format, page.data());
                const Node back = decodeNode(page.data(), 512, format, "x");
                ASSERT_EQ(back.keys, n.keys) << "key length " << c.keyLength;
                // Free-space field agrees with the bytes the entries take.
                EXPECT_EQ(readLe(page.data() + kLeafFreeBytes, 2),
                          kLeafAreaSize - leafBytes(n.keys.data(), n.keys.data() + n.keys.size(), format));
            }
        }
    }
}

}  // namespace
}  // namespace dorvane::provider::index::test
