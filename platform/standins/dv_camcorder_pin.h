// The DV camcorder stand-in's capture pin: it offers interleaved DV of its camcorder's system, answers
// its pin category and stream control, and takes frames on a thread of its own by the camcorder's clock,
// losing those it falls behind on as a real bus does. A test may have it say less at a stop (no
// stamps, a stop never told, no stream control: recording_settings.h).
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <cstdint>
#include <span>
#include <thread>

#include "filters/base_io_pins.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/stream_control.h"

namespace standins {

// What the pin asks of its camcorder (the filter of dv_camcorder.cpp): the tape and the clock.
class IDVCamcorderPinHost {
public:
    virtual bool Pal() const = 0;
    // Builds the frame at the current tape position, then moves the tape by the transport speed.
    virtual void NextFrame(std::span<std::uint8_t> frame) = 0;
    // Moves the tape past Count frames that are lost, as they pass a real camcorder's head while
    // the computer takes none of them; their timecodes go to the test's list when Told.
    virtual void PassFrames(LONG count, bool told) = 0;
    // The timecode, as a frame count, of the frame at the current tape position.
    virtual std::int64_t TapeTimecode() const = 0;
    // The stream time to stamp the next frame with, and whether it is due; waits are the caller's.
    virtual bool ClockNow(REFERENCE_TIME& now) = 0;
    virtual void CountDelivered() = 0;
    virtual void CountDropped(LONG n) = 0;

protected:
    ~IDVCamcorderPinHost() = default;
};

class TDVCamcorderPin : public filters::TBCBaseOutputPin {
public:
    // Filter and Camcorder are the one camcorder that owns the pin: as a filter, and as the pin's host.
    TDVCamcorderPin(filters::TBCBaseFilter* filter, IDVCamcorderPinHost* camcorder, HRESULT& hr);
    ~TDVCamcorderPin() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT Notify(IBaseFilter*, Quality) override { return S_OK; }

private:
    struct PropertySetItf : IKsPropertySet {
        explicit PropertySetItf(TDVCamcorderPin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override
        {
            return E_PROP_ID_UNSUPPORTED;
        }
        HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size,
                                      DWORD* returned) override;
        HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;
        TDVCamcorderPin& o;
    };

    void Stream();
    // The run's first picture, for the test's list of when pictures were taken: the frame at the
    // tape position now, taken Late after it was due.
    void TellRunStart(REFERENCE_TIME late);

    IDVCamcorderPinHost* camcorder_;
    PropertySetItf propertySet_{*this};
    // Started and stopped at stream times by the application; a stopped camcorder's tape stands.
    TStreamControl streamControl_;
    TStreamControlItf<TDVCamcorderPin> streamControlItf_{*this, streamControl_};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::uint64_t losesEvery_ = 0;  // the test's lost pictures (recording_settings.h), set before the thread
    bool tellsLosses_ = false;      // the test keeps a list of them, set before the thread
    TTestPictureClock clock_;       // the test's camera clock (recording_settings.h), likewise
    bool unstamped_ = false;        // the test's pin that says less at a stop, likewise
    bool stopUntold_ = false;
    bool tellsTimes_ = false;
};

}  // namespace standins
