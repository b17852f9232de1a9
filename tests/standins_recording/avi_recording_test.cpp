// Recordings of the synthetic devices through the builder's AVI output, read back with ffprobe and
// ffmpeg: raw video with PCM sound (pictures the camera lost keeping their places), the camcorder's
// interleaved DV as one stream, DV split into pictures and sound (the sound rendered into the
// multiplexer by the builder, lost frames' places kept in both), a file of many RIFF parts, a full
// disk that refuses a write or first answers it short, and a recording cut off before its stop (a
// killed program) whose file still tells what it holds.
#include "recording_support.h"

#include "platform/standins/dv_camcorder.h"
#include "tests/common/camera_pictures.h"
#include "tests/filters/media_sources.h"

#include <fstream>

#include <algorithm>

namespace recording_test {
namespace {

int Count(const TMediaProbe& p, int stream) { return std::atoi(p.Stream(stream, "nb_read_packets").c_str()); }

std::size_t Empty(const std::vector<Chunk>& chunks)
{
    return static_cast<std::size_t>(
        std::count_if(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.Size == 0; }));
}

// The decoded sound's left channel follows the microphone's tone from the first buffer's start on.
int ToneMismatches(const std::vector<std::int16_t>& samples, REFERENCE_TIME firstStart, int rate)
{
    const long long first = firstStart * rate / 10000000;
    int wrong = 0;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        wrong += std::abs(samples[i] - ToneAt(first + static_cast<long long>(i / 2), rate)) > 1;
    }
    return wrong;
}

// The camera loses pictures as a busy machine makes it lose them (steps of 2 and 3 in the numbers
// it draws): the file keeps the place of each with an empty frame, so that every picture plays at
// its time, and the camera counts them lost.
TEST_F(Recording, CameraAndMicrophoneMakeAFileFfmpegReadsWholeWithEveryPictureAtItsTime)
{
    TestSettings settings;
    settings.Set(standins::kTestLostPicturesValue, 7);
    AviOutput(L"camera and microphone.avi");
    ComPtr<IConfigInterleaving> interleaving;
    ASSERT_EQ(S_OK, mux.As(&interleaving));
    ASSERT_EQ(S_OK, interleaving->put_Mode(INTERLEAVE_CAPTURE));
    Counter sound;
    long delivered = 0, dropped = 0;
    ASSERT_NO_FATAL_FAILURE(RecordCameraAndMicrophone(sound, 30, delivered, &dropped));
    EXPECT_EQ(0, ErrorEvents());

    const std::vector<quill_test::TCameraPicture> pictures = quill_test::CameraPictures(path);
    ASSERT_EQ(static_cast<std::size_t>(delivered), pictures.size()) << "every picture the camera delivered";
    EXPECT_EQ(0, std::count_if(pictures.begin(), pictures.end(), [&](const quill_test::TCameraPicture& picture) {
        return std::abs((picture.Number - pictures[0].Number) / 25.0 - picture.Time) > 0.001;
    })) << "pictures played before their time";
    const long places = static_cast<long>(pictures.back().Number - pictures.front().Number) + 1;
    EXPECT_GT(places, delivered + 2) << "the camera lost no picture";
    EXPECT_GE(dropped, places - delivered) << "the lost pictures are counted";

    TMediaProbe p;
    int v = -1, a = -1;
    ASSERT_NO_FATAL_FAILURE(ProbePicturesAndSound(p, v, a));
    EXPECT_EQ("rawvideo", p.Stream(v, "codec_name"));
    EXPECT_EQ("320", p.Stream(v, "width"));
    EXPECT_EQ("240", p.Stream(v, "height"));
    EXPECT_EQ(delivered, Count(p, v)) << "the empty frames are no pictures";
    EXPECT_EQ(std::to_string(places), p.Stream(v, "nb_frames")) << "the header counts every place";
    EXPECT_NEAR(places / 25.0, p.StreamNumber(v, "duration"), 1 / 25.0);
    EXPECT_EQ("pcm_s16le", p.Stream(a, "codec_name"));
    EXPECT_EQ("44100", p.Stream(a, "sample_rate"));
    EXPECT_EQ("2", p.Stream(a, "channels"));

    std::string failure;
    const auto samples = quill_test::DecodeSound(path, &failure);
    ASSERT_FALSE(samples.empty()) << failure;
    EXPECT_EQ(sound.Bytes.load() / 4, static_cast<long long>(samples.size() / 2)) << "every sample the microphone gave";
    EXPECT_EQ(0, ToneMismatches(samples, sound.FirstStart, 44100)) << "each sample in its place";
    const auto whole = quill_test::DecodeWhole(path);
    EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
}

