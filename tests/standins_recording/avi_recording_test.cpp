// Recordings of the synthetic devices through the builder's AVI output, read back with ffprobe and
// ffmpeg: raw video with PCM sound (pictures the camera lost keeping their places), pictures by a
// clock of their own each in the place of its time, the camcorder's interleaved DV as one stream, DV
// split into pictures and sound (the sound rendered into the multiplexer by the builder, lost frames'
// places kept in both, from a camcorder with a clock of its own too), a file of many RIFF parts, a full
// disk that refuses a write or first answers it short, and a recording cut off before its stop (a
// killed program) whose file still tells what it holds.
#include "recording_support.h"

#include "filters/dv_codes.h"
#include "platform/standins/dv_camcorder.h"
#include "tests/common/camera_pictures.h"
#include "tests/filters/media_sources.h"

#include <fstream>

#include <algorithm>
#include <cstring>

namespace recording_test {
namespace {

// Small pictures of 64 by 48, or blank 625/50 DV frames (the splitter gives the silence of a frame
// for each).
void PicturesOrDV(ftest::MediaType& type, bool dv)
{
    ftest::MakeVideoType(type, 64, 48);
    if (!dv) return;
    dshow::FreeMediaType(type);
    type.majortype = MEDIATYPE_Interleaved;
    type.subtype = MEDIASUBTYPE_dvsd;
    type.formattype = GUID_NULL;
    type.lSampleSize = 144000;
    type.bFixedSizeSamples = TRUE;
}

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
    sound.ExpectRecorded(samples.size());
    EXPECT_EQ(0, ToneMismatches(samples, sound.FirstStart, 44100)) << "each sample in its place";
    const auto whole = quill_test::DecodeWhole(path);
    EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
}

// Pictures by a clock of their own: each takes the slot its stamp falls in, counted from its run's
// start (a discontinuity starts another, a step of over 60 s too), so that a run's track lasts as
// long as its pictures' time, within a frame, however far apart they come (1.4 or 1.51 frame times
// on a camera stating 25 a second), however late some come (jitter over half a frame time adds no
// frame), and two in one frame time are both kept, the lead taken back at the next gap.
TEST_F(Recording, EachPictureTakesTheSlotItsStampFallsInCountedFromItsRun)
{
    constexpr REFERENCE_TIME kFrame = 400000;
    // 30 pictures Step frame times apart, each but the first moved by By (in turn).
    auto apart = [](double step, std::vector<double> by = {0}) {
        std::vector<double> at;
        for (std::size_t i = 0; i < 30; ++i) at.push_back(i * step + (i > 0 ? by[i % by.size()] : 0));
        return at;
    };
    struct TRun {
        const char* What;
        std::vector<double> At;  // in frame times
        double Within = 1;       // frame times between a picture's place and its time
    };
    // Pairs in one frame time, and three in one before a gap: each plays at most a frame time late
    // for each picture before it in its frame time.
    const std::vector<TRun> runs = {
        {"1.4 frame times apart", apart(1.4)},
        {"1.51 frame times apart", apart(1.51)},
        {"late by up to 0.95 frame times", apart(1, {0.6, 0, 0.9, 0.55, 0, 0, 0.75, -0.2, 0.95, 0.5})},
        {"1.5 frame times apart, straying half a frame time", apart(1.5, {0.5, -0.5, 0.3, -0.45, 0.49, 0.1, -0.2})},
        {"two and three in one frame time", {0, 0.2, 2, 2.3, 4, 4.1, 4.2, 9, 10, 11.5, 11.6, 14}, 2}};
    // Each run starts 10.3 frame times after the last one ended, at a discontinuity; a picture 61 s
    // after the last run's (no discontinuity) starts a run of its own.
    std::vector<REFERENCE_TIME> stamps;
    std::vector<bool> starts;
    for (const auto& run : runs) {
        const REFERENCE_TIME base = stamps.empty() ? 0 : stamps.back() + 10 * kFrame + 3 * kFrame / 10;
        for (std::size_t i = 0; i < run.At.size(); ++i) {
            stamps.push_back(base + std::llround(run.At[i] * kFrame));
            starts.push_back(i == 0);
        }
    }
    stamps.push_back(stamps.back() + 610000000);
    starts.push_back(false);
    // Fed as fast as the filters go, without a clock: the stamps alone place the pictures.
    ComPtr<IMediaFilter> clockless;
    ASSERT_EQ(S_OK, graph.As(&clockless));
    ASSERT_EQ(S_OK, clockless->SetSyncSource(nullptr));

    // Pictures straight into the multiplexer, written as they come or interleaved; and DV frames
    // through the DV splitter, whose silence for the frames never given must fill the same places
    // in the sound.
    for (const int way : {0, 1, 2}) {
        const bool dv = way == 2;
        SCOPED_TRACE(dv ? "DV split" : way == 0 ? "as they come" : "interleaved");
        mux.Reset();
        sink.Reset();
        AviOutput(L"clocked " + std::to_wstring(way) + L".avi");
        ComPtr<IConfigInterleaving> interleaving;
        ASSERT_EQ(S_OK, mux.As(&interleaving));
        ASSERT_EQ(S_OK, interleaving->put_Mode(way == 1 ? INTERLEAVE_FULL : INTERLEAVE_NONE));
        ftest::MediaType type;
        PicturesOrDV(type, dv);
        auto* source = new ftest::MediaSource(type, dv ? 144000 : ftest::VideoBytes(64, 48));
        source->Count = static_cast<int>(stamps.size());
        source->Stamp = [&](int i, bool& discontinuity) {
            discontinuity = starts[static_cast<std::size_t>(i)];
            return stamps[static_cast<std::size_t>(i)];
        };
        source->Fill = [](int i, BYTE* data, long bytes) {
            std::memset(data, 0, static_cast<std::size_t>(bytes));
            data[3] = 0xBF;  // a 625/50 frame's header
            std::memcpy(data + 4, &i, sizeof(i));
        };
        const std::wstring name = L"Clocked " + std::to_wstring(way);
        auto filter = Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), name.c_str());
        ComPtr<IBaseFilter> splitter;
        if (dv) {
            splitter = AddStock(CLSID_DVSplitter, L"Clocked DV Splitter");
            ASSERT_EQ(S_OK, Link(filter.Get(), splitter.Get()));
            ASSERT_EQ(S_OK, graph->ConnectDirect(PinIndex(splitter.Get(), 1).Get(), PinIndex(mux.Get(), 1).Get(),
                                                 nullptr));
            ASSERT_EQ(S_OK, builder->RenderStream(nullptr, &MEDIATYPE_Audio, splitter.Get(), nullptr, mux.Get()));
        } else {
            ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(filter.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(),
                                                 nullptr));
        }
        RunUntil([&] { return source->EosSent.load(); });
        EXPECT_EQ(0, ErrorEvents());

        // The slot of every picture, by the number it carries.
        const std::string bytes = FileBytes();
        std::vector<std::int64_t> slot;
        const std::vector<Chunk> chunks = AviWalk(bytes).Of("00");
        for (std::size_t k = 0; k < chunks.size(); ++k) {
            if (chunks[k].Size == 0) continue;
            int i = -1;
            std::memcpy(&i, bytes.data() + chunks[k].Offset + 8 + 4, sizeof(i));
            EXPECT_EQ(static_cast<int>(slot.size()), i) << "every picture, in order";
            slot.push_back(static_cast<std::int64_t>(k));
        }
        ASSERT_EQ(stamps.size(), slot.size());
        std::size_t first = 0;
        for (const auto& run : runs) {
            SCOPED_TRACE(run.What);
            const std::size_t end = first + run.At.size();
            double worst = 0;  // frame times a picture plays after its time
            for (std::size_t i = first; i < end; ++i) {
                const double time = static_cast<double>(stamps[i] - stamps[first]) / kFrame;
                const double off = static_cast<double>(slot[i] - slot[first]) - time;
                worst = std::abs(off) > std::abs(worst) ? off : worst;
            }
            EXPECT_LE(std::abs(worst), run.Within) << "a picture plays " << worst << " frame times after its time";
            const double length = static_cast<double>(stamps[end - 1] - stamps[first]) / kFrame + 1;
            EXPECT_LT(std::abs(static_cast<double>(slot[end] - slot[first]) - length), 1.0)
                << "a track of " << slot[end] - slot[first] << " frames for " << length << " frame times";
            first = end;
        }
        EXPECT_EQ(slot[first - 1] + 1, slot[first]) << "a step of 61 s is a new timeline, not pictures lost";
        if (dv) {
            const auto samples = quill_test::DecodeSound(path);
            EXPECT_EQ(chunks.size() * 1920 * 2, samples.size()) << "a frame's sound in every place";
        }
        for (const ComPtr<IBaseFilter>& gone : {filter, splitter, ComPtr<IBaseFilter>(mux)}) {
            if (gone) {
                EXPECT_EQ(S_OK, graph->RemoveFilter(gone.Get()));
            }
        }
        ComPtr<IBaseFilter> writer;
        ASSERT_EQ(S_OK, sink.As(&writer));
        EXPECT_EQ(S_OK, graph->RemoveFilter(writer.Get()));
    }
}

