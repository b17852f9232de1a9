// The root of every filter: state, reference clock, graph and event sink, IBaseFilter (with
// IMediaFilter and IPersist) and IAMovieSetup over the pins a derived filter supplies, and the pin
// enumerator.
#pragma once

#include "filters/base_com.h"

#include <memory>
#include <string>
#include <vector>

namespace filters {

class TBCBasePin;

class TBCBaseFilter : public TBCUnknown {
public:
    // lock must be given; the filter owns it.
    TBCBaseFilter(std::string name, IUnknown* owner, std::unique_ptr<TBCCritSec> lock, REFCLSID clsid);
    // The factory's constructor: a new lock, the entry's name and CLSID.
    TBCBaseFilter(const TBCFilterTemplateEntry& factory, IUnknown* controller);
    ~TBCBaseFilter() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;

    // IBaseFilter of this object, without a reference added.
    IBaseFilter* BaseFilterInterface() { return &filterItf_; }

    virtual HRESULT Stop();
    virtual HRESULT Pause();
    virtual HRESULT Run(REFERENCE_TIME tStart);
    virtual HRESULT GetState(DWORD milliSecsTimeout, FILTER_STATE* state);
    virtual HRESULT StreamTime(REFERENCE_TIME& rtStream);
    virtual HRESULT FindPin(LPCWSTR id, IPin** pin);
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name);
    virtual LONG GetPinVersion();
    virtual int GetPinCount() = 0;
    // The pin of index n, or nullptr.
    virtual TBCBasePin* GetPin(int n) = 0;
    virtual HRESULT Register();
    virtual HRESULT Unregister();

    // The fixed IBaseFilter methods.
    HRESULT GetClassID(CLSID* clsid);
    HRESULT SetSyncSource(IReferenceClock* clock);
    HRESULT GetSyncSource(IReferenceClock** clock);
    HRESULT EnumPins(IEnumPins** pins);
    HRESULT QueryFilterInfo(FILTER_INFO* info);
    HRESULT QueryVendorInfo(LPWSTR* vendorInfo);

    bool IsStopped() const { return state_.load() == State_Stopped; }
    FILTER_STATE State() const { return state_.load(); }
    HRESULT NotifyEvent(long eventCode, LONG_PTR param1, LONG_PTR param2);
    HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mediaType);

    TBCCritSec* Lock() { return lock_.get(); }
    const std::wstring& Name() const { return name_; }
    IFilterGraph* Graph() const { return graph_; }
    IMediaEventSink* Sink() const { return sink_; }
    REFERENCE_TIME StartTime() const { return start_; }
    const Microsoft::WRL::ComPtr<IReferenceClock>& Clock() const { return clock_; }

protected:
    void SetState(FILTER_STATE state) { state_.store(state); }
    void SetStartTime(REFERENCE_TIME t) { start_ = t; }

private:
    struct FilterItf : IBaseFilter {
        explicit FilterItf(TBCBaseFilter& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
        HRESULT STDMETHODCALLTYPE Stop() override;
        HRESULT STDMETHODCALLTYPE Pause() override;
        HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) override;
        HRESULT STDMETHODCALLTYPE GetState(DWORD ms, FILTER_STATE* state) override;
        HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
        HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
        HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
        HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
        HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
        HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
        HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) override;
        TBCBaseFilter& o;
    };
    struct SetupItf : IAMovieSetup {
        explicit SetupItf(TBCBaseFilter& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE Register() override;
        HRESULT STDMETHODCALLTYPE Unregister() override;
        TBCBaseFilter& o;
    };

    HRESULT RegisterSteps(bool doRegister);

    FilterItf filterItf_;
    SetupItf setupItf_;
    // Read without the lock (GetState, streaming threads), written under it.
    std::atomic<FILTER_STATE> state_{State_Stopped};
    Microsoft::WRL::ComPtr<IReferenceClock> clock_;
    REFERENCE_TIME start_ = 0;
    CLSID clsid_;
    std::unique_ptr<TBCCritSec> lock_;
    std::wstring name_;
    IFilterGraph* graph_ = nullptr;     // not counted: the graph owns the filter
    IMediaEventSink* sink_ = nullptr;   // likewise
    LONG pinVersion_ = 1;
};

// IEnumPins over a TBCBaseFilter; each pin is returned once even across a resynchronisation.
class TBCEnumPins : public TBCBaseObject, public TBCCountedInterface<IEnumPins, &IID_IEnumPins> {
public:
    TBCEnumPins(TBCBaseFilter* filter, const TBCEnumPins* source);
    ~TBCEnumPins() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG cPins, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cPins) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** e) override;

private:
    bool AreWeOutOfSync() const { return filter_->GetPinVersion() != version_; }
    void Refresh();

    int position_ = 0;
    int count_ = 0;
    TBCBaseFilter* filter_;  // kept alive by one delegating reference
    LONG version_ = 0;
    std::vector<TBCBasePin*> cache_;
};

}  // namespace filters
