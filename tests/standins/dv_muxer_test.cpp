// The DV muxer stand-in when a run ends. A frame waits for the sound of its time; when the graph
// stops (it pauses every filter, downstream first, before it stops any), the frames still waiting go
// out with the sound that came and silence for the rest while what follows still takes them, so that
// a recording's last pictures reach its file; the next run (a cut's) waits afresh, and its timecodes
// run on. A run whose streams end (a stop that lets them reach the file first) ends its output once
// the video and the sound that goes with it have come. A renderer after the muxer, which holds what
// it gets while paused, does not hold the stop.
#include "dv_test_support.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <span>

#include "dshow/ds_helpers.h"
#include "filters/base_io_pins.h"
#include "filters/dv_codes.h"
#include "platform/standins/dv_frame.h"

using namespace dvtest;

namespace {

constexpr REFERENCE_TIME kFrameTime = standins::kDVFrameTime625;
constexpr int kFrameSamples = 1920;  // 48 kHz at 25 frames a second

const CLSID kPushSourceClass = {0x3b9c0e51, 0x7d2a, 0x4c61, {0x8e, 0x15, 0x52, 0x0f, 0x6d, 0x9a, 0x41, 0x07}};
const CLSID kKeeperClass = {0x3b9c0e52, 0x7d2a, 0x4c61, {0x8e, 0x15, 0x52, 0x0f, 0x6d, 0x9a, 0x41, 0x07}};

// A live source whose one pin offers one type and delivers, on the caller's thread, what Push gives it.
class PushSource : public filters::TBCBaseFilter {
public:
    PushSource(const std::function<void(AM_MEDIA_TYPE&)>& makeType, long bytes)
        : TBCBaseFilter("Push source", nullptr, std::make_unique<filters::TBCCritSec>(), kPushSourceClass),
          bytes_(bytes)
    {
        makeType(type_);
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
    }
    ~PushSource() override { dshow::FreeMediaType(type_); }
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    IBaseFilter* Filter() { return BaseFilterInterface(); }
    // Live: nothing to cue while paused, so that the graph runs without a renderer's first frame.
    HRESULT GetState(DWORD ms, FILTER_STATE* state) override
    {
        const HRESULT hr = TBCBaseFilter::GetState(ms, state);
        return hr == S_OK && *state == State_Paused ? VFW_S_CANT_CUE : hr;
    }

    HRESULT Push(std::span<const std::uint8_t> data, REFERENCE_TIME start)
    {
        ComPtr<IMediaSample> sample;
        HRESULT hr = pin_->GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* into = nullptr;
        sample->GetPointer(&into);
        std::memcpy(into, data.data(), data.size());
        sample->SetActualDataLength(static_cast<long>(data.size()));
        REFERENCE_TIME end = start + 1;
        sample->SetTime(&start, &end);
        return pin_->Deliver(sample.Get());
    }
    HRESULT End() { return pin_->DeliverEndOfStream(); }

private:
    class Pin : public filters::TBCBaseOutputPin {
    public:
        Pin(PushSource* owner, HRESULT& hr)
            : TBCBaseOutputPin("Push source pin", owner, owner->Lock(), hr, L"Out"), owner_(owner)
        {
        }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override
        {
            return mt != nullptr && filters::TypesEqual(*mt, owner_->type_) ? S_OK : S_FALSE;
        }
        HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
        {
            if (position != 0) return VFW_S_NO_MORE_ITEMS;
            dshow::FreeMediaType(*mt);
            dshow::CopyMediaType(mt, &owner_->type_);
            return S_OK;
        }
        HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
        {
            props->cBuffers = 2;
            props->cbBuffer = owner_->bytes_;
            if (props->cbAlign == 0) props->cbAlign = 1;
            ALLOCATOR_PROPERTIES actual{};
            return alloc->SetProperties(props, &actual);
        }

    private:
        PushSource* owner_;
    };

    AM_MEDIA_TYPE type_{};
    long bytes_;
    std::unique_ptr<Pin> pin_;
};

// A sink of interleaved DV that keeps a copy of every frame it takes; stopped, it takes none, as a
// recording's writer takes none once its file is closed.
class Keeper : public filters::TBCBaseFilter {
public:
    Keeper() : TBCBaseFilter("Keeper", nullptr, std::make_unique<filters::TBCCritSec>(), kKeeperClass)
    {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
    }
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    IBaseFilter* Filter() { return BaseFilterInterface(); }
    std::vector<std::vector<std::uint8_t>> Frames()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return frames_;
    }
    std::atomic<bool> Ended{false};

private:
    class Pin : public filters::TBCBaseInputPin {
    public:
        Pin(Keeper* owner, HRESULT& hr)
            : TBCBaseInputPin("Keeper pin", owner, owner->Lock(), hr, L"In"), owner_(owner)
        {
        }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override
        {
            return mt != nullptr && mt->majortype == MEDIATYPE_Interleaved ? S_OK : S_FALSE;
        }
        HRESULT Receive(IMediaSample* sample) override
        {
            HRESULT hr = TBCBaseInputPin::Receive(sample);
            if (hr != S_OK) return hr;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            std::lock_guard<std::mutex> guard(owner_->mutex_);
            owner_->frames_.emplace_back(data, data + std::max<long>(sample->GetActualDataLength(), 0));
            return S_OK;
        }
        HRESULT EndOfStream() override
        {
            owner_->Ended = true;
            return S_OK;
        }

