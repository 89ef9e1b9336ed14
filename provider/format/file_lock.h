// Whole-file locks that keep two users (two processes, or two opens in one process) from using a
// table's files in conflicting ways, and the byte-range locks by which writers sharing a table take
// turns (see lock_ranges.h for the ranges).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace dorvane::provider {

// A lock on one open file description, released when the FileLock is destroyed or release()d.
// It takes an open-file-description lock (fcntl F_OFD_SETLK, which conflicts with POSIX record
// locks of other programs) and a flock() lock together (a shared open locks only the open mark of
// lock_ranges.h, so that writers can lock their ranges beside it); where the kernel lacks OFD locks, flock()
// alone. Both belong to the open file description, so two opens of one file in this process
// conflict, as FoxPro's exclusive use does. Destroy the FileLock before closing its descriptor.
class FileLock {
public:
    enum class Mode { Shared, Exclusive };

    // Locks the whole file behind `fd` without waiting. Raises ProviderError(FileInUseByAnother)
    // "File is in use by another user." when another open holds a conflicting lock, and
    // ProviderError(FileAccessDenied) when the lock cannot be taken for another reason.
    // Exclusive works on a descriptor opened read-only too. `nameForErrors` is kept for messages.
    static FileLock acquire(int fd, Mode mode, const std::string& nameForErrors);

    FileLock() = default;  // holds nothing
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    bool held() const { return m_fd >= 0; }
    Mode mode() const { return m_mode; }
    const std::string& name() const { return m_name; }
    // Releases the lock now; does nothing when none is held. Skips the release when the descriptor
    // no longer refers to the locked file (closing it already released the lock).
    void release() noexcept;

private:
    int m_fd = -1;
    Mode m_mode = Mode::Shared;
    bool m_ofd = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::string m_name;
};

// A lock on a byte range of one open file description (fcntl F_OFD_SETLK), released when destroyed.
// Where the kernel lacks OFD locks it holds nothing (flock() alone keeps other opens apart then).
class RangeLock {
public:
    enum class Kind { Read, Write };

    // Takes the lock, trying again for up to `wait` while another open holds a conflicting one; then
    // raises ProviderError(FileInUseByAnother), or FileAccessDenied when locking fails otherwise.
    // A write lock needs a descriptor open for writing. With `markWaiting`, a wait marks itself with
    // a read lock of the .dbf's wait mark (lock_ranges.h) for as long as it lasts.
    static RangeLock acquire(int fd, Kind kind, std::uint64_t offset, std::uint64_t length,
                             std::chrono::milliseconds wait, bool markWaiting = false);

    // Whether another open holds any lock on the range (F_OFD_GETLK); false where locks are missing.
    static bool heldByOthers(int fd, std::uint64_t offset, std::uint64_t length) noexcept;

    RangeLock() = default;
    RangeLock(RangeLock&& other) noexcept;
    RangeLock& operator=(RangeLock&& other) noexcept;
    RangeLock(const RangeLock&) = delete;
    RangeLock& operator=(const RangeLock&) = delete;
    ~RangeLock() { release(); }

    bool held() const { return m_fd >= 0; }
    void release() noexcept;

private:
    int m_fd = -1;
    std::uint64_t m_offset = 0;
    std::uint64_t m_length = 0;
};

}  // namespace dorvane::provider
