// The frame-rate patcher on AVI files that the AVI multiplexer wrote (into a stream sink, see
// avi_stream_sink.h): a DV video stream from a test
// source, and the stand-in camcorder's video and sound through the DV Splitter. Only dwScale and
// dwRate of the video stream header change, and the main header's frame time with them; every other
// byte stays, and Wine's reader then plays the file at the new rate. A file cut inside its stream
// header is left alone.
#include "dv_graph_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "avi_stream_sink.h"
#include "engine/avi_frame_rate.h"
#include "platform/standins/dv_camcorder.h"

namespace dvtest {
namespace {


std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Offsets of the data of every "strh" chunk whose stream type is fccType, found by their bytes
// (independently of the patcher's walk).
std::vector<std::size_t> StreamHeaders(const std::vector<std::uint8_t>& b, const char* fccType)
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i + 8 + 28 <= b.size(); ++i) {
        if (std::memcmp(b.data() + i, "strh", 4) == 0 && std::memcmp(b.data() + i + 8, fccType, 4) == 0) {
            out.push_back(i + 8);
        }
    }
    return out;
}

// Where the main header's frame time (dwMicroSecPerFrame) lies.
std::size_t FrameTimeAt(const std::vector<std::uint8_t>& b)
{
    return static_cast<std::size_t>(std::search(b.begin(), b.end(), "avih", "avih" + 4) - b.begin()) + 8;
}

// Whether byte at lies in a field the patch writes: dwScale and dwRate of the stream header whose
// data is at strh, or the main header's frame time at frameTime.
bool Patchable(std::size_t at, std::size_t strh, std::size_t frameTime)
{
    return (at >= strh + 20 && at < strh + 28) || (at >= frameTime && at < frameTime + 4);
}

// Byte positions where two files of the same size differ.
std::vector<std::size_t> Differences(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i]) {
            out.push_back(i);
        }
    }
    return out;
}

class AviMuxPatch : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        dir = std::filesystem::temp_directory_path() / L"quill_avi_mux_patch";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override
    {
        GraphFixture::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // The AVI multiplexer into the stream sink (see avi_stream_sink.h); answers the mux.
    ComPtr<IBaseFilter> AddFileEnd()
    {
        ComPtr<IBaseFilter> mux = AddStock(CLSID_AviDest, L"AVI Mux");
        if (!mux) {
            return nullptr;
        }
        EXPECT_EQ(S_OK, avisink::PrepareMux(mux.Get()));
        sink = Add(new avisink::StreamSink, L"AVI sink");
        EXPECT_EQ(S_OK, Link(mux.Get(), sink->BaseFilterInterface()));
        return mux;
    }
    // Runs until the source delivered all its frames, stops (the mux then finishes the file) and
    // saves the file at path.
    void Record(DVSource* source, const std::filesystem::path& path)
    {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        const int frames = static_cast<int>(source->Frames.size());
        for (int waited = 0; waited < 20000 && source->Delivered.load() < frames; waited += 5) {
            Sleep(5);
        }
        ASSERT_EQ(frames, source->Delivered.load());
        Sleep(50);  // the end of stream after the last frame
        ASSERT_EQ(S_OK, control->Stop());
        ASSERT_TRUE(sink->Save(path));
    }
    // The first input pin of the mux that is not connected.
    ComPtr<IPin> FreeMuxInput(IBaseFilter* mux)
    {
        ComPtr<IEnumPins> e;
        mux->EnumPins(e.GetAddressOf());
        ComPtr<IPin> pin;
        while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            PIN_DIRECTION d{};
            pin->QueryDirection(&d);
            ComPtr<IPin> peer;
            if (d == PINDIR_INPUT && pin->ConnectedTo(peer.GetAddressOf()) == VFW_E_NOT_CONNECTED) {
                return pin;
            }
        }
        return nullptr;
    }

    std::filesystem::path dir;
    avisink::StreamSink* sink = nullptr;
};

