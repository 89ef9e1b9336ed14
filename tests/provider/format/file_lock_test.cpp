// Whole-file locks against other processes: theirs and a classic POSIX lock of another program.
#include "provider/format/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "provider/error.h"
#include "table_test_support.h"

namespace dorvane::provider {
namespace {

using Mode = FileLock::Mode;

int errorNumberOf(int fd, Mode mode) {
    try {
        FileLock::acquire(fd, mode, "t.dbf");
        return 0;
    } catch (const ProviderError& e) {
        return e.number();
    }
}

// The error number (0, 108 or 1 for any other) another process gets locking `path` in `mode`.
int lockInChild(const std::filesystem::path& path, Mode mode) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int number = errorNumberOf(::open(path.c_str(), O_RDWR), mode);
        ::_exit(number == 0 || number == 108 ? number : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FileLockTest, ConflictsWithLocksOfAnotherProcess) {
    test::TempDir dir;
    const auto path = dir / "t.dbf";
    std::ofstream(path) << "table";
    const struct {
        int ours;  // 0 = FileLock shared, 1 = FileLock exclusive, 2 = a classic POSIX write lock (fcntl
                   // F_SETLK)
        Mode theirs;
        int expected;
    } cases[] = {
        {1, Mode::Exclusive, 108}, {1, Mode::Shared, 108},    {0, Mode::Exclusive, 108},
        {0, Mode::Shared, 0},      {2, Mode::Exclusive, 108}, {2, Mode::Shared, 108},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ours * 10 + static_cast<int>(c.theirs));
        const int fd = ::open(path.c_str(), O_RDWR);
        std::optional<FileLock> lock;
        struct flock posix {};
        posix.l_type = F_WRLCK;
        posix.l_whence = SEEK_SET;
        if (c.ours < 2)
            lock = FileLock::acquire(fd, c.ours ? Mode::Exclusive : Mode::Shared, "t.dbf");
        else
            ASSERT_EQ(::fcntl(fd, F_SETLK, &posix), 0);
        EXPECT_EQ(lockInChild(path, c.theirs), c.expected);
        // Released (the descriptor still open), the file is free again.
        if (lock) lock->release();
        posix.l_type = F_UNLCK;
        ::fcntl(fd, F_SETLK, &posix);
        EXPECT_EQ(lockInChild(path, Mode::Exclusive), 0);
        ::close(fd);
    }
}

}  // namespace
}  // namespace dorvane::provider
