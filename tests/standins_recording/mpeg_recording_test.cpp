// The native MPEG stand-ins in Wine graphs: the test MPEG card's coded video (MPEG-2, or MPEG-1 once
// chosen) and the microphone's sound through the MPEG audio encoder into the program-stream
// multiplexer and the file writer, read back with ffprobe and ffmpeg, a second run into a new name
// (a cut) writing a second whole file; the card's pictures through the MPEG video decoder; and the
// types each of them refuses.
#include "recording_support.h"

#include <dvdmedia.h>
#include <mmreg.h>

#include <mutex>
#include <sstream>
#include <tuple>

#include "platform/standins/mpeg_audio_encoder.h"
#include "platform/standins/mpeg_card.h"
#include "platform/standins/mpeg_decoder.h"
#include "platform/standins/mpeg_mux.h"

namespace recording_test {
namespace {

int Count(const TMediaProbe& p, int stream) { return std::atoi(p.Stream(stream, "nb_read_packets").c_str()); }

class MpegRecording : public Recording {
protected:
    ComPtr<IBaseFilter> Card() { return Device(CLSID_VideoInputDeviceCategory, L"Quillotrane Test MPEG Card"); }
    // Card -> multiplexer video, microphone -> MPEG audio encoder -> multiplexer sound, multiplexer ->
    // file writer (the card made here unless the test made it).
    // A gate on the card's pictures holds them after the first holdAfter (0: none), and one on the
    // sound before its first buffer.
    void BuildChain(bool withSound, long holdAfter = 0)
    {
        if (!card) card = Card();
        ASSERT_TRUE(card);
        ComPtr<IBaseFilter> video = card;
        if (holdAfter > 0) video = Gated(card.Get(), MEDIATYPE_Video, holdAfter, gate);
        mpegMux = AddStock(standins::CLSID_MpegMuxStandin, L"MPEG mux");
        writer = AddStock(CLSID_FileWriter, L"File writer");
        ASSERT_TRUE(mpegMux && writer);
        ASSERT_EQ(S_OK, writer.As(&fileSink));
        path = dir / L"first part.mpg";
        ASSERT_EQ(S_OK, fileSink->SetFileName(path.c_str(), nullptr));
        ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(video.Get(), PINDIR_OUTPUT).Get(), PinIndex(mpegMux.Get(), 0).Get(), nullptr));
        if (withSound) {
            auto encoder = AddStock(standins::CLSID_MpegAudioEncoderStandin, L"MPEG audio encoder");
            ASSERT_TRUE(encoder);
            // With the pictures held, the sound is held before it begins.
            ComPtr<IBaseFilter> sound = Microphone();
            if (holdAfter > 0) sound = Gated(sound.Get(), MEDIATYPE_Audio, 0, soundGate);
            ASSERT_EQ(S_OK, Link(sound.Get(), encoder.Get()));
            ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(encoder.Get(), PINDIR_OUTPUT).Get(), PinIndex(mpegMux.Get(), 1).Get(),
                                                 nullptr));
        }
        ASSERT_EQ(S_OK, Link(mpegMux.Get(), writer.Get()));
    }
    // Runs until the file holds Bytes, then stops.
    void RecordBytes(std::uintmax_t bytes)
    {
        RunUntil([&] {
            std::error_code ec;
            return std::filesystem::file_size(path, ec) >= bytes && !ec;
        });
    }
    void ExpectWholeProgramStream(const char* videoCodec, const char* width, bool withSound)
    {
        SCOPED_TRACE(path.string());
        const TMediaProbe p = Probe(path);
        ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
        EXPECT_EQ("mpeg", p.Get("format.format_name")) << "an MPEG program stream";
        const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
        ASSERT_GE(v, 0);
        EXPECT_EQ(videoCodec, p.Stream(v, "codec_name"));
        EXPECT_EQ(width, p.Stream(v, "width"));
        EXPECT_GE(Count(p, v), 10);
        if (withSound) {
            ASSERT_GE(a, 0);
            EXPECT_EQ("mp2", p.Stream(a, "codec_name"));
            EXPECT_EQ("48000", p.Stream(a, "sample_rate")) << "the microphone's rate, set below";
            EXPECT_GE(Count(p, a), 10);
        } else {
            EXPECT_LT(a, 0);
        }
        const auto whole = quill_test::DecodeWhole(path);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
    }
    // The microphone at 48000 Hz, an MPEG-1 rate.
    void MicrophoneAt48k()
    {
        auto mic = Microphone();
        ComPtr<IAMStreamConfig> config;
        ASSERT_EQ(S_OK, PinAt(mic.Get(), PINDIR_OUTPUT).As(&config));
        int count = 0, size = 0;
        ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
        std::vector<BYTE> caps(static_cast<std::size_t>(size));
        for (int i = 0; i < count; ++i) {
            AM_MEDIA_TYPE* mt = nullptr;
            ASSERT_EQ(S_OK, config->GetStreamCaps(i, &mt, caps.data()));
            const bool wanted = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat)->nSamplesPerSec == 48000;
            if (wanted) {
                EXPECT_EQ(S_OK, config->SetFormat(mt));
            }
            DeleteMediaType(mt);
            if (wanted) return;
        }
        FAIL() << "the microphone has no 48000 Hz format";
    }
    ComPtr<IBaseFilter> Microphone()
    {
        if (!microphone) microphone = Recording::Microphone();
        return microphone;
    }
    static void DeleteMediaType(AM_MEDIA_TYPE* mt)
    {
        if (mt == nullptr) return;
        CoTaskMemFree(mt->pbFormat);
        if (mt->pUnk != nullptr) mt->pUnk->Release();
        CoTaskMemFree(mt);
    }
    void TearDown() override
    {
        card.Reset();
        mpegMux.Reset();
        writer.Reset();
        fileSink.Reset();
        microphone.Reset();
        Recording::TearDown();
    }

    ComPtr<IBaseFilter> card, mpegMux, writer, microphone;
    ComPtr<IFileSinkFilter> fileSink;
    Gate* gate = nullptr;
    Gate* soundGate = nullptr;
};