// Plays a finished AVI file through Wine's own reader: its duration in 100-ns units.
LONGLONG PlayedDuration(const std::filesystem::path& path)
{
    ComPtr<IGraphBuilder> g;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(g.GetAddressOf()));
    if (!g) {
        return -1;
    }
    ComPtr<IBaseFilter> source;
    if (FAILED(g->AddSourceFilter(path.c_str(), L"Source", source.GetAddressOf()))) {
        return -2;
    }
    ComPtr<IBaseFilter> splitter;
    CoCreateInstance(CLSID_AviSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                     reinterpret_cast<void**>(splitter.GetAddressOf()));
    if (!splitter || FAILED(g->AddFilter(splitter.Get(), L"AVI Splitter")) ||
        FAILED(g->ConnectDirect(PinAt(source.Get(), PINDIR_OUTPUT).Get(), PinAt(splitter.Get(), PINDIR_INPUT).Get(),
                                nullptr))) {
        return -3;
    }
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IPin> out = PinAt(splitter.Get(), PINDIR_OUTPUT);
    if (!out || FAILED(out->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(seeking.GetAddressOf())))) {
        return -4;
    }
    LONGLONG duration = 0;
    return SUCCEEDED(seeking->GetDuration(&duration)) ? duration : -5;
}

TEST_F(AviMuxPatch, AVideoOnlyFileChangesOnlyTheVideoRateAndTheMainFrameTime)
{
    const auto path = dir / L"dv video.avi";
    auto* source = Add(new DVSource, L"DV source");
    source->VideoDvsd = true;
    for (int i = 0; i < 12; ++i) {
        FrameSpec s;
        s.Index = i;
        source->Frames.push_back(MakeFrame(s));
    }
    auto mux = AddFileEnd();
    ASSERT_TRUE(mux);
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(source->BaseFilterInterface(), PINDIR_OUTPUT).Get(),
                                         FreeMuxInput(mux.Get()).Get(), nullptr));
    Record(source, path);

    const auto before = ReadAll(path);
    ASSERT_GT(before.size(), 12 * kDVFrameBytes625) << "the mux wrote every frame";
    ASSERT_EQ(0, std::memcmp(before.data(), "RIFF", 4));
    ASSERT_EQ(0, std::memcmp(before.data() + 8, "AVI ", 4));
    const auto video = StreamHeaders(before, "vids");
    ASSERT_EQ(1u, video.size());
    const std::size_t scaleAt = video[0] + 20, rateAt = video[0] + 24;
    EXPECT_EQ(12u, U32(before, video[0] + 32)) << "dwLength: the frames written";
    const std::size_t frameTimeAt = FrameTimeAt(before);
    ASSERT_EQ(32u, frameTimeAt) << "the main header opens the file's header list";
    EXPECT_EQ(40000u, U32(before, frameTimeAt)) << "the stream's own 25 frames a second";

    const engine::TAviScanResult scan = engine::ScanAviFile(path.wstring());
    ASSERT_TRUE(scan.Found);
    EXPECT_EQ(engine::kAviStreamVideo, scan.StreamKind);
    EXPECT_EQ(static_cast<std::int64_t>(video[0] + 4), scan.HandlerOffset);
    EXPECT_EQ(static_cast<std::int64_t>(scaleAt), scan.ScaleOffset);
    EXPECT_EQ(static_cast<std::int64_t>(rateAt), scan.RateOffset);
    EXPECT_FALSE(scan.WalkStopped);

    engine::SetAviFrameRate(path.wstring(), 12.5);
    const auto after = ReadAll(path);
    ASSERT_EQ(before.size(), after.size());
    EXPECT_EQ(80000u, U32(after, scaleAt));
    EXPECT_EQ(1000000u, U32(after, rateAt));
    EXPECT_EQ(80000u, U32(after, frameTimeAt)) << "the main header's frame time agrees with the stream";
    for (const std::size_t at : Differences(before, after)) {
        EXPECT_TRUE(Patchable(at, video[0], frameTimeAt)) << "byte " << at << " changed";
    }
    // Wine's reader takes the new rate: 12 frames at 12.5 per second last 0.96 s.
    EXPECT_EQ(9600000, PlayedDuration(path));

    // A refused rate leaves the file as it was.
    EXPECT_THROW(engine::SetAviFrameRate(path.wstring(), 0.0), engine::EAviFrameRateError);
    EXPECT_TRUE(ReadAll(path) == after);
}

