// Recordings made from the main window's capture action, as a user makes them: every capture
// format the stand-ins can record, each file read back whole; the questions before a start; the
// cut; the image-by-image finish; a start that fails and a stop after a lost device.
#include "recording_ui_support.h"

#include <fstream>

#include "classlib/custom_form.h"
#include "classlib/date_time.h"
#include "engine/scene_list.h"
#include "filters/control_unit.h"
#include "settings/settings_catalogue.h"
#include "tests/common/hidden_class.h"
#include "tests/common/recording_headers.h"
#include "tests/common/window_screenshot.h"
#include "ui/dossiers_frame.h"
#include "ui/help_frame.h"
#include "ui/options_frame.h"

namespace recording_ui {
namespace {

using std::filesystem::exists;
using std::filesystem::path;

class Recording : public RecordingUiTest {
protected:
    // Starts, lets Frames pass, stops; answers the file that was written.
    path RecordFor(unsigned Frames) {
        const path file = form->NextVideoFile;
        Capture();
        EXPECT_EQ(2, form->CaptureState);
        EXPECT_TRUE(WaitRecorded(Frames));
        Capture();
        EXPECT_EQ(1, form->CaptureState);
        EXPECT_TRUE(Previewing()) << "the preview runs again after the stop";
        EXPECT_NE(file.wstring(), form->NextVideoFile) << "the next name is ready";
        return file;
    }
};

TEST_F(Recording, EveryFormatTheStandInsAllowIsRecordedFromTheCaptureAction) {
    UseLame();
    ASSERT_TRUE(UseXvid());
    struct Case {
        std::uint8_t format;
        const wchar_t* video;
        const wchar_t* sound;
        const char* videoCodec;  // nullptr: no video stream
        const char* soundCodec;  // nullptr: no sound stream
        bool sceneList;
    };
    const Case cases[] = {
        {2, kDVVideo, kDVSound, "dvvideo", "pcm_s16le", true},
        {1, kDVVideo, kDVSound, "dvvideo", nullptr, true},
        {5, kCamera, kMicrophone, "rawvideo", "pcm_s16le", false},
        {6, kCamera, kMicrophone, "dvvideo", "pcm_s16le", false},
        {9, kCamera, kMicrophone, "mpeg4", "mp3", false},
        {11, L"", kMicrophone, nullptr, "pcm_s16le", false},
        {12, L"", kMicrophone, nullptr, "mp3", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        ASSERT_NO_FATAL_FAILURE(Preview(c.video, c.sound, c.format));
        const path file = RecordFor(25);
        EXPECT_EQ(c.format == 11 ? L".wav" : c.format == 12 ? L".mp3" : L".avi", file.extension().wstring());
        const quill_test::TMediaProbe probe = ProbeWhole(file);
        const int v = probe.StreamOfType("video"), a = probe.StreamOfType("audio");
        if (c.videoCodec != nullptr) {
            ASSERT_GE(v, 0);
            EXPECT_EQ(c.videoCodec, probe.Stream(v, "codec_name"));
            EXPECT_GE(Packets(probe, v), 20);
        } else {
            EXPECT_LT(v, 0);
        }
        if (c.soundCodec != nullptr) {
            ASSERT_GE(a, 0);
            EXPECT_EQ(c.soundCodec, probe.Stream(a, "codec_name"));
        }
        const path scn = path(file).replace_extension(L".scn");
        EXPECT_EQ(c.sceneList, exists(scn)) << "a scene list beside DV recordings only";
        EXPECT_FALSE(engine::ScnOpen()) << "the stop closes it";
    }
}

TEST_F(Recording, ImageByImageKeepsOneFramePerGrabAtTheChosenRateAndNoFileWithoutAGrab) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 8));
    path file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    EXPECT_TRUE(form->ImageByImageMode);
    const int grabs = 4;
    for (int i = 0; i < grabs; ++i) {
        ++module->ImageByImageCount;
        module->ImageControl->SetPassNext(true);
        ASSERT_TRUE(PumpUntil([&] { return !module->ImageControl->PassNext(); })) << "grab " << i;
    }
    Capture();
    EXPECT_FALSE(form->ImageByImageMode);
    const quill_test::TMediaProbe probe = ProbeWhole(file);
    EXPECT_EQ(grabs, Packets(probe, 0));
    EXPECT_NEAR(12.5, probe.Ratio(0, "r_frame_rate"), 0.01) << "the rate is set once the file is closed";
    EXPECT_EQ(80000u, quill_test::AviHeaderFrameTime(quill_test::FileStart(file))) << "and the main header agrees";

