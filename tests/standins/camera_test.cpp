// The test camera: listed in the video input category, bound by moniker and display name, its pin
// category, stream configuration and dropped-frame counter, and its pictures and time stamps in
// Wine graphs (RGB24 and YUY2), as a live source through run, pause and stop.
#include "live_device_helpers.h"

#include "platform/standins/test_camera.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace standins_test {
namespace {

using namespace standins;

const std::wstring kName = L"Quillotrane Test Camera";

// The frame number drawn into a picture, read from the middle of each counter square.
ULONG DecodeCounter(const BYTE* data, int width, int height, bool yuy2)
{
    const int y = kCounterTop + kCounterBlock / 2;
    ULONG n = 0;
    for (int bit = 0; bit < kCounterBits; ++bit) {
        const int x = bit * kCounterBlock + kCounterBlock / 2;
        const BYTE v = yuy2 ? data[static_cast<size_t>(y) * width * 2 + static_cast<size_t>(x) * 2]
                            : data[static_cast<size_t>(height - 1 - y) * width * 3 + static_cast<size_t>(x) * 3];
        if (v > 128) {
            n |= 1UL << bit;
        }
    }
    return n;
}

struct Frame {
    HRESULT TimeResult = E_FAIL;
    REFERENCE_TIME Start = 0, Stop = 0;
    long Length = 0;
    ULONG Counter = 0;
    std::vector<BYTE> Row;  // one picture row below the counter
};

// Records each frame's times, counter and a row of bars.
struct FrameRecorder {
    FrameRecorder(GrabberCallback& cb, int width, int height, bool yuy2)
    {
        cb.OnSample = [this, width, height, yuy2](IMediaSample* sample) {
            Frame f;
            f.TimeResult = sample->GetTime(&f.Start, &f.Stop);
            f.Length = sample->GetActualDataLength();
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            const long bpp = yuy2 ? 2 : 3;
            if (data != nullptr && f.Length >= width * height * bpp) {
                f.Counter = DecodeCounter(data, width, height, yuy2);
                const BYTE* row = data + static_cast<size_t>(height / 2) * width * bpp;
                f.Row.assign(row, row + width * bpp);
            }
            Frames.push_back(std::move(f));
        };
    }
    std::vector<Frame> Frames;  // under the callback's lock
};

void MakeVideoType(AM_MEDIA_TYPE& mt, const GUID& subtype, int w, int h, WORD bits, DWORD compression,
                   REFERENCE_TIME frameTime)
{
    mt = {};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    mt.formattype = FORMAT_VideoInfo;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = static_cast<ULONG>(w * h * bits / 8);
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    std::memset(vih, 0, sizeof(*vih));
    vih->AvgTimePerFrame = frameTime;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = w;
    vih->bmiHeader.biHeight = h;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = bits;
    vih->bmiHeader.biCompression = compression;
    vih->bmiHeader.biSizeImage = mt.lSampleSize;
    mt.pbFormat = reinterpret_cast<BYTE*>(vih);
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
}

struct VideoType : AM_MEDIA_TYPE {
    VideoType(const GUID& subtype, int w, int h, REFERENCE_TIME frameTime = kCameraFrameTime)
    {
        const bool yuy2 = subtype == MEDIASUBTYPE_YUY2;
        MakeVideoType(*this, subtype, w, h, yuy2 ? 16 : 24, yuy2 ? MAKEFOURCC('Y', 'U', 'Y', '2') : BI_RGB,
                      frameTime);
    }
    ~VideoType() { dshow::FreeMediaType(*this); }
    VIDEOINFOHEADER& Vih() { return *reinterpret_cast<VIDEOINFOHEADER*>(pbFormat); }
};

class Camera : public DeviceGraph {
protected:
    void SetUp() override
    {
        DeviceGraph::SetUp();
        moniker = DeviceMoniker(CLSID_VideoInputDeviceCategory, kName);
        ASSERT_TRUE(moniker) << "the camera is not listed";
        camera = BindFilter(moniker.Get());
        ASSERT_TRUE(camera);
        pin = PinAt(camera.Get(), PINDIR_OUTPUT);
        ASSERT_TRUE(pin);
        ASSERT_EQ(S_OK, pin.As(&config));
    }
    void TearDown() override
    {
        config.Reset();
        pin.Reset();
        camera.Reset();
        moniker.Reset();
        DeviceGraph::TearDown();
    }
    // Runs camera -> grabber -> Null Renderer for ms and answers the frames seen.
    std::vector<Frame> Stream(const GUID& subtype, int width, int height, int ms)
    {
        GrabberCallback& cb = Callback();
        FrameRecorder recorder(cb, width, height, subtype == MEDIASUBTYPE_YUY2);
        Add(camera, L"Camera");
        auto grabber = AddGrabber(cb, MEDIATYPE_Video, subtype);
        auto renderer = AddStock(CLSID_NullRenderer, L"Null");
        EXPECT_EQ(S_OK, Link(camera.Get(), grabber.Get()));
        EXPECT_EQ(S_OK, Link(grabber.Get(), renderer.Get()));
        EXPECT_TRUE(SUCCEEDED(control->Run()));
        Sleep(static_cast<DWORD>(ms));
        EXPECT_EQ(S_OK, control->Stop());
        std::lock_guard<std::mutex> lock(cb.Mutex);
        cb.OnSample = nullptr;
        return recorder.Frames;
    }

