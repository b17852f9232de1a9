// The shadow label and the kit's speed button on a shown form under Xvfb: shadow placement and
// sizes, groups, repeat, glyph states and the frame, driven by mouse messages.
#include <memory>

#include "classlib/actions.h"
#include "classlib/forms.h"
#include "classlib/image_list.h"
#include "classlib/menus.h"
#include "kit_test_support.h"
#include "widgets/kit/kit_label.h"
#include "widgets/kit/kit_speed_button.h"
#include "widgets/kit/kit_utils.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class KitButtonTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm();
        // The pointer away from every control: mouse-in starts off.
        SetCursorPos(0, 0);
    }
    TKitSpeedButton* NewButton(int Left, int Group = 0) {
        auto* b = new TKitSpeedButton(form);
        b->SetParent(form);
        b->SetBounds(Left, 10, 25, 25);
        b->SetGroupIndex(Group);
        b->OnClick = [this, b](TObject*) { ++clicks[b]; };
        return b;
    }
    void Press(TControl* C) { kittest::MouseTo(C, WM_LBUTTONDOWN, 5, 5, MK_LBUTTON); }
    void Release(TControl* C, int X = 5, int Y = 5) { kittest::MouseTo(C, WM_LBUTTONUP, X, Y); }
    void ClickOn(TControl* C) {
        Press(C);
        Release(C);
    }
    TForm* form = nullptr;
    std::map<TObject*, int> clicks;
};

TEST_F(KitButtonTest, ShadowLabelPlacesItsShadowAndSizesToIt) {
    auto* plain = new TKitLabel(form);
    plain->SetParent(form);
    plain->SetShadowSize(0);
    plain->SetCaption("Shadow 42");
    auto* label = new TKitLabel(form);
    label->SetParent(form);
    label->SetColor(RGB(0, 0, 128));
    label->Font()->SetColor(clRed);
    label->SetShadowColor(clLime);
    label->SetShadowSize(2);
    label->SetShadowPos(TShadowPosition::spLeftBottom);
    label->SetCaption("Shadow 42");
    EXPECT_EQ(label->Width(), plain->Width() + 2);
    EXPECT_EQ(label->Height(), plain->Height() + 2);
    // A wider label so the shadow on the left stays inside.
    label->SetAutoSize(false);
    label->SetBounds(10, 40, label->Width() + 10, label->Height() + 4);
    label->SetLayout(TTextLayout::tlCenter);
    label->SetAlignment(TAlignment::taCenter);
    kittest::TSnapshot s = kittest::Snapshot(label);
    RECT text = s.BoxOf(RGB(255, 0, 0)), shadow = s.BoxOf(RGB(0, 255, 0));
    ASSERT_GT(s.CountOf(RGB(255, 0, 0)), 0);
    ASSERT_GT(s.CountOf(RGB(0, 255, 0)), 0);
    EXPECT_EQ(shadow.left, text.left - 2);
    EXPECT_EQ(shadow.bottom, text.bottom + 2);
    EXPECT_EQ(s.At(0, 0), RGB(0, 0, 128));  // opaque: filled with its colour
}

TEST_F(KitButtonTest, DisabledLabelIsGreyWithAHighlightShadow) {
    auto* label = new TKitLabel(form);
    label->SetParent(form);
    label->SetColor(RGB(0, 0, 128));
    label->SetShadowSize(0);
    label->SetCaption("Off");
    label->SetEnabled(false);
    kittest::TSnapshot s = kittest::Snapshot(label);
    COLORREF grey = ColorToRGB(clGrayText), light = ColorToRGB(clBtnHighlight);
    ASSERT_GT(s.CountOf(grey), 0);
    ASSERT_GT(s.CountOf(light), 0);
    EXPECT_EQ(s.BoxOf(light).right, s.BoxOf(grey).right + 1);
    EXPECT_EQ(s.BoxOf(light).bottom, s.BoxOf(grey).bottom + 1);
}

