// In-place tag maintenance: randomised inserts, deletes and updates checked against a model after
// every batch, with the B-tree invariants verified; uniqueness rules; free-page reuse.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "index_test_support.h"
#include "provider/error.h"
#include "provider/index/byte_io.h"
#include "provider/index/key_encoding.h"
#include "provider/index/tree_walk.h"
#include "tests/support/fault_file_system.h"

namespace dorvane::provider::index::test {
namespace {
namespace fs = std::filesystem;

using Model = std::multimap<std::string, std::uint32_t>;

std::vector<KeyEntry> modelEntries(const Model& model) {
    std::vector<KeyEntry> out;
    for (const auto& [k, r] : model) out.push_back({k, r});
    std::sort(out.begin(), out.end(), entryLess);
    return out;
}

// A file of one tag built by us, for trees of any shape.
fs::path makeIndex(const fs::path& dir, const TagDefinition& def, std::vector<KeyEntry> entries = {}) {
    const fs::path p = dir / "made.cdx";
    CdxFile::create(p.string(), {{def, std::move(entries), std::nullopt}});
    return p;
}

struct RandomRun {
    const char* label;
    std::uint16_t keyLength;
    KeyType type;
    int keySpace;    // distinct key values drawn from
    int operations;  // per batch
    int batches;
    int minHeight;  // levels the tree must reach at its largest
};

int treeHeight(const CdxFile& cdx, const std::string& tagName) {
    const TagInfo& t = cdx.tag(tagName);
    const PageFile file(cdx.path(), false);
    const NodeFormat format{t.keyLength(), padByteFor(t.keyType)};
    int height = 1;
    for (Node n = loadNode(file, t.header.root, format); !n.leaf; n = loadNode(file, n.children[0], format))
        ++height;
    return height;
}

std::string randomKey(std::mt19937& rng, const RandomRun& run) {
    const int v = std::uniform_int_distribution<int>(0, run.keySpace - 1)(rng);
    if (run.type == KeyType::Integer) return encodeIntegerKey(v - run.keySpace / 2);
    if (run.type == KeyType::Numeric) return encodeDoubleKey((v - run.keySpace / 2) * 0.25);
    // Character: shared prefixes and trailing blanks exercise leaf compression.
    std::string s =
        "K" + std::to_string(v % 7) + std::string(static_cast<std::size_t>(v % 5), 'x') + std::to_string(v);
    return encodeCharacterKey(s, run.keyLength);
}

// Runs batches of random changes on `tagName`, checking model equality and invariants per batch.
void runRandomBatches(CdxFile& cdx, const std::string& tagName, Model model, const RandomRun& run,
                      unsigned seed) {
    std::mt19937 rng(seed);
    int maxHeight = 0;
    const std::uint32_t root = cdx.tag(tagName).header.root;
    std::uint32_t nextRecno = 1;
    for (const auto& [k, r] : model) nextRecno = std::max(nextRecno, r + 1);
    for (int batch = 0; batch < run.batches; ++batch) {
        for (int op = 0; op < run.operations; ++op) {
            const int what = std::uniform_int_distribution<int>(0, 9)(rng);
            // Lean towards growth in the first half and shrinking in the second, to reach both
            // node splits and node removal with root collapse.
            const bool growing = batch < run.batches / 2;
            if (model.empty() || what < (growing ? 8 : 1)) {
                const std::string key = randomKey(rng, run);
                // Large record numbers now and then widen the leaf entries.
                const std::uint32_t recno = what == 0 ? nextRecno + 70000 : nextRecno;
                nextRecno = recno + 1;
                ASSERT_TRUE(cdx.insert(tagName, key, recno));
                model.emplace(key, recno);
            } else {
                auto it = model.begin();
                std::advance(it, std::uniform_int_distribution<std::size_t>(0, model.size() - 1)(rng));
                const auto [key, recno] = *it;
                model.erase(it);
                if (what < 9) {
                    ASSERT_TRUE(cdx.remove(tagName, key, recno));
                } else {
                    const std::string newKey = randomKey(rng, run);
                    cdx.update(tagName, key, newKey, recno);
                    model.emplace(newKey, recno);
                }
            }
        }
        const auto problems = checkInvariants(cdx, tagName);
        ASSERT_TRUE(problems.empty()) << run.label << " batch " << batch << ": " << problems.front();
        ASSERT_EQ(cdx.entries(tagName), modelEntries(model)) << run.label << " batch " << batch;
        maxHeight = std::max(maxHeight, treeHeight(cdx, tagName));
        ASSERT_EQ(CdxFile::open(cdx.path()).tag(tagName).header.root, root) << "the root page moved";
        // Header statistics: key count and distinct keys, as a fresh open reads them.
        std::set<std::string> distinct;
        for (const auto& [k, r] : model) distinct.insert(k);
        const CdxFile fresh = CdxFile::open(cdx.path());
        const auto& raw = fresh.tag(tagName).header.raw;
        ASSERT_EQ(readLe(raw.data() + kHdrKeyCount, 4), model.size()) << run.label << " batch " << batch;
        ASSERT_EQ(readLe(raw.data() + kHdrDistinctCount, 4), distinct.size())
            << run.label << " batch " << batch;
    }
    // The runs are sized to grow trees several levels high; emptying the tag brings it back to one
    // empty root leaf with every other page on the free list.
    EXPECT_GE(maxHeight, run.minHeight) << run.label;
    for (const auto& [key, recno] : model) ASSERT_TRUE(cdx.remove(tagName, key, recno));
    EXPECT_TRUE(cdx.entries(tagName).empty());
    EXPECT_EQ(treeHeight(cdx, tagName), 1);
    const auto problems = checkInvariants(cdx, tagName);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(BTreeUpdate, RandomChangesKeepTreesSoundOnBuiltFiles) {
    const RandomRun runs[] = {
        {"integer", 4, KeyType::Integer, 50, 400, 8, 2},
        {"double", 8, KeyType::Numeric, 400, 300, 8, 2},
        {"short text", 12, KeyType::Character, 300, 200, 8, 2},
        {"long text: 4 keys per interior node", 100, KeyType::Character, 1000, 120, 10, 3},
        {"widest keys", 240, KeyType::Character, 2000, 60, 8, 4},
    };
    unsigned seed = 1;
    for (const RandomRun& run : runs) {
        SCOPED_TRACE(run.label);
        const fs::path dir = tempDir("rand");
        TagDefinition def{"T", "x", "", run.keyLength, run.type};
        const fs::path p = makeIndex(dir, def);
        CdxFile cdx = CdxFile::open(p.string(), true);
        cdx.setKeyType("T", run.type);
        runRandomBatches(cdx, "T", {}, run, seed++);
        fs::remove_all(dir);
    }
}

TEST(BTreeUpdate, EmptiedPagesAreReusedFromTheFreeList) {
    const fs::path dir = tempDir("free");
    TagDefinition def{"T", "x", "", 100, KeyType::Character};
    const fs::path p = makeIndex(dir, def);
    CdxFile cdx = CdxFile::open(p.string(), true);
    cdx.setKeyType("T", KeyType::Character);
    const auto fill = [&] {
        for (std::uint32_t r = 1; r <= 60; ++r)
            cdx.insert("T", encodeCharacterKey("key" + std::to_string(r * 7919 % 61), 100), r);
    };
    fill();
    const auto grown = fs::file_size(p);
    for (const KeyEntry& e : cdx.entries("T")) ASSERT_TRUE(cdx.remove("T", e.key, e.recno));
    EXPECT_TRUE(cdx.entries("T").empty());
    EXPECT_TRUE(checkInvariants(cdx, "T").empty());
    fill();
    EXPECT_EQ(fs::file_size(p), grown);
    EXPECT_TRUE(checkInvariants(cdx, "T").empty());
    fs::remove_all(dir);
}

TEST(BTreeUpdate, BatchIsWrittenWholeOrNotAtAll) {
    const fs::path dir = tempDir("batch");
    TagDefinition def{"ID", "id", "", 4, KeyType::Integer, false, /*candidate=*/true};
    const fs::path p = makeIndex(dir, def);
    CdxFile cdx = CdxFile::open(p.string(), true);
    // Until the key type is known the tag is not changed at all.
    EXPECT_TRUE(raises(1999, [&] { cdx.insert("ID", encodeIntegerKey(99), 99); }));
    cdx.setKeyType("ID", KeyType::Integer);
    std::vector<KeyChange> adds;
    for (std::uint32_t r = 1; r <= 3000; ++r)
        adds.push_back({std::nullopt, encodeIntegerKey(static_cast<int>(r * 37 % 3001)), r});
    EXPECT_EQ(cdx.updateMany("ID", adds), 3000u);
    EXPECT_EQ(cdx.entries("ID").size(), 3000u);
    EXPECT_TRUE(checkInvariants(cdx, "ID").empty());

    // Record 1 gives its key away before record 2 takes it: fine in this order.
    const std::string k1 = encodeIntegerKey(37), k2 = encodeIntegerKey(74);
    EXPECT_EQ(cdx.updateMany("ID", {{k1, encodeIntegerKey(-1), 1}, {k2, k1, 2}}), 2u);
    EXPECT_EQ(cdx.seek("ID", k1)->recno, 2u);
    // The other way round the second change collides: nothing of the batch reaches the file.
    const std::string before = readBytes(p);
    std::vector<KeyChange> bad;
    for (std::uint32_t r = 4000; r < 4100; ++r)
        bad.push_back({std::nullopt, encodeIntegerKey(static_cast<int>(r)), r});
    bad.push_back({std::nullopt, k1, 5000});
    EXPECT_TRUE(raises(1884, [&] { cdx.updateMany("ID", bad); }));
    EXPECT_EQ(readBytes(p), before);
    EXPECT_EQ(cdx.entries("ID").size(), 3000u);
    fs::remove_all(dir);
}

TEST(BTreeUpdate, FreeListNamingALivePageIsNotTrusted) {
    const fs::path dir = copyFoxproDb("badfree");
    const fs::path p = dir / "FOXPRO-DB-TEST.DCX";
    // Point the free list at a live leaf of OBJECTNAME.
    std::string bytes = readBytes(p);
    bytes[4] = 0x00;
    bytes[5] = 0x12;  // 4608
    { std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes; }
    CdxFile cdx = CdxFile::open(p.string(), true);
    cdx.setKeyType("OBJECTTYPE", KeyType::Character);
    cdx.setKeyType("OBJECTNAME", KeyType::Character);
    const auto names = cdx.entries("OBJECTNAME");
    for (std::uint32_t r = 100; r < 160; ++r)
        cdx.insert("OBJECTTYPE", encodeCharacterKey("x" + std::to_string(r), 20), r);
    EXPECT_EQ(cdx.entries("OBJECTNAME"), names);
    EXPECT_TRUE(checkInvariants(cdx, "OBJECTTYPE").empty());
    EXPECT_TRUE(checkInvariants(cdx, "OBJECTNAME").empty());
    fs::remove_all(dir);
}

// A write failing part-way through a change (full disk): the error reaches the caller, the file still
// opens, its tag reads whole or is refused with 114, and a rebuild brings it back.
TEST(BTreeUpdate, FailedWritesLeaveAFileThatOpensAndRebuilds) {
    const fs::path dir = tempDir("fault");
    TagDefinition def{"K", "k", "", 100, KeyType::Character};
    // Keys that hardly compress: four to a leaf, four to an interior node.
    const auto key = [](const std::string& head, std::uint32_t seed) {
        std::string k = head;
        for (std::uint32_t x = seed * 2654435761u; k.size() < 100; x = x * 1103515245u + 12345u)
            k += static_cast<char>('a' + (x >> 16) % 26);
        return k;
    };
    std::vector<KeyEntry> entries;
    for (std::uint32_t r = 1; r <= 40; ++r) entries.push_back({key("k" + std::to_string(r * 13 % 41), r), r});
    const fs::path p = makeIndex(dir, def, entries);
    const std::string pristine = readBytes(p);
    std::sort(entries.begin(), entries.end(), entryLess);
    // Many inserts at one place split leaves and interior nodes (4 entries each) in one batch.
    std::vector<KeyChange> batch;
    for (std::uint32_t r = 100; r < 140; ++r)
        batch.push_back({std::nullopt, key("k2" + std::to_string(r), r), r});
    int failures = 0;
    for (int allowed = 0;; ++allowed) {
        { std::ofstream(p, std::ios::binary | std::ios::trunc) << pristine; }
        CdxFile cdx = CdxFile::open(p.string(), true);
        cdx.setKeyType("K", KeyType::Character);
        failAfterFileOperationsForTests(allowed, true);
        try {
            cdx.updateMany("K", batch);
        } catch (const ProviderError& e) {
            setFileSystem(nullptr);
            EXPECT_EQ(e.number(), 1705);
            ++failures;
            if (allowed == 0) {
                EXPECT_EQ(readBytes(p), pristine);
            }
            CdxFile after = CdxFile::open(p.string(), true);
            after.setKeyType("K", KeyType::Character);
            try {
                (void)after.entries("K");
            } catch (const ProviderError& e2) {  // read whole, or refused as damaged
                EXPECT_EQ(e2.number(), 114);
            }
            after.rebuildTag("K", entries);
            EXPECT_EQ(after.entries("K"), entries);
            EXPECT_TRUE(checkInvariants(after, "K").empty());
            continue;
        }
        setFileSystem(nullptr);
        EXPECT_EQ(cdx.entries("K").size(), entries.size() + batch.size());
        break;
    }
    EXPECT_GT(failures, 10);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dorvane::provider::index::test