    private:
        Keeper* owner_;
    };

    std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> frames_;
    std::unique_ptr<Pin> pin_;
};

// A PAL frame whose timecode is the Count-th frame's.
std::vector<std::uint8_t> FrameOf(int count)
{
    std::vector<std::uint8_t> frame(standins::DVFrameBytes(true));
    standins::TDVFrameSpec spec;
    spec.Timecode = standins::DVTimecodeOfCount(true, count);
    standins::DVBuildFrame(frame, spec);
    return frame;
}

int CountOf(const std::vector<std::uint8_t>& frame)
{
    const filters::TDVTimecode tc = filters::DVReadTimecode(frame, 0);
    return ((tc.Hours * 60 + tc.Minutes) * 60 + tc.Seconds) * 25 + tc.Frames;
}

// Stereo 16-bit sound of Samples sample frames, none of them 0, so that silence stands out.
std::vector<std::uint8_t> Sound(int samples)
{
    std::vector<std::uint8_t> pcm(static_cast<std::size_t>(samples) * 4);
    for (int n = 0; n < samples; ++n) {
        const auto v = static_cast<std::int16_t>(1000 + n % 1000);
        std::memcpy(&pcm[static_cast<std::size_t>(n) * 4], &v, 2);
        std::memcpy(&pcm[static_cast<std::size_t>(n) * 4 + 2], &v, 2);
    }
    return pcm;
}

// How many of a frame's sample frames carry sound (not 0) at its start, and how many are silent
// after them; Whole when the two make up its sound.
struct TSoundOfFrame {
    int Heard = 0;
    int Silent = 0;
    bool Whole = false;
};
TSoundOfFrame SoundOfFrame(const std::vector<std::uint8_t>& frame)
{
    std::vector<std::int16_t> audio;
    int rate = 0;
    const int samples = standins::DVReadAudio(frame, audio, rate);
    TSoundOfFrame found;
    int n = 0;
    while (n < samples && audio[2 * n] != 0 && audio[2 * n + 1] != 0) ++n, ++found.Heard;
    while (n < samples && audio[2 * n] == 0 && audio[2 * n + 1] == 0) ++n, ++found.Silent;
    found.Whole = samples == kFrameSamples && n == samples;
    return found;
}

class DVMuxerRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        ASSERT_TRUE(graph);
        graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control.GetAddressOf()));
        video = new PushSource([](AM_MEDIA_TYPE& mt) { standins::DVMakeVideoType(mt, true); },
                               static_cast<long>(standins::DVFrameBytes(true)));
        sound = new PushSource([](AM_MEDIA_TYPE& mt) { standins::DVMakePcmType(mt, 48000, 2); }, 48000 * 4);
        videoFilter = video->Filter();
        soundFilter = sound->Filter();
        muxer = AddFilter(graph.Get(), CLSID_DVMux, L"DVmux");
        ASSERT_TRUE(muxer);
        ASSERT_EQ(S_OK, graph->AddFilter(videoFilter.Get(), L"Video"));
        ASSERT_EQ(S_OK, graph->AddFilter(soundFilter.Get(), L"Sound"));
        ASSERT_EQ(S_OK, Link(videoFilter.Get(), muxer.Get()));
        ASSERT_EQ(S_OK, Link(soundFilter.Get(), muxer.Get(), 1));  // the sound input, there once video is
    }
    void TearDown() override
    {
        if (control) control->Stop();
    }
    HRESULT Link(IBaseFilter* from, IBaseFilter* to, int input = 0)
    {
        return graph->ConnectDirect(PinOf(from, PINDIR_OUTPUT).Get(), PinOf(to, PINDIR_INPUT, input).Get(), nullptr);
    }
    // Runs the graph and waits until the muxer runs (Wine's graph runs its filters a little later).
    bool RunGraph()
    {
        if (FAILED(control->Run())) return false;
        const DWORD start = GetTickCount();
        FILTER_STATE state = State_Stopped;
        while ((muxer->GetState(0, &state), state != State_Running) && GetTickCount() - start < 10000) Sleep(10);
        return state == State_Running;
    }
    // Sound for Samples sample frames from the run's start, then Count frames of the timecodes from
    // First on, one a frame's time after the other from the start.
    void Feed(int samples, int first, int count)
    {
        const std::vector<std::uint8_t> pcm = Sound(samples);
        ASSERT_EQ(S_OK, sound->Push(pcm, 0));
        for (int i = 0; i < count; ++i) ASSERT_EQ(S_OK, video->Push(FrameOf(first + i), i * kFrameTime)) << i;
    }

    ComScope com;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    PushSource* video = nullptr;  // held by their interfaces
    PushSource* sound = nullptr;
    ComPtr<IBaseFilter> videoFilter, soundFilter, muxer;
};

