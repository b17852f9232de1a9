// The wide control core: Unicode windows and their traps, wide texts kept across windows, text
// messages of ANSI code, character parking, the ANSI fallback and wide hints.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "exception_text.h"
#include "hint_windows.h"
#include "uc_test_support.h"
#include "unicode/wide_files.h"

using namespace uctest;
using classlib::TMessage;
using classlib::WideToAnsi;

namespace {

class ControlCoreTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(100, 100, 300, 200);
        edit = new TTestWideEdit(form);
        edit->SetParent(form);
    }
    classlib::TForm* form = nullptr;
    TTestWideEdit* edit = nullptr;
};

TEST_F(ControlCoreTest, WindowIsUnicodeAndTextRoundTrips) {
    HWND h = edit->Handle();
    EXPECT_TRUE(IsWindowUnicode(h));
    EXPECT_EQ(ClassNameOf(h), L"TTestWideEdit.UnicodeClass");
    EXPECT_EQ(classlib::FindControl(h), edit);

    edit->SetWideText(kGreek);
    EXPECT_EQ(WindowText(h), kGreek);
    EXPECT_EQ(edit->WideText(), kGreek);
    // ANSI code sees the ANSI form, through WM_GETTEXT and WM_GETTEXTLENGTH performed directly.
    EXPECT_EQ(edit->Text(), WideToAnsi(kGreek));
    char buf[64] = {};
    LRESULT n = edit->Perform(WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), WideToAnsi(kGreek));
    // ANSI code setting text: the system widens it.
    edit->SetText("plain \xE9");
    EXPECT_EQ(WindowText(h), L"plain \x00E9");
}

TEST_F(ControlCoreTest, SameTextSendsNoTextChanged) {
    edit->HandleNeeded();
    int before = edit->textChanged;
    edit->SetWideText(kCjk);
    EXPECT_EQ(edit->textChanged, before + 1);
    edit->SetWideText(kCjk);
    EXPECT_EQ(edit->textChanged, before + 1);
    // Another text with the same ANSI form is still a change.
    std::wstring other = kCjk;
    other[0] = L'\x4E00';
    ASSERT_EQ(WideToAnsi(other), WideToAnsi(kCjk));
    edit->SetWideText(other);
    EXPECT_EQ(edit->textChanged, before + 2);
    EXPECT_EQ(edit->WideText(), other);
}

TEST_F(ControlCoreTest, TextSetBeforeTheWindowShowsAndSurvivesRecreation) {
    ASSERT_FALSE(edit->HandleAllocated());
    edit->SetWideText(kCjk);
    EXPECT_EQ(edit->WideText(), kCjk);
    EXPECT_EQ(edit->Text(), WideToAnsi(kCjk));
    HWND first = edit->Handle();
    EXPECT_EQ(WindowText(first), kCjk);

    edit->RecreateWnd();
    HWND second = edit->Handle();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindowUnicode(second));
    EXPECT_EQ(WindowText(second), kCjk);
    // One trap, in the control's chain once, bound to the new window.
    widgets::TWinControlTrap* trap = widgets::TWinControlTrap::FindByControl(edit);
    ASSERT_NE(trap, nullptr);
    EXPECT_EQ(trap->Handle(), second);
    EXPECT_EQ(edit->WindowProcId(), trap);
    // ANSI code changing the text while there is no window is not undone by the kept copy.
    edit->DestroyHandle();
    edit->SetText("ansi");
    EXPECT_EQ(edit->WideText(), L"ansi");
    EXPECT_EQ(WindowText(edit->Handle()), L"ansi");
}