// A live source's pictures every frame time by the recording's clock, some stamped an hour, a
// thousand hours, then 59 s and more ahead of it, the last one's stop an hour after its start (or,
// through the DV splitter, near the largest time): written as they come, interleaved beside a sound,
// or as DV split into picture and sound, the file fills nothing past the time the recording ran
// (a frame time or two more), in its pictures nor in the silence of the DV's sound.
TEST_F(Recording, StampsHoursAheadOfTheRecordingsClockFillNothingPastIt)
{
    constexpr REFERENCE_TIME kFrame = 400000, kHour = 36000000000LL;
    constexpr int kPictures = 25;
    for (const int way : {0, 1, 2}) {
        const bool dv = way == 2;
        SCOPED_TRACE(dv ? "DV split" : way == 0 ? "as they come" : "interleaved");
        AviOutput(L"wild " + std::to_wstring(way) + L".avi");
        ComPtr<IConfigInterleaving> interleaving;
        ASSERT_EQ(S_OK, mux.As(&interleaving));
        ASSERT_EQ(S_OK, interleaving->put_Mode(way == 1 ? INTERLEAVE_FULL : INTERLEAVE_NONE));
        ftest::MediaType type;
        PicturesOrDV(type, dv);
        auto* source = new ftest::MediaSource(type, dv ? 144000 : ftest::VideoBytes(64, 48));
        source->Count = kPictures;
        source->Live = true;
        source->Pace = 40;
        source->Stamp = [](int i, bool& discontinuity) {
            discontinuity = false;
            const REFERENCE_TIME at = i * kFrame;
            if (i == 6) return at + kHour;
            if (i == 9) return at + 1000 * kHour;
            return i >= 12 && i < 18 ? at + (i - 11) * 590000000LL : at;
        };
        source->StopStamp = [dv](int i, REFERENCE_TIME start) {
            return i < kPictures - 1 ? start + kFrame : dv ? INT64_MAX - 1 : start + kHour;
        };
        source->Fill = [](int, BYTE* data, long bytes) {
            std::memset(data, 0, static_cast<std::size_t>(bytes));
            data[3] = 0xBF;  // a 625/50 frame's header
        };
        const std::wstring name = L"Wild " + std::to_wstring(way);
        auto filter = Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), name.c_str());
        ComPtr<IBaseFilter> splitter, sound;
        if (dv) {
            splitter = AddStock(CLSID_DVSplitter, L"Wild DV Splitter");
            ASSERT_EQ(S_OK, Link(filter.Get(), splitter.Get()));
            ASSERT_EQ(S_OK, graph->ConnectDirect(PinIndex(splitter.Get(), 1).Get(), PinIndex(mux.Get(), 1).Get(),
                                                 nullptr));
            ASSERT_EQ(S_OK, builder->RenderStream(nullptr, &MEDIATYPE_Audio, splitter.Get(), nullptr, mux.Get()));
        } else {
            ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(filter.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(),
                                                 nullptr));
        }
        if (way == 1) {
            ftest::MediaType pcm;
            ftest::MakePcmType(pcm, 8000, 1, 16, false);
            auto* tone = new ftest::MediaSource(pcm, 640);
            tone->Count = kPictures;
            tone->Live = true;
            tone->Pace = 40;
            sound = Add(ComPtr<IBaseFilter>(tone->BaseFilterInterface()), L"Wild sound");
            ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(sound.Get(), PINDIR_OUTPUT).Get(), LastPin(mux.Get()).Get(),
                                                 nullptr));
        }
        // The graph's clock for every filter, those added since its last run too, as the program
        // gives it before each recording.
        ASSERT_EQ(S_OK, graph->SetDefaultSyncSource());
        // The recording's clock ran no longer than it reads from before its run to after its stop
        // (the wall clock of a busy machine need not keep the same time).
        ComPtr<IMediaFilter> timed;
        ComPtr<IReferenceClock> clock;
        ASSERT_EQ(S_OK, graph.As(&timed));
        ASSERT_EQ(S_OK, timed->GetSyncSource(&clock));
        ASSERT_TRUE(clock);
        REFERENCE_TIME began = 0, ended = 0;
        ASSERT_TRUE(SUCCEEDED(clock->GetTime(&began)));
        RunUntil([&] { return source->EosSent.load(); });
        // S_FALSE: the same time as the last read.
        ASSERT_TRUE(SUCCEEDED(clock->GetTime(&ended)));
        const double ran = static_cast<double>(ended - began) / kFrame;
        EXPECT_EQ(0, ErrorEvents());

        const std::string bytes = FileBytes();
        const std::size_t places = AviWalk(bytes).Of("00").size();
        EXPECT_GE(places, static_cast<std::size_t>(kPictures));
        EXPECT_LE(static_cast<double>(places), ran + 3) << places << " frames in " << ran << " frame times";
        if (dv) {
            const auto samples = quill_test::DecodeSound(path);
            EXPECT_LE(static_cast<double>(samples.size()) / 2 / 1920, ran + 3) << "silence past the clock";
        }
        for (const ComPtr<IBaseFilter>& gone : {filter, splitter, sound, ComPtr<IBaseFilter>(mux)}) {
            if (gone) {
                EXPECT_EQ(S_OK, graph->RemoveFilter(gone.Get()));
            }
        }
        ComPtr<IBaseFilter> writer;
        ASSERT_EQ(S_OK, sink.As(&writer));
        EXPECT_EQ(S_OK, graph->RemoveFilter(writer.Get()));
        mux.Reset();
        sink.Reset();
    }
}

