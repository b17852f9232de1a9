// AVI recordings as a program killed early leaves them: sources held after their first frames (DV as
// the camcorder gives it, DV split into pictures and sound, MPEG-4 from the Xvid stand-in, pictures
// from a source that states no frame time), the file taken as it is on the disk then and read back
// with ffprobe; and files past their first RIFF parts, cut off or on a full disk, whose header counts
// no more than their indexes list, or killed after any one write, whose parts hold their lists.
#include "recording_support.h"

#include "platform/standins/dv_camcorder.h"
#include "platform/standins/xvid_compressor.h"
#include "tests/dv/avi_stream_sink.h"
#include "tests/filters/media_sources.h"

namespace recording_test {
namespace {

int Count(const TMediaProbe& p, int stream) { return std::atoi(p.Stream(stream, "nb_read_packets").c_str()); }

// Whether a RIFF part's "movi" list that tells its size runs past the part: a reader that goes by the
// part's size then takes what follows the part for the list's chunks. A part whose size is not told
// yet ends what a reader finds.
bool MoviPastItsPart(const std::vector<std::uint8_t>& b)
{
    const auto le32 = [&](std::uint64_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, b.data() + at, sizeof(v));
        return v;
    };
    const auto is = [&](std::uint64_t at, const char* id) { return std::memcmp(b.data() + at, id, 4) == 0; };
    for (std::uint64_t at = 0; at + 12 <= b.size() && is(at, "RIFF");) {
        const std::uint32_t partSize = le32(at + 4);
        const std::uint64_t partEnd = at + 8 + partSize;
        for (std::uint64_t in = at + 12; in + 12 <= b.size();) {
            const std::uint32_t size = le32(in + 4);
            if (is(in, "LIST") && is(in + 8, "movi")) {
                if (size > 0 && in + 8 + size > partEnd) {
                    return true;
                }
                break;
            }
            in += 8 + std::uint64_t{size} + (size & 1);
        }
        if (partSize == 0) {
            break;
        }
        at = partEnd + (partSize & 1);
    }
    return false;
}

class KilledEarly : public Recording {
protected:
    // Runs until the gate holds its stream, then takes the file as it is (the graph runs on).
    void RunUntilHeld(const Gate& gate, std::string& bytes, std::filesystem::path& killed)
    {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(WaitFor([&] { return gate.Held(); }, 30000)) << "the source never gave its first frames";
        killed = Snapshot(bytes, L"as killed.avi");
    }
    // The killed file holds readable frames, and its header counts them and no more.
    static void ExpectFramesTold(const std::filesystem::path& killed, const std::string& bytes, const char* codec)
    {
        const TMediaProbe p = Probe(killed);
        ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
        const int v = p.StreamOfType("video");
        ASSERT_GE(v, 0) << "no picture stream in " << bytes.size() << " bytes";
        EXPECT_EQ(codec, p.Stream(v, "codec_name"));
        const int held = Count(p, v);
        EXPECT_GE(held, 1) << "the first frames are in the file";
        const AviCounts counts(bytes);
        ASSERT_TRUE(counts.Read);
        EXPECT_GE(counts.TotalFrames, 1u) << "the header tells them";
        EXPECT_LE(counts.TotalFrames, static_cast<std::uint32_t>(held)) << "and no more than are there";
    }
    ComPtr<IBaseFilter> Camcorder(bool pal)
    {
        auto camcorder = Device(CLSID_VideoInputDeviceCategory, standins::kDVCamcorderName);
        ComPtr<standins::IQuillDVCamcorder> tape;
        EXPECT_EQ(S_OK, camcorder->QueryInterface(standins::IID_IQuillDVCamcorder,
                                                  reinterpret_cast<void**>(tape.GetAddressOf())));
        if (tape) {
            EXPECT_EQ(S_OK, tape->SetSystem(pal ? TRUE : FALSE));
        }
        return camcorder;
    }
};

// Interleaved DV of 525/60 states no frame time in its type: the file has the camcorder's rate from
// its first frame on, not a rate guessed until the stop.
TEST_F(KilledEarly, TheCamcordersFirstFramesAreToldAtOnceWithTheirRate)
{
    AviOutput(L"dv type 1.avi");
    Gate* gate = nullptr;
    auto grabber = Gated(Camcorder(false).Get(), MEDIATYPE_Interleaved, 2, gate);
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(grabber.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    std::string bytes;
    std::filesystem::path killed;
    ASSERT_NO_FATAL_FAILURE(RunUntilHeld(*gate, bytes, killed));
    ASSERT_NO_FATAL_FAILURE(ExpectFramesTold(killed, bytes, "dvvideo"));
    EXPECT_NEAR(30000 / 1001.0, AviCounts(bytes).Rates.at(0), 1e-6) << "the header's rate";
    const TMediaProbe p = Probe(killed);
    EXPECT_EQ("480", p.Stream(p.StreamOfType("video"), "height"));
}

TEST_F(KilledEarly, SplitDVsFirstFramesAreToldAtOnce)
{
    AviOutput(L"dv type 2.avi");
    auto splitter = AddStock(CLSID_DVSplitter, L"DV Splitter");
    ASSERT_EQ(S_OK, Link(Camcorder(true).Get(), splitter.Get()));
    Gate* gate = nullptr;
    auto grabber = Gated(nullptr, MEDIATYPE_Video, 2, gate);
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinIndex(splitter.Get(), 1).Get(), PinAt(grabber.Get(), PINDIR_INPUT).Get(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(grabber.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_EQ(S_OK, builder->RenderStream(nullptr, &MEDIATYPE_Audio, splitter.Get(), nullptr, mux.Get()));
    std::string bytes;
    std::filesystem::path killed;
    ASSERT_NO_FATAL_FAILURE(RunUntilHeld(*gate, bytes, killed));
    ASSERT_NO_FATAL_FAILURE(ExpectFramesTold(killed, bytes, "dvvideo"));
    EXPECT_NEAR(25.0, AviCounts(bytes).Rates.at(0), 1e-6) << "the header's rate";
}

TEST_F(KilledEarly, DivXsFirstFramesAreToldAtOnce)
{
    AviOutput(L"divx.avi");
    Gate* gate = nullptr;
    auto grabber = Gated(Camera().Get(), MEDIATYPE_Video, 2, gate);
    auto xvid = AddStock(standins::CLSID_XvidCompressorStandin, L"Xvid");
    ASSERT_EQ(S_OK, Link(grabber.Get(), xvid.Get()));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(xvid.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    std::string bytes;
    std::filesystem::path killed;
    ASSERT_NO_FATAL_FAILURE(RunUntilHeld(*gate, bytes, killed));
    ASSERT_NO_FATAL_FAILURE(ExpectFramesTold(killed, bytes, "mpeg4"));
    const auto whole = quill_test::DecodeWhole(killed);
    EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
}

// A source whose type gives no frame time: the rate its samples' times show is in the file from the
// first checkpoint on (not 25 frames a second until the stop).
TEST_F(KilledEarly, ASourceWithoutAFrameTimeHasTheRateOfItsTimes)
{
    AviOutput(L"no frame time.avi");
    ftest::MediaType type;
    ftest::MakeVideoType(type, 64, 48);
    reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame = 0;
    auto* source = new ftest::MediaSource(type, ftest::VideoBytes(64, 48));
    source->Duration = 1000000;  // ten a second
    source->Count = 4;
    source->HoldEnd = true;
    auto filter = Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), L"Source");
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(filter.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return source->Delivered.load() == 4; }, 20000));
    std::string bytes;
    const std::filesystem::path killed = Snapshot(bytes, L"as killed.avi");
    ASSERT_NO_FATAL_FAILURE(ExpectFramesTold(killed, bytes, "rawvideo"));
    EXPECT_NEAR(10.0, AviCounts(bytes).Rates.at(0), 1e-6) << "the header's rate";
    const TMediaProbe p = Probe(killed);
    EXPECT_EQ("10/1", p.Stream(0, "avg_frame_rate"));
}

// Past its first RIFF part a reader goes by the file's indexes: the part being written is indexed
// as far as the header counts, so that what the header says is there can be found. (Frames a second
// apart: a checkpoint follows each.)
TEST_F(KilledEarly, PastItsFirstPartsTheHeaderCountsWhatTheIndexesList)
{
    TestSettings settings;
    settings.Set(standins::kTestRiffPartValue, 64 * 1024);
    AviOutput(L"parts.avi");
    ftest::MediaType type;
    ftest::MakeVideoType(type, 64, 48);
    reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame = 10000000;  // no picture lost between
    auto* source = new ftest::MediaSource(type, ftest::VideoBytes(64, 48));
    source->Duration = 10000000;
    source->Count = 45;
    source->HoldEnd = true;
    auto filter = Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), L"Source");
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(filter.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return source->Delivered.load() == 45; }, 20000));
    std::string bytes;
    const std::filesystem::path killed = Snapshot(bytes, L"as killed.avi");

    const AviWalk walk(bytes);
    ASSERT_GE(walk.Parts.size(), 4u) << "seven frames fill a part";
    const AviCounts counts(bytes);
    ASSERT_TRUE(counts.Read);
    ASSERT_EQ(1u, counts.Lengths.size());
    EXPECT_EQ(counts.Indexed[0], counts.Lengths[0]) << "the stream's length is what its indexes list";
    EXPECT_EQ(counts.Indexed[0], counts.ExtendedFrames) << "and so is the whole file's frame count";
    EXPECT_GE(counts.LastIndexAt[0], walk.Parts.back().Offset) << "the part being written is indexed too";
    EXPECT_EQ(45u, counts.Lengths[0]) << "every frame";
    const TMediaProbe p = Probe(killed);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    EXPECT_EQ(std::to_string(counts.Lengths[0]), p.Stream(0, "nb_frames"));
    EXPECT_GE(Count(p, 0), static_cast<int>(counts.Lengths[0])) << "every frame the header counts is read";

    // The stop completes the file with every frame, its last part indexed once.
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());
    const TMediaProbe done = Probe(path);
    ASSERT_TRUE(done.Ok()) << done.Run.Failure << done.Run.Err;
    EXPECT_EQ(45, Count(done, 0));
    EXPECT_EQ("45", done.Stream(0, "nb_frames"));
    const AviCounts finished(FileBytes());
    EXPECT_EQ(45u, finished.Indexed[0]);
}

