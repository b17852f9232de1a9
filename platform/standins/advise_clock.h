// A reference clock on the performance counter, with its own advise thread: the time that the sound
// renderer stand-in gives the graph, and the one-shot and periodic advices that renderers wait on.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace standins {

// The performance counter as 100 ns units.
REFERENCE_TIME CounterTime();

class TAdviseClock {
public:
    TAdviseClock() = default;
    // Ends the advise thread; advices still pending are dropped.
    ~TAdviseClock();
    TAdviseClock(const TAdviseClock&) = delete;
    TAdviseClock& operator=(const TAdviseClock&) = delete;

    // The IReferenceClock methods (any thread).
    HRESULT GetTime(REFERENCE_TIME* time);
    // Sets the event once the clock reaches base + offset (at once when it has passed).
    HRESULT AdviseTime(REFERENCE_TIME base, REFERENCE_TIME offset, HEVENT event, DWORD_PTR* cookie);
    // Releases the semaphore once at start and at every period after it, until unadvised.
    HRESULT AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period, HSEMAPHORE semaphore, DWORD_PTR* cookie);
    // S_FALSE for a cookie that is not pending (a one-shot advice that has fired included).
    HRESULT Unadvise(DWORD_PTR cookie);

private:
    struct Advice {
        REFERENCE_TIME due = 0;
        REFERENCE_TIME period = 0;  // 0: one shot (an event), else a semaphore released each period
        HANDLE handle = nullptr;
    };

    // The time now, never behind a time already answered (lock_ held).
    REFERENCE_TIME NowLocked();
    HRESULT Add(const Advice& advice, DWORD_PTR* cookie);
    void Serve();

    std::mutex lock_;
    std::condition_variable changed_;
    std::map<DWORD_PTR, Advice> advices_;
    DWORD_PTR nextCookie_ = 1;
    REFERENCE_TIME last_ = 0;
    bool ending_ = false;
    std::thread thread_;  // started with the first advice
};

}  // namespace standins
