// Whole-file locks that keep two users (two processes, or two opens in one process) from using a
// table's files in conflicting ways. Byte-range record locks are not here.
#pragma once

#include <sys/types.h>

#include <string>

namespace dorvane::provider {

// A lock on one open file description, released when the FileLock is destroyed or release()d.
// It takes an open-file-description lock (fcntl F_OFD_SETLK, which conflicts with POSIX record
// locks of other programs) and a flock() lock together; where the kernel lacks OFD locks, flock()
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

}  // namespace dorvane::provider
