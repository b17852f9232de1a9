// The Infinite Pin Tee stand-in under the stock class id and name: one input, as many outputs as
// are connected plus one free one, every connected output receiving every sample read-only through
// a queue of its own (so one renderer waiting in Receive cannot hold back the others), or on the
// caller's thread where no queue is needed: a branch whose peer never waits in Receive, or the only one.
#pragma once

#include "filters/base_io_pins.h"
#include "platform/standins/slim_sync.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace standins {

class TInfTeeInputPin;
class TInfTeeOutputPin;

class TInfTee : public filters::TBCBaseFilter {
public:
    TInfTee(const filters::TBCFilterTemplateEntry& factory, IUnknown* controller);
    ~TInfTee() override;

    int GetPinCount() override;
    filters::TBCBasePin* GetPin(int n) override;
    LONG GetPinVersion() override { return pinVersion_.load(); }

    TInfTeeInputPin* Input() const { return input_.get(); }
    // The outputs connected now, in pin order (the streaming thread's snapshot).
    std::vector<TInfTeeOutputPin*> ConnectedOutputs();
    // An output finished connecting or disconnecting: keep exactly one free output.
    void OutputConnected(TInfTeeOutputPin* pin);
    void OutputDisconnected(TInfTeeOutputPin* pin);

private:
    std::unique_ptr<TInfTeeInputPin> input_;
    // Every output ever made; a pin object lives until the filter does, because callers may still
    // hold its IPin after it left the visible list.
    std::vector<std::unique_ptr<TInfTeeOutputPin>> allOutputs_;
    std::vector<TInfTeeOutputPin*> outputs_;  // the visible outputs, in pin order
    std::vector<TInfTeeOutputPin*> spare_;    // left the list; reused before a new one is made
    std::mutex listLock_;                     // outputs_ and spare_: read by the streaming thread
    std::atomic<LONG> pinVersion_{1};
    int nextNumber_ = 1;
};

class TInfTeeInputPin : public filters::TBCBaseInputPin {
public:
    TInfTeeInputPin(TInfTee* tee, HRESULT& hr);

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT Receive(IMediaSample* sample) override;
    // S_FALSE unless a branch passes samples on the caller's thread to a peer that may wait.
    HRESULT ReceiveCanBlock() override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;

private:
    TInfTee* tee_;
    // Keeps end of stream behind the sample being passed on.
    filters::TBCCritSec receiveLock_;
};

class TInfTeeOutputPin : public filters::TBCBaseOutputPin {
public:
    TInfTeeOutputPin(TInfTee* tee, HRESULT& hr, std::wstring name);
    ~TInfTeeOutputPin() override;

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;
    HRESULT DecideAllocator(IMemInputPin* pin, Microsoft::WRL::ComPtr<IMemAllocator>& alloc) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT Notify(IBaseFilter* sender, Quality q) override;

    // How the branch passes the stream on: through its queue and thread, or on the caller's thread
    // (never waiting itself; or to a peer that may wait). Decided when streaming starts; connections
    // do not change while the filter streams.
    enum class TPath : std::uint8_t { Queued, Direct, DirectMayWait };
    TPath ChoosePath();

    // The input's stream, in order, queued for this branch's thread or passed on at once. A sample is
    // refused (S_FALSE) while flushing and with the branch's first failure once downstream failed.
    HRESULT QueueSample(IMediaSample* sample);
    void QueueEndOfStream();
    void QueueNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate);
    void BeginFlushQueue();
    void EndFlushQueue();
    bool SharesInputAllocator() const { return sharing_.load(); }

private:
    struct TQueued {
        enum TKind : std::uint8_t { qkSample, qkEndOfStream, qkNewSegment } Kind = qkSample;
        Microsoft::WRL::ComPtr<IMediaSample> Sample;
        REFERENCE_TIME Start = 0, Stop = 0;
        double Rate = 1.0;
    };
    // Passes a sample on: the sample itself when the peer shares the input's allocator, else a
    // copy in a buffer of this pin's own allocator.
    HRESULT DeliverShared(IMediaSample* sample);
    void Push(TQueued item);
    // Keeps the branch's first failure of a sample, outside a flush.
    void NoteFailure(HRESULT hr);
    void Worker();
    void StopWorker();

    TInfTee* tee_;
    std::atomic<bool> sharing_{false};
    std::atomic<bool> direct_{false};  // set by Active before the stream starts
    std::thread worker_;
    TSlimMutex queueLock_;  // the fields below
    TSlimCondition queueSignal_;
    std::deque<TQueued> queue_;
    bool running_ = false;
    bool quit_ = false;
    bool flushing_ = false;
    HRESULT failure_ = S_OK;
};

}  // namespace standins
