// DV type 2 from the camcorder's DV (with its sound at the rate the settings choose), the camcorder's
// own multiplexed DV type 1 branch, the camera's video as delivered with PCM sound, and each of them
// without a sound source: built into Wine graphs, recorded, and read back whole by ffmpeg.
#include "recording_a_support.h"

#include "engine/avi_frame_rate.h"
#include "engine/capture_devices.h"
#include "filters/control_unit.h"
#include "platform/standins/test_camera.h"
#include "platform/standins/test_microphone.h"

namespace recording_a {
namespace {

class DVAndAvi : public RecordingTest {};

TEST_F(DVAndAvi, AviNativeKeepsTheCamerasVideoAndRecordsThePcmSoundAtTheChosenRate) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    config.FrequenceDV.SetValue(3);
    const auto path = NewFile(L"avi native.avi");
    ASSERT_TRUE(module->BuildAviNativeGraph(path.wstring())) << Why();
    EXPECT_TRUE(InGraph(L"AudioCap Tamponer"));
    EXPECT_TRUE(InGraph(L"acmcap"));
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 75));
    EXPECT_FALSE(InGraph(L"acmcap")) << "the stop path takes the branch out";
    const TMediaProbe p = ProbeWhole(path);
    const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
    ASSERT_GE(v, 0);
    ASSERT_GE(a, 0);
    EXPECT_EQ(std::to_string(engine::Native.SourceWidth), p.Stream(v, "width"));
    EXPECT_EQ(std::to_string(engine::Native.SourceHeight), p.Stream(v, "height"));
    EXPECT_GE(Packets(p, v), 73) << "a frame may still be on its way at the stop";
    EXPECT_EQ("pcm_s16le", p.Stream(a, "codec_name"));
    EXPECT_EQ("48000", p.Stream(a, "sample_rate"));
    EXPECT_EQ("2", p.Stream(a, "channels"));
    EXPECT_NEAR(Packets(p, v) / 25.0, SoundSeconds(path, 48000), 0.5) << "sound for the whole recording";
}

TEST_F(DVAndAvi, DVType2KeepsTheCamcordersRateWhenTheDVSettingsSayElseTheChosenOne) {
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound));
    config.GarderFormatDV.SetValue(true);
    config.FrequenceDV.SetValue(1);  // 32000 Hz when the camcorder's own rate is not kept
    for (const bool native : {true, false}) {
        config.FrequenceDVNative.SetValue(native);
        const auto path = NewFile(native ? L"dv2 native rate.avi" : L"dv2 chosen rate.avi");
        ASSERT_TRUE(module->BuildDV2NativeGraph(path.wstring())) << Why();
        EXPECT_TRUE(InGraph(L"AudioCap Tamponer")) << "the sound passes the stamper that a freeze stops";
        ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 50));
        const TMediaProbe p = ProbeWhole(path);
        ASSERT_EQ(2, p.StreamCount());
        const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
        ASSERT_GE(a, 0);
        EXPECT_EQ("dvvideo", p.Stream(v, "codec_name"));
        EXPECT_EQ("720", p.Stream(v, "width"));
        EXPECT_EQ("576", p.Stream(v, "height"));
        EXPECT_GE(Packets(p, v), 48) << "a frame may still be on its way at the stop";
        const int rate = native ? 48000 : 32000;
        EXPECT_EQ(std::to_string(rate), p.Stream(a, "sample_rate")) << (native ? "the camcorder's rate" : "the chosen rate");
        EXPECT_NEAR(Packets(p, v) / 25.0, SoundSeconds(path, rate), 0.5);
        ASSERT_TRUE(RunUntilFrames(3)) << "the preview runs again after the stop path";
        module->fg->Stop();
    }
}

TEST_F(DVAndAvi, TheCamcordersMultiplexedBranchWritesDVType1) {
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound));
    const auto path = NewFile(L"dv1.avi");
    ASSERT_TRUE(module->CurrentVideoSource->Device->BuildMuxGraph(path.wstring()));
    const unsigned start = module->ControlPreviewVideo->SampleCounter();
    ASSERT_TRUE(module->RunGraph());
    ASSERT_TRUE(PumpUntil([&] { return module->ControlPreviewVideo->SampleCounter() >= start + 50; }, 60000));
    module->fg->Stop();
    ASSERT_TRUE(module->StopCaptureGraph());
    EXPECT_EQ(engine::kAviStreamInterleaved, engine::ScanAviFile(path.wstring()).StreamKind) << "one interleaved stream";
    const TMediaProbe p = ProbeWhole(path);
    const int v = p.StreamOfType("video");
    ASSERT_GE(v, 0);
    EXPECT_EQ("dvvideo", p.Stream(v, "codec_name"));
    EXPECT_GE(Packets(p, v), 45);
    EXPECT_GE(p.StreamOfType("audio"), 0) << "the sound inside the DV frames";
}

