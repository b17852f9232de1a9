// The program's windows as a user sees them, at the screen's resolution: every caption of the main
// window (each panel, the error panel), of the two camcorder windows and of the dialogs fits its
// control, every button shows a caption or a picture, and the pictures come from the program's
// resources. CTest runs these tests twice: at 96 dots per inch in the shared test prefix, and at
// 120 in a prefix of their own (tests/ui/wine_120dpi.sh). The screenshot of each panel is kept in the
// build folder's screenshots, as look_*.bmp; whole-screen grabs of the about, help and overlay panels,
// whose rich texts and border drop-down are measured too, as screen_*.bmp.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "classlib/format.h"
#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "engine/capture_data_module.h"
#include "filters/superposer.h"
#include "settings/program_text_ids.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "tests/app/screen_pixels.h"
#include "tests/ui/capture_form_fixture.h"
#include "tests/ui/caption_fit.h"
#include "ui/action_images.h"
#include "ui/apropos_frame.h"
#include "ui/erreur_frame.h"
#include "ui/help_frame.h"
#include "widgets/custom/color_button.h"
#include "widgets/kit/date_edit.h"
#include "ui/incruster_frame.h"
#include "ui/nav_capture_frame.h"
#include "ui/panel_frame.h"
#include "ui/programmer_frame.h"
#include "ui/raccourcis_form.h"
#include "ui/save_prefs_form.h"
#include "ui/side_forms.h"
#include "ui/snapshot_text_ids.h"
#include "ui/system_report.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_controls.h"
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

int Shoot(HWND Window, const std::wstring& Name, bool WholeScreen = false) {
    SetWindowPos(Window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    PumpWindowMessages(5, 20);
    return SaveWindowScreenshot(WholeScreen ? GetDesktopWindow() : Window,
                                (WholeScreen ? L"screen_" : L"look_") + Name + DpiSuffix() + L".bmp");
}

std::string Lines(const std::vector<std::string>& Problems) {
    std::string all;
    for (const std::string& p : Problems) all += "\n  " + p;
    return all;
}

// Where the ink of character Index of a rich edit ends, in client pixels: its place plus its width in
// its own character format (for a slanted glyph, whichever of its advance and its ink reaches further).
int InkRight(HWND Edit, int Index, wchar_t Character) {
    POINTL at{};
    SendMessageW(Edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), Index);
    CHARRANGE one{Index, Index + 1};
    SendMessageW(Edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&one));
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    SendMessageW(Edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    classlib::TWindowDC screen(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(cf.yHeight, GetDeviceCaps(screen.Get(), LOGPIXELSY), 1440);
    lf.lfWeight = (cf.dwEffects & CFE_BOLD) != 0 ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (cf.dwEffects & CFE_ITALIC) != 0 ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, cf.szFaceName, LF_FACESIZE - 1);
    classlib::TOwnedFont font(CreateFontIndirectW(&lf));
    classlib::TSelectedObject selected(screen.Get(), font.Get());
    ABC abc{};
    SIZE size{};
    if (GetCharABCWidthsW(screen.Get(), Character, Character, &abc))
        return at.x + abc.abcA + static_cast<int>(abc.abcB) + std::max(abc.abcC, 0);
    GetTextExtentPoint32W(screen.Get(), &Character, 1, &size);
    return at.x + size.cx;
}