    file = form->NextVideoFile;
    asked.clear();
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    Capture();
    EXPECT_FALSE(exists(file)) << "an image-by-image recording without a grab leaves no file";
    ASSERT_EQ(1u, asked.size()) << "the user is told why nothing is there";
    EXPECT_EQ(L"Nothing was recorded into " + file.wstring() +
                  L": no picture was grabbed before the stop. No file is kept, and the next recording takes the same name.",
              asked[0].Text);
    EXPECT_EQ(file.wstring(), form->NextVideoFile) << "the name is taken again";
}

TEST_F(Recording, AnExistingFileIsAskedAboutNoKeepsItAllStopsAsking) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    settings::ParamConfirmerVideo->SetValue(true);
    form->OptionsFrame->cbConfirmerVideo->SetChecked(true);
    const path file = form->NextVideoFile;
    std::filesystem::create_directories(file.parent_path());
    { std::ofstream(file) << "older recording"; }

    answers = {classlib::mrNo};
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(1u, asked.size());
    EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"The file " + file.wstring() + L" exists already."));
    EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"\"All\""));
    EXPECT_EQ(15u, std::filesystem::file_size(file)) << "No leaves the file as it was";
    EXPECT_TRUE(Previewing()) << "and the preview running";

    answers = {classlib::mrAll};
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    EXPECT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_GE(Packets(ProbeWhole(file), 0), 8) << "All overwrites";
    EXPECT_FALSE(settings::ParamConfirmerVideo->Value());
    EXPECT_FALSE(form->OptionsFrame->cbConfirmerVideo->Checked());
}

TEST_F(Recording, AMissingFolderIsAskedAboutWhenConfirming) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    settings::ParamConfirmerVideo->SetValue(true);
    ASSERT_FALSE(exists(path(form->NextVideoFile).parent_path()));
    answers = {classlib::mrNo};
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(1u, asked.size());
    EXPECT_NE(std::wstring::npos, asked[0].Text.find(L"does not exist.\r\nDo you want to create it?"));
    answers = {classlib::mrYes};
    Capture();
    EXPECT_EQ(2, form->CaptureState);
    EXPECT_TRUE(exists(path(form->NextVideoFile).parent_path()));
    Capture();
}

TEST_F(Recording, ACutGivesTwoFilesThatTogetherHoldTheWholeRecording) {
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound, 2));
    const path first = form->NextVideoFile;
    Capture();
    ASSERT_TRUE(WaitRecorded(20));
    const double started = form->CaptureStartTime;
    // The capture branch's count starts again with each run of the graph.
    const unsigned beforeCut = module->ControlCaptureVideo->SampleCounter();
    form->acCouper->Execute();
    const path second = form->NextVideoFile;
    EXPECT_NE(first, second);
    EXPECT_EQ(2, form->CaptureState);
    EXPECT_EQ(started, form->CaptureStartTime) << "the duration counts from the first part";
    EXPECT_TRUE(exists(path(first).replace_extension(L".scn")));
    EXPECT_TRUE(engine::ScnOpen()) << "the second part has its own scene list";
    ASSERT_TRUE(WaitRecorded(20));
    const unsigned beforeStop = module->ControlCaptureVideo->SampleCounter();
    Capture();
    const int a = Packets(ProbeWhole(first), 0), b = Packets(ProbeWhole(second), 0);
    // A graph stops its downstream filters first: the one frame that is past the counter but not
    // yet at the multiplexer when the cut stops the graph may be dropped; more would be a loss.
    EXPECT_GE(a + 1, static_cast<int>(beforeCut)) << "the first file holds every frame until the cut";
    EXPECT_GE(b + 1, static_cast<int>(beforeStop)) << "the second holds every frame after it";
    EXPECT_GE(b, 18);
    EXPECT_TRUE(exists(path(second).replace_extension(L".scn")));
}

