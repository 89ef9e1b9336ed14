// Failures reach the caller: ADO's own errors with ADO's numbers, a flush failing at close, and a disk
// that fills up while a table is written.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "provider/ado/connection.h"
#include "provider/ado/recordset.h"
#include "provider/error.h"
#include "provider/format/file_io.h"
#include "tests/provider/indexing/indexing_support.h"
#include "tests/support/fault_file_system.h"

using namespace dorvane::provider;
using namespace dorvane::provider::indexing::testing;

namespace {

std::string source(const fs::path& dir, bool exclusive = true) {
    return "Provider=vfpoledb.1;Data Source=" + dir.string() + ";" +
           (exclusive ? "mode=share exclusive;" : "");
}

ProviderError raised(const std::function<void()>& work) {
    try {
        work();
    } catch (const ProviderError& e) {
        return e;
    }
    return ProviderError(FoxError::None, "nothing raised", 0);
}

// Mounts a tmpfs of `bytes` at `dir` in a mount namespace of this process alone; false where that is
// not allowed.
bool mountSmallDisk(const fs::path& dir, std::size_t bytes) {
    if (::unshare(CLONE_NEWNS) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    const std::string options = "size=" + std::to_string(bytes);
    return ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

}  // namespace

TEST(FailureReporting, AdoErrorsCarryAdoNumbersAndNoFoxProNumber) {
    ScratchDir dir;
    Connection open;
    open.Open(source(dir.path()));
    Connection closed;
    Recordset rows;
    const struct {
        const char* what;
        std::function<void()> work;
        std::uint32_t hresult;
    } cases[] = {
        {"Execute on a closed connection", [&] { closed.Execute("SELECT * FROM t"); }, kAdErrObjectClosed},
        {"Close of a closed connection", [&] { closed.Close(); }, kAdErrObjectClosed},
        {"Open of an open connection", [&] { open.Open(source(dir.path())); }, kAdErrObjectOpen},
        {"Close of a closed recordset", [&] { rows.Close(); }, kAdErrObjectClosed},
        {"unknown schema", [&] { open.OpenSchema(4); }, kAdErrFeatureNotAvailable},
    };
    for (const auto& c : cases) {
        const ProviderError e = raised(c.work);
        EXPECT_EQ(e.hresult(), c.hresult) << c.what;
        EXPECT_EQ(e.number(), 0) << c.what << ": " << e.message();
    }
}

TEST(FailureReporting, AFlushFailingAtCloseReachesTheCaller) {
    ScratchDir dir;
    Table::create(dir / "t.dbf", {{"id", "", 'I', 4}, {"note", "", 'M', 4}}).reset();
    Connection c;
    c.Open(source(dir.path()));
    c.Execute("INSERT INTO t (id, note) VALUES (1, 'kept')");
    failAfterFileOperationsForTests(0);
    const ProviderError e = raised([&] { c.Close(); });
    failAfterFileOperationsForTests(-1);
    EXPECT_EQ(e.code(), FoxError::FileAccessDenied) << e.message();
    EXPECT_EQ(c.state(), kStateClosed);
    EXPECT_EQ(Table::open(dir / "t.dbf")->record(1)[1], Value(std::string("kept")));
}

// In a child process with a disk of 192 KB of its own: INSERTs with memos until the disk is full, then
// a close; the error reaches the caller and every record written before it reads back whole.
int fillTheDisk(const fs::path& dir) {
    if (!mountSmallDisk(dir, 192 * 1024)) return 77;
    try {
        Table::create(dir / "t.dbf", {{"id", "", 'I', 4}, {"note", "", 'M', 4}}).reset();
        Connection c;
        c.Open(source(dir, false));
        const std::string memo(3000, 'm');
        int written = 0;
        const ProviderError e = raised([&] {
            for (; written < 1000; ++written)
                c.Execute("INSERT INTO t (id, note) VALUES (" + std::to_string(written) + ", '" + memo +
                          "')");
        });
        if (e.code() != FoxError::FileAccessDenied) return 2;
        c.Close();
        auto table = Table::open(dir / "t.dbf");
        if (table->recordCount() != static_cast<std::uint32_t>(written)) return 4;
        for (std::uint32_t recno = 1; recno <= table->recordCount(); ++recno)
            if (table->record(recno)[1] != Value(memo)) return 5;
        return 0;
    } catch (...) {
        return 6;
    }
}

TEST(FailureReporting, AFullDiskFailsTheStatementAndLeavesTheFilesReadable) {
    ScratchDir dir;
    const pid_t child = ::fork();
    if (child == 0) ::_exit(fillTheDisk(dir.path()));
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no small disk can be mounted here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}
