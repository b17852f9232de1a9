// The spin edit as the schedule panel's minute edit (0..59): typed numbers clamped and reported
// only when the value changes, texts out of range refused when the owner checks them, keys typed
// through the message loop into an edit as narrow as the schedule's (the digits stay in sight, Tab
// moves on without being typed), steps by key, button and repeat, the diagonal halves of a button
// that is not square, hexadecimal and float values, and the system's up-down.
#include <vector>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "kit_test_support.h"
#include "widgets/kit/kit_spin_edit.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class KitSpinEditTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm();
        edit = new TKitSpinEdit(form);
        edit->SetParent(form);
        edit->SetBounds(10, 10, 80, 21);
        edit->SetMaxValue(59);
        edit->SetTabStop(true);
        other = new TKitSpinEdit(form);
        other->SetParent(form);
        other->SetBounds(10, 60, 80, 21);
        other->SetTabStop(true);
        edit->OnChange = [this](TObject*) { changes.push_back(edit->Value()); };
        edit->OnTopClick = [this](TObject*) { ++tops; };
        edit->SetFocus();
    }
    void Type(const char* Text) {
        for (const char* c = Text; *c; ++c) SendMessageA(edit->Handle(), WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
    void Key(WORD Vk) { SendMessageA(edit->Handle(), WM_KEYDOWN, Vk, 1); }
    void SelectAllText() { SendMessageA(edit->Handle(), EM_SETSEL, 0, -1); }
    TForm* form = nullptr;
    TKitSpinEdit* edit = nullptr;
    TKitSpinEdit* other = nullptr;
    std::vector<double> changes;
    int tops = 0;
};

TEST_F(KitSpinEditTest, TypedMinutesAreClampedAndReportedOnlyWhenTheyChange) {
    SelectAllText();
    Type("75");
    EXPECT_EQ(edit->Text(), "75");
    EXPECT_EQ(edit->Value(), 59);  // never 75, even while typing
    EXPECT_EQ(changes, (std::vector<double>{7, 59}));
    other->SetFocus();  // leaving writes the limit back, without another OnChange
    EXPECT_EQ(edit->Text(), "59");
    EXPECT_EQ(changes.size(), 2u);
    // A text that is no number reads as the minimum and stays as typed when left.
    edit->SetFocus();
    SelectAllText();
    Type("x");  // refused: not a digit
    EXPECT_EQ(edit->Text(), "59");
    edit->SetText("abc");
    EXPECT_EQ(edit->Value(), 0);
    other->SetFocus();
    EXPECT_EQ(edit->Text(), "abc");
    // The same value in another text reports nothing.
    changes.clear();
    edit->SetText("5");
    edit->SetText("05");
    EXPECT_EQ(changes, std::vector<double>{5});
    // A number past what an integer holds is a number all the same: the limit, written back when
    // the edit is left.
    edit->SetFocus();
    edit->SetText("99999999999");
    EXPECT_EQ(edit->Value(), 59);
    other->SetFocus();
    EXPECT_EQ(edit->Text(), "59");
    // Checked before its value is used, a text that is no number within the limits is refused: the
    // last value within them comes back.
    edit->SetText("12");
    for (const char* refused : {"75", "abc", "99999999999", ""}) {
        edit->SetText(refused);
        EXPECT_FALSE(edit->CheckText()) << refused;
        EXPECT_EQ(edit->Text(), "12") << refused;
    }
    edit->SetText("30");
    EXPECT_TRUE(edit->CheckText());
    EXPECT_EQ(edit->Text(), "30");
    // Equal limits accept anything.
    edit->SetMaxValue(0);
    edit->SetValue(1234);
    EXPECT_EQ(edit->AsInteger(), 1234);
}

// Keys pressed as the keyboard gives them: posted to the focused window and turned into characters
// by the message loop.
void PressKeys(HWND Window, const std::vector<WORD>& Keys) {
    for (WORD vk : Keys) {
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
        PostMessageW(Window, WM_KEYDOWN, vk, scan | 1);
        PostMessageW(Window, WM_KEYUP, vk, scan | 0xC0000001);
    }
    kittest::Pump();
}

// The text of an edit lies wholly inside its text rectangle: nothing scrolled out of sight.
void ExpectWholeTextShown(TKitSpinEdit* Edit) {
    HWND h = Edit->Handle();
    RECT r{};
    SendMessageW(h, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
    const std::wstring text = AnsiToWide(Edit->Text());
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    const int first = static_cast<short>(LOWORD(SendMessageW(h, EM_POSFROMCHAR, 0, 0)));
    EXPECT_GE(first, r.left) << "the first digit scrolled out of the edit";
    EXPECT_LE(first + size.cx, r.right) << "the digits need " << size.cx << " pixels, the edit shows "
                                        << r.right - r.left;
}

TEST_F(KitSpinEditTest, TypedDigitsStayInSightAndTabMovesOnWithoutBeingTyped) {
    // As narrow as the schedule panel's time fields, in the main window's font.
    form->Font()->SetName("Arial");
    edit->SetBounds(10, 10, 45, 21);
    other->SetBounds(60, 10, 45, 21);
    edit->SetFocus();  // everything selected: typing replaces it
    kittest::Pump();
    PressKeys(edit->Handle(), {'4', '5'});
    EXPECT_EQ(edit->Text(), "45");
    ExpectWholeTextShown(edit);
    PressKeys(edit->Handle(), {'5', VK_BACK});
    EXPECT_EQ(edit->Text(), "45");
    PressKeys(edit->Handle(), {VK_TAB});
    EXPECT_EQ(edit->Text(), "45") << "the Tab was typed into the number";
    EXPECT_EQ(edit->Value(), 45);
    EXPECT_EQ(GetFocus(), other->Handle()) << "Tab moves on to the next field";
    PressKeys(other->Handle(), {'7'});
    EXPECT_EQ(other->Text(), "7");
    // Shift+Tab goes back.
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    PressKeys(other->Handle(), {VK_TAB});
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(GetFocus(), edit->Handle());
    EXPECT_EQ(other->Text(), "7");
    // Ctrl+Enter gives a line break, which a number cannot hold.
    SendMessageW(edit->Handle(), WM_CHAR, '\n', 1);
    EXPECT_EQ(edit->Text(), "45");
    EXPECT_EQ(SendMessageW(edit->Handle(), EM_GETLINECOUNT, 0, 0), 1);
    // The largest value the field takes shows whole too.
    edit->SetValue(59);
    ExpectWholeTextShown(edit);
}

TEST_F(KitSpinEditTest, StepsByKeyAndButtonStopAtTheLimits) {
    edit->SetValue(57);
    changes.clear();
    Key(VK_UP);
    EXPECT_EQ(edit->Text(), "58");
    edit->UpClick(edit);
    Key(VK_UP);  // at the maximum: no wrap, no OnChange, but the top click
    EXPECT_EQ(edit->Text(), "59");
    EXPECT_EQ(changes, (std::vector<double>{58, 59}));
    EXPECT_EQ(tops, 3);
    Key(VK_DOWN);
    EXPECT_EQ(edit->Value(), 58);
    // Read-only: a beep and nothing else.
    edit->SetReadOnly(true);
    Key(VK_DOWN);
    EXPECT_EQ(edit->Value(), 58);
    edit->SetReadOnly(false);
    // Without the editor typing and pasting are refused; the keys still step.
    edit->SetEditorEnabled(false);
    SelectAllText();
    Type("3");
    SendMessageA(edit->Handle(), WM_CUT, 0, 0);
    EXPECT_EQ(edit->Text(), "58");
    Key(VK_DOWN);
    EXPECT_EQ(edit->Text(), "57");
}

TEST_F(KitSpinEditTest, HeldHalfStepsAtOnceThenRepeats) {
    TKitSpinButton* button = edit->SpinButton();
    ASSERT_NE(button, nullptr);
    HWND panel = edit->ButtonPanel()->Handle();
    EXPECT_LE(edit->ButtonPanel()->Left() + edit->ButtonPanel()->Width(), edit->ClientWidth() + 1);
    // The edit's text stops before the button.
    RECT r{};
    SendMessageA(edit->Handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
    EXPECT_LE(r.right, edit->ButtonPanel()->Left());
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(button->Down(), TSpinButtonState::sbTopDown);
    EXPECT_EQ(edit->Value(), 1);
    ASSERT_NE(button->RepeatTimer(), nullptr);
    EXPECT_EQ(button->RepeatTimer()->Interval(), 400u);
    SetCapture(panel);
    SendMessageA(button->RepeatTimer()->Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(edit->Value(), 2);
    EXPECT_EQ(button->RepeatTimer()->Interval(), 100u);
    SendMessageA(button->RepeatTimer()->Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(edit->Value(), 3);
    // Dragged onto the other half it shows up; released, it stops.
    SendMessageA(panel, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(button->Width() - 2, button->Height() - 2));
    EXPECT_EQ(button->Down(), TSpinButtonState::sbNotDown);
    SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(button->Width() - 2, button->Height() - 2));
    SendMessageA(button->RepeatTimer()->Handle(), WM_TIMER, 1, 0);
    EXPECT_EQ(edit->Value(), 3);
    // The bottom half steps down.
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(button->Width() - 2, button->Height() - 2));
    SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(button->Width() - 2, button->Height() - 2));
    EXPECT_EQ(edit->Value(), 2);
}

TEST(KitSpinButtonHalves, DiagonalOfAButtonWiderThanHigh) {
    // 20 x 10: the diagonal runs from (0, 10) to (20, 0); integer h / w would be 0 and put every
    // point in the top half.
    EXPECT_TRUE(SpinPointInTopHalf(5, 5, 20, 10));
    EXPECT_FALSE(SpinPointInTopHalf(15, 5, 20, 10));
    EXPECT_TRUE(SpinPointInTopHalf(10, 5, 20, 10));  // on the diagonal
    EXPECT_FALSE(SpinPointInTopHalf(3, 9, 20, 10));
}

TEST_F(KitSpinEditTest, HexAndFloatValues) {
    edit->SetMaxValue(0);
    edit->SetValueType(TValueType::vtHex);
    edit->SetValue(255);
    EXPECT_EQ(edit->Text(), "FF");
    SelectAllText();
    Type("ff");
    EXPECT_EQ(edit->Value(), 255);
    Type("g");  // not a hex digit
    EXPECT_EQ(edit->Text(), "ff");
    edit->SetValueType(TValueType::vtFloat);
    edit->SetDecimal(1);
    edit->SetValue(2.25);
    std::string sep(1, static_cast<char>(FormatSettings().DecimalSeparator));
    EXPECT_EQ(edit->Text(), "2" + sep + "2");  // halves to even
    edit->SetIncrement(0.5);
    Key(VK_UP);
    EXPECT_DOUBLE_EQ(edit->Value(), 2.7);
    // Integer kinds round the increment and never step by 0.
    edit->SetValueType(TValueType::vtInteger);
    edit->SetIncrement(0.4);
    EXPECT_EQ(edit->Increment(), 1);
}

TEST_F(KitSpinEditTest, StandardButtonCountsEveryClick) {
    edit->SetButtonKind(TSpinButtonKind::bkStandard);
    EXPECT_EQ(edit->SpinButton(), nullptr);
    ASSERT_NE(edit->UpDown(), nullptr);
    EXPECT_LE(edit->UpDown()->Width(), 15);
    HWND ud = edit->UpDown()->Handle();
    RECT rc{};
    GetClientRect(ud, &rc);
    for (int i = 0; i < 2; ++i) {
        SendMessageA(ud, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rc.right / 2, 2));
        SendMessageA(ud, WM_LBUTTONUP, 0, MAKELPARAM(rc.right / 2, 2));
        kittest::Pump();
    }
    EXPECT_EQ(edit->Value(), 2);
    SendMessageA(ud, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rc.right / 2, rc.bottom - 2));
    SendMessageA(ud, WM_LBUTTONUP, 0, MAKELPARAM(rc.right / 2, rc.bottom - 2));
    kittest::Pump();
    EXPECT_EQ(edit->Value(), 1);
}

}  // namespace