TEST_F(Recording, TheCamcordersInterleavedDVIsOneStreamOfPicturesAndSound)
{
    AviOutput(L"dv type 1.avi");
    auto camcorder = Device(CLSID_VideoInputDeviceCategory, standins::kDVCamcorderName);
    ComPtr<standins::IQuillDVCamcorder> tape;
    ASSERT_EQ(S_OK, camcorder->QueryInterface(standins::IID_IQuillDVCamcorder, reinterpret_cast<void**>(tape.GetAddressOf())));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(camcorder.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    LONG delivered = 0;
    RunUntil([&] { return SUCCEEDED(tape->GetFramesDelivered(&delivered)) && delivered >= 25; });
    EXPECT_EQ(0, ErrorEvents());
    ASSERT_EQ(S_OK, tape->GetFramesDelivered(&delivered));

    const std::string bytes = FileBytes();
    EXPECT_NE(std::string::npos, bytes.find("iavsdvsd")) << "one interleaved stream";
    const AviWalk walk(bytes);
    EXPECT_EQ(static_cast<std::size_t>(delivered), walk.Of("00").size());
    TMediaProbe p;
    int v = -1, a = -1;
    ASSERT_NO_FATAL_FAILURE(ProbePicturesAndSound(p, v, a)) << "ffmpeg finds pictures and sound in the DV stream";
    EXPECT_EQ("dvvideo", p.Stream(v, "codec_name"));
    EXPECT_EQ("720", p.Stream(v, "width"));
    EXPECT_EQ("576", p.Stream(v, "height"));
    EXPECT_EQ("25/1", p.Stream(v, "r_frame_rate"));
    EXPECT_EQ(delivered, Count(p, v));
    EXPECT_EQ("48000", p.Stream(a, "sample_rate"));
    const auto samples = quill_test::DecodeSound(path);
    EXPECT_EQ(static_cast<std::size_t>(delivered) * 1920 * 2, samples.size()) << "1920 samples with every frame";
}

// The camcorder loses frames on the bus as on a busy machine: their pictures' places are kept
// empty and their sound's places silent, so that the sound after them stays with its pictures.
TEST_F(Recording, SplitDVHasItsSoundRenderedIntoTheMultiplexerByTheBuilderBesideEveryPicturesPlace)
{
    TestSettings settings;
    settings.Set(standins::kTestLostPicturesValue, 7);
    AviOutput(L"dv type 2.avi");
    auto camcorder = Device(CLSID_VideoInputDeviceCategory, standins::kDVCamcorderName);
    auto splitter = AddStock(CLSID_DVSplitter, L"DV Splitter");
    ASSERT_EQ(S_OK, Link(camcorder.Get(), splitter.Get()));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinIndex(splitter.Get(), 1).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ASSERT_EQ(S_OK, builder->RenderStream(nullptr, &MEDIATYPE_Audio, splitter.Get(), nullptr, mux.Get()));
    ComPtr<standins::IQuillDVCamcorder> tape;
    ASSERT_EQ(S_OK, camcorder->QueryInterface(standins::IID_IQuillDVCamcorder, reinterpret_cast<void**>(tape.GetAddressOf())));
    LONG delivered = 0;
    RunUntil([&] { return SUCCEEDED(tape->GetFramesDelivered(&delivered)) && delivered >= 25; });
    EXPECT_EQ(0, ErrorEvents());

    TMediaProbe p;
    int v = -1, a = -1;
    ASSERT_NO_FATAL_FAILURE(ProbePicturesAndSound(p, v, a));
    EXPECT_EQ("dvvideo", p.Stream(v, "codec_name"));
    EXPECT_EQ("pcm_s16le", p.Stream(a, "codec_name"));
    EXPECT_EQ("48000", p.Stream(a, "sample_rate"));
    EXPECT_GE(Count(p, v), 25);
    const int places = std::atoi(p.Stream(v, "nb_frames").c_str());
    EXPECT_GT(places, Count(p, v) + 2) << "the lost frames keep their places";
    const auto samples = quill_test::DecodeSound(path);
    // The splitter hands on each frame's sound beside its picture; a stop may fall between the two.
    EXPECT_LE(std::abs(static_cast<long long>(samples.size() / 2) - places * 1920LL), 1920);
}

TEST_F(Recording, AFileOfManyRiffPartsIsReadWhole)
{
    TestSettings settings;
    settings.Set(standins::kTestRiffPartValue, 1 << 20);
    AviOutput(L"parts.avi");
    Counter sound;
    long delivered = 0;
    ASSERT_NO_FATAL_FAILURE(RecordCameraAndMicrophone(sound, 40, delivered));

    const std::string bytes = FileBytes();
    const AviWalk walk(bytes);
    EXPECT_TRUE(walk.Whole);
    ASSERT_GE(walk.Parts.size(), 5u);
    EXPECT_EQ("AVI ", walk.Parts[0].Type);
    for (std::size_t i = 1; i < walk.Parts.size(); ++i) {
        EXPECT_EQ("AVIX", walk.Parts[i].Type) << i;
        EXPECT_LE(walk.Parts[i].Size + 8u, 1u << 20) << "part " << i;
    }
    // The video is indexed in every part; the super index lists the part's own index of each (the
    // index chunks the checkpoints kept in a part stay in it, listed no more).
    for (const Chunk& part : walk.Parts) {
        EXPECT_TRUE(std::any_of(walk.Movi.begin(), walk.Movi.end(), [&](const Chunk& c) {
            return c.Id == "ix00" && c.Offset > part.Offset && c.Offset < part.Offset + 8 + part.Size;
        })) << "the video indexed in the part at " << part.Offset;
    }
    const AviCounts counts(bytes);
    ASSERT_TRUE(counts.Read);
    EXPECT_EQ(walk.Parts.size(), counts.IndexChunks.at(0));
    // A busy machine may make the camera lose pictures: their places are empty frames.
    const std::size_t places = walk.Of("00").size();
    EXPECT_EQ(static_cast<std::size_t>(delivered), places - Empty(walk.Of("00")));
    EXPECT_EQ(places, counts.Indexed.at(0));
    ASSERT_GE(walk.Top.size(), 3u);
    EXPECT_EQ("idx1", walk.Top[2].Id) << "the legacy index closes the first part, after its header and movi lists";

    const TMediaProbe p = Probe(path);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    const int v = p.StreamOfType("video");
    EXPECT_EQ(delivered, Count(p, v));
    EXPECT_EQ(std::to_string(places), p.Stream(v, "nb_frames"));
    const auto samples = quill_test::DecodeSound(path);
    EXPECT_EQ(sound.Bytes.load() / 4, static_cast<long long>(samples.size() / 2));
    EXPECT_EQ(0, ToneMismatches(samples, sound.FirstStart, 44100));
}

// Small coded pictures (as a DivX recording makes) from a source that runs until stopped, about
// 200 a second stamped 25 a second, into the multiplexer's first input.
class SmallFrames : public Recording {
protected:
    void Build(const std::wstring& name)
    {
        AviOutput(name);
        ftest::MediaType type;
        ftest::MakeVideoType(type, 64, 48);
        source = new ftest::MediaSource(type, ftest::VideoBytes(64, 48));
        source->Live = true;
        source->Pace = 5;
        auto filter = Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), L"Source");
        ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(filter.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    }
    ftest::MediaSource* source = nullptr;
};

