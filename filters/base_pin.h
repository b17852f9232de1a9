// The base pin: IPin and IQualityControl, the connection handshake (type agreement over both pins'
// media-type lists), disconnection and the hooks derived pins take part through; the media-type
// enumerator and the small media-type routines of the connection code.
#pragma once

#include "filters/base_filter.h"

#include <limits>

namespace filters {

// Major, sub and format types, format sizes and format blocks equal.
bool TypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);
// m satisfies partial (GUID_NULL major/sub type or format type match anything).
bool MatchesPartial(const AM_MEDIA_TYPE& m, const AM_MEDIA_TYPE& partial);
// The major type or the format type is GUID_NULL.
bool IsPartiallySpecified(const AM_MEDIA_TYPE& m);
// All zero, then sample size 1 and fixed-size samples.
void InitMediaType(AM_MEDIA_TYPE& m);
// A task-memory copy of text; E_POINTER without p, E_OUTOFMEMORY when it cannot be allocated.
HRESULT AMGetWideString(const std::wstring& text, LPWSTR* p);

class TBCBasePin : public TBCUnknown {
public:
    // filter and lock must be given; the lock stays the filter's.
    TBCBasePin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr, std::wstring name,
               PIN_DIRECTION dir);
    ~TBCBasePin() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    // A pin lives as long as its filter: its references are the filter's.
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    // IPin of this pin, without a reference added.
    IPin* PinInterface() { return &pinItf_; }

    virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType);
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType);
    virtual HRESULT Disconnect();
    virtual HRESULT ConnectedTo(IPin** pin);
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mediaType);
    virtual HRESULT QueryPinInfo(PIN_INFO* info);
    virtual HRESULT QueryId(LPWSTR* id);
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* mediaType);
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** e);
    virtual HRESULT QueryInternalConnections(IPin** pins, ULONG* count);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate);
    virtual HRESULT Notify(IBaseFilter* sender, Quality q);
    virtual HRESULT SetSink(IQualityControl* sink);
    virtual LONG GetMediaTypeVersion();
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME tStart);
    // S_OK accepts; anything else refuses.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* mediaType);
    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* receivePin);
    // Fills the caller's initialised record for the 0-based position; S_OK, or another code past the list.
    virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType);

    HRESULT QueryDirection(PIN_DIRECTION* dir);
    bool IsConnected() const { return connected_.load() != nullptr; }
    bool IsStopped() const { return filter_->IsStopped(); }
    // The peer, without a reference added (valid while connected).
    IPin* GetConnected() const { return connected_.load(); }
    const AM_MEDIA_TYPE& CurrentMediaType() const { return mt_; }
    const std::wstring& Name() const { return name_; }
    PIN_DIRECTION Direction() const { return dir_; }
    TBCBaseFilter* Filter() const { return filter_; }
    TBCCritSec* Lock() const { return lock_; }
    bool RunTimeError() const { return runTimeError_.load(); }
    const Microsoft::WRL::ComPtr<IQualityControl>& QualitySink() const { return qSink_; }
    REFERENCE_TIME SegmentStart() const { return segStart_; }
    REFERENCE_TIME SegmentStop() const { return segStop_; }
    double SegmentRate() const { return segRate_; }
    LONG PinRefs() const { return pinRefs_.load(); }

    HRESULT AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* mediaType);
    HRESULT TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* e);
    HRESULT AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE* mediaType);
    HRESULT DisconnectInternal();

protected:
    void SetConnected(IPin* pin);
    void SetRunTimeError(bool v) { runTimeError_.store(v); }
    bool canReconnectWhenActive_ = false;
    bool tryMyTypesFirst_ = false;
    LONG typeVersion_ = 1;

private:
    struct PinItf : IPin {
        explicit PinItf(TBCBasePin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
        HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
        HRESULT STDMETHODCALLTYPE Disconnect() override;
        HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
        HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
        HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
        HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* dir) override;
        HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
        HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* mt) override;
        HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** e) override;
        HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
        HRESULT STDMETHODCALLTYPE EndOfStream() override;
        HRESULT STDMETHODCALLTYPE BeginFlush() override;
        HRESULT STDMETHODCALLTYPE EndFlush() override;
        HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;
        TBCBasePin& o;
    };
    struct QualityItf : IQualityControl {
        explicit QualityItf(TBCBasePin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality q) override;
        HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;
        TBCBasePin& o;
    };

    PinItf pinItf_;
    QualityItf qualityItf_;
    std::wstring name_;
    // Counted peer; read by streaming threads and ConnectedTo without the lock.
    std::atomic<IPin*> connected_{nullptr};
    PIN_DIRECTION dir_;
    TBCCritSec* lock_;
    std::atomic<bool> runTimeError_{false};
    TBCBaseFilter* filter_;
    Microsoft::WRL::ComPtr<IQualityControl> qSink_;
    AM_MEDIA_TYPE mt_{};
    REFERENCE_TIME segStart_ = 0;
    REFERENCE_TIME segStop_ = std::numeric_limits<REFERENCE_TIME>::max();
    double segRate_ = 1.0;
    std::atomic<LONG> pinRefs_{0};
};

// IEnumMediaTypes over a pin's GetMediaType list.
class TBCEnumMediaTypes : public TBCBaseObject, public TBCCountedInterface<IEnumMediaTypes, &IID_IEnumMediaTypes> {
public:
    TBCEnumMediaTypes(TBCBasePin* pin, const TBCEnumMediaTypes* source);
    ~TBCEnumMediaTypes() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** e) override;

private:
    bool AreWeOutOfSync() const { return pin_->GetMediaTypeVersion() != version_; }

    ULONG position_ = 0;
    TBCBasePin* pin_;  // kept alive by one delegating reference
    LONG version_ = 0;
};

}  // namespace filters
