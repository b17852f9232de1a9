// The program's windows as a user sees them, at the screen's resolution: every caption of the main
// window (each panel, the error panel), of the two camcorder windows and of the dialogs fits its
// control, every button shows a caption or a picture, and the pictures come from the program's
// resources. CTest runs these tests twice: at 96 dots per inch in the shared test prefix, and at
// 120 in a prefix of their own (tests/ui/wine_120dpi.sh). The screenshot of each panel is kept in the
// build folder's screenshots, as look_*.bmp.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/forms.h"
#include "engine/capture_data_module.h"
#include "settings/settings_catalogue.h"
#include "tests/ui/capture_form_fixture.h"
#include "tests/ui/caption_fit.h"
#include "ui/action_images.h"
#include "ui/erreur_frame.h"
#include "widgets/custom/color_button.h"
#include "widgets/kit/date_edit.h"
#include "ui/incruster_frame.h"
#include "ui/nav_capture_frame.h"
#include "ui/panel_frame.h"
#include "ui/programmer_frame.h"
#include "ui/raccourcis_form.h"
#include "ui/save_prefs_form.h"
#include "ui/side_forms.h"
#include "widgets/unicode/uc_dialogs.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "window_screenshot.h"

namespace {

using namespace quill_test;

// The resolution this run checks: 96 dots per inch, or the one QUILL_WINE_DPI names (the run in
// the 120-dots-per-inch prefix), so that a prefix set up wrongly fails instead of checking 96 twice.
int ExpectedDpi() {
    wchar_t value[16] = {};
    const DWORD n = GetEnvironmentVariableW(L"QUILL_WINE_DPI", value, 16);
    return n > 0 && n < 16 ? _wtoi(value) : 96;
}

std::wstring DpiSuffix() {
    return ExpectedDpi() == 96 ? L"" : L"_" + std::to_wstring(ExpectedDpi()) + L"dpi";
}

int Shoot(HWND Window, const std::wstring& Name) {
    SetWindowPos(Window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    PumpWindowMessages(5, 20);
    return SaveWindowScreenshot(Window, L"look_" + Name + DpiSuffix() + L".bmp");
}

std::string Lines(const std::vector<std::string>& Problems) {
    std::string all;
    for (const std::string& p : Problems) all += "\n  " + p;
    return all;
}

// The main window of a program started with the test camera and microphone.
class CaptionFitTest : public StartedFormTest {
protected:
    void Start() {
        StartedFormTest::Start({L"Source video=Quillotrane Test Camera", L"Source Audio=Quillotrane Test Microphone",
                                L"Capture Format=5", L"Preview Locked=0"});
    }
};

TEST_F(CaptionFitTest, EveryCaptionFitsAndEveryButtonShowsACaptionOrAPicture) {
    ASSERT_EQ(ExpectedDpi(), classlib::ScreenPixelsPerInch()) << "the prefix's resolution";
    Start();
    TCaptionFit fit;
    // Every control of the main window, shown or hidden: the panels, the error panel, the
    // per-format and per-state controls.
    fit.Walk(form_.get(), L"main window");
    for (ui::TcamForm* camcorder : {form_->camForm1, form_->camForm2}) {
        ASSERT_NE(nullptr, camcorder);
        fit.Walk(camcorder, L"camcorder window");
    }
    auto prefs = std::unique_ptr<ui::TSavePrefsForm>(classlib::NewForm<ui::TSavePrefsForm>(nullptr));
    fit.Walk(prefs.get(), L"save-preferences dialog");
    auto keys = std::unique_ptr<ui::TRaccourcisForm>(classlib::NewForm<ui::TRaccourcisForm>(nullptr));
    keys->FillGrid(form_->al);
    fit.Walk(keys.get(), L"shortcuts window");
    // A question the program asks with its own message form (the overwrite question's buttons).
    auto question = std::unique_ptr<widgets::TUcMessageForm>(classlib::NewForm<widgets::TUcMessageForm>(
        nullptr, L"The file C:\\Videos\\Video_0.avi exists already.\r\nDo you want to replace it?",
        widgets::TMsgDlgType::mtConfirmation, widgets::MsgDlgButtons({widgets::mbYes, widgets::mbNo, widgets::mbAll})));
    fit.Walk(question.get(), L"question");
    // The pop-ups of the panels: the overlay's colour drop-down and the schedule's calendar.
    widgets::custom::TColorButton* colours = form_->IncrusterFrame1->ColorButton;
    colours->DropDown();
    ASSERT_NE(nullptr, colours->DropDownWindow());
    fit.Walk(colours->DropDownWindow(), L"colour drop-down");
    colours->CloseDropDown();
    ASSERT_NE(nullptr, form_->ProgrammerFrame1->DateEdit1->Popup());
    fit.Walk(form_->ProgrammerFrame1->DateEdit1->Popup(), L"calendar pop-up");
    // The looks of a recording and of a schedule give the capture and schedule buttons other
    // captions ("Stop Capture", "Stop Prog") and pictures.
    const std::pair<bool (ui::TCaptureForm::*)(), const wchar_t*> looks[] = {
        {&ui::TCaptureForm::ShowCapturingState, L"main window (recording)"},
        {&ui::TCaptureForm::ShowScheduleWaitingState, L"main window (schedule waiting)"},
        {&ui::TCaptureForm::ShowScheduledCaptureState, L"main window (scheduled recording)"}};
    for (const auto& [look, where] : looks) {
        ASSERT_TRUE((form_.get()->*look)()) << classlib::WideToUtf8(where);
        fit.Walk(form_.get(), where);
    }
    EXPECT_EQ(L"Stop Prog", form_->ProgrammerFrame1->ProgBtn->Caption());
    EXPECT_EQ(L"Stop Capture", form_->CaptureBtn->Caption());
    EXPECT_GT(Shoot(form_->Handle(), L"main_window_recording"), 1000);
    ASSERT_TRUE(form_->ShowPreviewState());
    EXPECT_EQ(L"Capture", form_->CaptureBtn->Caption());

    EXPECT_TRUE(fit.Problems.empty()) << fit.Problems.size() << " at " << ExpectedDpi()
                                      << " dots per inch:" << Lines(fit.Problems);
    // What the walk saw: the program's captions and its picture-only buttons.
    EXPECT_GT(fit.Captions, 100);
    EXPECT_GT(fit.Pictures, 25);

    // The main window with each panel, the error panel, the camcorder window and the dialogs, as
    // pictures in the build folder.
    const wchar_t* const panels[] = {L"sources",  L"folders",   L"schedule", L"grab", L"inlay",
                                     L"settings", L"clip_list", L"help",     L"about"};
    for (std::uint8_t n = 0; n < 9; ++n) {
        form_->ShowPanel(n);
        // Nothing of the panel hides under the status bar, and the status bar's texts show whole.
        const ui::TPanelFrame* frame = form_->PanelFrame(n);
        EXPECT_LE(frame->Top() + frame->Height(), form_->StatusBar1->Top()) << panels[n];
        EXPECT_GT(Shoot(form_->Handle(), std::wstring(L"main_window_") + panels[n]), 1000) << panels[n];
    }
    form_->camForm1->Show();
    form_->SetActiveCamForm(form_->camForm1);
    EXPECT_GT(Shoot(form_->camForm1->Handle(), L"camcorder_window"), 100);
    prefs->Show();
    EXPECT_GT(Shoot(prefs->Handle(), L"save_preferences"), 100);
    question->Show();
    EXPECT_GT(Shoot(question->Handle(), L"question"), 100);
    form_->ErreurFrame1->ShowError(L"No video source could be opened.", false);
    EXPECT_GT(Shoot(form_->Handle(), L"main_window_error"), 1000);
    form_->ErreurFrame1->FermerErreurBtnClick(form_->ErreurFrame1->FermerErreurBtn);
}

// The check itself finds what it looks for: a clipped caption of each kind of control, a button
// with nothing on it and a label that shows its own name, and lets a caption that fits pass.
TEST(CaptionFit, FindsClippedCaptionsAndAButtonWithNothingOnIt) {
    auto form = std::unique_ptr<widgets::TUcForm>(classlib::NewForm<widgets::TUcForm>(nullptr));
    form->SetBounds(0, 0, 300, 200);
    auto place = [&](auto* control, const wchar_t* name, int top, int width, const wchar_t* caption) {
        control->SetName(name);
        control->SetParent(form.get());
        control->SetBounds(8, top, width, 22);
        control->SetCaption(caption);
        return control;
    };
    auto* label = new widgets::TUcLabel(form.get());
    label->SetAutoSize(false);
    place(label, L"ClippedLabel", 8, 30, L"A caption far too long");
    place(new widgets::TUcCheckBox(form.get()), L"ClippedCheckBox", 32, 40, L"Another long caption");
    place(new widgets::TUcButton(form.get()), L"FittingButton", 56, 120, L"Fits");
    place(new widgets::TUcSpeedButton(form.get()), L"BlankSpeedButton", 80, 25, L"");
    auto* glyph = place(new widgets::TUcSpeedButton(form.get()), L"PictureButton", 104, 25, L"");
    glyph->SetGlyph(ui::PictureGlyph(ui::TPictureSet::psSmall, ui::small_picture::kFolder));
    // A label named but never given a caption shows its name.
    auto* named = new widgets::TUcLabel(form.get());
    named->SetName(L"NamedLabel");
    named->SetParent(form.get());

    TCaptionFit fit;
    fit.Walk(form.get(), L"test");
    const std::string all = Lines(fit.Problems);
    ASSERT_EQ(4u, fit.Problems.size()) << all;
    EXPECT_NE(std::string::npos, all.find("NamedLabel (TUcLabel) shows its own name")) << all;
    EXPECT_NE(std::string::npos, all.find("ClippedLabel")) << all;
    EXPECT_NE(std::string::npos, all.find("ClippedCheckBox")) << all;
    EXPECT_NE(std::string::npos,
              all.find("BlankSpeedButton (TUcSpeedButton): a button with neither caption nor picture"))
        << all;
    EXPECT_EQ(1, fit.Pictures);
}

// The pictures come from the resources the build made from the icon theme: each list at its size,
// every picture the program shows there, the numbers nothing shows empty (the strips are laid out
// by number).
TEST_F(CaptureFormTest, EveryPictureTheProgramShowsComesFromItsResources) {
    using ui::TPictureSet;
    EXPECT_EQ(22, ui::PictureSize(TPictureSet::psActions));
    EXPECT_EQ(20, ui::PictureSize(TPictureSet::psFormat));
    EXPECT_EQ(16, ui::PictureSize(TPictureSet::psSmall));
    ui::TCaptureForm* form = CreateAndShow();
    classlib::TImageList* images = form->ImageList1;
    ASSERT_EQ(ui::kActionImageCount, images->Count());
    std::vector<bool> used(ui::kActionImageCount, false);
    auto use = [&](int index, const std::wstring& by) {
        if (index < 0) return;
        ASSERT_LT(index, ui::kActionImageCount) << classlib::WideToUtf8(by);
        used[static_cast<size_t>(index)] = true;
        EXPECT_TRUE(PictureShown(images, index)) << "image " << index << " of " << classlib::WideToUtf8(by);
    };
    for (int i = 0; i < form->al->ActionCount(); ++i) {
        auto* action = dynamic_cast<classlib::TCustomAction*>(form->al->Actions(i));
        ASSERT_NE(nullptr, action);
        use(action->ImageIndex(), action->Name());
        if (auto* toggle = dynamic_cast<widgets::custom::TtoggleAction*>(action)) {
            use(toggle->FalseImageIndex(), toggle->Name() + L" (False)");
            use(toggle->TrueImageIndex(), toggle->Name() + L" (True)");
        }
    }
    // The capture states' pictures (capture, sound capture, stop, schedule, stop scheduling) and the
    // grab button's (image by image, one picture).
    for (int index : {14, 43, 28, 20, 30, 3, 6}) use(index, L"the window's looks");
    for (int index = 0; index < ui::kActionImageCount; ++index) {
        if (!used[static_cast<size_t>(index)]) {
            EXPECT_FALSE(PictureShown(images, index)) << "unused image " << index;
        }
    }

    classlib::TImageList* format = form->IncrusterFrame1->ilFormat;
    ASSERT_EQ(12, format->Count());
    EXPECT_EQ(20, format->Width());
    for (int index = 0; index < format->Count(); ++index) EXPECT_TRUE(PictureShown(format, index)) << index;
    classlib::TImageList* small = form->camForm1->nav_captureframe1->ImageList1;
    ASSERT_EQ(13, small->Count());
    EXPECT_EQ(16, small->Height());
    for (int index = 0; index < small->Count(); ++index) EXPECT_TRUE(PictureShown(small, index)) << index;
    // A glyph's clear parts take the button face: its bottom-left pixel, which buttons leave out.
    classlib::TOwnedBitmap glyph(ui::PictureGlyph(TPictureSet::psSmall, ui::small_picture::kCamcorder));
    EXPECT_TRUE(GlyphShown(glyph.Get()));
    EXPECT_THROW(ui::PictureGlyph(TPictureSet::psSmall, 13), classlib::EInvalidGraphic);
    EXPECT_THROW(ui::PictureGlyph(TPictureSet::psSmall, -1), classlib::EInvalidGraphic);
}

}  // namespace
