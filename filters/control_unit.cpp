#include "filters/control_unit.h"

#include "classlib/hidden_window.h"

namespace filters {

const CLSID CLSID_qz_ControlFilter = {0xe1df0c6d, 0x1c96, 0x4a23, {0xb4, 0xe2, 0xf9, 0x34, 0x4d, 0xe9, 0x94, 0xa7}};
const wchar_t* const ControlFilterName = L"Marbrecq qz_ControlFilter";

namespace {
constexpr UINT kStoppedMessage = WM_APP + 0x71;
HRESULT ignored = S_OK;
}  // namespace

Tqz_ControlFilter::Tqz_ControlFilter()
    : TBCTransInPlaceFilter("Marbrecq qz_ControlFilter", nullptr, CLSID_qz_ControlFilter, ignored, false)
{
    window_ = classlib::AllocateHWnd([this](classlib::TMessage& message) {
        if (message.Msg == kStoppedMessage) {
            RunPendingStops();
        }
    });
}

Tqz_ControlFilter::~Tqz_ControlFilter()
{
    // A finish posted but not yet served still runs: the recording it closes is otherwise left as it is.
    if (window_ != nullptr && GetWindowThreadProcessId(window_, nullptr) == GetCurrentThreadId()) {
        RunPendingStops();
    }
    classlib::DeallocateHWnd(window_);
}

void Tqz_ControlFilter::RunPendingStops()
{
    while (pendingStops_.load() > 0) {
        pendingStops_.fetch_sub(1);
        if (OnStop) {
            OnStop();
        }
    }
}

HRESULT Tqz_ControlFilter::CheckInputType(const AM_MEDIA_TYPE*)
{
    return S_OK;
}

HRESULT Tqz_ControlFilter::Stop()
{
    HRESULT hr = TBCTransInPlaceFilter::Stop();
    // The gate opens once the stream has stopped, so that a sample still in flight during the stop
    // cannot take it: it is left for the first picture of the next run.
    passNext_.store(true);
    // The finish patches or deletes the file the graph was writing: it waits until Stop has
    // returned and the owner's thread serves its messages again.
    pendingStops_.fetch_add(1);
    if (window_ == nullptr || !PostMessageW(window_, kStoppedMessage, 0, 0)) {
        // No window to post to: the finish runs here rather than never.
        RunPendingStops();
    }
    return hr;
}

HRESULT Tqz_ControlFilter::Transform(IMediaSample* sample)
{
    if (!passNext_.exchange(false)) {
        return S_FALSE;
    }
    if (stampMediaTime_.load()) {
        const LONGLONG step = mediaTimeStep_.load();
        LONGLONG start = nextMediaTime_.fetch_add(step);
        LONGLONG stop = start + step;
        sample->SetMediaTime(&start, &stop);
    }
    if (markSyncPoint_.load()) {
        sample->SetSyncPoint(TRUE);
    }
    if (markDiscontinuity_.load()) {
        sample->SetDiscontinuity(TRUE);
    }
    return S_OK;
}

}  // namespace filters
