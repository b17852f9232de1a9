// The main window's layout, panels and on/off actions under Xvfb, with the stand-in camera and
// camcorder previewing in the window's own graph: the video fitted to each picture ratio and to the
// camcorder's 16:9 flag, full screen over the backdrop and back, the reduced window, the columns
// swapped, one panel at a time, the overlay sliders, mute and volume, flips waiting for the format,
// the freezes, and a script chosen in the script dialog.
#include <windows.h>
#include <control.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>

#include <thread>

#include <fstream>

#include <functional>

#include <memory>
#include <string>

#include "classlib/forms.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/graph_pins.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "platform/standins/dv_camcorder.h"
#include "settings/settings_catalogue.h"
#include "tests/standins/first_standins_support.h"
#include "ui/capture_form.h"
#include "ui/dossiers_frame.h"
#include "ui/extraire_frame.h"
#include "ui/incruster_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/panel_frame.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"

namespace {

using namespace settings;

constexpr wchar_t kCamera[] = L"Quillotrane Test Camera";
constexpr wchar_t kCamcorder[] = L"DV Source - Video";

using first_standins::PumpUntil;

std::wstring TempName(const wchar_t* Stem) {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    return std::wstring(base) + Stem + std::to_wstring(GetCurrentProcessId());
}

// The main window of a program in the temporary folder (nothing stored: the defaults, saved
// nowhere), with the first idle's attachment of the video window done, and the full-screen backdrop
// beside it.
class TLayoutForm : public ui::TCaptureForm {
public:
    TLayoutForm(classlib::TComponent* AOwner, std::wstring exeName)
        : ui::TCaptureForm(AOwner), exeName_(std::move(exeName)) {}
    std::wstring ExeName() const override { return exeName_; }

private:
    std::wstring exeName_;
};

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        form_.reset(classlib::NewForm<TLayoutForm>(nullptr, TempName(L"quill-layout-") + L"\\Quillotrane.exe"));
        engine::SetEngineHost(form_.get());
        filters::SetFiltersHost(form_.get());
        backdrop_.reset(classlib::NewForm<ui::Tplaque>(nullptr));
        module_ = std::make_unique<engine::Tdm>(nullptr);
        form_->Show();
        form_->vwEcran->SetFilterGraph(module_->fg);
        module_->AttachRenderers(form_->vwEcran->GetFilter().Get());
        videoDevices_ = std::make_unique<engine::TCaptureDeviceList>();
        audioDevices_ = std::make_unique<engine::TCaptureDeviceList>();
        ASSERT_TRUE(videoDevices_->Refresh(CLSID_VideoInputDeviceCategory));
        ASSERT_TRUE(audioDevices_->Refresh(CLSID_AudioInputDeviceCategory));
        videoSources_ = std::make_unique<engine::TvideoSourcesList>();
        audioSources_ = std::make_unique<engine::TAudioSourcesList>();
        engine::FillSourceLists(*videoDevices_, *audioDevices_, *videoSources_, *audioSources_);
    }
    void TearDown() override {
        if (module_->CurrentVideoSource != nullptr) module_->CurrentVideoSource->KillGraph(true);
        form_->vwEcran->SetFilterGraph(nullptr);
        module_.reset();
        videoSources_.reset();
        audioSources_.reset();
        videoDevices_.reset();
        audioDevices_.reset();
        backdrop_.reset();
        form_.reset();
        engine::SetEngineHost(nullptr);
        filters::SetFiltersHost(nullptr);
        CoUninitialize();
    }

    // Makes a stand-in device's picture the current video, running.
    void Preview(const wchar_t* Name) {
        engine::TVideoSource* source = videoSources_->Find(Name);
        ASSERT_NE(nullptr, source) << "no source named " << testing::PrintToString(std::wstring(Name));
        ASSERT_TRUE(source->BuildGraph());
        ASSERT_TRUE(module_->RunGraph());
        form_->OverlayAllowed = true;
    }
    RECT Video() const { return form_->vwEcran->BoundsRect(); }
    static int Width(const RECT& R) { return R.right - R.left; }
    static int Height(const RECT& R) { return R.bottom - R.top; }
    // The picture in the video area is as large as the area allows at W:H, centred in it.
    void ExpectFitted(int W, int H) {
        const RECT area = form_->Panel2->BoundsRect();
        const RECT video = Video();
        EXPECT_LE(std::abs(Width(video) * H - Height(video) * W), std::max(W, H)) << Width(video) << "x" << Height(video);
        EXPECT_TRUE(Width(video) == Width(area) || Height(video) == Height(area));
        EXPECT_LE(std::abs((video.left - area.left) - (area.right - video.right)), 1);
        EXPECT_LE(std::abs((video.top - area.top) - (area.bottom - video.bottom)), 1);
        // The frame and the sliders follow the picture.
        EXPECT_EQ(video.left - 12, form_->Shape2->Left());
        EXPECT_EQ(Width(video) + 24, form_->Shape2->Width());
        EXPECT_EQ(video.right - 6, form_->Yslider->Left());
        EXPECT_EQ(video.bottom - 6, form_->Xslider->Top());
        EXPECT_EQ(form_->Yslider->Left(), form_->Shape1->Left());
        EXPECT_EQ(form_->Xslider->Top(), form_->Shape1->Top());
    }
    int DVRatio() { return form_->OptionsFrame->rgDVRatio->ItemIndex(); }
    ui::TPanelFrame* ShownPanel(int& Count) {
        ui::TPanelFrame* shown = nullptr;
        Count = 0;
        for (std::uint8_t n = 0; n <= 8; ++n)
            if (form_->PanelFrame(n)->Visible()) {
                shown = form_->PanelFrame(n);
                ++Count;
            }
        return shown;
    }
    int CheckedPanelActions() {
        int checked = 0;
        for (std::uint8_t n = 0; n <= 8; ++n) checked += form_->PanelAction(n)->Checked() ? 1 : 0;
        return checked;
    }

    std::unique_ptr<TLayoutForm> form_;
    std::unique_ptr<ui::Tplaque> backdrop_;
    std::unique_ptr<engine::Tdm> module_;
    std::unique_ptr<engine::TCaptureDeviceList> videoDevices_;
    std::unique_ptr<engine::TCaptureDeviceList> audioDevices_;
    std::unique_ptr<engine::TvideoSourcesList> videoSources_;
    std::unique_ptr<engine::TAudioSourcesList> audioSources_;
};