    // Links camera -> grabber (RGB24) -> Null Renderer, the grabber keeping each stamped sample's start.
    void LinkStampRecorder(GrabberCallback& cb, std::vector<REFERENCE_TIME>& starts)
    {
        cb.OnSample = [&starts](IMediaSample* s) {
            REFERENCE_TIME a = 0, b = 0;
            if (s->GetTime(&a, &b) == S_OK) {
                starts.push_back(a);
            }
        };
        Add(camera, L"Camera");
        auto grabber = AddGrabber(cb, MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
        auto renderer = AddStock(CLSID_NullRenderer, L"Null");
        ASSERT_EQ(S_OK, Link(camera.Get(), grabber.Get()));
        ASSERT_EQ(S_OK, Link(grabber.Get(), renderer.Get()));
    }

    ComPtr<IMoniker> moniker;
    ComPtr<IBaseFilter> camera;
    ComPtr<IPin> pin;
    ComPtr<IAMStreamConfig> config;
};

// Every frame: stamped at its number's time, one frame time long, the number drawn in, the bars moved.
void ExpectMovingFrames(const std::vector<Frame>& frames, int width, int height, int bpp, REFERENCE_TIME frameTime)
{
    ASSERT_GE(frames.size(), 8u) << "too few frames for the time run";
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        ASSERT_EQ(S_OK, f.TimeResult) << i;
        EXPECT_EQ(width * height * bpp, f.Length) << i;
        EXPECT_EQ(frameTime, f.Stop - f.Start) << i;
        EXPECT_EQ(0, f.Start % frameTime) << i;
        EXPECT_EQ(static_cast<ULONG>(f.Start / frameTime), f.Counter) << "frame " << i;
        if (i > 0) {
            EXPECT_GT(f.Start, frames[i - 1].Start) << i;
            EXPECT_NE(f.Row, frames[i - 1].Row) << "the picture did not change at frame " << i;
        }
    }
}

TEST_F(Camera, IsListedUnderItsNameAndBindsByMonikerAndDisplayName)
{
    CLSID clsid{};
    ASSERT_EQ(S_OK, camera->GetClassID(&clsid));
    EXPECT_EQ(CLSID_QuillTestCamera, clsid);

    // Wine names a software device by its category and class id.
    const std::wstring display = DisplayName(moniker.Get());
    EXPECT_EQ(0u, display.find(L"@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}"))
        << std::string(display.begin(), display.end());
    EXPECT_NE(std::wstring::npos, display.find(L"{51A7E0C1-3B6D-4E2A-9C58-2F41D6A7B301}"));
    auto again = BindDisplayName(display);
    ASSERT_TRUE(again) << "the display name does not bind";
    ASSERT_EQ(S_OK, again->GetClassID(&clsid));
    EXPECT_EQ(CLSID_QuillTestCamera, clsid);

    // The program's stored moniker binds too.
    dshow::TBaseFilter stored;
    stored.SetMoniker(moniker.Get());
    auto fromStore = stored.CreateFilter();
    ASSERT_TRUE(fromStore);
    ASSERT_EQ(S_OK, fromStore->GetClassID(&clsid));
    EXPECT_EQ(CLSID_QuillTestCamera, clsid);

    // Not in the sound category.
    EXPECT_FALSE(DeviceMoniker(CLSID_AudioInputDeviceCategory, kName));
}

TEST_F(Camera, AnswersItsPinCategoryThroughThePropertySet)
{
    ComPtr<IKsPropertySet> ks;
    ASSERT_EQ(S_OK, pin.As(&ks));
    GUID category = GUID_NULL;
    DWORD returned = 0;
    ASSERT_EQ(S_OK, ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category), &returned));
    EXPECT_EQ(PIN_CATEGORY_CAPTURE, category);
    EXPECT_EQ(sizeof(GUID), returned);

    returned = 0;
    EXPECT_EQ(S_OK, ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0, &returned));
    EXPECT_EQ(sizeof(GUID), returned);
    BYTE small[8] = {};
    EXPECT_EQ(E_UNEXPECTED, ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, small, sizeof(small), &returned));
    EXPECT_EQ(E_PROP_ID_UNSUPPORTED, ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, nullptr, 0, &category, sizeof(category), &returned));
    EXPECT_EQ(E_PROP_SET_UNSUPPORTED, ks->Get(PIN_CATEGORY_CAPTURE, 0, nullptr, 0, &category, sizeof(category), &returned));
    EXPECT_EQ(E_PROP_ID_UNSUPPORTED, ks->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category)));
    DWORD support = 0;
    EXPECT_EQ(S_OK, ks->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support));
    EXPECT_EQ(static_cast<DWORD>(KSPROPERTY_SUPPORT_GET), support);

    // The capture graph builder finds the pin, its configuration and the filter's dropped-frame counter.
    auto builder = Create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2);
    ASSERT_TRUE(builder);
    ASSERT_EQ(S_OK, builder->SetFiltergraph(graph.Get()));
    Add(camera, L"Camera");
    ComPtr<IPin> found;
    ASSERT_EQ(S_OK, builder->FindPin(camera.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, FALSE, 0,
                                     found.GetAddressOf()));
    EXPECT_EQ(pin.Get(), found.Get());
    EXPECT_NE(S_OK, builder->FindPin(camera.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, FALSE, 0,
                                     found.ReleaseAndGetAddressOf()));
    EXPECT_NE(S_OK, builder->FindPin(camera.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, FALSE, 0,
                                     found.ReleaseAndGetAddressOf()));
    ComPtr<IAMStreamConfig> viaBuilder;
    EXPECT_EQ(S_OK, builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.Get(), IID_IAMStreamConfig,
                                           reinterpret_cast<void**>(viaBuilder.GetAddressOf())));
    ComPtr<IAMDroppedFrames> dropped;
    EXPECT_EQ(S_OK, builder->FindInterface(nullptr, nullptr, camera.Get(), IID_IAMDroppedFrames,
                                           reinterpret_cast<void**>(dropped.GetAddressOf())));
}

