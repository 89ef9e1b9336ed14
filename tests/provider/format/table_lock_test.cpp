// Exclusive and shared use of a table: the open modes take whole-file locks, so an exclusive user
// keeps every other open away and a shared user keeps exclusive opens away, across processes too.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "provider/error.h"
#include "provider/format/table.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

// The FoxPro error number another process gets opening `path` in `mode` (0 when it succeeds).
int openInChild(const std::filesystem::path& path, OpenMode mode) {
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            Table::open(path, mode);
            ::_exit(0);
        } catch (const ProviderError& e) {
            ::_exit(e.number() == static_cast<int>(FoxError::FileInUseByAnother) ? 108 % 256 : 1);
        } catch (...) {
            ::_exit(2);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return code == 108 ? static_cast<int>(FoxError::FileInUseByAnother) : code;
}

struct LockCase {
    OpenMode held;
    OpenMode requested;
    bool allowed;
};

TEST(TableLock, OpenModesExcludeEachOtherAsFoxProDoes) {
    test::TempDir dir;
    Table::create(dir / "l.dbf", {test::fieldSpec("A", 'C', 1)}).reset();
    const std::vector<LockCase> cases = {
        {OpenMode::Exclusive, OpenMode::ReadOnly, false},  {OpenMode::Exclusive, OpenMode::Shared, false},
        {OpenMode::Exclusive, OpenMode::Exclusive, false}, {OpenMode::Shared, OpenMode::Exclusive, false},
        {OpenMode::ReadOnly, OpenMode::Exclusive, false},  {OpenMode::Shared, OpenMode::Shared, true},
        {OpenMode::Shared, OpenMode::ReadOnly, true},      {OpenMode::ReadOnly, OpenMode::Shared, true},
    };
    for (const LockCase& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.held)) + " then " +
                     std::to_string(static_cast<int>(c.requested)));
        auto held = Table::open(dir / "l.dbf", c.held);
        EXPECT_EQ(openInChild(dir / "l.dbf", c.requested),
                  c.allowed ? 0 : static_cast<int>(FoxError::FileInUseByAnother));
        // Within this process too: a second open is another user.
        const auto open = [&] { Table::open(dir / "l.dbf", c.requested); };
        if (c.allowed)
            EXPECT_NO_THROW(open());
        else
            EXPECT_TRUE(test::raises(FoxError::FileInUseByAnother, open, "File is in use by another user."));
    }
    // Closing releases the lock; a structure change keeps the table exclusive.
    EXPECT_EQ(openInChild(dir / "l.dbf", OpenMode::Exclusive), 0);
    auto table = Table::open(dir / "l.dbf", OpenMode::Exclusive);
    table->addField(test::fieldSpec("B", 'C', 1));
    EXPECT_EQ(openInChild(dir / "l.dbf", OpenMode::ReadOnly), static_cast<int>(FoxError::FileInUseByAnother));
}

TEST(TableLock, SharedUsersSeeEachOthersChanges) {
    test::TempDir dir;
    Table::create(dir / "s.dbf", {test::fieldSpec("A", 'C', 4), test::fieldSpec("B", 'C', 4)}).reset();
    auto first = Table::open(dir / "s.dbf", OpenMode::Shared);
    auto second = Table::open(dir / "s.dbf", OpenMode::Shared);
    first->append({{0, std::string("one")}});
    second->append({{0, std::string("two")}});  // appends after the record it has not seen yet
    EXPECT_EQ(second->recordCount(), 2u);
    first->refresh();
    ASSERT_EQ(first->recordCount(), 2u);
    EXPECT_EQ(first->value(2, 0), Value(std::string("two")));
    // Updates of different fields of one record by two users both survive.
    second->value(1, 0);  // second caches the page holding record 1
    first->update(1, {{0, std::string("AAAA")}});
    second->update(1, {{1, std::string("BBBB")}});
    auto third = Table::open(dir / "s.dbf");
    EXPECT_EQ(third->record(1), (std::vector<Value>{std::string("AAAA"), std::string("BBBB")}));
}

// A writer keeps its range a moment after each change. Whether it then sits idle or changes record
// after record without pause, another process still gets to write and to read, well within the wait.
TEST(TableLock, AWriterKeepingItsRangeLetsOthersIn) {
    test::TempDir dir;
    Table::create(dir / "k.dbf", {test::fieldSpec("A", 'C', 8)}).reset();
    {
        auto table = Table::open(dir / "k.dbf", OpenMode::Shared);
        table->append({{0, std::string("mine")}});
        table->append({{0, std::string("theirs")}});
    }
    for (const bool busy : {false, true}) {
        SCOPED_TRACE(busy ? "busy" : "idle");
        // Kept by this process too before the fork: the child lets its own range go all the same.
        auto mine = Table::open(dir / "k.dbf", OpenMode::Shared);
        mine->update(1, {{0, std::string("before")}});
        int started[2], done[2];
        ASSERT_EQ(::pipe(started), 0);
        ASSERT_EQ(::pipe(done), 0);
        const pid_t child = ::fork();
        if (child == 0) {  // leaves `mine` alone: its locks belong to the parent's open too
            auto theirs = Table::open(dir / "k.dbf", OpenMode::Shared);
            theirs->update(2, {{0, std::string("0")}});
            char byte = 1;
            (void)!::write(started[1], &byte, 1);
            long n = 0;
            if (busy) {
                ::fcntl(done[0], F_SETFL, O_NONBLOCK);
                while (::read(done[0], &byte, 1) != 1) theirs->update(2, {{0, std::to_string(++n)}});
            } else {
                (void)!::read(done[0], &byte, 1);
            }
            ::_exit(0);
        }
        char byte;
        ASSERT_EQ(::read(started[0], &byte, 1), 1);
        for (int i = 0; i < 20; ++i) {
            EXPECT_NO_THROW(mine->update(1, {{0, "mine " + std::to_string(i)}}));
            EXPECT_NO_THROW(Table::open(dir / "k.dbf")->value(2, 0));
        }
        (void)!::write(done[1], &byte, 1);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        for (int fd : {started[0], started[1], done[0], done[1]}) ::close(fd);
        EXPECT_EQ(Table::open(dir / "k.dbf")->value(1, 0), Value(std::string("mine 19")));
    }
}

}  // namespace
}  // namespace dorvane::provider
