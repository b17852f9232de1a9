// A lock and a condition for the stand-ins' streaming threads on the system's slim reader/writer
// locks and condition variables. Wine keeps those inside the process; the tool chain's std::mutex and
// std::condition_variable wait on kernel objects, a round trip to Wine's server for every wait and
// every wake, several per frame on a busy branch.
#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>

namespace standins {

class TSlimMutex {
public:
    TSlimMutex() = default;
    TSlimMutex(const TSlimMutex&) = delete;
    TSlimMutex& operator=(const TSlimMutex&) = delete;

    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* Native() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class TSlimCondition {
public:
    TSlimCondition() = default;
    TSlimCondition(const TSlimCondition&) = delete;
    TSlimCondition& operator=(const TSlimCondition&) = delete;

    void notify_one() { WakeConditionVariable(&condition_); }
    void notify_all() { WakeAllConditionVariable(&condition_); }
    // As std::condition_variable's: the lock is held again on return; wakes may be spurious.
    void wait(std::unique_lock<TSlimMutex>& lock) { SleepConditionVariableSRW(&condition_, lock.mutex()->Native(), INFINITE, 0); }
    template <typename Ready>
    void wait(std::unique_lock<TSlimMutex>& lock, Ready ready)
    {
        while (!ready()) wait(lock);
    }
    void wait_for(std::unique_lock<TSlimMutex>& lock, std::chrono::milliseconds time)
    {
        const auto ms = time.count() < 0 ? 0 : time.count();
        SleepConditionVariableSRW(&condition_, lock.mutex()->Native(), static_cast<DWORD>(ms < INFINITE ? ms : INFINITE - 1), 0);
    }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace standins
