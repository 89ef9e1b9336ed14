#include "provider/format/table_write_lock.h"

#include <pthread.h>

#include <condition_variable>
#include <thread>
#include <utility>
#include <vector>

#include "provider/format/lock_ranges.h"

namespace dorvane::provider {

using Clock = std::chrono::steady_clock;

struct TableWriteLock::State {
    enum class Phase { Free, Held, Kept };

    std::mutex mutex;  // guards everything below
    int fd = -1;       // -1 once the owning table is gone
    Phase phase = Phase::Free;
    RangeLock range;
    Clock::time_point takenAt;    // when the range was last taken afresh
    Clock::time_point keptUntil;  // while kept: when the background thread lets it go
    Clock::time_point lookedAt;   // when a holder last looked for waiters
    bool queued = false;          // in the background thread's list

    void letGo() noexcept {
        range.release();
        phase = Phase::Free;
    }
};

namespace {

// The background thread letting kept ranges go once idle, and its list. Made on first use and never
// destroyed, so that no table outlives it; a forked child starts a list (and a thread) of its own.
class Keeper {
public:
    static Keeper& instance() {
        static std::once_flag once;
        std::call_once(once, [] {
            s_current = new Keeper;
            ::pthread_atfork([] { s_current->m_mutex.lock(); }, [] { s_current->m_mutex.unlock(); },
                             [] { s_current = new Keeper; });  // the parent's thread is not in the child
        });
        return *s_current;
    }

    void add(std::shared_ptr<TableWriteLock::State> state) {
        const std::lock_guard lock(m_mutex);
        if (!m_started) {
            std::thread([this] { run(); }).detach();
            m_started = true;
        }
        m_kept.push_back(std::move(state));
        m_wake.notify_one();
    }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_kept.empty()) {
                m_wake.wait(lock);
                continue;
            }
            const auto now = Clock::now();
            auto next = now + std::chrono::hours(1);
            for (std::size_t i = 0; i < m_kept.size();) {
                TableWriteLock::State& state = *m_kept[i];
                std::unique_lock stateLock(state.mutex, std::try_to_lock);
                if (!stateLock) {  // its table is busy with it: not idle
                    next = std::min(next, now + TableWriteLock::kKeepIdle);
                    ++i;
                    continue;
                }
                using Phase = TableWriteLock::State::Phase;
                if (state.phase == Phase::Kept && state.keptUntil <= now) state.letGo();
                if (state.phase != Phase::Kept) {
                    state.queued = false;
                    stateLock.unlock();
                    m_kept[i] = std::move(m_kept.back());
                    m_kept.pop_back();
                    continue;
                }
                next = std::min(next, state.keptUntil);
                ++i;
            }
            m_wake.wait_until(lock, next);
        }
    }

    static inline Keeper* s_current = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::shared_ptr<TableWriteLock::State>> m_kept;
    bool m_started = false;
};

RangeLock takeRange(int fd) {
    return RangeLock::acquire(fd, RangeLock::Kind::Write, kTableLockOffset, kTableLockLength, kLockWait,
                              true);
}

bool othersWait(int fd) {
    return RangeLock::heldByOthers(fd, kWaitMarkOffset, kWaitMarkLength);
}

}  // namespace

TableWriteLock::TableWriteLock(int fd) : m_state(std::make_shared<State>()) {
    m_state->fd = fd;
}

TableWriteLock::~TableWriteLock() {
    const std::lock_guard lock(m_state->mutex);
    m_state->letGo();
    m_state->fd = -1;
}

bool TableWriteLock::take() {
    State& state = *m_state;
    std::unique_lock lock(state.mutex);
    const auto now = Clock::now();
    if (state.phase == State::Phase::Kept) {
        if (now - state.takenAt >= kKeepLimit) {
            // Kept long enough: a moment for programs that wait without a mark.
            state.letGo();
            std::this_thread::sleep_for(kPause);
        } else if (now - state.lookedAt >= kLookForWaiters && (state.lookedAt = now, othersWait(state.fd))) {
            state.letGo();
            const auto limit = now + kGiveWayLimit;
            while (othersWait(state.fd) && Clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        } else {
            state.phase = State::Phase::Held;
            return true;
        }
    }
    state.range = takeRange(state.fd);
    state.phase = State::Phase::Held;
    state.takenAt = state.lookedAt = Clock::now();
    return false;
}

void TableWriteLock::endHold(bool letGoNow) noexcept {
    State& state = *m_state;
    {
        const std::lock_guard lock(state.mutex);
        if (state.phase != State::Phase::Held) return;
        // Without range locks on this system nothing is kept.
        if (letGoNow || !state.range.held()) {
            state.letGo();
            return;
        }
        state.phase = State::Phase::Kept;
        state.keptUntil = Clock::now() + kKeepIdle;
        if (state.queued) return;
        state.queued = true;
    }
    try {
        Keeper::instance().add(m_state);
    } catch (...) {  // no thread to let it go later: let it go now
        const std::lock_guard lock(state.mutex);
        state.queued = false;
        if (state.phase == State::Phase::Kept) state.letGo();
    }
}

void TableWriteLock::letGo() noexcept {
    const std::lock_guard lock(m_state->mutex);
    m_state->letGo();
}

TableWriteLock::ReadGuard TableWriteLock::guardRead() {
    ReadGuard guard;
    guard.m_state = std::unique_lock(m_state->mutex);
    if (m_state->phase == State::Phase::Free)
        guard.m_range = RangeLock::acquire(m_state->fd, RangeLock::Kind::Read, kTableLockOffset,
                                           kTableLockLength, kLockWait, true);
    return guard;
}

}  // namespace dorvane::provider
