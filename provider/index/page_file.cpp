#include "provider/index/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "provider/error.h"
#include "provider/file_system.h"

namespace dorvane::provider::index {
namespace {

[[noreturn]] void raiseOpenError(const std::string& path) {
    if (errno == ENOENT) throw ProviderError::make(FoxError::FileDoesNotExist, baseName(path));
    throw ProviderError::make(FoxError::FileAccessDenied);
}

// Address space reserved for a mapping: far more than the file needs, so that it grows in place.
std::uint64_t reserveFor(std::uint64_t length) {
    constexpr std::uint64_t kMinimum = std::uint64_t{1} << 30;
    return std::max(kMinimum, length * 4);
}

// Moves all `length` bytes at `offset` with pread or pwrite, going on after short transfers and
// interruptions; false when the file ends or the call fails.
template <class Byte, class Call>
bool transferAll(Call call, int fd, Byte* p, std::size_t length, std::uint64_t offset) {
    while (length > 0) {
        const ssize_t n = call(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const void* data, std::size_t length, std::uint64_t offset) {
    const auto call = [](int f, const char* p, std::size_t n, off_t at) {
        return fileSystem().pwrite(f, p, n, at);
    };
    return transferAll(call, fd, static_cast<const char*>(data), length, offset);
}

bool readAll(int fd, void* out, std::size_t length, std::uint64_t offset) {
    const auto call = [](int f, char* p, std::size_t n, off_t at) { return fileSystem().pread(f, p, n, at); };
    return transferAll(call, fd, static_cast<char*>(out), length, offset);
}

std::uint64_t fileSize(int fd) {
    struct stat st {};
    if (fileSystem().fstat(fd, &st) != 0) throw ProviderError::make(FoxError::FileAccessDenied);
    return static_cast<std::uint64_t>(st.st_size);
}

}  // namespace

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

PageFile::PageFile(const std::string& path, bool writable) : m_writable(writable), m_path(path) {
    m_fd = fileSystem().open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
    if (m_fd < 0) raiseOpenError(path);
    try {
        m_size = fileSize(m_fd);
        map(m_size);
    } catch (...) {
        close();
        throw;
    }
}

PageFile::~PageFile() {
    close();
}

void PageFile::close() {
    unmap();
    for (auto& [address, length] : m_retired) fileSystem().unmap(address, length);
    m_retired.clear();
    m_retiredCopies.clear();
    if (m_fd >= 0) fileSystem().close(m_fd);
    m_fd = -1;
}

PageFile::PageFile(PageFile&& other) noexcept {
    *this = std::move(other);
}

PageFile& PageFile::operator=(PageFile&& other) noexcept {
    if (this != &other) {
        close();
        m_data = std::exchange(other.m_data, nullptr);
        m_mapped = std::exchange(other.m_mapped, 0);
        m_size = std::exchange(other.m_size, 0);
        m_copy = std::move(other.m_copy);
        m_copied = std::exchange(other.m_copied, false);
        m_retired = std::move(other.m_retired);
        m_retiredCopies = std::move(other.m_retiredCopies);
        m_durable = other.m_durable;
        m_fd = std::exchange(other.m_fd, -1);
        m_writable = other.m_writable;
        m_path = std::move(other.m_path);
    }
    return *this;
}

bool PageFile::map(std::uint64_t length) const {
    const std::uint64_t reserve = reserveFor(length);
    void* address = fileSystem().map(m_fd, reserve, m_writable);
    if (address != nullptr) {
        m_data = static_cast<unsigned char*>(address);
        m_mapped = reserve;
        m_copied = false;
        return true;
    }
    // Some file systems cannot map files: the file is held in memory instead.
    std::vector<unsigned char> copy;
    copy.reserve(length * 2);
    copy.resize(length);
    if (!readAll(m_fd, copy.data(), copy.size(), 0)) throw ProviderError::make(FoxError::FileAccessDenied);
    m_copy = std::move(copy);
    m_data = m_copy.data();
    m_mapped = m_copy.size();
    m_copied = true;
    return false;
}

// Earlier mappings stay until the file closes: pointers handed out from them remain good.
void PageFile::unmap() const {
    if (m_copied) {
        m_retiredCopies.push_back(std::move(m_copy));
    } else if (m_data != nullptr) {
        m_retired.emplace_back(m_data, m_mapped);
    }
    m_copy = {};
    m_data = nullptr;
    m_mapped = 0;
}

bool PageFile::noticeGrowth() const {
    const std::uint64_t now = fileSize(m_fd);
    if (now <= m_size) return false;
    if (now > m_mapped || m_copied) {
        unmap();
        map(now);
    }
    m_size = now;
    return true;
}

const unsigned char* PageFile::bytes(std::uint64_t offset, std::size_t length) const {
    const auto inside = [&] { return offset <= m_size && length <= m_size - offset; };
    if (!inside() && !(noticeGrowth() && inside()))
        throw ProviderError::make(FoxError::IndexMismatch, baseName(m_path));
    return m_data + offset;
}

void PageFile::read(std::uint64_t offset, void* out, std::size_t length) const {
    std::memcpy(out, bytes(offset, length), length);
}

// The new bytes are written with pwrite, which lengthens the file and has the file system take
// their blocks at once: a full disk is an error here, never a fault on a later store through the
// mapping. (Lengthening by ftruncate would make the kernel walk the whole reserved mapping.)
void PageFile::appendBytes(std::uint64_t offset, const void* data, std::size_t length) {
    std::vector<unsigned char> bytes(offset - m_size, 0);  // any gap before `offset` reads as zeros
    bytes.insert(bytes.end(), static_cast<const unsigned char*>(data),
                 static_cast<const unsigned char*>(data) + length);
    const std::uint64_t newSize = offset + length;
    if (!writeAll(m_fd, bytes.data(), bytes.size(), m_size))
        throw ProviderError::make(FoxError::FileAccessDenied);
    if (m_copied) {
        if (newSize > m_copy.capacity()) {
            std::vector<unsigned char> copy;
            copy.reserve(newSize * 2);
            copy.assign(m_copy.begin(), m_copy.end());
            unmap();
            m_copy = std::move(copy);
            m_copied = true;
        }
        m_copy.insert(m_copy.end(), bytes.begin(), bytes.end());
        m_data = m_copy.data();
        m_mapped = m_copy.size();
    } else if (newSize > m_mapped) {
        unmap();
        map(newSize);
    }
    m_size = newSize;
}

void PageFile::write(std::uint64_t offset, const void* data, std::size_t length) {
    if (!m_writable) throw ProviderError::make(FoxError::FileAccessDenied);
    if (offset + length > m_size) {
        // An index grows a few pages at a time; bytes far past its end come from a damaged pointer.
        constexpr std::uint64_t kFarPastEnd = 1 << 20;
        if (offset > m_size + kFarPastEnd)
            throw ProviderError::make(FoxError::IndexMismatch, baseName(m_path));
        if (offset < m_size) {  // the part inside the file first
            const std::size_t inside = static_cast<std::size_t>(m_size - offset);
            store(offset, data, inside);
            offset += inside;
            data = static_cast<const char*>(data) + inside;
            length -= inside;
        }
        appendBytes(offset, data, length);
        return;
    }
    store(offset, data, length);
}

void PageFile::store(std::uint64_t offset, const void* data, std::size_t length) {
    if (m_copied) {
        if (!writeAll(m_fd, data, length, offset)) throw ProviderError::make(FoxError::FileAccessDenied);
        std::memcpy(m_data + offset, data, length);
    } else if (fileSystem().storeMapped(m_data + offset, data, length) != 0) {
        throw ProviderError::make(FoxError::FileAccessDenied);
    }
}

void PageFile::sync() {
    if (fileSystem().fsync(m_fd) != 0) throw ProviderError::make(FoxError::FileAccessDenied);
}

void PageFile::touch() {
    fileSystem().touch(m_fd);
}

void replaceFileAtomically(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".dorvane-new";
    {
        const int fd = fileSystem().open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) raiseOpenError(temp);
        struct stat st {};
        if (fileSystem().stat(path.c_str(), &st) == 0) fileSystem().fchmod(fd, st.st_mode & 07777);  // keep the old file's mode
        std::size_t done = 0;
        bool ok = true;
        while (done < bytes.size() && ok) {
            const ssize_t n =
                fileSystem().pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) done += static_cast<std::size_t>(n);
        }
        ok = ok && fileSystem().fsync(fd) == 0;
        fileSystem().close(fd);
        if (!ok) {
            fileSystem().unlink(temp.c_str());
            throw ProviderError::make(FoxError::FileAccessDenied);
        }
    }
    if (fileSystem().rename(temp.c_str(), path.c_str()) != 0) {
        fileSystem().unlink(temp.c_str());
        throw ProviderError::make(FoxError::FileAccessDenied);
    }
    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int dfd = fileSystem().open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dfd >= 0) {
        fileSystem().fsync(dfd);
        fileSystem().close(dfd);
    }
}

}  // namespace dorvane::provider::index