TEST_F(LayoutTest, EachPictureRatioFitsTheVideoInItsAreaAndIsShownOnTheSettingsPanel) {
    // Without a picture nothing moves.
    const RECT before = Video();
    form_->saRatio16x9->Execute();
    EXPECT_EQ(2, ParamAspectRatio->Value());
    const RECT after = Video();
    EXPECT_TRUE(EqualRect(&before, &after));

    Preview(kCamera);
    form_->saRatio16x9->Execute();
    ExpectFitted(16, 9);
    EXPECT_EQ(1, DVRatio());
    EXPECT_EQ(2, form_->OptionsFrame->rgRatioDivX->ItemIndex());
    form_->saRatio4x3->Execute();
    ExpectFitted(4, 3);
    EXPECT_EQ(0, DVRatio());
    EXPECT_EQ(1, ParamAspectRatio->Value());

    // A PAL picture without a picture ratio is shown at its own 720:576, which counts as 4:3.
    engine::Native.SourceWidth = 720;
    engine::Native.SourceHeight = 576;
    engine::Native.SourceAspectX = 0;
    engine::Native.SourceAspectY = 0;
    form_->saRatioNatif->Execute();
    ExpectFitted(720, 576);
    EXPECT_EQ(0, DVRatio());
    form_->saRatioNormal->Execute();
    ExpectFitted(720, 576);
    EXPECT_EQ(0, form_->OptionsFrame->rgRatioDivX->ItemIndex());
    // The source's own ratio wins over its pixels; 14:9 already counts as 16:9.
    engine::Native.SourceAspectX = 14;
    engine::Native.SourceAspectY = 9;
    form_->ApplyAspectRatio();
    ExpectFitted(14, 9);
    EXPECT_EQ(1, DVRatio());
    // A source that tells no size at all is shown 4:3; a stored ratio this program does not know
    // shows the source as it is.
    engine::Native.SourceWidth = engine::Native.SourceHeight = 0;
    engine::Native.SourceAspectX = engine::Native.SourceAspectY = 0;
    form_->saRatioNatif->Execute();
    ExpectFitted(4, 3);
    engine::Native.SourceAspectX = 16;
    engine::Native.SourceAspectY = 9;
    ParamAspectRatio->SetValue(7);
    form_->ApplyAspectRatio();
    ExpectFitted(16, 9);
}

