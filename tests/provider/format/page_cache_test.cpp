// Reading through the page cache while another user writes the file.
#include "provider/format/page_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/provider/format/table_test_support.h"

using namespace dorvane::provider;

TEST(PageCache, ARangeAcrossPagesIsReadAllAtOneMoment) {
    test::TempDir dir;
    constexpr std::size_t kBoundary = PageCache::kPageSize;
    File file = File::create(dir.path() / "f.dbf");
    const std::string before(2 * kBoundary, 'a');
    file.writeAt(0, before.data(), before.size());
    PageCache cache(&file);
    char byte;
    ASSERT_TRUE(cache.read(kBoundary + 100, 1, &byte));  // the second page is now held

    // Another user rewrites a record that straddles the two pages.
    File other = File::openExisting(dir.path() / "f.dbf", true);
    other.writeAt(kBoundary - 8, "bbbbbbbbbbbbbbbb", 16);

    char record[16];
    ASSERT_TRUE(cache.read(kBoundary - 8, sizeof record, record));
    EXPECT_EQ(std::string(record, sizeof record), std::string(16, 'b'));
}
