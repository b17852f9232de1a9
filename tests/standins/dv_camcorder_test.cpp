// The synthetic DV camcorder: its frames read back with the DV parser (system, timecode, recording
// date, the jump, the undated stretch, 16:9), its transport, device, timecode, dropped-frame and pin
// category answers, its stream stopped at a stream time, the test's pins that say less at a stop,
// and its registry settings.
#include "dv_test_support.h"
#include "graph_helpers.h"

#include <edevdefs.h>

#include <oleauto.h>

#include <cmath>

#include "filters/dv_codes.h"
#include "platform/standins/dv_camcorder.h"
#include "platform/standins/recording_settings.h"

using namespace dvtest;
using standins::IID_IQuillDVCamcorder;
using standins::IQuillDVCamcorder;

namespace {

struct CamcorderGraph {
    ComPtr<IGraphBuilder> graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComPtr<IBaseFilter> camcorder = AddFilter(graph.Get(), standins::CLSID_QuillDVCamcorder, L"DV camcorder");
    ComPtr<IQuillDVCamcorder> control;
    Collector frames;
    ComPtr<IBaseFilter> grabber;
    ComPtr<IBaseFilter> null;

    CamcorderGraph()
    {
        control = Query<IQuillDVCamcorder>(camcorder, IID_IQuillDVCamcorder);
    }
    // The pin's stream control, the graph's events and its control, once connected.
    ComPtr<IAMStreamControl> stream;
    ComPtr<IMediaEvent> events;
    ComPtr<IMediaControl> run;

    bool ConnectWithControls()
    {
        if (FAILED(Connect())) return false;
        stream = Query<IAMStreamControl>(PinOf(camcorder.Get(), PINDIR_OUTPUT), IID_IAMStreamControl);
        events = Query<IMediaEvent>(graph, IID_IMediaEvent);
        run = Query<IMediaControl>(graph, IID_IMediaControl);
        return stream && events && run;
    }
    // Camcorder → Sample Grabber → Null Renderer.
    HRESULT Connect()
    {
        grabber = AddGrabber(graph.Get(), frames, MEDIATYPE_Interleaved);
        null = AddFilter(graph.Get(), kNullRenderer, L"Null");
        HRESULT hr = graph->ConnectDirect(PinOf(camcorder.Get(), PINDIR_OUTPUT).Get(),
                                          PinOf(grabber.Get(), PINDIR_INPUT).Get(), nullptr);
        if (FAILED(hr)) return hr;
        return graph->ConnectDirect(PinOf(grabber.Get(), PINDIR_OUTPUT).Get(), PinOf(null.Get(), PINDIR_INPUT).Get(),
                                    nullptr);
    }
    bool Collect(int n)
    {
        frames.Limit = n;
        return RunUntil(graph.Get(), [&] { return frames.Taken() >= n; });
    }
};

int FrameCount(const filters::TDVTimecode& tc, int fps)
{
    return ((tc.Hours * 60 + tc.Minutes) * 60 + tc.Seconds) * fps + tc.Frames;
}

// Seconds of a parsed recording date since the record's epoch.
long long SecondsOf(const filters::TDVInfoRec& rec)
{
    return std::llround(rec.Date * 86400.0);
}

long long SecondsOf(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME st{year, month, 0, day, hour, minute, second, 0};
    double date = 0;
    SystemTimeToVariantTime(&st, &date);
    return std::llround(date * 86400.0);
}

}  // namespace

