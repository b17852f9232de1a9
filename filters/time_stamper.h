// The time stamper: an in-place filter on any stream that numbers the samples with media times,
// drops them while frozen and keeps, rewrites from the reference clock or clears their time stamps;
// after a freeze its stamps go on where the stream was frozen.
#pragma once

#include "filters/transform_in_place.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace filters {

// {E5307FC4-8823-4F58-A01D-D8C863F8BBA8}
extern const CLSID CLSID_qz_TimeStamper;
extern const wchar_t* const TimeStamperFilterName;  // "Marbrecq qz_Timestamper"

class Tqz_TimeStamper : public TBCTransInPlaceFilter {
public:
    Tqz_TimeStamper();

    // Setters of the user interface thread; the streaming thread reads the flags as they stand.
    // While frozen every sample is dropped. The stream time a freeze lasted while the filter ran (from
    // the run's start for one set while stopped) is taken off the stamps of every later sample until
    // the filter stops, so that a stream resumed in the same file has no hole in its timeline.
    void SetFreeze(bool flag) { SetFreeze(flag, StreamTime()); }
    // The same at a stream time read once for several stampers of one graph, which then shift their
    // streams alike. A stopped filter takes the next run's start instead.
    void SetFreeze(bool flag, REFERENCE_TIME streamTime);
    void SetClockStamps() { mode_.store(kClock); }
    void SetKeepStamps() { mode_.store(kKeep); }
    void SetClearStamps() { mode_.store(kClear); }

    bool Freeze() const { return freeze_.load(); }
    bool ClockStamps() const { return mode_.load() == kClock; }
    bool ClearStamps() const { return mode_.load() == kClear; }
    std::uint32_t SampleCounter() const { return sampleCounter_.load(); }
    REFERENCE_TIME StampStart() const { return stampStart_.load(); }
    REFERENCE_TIME StampStop() const { return stampStop_.load(); }
    // What the stamps are moved back by now.
    REFERENCE_TIME FrozenTime() const { return frozenTime_.load(); }
    // The stream time on the graph's clock while running; where the stream stands when paused, 0 when
    // stopped or without a clock.
    REFERENCE_TIME StreamTime();

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT Transform(IMediaSample* sample) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

private:
    // The two mode flags of the user interface live in one value, so that a reader never sees
    // clock and clear set together while a setter runs.
    enum Mode : int { kKeep = 0, kClock = 1, kClear = 2 };
    void TakeClock(REFERENCE_TIME start);
    // Stream time now on the clock of the last Run, or where the stream stood; clockLock_ held.
    REFERENCE_TIME StreamTimeLocked();

    std::atomic<bool> freeze_{false};
    std::atomic<int> mode_{kKeep};
    std::atomic<std::uint32_t> sampleCounter_{0};
    std::atomic<REFERENCE_TIME> stampStart_{0};
    std::atomic<REFERENCE_TIME> stampStop_{400000};
    // The shift of the stamps, written by the user interface thread, read by the streaming thread;
    // where the current freeze began (user interface thread only).
    std::atomic<REFERENCE_TIME> frozenTime_{0};
    REFERENCE_TIME frozenAt_ = 0;
    // The graph's clock and stream start as of the last Pause or Run, for the streaming thread; the
    // filter lock cannot be taken there (Stop holds it while waiting for the streaming thread).
    std::mutex clockLock_;
    Microsoft::WRL::ComPtr<IReferenceClock> streamClock_;
    REFERENCE_TIME streamStart_ = 0;
    REFERENCE_TIME pausedAt_ = 0;  // the stream time at the last pause from running, 0 after a stop
};

}  // namespace filters
