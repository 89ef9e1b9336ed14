// Whole-file locks against other processes and against a second open in this process.
#include "provider/format/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "provider/error.h"

namespace dorvane::provider {
namespace {

namespace fs = std::filesystem;
using Mode = FileLock::Mode;

// A child process that holds a lock on the file until told to go, so the parent can try its own.
class LockingChild {
public:
    // `how`: 0 = FileLock shared, 1 = FileLock exclusive, 2 = a classic POSIX write lock (fcntl F_SETLK).
    LockingChild(const fs::path& file, int how) {
        int ready[2], go[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(go), 0);
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(go[1]);
            const int fd = open(file.c_str(), O_RDWR);
            bool ok = fd >= 0;
            try {
                FileLock lock;
                if (how < 2) {
                    lock = FileLock::acquire(fd, how == 1 ? Mode::Exclusive : Mode::Shared, "t");
                } else {
                    struct flock fl {};
                    fl.l_type = F_WRLCK;
                    fl.l_whence = SEEK_SET;
                    ok = ok && fcntl(fd, F_SETLK, &fl) == 0;
                }
                char c = ok ? 'y' : 'n';
                (void)!write(ready[1], &c, 1);
                (void)!read(go[0], &c, 1);
            } catch (...) {
                char c = 'n';
                (void)!write(ready[1], &c, 1);
            }
            _exit(0);
        }
        close(ready[1]);
        close(go[0]);
        m_go = go[1];
        char c = 0;
        EXPECT_EQ(read(ready[0], &c, 1), 1);
        EXPECT_EQ(c, 'y') << "the child could not take its lock";
        close(ready[0]);
    }
    ~LockingChild() {
        close(m_go);  // end of file on the pipe lets the child exit, releasing its lock
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

private:
    pid_t m_pid = -1;
    int m_go = -1;
};

class FileLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_file = fs::temp_directory_path() / ("dorvane_lock_" + std::to_string(getpid()) + ".dbf");
        std::ofstream(m_file) << "table";
    }
    void TearDown() override { fs::remove(m_file); }
    int openFile(int flags = O_RDWR) {
        const int fd = open(m_file.c_str(), flags);
        EXPECT_GE(fd, 0);
        m_fds.push_back(fd);
        return fd;
    }
    ~FileLockTest() override {
        for (int fd : m_fds) close(fd);
    }

    fs::path m_file;
    std::vector<int> m_fds;
};

int errorNumberOf(int fd, Mode mode) {
    try {
        FileLock::acquire(fd, mode, "t.dbf");
        return 0;
    } catch (const ProviderError& e) {
        return e.number();
    }
}

TEST_F(FileLockTest, ConflictsWithLocksOfAnotherProcess) {
    const struct {
        int childHow;
        Mode ours;
        int expected;
    } cases[] = {
        {1, Mode::Exclusive, 108}, {1, Mode::Shared, 108},    {0, Mode::Exclusive, 108},
        {0, Mode::Shared, 0},      {2, Mode::Exclusive, 108}, {2, Mode::Shared, 108},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.childHow * 10 + static_cast<int>(c.ours));
        LockingChild child(m_file, c.childHow);
        EXPECT_EQ(errorNumberOf(openFile(), c.ours), c.expected);
    }
    // With every child gone, the file is free again.
    EXPECT_EQ(errorNumberOf(openFile(), Mode::Exclusive), 0);
}

// Within this process (second opens of a table are TableLock's): a moved lock is held once, a released
// one frees the file, and a bad descriptor is access denied.
TEST_F(FileLockTest, MovedAndReleasedLocksInThisProcess) {
    const int first = openFile(), readOnly = openFile(O_RDONLY);
    FileLock held = FileLock::acquire(readOnly, Mode::Exclusive, "t.dbf");  // even on a read-only descriptor
    FileLock moved = std::move(held);
    EXPECT_FALSE(held.held());
    EXPECT_EQ(errorNumberOf(first, Mode::Shared), 108);
    moved.release();
    EXPECT_EQ(errorNumberOf(first, Mode::Exclusive), 0);
    EXPECT_EQ(errorNumberOf(-1, Mode::Shared), 1705);
}

}  // namespace
}  // namespace dorvane::provider
