// DivX recordings through the Xvid compressor at the resizer's size, with MP3 or PCM sound and from
// the camcorder at half size; Windows Media with a test profile manager and ASF writer: the
// profiles asked for, the sound streams taken out, the graph made; and the failures that must leave
// the graph as it was (no compressor, no ASF writer).
#include "recording_a_support.h"

#include "dshow/wm_profile_manager.h"
#include "filters/resizer.h"
#include "platform/standins/mp3_encoder.h"
#include "platform/standins/xvid_compressor.h"
#include "test_windows_media.h"

namespace recording_a {
namespace {

class TestHost : public TestEngineHost {
public:
    int WmvProfileItem() override { return profileItem; }
    int WmvDefaultProfileItem() override { return defaultItem; }
    int WmvVersionItem() override { return versionItem; }
    int profileItem = 0, defaultItem = 0, versionItem = 0;
};

class DivX : public RecordingTest {
protected:
    void Choose(bool Mp3) {
        ASSERT_TRUE(PutCategoryMember(module->divx, CLSID_VideoCompressorCategory, standins::kXvidCompressorName));
        if (Mp3) {
            ASSERT_TRUE(PutCategoryMember(module->mp3, CLSID_LegacyAmFilterCategory, standins::kMp3EncoderName));
            module->Mp3EncoderFound = true;
        }
    }
};

TEST_F(DivX, XvidAtTheResizersSizeWithMp3OrPcmSound) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    ASSERT_NO_FATAL_FAILURE(Choose(true));
    config.RatioDivX.SetValue(2);  // 16:9 from the camera's 4:3
    for (const bool mp3 : {true, false}) {
        config.WantMp3.SetValue(mp3);
        const auto path = NewFile(mp3 ? L"divx mp3.avi" : L"divx pcm.avi");
        ASSERT_TRUE(module->BuildDivxGraph(path.wstring())) << Why();
        EXPECT_TRUE(InGraph(L"AudioCap Timestamper"));
        EXPECT_EQ(mp3, InGraph(L"mp3"));
        const int width = module->Resizer->OutWidth(), height = module->Resizer->OutHeight();
        EXPECT_NE(engine::Native.SourceHeight, height) << "the resizer changes the picture";
        ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 75));
        const TMediaProbe p = ProbeWhole(path);
        const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
        ASSERT_GE(v, 0);
        ASSERT_GE(a, 0);
        EXPECT_EQ("mpeg4", p.Stream(v, "codec_name"));
        EXPECT_EQ(std::to_string(width), p.Stream(v, "width"));
        EXPECT_EQ(std::to_string(height), p.Stream(v, "height"));
        EXPECT_GE(Packets(p, v), 73);
        EXPECT_EQ(mp3 ? "mp3" : "pcm_s16le", p.Stream(a, "codec_name"));
        EXPECT_EQ("48000", p.Stream(a, "sample_rate"));
        EXPECT_NEAR(Packets(p, v) / 25.0, SoundSeconds(path, 48000), 0.5);
    }
}

TEST_F(DivX, TheCamcorderRecordsAtHalfSizeAndComesBackAtFullSize) {
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, L""));
    ASSERT_NO_FATAL_FAILURE(Choose(false));
    config.RatioDivX.SetValue(4);  // a rule that keeps the size it is given
    const auto path = NewFile(L"divx dv.avi");
    ASSERT_TRUE(module->BuildDivxGraph(path.wstring())) << Why();
    EXPECT_TRUE(module->DVHalfSize);
    EXPECT_EQ(1u, host.labels.size()) << "the label is written again for the half-size preview";
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
    EXPECT_FALSE(module->DVHalfSize);
    EXPECT_EQ(2u, host.labels.size());
    ASSERT_TRUE(RunUntilFrames(3)) << "the full-size preview runs again";
    const TMediaProbe p = ProbeWhole(path);
    EXPECT_EQ(1, p.StreamCount());
    EXPECT_EQ("360", p.Stream(0, "width"));
    EXPECT_EQ("288", p.Stream(0, "height"));
}

TEST_F(DivX, WithoutACompressorNothingChanges) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    const auto before = SortedNames();
    EXPECT_FALSE(module->BuildDivxGraph(NewFile(L"no compressor.avi").wstring()));
    EXPECT_EQ(before, SortedNames());
}

class WindowsMedia : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        engine::SetEngineHost(&options);
    }
    void TearDown() override {
        engine::SetEngineHost(&host);
        RecordingTest::TearDown();
    }
    void UseManager(TestProfileManager& Manager) {
        module->WMProfileManager = Manager.Manager();
        module->ProfileManagerReady = true;
    }
    TestHost options;
};

const std::vector<TestStream> kStreams = {{MEDIATYPE_Audio, 1}, {MEDIATYPE_Video, 3}, {MEDIATYPE_Audio, 7}};

