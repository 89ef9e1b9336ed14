#include "provider/format/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "provider/error.h"

namespace dorvane::provider {
namespace {

[[noreturn]] void raiseIoError(const std::filesystem::path& path, int error) {
    if (error == ENOENT) throw ProviderError::make(FoxError::FileDoesNotExist, path.filename().string());
    if (error == EFBIG) throw ProviderError::make(FoxError::FileTooLarge, path.filename().string());
    throw ProviderError(FoxError::FileAccessDenied, foxproMessage(FoxError::FileAccessDenied) + " (" +
                                                        path.filename().string() + ": " +
                                                        std::strerror(error) + ")");
}

}  // namespace

File::~File() {
    close();
}

File::File(File&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path)) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

File File::openExisting(const std::filesystem::path& path, bool writable) {
    File file;
    file.m_fd = fileSystem().open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
    if (file.m_fd < 0) raiseIoError(path, errno);
    struct stat info {};
    if (fileSystem().fstat(file.m_fd, &info) == 0 && !S_ISREG(info.st_mode)) raiseIoError(path, EISDIR);
    file.m_path = path;
    return file;
}

File File::create(const std::filesystem::path& path) {
    File file;
    file.m_fd = fileSystem().open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file.m_fd < 0) raiseIoError(path, errno == ENOENT ? EACCES : errno);
    file.m_path = path;
    return file;
}

std::uint64_t File::size() const {
    struct stat info {};
    if (fileSystem().fstat(m_fd, &info) != 0) raiseIoError(m_path, errno);
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t File::readAt(std::uint64_t offset, void* buffer, std::size_t length) const {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            fileSystem().pread(m_fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            raiseIoError(m_path, errno);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void File::writeAt(std::uint64_t offset, const void* buffer, std::size_t length) {
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            fileSystem().pwrite(m_fd, in + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            raiseIoError(m_path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

void File::truncate(std::uint64_t length) {
    if (fileSystem().ftruncate(m_fd, static_cast<off_t>(length)) != 0) raiseIoError(m_path, errno);
}

void File::sync() {
    if (fileSystem().fsync(m_fd) != 0) raiseIoError(m_path, errno);
}

void File::close() {
    if (m_fd >= 0) fileSystem().close(m_fd);
    m_fd = -1;
}

void syncDirectory(const std::filesystem::path& folder) {
    // Best effort: the rename before it has happened either way, so nothing here may fail the caller.
    const std::filesystem::path dir = folder.empty() ? std::filesystem::path(".") : folder;
    const int fd = fileSystem().open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return;  // some file systems do not let a folder be opened
    fileSystem().fsync(fd);
    fileSystem().close(fd);
}

void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (fileSystem().rename(from.c_str(), to.c_str()) != 0) raiseIoError(to, errno);
    syncDirectory(to.parent_path());
}

}  // namespace dorvane::provider