TEST_F(LayoutTest, TheCamcordersWideFlagReshapesTheVideoAndOtherSourcesIgnoreIt) {
    HWND window = form_->Handle();
    // A camera has no DV picture: the message changes nothing.
    Preview(kCamera);
    form_->saRatio4x3->Execute();
    form_->saRatioNormal->Execute();
    const RECT camera = Video();
    SendMessageW(window, WM_USER + 3, 1, 1);
    EXPECT_FALSE(form_->SixteenNineFlag);
    const RECT cameraAfter = Video();
    EXPECT_TRUE(EqualRect(&camera, &cameraAfter));
    module_->CurrentVideoSource->KillGraph(false);

    // The camcorder's own frames switch to 16:9 and back: its scene detector tells the window.
    Preview(kCamcorder);
    ASSERT_NE(nullptr, module_->CurrentVideoSource->SceneFilter);
    auto camcorder = engine::Query<standins::IQuillDVCamcorder>(module_->VideoSourceFilter.Get(),
                                                               standins::IID_IQuillDVCamcorder);
    ASSERT_TRUE(camcorder);
    ASSERT_HRESULT_SUCCEEDED(camcorder->SetWide(TRUE));
    ASSERT_TRUE(PumpUntil([&] { return form_->SixteenNineFlag; }));
    ExpectFitted(16, 9);
    EXPECT_EQ(1, DVRatio());
    // Only a message with WParam 1 counts.
    SendMessageW(window, WM_USER + 3, 0, 0);
    ExpectFitted(16, 9);
    ASSERT_HRESULT_SUCCEEDED(camcorder->SetWide(FALSE));
    ASSERT_TRUE(PumpUntil([&] { return !form_->SixteenNineFlag; }));
    ExpectFitted(4, 3);
    EXPECT_EQ(0, DVRatio());
    // A chosen ratio holds whatever the camcorder says.
    form_->saRatio16x9->Execute();
    SendMessageW(window, WM_USER + 3, 1, 0);
    ExpectFitted(16, 9);
}