TEST_F(WindowsMedia, AWriterThatRefusesTheProfileOrNoProfileManagerLeavesTheGraphUnchanged) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    TestProfileManager manager(kStreams);
    UseManager(manager);
    const auto before = SortedNames();
    // The prefix's writer takes only profiles it can read: the test's made-up one is refused.
    EXPECT_FALSE(module->BuildWmvGraph(NewFile(L"refused.wmv").wstring()));
    EXPECT_NE(std::string::npos, Why().find("refuses the profile")) << Why();
    EXPECT_EQ(before, SortedNames());
    module->WMProfileManager.Reset();
    AsfWriterRegistration writer;
    EXPECT_FALSE(module->BuildWmvGraph(NewFile(L"no manager.wmv").wstring())) << "no profile manager";
    EXPECT_EQ(before, SortedNames());
}

TEST_F(WindowsMedia, DefaultProfilesByTheGroupsItemAndTheWritersConnections) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    TestProfileManager manager(kStreams);
    UseManager(manager);
    AsfWriterRegistration writer;
    for (int item = 0; item < engine::kDefaultWmvProfileCount; ++item) {
        options.defaultItem = item;
        const auto path = NewFile(L"default.wmv");
        ASSERT_TRUE(module->BuildWmvGraph(path.wstring())) << Why();
        ASSERT_NE(nullptr, writer.Last);
        EXPECT_EQ(path.wstring(), writer.Last->FileName);
        ASSERT_EQ(static_cast<std::size_t>(item + 1), manager.LoadedIds.size());
        EXPECT_EQ(engine::kDefaultWmvProfiles[item], manager.LoadedIds.back());
        ASSERT_TRUE(writer.Last->Profile);
        EXPECT_EQ(3u, TestProfileStreams(writer.Last->Profile.Get()).size()) << "with sound every stream stays";
        // Video from the capture control into pin 1, sound from the preview tee through the sound
        // stamper (which a freeze stops with the picture) into pin 0.
        auto video = engine::PinOwner(engine::ConnectedTo(engine::PinAt(module->MuxFilter.Get(), 1).Get()).Get());
        EXPECT_EQ(module->ControlCaptureVideoFilter.Get(), video.Get());
        auto sound = engine::PinOwner(engine::ConnectedTo(engine::PinAt(module->MuxFilter.Get(), 0).Get()).Get());
        EXPECT_EQ(module->AudioCapTamponerFilter.Get(), sound.Get());
        if (item == 0) {
            TestAsfWriter* last = writer.Last;
            ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 25));
            EXPECT_GE(last->Samples[1].load(), 23);
            EXPECT_GT(last->Samples[0].load(), 0);
        } else {
            ASSERT_TRUE(module->StopCaptureGraph());
        }
        EXPECT_FALSE(InGraph(engine::kControlCaptureVideoName));
    }
    options.defaultItem = 4;
    EXPECT_FALSE(module->BuildWmvGraph(NewFile(L"outside.wmv").wstring())) << "no fifth default profile";
}

TEST_F(WindowsMedia, SelectedSystemProfileWithoutSoundLosesEverySoundStream) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L""));
    TestProfileManager manager(kStreams);
    UseManager(manager);
    AsfWriterRegistration writer;
    options.profileItem = 3;
    options.versionItem = 2;
    ASSERT_TRUE(module->BuildWmvGraph(NewFile(L"system.wmv").wstring())) << Why();
    EXPECT_TRUE(manager.LoadedIds.empty());
    EXPECT_EQ(std::vector<DWORD>{0x80000}, manager.SystemVersions);
    EXPECT_EQ(std::vector<DWORD>{2}, manager.SystemProfiles);
    const auto streams = TestProfileStreams(writer.Last->Profile.Get());
    ASSERT_EQ(1u, streams.size()) << "streams 1 and 7 were both sound";
    EXPECT_EQ(3, streams[0].Number);
    EXPECT_FALSE(engine::ConnectedTo(engine::PinAt(module->MuxFilter.Get(), 0).Get()));
    ASSERT_TRUE(module->StopCaptureGraph());
}

// The prefix's own profile manager and ASF writer: a recording through the "Low" default profile
// has the profile's picture size, frame rate, sound rate and channels, not the camera's 320 x 240
// at 25 pictures a second nor the microphone's 44.1 kHz stereo.
TEST_F(WindowsMedia, ThePrefixsWriterRecordsAtTheDefaultProfilesSizeFrameRateAndSound) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone));
    ASSERT_TRUE(dshow::CreateWmProfileManager(module->WMProfileManager));
    module->ProfileManagerReady = true;
    options.defaultItem = 2;  // "Low"
    const auto path = NewFile(L"low.wmv");
    ASSERT_TRUE(module->BuildWmvGraph(path.wstring())) << Why();
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 40));
    const TMediaProbe p = ProbeWhole(path);
    const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
    ASSERT_TRUE(v >= 0 && a >= 0);
    EXPECT_EQ("176", p.Stream(v, "width"));
    EXPECT_EQ("144", p.Stream(v, "height"));
    EXPECT_EQ("15/1", p.Stream(v, "r_frame_rate"));
    EXPECT_EQ("22050", p.Stream(a, "sample_rate"));
    EXPECT_EQ("1", p.Stream(a, "channels"));
}

}  // namespace
}  // namespace recording_a
