#include "platform/standins/advise_clock.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace standins {

REFERENCE_TIME CounterTime()
{
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? f.QuadPart : 1;
    }();
    LARGE_INTEGER c{};
    QueryPerformanceCounter(&c);
    // In two steps, so that long runs do not overflow.
    return c.QuadPart / frequency * 10000000 + c.QuadPart % frequency * 10000000 / frequency;
}

TAdviseClock::~TAdviseClock()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        ending_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

REFERENCE_TIME TAdviseClock::NowLocked()
{
    last_ = std::max(last_, CounterTime());
    return last_;
}

HRESULT TAdviseClock::GetTime(REFERENCE_TIME* time)
{
    if (time == nullptr) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> guard(lock_);
    *time = NowLocked();
    return S_OK;
}

HRESULT TAdviseClock::AdviseTime(REFERENCE_TIME base, REFERENCE_TIME offset, HEVENT event, DWORD_PTR* cookie)
{
    if (cookie == nullptr) {
        return E_POINTER;
    }
    *cookie = 0;
    if (event == 0 || base < 0 || offset < 0 || base > std::numeric_limits<REFERENCE_TIME>::max() - offset) {
        return E_INVALIDARG;
    }
    return Add({base + offset, 0, reinterpret_cast<HANDLE>(event)}, cookie);
}

HRESULT TAdviseClock::AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period, HSEMAPHORE semaphore,
                                     DWORD_PTR* cookie)
{
    if (cookie == nullptr) {
        return E_POINTER;
    }
    *cookie = 0;
    if (semaphore == 0 || start < 0 || period <= 0) {
        return E_INVALIDARG;
    }
    return Add({start, period, reinterpret_cast<HANDLE>(semaphore)}, cookie);
}

HRESULT TAdviseClock::Add(const Advice& advice, DWORD_PTR* cookie)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { Serve(); });
        }
        *cookie = nextCookie_++;
        advices_[*cookie] = advice;
    }
    changed_.notify_all();
    return S_OK;
}

HRESULT TAdviseClock::Unadvise(DWORD_PTR cookie)
{
    std::lock_guard<std::mutex> guard(lock_);
    return advices_.erase(cookie) != 0 ? S_OK : S_FALSE;
}

void TAdviseClock::Serve()
{
    std::unique_lock<std::mutex> guard(lock_);
    while (!ending_) {
        const REFERENCE_TIME now = NowLocked();
        REFERENCE_TIME next = std::numeric_limits<REFERENCE_TIME>::max();
        for (auto it = advices_.begin(); it != advices_.end();) {
            Advice& a = it->second;
            if (a.due <= now) {
                if (a.period == 0) {
                    SetEvent(a.handle);
                    it = advices_.erase(it);
                    continue;
                }
                ReleaseSemaphore(a.handle, 1, nullptr);
                // A period the thread was late for is released once, not once per period missed.
                a.due += ((now - a.due) / a.period + 1) * a.period;
            }
            next = std::min(next, a.due);
            ++it;
        }
        if (next == std::numeric_limits<REFERENCE_TIME>::max()) {
            changed_.wait(guard);
        } else {
            // Bounded, so that a clock that moves differently from the wait is looked at again.
            const REFERENCE_TIME ms = std::min<REFERENCE_TIME>((next - now + 9999) / 10000, 50);
            changed_.wait_for(guard, std::chrono::milliseconds(ms));
        }
    }
}

}  // namespace standins