TEST_F(LayoutTest, FullScreenPutsThePictureOverTheBackdropAndEscapeBringsItBack) {
    // Without a picture only the action's state changes; Esc outside full screen does nothing.
    form_->saExitFullScreen->Execute();
    EXPECT_FALSE(form_->tafullscreen->Checked());
    form_->tafullscreen->Execute();
    EXPECT_TRUE(form_->tafullscreen->Checked());
    EXPECT_FALSE(backdrop_->Visible());
    form_->saExitFullScreen->Execute();
    EXPECT_FALSE(form_->tafullscreen->Checked());

    Preview(kCamera);
    form_->saRatio16x9->Execute();
    const RECT inWindow = Video();
    auto videoWindow = form_->vwEcran->As<IVideoWindow>(IID_IVideoWindow);
    ASSERT_TRUE(videoWindow);

    form_->tafullscreen->Execute();
    EXPECT_TRUE(form_->tafullscreen->Checked());
    ASSERT_TRUE(backdrop_->Visible());
    EXPECT_TRUE(IsWindowVisible(backdrop_->Handle()));
    EXPECT_TRUE(IsZoomed(backdrop_->Handle()));
    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int screenH = GetSystemMetrics(SM_CYSCREEN);
    long left = 0, top = 0, width = 0, height = 0;
    ASSERT_HRESULT_SUCCEEDED(videoWindow->GetWindowPosition(&left, &top, &width, &height));
    // 16:9 as large as the screen allows inside a 12-pixel frame, centred.
    EXPECT_TRUE(width == screenW - 24 || height == screenH - 24) << width << "x" << height;
    EXPECT_LE(std::abs(width * 9 - height * 16), 16);
    EXPECT_LE(std::abs(left - (screenW - left - width)), 1);
    EXPECT_LE(std::abs(top - (screenH - top - height)), 1);
    OAHWND owner = 0;
    ASSERT_HRESULT_SUCCEEDED(videoWindow->get_Owner(&owner));
    EXPECT_EQ(reinterpret_cast<OAHWND>(backdrop_->Handle()), owner);
    EXPECT_EQ(left - 12, backdrop_->Shape1->Left());
    EXPECT_EQ(top - 12, backdrop_->Shape1->Top());
    EXPECT_EQ(width + 24, backdrop_->Shape1->Width());
    EXPECT_EQ(height + 24, backdrop_->Shape1->Height());
    // A new ratio is laid out over the screen.
    form_->saRatio4x3->Execute();
    ASSERT_HRESULT_SUCCEEDED(videoWindow->GetWindowPosition(&left, &top, &width, &height));
    EXPECT_TRUE(width == screenW - 24 || height == screenH - 24) << width << "x" << height;
    EXPECT_LE(std::abs(width * 3 - height * 4), 4);

    form_->saExitFullScreen->Execute();
    EXPECT_FALSE(form_->tafullscreen->Checked());
    EXPECT_FALSE(backdrop_->Visible());
    EXPECT_FALSE(form_->vwEcran->FullScreen());
    ASSERT_HRESULT_SUCCEEDED(videoWindow->get_Owner(&owner));
    EXPECT_EQ(reinterpret_cast<OAHWND>(form_->Panel1->Handle()), owner);
    ExpectFitted(4, 3);
    form_->saRatio16x9->Execute();
    const RECT back = Video();
    EXPECT_TRUE(EqualRect(&inWindow, &back));
}

TEST_F(LayoutTest, ReducedWindowShowsTheVideoAloneAndRestoresTheFullWindow) {
    form_->SourcesFrame->cboxvideo->Items()->Add(kCamera);
    form_->SourcesFrame->cboxvideo->SetItemIndex(0);
    const std::wstring title = form_->Caption();
    form_->acReduire->Execute();
    EXPECT_TRUE(form_->acReduire->Checked());
    EXPECT_EQ(0, form_->Panel1->Left());
    EXPECT_EQ(0, form_->Panel1->Top());
    EXPECT_EQ(form_->Panel1->Width(), form_->ClientWidth());
    EXPECT_EQ(form_->Panel1->Height(), form_->ClientHeight());
    EXPECT_EQ(L"Restore", form_->acReduire->Caption());
    EXPECT_EQ(kCamera, form_->Caption());

    // Swapping the columns meanwhile waits for the whole window (the video starts at the left).
    ASSERT_TRUE(ParamEcranGauche->Value());
    form_->acBasculerPanneau->Execute();
    EXPECT_FALSE(ParamEcranGauche->Value());
    EXPECT_EQ(0, form_->Panel1->Left());

    ParamWideScreen->SetValue(true);
    form_->acReduire->Execute();
    EXPECT_FALSE(form_->acReduire->Checked());
    EXPECT_EQ(700, form_->ClientWidth());
    EXPECT_EQ(459, form_->ClientHeight());
    EXPECT_EQ(L"Reduce", form_->acReduire->Caption());
    EXPECT_EQ(title, form_->Caption());
    EXPECT_EQ(276, form_->Panel1->Left()) << "the video column at the right, as swapped while reduced";
    EXPECT_EQ(76, form_->Panel1->Top());
    EXPECT_EQ(0, form_->SourcesFrame->Left());
    // The action tool bar stands against the right edge, inside the window.
    EXPECT_EQ(700, form_->tbActions->Left() + form_->tbActions->Width());
}

