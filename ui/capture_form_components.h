// The main window's components: the controls, panels, pop-up menus, actions and camcorder windows
// that TCaptureForm holds, made by capture_form_build.cpp and capture_actions.cpp and owned by the form.
#pragma once

#include "classlib/dialogs.h"
#include "classlib/image_list.h"
#include "dshow/video_window.h"
#include "widgets/custom/scripts.h"
#include "widgets/custom/super_actions.h"
#include "widgets/custom/text_gauge.h"
#include "widgets/custom/threaded_timer.h"
#include "widgets/kit/app_events.h"
#include "widgets/kit/kit_slider.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_dialogs.h"
#include "widgets/unicode/uc_menus.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_controls.h"

namespace widgets::custom {
class TScript;
}

namespace ui {

class TSourcesFrame;
class TDossiersFrame;
class TProgrammerFrame;
class TExtraireFrame;
class TIncrusterFrame;
class TOptionsFrame;
class TListeFrame;
class THelpFrame;
class TAproposFrame;
class TErreurFrame;
class TcamForm;

// The two kinds of actions of the main action list: plain commands and two-state toggles.
using TMainAction = widgets::custom::TSuperAction;
using TMainToggleAction = widgets::custom::TtoggleAction;

// The form's own pointers to its components (the form owns what they point to).
struct TCaptureFormComponents {
    // Pictures of the actions and buttons (22 x 22).
    classlib::TImageList* ImageList1 = nullptr;
    widgets::TUcActionList* al = nullptr;
    // The application's events the main window takes (its first idle).
    widgets::kit::TAppEvents* AppEvents1 = nullptr;
    // Script files run against the action list; the command line (the program's main window only).
    widgets::custom::TScript* Script1 = nullptr;
    widgets::custom::TSwitch* Switch1 = nullptr;
    // The 300 ms status tick.
    widgets::custom::TThreadedTimer* DroppedFramesTimer = nullptr;
    widgets::TUcOpenDialog* odListe = nullptr;
    classlib::TFontDialog* FontDialog1 = nullptr;

    // The video column: the video panel, the video area (also the no-video plate), the video
    // window, the frame around the video and the square at the sliders' crossing.
    widgets::TUcPanel* Panel1 = nullptr;
    widgets::TUcPanel* Panel2 = nullptr;
    dshow::TVideoWindow* vwEcran = nullptr;
    widgets::TUcShape* Shape2 = nullptr;
    widgets::TUcShape* Shape1 = nullptr;
    // The overlay position sliders (0..970 and 0..930, hidden at start) and the volume slider
    // (0..10000).
    widgets::kit::TKitSlider* Xslider = nullptr;
    widgets::kit::TKitSlider* Yslider = nullptr;
    widgets::kit::TKitSlider* tb = nullptr;
    widgets::TUcLabel* labVolume = nullptr;
    // The volume gauge (Volume / 100).
    widgets::custom::TTextGauge* gaugeVolume = nullptr;
    widgets::TUcBitBtn* CaptureBtn = nullptr;
    widgets::TUcSpeedButton* sbCouper = nullptr;
    widgets::TUcBitBtn* grabBtn = nullptr;
    // The tool bars: actions (toggles) and panels.
    widgets::TUcToolBar* tbActions = nullptr;
    widgets::TUcToolBar* tbPanneaux = nullptr;
    // The action tool bar's button of taFreezeCapture.
    widgets::TUcToolButton* tbDebrayerCapture = nullptr;
    widgets::TUcStatusBar* StatusBar1 = nullptr;

    // The pop-up menus: the video's, with its panel sub-menu; the video and sound settings menus;
    // the Windows Media profiles.
    widgets::TUcPopupMenu* PopupMenu = nullptr;
    widgets::TUcMenuItem* PanneauSources1 = nullptr;
    widgets::TUcPopupMenu* VideoSettingsMenu = nullptr;
    widgets::TUcPopupMenu* AudioSettingsMenu = nullptr;
    widgets::TUcPopupMenu* pmProfiles = nullptr;