TEST_F(MpegRecording, CardAndMicrophoneMakeProgramStreamsFfmpegReadsWholeOneFilePerRun)
{
    ASSERT_NO_FATAL_FAILURE(MicrophoneAt48k());
    ASSERT_NO_FATAL_FAILURE(BuildChain(true));
    ASSERT_NO_FATAL_FAILURE(RecordBytes(400000));
    EXPECT_EQ(0, ErrorEvents());
    const std::filesystem::path first = path;
    const auto firstSize = std::filesystem::file_size(first);
    ASSERT_NO_FATAL_FAILURE(ExpectWholeProgramStream("mpeg2video", "720", true));

    // A cut: the writer takes a new name between runs; each run starts its own file with a key picture.
    path = dir / L"second part.mpg";
    ASSERT_EQ(S_OK, fileSink->SetFileName(path.c_str(), nullptr));
    ASSERT_NO_FATAL_FAILURE(RecordBytes(400000));
    EXPECT_EQ(0, ErrorEvents());
    EXPECT_EQ(firstSize, std::filesystem::file_size(first)) << "the first part stays as it was";
    ASSERT_NO_FATAL_FAILURE(ExpectWholeProgramStream("mpeg2video", "720", true));
    // The card's stream starts with a sequence header and a key picture in each part.
    const quill_test::TUnixResult opening = quill_test::RunUnix({"ffprobe", "-v", "error", "-select_streams", "v",
                                                               "-show_entries", "frame=pict_type", "-read_intervals",
                                                               "%+#1", "-of", "csv=p=0", quill_test::UnixPath(path)});
    EXPECT_EQ("I", opening.Out.substr(0, 1)) << opening.Out << opening.Err;
}

