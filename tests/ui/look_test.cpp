// What a new user meets in the main window: the schedule's time fields typed into with the keys,
// hints over the tool bars' buttons, every panel placed between the tool bars and the status bar
// at the window's own size, mirrored and maximised on a 1280 x 1024 screen (a screenshot of each
// kept in the artefacts folder of the test's working folder), the settings panel's tabs all in
// sight, and the clip list panel's processor gauge while a core is kept busy.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/themes.h"
#include "tests/ui/capture_form_fixture.h"
#include "tests/ui/hover_hint.h"
#include "tests/common/painted_ink.h"
#include "tests/common/window_screenshot.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/panel_frame.h"
#include "ui/programmer_frame.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_controls.h"

namespace {

using quill_test::CaptureFormTest;

void Pump() { classlib::Application()->ProcessMessages(); }

// Keys pressed as the keyboard gives them: posted to the window that has the focus and turned
// into characters by the message loop.
void PressKeys(const std::vector<WORD>& Keys) {
    for (WORD vk : Keys) {
        HWND focus = GetFocus();
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
        PostMessageW(focus, WM_KEYDOWN, vk, scan | 1);
        PostMessageW(focus, WM_KEYUP, vk, scan | 0xC0000001);
        Pump();
    }
}

class LookTest : public CaptureFormTest {};

TEST_F(LookTest, ScheduleTimesAreTypedFieldByFieldAndEndEqualsStartCopiesThem) {
    ui::TCaptureForm* form = CreateAndShow();
    SetForegroundWindow(form->Handle());
    form->acProgrammerFrame->Execute();
    ui::TProgrammerFrame* panel = form->ProgrammerFrame1;
    ASSERT_TRUE(panel->Visible());
    panel->KitSpinEdit1->SetFocus();
    Pump();
    // Hours, Tab, minutes, Tab, seconds: as a time is typed.
    PressKeys({'1', '4', VK_TAB, '4', '5', VK_TAB, '3', '0'});
    EXPECT_EQ(panel->KitSpinEdit1->AsInteger(), 14);
    EXPECT_EQ(panel->KitSpinEdit2->AsInteger(), 45);
    EXPECT_EQ(panel->KitSpinEdit3->AsInteger(), 30);
    EXPECT_EQ(panel->KitSpinEdit2->Text(), "45");
    EXPECT_EQ(GetFocus(), panel->KitSpinEdit3->Handle());
    panel->NowBtn->Click();
    EXPECT_EQ(panel->KitSpinEdit4->AsInteger(), 14);
    EXPECT_EQ(panel->KitSpinEdit5->AsInteger(), 45);
    EXPECT_EQ(panel->KitSpinEdit6->AsInteger(), 30);
}

// Rests the mouse on a tool button as a user does and waits for the hint: the text shown.
std::wstring HoverHint(classlib::TToolButton* Button) {
    return quill_test::HoverHint(Button->ToolBar()->Handle(),
                                 POINT{Button->Left() + Button->Width() / 2, Button->Top() + Button->Height() / 2});
}

// The hint shown shows its text whole: what it paints ends 2 pixels within its window, the inset
// it starts with (a text cut at the window's edge inks up to it).
void ExpectHintWhole(const std::wstring& Name) {
    classlib::THintWindow* hint = classlib::Application()->HintWindow();
    ASSERT_TRUE(hint != nullptr && hint->HandleAllocated()) << classlib::WideToAnsi(Name);
    const quill_test::TInk ink = quill_test::PaintedInk(hint, classlib::ColorToRGB(classlib::Screen()->HintFont()->Color()));
    EXPECT_GT(ink.Count, 0) << classlib::WideToAnsi(Name);
    EXPECT_LE(ink.Right, hint->ClientWidth() - 3) << "cut at the right: " << classlib::WideToAnsi(Name);
    EXPECT_LE(ink.Bottom, hint->ClientHeight() - 3) << "cut at the bottom: " << classlib::WideToAnsi(Name);
}

// Every button shows its action's hint, whole; the lock button its unlock hint too.
TEST_F(LookTest, ToolBarButtonsShowTheirActionsHintsUnderTheMouse) {
    ui::TCaptureForm* form = CreateAndShow();
    SetForegroundWindow(form->Handle());
    Pump();
    // The pause before a hint is no part of what is looked at here.
    classlib::TApplication* app = classlib::Application();
    const int pause = app->HintPause();
    app->SetHintPause(1);
    for (classlib::TToolBar* bar : {static_cast<classlib::TToolBar*>(form->tbActions),
                                    static_cast<classlib::TToolBar*>(form->tbPanneaux)}) {
        for (int i = 0; i < bar->ButtonCount(); ++i) {
            classlib::TToolButton* button = bar->Buttons(i);
            auto* action = dynamic_cast<widgets::TUcCustomAction*>(button->Action());
            if (action == nullptr) continue;  // a separator
            const std::wstring hint = widgets::WideGetShortHint(action->Hint());
            if (hint.empty()) continue;
            EXPECT_EQ(HoverHint(button), hint) << "over the button of " << classlib::WideToAnsi(action->Name());
            ExpectHintWhole(action->Name());
        }
    }
    form->taLock->Execute();
    ASSERT_TRUE(form->taLock->Checked());
    classlib::TToolButton* lock = nullptr;
    for (int i = 0; i < form->tbActions->ButtonCount(); ++i)
        if (form->tbActions->Buttons(i)->Action() == form->taLock) lock = form->tbActions->Buttons(i);
    ASSERT_NE(nullptr, lock);
    EXPECT_EQ(0u, HoverHint(lock).find(L"Cliqck to unlock the preview.")) << "the lock's hint once locked";
    ExpectHintWhole(L"the unlock hint");
    app->CancelHint();
    app->SetHintPause(pause);
}

// Where a windowed control lies in the main window's client area.
RECT InClient(classlib::TWinControl* Control, HWND Window) {
    RECT r{};
    GetWindowRect(Control->Handle(), &r);
    MapWindowPoints(nullptr, Window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Describe(const RECT& R) {
    return std::to_string(R.left) + "," + std::to_string(R.top) + " - " + std::to_string(R.right) + "," +
           std::to_string(R.bottom);
}

bool Overlap(const RECT& A, const RECT& B) {
    RECT both{};
    return IntersectRect(&both, &A, &B) != 0;
}

// The settings panel on its DV tab with the four others in sight too.
void ExpectEveryTabInSight(ui::TCaptureForm* Form, const std::string& Look) {
    classlib::TPageControl* pages = Form->OptionsFrame->PageControl1;
    EXPECT_EQ(pages->ActivePage(), Form->OptionsFrame->TabSheet1);
    RECT strip{};
    GetClientRect(pages->Handle(), &strip);
    for (int i = 0; i < pages->PageCount(); ++i) {
        RECT tab{};
        // A tab scrolled out of the strip has no rectangle.
        const bool placed = SendMessageW(pages->Handle(), TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&tab)) != 0;
        EXPECT_TRUE(placed && tab.right > tab.left && tab.left >= 0 && tab.right <= strip.right)
            << Look << ": the tab " << classlib::WideToAnsi(pages->Pages(i)->Name()) << " at " << Describe(tab)
            << " is out of sight";
    }
}

// Every panel in turn: inside the window, below the tool bars, above the status bar, beside the
// picture; the settings panel with all its tabs in sight. Look names the screenshots.
void ExpectPanelsInPlace(ui::TCaptureForm* Form, const std::string& Look) {
    HWND window = Form->Handle();
    RECT client{};
    GetClientRect(window, &client);
    const RECT actions = InClient(Form->tbActions, window);
    const RECT panels = InClient(Form->tbPanneaux, window);
    const RECT status = InClient(Form->StatusBar1, window);
    const RECT picture = InClient(Form->vwEcran, window);
    RECT inside{};
    EXPECT_FALSE(Overlap(actions, panels)) << Look << ": the tool bars " << Describe(actions) << " and " << Describe(panels);
    for (const RECT& bar : {actions, panels})
        EXPECT_TRUE(IntersectRect(&inside, &bar, &client) && EqualRect(&inside, &bar)) << Look << ": a tool bar at " << Describe(bar);
    for (std::uint8_t n = 0; n <= 8; ++n) {
        Form->ShowPanel(n);
        Pump();
        ui::TPanelFrame* frame = Form->PanelFrame(n);
        const RECT r = InClient(frame, window);
        const std::string what = Look + ", " + classlib::WideToAnsi(frame->Name()) + " at " + Describe(r);
        // What the panel holds lies inside the window (the frame itself may pass the edge by the
        // pixel the clip list panel is wider than the column).
        for (HWND child = GetWindow(frame->Handle(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (!IsWindowVisible(child)) continue;
            RECT c{};
            GetWindowRect(child, &c);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&c), 2);
            EXPECT_TRUE(IntersectRect(&inside, &c, &client) && EqualRect(&inside, &c))
                << what << ": a control at " << Describe(c) << " is outside the window";
        }
        EXPECT_GE(r.left, 0) << what;
        EXPECT_LE(r.right, client.right + 1) << what;
        EXPECT_LE(r.bottom, status.top) << what << ": over the status bar at " << Describe(status);
        EXPECT_GE(r.top, std::max(actions.bottom, panels.bottom)) << what << ": over the tool bars";
        EXPECT_FALSE(Overlap(r, picture)) << what << ": over the picture at " << Describe(picture);
        CreateDirectoryW(L"artefacts", nullptr);
        quill_test::SaveWindowScreenshot(window, L"artefacts\\" + classlib::AnsiToWide(Look) + L"_panel_" +
                                                     std::to_wstring(n) + L".bmp");
    }
    // The settings panel opens on its DV tab with the four others in sight too.
    Form->ShowPanel(5);
    Pump();
    ExpectEveryTabInSight(Form, Look);
}

TEST_F(LookTest, EveryPanelFitsBetweenTheToolBarsAndTheStatusBarBesideThePicture) {
    ui::TCaptureForm* form = CreateAndShow();
    SetForegroundWindow(form->Handle());
    Pump();
    ASSERT_EQ(form->ClientWidth(), 700);
    ASSERT_EQ(form->ClientHeight(), 459);
    ExpectPanelsInPlace(form, "look_window");
    // The columns swapped: the panels at the left.
    form->acBasculerPanneau->Execute();
    Pump();
    ExpectPanelsInPlace(form, "look_mirrored");
    form->acBasculerPanneau->Execute();
    // The whole of a 1280 x 1024 screen.
    form->SetWindowState(classlib::TWindowState::wsMaximized);
    Pump();
    RECT work{};
    GetClientRect(form->Handle(), &work);
    EXPECT_GT(work.right, 1000) << "not maximised";
    ExpectPanelsInPlace(form, "look_maximised");
    form->SetWindowState(classlib::TWindowState::wsNormal);
}

TEST_F(LookTest, TheSettingsPanelShownAtTheStartHasEveryTabInSight) {
    quill_test::WriteIniLines(ini_, {quill_test::kIniSection, L"Panneau Actif=5"});
    ui::TCaptureForm* form = CreateAndShow();
    Pump();
    ASSERT_TRUE(form->OptionsFrame->Visible());
    ExpectEveryTabInSight(form, "at the start");
}

TEST_F(LookTest, TheClipListGaugeShowsTheLoadOfABusyCore) {
    ui::TCaptureForm* form = CreateAndShow();
    form->saListeFrame->Execute();
    ASSERT_TRUE(form->ListeFrame->Visible());
    std::atomic<bool> stop{false};
    std::thread spinner([&] {
        volatile std::uint64_t n = 0;
        while (!stop.load(std::memory_order_relaxed)) n = n + 1;
    });
    // The gauge follows its own 500 ms timer.
    const DWORD start = GetTickCount();
    while (form->ListeFrame->tgCPU->Progress() == 0 && GetTickCount() - start < 15000) {
        Pump();
        Sleep(20);
    }
    const int load = form->ListeFrame->tgCPU->Progress();
    stop = true;
    spinner.join();
    EXPECT_GT(load, 0) << "the processor gauge stays at 0 while a core is busy";
}

}  // namespace

// The "No video" plate stays black with white text under visual themes, where a panel that takes
// its parent's background would show the frame's colour instead.
TEST_F(LookTest, TheNoVideoPlateIsBlackUnderVisualThemesToo) {
    ui::TCaptureForm* form = CreateAndShow();
    classlib::SetThemesEnabledForTesting(true);
    widgets::TUcPanel* plate = form->Panel2;
    plate->Show();
    Pump();
    const int width = plate->Width(), height = plate->Height();
    // Inside the raised bevel of a pixel (white at the top and left): black but for the caption.
    const int black = quill_test::PaintedInk(plate, RGB(0, 0, 0)).Count;
    const int white = quill_test::PaintedInk(plate, RGB(255, 255, 255)).Count;
    classlib::SetThemesEnabledForTesting(std::nullopt);
    EXPECT_GT(white, width + height + 20) << "the bevel and the caption";
    EXPECT_GE(black, (width - 2) * (height - 2) * 9 / 10) << black << " black";
}
