// Positioned reads and writes on an index file (POSIX), with the errors FoxPro reports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace dorvane::provider::index {

class PageFile {
public:
    PageFile() = default;
    // Opens `path`; raises ProviderError FileDoesNotExist / FileAccessDenied.
    PageFile(const std::string& path, bool writable);
    ~PageFile();
    PageFile(PageFile&& other) noexcept;
    PageFile& operator=(PageFile&& other) noexcept;
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const std::string& path() const { return m_path; }
    bool writable() const { return m_writable; }
    std::uint64_t size() const;
    // Reads exactly `length` bytes; raises IndexMismatch when the file ends first. Whole 512-byte
    // pages are kept once read (writes through this object keep them true), so walking a tree again
    // costs no system call; another user's writes need a new PageFile.
    void read(std::uint64_t offset, void* out, std::size_t length) const;
    // Writes all bytes; raises FileAccessDenied on failure.
    void write(std::uint64_t offset, const void* data, std::size_t length);
    void sync();
    // Between the ordered steps of an in-place change: pages already written reach the system before
    // the next step's, so a process that dies part-way leaves the documented states. Flushing to the
    // disk itself at every step costs milliseconds per change; it is done only when durable.
    void orderPoint() {
        if (m_durable) sync();
    }
    void setDurable(bool durable) { m_durable = durable; }
    // Fault injection for tests: the next `writes` writes succeed, later ones fail (FileAccessDenied)
    // as on a full disk; nullopt ends it.
    void failWritesAfter(std::optional<int> writes) { m_writeBudget = writes; }

private:
    static constexpr std::size_t kCachedPage = 512;
    static constexpr std::size_t kMaxCachedPages = 8192;  // 4 MB
    mutable std::unordered_map<std::uint64_t, std::vector<char>> m_pages;  // by offset
    void readUncached(std::uint64_t offset, void* out, std::size_t length) const;
    void writeUncached(std::uint64_t offset, const void* data, std::size_t length);
    std::optional<int> m_writeBudget;
    bool m_durable = false;
    int m_fd = -1;
    bool m_writable = false;
    std::string m_path;
};

// Writes `bytes` to a new file beside `path`, flushes it to disk and renames it over `path`.
void replaceFileAtomically(const std::string& path, const std::string& bytes);

// The file name part of a path, for messages.
std::string baseName(const std::string& path);

}  // namespace dorvane::provider::index
