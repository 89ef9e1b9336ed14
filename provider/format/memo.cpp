#include "provider/format/memo.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "provider/error.h"
#include "provider/format/header.h"

namespace dorvane::provider {
namespace {

ProviderError invalid(const std::filesystem::path& path) {
    return ProviderError::make(FoxError::MemoFileInvalid, path.filename().string());
}

}  // namespace

std::unique_ptr<MemoFile> MemoFile::open(const std::filesystem::path& path, MemoKind kind, bool writable) {
    std::unique_ptr<MemoFile> memo(new MemoFile);
    memo->m_kind = kind;
    try {
        memo->m_file = File::openExisting(path, writable && kind == MemoKind::Fpt);
    } catch (const ProviderError&) {
        throw invalid(path);
    }
    char header[kFptHeaderSize] = {};
    const std::size_t got = memo->m_file.readAt(0, header, sizeof header);
    switch (kind) {
        case MemoKind::Fpt:
            if (got < kFptOffsetBlockSize + 2) throw invalid(path);
            memo->m_blockSize = readBe16(header + kFptOffsetBlockSize);
            memo->m_nextFree = readBe32(header + kFptOffsetNextFree);
            if (memo->m_blockSize == 0) throw invalid(path);
            break;
        case MemoKind::Dbt3:
            memo->m_blockSize = kDbtBlockSize;
            break;
        case MemoKind::Dbt4:
            if (got < kDbt4OffsetBlockSize + 2) throw invalid(path);
            memo->m_blockSize = readLe16(header + kDbt4OffsetBlockSize);
            if (memo->m_blockSize == 0) memo->m_blockSize = kDbtBlockSize;
            break;
    }
    return memo;
}

std::unique_ptr<MemoFile> MemoFile::create(const std::filesystem::path& path, std::uint32_t blockSize) {
    if (blockSize < 1 || blockSize > 32768) throw ProviderError::make(FoxError::FieldWidthInvalid);
    std::unique_ptr<MemoFile> memo(new MemoFile);
    memo->m_kind = MemoKind::Fpt;
    memo->m_blockSize = blockSize;
    memo->m_file = File::create(path);
    memo->m_nextFree = memo->firstDataBlock();
    std::vector<char> header(static_cast<std::size_t>(memo->m_nextFree) * blockSize, '\0');
    writeBe32(header.data() + kFptOffsetNextFree, memo->m_nextFree);
    writeBe16(header.data() + kFptOffsetBlockSize, static_cast<std::uint16_t>(blockSize));
    memo->m_file.writeAt(0, header.data(), header.size());
    memo->m_file.sync();
    return memo;
}

std::uint32_t MemoFile::firstDataBlock() const {
    return static_cast<std::uint32_t>((kFptHeaderSize + m_blockSize - 1) / m_blockSize);
}

std::uint32_t MemoFile::blocksFor(std::uint64_t dataLength) const {
    return static_cast<std::uint32_t>((kFptBlockHeaderSize + dataLength + m_blockSize - 1) / m_blockSize);
}

std::string MemoFile::readDbt3(std::uint64_t offset) const {
    std::string out;
    char chunk[kDbtBlockSize];
    for (;;) {
        const std::size_t n = m_file.readAt(offset, chunk, sizeof chunk);
        const char* end = static_cast<const char*>(std::memchr(chunk, kEndOfFile, n));
        if (end) {
            out.append(chunk, static_cast<std::size_t>(end - chunk));
            return out;
        }
        out.append(chunk, n);
        if (n < sizeof chunk) return out;  // the file ended without a terminator
        offset += n;
    }
}

void MemoFile::dropReadAhead() const {
    m_window.clear();
    m_windowStart = 0;
    m_size = 0;
}

void MemoFile::takeInChanges() {
    dropReadAhead();
    char next[4];
    if (m_kind == MemoKind::Fpt && m_file.readAt(kFptOffsetNextFree, next, sizeof next) == sizeof next)
        m_nextFree = readBe32(next);
}

std::uint64_t MemoFile::knownSize(std::uint64_t atLeast) const {
    if (m_size < atLeast) m_size = m_file.size();
    return m_size;
}

bool MemoFile::readThroughWindow(std::uint64_t offset, std::size_t length, char* out) const {
    const bool inside = offset >= m_windowStart && offset + length <= m_windowStart + m_window.size();
    if (!inside) {
        if (length >= kReadAhead) return m_file.readAt(offset, out, length) == length;
        m_window.resize(kReadAhead);
        const std::size_t got = m_file.readAt(offset, m_window.data(), m_window.size());
        m_window.resize(got);
        m_windowStart = offset;
        if (got < length) return false;
    }
    std::memcpy(out, m_window.data() + (offset - m_windowStart), length);
    return true;
}

std::string MemoFile::read(std::uint32_t block) const {
    std::string data;
    read(block, data);
    return data;
}

void MemoFile::read(std::uint32_t block, std::string& data) const {
    const std::uint64_t offset = static_cast<std::uint64_t>(block) * m_blockSize;
    std::uint64_t fileSize = knownSize(offset + 1);
    if (block == 0 || offset >= fileSize) throw invalid(path());
    if (m_kind == MemoKind::Dbt3) {
        data = readDbt3(offset);
        return;
    }

    char head[kFptBlockHeaderSize];
    if (!readThroughWindow(offset, sizeof head, head)) throw invalid(path());
    std::uint64_t length = 0;
    std::uint64_t start = offset + kFptBlockHeaderSize;
    if (m_kind == MemoKind::Fpt) {
        if (block < firstDataBlock()) throw invalid(path());
        length = readBe32(head + kFptBlockOffsetLength);
    } else {
        const std::uint32_t stored = readLe32(head + 4);
        if (static_cast<unsigned char>(head[0]) != 0xFF || static_cast<unsigned char>(head[1]) != 0xFF ||
            stored < kDbt4BlockHeaderSize)
            throw invalid(path());
        length = stored - kDbt4BlockHeaderSize;
    }
    fileSize = knownSize(start + length);
    if (start + length > fileSize) throw invalid(path());
    data.resize(static_cast<std::size_t>(length));
    if (!readThroughWindow(start, data.size(), data.data())) throw invalid(path());
}

std::uint32_t MemoFile::write(std::string_view data, std::uint32_t type) {
    if (m_kind != MemoKind::Fpt)
        throw ProviderError::make(FoxError::FileAccessDenied, path().filename().string());
    if (data.empty()) return 0;
    dropReadAhead();
    const std::uint32_t need = blocksFor(data.size());
    const std::uint64_t fileSize = m_file.size();
    // Always fresh blocks at the end, which no record points to yet: a value is never overwritten in
    // place, so a write that fails or is cut short leaves every record's memo as it was. A next-free
    // pointer behind the real end would make new data overwrite live blocks.
    const std::uint64_t endBlock = (fileSize + m_blockSize - 1) / m_blockSize;
    const std::uint64_t candidate = std::max<std::uint64_t>({m_nextFree, firstDataBlock(), endBlock});
    if (candidate * m_blockSize > kMaxFileSize)
        throw ProviderError::make(FoxError::FileTooLarge, path().filename().string());
    const auto target = static_cast<std::uint32_t>(candidate);
    const std::uint64_t end = (static_cast<std::uint64_t>(target) + need) * m_blockSize;
    if (end > kMaxFileSize) throw ProviderError::make(FoxError::FileTooLarge, path().filename().string());

    std::vector<char> bytes(static_cast<std::size_t>(need) * m_blockSize, '\0');
    writeBe32(bytes.data() + kFptBlockOffsetType, type);
    writeBe32(bytes.data() + kFptBlockOffsetLength, static_cast<std::uint32_t>(data.size()));
    std::memcpy(bytes.data() + kFptBlockHeaderSize, data.data(), data.size());
    m_file.writeAt(static_cast<std::uint64_t>(target) * m_blockSize, bytes.data(), bytes.size());
    m_nextFree = target + need;
    char next[4];
    writeBe32(next, m_nextFree);
    m_file.writeAt(kFptOffsetNextFree, next, sizeof next);
    m_dirty = true;
    return target;
}

void MemoFile::sync() {
    if (!m_dirty) return;
    m_file.sync();
    m_dirty = false;
}

}  // namespace dorvane::provider