TEST(DVCamcorder, PalFramesCarryAdvancingTimecodeDateAndJump)
{
    ComScope com;
    CamcorderGraph g;
    ASSERT_TRUE(g.control);
    ASSERT_EQ(g.control->SetRecordingStart(2023, 12, 31, 23, 59, 58), S_OK);
    ASSERT_EQ(g.control->SetStartTimecode(1, 2, 3, 20), S_OK);
    ASSERT_EQ(g.control->SetDateJump(30, 3600), S_OK);
    ASSERT_EQ(g.control->SetUndated(40, 5), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_TRUE(g.Collect(50));

    const auto frames = g.frames.Copy();
    // A busy machine makes the camcorder lose frames, and its tape goes on past them: the steps
    // past one are frames it counts lost.
    LONG lost = -1;
    auto dropped = Query<IAMDroppedFrames>(g.camcorder, IID_IAMDroppedFrames);
    ASSERT_TRUE(dropped);
    int skipped = 0;
    int previous = -1;
    for (const auto& f : frames) {
        ASSERT_EQ(f.size(), filters::kDVFrameBytes625);
        filters::TDVInfoRec rec;
        filters::DVFillInfoRec(rec, f);
        EXPECT_EQ(rec.System, filters::kDVSystem625);
        EXPECT_TRUE(rec.TimecodeValid);
        EXPECT_TRUE(rec.StreamValid);
        EXPECT_EQ(rec.AudioRate, 48000);
        EXPECT_EQ(rec.AudioBits, 16);
        EXPECT_FALSE(rec.Wide);
        const int count = FrameCount(rec.Timecode, 25);
        const int tape = count - FrameCount({1, 2, 3, 20}, 25);
        ASSERT_GE(tape, 0);
        if (previous >= 0) {
            EXPECT_GT(tape, previous);
            skipped += tape - previous - 1;
        }
        previous = tape;
        // 31 December 2023 23:59:58 plus a second per 25 frames, an hour later from frame 30 on.
        const long long start = SecondsOf(2023, 12, 31, 23, 59, 58);
        if (tape >= 40 && tape < 45) {
            EXPECT_FALSE(rec.DateValid) << "frame " << tape;
        } else {
            ASSERT_TRUE(rec.DateValid) << "frame " << tape;
            EXPECT_EQ(SecondsOf(rec), start + tape / 25 + (tape >= 30 ? 3600 : 0)) << "frame " << tape;
        }
    }
    ASSERT_EQ(dropped->GetNumDropped(&lost), S_OK);
    EXPECT_LE(skipped, lost) << "tape frames passed over that were not lost";
    // The year turned over inside the run (from tape frame 50 on, and by the jump from frame 30).
    filters::TDVRecDate date = filters::DVReadRecDate(frames.back(), 0);
    EXPECT_EQ(date.Year, 2024);
}

TEST(DVCamcorder, NtscFramesAndWideFlag)
{
    ComScope com;
    CamcorderGraph g;
    ASSERT_TRUE(g.control);
    ASSERT_EQ(g.control->SetSystem(FALSE), S_OK);
    ASSERT_EQ(g.control->SetWide(TRUE), S_OK);
    // 0:00:59:28 runs into 0:01:00:02: the labels 00 and 01 of the minute are dropped.
    ASSERT_EQ(g.control->SetStartTimecode(0, 0, 59, 28), S_OK);
    ASSERT_EQ(g.Connect(), S_OK);
    EXPECT_EQ(g.control->SetSystem(TRUE), VFW_E_ALREADY_CONNECTED);
    ASSERT_TRUE(g.Collect(8));
    const auto frames = g.frames.Copy();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_EQ(frames[0].size(), filters::kDVFrameBytes525);
    EXPECT_EQ(filters::DVGetSystem(frames[0]), filters::kDVSystem525);
    EXPECT_TRUE(filters::DVIsWide(frames[0]));
    const auto tc0 = filters::DVReadTimecode(frames[0], 0);
    const auto tc2 = filters::DVReadTimecode(frames[2], 0);
    EXPECT_EQ(tc0.Seconds, 59);
    EXPECT_EQ(tc0.Frames, 28);
    EXPECT_EQ(tc2.Minutes, 1);
    EXPECT_EQ(tc2.Seconds, 0);
    EXPECT_EQ(tc2.Frames, 2);
    filters::TDVInfoRec rec;
    filters::DVFillInfoRec(rec, frames[0]);
    EXPECT_TRUE(rec.StreamValid);
    EXPECT_TRUE(rec.DateValid);
}

TEST(DVCamcorder, TransportDeviceTimecodeAndDroppedFrames)
{
    ComScope com;
    CamcorderGraph g;
    auto transport = Query<IAMExtTransport>(g.camcorder, IID_IAMExtTransport);
    auto device = Query<IAMExtDevice>(g.camcorder, IID_IAMExtDevice);
    auto reader = Query<IAMTimecodeReader>(g.camcorder, IID_IAMTimecodeReader);
    auto dropped = Query<IAMDroppedFrames>(g.camcorder, IID_IAMDroppedFrames);
    ASSERT_TRUE(transport && device && reader && dropped);

    LONG value = 0;
    ASSERT_EQ(device->GetCapability(ED_DEVCAP_DEVICE_TYPE, &value, nullptr), S_OK);
    EXPECT_EQ(value, standins::kDVDeviceTypeVcr);
    ASSERT_EQ(transport->get_Mode(&value), S_OK);
    EXPECT_EQ(value, ED_MODE_PLAY);
    EXPECT_EQ(transport->put_Mode(ED_MODE_RECORD), E_NOTIMPL);
    EXPECT_EQ(transport->put_Mode(12345), E_INVALIDARG);
    EXPECT_EQ(transport->get_Mode(nullptr), E_POINTER);

    // The pin's category.
    auto props = Query<IKsPropertySet>(PinOf(g.camcorder.Get(), PINDIR_OUTPUT), IID_IKsPropertySet);
    ASSERT_TRUE(props);
    GUID category{};
    DWORD returned = 0;
    ASSERT_EQ(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category), &returned),
              S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
    EXPECT_EQ(returned, sizeof(GUID));
    EXPECT_NE(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 2, &returned), S_OK);

    ASSERT_EQ(g.control->SetStartTimecode(10, 20, 30, 0), S_OK);
    TIMECODE_SAMPLE sample{};
    sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
    ASSERT_EQ(reader->GetTimecode(&sample), S_OK);
    EXPECT_EQ(sample.timecode.dwFrames, 0x10203000u);

    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_TRUE(g.Collect(10));
    // The reader answers the timecode of the last frame made.
    ASSERT_EQ(reader->GetTimecode(&sample), S_OK);
    LONG tape = 0;
    g.control->GetTapeFrame(&tape);
    const int last = tape - 1;
    EXPECT_EQ(sample.timecode.dwFrames, 0x10203000u + (Bcd(last / 25) << 8) + Bcd(last % 25));
    LONG delivered = 0, lost = -1;
    ASSERT_EQ(dropped->GetNumNotDropped(&delivered), S_OK);
    ASSERT_EQ(dropped->GetNumDropped(&lost), S_OK);
    // The last frame taken may meet the stop inside its delivery: the camcorder counts it as not
    // delivered then.
    EXPECT_GE(delivered, 9);
    EXPECT_GE(lost, 0);

    // Stopped, the tape holds its frame while frames keep coming.
    ASSERT_EQ(transport->put_Mode(ED_MODE_STOP), S_OK);
    g.frames.Clear();
    ASSERT_TRUE(g.Collect(5));
    const auto held = g.frames.Copy();
    const auto tcFirst = filters::DVReadTimecode(held.front(), 0);
    const auto tcLast = filters::DVReadTimecode(held.back(), 0);
    EXPECT_EQ(FrameCount(tcFirst, 25), FrameCount(tcLast, 25));
    // Rewinding runs back to the start of the tape and stops there.
    ASSERT_EQ(transport->put_Mode(ED_MODE_REW), S_OK);
    g.frames.Clear();
    ASSERT_TRUE(g.Collect(5));
    g.control->GetTapeFrame(&tape);
    EXPECT_EQ(tape, 0);
    ASSERT_EQ(transport->get_Mode(&value), S_OK);
    EXPECT_EQ(value, ED_MODE_STOP);
}

