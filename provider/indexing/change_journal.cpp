#include "provider/indexing/change_journal.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

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
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t get32(const std::string& in, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return v;
}

}  // namespace

std::filesystem::path ChangeJournal::pathFor(const std::filesystem::path& indexPath) {
    return indexPath.parent_path() / ("." + indexPath.filename().string() + ".pending");
}

ChangeJournal::ChangeJournal(const std::filesystem::path& indexPath) : m_path(pathFor(indexPath)) {
    m_fd = fileSystem().open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) raiseAccessDenied();
    // Blocks reserved first, so that a store through the mapping never meets a full disk.
    if (::posix_fallocate(m_fd, 0, kMappedSize) == 0) {
        void* address = ::mmap(nullptr, kMappedSize, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
        if (address != MAP_FAILED) {
            m_map = static_cast<unsigned char*>(address);
            m_mapped = kMappedSize;
        }
    }
}

ChangeJournal::~ChangeJournal() {
    if (m_map != nullptr) ::munmap(m_map, m_mapped);
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
    std::atomic_ref<std::uint32_t> magic(*reinterpret_cast<std::uint32_t*>(m_map));
    magic.store(0, std::memory_order_release);
    std::memcpy(m_map + sizeof kMagic, bytes.data() + sizeof kMagic, bytes.size() - sizeof kMagic);
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data(), sizeof word);
    magic.store(word, std::memory_order_release);
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
        bytes.push_back(static_cast<char>(key->size() & 0xFF));
        bytes.push_back(static_cast<char>(key->size() >> 8));
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
        const std::size_t size =
            static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
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
    if (m_map != nullptr) ::munmap(m_map, m_mapped);
    m_map = nullptr;
    if (m_fd >= 0) fileSystem().close(m_fd);
    m_fd = -1;
    fileSystem().unlink(m_path.c_str());
}

}  // namespace dorvane::provider::indexing
