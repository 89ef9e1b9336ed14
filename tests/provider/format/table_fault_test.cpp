// A file layer that fails the Nth write, sync or rename: after each failure the change either did not
// happen (the .dbf is byte for byte as before) or completed, and the table still opens and reads.
#include <gtest/gtest.h>

#include "provider/error.h"
#include "provider/format/table.h"
#include "table_test_support.h"
#include "tests/support/fault_file_system.h"

namespace dorvane::provider {
namespace {

using test::fieldSpec;

struct Operation {
    const char* name;
    std::function<void(Table&)> run;
    bool structural;
};

TEST(TableFault, FailingTheNthFileOperationLeavesTheTableBeforeOrAfter) {
    test::TempDir original;
    {
        auto table = Table::create(
            original / "f.dbf",
            {fieldSpec("NAME", 'C', 8), fieldSpec("QTY", 'I', 0, 0, true), fieldSpec("NOTES", 'M')});
        for (int i = 0; i < 5; ++i)
            table->append({{0, "n" + std::to_string(i)}, {1, std::int64_t{i}}, {2, std::string("memo")}});
    }
    const std::vector<Operation> operations = {
        {"append",
         [](Table& t) {
             t.append({{0, std::string("new")}, {2, std::string(200, 'm')}});
         },
         false},
        {"update",
         [](Table& t) {
             t.update(2, {{0, std::string("upd")}, {2, std::string(300, 'u')}});
         },
         false},
        {"update with a memo that fits its old blocks",
         [](Table& t) {
             t.update(2, {{0, std::string("upd")}, {2, std::string("mine")}});
         },
         false},
        {"delete", [](Table& t) { t.setDeleted(3, true); }, false},
        {"add field", [](Table& t) { t.addField(fieldSpec("EXTRA", 'N', 4)); }, true},
        {"drop field", [](Table& t) { t.dropField("QTY"); }, true},
    };
    for (const Operation& op : operations) {
        for (long failAt = 0; failAt < 30; ++failAt) {
            SCOPED_TRACE(std::string(op.name) + ", failing operation " + std::to_string(failAt));
            test::TempDir dir;
            std::filesystem::copy_file(original / "f.dbf", dir / "f.dbf");
            std::filesystem::copy_file(original / "f.fpt", dir / "f.fpt");
            const std::string before = test::readBytes(dir / "f.dbf");
            bool failed = false;
            {
                auto table = Table::open(dir / "f.dbf", OpenMode::Exclusive);
                failAfterFileOperationsForTests(failAt);
                try {
                    op.run(*table);
                } catch (const ProviderError& e) {
                    failed = true;
                    EXPECT_EQ(e.code(), FoxError::FileAccessDenied);
                }
                failAfterFileOperationsForTests(-1);
                if (failed && !op.structural) {
                    EXPECT_TRUE(test::readBytes(dir / "f.dbf") == before);
                    // Each record keeps its old memo with its old fields.
                    auto reread = Table::open(original / "f.dbf");
                    for (std::uint32_t r = 1; r <= reread->recordCount(); ++r)
                        EXPECT_EQ(table->record(r), reread->record(r)) << "record " << r;
                }
                // The open table is still usable after the failure.
                std::vector<Value> row;
                for (std::uint32_t r = 1; r <= table->recordCount(); ++r) table->readRecord(r, row);
            }
            auto reopened = Table::open(dir / "f.dbf");
            const int fields = reopened->fieldCount();
            if (failed && op.structural) EXPECT_TRUE(test::readBytes(dir / "f.dbf") == before);
            EXPECT_TRUE(fields == 3 || (op.structural && !failed));
            std::vector<Value> row;
            for (std::uint32_t r = 1; r <= reopened->recordCount(); ++r) reopened->readRecord(r, row);
            if (!failed) break;  // every later failure point lies past the end of the operation
        }
    }
}

}  // namespace
}  // namespace dorvane::provider
