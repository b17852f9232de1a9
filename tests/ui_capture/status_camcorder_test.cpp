// The status bar's texts in preview and during a recording (written by the graph to a file that
// ffprobe reads back), its owner drawing, and the camcorder windows: the transport actions reaching
// the stand-in camcorder, its timecode and recording date shown, the active window and its toggle.
#include <filesystem>

#include "classlib/date_time.h"
#include "classlib/format.h"
#include "dshow/ds_functions.h"
#include "ffprobe_helpers.h"
#include "filters/superposer.h"
#include "painted_ink.h"
#include "platform/standins/dv_camcorder.h"
#include "platform/standins/recording_settings.h"
#include "settings/settings_catalogue.h"
#include "tests/ui_capture/ui_capture_support.h"
#include "ui/nav_capture_frame.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"

namespace ui_capture_test {
namespace {

using namespace settings;
using Microsoft::WRL::ComPtr;

class StatusBar : public CaptureUiTest {};

TEST_F(StatusBar, PreviewTextsThenDurationAndFrameCountsWhileARecordingRuns) {
    ASSERT_NE(nullptr, Preview(kCamcorderVideo));
    form->SourcesFrame->cboxvideo->Items()->Add(kCamcorderVideo);
    form->SourcesFrame->cboxvideo->SetItemIndex(0);
    ParamCaptureFormat->SetValue(2);
    ParamMuteOn->SetValue(true);
    ParamWideScreen->SetValue(true);
    module->Superposer->SetHorizontalFlip(true);
    form->NextVideoFile = Path(L"Video_0.avi");
    form->UpdateStatusTexts();
    EXPECT_EQ(L"BMP - Intervalometer desactivated", form->StatusIntervalText);
    EXPECT_EQ(L"Preview mute 16x9", form->StatusMainText);
    EXPECT_EQ(L" h", form->StatusAlertText);
    EXPECT_EQ(L"Vid: DV =>native", form->StatusSourcesText);
    const std::wstring drive = Path(L"").substr(0, 2);
    EXPECT_EQ(classlib::Format(L"%d free mb on %s", {dshow::DiskFreeMB(drive + L"\\"), drive}), form->StatusInfoText);

    // " h" in red 3 pixels after the black text, the pair centred as one.
    int pairWidth = 0;
    auto drawPanel1 = [&](HDC dc) {
        form->StatusBar1->Canvas()->SetHandle(dc);
        pairWidth = form->StatusBar1->Canvas()->TextWidth("Preview mute 16x9 h");
        form->StatusBar1->Canvas()->Brush()->SetColor(classlib::clWhite);
        form->StatusBar1DrawPanel(form->StatusBar1, form->StatusBar1->Panels()->Items(1), RECT{0, 0, 175, 19});
        form->StatusBar1->Canvas()->SetHandle(nullptr);
    };
    const quill_test::TInk red = quill_test::InkOf(RGB(255, 0, 0), 175, 19, drawPanel1);
    const quill_test::TInk black = quill_test::InkOf(RGB(0, 0, 0), 175, 19, drawPanel1);
    EXPECT_GT(red.Count, 0);
    EXPECT_GT(black.Count, 0);
    EXPECT_GT(red.Right, black.Right);
    // The pair is centred: the margin right of the red text is about half of what the pair leaves.
    EXPECT_NEAR(175 - 1 - red.Right, (175 - pairWidth) / 2, 8);

    // A DV type 2 recording of the camcorder: the tick shows its duration and its frame counts.
    const std::wstring file = Path(L"Video_0.avi");
    ASSERT_TRUE(module->fg->Stop());
    ASSERT_TRUE(module->BuildDV2NativeGraph(file));
    form->DroppedFramesInfo = engine::Query<IAMDroppedFrames>(module->VideoSourceFilter.Get(), IID_IAMDroppedFrames);
    ASSERT_TRUE(form->DroppedFramesInfo);
    form->CaptureState = 2;
    form->CaptureStartTime = classlib::Now() - (1 * 60 + 5) / 86400.0 - 1.0;  // a day, 1 minute 5 seconds
    ASSERT_TRUE(module->RunGraph());
    // The window's own status tick writes the figures: nothing here calls its handler.
    ASSERT_TRUE(form->DroppedFramesTimer->Enabled());
    ASSERT_TRUE(PumpUntil([&] {
        return form->StatusInfoText.rfind(L"0 lost frames / ", 0) == 0 && form->StatusInfoText != L"0 lost frames / 0";
    })) << testing::PrintToString(form->StatusInfoText);
    EXPECT_EQ(0u, form->StatusSourcesText.find(L"duration 0:01 :0")) << "whole days are not shown";
    form->StatusBar1->Repaint();
    // The whole window first: its first full paint also paints the bar.
    EXPECT_GT(SaveScreenshot(form->Handle(), L"main_window_recording.bmp", RGB(255, 0, 0)), 0);
    EXPECT_GT(SaveScreenshot(form->StatusBar1->Handle(), L"status_bar_recording.bmp", RGB(255, 0, 0)), 0)
        << "the red alert text is on the screen";
    EXPECT_EQ(L"Preview mute 16x9", form->StatusMainText) << "panel 1 keeps the last look's text";
    ASSERT_TRUE(module->fg->Stop());
    ASSERT_TRUE(module->StopCaptureGraph());
    form->CaptureState = 1;
    const quill_test::TMediaProbe probe = quill_test::Probe(file);
    EXPECT_EQ("dvvideo", probe.Stream(probe.StreamOfType("video"), "codec_name")) << probe.Run.Err;

    // The kinds of recording without a dropped-frame count.
    form->CaptureState = 4;
    form->DroppedFramesInfo.Reset();
    module->ImageByImageCount = 7;
    const std::pair<int, std::wstring> kinds[] = {{8, L"Image by Image: 7 frames"}, {11, L"Audio Wav"},
                                                  {12, L"Audio Mp3"}, {5, L""}};
    for (const auto& [format, text] : kinds) {
        ParamCaptureFormat->SetValue(static_cast<std::uint8_t>(format));
        form->DroppedActionTimer(nullptr);
        EXPECT_EQ(text, form->StatusInfoText) << format;
    }
    form->CaptureState = 1;
}

// A camera that gives a picture every half of the frame time its format states (its own clock, for
// this process), recorded in avi native: the pictures left out where their slot was taken count
// among the lost frames the status bar shows, of every picture the camera gave, and the file holds
// one picture a slot.
TEST_F(StatusBar, PicturesOfAFasterCameraLeftOutCountAmongTheLostFrames) {
    const std::wstring key = standins::TestRecordingKeyOfThisProcess();
    const std::uint64_t started = standins::ThisProcessStarted(), interval = 500;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), standins::kTestStartedValue, REG_QWORD,
                                             &started, sizeof(started)));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), standins::kTestPictureIntervalValue,
                                             REG_QWORD, &interval, sizeof(interval)));
    struct TKeyGone {
        std::wstring Key;
        ~TKeyGone() { RegDeleteKeyW(HKEY_CURRENT_USER, Key.c_str()); }
    } gone{key};
    ASSERT_NE(nullptr, Preview(kCamera));
    ParamCaptureFormat->SetValue(5);
    const std::wstring file = Path(L"Video_fast.avi");
    ASSERT_TRUE(module->fg->Stop());
    ASSERT_TRUE(module->BuildAviNativeGraph(file));
    form->DroppedFramesInfo = engine::Query<IAMDroppedFrames>(module->VideoSourceFilter.Get(), IID_IAMDroppedFrames);
    ASSERT_TRUE(form->DroppedFramesInfo);
    form->CaptureState = 2;
    form->CaptureStartTime = classlib::Now();
    ASSERT_TRUE(module->RunGraph());
    int lost = 0, all = 0;
    EXPECT_TRUE(PumpUntil([&] {
        return std::swscanf(form->StatusInfoText.c_str(), L"%d lost frames / %d", &lost, &all) == 2 && all >= 100;
    })) << testing::PrintToString(form->StatusInfoText);
    ASSERT_TRUE(module->fg->Stop());
    long dropped = 0, kept = 0;
    ASSERT_TRUE(form->DroppedFrames(dropped, kept)) << "counted at the stop too";
    ASSERT_TRUE(module->StopCaptureGraph());
    form->CaptureState = 1;
    form->DroppedFramesInfo.Reset();
    // Two pictures a frame time: about one in two is left out.
    EXPECT_GE(lost * 3, all) << lost << " lost of " << all;
    EXPECT_LE(lost * 3, all * 2) << lost << " lost of " << all;
    EXPECT_GE(dropped, lost);
    const quill_test::TMediaProbe probe = quill_test::Probe(file);
    const int video = probe.StreamOfType("video");
    const int pictures = std::atoi(probe.Stream(video, "nb_read_packets").c_str());
    EXPECT_NEAR(kept, pictures, 5) << "the file holds the pictures kept (those on their way at the stop aside)";
    EXPECT_GE(std::atoi(probe.Stream(video, "nb_frames").c_str()), pictures) << "one a slot";
}