TEST_F(KitButtonTest, GroupKeepsOneButtonDown) {
    TKitSpeedButton* a = NewButton(10, 1);
    TKitSpeedButton* b = NewButton(40, 1);
    TKitSpeedButton* other = NewButton(70, 2);
    other->SetDown(true);
    ClickOn(a);
    EXPECT_TRUE(a->Down());
    EXPECT_EQ(a->State(), TKitButtonState::bsExclusive);
    EXPECT_EQ(clicks[a], 1);
    ClickOn(b);
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    EXPECT_EQ(a->State(), TKitButtonState::bsUp);
    EXPECT_TRUE(other->Down());  // another group
    // Without AllowAllUp a down button stays down.
    ClickOn(b);
    EXPECT_TRUE(b->Down());
    EXPECT_EQ(clicks[b], 2);
    // AllowAllUp spreads to the group; then a click releases.
    a->SetAllowAllUp(true);
    EXPECT_TRUE(b->AllowAllUp());
    ClickOn(b);
    EXPECT_FALSE(b->Down());
    // Released outside: no click and no change.
    Press(a);
    EXPECT_EQ(a->State(), TKitButtonState::bsDown);
    kittest::MouseTo(a, WM_MOUSEMOVE, 200, 150, MK_LBUTTON);
    EXPECT_EQ(a->State(), TKitButtonState::bsUp);
    Release(a, 200, 150);
    EXPECT_FALSE(a->Down());
    EXPECT_EQ(clicks[a], 1);
    // A button without a group never stays down.
    TKitSpeedButton* plain = NewButton(100);
    plain->SetDown(true);
    EXPECT_FALSE(plain->Down());
    ClickOn(plain);
    EXPECT_EQ(plain->State(), TKitButtonState::bsUp);
    EXPECT_EQ(clicks[plain], 1);
    plain->SetMargin(-2);
    EXPECT_EQ(plain->Margin(), -1);
}

TEST_F(KitButtonTest, ClickSetsTheFormsModalResult) {
    TKitSpeedButton* ok = NewButton(10);
    ok->SetModalResult(mrOk);
    ClickOn(ok);
    EXPECT_EQ(form->ModalResult(), mrOk);
}

TEST_F(KitButtonTest, HeldButtonRepeatsUntilReleased) {
    TKitSpeedButton* b = NewButton(10);
    b->SetAllowTimer(true);
    b->SetInitPause(60);
    b->SetRepeatInterval(15);
    // Held over the button: the pointer stays on it and the form keeps the mouse captured (a
    // window of another program on the shared display may move either, which rightly stops the
    // repeat: a pointer moved off the button shows it up).
    HWND w = form->Handle();
    POINT centre = b->ClientToScreen(POINT{12, 12});
    SetCursorPos(centre.x, centre.y);
    Press(b);
    ASSERT_TRUE(kittest::PumpUntil([&] {
        SetCursorPos(centre.x, centre.y);
        if (GetCapture() != w) SetCapture(w);
        if (b->State() != TKitButtonState::bsDown) kittest::MouseTo(b, WM_MOUSEMOVE, 12, 12, MK_LBUTTON);
        return clicks[b] >= 3;
    }));
    Release(b);
    int atRelease = clicks[b];
    kittest::PumpFor(100);
    EXPECT_EQ(clicks[b], atRelease);
    // Without the timer: one click, at the release.
    b->SetAllowTimer(false);
    clicks[b] = 0;
    Press(b);
    kittest::PumpFor(100);
    EXPECT_EQ(clicks[b], 0);
    Release(b);
    EXPECT_EQ(clicks[b], 1);
}

// A 16x8 glyph of two images: up (a red square) and disabled (a blue one), fuchsia around.
TOwnedBitmap TwoStateGlyph(COLORREF First, COLORREF Second) {
    TWindowDC screen(nullptr);
    TOwnedBitmap bmp(CreateCompatibleBitmap(screen.Get(), 16, 8));
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TSelectedObject sel(dc.Get(), bmp.Get());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            bool figure = (x % 8) >= 2 && (x % 8) < 6 && y >= 2 && y < 6;
            SetPixel(dc.Get(), x, y, !figure ? RGB(255, 0, 255) : x < 8 ? First : Second);
        }
    return bmp;
}

