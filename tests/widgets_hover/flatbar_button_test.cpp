// The FlatBar button: latching groups and toggles, the drop-down parts, the menu's closing click,
// auto-repeat, hot tracking with its shared timer under the real pointer, and the painted look.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/image_list.h"
#include "hover_test_support.h"
#include "widgets/hover/fb_button.h"
#include "widgets/hover/fb_common.h"

using namespace classlib;
using namespace hover;
using hovertest::HoverTest;

namespace {

TFlatBarButton* MakeButton(TWinControl* Parent, int X, int Y) { return hovertest::Place<TFlatBarButton>(Parent, X, Y, 23, 22); }

// A press and a release of the left button at a point of the button, as the parent receives them.
void ClickAt(TFlatBarButton* Button, int X = 5, int Y = 5) {
    HWND parent = Button->Parent()->Handle();
    SendMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(Button->Left() + X, Button->Top() + Y));
    SendMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(Button->Left() + X, Button->Top() + Y));
}

TEST_F(HoverTest, GroupsLatchAsRadioButtonsAndToggles) {
    TFlatBarButton* lone = MakeButton(form, 10, 10);
    lone->SetDown(true);
    EXPECT_FALSE(lone->Down());  // GroupIndex 0 never stays down

    std::vector<TFlatBarButton*> radio;
    for (int i = 0; i < 4; ++i) {
        radio.push_back(MakeButton(form, 10 + 25 * i, 40));
        radio.back()->SetGroupIndex(4);
    }
    radio[0]->SetDown(true);
    ClickAt(radio[0]);
    EXPECT_TRUE(radio[0]->Down());  // the only down button of the group stays down
    ClickAt(radio[2]);
    EXPECT_TRUE(radio[2]->Down());
    EXPECT_FALSE(radio[0]->Down());
    EXPECT_EQ(radio[0]->State(), TButtonState::bsUp);

    TFlatBarButton* bold = MakeButton(form, 10, 80);
    bold->SetGroupIndex(1);
    bold->SetAllowAllUp(true);
    TFlatBarButton* italic = MakeButton(form, 40, 80);
    italic->SetGroupIndex(2);
    italic->SetAllowAllUp(true);
    italic->SetDown(true);
    int clicks = 0;
    bold->OnClick = [&](TObject*) { ++clicks; };
    ClickAt(bold);
    EXPECT_TRUE(bold->Down());
    EXPECT_TRUE(italic->Down());
    ClickAt(bold);
    EXPECT_FALSE(bold->Down());
    EXPECT_EQ(clicks, 2);
    // A release outside the button is no click.
    HWND parent = form->Handle();
    SendMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 85));
    SendMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(200, 200));
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(bold->Down());
}

TEST_F(HoverTest, ComboArrowDropsAtPressAndTheMainPartClicksAtRelease) {
    TFlatBarButton* b = MakeButton(form, 10, 10);
    b->SetDropdownArrowWidth(3);
    EXPECT_EQ(b->DropdownArrowWidth(), 7);
    b->SetDropdownAlways(true);
    b->SetDropdownCombo(true);
    EXPECT_EQ(b->Width(), 23 + 7 + 2);
    int clicks = 0, drops = 0;
    b->OnClick = [&](TObject*) { ++clicks; };
    b->OnDropdown = [&](TObject*, bool& show, bool&) {
        ++drops;
        show = false;
    };
    HWND parent = form->Handle();
    const int arrowX = b->Left() + b->Width() - 3;
    SendMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(arrowX, b->Top() + 5));
    EXPECT_EQ(drops, 1);  // at the press
    EXPECT_EQ(clicks, 0);
    SendMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(arrowX, b->Top() + 5));
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(clicks, 0);
    SendMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b->Left() + 5, b->Top() + 5));
    EXPECT_EQ(clicks, 0);
    SendMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(b->Left() + 5, b->Top() + 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(drops, 1);
    b->SetDropdownCombo(false);
    EXPECT_EQ(b->Width(), 23);
}

