// The main window's action table, interface texts, settings in their controls and close: the 55
// commands in their order with their kinds, switches, tokens and shortcuts (every shortcut and
// secondary shortcut reaching its own action, a key sent to the window too), the texts of the
// first showing, each setting shown in its control and read back at close, the options written
// at once, and the storage question asked before anything is torn down.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "classlib/format.h"
#include "classlib/message_box.h"
#include "settings/settings_catalogue.h"
#include "tests/ui/capture_form_fixture.h"
#include "tests/ui/store_helpers.h"
#include "ui/capture_actions.h"
#include "ui/dossiers_frame.h"
#include "ui/extraire_frame.h"
#include "ui/incruster_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"
#include "widgets/custom/scripts.h"

namespace {

using namespace quill_test;
using namespace settings;
using widgets::custom::TCustomSuperAction;
using widgets::custom::TtoggleAction;

// Every action of the list, in list order.
std::vector<TCustomSuperAction*> Actions(TTestCaptureForm* form) {
    std::vector<TCustomSuperAction*> actions;
    for (int i = 0; i < form->al->ActionCount(); ++i)
        actions.push_back(dynamic_cast<TCustomSuperAction*>(form->al->Actions(i)));
    return actions;
}

// Records the actions the list executes instead of running them.
struct ExecutedActions {
    std::vector<classlib::TBasicAction*> Seen;
    explicit ExecutedActions(classlib::TCustomActionList* list) {
        list->OnExecute = [this](classlib::TBasicAction* action, bool& handled) {
            Seen.push_back(action);
            handled = true;
        };
    }
};

// The actions as the main window's table gives them, in list order: name, toggle, category, shortcut,
// second shortcut, switch, token, caption (of the plain actions; a toggle shows its state's), image
// (of the plain actions, -1 for none) and AutoCheck. Written out here, not taken from the code's table.
struct TExpectedAction {
    const wchar_t* Name;
    bool Toggle;
    const wchar_t* Category;
    WORD Key;
    classlib::TShiftState Shift;
    WORD SecondKey;
    classlib::TShiftState SecondShift;
    const wchar_t* Switch;
    const wchar_t* Token;
    const wchar_t* Caption;
    int Image;
    bool Auto;
};
constexpr classlib::TShiftState kNone = 0, kAlt = classlib::ssAlt, kCtrl = classlib::ssCtrl,
                                kShift = classlib::ssShift;
const TExpectedAction kExpectedActions[] = {
    {L"saGrab", false, L"action", VK_F5, kNone, 'G', kCtrl, L"g", L"grab", L"Grab!", 6, false},
    {L"tafullscreen", true, L"action", VK_RETURN, kAlt, 0, kNone, L"fs", L"full_screen", nullptr, 5, false},
    {L"acOptionsFrame", false, L"frame", VK_F10, kNone, 'O', kAlt, L"of", L"options_frame", L"Settings panel", 10, false},
    {L"acDossiersFrame", false, L"frame", 'D', kAlt, 0, kNone, L"df", L"directories_frame", L"Folders panel", 34, false},
    {L"acProgrammerFrame", false, L"frame", 'P', kAlt, 0, kNone, L"pf", L"program_frame", L"Schedule panel", 20, false},
    {L"acExtraireFrame", false, L"frame", 'G', kAlt, 0, kNone, L"gf", L"grab_frame", L"Grab panel", 7, false},
    {L"acIncrusterFrame", false, L"frame", 'I', kAlt, 0, kNone, L"if", L"inlay_frame", L"Inlay panel", 22, false},
    {L"acQuitter", false, L"general", VK_F4, kAlt, 'Q', kCtrl, L"q", L"quit", L"Quit", 4, false},
    {L"acApropos", false, L"frame", 'A', kAlt, 0, kNone, L"af", L"about_frame", L"About panel...", 31, false},
    {L"acCouper", false, L"action", VK_F7, kNone, 'X', kCtrl, L"k", L"cut", L"Cut", 29, false},
    {L"acProgrammerBascule", false, L"action", 'P', kCtrl, 0, kNone, L"p", L"program", L"Schedule", 20, false},
    {L"acJpgOption", false, L"Settings", 'J', kCtrl, 0, kNone, L"j", L"jpeg", L"Jpg", -1, false},
    {L"acBmpOption", false, L"Settings", 'B', kCtrl, 0, kNone, L"b", L"bmp", L"Bmp", -1, false},
    {L"acBasculerPanneau", false, L"frame", 'W', kAlt, 0, kNone, L"w", L"switch", L"Mirror the window", -1, false},
    {L"acNextPanneau", false, L"frame", VK_F6, kNone, 'N', kAlt, L"nf", L"next_frame", L"Next panel", -1, false},
    {L"acHelp", false, L"frame", VK_F1, kNone, 'H', kAlt, L"hf", L"help_frame", L"Help panel", 9, false},
    {L"acReduire", false, L"frame", VK_BACK, kAlt, 0, kNone, L"r", L"reduce", L"Reduce", -1, true},
    {L"acSourcesFrame", false, L"frame", VK_F2, kNone, 'S', kAlt, L"sf", L"sources_frame", L"Sources panel", 1, false},
    {L"cam_PlayPause", true, L"camera", VK_INSERT, kNone, 0, kNone, L"x", L"play", nullptr, -1, false},
    {L"cam_Stop", false, L"camera", VK_END, kCtrl, 0, kNone, L"s", L"stop", L"camera Stop", -1, false},
    {L"cam_AvanceLent", false, L"camera", VK_RIGHT, kCtrl, 0, kNone, L"as", L"advance_slow", L"camera Advance Slow", -1,
     false},
    {L"cam_AvanceRapide", false, L"camera", VK_DOWN, kCtrl, 0, kNone, L"ff", L"fast_forward", L"camera Advance Fast", -1,
     false},
    {L"cam_ReculeLent", false, L"camera", VK_LEFT, kCtrl, 0, kNone, L"bs", L"back_slow", L"camera Back Slow", -1, false},
    {L"cam_ReculeRapide", false, L"camera", VK_UP, kCtrl, 0, kNone, L"bf", L"back_fast", L"camera Back Fast", -1, false},
    {L"saCapturerBascule", false, L"action", VK_SPACE, kCtrl, 0, kNone, L"c", L"capture", L"Capture", 14, true},
    {L"acShowVideoPilotDV", false, L"action", 0, kNone, 0, kNone, L"pv", L"pilot_video", L"", -1, false},
    {L"acVertFlip", false, L"action", VK_F4, kNone, 0, kNone, L"vf", L"vertical_flip", L"Flip vertically", 36, true},
    {L"acPelorin", false, L"action", VK_F8, kNone, 0, kNone, L"pn", L"pelorin", L"Pelorin", 31, false},
    {L"acOuvrirDossierVideos", false, L"action", 'V', kAlt, 0, kNone, L"v", L"open_folder",
     L"Open the folder of captured videos", 34, false},
    {L"acIncVolume", false, L"action", VK_ADD, kNone, 0, kNone, L"iv", L"inc_volume", L"Increase the volume", -1, false},
    {L"acDecVolume", false, L"action", VK_SUBTRACT, kNone, 0, kNone, L"dv", L"dec_volume", L"Decrease the volume", -1,
     false},
    {L"acSliders", false, L"frame", 'Y', kAlt, 0, kNone, L"ss", L"sliders", L"Display the sliders", -1, false},
    {L"acHorzFlip", false, L"action", VK_F4, kShift, 0, kNone, L"zf", L"horizontal_flip", L"Flip horizontally", 42, true},
    {L"acShowAudioPilotDV", false, L"action", 0, kNone, 0, kNone, L"pa", L"pilot_audio", L"", -1, false},
    {L"cam_Toggle", false, L"camera", VK_HOME, kCtrl, 0, kNone, L"ct", L"cameras_toggle", L"camera Toggle", -1, false},
    {L"saExitFullScreen", false, L"action", VK_ESCAPE, kNone, 0, kNone, L"ef", L"exit_fullscreen", L"Interrompre", -1,
     false},
    {L"taraccourcis", true, L"Marbrecq", VK_F11, kNone, 0, kNone, L"o", L"shortcuts", nullptr, 59, false},
    {L"taDecalage", true, L"Marbrecq", 0, kNone, 0, kNone, L"dh", L"decalage", nullptr, 0, false},
    {L"taFreezepreview", true, L"Marbrecq", VK_F3, kNone, 0, kNone, L"fp", L"freeze_preview", nullptr, 50, false},
    {L"taFreezeCapture", true, L"Marbrecq", VK_SPACE, kNone, 0, kNone, L"fc", L"freeze_capture", nullptr, 52, true},
    {L"taIncruster", true, L"action", VK_F12, kNone, 0, kNone, L"i", L"inlay", nullptr, 55, false},
    {L"taLock", true, L"Marbrecq", VK_F9, kNone, 0, kNone, L"l", L"lock", nullptr, 57, false},
    {L"saListeFrame", false, L"frame", 'L', kAlt, 0, kNone, L"lf", L"liste_frame", L"List Panel", 58, false},
    {L"taMute", true, L"action", 'M', kCtrl, 0, kNone, L"m", L"mute", nullptr, 24, false},
    {L"saRatioNormal", false, L"Marbrecq", VK_F8, kAlt, 0, kNone, L"rn", L"ratio_normal", L"Image normal", -1, false},
    {L"saRatioNatif", false, L"Marbrecq", VK_F7, kAlt, 0, kNone, L"rf", L"ratio_natif", L"Image native", -1, false},
    {L"saRatio16x9", false, L"Marbrecq", VK_F6, kAlt, 0, kNone, L"rw", L"ratio_16x9", L"Image 16x9", -1, false},
    {L"saRatio4x3", false, L"Marbrecq", VK_F5, kAlt, 0, kNone, L"rs", L"ratio_4x3", L"Image 4x3", -1, false},
    {L"cam_Play", false, L"camera", VK_INSERT, kCtrl, 0, kNone, L"cp", L"camera_play", L"camera Play", -1, false},
    {L"cam_Pause", false, L"camera", VK_DELETE, kCtrl, 0, kNone, L"co", L"camera_pause", L"camera Pause", -1, false},
    {L"saIntervallo", false, L"Marbrecq", VK_PAUSE, kNone, 0, kNone, L"it", L"intervalometer", L"Toggle intervalometer",
     -1, false},
    {L"saScript", false, L"Marbrecq", 0, kNone, 0, kNone, L"", L"", L"Launch script", 60, false},
    {L"saSourceVideo", false, L"select", 0, kNone, 0, kNone, L"sv", L"source_video", L"Video source", -1, false},
    {L"saSourceAudio", false, L"select", 0, kNone, 0, kNone, L"sa", L"source_audio", L"Source Audio", -1, false},
    {L"saFormatCapture", false, L"select", 0, kNone, 0, kNone, L"fc", L"format_capture", L"Format Capture", -1, false},
};

TEST_F(CaptureFormTest, TheActionListHoldsTheFiftyFiveCommandsInTheirOrder) {
    TTestCaptureForm* form = Create();
    const auto actions = Actions(form);
    ASSERT_EQ(55u, actions.size());
    ASSERT_EQ(std::size(kExpectedActions), actions.size());
    int toggles = 0;
    for (size_t i = 0; i < actions.size(); ++i) {
        const TExpectedAction& want = kExpectedActions[i];
        ASSERT_NE(nullptr, actions[i]) << i;
        SCOPED_TRACE(testing::PrintToString(std::wstring(want.Name)));
        EXPECT_EQ(want.Name, actions[i]->Name());
        EXPECT_EQ(want.Toggle, dynamic_cast<TtoggleAction*>(actions[i]) != nullptr);
        EXPECT_EQ(want.Key == 0 ? 0 : classlib::ShortCut(want.Key, want.Shift), actions[i]->ShortCut());
        EXPECT_EQ(want.Switch, actions[i]->Switch());
        EXPECT_EQ(want.Token, actions[i]->Token());
        if (!want.Toggle) {
            EXPECT_EQ(want.Image, actions[i]->ImageIndex());  // before a look sets the capture button's
        }
        EXPECT_EQ(want.Auto, actions[i]->AutoCheck());
        EXPECT_LT(actions[i]->ImageIndex(), form->ImageList1->Count()) << "no picture for action " << i;
        toggles += want.Toggle ? 1 : 0;
    }
    EXPECT_EQ(9, toggles);
    // Set when the window is made, not by the table.
    EXPECT_EQ(VK_ADD, form->acIncVolume->ShortCut());
    EXPECT_EQ(VK_SUBTRACT, form->acDecVolume->ShortCut());
    EXPECT_EQ(VK_PAUSE, form->saIntervallo->ShortCut());
    EXPECT_TRUE(form->taDecalage->Checked());
    EXPECT_FALSE(form->taMute->Checked());

    // Categories, captions and second shortcuts as the first showing's interface texts leave them.
    form->Show();
    for (size_t i = 0; i < actions.size(); ++i) {
        const TExpectedAction& want = kExpectedActions[i];
        SCOPED_TRACE(testing::PrintToString(std::wstring(want.Name)));
        EXPECT_EQ(want.Category, actions[i]->Category());
        if (want.Caption != nullptr) {
            EXPECT_EQ(want.Caption, actions[i]->Caption());
        }
        const auto& second = actions[i]->SecondaryShortCuts();
        if (want.SecondKey == 0) {
            EXPECT_TRUE(second.empty());
        } else {
            ASSERT_EQ(1u, second.size());
            EXPECT_EQ(classlib::ShortCut(want.SecondKey, want.SecondShift), second[0].ShortCut);
        }
    }

    // A name shared by two actions reaches the first; a script cannot reach the script action.
    widgets::custom::TScript script(nullptr);
    script.SetActionList(form->al);
    EXPECT_EQ(form->taFreezeCapture, script.FindAction(L"fc"));
    EXPECT_EQ(form->saFormatCapture, script.FindAction(L"format_capture"));
    EXPECT_EQ(form->acShowVideoPilotDV, script.FindAction(L"pilot_video"));
    EXPECT_EQ(L"", form->saScript->Switch());
    EXPECT_EQ(L"", form->saScript->Token());
}

TEST_F(CaptureFormTest, TheFirstShowingSetsTheInterfaceTexts) {
    TTestCaptureForm* form = Create();
    EXPECT_EQ(L"Options", form->acJpgOption->Category());
    form->Show();
    EXPECT_EQ(L"Settings", form->acJpgOption->Category());
    EXPECT_EQ(L"Settings", form->acBmpOption->Category());
    EXPECT_EQ(L"Help panel", form->acHelp->Caption());
    EXPECT_EQ(L"Help panel:\r\nKeyboard shortcuts, system, capture sources.", form->acHelp->Hint());
    EXPECT_EQ(L"If pushed, then what you preview is what you capture (Recommended)", form->taLock->Hint());
    // Exactly one secondary shortcut, Alt+H, whatever the form gave; the main one unchanged.
    ASSERT_EQ(1u, form->acHelp->SecondaryShortCuts().size());
    EXPECT_EQ(classlib::ShortCut('H', classlib::ssAlt), form->acHelp->SecondaryShortCuts()[0].ShortCut);
    EXPECT_EQ(VK_F1, form->acHelp->ShortCut());
    EXPECT_EQ(L"Capture", form->CaptureBtn->Caption());
    EXPECT_EQ(L"Grab!", form->grabBtn->Caption());
    EXPECT_EQ(L"Volume", form->labVolume->Caption());
    EXPECT_EQ(L"Settings panel", form->PanneauSources1->Caption());
    const wchar_t* panels[] = {L"Intervalometer desactivated", L"Capture", L"Captured Frames", L"Lost Frames"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(panels[i], form->StatusBar1->Panels()->Items(i)->Text());
    // An action the texts do not name keeps the form's.
    EXPECT_EQ(L"Marbrecq", form->saRatio4x3->Category());
    EXPECT_EQ(L"Image 4x3", form->saRatio4x3->Caption());
}

TEST_F(CaptureFormTest, EveryShortcutReachesItsOwnAction) {
    TTestCaptureForm* form = CreateAndShow();
    ExecutedActions executed(form->al);
    std::map<classlib::TShortCut, std::wstring> owners;
    for (TCustomSuperAction* action : Actions(form)) {
        std::vector<classlib::TShortCut> keys;
        if (action->ShortCut() != 0) keys.push_back(action->ShortCut());
        for (const auto& secondary : action->SecondaryShortCuts()) {
            EXPECT_NE(0, secondary.ShortCut) << secondary.Text;
            keys.push_back(secondary.ShortCut);
        }
        for (classlib::TShortCut key : keys) {
            const auto [owner, fresh] = owners.emplace(key, action->Name());
            EXPECT_TRUE(fresh) << classlib::ShortCutToText(key) << " of " << testing::PrintToString(action->Name())
                               << " is also " << testing::PrintToString(owner->second);
            executed.Seen.clear();
            action->SetEnabled(true);
            EXPECT_TRUE(form->al->IsShortCut(key));
            ASSERT_EQ(1u, executed.Seen.size()) << classlib::ShortCutToText(key);
            EXPECT_EQ(action, executed.Seen[0]) << classlib::ShortCutToText(key);
        }
    }
    EXPECT_EQ(55u, owners.size());  // 48 main shortcuts (3 set at creation), 7 secondary ones

    // A key sent to the window goes through the application's shortcut dispatch.
    executed.Seen.clear();
    PostMessageW(form->Handle(), WM_KEYDOWN, VK_F11, 0);
    classlib::Application()->ProcessMessages();
    ASSERT_EQ(1u, executed.Seen.size());
    EXPECT_EQ(form->taraccourcis, executed.Seen[0]);
}

TEST_F(CaptureFormTest, EachSettingIsShownInItsControlAndReadBackAtClose) {
    SetSz(kProgramKey, L"Exename", exe_);
    SetDword(kProgramKey, L"Volume", 2500);
    SetDword(kProgramKey, L"Confirmer Video", 0);
    SetDword(kProgramKey, L"Scn", 1);
    SetDword(kProgramKey, L"Qualit\u00e9 JPeg", 77);
    SetDword(kProgramKey, L"FrequenceDV", 2);
    SetDword(kProgramKey, L"Valeur Intervallom\u00e8tre", 42);
    SetDword(kProgramKey, L"Unit\u00e9s Intervallom\u00e8tre", 2);
    SetSz(kProgramKey, L"Video Racine", L"Clip");
    SetSz(kProgramKey, L"Video Directory", L"C:\\Captures\\");
    // A folder named outside the system code page.
    const std::wstring pictures = L"C:\\\u0395\u03b9\u03ba\u03cc\u03bd\u03b5\u03c2 \u753b\u50cf\\";
    SetSz(kProgramKey, L"Image Directory", pictures);
    SetSz(kProgramKey, L"No Datecode", L"N/A");
    SetSz(kProgramKey, L"Sources Exclues", L"Old Camera\r\nOld Microphone\r\n");
    TTestCaptureForm* form = CreateAndShow();
    form->LoadPanelLists();
    ui::TOptionsFrame* options = form->OptionsFrame;
    EXPECT_EQ(2500, form->tb->Value());
    EXPECT_FALSE(options->cbConfirmerVideo->Checked());
    EXPECT_TRUE(options->cbScn->Checked());
    EXPECT_EQ(77, options->TrackBar1->Position());
    EXPECT_EQ(1, options->rgFrequenceDV->ItemIndex());  // 44.100 Hz
    EXPECT_EQ(L"N/A", options->leNoDatecode->Text());
    EXPECT_EQ(42, form->ExtraireFrame1->KitSpinEdit7->AsInteger());
    EXPECT_EQ(2, form->ExtraireFrame1->cbUnites->ItemIndex());
    EXPECT_EQ("Clip", form->DossiersFrame1->VideoRacineEdit->classlib::TControl::Text());
    EXPECT_EQ("C:\\Captures\\", form->DossiersFrame1->VideoDirEdit->Text());
    EXPECT_EQ(pictures, form->DossiersFrame1->ImageDirEdit->WideText());
    EXPECT_EQ(0u, form->NextImageFile.find(pictures)) << "pictures go to the folder as stored";
    widgets::TUcCheckListBox* sources = form->HelpFrame1->clSources;
    ASSERT_EQ(2, sources->Items()->Count());
    EXPECT_FALSE(sources->Checked(0));
    EXPECT_FALSE(sources->Checked(1));

    // Changes made in the controls are what the close keeps; the native rate selects no item.
    form->tb->SetValue(6000);
    options->cbConfirmerVideo->SetChecked(true);
    options->rgFrequenceDV->SetItemIndex(-1);
    options->rgStandard->SetItemIndex(1);
    form->ExtraireFrame1->KitSpinEdit7->SetValue(7);
    sources->SetChecked(sources->Items()->IndexOf(L"Old Microphone"), true);
    form->Close();
    EXPECT_EQ(0, form->StorageQuestions) << "the registry mode asks nothing";
    EXPECT_EQ(6000, GetDword(kProgramKey, L"Volume"));
    EXPECT_EQ(1, GetDword(kProgramKey, L"Confirmer Video"));
    EXPECT_EQ(0, GetDword(kProgramKey, L"FrequenceDV"));
    EXPECT_EQ(1, GetDword(kProgramKey, L"Standard DV"));
    EXPECT_EQ(7, GetDword(kProgramKey, L"Valeur Intervallom\u00e8tre"));
    EXPECT_EQ(L"Clip", GetSz(kProgramKey, L"Video Racine"));
    EXPECT_EQ(pictures, GetSz(kProgramKey, L"Image Directory")) << "an untouched folder is kept whole";
    EXPECT_EQ(L"Old Camera\r\n", GetSz(kProgramKey, L"Sources Exclues"));
}

TEST_F(CaptureFormTest, OptionsWriteTheirSettingAtOnce) {
    TTestCaptureForm* form = CreateAndShow();
    ui::TOptionsFrame* options = form->OptionsFrame;
    for (auto [box, setting] : {std::pair{options->cbConfirmerVideo, ParamConfirmerVideo},
                                std::pair{options->cbConfirmerImage, ParamConfirmerImage},
                                std::pair{options->cbDeInterlacer, ParamInternalDeinterlacer},
                                std::pair{options->cbMpeg2ratioNormal, ParamMpeg2RatioNormal},
                                std::pair{options->cbNotifier, ParamNotifier}}) {
        const bool before = setting->Value();
        box->SetChecked(!before);
        EXPECT_EQ(!before, setting->Value()) << testing::PrintToString(box->Name());
    }
    form->ExtraireFrame1->cbBeeps->SetChecked(!ParamBeeps->Value());
    EXPECT_EQ(form->ExtraireFrame1->cbBeeps->Checked(), ParamBeeps->Value());
}

TEST_F(CaptureFormTest, AnUnreadableFrameRateIsReportedAndResetToOneThatReads) {
    TTestCaptureForm* form = CreateAndShow();
    std::vector<std::wstring> messages;
    const auto previous = classlib::SetMessageBoxFunction(
        [&messages](HWND, const std::wstring& text, const std::wstring&, UINT) {
            messages.push_back(text);
            return IDOK;
        });
    widgets::TUcEdit* edit = form->SourcesFrame->leFramerate;
    edit->SetText(L"12" + std::wstring(1, classlib::FormatSettings().DecimalSeparator) + L"5");
    form->SourcesFrameleFramerateExit(edit);
    EXPECT_DOUBLE_EQ(12.5, ParamFramerate->Value());
    EXPECT_TRUE(messages.empty());

    edit->SetText(L"fast");
    form->SourcesFrameleFramerateExit(edit);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(L"The value of \"images/second\" is not correct\r\nEnter a decimal value", messages[0]);
    EXPECT_DOUBLE_EQ(18.0, ParamFramerate->Value());
    // The text put back reads without a second message.
    form->SourcesFrameleFramerateExit(edit);
    EXPECT_EQ(1u, messages.size());
    classlib::SetMessageBoxFunction(previous);
}

TEST_F(CaptureFormTest, ARefusedCloseLeavesEverythingAsItWas) {
    TTestCaptureForm* form = CreateAndShow();
    ASSERT_EQ(smNone, StorageMode());
    form->camForm1->Show();
    form->StorageAnswer = -1;  // the dialog closed without a choice
    bool canClose = true;
    form->FormCloseQuery(form, canClose);
    EXPECT_FALSE(canClose);
    EXPECT_EQ(1, form->StorageQuestions);
    // Asked before anything is torn down: the camcorder window is still open.
    EXPECT_TRUE(form->camForm1->Visible());
    EXPECT_FALSE(FileExists(ini_));
    EXPECT_FALSE(KeyExists(kProgramKey));

    // Asked again, "Portable" keeps the settings in the INI file beside the program.
    form->StorageAnswer = 1;
    canClose = true;
    form->FormCloseQuery(form, canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(2, form->StorageQuestions);
    EXPECT_FALSE(form->camForm1->Visible());
    EXPECT_EQ(smPortable, StorageMode());
    EXPECT_TRUE(FileExists(ini_));
    EXPECT_FALSE(KeyExists(kProgramKey));
}

TEST_F(CaptureFormTest, TheFirstIdleRunsOnceAndTheScreenSaverComesBackAtTheEnd) {
    BOOL wasActive = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &wasActive, 0);
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
    TTestCaptureForm* form = CreateAndShow();
    EXPECT_TRUE(ui::StartingUp());
    bool done = false;
    form->AppEvents1Idle(form, done);
    EXPECT_TRUE(done);
    EXPECT_TRUE(form->FirstIdleDone());
    EXPECT_FALSE(ui::StartingUp());
    EXPECT_EQ(-1, form->cam_Toggle->Tag());
    BOOL active = TRUE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    EXPECT_FALSE(active) << "the screen saver is off while the program runs";
    // A second idle does nothing again.
    form->cam_Toggle->SetTag(5);
    done = false;
    form->AppEvents1Idle(form, done);
    EXPECT_EQ(5, form->cam_Toggle->Tag());

    form_.reset();
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    EXPECT_TRUE(active) << "the screen saver active at the start is active again";
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, wasActive, nullptr, 0);
}

}  // namespace