    // The panels (numbers 0 to 8) and the error panel.
    TSourcesFrame* SourcesFrame = nullptr;
    TDossiersFrame* DossiersFrame1 = nullptr;
    TProgrammerFrame* ProgrammerFrame1 = nullptr;
    TExtraireFrame* ExtraireFrame1 = nullptr;
    TIncrusterFrame* IncrusterFrame1 = nullptr;
    TOptionsFrame* OptionsFrame = nullptr;
    TListeFrame* ListeFrame = nullptr;
    THelpFrame* HelpFrame1 = nullptr;
    TAproposFrame* AproposFrame1 = nullptr;
    TErreurFrame* ErreurFrame1 = nullptr;

    // The actions, in list order (capture_actions.cpp makes them from the action table).
    TMainAction* saGrab = nullptr;
    TMainToggleAction* tafullscreen = nullptr;
    TMainAction* acOptionsFrame = nullptr;
    TMainAction* acDossiersFrame = nullptr;
    TMainAction* acProgrammerFrame = nullptr;
    TMainAction* acExtraireFrame = nullptr;
    TMainAction* acIncrusterFrame = nullptr;
    TMainAction* acQuitter = nullptr;
    TMainAction* acApropos = nullptr;
    TMainAction* acCouper = nullptr;
    TMainAction* acProgrammerBascule = nullptr;
    TMainAction* acJpgOption = nullptr;
    TMainAction* acBmpOption = nullptr;
    TMainAction* acBasculerPanneau = nullptr;
    TMainAction* acNextPanneau = nullptr;
    TMainAction* acHelp = nullptr;
    TMainAction* acReduire = nullptr;
    TMainAction* acSourcesFrame = nullptr;
    TMainToggleAction* cam_PlayPause = nullptr;
    TMainAction* cam_Stop = nullptr;
    TMainAction* cam_AvanceLent = nullptr;
    TMainAction* cam_AvanceRapide = nullptr;
    TMainAction* cam_ReculeLent = nullptr;
    TMainAction* cam_ReculeRapide = nullptr;
    TMainAction* saCapturerBascule = nullptr;
    TMainAction* acShowVideoPilotDV = nullptr;
    TMainAction* acVertFlip = nullptr;
    TMainAction* acPelorin = nullptr;
    TMainAction* acOuvrirDossierVideos = nullptr;
    TMainAction* acIncVolume = nullptr;
    TMainAction* acDecVolume = nullptr;
    TMainAction* acSliders = nullptr;
    TMainAction* acHorzFlip = nullptr;
    TMainAction* acShowAudioPilotDV = nullptr;
    TMainAction* cam_Toggle = nullptr;
    TMainAction* saExitFullScreen = nullptr;
    TMainToggleAction* taraccourcis = nullptr;
    TMainToggleAction* taDecalage = nullptr;
    TMainToggleAction* taFreezepreview = nullptr;
    TMainToggleAction* taFreezeCapture = nullptr;
    TMainToggleAction* taIncruster = nullptr;
    TMainToggleAction* taLock = nullptr;
    TMainAction* saListeFrame = nullptr;
    TMainToggleAction* taMute = nullptr;
    TMainAction* saRatioNormal = nullptr;
    TMainAction* saRatioNatif = nullptr;
    TMainAction* saRatio16x9 = nullptr;
    TMainAction* saRatio4x3 = nullptr;
    TMainAction* cam_Play = nullptr;
    TMainAction* cam_Pause = nullptr;
    TMainAction* saIntervallo = nullptr;
    TMainAction* saScript = nullptr;
    TMainAction* saSourceVideo = nullptr;
    TMainAction* saSourceAudio = nullptr;
    TMainAction* saFormatCapture = nullptr;

    // The camcorder windows (made at the first showing, owned by the form): video, sound, and the
    // one that receives the transport actions.
    TcamForm* camForm1 = nullptr;
    TcamForm* camForm2 = nullptr;
    TcamForm* ActiveCamForm = nullptr;
};

}  // namespace ui