TEST_F(HoverTest, TheClickThatClosedTheMenuDoesNotReopenItButOtherClicksStay) {
    TFlatBarButton* b = MakeButton(form, 10, 10);
    TPopupMenu menu(nullptr);
    b->SetDropdownMenu(&menu);
    HWND parent = form->Handle();
    int drops = 0;
    b->OnDropdown = [&](TObject*, bool& show, bool&) {
        ++drops;
        show = false;
        // While "the menu is open" the user clicks the button again, then elsewhere.
        PostMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b->Left() + 3, b->Top() + 3));
        PostMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(b->Left() + 3, b->Top() + 3));
        PostMessageA(parent, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(200, 150));
    };
    ClickAt(b);
    EXPECT_EQ(drops, 1);
    std::vector<UINT> left;
    MSG m;
    while (PeekMessageA(&m, parent, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) left.push_back(m.message);
    EXPECT_EQ(left, (std::vector<UINT>{WM_LBUTTONUP, WM_RBUTTONDOWN}));
    b->SetDropdownMenu(nullptr);
}

TEST_F(HoverTest, RepeatingButtonClicksAtPressThenWhileHeldAndNeverAtRelease) {
    TFlatBarButton* b = MakeButton(form, 40, 40);
    b->SetRepeating(true);
    b->SetRepeatDelay(120);
    b->SetRepeatInterval(40);
    int clicks = 0;
    b->OnClick = [&](TObject*) { ++clicks; };
    hovertest::Pump(20);
    if (!hovertest::MoveMouse(hovertest::CentreOf(b))) GTEST_SKIP() << "the display does not move the pointer";
    HWND parent = form->Handle();
    SendMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b->Left() + 5, b->Top() + 5));
    EXPECT_EQ(clicks, 1);
    ASSERT_TRUE(hovertest::RunUntil([&] { return clicks >= 4; }));
    SendMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(b->Left() + 5, b->Top() + 5));
    int atRelease = clicks;
    hovertest::Pump(200);
    EXPECT_EQ(clicks, atRelease);
    EXPECT_EQ(b->State(), TButtonState::bsUp);
}

TEST_F(HoverTest, HotButtonLeavesWhenThePointerGoesAnywhereElse) {
    TFlatBarButton* a = MakeButton(form, 20, 20);
    TFlatBarButton* b = MakeButton(form, 60, 20);
    int enters = 0, exits = 0;
    a->OnMouseEnter = [&](TObject*) { ++enters; };
    a->OnMouseExit = [&](TObject*) { ++exits; };
    hovertest::Pump(20);
    if (!hovertest::MoveMouse(hovertest::CentreOf(a))) GTEST_SKIP() << "the display does not move the pointer";
    ASSERT_TRUE(hovertest::RunUntil([&] { return TFlatBarButton::HotButton() == a; }));
    EXPECT_TRUE(a->MouseInControl());
    EXPECT_EQ(a->State(), TButtonState::bsHot);
    // Onto the other button: one hot button at a time.
    hovertest::MoveMouse(hovertest::CentreOf(b));
    ASSERT_TRUE(hovertest::RunUntil([&] { return TFlatBarButton::HotButton() == b; }));
    EXPECT_FALSE(a->MouseInControl());
    EXPECT_EQ(exits, 1);
    // Off the form altogether, where no message of ours tells it: the shared timer does.
    hovertest::MoveMouse(POINT{2, 2});
    ASSERT_TRUE(hovertest::RunUntil([&] { return TFlatBarButton::HotButton() == nullptr; }));
    EXPECT_FALSE(b->MouseInControl());
    EXPECT_EQ(enters, 1);
}