// Full interleaving waits for the sound while it stalls (a sound input that gives nothing), and
// pictures 59 s apart leave over a thousand empty frames each, with no bytes: the wait holds back
// no more than so many samples, and the file gets what waits beyond them while it records.
TEST_F(Recording, AStalledStreamHoldsBackNoMoreThanSoManySamplesInFullInterleaving)
{
    // As fast as the filters go: the stamps alone place the pictures.
    ComPtr<IMediaFilter> clockless;
    ASSERT_EQ(S_OK, graph.As(&clockless));
    ASSERT_EQ(S_OK, clockless->SetSyncSource(nullptr));
    AviOutput(L"stalled.avi");
    ComPtr<IConfigInterleaving> interleaving;
    ASSERT_EQ(S_OK, mux.As(&interleaving));
    ASSERT_EQ(S_OK, interleaving->put_Mode(INTERLEAVE_FULL));
    ftest::MediaType type;
    ftest::MakeVideoType(type, 64, 48);
    auto* source = new ftest::MediaSource(type, ftest::VideoBytes(64, 48));
    source->Count = 6;
    source->HoldEnd = true;
    source->Stamp = [](int i, bool& discontinuity) {
        discontinuity = false;
        return i * 590000000LL;
    };
    auto filter = Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), L"Far apart");
    ASSERT_EQ(S_OK,
              graph->ConnectDirect(PinAt(filter.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(), nullptr));
    ftest::MediaType pcm;
    ftest::MakePcmType(pcm, 8000, 1, 16, false);
    auto* tone = new ftest::MediaSource(pcm, 640);
    tone->Count = 1;  // held at the gate until the stop
    auto sound = Add(ComPtr<IBaseFilter>(tone->BaseFilterInterface()), L"Stalling sound");
    Gate* gate = nullptr;
    auto stalled = Gated(sound.Get(), MEDIATYPE_Audio, 0, gate);
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(stalled.Get(), PINDIR_OUTPUT).Get(), LastPin(mux.Get()).Get(), nullptr));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return source->Delivered.load() == 6 && gate->Held(); }, 20000));
    // 6 pictures and 5 * 1474 empty frames came: all but so many reached the file.
    std::uint32_t written = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            std::string bytes;
            Snapshot(bytes, L"stalling.avi");
            const AviCounts counts(bytes);
            written = counts.Read && !counts.Lengths.empty() ? counts.Lengths[0] : 0;
            return written >= 6 + 5 * 1474 - 4097;
        },
        20000))
        << written << " frames written while the sound stalls";
    gate->Open();
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());
    EXPECT_EQ(6u + 5 * 1474, AviWalk(FileBytes()).Of("00").size()) << "every place, at the stop";
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

