// Crash safety: a child process changes an indexed table and stops (SIGKILL) at
// a chosen file operation counted by the file layer, so every machine covers
// the same points; the files it leaves must pass the independent checker, at
// once or after the next attach repairs them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "indexing_support.h"
#include "provider/indexing/attach.h"
#include "provider/indexing/change_journal.h"
#include "tests/support/fault_file_system.h"

namespace dorvane::provider::indexing {
namespace {

using namespace testing;
using index::KeyType;
using index::TagDefinition;

std::vector<TagDefinition> crashTags() {
    std::vector<TagDefinition> tags(3);
    tags[0] = {"ID", "id", "", 4, KeyType::Integer, false, true};
    tags[1] = {"NAME", "UPPER(name)", "", 30, KeyType::Character};
    tags[2] = {"LIVE", "id", ".NOT.DELETED()", 4, KeyType::Integer};
    return tags;
}

void makeBase(const fs::path& dbf, int records) {
    auto table = createIndexedTable(dbf, {{"id", "", 'I', 4}, {"name", "", 'C', 30}}, crashTags());
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    if (attachIndexMaintenance(*table, keep)) throw std::runtime_error("cannot attach");
    for (int i = 1; i <= records; ++i)
        table->appendValues({std::int64_t{i}, "name " + std::to_string(i % 97)});
    keep.clear();
}

void copyTable(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const char* name : {"t.dbf", "t.cdx"}) fs::copy_file(from / name, to / name);
}

enum class Work { Changes, BatchedUpdates, Rebuild };

// A fixed run of changes, the same in every process.
void doWork(Table& table, IndexMaintainer& maintainer, Work work) {
    if (work == Work::Rebuild) return maintainer.rebuild();
    for (std::int64_t i = 1; i <= 12; ++i) {
        if (work == Work::BatchedUpdates) {
            // A statement's run of neighbouring records, gathered by the table's
            // write batch while the index takes each key as it comes; never closed
            // before the kill.
            if (i == 1) table.beginWriteBatch();
            table.update(static_cast<std::uint32_t>(1 + i % table.recordCount()),
                         {{1, "batch " + std::to_string(i % 89)}});
            continue;
        }
        const std::uint32_t recno =
            table.appendValues({std::int64_t{100000 + i}, "new " + std::to_string(i)});
        table.update(static_cast<std::uint32_t>(1 + i * 7 % recno), {{1, "moved " + std::to_string(i)}});
        if (i % 3 == 0) table.setDeleted(static_cast<std::uint32_t>(1 + i * 5 % recno), i % 2 == 0);
    }
}

// Runs the work on the table at `dbf`; with `killAt` >= 0 in a child stopped at
// that operation (returns the child's status), else here, returning how many
// operations the work counted.
long runWork(const fs::path& dbf, Work work, long killAt) {
    const pid_t child = killAt >= 0 ? ::fork() : 0;
    if (child > 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return status;
    }
    try {
        auto table = Table::open(dbf, OpenMode::Exclusive);
        std::vector<std::unique_ptr<IndexMaintainer>> keep;
        if (attachIndexMaintenance(*table, keep)) throw std::runtime_error("cannot attach");
        if (killAt >= 0)
            killAfterFileOperationsForTests(killAt);
        else
            countFileOperationsForTests();
        doWork(*table, *keep.front(), work);
        if (killAt >= 0) ::_exit(0);
        const long counted = faultFileSystem().counted;
        setFileSystem(nullptr);
        return counted;
    } catch (...) {
        if (killAt >= 0) ::_exit(2);
        setFileSystem(nullptr);
        throw;
    }
}

struct Outcome {
    long operations = 0;  // counted by the whole work
    int clean = 0;        // the checker accepted the files as the child left them
    int repaired = 0;     // accepted after the next attach repaired them
    int broken = 0;
    std::string firstFailure;
};

// Stops the work at up to `points` operations spread evenly over all of it
// (every one when fewer).
Outcome killAtOperations(Work work, int records, long points) {
    ScratchDir dir;
    const fs::path base = dir / "base";
    fs::create_directories(base);
    makeBase(base / "t.dbf", records);
    Outcome outcome;
    copyTable(base, dir / "measure");
    outcome.operations = runWork(dir / "measure" / "t.dbf", work, -1);
    points = std::min(points, outcome.operations);
    for (long point = 0; point < points; ++point) {
        const long killAt = point * outcome.operations / points;
        SCOPED_TRACE("stopped at operation " + std::to_string(killAt));
        const fs::path run = dir / ("run" + std::to_string(killAt));
        copyTable(base, run);
        const int status = static_cast<int>(runWork(run / "t.dbf", work, killAt));
        if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL) {
            ADD_FAILURE() << "the child was not stopped: status " << status;
            continue;
        }
        if (::dorvane::test::runCdxCheck(run / "t.dbf").exitCode == 0) {
            ++outcome.clean;
            continue;
        }
        {
            auto table = Table::open(run / "t.dbf", OpenMode::Exclusive);
            std::vector<std::unique_ptr<IndexMaintainer>> keep;
            const auto refusal = attachIndexMaintenance(*table, keep);
            if (refusal && outcome.firstFailure.empty()) outcome.firstFailure = refusal->message();
        }
        const auto after = ::dorvane::test::runCdxCheck(run / "t.dbf");
        if (after.exitCode == 0) {
            ++outcome.repaired;
        } else {
            ++outcome.broken;
            if (outcome.firstFailure.empty())
                outcome.firstFailure = "at operation " + std::to_string(killAt) + ": " + after.output;
        }
        fs::remove_all(run);
    }
    return outcome;
}

