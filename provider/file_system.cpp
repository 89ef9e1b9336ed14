#include "provider/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace dorvane::provider {
namespace {

RealFileSystem g_real;
FileSystem* g_current = &g_real;

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

FileSystem& fileSystem() {
    return *g_current;
}

void setFileSystem(FileSystem* fileSystem) {
    g_current = fileSystem ? fileSystem : &g_real;
}

}  // namespace dorvane::provider
