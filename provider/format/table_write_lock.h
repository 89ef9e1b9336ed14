// The write range of a table opened shared (lock_ranges.h) as one open Table takes it for its writers'
// holds, and the read locks under which it reads pages while it holds no write lock. The range is kept
// a moment after a hold ends, so that a program changing record after record takes it once.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>

#include "provider/format/file_lock.h"

namespace dorvane::provider {

// While the range is kept, nobody else writes the table: no writer of this engine, nor a program taking
// FoxPro's locks. So a hold that takes back a kept range needs neither the lock nor a look at the header,
// three system calls fewer. Others are kept out only briefly:
//   - a background thread lets a kept range go once it has lain unused for kKeepIdle;
//   - a process waiting for the range marks itself with the wait mark (lock_ranges.h); a holder taking
//     its range back looks for that mark every kLookForWaiters, and when it finds it lets the range go
//     and gives way to the waiter (for up to kGiveWayLimit) before it takes the range again;
//   - after kKeepLimit of keeping the range, a holder lets it go for kPause, for programs that wait
//     without marking themselves.
// The kept state is shared with the background thread under a mutex; the Table itself stays
// single-threaded.
class TableWriteLock {
public:
    static constexpr std::chrono::microseconds kKeepIdle{1000};
    static constexpr std::chrono::microseconds kLookForWaiters{1000};
    static constexpr std::chrono::milliseconds kGiveWayLimit{50};
    static constexpr std::chrono::milliseconds kKeepLimit{50};
    static constexpr std::chrono::microseconds kPause{1000};

    // `fd`: the table's descriptor (open for writing to take the range), which outlives this object.
    explicit TableWriteLock(int fd);
    ~TableWriteLock();  // lets the range go
    TableWriteLock(const TableWriteLock&) = delete;
    TableWriteLock& operator=(const TableWriteLock&) = delete;

    // For a writer's hold: takes the range, waiting up to kLockWait (then raises FileInUseByAnother, or
    // FileAccessDenied when locking fails otherwise), or takes back the range kept since the last hold.
    // Returns true in the second case: no program that locks has written the table since that hold.
    bool take();
    // Ends a writer's hold: keeps the range, or lets it go now when `letGoNow`.
    void endHold(bool letGoNow) noexcept;
    // Lets the range go now, held or kept.
    void letGo() noexcept;

    // Lasts while one read of the table's pages does: a read lock of the range, unless this table
    // holds or keeps the write range (a read lock of the same open would turn that into a read lock).
    class ReadGuard {
    public:
        ReadGuard() = default;

    private:
        friend class TableWriteLock;
        std::unique_lock<std::mutex> m_state;  // declared first: the range goes before the mutex
        RangeLock m_range;
    };
    // Raises what RangeLock::acquire raises when the read lock cannot be had.
    ReadGuard guardRead();

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace dorvane::provider
