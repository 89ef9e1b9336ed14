// The sample tables shipped in Samples/: rerunning the maker gives the committed files byte for byte
// (the header date is fixed).
#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
}  // namespace dorvane::provider
