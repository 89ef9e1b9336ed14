#include "provider/format/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "provider/error.h"
#include "provider/file_system.h"
#include "provider/format/lock_ranges.h"

namespace dorvane::provider {

namespace {

bool wouldBlock(int error) {
    return error == EAGAIN || error == EACCES || error == EWOULDBLOCK;
}

// Sets or clears an OFD lock on a range (length 0: to the end of the file, however it grows);
// returns 0 or the errno.
int setOfdLock(int fd, short type, std::uint64_t offset = 0, std::uint64_t length = 0) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    lock.l_pid = 0;  // required to be 0 for OFD locks
    int rc;
    do rc = fileSystem().fcntl(fd, F_OFD_SETLK, &lock);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

int flockRetrying(int fd, int operation) {
    int rc;
    do rc = fileSystem().flock(fd, operation);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

}  // namespace

FileLock FileLock::acquire(int fd, Mode mode, const std::string& nameForErrors) {
    struct stat st {};
    if (fd < 0 || fileSystem().fstat(fd, &st) != 0) throw ProviderError::make(FoxError::FileAccessDenied);

    const bool exclusive = mode == Mode::Exclusive;
    if (int error = flockRetrying(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB)) {
        if (wouldBlock(error)) throw ProviderError::make(FoxError::FileInUseByAnother);
        throw ProviderError::make(FoxError::FileAccessDenied);
    }

    // A write lock needs a descriptor open for writing; on a read-only one, a read lock still keeps
    // other programs' write locks out, and flock() above already excludes every other open.
    const int access = fileSystem().fcntl(fd, F_GETFL, nullptr) & O_ACCMODE;
    const short type = exclusive && access != O_RDONLY ? F_WRLCK : F_RDLCK;
    bool ofd = false;
    const std::uint64_t offset = exclusive ? 0 : kOpenMarkOffset;
    const std::uint64_t length = exclusive ? 0 : kOpenMarkLength;
    if (int error = setOfdLock(fd, type, offset, length)) {
        if (error != EINVAL) {  // EINVAL: a kernel or file system without OFD locks
            flockRetrying(fd, LOCK_UN);
            if (wouldBlock(error)) throw ProviderError::make(FoxError::FileInUseByAnother);
            throw ProviderError::make(FoxError::FileAccessDenied);
        }
    } else {
        ofd = true;
    }

    FileLock lock;
    lock.m_fd = fd;
    lock.m_mode = mode;
    lock.m_ofd = ofd;
    lock.m_device = st.st_dev;
    lock.m_inode = st.st_ino;
    lock.m_name = nameForErrors;
    return lock;
}

FileLock::FileLock(FileLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_mode(other.m_mode),
      m_ofd(other.m_ofd),
      m_device(other.m_device),
      m_inode(other.m_inode),
      m_name(std::move(other.m_name)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_mode = other.m_mode;
        m_ofd = other.m_ofd;
        m_device = other.m_device;
        m_inode = other.m_inode;
        m_name = std::move(other.m_name);
    }
    return *this;
}

FileLock::~FileLock() {
    release();
}

void FileLock::release() noexcept {
    if (m_fd < 0) return;
    struct stat st {};
    // The descriptor may have been closed and its number reused for another file: leave that alone.
    if (fileSystem().fstat(m_fd, &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode) {
        if (m_ofd) setOfdLock(m_fd, F_UNLCK);  // every range this description holds
        flockRetrying(m_fd, LOCK_UN);
    }
    m_fd = -1;
}

RangeLock RangeLock::acquire(int fd, Kind kind, std::uint64_t offset, std::uint64_t length,
                             std::chrono::milliseconds wait, bool markWaiting) {
    const short type = kind == Kind::Write ? F_WRLCK : F_RDLCK;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::microseconds(50);
    RangeLock waitMark;
    for (;;) {
        const int error = setOfdLock(fd, type, offset, length);
        if (error == 0) break;
        if (error == EINVAL) return {};  // no OFD locks here
        if (!wouldBlock(error)) throw ProviderError::make(FoxError::FileAccessDenied);
        if (std::chrono::steady_clock::now() >= deadline)
            throw ProviderError::make(FoxError::FileInUseByAnother);
        if (markWaiting && !waitMark.held() &&
            setOfdLock(fd, F_RDLCK, kWaitMarkOffset, kWaitMarkLength) == 0) {
            waitMark.m_fd = fd;
            waitMark.m_offset = kWaitMarkOffset;
            waitMark.m_length = kWaitMarkLength;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(1));
    }
    RangeLock lock;
    lock.m_fd = fd;
    lock.m_offset = offset;
    lock.m_length = length;
    return lock;
}

bool RangeLock::heldByOthers(int fd, std::uint64_t offset, std::uint64_t length) noexcept {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    lock.l_pid = 0;
    return fileSystem().fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

RangeLock::RangeLock(RangeLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_offset(other.m_offset), m_length(other.m_length) {}

RangeLock& RangeLock::operator=(RangeLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_offset = other.m_offset;
        m_length = other.m_length;
    }
    return *this;
}

void RangeLock::release() noexcept {
    if (m_fd < 0) return;
    setOfdLock(m_fd, F_UNLCK, m_offset, m_length);
    m_fd = -1;
}

}  // namespace dorvane::provider