TEST_F(Recording, ACutNeverOverwritesAFileOfAnEarlierRun) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    settings::ParamConfirmerVideo->SetValue(true);
    std::filesystem::create_directories(path(form->NextVideoFile).parent_path());
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    // The name the cut would take next is a file of an earlier run.
    const path older = path(form->NextVideoFile).parent_path() / (L"Video_" + std::to_wstring(form->VideoFileCounter) + L".wav");
    { std::ofstream(older) << "older"; }
    ASSERT_TRUE(WaitRecorded(10));
    form->acCouper->Execute();
    const path cutTo = form->NextVideoFile;
    ASSERT_TRUE(WaitRecorded(10));
    Capture();
    EXPECT_TRUE(asked.empty()) << "a cut asks nothing";
    EXPECT_NE(older, cutTo);
    EXPECT_EQ(5u, std::filesystem::file_size(older)) << "the earlier file is kept";
    EXPECT_EQ("pcm_s16le", ProbeWhole(cutTo).Stream(0, "codec_name"));
}

TEST_F(Recording, ChangesOfSourceOrFormatDuringARecordingAreRefusedAndItGoesOnWhole) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    widgets::TUcCheckListBox* seen = form->HelpFrame1->clSources;
    seen->SetChecked(seen->Items()->Add(kCamera), true);
    const path file = form->NextVideoFile;
    Capture();
    ASSERT_EQ(2, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(10));
    // Asking for what is there already changes nothing and says nothing.
    form->SelectCaptureFormat(5);
    form->SelectAudioSource(kMicrophone);
    EXPECT_EQ(L"", form->StatusAlertText);

    // A script's lines, and a click on the help panel's source list (its box cleared).
    form->SelectCaptureFormat(11);
    form->SelectAudioSource(L"no audio stream");
    form->ReselectSources();
    const RECT box = seen->ItemRect(0);
    const LPARAM at = MAKELPARAM(box.left + 3, (box.top + box.bottom) / 2);
    SendMessageW(seen->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(seen->Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(seen->Checked(0)) << "the box shows again what the recording uses";

    EXPECT_EQ(2, form->CaptureState);
    EXPECT_EQ(L"Stop Capture", form->saCapturerBascule->Caption()) << "the capturing look stays";
    EXPECT_EQ(classlib::clRed, form->Shape2->Brush()->Color());
    EXPECT_TRUE(form->saCapturerBascule->Enabled());
    EXPECT_EQ(5, settings::ParamCaptureFormat->Value());
    ASSERT_NE(nullptr, module->CurrentAudioSource);
    EXPECT_EQ(kMicrophone, module->CurrentAudioSource->Name);
    EXPECT_EQ(L"Sources locked while capturing", form->StatusAlertText);
    EXPECT_TRUE(asked.empty()) << "nothing waits for an answer";
    // The word fits its panel of the status bar (kept as a screenshot).
    HWND bar = form->StatusBar1->Handle();
    HDC dc = GetDC(bar);
    HGDIOBJ font = SelectObject(dc, form->StatusBar1->Font()->Handle());
    SIZE extent{};
    GetTextExtentPoint32W(dc, form->StatusAlertText.c_str(), static_cast<int>(form->StatusAlertText.size()), &extent);
    SelectObject(dc, font);
    ReleaseDC(bar, dc);
    EXPECT_LE(extent.cx, 175 - 6);
    PumpUntil([] { return false; }, 300);
    quill_test::SaveWindowScreenshot(bar, L"status_sources_locked.bmp");
    ASSERT_TRUE(WaitRecorded(15)) << "the recording goes on";
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    const quill_test::TMediaProbe probe = ProbeWhole(file);
    const int v = probe.StreamOfType("video"), a = probe.StreamOfType("audio");
    ASSERT_GE(v, 0);
    ASSERT_GE(a, 0);
    EXPECT_GE(Packets(probe, v), 23);

    // Once stopped, the same change is made.
    form->SelectCaptureFormat(11);
    EXPECT_EQ(11, settings::ParamCaptureFormat->Value());
}

TEST_F(Recording, AStartWhoseBuilderFailsBringsThePreviewBackAndSaysWhy) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 12));
    module->Mp3EncoderFound = false;
    const std::wstring name = form->NextVideoFile;
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_TRUE(Previewing()) << "the preview runs again";
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(0u, asked[0].Text.find(L"The capture could not start: "));
    EXPECT_EQ(name, form->NextVideoFile) << "the name is kept for the next try";
    EXPECT_FALSE(form->RecordingOpen());
}

