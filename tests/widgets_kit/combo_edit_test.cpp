// The combo edit with its button and a pop-up: direct input off, read-only, the pop-up's place
// near the screen's edge, accepting with Enter or the button and abandoning with Escape, the
// button's width and glyph kinds, and the text kept clear of the button.
#include "classlib/forms.h"
#include "kit_test_support.h"
#include "widgets/kit/combo_edit.h"
#include "widgets/kit/kit_utils.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

// A pop-up that answers a fixed value.
class TTestPopup : public TPopupWindow {
public:
    explicit TTestPopup(TCustomComboEdit* Editor) : TPopupWindow(Editor) { SetBounds(0, 0, 120, 80); }
    TPopupValue GetValue() override { return answer; }
    void SetValue(const TPopupValue& Value) override { given = Value; }
    TPopupValue answer = std::string("picked");
    TPopupValue given;
};

class ComboEditTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm();
        edit = new TCustomComboEdit(form);
        edit->SetParent(form);
        edit->SetBounds(10, 10, 150, 21);
        edit->OnChange = [this](TObject*) { ++changes; };
        edit->OnButtonClick = [this](TObject*) { ++buttonClicks; };
        edit->HandleNeeded();
    }
    void ClickButton() {
        HWND panel = edit->ButtonPanel()->Handle();
        SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    }
    void Char(char C) { SendMessageA(edit->Handle(), WM_CHAR, static_cast<unsigned char>(C), 1); }
    TTestPopup* AddPopup() {
        auto* p = new TTestPopup(edit);
        edit->SetPopup(p);
        return p;
    }
    TForm* form = nullptr;
    TCustomComboEdit* edit = nullptr;
    int changes = 0;
    int buttonClicks = 0;
};

