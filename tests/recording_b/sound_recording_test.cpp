// Sound alone through the real builders, from the test microphone's preview: a WAV file of 16-bit
// stereo PCM at the chosen rate and MP3 data in a WAVE frame, both read back whole by ffmpeg; and
// the cases that answer false without touching the graph.
#include "recording_b_support.h"

#include <set>

#include "engine/recording_branch.h"
#include "engine/sound_builders.h"
#include "filters/time_stamper.h"
#include "filters/wave_dest.h"
#include "mpeg_doubles.h"
#include "older_file.h"
#include "platform/standins/mp3_encoder.h"
#include "settings/settings_catalogue.h"

namespace recording_b {
namespace {

using engine_test::kMicrophone;

class SoundRecording : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        settings::ParamCaptureFormat = &format;
        settings::ParamFrequenceDV = &rate;
    }
    void TearDown() override {
        RecordingTest::TearDown();
        settings::ParamCaptureFormat = nullptr;
        settings::ParamFrequenceDV = nullptr;
    }
    void UseLameEncoder() {
        wchar_t clsid[64];
        StringFromGUID2(standins::CLSID_Mp3EncoderStandin, clsid, 64);
        module->mp3->BaseFilter()->SetMoniker(
            engine::MonikerFromDisplayName(L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\" + std::wstring(clsid))
                .Get());
        module->Mp3EncoderFound = true;
    }
    // Buffers of 20 ms that passed the capture stamper.
    std::uint32_t Buffers() { return module->AudioCapTamponer->SampleCounter(); }

    settings::TFormatCaptureParameter format{L"Capture Format", 11, nullptr};
    settings::TFrequenceDVParameter rate{L"FrequenceDV", 1, nullptr};
};

TEST_F(SoundRecording, WavHoldsStereo16BitPcmAtTheChosenRateForTheRecordedTime) {
    ASSERT_TRUE(Audio(kMicrophone)->BuildGraph());
    const auto preview = Names();
    const std::wstring file = FileName(L".wav");
    ASSERT_TRUE(module->BuildWavGraph(file));
    for (const wchar_t* name : {L"acmcap", L"Wave Dest", L"FileWriter", L"AudioCap Tamponer"})
        EXPECT_TRUE(InGraph(name)) << name;
    const std::uint32_t start = Buffers();
    const std::string links = Links();
    ASSERT_TRUE(Record([&] { return Buffers() >= start + 100; })) << links;  // two seconds
    EXPECT_EQ(preview, Names()) << "the stop leaves the preview as it was";
    const std::uint32_t bytes = module->WaveDest->DataBytes();
    EXPECT_EQ(S_OK, module->WaveDest->HeaderResult());

    const quill_test::TMediaProbe probe = quill_test::Probe(file);
    ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    EXPECT_EQ("wav", probe.Get("format.format_name"));
    EXPECT_EQ("pcm_s16le", probe.Stream(0, "codec_name"));
    EXPECT_EQ("2", probe.Stream(0, "channels"));
    EXPECT_EQ("32000", probe.Stream(0, "sample_rate")) << "\"FrequenceDV\" 1 chooses 32000 Hz";
    EXPECT_EQ((engine::TSoundFormat{32000, 16, 2}), module->RecordingSoundFormat(11)) << "what the window shows";
    EXPECT_EQ(46u + bytes, std::filesystem::file_size(file)) << "an 18-byte format block";
    EXPECT_NEAR(bytes / 128000.0, probe.StreamNumber(0, "duration"), 0.01);
    EXPECT_GE(bytes / 128000.0, 1.5);
    std::string failure;
    const std::vector<std::int16_t> samples = quill_test::DecodeSound(file, &failure);
    ASSERT_EQ(bytes / 2, samples.size()) << failure;
    // The tone is there (not silence nor noise at full scale).
    int loud = 0;
    for (std::int16_t s : samples) loud += s > 4000 || s < -4000;
    EXPECT_GT(loud, static_cast<int>(samples.size() / 4));
    EXPECT_TRUE(std::filesystem::remove(file)) << "the file writer let the file go at the stop";
}

TEST_F(SoundRecording, Mp3InAWaveFrameDecodesForTheRecordedTime) {
    UseLameEncoder();
    format.SetValue(12);
    rate.SetValue(2);
    ASSERT_TRUE(Audio(kMicrophone)->BuildGraph());
    const auto preview = Names();
    const std::wstring file = FileName(L".wav");
    ASSERT_TRUE(module->BuildMp3Graph(file)) << Links();
    EXPECT_TRUE(InGraph(L"mp3"));
    ComPtr<IPin> coded = engine::ConnectedTo(engine::PinAt(module->WaveDestFilter.Get(), 0).Get());
    ASSERT_TRUE(coded) << "the encoder reaches the WAVE writer";
    const std::uint32_t start = Buffers();
    std::uint32_t passed = 0;
    ASSERT_TRUE(Record([&] { return (passed = Buffers() - start) >= 150; }));  // three seconds
    const double recorded = passed * 0.02;
    EXPECT_EQ(preview, Names());
    EXPECT_GT(module->WaveDest->DataBytes(), 10000u) << "more than a header";

    const quill_test::TMediaProbe probe = quill_test::Probe(file);
    ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    EXPECT_EQ("wav", probe.Get("format.format_name"));
    EXPECT_EQ("mp3", probe.Stream(0, "codec_name"));
    EXPECT_EQ("44100", probe.Stream(0, "sample_rate"));
    EXPECT_EQ(44100, module->RecordingSoundFormat(12).Rate) << "what the window shows";
    const quill_test::TUnixResult whole = quill_test::DecodeWhole(file);
    EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
    std::string failure;
    const std::vector<std::int16_t> samples = quill_test::DecodeSound(file, &failure);
    ASSERT_FALSE(samples.empty()) << failure;
    const double decoded = samples.size() / 2 / 44100.0;
    // The encoder's delay and its last frame make the decoded sound a little longer or shorter.
    EXPECT_NEAR(recorded, decoded, 0.15 + recorded * 0.05);
}

// Over an older, longer file of the same name (the user answered Yes to "exists already"): the WAV
// and the MP3 recording are exactly their header and their sound, nothing of the older file after.
TEST_F(SoundRecording, ARecordingOverALongerFileIsExactlyTheNewRecording) {
    UseLameEncoder();
    ASSERT_TRUE(Audio(kMicrophone)->BuildGraph());
    for (const int kind : {11, 12}) {
        SCOPED_TRACE(kind);
        format.SetValue(kind);
        const std::wstring file = FileName(L".wav");
        ASSERT_TRUE(quill_test::WriteOlderFile(file, 4u << 20));
        ASSERT_TRUE(kind == 11 ? module->BuildWavGraph(file) : module->BuildMp3Graph(file)) << Links();
        const std::uint32_t start = Buffers();
        ASSERT_TRUE(Record([&] { return Buffers() >= start + 50; }));
        const std::string bytes = quill_test::ReadWholeFile(file);
        EXPECT_FALSE(quill_test::HoldsOlderFile(bytes)) << "the older file's tail is still there";
        EXPECT_EQ(module->WaveDest->HeaderSize() + module->WaveDest->DataBytes(), bytes.size());
        const quill_test::TUnixResult whole = quill_test::DecodeWhole(file);
        EXPECT_TRUE(whole.Ran && whole.ExitCode == 0 && whole.Err.empty()) << whole.Err;
    }
}

TEST_F(SoundRecording, WithoutASoundSourceOrAnEncoderNothingIsBuilt) {
    const auto before = Names();
    EXPECT_FALSE(module->BuildWavGraph(FileName(L".wav")));
    UseLameEncoder();
    EXPECT_FALSE(module->BuildMp3Graph(FileName(L".wav")));
    EXPECT_EQ(before, Names());
    ASSERT_TRUE(Audio(kMicrophone)->BuildGraph());
    const auto preview = Names();
    module->Mp3EncoderFound = false;
    EXPECT_FALSE(module->BuildMp3Graph(FileName(L".wav"))) << "no MP3 encoder was found";
    EXPECT_EQ(preview, Names());
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "no file was made";
}

TEST_F(SoundRecording, AnEncoderWithoutAnOutputFailsTheBuildWhichTakesItsBranchOut) {
    // The null renderer in the encoder's place: nothing can reach the WAVE writer, and a file of a
    // header alone would be the result.
    module->mp3->BaseFilter()->SetMoniker(engine::MonikerFromDisplayName(engine::kNullRendererMoniker).Get());
    module->Mp3EncoderFound = true;
    ASSERT_TRUE(Audio(kMicrophone)->BuildGraph());
    const auto preview = Names();
    EXPECT_FALSE(module->BuildMp3Graph(FileName(L".wav")));
    EXPECT_EQ(preview, Names()) << "nothing of the failed build is left";
    EXPECT_FALSE(engine::LastRecordingBuildError().empty());
    const std::uint32_t start = module->TamponerAudio->SampleCounter();
    ASSERT_TRUE(module->RunGraph()) << "the preview runs again";
    EXPECT_TRUE(engine_test::PumpUntil([&] { return module->TamponerAudio->SampleCounter() > start + 5; }));
}

TEST_F(SoundRecording, ARefusedSoundFormatStartsNoRecordingInAnotherFormat) {
    // A wrapper that cannot convert: the microphone's 44100 Hz would go into the file as it comes
    // while the window shows the chosen 32000 Hz.
    RegisteredDouble wrapper(DoubleKind::WrapperFixed, MERIT_DO_NOT_USE);
    module->acmcap->BaseFilter()->SetMoniker(engine::MonikerFromDisplayName(DoubleMoniker(DoubleKind::WrapperFixed)).Get());
    UseLameEncoder();
    ASSERT_TRUE(Audio(kMicrophone)->BuildGraph());
    const auto preview = Names();
    Log().Clear();
    struct Case {
        bool (engine::Tdm::*build)(const std::wstring&);
        const char* name;
    };
    for (const Case& c : {Case{&engine::Tdm::BuildWavGraph, "wav"}, Case{&engine::Tdm::BuildMp3Graph, "mp3"},
                          Case{&engine::Tdm::BuildAviNativeGraph, "avi"}}) {
        if (c.build == &engine::Tdm::BuildAviNativeGraph) {
            ASSERT_TRUE(Video(engine_test::kCamera)->BuildGraph());
            module->fg->Stop();
        }
        const auto before = Names();
        const std::wstring file = FileName(L".wav");
        EXPECT_FALSE((module.get()->*c.build)(file)) << c.name;
        EXPECT_EQ(L"the sound format 32000 Hz 16 bits 2 channels is refused", engine::LastRecordingBuildError()) << c.name;
        EXPECT_EQ(before, Names()) << c.name << ": the failed build takes its branch out";
        EXPECT_FALSE(std::filesystem::exists(file)) << c.name;
    }
    EXPECT_FALSE(Log().Lines().empty()) << "the wrapper that cannot convert was used";
    ASSERT_TRUE(module->CurrentVideoSource->KillGraph(true));
    EXPECT_EQ(preview, Names());
    ASSERT_TRUE(module->RunGraph()) << "the preview goes on";
}

TEST_F(SoundRecording, WithoutASoundOutputTheSoundPreviewsSilentlyAndIsRecorded) {
    // No DirectSound renderer can be made (a machine without a sound output).
    module->audiorender->SetFilterGraph(nullptr);
    module->audiorender->BaseFilter()->SetMoniker(
        engine::MonikerFromDisplayName(L"@device:cm:{E0F158E1-CB04-11D0-BD4E-00A0C911CE86}\\No Sound Output").Get());
    EXPECT_FALSE(module->AttachRenderers(sinkFilter.Get()));
    ASSERT_EQ(nullptr, module->AudioRendererFilter.Get());
    const auto empty = Names();

    engine::TAudioSource* microphone = Audio(kMicrophone);
    ASSERT_TRUE(microphone->BuildGraph()) << "the sound source can be chosen";
    EXPECT_EQ(microphone, module->CurrentAudioSource);
    for (const wchar_t* name : {L"Control_Preview_Audio", L"infdecaudio", L"Tamponer Audio", L"infsupaudio"})
        EXPECT_TRUE(InGraph(name)) << name;
    const std::uint32_t heard = module->TamponerAudio->SampleCounter();
    ASSERT_TRUE(module->RunGraph());
    EXPECT_TRUE(engine_test::PumpUntil([&] { return module->TamponerAudio->SampleCounter() > heard + 5; }))
        << "the preview runs, silently";
    module->fg->Stop();

    const std::wstring file = FileName(L".wav");
    ASSERT_TRUE(module->BuildWavGraph(file)) << engine::LastRecordingBuildError();
    const std::uint32_t start = Buffers();
    ASSERT_TRUE(Record([&] { return Buffers() >= start + 50; })) << "recorded on the default clock";
    const quill_test::TMediaProbe probe = quill_test::Probe(file);
    ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    EXPECT_EQ("pcm_s16le", probe.Stream(0, "codec_name"));
    EXPECT_GE(module->WaveDest->DataBytes(), 40u * 128u * 20u) << "most of a second of sound";
    ASSERT_TRUE(microphone->KillGraph(true));
    EXPECT_EQ(empty, Names()) << "nothing of the chain is left";

    // A camcorder's own sound goes into its DV recording.
    format.SetValue(2);
    ASSERT_TRUE(Video(L"DV Source - Video")->BuildGraph());
    ASSERT_TRUE(Audio(L"DV Source - Audio")->BuildGraph());
    const std::wstring dv = FileName(L".avi");
    ASSERT_TRUE(module->BuildDV2NativeGraph(dv)) << engine::LastRecordingBuildError();
    const std::uint32_t frames = module->ControlCaptureVideo->SampleCounter();
    ASSERT_TRUE(Record([&] { return module->ControlCaptureVideo->SampleCounter() >= frames + 25; }));
    const quill_test::TMediaProbe dvProbe = quill_test::Probe(dv);
    ASSERT_TRUE(dvProbe.Ok()) << dvProbe.Run.Failure << dvProbe.Run.Err;
    EXPECT_EQ(2, dvProbe.StreamCount());
    EXPECT_GE(dvProbe.StreamOfType("audio"), 0);
}

TEST(Mp3Link, AsksForTheMpegPayloadSubtypeAndNothingElse) {
    const AM_MEDIA_TYPE type = engine::Mp3LinkType();
    EXPECT_EQ(MEDIATYPE_Audio, type.majortype);
    wchar_t text[64];
    StringFromGUID2(type.subtype, text, 64);
    EXPECT_STREQ(L"{00000050-0000-0010-8000-00AA00389B71}", text);
    EXPECT_EQ(GUID_NULL, type.formattype);
    EXPECT_EQ(0u, type.cbFormat);
}

}  // namespace
}  // namespace recording_b