// Killed in its first moments, before its sound began (the card held after its first pictures, the
// sound before its first buffer), the recording has those pictures on the disk, not an empty file;
// once the sound comes the file goes on with both and reads whole.
TEST_F(MpegRecording, TheCardsFirstPicturesReachTheFileBeforeTheSoundBegins)
{
    ASSERT_NO_FATAL_FAILURE(MicrophoneAt48k());
    ASSERT_NO_FATAL_FAILURE(BuildChain(true, 3));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return gate->Held() && soundGate->Held(); }, 30000));
    std::string bytes;
    const std::filesystem::path killed = Snapshot(bytes, L"as killed.mpg");
    const TMediaProbe p = Probe(killed);
    ASSERT_TRUE(p.Ok()) << bytes.size() << " bytes: " << p.Run.Failure << p.Run.Err;
    const int v = p.StreamOfType("video");
    ASSERT_GE(v, 0);
    EXPECT_EQ("mpeg2video", p.Stream(v, "codec_name"));
    EXPECT_GE(Count(p, v), 3) << "the first pictures, whole";

    gate->Open();
    soundGate->Open();
    EXPECT_TRUE(WaitFor([&] {
        std::error_code ec;
        return std::filesystem::file_size(path, ec) >= 400000 && !ec;
    }, 20000));
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());
    ASSERT_NO_FATAL_FAILURE(ExpectWholeProgramStream("mpeg2video", "720", true));
    // The pictures' times run on from the first one, across the sound's joining.
    const quill_test::TUnixResult times = quill_test::RunUnix({"ffprobe", "-v", "error", "-select_streams", "v",
                                                             "-show_entries", "packet=dts_time", "-of", "csv=p=0",
                                                             quill_test::UnixPath(path)});
    std::istringstream lines(times.Out);
    double previous = -1, time = 0;
    int backwards = 0, count = 0;
    while (lines >> time) {
        backwards += time <= previous;
        previous = time;
        ++count;
    }
    EXPECT_GE(count, 10);
    EXPECT_EQ(0, backwards) << times.Out.substr(0, 400);
}

TEST_F(MpegRecording, MpegOneChosenOnTheCardIsWrittenWithoutSoundWhenNoneIsConnected)
{
    card = Card();
    ASSERT_TRUE(card);
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(S_OK, PinAt(card.Get(), PINDIR_OUTPUT).As(&config));
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
    ASSERT_EQ(2, count);
    ASSERT_EQ(static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)), size);
    AM_MEDIA_TYPE* mt = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    ASSERT_EQ(S_OK, config->GetStreamCaps(0, &mt, reinterpret_cast<BYTE*>(&caps)));
    EXPECT_EQ(MEDIASUBTYPE_MPEG2_VIDEO, mt->subtype);
    EXPECT_EQ(FORMAT_MPEG2Video, mt->formattype) << "the program takes such a stream for format 3";
    EXPECT_EQ(720, caps.MaxOutputSize.cx);
    DeleteMediaType(mt);
    ASSERT_EQ(S_OK, config->GetStreamCaps(1, &mt, reinterpret_cast<BYTE*>(&caps)));
    EXPECT_EQ(MEDIASUBTYPE_MPEG1Payload, mt->subtype);
    EXPECT_EQ(FORMAT_MPEGVideo, mt->formattype) << "and this one for format 4";
    ASSERT_EQ(S_OK, config->SetFormat(mt));
    // A size the card does not code is refused.
    reinterpret_cast<MPEG1VIDEOINFO*>(mt->pbFormat)->hdr.bmiHeader.biWidth = 320;
    EXPECT_NE(S_OK, config->SetFormat(mt));
    DeleteMediaType(mt);

    ASSERT_NO_FATAL_FAILURE(BuildChain(false));
    ASSERT_NO_FATAL_FAILURE(RecordBytes(200000));
    EXPECT_EQ(0, ErrorEvents());
    ASSERT_NO_FATAL_FAILURE(ExpectWholeProgramStream("mpeg1video", "352", false));

    // The MPEG-1 card offers the same two codings, MPEG-1 first.
    auto mpeg1 = Device(CLSID_VideoInputDeviceCategory, L"Quillotrane Test MPEG-1 Card");
    ASSERT_TRUE(mpeg1);
    ComPtr<IAMStreamConfig> mpeg1Config;
    ASSERT_EQ(S_OK, PinAt(mpeg1.Get(), PINDIR_OUTPUT).As(&mpeg1Config));
    ASSERT_EQ(S_OK, mpeg1Config->GetFormat(&mt));
    EXPECT_EQ(MEDIASUBTYPE_MPEG1Payload, mt->subtype);
    DeleteMediaType(mt);
    ASSERT_EQ(S_OK, mpeg1Config->GetStreamCaps(1, &mt, reinterpret_cast<BYTE*>(&caps)));
    EXPECT_EQ(MEDIASUBTYPE_MPEG2_VIDEO, mt->subtype);
    DeleteMediaType(mt);
}

