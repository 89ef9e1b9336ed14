// File access for the table engine, through fileSystem(): whole-buffer positioned reads and writes,
// fsync, and the rename-over step of a safe file replacement. Knows nothing of the table formats.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "provider/file_system.h"

namespace dorvane::provider {

// An open file descriptor, closed on destruction. Every failure raises ProviderError.
class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing file. Raises FileDoesNotExist when it is missing, FileAccessDenied otherwise.
    static File openExisting(const std::filesystem::path& path, bool writable);
    // Creates (or truncates) a file for writing. Raises FileAccessDenied when that is not possible.
    static File create(const std::filesystem::path& path);

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const std::filesystem::path& path() const { return m_path; }
    std::uint64_t size() const;

    // Reads up to `length` bytes at `offset`; returns how many were read (fewer only at end of file).
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t length) const;
    // Writes all `length` bytes at `offset`; raises FileAccessDenied on failure (disk full, ...).
    void writeAt(std::uint64_t offset, const void* buffer, std::size_t length);
    void truncate(std::uint64_t length);
    // Flushes the file's data and size to the disk.
    void sync();
    void close();

private:
    int m_fd = -1;
    std::filesystem::path m_path;
};

// Renames `from` over `to` (atomic on one file system) and flushes the folder so the rename lasts.
void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Flushes a folder's entries (after a create or rename inside it). Never raises: it follows a step
// that has already happened.
void syncDirectory(const std::filesystem::path& folder);

}  // namespace dorvane::provider