// A program killed while it records leaves the file as it is on the disk: the frames reach it as
// they come, and its header says how many it holds (a player that trusts the header otherwise
// shows an empty clip).
TEST_F(SmallFrames, AFileCutOffBeforeItsStopHoldsItsFramesAndTellsTheirCount)
{
    ASSERT_NO_FATAL_FAILURE(Build(L"killed.avi"));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return source->Delivered.load() >= 120; }, 20000));
    std::string bytes;
    const std::filesystem::path killed = Snapshot(bytes, L"as killed.avi");
    const AviWalk walk(bytes);
    ASSERT_EQ(1u, walk.Parts.size()) << "the RIFF size stays within what is on the disk";
    EXPECT_TRUE(walk.Whole);
    const std::size_t held = walk.Of("00").size();
    EXPECT_GE(held, 50u) << "the frames went to the disk as they came";
    const TMediaProbe p = Probe(killed);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    const int counted = std::atoi(p.Stream(0, "nb_frames").c_str());
    EXPECT_GE(counted, 25) << "the header's count follows the frames written";
    EXPECT_LE(counted, static_cast<int>(held)) << "and never says more than is there";
    EXPECT_GE(Count(p, 0), counted);
    EXPECT_NEAR(counted / 25.0, p.StreamNumber(0, "duration"), 1 / 25.0) << "the length a player shows";

    // The stop still completes the file with every frame.
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());
    const TMediaProbe done = Probe(path);
    ASSERT_TRUE(done.Ok()) << done.Run.Failure << done.Run.Err;
    EXPECT_EQ(source->Delivered.load(), Count(done, 0));
    EXPECT_EQ(std::to_string(source->Delivered.load()), done.Stream(0, "nb_frames"));
}

