// Memo files beside a table: .fpt (FoxPro, read and write) and .dbt (dBASE III and IV, read only).
// Holds only the block layer; which memo belongs to which record is the table's business.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "provider/format/file_io.h"

namespace dorvane::provider {

// .fpt header (512 bytes at offset 0).
inline constexpr std::size_t kFptHeaderSize = 512;
inline constexpr std::size_t kFptOffsetNextFree = 0;   // 4 bytes BE: next free block number
inline constexpr std::size_t kFptOffsetBlockSize = 6;  // 2 bytes BE: block size in bytes
// .fpt block header (8 bytes at the start of a value's first block).
inline constexpr std::size_t kFptBlockHeaderSize = 8;
inline constexpr std::size_t kFptBlockOffsetType = 0;    // 4 bytes BE: 0 picture, 1 text, 2 object
inline constexpr std::size_t kFptBlockOffsetLength = 4;  // 4 bytes BE: data length
inline constexpr std::uint32_t kFptTypePicture = 0;
inline constexpr std::uint32_t kFptTypeText = 1;
inline constexpr std::uint32_t kDefaultMemoBlockSize = 64;

// .dbt: dBASE III uses 512-byte blocks ended by 0x1A; dBASE IV keeps its block size at offset 20
// (2 bytes LE) and starts each value with FF FF 08 00 and a 4-byte LE length that counts those 8 bytes.
inline constexpr std::size_t kDbtBlockSize = 512;
inline constexpr std::size_t kDbt4OffsetBlockSize = 20;
inline constexpr std::size_t kDbt4BlockHeaderSize = 8;

inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFFull;  // 2 GB per .dbf or .fpt

enum class MemoKind { Fpt, Dbt3, Dbt4 };

class MemoFile {
public:
    // Opens a memo file. Raises MemoFileInvalid when it cannot be opened or its header is unusable.
    static std::unique_ptr<MemoFile> open(const std::filesystem::path& path, MemoKind kind, bool writable);
    // Creates an empty .fpt with this block size (1..32768), ready for writing.
    static std::unique_ptr<MemoFile> create(const std::filesystem::path& path, std::uint32_t blockSize);

    MemoKind kind() const { return m_kind; }
    std::uint32_t blockSize() const { return m_blockSize; }
    const std::filesystem::path& path() const { return m_file.path(); }

    // The bytes stored from `block`. Raises MemoFileInvalid for a block inside the header or past
    // the end, or a length running past the end of the file.
    std::string read(std::uint32_t block) const;
    // The same into `out`, reusing its storage.
    void read(std::uint32_t block, std::string& out) const;

    // Stores `data` (.fpt only) in fresh blocks at the end, which no record points to yet, and returns
    // the first block's number (next-free advanced after the data is written). The blocks of a value
    // it replaces stay as they were until the file is packed. Empty data returns 0 and writes nothing.
    // Raises FileTooLarge past 2 GB.
    std::uint32_t write(std::string_view data, std::uint32_t type = kFptTypeText);
    // Makes every write so far durable; the table calls it before writing a record that points here.
    void sync();
    // Forgets what was read ahead, so the next read sees the file as it is now (after another user
    // may have written it).
    void dropReadAhead() const;
    // Reads the next-free pointer again (another user may have stored memos since) and forgets what
    // was read ahead.
    void takeInChanges();
    int fd() const { return m_file.fd(); }

private:
    MemoFile() = default;
    std::uint32_t firstDataBlock() const;
    std::uint32_t blocksFor(std::uint64_t dataLength) const;
    std::string readDbt3(std::uint64_t offset) const;
    // Reads through a window of the file read ahead, so that memos stored one after another, as they
    // mostly are, cost one system call per window rather than two per memo.
    bool readThroughWindow(std::uint64_t offset, std::size_t length, char* out) const;
    std::uint64_t knownSize(std::uint64_t atLeast) const;

    File m_file;
    MemoKind m_kind = MemoKind::Fpt;
    std::uint32_t m_blockSize = kDefaultMemoBlockSize;
    std::uint32_t m_nextFree = 0;
    bool m_dirty = false;
    static constexpr std::size_t kReadAhead = 64 * 1024;
    mutable std::string m_window;
    mutable std::uint64_t m_windowStart = 0;
    mutable std::uint64_t m_size = 0;  // the file size last seen; grows only by looking again
};

}  // namespace dorvane::provider
