// Test sources for the program's own filters (RGB24 video of any size, PCM audio) and a graph
// fixture with a recording Sample Grabber callback.
#pragma once

#include "test_filters.h"

#include <qedit.h>

#include <functional>
#include <string>

EXTERN_C const CLSID CLSID_NullRenderer;
EXTERN_C const CLSID CLSID_SampleGrabber;
EXTERN_C const CLSID CLSID_FileWriter;

namespace ftest {

// A source with one output pin "Out" offering the one media type it is given; a thread delivers
// Count samples (0 = until stopped) of Bytes bytes each, filled by Fill(sample index, data), stamped
// index * Duration .. + Duration, then end of stream. Every Pace ms one sample (0: as fast as possible).
class MediaSource : public TBCBaseFilter {
public:
    explicit MediaSource(const AM_MEDIA_TYPE& type, long bytes);
    ~MediaSource() override;
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int n) override;
    // A live source cannot cue: paused, it says so, and renderers do not wait for a first sample.
    HRESULT GetState(DWORD ms, FILTER_STATE* state) override;

    std::atomic<int> Count{0};
    std::atomic<int> Pace{0};
    // Delivers only while the graph runs, as a capture device does.
    std::atomic<bool> Live{false};
    REFERENCE_TIME Duration = 400000;
    // Every KeyEvery-th sample from the first is a sync point, the others not.
    std::atomic<int> KeyEvery{1};
    std::function<void(int index, BYTE* data, long bytes)> Fill;
    // When set, sample index's start time (it lasts Duration) and whether it is a discontinuity.
    std::function<REFERENCE_TIME(int index, bool& discontinuity)> Stamp;
    // When set, where sample index that starts at Start stops (else Duration after it).
    std::function<REFERENCE_TIME(int index, REFERENCE_TIME start)> StopStamp;
    // From sample SwitchAt on, the samples carry SwitchType (a mid-stream type change on the first)
    // and hold SwitchBytes bytes; ShortAt gives one sample only half its bytes.
    int SwitchAt = -1;
    AM_MEDIA_TYPE* SwitchType = nullptr;
    long SwitchBytes = 0;
    int ShortAt = -1;
    // After the last sample the stream stays open, without an end of stream, as a capture stopped
    // by its user ends.
    std::atomic<bool> HoldEnd{false};
    // Goes on with the next sample when a delivery fails (instead of ending the stream).
    std::atomic<bool> GoOnAfterFailure{false};
    // Its samples carry no time stamps; it gives no sample at all until it stops (an input that
    // gives nothing).
    std::atomic<bool> Unstamped{false};
    std::atomic<bool> GivesNothing{false};
    std::atomic<int> Delivered{0};
    std::atomic<bool> EosSent{false};

    class Pin;

private:
    std::unique_ptr<Pin> pin_;
};

// RGB24 video of w x h (negative h: top-down), rows padded to 4 bytes.
void MakeVideoType(AM_MEDIA_TYPE& mt, int w, int h);
long VideoBytes(int w, int h);
// PCM as a WAVEFORMATEX of 18 bytes (cbSize 0), or a PCMWAVEFORMAT of 16 bytes when shortFormat.
void MakePcmType(AM_MEDIA_TYPE& mt, int rate, int channels, int bits, bool shortFormat);

// What reaches a Sample Grabber: per sample its times, media times, flags and data.
struct GrabbedSample {
    HRESULT timeResult = E_FAIL;
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT mediaTimeResult = E_FAIL;
    LONGLONG mediaStart = 0, mediaStop = 0;
    bool sync = false, discontinuity = false;
    REFERENCE_TIME clockNow = 0;  // the grabber's clock when it saw the sample
    std::vector<BYTE> data;
};

class RecordingGrabber : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return S_OK; }
    std::vector<GrabbedSample> Samples();
    size_t Size();
    bool KeepData = true;
    ComPtr<IReferenceClock> Clock;

private:
    std::mutex mutex_;
    std::vector<GrabbedSample> samples_;
};

template <typename P>
bool WaitUntil(P&& done, int ms = 10000)
{
    for (int waited = 0; waited < ms; waited += 2) {
        if (done()) {
            return true;
        }
        Sleep(2);
    }
    return done();
}

// A graph without a clock (unless UseClock), with helpers to add filters and link them.
class FilterGraphTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    template <typename T>
    T* Add(T* filter, const wchar_t* name)
    {
        ComPtr<IBaseFilter> held = Hold(filter);
        EXPECT_EQ(S_OK, graph->AddFilter(held.Get(), name));
        filters.push_back(held);
        return filter;
    }
    ComPtr<IBaseFilter> AddStock(REFCLSID clsid, const wchar_t* name);
    HRESULT Link(IBaseFilter* from, IBaseFilter* to);
    // A Sample Grabber (accepting the given major type) then a Null Renderer after from.
    HRESULT AddGrabberAfter(IBaseFilter* from, REFGUID major);
    // Gives the graph the system clock (the grabber's callback reads it too).
    void UseSystemClock();
    // Runs until the grabber's callback has seen count samples; then stops.
    bool RunUntil(size_t count, int ms = 10000);
    // The type the grabber connected with.
    bool GrabbedType(AM_MEDIA_TYPE& mt);

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    std::vector<ComPtr<IBaseFilter>> filters;
    ComPtr<ISampleGrabber> grabber;
    RecordingGrabber recorder;
};

}  // namespace ftest
