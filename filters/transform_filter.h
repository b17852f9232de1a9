// The transform filter: one input and one output pin, each input sample turned into a new output
// sample from the output allocator; two locks (filter, then receive), the streaming start/stop
// protocol, sample-property propagation and the skipped-frame quality protocol.
#pragma once

#include "filters/base_io_pins.h"

namespace filters {

class TBCTransformInputPin;
class TBCTransformOutputPin;

// The system seeking pass-through (aggregated by owner when given), initialised on pin.
HRESULT CreatePosPassThru(IUnknown* owner, bool renderer, IPin* pin, Microsoft::WRL::ComPtr<IUnknown>& passThru);

class TBCTransformFilter : public TBCBaseFilter {
public:
    TBCTransformFilter(std::string objectName, IUnknown* owner, REFCLSID clsid);
    TBCTransformFilter(const TBCFilterTemplateEntry& factory, IUnknown* controller);
    ~TBCTransformFilter() override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;
    int GetPinCount() override { return 2; }
    TBCBasePin* GetPin(int n) override;

    // S_OK delivers the output sample, S_FALSE drops it.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out);
    virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) = 0;
    virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT StartStreaming();
    virtual HRESULT StopStreaming();
    virtual HRESULT AlterQuality(const Quality& q);
    virtual HRESULT SetMediaType(PIN_DIRECTION dir, const AM_MEDIA_TYPE* mediaType);
    virtual HRESULT CheckConnect(PIN_DIRECTION dir, IPin* pin);
    virtual HRESULT BreakConnect(PIN_DIRECTION dir);
    virtual HRESULT CompleteConnect(PIN_DIRECTION dir, IPin* receivePin);
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT InitializeOutputSample(IMediaSample* sample, Microsoft::WRL::ComPtr<IMediaSample>& outSample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate);

    TBCTransformInputPin* InputPin() const { return input_.get(); }
    TBCTransformOutputPin* OutputPin() const { return output_.get(); }
    TBCCritSec& FilterLock() { return *csFilter_; }
    TBCCritSec& ReceiveLock() { return csReceive_; }
    bool EOSDelivered() const { return eosDelivered_.load(); }
    bool SampleSkipped() const { return sampleSkipped_.load(); }
    bool QualityChanged() const { return qualityChanged_.load(); }

protected:
    // Creates input_ and then output_ (GetPin calls it under the filter lock until both exist).
    virtual void MakePins();

    // Written on the streaming thread and by Pause/Stop; read on both.
    std::atomic<bool> eosDelivered_{false};
    std::atomic<bool> sampleSkipped_{false};
    std::atomic<bool> qualityChanged_{false};
    TBCCritSec* csFilter_;  // the base filter's lock, owned there
    TBCCritSec csReceive_;
    std::unique_ptr<TBCTransformInputPin> input_;
    std::unique_ptr<TBCTransformOutputPin> output_;
    std::atomic<bool> pinsReady_{false};
};

class TBCTransformInputPin : public TBCBaseInputPin {
public:
    TBCTransformInputPin(std::string objectName, TBCTransformFilter* filter, HRESULT& hr, std::wstring name);

    HRESULT QueryId(LPWSTR* id) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT CheckStreaming() override;

protected:
    TBCTransformFilter* transformFilter_;
};

class TBCTransformOutputPin : public TBCBaseOutputPin {
public:
    TBCTransformOutputPin(std::string objectName, TBCTransformFilter* filter, HRESULT& hr, std::wstring name);

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    HRESULT QueryId(LPWSTR* id) override;
    HRESULT Notify(IBaseFilter* sender, Quality q) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) override;

    // The agreed allocator with a reference.
    Microsoft::WRL::ComPtr<IMemAllocator> PeekAllocator() const { return Allocator(); }
    // The seeking pass-through, once a seeking interface was asked for.
    IUnknown* Position() const { return position_.Get(); }

protected:
    TBCTransformFilter* transformFilter_;

private:
    TBCCritSec positionLock_;
    Microsoft::WRL::ComPtr<IUnknown> position_;
};

}  // namespace filters