TEST_F(LayoutTest, OnePanelAtATimeWithItsActionChecked) {
    int count = 0;
    for (std::uint8_t n = 0; n <= 8; ++n) {
        form_->PanelAction(n)->Execute();
        EXPECT_EQ(form_->PanelFrame(n), ShownPanel(count)) << "panel " << int(n);
        EXPECT_EQ(1, count);
        EXPECT_EQ(n, ParamPanneauActif->Value());
        EXPECT_TRUE(form_->PanelAction(n)->Checked());
        EXPECT_EQ(1, CheckedPanelActions());
        EXPECT_EQ(ui::PanelColumnX, form_->PanelFrame(n)->Left());
    }
    // After the last panel comes the first; the shown panel shown again stays; no panel 9.
    form_->acNextPanneau->Execute();
    EXPECT_EQ(form_->SourcesFrame, ShownPanel(count));
    form_->acSourcesFrame->Execute();
    EXPECT_EQ(form_->SourcesFrame, ShownPanel(count));
    EXPECT_TRUE(form_->acSourcesFrame->Checked());
    form_->ShowPanel(9);
    EXPECT_EQ(form_->SourcesFrame, ShownPanel(count));
    EXPECT_EQ(0, ParamPanneauActif->Value());
    form_->acNextPanneau->Execute();
    EXPECT_EQ(form_->DossiersFrame1, ShownPanel(count));

    // The help panel opens on its first page.
    form_->HelpFrame1->PageControl1->SetActivePage(form_->HelpFrame1->tsSystem);
    form_->acHelp->Execute();
    EXPECT_EQ(form_->HelpFrame1->tsAide, form_->HelpFrame1->PageControl1->ActivePage());

    // The labels that show the next names lead to where they are chosen.
    form_->DossiersFrame1->LabelVideo->OnClick(form_->DossiersFrame1->LabelVideo);
    EXPECT_EQ(form_->SourcesFrame, ShownPanel(count));
    form_->SourcesFrame->LabelVideo->OnClick(form_->SourcesFrame->LabelVideo);
    EXPECT_EQ(form_->DossiersFrame1, ShownPanel(count));
    form_->DossiersFrame1->LabelImage->OnClick(form_->DossiersFrame1->LabelImage);
    EXPECT_EQ(form_->ExtraireFrame1, ShownPanel(count));
    form_->ExtraireFrame1->destlabel->OnClick(form_->ExtraireFrame1->destlabel);
    EXPECT_EQ(form_->DossiersFrame1, ShownPanel(count));
    EXPECT_EQ(1, CheckedPanelActions());

    // The video starts at the left with the panels at the right; mirrored, and back.
    EXPECT_EQ(10, form_->Panel1->Left());
    EXPECT_EQ(427, form_->DossiersFrame1->Left());
    form_->acBasculerPanneau->Execute();
    EXPECT_FALSE(ParamEcranGauche->Value());
    EXPECT_EQ(276, form_->Panel1->Left());
    EXPECT_EQ(0, form_->DossiersFrame1->Left());
    EXPECT_EQ(8, form_->tbPanneaux->Left());
    form_->acBasculerPanneau->Execute();
    EXPECT_TRUE(ParamEcranGauche->Value());
    EXPECT_EQ(10, form_->Panel1->Left());
    EXPECT_EQ(427, form_->DossiersFrame1->Left());
    EXPECT_EQ(435, form_->tbPanneaux->Left());
    EXPECT_EQ(16, form_->tbActions->Left());
}

TEST_F(LayoutTest, SlidersSwitchTheOverlayOnAndMoveIt) {
    EXPECT_FALSE(form_->Xslider->Visible());
    form_->acSliders->Execute();
    EXPECT_TRUE(form_->Xslider->Visible());
    EXPECT_TRUE(form_->Yslider->Visible());
    EXPECT_TRUE(form_->taIncruster->Checked());
    EXPECT_TRUE(ParamWantIncrust->Value());
    EXPECT_EQ(L"Hide the sliders of inlay", form_->acSliders->Caption());

    TincrustRec record = ParamIncrustRec->Value();
    record.Alignement = 3;
    ParamIncrustRec->SetValue(record);
    form_->Xslider->SetValue(123);
    EXPECT_EQ(123, ParamIncrustRec->Value().Xpos);
    EXPECT_EQ(1, ParamIncrustRec->Value().Alignement) << "a subtitle becomes two centred lines";
    form_->Yslider->SetValue(30);
    EXPECT_EQ(900, ParamIncrustRec->Value().Ypos) << "the vertical slider runs upwards";

    // Hidden again, the overlay stays on.
    form_->acSliders->Execute();
    EXPECT_FALSE(form_->Xslider->Visible());
    EXPECT_TRUE(form_->taIncruster->Checked());
    EXPECT_EQ(L"Show the sliders of inlay", form_->acSliders->Caption());
}

