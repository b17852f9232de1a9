// The main window's components: the video column, the tool bars, the status bar, the panels and the
// pop-up menus, and the handlers the controls' events are bound to.
#include <algorithm>

#include "classlib/conversions.h"
#include "classlib/forms.h"
#include "ui/action_images.h"
#include "ui/capture_form.h"
#include "ui/dossiers_frame.h"
#include "ui/erreur_frame.h"
#include "ui/extraire_frame.h"
#include "ui/form_parts.h"
#include "ui/incruster_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/programmer_frame.h"
#include "ui/sources_frame.h"

namespace ui {

namespace {

constexpr classlib::TColor SystemColor(int Index) { return static_cast<classlib::TColor>(0x80000000u | Index); }
// The inlay action's picture (taIncruster's False image).
constexpr int kImageInlay = 55;
constexpr int kImageTimeDifference = 47;

}  // namespace

void TCaptureForm::BuildComponents() {
    using namespace widgets;
    // The window's controls show their hints (the tool bars' buttons their actions' ones); set
    // first, so that every control placed below takes it from its parent.
    SetShowHint(true);
    ImageList1 = Make<classlib::TImageList>(this, L"ImageList1");
    ImageList1->SetWidth(22);
    ImageList1->SetHeight(22);
    FillActionImages(ImageList1);
    al = Make<TUcActionList>(this, L"al");
    // The actions' pictures, which the linked buttons and menu items show.
    al->SetImages(ImageList1);
    AppEvents1 = Make<kit::TAppEvents>(this, L"AppEvents1");
    Script1 = Make<custom::TScript>(this, L"Script1");
    Script1->SetActionList(al);
    DroppedFramesTimer = Make<custom::TThreadedTimer>(this, L"DroppedFramesTimer");
    DroppedFramesTimer->SetInterval(300);
    DroppedFramesTimer->OnTimer = [this](classlib::TObject* Sender) { DroppedActionTimer(Sender); };
    DroppedFramesTimer->SetEnabled(true);
    odListe = Make<TUcOpenDialog>(this, L"odListe");
    FontDialog1 = Make<classlib::TFontDialog>(this, L"FontDialog1");

    // The video column.
    Panel1 = Place<TUcPanel>(this, this, L"Panel1", VideoColumnX + 10, 40, 420, 340);
    Panel1->SetBevelOuter(classlib::TPanelBevel::bvNone);
    Panel1->SetCaption(L"");
    Shape2 = Place<TUcShape>(this, Panel1, L"Shape2", 2, 2, 416, 316);
    Shape2->Brush()->SetColor(SystemColor(COLOR_BTNFACE));
    Panel2 = Place<TUcPanel>(this, Panel1, L"Panel2", 14, 14, 392, 292);
    Panel2->SetColor(classlib::clBlack);
    // Black under visual themes too, where a panel would show its parent's background.
    Panel2->SetParentBackground(false);
    Panel2->Font()->SetColor(classlib::clWhite);
    Panel2->SetCaption(L"No video");
    Panel2->SetVisible(false);
    vwEcran = Place<dshow::TVideoWindow>(this, Panel1, L"vwEcran", 14, 14, 392, 292);
    vwEcran->SetShowHint(true);
    Yslider = Place<kit::TKitSlider>(this, Panel1, L"Yslider", 396, 6, 24, 286);
    Yslider->SetOrientation(kit::TSliderOrientation::soVertical);
    Yslider->SetColor(SystemColor(COLOR_BTNFACE));
    Yslider->SetMaxValue(930);
    Yslider->SetValue(100);
    Yslider->SetOptions(kit::soSmooth);
    Yslider->SetVisible(false);
    Xslider = Place<kit::TKitSlider>(this, Panel1, L"Xslider", 6, 298, 393, 22);
    Xslider->SetColor(classlib::clWhite);
    Xslider->SetMaxValue(970);
    Xslider->SetValue(900);
    Xslider->SetOptions(kit::soSmooth);
    Xslider->SetVisible(false);
    Shape1 = Place<TUcShape>(this, Panel1, L"Shape1", 396, 298, 20, 20);
    Shape1->SetShowHint(true);
    // The corner of the frame: its colour, within its outline (the layout sizes it).
    Shape1->Brush()->SetColor(SystemColor(COLOR_BTNFACE));
    Shape1->Pen()->SetStyle(classlib::TPenStyle::psClear);

    sbCouper = Place<TUcSpeedButton>(this, this, L"sbCouper", VideoColumnX + 24, 390, 36, 36);
    // The record picture above its caption, wide enough for "Stop Capture" at 120 dots per inch.
    CaptureBtn = Place<TUcBitBtn>(this, this, L"CaptureBtn", VideoColumnX + 64, 385, 88, 46);
    CaptureBtn->SetLayout(classlib::TButtonLayout::blGlyphTop);
    CaptureBtn->SetSpacing(2);
    labVolume = Place<TUcLabel>(this, this, L"labVolume", VideoColumnX + 156, 402, 36, 13);
    labVolume->SetCaption(L"Volume");
    tb = Place<kit::TKitSlider>(this, this, L"tb", VideoColumnX + 206, 396, 88, 25);
    tb->SetIncrement(100);
    tb->SetMaxValue(10000);
    tb->SetOptions(kit::soSmooth);
    gaugeVolume = Place<custom::TTextGauge>(this, this, L"gaugeVolume", VideoColumnX + 296, 396, 28, 25);
    gaugeVolume->SetMaxValue(100);
    gaugeVolume->SetShowHint(true);
    grabBtn = Place<TUcBitBtn>(this, this, L"grabBtn", VideoColumnX + 334, 386, 90, 44);

    // The tool bars.
    tbActions = Place<TUcToolBar>(this, this, L"tbActions", 0, 4, 340, 30);
    tbActions->SetImages(ImageList1);
    tbActions->SetFlat(true);
    tbActions->SetButtonWidth(28);
    tbActions->SetButtonHeight(28);
    tbPanneaux = Place<TUcToolBar>(this, this, L"tbPanneaux", PanelColumnX + 8, 4, 9 * 28 + 4, 30);
    tbPanneaux->SetImages(ImageList1);
    tbPanneaux->SetFlat(true);
    tbPanneaux->SetButtonWidth(28);
    tbPanneaux->SetButtonHeight(28);
    // Placed by the layout, not stacked along the top. A tool bar starts aligned at the top, which
    // stretched it over the window's width: the action bar then covered the panel bar.
    tbActions->SetAlign(classlib::TAlign::alNone);
    tbPanneaux->SetAlign(classlib::TAlign::alNone);
    tbActions->SetBounds(0, 4, 340, 30);
    tbPanneaux->SetBounds(PanelColumnX + 8, 4, 9 * 28 + 4, 30);

    // The status bar: four owner-drawn panels of 175 pixels.
    // 19 pixels at 96 dots per inch, in proportion at more, so that the panels' texts show whole.
    const int statusHeight = MulDiv(19, classlib::ScreenPixelsPerInch(), 96);
    StatusBar1 = Place<TUcStatusBar>(this, this, L"StatusBar1", 0, 459 - statusHeight, 700, statusHeight);
    StatusBar1->SetAlign(classlib::TAlign::alBottom);
    StatusBar1->SetColor(SystemColor(COLOR_ACTIVEBORDER));
    StatusBar1->SetShowHint(false);
    for (int i = 0; i < 4; ++i) {
        classlib::TStatusPanel* panel = StatusBar1->Panels()->Add();
        panel->SetWidth(175);
        panel->SetAlignment(classlib::TAlignment::taCenter);
        panel->SetStyle(classlib::TStatusPanelStyle::psOwnerDraw);
    }

    // The panels: the nine of the column, then the error panel over the whole window.
    SourcesFrame = new TSourcesFrame(this);
    DossiersFrame1 = new TDossiersFrame(this);
    ProgrammerFrame1 = new TProgrammerFrame(this);
    ExtraireFrame1 = new TExtraireFrame(this);
    IncrusterFrame1 = new TIncrusterFrame(this);
    OptionsFrame = new TOptionsFrame(this);
    ListeFrame = new TListeFrame(this);
    HelpFrame1 = new THelpFrame(this);
    AproposFrame1 = new TAproposFrame(this);
    for (TPanelFrame* frame : std::initializer_list<TPanelFrame*>{SourcesFrame, DossiersFrame1, ProgrammerFrame1,
                                                                  ExtraireFrame1, IncrusterFrame1, OptionsFrame,
                                                                  ListeFrame, HelpFrame1, AproposFrame1}) {
        frame->SetParent(this);
        // Clear of the status bar (taller at more dots per inch), whose texts a panel in front would cut.
        frame->SetHeight(std::min(frame->Height(), StatusBar1->Top() - frame->Top()));
    }
    ErreurFrame1 = new TErreurFrame(this);
    ErreurFrame1->SetParent(this);
    // The overlay panel's "Nothing" shows the inlay's picture of the main window's list.
    IncrusterFrame1->HxImgBtn4->SetImages(ImageList1);
    IncrusterFrame1->HxImgBtn4->SetImageIndex(kImageInlay);
    // Its time-difference button shows the time-difference toggle's picture.
    IncrusterFrame1->tbDecalage->SetImages(ImageList1);
    IncrusterFrame1->tbDecalage->SetImageIndex(kImageTimeDifference);

    // The pop-up menus.
    PopupMenu = Make<TUcPopupMenu>(this, L"PopupMenu");
    PanneauSources1 = Make<TUcMenuItem>(this, L"PanneauSources1");
    VideoSettingsMenu = Make<TUcPopupMenu>(this, L"VideoSettingsMenu");
    AudioSettingsMenu = Make<TUcPopupMenu>(this, L"AudioSettingsMenu");
    pmProfiles = Make<TUcPopupMenu>(this, L"pmProfiles");
}

// Links the controls to their actions and binds the controls' events (after the actions exist).
void TCaptureForm::BindHandlers() {
    using namespace widgets;
    // Buttons of the action tool bar, with separators after taFreezeCapture and after acHorzFlip.
    auto addButton = [this](TUcToolBar* bar, classlib::TBasicAction* action, const wchar_t* name) {
        auto* button = new TUcToolButton(this);
        button->SetName(name);
        button->SetParent(bar);
        button->SetAction(action);
        return button;
    };
    auto addSeparator = [this](TUcToolBar* bar) {
        auto* separator = new TUcToolButton(this);
        separator->SetStyle(classlib::TToolButtonStyle::tbsSeparator);
        separator->SetParent(bar);
    };
    addButton(tbActions, tafullscreen, L"tbFullScreen");
    addButton(tbActions, taMute, L"tbMute");
    addButton(tbActions, taFreezepreview, L"tbDebrayerPreview");
    tbDebrayerCapture = addButton(tbActions, taFreezeCapture, L"tbDebrayerCapture");
    addSeparator(tbActions);
    addButton(tbActions, taLock, L"tbLock");
    addButton(tbActions, taIncruster, L"tbIncruster");
    addButton(tbActions, acVertFlip, L"tbVertFlip");
    addButton(tbActions, acHorzFlip, L"tbHorzFlip");
    addSeparator(tbActions);
    addButton(tbActions, saScript, L"tbScript");
    addButton(tbActions, taraccourcis, L"tbRaccourcis");
    addButton(tbActions, acQuitter, L"tbQuitter");

    // Panel buttons and the pop-up menu's panel sub-menu, in the same order.
    const std::initializer_list<classlib::TBasicAction*> panelActions{acSourcesFrame,   acDossiersFrame, acProgrammerFrame,
                                                           acExtraireFrame,  acIncrusterFrame, acOptionsFrame,
                                                           saListeFrame,     acHelp,          acApropos};
    int n = 0;
    for (classlib::TBasicAction* action : panelActions) {
        addButton(tbPanneaux, action, (L"tbPanneau" + std::to_wstring(n)).c_str());
        auto* item = new TUcMenuItem(this);
        item->SetName(L"PanneauItem" + std::to_wstring(n));
        item->SetAction(action);
        PanneauSources1->Add(item);
        ++n;
    }

    // The video pop-up menu.
    auto addItem = [this](classlib::TBasicAction* action) {
        auto* item = new TUcMenuItem(this);
        if (action != nullptr) {
            item->SetName(action->Name() + L"Item");
            item->SetAction(action);
        } else {
            item->SetCaption(L"-");
        }
        PopupMenu->Items()->Add(item);
    };
    for (classlib::TBasicAction* action : std::initializer_list<classlib::TBasicAction*>{saCapturerBascule, acCouper, saGrab})
        addItem(action);
    addItem(nullptr);
    PopupMenu->Items()->Add(PanneauSources1);
    addItem(nullptr);
    for (classlib::TBasicAction* action : std::initializer_list<classlib::TBasicAction*>{
             tafullscreen, acReduire, saRatioNormal, saRatioNatif, saRatio4x3, saRatio16x9, taMute, taIncruster,
             acVertFlip, acHorzFlip, acSliders, acQuitter})
        addItem(action);
    videoPopup_.Menu = PopupMenu;
    vwEcran->SetPopupMenu(&videoPopup_);

    CaptureBtn->SetAction(saCapturerBascule);
    sbCouper->SetAction(acCouper);
    grabBtn->SetAction(saGrab);
    ProgrammerFrame1->ProgBtn->SetAction(acProgrammerBascule);
    SourcesFrame->sbVideo->SetAction(acOuvrirDossierVideos);
    SourcesFrame->sbPelorin->SetAction(acPelorin);
    SourcesFrame->sbVideoPilotVCR->SetAction(acShowVideoPilotDV);
    SourcesFrame->sbAudioPilotVCR->SetAction(acShowAudioPilotDV);

    // Events of the form's own controls and of the panels that the main window takes over.
    auto bind = [this](classlib::TNotifyEvent& event, void (TCaptureForm::*handler)(classlib::TObject*)) {
        event = [this, handler](classlib::TObject* Sender) { (this->*handler)(Sender); };
    };
    bind(tb->OnChange, &TCaptureForm::tbChange);
    bind(Xslider->OnChange, &TCaptureForm::XsliderChange);
    bind(Yslider->OnChange, &TCaptureForm::YsliderChange);
    Shape1->OnMouseDown = [this](classlib::TObject* Sender, classlib::TMouseButton, classlib::TShiftState, int, int) {
        acSlidersExecute(Sender);
    };
    bind(SourcesFrame->cboxvideo->OnChange, &TCaptureForm::cboxVideoChange);
    bind(SourcesFrame->cboxAudio->OnChange, &TCaptureForm::cboxAudioChange);
    bind(SourcesFrame->cbFormatCapture->OnClick, &TCaptureForm::cbFormatCaptureClick);
    bind(SourcesFrame->cbEntries->OnChange, &TCaptureForm::SourcesFramecbEntriesChange);
    bind(SourcesFrame->ActualiserVideoSpeedBtn->OnClick, &TCaptureForm::ActualiserVideoBtnClick);
    // A device comes back or goes with its check mark: the re-enumeration follows the box's click.
    bind(HelpFrame1->clSources->OnClickCheck, &TCaptureForm::HelpFrame1CheckListBox1Click);
    bind(SourcesFrame->sbVideoSettings->OnClick, &TCaptureForm::VideoPropBtnClick);
    bind(SourcesFrame->sbAudioSettings->OnClick, &TCaptureForm::AudiopropBtnClick);
    bind(SourcesFrame->sbFormatCapturesettings->OnClick, &TCaptureForm::SourcesFramesbFormatCapturesettingsClick);
    bind(SourcesFrame->leFramerate->OnExit, &TCaptureForm::SourcesFrameleFramerateExit);
    bind(VideoSettingsMenu->OnPopup, &TCaptureForm::VideoSettingsMenuPopup);
    bind(AudioSettingsMenu->OnPopup, &TCaptureForm::AudioSettingsMenuPopup);
    bind(pmProfiles->OnPopup, &TCaptureForm::pmProfilesPopup);
    // The profiles come up on a right click in the settings panel's group of system profiles (and
    // on the sources panel's format list while it holds "Wmv").
    OptionsFrame->gbProfiles->SetPopupMenu(pmProfiles);
    bind(DossiersFrame1->VideoDirEdit->OnChange, &TCaptureForm::DossiersFrame1VideoDirEditChange);
    bind(DossiersFrame1->VideoRacineEdit->OnExit, &TCaptureForm::DossiersFrame1VideoRacineEditExit);
    bind(DossiersFrame1->cbVideoDate->OnClick, &TCaptureForm::DossiersFrame1VideoDateClick);
    bind(DossiersFrame1->ImageDirEdit->OnChange, &TCaptureForm::OptionsframeImageDirEditChange);
    bind(DossiersFrame1->ImageRacineEdit->OnExit, &TCaptureForm::OptionsframeImageRacineEditExit);
    bind(DossiersFrame1->cbImageDate->OnClick, &TCaptureForm::OptionsframeImageDateClick);
    bind(DossiersFrame1->fePelorin->OnChange, &TCaptureForm::DossiersFrame1fePelorinChange);
    DossiersFrame1->PlugInDirEdit->OnAfterDialog = [this](classlib::TObject*, std::wstring& Name, bool& Action) {
        if (Action) PluginFolderChosen(Name);
    };
    DossiersFrame1->VideoRacineEdit->OnKeyPress = [this](classlib::TObject* Sender, char& Key) {
        DossiersFrame1VideoRacineEditKeyPress(Sender, Key);
    };
    DossiersFrame1->ImageRacineEdit->OnKeyPress = [this](classlib::TObject* Sender, char& Key) {
        DossiersFrame1ImageRacineEditKeyPress(Sender, Key);
    };
    bind(ProgrammerFrame1->NowBtn->OnClick, &TCaptureForm::NowBtnClick);
    // The intervalometer follows every change of the switch, not only the clicks that complete.
    bind(ExtraireFrame1->KitSwitch1->OnOn, &TCaptureForm::ExtraireFrame1KitSwitch1Click);
    bind(ExtraireFrame1->KitSwitch1->OnOff, &TCaptureForm::ExtraireFrame1KitSwitch1Click);
    StatusBar1->OnDrawPanel = [this](classlib::TCustomStatusBar* Bar, classlib::TStatusPanel* Panel, const RECT& Rect) {
        StatusBar1DrawPanel(Bar, Panel, Rect);
    };
    AppEvents1->OnShowHint = [this](std::string& /*HintStr*/, bool& CanShow, classlib::THintInfo& Info) {
        StatusBarHintShow(CanShow, Info);
    };
    bind(OptionsFrame->cbConfirmerVideo->OnClick, &TCaptureForm::OptionsFramecbConfirmerVideoClick);
    bind(OptionsFrame->cbConfirmerImage->OnClick, &TCaptureForm::OptionsFramecbConfirmerImageClick);
    bind(OptionsFrame->cbNotifier->OnClick, &TCaptureForm::OptionsFramecbNotifierClick);
    bind(OptionsFrame->cbActiverSuperposition->OnClick, &TCaptureForm::OptionsFramecbActiverSuperpositionClick);
    bind(OptionsFrame->rgPrefs->OnClick, &TCaptureForm::OptionsFramergPrefsClick);
    bind(OptionsFrame->cbMpeg2ratioNormal->OnClick, &TCaptureForm::OptionsFramecbMpeg2ratioNormalClick);
    bind(OptionsFrame->rgExtension->OnClick, &TCaptureForm::OptionsframergExtensionClick);
    bind(OptionsFrame->TrackBar1->OnChange, &TCaptureForm::OptionsframeTrackBar1Change);
    bind(OptionsFrame->cbDeInterlacer->OnClick, &TCaptureForm::OptionsFramecbDeInterlacerClick);
    BindPanelLinks();
    BindRecordingHandlers();
}

}  // namespace ui