// Small frames fill no write buffer for a long time: a full disk is found, and told, while the
// recording runs, not at its stop when nobody listens any more.
TEST_F(SmallFrames, AFullDiskIsToldWhileTheRecordingRuns)
{
    TestSettings settings;
    settings.Set(standins::kTestByteLimitValue, 300000);
    ASSERT_NO_FATAL_FAILURE(Build(L"full.avi"));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (code != EC_ERRORABORT && GetTickCount64() < deadline) {
        if (events->GetEvent(&code, &p1, &p2, 50) == S_OK) {
            events->FreeEventParams(code, p1, p2);
        }
    }
    const int delivered = source->Delivered.load();
    ASSERT_EQ(EC_ERRORABORT, code) << "not told while running";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL), static_cast<HRESULT>(p1));
    // About 33 frames fill the disk; within a second of frames more it is found.
    EXPECT_LT(delivered, 120) << "told only once megabytes were held back";
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents()) << "told once";
    const std::string bytes = FileBytes();
    EXPECT_LE(bytes.size(), 300000u);
    const AviWalk walk(bytes);
    EXPECT_TRUE(walk.Whole);
    EXPECT_GE(walk.Of("00").size(), 20u) << "what fitted is kept";
    const TMediaProbe p = Probe(path);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    EXPECT_EQ(std::to_string(walk.Of("00").size()), p.Stream(0, "nb_frames"));
}

class FullDisk : public Recording {
protected:
    // The camera into a file on a disk that is full past kLimit bytes: the window must be told once,
    // with the disk's reason, and the file must stay readable up to the last whole frame.
    void RecordUntilFull(bool shortWrites)
    {
        constexpr std::uint64_t kLimit = 3000000;
        TestSettings settings;
        settings.Set(standins::kTestByteLimitValue, kLimit);
        settings.Set(standins::kTestShortWritesValue, shortWrites ? 1 : 0);
        AviOutput(L"full disk.avi");
        auto camera = Camera();
        ASSERT_EQ(S_OK,
                  graph->ConnectDirect(PinAt(camera.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        const ULONGLONG deadline = GetTickCount64() + 20000;
        while (code != EC_ERRORABORT && GetTickCount64() < deadline) {
            if (events->GetEvent(&code, &p1, &p2, 50) == S_OK) {
                events->FreeEventParams(code, p1, p2);
            }
        }
        ASSERT_EQ(EC_ERRORABORT, code);
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DISK_FULL), static_cast<HRESULT>(p1));
        Sleep(200);  // frames still coming are refused quietly
        ASSERT_EQ(S_OK, control->Stop());
        EXPECT_EQ(0, ErrorEvents()) << "reported once";

        const std::string bytes = FileBytes();
        EXPECT_LE(bytes.size(), kLimit);
        const AviWalk walk(bytes);
        EXPECT_TRUE(walk.Whole) << "the sizes cover what was written";
        const std::size_t written = walk.Of("00").size();
        EXPECT_GE(written, 5u);
        const TMediaProbe p = Probe(path);
        ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
        EXPECT_EQ(static_cast<int>(written - Empty(walk.Of("00"))), Count(p, 0)) << "the pictures, not the empty places";
        EXPECT_EQ(std::to_string(written), p.Stream(0, "nb_frames"));
        const auto whole = quill_test::DecodeWhole(path);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0) << whole.Err;
    }
};

TEST_F(FullDisk, AFailedWriteIsReportedOnceAndTheFileStaysReadable)
{
    RecordUntilFull(false);
}

// Wine's WriteFile on a full file system first answers success with fewer bytes written: that is a
// failed write too, and the window hears of it although no later write is tried.
TEST_F(FullDisk, AShortWriteIsReportedOnceAndTheFileStaysReadable)
{
    RecordUntilFull(true);
}

}  // namespace
}  // namespace recording_test