class Camcorder : public CaptureUiTest {
protected:
    void SetUp() override {
        CaptureUiTest::SetUp();
        ASSERT_NE(nullptr, videoSources->Find(kCamcorderVideo));
        dv = videoSources->Find(kCamcorderVideo);
        ASSERT_TRUE(dv->BuildGraph());
        control = engine::Query<standins::IQuillDVCamcorder>(module->VideoSourceFilter.Get(),
                                                            standins::IID_IQuillDVCamcorder);
        transport = engine::Query<IAMExtTransport>(module->VideoSourceFilter.Get(), IID_IAMExtTransport);
        ASSERT_TRUE(control);
        ASSERT_TRUE(transport);
    }
    long Mode() {
        long mode = -1;
        transport->get_Mode(&mode);
        return mode;
    }
    engine::TVideoSource* dv = nullptr;
    ComPtr<standins::IQuillDVCamcorder> control;
    ComPtr<IAMExtTransport> transport;
};

TEST_F(Camcorder, TransportActionsReachTheCamcorderOfTheActiveWindow) {
    ASSERT_EQ(form->camForm1, form->CamFormOf(dv->CamWindow));
    EXPECT_EQ(form->camForm1, form->ActiveCamForm);
    EXPECT_TRUE(form->camForm1->HasTransport());
    EXPECT_EQ(L"DV Source", form->camForm1->Caption());
    ASSERT_TRUE(module->RunGraph());

    using namespace ui::transport_mode;
    form->cam_Stop->Execute();
    EXPECT_EQ(kStop, Mode());
    form->cam_AvanceRapide->Execute();
    EXPECT_EQ(kFastForward, Mode()) << "stopped: the tape winds";
    form->cam_Stop->Execute();
    form->cam_ReculeRapide->Execute();
    EXPECT_EQ(kRewind, Mode());
    form->cam_Play->Execute();
    EXPECT_EQ(kPlay, Mode());
    LONG before = 0, after = 0;
    control->GetTapeFrame(&before);
    EXPECT_TRUE(PumpUntil([&] { return SUCCEEDED(control->GetTapeFrame(&after)) && after > before + 2; }))
        << "the tape runs while playing";
    form->cam_AvanceRapide->Execute();
    EXPECT_EQ(kFastestForward, Mode()) << "playing: the fastest forward play";
    form->cam_ReculeRapide->Execute();
    EXPECT_EQ(kFastestReverse, Mode());
    form->cam_AvanceLent->Execute();
    EXPECT_EQ(kSlowestForward, Mode());
    form->cam_ReculeLent->Execute();
    EXPECT_EQ(kSlowestReverse, Mode());
    form->cam_Pause->Execute();
    EXPECT_EQ(kFreeze, Mode());

    // The panel's play-pause follows the camcorder; the main window's plays or pauses by its state.
    ui::Tnav_captureframe* panel = form->camForm1->nav_captureframe1;
    panel->cam_PlayPause->Execute();
    EXPECT_EQ(kPlay, Mode());
    panel->cam_PlayPause->Execute();
    EXPECT_EQ(kFreeze, Mode());
    form->cam_PlayPause->Execute();
    EXPECT_EQ(kPlay, Mode());
    panel->cam_Stop->Execute();
    EXPECT_EQ(kStop, Mode());

    // The other window has no transport: the actions sent there do nothing.
    form->SetActiveCamForm(form->camForm2);
    EXPECT_FALSE(form->camForm1->image1->Visible());
    EXPECT_TRUE(form->camForm2->image1->Visible());
    form->cam_Play->Execute();
    EXPECT_EQ(kStop, Mode());
    // The toggle goes back to the video window only while it is shown.
    form->camForm1->SetVisible(false);
    form->cam_Toggle->Execute();
    EXPECT_EQ(form->camForm2, form->ActiveCamForm);
    form->acShowVideoPilotDV->Execute();
    EXPECT_TRUE(form->camForm1->Visible());
    EXPECT_TRUE(form->camForm1->Shown);
    form->cam_Toggle->Execute();
    EXPECT_EQ(form->camForm1, form->ActiveCamForm);
    form->acShowVideoPilotDV->Execute();
    EXPECT_FALSE(form->camForm1->Visible());
    EXPECT_FALSE(form->camForm1->Shown);

    // When the source lets the window go, the other window becomes active and the tape stops.
    form->camForm1->cbStopQuittant->SetChecked(true);
    form->cam_Play->Execute();
    ASSERT_TRUE(dv->KillGraph(true));
    EXPECT_EQ(kStop, Mode());
    EXPECT_EQ(form->camForm2, form->ActiveCamForm);
    EXPECT_FALSE(form->camForm1->HasTransport());
}