TEST_F(DVAndAvi, WithoutASoundSourceFormats2And5And6WriteVideoOnly) {
    struct Case {
        const wchar_t* source;
        bool (engine::Tdm::*build)(const std::wstring&);
        const char* codec;
    };
    const Case cases[] = {{kDVVideo, &engine::Tdm::BuildDV2NativeGraph, "dvvideo"},
                          {kCamera, &engine::Tdm::BuildAviNativeGraph, "rawvideo"},
                          {kCamera, &engine::Tdm::BuildDV2RecompGraph, "dvvideo"}};
    int n = 0;
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Preview(c.source, L""));
        const auto path = NewFile(L"video only " + std::to_wstring(++n) + L".avi");
        ASSERT_TRUE((module.get()->*c.build)(path.wstring())) << Why();
        EXPECT_FALSE(InGraph(L"acmcap")) << n;
        EXPECT_FALSE(InGraph(L"AudioCap Tamponer")) << n;
        ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
        const TMediaProbe p = ProbeWhole(path);
        EXPECT_EQ(1, p.StreamCount()) << n;
        EXPECT_EQ(c.codec, p.Stream(0, "codec_name")) << n;
        EXPECT_GE(Packets(p, 0), 23) << n << " (a frame or two may be in the encoder at the stop)";
        ASSERT_TRUE(module->CurrentVideoSource->KillGraph(true));
    }
}

TEST_F(DVAndAvi, ARefreshThatFindsNewDevicesLeavesTheCurrentSourcesRecordable) {
    struct Case {
        const wchar_t* video;
        const wchar_t* sound;
        bool (engine::Tdm::*build)(const std::wstring&);
        const char* codec;
    };
    const Case cases[] = {{kDVVideo, kDVSound, &engine::Tdm::BuildDV2NativeGraph, "dvvideo"},
                          {kCamera, kMicrophone, &engine::Tdm::BuildAviNativeGraph, "rawvideo"}};
    unsigned long n = 0;
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound));
        engine::TVideoSource* video = module->CurrentVideoSource;
        engine::TAudioSource* sound = module->CurrentAudioSource;
        // A camera and a microphone are plugged in: the refresh button, or the device-change notice,
        // finds them while the preview runs.
        ++n;
        RegisteredDevice camera({0x6a1e2410 + n, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x42}},
                                standins::CLSID_QuillTestCamera, CLSID_VideoInputDeviceCategory,
                                (L"Quillotrane Plugged Camera " + std::to_wstring(n)).c_str());
        RegisteredDevice microphone({0x6a1e2420 + n, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x42}},
                                    standins::CLSID_QuillTestMicrophone, CLSID_AudioInputDeviceCategory,
                                    (L"Quillotrane Plugged Microphone " + std::to_wstring(n)).c_str());
        Enumerate();
        ASSERT_NE(nullptr, Video((L"Quillotrane Plugged Camera " + std::to_wstring(n)).c_str())) << "the new device is listed";
        ASSERT_EQ(video, module->CurrentVideoSource);
        ASSERT_EQ(sound, module->CurrentAudioSource);
        module->fg->Stop();
        const auto path = NewFile(L"after refresh " + std::to_wstring(n) + L".avi");
        ASSERT_TRUE((module.get()->*c.build)(path.wstring())) << Why();
        ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
        const TMediaProbe p = ProbeWhole(path);
        const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
        ASSERT_GE(v, 0);
        EXPECT_EQ(c.codec, p.Stream(v, "codec_name"));
        EXPECT_GE(Packets(p, v), 23);
        EXPECT_GE(a, 0) << "with the current sound source's sound";
        ASSERT_TRUE(video->KillGraph(true));
        ASSERT_TRUE(sound->KillGraph(true));
    }
}