struct CrashCase {
    const char* name;
    Work work;
    int records;
    long points;
    bool neverRepaired;  // the old or the new file is whole at every point
};

const CrashCase kCrashCases[] = {
    {"Changes", Work::Changes, 200, 24, false},
    {"BatchedUpdates", Work::BatchedUpdates, 200, 16, false},
    // The new index is written beside the old one and renamed over it.
    {"Rebuild", Work::Rebuild, 1000, 15, true},
};

class CrashSafetyAt : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashSafetyAt, FileOperationsLeavesOrRepairsToConsistentFiles) {
    DORVANE_NEEDS_CDX_CHECK();
    const CrashCase& c = GetParam();
    const Outcome o = killAtOperations(c.work, c.records, c.points);
    std::printf("stopped during %s (%ld operations): %d clean, %d repaired on attach, %d broken\n", c.name,
                o.operations, o.clean, o.repaired, o.broken);
    EXPECT_GT(o.operations, 0);
    EXPECT_EQ(o.broken, 0) << o.firstFailure;
    if (c.neverRepaired) EXPECT_EQ(o.repaired, 0);
}

INSTANTIATE_TEST_SUITE_P(Work, CrashSafetyAt, ::testing::ValuesIn(kCrashCases),
                         [](const ::testing::TestParamInfo<CrashCase>& info) {
                             return std::string(info.param.name);
                         });

// A table write that fails after the tags took the change (here: the journal
// says so) is repaired on the next attach, as a crash would be.
TEST(CrashSafety, JournalledChangeMissingFromTableTriggersRebuild) {
    DORVANE_NEEDS_CDX_CHECK();
    ScratchDir dir;
    makeBase(dir / "t.dbf", 10);
    {
        auto table = Table::open(dir / "t.dbf", OpenMode::Exclusive);
        std::vector<std::unique_ptr<IndexMaintainer>> keep;
        ASSERT_FALSE(attachIndexMaintenance(*table, keep));
        // Put a key for record 11 into the tags as onAppend does, without the table
        // taking it.
        keep.front()->onAppend(*table, 11, {std::int64_t{11}, std::string("ghost")}, nullptr);
        table->setChangeObserver(nullptr);  // the maintainer must not see the table go
        EXPECT_NE(::dorvane::test::runCdxCheck(dir / "t.dbf").exitCode, 0);
        keep.clear();
        EXPECT_TRUE(fs::exists(ChangeJournal::pathFor(dir / "t.cdx")));  // kept: the change never arrived
    }
    auto table = Table::open(dir / "t.dbf", OpenMode::Exclusive);
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    ASSERT_FALSE(attachIndexMaintenance(*table, keep));
    const auto check = ::dorvane::test::runCdxCheck(dir / "t.dbf");
    EXPECT_EQ(check.exitCode, 0) << check.output;
    keep.clear();
    EXPECT_FALSE(fs::exists(ChangeJournal::pathFor(dir / "t.cdx")));  // a clean close leaves no journal
}

}  // namespace
}  // namespace dorvane::provider::indexing
