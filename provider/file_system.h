// The one way the provider reaches the file system: every open, read, write, truncation, allocation,
// sync, rename, removal, lock and status query of tables, memos, containers, indexes and journals goes
// through fileSystem(), and so do the memory mappings of index pages and journals and every store into
// them. The real one calls
// POSIX; a test installs another (one that fails or stops at a chosen operation, say) with
// setFileSystem(). Calls follow POSIX: -1 (or null) and errno on failure.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
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
    // Reserves blocks for [offset, offset + length) (fallocate mode 0); -1 where the file system cannot.
    virtual int allocate(int fd, off_t offset, off_t length) = 0;
    virtual int fstat(int fd, struct stat* info) = 0;
    virtual int stat(const char* path, struct stat* info) = 0;
    virtual int fchmod(int fd, mode_t mode) = 0;
    // Sets the file's times to now.
    virtual int touch(int fd) = 0;
    // fcntl with F_GETFL (`lock` unused) or a lock command (F_OFD_SETLK, ...).
    virtual int fcntl(int fd, int command, struct flock* lock) = 0;
    virtual int flock(int fd, int operation) = 0;
    // A shared mapping of the first `length` bytes of `fd` (read-only unless `writable`); null on
    // failure. Pages past the file's end must not be touched.
    virtual void* map(int fd, std::size_t length, bool writable) = 0;
    virtual int unmap(void* address, std::size_t length) = 0;
    // Copies `length` bytes into a writable mapping made by map(): a change to the file, seen by every
    // other user of it at once, and on the disk after the next fsync of the file.
    virtual int storeMapped(void* at, const void* data, std::size_t length) = 0;
};

// Plain POSIX calls.
class RealFileSystem : public FileSystem {
public:
    int open(const char* path, int flags, mode_t mode) override;
    ssize_t pread(int fd, void* buffer, std::size_t length, off_t offset) override;
    ssize_t pwrite(int fd, const void* buffer, std::size_t length, off_t offset) override;
    int ftruncate(int fd, off_t length) override;
    int fsync(int fd) override;
    int rename(const char* from, const char* to) override;
    int unlink(const char* path) override;
    int close(int fd) override;
    int allocate(int fd, off_t offset, off_t length) override;
    int fstat(int fd, struct stat* info) override;
    int stat(const char* path, struct stat* info) override;
    int fchmod(int fd, mode_t mode) override;
    int touch(int fd) override;
    int fcntl(int fd, int command, struct flock* lock) override;
    int flock(int fd, int operation) override;
    void* map(int fd, std::size_t length, bool writable) override;
    int unmap(void* address, std::size_t length) override;
    int storeMapped(void* at, const void* data, std::size_t length) override;
};

// The file system in use: the real one unless another was set.
FileSystem& fileSystem();
// Makes `fileSystem` the one in use (null: the real one again). It must outlive its use.
void setFileSystem(FileSystem* fileSystem);

}  // namespace dorvane::provider
