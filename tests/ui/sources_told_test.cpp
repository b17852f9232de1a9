// The main window's sources as the status bar tells what was taken: an unlisted camera or sound a
// script names, stored sources gone since the last run, and a format the list does not offer, each
// told with what was taken in its place; the sources taken for one run stay out of the settings
// until the user picks one.
#include "tests/ui/sources_fixture.h"

#include "tests/ui/hover_hint.h"

namespace {

using namespace sources_test;

// The status bar tells what was taken for names not listed, in red in place of the preview's flags:
// whole in the panel's hint, and in the panel all at once where the room holds it, else one
// sentence after the other, each in its turn of the status tick. Every name Taken, and every name
// Asked, shows whole in one of the turns, without a hover; an ellipsis ends only a name asked that
// its turn has no room for. Each turn shows whole in its panel, and so do the other panels' texts.
void ExpectTold(ui::TCaptureForm* Form, const std::wstring& Whole, const std::vector<std::wstring>& Taken,
                const std::vector<std::wstring>& Asked = {}) {
    EXPECT_EQ(L"", Form->StatusMainText) << "in place of the preview's flags";
    EXPECT_EQ(Whole, widgets::UcControl_GetHint(Form->StatusBar1)) << "the panel's hint";
    EXPECT_TRUE(Form->StatusBar1->ShowHint());
    // The turns, as the status ticks bring them, till the first comes back (or none other comes).
    std::vector<std::wstring> turns{Form->StatusAlertText};
    for (int tick = 0; tick < 4 * ui::TCaptureForm::kTakenInsteadTurnTicks; ++tick) {
        Form->DroppedActionTimer(Form);
        if (Form->StatusAlertText == turns.back()) continue;
        if (Form->StatusAlertText == turns.front()) break;
        turns.push_back(Form->StatusAlertText);
        tick = 0;
    }
    const std::string shown = testing::PrintToString(turns);
    auto inTurn = [&](const std::wstring& Text) {
        return std::any_of(turns.begin(), turns.end(), [&](const std::wstring& Turn) { return Turn.find(Text) != std::wstring::npos; });
    };
    for (const std::wstring& told : turns)
        for (std::size_t at = told.find(L'\u2026'); at != std::wstring::npos; at = told.find(L'\u2026', at + 1))
            EXPECT_EQ(0, told.compare(at + 1, 1, L"\"")) << shown;
    for (const std::wstring& name : Taken) EXPECT_TRUE(inTurn(name)) << "whole: " << testing::PrintToString(name) << " in " << shown;
    for (const std::wstring& name : Asked)
        EXPECT_TRUE(inTurn(L"\"" + name + L"\"")) << "whole: " << testing::PrintToString(name) << " in " << shown;
    // Each panel's text whole in its panel in each turn, the told one drawn 3 pixels after the
    // (empty) main text.
    for (std::size_t turn = 0; turn < turns.size(); ++turn) {
        while (Form->StatusAlertText != turns[turn]) Form->DroppedActionTimer(Form);
        const std::wstring texts[] = {Form->StatusIntervalText, turns[turn], Form->StatusSourcesText, Form->StatusInfoText};
        classlib::TWindowDC screen(nullptr);
        classlib::TSelectedObject font(screen.Get(), Form->StatusBar1->Font()->Handle());
        for (int i = 0; i < 4; ++i) {
            RECT panel{};
            ASSERT_TRUE(SendMessageW(Form->StatusBar1->Handle(), SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&panel)));
            const std::string narrow = classlib::WideToAnsi(texts[i]);
            SIZE need{};
            GetTextExtentPoint32A(screen.Get(), narrow.data(), static_cast<int>(narrow.size()), &need);
            EXPECT_LE(need.cx + (i == 1 ? 3 : 0) + ui::TCaptureForm::kStatusTextInset, panel.right - panel.left - 2)
                << "panel " << i << ": " << testing::PrintToString(texts[i]);
        }
    }
}
// The hint the status bar shows with the mouse over its panel Index: the text shown, empty when none.
std::wstring StatusHintOver(ui::TCaptureForm* Form, int Index) {
    classlib::TApplication* app = classlib::Application();
    const int pause = app->HintPause();
    app->SetHintPause(1);
    RECT panel{};
    SendMessageW(Form->StatusBar1->Handle(), SB_GETRECT, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&panel));
    const std::wstring text =
        HoverHint(Form->StatusBar1->Handle(), POINT{(panel.left + panel.right) / 2, (panel.top + panel.bottom) / 2}, 1000);
    app->CancelHint();
    app->SetHintPause(pause);
    return text;
}

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
    ExpectTold(form_.get(), std::wstring(kCamera) + L" taken for \"No Such Camera\"", {kCamera}, {L"No Such Camera"});
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

