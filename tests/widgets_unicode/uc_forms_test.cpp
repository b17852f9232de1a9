// The wide application and forms: wide captions, the message hook for characters above 255, the
// application's wide title and hint, the idle pass, menu hints and the forms' end.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_actions.h"

using namespace uctest;
using classlib::Application;
using classlib::WideToAnsi;
using widgets::TUcForm;
using widgets::UcApplication;

namespace {

class WideFormsTest : public WideTest {};

std::wstring StoredText(HWND w) {
    wchar_t buf[256] = {};
    int n = InternalGetWindowText(w, buf, 256);
    return std::wstring(buf, static_cast<size_t>(n > 0 ? n : 0));
}

// A control that takes hint actions the way a status bar does.
class THintSink : public classlib::TControl {
public:
    CLASSLIB_CLASS_NAME(THintSink)
    explicit THintSink(classlib::TComponent* AOwner) : classlib::TControl(AOwner) {}
    bool ExecuteAction(classlib::TBasicAction* Action) override {
        if (auto* wide = dynamic_cast<widgets::TUcHintAction*>(Action)) {
            wideHints.push_back(wide->Hint());
            return true;
        }
        if (auto* ansi = dynamic_cast<classlib::THintAction*>(Action)) {
            ansiHints.push_back(ansi->Hint());
            return true;
        }
        return false;
    }
    std::vector<std::wstring> wideHints;
    std::vector<std::string> ansiHints;
};

class TFakeMenu : public widgets::IUcFormMenu {
public:
    HMENU MenuHandle() override { return nullptr; }
    bool FindItemHint(HMENU SubMenu, UINT Command, std::wstring& WideHint) override {
        if (SubMenu == nullptr && Command == 7) {
            WideHint = L"short|" + kCjk;
            return true;
        }
        return false;
    }
    void FixRightToLeft() override { ++fixes; }
    int fixes = 0;
};

TEST_F(WideFormsTest, WideFormShowsItsCaptionInAUnicodeWindow) {
    TUcForm* form = nullptr;
    Application()->CreateForm(form);
    form->SetBounds(120, 120, 320, 200);
    form->SetCaption(kGreek);  // before the window exists
    EXPECT_EQ(form->Caption(), kGreek);
    form->Show();
    HWND h = form->WindowHandle();
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(IsWindowUnicode(h));
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(ClassNameOf(h), L"TUcForm.UnicodeClass");
    EXPECT_EQ(WindowText(h), kGreek);
    form->SetCaption(kCjk);
    EXPECT_EQ(WindowText(h), kCjk);
    EXPECT_EQ(form->Caption(), kCjk);
    EXPECT_EQ(form->classlib::TControl::Caption(), WideToAnsi(kCjk));
    // A main form that is a wide form needs no idle-event control.
    Pump();
    EXPECT_EQ(UcApplication()->IdleEventControl(), nullptr);
}

TEST_F(WideFormsTest, AlphaBlendedFormKeepsItsLayeringAcrossRecreation) {
    TUcForm* form = nullptr;
    Application()->CreateForm(form);
    form->SetAlphaBlendValue(200);
    form->SetAlphaBlend(true);
    form->SetCaption(kCjk);
    HWND first = form->Handle();
    EXPECT_NE(GetWindowLongPtrW(first, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    form->RecreateWnd();
    HWND second = form->Handle();
    EXPECT_NE(first, second);
    EXPECT_NE(GetWindowLongPtrW(second, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    BYTE alpha = 0;
    DWORD flags = 0;
    if (GetLayeredWindowAttributes(second, nullptr, &alpha, &flags)) {
        EXPECT_EQ(alpha, 200);
    }
    EXPECT_EQ(WindowText(second), kCjk);
}

TEST_F(WideFormsTest, HookDispatchesWideCharactersOnANonWideForm) {
    classlib::TForm* form = nullptr;
    Application()->CreateForm(form);
    form->SetBounds(140, 140, 300, 160);
    auto* edit = new TTestWideEdit(form);
    edit->SetParent(form);
    form->Show();
    Pump();
    // The ANSI main form got the idle-event control (first message after it exists).
    ASSERT_NE(UcApplication()->IdleEventControl(), nullptr);
    EXPECT_EQ(UcApplication()->IdleEventControl()->Parent(), form);
    EXPECT_TRUE(widgets::WideMessageHookInstalled());

    int seen = 0;
    Application()->OnMessage = [&](MSG& m, bool&) {
        if (m.message == WM_CHAR) ++seen;
    };
    HWND h = edit->Handle();
    PostMessageW(h, WM_CHAR, 0x0416, 1);
    PostMessageW(h, WM_CHAR, 0x65E5, 1);
    PostMessageW(h, WM_CHAR, L'b', 1);
    Pump(30);
    EXPECT_EQ(WindowText(h), L"\x0416\x65E5" L"b");
    EXPECT_EQ(edit->keys, std::string("\xFF\xFF") + "b");
    EXPECT_EQ(seen, 3);  // OnMessage sees the wide ones once too

    // OnMessage handling a wide character keeps it from the window.
    Application()->OnMessage = [&](MSG& m, bool& handled) {
        if (m.message == WM_CHAR && m.wParam == 0x4E2D) handled = true;
    };
    PostMessageW(h, WM_CHAR, 0x4E2D, 1);
    Pump(30);
    EXPECT_EQ(WindowText(h), L"\x0416\x65E5" L"b");
}

TEST_F(WideFormsTest, ApplicationHintFeedsWideHintActions) {
    TUcForm* form = nullptr;
    Application()->CreateForm(form);
    auto* sink = new THintSink(form);
    sink->SetParent(form);
    form->Show();
    Pump();

    UcApplication()->SetHint(kGreek);
    EXPECT_EQ(UcApplication()->Hint(), kGreek);
    EXPECT_EQ(Application()->Hint(), WideToAnsi(kGreek));
    ASSERT_FALSE(sink->wideHints.empty());
    EXPECT_EQ(sink->wideHints.back(), kGreek);
    EXPECT_TRUE(sink->ansiHints.empty());

    // A different wide text with the same ANSI form still reaches the hint shower.
    UcApplication()->SetHint(kCjk);
    std::wstring other = kCjk;
    other[1] = L'\x4E00';
    ASSERT_EQ(WideToAnsi(other), WideToAnsi(kCjk));
    UcApplication()->SetHint(other);
    EXPECT_EQ(sink->wideHints.back(), other);

    // An ANSI hint set behind the wide one: the wide hint follows it, and its action too.
    Application()->SetHint("plain");
    EXPECT_EQ(UcApplication()->Hint(), L"plain");
    EXPECT_EQ(sink->wideHints.back(), L"plain");
    EXPECT_TRUE(sink->ansiHints.empty());

    // With OnHint the application tells its handler instead.
    int hints = 0;
    Application()->OnHint = [&](classlib::TObject*) { ++hints; };
    UcApplication()->SetHint(kCjk);
    EXPECT_EQ(hints, 1);
}

TEST_F(WideFormsTest, MenuSelectionSetsTheWideApplicationHint) {
    TUcForm* form = nullptr;
    Application()->CreateForm(form);
    TFakeMenu menu;
    form->SetMainMenu(&menu);
    HWND h = form->Handle();
    SendMessageW(h, WM_MENUSELECT, MAKEWPARAM(7, MF_STRING), 0);
    EXPECT_EQ(UcApplication()->Hint(), kCjk);
    SendMessageW(h, WM_MENUSELECT, MAKEWPARAM(8, MF_STRING), 0);
    EXPECT_EQ(UcApplication()->Hint(), L"");
    SendMessageW(h, WM_MENUSELECT, MAKEWPARAM(7, MF_STRING), 0);
    SendMessageW(h, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);  // menu closed
    EXPECT_EQ(UcApplication()->Hint(), L"");
    int fixes = menu.fixes;
    SetWindowPos(h, nullptr, 10, 10, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_GT(menu.fixes, fixes);
    form->SetMainMenu(nullptr);
}

// Moves the mouse over the control and runs idle passes until the wide hint matches.
bool IdleUntilHint(classlib::TWinControl* control, const std::wstring& expected) {
    RECT r;
    GetWindowRect(control->Handle(), &r);
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    SetCursorPos(p.x, p.y);
    POINT now{};
    GetCursorPos(&now);
    if (now.x != p.x || now.y != p.y) return false;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, nullptr);
    for (int i = 0; i < 50 && UcApplication()->Hint() != expected; ++i) Application()->HandleMessage();
    KillTimer(nullptr, timer);
    return true;
}

TEST_F(WideFormsTest, IdlePassRefreshesTheWideHintFromTheControlUnderTheMouse) {
    for (bool wideMain : {true, false}) {
        SCOPED_TRACE(wideMain ? "wide main form" : "ANSI main form");
        ResetApplication();
        classlib::TForm* form = nullptr;
        if (wideMain) {
            TUcForm* f = nullptr;
            Application()->CreateForm(f);
            form = f;
        } else {
            Application()->CreateForm(form);
        }
        form->SetBounds(200, 200, 300, 160);
        auto* edit = new TTestWideEdit(form);
        edit->SetParent(form);
        edit->SetBounds(10, 10, 200, 60);
        widgets::UcControl_SetHint(edit, L"s|" + kGreek + (wideMain ? L"1" : L"2"));
        form->Show();
        SetForegroundWindow(form->WindowHandle());
        Pump(20);
        if (!IdleUntilHint(edit, kGreek + (wideMain ? L"1" : L"2"))) GTEST_SKIP() << "the cursor cannot be moved here";
        EXPECT_EQ(UcApplication()->Hint(), kGreek + (wideMain ? L"1" : L"2"));
        EXPECT_EQ(UcApplication()->IdleEventControl() != nullptr, !wideMain);
    }
}

TEST_F(WideFormsTest, FormsGoLastCreatedFirstAndTakeTheirTraps) {
    std::vector<int> order;
    TUcForm* forms[3] = {};
    for (int i = 0; i < 3; ++i) {
        Application()->CreateForm(forms[i]);
        forms[i]->SetCaption(kCjk);
        forms[i]->HandleNeeded();
        forms[i]->OnDestroy = [&order, i](classlib::TObject*) { order.push_back(i); };
    }
    ASSERT_NE(widgets::TWinControlTrap::FindByControl(forms[2]), nullptr);
    Application()->DestroyForms();
    EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
    for (TUcForm* f : forms) EXPECT_EQ(widgets::TWinControlTrap::FindByControl(f), nullptr);

    // A form that releases itself goes inside a message of its own window; its trap goes after.
    TUcForm* released = nullptr;
    Application()->CreateForm(released);
    HWND h = released->Handle();
    released->Release();
    Pump(20);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(widgets::TWinControlTrap::FindByControl(released), nullptr);
}

TEST_F(WideFormsTest, AnsiPlatformMakesAnAnsiForm) {
    unicode::ForcePlatformForTesting(false);
    TUcForm* form = nullptr;
    Application()->CreateForm(form);
    form->SetCaption(kGreek);
    HWND h = form->Handle();
    EXPECT_FALSE(IsWindowUnicode(h));
    EXPECT_EQ(ClassNameOf(h), L"TUcForm");
    EXPECT_EQ(form->Caption(), classlib::AnsiToWide(WideToAnsi(kGreek)));
    unicode::ForcePlatformForTesting(true);
}

TEST_F(WideFormsTest, ApplicationTitleIsWideAndWaitsForTheWindow) {
    // A fresh application whose window does not exist yet.
    widgets::FinalizeWideControls();
    classlib::DoneApplication();
    widgets::InitializeWideControls();
    ASSERT_FALSE(Application()->HandleAllocated());
    UcApplication()->SetTitle(kCjk);
    EXPECT_EQ(UcApplication()->Title(), kCjk);
    EXPECT_EQ(Application()->Title(), WideToAnsi(kCjk));
    Application()->Initialize();
    HWND h = Application()->Handle();
    // The application window is ANSI: its stored text is read without a message.
    EXPECT_EQ(StoredText(h), kCjk);
    EXPECT_EQ(UcApplication()->Title(), kCjk);

    UcApplication()->SetTitle(kGreek);
    EXPECT_EQ(StoredText(h), kGreek);
    EXPECT_EQ(Application()->Title(), WideToAnsi(kGreek));
    // ANSI code changing the title: the wide title reads it.
    Application()->SetTitle("Quillotrane");
    EXPECT_EQ(UcApplication()->Title(), L"Quillotrane");
    EXPECT_FALSE(UcApplication()->ExeName().empty());
    EXPECT_EQ(UcApplication()->ExeName(), unicode::WideParamStr(0));
}

TEST_F(WideFormsTest, WideActionCarriesItsTextsIntoAWideForm) {
    TUcForm* form = nullptr;
    Application()->CreateForm(form);
    form->SetName(L"Main");
    auto* action = new widgets::TUcAction(form);
    action->SetCaption(kGreek);
    action->SetHint(kCjk);
    EXPECT_EQ(action->classlib::TCustomAction::Caption(), WideToAnsi(kGreek));
    form->SetAction(action);
    EXPECT_EQ(form->Caption(), kGreek);
    EXPECT_EQ(form->Hint(), kCjk);
    EXPECT_FALSE(form->IsCaptionStored());
    // Changing the action's text changes the linked form's, also to a text with the same ANSI form.
    action->SetCaption(kCjk);
    EXPECT_EQ(form->Caption(), kCjk);
    std::wstring other = kCjk;
    other[0] = L'\x4E00';
    ASSERT_EQ(WideToAnsi(other), WideToAnsi(kCjk));
    action->SetCaption(other);
    EXPECT_EQ(form->Caption(), other);
    EXPECT_EQ(WindowText(form->Handle()), other);
    action->SetCaption(kGreek);
    EXPECT_EQ(form->Caption(), kGreek);
}

}  // namespace
