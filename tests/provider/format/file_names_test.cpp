// Case-blind lookup of a table's files, and the names given to missing companion files.
#include "provider/format/file_names.h"

#include <gtest/gtest.h>

#include <fstream>

#include "provider/error.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

TEST(FileNames, ResolveAndSiblingFindExistingFilesWhateverTheCaseAndNameMissingOnes) {
    test::TempDir dir;
    for (const char* name :
         {"CUSTOMER.DBF", "customer.fpt", "Orders.Cdx", "data.dbf", "DATA.DBF", "data.FPT"})
        std::ofstream(dir / name) << "x";
    const std::pair<std::string, std::string> resolved[] = {{"customer.dbf", "CUSTOMER.DBF"},
                                                            {"Customer.Fpt", "customer.fpt"},
                                                            {"ORDERS.CDX", "Orders.Cdx"},
                                                            {"customer", ""},
                                                            {"customer.dbf ", ""},
                                                            {"../CUSTOMER.DBF", ""},
                                                            {"", ""}};
    for (const auto& [asked, found] : resolved) {
        SCOPED_TRACE(asked);
        const auto path = resolveFileCaseInsensitive(dir.path(), asked);
        EXPECT_EQ(path.value_or(dir / ""), dir / found);
    }
    EXPECT_FALSE(resolveFileCaseInsensitive(dir / "no_such_folder", "customer.dbf").has_value());
    const struct {
        std::string table, extension, expected;
    } siblings[] = {
        {"CUSTOMER.DBF", "fpt", "customer.fpt"},   // existing, whatever its case
        {"CUSTOMER.DBF", ".cdx", "CUSTOMER.CDX"},  // missing: upper like the table's extension
        {"x.dbf", "FPT", "x.fpt"},
        {"Mixed.Dbf", "CDX", "Mixed.cdx"},
        {"noext", "fpt", "noext.fpt"},
        {"a.b.DBF", "fpt", "a.b.FPT"},
        {"data.dbf", "fpt", "data.FPT"},  // one .fpt: no doubt
    };
    for (const auto& c : siblings) {
        SCOPED_TRACE(c.table + " " + c.extension);
        EXPECT_EQ(siblingFile(dir / c.table, c.extension), dir / c.expected);
    }
    // Two names differing only in case are reported, naming both.
    for (const char* name : {"\"DATA.DBF\"", "\"data.dbf\""})
        EXPECT_TRUE(test::raises(
            FoxError::FileNameAmbiguous, [&] { resolveFileCaseInsensitive(dir.path(), "Data.dbf"); }, name));
    EXPECT_THROW(siblingFile(dir / "data.FPT", "dbf"), ProviderError);
}

}  // namespace
}  // namespace dorvane::provider
