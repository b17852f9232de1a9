// The time stamper: an in-place filter on any stream that numbers the samples with media times,
// drops them while frozen and keeps, rewrites from the reference clock or clears their time stamps.
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
    void SetFreeze(bool flag) { freeze_.store(flag); }
    void SetClockStamps() { mode_.store(kClock); }
    void SetKeepStamps() { mode_.store(kKeep); }
    void SetClearStamps() { mode_.store(kClear); }

    bool Freeze() const { return freeze_.load(); }
    bool ClockStamps() const { return mode_.load() == kClock; }
    bool ClearStamps() const { return mode_.load() == kClear; }
    std::uint32_t SampleCounter() const { return sampleCounter_.load(); }
    REFERENCE_TIME StampStart() const { return stampStart_.load(); }
    REFERENCE_TIME StampStop() const { return stampStop_.load(); }

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

    std::atomic<bool> freeze_{false};
    std::atomic<int> mode_{kKeep};
    std::atomic<std::uint32_t> sampleCounter_{0};
    std::atomic<REFERENCE_TIME> stampStart_{0};
    std::atomic<REFERENCE_TIME> stampStop_{400000};
    // The graph's clock and stream start as of the last Pause or Run, for the streaming thread; the
    // filter lock cannot be taken there (Stop holds it while waiting for the streaming thread).
    std::mutex clockLock_;
    Microsoft::WRL::ComPtr<IReferenceClock> streamClock_;
    REFERENCE_TIME streamStart_ = 0;
};

}  // namespace filters