TEST_F(ComboEditTest, WithoutDirectInputOnlyTheButtonChangesTheText) {
    edit->SetText("keep");
    changes = 0;
    edit->SetDirectInput(false);
    edit->SetFocus();
    SendMessageA(edit->Handle(), EM_SETSEL, 0, -1);
    Char('x');
    SendMessageA(edit->Handle(), WM_PASTE, 0, 0);
    SendMessageA(edit->Handle(), WM_CUT, 0, 0);
    SendMessageA(edit->Handle(), WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(edit->Text(), "keep");
    EXPECT_EQ(changes, 0);
    ClickButton();
    EXPECT_EQ(buttonClicks, 1);
    // Typing is back with direct input.
    edit->SetDirectInput(true);
    SendMessageA(edit->Handle(), EM_SETSEL, 0, -1);
    Char('x');
    EXPECT_EQ(edit->Text(), "x");
}

TEST_F(ComboEditTest, EnteringFromTheKeyboardSelectsTheTextOnlyWithAutoSelect) {
    auto* other = new TEdit(form);
    other->SetParent(form);
    other->SetBounds(10, 60, 80, 21);
    edit->SetText("C:\\Clips");
    auto selected = [&] {
        DWORD from = 0, to = 0;
        SendMessageA(edit->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
        return static_cast<int>(to - from);
    };
    auto enter = [&] {
        other->SetFocus();
        SendMessageA(edit->Handle(), EM_SETSEL, 0, 0);
        edit->SetFocus();
    };
    enter();
    EXPECT_EQ(selected(), 8) << "AutoSelect is on by default";
    edit->SetAutoSelect(false);
    enter();
    EXPECT_EQ(selected(), 0);
}

TEST_F(ComboEditTest, ReadOnlyButtonWorksOnlyWhenAlwaysEnabled) {
    edit->SetReadOnly(true);
    ClickButton();
    EXPECT_EQ(buttonClicks, 0);
    edit->SetAlwaysEnable(true);
    ClickButton();
    EXPECT_EQ(buttonClicks, 1);
    // The click key does what the button does.
    edit->SetReadOnly(false);
    SendMessageA(edit->Handle(), WM_SYSKEYDOWN, VK_DOWN, 1 << 29);
    EXPECT_EQ(buttonClicks, 2);
}

TEST_F(ComboEditTest, PopupAcceptsWithEnterAndAbandonsWithEscape) {
    TTestPopup* popup = AddPopup();
    edit->SetText("old");
    changes = 0;
    ClickButton();
    ASSERT_TRUE(edit->PopupVisible());
    EXPECT_TRUE(IsWindowVisible(popup->Handle()));
    EXPECT_EQ(std::get<std::string>(popup->given), "old");
    EXPECT_NE(GetActiveWindow(), popup->Handle());  // it never takes the activation
    Char(27);
    EXPECT_FALSE(edit->PopupVisible());
    EXPECT_FALSE(IsWindowVisible(popup->Handle()));
    EXPECT_EQ(edit->Text(), "old");
    EXPECT_EQ(changes, 0);
    // Enter accepts: the text changes once.
    ClickButton();
    ASSERT_TRUE(edit->PopupVisible());
    Char('\r');
    EXPECT_FALSE(edit->PopupVisible());
    EXPECT_EQ(edit->Text(), "picked");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(edit->Modified());
    // The button closes an open pop-up, accepting, and does not open it again.
    popup->answer = std::string("second");
    ClickButton();
    ASSERT_TRUE(edit->PopupVisible());
    ClickButton();
    EXPECT_FALSE(edit->PopupVisible());
    EXPECT_EQ(edit->Text(), "second");
    EXPECT_EQ(changes, 2);
    // An empty text goes to the pop-up as the null value.
    edit->SetText("");
    ClickButton();
    EXPECT_TRUE(std::holds_alternative<std::monostate>(popup->given));
    edit->PopupCloseUp(false);
    // A release inside the pop-up accepts.
    ClickButton();
    SendMessageA(popup->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_FALSE(edit->PopupVisible());
    EXPECT_EQ(edit->Text(), "second");
}

TEST_F(ComboEditTest, PopupNearTheScreensBottomOpensAboveTheEdit) {
    TTestPopup* popup = AddPopup();
    int sh = GetSystemMetrics(SM_CYSCREEN), sw = GetSystemMetrics(SM_CXSCREEN);
    form->SetBounds(sw - 200, sh - 80, 200, 80);
    edit->SetBounds(0, 10, 150, 21);
    ClickButton();
    ASSERT_TRUE(edit->PopupVisible());
    RECT er{}, pr{};
    GetWindowRect(edit->Handle(), &er);
    GetWindowRect(popup->Handle(), &pr);
    EXPECT_EQ(pr.bottom, er.top);
    // Right-aligned to the edit, and kept on the screen.
    EXPECT_EQ(pr.right, er.right);
    EXPECT_LE(pr.right, sw);
    edit->PopupCloseUp(false);
    // Left-aligned: at the edit's left, unless it would pass the screen's right edge.
    edit->SetPopupAlign(TPopupAlign::epaLeft);
    ClickButton();
    GetWindowRect(popup->Handle(), &pr);
    EXPECT_EQ(pr.left, er.left);
    edit->PopupCloseUp(false);
    popup->SetWidth(300);
    ClickButton();
    GetWindowRect(popup->Handle(), &pr);
    EXPECT_EQ(pr.right, er.right);
    EXPECT_LE(pr.right, sw);
    edit->PopupCloseUp(false);
}

TEST_F(ComboEditTest, ButtonWidthGlyphKindsAndTheTextArea) {
    RECT r{};
    SendMessageA(edit->Handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
    EXPECT_LE(r.right, edit->ClientWidth() - edit->ButtonWidth() - 2);
    EXPECT_EQ(edit->ButtonPanel()->Left(), edit->ClientWidth() - edit->ButtonWidth());
    EXPECT_FALSE(edit->ButtonWidthStored());
    edit->SetGlyphKind(TGlyphKind::gkEllipsis);
    EXPECT_EQ(BitmapSize(edit->Glyph()).cx, 21 - 6);
    EXPECT_EQ(BitmapSize(edit->Glyph()).cy, 4);
    edit->SetNumGlyphs(3);
    EXPECT_EQ(edit->NumGlyphs(), 1);
    edit->SetGlyphKind(TGlyphKind::gkDropDown);
    EXPECT_EQ(edit->ButtonWidth(), GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_NE(edit->Glyph(), nullptr);
    EXPECT_FALSE(edit->ButtonWidthStored());
    // Too wide is ignored; 1 hides the button.
    edit->SetButtonWidth(500);
    EXPECT_EQ(edit->ButtonWidth(), GetSystemMetrics(SM_CXVSCROLL));
    edit->SetButtonWidth(1);
    EXPECT_FALSE(edit->ButtonPanel()->Visible());
    EXPECT_TRUE(edit->ButtonWidthStored());
    // The edit never gets lower than its font allows.
    edit->SetHeight(5);
    EXPECT_GT(edit->Height(), 5);
}

}  // namespace
