// The sample tables shipped in Samples/: rerunning the maker gives the committed files byte for byte
// (the header date is fixed), and they hold what the samples promise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

std::filesystem::path makerPath() {
    // The maker is built into the same bin/ folder as this test.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "dorvane-make-samples";
}

TEST(Samples, MakerRerunEqualsTheCommittedTables) {
    ASSERT_TRUE(std::filesystem::exists(makerPath())) << makerPath();
    test::TempDir dir;
    ASSERT_EQ(std::system(("'" + makerPath().string() + "' '" + dir.path().string() + "'").c_str()), 0);
    const std::filesystem::path committed = std::filesystem::path(DORVANE_SOURCE_DIR) / "Samples";
    for (const char* name : {"customers", "products", "orders"}) {
        SCOPED_TRACE(name);
        for (const char* extension : {".dbf", ".fpt"})
            EXPECT_TRUE(test::readBytes(dir / (std::string(name) + extension)) ==
                        test::readBytes(committed / (std::string(name) + extension)))
                << extension << " differs";
    }
}

TEST(Samples, TablesHoldEveryKindOfFieldTheSamplesPromise) {
    const std::filesystem::path committed = std::filesystem::path(DORVANE_SOURCE_DIR) / "Samples";
    std::set<char> types;
    bool nullable = false, someNull = false;
    for (const char* name : {"customers", "products", "orders"}) {
        auto table = Table::open(committed / (std::string(name) + ".dbf"));
        EXPECT_GE(table->recordCount(), 200u) << name;
        for (const Field& f : table->fields()) {
            types.insert(f.type);
            nullable = nullable || f.isNullable();
        }
        for (std::uint32_t r = 1; r <= table->recordCount() && !someNull; ++r)
            for (const Value& v : table->record(r)) someNull = someNull || isNull(v);
    }
    EXPECT_EQ(types, (std::set<char>{'C', 'N', 'I', 'Y', 'D', 'T', 'L', 'M'}));
    EXPECT_TRUE(nullable);
    EXPECT_TRUE(someNull);
}

}  // namespace
}  // namespace dorvane::provider