// The thread hooks serve the hot button alone: they come when a button turns hot and go when none is,
// so that a window full of buttons does not pay for them on every message.
TEST_F(HoverTest, ThreadHooksAreThereWhileAButtonIsHotAndMakeItLeaveWhenTheProgramIsLeft) {
    TFlatBarButton* a = MakeButton(form, 20, 20);
    MakeButton(form, 60, 20);
    hovertest::Pump(20);
    const auto hooked = [] {
        return ThreadHookHandle(THookSlot::hsCallWndProc) != nullptr && ThreadHookHandle(THookSlot::hsGetMessage) != nullptr;
    };
    EXPECT_EQ(ThreadHookHandle(THookSlot::hsCallWndProc), nullptr) << "no button is hot";
    EXPECT_EQ(ThreadHookHandle(THookSlot::hsGetMessage), nullptr);
    if (!hovertest::MoveMouse(hovertest::CentreOf(a))) GTEST_SKIP() << "the display does not move the pointer";
    ASSERT_TRUE(hovertest::RunUntil([&] { return TFlatBarButton::HotButton() == a; }));
    EXPECT_TRUE(hooked());
    // The program stops being the active one: the hooked message makes the hot button leave.
    SendMessageA(form->Handle(), WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(TFlatBarButton::HotButton(), nullptr);
    EXPECT_FALSE(a->MouseInControl());
    EXPECT_EQ(ThreadHookHandle(THookSlot::hsCallWndProc), nullptr) << "gone with the hot button";
    EXPECT_EQ(ThreadHookHandle(THookSlot::hsGetMessage), nullptr);
}

TEST_F(HoverTest, FlatLookShowsItsBorderOnlyWhenHotOrDown) {
    TFlatBarButton* b = MakeButton(form, 20, 20);
    b->SetCaption("Ab");
    auto* image = new TImageList(form);
    image->SetWidth(8);
    image->SetHeight(8);
    HBITMAP red = hovertest::SolidBitmap(8, 8, RGB(255, 0, 0));
    image->Add(red, nullptr);
    DeleteObject(red);
    b->SetImages(image);
    b->SetImageIndex(0);
    b->SetDisplayMode(TButtonDisplayMode::dmGlyphOnly);
    const COLORREF highlight = ColorToRGB(clBtnHighlight), face = ColorToRGB(clBtnFace);
    hovertest::TPicture idle = hovertest::CaptureControl(b, RGB(1, 2, 3));
    EXPECT_EQ(idle.At(0, 0), face);
    RECT glyph = idle.Bounds(RGB(255, 0, 0));
    EXPECT_EQ(glyph.right - glyph.left, 8);
    EXPECT_NEAR((glyph.left + glyph.right) / 2, 23 / 2, 1);
    // Down in a group: sunken, dithered, the glyph one pixel down and right.
    b->SetGroupIndex(3);
    b->SetAllowAllUp(true);
    b->SetDown(true);
    hovertest::TPicture down = hovertest::CaptureControl(b, RGB(1, 2, 3));
    EXPECT_EQ(down.At(0, 0), ColorToRGB(clBtnShadow));
    EXPECT_EQ(down.Bounds(RGB(255, 0, 0)).left, glyph.left + 1);
    if (highlight != face) {
        EXPECT_GT(down.Count(highlight), 20);
    }
    // The disabled look of an image-list glyph is made from it.
    b->SetDown(false);
    b->SetEnabled(false);
    hovertest::TPicture disabled = hovertest::CaptureControl(b, RGB(1, 2, 3));
    EXPECT_EQ(disabled.Count(RGB(255, 0, 0)), 0);
    EXPECT_GT(disabled.Count(ColorToRGB(clBtnShadow)), 20);
}

TEST_F(HoverTest, ARaisedComboButtonsArrowPartEndsTwoPixelsBeforeItsRightEdge) {
    TFlatBarButton* b = MakeButton(form, 20, 20);
    b->SetFlat(false);
    b->SetDropdownAlways(true);
    b->SetDropdownCombo(true);
    ASSERT_EQ(b->Width(), 23 + 9 + 2);
    const COLORREF face = ColorToRGB(clBtnFace);
    hovertest::TPicture p = hovertest::CaptureControl(b, RGB(1, 2, 3));
    const int w = b->Width(), mid = b->Height() / 2;
    EXPECT_EQ(p.At(w - 1, mid), face);
    EXPECT_EQ(p.At(w - 2, mid), face);
    EXPECT_NE(p.At(w - 3, mid), face);  // the arrow part's raised edge
    // Its own left edge stands where the main part ends.
    EXPECT_NE(p.At(w - 9 - 2, mid), face);
}

TEST_F(HoverTest, ARaisedLatchedButtonsDitherStandsTwoPixelsInsideItsSunkenEdge) {
    TFlatBarButton* b = MakeButton(form, 20, 20);
    b->SetFlat(false);
    b->SetGroupIndex(1);
    b->SetAllowAllUp(true);
    b->SetDown(true);
    const COLORREF highlight = ColorToRGB(clBtnHighlight), face = ColorToRGB(clBtnFace);
    if (highlight == face) GTEST_SKIP() << "the dither cannot be told from the face";
    hovertest::TPicture p = hovertest::CaptureControl(b, RGB(1, 2, 3));
    const int w = b->Width(), h = b->Height();
    // The sunken edge takes two pixels off the rectangle, the inner rectangle two more: a band of
    // face colour lies between the edge and the dither on every side.
    int band = 0, bandFace = 0;
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x)
            if (x < 4 || y < 4 || x >= w - 4 || y >= h - 4) {
                ++band;
                bandFace += p.At(x, y) == face ? 1 : 0;
            }
    EXPECT_EQ(bandFace, band);
    EXPECT_EQ(p.At(4, 4), highlight);  // the dither's pixels of equal parity
    EXPECT_EQ(p.At(5, 4), face);
    EXPECT_EQ(p.At(w - 5, h - 5), (w - 5) % 2 == (h - 5) % 2 ? highlight : face);
}

