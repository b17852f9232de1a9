// The stream control of a live source's capture pin (IAMStreamControl), as the pin's documentation
// describes it: the application starts and stops the pin's stream at stream times, and the source's
// streaming thread asks, frame by frame as each one is due, whether it goes out. From the stop time on
// the pin discards its frames and sends no end of stream: only one frame more when the stop asked for
// it, and the graph hears EC_STREAM_CONTROL_STOPPED with the stop's cookie once the last frame went
// out. It discards until a start, or until its next run.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <mutex>

#include "filters/base_com.h"

namespace standins {

class TStreamControl {
public:
    // What becomes of the frame due at Start (stream time): Take it; Skip it (stopped, or not yet
    // started); StopHere: the first frame at or after the stop time, discarded, and the stop is told
    // now; TakeLast: that frame taken as the one extra asked for, the stop told once it went out.
    // The source tells the graph EC_STREAM_CONTROL_STOPPED with StopCookie(). Streaming thread.
    enum class TVerdict { Take, Skip, StopHere, TakeLast };
    TVerdict FrameAt(REFERENCE_TIME start);
    DWORD StopCookie() const;
    // A new run flows from its first frame, with no start or stop pending.
    void Reset();

    // IAMStreamControl, as a pin offers it. Start or stop at *Time; nullptr: now; MAXLONGLONG
    // takes back what is pending.
    HRESULT StartAt(const REFERENCE_TIME* time, DWORD cookie);
    HRESULT StopAt(const REFERENCE_TIME* time, BOOL sendExtra, DWORD cookie);
    HRESULT GetInfo(AM_STREAM_INFO* info) const;

private:
    static constexpr REFERENCE_TIME kNever = MAXLONGLONG;
    mutable std::mutex lock_;  // every field: set by the application, read by the streaming thread
    REFERENCE_TIME startAt_ = kNever;
    REFERENCE_TIME stopAt_ = kNever;
    DWORD startCookie_ = 0;
    DWORD stopCookie_ = 0;
    bool sendExtra_ = false;
    bool flowing_ = true;
};

// The interface on a pin (Owner answers its IUnknown), handing every call to Control.
template <class TOwner>
struct TStreamControlItf : IAMStreamControl {
    TStreamControlItf(TOwner& owner, TStreamControl& control) : o(owner), c(control) {}
    QUILL_DELEGATING_UNKNOWN(o)
    HRESULT STDMETHODCALLTYPE StartAt(const REFERENCE_TIME* time, DWORD cookie) override
    {
        return filters::ComGuard([&] { return c.StartAt(time, cookie); });
    }
    HRESULT STDMETHODCALLTYPE StopAt(const REFERENCE_TIME* time, BOOL sendExtra, DWORD cookie) override
    {
        return filters::ComGuard([&] { return c.StopAt(time, sendExtra, cookie); });
    }
    HRESULT STDMETHODCALLTYPE GetInfo(AM_STREAM_INFO* info) override
    {
        return filters::ComGuard([&] { return c.GetInfo(info); });
    }
    TOwner& o;
    TStreamControl& c;
};

}  // namespace standins