TEST_F(Camera, OffersItsFourFormatsAndItsCapabilities)
{
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
    ASSERT_EQ(4, count);
    EXPECT_EQ(static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)), size);
    const struct {
        GUID Subtype;
        int W, H;
    } expected[] = {{MEDIASUBTYPE_RGB24, 320, 240}, {MEDIASUBTYPE_RGB24, 720, 576},
                    {MEDIASUBTYPE_YUY2, 320, 240}, {MEDIASUBTYPE_YUY2, 720, 576}};
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* mt = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps{};
        ASSERT_EQ(S_OK, config->GetStreamCaps(i, &mt, reinterpret_cast<BYTE*>(&caps)));
        EXPECT_EQ(MEDIATYPE_Video, mt->majortype);
        EXPECT_EQ(expected[i].Subtype, mt->subtype) << i;
        EXPECT_EQ(expected[i].W, VideoWidth(*mt)) << i;
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
        EXPECT_EQ(expected[i].H, vih->bmiHeader.biHeight);
        EXPECT_EQ(kCameraFrameTime, vih->AvgTimePerFrame);
        EXPECT_EQ(vih->bmiHeader.biSizeImage, mt->lSampleSize);
        EXPECT_EQ(FORMAT_VideoInfo, caps.guid);
        EXPECT_EQ(expected[i].W, caps.MaxOutputSize.cx);
        EXPECT_EQ(expected[i].H, caps.MaxOutputSize.cy);
        EXPECT_LE(caps.MinFrameInterval, kCameraFrameTime);
        EXPECT_GE(caps.MaxFrameInterval, kCameraFrameTime);
        dshow::DeleteMediaType(mt);
    }
    AM_MEDIA_TYPE* mt = nullptr;
    BYTE caps[sizeof(VIDEO_STREAM_CONFIG_CAPS)] = {};
    EXPECT_EQ(S_FALSE, config->GetStreamCaps(4, &mt, caps));
    EXPECT_EQ(nullptr, mt);
    EXPECT_EQ(E_INVALIDARG, config->GetStreamCaps(-1, &mt, caps));
    EXPECT_EQ(E_POINTER, config->GetStreamCaps(0, nullptr, caps));
    EXPECT_EQ(E_POINTER, config->GetStreamCaps(0, &mt, nullptr));
    EXPECT_EQ(E_POINTER, config->GetNumberOfCapabilities(nullptr, &size));

    // Unconnected, the pin offers the four formats, and GetFormat gives the first.
    ComPtr<IEnumMediaTypes> e;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(e.GetAddressOf()));
    int offered = 0;
    while (e->Next(1, &mt, nullptr) == S_OK) {
        ++offered;
        dshow::DeleteMediaType(mt);
    }
    EXPECT_EQ(4, offered);
    ASSERT_EQ(S_OK, config->GetFormat(&mt));
    EXPECT_EQ(MEDIASUBTYPE_RGB24, mt->subtype);
    EXPECT_EQ(320, VideoWidth(*mt));
    dshow::DeleteMediaType(mt);
    EXPECT_EQ(E_POINTER, config->GetFormat(nullptr));
}

