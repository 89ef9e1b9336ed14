#include "provider/indexing/change_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "provider/byte_order.h"
#include "provider/error.h"
#include "provider/file_system.h"

namespace dorvane::provider::indexing {

namespace {

// Layout: magic (offset 0, 4 bytes), total length (4, 4 LE), recno (8, 4 LE), tag count (12, 4 LE),
// then per tag a present byte (1) and, when present, the key length (2 LE) and key bytes.
constexpr char kMagic[4] = {'D', 'I', 'J', '1'};
constexpr std::size_t kOffsetLength = 4, kOffsetRecno = 8, kOffsetCount = 12, kHeaderSize = 16;
constexpr std::size_t kMappedSize = 4096;

void put32(std::string& out, std::size_t at, std::uint32_t v) {
    writeLe32(out.data() + at, v);
}

std::uint32_t get32(const std::string& in, std::size_t at) {
    return readLe32(in.data() + at);
}

}  // namespace

std::filesystem::path ChangeJournal::pathFor(const std::filesystem::path& indexPath) {
    return indexPath.parent_path() / ("." + indexPath.filename().string() + ".pending");
}

ChangeJournal::ChangeJournal(const std::filesystem::path& indexPath) : m_path(pathFor(indexPath)) {
    m_fd = fileSystem().open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) raiseAccessDenied();
    // Blocks reserved first, so that a store through the mapping never meets a full disk.
    if (fileSystem().allocate(m_fd, 0, kMappedSize) == 0) {
        void* address = fileSystem().map(m_fd, kMappedSize, true);
        if (address != nullptr) {
            m_map = static_cast<unsigned char*>(address);
            m_mapped = kMappedSize;
        }
    }
}

ChangeJournal::~ChangeJournal() {
    if (m_map != nullptr) fileSystem().unmap(m_map, m_mapped);
    if (m_fd >= 0) fileSystem().close(m_fd);
}

void ChangeJournal::raiseAccessDenied() const {
    throw ProviderError(FoxError::FileAccessDenied,
                        foxproMessage(FoxError::FileAccessDenied) + " (" + m_path.filename().string() + ")");
}

void ChangeJournal::store(const std::string& bytes) {
    if (m_map == nullptr || bytes.size() > m_mapped) {
        // One write call: the old entry or the new one, whole.
        if (fileSystem().pwrite(m_fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
            raiseAccessDenied();
        return;
    }
    // The magic word goes first and comes back last: until it is back the file holds no entry.
    constexpr char kNoEntry[sizeof kMagic] = {};
    const auto put = [&](std::size_t at, const void* data, std::size_t length) {
        std::atomic_thread_fence(std::memory_order_release);
        if (fileSystem().storeMapped(m_map + at, data, length) != 0) raiseAccessDenied();
    };
    put(0, kNoEntry, sizeof kNoEntry);
    put(sizeof kMagic, bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic);
    put(0, bytes.data(), sizeof kMagic);
}

void ChangeJournal::record(const JournalEntry& entry) {
    std::string& bytes = m_bytes;
    bytes.assign(kHeaderSize, '\0');
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    put32(bytes, kOffsetRecno, entry.recno);
    put32(bytes, kOffsetCount, static_cast<std::uint32_t>(entry.keys.size()));
    for (const auto& key : entry.keys) {
        bytes.push_back(key ? '\1' : '\0');
        if (!key) continue;
        bytes.resize(bytes.size() + 2);
        writeLe16(bytes.data() + bytes.size() - 2, static_cast<std::uint16_t>(key->size()));
        bytes += *key;
    }
    put32(bytes, kOffsetLength, static_cast<std::uint32_t>(bytes.size()));
    store(bytes);
}

std::optional<JournalEntry> ChangeJournal::last() const {
    std::string bytes(kHeaderSize, '\0');
    if (fileSystem().pread(m_fd, bytes.data(), kHeaderSize, 0) != static_cast<ssize_t>(kHeaderSize))
        return std::nullopt;
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
    const std::uint32_t length = get32(bytes, kOffsetLength);
    if (length < kHeaderSize || length > (1u << 20)) return std::nullopt;
    bytes.resize(length);
    if (fileSystem().pread(m_fd, bytes.data(), length, 0) != static_cast<ssize_t>(length))
        return std::nullopt;
    JournalEntry entry;
    entry.recno = get32(bytes, kOffsetRecno);
    const std::uint32_t count = get32(bytes, kOffsetCount);
    std::size_t at = kHeaderSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at >= length) return std::nullopt;
        if (bytes[at++] == '\0') {
            entry.keys.emplace_back();
            continue;
        }
        if (at + 2 > length) return std::nullopt;
        const std::size_t size = readLe16(bytes.data() + at);
        at += 2;
        if (at + size > length) return std::nullopt;
        entry.keys.emplace_back(bytes.substr(at, size));
        at += size;
    }
    return entry;
}

void ChangeJournal::clear() {
    store(std::string(kHeaderSize, '\0'));
}

void ChangeJournal::remove() {
    if (m_map != nullptr) fileSystem().unmap(m_map, m_mapped);
    m_map = nullptr;
    if (m_fd >= 0) fileSystem().close(m_fd);
    m_fd = -1;
    fileSystem().unlink(m_path.c_str());
}

}  // namespace dorvane::provider::indexing