// Stopped through its pin's stream control as the pin's documentation says: from the stop time on
// it discards its frames and sends no end of stream; asked for one frame more, it sends exactly one
// frame at or after the stop time, and the graph hears the stop's cookie only once that frame went
// out; a stop without the extra frame sends nothing more. The tape stands while it discards, a
// start lets it go on from there, and so does the next run.
TEST(DVCamcorder, ItsStreamStopsAtAStreamTimeAsDocumentedAndGoesOnFromThere)
{
    ComScope com;
    CamcorderGraph g;
    ASSERT_TRUE(g.ConnectWithControls());
    // Each renderer's end is told, with its filter: an end of stream would show.
    ASSERT_EQ(S_OK, g.events->CancelDefaultHandling(EC_COMPLETE));
    bool ended = false;
    // Whether the stop with Cookie was told; the frames taken when it was.
    auto toldStopped = [&](DWORD cookie, int& taken) {
        bool told = false;
        return quill_test::WaitFor([&] {
            long code = 0;
            LONG_PTR first = 0, second = 0;
            while (!told && g.events->GetEvent(&code, &first, &second, 0) == S_OK) {
                ended = ended || code == EC_COMPLETE;
                if (code == EC_STREAM_CONTROL_STOPPED) {
                    EXPECT_EQ(static_cast<LONG_PTR>(cookie), second) << "another stop's cookie";
                    taken = g.frames.Taken();
                    told = second == static_cast<LONG_PTR>(cookie);
                }
                g.events->FreeEventParams(code, first, second);
            }
            return told;
        });
    };
    g.frames.Limit = 1000;
    ASSERT_TRUE(SUCCEEDED(g.run->Run()));
    ASSERT_TRUE(quill_test::WaitFor([&] { return g.frames.Taken() >= 5; }));
    // A second after the last frame seen, with the frame more; a stop taken back is never told.
    const REFERENCE_TIME never = MAXLONGLONG;
    ASSERT_EQ(S_OK, g.stream->StopAt(&never, FALSE, 6));
    const REFERENCE_TIME at = std::llround(g.frames.TimesTaken().back() * 1e7) + 10000000;
    ASSERT_EQ(S_OK, g.stream->StopAt(&at, TRUE, 7));
    AM_STREAM_INFO info{};
    ASSERT_EQ(S_OK, g.stream->GetInfo(&info));
    EXPECT_EQ(7u, info.dwStopCookie);
    EXPECT_EQ(at, info.tStop);
    EXPECT_EQ(static_cast<DWORD>(AM_STREAM_INFO_STOP_DEFINED | AM_STREAM_INFO_STOP_SEND_EXTRA), info.dwFlags);
    int taken = 0;
    ASSERT_TRUE(toldStopped(7, taken));
    std::vector<double> times = g.frames.TimesTaken();
    ASSERT_EQ(static_cast<std::size_t>(taken), times.size());
    ASSERT_GE(times.size(), 2u);
    EXPECT_GE(std::llround(times.back() * 1e7), at) << "the frame more is at or after the stop time";
    EXPECT_LT(std::llround(times[times.size() - 2] * 1e7), at) << "one frame more, not two";
    EXPECT_FALSE(ended) << "a stopped pin sends no end of stream";
    ASSERT_EQ(S_OK, g.stream->GetInfo(&info));
    EXPECT_EQ(static_cast<DWORD>(AM_STREAM_INFO_DISCARDING), info.dwFlags);
    LONG tape = 0;
    ASSERT_EQ(S_OK, g.control->GetTapeFrame(&tape));

    // Started again, it goes on from the frame after the last it took: its tape stood meanwhile.
    ASSERT_EQ(S_OK, g.stream->StartAt(nullptr, 0));
    ASSERT_TRUE(quill_test::WaitFor([&] { return g.frames.Taken() >= taken + 3; }));
    auto frames = g.frames.Copy();
    EXPECT_EQ(FrameCount(filters::DVReadTimecode(frames[taken - 1], 0), 25) + 1,
              FrameCount(filters::DVReadTimecode(frames[taken], 0), 25))
        << "a frame taken while the pin discarded";
    // Stopped now without the frame more: nothing goes out after the stop is told.
    ASSERT_EQ(S_OK, g.stream->StopAt(nullptr, FALSE, 8));
    ASSERT_TRUE(toldStopped(8, taken));
    EXPECT_FALSE(ended) << "a stopped pin sends no end of stream";
    ASSERT_EQ(S_OK, g.control->GetTapeFrame(&tape));
    ASSERT_EQ(S_OK, g.run->Stop());
    LONG tapeAtStop = -1;
    ASSERT_EQ(S_OK, g.control->GetTapeFrame(&tapeAtStop));
    EXPECT_EQ(tape, tapeAtStop) << "the tape stands while the pin discards";
    EXPECT_EQ(taken, g.frames.Taken()) << "a frame after the stop was told";

    ASSERT_TRUE(g.Collect(taken + 3));
    frames = g.frames.Copy();
    EXPECT_EQ(FrameCount(filters::DVReadTimecode(frames[taken - 1], 0), 25) + 1,
              FrameCount(filters::DVReadTimecode(frames[taken], 0), 25))
        << "the next run goes on from the last frame taken";
}