TEST_F(Camera, SetFormatRefusesWhatItCannotDeliverAndKeepsItsFormat)
{
    std::vector<std::pair<const char*, std::function<void(VideoType&)>>> bad = {
        {"size", [](VideoType& t) { t.Vih().bmiHeader.biWidth = 640; }},
        {"negative height", [](VideoType& t) { t.Vih().bmiHeader.biHeight = -240; }},
        {"bit count", [](VideoType& t) { t.Vih().bmiHeader.biBitCount = 32; }},
        {"compression", [](VideoType& t) { t.Vih().bmiHeader.biCompression = MAKEFOURCC('M', 'J', 'P', 'G'); }},
        {"subtype", [](VideoType& t) { t.subtype = MEDIASUBTYPE_RGB32; }},
        {"major type", [](VideoType& t) { t.majortype = MEDIATYPE_Audio; }},
        {"format type", [](VideoType& t) { t.formattype = FORMAT_VideoInfo2; }},
        {"short block", [](VideoType& t) { t.cbFormat = 20; }},
        {"frame rate too high", [](VideoType& t) { t.Vih().AvgTimePerFrame = kCameraMinFrameTime - 1; }},
        {"frame rate too low", [](VideoType& t) { t.Vih().AvgTimePerFrame = kCameraMaxFrameTime + 1; }},
        {"negative frame time", [](VideoType& t) { t.Vih().AvgTimePerFrame = -400000; }},
        {"image size too small", [](VideoType& t) { t.Vih().bmiHeader.biSizeImage = 100; }},
    };
    for (auto& [what, spoil] : bad) {
        VideoType t(MEDIASUBTYPE_RGB24, 320, 240);
        spoil(t);
        EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&t)) << what;
    }
    // A block pointer missing under its size.
    {
        VideoType t(MEDIASUBTYPE_RGB24, 320, 240);
        BYTE* block = t.pbFormat;
        t.pbFormat = nullptr;
        EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&t));
        t.pbFormat = block;
    }
    EXPECT_EQ(E_POINTER, config->SetFormat(nullptr));
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(S_OK, config->GetFormat(&mt));
    EXPECT_EQ(MEDIASUBTYPE_RGB24, mt->subtype);
    EXPECT_EQ(320, VideoWidth(*mt));
    dshow::DeleteMediaType(mt);

    // A frame time of 0 means the default rate.
    VideoType yuy2(MEDIASUBTYPE_YUY2, 720, 576, 0);
    ASSERT_EQ(S_OK, config->SetFormat(&yuy2));
    ASSERT_EQ(S_OK, config->GetFormat(&mt));
    EXPECT_EQ(MEDIASUBTYPE_YUY2, mt->subtype);
    EXPECT_EQ(720, VideoWidth(*mt));
    EXPECT_EQ(kCameraFrameTime, reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->AvgTimePerFrame);
    dshow::DeleteMediaType(mt);
    // From then on that is the only type offered and accepted.
    ComPtr<IEnumMediaTypes> e;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(e.GetAddressOf()));
    int offered = 0;
    while (e->Next(1, &mt, nullptr) == S_OK) {
        ++offered;
        EXPECT_EQ(MEDIASUBTYPE_YUY2, mt->subtype);
        dshow::DeleteMediaType(mt);
    }
    EXPECT_EQ(1, offered);
    Add(camera, L"Camera");
    auto renderer = AddStock(CLSID_NullRenderer, L"Null");
    VideoType rgb(MEDIASUBTYPE_RGB24, 320, 240);
    EXPECT_NE(S_OK, Link(camera.Get(), renderer.Get(), &rgb));
    ASSERT_EQ(S_OK, Link(camera.Get(), renderer.Get()));
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(S_OK, pin->ConnectionMediaType(&connected));
    EXPECT_EQ(MEDIASUBTYPE_YUY2, connected.subtype);
    dshow::FreeMediaType(connected);
}