// The overlay panel shows a loaded place on the sliders without the sliders writing it back; its
// subtitle button centres the horizontal slider and keeps the subtitle.
TEST_F(LayoutTest, TheOverlayPanelShowsItsPlaceOnTheSlidersAndCentresASubtitle) {
    TincrustRec record = ParamIncrustRec->Value();
    record.Alignement = 3;
    record.Xpos = 321;
    record.Ypos = 200;
    ParamIncrustRec->SetValue(record);
    form_->IncrusterFrame1->LoadFromRec(record);
    EXPECT_EQ(321, form_->Xslider->Value());
    EXPECT_EQ(form_->Yslider->MaxValue() - 200, form_->Yslider->Value());
    EXPECT_EQ(3, ParamIncrustRec->Value().Alignement) << "loading must not turn the subtitle into centred lines";
    EXPECT_EQ(321, ParamIncrustRec->Value().Xpos);
    EXPECT_EQ(200, ParamIncrustRec->Value().Ypos);

    form_->IncrusterFrame1->tbLeftAlign->Click();
    EXPECT_EQ(0, ParamIncrustRec->Value().Alignement);
    form_->IncrusterFrame1->tbSousTitre->Click();
    EXPECT_EQ(500, form_->Xslider->Value());
    EXPECT_EQ(500, ParamIncrustRec->Value().Xpos);
    EXPECT_EQ(3, ParamIncrustRec->Value().Alignement);
}

TEST_F(LayoutTest, VolumeStepsStayInRangeAndMuteKeepsTheVolume) {
    ParamVolume->SetValue(9500);
    form_->acIncVolume->Execute();
    EXPECT_EQ(10000, ParamVolume->Value());
    EXPECT_EQ(10000, form_->tb->Value());
    form_->acIncVolume->Execute();
    EXPECT_EQ(10000, ParamVolume->Value());
    EXPECT_EQ(100, form_->gaugeVolume->Progress());
    ParamVolume->SetValue(500);
    form_->acDecVolume->Execute();
    EXPECT_EQ(0, ParamVolume->Value());
    EXPECT_EQ(0, form_->tb->Value());

    // Stored muted (the default), the window starts muted; sound comes back at the same volume.
    ASSERT_TRUE(form_->taMute->Checked());
    ParamVolume->SetValue(6000);
    form_->taMute->Execute();
    EXPECT_FALSE(form_->taMute->Checked());
    EXPECT_FALSE(ParamMuteOn->Value());
    EXPECT_EQ(6000, ParamVolume->Value());
    EXPECT_EQ(60, form_->gaugeVolume->Progress());
    form_->taMute->Execute();
    EXPECT_TRUE(form_->taMute->Checked());
    EXPECT_TRUE(ParamMuteOn->Value());
    EXPECT_EQ(6000, ParamVolume->Value());
}