// The test settings of this process's stand-ins (recording_settings.h), gone with the object.
class ThisProcessSettings {
public:
    ThisProcessSettings() { Set(standins::kTestStartedValue, standins::ThisProcessStarted()); }
    ~ThisProcessSettings() { RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str()); }
    ThisProcessSettings(const ThisProcessSettings&) = delete;
    ThisProcessSettings& operator=(const ThisProcessSettings&) = delete;
    void Set(const wchar_t* name, std::uint64_t value)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name, REG_QWORD, &value, sizeof value));
    }
    // The stand-ins keep the list Name, empty for now.
    void Keep(const wchar_t* name)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name, REG_BINARY, "", 0));
    }
    std::vector<std::int64_t> List(const wchar_t* name) const
    {
        std::vector<std::int64_t> list(4096);
        DWORD size = static_cast<DWORD>(list.size() * sizeof(std::int64_t));
        if (RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), name, RRF_RT_REG_BINARY, nullptr, list.data(), &size) !=
            ERROR_SUCCESS)
            size = 0;
        list.resize(size / sizeof(std::int64_t));
        return list;
    }

private:
    std::wstring key_ = standins::TestRecordingKeyOfThisProcess();
};

// Counts the samples that reach a grabber with time stamps and without.
class StampCounter : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        *obj = iid == IID_IUnknown || iid == IID_ISampleGrabberCB ? static_cast<ISampleGrabberCB*>(this) : nullptr;
        return *obj != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override
    {
        REFERENCE_TIME start = 0, stop = 0;
        ++(SUCCEEDED(sample->GetTime(&start, &stop)) ? Stamped : Unstamped);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return S_OK; }
    std::atomic<int> Stamped{0}, Unstamped{0};
};