TEST_F(Camera, SetFormatWhileConnectedReconnectsAndRefusesWhileRunning)
{
    Add(camera, L"Camera");
    auto renderer = AddStock(CLSID_NullRenderer, L"Null");
    ASSERT_EQ(S_OK, Link(camera.Get(), renderer.Get()));
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(S_OK, pin->ConnectionMediaType(&connected));
    EXPECT_EQ(320, VideoWidth(connected));
    dshow::FreeMediaType(connected);

    VideoType large(MEDIASUBTYPE_RGB24, 720, 576);
    ASSERT_EQ(S_OK, config->SetFormat(&large));
    ASSERT_EQ(S_OK, pin->ConnectionMediaType(&connected));
    EXPECT_EQ(720, VideoWidth(connected));
    dshow::FreeMediaType(connected);
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(S_OK, config->GetFormat(&mt));
    EXPECT_EQ(720, VideoWidth(*mt));
    dshow::DeleteMediaType(mt);

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    VideoType small(MEDIASUBTYPE_RGB24, 320, 240);
    EXPECT_EQ(VFW_E_NOT_STOPPED, config->SetFormat(&small));
    ASSERT_EQ(S_OK, control->Stop());
    ASSERT_EQ(S_OK, pin->ConnectionMediaType(&connected));
    EXPECT_EQ(720, VideoWidth(connected));
    dshow::FreeMediaType(connected);
}

