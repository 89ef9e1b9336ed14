// A few fixed-size pages of one file kept in memory, so reading records one by one costs one pread
// per page rather than one per record. Not thread-safe; one cache per open table.
#pragma once

#include <cstdint>
#include <vector>

#include "provider/format/file_io.h"
#include "provider/format/table_write_lock.h"

namespace dorvane::provider {

class PageCache {
public:
    static constexpr std::size_t kPageSize = 64 * 1024;
    static constexpr std::size_t kPageCount = 4;

    explicit PageCache(const File* file = nullptr) : m_file(file) {}
    void attach(const File* file);

    // Copies [offset, offset + length) into `out`; returns false when the file ends before that.
    // `fresh`: from pages read since the last startEpoch(), reading again those read before.
    bool read(std::uint64_t offset, std::size_t length, char* out, bool fresh = false);
    // Pages read from now on are fresh; those read before may miss another user's writes.
    void startEpoch() { ++m_epoch; }
    // Keeps cached pages in step with a write the table made through its own File.
    void noteWrite(std::uint64_t offset, const char* data, std::size_t length);
    void clear();
    // The table's write lock, under whose read guard each page is read, so that a page never holds a
    // record another process is half-way through writing; null for none (exclusive use).
    void setReadLock(TableWriteLock* lock) { m_lock = lock; }

private:
    struct Page {
        std::uint64_t index = UINT64_MAX;
        std::size_t valid = 0;  // bytes of the page present in the file when it was read
        std::uint64_t lastUse = 0;
        std::uint64_t epoch = 0;
        std::vector<char> bytes;
    };
    Page& load(std::uint64_t pageIndex, bool fresh);

    const File* m_file;
    Page m_pages[kPageCount];
    std::uint64_t m_clock = 0;
    std::uint64_t m_epoch = 0;
    TableWriteLock* m_lock = nullptr;
};

}  // namespace dorvane::provider