// An unlisted sound: told, with its formats; told with an unlisted camera and a format not offered,
// at the window's own size each name whole in its turn; a source chosen by an empty name (nothing
// stored) tells nothing.
TEST_F(SourcesTest, AnUnlistedSoundIsToldAndBringsItsFormatsAnEmptyNameTellsNothing) {
    Start({std::wstring(L"Source video=") + kCamera, L"Source Audio=no audio stream", L"Capture Format=9",
           L"Preview Locked=0"});
    ASSERT_EQ(nullptr, Audio());
    RunScript({L"source_audio=No Such Mic"});
    ASSERT_NE(nullptr, Audio()) << "a sound input is taken";
    const std::wstring sound = Audio()->Name;
    ExpectTold(form_.get(), sound + L" taken for \"No Such Mic\"", {sound}, {L"No Such Mic"});
    EXPECT_EQ(1, CountOf(Items(Panel()->cbFormatCapture), L"Wav")) << "the sound's formats come";
    EXPECT_EQ(L"DivX", Panel()->cbFormatCapture->Text()) << "a format the sources still allow stays";
    // Both told in one sentence in the hint; the panel has no room for it: each source in its
    // turn, and a format not offered after them in its own.
    RunScript({L"source_video=No Such Camera", L"format_capture=Foo"});
    ExpectTold(form_.get(),
               std::wstring(kCamera) + L", " + sound + L" taken for \"No Such Camera\", \"No Such Mic\"; \"Foo\" not offered: DivX kept",
               {kCamera, sound, L"DivX"}, {L"No Such Camera", L"No Such Mic", L"Foo"});
    RunScript({L"format_capture=DivX"});
    form_->SelectAudioSource(L"no audio stream");
    form_->SelectAudioSource(L"");
    ExpectTold(form_.get(), std::wstring(kCamera) + L" taken for \"No Such Camera\"", {kCamera}, {L"No Such Camera"});
}

// A stored sound input and camera gone since the last run (a sound server down) are told as the
// start takes others, and stay told through the start's own re-selections (the lock off brings the
// wanted sound back); nothing stored at all tells nothing.
TEST_F(SourcesTest, StoredSourcesGoneAreToldAtTheStartNothingStoredTellsNothing) {
    Start({L"Source video=Camera Gone Since", L"Source Audio=Monitor of Sine440 Gone", L"Capture Format=9",
           L"Preview Locked=0"});
    ASSERT_NE(nullptr, Audio()) << "a sound input is taken";
    ASSERT_NE(nullptr, Video());
    const std::wstring sources =
        Video()->Name + L", " + Audio()->Name + L" taken for \"Camera Gone Since\", \"Monitor of Sine440 Gone\"";
    ExpectTold(form_.get(), sources, {Video()->Name, Audio()->Name});
    // And a format not offered: told after them, all of it in the hint over the panel that tells it.
    RunScript({L"format_capture=Foo"});
    const std::wstring format = Panel()->cbFormatCapture->Text();
    ExpectTold(form_.get(), sources + L"; \"Foo\" not offered: " + format + L" kept", {Video()->Name, Audio()->Name, format});
    PumpWindowMessages();
    EXPECT_GT(SaveWindowScreenshot(form_->Handle(), L"stored_sources_gone.bmp"), 0);
    EXPECT_EQ(widgets::UcControl_GetHint(form_->StatusBar1), StatusHintOver(form_.get(), 1));
    EXPECT_EQ(L"", StatusHintOver(form_.get(), 0)) << "the other panels have no hint";
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
    ExpectTold(form_.get(), Video()->Name + L", " + Audio()->Name + L" taken for \"Camera Gone Since\", \"Nope Mic\"",
               {Video()->Name, Audio()->Name});
    form_->ActualiserVideoBtnClick(form_.get());
    EXPECT_EQ(gone, stored()) << "neither a name not listed nor a refresh is a choice";
    // Picked: the sound in its list, the camera by a script's name.
    ChooseAudio(kMicrophone);
    EXPECT_EQ(std::make_pair(gone.first, std::wstring(kMicrophone)), stored());
    RunScript({std::wstring(L"source_video=") + kCamera});
    EXPECT_EQ(std::make_pair(std::wstring(kCamera), std::wstring(kMicrophone)), stored());
    EXPECT_EQ(L"", form_->StatusAlertText) << "nothing left to tell";
    EXPECT_FALSE(form_->StatusBar1->ShowHint());
    EXPECT_EQ(L"", StatusHintOver(form_.get(), 1));
}

TEST_F(SourcesTest, AFirstStartWithNothingStoredNamesNothingGone) {
    Start({L"Preview Locked=0"});
    ASSERT_NE(nullptr, Audio());
    ASSERT_NE(nullptr, Video());
    EXPECT_EQ(L"", form_->StatusAlertText);
}

// A format a script names is chosen as the list chooses it: the preview lock follows it (the
// overlay and the flips allowed or not, the free ratios), it is the wanted one; a name the list
// does not offer leaves the format as it is, and is told with it until a format is chosen.
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

    // Not a format, and one the camera cannot give: DivX stays, with its overlay, and nothing
    // stored changes; told.
    RunScript({L"format_capture=DivX", L"format_capture=Foo"});
    auto kept = [&] {
        EXPECT_EQ(L"DivX", Panel()->cbFormatCapture->Text());
        EXPECT_EQ(all, effects()) << "DivX's overlay and flips";
        EXPECT_TRUE(module_->Superposer->OverlayEnabled());
        EXPECT_TRUE(form_->SaveSettings());
        EXPECT_EQ(9, settings::ParamCaptureFormat->Value());
        EXPECT_EQ(L"DivX", settings::ParamWantFormatCapture->Value());
    };
    kept();
    EXPECT_EQ(L"\"Foo\" not offered: DivX kept", form_->StatusAlertText);
    RunScript({L"format_capture=dv type 1 natifve"});
    kept();
    const std::wstring format = L"\"dv type 1 natifve\" not offered: DivX kept";
    ExpectTold(form_.get(), format, {L"DivX"});
    // Told beside a source taken instead.
    RunScript({L"source_audio=Nope Mic"});
    ASSERT_NE(nullptr, Audio());
    const std::wstring source = Audio()->Name + L" taken for \"Nope Mic\"";
    ExpectTold(form_.get(), source + L"; " + format, {Audio()->Name, L"DivX"});
    ChooseFormat(L"Wmv");
    ExpectTold(form_.get(), source, {Audio()->Name});
}

}  // namespace
