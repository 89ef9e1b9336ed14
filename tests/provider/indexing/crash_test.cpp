// Crash safety: a child process changes an indexed table and is killed (SIGKILL) at many points; the
// files it leaves must pass the independent checker, at once or after the next attach repairs them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "indexing_support.h"
#include "provider/indexing/attach.h"
#include "provider/indexing/change_journal.h"

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
    for (int i = 1; i <= records; ++i) table->appendValues({std::int64_t{i}, "name " + std::to_string(i % 97)});
    keep.clear();
}

void copyTable(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const char* name : {"t.dbf", "t.cdx"}) fs::copy_file(from / name, to / name);
}

enum class Work { Changes, BatchedUpdates, Rebuilds };

[[noreturn]] void childWork(const fs::path& dbf, Work work) {
    try {
        auto table = Table::open(dbf, OpenMode::Exclusive);
        std::vector<std::unique_ptr<IndexMaintainer>> keep;
        if (attachIndexMaintenance(*table, keep)) ::_exit(3);
        for (std::int64_t i = 1;; ++i) {
            if (work == Work::Rebuilds) {
                keep.front()->rebuild();
                continue;
            }
            if (work == Work::BatchedUpdates) {
                // A statement's run of neighbouring records, gathered by the table's write batch
                // while the index takes each key as it comes; never closed before the kill.
                if (i == 1) table->beginWriteBatch();
                const auto recno = static_cast<std::uint32_t>(1 + i % table->recordCount());
                table->update(recno, {{1, "batch " + std::to_string(i % 89)}});
                continue;
            }
            const std::uint32_t recno = table->appendValues({std::int64_t{100000 + i}, "new " + std::to_string(i)});
            table->update(static_cast<std::uint32_t>(1 + i % recno), {{1, "moved " + std::to_string(i)}});
            if (i % 3 == 0) table->setDeleted(static_cast<std::uint32_t>(1 + i % recno), i % 2 == 0);
        }
    } catch (...) {
        ::_exit(2);
    }
}

struct Outcome {
    int clean = 0;     // the checker accepted the files as the child left them
    int repaired = 0;  // accepted after the next attach repaired them
    int broken = 0;
    std::string firstFailure;
};

Outcome killAtManyPoints(Work work, int records, int points, std::chrono::microseconds step) {
    ScratchDir dir;
    const fs::path base = dir / "base";
    fs::create_directories(base);
    makeBase(base / "t.dbf", records);
    Outcome outcome;
    for (int point = 0; point < points; ++point) {
        const fs::path run = dir / ("run" + std::to_string(point));
        copyTable(base, run);
        const pid_t child = ::fork();
        if (child == 0) childWork(run / "t.dbf", work);
        std::this_thread::sleep_for(step * (point + 1));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status)) {
            ADD_FAILURE() << "child ended by itself with " << WEXITSTATUS(status);
            continue;
        }
        if (cdxCheck(run / "t.dbf").exitCode == 0) {
            ++outcome.clean;
            continue;
        }
        {
            auto table = Table::open(run / "t.dbf", OpenMode::Exclusive);
            std::vector<std::unique_ptr<IndexMaintainer>> keep;
            const auto refusal = attachIndexMaintenance(*table, keep);
            if (refusal && outcome.firstFailure.empty()) outcome.firstFailure = refusal->message();
        }
        const CheckResult after = cdxCheck(run / "t.dbf");
        if (after.exitCode == 0) {
            ++outcome.repaired;
        } else {
            ++outcome.broken;
            if (outcome.firstFailure.empty()) outcome.firstFailure = after.output;
        }
        fs::remove_all(run);
    }
    return outcome;
}

TEST(CrashSafety, KilledChangesLeaveOrRepairToConsistentFiles) {
    DORVANE_NEEDS_CDX_CHECK();
    const Outcome o = killAtManyPoints(Work::Changes, 200, 30, std::chrono::microseconds(2500));
    std::printf("killed during changes: %d clean, %d repaired on attach, %d broken\n", o.clean, o.repaired,
                o.broken);
    EXPECT_EQ(o.broken, 0) << o.firstFailure;
    EXPECT_GT(o.clean + o.repaired, 0);
}

TEST(CrashSafety, KilledBatchedUpdatesLeaveOrRepairToConsistentFiles) {
    DORVANE_NEEDS_CDX_CHECK();
    const Outcome o = killAtManyPoints(Work::BatchedUpdates, 200, 20, std::chrono::microseconds(2500));
    std::printf("killed during batched updates: %d clean, %d repaired on attach, %d broken\n", o.clean,
                o.repaired, o.broken);
    EXPECT_EQ(o.broken, 0) << o.firstFailure;
}

TEST(CrashSafety, KilledRebuildLeavesOldOrNewIndexWhole) {
    DORVANE_NEEDS_CDX_CHECK();
    const Outcome o = killAtManyPoints(Work::Rebuilds, 1000, 15, std::chrono::microseconds(3000));
    std::printf("killed during rebuilds: %d clean, %d repaired on attach, %d broken\n", o.clean, o.repaired,
                o.broken);
    // The new index is written beside the old one and renamed over it: never anything to repair.
    EXPECT_EQ(o.repaired + o.broken, 0) << o.firstFailure;
}

// A table write that fails after the tags took the change (here: the journal says so) is repaired on
// the next attach, as a crash would be.
TEST(CrashSafety, JournalledChangeMissingFromTableTriggersRebuild) {
    DORVANE_NEEDS_CDX_CHECK();
    ScratchDir dir;
    makeBase(dir / "t.dbf", 10);
    {
        auto table = Table::open(dir / "t.dbf", OpenMode::Exclusive);
        std::vector<std::unique_ptr<IndexMaintainer>> keep;
        ASSERT_FALSE(attachIndexMaintenance(*table, keep));
        // Put a key for record 11 into the tags as onAppend does, without the table taking it.
        keep.front()->onAppend(*table, 11, {std::int64_t{11}, std::string("ghost")}, nullptr);
        table->setChangeObserver(nullptr);  // the maintainer must not see the table go
        EXPECT_NE(cdxCheck(dir / "t.dbf").exitCode, 0);
        keep.clear();
        EXPECT_TRUE(fs::exists(ChangeJournal::pathFor(dir / "t.cdx")));  // kept: the change never arrived
    }
    auto table = Table::open(dir / "t.dbf", OpenMode::Exclusive);
    std::vector<std::unique_ptr<IndexMaintainer>> keep;
    ASSERT_FALSE(attachIndexMaintenance(*table, keep));
    const CheckResult check = cdxCheck(dir / "t.dbf");
    EXPECT_EQ(check.exitCode, 0) << check.output;
    keep.clear();
    EXPECT_FALSE(fs::exists(ChangeJournal::pathFor(dir / "t.cdx")));  // a clean close leaves no journal
}

}  // namespace
}  // namespace dorvane::provider::indexing
