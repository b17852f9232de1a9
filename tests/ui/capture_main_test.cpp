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

TEST_F(CaptureFormTest, TheActionListHoldsTheFiftyFiveCommandsInTheirOrder) {
    TTestCaptureForm* form = Create();
    const auto actions = Actions(form);
    ASSERT_EQ(55u, actions.size());
    int toggles = 0;
    for (size_t i = 0; i < actions.size(); ++i) {
        const ui::TActionDef& def = ui::kActionTable[i];
        ASSERT_NE(nullptr, actions[i]) << i;
        EXPECT_EQ(def.Name, actions[i]->Name());
        EXPECT_EQ(def.Toggle, dynamic_cast<TtoggleAction*>(actions[i]) != nullptr) << i;
        EXPECT_EQ(def.Switch, actions[i]->Switch());
        EXPECT_EQ(def.Token, actions[i]->Token());
        EXPECT_EQ(def.AutoCheck, actions[i]->AutoCheck()) << i;
        EXPECT_LT(actions[i]->ImageIndex(), form->ImageList1->Count()) << "no picture for action " << i;
        toggles += def.Toggle ? 1 : 0;
    }
    EXPECT_EQ(9, toggles);
    // Set when the window is made, not by the table.
    EXPECT_EQ(VK_ADD, form->acIncVolume->ShortCut());
    EXPECT_EQ(VK_SUBTRACT, form->acDecVolume->ShortCut());
    EXPECT_EQ(VK_PAUSE, form->saIntervallo->ShortCut());
    EXPECT_TRUE(form->taDecalage->Checked());
    EXPECT_FALSE(form->taMute->Checked());

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
