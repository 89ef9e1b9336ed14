#include "provider/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace dorvane::provider {
namespace {

// Never destroyed: a background thread may let a table's lock go while the process exits
// (table_write_lock.h).
union NeverDestroyed {
    RealFileSystem fileSystem;
    NeverDestroyed() : fileSystem() {}
    ~NeverDestroyed() {}
} g_real;
std::atomic<FileSystem*> g_current = &g_real.fileSystem;

}  // namespace

int RealFileSystem::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t RealFileSystem::pread(int fd, void* buffer, std::size_t length, off_t offset) {
    return ::pread(fd, buffer, length, offset);
}
ssize_t RealFileSystem::pwrite(int fd, const void* buffer, std::size_t length, off_t offset) {
    return ::pwrite(fd, buffer, length, offset);
}
int RealFileSystem::ftruncate(int fd, off_t length) {
    return ::ftruncate(fd, length);
}
int RealFileSystem::fsync(int fd) {
    return ::fsync(fd);
}
int RealFileSystem::rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int RealFileSystem::unlink(const char* path) {
    return ::unlink(path);
}
int RealFileSystem::close(int fd) {
    return ::close(fd);
}
int RealFileSystem::allocate(int fd, off_t offset, off_t length) {
    return ::fallocate(fd, 0, offset, length);
}
int RealFileSystem::fstat(int fd, struct stat* info) {
    return ::fstat(fd, info);
}
int RealFileSystem::stat(const char* path, struct stat* info) {
    return ::stat(path, info);
}
int RealFileSystem::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int RealFileSystem::touch(int fd) {
    return ::futimens(fd, nullptr);
}
int RealFileSystem::fcntl(int fd, int command, struct flock* lock) {
    return command == F_GETFL ? ::fcntl(fd, F_GETFL) : ::fcntl(fd, command, lock);
}
int RealFileSystem::flock(int fd, int operation) {
    return ::flock(fd, operation);
}
void* RealFileSystem::map(int fd, std::size_t length, bool writable) {
    void* address = ::mmap(nullptr, length, PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED, fd, 0);
    return address == MAP_FAILED ? nullptr : address;
}
int RealFileSystem::unmap(void* address, std::size_t length) {
    return ::munmap(address, length);
}
int RealFileSystem::storeMapped(void* at, const void* data, std::size_t length) {
    std::memcpy(at, data, length);
    return 0;
}

FileSystem& fileSystem() {
    return *g_current.load(std::memory_order_acquire);
}

void setFileSystem(FileSystem* fileSystem) {
    g_current.store(fileSystem ? fileSystem : &g_real.fileSystem, std::memory_order_release);
}

}  // namespace dorvane::provider