// Each checkpoint grows the open part's RIFF and "movi" sizes in two writes: whichever write a kill
// comes after, every list lies inside its part. (The file as it stands after every write of a
// recording past its first parts, frames a second apart so that a checkpoint follows each.)
TEST_F(KilledEarly, AfterAnyWriteEveryMoviListLiesInsideItsPart)
{
    TestSettings settings;
    settings.Set(standins::kTestRiffPartValue, 64 * 1024);
    mux = AddStock(CLSID_AviDest, L"AVI Mux");
    auto* file = new avisink::StreamSink;
    Add(ComPtr<IBaseFilter>(file->BaseFilterInterface()), L"AVI sink");
    ASSERT_EQ(S_OK, Link(mux.Get(), file->BaseFilterInterface()));
    int writes = 0;
    std::vector<int> past;  // the writes after which a list ran past its part
    file->AfterWrite = [&](const std::vector<std::uint8_t>& b) {
        ++writes;
        if (MoviPastItsPart(b)) {
            past.push_back(writes);
        }
    };
    ftest::MediaType type;
    ftest::MakeVideoType(type, 64, 48);
    reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame = 10000000;  // no picture lost between
    auto* source = new ftest::MediaSource(type, ftest::VideoBytes(64, 48));
    source->Duration = 10000000;
    source->Count = 20;
    auto filter = Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), L"Source");
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(filter.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    RunUntil([&] { return source->Delivered.load() == 20; });

    const std::vector<std::uint8_t> bytes = file->Bytes();
    const AviWalk walk(std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(walk.Whole);
    EXPECT_GE(walk.Parts.size(), 3u) << "seven frames fill a part";
    EXPECT_GT(writes, 40) << "a checkpoint after each frame";
    EXPECT_TRUE(past.empty()) << past.size() << " of " << writes << " writes, the first: " << past.front();
}

// A disk that fills past the first parts: the stop leaves the file's last part counted as far as
// its index chunks list what reached the disk whole, and every count agrees with what is read.
TEST_F(KilledEarly, AFullDiskPastTheFirstPartsLeavesCountsItsIndexesList)
{
    TestSettings settings;
    settings.Set(standins::kTestRiffPartValue, 64 * 1024);
    settings.Set(standins::kTestByteLimitValue, 300000);
    AviOutput(L"full past parts.avi");
    ftest::MediaType type;
    ftest::MakeVideoType(type, 64, 48);
    auto* source = new ftest::MediaSource(type, ftest::VideoBytes(64, 48));
    source->Pace = 2;
    auto filter = Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), L"Source");
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(filter.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    for (const ULONGLONG deadline = GetTickCount64() + 20000; code != EC_ERRORABORT && GetTickCount64() < deadline;) {
        if (events->GetEvent(&code, &p1, &p2, 50) == S_OK) {
            events->FreeEventParams(code, p1, p2);
        }
    }
    ASSERT_EQ(EC_ERRORABORT, code);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL), static_cast<HRESULT>(p1));
    ASSERT_EQ(S_OK, control->Stop());

    const std::string bytes = FileBytes();
    EXPECT_LE(bytes.size(), 300000u);
    const AviWalk walk(bytes);
    EXPECT_TRUE(walk.Whole) << "the sizes stay within what reached the disk";
    EXPECT_GE(walk.Parts.size(), 3u);
    const AviCounts counts(bytes);
    ASSERT_TRUE(counts.Read);
    EXPECT_EQ(counts.Indexed[0], counts.Lengths[0]) << "the length is what the indexes list";
    EXPECT_EQ(counts.Indexed[0], counts.ExtendedFrames);
    EXPECT_GE(counts.Lengths[0], 20u) << "what fitted is kept";
    const TMediaProbe p = Probe(path);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    EXPECT_EQ(static_cast<int>(counts.Lengths[0]), Count(p, 0));
    EXPECT_EQ(std::to_string(counts.Lengths[0]), p.Stream(0, "nb_frames"));
    const auto whole = quill_test::DecodeWhole(path);
    EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
}

}  // namespace
}  // namespace recording_test
