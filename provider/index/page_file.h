// An index file held in memory-mapped pages (POSIX), with the errors FoxPro reports.
//
// Pages are read and changed in place through a shared mapping made by the file layer, and every store
// into it passes through the layer too (fileSystem().storeMapped): a change is in the system's page
// cache, where every other reader of the file sees it and where it survives the end of this process,
// as soon as the bytes are stored, without a system call per page. New pages at the end are written
// with pwrite, so the file system takes their blocks then and a full disk is an error, not a fault on
// a later store. Where the file cannot be mapped it is held in memory and each change written through.
// A mapped file must not be cut short under it by another program (the process would fault on the
// lost pages); FoxPro rewrites an index that way only while it holds the table exclusively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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
    int fd() const { return m_fd; }
    bool writable() const { return m_writable; }
    // The file's length as of opening, the last growth through this object, or the last look that
    // found another user had made it longer.
    std::uint64_t size() const { return m_size; }
    // Exactly `length` bytes at `offset`, which must lie inside the file: raises IndexMismatch when
    // the file ends first. The pointer stays valid until the next write that lengthens the file.
    const unsigned char* bytes(std::uint64_t offset, std::size_t length) const;
    void read(std::uint64_t offset, void* out, std::size_t length) const;
    // Stores all bytes, lengthening the file when they reach past its end; raises FileAccessDenied
    // on failure (nothing stored).
    void write(std::uint64_t offset, const void* data, std::size_t length);
    // Flushes the file to the disk itself.
    void sync();
    // Stamps the file's modification time now. Stores through a mapping stamp it only now and then;
    // users sharing the file watch the time to notice each other's changes.
    void touch();
    // Between the ordered steps of an in-place change: pages already stored reach the disk before the
    // next step's when the file is durable. Flushing at every step costs milliseconds per change; a
    // process that dies part-way loses nothing stored either way.
    void orderPoint() {
        if (m_durable) sync();
    }
    void setDurable(bool durable) { m_durable = durable; }

private:
    void close();
    // Maps (or copies) the first `length` bytes; false when the file could not be mapped.
    bool map(std::uint64_t length) const;
    void unmap() const;
    // Looks at the file's length again; true when it grew.
    bool noticeGrowth() const;
    // Writes bytes that reach past the end, lengthening the file.
    void appendBytes(std::uint64_t offset, const void* data, std::size_t length);
    // Stores bytes inside the file.
    void store(std::uint64_t offset, const void* data, std::size_t length);

    // Mapping kept longer than the file so that it seldom needs remapping as the file grows; pages past
    // the end are never touched.
    mutable unsigned char* m_data = nullptr;
    mutable std::uint64_t m_mapped = 0;  // bytes reserved at m_data
    mutable std::uint64_t m_size = 0;
    mutable bool m_copied = false;  // m_data is m_copy, changes written through with pwrite
    mutable std::vector<unsigned char> m_copy;
    mutable std::vector<std::pair<unsigned char*, std::uint64_t>> m_retired;
    mutable std::vector<std::vector<unsigned char>> m_retiredCopies;
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
