// The main window's sources as the status bar tells what was taken: an unlisted camera or sound a
// script names, stored sources gone since the last run, and a format the list does not offer, each
// told with what was taken in its place; the sources taken for one run stay out of the settings
// until the user picks one.
#include "tests/ui/sources_fixture.h"

namespace {

using namespace sources_test;

// The status bar tells what was taken for names not listed: its red text is Pattern (a regular
// expression with a group for each name) with the names Names, each whole or its beginning ended
// by an ellipsis, and shows whole in its panel beside the other panels' texts.
void ExpectTold(ui::TCaptureForm* Form, const std::wstring& Pattern, const std::vector<std::wstring>& Names) {
    const std::wstring& told = Form->StatusAlertText;
    const std::string shown = testing::PrintToString(told);
    EXPECT_EQ(L"", Form->StatusMainText) << "in place of the preview's flags";
    std::wsmatch parts;
    ASSERT_TRUE(std::regex_match(told, parts, std::wregex(Pattern))) << shown;
    ASSERT_EQ(Names.size() + 1, parts.size()) << shown;
    for (std::size_t i = 0; i < Names.size(); ++i) {
        const std::wstring name = parts[i + 1].str();
        const bool cut = name.size() >= 2 && name.size() < Names[i].size() && name.back() == L'\u2026' &&
                         Names[i].compare(0, name.size() - 1, name, 0, name.size() - 1) == 0;
        EXPECT_TRUE(name == Names[i] || cut) << "name " << i << " of " << shown;
    }
    RECT panel{};
    ASSERT_TRUE(SendMessageW(Form->StatusBar1->Handle(), SB_GETRECT, 1, reinterpret_cast<LPARAM>(&panel)));
    classlib::TWindowDC screen(nullptr);
    classlib::TSelectedObject font(screen.Get(), Form->StatusBar1->Font()->Handle());
    const std::string narrow = classlib::WideToAnsi(told);
    SIZE need{};
    GetTextExtentPoint32A(screen.Get(), narrow.data(), static_cast<int>(narrow.size()), &need);
    // Drawn 3 pixels after the (empty) main text, within the panel's frame.
    EXPECT_LE(need.cx + 3, panel.right - panel.left - 2) << shown;
}
const wchar_t kToldSource[] = L"\"(.+)\" not found: (.+) taken";
const wchar_t kToldSources[] = L"\"(.+)\", \"(.+)\" not found: (.+), (.+) taken";

// A script names a camera not listed: the first listed one is taken, with a format list of only what it
// records, its own format selected and stored, and the status bar says so until another is chosen.
TEST_F(SourcesTest, AnUnlistedCameraIsReplacedByTheFirstWithItsFormatsAndTheStatusBarSaysSo) {
    const wchar_t camcorder[] = L"DV Source - Video";
    Start({std::wstring(L"Source video=") + camcorder, std::wstring(L"Source Audio=") + kMicrophone,
           L"Capture Format=2", L"Preview Locked=0"});
    ASSERT_NE(nullptr, Video());
    ASSERT_EQ(L"dv type 2 native", Panel()->cbFormatCapture->Text()) << "the camcorder's own DV is stored";
    RunScript({L"source_video=No Such Camera"});
    ASSERT_NE(nullptr, Video());
    ASSERT_EQ(kCamera, Video()->Name) << "the first listed one";
    for (const std::wstring& format : Items(Panel()->cbFormatCapture))
        EXPECT_TRUE(format != L"dv type 2 native" && format != L"dv type 1 natifve") << testing::PrintToString(format);
    EXPECT_EQ(L"avi native", Panel()->cbFormatCapture->Items()->Strings(0));
    EXPECT_EQ(L"avi native", Panel()->cbFormatCapture->Text());
    EXPECT_EQ(5, settings::ParamCaptureFormat->Value()) << "the format shown is the one recorded";
    ExpectTold(form_.get(), kToldSource, {L"No Such Camera", kCamera});
    const std::wstring told = form_->StatusAlertText;
    PumpWindowMessages();
    EXPECT_GT(SaveWindowScreenshot(form_->Handle(), L"unlisted_camera.bmp"), 0);
    form_->UpdateStatusTexts();
    EXPECT_EQ(told, form_->StatusAlertText) << "told through other changes of the status";
    ChooseVideo(camcorder);
    ASSERT_NE(nullptr, Video());
    EXPECT_EQ(camcorder, Video()->Name);
    EXPECT_EQ(L"", form_->StatusAlertText);
    EXPECT_EQ(0u, form_->StatusMainText.find(L"Preview")) << "the flags come back";
}

// An unlisted sound: told, with its formats; told with an unlisted camera; a source chosen by an empty
// name (nothing stored) tells nothing.
TEST_F(SourcesTest, AnUnlistedSoundIsToldAndBringsItsFormatsAnEmptyNameTellsNothing) {
    Start({std::wstring(L"Source video=") + kCamera, L"Source Audio=no audio stream", L"Capture Format=9",
           L"Preview Locked=0"});
    ASSERT_EQ(nullptr, Audio());
    RunScript({L"source_audio=Nowhere Microphone"});
    ASSERT_NE(nullptr, Audio()) << "a sound input is taken";
    const std::wstring sound = Audio()->Name;
    ExpectTold(form_.get(), kToldSource, {L"Nowhere Microphone", sound});
    EXPECT_EQ(1, CountOf(Items(Panel()->cbFormatCapture), L"Wav")) << "the sound's formats come";
    EXPECT_EQ(L"DivX", Panel()->cbFormatCapture->Text()) << "a format the sources still allow stays";
    // Both told in one sentence that shows whole.
    RunScript({L"source_video=Gone Camera"});
    ExpectTold(form_.get(), kToldSources, {L"Gone Camera", L"Nowhere Microphone", kCamera, sound});
    form_->SelectAudioSource(L"no audio stream");
    form_->SelectAudioSource(L"");
    ExpectTold(form_.get(), kToldSource, {L"Gone Camera", kCamera});
}

// A stored sound input and camera gone since the last run (a sound server down) are told as the
// start takes others, and stay told through the start's own re-selections (the lock off brings the
// wanted sound back); nothing stored at all tells nothing.
TEST_F(SourcesTest, StoredSourcesGoneAreToldAtTheStartNothingStoredTellsNothing) {
    Start({L"Source video=Camera Gone Since", L"Source Audio=Monitor of Sine440 Gone", L"Capture Format=9",
           L"Preview Locked=0"});
    ASSERT_NE(nullptr, Audio()) << "a sound input is taken";
    ASSERT_NE(nullptr, Video());
    ExpectTold(form_.get(), kToldSources,
               {L"Camera Gone Since", L"Monitor of Sine440 Gone", Video()->Name, Audio()->Name});
}

// The sources taken at the start for stored ones gone stay out of the settings through the run
// (a script's names not listed, a refresh, a close) until the user picks a source: the user's
// choice is there for the day its device is back.
TEST_F(SourcesTest, ASourceTakenForOneRunIsNotStoredUnlessTheUserPicksIt) {
    Start({L"Source video=Camera Gone Since", L"Source Audio=Monitor of Sine440 Gone", L"Capture Format=5"});
    ASSERT_NE(nullptr, Video());
    ASSERT_NE(nullptr, Audio());
    auto stored = [&] {
        EXPECT_TRUE(form_->SaveSettings());
        return std::make_pair(settings::ParamSourceVideo->Value(), settings::ParamSourceAudio->Value());
    };
    const auto gone = std::make_pair(std::wstring(L"Camera Gone Since"), std::wstring(L"Monitor of Sine440 Gone"));
    EXPECT_EQ(gone, stored());
    // A sound input asked for beside the camera taken instead: told with it.
    RunScript({L"source_audio=Nope Mic"});
    ASSERT_NE(nullptr, Audio());
    ExpectTold(form_.get(), kToldSources, {L"Camera Gone Since", L"Nope Mic", Video()->Name, Audio()->Name});
    form_->ActualiserVideoBtnClick(form_.get());
    EXPECT_EQ(gone, stored()) << "neither a name not listed nor a refresh is a choice";
    // Picked: the sound in its list, the camera by a script's name.
    ChooseAudio(kMicrophone);
    EXPECT_EQ(std::make_pair(gone.first, std::wstring(kMicrophone)), stored());
    RunScript({std::wstring(L"source_video=") + kCamera});
    EXPECT_EQ(std::make_pair(std::wstring(kCamera), std::wstring(kMicrophone)), stored());
    EXPECT_EQ(L"", form_->StatusAlertText) << "nothing left to tell";
}

TEST_F(SourcesTest, AFirstStartWithNothingStoredNamesNothingGone) {
    Start({L"Preview Locked=0"});
    ASSERT_NE(nullptr, Audio());
    ASSERT_NE(nullptr, Video());
    EXPECT_EQ(L"", form_->StatusAlertText);
}

// A format a script names is chosen as the list chooses it: the preview lock follows it (the
// overlay and the flips allowed or not, the free ratios), it is the wanted one; a name the list
// does not offer is told with the format taken, until a format is chosen.
TEST_F(SourcesTest, AFormatAScriptNamesIsChosenAsTheListChoosesItOrTold) {
    std::vector<std::wstring> settings = kCameraAndMicrophone;
    settings[3] = L"Preview Locked=1";
    settings.push_back(L"Want Incrust=1");
    Start(settings);
    auto effects = [&] {
        return std::vector<bool>{form_->OverlayAllowed,         form_->InlayActive,
                                 form_->taIncruster->Enabled(), form_->acVertFlip->Enabled(),
                                 form_->acHorzFlip->Enabled(),  form_->saRatio4x3->Enabled()};
    };
    const std::vector<bool> none(6, false), all(6, true);
    EXPECT_EQ(none, effects()) << "the device's own AVI: no overlay, its own shape";
    RunScript({L"format_capture=DivX"});
    EXPECT_EQ(9, settings::ParamCaptureFormat->Value());
    EXPECT_EQ(all, effects()) << "DivX records the overlay, at any ratio";
    EXPECT_TRUE(module_->Superposer->OverlayEnabled()) << "the wanted overlay is drawn";
    EXPECT_EQ(L"DivX", settings::ParamWantFormatCapture->Value());
    EXPECT_NE(std::wstring::npos, form_->StatusMainText.find(L" in")) << testing::PrintToString(form_->StatusMainText);
    RunScript({L"format_capture=avi native"});
    EXPECT_EQ(none, effects());
    EXPECT_FALSE(module_->Superposer->OverlayEnabled());

    // Not a format, and one the camera cannot give: the first offered is taken, and told.
    const std::wstring told = L"\"Foo\" not offered: avi native taken";
    RunScript({L"format_capture=DivX", L"format_capture=Foo"});
    EXPECT_EQ(5, settings::ParamCaptureFormat->Value());
    EXPECT_EQ(told, form_->StatusAlertText);
    EXPECT_EQ(none, effects()) << "the format taken is the one the lock follows";
    RunScript({L"format_capture=dv type 1 natifve"});
    EXPECT_EQ(L"\"dv type 1 natifve\" not offered: avi native taken", form_->StatusAlertText);
    // Told beside a source taken instead, the whole in its panel.
    RunScript({L"source_audio=Nope Mic"});
    ASSERT_NE(nullptr, Audio());
    ExpectTold(form_.get(), std::wstring(kToldSource) + L"; \"(.+)\" not offered: (.+) taken",
               {L"Nope Mic", Audio()->Name, L"dv type 1 natifve", L"avi native"});
    ChooseFormat(L"Wmv");
    ExpectTold(form_.get(), kToldSource, {L"Nope Mic", Audio()->Name});
}

}  // namespace