TEST_F(Camera, StreamsChangingRgb24PicturesStampedAtTheFrameRate)
{
    auto frames = Stream(MEDIASUBTYPE_RGB24, 320, 240, 1000);
    ExpectMovingFrames(frames, 320, 240, 3, kCameraFrameTime);
    // The first frame comes at the start of the stream.
    ASSERT_FALSE(frames.empty());
    EXPECT_LE(frames.front().Start, 2 * kCameraFrameTime);
}

TEST_F(Camera, StreamsYuy2ThroughSetFormatAtTheAskedRate)
{
    const REFERENCE_TIME fiftyFps = 200000;
    VideoType yuy2(MEDIASUBTYPE_YUY2, 720, 576, fiftyFps);
    ASSERT_EQ(S_OK, config->SetFormat(&yuy2));
    auto frames = Stream(MEDIASUBTYPE_YUY2, 720, 576, 800);
    ExpectMovingFrames(frames, 720, 576, 2, fiftyFps);
    // Studio-range luma: the white counter squares and the black bar stay within 16..235.
    for (const Frame& f : frames) {
        for (size_t i = 0; i < f.Row.size(); i += 2) {
            ASSERT_GE(f.Row[i], 16);
            ASSERT_LE(f.Row[i], 235);
        }
    }
}

TEST_F(Camera, IsALiveSourceThatDeliversNothingWhilePaused)
{
    GrabberCallback& cb = Callback();
    int samples = 0;
    cb.OnSample = [&](IMediaSample*) { ++samples; };
    Add(camera, L"Camera");
    auto grabber = AddGrabber(cb, MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    auto renderer = AddStock(CLSID_NullRenderer, L"Null");
    ASSERT_EQ(S_OK, Link(camera.Get(), grabber.Get()));
    ASSERT_EQ(S_OK, Link(grabber.Get(), renderer.Get()));

    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    FILTER_STATE state{};
    EXPECT_EQ(VFW_S_CANT_CUE, camera->GetState(0, &state));
    EXPECT_EQ(State_Paused, state);
    OAFilterState graphState = 0;
    EXPECT_EQ(VFW_S_CANT_CUE, control->GetState(1000, &graphState));
    Sleep(300);
    {
        std::lock_guard<std::mutex> lock(cb.Mutex);
        EXPECT_EQ(0, samples) << "a live source delivers only while running";
    }
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_EQ(S_OK, camera->GetState(0, &state));
    EXPECT_EQ(State_Running, state);
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> lock(cb.Mutex);
        return samples >= 3;
    }));
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(S_OK, camera->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
    std::lock_guard<std::mutex> lock(cb.Mutex);
    cb.OnSample = nullptr;
}

TEST_F(Camera, HasItsFirstPictureAsSoonAsItRunsThoughTheStreamStartsLater)
{
    GrabberCallback& cb = Callback();
    std::vector<REFERENCE_TIME> starts;
    ASSERT_NO_FATAL_FAILURE(LinkStampRecorder(cb, starts));
    auto count = [&] {
        std::lock_guard<std::mutex> lock(cb.Mutex);
        return starts.size();
    };
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    ComPtr<IMediaFilter> media;
    ASSERT_EQ(S_OK, graph.As(&media));
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(S_OK, media->GetSyncSource(clock.GetAddressOf()));
    ASSERT_TRUE(clock);
    REFERENCE_TIME now = 0;
    ASSERT_EQ(S_OK, clock->GetTime(&now));
    // The stream starts 30 s from now: the first picture comes at once, stamped at the stream's start;
    // the next one waits for its time.
    ASSERT_TRUE(SUCCEEDED(media->Run(now + 300000000)));
    ASSERT_TRUE(WaitFor([&] { return count() >= 1; }));
    Sleep(300);
    {
        std::lock_guard<std::mutex> lock(cb.Mutex);
        ASSERT_EQ(1u, starts.size()) << "only the first unit goes out before the stream starts";
        EXPECT_EQ(0, starts.front());
        cb.OnSample = nullptr;
    }
    ASSERT_EQ(S_OK, control->Stop());
}