TEST_F(Recording, WindowsMediaWithoutAWriterOrProfilesSaysSoAndThePreviewGoesOn) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 7));
    {
        // No ASF writer on the system (the prefix's stand-in hidden).
        quill_test::THiddenClass hidden(CLSID_WMAsfWriter);
        ASSERT_TRUE(hidden.Hidden());
        Capture();
    }
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"The capture could not start: no Windows Media writer is installed (the WM ASF Writer filter).",
              asked[0].Text);
    EXPECT_FALSE(form->RecordingOpen());
    EXPECT_FALSE(std::filesystem::exists(form->NextVideoFile));
    EXPECT_TRUE(Previewing());

    // A writer, and no profile manager to give it a profile.
    form->WmvAvailable = false;
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(L"The capture could not start: the Windows Media profile manager is missing.", asked[1].Text);
    EXPECT_FALSE(std::filesystem::exists(form->NextVideoFile));
    EXPECT_TRUE(Previewing());
}

TEST_F(Recording, AStopAfterTheGraphStoppedByItselfStillClosesTheRecording) {
    ASSERT_NO_FATAL_FAILURE(Preview(kDVVideo, kDVSound, 2));
    const path file = form->NextVideoFile;
    Capture();
    ASSERT_TRUE(WaitRecorded(15));
    ASSERT_TRUE(engine::ScnOpen());
    // A lost device stops the graph before the user stops the recording.
    module->fg->Stop();
    Capture();
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(engine::ScnOpen()) << "the scene list is closed";
    EXPECT_NE(file.wstring(), form->NextVideoFile) << "the next name is prepared";
    EXPECT_GE(Packets(ProbeWhole(file), 0), 13);
}

TEST_F(Recording, NamesCarryTheRunsStartTheirNumberAndTheFormatsExtension) {
    form->RunStartTime = classlib::EncodeDate(2009, 6, 7) + classlib::EncodeTime(9, 5, 3, 0);
    auto* folders = form->DossiersFrame1;
    folders->VideoDirEdit->SetWideText(L"C:\\Captures");
    folders->VideoRacineEdit->SetText(L"Video");
    folders->cbVideoDate->SetChecked(true);
    folders->ImageDirEdit->SetWideText(L"C:\\Captures\\");
    folders->ImageRacineEdit->SetText(L"Image");
    folders->cbImageDate->SetChecked(true);
    form->OptionsFrame->rgExtension->SetItemIndex(1);
    settings::ParamCaptureFormat->SetValue(5);
    form->VideoFileCounter = 0;
    form->ImageFileCounter = 0;
    EXPECT_EQ(L"C:\\Captures\\Video_070609_090503_0.avi", form->BuildVideoFileName());
    EXPECT_EQ(L"C:\\Captures\\Image_070609_090503_00000.jpg", form->BuildImageFileName());
    EXPECT_EQ(L"Video_070609_090503_0.avi", folders->LabelVideo->Caption()) << "the name without its folder";
    settings::ParamCaptureFormat->SetValue(3);
    EXPECT_EQ(L"C:\\Captures\\Video_070609_090503_1.mpg", form->BuildVideoFileName());
    settings::ParamCaptureFormat->SetValue(12);
    folders->cbVideoDate->SetChecked(false);
    form->VideoFileCounter = 10;
    EXPECT_EQ(L"C:\\Captures\\Video_10.mp3", form->BuildVideoFileName()) << "no leading zeros";
    folders->cbImageDate->SetChecked(false);
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    form->ImageFileCounter = 123456;
    EXPECT_EQ(L"C:\\Captures\\Image_23456.bmp", form->BuildImageFileName()) << "above 99999 the last five digits";
    EXPECT_EQ(123457, form->ImageFileCounter);
}

}  // namespace
}  // namespace recording_ui
