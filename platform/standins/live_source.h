// What the synthetic capture devices share: a live source filter (nothing to cue while paused) and
// its capture pin, which produces units (pictures, sound buffers) on its own thread at stream time
// while the filter runs, answers its pin category through IKsPropertySet and its formats through
// IAMStreamConfig.
#pragma once

#include "filters/base_io_pins.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/slim_sync.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace standins {

// The interface stubs' guard (QUILL_DELEGATING_UNKNOWN names it unqualified).
using filters::ComGuard;

class TLiveOutputPin;

// An initialised media type that frees its format block when it goes.
struct TTypeHolder : AM_MEDIA_TYPE {
    TTypeHolder();
    ~TTypeHolder();
    TTypeHolder(const TTypeHolder&) = delete;
    TTypeHolder& operator=(const TTypeHolder&) = delete;
};

// A format block of n bytes from the task allocator, zeroed, given to m (whose old block is freed).
// Answers the block, or nullptr when it cannot be allocated.
BYTE* AllocFormat(AM_MEDIA_TYPE& m, ULONG n);

class TLiveSourceFilter : public filters::TBCBaseFilter {
public:
    TLiveSourceFilter(std::string name, IUnknown* owner, REFCLSID clsid);
    ~TLiveSourceFilter() override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    // Paused answers VFW_S_CANT_CUE: a live source delivers nothing until it runs.
    HRESULT GetState(DWORD milliSecsTimeout, FILTER_STATE* state) override;
    int GetPinCount() override { return pin_ ? 1 : 0; }
    filters::TBCBasePin* GetPin(int n) override;

    // Blocks until the filter runs and its stream time has reached due (true), or stop is raised
    // (false). now receives the stream time, run the number of the run it belongs to (it changes
    // with every Run, so a pin sees a pause in between).
    bool WaitForStreamTime(REFERENCE_TIME due, const std::atomic<bool>& stop, REFERENCE_TIME& now, unsigned& run);
    // Wakes a waiting streaming thread to look at its stop flag again.
    void Wake();
    // The stream time now, false while the filter is not running.
    bool RunningStreamTime(REFERENCE_TIME& now);

protected:
    // The derived filter makes its one pin here, in its constructor.
    void SetPin(std::unique_ptr<TLiveOutputPin> pin);
    TLiveOutputPin* LivePin() const { return pin_.get(); }

private:
    // Stream time now; mutex_ held.
    REFERENCE_TIME StreamTimeLocked() const;

    TSlimMutex mutex_;
    TSlimCondition changed_;
    bool running_ = false;
    unsigned run_ = 0;
    // The graph's clock and start time, copied at Run, so the streaming thread never takes the
    // filter lock (Stop holds it while it waits for that thread).
    Microsoft::WRL::ComPtr<IReferenceClock> clock_;
    REFERENCE_TIME start_ = 0;
    // Without a graph clock: running time counted on the performance counter.
    REFERENCE_TIME runStartedAt_ = 0;
    REFERENCE_TIME pausedAt_ = 0;
    std::unique_ptr<TLiveOutputPin> pin_;
};

// The capture pin. A derived pin describes its capabilities and fills units; this class negotiates
// the formats, runs the streaming thread and answers the property and configuration interfaces.
class TLiveOutputPin : public filters::TBCBaseOutputPin {
public:
    TLiveOutputPin(std::string objectName, TLiveSourceFilter* filter, HRESULT& hr, std::wstring name);
    ~TLiveOutputPin() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;

    // IKsPropertySet: the pin category (PIN_CATEGORY_CAPTURE), read-only.
    HRESULT KsSet(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD dataSize);
    HRESULT KsGet(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD dataSize,
                  DWORD* returned);
    HRESULT KsQuerySupported(REFGUID set, DWORD id, DWORD* support);

    // IAMStreamConfig. A format set while unconnected is the only type offered from then on; set
    // while connected (and stopped) it reconnects through the graph when the peer accepts it.
    HRESULT SetFormat(const AM_MEDIA_TYPE* mediaType);
    HRESULT GetFormat(AM_MEDIA_TYPE** mediaType);
    HRESULT GetNumberOfCapabilities(int* count, int* size);
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** mediaType, BYTE* caps);

protected:
    virtual int CapabilityCount() const = 0;
    virtual int CapabilitySize() const = 0;
    // Capability index's default type into the initialised m, and its capability record into caps
    // (CapabilitySize bytes) when caps is given.
    virtual void BuildCapability(int index, AM_MEDIA_TYPE& m, BYTE* caps) const = 0;
    // The type this pin would stream for a request, written into the initialised out, or false when
    // the request describes no capability (wrong type, malformed or short format block, bad values).
    virtual bool Canonical(const AM_MEDIA_TYPE& request, AM_MEDIA_TYPE& out) const = 0;

    // Streaming hooks. UnitDuration is read when streaming starts, from the connection's type.
    virtual REFERENCE_TIME UnitDuration() const = 0;
    // The clock the units are taken by (read when streaming starts): unit n is stamped at its At(n)
    // and lasts UnitDuration; by default every UnitDuration, exactly.
    virtual TTestPictureClock UnitClock(REFERENCE_TIME duration) const { return TTestPictureClock(duration); }
    // True: a unit goes out once its end has passed (sound); false: at its start (pictures).
    virtual bool DeliversAtUnitEnd() const = 0;
    // True: units the stream fell a whole unit behind on are passed over (and reported).
    virtual bool SkipsLateUnits() const = 0;
    // True: unit n is lost although it is on time (a test's busy machine); it is reported as missed.
    virtual bool LosesUnit(LONGLONG /*n*/) const { return false; }
    // Writes unit n into the sample (data and length); the caller stamps it.
    virtual HRESULT FillUnit(IMediaSample* sample, LONGLONG unit) = 0;
    // Whether the unit just filled stands alone (a sync point): coded video says so per picture.
    virtual bool FilledUnitIsKey() const { return true; }
    // Whether the unit just filled follows something lost (it is marked a discontinuity).
    virtual bool FilledUnitFollowsGap() const { return false; }
    virtual void StreamStarting() {}
    virtual void UnitsMissed(LONGLONG /*first*/, LONGLONG /*count*/) {}
    virtual void UnitDelivered(long /*bytes*/) {}

private:
    struct KsItf : IKsPropertySet {
        explicit KsItf(TLiveOutputPin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                                      DWORD dataSize) override;
        HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                                      DWORD dataSize, DWORD* returned) override;
        HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;
        TLiveOutputPin& o;
    };
    struct ConfigItf : IAMStreamConfig {
        explicit ConfigItf(TLiveOutputPin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* mt) override;
        HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** mt) override;
        HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
        HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;
        TLiveOutputPin& o;
    };

    void Stream();

    KsItf ksItf_;
    ConfigItf configItf_;
    TLiveSourceFilter* live_;
    // The format set through IAMStreamConfig (filter lock).
    AM_MEDIA_TYPE setType_{};
    bool hasSetType_ = false;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    REFERENCE_TIME unit_ = 0;  // written before the thread starts
    TTestPictureClock clock_;  // likewise
};

}  // namespace standins