TEST_F(Camera, RunPauseStopCyclesKeepTimeStampsRisingAndLeaveNothingBehind)
{
    GrabberCallback& cb = Callback();
    std::vector<REFERENCE_TIME> starts;
    ASSERT_NO_FATAL_FAILURE(LinkStampRecorder(cb, starts));
    auto count = [&] {
        std::lock_guard<std::mutex> lock(cb.Mutex);
        return starts.size();
    };
    for (int cycle = 0; cycle < 10; ++cycle) {
        const size_t first = count();
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(WaitFor([&] { return count() >= first + 2; })) << "cycle " << cycle;
        ASSERT_TRUE(SUCCEEDED(control->Pause()));
        Sleep(30);
        const size_t paused = count();
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(WaitFor([&] { return count() >= paused + 2; })) << "cycle " << cycle;
        ASSERT_EQ(S_OK, control->Stop());
        std::lock_guard<std::mutex> lock(cb.Mutex);
        // Within one run (its pause included) the stamps rise; each run starts again near zero.
        EXPECT_LE(starts[first], 2 * kCameraFrameTime) << "cycle " << cycle;
        for (size_t i = first + 1; i < starts.size(); ++i) {
            EXPECT_GT(starts[i], starts[i - 1]) << "cycle " << cycle;
        }
    }
    {
        std::lock_guard<std::mutex> lock(cb.Mutex);
        cb.OnSample = nullptr;
    }
    // Every reference to the camera is the test's own once the graph lets go.
    graph->RemoveFilter(camera.Get());
    pin.Reset();
    config.Reset();
    held.clear();
    camera->AddRef();
    EXPECT_EQ(1u, camera->Release());
}

