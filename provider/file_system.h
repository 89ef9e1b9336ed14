// The one way the provider reaches the file system: every open, read, write, truncation, sync, rename
// and removal of tables, memos, containers, indexes and journals goes through fileSystem() (indexes
// and journals are then mapped into memory directly). The real one calls
// POSIX; a test installs another (one that fails or stops at a chosen operation, say) with
// setFileSystem(). Calls follow POSIX: -1 and errno on failure.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace dorvane::provider {

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual int open(const char* path, int flags, mode_t mode) = 0;
    virtual ssize_t pread(int fd, void* buffer, std::size_t length, off_t offset) = 0;
    virtual ssize_t pwrite(int fd, const void* buffer, std::size_t length, off_t offset) = 0;
    virtual int ftruncate(int fd, off_t length) = 0;
    virtual int fsync(int fd) = 0;
    virtual int rename(const char* from, const char* to) = 0;
    virtual int unlink(const char* path) = 0;
    virtual int close(int fd) = 0;
};

// Plain POSIX calls.
class RealFileSystem final : public FileSystem {
public:
    int open(const char* path, int flags, mode_t mode) override;
    ssize_t pread(int fd, void* buffer, std::size_t length, off_t offset) override;
    ssize_t pwrite(int fd, const void* buffer, std::size_t length, off_t offset) override;
    int ftruncate(int fd, off_t length) override;
    int fsync(int fd) override;
    int rename(const char* from, const char* to) override;
    int unlink(const char* path) override;
    int close(int fd) override;
};

// The file system in use: the real one unless another was set.
FileSystem& fileSystem();
// Makes `fileSystem` the one in use (null: the real one again). It must outlive its use.
void setFileSystem(FileSystem* fileSystem);

}  // namespace dorvane::provider