// The camcorder loses frames on the bus as on a busy machine, and its clock gives a frame every 1.4
// frame times with stamps that stray a little: the pictures' places they never filled are kept
// empty and their sound's places silent, each picture in the place of its time (its timecode
// counts the camcorder's frames), so that the sound after them stays with its pictures.
TEST_F(Recording, SplitDVHasItsSoundRenderedIntoTheMultiplexerByTheBuilderBesideEveryPicturesPlace)
{
    TestSettings settings;
    settings.Set(standins::kTestLostPicturesValue, 7);
    settings.Set(standins::kTestPictureIntervalValue, 1400);
    settings.Set(standins::kTestPictureJitterValue, 50);
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

    const std::string bytes = FileBytes();
    const std::vector<Chunk> frames = AviWalk(bytes).Of("00");
    ASSERT_EQ(static_cast<std::size_t>(places), frames.size());
    long long firstTape = -1, firstPlace = 0, lastTape = 0, worstTape = 0;
    double worst = 0;  // frame times a picture plays after its time
    for (std::size_t k = 0; k < frames.size(); ++k) {
        if (frames[k].Size == 0) continue;
        const auto* frame = reinterpret_cast<const std::uint8_t*>(bytes.data() + frames[k].Offset + 8);
        const filters::TDVTimecode tc = filters::DVReadTimecode(std::span(frame, frames[k].Size), 0);
        lastTape = ((tc.Hours * 60LL + tc.Minutes) * 60 + tc.Seconds) * 25 + tc.Frames;
        if (firstTape < 0) {
            firstTape = lastTape;
            firstPlace = static_cast<long long>(k);
        }
        const double off = static_cast<double>(static_cast<long long>(k) - firstPlace) - (lastTape - firstTape) * 1.4;
        if (std::abs(off) > std::abs(worst)) {
            worst = off;
            worstTape = lastTape;
        }
    }
    EXPECT_LE(std::abs(worst), 1.1) << "tape frame " << worstTape << " plays " << worst
                                    << " frame times after its time";
    EXPECT_LE(std::abs(places - firstPlace - ((lastTape - firstTape) * 1.4 + 1)), 1.1)
        << places << " places for tape frames " << firstTape << " to " << lastTape;
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
    sound.ExpectRecorded(samples.size());
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