// The lines of rich edits whose last visible character does not end inside the client area.
std::vector<std::string> CutLines(std::initializer_list<classlib::TWinControl*> Edits) {
    std::vector<std::string> cut;
    for (classlib::TWinControl* edit : Edits) {
        const HWND h = edit->Handle();
        RECT client{};
        GetClientRect(h, &client);
        CHARRANGE kept{};
        SendMessageW(h, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&kept));
        const int lines = static_cast<int>(SendMessageW(h, EM_GETLINECOUNT, 0, 0));
        for (int line = 0; line < lines; ++line) {
            const int start = static_cast<int>(SendMessageW(h, EM_LINEINDEX, line, 0));
            const int length = static_cast<int>(SendMessageW(h, EM_LINELENGTH, start, 0));
            if (start < 0 || length <= 0) continue;
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            TEXTRANGEW range{{start, start + length}, text.data()};
            text.resize(static_cast<size_t>(SendMessageW(h, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range))));
            const size_t last = text.find_last_not_of(L" \t\r\n");
            if (last == std::wstring::npos) continue;
            const int right = InkRight(h, start + static_cast<int>(last), text[last]);
            if (right > client.right)
                cut.push_back(classlib::WideToUtf8(edit->Name()) + " line " + std::to_string(line) + " \"" +
                              classlib::WideToUtf8(text.substr(0, last + 1)) + "\" ends at " + std::to_string(right) +
                              " of " + std::to_string(client.right));
        }
        SendMessageW(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&kept));
    }
    return cut;
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
    // A bit button with a caption that fits but no picture, and one with both.
    auto place2 = [&](auto* control, const wchar_t* name, int left, const wchar_t* caption) {
        control->SetName(name);
        control->SetParent(form.get());
        control->SetBounds(left, 130, 100, 30);
        control->SetCaption(caption);
        return control;
    };
    place2(new widgets::TUcBitBtn(form.get()), L"TextOnlyBitBtn", 8, L"None");
    place2(new widgets::TUcBitBtn(form.get()), L"PictureBitBtn", 120, L"Quit")
        ->SetGlyph(ui::PictureGlyph(ui::TPictureSet::psSmall, ui::small_picture::kQuit));
    // A label named but never given a caption shows its name.
    auto* named = new widgets::TUcLabel(form.get());
    named->SetName(L"NamedLabel");
    named->SetParent(form.get());

    TCaptionFit fit;
    fit.Walk(form.get(), L"test");
    const std::string all = Lines(fit.Problems);
    ASSERT_EQ(5u, fit.Problems.size()) << all;
    EXPECT_NE(std::string::npos, all.find("TextOnlyBitBtn (TUcBitBtn) \"None\": a button with a caption and no picture"))
        << all;
    EXPECT_EQ(std::string::npos, all.find("PictureBitBtn")) << all;
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
    ASSERT_EQ(ui::format_picture::kCount, format->Count());
    EXPECT_EQ(20, format->Width());
    for (int index = 0; index < format->Count(); ++index) EXPECT_TRUE(PictureShown(format, index)) << index;
    classlib::TImageList* small = form->camForm1->nav_captureframe1->ImageList1;
    ASSERT_EQ(ui::small_picture::kCount, small->Count());
    EXPECT_EQ(16, small->Height());
    for (int index = 0; index < small->Count(); ++index) EXPECT_TRUE(PictureShown(small, index)) << index;
    // A glyph's clear parts take the button face: its bottom-left pixel, which buttons leave out.
    classlib::TOwnedBitmap glyph(ui::PictureGlyph(TPictureSet::psSmall, ui::small_picture::kCamcorder));
    EXPECT_TRUE(GlyphShown(glyph.Get()));
    EXPECT_THROW(ui::PictureGlyph(TPictureSet::psSmall, ui::small_picture::kCount), classlib::EInvalidGraphic);
    EXPECT_THROW(ui::PictureGlyph(TPictureSet::psSmall, -1), classlib::EInvalidGraphic);
}

