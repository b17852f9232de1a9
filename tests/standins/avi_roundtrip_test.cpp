// A recording's round trip through Wine: the test camera, our time stamper, the AVI multiplexer (into
// a stream sink, see tests/dv/avi_stream_sink.h), then the file read back through File Source and AVI Splitter: as many frames as the camera
// delivered and the headers count, each of the picture's size, in order, and the stream's format.
#include "live_device_helpers.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "filters/time_stamper.h"
#include "platform/standins/test_camera.h"
#include "tests/dv/avi_stream_sink.h"

namespace standins_test {
namespace {

using Frame = std::vector<BYTE>;

// Keeps a copy of every sample's bytes.
void Keep(GrabberCallback& cb, std::vector<Frame>& frames)
{
    cb.OnSample = [&frames](IMediaSample* sample) {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        frames.emplace_back(data, data + sample->GetActualDataLength());
    };
}

class AviRoundTrip : public DeviceGraph {
protected:
    void SetUp() override
    {
        DeviceGraph::SetUp();
        dir = std::filesystem::temp_directory_path() / L"quill_avi_roundtrip";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override
    {
        DeviceGraph::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::filesystem::path dir;
};

// The frame number the camera draws into a bottom-up RGB24 picture of that size.
ULONG CounterOf(const Frame& f, int width, int height)
{
    const int y = standins::kCounterTop + standins::kCounterBlock / 2;
    ULONG n = 0;
    for (int bit = 0; bit < standins::kCounterBits; ++bit) {
        const int x = bit * standins::kCounterBlock + standins::kCounterBlock / 2;
        if (f[static_cast<std::size_t>(height - 1 - y) * width * 3 + static_cast<std::size_t>(x) * 3] > 128) {
            n |= 1UL << bit;
        }
    }
    return n;
}

std::uint32_t U32(const std::vector<char>& b, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, sizeof(v));
    return v;
}

// Wine's Sample Grabber hands no allocator on to the pin after it, so no grabber stands before the
// multiplexer: what was written is told by the camera's own counters and the frame numbers drawn
// into its pictures.
TEST_F(AviRoundTrip, CameraTimeStamperAndAviMuxWriteAFileThatAviSplitterReadsBack)
{
    auto moniker = DeviceMoniker(CLSID_VideoInputDeviceCategory, L"Quillotrane Test Camera");
    ASSERT_TRUE(moniker) << "the test camera is not registered";
    auto camera = Add(BindFilter(moniker.Get()), L"Camera");
    auto* stamper = new filters::Tqz_TimeStamper;
    Add(ComPtr<IBaseFilter>(stamper->BaseFilterInterface()), L"Time stamper");
    auto mux = AddStock(CLSID_AviDest, L"AVI Mux");
    ASSERT_TRUE(camera && mux);
    ASSERT_EQ(S_OK, avisink::PrepareMux(mux.Get()));
    auto* sink = new avisink::StreamSink;
    Add(ComPtr<IBaseFilter>(sink->BaseFilterInterface()), L"AVI sink");
    ASSERT_EQ(S_OK, Link(mux.Get(), sink->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(camera.Get(), stamper->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(stamper->BaseFilterInterface(), mux.Get()));
    ComPtr<IAMDroppedFrames> counters;
    ASSERT_EQ(S_OK, camera.As(&counters));

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    long delivered = 0;
    ASSERT_TRUE(WaitFor([&] { return SUCCEEDED(counters->GetNumNotDropped(&delivered)) && delivered >= 15; }));
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());
    ASSERT_EQ(S_OK, counters->GetNumNotDropped(&delivered));
    counters.Reset();
    const auto path = dir / L"camera.avi";
    ASSERT_TRUE(sink->Save(path));

    // The headers count the frames: avih dwTotalFrames and the video strh dwLength.
    std::vector<char> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(bytes.size(), 15u * 320 * 240 * 3);
    const auto avih = std::search(bytes.begin(), bytes.end(), "avih", "avih" + 4) - bytes.begin();
    std::size_t strh = 0;
    while (strh + 48 < bytes.size() &&
           (std::memcmp(bytes.data() + strh, "strh", 4) != 0 || std::memcmp(bytes.data() + strh + 8, "vids", 4) != 0)) {
        ++strh;
    }
    ASSERT_LT(static_cast<std::size_t>(avih), bytes.size());
    ASSERT_LT(strh + 48, bytes.size()) << "no video stream header";
    const std::uint32_t totalFrames = U32(bytes, static_cast<std::size_t>(avih) + 8 + 16);
    EXPECT_GE(totalFrames, static_cast<std::uint32_t>(delivered)) << "every delivered frame was written";
    EXPECT_EQ(totalFrames, U32(bytes, strh + 8 + 32)) << "dwLength";

    // Read back: File Source -> AVI Splitter -> Sample Grabber -> Null Renderer, to the end.
    ComPtr<IGraphBuilder> reader = Create<IGraphBuilder>(CLSID_FilterGraph);
    ASSERT_TRUE(reader);
    ComPtr<IBaseFilter> source;
    ASSERT_EQ(S_OK, reader->AddSourceFilter(path.c_str(), L"Source", source.GetAddressOf()));
    auto splitter = Create<IBaseFilter>(CLSID_AviSplitter);
    ASSERT_TRUE(splitter);
    ASSERT_EQ(S_OK, reader->AddFilter(splitter.Get(), L"AVI Splitter"));
    ASSERT_EQ(S_OK, reader->ConnectDirect(PinAt(source.Get(), PINDIR_OUTPUT).Get(), PinAt(splitter.Get(), PINDIR_INPUT).Get(), nullptr));
    GrabberCallback& read = Callback();
    std::vector<Frame> readFrames;
    Keep(read, readFrames);
    auto readGrabber = Create<IBaseFilter>(CLSID_SampleGrabber);
    ComPtr<ISampleGrabber> readControl;
    ASSERT_EQ(S_OK, readGrabber.As(&readControl));
    readControl->SetCallback(&read, 0);
    auto null = Create<IBaseFilter>(CLSID_NullRenderer);
    ASSERT_EQ(S_OK, reader->AddFilter(readGrabber.Get(), L"Grabber"));
    ASSERT_EQ(S_OK, reader->AddFilter(null.Get(), L"Null"));
    ComPtr<IPin> videoOut = PinAt(splitter.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(videoOut);
    ASSERT_EQ(S_OK, reader->ConnectDirect(videoOut.Get(), PinAt(readGrabber.Get(), PINDIR_INPUT).Get(), nullptr));
    ASSERT_EQ(S_OK, reader->ConnectDirect(PinAt(readGrabber.Get(), PINDIR_OUTPUT).Get(), PinAt(null.Get(), PINDIR_INPUT).Get(), nullptr));
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(S_OK, videoOut->ConnectionMediaType(&mt));
    EXPECT_EQ(MEDIATYPE_Video, mt.majortype);
    EXPECT_EQ(320, VideoWidth(mt));
    ASSERT_EQ(FORMAT_VideoInfo, mt.formattype);
    EXPECT_EQ(240, reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biHeight);
    EXPECT_EQ(24, reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biBitCount);
    dshow::FreeMediaType(mt);
    // Wine's splitter frees its output pins when the graph lets it go: no reference may outlive it.
    videoOut.Reset();

    ComPtr<IMediaFilter> clockless;
    ASSERT_EQ(S_OK, reader.As(&clockless));
    clockless->SetSyncSource(nullptr);
    ComPtr<IMediaControl> play;
    ComPtr<IMediaEvent> playEvents;
    ASSERT_EQ(S_OK, reader.As(&play));
    ASSERT_EQ(S_OK, reader->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(playEvents.GetAddressOf())));
    ASSERT_TRUE(SUCCEEDED(play->Run()));
    long code = 0;
    ASSERT_EQ(S_OK, playEvents->WaitForCompletion(20000, &code));
    EXPECT_EQ(EC_COMPLETE, code);
    play->Stop();
    {
        std::lock_guard<std::mutex> lock(read.Mutex);
        read.OnSample = nullptr;
    }
    // Pictures a loaded machine made the camera lose keep their places as empty frames, which the
    // splitter passes over.
    ASSERT_EQ(static_cast<std::size_t>(delivered), readFrames.size()) << "every written picture comes back";
    for (std::size_t i = 0; i < readFrames.size(); ++i) {
        ASSERT_EQ(320u * 240u * 3u, readFrames[i].size()) << i;
        if (i > 0) {
            EXPECT_LT(CounterOf(readFrames[i - 1], 320, 240), CounterOf(readFrames[i], 320, 240))
                << "the pictures come back in order, at " << i;
        }
    }
    EXPECT_EQ(totalFrames, CounterOf(readFrames.back(), 320, 240) - CounterOf(readFrames.front(), 320, 240) + 1)
        << "a place for every picture from the first to the last";
    playEvents.Reset();
    play.Reset();
    clockless.Reset();
    readControl.Reset();
    null.Reset();
    readGrabber.Reset();
    splitter.Reset();
    source.Reset();
    reader.Reset();
}

}  // namespace
}  // namespace standins_test