TEST_F(DVMuxerRun, AStopSendsTheFramesWaitingForTheirSoundAndTheNextRunFollowsOn)
{
    auto* keeper = new Keeper;
    ComPtr<IBaseFilter> keeperFilter = keeper->Filter();
    ASSERT_EQ(S_OK, graph->AddFilter(keeperFilter.Get(), L"Keeper"));
    ASSERT_EQ(S_OK, Link(muxer.Get(), keeperFilter.Get()));

    // The sound of two frames and a half, then five frames: two go out, three wait for their sound.
    ASSERT_TRUE(RunGraph());
    ASSERT_NO_FATAL_FAILURE(Feed(2 * kFrameSamples + kFrameSamples / 2, 100, 5));
    EXPECT_EQ(2u, keeper->Frames().size()) << "a frame waits for the sound of its time";
    ASSERT_EQ(S_OK, control->Stop());
    std::vector<std::vector<std::uint8_t>> frames = keeper->Frames();
    ASSERT_EQ(5u, frames.size()) << "the frames waiting for their sound are lost at the stop";
    // Each carries the sound that came for it, silence only where none came.
    const int heard[] = {kFrameSamples, kFrameSamples, kFrameSamples / 2, 0, 0};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(100 + i, CountOf(frames[i]));
        const TSoundOfFrame sound = SoundOfFrame(frames[i]);
        EXPECT_TRUE(sound.Whole);
        EXPECT_EQ(heard[i], sound.Heard);
        EXPECT_EQ(kFrameSamples - heard[i], sound.Silent);
    }

    // A cut's next run: its frames wait for their sound afresh, and its timecodes follow on.
    ASSERT_TRUE(RunGraph());
    ASSERT_NO_FATAL_FAILURE(Feed(2 * kFrameSamples, 105, 3));
    EXPECT_EQ(7u, keeper->Frames().size()) << "the last frame waits for its sound";
    ASSERT_EQ(S_OK, control->Stop());
    frames = keeper->Frames();
    ASSERT_EQ(8u, frames.size());
    for (int i = 5; i < 8; ++i) EXPECT_EQ(100 + i, CountOf(frames[i])) << i;
    EXPECT_EQ(kFrameSamples, SoundOfFrame(frames[6]).Heard);
    EXPECT_EQ(kFrameSamples, SoundOfFrame(frames[7]).Silent);

    // A run whose video ends before the sound of its last frames came: they wait for it, and the
    // output ends after them once the sound has ended too.
    ASSERT_TRUE(RunGraph());
    ASSERT_NO_FATAL_FAILURE(Feed(kFrameSamples + kFrameSamples / 2, 108, 3));
    ASSERT_EQ(S_OK, video->End());
    EXPECT_EQ(9u, keeper->Frames().size()) << "the frames wait for their sound after the video's end";
    EXPECT_FALSE(keeper->Ended);
    ASSERT_EQ(S_OK, sound->Push(Sound(kFrameSamples + kFrameSamples / 2), kFrameTime + kFrameTime / 2));
    ASSERT_EQ(S_OK, sound->End());
    frames = keeper->Frames();
    ASSERT_EQ(11u, frames.size());
    EXPECT_TRUE(keeper->Ended) << "the output ends behind its last frame";
    for (int i = 8; i < 11; ++i) {
        EXPECT_EQ(100 + i, CountOf(frames[i])) << i;
        EXPECT_EQ(kFrameSamples, SoundOfFrame(frames[i]).Heard) << "each with its whole sound, " << i;
    }
    ASSERT_EQ(S_OK, control->Stop());
}

// Wine's null renderer holds a frame it gets while paused until it is stopped or runs.
TEST_F(DVMuxerRun, ARendererAfterTheMuxerDoesNotHoldTheStop)
{
    auto renderer = AddFilter(graph.Get(), kNullRenderer, L"Null");
    ASSERT_TRUE(renderer);
    ASSERT_EQ(S_OK, Link(muxer.Get(), renderer.Get()));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(RunGraph());
        ASSERT_NO_FATAL_FAILURE(Feed(kFrameSamples / 2, 0, 3));
        EXPECT_EQ(S_OK, control->Stop());
    }
}

}  // namespace