// The status panels whose texts do not show whole in the room the bar gives them, each with what
// its text needs and what it has.
std::vector<std::string> StatusTextsCut(ui::TCaptureForm* Form) {
    HWND bar = Form->StatusBar1->Handle();
    const std::wstring texts[4] = {Form->StatusIntervalText, Form->StatusMainText + Form->StatusAlertText,
                                   Form->StatusSourcesText, Form->StatusInfoText};
    classlib::TWindowDC screen(nullptr);
    classlib::TSelectedObject font(screen.Get(), Form->StatusBar1->Font()->Handle());
    std::vector<std::string> cut;
    for (int i = 0; i < 4; ++i) {
        RECT r{};
        SendMessageW(bar, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        const std::string narrow = classlib::WideToAnsi(texts[i]);
        SIZE need{};
        GetTextExtentPoint32A(screen.Get(), narrow.data(), static_cast<int>(narrow.size()), &need);
        // The alert text is drawn 3 pixels after the main text; the panel's frame takes a pixel each side.
        if (i == 1 && !Form->StatusAlertText.empty()) need.cx += 3;
        if (need.cx > r.right - r.left - 2)
            cut.push_back("panel " + std::to_string(i) + " \"" + narrow + "\" needs " + std::to_string(need.cx) +
                          ", has " + std::to_string(r.right - r.left - 2));
    }
    return cut;
}

// What each status panel shows against the room the bar gives it: every text shows whole.
void ExpectStatusTextsFit(ui::TCaptureForm* Form, const std::string& When) {
    EXPECT_FALSE(Form->StatusIntervalText.empty()) << When;
    EXPECT_EQ(std::vector<std::string>{}, StatusTextsCut(Form)) << When << " at " << ExpectedDpi() << " dots per inch";
}

// Where the status bar's texts show on the whole screen: for each panel, its bounds and its first and
// last columns of ink (the texts' black or red; -1 when none).
struct TPanelInk {
    RECT Bounds{};
    int First = -1;
    int Last = -1;
};
std::vector<TPanelInk> StatusInk(ui::TCaptureForm* Form, const std::wstring& Shot) {
    HWND bar = Form->StatusBar1->Handle();
    Shoot(Form->Handle(), Shot);
    const TScreenGrab screen = GrabWholeScreen(Shot + DpiSuffix() + L".png");
    EXPECT_FALSE(screen.Pixels.empty()) << screen.Failure;
    std::vector<TPanelInk> panels(4);
    for (int i = 0; i < 4; ++i) {
        TPanelInk& panel = panels[static_cast<size_t>(i)];
        SendMessageW(bar, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&panel.Bounds));
        MapWindowPoints(bar, nullptr, reinterpret_cast<POINT*>(&panel.Bounds), 2);
        for (int x = panel.Bounds.left; x < panel.Bounds.right; ++x)
            for (int y = panel.Bounds.top; y < panel.Bounds.bottom; ++y) {
                const DWORD p = screen.At(x, y);
                const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                if ((r < 100 && g < 100 && b < 100) || (r > 160 && g < 90 && b < 90)) {
                    if (panel.First < 0) panel.First = x;
                    panel.Last = x;
                    break;
                }
            }
    }
    return panels;
}

