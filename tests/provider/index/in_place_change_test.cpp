// Record changes made in place on the mapped pages: the leaf-only path must leave exactly the pages
// the general B-tree edit leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "index_test_support.h"
#include "provider/error.h"
#include "provider/index/key_encoding.h"
#include "provider/index/page_file.h"

namespace dorvane::provider::index::test {
namespace {
namespace fs = std::filesystem;

std::string keyFor(int v, std::uint16_t length) {
    // Shared prefixes and trailing blanks, as real text keys have.
    return encodeCharacterKey("Q" + std::to_string(v % 9) + std::string(static_cast<std::size_t>(v % 4), 'z') +
                                  std::to_string(v),
                              length);
}

// The same random single-record changes applied one by one (in place where they stay inside a leaf)
// and as batches of one change plus one that changes nothing (always the general edit).
TEST(InPlaceChange, LeavesTheSamePagesAsTheGeneralEdit) {
    for (const std::uint16_t keyLength : {std::uint16_t{10}, std::uint16_t{60}}) {
        SCOPED_TRACE(keyLength);
        const fs::path dir = tempDir("inplace");
        std::vector<KeyEntry> entries;
        for (std::uint32_t r = 1; r <= 3000; ++r) entries.push_back({keyFor(static_cast<int>(r * 37 % 1500), keyLength), r});
        const TagDefinition def{"T", "x", "", keyLength, KeyType::Character};
        const fs::path single = dir / "single.cdx", general = dir / "general.cdx";
        CdxFile::create(single.string(), {{def, entries, std::nullopt}});
        fs::copy_file(single, general);
        CdxFile a = CdxFile::open(single.string(), true), b = CdxFile::open(general.string(), true);
        a.setKeyType("T", KeyType::Character);
        b.setKeyType("T", KeyType::Character);

        std::mt19937 rng(keyLength);
        std::vector<KeyEntry> live = entries;
        std::uint32_t next = 3001;
        for (int op = 0; op < 4000; ++op) {
            KeyChange change;
            // Growth first, then shrinking, so that leaves split, underfill, merge and empty.
            const bool grow = op < 2000 ? rng() % 10 < 7 : rng() % 10 < 2;
            if (grow || live.empty()) {
                change.newKey = keyFor(static_cast<int>(rng() % 2000), keyLength);
                change.recno = next++;
                live.push_back({*change.newKey, change.recno});
            } else {
                const std::size_t at = rng() % live.size();
                change.oldKey = live[at].key;
                change.recno = live[at].recno;
                if (rng() % 3 == 0) {
                    change.newKey = keyFor(static_cast<int>(rng() % 2000), keyLength);
                    live[at].key = *change.newKey;
                } else {
                    live.erase(live.begin() + static_cast<std::ptrdiff_t>(at));
                }
            }
            ASSERT_EQ(a.updateMany("T", {change}), 1u);
            ASSERT_EQ(b.updateMany("T", {change, KeyChange{std::nullopt, std::nullopt, 1}}), 1u);
            if (op % 250 == 0 || op == 3999) {
                ASSERT_EQ(readBytes(single), readBytes(general)) << "after change " << op;
                const auto problems = checkInvariants(a, "T");
                ASSERT_TRUE(problems.empty()) << problems.front();
            }
        }
        std::sort(live.begin(), live.end(), entryLess);
        EXPECT_EQ(a.entries("T"), live);
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace dorvane::provider::index::test