TEST_F(ControlCoreTest, CharactersAbove255ReachTheControlParkedForAnsiCode) {
    HWND h = edit->Handle();
    SendMessageW(h, WM_CHAR, 0x0416, 1);  // Cyrillic Zhe
    SendMessageW(h, WM_CHAR, L'a', 1);
    EXPECT_EQ(WindowText(h), L"\x0416" L"a");
    // The ANSI key handling saw the holder character, then the plain one.
    EXPECT_EQ(edit->keys, std::string("\xFF") + "a");

    // A key handler that consumes the holder keeps the character out.
    edit->OnKeyPress = [](classlib::TObject*, char& Key) {
        if (Key == '\xFF') Key = 0;
    };
    SendMessageW(h, WM_CHAR, 0x4E2D, 1);
    EXPECT_EQ(WindowText(h), L"\x0416" L"a");
}

TEST(WMCharParking, ParksRestoresAndReadsCharacters) {
    TMessage m{WM_CHAR, 0x0416, 0, 0};
    widgets::MakeWMCharMsgSafeForAnsi(m);
    EXPECT_EQ(m.WParam, (static_cast<WPARAM>(0x0416) << 16) | 255u);
    EXPECT_EQ(widgets::GetWideCharFromWMCharMsg(m), L'\x0416');
    widgets::RestoreWMCharMsg(m);
    EXPECT_EQ(m.WParam, 0x0416u);

    TMessage low{WM_CHAR, 'x', 0, 0};
    widgets::MakeWMCharMsgSafeForAnsi(low);
    EXPECT_EQ(low.WParam, static_cast<WPARAM>('x'));
    // A real 255 (y with diaeresis) is not mistaken for a parked character.
    TMessage ydia{WM_CHAR, 255, 0, 0};
    widgets::RestoreWMCharMsg(ydia);
    EXPECT_EQ(ydia.WParam, 255u);
    EXPECT_EQ(widgets::GetWideCharFromWMCharMsg(ydia), L'\x00FF');
    // Already parked: not parked twice.
    TMessage parked{WM_CHAR, (static_cast<WPARAM>(0x4E2D) << 16) | 255u, 0, 0};
    widgets::MakeWMCharMsgSafeForAnsi(parked);
    EXPECT_EQ(widgets::GetWideCharFromWMCharMsg(parked), L'\x4E2D');
    // Other messages are left alone.
    TMessage key{WM_KEYDOWN, 0x0416, 0, 0};
    widgets::MakeWMCharMsgSafeForAnsi(key);
    EXPECT_EQ(key.WParam, 0x0416u);

    TMessage set{WM_CHAR, 0, 0, 0};
    widgets::SetWideCharForWMCharMsg(set, L'\x3042');
    EXPECT_EQ(widgets::GetWideCharFromWMCharMsg(set), L'\x3042');
    EXPECT_EQ(LOWORD(set.WParam), 255);
}

TEST_F(ControlCoreTest, AnsiPlatformFallsBackToTheClassLibrary) {
    unicode::ForcePlatformForTesting(false);
    auto* ansiEdit = new TTestWideEdit(form);
    ansiEdit->SetParent(form);
    HWND h = ansiEdit->Handle();
    EXPECT_FALSE(IsWindowUnicode(h));
    EXPECT_EQ(ClassNameOf(h), L"TTestWideEdit");
    ansiEdit->SetWideText(kGreek);
    EXPECT_EQ(ansiEdit->Text(), WideToAnsi(kGreek));
    EXPECT_EQ(ansiEdit->WideText(), classlib::AnsiToWide(WideToAnsi(kGreek)));
    widgets::UcControl_SetHint(ansiEdit, kCjk);
    EXPECT_EQ(ansiEdit->Hint(), WideToAnsi(kCjk));
    EXPECT_EQ(widgets::UcControl_GetHint(ansiEdit), classlib::AnsiToWide(WideToAnsi(kCjk)));
    unicode::ForcePlatformForTesting(true);
    // A window made before the switch stays ANSI and is still served in ANSI.
    ansiEdit->SetWideText(L"x\x00E9");
    EXPECT_EQ(WindowText(h), L"x\x00E9");
    EXPECT_EQ(ansiEdit->WideText(), L"x\x00E9");
}