TEST_F(Camera, CountsFramesItHadToDropWhenDownstreamIsSlow)
{
    GrabberCallback& cb = Callback();
    std::vector<ULONG> delivered;
    cb.OnSample = [&](IMediaSample* s) {
        BYTE* data = nullptr;
        s->GetPointer(&data);
        delivered.push_back(DecodeCounter(data, 320, 240, false));
        Sleep(110);  // a consumer that takes almost three frame times
    };
    Add(camera, L"Camera");
    auto grabber = AddGrabber(cb, MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    auto renderer = AddStock(CLSID_NullRenderer, L"Null");
    ASSERT_EQ(S_OK, Link(camera.Get(), grabber.Get()));
    ASSERT_EQ(S_OK, Link(grabber.Get(), renderer.Get()));
    ComPtr<IAMDroppedFrames> dropped;
    ASSERT_EQ(S_OK, camera.As(&dropped));
    ComPtr<IAMDroppedFrames> onPin;
    ASSERT_EQ(S_OK, pin.As(&onPin));

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    Sleep(1200);
    ASSERT_EQ(S_OK, control->Stop());
    std::lock_guard<std::mutex> lock(cb.Mutex);
    cb.OnSample = nullptr;

    LONG lost = 0, kept = 0, average = 0;
    ASSERT_EQ(S_OK, dropped->GetNumDropped(&lost));
    ASSERT_EQ(S_OK, dropped->GetNumNotDropped(&kept));
    ASSERT_EQ(S_OK, dropped->GetAverageFrameSize(&average));
    EXPECT_GT(lost, 5);
    // Wine's grabber may let the last frame of the stop pass without calling back.
    EXPECT_NEAR(static_cast<double>(delivered.size()), static_cast<double>(kept), 1.0);
    EXPECT_EQ(320 * 240 * 3, average);
    LONG pinLost = 0;
    ASSERT_EQ(S_OK, onPin->GetNumDropped(&pinLost));
    EXPECT_EQ(lost, pinLost);
    // Lost and kept frames together are every frame number up to the last one.
    ASSERT_FALSE(delivered.empty());
    EXPECT_NEAR(static_cast<double>(delivered.back() + 1), static_cast<double>(lost + kept), 2.0);

    std::vector<LONG> numbers(static_cast<size_t>(kDroppedKept));
    LONG copied = 0;
    ASSERT_EQ(S_OK, dropped->GetDroppedInfo(kDroppedKept, numbers.data(), &copied));
    EXPECT_EQ(std::min<LONG>(lost, kDroppedKept), copied);
    for (LONG i = 0; i < copied; ++i) {
        const auto n = static_cast<ULONG>(numbers[static_cast<size_t>(i)]);
        EXPECT_EQ(delivered.end(), std::find(delivered.begin(), delivered.end(), n)) << "frame " << n << " was delivered";
        if (i > 0) {
            EXPECT_GT(numbers[static_cast<size_t>(i)], numbers[static_cast<size_t>(i) - 1]);
        }
    }
    EXPECT_EQ(E_INVALIDARG, dropped->GetDroppedInfo(0, numbers.data(), &copied));
    EXPECT_EQ(E_POINTER, dropped->GetDroppedInfo(4, nullptr, &copied));
    EXPECT_EQ(E_POINTER, dropped->GetNumDropped(nullptr));
    EXPECT_EQ(E_POINTER, dropped->GetAverageFrameSize(nullptr));
}

// The chain the video preview builds: camera -> Colour Space Converter -> Infinite Pin Tee -> renderer,
// here YUY2 from the camera turned into RGB24 for the grabber behind the tee.
TEST_F(Camera, FeedsThePreviewChainThroughTheConverterAndTheTee)
{
    auto converter = Create<IBaseFilter>(CLSID_Colour);
    auto tee = Create<IBaseFilter>(CLSID_InfTee);
    if (!converter || !tee) {
        GTEST_SKIP() << "no Colour Space Converter or Infinite Pin Tee registered";
    }
    VideoType yuy2(MEDIASUBTYPE_YUY2, 320, 240);
    ASSERT_EQ(S_OK, config->SetFormat(&yuy2));
    GrabberCallback& cb = Callback();
    FrameRecorder recorder(cb, 320, 240, false);
    Add(camera, L"Camera");
    Add(converter, L"Colour");
    Add(tee, L"Tee");
    auto grabber = AddGrabber(cb, MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
    auto renderer = AddStock(CLSID_NullRenderer, L"Null");
    ASSERT_EQ(S_OK, Link(camera.Get(), converter.Get()));
    AM_MEDIA_TYPE rgb24{};  // partial: the converter's RGB24 picture
    rgb24.majortype = MEDIATYPE_Video;
    rgb24.subtype = MEDIASUBTYPE_RGB24;
    ASSERT_EQ(S_OK, Link(converter.Get(), tee.Get(), &rgb24));
    ASSERT_EQ(S_OK, Link(tee.Get(), grabber.Get()));
    ASSERT_EQ(S_OK, Link(grabber.Get(), renderer.Get()));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    Sleep(600);
    ASSERT_EQ(S_OK, control->Stop());
    std::lock_guard<std::mutex> lock(cb.Mutex);
    cb.OnSample = nullptr;
    ASSERT_GE(recorder.Frames.size(), 5u);
    for (size_t i = 1; i < recorder.Frames.size(); ++i) {
        EXPECT_GT(recorder.Frames[i].Start, recorder.Frames[i - 1].Start);
        EXPECT_NE(recorder.Frames[i].Row, recorder.Frames[i - 1].Row);
    }
    converter.Reset();
    tee.Reset();
}

}  // namespace
}  // namespace standins_test