std::int64_t SystemNow()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

// Asked by a test, its pin says less at a stop, as other capture pins do: it offers no stream
// control at all; or its pictures carry no stamps, and the stream control, which acts on stamps
// alone, takes a stop and never holds a picture back nor tells a stop; or its stop is never told
// and sends no picture more, nothing coming after the stop time, the tape standing. Asked for the
// list, it tells when the first picture of each run was taken, by its timecode: a run that goes on
// after a stop begins at the next frame of the tape.
TEST(DVCamcorder, ItsPinSaysLessAtAStopWhenATestAsks)
{
    ComScope com;
    {
        ThisProcessSettings settings;
        settings.Set(standins::kTestNoStreamControlValue, 1);
        CamcorderGraph g;
        ASSERT_EQ(g.Connect(), S_OK);
        EXPECT_FALSE(Query<IAMStreamControl>(PinOf(g.camcorder.Get(), PINDIR_OUTPUT), IID_IAMStreamControl));
        EXPECT_TRUE(g.Collect(3)) << "no picture comes";
    }
    {
        ThisProcessSettings settings;
        settings.Set(standins::kTestPicturesUnstampedValue, 1);
        CamcorderGraph g;
        StampCounter stamps;
        auto grabber = Create<IBaseFilter>(kSampleGrabber, IID_IBaseFilter);
        auto grabbing = Query<ISampleGrabber>(grabber, IID_ISampleGrabber);
        ASSERT_TRUE(grabbing);
        grabbing->SetCallback(&stamps, 0);
        ASSERT_EQ(S_OK, g.graph->AddFilter(grabber.Get(), L"Stamps"));
        auto null = AddFilter(g.graph.Get(), kNullRenderer, L"Null");
        ASSERT_EQ(S_OK, g.graph->ConnectDirect(PinOf(g.camcorder.Get(), PINDIR_OUTPUT).Get(),
                                               PinOf(grabber.Get(), PINDIR_INPUT).Get(), nullptr));
        ASSERT_EQ(S_OK, g.graph->ConnectDirect(PinOf(grabber.Get(), PINDIR_OUTPUT).Get(), PinOf(null.Get(), PINDIR_INPUT).Get(),
                                               nullptr));
        auto stream = Query<IAMStreamControl>(PinOf(g.camcorder.Get(), PINDIR_OUTPUT), IID_IAMStreamControl);
        auto events = Query<IMediaEvent>(g.graph, IID_IMediaEvent);
        ASSERT_TRUE(stream && events);
        bool stopped = false, asked = false;
        EXPECT_TRUE(RunUntil(g.graph.Get(), [&] {
            if (!asked && stamps.Unstamped.load() >= 5) {
                asked = true;
                EXPECT_EQ(S_OK, stream->StopAt(nullptr, TRUE, 7));
            }
            long code = 0;
            LONG_PTR first = 0, second = 0;
            while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
                stopped = stopped || code == EC_STREAM_CONTROL_STOPPED;
                events->FreeEventParams(code, first, second);
            }
            return stamps.Unstamped.load() >= 20;
        })) << "a stop held its pictures back";
        EXPECT_EQ(0, stamps.Stamped.load());
        EXPECT_FALSE(stopped) << "a stop was told";
    }
    ThisProcessSettings settings;
    settings.Set(standins::kTestStopUntoldValue, 1);
    settings.Keep(standins::kTestPictureTimesValue);
    CamcorderGraph g;
    ASSERT_TRUE(g.ConnectWithControls());
    g.frames.Limit = 1000;
    const std::int64_t ran = SystemNow();
    ASSERT_TRUE(SUCCEEDED(g.run->Run()));
    ASSERT_TRUE(quill_test::WaitFor([&] { return g.frames.Taken() >= 5; }));
    const std::int64_t seen = SystemNow();
    const REFERENCE_TIME at = std::llround(g.frames.TimesTaken().back() * 1e7) + 2000000;
    ASSERT_EQ(S_OK, g.stream->StopAt(&at, TRUE, 7));
    LONG tape = -1, tapeLater = -2;
    ASSERT_TRUE(quill_test::WaitFor([&] {
        g.control->GetTapeFrame(&tape);
        Sleep(200);
        g.control->GetTapeFrame(&tapeLater);
        return tape == tapeLater;
    })) << "the tape never stood";
    std::vector<double> times = g.frames.TimesTaken();
    EXPECT_LT(std::llround(times.back() * 1e7), at) << "a picture more came";
    AM_STREAM_INFO info{};
    ASSERT_EQ(S_OK, g.stream->GetInfo(&info));
    EXPECT_EQ(static_cast<DWORD>(AM_STREAM_INFO_DISCARDING), info.dwFlags);
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (g.events->GetEvent(&code, &first, &second, 0) == S_OK) {
        EXPECT_NE(EC_STREAM_CONTROL_STOPPED, code) << "the stop was told";
        g.events->FreeEventParams(code, first, second);
    }
    // The run that goes on after the stop has its own first picture in the list.
    const int taken = g.frames.Taken();
    const std::int64_t resumed = SystemNow();
    ASSERT_EQ(S_OK, g.stream->StartAt(nullptr, 0));
    ASSERT_TRUE(quill_test::WaitFor([&] { return g.frames.Taken() >= taken + 3; }));
    const std::int64_t resumedSeen = SystemNow();
    ASSERT_EQ(S_OK, g.run->Stop());
    const auto frames = g.frames.Copy();
    const std::vector<std::int64_t> runs = settings.List(standins::kTestPictureTimesValue);
    ASSERT_EQ(4u, runs.size()) << "two runs, a timecode and a time each";
    EXPECT_EQ(FrameCount(filters::DVReadTimecode(frames.front(), 0), 25), runs[0]);
    EXPECT_EQ(FrameCount(filters::DVReadTimecode(frames[taken], 0), 25), runs[2]);
    EXPECT_EQ(FrameCount(filters::DVReadTimecode(frames[taken - 1], 0), 25) + 1, runs[2]) << "the tape did not stand";
    EXPECT_GE(runs[1], ran);
    EXPECT_LE(runs[1], seen);
    EXPECT_GE(runs[3], resumed);
    EXPECT_LE(runs[3], resumedSeen);
}

