// Test filters on the base classes: an RGB24 source, a sink that records what reaches it, an
// in-place pass-through, a copying transform, a hand-made media sample and small COM helpers.
#pragma once

#include "filters/transform_in_place.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace ftest {

using Microsoft::WRL::ComPtr;
using namespace filters;

// AM_MEDIA_TYPE that frees its format block.
struct MediaType : AM_MEDIA_TYPE {
    MediaType();
    ~MediaType();
    MediaType(const MediaType&) = delete;
    MediaType& operator=(const MediaType&) = delete;
};

// RGB24 video of w x h in a VIDEOINFOHEADER (format block from the task allocator).
void MakeRgb24(AM_MEDIA_TYPE& mt, int w, int h);
int WidthOf(const AM_MEDIA_TYPE& mt);

extern const CLSID CLSID_TestSource;
extern const CLSID CLSID_TestSink;
extern const CLSID CLSID_TestPassThrough;
extern const CLSID CLSID_TestCopy;

// Source: one output pin "Out" offering RGB24 64x48 then 32x24; a thread delivers frames whose bytes
// all equal the frame number (mod 256), then end of stream after FrameLimit frames (0: endless).
class TestSource : public TBCBaseFilter {
public:
    TestSource();
    ~TestSource() override;
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int n) override;

    class Pin;
    Pin* OutPin() { return pin_.get(); }

    std::atomic<int> FrameLimit{0};
    std::atomic<int> Delivered{0};
    std::atomic<int> Buffers{3};
    std::atomic<int> QualityNotes{0};
    std::atomic<bool> EosSent{false};
    REFERENCE_TIME FrameTime = 10000;  // 1 ms

private:
    std::unique_ptr<Pin> pin_;
};

class TestSource::Pin : public TBCBaseOutputPin {
public:
    explicit Pin(TestSource* filter, HRESULT& hr);
    ~Pin() override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT Notify(IBaseFilter* sender, Quality q) override;

private:
    void Stream();
    TestSource* source_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// Sink: one input pin "In"; accepts RGB24 of the widths in Accept (any when empty), offers Offer.
class TestSink : public TBCBaseFilter {
public:
    TestSink();
    ~TestSink() override;
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int n) override;

    class Pin;
    Pin* InPin() { return pin_.get(); }

    std::vector<int> Accept;               // accepted widths
    std::vector<int> Offer;                // offered widths (GetMediaType)
    HRESULT RefuseWith = S_FALSE;          // CheckMediaType's answer for a refused type
    bool RefuseNotifyAllocator = false;
    bool OfferAllocator = true;            // GetAllocator succeeds
    int ReturnFalseAt = -1;                // Receive answers S_FALSE for this sample index
    bool HoldSamples = false;              // keep received samples until ReleaseHeld
    std::atomic<int> Received{0};
    std::atomic<int> Eos{0};
    std::atomic<int> BeginFlushes{0};
    std::atomic<int> EndFlushes{0};
    std::atomic<int> BadData{0};           // frames whose bytes are not all equal
    std::mutex Mutex;
    std::vector<DWORD> Flags;              // sample flags of each received sample
    std::vector<int> FirstBytes;
    std::vector<ComPtr<IMediaSample>> Held;
    void ReleaseHeld();

private:
    std::unique_ptr<Pin> pin_;
};

class TestSink::Pin : public TBCBaseInputPin {
public:
    Pin(TestSink* filter, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT GetAllocator(IMemAllocator** alloc) override;
    HRESULT NotifyAllocator(IMemAllocator* alloc, BOOL readOnly) override;
    int NotifyCalls = 0;

private:
    TestSink* sink_;
};

// In-place pass-through: accepts RGB24 (of the widths in Accept, any when empty); DropEvery n drops
// every n-th sample (S_FALSE); Invert writes 255 - byte into each sample.
class PassThrough : public TBCTransInPlaceFilter {
public:
    PassThrough();
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override;
    HRESULT Transform(IMediaSample* sample) override;
    std::vector<int> Accept;
    std::atomic<int> DropEvery{0};
    std::atomic<int> Transforms{0};
    std::atomic<int> StreamIdSeen{0};
};

// Copying transform: RGB24 in, the same type out, data copied; DropAll answers S_FALSE.
class CopyTransform : public TBCTransformFilter {
public:
    CopyTransform();
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    std::atomic<bool> DropAll{false};
    std::atomic<int> Transforms{0};
    std::atomic<int> Starts{0};
    std::atomic<int> Stops{0};
    std::atomic<int> AlterCalls{0};
    HRESULT AlterResult = S_FALSE;
    HRESULT AlterQuality(const Quality& q) override;
};

// A media sample made by hand: plain IMediaSample, or IMediaSample2 as well when WithSample2.
class TestSample : public IMediaSample2 {
public:
    explicit TestSample(bool withSample2, long size = 16);
    virtual ~TestSample();
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override;
    long STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL v) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL v) override;
    long STDMETHODCALLTYPE GetActualDataLength() override;
    HRESULT STDMETHODCALLTYPE SetActualDataLength(long n) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** mt) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL v) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* end) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* end) override;
    HRESULT STDMETHODCALLTYPE GetProperties(DWORD size, BYTE* props) override;
    HRESULT STDMETHODCALLTYPE SetProperties(DWORD size, const BYTE* props) override;

    bool WithSample2;
    std::vector<BYTE> Data;
    long Actual = 0;
    HRESULT TimeResult = VFW_E_SAMPLE_TIME_NOT_SET;
    REFERENCE_TIME Start = 0, Stop = 0;
    bool Sync = false, Discontinuity = false, Preroll = false;
    IUnknown* TypeMarker = nullptr;  // when set, GetMediaType answers a type whose pUnk is this
    DWORD StreamId = AM_STREAM_MEDIA;
    std::atomic<LONG> Refs{1};
};

// An IUnknown that counts its references (to see media types freed: pUnk is released).
class CountingUnknown : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
    std::atomic<LONG> Refs{0};
};

// Holds a filter object with one reference (through its IBaseFilter).
template <typename T>
ComPtr<IBaseFilter> Hold(T* filter)
{
    return ComPtr<IBaseFilter>(filter->BaseFilterInterface());
}

// The IPin of a pin, counted.
inline ComPtr<IPin> PinOf(TBCBasePin* pin)
{
    return ComPtr<IPin>(pin->PinInterface());
}

}  // namespace ftest