// The status bar's texts in every state, with every flag shown and long figures, fit their panels at
// the screen's resolution (this test runs at 120 dots per inch too).
TEST_F(CaptionFitTest, EveryStatusTextFitsItsPanel) {
    ASSERT_EQ(ExpectedDpi(), classlib::ScreenPixelsPerInch()) << "the prefix's resolution";
    Start();
    auto text = [](unsigned Id) { return settings::LoadProgramText(Id); };
    ASSERT_EQ(L"Intervalometer desactivated", text(IDS_SNAP_INTERVAL_OFF)) << "the status texts' resources";
    using namespace settings;
    ParamMuteOn->SetValue(true);
    ParamWideScreen->SetValue(true);
    form_->InlayActive = true;
    filters::Tqz_Superposer* overlay = engine::dm()->Superposer;
    ASSERT_NE(nullptr, overlay);
    overlay->SetVerticalFlip(true);
    overlay->SetHorizontalFlip(true);
    for (int extension : {0, 1}) {
        ParamExtensionDesImages->SetValue(extension);
        form_->UpdateStatusTexts();
        ExpectStatusTextsFit(form_.get(), extension == 0 ? "preview, BMP" : "preview, JPG");
    }
    EXPECT_EQ(L"JPG - Intervalometer desactivated", form_->StatusIntervalText);
    EXPECT_EQ(L" h", form_->StatusAlertText);
    EXPECT_EQ(0u, form_->StatusSourcesText.find(L"Vid: QUI - Aud: Qui=>")) << classlib::WideToUtf8(form_->StatusSourcesText);
    EXPECT_GT(Shoot(form_->Handle(), L"status_preview"), 1000);
    // The intervalometer at its longest unit, and the most room a drive could report.
    form_->StatusIntervalText = text(IDS_SNAP_JPG_PREFIX) + classlib::Format(text(IDS_EVERY), {9999, L"minutes"});
    form_->StatusInfoText = classlib::Format(text(IDS_FREE_MB), {99999999, L"C:"});
    form_->FitStatusPanels();
    ExpectStatusTextsFit(form_.get(), "intervalometer on, a large drive");

    // A recording of almost a day, with long frame counts, then image by image (the longest format
    // name after the sources).
    ASSERT_TRUE(form_->ShowCapturingState());
    form_->CaptureStartTime = classlib::Now() - (23 * 3600 + 59 * 60 + 58) / 86400.0;
    form_->DroppedActionTimer(nullptr);
    EXPECT_EQ(0u, form_->StatusSourcesText.find(L"duration 23:59 :5")) << classlib::WideToUtf8(form_->StatusSourcesText);
    form_->StatusInfoText = classlib::Format(text(IDS_LOST_FRAMES), {99999, 9999999});
    form_->FitStatusPanels();
    ExpectStatusTextsFit(form_.get(), "recording");
    const size_t arrow = form_->StatusMainText.find(L"=>");
    ASSERT_NE(std::wstring::npos, arrow) << classlib::WideToUtf8(form_->StatusMainText);
    form_->StatusMainText = form_->StatusMainText.substr(0, arrow + 2) + FormatCaptureShortName(8);
    form_->StatusInfoText = text(IDS_FORMAT_IMAGE_BY_IMAGE) + L": " + classlib::Format(text(IDS_FRAMES), {99999});
    form_->FitStatusPanels();
    ExpectStatusTextsFit(form_.get(), "recording image by image");
    EXPECT_GT(Shoot(form_->Handle(), L"status_recording"), 1000);

    ASSERT_TRUE(form_->ShowScheduleWaitingState());
    ExpectStatusTextsFit(form_.get(), "schedule waiting");
    ASSERT_TRUE(form_->ShowScheduledCaptureState());
    ExpectStatusTextsFit(form_.get(), "scheduled recording");
    ASSERT_TRUE(form_->ShowPreviewState());
    overlay->SetVerticalFlip(false);
    overlay->SetHorizontalFlip(false);
    form_->InlayActive = false;
    form_->UpdateStatusTexts();
    ExpectStatusTextsFit(form_.get(), "preview again");

    // A camera taken for a name that is not listed is told in panel 1, the name longer than the bar
    // has room for beside the others: the name taken shows whole, the name asked as much as the
    // room holds, and every text shows whole, the told sentence to its end.
    form_->SelectVideoSource(L"The camera a script named, never seen on this computer");
    const std::wstring& told = form_->StatusAlertText;
    EXPECT_EQ(0u, told.find(L"Quillotrane Test Camera taken")) << classlib::WideToUtf8(told);
    ExpectStatusTextsFit(form_.get(), "a source taken for another");
    // A sound input too, named by a hundred thousand characters: each source in its turn, the
    // names taken whole (at 120 dots per inch the room holds their beginnings only), and every
    // text shows whole in each turn.
    form_->SelectAudioSource(std::wstring(100000, L'M'));
    const wchar_t* const taken[] = {L"Quillotrane Test Camera taken", L"Quillotrane Test Microphone taken"};
    for (const wchar_t* name : taken) {
        const std::wstring shown = ExpectedDpi() == 96 ? std::wstring(name) : std::wstring(name).substr(0, 18);
        for (int tick = 0; tick < 3 * ui::TCaptureForm::kTakenInsteadTurnTicks && told.find(shown) != 0; ++tick)
            form_->DroppedActionTimer(nullptr);
        EXPECT_EQ(0u, told.find(shown)) << classlib::WideToUtf8(told);
        ExpectStatusTextsFit(form_.get(), "two sources taken for others, in turns");
    }
    EXPECT_EQ(std::wstring::npos, widgets::UcControl_GetHint(form_->StatusBar1).find(std::wstring(256, L'M')))
        << "the hint cuts a name no device has";
    const std::vector<TPanelInk> ink = StatusInk(form_.get(), L"status_source_taken");
    for (int i = 0; i < 4; ++i) {
        const TPanelInk& panel = ink[static_cast<size_t>(i)];
        ASSERT_GE(panel.First, 0) << "panel " << i << " shows its text";
        EXPECT_GE(panel.First, panel.Bounds.left + 2) << "panel " << i << ": its first letter whole";
    }
    // The window cannot be resized: no size grip covers the last panel's end.
    EXPECT_EQ(0, GetWindowLongW(form_->StatusBar1->Handle(), GWL_STYLE) & SBARS_SIZEGRIP);
}