TEST(DVCamcorder, RejectsImpossibleSettings)
{
    ComScope com;
    CamcorderGraph g;
    ASSERT_TRUE(g.control);
    EXPECT_EQ(g.control->SetRecordingStart(2023, 2, 29, 0, 0, 0), E_INVALIDARG);
    EXPECT_EQ(g.control->SetRecordingStart(2040, 1, 1, 0, 0, 0), E_INVALIDARG);
    EXPECT_EQ(g.control->SetRecordingStart(2024, 2, 29, 24, 0, 0), E_INVALIDARG);
    EXPECT_EQ(g.control->SetRecordingStart(2024, 2, 29, 23, 59, 59), S_OK);
    EXPECT_EQ(g.control->SetStartTimecode(24, 0, 0, 0), E_INVALIDARG);
    EXPECT_EQ(g.control->SetStartTimecode(0, 0, 0, 25), E_INVALIDARG);
    EXPECT_EQ(g.control->SetUndated(-1, 3), E_INVALIDARG);
    ASSERT_EQ(g.control->SetSystem(FALSE), S_OK);
    EXPECT_EQ(g.control->SetStartTimecode(0, 1, 0, 1), E_INVALIDARG);  // a dropped label
    EXPECT_EQ(g.control->SetStartTimecode(0, 10, 0, 1), S_OK);
    EXPECT_EQ(g.control->GetTapeFrame(nullptr), E_POINTER);
}