TEST_F(DVAndAvi, EveryRecordingHoldsTheSoundTheWindowShows) {
    // 32000 Hz chosen: neither the microphone's 44100 nor the camcorder's 48000.
    config.FrequenceDV.SetValue(1);
    struct Case {
        std::uint8_t format;
        const wchar_t* video;
        const wchar_t* sound;
    };
    for (const Case& c : {Case{1, kDVVideo, kDVSound}, Case{2, kDVVideo, kDVSound}, Case{5, kCamera, kMicrophone},
                          Case{6, kCamera, kMicrophone}}) {
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound));
        const engine::TSoundFormat shown = module->RecordingSoundFormat(c.format);
        if (c.format == 1) {
            EXPECT_EQ((engine::TSoundFormat{48000, 16, 2}), shown) << "the camcorder's own sound, in its DV";
        } else {
            EXPECT_EQ((engine::TSoundFormat{32000, 16, 2}), shown) << int(c.format);
        }
        const auto path = NewFile(L"sound of format " + std::to_wstring(c.format) + L".avi");
        filters::Tqz_TimeStamper* counter = module->ControlCaptureVideo;
        switch (c.format) {
        case 1:
            ASSERT_TRUE(module->CurrentVideoSource->Device->BuildMuxGraph(path.wstring()));
            counter = module->ControlPreviewVideo;
            break;
        case 2: ASSERT_TRUE(module->BuildDV2NativeGraph(path.wstring())) << Why(); break;
        case 5: ASSERT_TRUE(module->BuildAviNativeGraph(path.wstring())) << Why(); break;
        default: ASSERT_TRUE(module->BuildDV2RecompGraph(path.wstring())) << Why(); break;
        }
        ASSERT_TRUE(RecordFrames(counter, 25));
        const TMediaProbe p = ProbeWhole(path);
        const int a = p.StreamOfType("audio");
        ASSERT_GE(a, 0) << int(c.format);
        EXPECT_EQ(std::to_string(shown.Rate), p.Stream(a, "sample_rate")) << int(c.format);
        EXPECT_EQ(std::to_string(shown.Channels), p.Stream(a, "channels")) << int(c.format);
        if (c.format != 1) {
            EXPECT_EQ("pcm_s16le", p.Stream(a, "codec_name")) << int(c.format);
        }
        ASSERT_TRUE(module->CurrentVideoSource->KillGraph(true));
        ASSERT_TRUE(module->CurrentAudioSource->KillGraph(true));
    }
}

TEST_F(DVAndAvi, ImageByImageWritesOneFramePerGrabAndThePatchedRate) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    const auto path = NewFile(L"image by image.avi");
    int stops = 0;
    module->ImageByImageCount = 7;
    ASSERT_TRUE(module->BuildImageByImageGraph(path.wstring(), [&] {
        ++stops;
        engine::SetAviFrameRate(path.wstring(), 12.5);
    })) << Why();
    EXPECT_EQ(0, module->ImageByImageCount);
    EXPECT_TRUE(InGraph(L"DVenc"));
    EXPECT_FALSE(InGraph(L"acmcap")) << "no sound";
    EXPECT_FALSE(module->ImageControl->PassNext()) << "nothing passes before a grab";
    ASSERT_TRUE(module->RunGraph());
    ASSERT_TRUE(PumpUntil([&] { return module->TamponerVideo->SampleCounter() >= 10; }));
    const int grabs = 3;
    for (int i = 0; i < grabs; ++i) {
        module->ImageControl->SetPassNext(true);
        ASSERT_TRUE(PumpUntil([&] { return !module->ImageControl->PassNext(); })) << "grab " << i;
    }
    module->fg->Stop();
    ASSERT_TRUE(PumpUntil([&] { return stops == 1; })) << "the finish runs once the graph stopped";
    ASSERT_TRUE(module->StopCaptureGraph());
    const TMediaProbe p = ProbeWhole(path);
    ASSERT_EQ(1, p.StreamCount());
    EXPECT_EQ("dvvideo", p.Stream(0, "codec_name"));
    EXPECT_EQ(grabs, Packets(p, 0));
    EXPECT_NEAR(12.5, p.Ratio(0, "r_frame_rate"), 0.01);
}

TEST_F(DVAndAvi, ImageByImageFromTheCamcorderTakesItsOwnDV) {
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, L""));
    const auto path = NewFile(L"image by image dv.avi");
    ASSERT_TRUE(module->BuildImageByImageGraph(path.wstring(), nullptr)) << Why();
    EXPECT_FALSE(InGraph(L"DVenc")) << "the camcorder's frames need no encoder";
    ASSERT_TRUE(module->RunGraph());
    module->ImageControl->SetPassNext(true);
    ASSERT_TRUE(PumpUntil([&] { return !module->ImageControl->PassNext(); }));
    module->fg->Stop();
    ASSERT_TRUE(module->StopCaptureGraph());
    const TMediaProbe p = ProbeWhole(path);
    EXPECT_EQ(1, Packets(p, 0));
}

TEST_F(DVAndAvi, AMissingDVEncoderAnswersFalseWithTheGraphUnchanged) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    const auto before = SortedNames();
    module->DVenc->BaseFilter()->SetMoniker(
        engine::MonikerFromDisplayName(L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\No Such DV Encoder").Get());
    const auto path = NewFile(L"no encoder.avi");
    EXPECT_FALSE(module->BuildDV2RecompGraph(path.wstring()));
    EXPECT_FALSE(module->BuildImageByImageGraph(path.wstring(), nullptr));
    EXPECT_EQ(before, SortedNames());
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace recording_a
