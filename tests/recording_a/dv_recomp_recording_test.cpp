// DV re-encoding from the camcorder in 525/60: the encoder follows the camcorder's system, the
// overlay is in the recorded pictures, and every recorded frame carries the camcorder's own
// recording date and timecode again (read back with our DV reader).
#include "recording_a_support.h"

#include <span>

#include "filters/dv_codes.h"
#include "filters/dv_header.h"
#include "filters/superposer.h"
#include "platform/standins/dv_camcorder.h"

namespace recording_a {
namespace {

// A value of the camcorder's test key for the test's length.
class CamcorderSetting {
public:
    CamcorderSetting(const wchar_t* Name, DWORD Value) : name_(Name) {
        RegSetKeyValueW(HKEY_CURRENT_USER, standins::kDVCamcorderKey, Name, REG_DWORD, &Value, sizeof(Value));
    }
    ~CamcorderSetting() { RegDeleteKeyValueW(HKEY_CURRENT_USER, standins::kDVCamcorderKey, name_); }

private:
    const wchar_t* name_;
};

class DVRecomp : public RecordingTest {};

TEST_F(DVRecomp, NtscCamcorderReencodedWithTheOverlayAndItsOwnDatesAndTimecodes) {
    CamcorderSetting ntsc(L"NTSC", 1);
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound));
    ASSERT_EQ(480, engine::Native.SourceHeight);
    auto camcorder =
        engine::Query<standins::IQuillDVCamcorder>(module->VideoSourceFilter.Get(), standins::IID_IQuillDVCamcorder);
    ASSERT_TRUE(camcorder);
    ASSERT_HRESULT_SUCCEEDED(camcorder->SetRecordingStart(2004, 5, 6, 7, 8, 9));
    ASSERT_HRESULT_SUCCEEDED(camcorder->SetStartTimecode(1, 2, 3, 0));
    // The scene detector learns the camcorder's system from its frames.
    ASSERT_TRUE(RunUntilFrames(3));
    module->fg->Stop();

    settings::TincrustRec text = settings::DefaultIncrustRec();
    text.WhatIncrust = 2;
    text.Incrust1 = L"QUILLOTRANE";
    text.Incrust2 = L"QUILLOTRANE";
    text.FontRec.Bold = true;
    text.BorderSize = 2;
    text.Xpos = 500;
    text.Ypos = 800;
    module->Superposer->SetIncrustRec(text);
    module->Superposer->SetOverlayEnabled(true);
    config.GarderFormatDV.SetValue(true);
    config.StandardDV.SetValue(0);  // PAL by the setting: the camcorder's 525/60 wins

    const auto path = NewFile(L"recomp ntsc.avi");
    ASSERT_TRUE(module->BuildDV2RecompGraph(path.wstring())) << Why();
    EXPECT_TRUE(InGraph(L"DV Header"));
    EXPECT_EQ(module->CurrentVideoSource->SceneFilter, module->DVHeader->SceneDetector());
    ASSERT_TRUE(RecordFrames(module->ControlCaptureVideo, 60));
    module->Superposer->SetOverlayEnabled(false);

    const TMediaProbe p = ProbeWhole(path);
    const int v = p.StreamOfType("video");
    ASSERT_GE(v, 0);
    EXPECT_GE(p.StreamOfType("audio"), 0);
    EXPECT_EQ("dvvideo", p.Stream(v, "codec_name"));
    EXPECT_EQ("720", p.Stream(v, "width"));
    EXPECT_EQ("480", p.Stream(v, "height"));
    EXPECT_NEAR(30000.0 / 1001.0, p.Ratio(v, "r_frame_rate"), 0.01);

    const std::string dv = FfmpegBytes(path, {"-map", "0:v:0", "-c", "copy", "-f", "rawvideo"});
    ASSERT_GE(dv.size(), 50u * filters::kDVFrameBytes525);
    ASSERT_EQ(0u, dv.size() % filters::kDVFrameBytes525);
    int previous = -1;
    for (std::size_t at = 0; at < dv.size(); at += filters::kDVFrameBytes525) {
        const std::span<const std::uint8_t> frame(reinterpret_cast<const std::uint8_t*>(dv.data()) + at,
                                                  filters::kDVFrameBytes525);
        const std::size_t n = at / filters::kDVFrameBytes525;
        ASSERT_EQ(filters::kDVSystem525, filters::DVGetSystem(frame)) << "frame " << n;
        const filters::TDVRecDate date = filters::DVReadRecDate(frame, 0);
        ASSERT_EQ(2004, date.Year) << "frame " << n;
        ASSERT_EQ(5, date.Month) << "frame " << n;
        ASSERT_EQ(6, date.Day) << "frame " << n;
        const filters::TDVTimecode tc = filters::DVReadTimecode(frame, 0);
        ASSERT_EQ(1, tc.Hours) << "frame " << n;
        ASSERT_EQ(2, tc.Minutes) << "frame " << n;
        const int count = (tc.Seconds * 30 + tc.Frames);
        EXPECT_GE(count, previous) << "timecodes never go back, frame " << n;
        previous = count;
    }

    const std::string rgb = FfmpegBytes(path, {"-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24"});
    ASSERT_EQ(720u * 480u * 3u, rgb.size());
    EXPECT_GT(ChangedAgainstRow(rgb, 720, 340, 420, 460), 300) << "the overlay's text is in the picture";
    EXPECT_LT(ChangedAgainstRow(rgb, 720, 20, 120, 140), 60) << "the bars elsewhere are untouched";
}

}  // namespace
}  // namespace recording_a