// Settings read from the registry when the filter is created; a value of the wrong type is ignored.
class DVCamcorderRegistry : public testing::Test {
protected:
    void SetUp() override { RegCreateKeyExW(HKEY_CURRENT_USER, standins::kDVCamcorderKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr); }
    void TearDown() override
    {
        RegCloseKey(key_);
        RegDeleteKeyW(HKEY_CURRENT_USER, standins::kDVCamcorderKey);
    }
    void SetDword(const wchar_t* name, DWORD v) { RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof(v)); }
    HKEY key_ = nullptr;
    ComScope com_;
};

TEST_F(DVCamcorderRegistry, ValuesSetSystemDateJumpAndUndatedStretch)
{
    SetDword(L"NTSC", 1);
    SetDword(L"DateJumpFrame", 3);
    SetDword(L"DateJumpSeconds", static_cast<DWORD>(-60));
    SetDword(L"UndatedFrom", 6);
    SetDword(L"UndatedCount", 2);
    SetDword(L"DeviceType", standins::kDVDeviceTypeCamera);
    CamcorderGraph g;
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_TRUE(g.Collect(10));
    const auto frames = g.frames.Copy();
    ASSERT_EQ(frames[0].size(), filters::kDVFrameBytes525);
    std::vector<filters::TDVInfoRec> recs(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) filters::DVFillInfoRec(recs[i], frames[i]);
    EXPECT_TRUE(recs[2].DateValid);
    ASSERT_TRUE(recs[3].DateValid);
    EXPECT_EQ(SecondsOf(recs[3]) - SecondsOf(recs[2]), -60);
    EXPECT_FALSE(recs[6].DateValid);
    EXPECT_FALSE(recs[7].DateValid);
    EXPECT_TRUE(recs[8].DateValid);
    auto device = Query<IAMExtDevice>(g.camcorder, IID_IAMExtDevice);
    ASSERT_TRUE(device);
    LONG type = 0;
    device->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, nullptr);
    EXPECT_EQ(type, standins::kDVDeviceTypeCamera);
}

TEST_F(DVCamcorderRegistry, ValuesOfTheWrongTypeKeepTheDefaults)
{
    RegSetValueExW(key_, L"NTSC", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
    const std::uint8_t shortValue[2] = {1, 0};
    RegSetValueExW(key_, L"Wide", 0, REG_BINARY, shortValue, 2);
    SetDword(L"UndatedFrom", 0xFFFFFFF0);
    SetDword(L"UndatedCount", 0xFFFFFFFF);
    CamcorderGraph g;
    ASSERT_EQ(g.Connect(), S_OK);
    ASSERT_TRUE(g.Collect(3));
    const auto frames = g.frames.Copy();
    EXPECT_EQ(frames[0].size(), filters::kDVFrameBytes625);
    EXPECT_FALSE(filters::DVIsWide(frames[0]));
    filters::TDVInfoRec rec;
    filters::DVFillInfoRec(rec, frames[0]);
    EXPECT_TRUE(rec.DateValid);
}
