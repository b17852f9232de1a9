// The Hover image button: its drawn layout in several sizes, stock kinds, the animation, the
// same-size rule on many buttons, hot tracking under the real pointer and the drop-down.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/image_list.h"
#include "classlib/menus.h"
#include "hover_test_support.h"
#include "widgets/hover/hx_img_btn.h"
#include "widgets/hover/hx_themes.h"

using namespace classlib;
using namespace hover;
using hovertest::HoverTest;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);

// An image list of 16 x 16 images; image i is solid red for i = 0 and a grey level otherwise.
std::unique_ptr<TImageList> MakeImages(int Count) {
    auto list = std::make_unique<TImageList>(nullptr);
    list->SetWidth(16);
    list->SetHeight(16);
    for (int i = 0; i < Count; ++i) {
        HBITMAP b = hovertest::SolidBitmap(16, 16, i == 0 ? kRed : RGB(i, i, i));
        list->Add(b, nullptr);
        DeleteObject(b);
    }
    return list;
}

// What the button draws for its parent's WM_DRAWITEM into a bitmap of its size.
hovertest::TPicture Drawn(THxCustomImageButton* Button, UINT State = 0) {
    return hovertest::Capture(Button->Width(), Button->Height(), RGB(1, 2, 3), [&](HDC dc) {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_BUTTON;
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = State;
        dis.hwndItem = Button->Handle();
        dis.hDC = dc;
        dis.rcItem = RECT{0, 0, Button->Width(), Button->Height()};
        SendMessageA(Button->Parent()->Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
    });
}

THxImgBtn* MakeButton(TWinControl* Parent, int X, int Y, int W = 75, int H = 25) {
    return hovertest::Place<THxImgBtn>(Parent, X, Y, W, H);
}

class ImageButtonTest : public HoverTest {
protected:
    void SetUp() override {
        HoverTest::SetUp();
        SetThemesEnabledForTesting(false);
        images = MakeImages(13);
    }
    void TearDown() override {
        HoverTest::TearDown();
        images.reset();
        SetThemesEnabledForTesting(std::nullopt);
    }
    std::unique_ptr<TImageList> images;
};

TEST_F(ImageButtonTest, ImageAndCaptionAreLaidOutInEverySize) {
    for (SIZE size : {SIZE{75, 25}, SIZE{120, 40}, SIZE{48, 30}}) {
        SCOPED_TRACE(size.cx);
        THxImgBtn* b = MakeButton(form, 10, 10, size.cx, size.cy);
        b->SetCaption("Go");
        b->SetImages(images.get());
        b->SetImageIndex(0);
        RECT image = Drawn(b).Bounds(kRed);
        EXPECT_EQ(image.right - image.left, 16);
        EXPECT_EQ(image.top, (size.cy - 8 - 16) / 2 + 4);  // centred in the content rectangle
        // Centred as a whole: the caption's ink lies right of the image.
        hovertest::TPicture p = Drawn(b);
        RECT text = p.Bounds(ColorToRGB(clWindowText));
        EXPECT_GE(text.left, image.right + 4 - 1);
        EXPECT_LT(image.left, size.cx / 2);
        // Margin 3, left: the image 3 pixels into the content rectangle.
        b->SetAlignment(TAlignment::taLeftJustify);
        b->SetMargin(3);
        EXPECT_EQ(Drawn(b).Bounds(kRed).left, 4 + 3);
        b->SetMargin(-2);
        EXPECT_EQ(b->Margin(), 3);
        delete b;
    }
}

TEST_F(ImageButtonTest, NoImageCentresTheCaptionAloneAndABarBreaksTheLine) {
    THxImgBtn* b = MakeButton(form, 10, 10, 120, 50);
    b->SetImages(images.get());
    b->SetImageIndex(-1);
    b->SetCaption("One Two");
    hovertest::TPicture one = Drawn(b);
    EXPECT_EQ(one.Count(kRed), 0);
    RECT line = one.Bounds(ColorToRGB(clWindowText));
    EXPECT_NEAR((line.left + line.right) / 2, 60, 3);
    b->SetCaption("One|Two");
    EXPECT_EQ(b->ShownCaption(), "One\nTwo");
    RECT two = Drawn(b).Bounds(ColorToRGB(clWindowText));
    EXPECT_GT(two.bottom - two.top, (line.bottom - line.top) * 3 / 2);
    EXPECT_LT(two.right - two.left, line.right - line.left);
    b->SetWordWrap(false);
    EXPECT_EQ(b->ShownCaption(), "One|Two");
}

TEST_F(ImageButtonTest, DisabledCaptionIsEmbossed) {
    THxImgBtn* b = MakeButton(form, 10, 10);
    b->SetCaption("Reset");
    b->SetEnabled(false);
    hovertest::TPicture p = Drawn(b, ODS_DISABLED);
    const COLORREF shadow = ColorToRGB(clBtnShadow), highlight = ColorToRGB(clBtnHighlight);
    EXPECT_EQ(p.Count(ColorToRGB(clWindowText)), 0);
    // Inside the frame: the caption in the shadow colour with its highlight copy one pixel
    // right and down.
    auto inner = [&](COLORREF c) {
        RECT r{p.Width, p.Height, -1, -1};
        for (int y = 5; y < p.Height - 5; ++y)
            for (int x = 5; x < p.Width - 5; ++x)
                if (p.At(x, y) == c) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        return r;
    };
    RECT s = inner(shadow), h = inner(highlight);
    ASSERT_GT(s.right, s.left);
    ASSERT_GT(h.right, h.left);
    EXPECT_EQ(h.right, s.right + 1);
    EXPECT_EQ(h.bottom, s.bottom + 1);
}

TEST_F(ImageButtonTest, StockKindsGiveCaptionResultAndPicture) {
    THxImgBtn* b = MakeButton(form, 10, 10);
    b->SetCaption("Mine");
    b->SetImages(images.get());
    b->SetKind(THxImgBtnKind::bkOK);
    EXPECT_EQ(b->Caption(), "");
    EXPECT_EQ(b->Images(), nullptr);
    EXPECT_EQ(b->ShownCaption(), "Ok");
    EXPECT_EQ(b->ModalResult(), mrOk);
    EXPECT_TRUE(b->Default());
    EXPECT_EQ(b->ShownImages(), THxCustomImageButton::StockImages());
    EXPECT_EQ(b->CurrentImageIndex(), 2);
    EXPECT_GT(Drawn(b).Count(RGB(0, 128, 0)), 3);  // the stock picture's mark
    b->SetKind(THxImgBtnKind::bkCancel);
    EXPECT_TRUE(b->Cancel());
    EXPECT_FALSE(b->Default());
    EXPECT_EQ(b->ModalResult(), mrCancel);
    b->SetKind(THxImgBtnKind::bkAbort);
    EXPECT_EQ(b->ShownCaption(), "Cancel");
    EXPECT_EQ(b->ModalResult(), mrAbort);

    // Close closes its form.
    TForm* dialog = NewForm<TForm>(nullptr);
    dialog->SetBounds(300, 300, 200, 100);
    dialog->Show();
    THxImgBtn* close = MakeButton(dialog, 10, 10);
    close->SetKind(THxImgBtnKind::bkClose);
    close->Click();
    EXPECT_FALSE(dialog->Visible());
    delete dialog;
}

TEST_F(ImageButtonTest, AnimationCyclesThroughConsecutiveImages) {
    THxImgBtn* b = MakeButton(form, 10, 10);
    b->SetImages(images.get());
    b->SetImageIndex(10);
    b->SetAnimateFrames(3);
    b->SetAnimateInterval(20);
    std::vector<int> shown;
    b->SetAnimate(true);
    ASSERT_TRUE(b->Animating());
    shown.push_back(b->CurrentImageIndex());
    ASSERT_TRUE(hovertest::RunUntil([&] {
        int now = b->CurrentImageIndex();
        if (now != shown.back()) shown.push_back(now);
        return shown.size() >= 5;
    }));
    EXPECT_EQ(shown, (std::vector<int>{10, 11, 12, 10, 11}));
    b->SetAnimate(false);
    EXPECT_FALSE(b->Animating());
    EXPECT_EQ(b->CurrentImageIndex(), 10);
}

TEST_F(ImageButtonTest, SameSizeOnManyButtonsSettlesWithoutRecursion) {
    std::vector<THxImgBtn*> buttons;
    for (int i = 0; i < 24; ++i) {
        THxImgBtn* b = MakeButton(form, 5 + (i % 6) * 50, 5 + (i / 6) * 30, 40 + i, 20);
        b->SetForceSameSize(true);
        buttons.push_back(b);
    }
    buttons[7]->SetBounds(buttons[7]->Left(), buttons[7]->Top(), 44, 27);
    for (THxImgBtn* b : buttons) {
        EXPECT_EQ(b->Width(), 44);
        EXPECT_EQ(b->Height(), 27);
    }
    EXPECT_EQ(buttons[3]->Left(), 5 + 3 * 50);  // positions kept
}

TEST_F(ImageButtonTest, HotTrackFontAndFlatFrameFollowTheRealPointer) {
    THxImgBtn* b = MakeButton(form, 40, 40);
    b->SetCaption("Hover");
    b->SetHotTrack(true);
    b->HotTrackFont()->SetColor(clBlue);
    b->SetFlat(true);
    hovertest::Pump(20);
    if (!hovertest::MoveMouse(hovertest::CentreOf(b))) GTEST_SKIP() << "the display does not move the pointer";
    ASSERT_TRUE(hovertest::RunUntil([&] { return b->MouseInside(); }));
    EXPECT_EQ(b->Font()->Color(), clBlue);
    EXPECT_GT(Drawn(b).Count(RGB(0, 0, 255)), 10);
    hovertest::MoveMouse(form->ClientToScreen(POINT{300, 200}));
    ASSERT_TRUE(hovertest::RunUntil([&] { return !b->MouseInside(); }));
    EXPECT_EQ(b->Font()->Color(), clWindowText);
    EXPECT_EQ(Drawn(b).Count(RGB(0, 0, 255)), 0);
}

TEST_F(ImageButtonTest, AnAssignedActionBringsItsListsImagesAndItsImageIndex) {
    THxImgBtn* b = MakeButton(form, 10, 10);
    TActionList list(nullptr);
    list.SetImages(images.get());
    TAction action(nullptr);
    action.SetActionList(&list);
    action.SetImageIndex(0);
    action.SetCaption("Act");
    b->SetAction(&action);
    EXPECT_EQ(b->Images(), images.get());
    EXPECT_EQ(b->ImageIndex(), 0);
    EXPECT_EQ(Drawn(b).Count(kRed), 16 * 16);
    action.SetImageIndex(2);
    EXPECT_EQ(b->ImageIndex(), 2);
    b->SetAction(nullptr);
}

TEST_F(ImageButtonTest, ClickWithoutAMenuKeepsTheUsersQueuedClicks) {
    THxImgBtn* b = MakeButton(form, 10, 10);
    int clicks = 0;
    b->OnClick = [&](TObject*) { ++clicks; };
    HWND parent = form->Handle();
    PostMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 100));
    b->Click();
    EXPECT_EQ(clicks, 1);
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, parent, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE));

    // With a menu, the menu's own event may handle the drop-down.
    TPopupMenu menu(nullptr);
    menu.SetAlignment(TPopupAlignment::paRight);
    b->SetDropDownMenu(&menu);
    POINT at{};
    b->OnDropDownMenu = [&](TObject*, POINT p, bool& handled) {
        at = p;
        handled = true;
    };
    PostMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 100));
    b->Click();
    EXPECT_EQ(clicks, 2);
    POINT corner = b->ClientToScreen(POINT{0, b->Height()});
    EXPECT_EQ(at.x, corner.x + b->Width());
    EXPECT_EQ(at.y, corner.y);
    EXPECT_EQ(menu.PopupComponent(), b);
    EXPECT_FALSE(PeekMessageA(&m, parent, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE));
    b->SetDropDownMenu(nullptr);
}

}  // namespace
