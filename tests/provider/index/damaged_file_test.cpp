// Hostile index files: each kind of damage gives error 114 from open or from reading the tag,
// never a crash or an endless walk; random byte damage is survived the same way.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>

#include "index_test_support.h"
#include "provider/error.h"
#include "provider/index/byte_io.h"
#include "provider/index/key_encoding.h"

namespace dorvane::provider::index::test {
namespace {
namespace fs = std::filesystem;

void put32(std::string& b, std::size_t at, std::uint32_t v) {
    writeLe(reinterpret_cast<unsigned char*>(&b[at]), v, 4);
}
void put16(std::string& b, std::size_t at, std::uint32_t v) {
    writeLe(reinterpret_cast<unsigned char*>(&b[at]), v, 2);
}

// Opens and reads every tag; returns the FoxPro error number raised, or 0 when all went well.
int openAndReadAll(const fs::path& p) {
    try {
        const CdxFile cdx = CdxFile::open(p.string());
        for (const TagInfo& t : cdx.tags()) (void)cdx.entries(t.name);
        return 0;
    } catch (const ProviderError& e) {
        return e.number();
    }
}

TEST(DamagedIndex, EachKindOfDamageIsReported) {
    // The container index: an interior root at 2560 (OBJECTNAME) over leaves 4608 and 5120.
    const std::string dcx = readBytes(fixtureDir() / "foxprodb" / "FOXPRO-DB-TEST.DCX");
    constexpr std::size_t kTag = 1536, kRoot = 2560, kLeaf = 4608;
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
    } cases[] = {
        {"empty file", [](std::string& b) { b.clear(); }},
        {"cut inside the directory", [](std::string& b) { b.resize(700); }},
        {"cut inside a tag's tree", [](std::string& b) { b.resize(4608); }},
        {"cut mid page", [](std::string& b) { b.resize(5300); }},
        {"directory key length wrong", [](std::string& b) { put16(b, 12, 12); }},
        {"tag key length 0", [&](std::string& b) { put16(b, kTag + 12, 0); }},
        {"tag key length 500", [&](std::string& b) { put16(b, kTag + 12, 500); }},
        {"tag root not on a page", [&](std::string& b) { put32(b, kTag, 2561); }},
        {"tag root past the end", [&](std::string& b) { put32(b, kTag, 0x100000); }},
        {"expression pool overrun", [&](std::string& b) { put16(b, kTag + 510, 600); }},
        {"directory names a header past the end", [](std::string& b) { b[1024 + 24] = '\x7f'; }},
        {"child points to its own node", [&](std::string& b) { put32(b, kRoot + 12 + 148 + 4, 0x000A0000); }},
        {"child points to the tag header", [&](std::string& b) { b[kRoot + 12 + 148 + 6] = 0x06; }},
        {"interior node with no keys", [&](std::string& b) { put16(b, kRoot + 2, 0); }},
        {"interior count past the page", [&](std::string& b) { put16(b, kRoot + 2, 9); }},
        {"unknown attribute bits", [&](std::string& b) { put16(b, kRoot, 0x1234); }},
        {"leaf count past the area", [&](std::string& b) { put16(b, kLeaf + 2, 0xFFFF); }},
        {"leaf bit widths wider than entries", [&](std::string& b) { b[kLeaf + 20] = 30; }},
        {"leaf entry size 0", [&](std::string& b) { b[kLeaf + 23] = 0; }},
        {"leaf keys overlapping the entries",
         [&](std::string& b) {
             // Every entry claims no shared and no trailing bytes: 148 stored bytes each.
             for (std::size_t i = 0; i < 10; ++i) b[kLeaf + 24 + i * b[kLeaf + 23] + 1] = 0;
         }},
    };
    const fs::path dir = tempDir("damaged");
    for (const auto& c : cases) {
        std::string bytes = dcx;
        c.damage(bytes);
        const fs::path p = dir / "damaged.dcx";
        ::dorvane::test::writeBytes(p, bytes);
        EXPECT_EQ(openAndReadAll(p), 114) << c.what;
    }
    // The loop through the root is also refused by the editing path.
    std::string bytes = dcx;
    put32(bytes, kRoot + 12 + 148 + 4, 0x000A0000);
    ::dorvane::test::writeBytes(dir / "loop.dcx", bytes);
    EXPECT_TRUE(raises(114, [&] {
        CdxFile cdx = CdxFile::open((dir / "loop.dcx").string(), true);
        cdx.setKeyType("OBJECTNAME", KeyType::Character);
        cdx.insert("OBJECTNAME", std::string(148, ' '), 99);  // descends through the first child
    }));
    fs::remove_all(dir);
}

TEST(DamagedIndex, RandomByteDamageNeverCrashesOrHangs) {
    const std::string original = readBytes(fixtureDir() / "foxprodb" / "FOXPRO-DB-TEST.DCX");
    const fs::path dir = tempDir("fuzz");
    std::mt19937 rng(2024);
    int refused = 0, survived = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = original;
        const int hits = std::uniform_int_distribution<int>(1, 6)(rng);
        for (int h = 0; h < hits; ++h) {
            // Aim at structure: headers, node headers and entry areas.
            const std::size_t page =
                std::uniform_int_distribution<std::size_t>(0, bytes.size() / 512 - 1)(rng);
            const std::size_t at = page * 512 + std::uniform_int_distribution<std::size_t>(0, 40)(rng);
            bytes[at] = static_cast<char>(rng());
        }
        const fs::path p = dir / "fuzz.dcx";
        ::dorvane::test::writeBytes(p, bytes);
        try {
            CdxFile cdx = CdxFile::open(p.string(), true);
            for (const TagInfo& t : cdx.tags()) cdx.setKeyType(t.name, KeyType::Character);
            for (const TagInfo& t : cdx.tags()) {
                const auto entries = cdx.entries(t.name);
                EXPECT_LE(entries.size(), bytes.size());
                cdx.insert(t.name, std::string(t.keyLength(), 'q'), 77);
                (void)cdx.entries(t.name);
            }
            ++survived;
        } catch (const ProviderError&) {
            ++refused;
        }
    }
    // Both outcomes occur: damage that breaks the structure, and damage confined to key bytes.
    EXPECT_GT(refused, 50);
    EXPECT_GT(survived, 50);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dorvane::provider::index::test