// The square at the overlay sliders' crossing is the preview frame's corner: in the frame's
// colour, inside its outline, in each look; no box of another colour breaks the corner.
TEST_F(CaptionFitTest, TheSlidersCornerIsPartOfThePreviewFrame) {
    Start();
    const std::pair<bool (ui::TCaptureForm::*)(), const char*> looks[] = {
        {&ui::TCaptureForm::ShowPreviewState, "preview"}, {&ui::TCaptureForm::ShowCapturingState, "recording"}};
    for (const auto& [look, name] : looks) {
        ASSERT_TRUE((form_.get()->*look)()) << name;
        form_->Shape1->Show();
        Shoot(form_->Handle(), std::wstring(L"frame_corner_") + classlib::AnsiToWide(name));
        // The frame's bottom-right corner outside the video, on the screen.
        POINT corner{form_->vwEcran->Left() + form_->vwEcran->Width(), form_->vwEcran->Top() + form_->vwEcran->Height()};
        ClientToScreen(form_->Panel1->Handle(), &corner);
        const RECT shape2 = form_->Shape2->BoundsRect();
        POINT outer{shape2.right, shape2.bottom};
        ClientToScreen(form_->Panel1->Handle(), &outer);
        const RECT area{corner.x, corner.y, outer.x + 4, outer.y + 4};
        const std::vector<DWORD> pixels = GrabScreen(area);
        ASSERT_FALSE(pixels.empty()) << name;
        const int width = area.right - area.left;
        auto at = [&](int x, int y) { return pixels[static_cast<size_t>((y - area.top) * width + (x - area.left))] & 0xFFFFFF; };
        const COLORREF frame = classlib::ColorToRGB(form_->Shape2->Brush()->Color());
        const DWORD frameRgb = (GetRValue(frame) << 16) | (GetGValue(frame) << 8) | GetBValue(frame);
        // Inside the outline: the frame's colour only; the outline's corner pixel: its pen (black).
        for (int y = corner.y; y < outer.y - 1; ++y)
            for (int x = corner.x; x < outer.x - 1; ++x)
                ASSERT_EQ(frameRgb, at(x, y)) << name << ": at " << x - corner.x << "," << y - corner.y << " of the corner";
        EXPECT_EQ(0u, at(outer.x - 1, outer.y - 1)) << name << ": the outline's corner";
        EXPECT_NE(0u, at(outer.x + 1, outer.y + 1)) << name << ": nothing past the outline";
    }
    ASSERT_TRUE(form_->ShowPreviewState());
}

// The about panel credits what the program and its stand-in coders are built with, and its text
// shows whole in its box at the screen's resolution (no line below the box's bottom).
TEST_F(CaptionFitTest, TheAboutPanelsCreditsShowWhole) {
    Start();
    form_->ShowPanel(8);
    ui::TAproposFrame* about = form_->AproposFrame1;
    const std::wstring& text = about->le1->Markup().Text;
    for (const wchar_t* credit : {L"libjpeg-turbo", L"MinGW-w64", L"GCC", L"LAME", L"libavcodec", L"libavformat",
                                  L"libavutil", L"libswscale", L"libswresample"})
        EXPECT_NE(std::wstring::npos, text.find(credit)) << classlib::WideToUtf8(credit);
    HWND edit = about->le1->Handle();
    const int length = GetWindowTextLengthW(edit);
    ASSERT_GT(length, 100);
    POINTL last{};
    SendMessageW(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&last), length - 1);
    TEXTMETRICW metrics{};
    {
        classlib::TWindowDC screen(nullptr);
        classlib::TSelectedObject font(screen.Get(), about->le1->Font()->Handle());
        GetTextMetricsW(screen.Get(), &metrics);
    }
    RECT client{};
    GetClientRect(edit, &client);
    EXPECT_LE(last.y + metrics.tmHeight, client.bottom)
        << "the last line at " << last.y << " of " << client.bottom << " at " << ExpectedDpi() << " dots per inch";
    EXPECT_EQ(0, SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    EXPECT_GT(Shoot(form_->Handle(), L"about_credits"), 1000);
    // Every line ends inside its box, none under the border.
    const auto cut = CutLines({about->le1, about->leHome, about->leMail});
    EXPECT_TRUE(cut.empty()) << cut.size() << " at " << ExpectedDpi() << " dots per inch:" << Lines(cut);
    EXPECT_GT(Shoot(form_->Handle(), L"about", true), 1000);
}

