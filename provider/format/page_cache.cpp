#include "provider/format/page_cache.h"

#include <algorithm>
#include <cstring>

namespace dorvane::provider {

void PageCache::attach(const File* file) {
    m_file = file;
    clear();
}

void PageCache::clear() {
    for (Page& page : m_pages) {
        page.index = UINT64_MAX;
        page.valid = 0;
    }
}

PageCache::Page& PageCache::load(std::uint64_t pageIndex, bool fresh) {
    Page* victim = &m_pages[0];
    for (Page& page : m_pages) {
        if (page.index == pageIndex && (!fresh || page.epoch == m_epoch)) {
            page.lastUse = ++m_clock;
            return page;
        }
        if (page.lastUse < victim->lastUse) victim = &page;
    }
    victim->bytes.resize(kPageSize);
    victim->index = UINT64_MAX;
    const auto guard = m_lock ? m_lock->guardRead() : TableWriteLock::ReadGuard();
    victim->valid = m_file->readAt(pageIndex * kPageSize, victim->bytes.data(), kPageSize);
    victim->index = pageIndex;
    victim->lastUse = ++m_clock;
    victim->epoch = m_epoch;
    for (Page& page : m_pages)  // an older copy of the same page, when it was read again
        if (&page != victim && page.index == pageIndex)
            page.index = UINT64_MAX, page.valid = 0, page.lastUse = 0;
    return *victim;
}

bool PageCache::read(std::uint64_t offset, std::size_t length, char* out, bool fresh) {
    if (offset % kPageSize + length > kPageSize) {
        // Across pages, which may have been read at different times with another user's write between:
        // read the whole range at once, under the lock, so that a record is never half old, half new.
        const auto guard = m_lock ? m_lock->guardRead() : TableWriteLock::ReadGuard();
        return m_file->readAt(offset, out, length) == length;
    }
    while (length > 0) {
        const std::uint64_t pageIndex = offset / kPageSize;
        const std::size_t within = static_cast<std::size_t>(offset % kPageSize);
        Page* page = &load(pageIndex, fresh);
        if (page->valid < kPageSize && within + length > page->valid) {
            // The page was read when the file was shorter; another user may have appended since.
            page->index = UINT64_MAX;
            page->lastUse = 0;
            page = &load(pageIndex, fresh);
        }
        if (within >= page->valid) return false;
        const std::size_t n = std::min(length, page->valid - within);
        std::memcpy(out, page->bytes.data() + within, n);
        out += n;
        offset += n;
        length -= n;
        if (length > 0 && page->valid < kPageSize) return false;
    }
    return true;
}

void PageCache::noteWrite(std::uint64_t offset, const char* data, std::size_t length) {
    const std::uint64_t end = offset + length;
    for (Page& page : m_pages) {
        if (page.index == UINT64_MAX) continue;
        const std::uint64_t start = page.index * kPageSize;
        if (end <= start || offset >= start + kPageSize) continue;
        if (offset >= start && end <= start + page.valid) {
            // Inside what the page holds: keep the page and copy the new bytes into it.
            std::memcpy(page.bytes.data() + (offset - start), data, length);
            continue;
        }
        // The write reaches past what was read: drop the page; the next read loads it afresh.
        page.index = UINT64_MAX;
        page.valid = 0;
        page.lastUse = 0;
    }
}

}  // namespace dorvane::provider
