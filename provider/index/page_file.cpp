#include "provider/index/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "provider/error.h"

namespace dorvane::provider::index {
namespace {

[[noreturn]] void raiseOpenError(const std::string& path) {
    if (errno == ENOENT) throw ProviderError::make(FoxError::FileDoesNotExist, baseName(path));
    throw ProviderError::make(FoxError::FileAccessDenied);
}

}  // namespace

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

PageFile::PageFile(const std::string& path, bool writable) : m_writable(writable), m_path(path) {
    m_fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (m_fd < 0) raiseOpenError(path);
}

PageFile::~PageFile() {
    if (m_fd >= 0) ::close(m_fd);
}

PageFile::PageFile(PageFile&& other) noexcept
    : m_pages(std::move(other.m_pages)),
      m_writeBudget(other.m_writeBudget),
      m_durable(other.m_durable),
      m_fd(std::exchange(other.m_fd, -1)),
      m_writable(other.m_writable),
      m_path(std::move(other.m_path)) {}

PageFile& PageFile::operator=(PageFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_writable = other.m_writable;
        m_path = std::move(other.m_path);
        m_writeBudget = other.m_writeBudget;
        m_durable = other.m_durable;
        m_pages = std::move(other.m_pages);
    }
    return *this;
}

std::uint64_t PageFile::size() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) throw ProviderError::make(FoxError::FileAccessDenied);
    return static_cast<std::uint64_t>(st.st_size);
}

void PageFile::read(std::uint64_t offset, void* out, std::size_t length) const {
    if (length != kCachedPage || offset % kCachedPage != 0) {
        readUncached(offset, out, length);
        return;
    }
    auto it = m_pages.find(offset);
    if (it == m_pages.end()) {
        if (m_pages.size() >= kMaxCachedPages) m_pages.clear();
        std::vector<char> page(kCachedPage);
        readUncached(offset, page.data(), page.size());
        it = m_pages.emplace(offset, std::move(page)).first;
    }
    std::memcpy(out, it->second.data(), kCachedPage);
}

void PageFile::readUncached(std::uint64_t offset, void* out, std::size_t length) const {
    auto* p = static_cast<char*>(out);
    while (length > 0) {
        const ssize_t n = ::pread(m_fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ProviderError::make(FoxError::IndexMismatch, baseName(m_path));
        p += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
}

void PageFile::write(std::uint64_t offset, const void* data, std::size_t length) {
    if (!m_writable || (m_writeBudget && (*m_writeBudget)-- <= 0))
        throw ProviderError::make(FoxError::FileAccessDenied);
    // Kept pages take the new bytes; should the write then fail, they are dropped with the rest.
    for (std::uint64_t page = offset / kCachedPage * kCachedPage; page < offset + length; page += kCachedPage) {
        auto it = m_pages.find(page);
        if (it == m_pages.end()) continue;
        const std::uint64_t from = std::max(page, offset);
        const std::uint64_t to = std::min(page + kCachedPage, offset + length);
        std::memcpy(it->second.data() + (from - page), static_cast<const char*>(data) + (from - offset), to - from);
    }
    try {
        writeUncached(offset, data, length);
    } catch (...) {
        m_pages.clear();
        throw;
    }
}

void PageFile::writeUncached(std::uint64_t offset, const void* data, std::size_t length) {
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::pwrite(m_fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ProviderError::make(FoxError::FileAccessDenied);
        p += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
}

void PageFile::sync() {
    if (::fsync(m_fd) != 0) throw ProviderError::make(FoxError::FileAccessDenied);
}

void replaceFileAtomically(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".dorvane-new";
    {
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) raiseOpenError(temp);
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);  // keep the old file's mode
        std::size_t done = 0;
        bool ok = true;
        while (done < bytes.size() && ok) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += static_cast<std::size_t>(n);
        }
        ok = ok && ::fsync(fd) == 0;
        ::close(fd);
        if (!ok) {
            ::unlink(temp.c_str());
            throw ProviderError::make(FoxError::FileAccessDenied);
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw ProviderError::make(FoxError::FileAccessDenied);
    }
    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace dorvane::provider::index