TEST_F(KitButtonTest, GlyphStatesAndTheirImages) {
    TKitSpeedButton* b = NewButton(10);
    TOwnedBitmap glyph = TwoStateGlyph(RGB(255, 0, 0), RGB(0, 0, 255));
    b->SetGlyph(glyph.Get());
    EXPECT_EQ(b->NumGlyphs(), 2);
    kittest::TSnapshot up = kittest::Snapshot(b);
    EXPECT_EQ(up.CountOf(RGB(255, 0, 0)), 16);
    EXPECT_EQ(up.CountOf(RGB(255, 0, 255)), 0);  // the transparent colour is left out
    RECT at = up.BoxOf(RGB(255, 0, 0));
    // Held down: the down image is the up one (fewer than 3 images), one pixel right and down.
    Press(b);
    kittest::TSnapshot down = kittest::Snapshot(b);
    RECT moved = down.BoxOf(RGB(255, 0, 0));
    EXPECT_EQ(moved.left, at.left + 1);
    EXPECT_EQ(moved.top, at.top + 1);
    Release(b);
    b->SetEnabled(false);
    kittest::TSnapshot off = kittest::Snapshot(b);
    EXPECT_EQ(off.CountOf(RGB(255, 0, 0)), 0);
    EXPECT_EQ(off.CountOf(RGB(0, 0, 255)), 16);
    // One image only: the disabled one is embossed from the black figure.
    b->SetEnabled(true);
    TOwnedBitmap black = TwoStateGlyph(RGB(0, 0, 0), RGB(0, 0, 0));
    b->SetGlyph(black.Get());
    b->SetNumGlyphs(1);
    b->SetEnabled(false);
    kittest::TSnapshot embossed = kittest::Snapshot(b);
    EXPECT_EQ(embossed.CountOf(RGB(0, 0, 0)), 0);
    EXPECT_GE(embossed.CountOf(ColorToRGB(clBtnShadow)), 8);
    // Flat and away from the mouse: the inactive image is the first one in grey, no frame.
    b->SetEnabled(true);
    b->SetGlyph(glyph.Get());
    b->SetFlat(true);
    kittest::TSnapshot flat = kittest::Snapshot(b);
    EXPECT_EQ(flat.CountOf(RGB(255, 0, 0)), 0);
    EXPECT_EQ(flat.CountOf(RGB(76, 76, 76)), 16);
    EXPECT_EQ(flat.CountOf(ColorToRGB(clBtnShadow)), 0);
}

// Two 16x16 images on green (their mask colour): the first a red 4x4 square with a blue left
// column (the bottom-left corner included), the second all yellow.
TOwnedBitmap ActionImages() {
    TWindowDC screen(nullptr);
    TOwnedBitmap bmp(CreateCompatibleBitmap(screen.Get(), 32, 16));
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TSelectedObject sel(dc.Get(), bmp.Get());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            COLORREF c = x >= 16 ? RGB(255, 255, 0)
                         : x == 0 ? RGB(0, 0, 255)
                         : (x >= 6 && x < 10 && y >= 6 && y < 10) ? RGB(255, 0, 0)
                                                                  : RGB(0, 255, 0);
            SetPixel(dc.Get(), x, y, c);
        }
    return bmp;
}

COLORREF PixelOf(HBITMAP Bitmap, int X, int Y) {
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TSelectedObject sel(dc.Get(), Bitmap);
    return GetPixel(dc.Get(), X, Y);
}

