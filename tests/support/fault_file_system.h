// A file system for tests that fails, or stops the process, at a chosen operation: it counts every
// create, write, truncation, allocation, change of mode or times, sync, rename and removal passing
// through the engine's file layer, and every mapping and store into a mapping, so fault and crash
// tests reach the same points on every machine.
#pragma once

#include <fcntl.h>
#include <signal.h>

#include <cerrno>

#include "provider/file_system.h"

namespace dorvane::provider {

class FaultFileSystem final : public RealFileSystem {
public:
    // Crash: after `operations` more counted operations the process kills itself (SIGKILL). Failure:
    // the operation after `operations` more fails once with ENOSPC, as on a full disk. Negative: off.
    long killAfter = -1;
    long failAfter = -1;
    // With failAfter: every later counted operation fails too (a disk that stays full).
    bool keepFailing = false;
    // Counted operations so far (tests measure an operation's length with it), and whether a failure
    // was injected since the last failAfter was set.
    long counted = 0;
    bool injected = false;

    // Counted: what changes a file or its name. Passed on as they are: reads, status, locks, closing.
    int open(const char* path, int flags, mode_t mode) override {
        if ((flags & O_CREAT) && !count()) return -1;
        return RealFileSystem::open(path, flags, mode);
    }
    ssize_t pwrite(int fd, const void* buffer, std::size_t length, off_t offset) override {
        return count() ? RealFileSystem::pwrite(fd, buffer, length, offset) : -1;
    }
    int ftruncate(int fd, off_t length) override {
        return count() ? RealFileSystem::ftruncate(fd, length) : -1;
    }
    int allocate(int fd, off_t offset, off_t length) override {
        return count() ? RealFileSystem::allocate(fd, offset, length) : -1;
    }
    int fchmod(int fd, mode_t mode) override { return count() ? RealFileSystem::fchmod(fd, mode) : -1; }
    int touch(int fd) override { return count() ? RealFileSystem::touch(fd) : -1; }
    int fsync(int fd) override { return count() ? RealFileSystem::fsync(fd) : -1; }
    int rename(const char* from, const char* to) override {
        return count() ? RealFileSystem::rename(from, to) : -1;
    }
    int unlink(const char* path) override { return count() ? RealFileSystem::unlink(path) : -1; }
    void* map(int fd, std::size_t length, bool writable) override {
        return count() ? RealFileSystem::map(fd, length, writable) : nullptr;
    }
    int storeMapped(void* at, const void* data, std::size_t length) override {
        return count() ? RealFileSystem::storeMapped(at, data, length) : -1;
    }

private:
    // False (errno set) when this operation is to fail.
    bool count() {
        ++counted;
        if (failAfter == 0) {
            if (!keepFailing) failAfter = -1;
            injected = true;
            errno = ENOSPC;
            return false;
        }
        if (failAfter > 0) --failAfter;
        if (killAfter == 0) ::raise(SIGKILL);
        if (killAfter > 0) --killAfter;
        return true;
    }
};

inline FaultFileSystem& faultFileSystem() {
    static FaultFileSystem instance;
    return instance;
}

// Installs the fault file system with a kill or failure point (a negative count switches it off).
inline void killAfterFileOperationsForTests(long operations) {
    faultFileSystem().killAfter = operations;
    setFileSystem(&faultFileSystem());
}
inline void failAfterFileOperationsForTests(long operations, bool keepFailing = false) {
    faultFileSystem().failAfter = operations;
    faultFileSystem().keepFailing = keepFailing;
    faultFileSystem().injected = false;
    setFileSystem(&faultFileSystem());
}
// Installs the fault file system with no fault and sets its count of operations to zero.
inline void countFileOperationsForTests() {
    faultFileSystem().failAfter = -1;
    faultFileSystem().killAfter = -1;
    faultFileSystem().counted = 0;
    setFileSystem(&faultFileSystem());
}

}  // namespace dorvane::provider
