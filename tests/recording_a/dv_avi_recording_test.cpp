// DV type 2 from the camcorder's DV (with its sound at the rate the settings choose), the camcorder's
// own multiplexed DV type 1 branch, the camera's video as delivered with PCM sound, and each of them
// without a sound source: built into Wine graphs, recorded, and read back whole by ffmpeg.
#include "recording_a_support.h"

#include "engine/dv_device.h"

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
    EXPECT_GE(Packets(p, v), 75);
    EXPECT_EQ("pcm_s16le", p.Stream(a, "codec_name"));
    EXPECT_EQ("48000", p.Stream(a, "sample_rate"));
    EXPECT_EQ("2", p.Stream(a, "channels"));
    EXPECT_NEAR(Packets(p, v) / 25.0, SoundSeconds(path, 48000), 0.5) << "sound for the whole recording";
}

}  // namespace
}  // namespace recording_a