// Each card's pictures through the decoder: the number in each picture, and the bars where it says.
TEST_F(MpegRecording, TheDecoderShowsTheCardsPicturesWithTheirNumbers)
{
    for (const auto& [name, width, height] : {std::tuple{L"Quillotrane Test MPEG Card", 720, 576},
                                              std::tuple{L"Quillotrane Test MPEG-1 Card", 352, 288}}) {
        SCOPED_TRACE(width);
        card = Device(CLSID_VideoInputDeviceCategory, name);
        auto decoder = AddStock(standins::CLSID_MpegVideoDecoderStandin, L"MPEG decoder");
        ASSERT_TRUE(card && decoder);
        ASSERT_EQ(S_OK, Link(card.Get(), decoder.Get()));
        GrabberCallback& cb = Callback();
        std::mutex lock;
        std::vector<unsigned long> numbers;
        std::vector<int> wrongBars;
        const std::size_t stride = static_cast<std::size_t>(width) * 3;
        cb.OnSample = [&, width = width, height = height](IMediaSample* sample) {
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            if (data == nullptr || sample->GetActualDataLength() < static_cast<long>(stride * height)) return;
            // Picture row y is memory row height - 1 - y; the number's bits are 8-pixel squares on rows 8 to 15.
            const BYTE* row = data + (height - 1 - 12) * stride;
            unsigned long n = 0;
            for (int bit = 0; bit < 32; ++bit) n |= (row[(bit * 8 + 4) * 3 + 1] > 128 ? 1ul : 0ul) << bit;
            // Below the number: bar (x + 4 n) mod width * 8 / width; white, yellow, cyan and green hold green.
            const BYTE* low = data + (height / 2) * stride;
            int wrong = 0;
            for (int x = width / 16; x < width; x += width / 8) {
                const int bar = static_cast<int>((x + 4 * n) % width * 8 / width);
                const bool green = low[x * 3 + 1] > 128;
                wrong += green != (bar <= 3);
            }
            std::lock_guard<std::mutex> hold(lock);
            numbers.push_back(n);
            wrongBars.push_back(wrong);
        };
        auto grabber = AddGrabber(cb, MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
        ASSERT_EQ(S_OK, Link(decoder.Get(), grabber.Get()));
        auto renderer = AddStock(CLSID_NullRenderer, L"Null");
        ASSERT_EQ(S_OK, Link(grabber.Get(), renderer.Get()));
        RunUntil([&] {
            std::lock_guard<std::mutex> hold(lock);
            return numbers.size() >= 15;
        });
        std::lock_guard<std::mutex> hold(lock);
        ASSERT_GE(numbers.size(), 15u);
        EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end())) << "each picture once, in order";
        EXPECT_EQ(numbers.end(), std::adjacent_find(numbers.begin(), numbers.end()));
        for (int wrong : wrongBars) EXPECT_EQ(0, wrong) << "the bars where the number says";
        for (IBaseFilter* f : {card.Get(), decoder.Get(), grabber.Get(), renderer.Get()}) graph->RemoveFilter(f);
        card.Reset();
    }
}

