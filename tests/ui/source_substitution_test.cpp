// A script naming a source that is not listed, under Xvfb with the stand-in devices: the window takes
// the first listed one as before, but now says so in the status bar (kept as a screenshot in the
// build folder), and its format list holds only what the new sources can record, with the format to
// be recorded selected.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "settings/settings_catalogue.h"
#include "tests/ui/capture_form_fixture.h"
#include "ui/sources_frame.h"
#include "widgets/custom/scripts.h"
#include "window_screenshot.h"

namespace {

using namespace quill_test;

const wchar_t kCamera[] = L"Quillotrane Test Camera";
const wchar_t kMicrophone[] = L"Quillotrane Test Microphone";
const wchar_t kCamcorderVideo[] = L"DV Source - Video";

std::vector<std::wstring> Items(widgets::TUcComboBox* Combo) {
    std::vector<std::wstring> items;
    for (int i = 0; i < Combo->Items()->Count(); ++i) items.push_back(Combo->Items()->Strings(i));
    return items;
}

class SourceSubstitutionTest : public StartedFormTest {
protected:
    ui::TSourcesFrame* Panel() { return form_->SourcesFrame; }
    // Runs Lines as a script file, as the script button runs the file it is given.
    void RunScript(const std::vector<std::wstring>& Lines) {
        const std::wstring file = folder_ + L"lines.txt";
        WriteIniLines(file, Lines);
        form_->Script1->RunFile(file);
    }
};

TEST_F(SourceSubstitutionTest, AnUnlistedCameraIsReplacedByTheFirstWithItsFormatsAndTheStatusBarSaysSo) {
    Start({std::wstring(L"Source video=") + kCamcorderVideo, std::wstring(L"Source Audio=") + kMicrophone,
           L"Capture Format=2", L"Preview Locked=0"});
    ASSERT_NE(nullptr, module_->CurrentVideoSource);
    ASSERT_EQ(kCamcorderVideo, module_->CurrentVideoSource->Name);
    ASSERT_EQ(L"dv type 2 native", Panel()->cbFormatCapture->Text()) << "the camcorder's own DV is stored";

    RunScript({L"source_video=No Such Camera"});
    ASSERT_NE(nullptr, module_->CurrentVideoSource);
    EXPECT_EQ(Panel()->cboxvideo->Items()->Strings(0), module_->CurrentVideoSource->Name) << "the first listed one";
    ASSERT_EQ(kCamera, module_->CurrentVideoSource->Name);
    // No DV the camera cannot give; its own AVI, first in its list, is the one to be recorded.
    for (const std::wstring& format : Items(Panel()->cbFormatCapture))
        EXPECT_TRUE(format != L"dv type 2 native" && format != L"dv type 1 natifve") << testing::PrintToString(format);
    EXPECT_EQ(L"avi native", Panel()->cbFormatCapture->Items()->Strings(0));
    EXPECT_EQ(L"avi native", Panel()->cbFormatCapture->Text());
    EXPECT_EQ(5, settings::ParamCaptureFormat->Value()) << "the format shown is the one recorded";
    const std::wstring told = L"\"No Such Camera\" not found: Quillotrane Test Camera taken";
    EXPECT_EQ(told, form_->StatusAlertText);
    EXPECT_EQ(L"", form_->StatusMainText) << "in place of the preview's flags";
    EXPECT_EQ(dshow::gsPlaying, module_->fg->State());
    PumpWindowMessages();
    EXPECT_GT(SaveWindowScreenshot(form_->Handle(), L"unlisted_camera.bmp"), 0);

    // It stays told while that camera is the one taken, through other changes of the status...
    form_->UpdateStatusTexts();
    EXPECT_EQ(told, form_->StatusAlertText);
    // ...and goes when another source is chosen.
    Panel()->cboxvideo->SetItemIndex(Panel()->cboxvideo->Items()->IndexOf(kCamcorderVideo));
    form_->cboxVideoChange(Panel()->cboxvideo);
    ASSERT_NE(nullptr, module_->CurrentVideoSource);
    EXPECT_EQ(kCamcorderVideo, module_->CurrentVideoSource->Name);
    EXPECT_EQ(L"", form_->StatusAlertText);
    EXPECT_EQ(0u, form_->StatusMainText.find(L"Preview")) << "the flags come back";
}

TEST_F(SourceSubstitutionTest, AnUnlistedSoundIsToldAndBringsItsFormatsAnEmptyNameTellsNothing) {
    Start({std::wstring(L"Source video=") + kCamera, L"Source Audio=no audio stream", L"Capture Format=9",
           L"Preview Locked=0"});
    ASSERT_EQ(nullptr, module_->CurrentAudioSource);
    for (const std::wstring& format : Items(Panel()->cbFormatCapture)) EXPECT_NE(L"Wav", format);

    RunScript({L"source_audio=Nowhere Microphone"});
    ASSERT_NE(nullptr, module_->CurrentAudioSource) << "a sound input is taken";
    const std::wstring sound = module_->CurrentAudioSource->Name;
    EXPECT_EQ(L"\"Nowhere Microphone\" not found: " + sound + L" taken", form_->StatusAlertText);
    const std::vector<std::wstring> formats = Items(Panel()->cbFormatCapture);
    EXPECT_NE(formats.end(), std::find(formats.begin(), formats.end(), L"Wav")) << "the sound's formats come";
    EXPECT_EQ(L"DivX", Panel()->cbFormatCapture->Text()) << "a format the sources still allow stays";

    // Both told at once; a source chosen by an empty name (nothing stored) tells nothing.
    RunScript({L"source_video=Gone Camera"});
    EXPECT_EQ(L"\"Gone Camera\" not found: Quillotrane Test Camera taken; \"Nowhere Microphone\" not found: " + sound +
                  L" taken",
              form_->StatusAlertText);
    form_->SelectAudioSource(L"no audio stream");
    form_->SelectAudioSource(L"");
    EXPECT_EQ(L"\"Gone Camera\" not found: Quillotrane Test Camera taken", form_->StatusAlertText);
}

}  // namespace
