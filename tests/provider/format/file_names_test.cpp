// Case-blind lookup of a table's files, and the names given to missing companion files.
#include "provider/format/file_names.h"

#include <gtest/gtest.h>

#include <fstream>

#include "provider/error.h"
#include "tests/support/raises.h"

namespace dorvane::provider {
namespace {

namespace fs = std::filesystem;

class FileNamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("dorvane_names_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    void touch(const std::string& name) { std::ofstream(m_dir / name) << "x"; }

    fs::path m_dir;
};

TEST_F(FileNamesTest, ResolvesWhateverTheCase) {
    touch("CUSTOMER.DBF");
    touch("customer.fpt");
    touch("Orders.Cdx");
    const std::pair<std::string, std::string> cases[] = {
        {"customer.dbf", "CUSTOMER.DBF"}, {"CUSTOMER.DBF", "CUSTOMER.DBF"}, {"Customer.Fpt", "customer.fpt"},
        {"ORDERS.CDX", "Orders.Cdx"},     {"orders.cdx", "Orders.Cdx"},
    };
    for (const auto& [asked, found] : cases) {
        SCOPED_TRACE(asked);
        const auto path = resolveFileCaseInsensitive(m_dir, asked);
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(*path, m_dir / found);
    }
    for (const std::string absent : {"customer", "customer.db", "customer.dbf ", "../CUSTOMER.DBF", ""})
        EXPECT_FALSE(resolveFileCaseInsensitive(m_dir, absent).has_value()) << absent;
    EXPECT_FALSE(resolveFileCaseInsensitive(m_dir / "no_such_folder", "customer.dbf").has_value());
}

TEST_F(FileNamesTest, TwoNamesDifferingOnlyInCaseAreReported) {
    touch("data.dbf");
    touch("DATA.DBF");
    touch("data.FPT");
    for (const char* name : {"\"DATA.DBF\"", "\"data.dbf\""})
        EXPECT_TRUE(::dorvane::test::raises(FoxError::FileNameAmbiguous,
                                            [&] { resolveFileCaseInsensitive(m_dir, "Data.dbf"); }, name));
    EXPECT_THROW(siblingFile(m_dir / "data.FPT", "dbf"), ProviderError);
    EXPECT_EQ(siblingFile(m_dir / "data.dbf", "fpt"), m_dir / "data.FPT");  // one .fpt: no doubt
}

TEST_F(FileNamesTest, SiblingFindsTheExistingFileOrNamesTheNewOne) {
    touch("CUSTOMER.DBF");
    touch("customer.fpt");
    const struct {
        std::string table, extension, expected;
    } cases[] = {
        {"CUSTOMER.DBF", "fpt", "customer.fpt"},   // existing, whatever its case
        {"CUSTOMER.DBF", ".cdx", "CUSTOMER.CDX"},  // missing: upper like the table's extension
        {"x.dbf", "fpt", "x.fpt"},
        {"x.dbf", "FPT", "x.fpt"},
        {"Mixed.Dbf", "CDX", "Mixed.cdx"},
        {"noext", "fpt", "noext.fpt"},
        {"a.b.DBF", "fpt", "a.b.FPT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table + " " + c.extension);
        EXPECT_EQ(siblingFile(m_dir / c.table, c.extension), m_dir / c.expected);
    }
}

}  // namespace
}  // namespace dorvane::provider
