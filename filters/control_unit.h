// The control filter: an in-place gate on the image-by-image video branch that lets one sample
// through each time it is opened, stamps it with gapless media times, and calls its owner back
// once the graph has stopped.
#pragma once

#include "filters/transform_in_place.h"

#include <atomic>
#include <functional>
#include <memory>

namespace filters {

// {E1DF0C6D-1C96-4A23-B4E2-F9344DE994A7}
extern const CLSID CLSID_qz_ControlFilter;
extern const wchar_t* const ControlFilterName;  // "Marbrecq qz_ControlFilter"

class Tqz_ControlFilter : public TBCTransInPlaceFilter {
public:
    // Must be made on the thread that stops the graph (the main thread): OnStop is posted to it.
    Tqz_ControlFilter();
    ~Tqz_ControlFilter() override;

    // The gate request of the main window and the streaming thread: an atomic exchange takes it,
    // so a request made while a sample passes is kept for the next one.
    bool PassNext() const { return passNext_.load(); }
    void SetPassNext(bool v) { passNext_.store(v); }
    bool StampMediaTime() const { return stampMediaTime_.load(); }
    void SetMediaTimeFlag(bool flag) { stampMediaTime_.store(flag); }
    LONGLONG NextMediaTime() const { return nextMediaTime_.load(); }
    // The builder sets it to 0 for each new recording.
    void SetNextMediaTime(LONGLONG v) { nextMediaTime_.store(v); }
    LONGLONG MediaTimeStep() const { return mediaTimeStep_.load(); }
    void SetMediaTimeStep(LONGLONG v) { mediaTimeStep_.store(v); }
    bool MarkSyncPoint() const { return markSyncPoint_.load(); }
    void SetMarkSyncPoint(bool v) { markSyncPoint_.store(v); }
    bool MarkDiscontinuity() const { return markDiscontinuity_.load(); }
    void SetMarkDiscontinuity(bool v) { markDiscontinuity_.store(v); }

    // Runs on the constructing thread after Stop has returned (posted, never inside Stop: it may
    // patch or delete the recorded file). Set and read on that thread only.
    std::function<void()> OnStop;

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT Transform(IMediaSample* sample) override;
    HRESULT Stop() override;

    // Runs the OnStop calls posted so far but not yet served (the owner's thread only); the window
    // procedure does the same when the owner's message loop runs.
    void RunPendingStops();

private:
    std::atomic<bool> passNext_{true};
    std::atomic<bool> stampMediaTime_{false};
    std::atomic<LONGLONG> nextMediaTime_{0};
    std::atomic<LONGLONG> mediaTimeStep_{1};
    std::atomic<bool> markSyncPoint_{false};
    std::atomic<bool> markDiscontinuity_{false};
    HWND window_ = nullptr;
    std::atomic<int> pendingStops_{0};
};

}  // namespace filters