// Wine 8's mux takes no sound stream ("format not supported" for a WAVEFORMATEX type), so the
// camcorder's recording is its video alone: a live stream cut by Stop, patched twice.
TEST_F(AviMuxPatch, TheCamcordersLiveRecordingChangesOnlyItsRateAndTheMainFrameTime)
{
    const auto path = dir / L"camcorder.avi";
    ComPtr<IBaseFilter> camcorder = AddStock(standins::CLSID_QuillDVCamcorder, L"DV camcorder");
    ComPtr<IBaseFilter> splitter = AddStock(CLSID_DVSplitter, L"DV Splitter");
    ASSERT_TRUE(camcorder && splitter) << "the stand-ins are not registered";
    ComPtr<standins::IQuillDVCamcorder> tape;
    ASSERT_EQ(S_OK, camcorder->QueryInterface(standins::IID_IQuillDVCamcorder, reinterpret_cast<void**>(tape.GetAddressOf())));
    ASSERT_EQ(S_OK, Link(camcorder.Get(), splitter.Get()));
    auto mux = AddFileEnd();
    ASSERT_TRUE(mux);
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(splitter.Get(), PINDIR_OUTPUT).Get(), FreeMuxInput(mux.Get()).Get(), nullptr));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    LONG frames = 0;
    for (int waited = 0; waited < 15000 && frames < 20; waited += 10) {
        Sleep(10);
        tape->GetFramesDelivered(&frames);
    }
    ASSERT_GE(frames, 20);
    ASSERT_EQ(S_OK, control->Stop());
    ASSERT_TRUE(sink->Save(path));

    const auto before = ReadAll(path);
    ASSERT_GT(before.size(), 20 * kDVFrameBytes625);
    const auto video = StreamHeaders(before, "vids");
    ASSERT_EQ(1u, video.size());
    EXPECT_GE(U32(before, video[0] + 32), 20u) << "dwLength";
    const std::size_t scaleAt = video[0] + 20, rateAt = video[0] + 24;

    engine::SetAviFrameRate(path.wstring(), 30000.0 / 1001.0);
    const auto once = ReadAll(path);
    ASSERT_EQ(before.size(), once.size());
    EXPECT_EQ(33367u, U32(once, scaleAt));
    EXPECT_EQ(1000000u, U32(once, rateAt));
    const std::size_t frameTimeAt = FrameTimeAt(before);
    EXPECT_EQ(33367u, U32(once, frameTimeAt));
    // And back to 25 frames a second: the same two fields again, nothing else.
    engine::SetAviFrameRate(path.wstring(), 25.0);
    const auto twice = ReadAll(path);
    ASSERT_EQ(before.size(), twice.size());
    EXPECT_EQ(40000u, U32(twice, scaleAt));
    EXPECT_EQ(1000000u, U32(twice, rateAt));
    EXPECT_EQ(40000u, U32(twice, frameTimeAt));
    for (const auto* patched : {&once, &twice}) {
        for (const std::size_t at : Differences(before, *patched)) {
            EXPECT_TRUE(Patchable(at, video[0], frameTimeAt)) << "byte " << at << " changed";
        }
    }
    EXPECT_EQ(static_cast<LONGLONG>(U32(before, video[0] + 32)) * 400000, PlayedDuration(path));
}

TEST_F(AviMuxPatch, AFileTheMuxLeftWithoutItsHeaderIsLeftAlone)
{
    // A recording cut off before the mux finished: the header list never got its stream headers.
    const auto path = dir / L"cut.avi";
    auto* source = Add(new DVSource, L"DV source");
    source->VideoDvsd = true;
    for (int i = 0; i < 3; ++i) {
        FrameSpec s;
        s.Index = i;
        source->Frames.push_back(MakeFrame(s));
    }
    auto mux = AddFileEnd();
    ASSERT_TRUE(mux);
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(source->BaseFilterInterface(), PINDIR_OUTPUT).Get(),
                                         FreeMuxInput(mux.Get()).Get(), nullptr));
    Record(source, path);
    auto whole = ReadAll(path);
    const auto video = StreamHeaders(whole, "vids");
    ASSERT_EQ(1u, video.size());
    // Every cut inside the stream header: nothing found, nothing written, no crash.
    for (const std::size_t cut : {video[0] - 8, video[0] + 10, video[0] + 22, video[0] + 27}) {
        std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(part.data()), static_cast<std::streamsize>(part.size()));
        }
        engine::SetAviFrameRate(path.wstring(), 10.0);
        EXPECT_TRUE(ReadAll(path) == part) << "cut at " << cut;
    }
}

}  // namespace
}  // namespace dvtest
