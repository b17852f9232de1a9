// The main window's action table, the making of its actions and the interface texts set at the
// first showing.
#include "ui/capture_actions.h"

#include <cwchar>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "settings/program_texts.h"
#include "ui/capture_form.h"
#include "ui/extraire_frame.h"
#include "ui/programmer_frame.h"
#include "ui/sources_frame.h"
#include "ui/ui_text_ids.h"

namespace ui {

namespace {

using classlib::scAlt;
using classlib::scCtrl;
using classlib::scShift;
constexpr classlib::TShortCut K(WORD key, classlib::TShortCut modifiers = 0) {
    return static_cast<classlib::TShortCut>(key | modifiers);
}

}  // namespace

// Name, toggle, category, shortcut, at creation, secondary, switch, token, caption, image, auto, hint.
const TActionDef kActionTable[kActionCount] = {
    {L"saGrab", false, L"action", K(VK_F5), false, "CTRL+G", L"g", L"grab", L"Grab!", 6, false, L"Grab a picture"},
    {L"tafullscreen", true, L"action", K(VK_RETURN, scAlt), false, "", L"fs", L"full_screen", L"Put Full screen", 5,
     false, L"Fullscreen"},
    {L"acOptionsFrame", false, L"frame", K(VK_F10), false, "ALT+O", L"of", L"options_frame", L"Settings panel", 10,
     false, L"Panel for settings and preferences."},
    {L"acDossiersFrame", false, L"frame", K('D', scAlt), false, "", L"df", L"directories_frame", L"Folders panel", 34,
     false, L"Panel for choosing the folders where to save\r\nvideos, audios and pictures."},
    {L"acProgrammerFrame", false, L"frame", K('P', scAlt), false, "", L"pf", L"program_frame", L"Schedule panel", 20,
     false, L"Panel for scheduling a capture"},
    {L"acExtraireFrame", false, L"frame", K('G', scAlt), false, "", L"gf", L"grab_frame", L"Grab panel", 7, false,
     L"Panel for grabbing a picture.\r\nFeatures an intervalometer."},
    {L"acIncrusterFrame", false, L"frame", K('I', scAlt), false, "", L"if", L"inlay_frame", L"Inlay panel", 22, false,
     L"Panel for inlaying datetime into the video."},
    {L"acQuitter", false, L"general", K(VK_F4, scAlt), false, "CTRL+Q", L"q", L"quit", L"Quit", 4, false, L"Quit"},
    {L"acApropos", false, L"frame", K('A', scAlt), false, "", L"af", L"about_frame", L"About panel...", 31, false,
     L"About Quillotrane"},
    {L"acCouper", false, L"action", K(VK_F7), false, "CTRL+X", L"k", L"cut", L"Cut", 29, false,
     L"Cut the current capture and resume with a new file."},
    {L"acProgrammerBascule", false, L"action", K('P', scCtrl), false, "", L"p", L"program", L"Schedule", 20, false,
     L""},
    {L"acJpgOption", false, L"Options", K('J', scCtrl), false, "", L"j", L"jpeg", L"Jpg", -1, false, L""},
    {L"acBmpOption", false, L"Options", K('B', scCtrl), false, "", L"b", L"bmp", L"Bmp", -1, false, L""},
    {L"acBasculerPanneau", false, L"frame", K('W', scAlt), false, "", L"w", L"switch", L"Mirror the window", -1, false,
     L""},
    {L"acNextPanneau", false, L"frame", K(VK_F6), false, "ALT+N", L"nf", L"next_frame", L"Next panel", -1, false, L""},
    {L"acHelp", false, L"frame", K(VK_F1), false, "ALT+H", L"hf", L"help_frame", L"Help panel", 9, false,
     L"Help panel:\r\nKeyboard shortcuts, system, capture sources."},
    {L"acReduire", false, L"frame", K(VK_BACK, scAlt), false, "", L"r", L"reduce", L"Reduce", -1, true, L""},
    {L"acSourcesFrame", false, L"frame", K(VK_F2), false, "ALT+S", L"sf", L"sources_frame", L"Sources panel", 1, false,
     L"Panel for setting the video and audio sources."},
    {L"cam_PlayPause", true, L"camera", K(VK_INSERT), false, "", L"x", L"play", L"camera PlayPause", -1, false, L""},
    {L"cam_Stop", false, L"camera", K(VK_END, scCtrl), false, "", L"s", L"stop", L"camera Stop", -1, false, L""},
    {L"cam_AvanceLent", false, L"camera", K(VK_RIGHT, scCtrl), false, "", L"as", L"advance_slow",
     L"camera Advance Slow", -1, false, L""},
    {L"cam_AvanceRapide", false, L"camera", K(VK_DOWN, scCtrl), false, "", L"ff", L"fast_forward",
     L"camera Advance Fast", -1, false, L""},
    {L"cam_ReculeLent", false, L"camera", K(VK_LEFT, scCtrl), false, "", L"bs", L"back_slow", L"camera Back Slow", -1,
     false, L""},
    {L"cam_ReculeRapide", false, L"camera", K(VK_UP, scCtrl), false, "", L"bf", L"back_fast", L"camera Back Fast", -1,
     false, L""},
    {L"saCapturerBascule", false, L"action", K(VK_SPACE, scCtrl), false, "", L"c", L"capture", L"Capture", 14, true,
     L"Capture the video stream to the hard drive.\r\nYou may also start and stop the capture with the Space bar"},
    {L"acShowVideoPilotDV", false, L"action", 0, false, "", L"pv", L"pilot_video", L"", -1, false, L""},
    {L"acVertFlip", false, L"action", K(VK_F4), false, "", L"vf", L"vertical_flip", L"Flip vertically", 36, true,
     L"Flip the video top<=>down "},
    {L"acPelorin", false, L"action", K(VK_F8), false, "", L"pn", L"pelorin", L"Pelorin", 31, false,
     L"Launch Pelorin with the captured AVI clips"},
    {L"acOuvrirDossierVideos", false, L"action", K('V', scAlt), false, "", L"v", L"open_folder",
     L"Open the folder of captured videos", 34, false, L"Go to the folder where the video or audio clips are captured."},
    {L"acIncVolume", false, L"action", K(VK_ADD), true, "", L"iv", L"inc_volume", L"Increase the volume", -1, false,
     L""},
    {L"acDecVolume", false, L"action", K(VK_SUBTRACT), true, "", L"dv", L"dec_volume", L"Decrease the volume", -1,
     false, L""},
    {L"acSliders", false, L"frame", K('Y', scAlt), false, "", L"ss", L"sliders", L"Display the sliders", -1, false,
     L""},
    {L"acHorzFlip", false, L"action", K(VK_F4, scShift), false, "", L"zf", L"horizontal_flip", L"Flip horizontally",
     42, true,
     L"flip horizontally Left <=> Right\r\nCaution: The function will only be activated during preview and will be "
     L"inactivated during capture\r\nto avoid dropping frames."},
    {L"acShowAudioPilotDV", false, L"action", 0, false, "", L"pa", L"pilot_audio", L"", -1, false, L""},
    {L"cam_Toggle", false, L"camera", K(VK_HOME, scCtrl), false, "", L"ct", L"cameras_toggle", L"camera Toggle", -1,
     false, L""},
    {L"saExitFullScreen", false, L"action", K(VK_ESCAPE), false, "", L"ef", L"exit_fullscreen", L"Interrompre", -1,
     false, L""},
    {L"taraccourcis", true, L"Marbrecq", K(VK_F11), false, "", L"o", L"shortcuts", L"Display the shortcuts", 59, false,
     L"Display the table of shortcuts and token for script"},
    {L"taDecalage", true, L"Marbrecq", 0, false, "", L"dh", L"decalage", L"Hide the time difference", 0, false, L""},
    {L"taFreezepreview", true, L"Marbrecq", K(VK_F3), false, "", L"fp", L"freeze_preview", L"Freeze the preview", 50,
     false, L"Click to freeze the preview.\r\nUseful for capturing without overloading the CPU."},
    {L"taFreezeCapture", true, L"Marbrecq", K(VK_SPACE), false, "", L"fc", L"freeze_capture", L"Freeze the capture",
     52, true, L"Click to freeze the capture.\r\nUseful to pause the capture and resume it later in the same file."},
    {L"taIncruster", true, L"action", K(VK_F12), false, "", L"i", L"inlay", L"Inlay", 55, false,
     L"Click to activate inlay."},
    {L"taLock", true, L"Marbrecq", K(VK_F9), false, "", L"l", L"lock", L"Preview exact copy", 57, false,
     L"If pushed, then what you preview is what you capture (Recommended)"},
    {L"saListeFrame", false, L"frame", K('L', scAlt), false, "", L"lf", L"liste_frame", L"List Panel", 58, false,
     L"Display the gauges indicating free space or the load factor of CPU.\r\nDisplays also a list of files captured "
     L"during the current session."},
    {L"taMute", true, L"action", K('M', scCtrl), false, "", L"m", L"mute", L"Turn sound off", 24, false,
     L"Click to put the sound off.\r\nDoes not change the captured sound."},
    {L"saRatioNormal", false, L"Marbrecq", K(VK_F8, scAlt), false, "", L"rn", L"ratio_normal", L"Image normal", -1,
     false, L""},
    {L"saRatioNatif", false, L"Marbrecq", K(VK_F7, scAlt), false, "", L"rf", L"ratio_natif", L"Image native", -1,
     false, L""},
    {L"saRatio16x9", false, L"Marbrecq", K(VK_F6, scAlt), false, "", L"rw", L"ratio_16x9", L"Image 16x9", -1, false,
     L""},
    {L"saRatio4x3", false, L"Marbrecq", K(VK_F5, scAlt), false, "", L"rs", L"ratio_4x3", L"Image 4x3", -1, false, L""},
    {L"cam_Play", false, L"camera", K(VK_INSERT, scCtrl), false, "", L"cp", L"camera_play", L"camera Play", -1, false,
     L""},
    {L"cam_Pause", false, L"camera", K(VK_DELETE, scCtrl), false, "", L"co", L"camera_pause", L"camera Pause", -1,
     false, L""},
    {L"saIntervallo", false, L"Marbrecq", K(VK_PAUSE), true, "", L"it", L"intervalometer", L"Toggle intervalometer",
     -1, false, L""},
    {L"saScript", false, L"Marbrecq", 0, false, "", L"", L"", L"Launch script", 60, false, L""},
    {L"saSourceVideo", false, L"select", 0, false, "", L"sv", L"source_video", L"Video source", -1, false, L""},
    {L"saSourceAudio", false, L"select", 0, false, "", L"sa", L"source_audio", L"Source Audio", -1, false, L""},
    {L"saFormatCapture", false, L"select", 0, false, "", L"fc", L"format_capture", L"Format Capture", -1, false, L""},
};

const TToggleDef kToggleTable[kToggleCount] = {
    {L"tafullscreen", false, L"Put Full screen", L"Leave Full screen", L"Put Full screen", L"Leave Full screen", 5, 5},
    {L"cam_PlayPause", false, L"cam\u00e9ra PlayPause", L"cam\u00e9ra PlayPause", L"", L"", 0, 0},
    {L"taraccourcis", false, L"Display the shortcuts", L"Hide the shortcuts",
     L"Click to display the table of shortcuts and token of scripts",
     L"Click to hide the table of shortcuts and token of scripts.", 59, 59},
    {L"taDecalage", true, L"Add a time difference", L"Hide the time difference", L"", L"", 47, 47},
    {L"taFreezepreview", false, L"Freeze the preview", L"Resume the preview",
     L"Click to freeze the preview.\r\nUseful for capturing without overloading the CPU.", L"Click to resume preview",
     50, 51},
    {L"taFreezeCapture", false, L"Freeze the capture", L"Resume the capture",
     L"Click to freeze the capture.\r\nUseful to pause the capture and resume it later in the same file.",
     L"Click for resume the capture.\r\nUseful to capture several sequences of video in the\r\nsame file.", 52, 53},
    {L"taIncruster", false, L"Inlay", L"Stop Inlay", L"Click to activate inlay.", L"Click to stop inlay.", 55, 26},
    {L"taLock", false, L"Preview conforme", L"Free preview",
     L"Click to lock the preview.\r\nPreview is then identical to what is captured to a file.\r\n(Recommended)",
     L"Cliqck to unlock the preview.\r\nUseful only if you want to preview a different video\r\nthen what is captured.",
     57, 46},
    {L"taMute", false, L"Turn sound off", L"Turn sound on",
     L"Click to put the sound off.\r\nDoes not change the captured sound.",
     L"Click to put the sound on.\r\nDoes not change what is captured.", 24, 23},
};

const TActionDef* FindActionDef(const wchar_t* Name) {
    for (const TActionDef& def : kActionTable)
        if (std::wcscmp(def.Name, Name) == 0) return &def;
    return nullptr;
}

const TToggleDef* FindToggleDef(const wchar_t* Name) {
    for (const TToggleDef& def : kToggleTable)
        if (std::wcscmp(def.Name, Name) == 0) return &def;
    return nullptr;
}

namespace {

using Handler = void (TCaptureForm::*)(classlib::TObject*);

classlib::TNotifyEvent Bind(TCaptureForm* Form, Handler Method) {
    return [Form, Method](classlib::TObject* Sender) { (Form->*Method)(Sender); };
}

// Gives Action the properties of its table entry and puts it in List.
void Describe(widgets::custom::TCustomSuperAction* Action, const TActionDef& Def, classlib::TCustomActionList* List) {
    Action->SetName(Def.Name);
    Action->SetActionList(List);
    Action->SetCategory(Def.Category);
    Action->SetCaption(std::wstring(Def.Caption));
    Action->SetHint(std::wstring(Def.Hint));
    if (!Def.ShortCutAtCreation) Action->SetShortCut(Def.ShortCut);
    if (*Def.SecondaryShortCut != '\0') Action->AddSecondaryShortCut(Def.SecondaryShortCut);
    Action->SetSwitch(Def.Switch);
    Action->SetToken(Def.Token);
    Action->SetImageIndex(Def.ImageIndex);
    Action->SetAutoCheck(Def.AutoCheck);
}

}  // namespace

void TCaptureForm::BuildActions() {
    // In list order: a lookup by switch or token takes the first action that has it.
    const TActionDef* def = kActionTable;
    auto plain = [this, &def](TMainAction*& Field, Handler Execute, Handler Prepare = nullptr) {
        Field = new TMainAction(this);
        Describe(Field, *def++, al);
        Field->OnExecute = Bind(this, Execute);
        if (Prepare != nullptr) Field->Onprepare = Bind(this, Prepare);
    };
    auto toggle = [this, &def](TMainToggleAction*& Field, Handler TrueExecute, Handler FalseExecute,
                               Handler Prepare = nullptr) {
        Field = new TMainToggleAction(this);
        const TToggleDef* states = FindToggleDef(def->Name);
        Describe(Field, *def++, al);
        Field->OnTrueExecute = Bind(this, TrueExecute);
        Field->OnfalseExecute = Bind(this, FalseExecute);
        if (Prepare != nullptr) Field->Onprepare = Bind(this, Prepare);
        Field->SetFalseCaption(states->FalseCaption);
        Field->SetTrueCaption(states->TrueCaption);
        Field->SetFalseHint(states->FalseHint);
        Field->SetTrueHint(states->TrueHint);
        Field->SetFalseImageIndex(states->FalseImage);
        Field->SetTrueImageIndex(states->TrueImage);
        // The state the form gives; its caption, hint and image follow from the first change on.
        if (states->Checked) Field->classlib::TCustomAction::SetChecked(true);
    };
    using F = TCaptureForm;
    plain(saGrab, &F::saGrabexecute);
    toggle(tafullscreen, &F::tafullscreenTrueExecute, &F::tafullscreenfalseExecute);
    plain(acOptionsFrame, &F::acOptionsFrameExecute);
    plain(acDossiersFrame, &F::acDossiersFrameExecute);
    plain(acProgrammerFrame, &F::acProgrammerFrameExecute);
    plain(acExtraireFrame, &F::acExtraireFrameExecute);
    plain(acIncrusterFrame, &F::acIncrusterFrameExecute);
    plain(acQuitter, &F::acQuitterExecute);
    plain(acApropos, &F::acAproposExecute);
    plain(acCouper, &F::acCouperExecute);
    plain(acProgrammerBascule, &F::acProgrammerBasculeExecute);
    plain(acJpgOption, &F::acJpgOptionExecute);
    plain(acBmpOption, &F::acBmpOptionExecute);
    plain(acBasculerPanneau, &F::acBasculerPanneauExecute);
    plain(acNextPanneau, &F::acNextPanneauExecute);
    plain(acHelp, &F::acHelpExecute);
    plain(acReduire, &F::acReduireExecute);
    plain(acSourcesFrame, &F::acSourcesFrameExecute);
    toggle(cam_PlayPause, &F::cam_PlayPauseTrueExecute, &F::cam_PlayPausefalseExecute);
    plain(cam_Stop, &F::cam_StopExecute);
    plain(cam_AvanceLent, &F::cam_AvanceLentExecute);
    plain(cam_AvanceRapide, &F::cam_AvanceRapideExecute);
    plain(cam_ReculeLent, &F::cam_ReculeLentExecute);
    plain(cam_ReculeRapide, &F::cam_ReculeRapideExecute);
    plain(saCapturerBascule, &F::saCapturerBasculeexecute);
    plain(acShowVideoPilotDV, &F::acShowVideoPilotDVExecute);
    plain(acVertFlip, &F::acVertFlipExecute);
    plain(acPelorin, &F::acPelorinExecute);
    plain(acOuvrirDossierVideos, &F::acOuvrirDossierVideosExecute);
    plain(acIncVolume, &F::acIncVolumeExecute);
    plain(acDecVolume, &F::acDecVolumeExecute);
    plain(acSliders, &F::acSlidersExecute);
    plain(acHorzFlip, &F::acHorzFlipExecute);
    plain(acShowAudioPilotDV, &F::acShowAudioPilotDVExecute);
    plain(cam_Toggle, &F::cam_ToggleExecute);
    plain(saExitFullScreen, &F::saExitFullScreenexecute);
    toggle(taraccourcis, &F::taraccourcisTrueExecute, &F::taraccourcisfalseExecute, &F::taraccourcisprepare);
    toggle(taDecalage, &F::taDecalageTrueExecute, &F::taDecalagefalseExecute, &F::taDecalageprepare);
    toggle(taFreezepreview, &F::taFreezepreviewTrueExecute, &F::taFreezepreviewfalseExecute);
    toggle(taFreezeCapture, &F::taFreezeCaptureTrueExecute, &F::taFreezeCapturefalseExecute);
    toggle(taIncruster, &F::taIncrusterTrueExecute, &F::taIncrusterfalseExecute);
    toggle(taLock, &F::taLockTrueExecute, &F::taLockfalseExecute);
    plain(saListeFrame, &F::saListeFrameexecute);
    toggle(taMute, &F::taMuteTrueExecute, &F::taMutefalseExecute);
    plain(saRatioNormal, &F::saRatioNormalexecute);
    plain(saRatioNatif, &F::saRatioNatifexecute);
    plain(saRatio16x9, &F::saRatio16x9execute);
    plain(saRatio4x3, &F::saRatio4x3execute);
    plain(cam_Play, &F::cam_PlayExecute);
    plain(cam_Pause, &F::cam_PauseExecute);
    plain(saIntervallo, &F::saIntervalloexecute);
    plain(saScript, &F::saScriptexecute, &F::saScriptprepare);
    plain(saSourceVideo, &F::saSourceVideoexecute, &F::saSourceVideoprepare);
    plain(saSourceAudio, &F::saSourceAudioexecute, &F::saSourceAudioprepare);
    plain(saFormatCapture, &F::saFormatCaptureexecute, &F::saFormatCaptureprepare);
}

namespace {

std::wstring UiText(unsigned Id) { return settings::LoadProgramText(Id); }
std::string AnsiText(unsigned Id) { return classlib::WideToAnsi(settings::LoadProgramText(Id)); }

// The texts of one action that the interface texts replace; 0 where the action keeps its own.
struct TActionTexts {
    widgets::custom::TCustomSuperAction* Action;
    unsigned Category;
    unsigned Caption;
    unsigned Hint;
    unsigned SecondaryShortCut;
};

}  // namespace

void TCaptureForm::LoadInterfaceTexts() {
    SetCaption(classlib::Format(UiText(IDS_UI_CAPTION_FORMAT), {settings::ProgramTitle(), UiText(IDS_UI_MAKER)}));
    Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
    gaugeVolume->SetHint(AnsiText(IDS_UI_GAUGE_VOLUME_HINT));
    labVolume->SetCaption(UiText(IDS_UI_LAB_VOLUME));
    labVolume->Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
    sbCouper->Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
    sbCouper->SetCaption(L"");
    ExtraireFrame1->Image->SetHint(UiText(IDS_UI_GRAB_IMAGE_HINT));
    ProgrammerFrame1->KitSpinEdit1->SetHint(AnsiText(IDS_UI_START_HOURS_HINT));
    ProgrammerFrame1->KitSpinEdit2->SetHint(AnsiText(IDS_UI_START_MINUTES_HINT));
    ProgrammerFrame1->KitSpinEdit3->SetHint(AnsiText(IDS_UI_START_SECONDS_HINT));
    ProgrammerFrame1->DateEdit1->SetHint(AnsiText(IDS_UI_START_DATE_HINT));
    ProgrammerFrame1->KitSpinEdit4->SetHint(AnsiText(IDS_UI_END_HOURS_HINT));
    ProgrammerFrame1->KitSpinEdit5->SetHint(AnsiText(IDS_UI_END_MINUTES_HINT));
    ProgrammerFrame1->KitSpinEdit6->SetHint(AnsiText(IDS_UI_END_SECONDS_HINT));
    ProgrammerFrame1->DateEdit2->SetHint(AnsiText(IDS_UI_END_DATE_HINT));
    SourcesFrame->sbVideo->SetCaption(L"");
    SourcesFrame->sbPelorin->SetCaption(L"");
    tb->SetHint(AnsiText(IDS_UI_TB_HINT));
    for (int i = 0; i < 4 && i < StatusBar1->Panels()->Count(); ++i)
        StatusBar1->Panels()->Items(i)->SetText(UiText(IDS_UI_STATUS_0 + i));
    CaptureBtn->SetCaption(UiText(IDS_UI_CAPTURE_BTN));
    CaptureBtn->Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
    grabBtn->SetCaption(UiText(IDS_UI_GRAB_BTN));
    grabBtn->Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
    Shape1->SetHint(UiText(IDS_UI_SHAPE1_HINT));
    vwEcran->SetHint(classlib::WideToAnsi(UiText(IDS_UI_ECRAN_HINT)));
    Panel2->Font()->SetName(AnsiText(IDS_UI_FONT_TIMES));
    Yslider->SetHint(AnsiText(IDS_UI_YSLIDER_HINT));
    Xslider->SetHint(AnsiText(IDS_UI_XSLIDER_HINT));
    PanneauSources1->SetCaption(UiText(IDS_UI_PANNEAU_CAPTION));
    PanneauSources1->SetHint(UiText(IDS_UI_PANNEAU_HINT));

    // Category, caption and hint as far as the table gives them, in this order.
    const TActionTexts actions[] = {
        {saGrab, IDS_UI_CAT_ACTION, IDS_UI_SAGRAB_CAPTION, IDS_UI_SAGRAB_HINT, IDS_UI_SC_CTRL_G},
        {acOptionsFrame, IDS_UI_CAT_FRAME, IDS_UI_ACOPTIONSFRAME_CAPTION, IDS_UI_ACOPTIONSFRAME_HINT,
         IDS_UI_SC_ALT_O},
        {acDossiersFrame, IDS_UI_CAT_FRAME, IDS_UI_ACDOSSIERSFRAME_CAPTION, IDS_UI_ACDOSSIERSFRAME_HINT, 0},
        {acProgrammerFrame, IDS_UI_CAT_FRAME, IDS_UI_ACPROGRAMMERFRAME_CAPTION,
         IDS_UI_ACPROGRAMMERFRAME_HINT, 0},
        {acExtraireFrame, IDS_UI_CAT_FRAME, IDS_UI_ACEXTRAIREFRAME_CAPTION, IDS_UI_ACEXTRAIREFRAME_HINT, 0},
        {acIncrusterFrame, IDS_UI_CAT_FRAME, IDS_UI_ACINCRUSTERFRAME_CAPTION,
         IDS_UI_ACINCRUSTERFRAME_HINT, 0},
        {acQuitter, IDS_UI_CAT_GENERAL, IDS_UI_ACQUITTER_CAPTION, IDS_UI_ACQUITTER_HINT, IDS_UI_SC_CTRL_Q},
        {taLock, 0, 0, IDS_UI_TALOCK_HINT, 0},
        {acApropos, IDS_UI_CAT_FRAME, IDS_UI_ACAPROPOS_CAPTION, IDS_UI_ACAPROPOS_HINT, 0},
        {acCouper, IDS_UI_CAT_ACTION, IDS_UI_ACCOUPER_CAPTION, IDS_UI_ACCOUPER_HINT, IDS_UI_SC_CTRL_X},
        {acProgrammerBascule, IDS_UI_CAT_ACTION, IDS_UI_ACPROGRAMMERBASCULE_CAPTION, 0, 0},
        {acJpgOption, IDS_UI_CAT_SETTINGS, IDS_UI_ACJPGOPTION_CAPTION, 0, 0},
        {acBmpOption, IDS_UI_CAT_SETTINGS, IDS_UI_ACBMPOPTION_CAPTION, 0, 0},
        {acBasculerPanneau, IDS_UI_CAT_FRAME, IDS_UI_ACBASCULERPANNEAU_CAPTION, 0, 0},
        {acNextPanneau, IDS_UI_CAT_FRAME, IDS_UI_ACNEXTPANNEAU_CAPTION, 0, IDS_UI_SC_ALT_N},
        {acHelp, IDS_UI_CAT_FRAME, IDS_UI_ACHELP_CAPTION, IDS_UI_ACHELP_HINT, IDS_UI_SC_ALT_H},
        {acReduire, IDS_UI_CAT_FRAME, IDS_UI_ACREDUIRE_CAPTION, 0, 0},
        {acSourcesFrame, IDS_UI_CAT_FRAME, IDS_UI_ACSOURCESFRAME_CAPTION, IDS_UI_ACSOURCESFRAME_HINT,
         IDS_UI_SC_ALT_S},
        {saCapturerBascule, IDS_UI_CAT_ACTION, IDS_UI_SACAPTURERBASCULE_CAPTION,
         IDS_UI_SACAPTURERBASCULE_HINT, 0},
        {acShowVideoPilotDV, IDS_UI_CAT_ACTION, 0, 0, 0},
        {acVertFlip, IDS_UI_CAT_ACTION, IDS_UI_ACVERTFLIP_CAPTION, IDS_UI_ACVERTFLIP_HINT, 0},
        {acPelorin, IDS_UI_CAT_ACTION, IDS_UI_ACPELORIN_CAPTION, IDS_UI_ACPELORIN_HINT, 0},
        {acOuvrirDossierVideos, IDS_UI_CAT_ACTION, IDS_UI_ACOUVRIRDOSSIERVIDEOS_CAPTION,
         IDS_UI_ACOUVRIRDOSSIERVIDEOS_HINT, 0},
        {acSliders, IDS_UI_CAT_FRAME, IDS_UI_ACSLIDERS_CAPTION, 0, 0},
        {acHorzFlip, IDS_UI_CAT_ACTION, IDS_UI_ACHORZFLIP_CAPTION, IDS_UI_ACHORZFLIP_HINT, 0},
        {acShowAudioPilotDV, IDS_UI_CAT_ACTION, 0, 0, 0},
    };
    for (const TActionTexts& texts : actions) {
        widgets::custom::TCustomSuperAction* action = texts.Action;
        if (texts.Category != 0) action->SetCategory(UiText(texts.Category));
        if (texts.Caption != 0) action->SetCaption(UiText(texts.Caption));
        if (texts.Hint != 0) action->SetHint(UiText(texts.Hint));
        if (texts.SecondaryShortCut != 0) {
            action->ClearSecondaryShortCuts();
            action->AddSecondaryShortCut(AnsiText(texts.SecondaryShortCut));
        }
    }
    FontDialog1->Font()->SetName(AnsiText(IDS_UI_FONT_ARIAL));
}

}  // namespace ui