TEST_F(KitButtonTest, ButtonWithoutGlyphTakesItsActionsImage) {
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255), fuchsia = RGB(255, 0, 255);
    auto* images = new TImageList(form);
    TOwnedBitmap strip = ActionImages();
    images->AddMasked(strip.Get(), RGB(0, 255, 0));
    ASSERT_EQ(images->Count(), 2);
    auto* list = new TActionList(form);
    list->SetImages(images);
    auto newAction = [&](int Index, TActionList* List) {
        auto* a = new TAction(form);
        a->SetActionList(List);
        a->SetImageIndex(Index);
        return a;
    };
    TKitSpeedButton* b = NewButton(10);
    b->SetAction(newAction(0, list));
    ASSERT_NE(b->Glyph(), nullptr);
    SIZE size = BitmapSize(b->Glyph());
    EXPECT_EQ(size.cx, 16);
    EXPECT_EQ(size.cy, 16);
    EXPECT_EQ(b->NumGlyphs(), 1);
    // The masked parts are fuchsia and fuchsia is the transparent colour, though the corner is blue.
    EXPECT_EQ(PixelOf(b->Glyph(), 3, 3), fuchsia);
    EXPECT_EQ(PixelOf(b->Glyph(), 0, 15), blue);
    EXPECT_EQ(b->ButtonGlyph()->TransparentColor(), fuchsia);
    kittest::TSnapshot s = kittest::Snapshot(b);
    EXPECT_EQ(s.CountOf(red), 16);
    EXPECT_EQ(s.CountOf(blue), 16);
    EXPECT_EQ(s.CountOf(fuchsia), 0);
    // The action's own index picks the image.
    TKitSpeedButton* second = NewButton(40);
    second->SetAction(newAction(1, list));
    ASSERT_NE(second->Glyph(), nullptr);
    EXPECT_EQ(PixelOf(second->Glyph(), 8, 8), RGB(255, 255, 0));
    // A glyph of its own stays.
    TKitSpeedButton* own = NewButton(70);
    TOwnedBitmap glyph = TwoStateGlyph(red, blue);
    own->SetGlyph(glyph.Get());
    own->SetAction(newAction(0, list));
    EXPECT_EQ(BitmapSize(own->Glyph()).cx, 16);
    EXPECT_EQ(BitmapSize(own->Glyph()).cy, 8);
    EXPECT_EQ(own->NumGlyphs(), 2);
    // No image to take: an index outside the list, none, or an action outside any list.
    for (TAction* a : {newAction(2, list), newAction(-1, list), newAction(0, nullptr)}) {
        TKitSpeedButton* none = NewButton(100);
        none->SetAction(a);
        EXPECT_EQ(none->Glyph(), nullptr);
    }
    // Freeing the images takes them from the list; a later action finds none.
    delete images;
    EXPECT_EQ(list->Images(), nullptr);
    TKitSpeedButton* late = NewButton(130);
    late->SetAction(newAction(0, list));
    EXPECT_EQ(late->Glyph(), nullptr);
}

TEST_F(KitButtonTest, FramesFollowStateAndStyle) {
    TKitSpeedButton* b = NewButton(10, 1);
    b->SetStyle(TButtonStyle::bsNew);
    kittest::TSnapshot up = kittest::Snapshot(b);
    EXPECT_EQ(up.At(0, 0), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(up.At(24, 24), ColorToRGB(clWindowFrame));
    b->SetDown(true);
    kittest::TSnapshot down = kittest::Snapshot(b);
    EXPECT_EQ(down.At(0, 0), ColorToRGB(clWindowFrame));
    EXPECT_EQ(down.At(24, 24), ColorToRGB(clBtnHighlight));
    // Exclusive: the checkerboard of face and highlight inside.
    EXPECT_NE(down.At(5, 5), down.At(6, 5));
    b->SetStyle(TButtonStyle::bsWin31);
    b->SetAllowAllUp(true);
    b->SetDown(false);
    kittest::TSnapshot old = kittest::Snapshot(b);
    EXPECT_EQ(old.At(0, 0), ColorToRGB(clWindowFrame));
    EXPECT_EQ(old.At(1, 1), ColorToRGB(clBtnHighlight));
}

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR Id, DWORD) {
    KillTimer(nullptr, Id);
    EndMenu();
}

TEST_F(KitButtonTest, DropDownMenuOpensOnceAndShowsItsMark) {
    TKitSpeedButton* b = NewButton(10);
    b->SetBounds(10, 10, 40, 25);
    auto* menu = new TPopupMenu(form);
    auto* item = new TMenuItem(menu);
    item->SetCaption("One");
    menu->Items()->Add(item);
    kittest::TSnapshot plain = kittest::Snapshot(b);
    b->SetDropDownMenu(menu);
    kittest::TSnapshot marked = kittest::Snapshot(b);
    RECT mark = marked.BoxOf(ColorToRGB(clBtnText));
    EXPECT_EQ(plain.CountOf(ColorToRGB(clBtnText)), 0);
    EXPECT_EQ(marked.CountOf(ColorToRGB(clBtnText)), 7 + 5 + 3 + 1);
    EXPECT_EQ(mark.bottom - mark.top, 3);
    int popups = 0;
    menu->OnPopup = [&](TObject*) {
        ++popups;
        // The user's next press on the button is what closes the menu.
        PostMessageA(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b->Left() + 5, b->Top() + 5));
        SetTimer(nullptr, 0, 20, &CloseMenu);
    };
    Press(b);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(menu->PopupComponent(), b);
    EXPECT_FALSE(b->Dragging());
    EXPECT_EQ(b->State(), TKitButtonState::bsUp);
    kittest::PumpFor(60);
    EXPECT_EQ(popups, 1);  // that press did not open the menu again
    EXPECT_EQ(clicks[b], 0);
    // Freeing the menu takes it from the button.
    delete menu;
    EXPECT_EQ(b->DropDownMenu(), nullptr);
}