TEST_F(ControlCoreTest, SubclassingAnAnsiWindowIsRefused) {
    auto* plain = new classlib::TEdit(form);
    plain->SetParent(form);
    plain->HandleNeeded();
    EXPECT_EQ(quill_test::MessageOf<unicode::EUcInternalError>([&] { widgets::SubClassUnicodeControl(plain, ""); }),
              L"Internal Error: SubClassUnicodeControl.Control is not Unicode.");
}

TEST_F(ControlCoreTest, WideHintsAndTheWideHintWindow) {
    const std::wstring hint = kGreek + L"|" + kCjk;
    widgets::UcControl_SetHint(form, hint);
    EXPECT_EQ(widgets::UcControl_GetHint(form), hint);
    EXPECT_EQ(form->Hint(), WideToAnsi(hint));
    EXPECT_EQ(widgets::WideGetShortHint(hint), kGreek);
    EXPECT_EQ(widgets::WideGetLongHint(hint), kCjk);
    EXPECT_EQ(widgets::WideGetLongHint(L"no bar"), L"no bar");
    // The edit has none of its own: it shows its parent's.
    EXPECT_EQ(widgets::UcControl_GetShownHint(edit), hint);
    // ANSI code changing the hint behind the wide one wins.
    form->SetHint("ansi|hint");
    EXPECT_EQ(widgets::UcControl_GetHint(form), L"ansi|hint");
    widgets::UcControl_SetHint(form, hint);

    // CM_HINTSHOW through the trap: the plain hint window class is swapped and the info marked.
    edit->HandleNeeded();
    classlib::THintInfo info;
    info.HintControl = edit;
    info.HintWindowClass = &classlib::THintWindow::ClassRef();
    edit->Perform(classlib::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.HintWindowClass, &widgets::TUcCustomHintWindow::ClassRef());
    EXPECT_EQ(info.HintData, &info);
    EXPECT_EQ(info.HintStr, WideToAnsi(kGreek));

    std::unique_ptr<classlib::THintWindow> window(info.HintWindowClass->Create(nullptr));
    RECT r = window->CalcHintRect(400, info.HintStr, info.HintData);
    EXPECT_GT(r.right, 6);
    EXPECT_GT(r.bottom, 2);
    OffsetRect(&r, 50, 50);
    window->ActivateHintData(r, info.HintStr, info.HintData);
    HWND hw = window->WindowHandle();
    ASSERT_NE(hw, nullptr);
    EXPECT_TRUE(IsWindowUnicode(hw));
    EXPECT_EQ(ClassNameOf(hw), L"TUcCustomHintWindow.UnicodeClass");
    EXPECT_EQ(WindowText(hw), kGreek);
    Pump(20);
    // What the tests that drive the program from outside take for a hint, not for something the
    // program told: this window is one, whatever its class is called; the form and its edit are not.
    EXPECT_TRUE(quill_test::IsHintWindow(hw)) << "the wide hint window is not known for a hint";
    EXPECT_FALSE(quill_test::IsHintWindow(form->Handle()));
    EXPECT_FALSE(quill_test::IsHintWindow(edit->Handle()));

    // Unmarked data: the hint window shows the ANSI text as the class library would.
    window->ActivateHintData(r, "plain", nullptr);
    EXPECT_EQ(WindowText(hw), L"plain");

    // A hint window class of another kind is left alone.
    static const classlib::THintWindowClassRef otherClass(
        L"TOtherHint", &classlib::THintWindow::ClassRef(),
        [](classlib::TComponent* o) -> classlib::THintWindow* { return new classlib::THintWindow(o); });
    classlib::THintInfo other;
    other.HintWindowClass = &otherClass;
    other.HintStr = "keep";
    edit->Perform(classlib::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(other.HintWindowClass, &otherClass);
    EXPECT_EQ(other.HintData, nullptr);
    EXPECT_EQ(other.HintStr, "keep");
}

}  // namespace