TEST_F(MpegRecording, EachRefusesWhatItCannotTake)
{
    ASSERT_NO_FATAL_FAILURE(MicrophoneAt48k());
    auto camera = Camera();
    auto mpegMux2 = AddStock(standins::CLSID_MpegMuxStandin, L"MPEG mux");
    auto decoder = AddStock(standins::CLSID_MpegVideoDecoderStandin, L"MPEG decoder");
    auto encoder = AddStock(standins::CLSID_MpegAudioEncoderStandin, L"MPEG audio encoder");
    ASSERT_TRUE(camera && mpegMux2 && decoder && encoder);
    // Uncoded pictures reach neither the multiplexer nor the decoder; PCM is not MPEG sound.
    EXPECT_NE(S_OK, graph->ConnectDirect(PinAt(camera.Get(), PINDIR_OUTPUT).Get(), PinIndex(mpegMux2.Get(), 0).Get(), nullptr));
    EXPECT_NE(S_OK, Link(camera.Get(), decoder.Get()));
    EXPECT_NE(S_OK, graph->ConnectDirect(PinAt(Microphone().Get(), PINDIR_OUTPUT).Get(), PinIndex(mpegMux2.Get(), 1).Get(),
                                         nullptr));
    // The sound input takes no video, the video input no sound.
    card = Card();
    EXPECT_NE(S_OK, graph->ConnectDirect(PinAt(card.Get(), PINDIR_OUTPUT).Get(), PinIndex(mpegMux2.Get(), 1).Get(), nullptr));
    ASSERT_EQ(S_OK, Link(Microphone().Get(), encoder.Get()));
    EXPECT_NE(S_OK, graph->ConnectDirect(PinAt(encoder.Get(), PINDIR_OUTPUT).Get(), PinIndex(mpegMux2.Get(), 0).Get(), nullptr));
    // The encoder's sound is MPEG-1 layer II at the microphone's rate.
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(encoder.Get(), PINDIR_OUTPUT).Get(), PinIndex(mpegMux2.Get(), 1).Get(), nullptr));
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(S_OK, PinAt(encoder.Get(), PINDIR_OUTPUT)->ConnectionMediaType(&mt));
    EXPECT_EQ(MEDIASUBTYPE_MPEG1Audio, mt.subtype);
    ASSERT_GE(mt.cbFormat, sizeof(MPEG1WAVEFORMAT));
    const auto* wf = reinterpret_cast<const MPEG1WAVEFORMAT*>(mt.pbFormat);
    EXPECT_EQ(WAVE_FORMAT_MPEG, wf->wfx.wFormatTag);
    EXPECT_EQ(ACM_MPEG_LAYER2, wf->fwHeadLayer);
    EXPECT_EQ(48000u, wf->wfx.nSamplesPerSec);
    CoTaskMemFree(mt.pbFormat);
    // PCM the encoder cannot code: 8 bits, and a rate MPEG-1 has not.
    WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
    AM_MEDIA_TYPE odd{};
    odd.majortype = MEDIATYPE_Audio;
    odd.subtype = MEDIASUBTYPE_PCM;
    odd.formattype = FORMAT_WaveFormatEx;
    odd.cbFormat = sizeof(pcm);
    odd.pbFormat = reinterpret_cast<BYTE*>(&pcm);
    ComPtr<IPin> encoderIn = PinAt(encoder.Get(), PINDIR_INPUT);
    EXPECT_NE(S_OK, encoderIn->QueryAccept(&odd));
    pcm = {WAVE_FORMAT_PCM, 2, 48000, 48000 * 2, 2, 8, 0};
    EXPECT_NE(S_OK, encoderIn->QueryAccept(&odd));
    pcm = {WAVE_FORMAT_PCM, 2, 48000, 48000 * 4, 4, 16, 0};
    EXPECT_EQ(S_OK, encoderIn->QueryAccept(&odd));
}

}  // namespace
}  // namespace recording_test