TEST_F(KitButtonTest, GroupedMenuButtonTogglesWhenItsMenuCloses) {
    TKitSpeedButton* b = NewButton(10, 4);
    b->SetAllowAllUp(true);
    auto* menu = new TPopupMenu(form);
    auto* item = new TMenuItem(menu);
    item->SetCaption("One");
    menu->Items()->Add(item);
    b->SetDropDownMenu(menu);
    menu->OnPopup = [&](TObject*) { SetTimer(nullptr, 0, 20, &CloseMenu); };
    Press(b);
    EXPECT_TRUE(b->Down()) << "the press's release came after the menu";
    EXPECT_EQ(b->State(), TKitButtonState::bsExclusive);
    EXPECT_FALSE(b->Dragging());
    Press(b);
    EXPECT_FALSE(b->Down()) << "and the next one lets it up again";
    EXPECT_EQ(clicks[b], 0) << "a menu button opens its menu instead of clicking";
}

TEST_F(KitButtonTest, TransparentButtonShowsItsParentsOwnPaintingButNotItsOtherControls) {
    // A parent that paints a green band across its top; a label lies above the button.
    auto* parent = new TCustomControl(form);
    parent->SetParent(form);
    parent->SetBounds(0, 0, 200, 100);
    parent->Brush()->SetColor(RGB(0, 0, 160));
    parent->OnPaint = [parent](TObject*) {
        RECT band{0, 0, 200, 20};
        TOwnedBrush green(CreateSolidBrush(RGB(0, 200, 0)));
        FillRect(parent->Canvas()->Handle(), &band, green.Get());
    };
    auto* b = new TKitSpeedButton(form);
    b->SetParent(parent);
    b->SetBounds(10, 10, 25, 25);
    b->SetFlat(true);
    b->SetTransparent(true);
    auto* above = new TKitLabel(form);  // placed after the button: over it, not under it
    above->SetParent(parent);
    above->SetAutoSize(false);
    above->SetBounds(10, 10, 10, 25);
    above->SetColor(RGB(200, 0, 0));
    kittest::TSnapshot s = kittest::Snapshot(b);
    EXPECT_EQ(s.At(20, 5), RGB(0, 200, 0)) << "the parent's own painting";
    EXPECT_EQ(s.At(20, 15), RGB(0, 0, 160)) << "its background below the band";
    EXPECT_EQ(s.CountOf(RGB(200, 0, 0)), 0) << "a control above the button is not under it";
}

TEST_F(KitButtonTest, TransparentButtonShowsWhatLiesUnderIt) {
    form->SetColor(RGB(0, 0, 160));
    auto* under = new TKitLabel(form);  // placed before the button: painted under it
    under->SetParent(form);
    under->SetAutoSize(false);
    under->SetBounds(10, 10, 10, 25);
    under->SetColor(RGB(0, 200, 0));
    under->SetShadowSize(0);
    TKitSpeedButton* b = NewButton(10);
    b->SetFlat(true);
    b->SetTransparent(true);
    kittest::TSnapshot s = kittest::Snapshot(b);
    EXPECT_EQ(s.At(5, 12), RGB(0, 200, 0));  // the label
    EXPECT_EQ(s.At(20, 12), ColorToRGB(form->Brush()->Color()));  // the form's background
    EXPECT_EQ(s.CountOf(ColorToRGB(clBtnFace)), 0);
}

}  // namespace
