// The streaming half of a pin: the output pin decides the connection's allocator and delivers
// samples, end of stream, flushes and segments downstream; the input pin answers IMemInputPin
// (allocator handshake, Receive), reads each sample's properties and tracks flushing and errors.
#pragma once

#include "filters/base_pin.h"

#include <cstddef>

namespace filters {

// Sample properties are copied by size and offset, never by the 32-bit byte counts.
static_assert(offsetof(AM_SAMPLE2_PROPERTIES, tStart) == 16, "sample properties layout");
static_assert(offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId) == 32, "sample properties layout");
static_assert(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer) == 32 + 2 * sizeof(void*), "sample properties layout");
static_assert(sizeof(AM_SAMPLE2_PROPERTIES) == 32 + 4 * sizeof(void*), "sample properties layout");

class TBCBaseOutputPin : public TBCBasePin {
public:
    TBCBaseOutputPin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
                     std::wstring name);

    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT CheckConnect(IPin* pin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* receivePin) override;

    virtual HRESULT DecideAllocator(IMemInputPin* pin, Microsoft::WRL::ComPtr<IMemAllocator>& alloc);
    virtual HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties);
    virtual HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* startTime, REFERENCE_TIME* endTime,
                                      DWORD flags);
    virtual HRESULT Deliver(IMediaSample* sample);
    virtual HRESULT InitAllocator(Microsoft::WRL::ComPtr<IMemAllocator>& alloc);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate);

    // The agreed allocator and the peer's IMemInputPin, without references added.
    IMemAllocator* Allocator() const { return allocator_.Get(); }
    IMemInputPin* InputPin() const { return inputPin_.Get(); }

private:
    Microsoft::WRL::ComPtr<IMemAllocator> allocator_;
    Microsoft::WRL::ComPtr<IMemInputPin> inputPin_;
};

class TBCBaseInputPin : public TBCBasePin {
public:
    TBCBaseInputPin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
                    std::wstring name);
    ~TBCBaseInputPin() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    IMemInputPin* MemInputPinInterface() { return &memItf_; }

    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT Notify(IBaseFilter* sender, Quality q) override;
    HRESULT Inactive() override;
    HRESULT BreakConnect() override;
    virtual HRESULT Receive(IMediaSample* sample);
    virtual HRESULT CheckStreaming();

    // IMemInputPin; a derived pin may bring its own allocator through the first two.
    virtual HRESULT GetAllocator(IMemAllocator** alloc);
    virtual HRESULT NotifyAllocator(IMemAllocator* alloc, BOOL readOnly);
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props);
    HRESULT ReceiveMultiple(IMediaSample** samples, long count, long* processed);
    virtual HRESULT ReceiveCanBlock();

    // Sends a quality message to the quality sink, else upstream to the connected pin.
    HRESULT PassNotify(const Quality& q);
    // The properties of the sample being received (valid once one was received).
    const AM_SAMPLE2_PROPERTIES& SampleProps() const { return sampleProps_; }
    bool IsFlushing() const { return flushing_.load(); }
    bool IsReadOnly() const { return readOnly_; }
    IMemAllocator* Allocator() const { return allocator_.Get(); }

private:
    struct MemItf : IMemInputPin {
        explicit MemItf(TBCBaseInputPin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** alloc) override;
        HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* alloc, BOOL readOnly) override;
        HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
        HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
        HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
        HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;
        TBCBaseInputPin& o;
    };
    void DropOwnedType();

    MemItf memItf_;
    Microsoft::WRL::ComPtr<IMemAllocator> allocator_;
    bool readOnly_ = false;
    // Read by the streaming thread without a lock.
    std::atomic<bool> flushing_{false};
    AM_SAMPLE2_PROPERTIES sampleProps_{};
    // A type read through plain IMediaSample is ours to free (once the next sample replaces it).
    AM_MEDIA_TYPE* ownedType_ = nullptr;
};

}  // namespace filters
