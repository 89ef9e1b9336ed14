// Crash safety: a child process changes a table's structure and then rewrites its records, and is
// killed after every possible number of file operations. The table must always open afterwards with
// the old or the new structure and every record either before or after its update.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "provider/error.h"
#include "tests/support/fault_file_system.h"
#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

using test::fieldSpec;

constexpr int kRecords = 12;

std::string oldNote(int i) {
    return "note " + std::to_string(i);
}
std::string newNote(int i) {
    return std::string(150, static_cast<char>('a' + i));
}  // needs fresh blocks

void makeTable(const std::filesystem::path& path) {
    auto table =
        Table::create(path, {fieldSpec("NAME", 'C', 10), fieldSpec("QTY", 'I', 0, 0, true), fieldSpec("NOTES", 'M')});
    for (int i = 0; i < kRecords; ++i)
        table->append({{0, "old" + std::to_string(i)}, {1, std::int64_t{i}}, {2, oldNote(i)}});
    table->setDeleted(3, true);
}

// In the child: the change and the run of updates, killed by the file layer after `operations`.
[[noreturn]] void runChild(const std::filesystem::path& path, long operations) {
    try {
        auto table = Table::open(path, OpenMode::Exclusive);
        killAfterFileOperationsForTests(operations);
        table->addField(fieldSpec("EXTRA", 'C', 4, 0, true));
        for (int i = 0; i < kRecords; ++i)
            table->update(static_cast<std::uint32_t>(i + 1), {{0, "new" + std::to_string(i)},
                                                              {1, std::int64_t{1000 + i}},
                                                              {2, newNote(i)},
                                                              {3, std::string("done")}});
        table->setDeleted(3, false);
        killAfterFileOperationsForTests(-1);
        ::_exit(0);
    } catch (...) {
        ::_exit(2);
    }
}

TEST(TableCrash, KilledAtAnyFileOperationLeavesOldOrNewRecords) {
    test::TempDir original;
    makeTable(original / "crash.dbf");
    int completedAt = -1;
    for (long operations = 0; operations < 400 && completedAt < 0; ++operations) {
        SCOPED_TRACE("killed after " + std::to_string(operations) + " operations");
        test::TempDir dir;
        const auto path = dir / "crash.dbf";
        std::filesystem::copy_file(original / "crash.dbf", path);
        std::filesystem::copy_file(original / "crash.fpt", dir / "crash.fpt");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) runChild(path, operations);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status)) {
            ASSERT_EQ(WEXITSTATUS(status), 0) << "the child failed instead of being killed";
            completedAt = static_cast<int>(operations);
        } else {
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        }

        std::unique_ptr<Table> table;
        ASSERT_NO_THROW(table = Table::open(path, OpenMode::Exclusive));
        ASSERT_EQ(table->recordCount(), static_cast<std::uint32_t>(kRecords));
        const bool changed = table->fieldCount() == 4;
        ASSERT_TRUE(changed || table->fieldCount() == 3);
        for (int i = 0; i < kRecords; ++i) {
            const std::vector<Value> row = table->record(static_cast<std::uint32_t>(i + 1));
            const bool updated = row[0] == Value("new" + std::to_string(i));
            if (updated) {
                ASSERT_TRUE(changed);
                EXPECT_EQ(row[1], Value(std::int64_t{1000 + i}));
                EXPECT_EQ(row[2], Value(newNote(i)));
                EXPECT_EQ(row[3], Value(std::string("done")));
            } else {
                EXPECT_EQ(row[0], Value("old" + std::to_string(i))) << "record " << i + 1;
                EXPECT_EQ(row[1], Value(std::int64_t{i}));
                EXPECT_EQ(row[2], Value(oldNote(i)));
                if (changed) EXPECT_EQ(row[3], Value(std::monostate{}));
            }
            if (i == 2 && completedAt < 0) EXPECT_TRUE(table->isDeleted(3));
        }
        // Whatever state the crash left, the table takes further changes.
        table->append({{0, std::string("after")}});
        EXPECT_EQ(table->value(kRecords + 1, 0), Value(std::string("after")));
    }
    EXPECT_GT(completedAt, 10) << "the change and the updates never completed";
}

}  // namespace
}  // namespace dorvane::provider
