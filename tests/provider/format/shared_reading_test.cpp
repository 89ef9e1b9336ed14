// Reading a table while another user writes it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "provider/file_system.h"
#include "provider/format/page_cache.h"
#include "provider/format/table.h"
#include "tests/provider/format/table_test_support.h"

using namespace dorvane::provider;
using namespace dorvane::provider::test;

namespace {

// The real file system, except that the first read after `arm` lets another user append first.
class AppendBeforeRead final : public RealFileSystem {
public:
    std::function<void()> arm;
    ssize_t pread(int fd, void* buffer, std::size_t length, off_t offset) override {
        if (arm) std::exchange(arm, nullptr)();
        return RealFileSystem::pread(fd, buffer, length, offset);
    }
};

}  // namespace

TEST(SharedReading, ATableOpenedWhileAnotherUserAppendsIsWhole) {
    TempDir dir;
    Table::create(dir / "t.dbf", {fieldSpec("N", 'I')});
    auto other = Table::open(dir / "t.dbf", OpenMode::Shared);
    AppendBeforeRead files;
    files.arm = [&] { other->appendValues({std::int64_t{7}}); };
    setFileSystem(&files);
    std::unique_ptr<Table> table;
    EXPECT_NO_THROW(table = Table::open(dir / "t.dbf", OpenMode::Shared));  // between its size and header
    setFileSystem(nullptr);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->recordCount(), 1u);
}

TEST(SharedReading, ARecordAcrossTwoCachedPagesIsReadAllAtOneMoment) {
    TempDir dir;
    constexpr std::size_t kBoundary = PageCache::kPageSize;
    File file = File::create(dir / "f.dbf");
    const std::string before(2 * kBoundary, 'a');
    file.writeAt(0, before.data(), before.size());
    PageCache cache(&file);
    char byte;
    ASSERT_TRUE(cache.read(kBoundary + 100, 1, &byte));  // the second page is now held

    // Another user rewrites a record that straddles the two pages.
    File other = File::openExisting(dir / "f.dbf", true);
    other.writeAt(kBoundary - 8, "bbbbbbbbbbbbbbbb", 16);

    char record[16];
    ASSERT_TRUE(cache.read(kBoundary - 8, sizeof record, record));
    EXPECT_EQ(std::string(record, sizeof record), std::string(16, 'b'));
}