TEST_F(LayoutTest, FlipsWaitForTheFormatAndFreezesStopTheStampers) {
    form_->OverlayAllowed = false;
    form_->acVertFlip->Execute();
    EXPECT_TRUE(form_->acVertFlip->Checked());
    EXPECT_TRUE(ParamWantVertFlip->Value()) << "the wish is kept";
    EXPECT_FALSE(form_->VertFlipApplied);
    form_->OverlayAllowed = true;
    form_->ApplyVerticalFlip();
    EXPECT_TRUE(form_->VertFlipApplied);
    form_->acVertFlip->Execute();
    EXPECT_FALSE(ParamWantVertFlip->Value());
    EXPECT_FALSE(form_->VertFlipApplied);
    form_->acHorzFlip->Execute();
    EXPECT_TRUE(ParamWantHorzFlip->Value());
    EXPECT_TRUE(form_->HorzFlipApplied);

    form_->taFreezepreview->Execute();
    EXPECT_TRUE(form_->taFreezepreview->Checked());
    EXPECT_TRUE(module_->TamponerVideo->Freeze());
    EXPECT_TRUE(module_->TamponerAudio->Freeze());
    form_->taFreezepreview->Execute();
    EXPECT_FALSE(module_->TamponerVideo->Freeze());

    // Frozen capture: the frame is crossed and the backdrop grey until it resumes.
    form_->taFreezeCapturefalseExecute(nullptr);
    EXPECT_TRUE(module_->ControlCaptureVideo->Freeze());
    EXPECT_TRUE(module_->AudioCapTamponer->Freeze());
    EXPECT_EQ(classlib::TBrushStyle::bsDiagCross, form_->Shape2->Brush()->Style());
    EXPECT_EQ(classlib::TBrushStyle::bsDiagCross, form_->Shape1->Brush()->Style()) << "the frame's corner";
    EXPECT_EQ(classlib::TBrushStyle::bsDiagCross, backdrop_->Shape1->Brush()->Style());
    EXPECT_EQ(classlib::clBtnFace, backdrop_->Color());
    form_->taFreezeCaptureTrueExecute(nullptr);
    EXPECT_FALSE(module_->ControlCaptureVideo->Freeze());
    EXPECT_EQ(classlib::TBrushStyle::bsSolid, form_->Shape2->Brush()->Style());
    EXPECT_EQ(classlib::TBrushStyle::bsSolid, form_->Shape1->Brush()->Style());
    EXPECT_EQ(classlib::clBlack, backdrop_->Color());
}

// Answers the script dialog of this process from another thread: with a file name, or cancelled.
class DialogAnswer {
public:
    explicit DialogAnswer(std::wstring FileName) : file_(std::move(FileName)), thread_([this] { Run(); }) {}
    ~DialogAnswer() {
        done_ = true;
        thread_.join();
    }
    bool answered() const { return answered_; }

private:
    void Run() {
        const DWORD start = GetTickCount();
        while (!done_ && GetTickCount() - start < 20000) {
            Sleep(50);
            HWND dialog = nullptr;
            EnumThreadWindowsForProcess(dialog);
            if (dialog == nullptr) continue;
            if (!file_.empty()) {
                // The name box of the file dialog (a combo box, or an edit in the older look).
                HWND box = GetDlgItem(dialog, 0x47c);
                if (box == nullptr) box = GetDlgItem(dialog, 0x480);
                if (box != nullptr) SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file_.c_str()));
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            } else {
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            answered_ = true;
            return;
        }
    }
    static BOOL CALLBACK Find(HWND window, LPARAM data) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        if (process != GetCurrentProcessId() || !IsWindowVisible(window) || std::wstring(name) != L"#32770")
            return TRUE;
        *reinterpret_cast<HWND*>(data) = window;
        return FALSE;
    }
    static void EnumThreadWindowsForProcess(HWND& found) { EnumWindows(Find, reinterpret_cast<LPARAM>(&found)); }

    std::wstring file_;
    std::atomic<bool> done_{false};
    std::atomic<bool> answered_{false};
    std::thread thread_;
};

TEST_F(LayoutTest, TheScriptButtonRunsTheChosenFileAndNothingWhenCancelled) {
    const std::wstring script = TempName(L"quill-script-") + L".txt";
    {
        std::ofstream out(script.c_str(), std::ios::binary);
        out << "+m\r\nvertical_flip\r\nrs\r\n";
    }
    if (form_->taMute->Checked()) form_->taMute->Execute();  // starts with sound
    ASSERT_FALSE(form_->taMute->Checked());
    {
        DialogAnswer cancel(L"");
        form_->saScript->Execute();
        EXPECT_TRUE(cancel.answered());
    }
    EXPECT_FALSE(form_->taMute->Checked());
    {
        DialogAnswer choose(script);
        form_->saScript->Execute();
        EXPECT_TRUE(choose.answered());
    }
    EXPECT_TRUE(form_->taMute->Checked());
    EXPECT_TRUE(ParamMuteOn->Value());
    EXPECT_TRUE(form_->acVertFlip->Checked());
    EXPECT_TRUE(ParamWantVertFlip->Value()) << "the flip's handler reads the state it has just been given";
    EXPECT_EQ(1, ParamAspectRatio->Value());
    DeleteFileW(script.c_str());
}


}  // namespace