// An MP3 encoder deep in folders with long names: its path, which has no blank to wrap at, wraps in
// rows under the line's indent, inside the box; the mail copy keeps the line's blanks.
TEST_F(CaptionFitTest, TheSystemReportsDeepPathWrapsUnderItsIndent) {
    ASSERT_EQ(ExpectedDpi(), classlib::ScreenPixelsPerInch()) << "the prefix's resolution";
    Start();
    form_->ShowPanel(7);
    ui::THelpFrame* help = form_->HelpFrame1;
    help->PageControl1->SetActivePage(help->tsSystem);
    EXPECT_GT(Shoot(form_->Handle(), L"help_system", true), 1000);
    ui::TSystemFacts facts;
    facts.WindowsVersion = L"Windows XP - build 2600";
    facts.DirectXVersion = L"9.0c";
    facts.Mp3EncoderPresent = facts.Mp3ServerKnown = true;
    facts.Mp3ServerPath =
        L"C:\\Programs\\Elecard\\LAME_MPEG_Layer_III_Audio_Encoder_Filter\\Release_for_Windows_XP\\x86\\lame_enc.ax";
    facts.Mp3ServerVersion = L"FileVersion = 3.99.5";
    ui::WriteSystemReport(*help, facts);
    PumpWindowMessages();
    const auto cut = CutLines({help->reSystem});
    EXPECT_TRUE(cut.empty()) << cut.size() << " at " << ExpectedDpi() << " dots per inch:" << Lines(cut);
    EXPECT_NE(std::wstring::npos, ui::SystemInfoMailText().find(L"\r\n    " + facts.Mp3ServerPath + L"\r\n"));
    const HWND h = help->reSystem->Handle();
    auto find = [&](const wchar_t* Text) {
        FINDTEXTEXW what{{0, -1}, Text, {}};
        return SendMessageW(h, EM_FINDTEXTEXW, FR_DOWN, reinterpret_cast<LPARAM>(&what));
    };
    const LRESULT start = find(L"C:\\Programs");
    ASSERT_GE(start, 0);
    const LRESULT firstRow = SendMessageW(h, EM_EXLINEFROMCHAR, 0, start);
    POINTL first{}, next{};
    SendMessageW(h, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&first), start);
    SendMessageW(h, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&next), SendMessageW(h, EM_LINEINDEX, firstRow + 1, 0));
    EXPECT_GT(first.x, 5) << "the blanks' room before the path";
    EXPECT_EQ(first.x, next.x) << "the path's next row keeps the indent";
    EXPECT_GE(SendMessageW(h, EM_EXLINEFROMCHAR, 0, find(L"lame_enc.ax")), firstRow + 1) << "the path wraps";
    EXPECT_GT(Shoot(form_->Handle(), L"help_system_deep_path", true), 1000);
}

// The overlay's border drop-down has room for its picture, its widest caption and its arrow.
TEST_F(CaptionFitTest, TheOverlaysBorderDropDownHasRoomForItsPictureCaptionAndArrow) {
    ASSERT_EQ(ExpectedDpi(), classlib::ScreenPixelsPerInch()) << "the prefix's resolution";
    Start();
    form_->ShowPanel(4);
    ui::TIncrusterFrame* inlay = form_->IncrusterFrame1;
    hover::TFlatBarButton* border = inlay->tbBorder;
    int widest = 0;
    {
        classlib::TWindowDC screen(nullptr);
        classlib::TSelectedObject font(screen.Get(), border->Font()->Handle());
        for (const char* caption : {"1", "2", "3", "4", "5"}) {
            SIZE size{};
            GetTextExtentPoint32A(screen.Get(), caption, 1, &size);
            widest = std::max<int>(widest, size.cx);
        }
    }
    const SIZE glyph = border->ButtonGlyph()->GlyphSize();
    ASSERT_GT(glyph.cx, 0);
    // A frame of a pixel each side and at least 3 pixels between it and what the button shows.
    const int need = 2 + 2 * 3 + glyph.cx + std::max(border->Spacing(), 0) + widest + border->DropdownArrowWidth();
    EXPECT_LE(need, border->Width()) << "at " << ExpectedDpi() << " dots per inch";
    EXPECT_LE(border->Left() + border->Width(), inlay->ClientWidth() - 4);
    EXPECT_GT(Shoot(form_->Handle(), L"inlay", true), 1000);
}

}  // namespace