TEST_F(Camcorder, TheStatusTickShowsTheTapesTimecodeAndRecordingDate) {
    ASSERT_HRESULT_SUCCEEDED(control->SetStartTimecode(1, 2, 3, 4));
    ASSERT_HRESULT_SUCCEEDED(control->SetRecordingStart(2009, 6, 7, 9, 5, 3));
    form->cam_Stop->Execute();
    ASSERT_TRUE(module->RunGraph());
    ASSERT_TRUE(PumpUntil([&] {
        form->DroppedActionTimer(nullptr);
        return !form->camForm1->Label1->Caption().empty();
    }));
    EXPECT_EQ(L"1:02:03:04", form->camForm1->TimecodePanel->Caption()) << "a stopped tape holds its frame";
    form->camForm1->SetVisible(true);
    EXPECT_GE(SaveScreenshot(form->camForm1->Handle(), L"camcorder_window.bmp", RGB(0, 0, 0)), 0);
    // Long day name, short date, long time (the class library's default patterns).
    EXPECT_EQ(L"Sunday 6/7/2009 9:05:03 AM", form->camForm1->Label1->Caption());
    EXPECT_EQ(L"9:05 PM", classlib::FormatDateTime(L"t", classlib::EncodeTime(21, 5, 3, 0)));
    form->cam_Play->Execute();
    EXPECT_TRUE(PumpUntil([&] {
        form->DroppedActionTimer(nullptr);
        return form->camForm1->TimecodePanel->Caption() != L"1:02:03:04";
    })) << "the timecode follows the running tape";

    EXPECT_EQ(L"1:02:03:04", ui::TimecodeText(0x01020304u));
    EXPECT_EQ(L"12:00:00:00", ui::TimecodeText(0x12000000u));
    EXPECT_EQ(L"0:00:00:00", ui::TimecodeText(0));
}

}  // namespace
}  // namespace ui_capture_test