TEST_F(HoverTest, AnActionsCheckedStateIsTheButtonsDown) {
    TFlatBarButton* b = MakeButton(form, 20, 20);
    b->SetGroupIndex(5);
    b->SetAllowAllUp(true);
    TAction action(nullptr);
    action.SetChecked(true);
    action.SetImageIndex(3);
    b->SetAction(&action);
    EXPECT_TRUE(b->Down());
    EXPECT_EQ(b->ImageIndex(), 3);
    action.SetChecked(false);
    EXPECT_FALSE(b->Down());
    b->SetAction(nullptr);
    // The other way: the button's state goes into an action.
    b->SetDown(true);
    b->SetCaption("Bold");
    TAction copy(nullptr);
    copy.Assign(b);
    EXPECT_TRUE(copy.Checked());
    EXPECT_EQ(copy.Caption(), "Bold");
}

}  // namespace

namespace {

void CALLBACK CloseAnyMenu(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

TEST_F(HoverTest, ARealMenuClosedByClickingTheButtonDoesNotReopen) {
    TFlatBarButton* b = MakeButton(form, 10, 10);
    TPopupMenu menu(nullptr);
    auto* item = new TMenuItem(&menu);
    item->SetCaption("Size 1");
    menu.Items()->Add(item);
    b->SetDropdownMenu(&menu);
    menu.SetAlignment(TPopupAlignment::paRight);
    int drops = 0;
    bool leftAlignedLeftTracked = false;
    HWND parent = form->Handle();
    menu.OnPopup = [&](TObject*) {
        if (++drops > 1) return;
        leftAlignedLeftTracked = menu.Alignment() == TPopupAlignment::paLeft && menu.TrackButton() == TTrackButton::tbLeftButton &&
                                 menu.PopupComponent() == b;
        // The user clicks the button again while the menu is open.
        POINT p = b->ClientToScreen(POINT{3, 3});
        ScreenToClient(parent, &p);
        PostMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        PostMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    };
    // Whatever menu is still open after a while is closed, so that a reopened one ends too.
    UINT_PTR closer = SetTimer(nullptr, 0, 300, &CloseAnyMenu);
    ClickAt(b);
    EXPECT_EQ(drops, 1);
    hovertest::Pump(100);
    KillTimer(nullptr, closer);
    EXPECT_EQ(drops, 1);
    EXPECT_TRUE(leftAlignedLeftTracked);
    // The menu's own settings come back afterwards.
    EXPECT_EQ(menu.Alignment(), TPopupAlignment::paRight);
    EXPECT_EQ(menu.TrackButton(), TTrackButton::tbRightButton);
    EXPECT_EQ(b->State(), TButtonState::bsUp);
    b->SetDropdownMenu(nullptr);
}

}  // namespace
