// Node codec: FoxPro's own pages (leaves and a big-endian interior root) re-encode byte for byte. (Pages of
// every kind of built tag round-trip through the codec in tests/provider/index/bulk_build_test.cpp.)
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace dorvane::provider::index::test
