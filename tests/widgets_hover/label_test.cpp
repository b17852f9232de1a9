// The Hover label: shadows, rotation, frames and images as painted pixels, auto-sizing, hot
// tracking under the real pointer, the accelerator, clicks and a provider's caption.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/controls.h"
#include "classlib/image_list.h"
#include "classlib/std_controls.h"
#include "hover_test_support.h"
#include "data_provider_support.h"
#include "widgets/hover/hx_label.h"
#include "widgets/hover/hx_themes.h"

using namespace classlib;
using namespace hover;
using hovertest::HoverTest;
using hovertest::ItemSelectOf;

namespace {

constexpr COLORREF kMaroon = RGB(0x80, 0, 0);

// The about panel's label: Arial -16 bold maroon with a one-pixel shadow.
THxLabel* PanelLabel(TWinControl* Parent, TColor Shadow) {
    auto* label = hovertest::Place<THxLabel>(Parent, 10, 10, 72, 20);
    label->SetParentFont(false);
    label->Font()->SetName("Arial");
    label->Font()->SetHeight(-16);
    label->Font()->SetStyle({fsBold});
    label->Font()->SetColor(clMaroon);
    label->SetParentColor(false);
    label->SetColor(clYellow);
    label->SetShadowSize(1);
    label->SetShadowColor(Shadow);
    label->SetCaption("Quillotrane");
    return label;
}

class LabelTest : public HoverTest {
protected:
    void SetUp() override {
        HoverTest::SetUp();
        SetThemesEnabledForTesting(false);
    }
    void TearDown() override {
        SetThemesEnabledForTesting(std::nullopt);
        HoverTest::TearDown();
    }
};

TEST_F(LabelTest, ShadowFallsWhereItsPositionSaysAndSizesTheLabel) {
    THxLabel* label = PanelLabel(form, clBlack);
    // Auto-sized to the text and its shadow.
    EXPECT_GT(label->Width(), 72);
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    RECT text = p.Bounds(kMaroon), shadow = p.Bounds(RGB(0, 0, 0));
    ASSERT_GT(p.Count(kMaroon), 50);
    ASSERT_GT(p.Count(RGB(0, 0, 0)), 10);
    EXPECT_EQ(shadow.right, text.right + 1);
    EXPECT_EQ(shadow.bottom, text.bottom + 1);
    EXPECT_LE(shadow.right, label->Width());

    label->SetShadowPos(TShadowPosition::spRightTop);
    label->SetShadowSize(2);
    p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    text = p.Bounds(kMaroon);
    shadow = p.Bounds(RGB(0, 0, 0));
    EXPECT_EQ(shadow.right, text.right + 2);
    EXPECT_EQ(shadow.top, text.top - 2);
}

TEST_F(LabelTest, DefaultShadowColourIsResolvedBeforeDrawing) {
    // The error panel's label asks for the default shadow colour.
    THxLabel* label = PanelLabel(form, clDefault);
    const COLORREF highlight = ColorToRGB(clBtnHighlight);
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    RECT text = p.Bounds(kMaroon), shadow = p.Bounds(highlight);
    ASSERT_GT(p.Count(highlight), 10);
    EXPECT_EQ(shadow.right, text.right + 1);
    EXPECT_EQ(shadow.bottom, text.bottom + 1);
}

TEST_F(LabelTest, DisabledLabelIsGreyWithAHighlightBelowRight) {
    THxLabel* label = PanelLabel(form, clBlack);
    label->SetShadowSize(0);
    label->SetEnabled(false);
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    const COLORREF grey = ColorToRGB(clGrayText), highlight = ColorToRGB(clBtnHighlight);
    EXPECT_EQ(p.Count(kMaroon), 0);
    ASSERT_GT(p.Count(grey), 20);
    RECT text = p.Bounds(grey), shadow = p.Bounds(highlight);
    EXPECT_EQ(shadow.right, text.right + 1);
    EXPECT_EQ(shadow.bottom, text.bottom + 1);
}

TEST_F(LabelTest, RotatedTextStandsUpAndTheLabelFollows) {
    THxLabel* label = PanelLabel(form, clBlack);
    label->SetShadowSize(0);
    const int flatWidth = label->Width(), flatHeight = label->Height();
    label->SetAngle(-90);
    EXPECT_EQ(label->Angle(), 270);
    EXPECT_GT(label->Height(), label->Width());
    EXPECT_NEAR(label->Height(), flatWidth, 6);
    EXPECT_NEAR(label->Width(), flatHeight, 6);
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    RECT ink = p.Bounds(kMaroon);
    ASSERT_GT(p.Count(kMaroon), 50);
    EXPECT_GT(ink.bottom - ink.top, 3 * (ink.right - ink.left));
    EXPECT_GE(ink.left, 0);
    EXPECT_LE(ink.bottom, label->Height());

    label->SetAngle(45);
    p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    ink = p.Bounds(kMaroon);
    // Diagonal: ink rises from the lower left to the upper right.
    int leftCol = ink.left + 3, rightCol = ink.right - 4;
    auto topOf = [&](int x) {
        for (int y = 0; y < p.Height; ++y)
            if (p.At(x, y) == kMaroon) return y;
        return -1;
    };
    ASSERT_GE(topOf(leftCol), 0);
    ASSERT_GE(topOf(rightCol), 0);
    EXPECT_GT(topOf(leftCol), topOf(rightCol) + 10);
}

TEST_F(LabelTest, AutoSizeKeepsOneBlankAndTheRightEdgeOfARightAlignedLabel) {
    auto* label = hovertest::Place<THxLabel>(form, 40, 40, 65, 17);
    label->SetCaption("X");
    const int oneChar = label->Height();
    label->SetCaption("");
    EXPECT_EQ(label->Height(), oneChar);
    EXPECT_GT(label->Width(), 2);
    label->SetCaption("&");
    EXPECT_EQ(label->Height(), oneChar);

    label->SetAlignment(TAlignment::taRightJustify);
    label->SetCaption("Short");
    const int right = label->Left() + label->Width();
    label->SetCaption("A much longer caption");
    EXPECT_EQ(label->Left() + label->Width(), right);
    EXPECT_LT(label->Left(), 40);
}

TEST_F(LabelTest, FramesAndTheirRefusedCorners) {
    auto* label = hovertest::Place<THxLabel>(form, 10, 10, 60, 20);
    label->SetAutoSize(false);
    label->SetBounds(10, 10, 60, 20);
    label->SetParentColor(false);
    label->SetColor(clWhite);
    label->SetFrameColor(clBlue);
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(0, 0, 0));
    EXPECT_EQ(p.At(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(p.At(59, 19), RGB(0, 0, 255));
    EXPECT_EQ(p.At(30, 10), RGB(255, 255, 255));
    label->SetRoundedFrame(10);  // Height div 2: refused
    EXPECT_EQ(label->RoundedFrame(), 0);
    label->SetRoundedFrame(-1);
    EXPECT_EQ(label->RoundedFrame(), 0);
    label->SetRoundedFrame(5);
    EXPECT_EQ(label->RoundedFrame(), 5);
    p = hovertest::CaptureControl(label, RGB(0, 0, 0));
    EXPECT_NE(p.At(0, 0), RGB(0, 0, 255));     // the cut corner
    EXPECT_EQ(p.At(5, 0), RGB(0, 0, 255));     // where the top line starts
    EXPECT_EQ(p.At(0, 10), RGB(0, 0, 255));
    EXPECT_EQ(p.At(30, 10), RGB(255, 255, 255));  // filled inside
}

TEST_F(LabelTest, AnImageStandsBeforeTheTextAtTheLeftMargin) {
    TImageList images(nullptr);
    images.SetWidth(8);
    images.SetHeight(8);
    HBITMAP red = hovertest::SolidBitmap(8, 8, RGB(255, 0, 0));
    images.Add(red, nullptr);
    DeleteObject(red);
    THxLabel* label = PanelLabel(form, clBlack);
    label->SetShadowSize(0);
    const int plainWidth = label->Width();
    label->SetImages(&images);
    label->SetImageIndex(0);
    label->SetMargin(2);
    EXPECT_GE(label->Width(), plainWidth + 8 + 4);
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    RECT image = p.Bounds(RGB(255, 0, 0)), text = p.Bounds(kMaroon);
    EXPECT_EQ(image.left, 2);
    EXPECT_EQ(image.top, 2);
    EXPECT_GE(text.left, 2 + 8 + 4);
    // A change of the list repaints and the list's end clears the reference.
    label->SetImages(nullptr);
    EXPECT_EQ(label->Images(), nullptr);
}

TEST_F(LabelTest, HotTrackFontShowsWhileTheRealPointerIsOver) {
    THxLabel* label = PanelLabel(form, clBlack);
    label->SetHotTrack(true);
    label->HotTrackFont()->Assign(label->Font());
    label->HotTrackFont()->SetColor(clBlue);
    hovertest::Pump(20);
    if (!hovertest::MoveMouse(hovertest::CentreOf(label))) GTEST_SKIP() << "the display does not move the pointer";
    ASSERT_TRUE(hovertest::RunUntil([&] { return label->MouseOver(); }));
    EXPECT_GT(hovertest::CaptureControl(label, RGB(255, 255, 255)).Count(RGB(0, 0, 255)), 50);
    ASSERT_TRUE(hovertest::MoveMouse(form->ClientToScreen(POINT{300, 200})));
    ASSERT_TRUE(hovertest::RunUntil([&] { return !label->MouseOver(); }));
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    EXPECT_EQ(p.Count(RGB(0, 0, 255)), 0);
    EXPECT_GT(p.Count(kMaroon), 50);
}

TEST_F(LabelTest, ClicksRunOnClickAndTheAcceleratorFocusesItsControl) {
    THxLabel* label = PanelLabel(form, clBlack);
    label->SetCaption("&Name");
    int clicks = 0;
    label->OnClick = [&](TObject*) { ++clicks; };
    auto* edit = hovertest::Place<TEdit>(form, 10, 100, 100, 24);
    auto* other = hovertest::Place<TEdit>(form, 10, 140, 100, 24);
    other->SetFocus();
    label->SetFocusControl(edit);
    // A press and release on the label: OnClick only (no address to open).
    HWND parent = form->Handle();
    POINT at{label->Left() + 5, label->Top() + 5};
    SendMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    EXPECT_TRUE(label->Pressed());
    SendMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    EXPECT_FALSE(label->Pressed());
    EXPECT_EQ(clicks, 1);
    // Alt+N focuses the edit.
    EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'n', 0x20000000), 1);
    EXPECT_EQ(GetFocus(), edit->Handle());
    EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'x', 0x20000000), 0);
    label->SetShowFocus(true);
    label->Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(edit));
    EXPECT_TRUE(label->FocusedFlag());
    delete edit;
    EXPECT_EQ(label->FocusControl(), nullptr);
}

// An item part that handles clicks on the label showing its item.
class TClickPart : public THxDataItemAggregatedObject, public IHxDataItemBasicAction {
public:
    HX_CLASS(TClickPart)
    using THxDataItemAggregatedObject::THxDataItemAggregatedObject;
    HX_FORWARD_UNKNOWN(THxDataItemAggregatedObject)
    void* QueryOwnRole(const GUID& Role) override {
        return IsEqualGUID(Role, IID_IHxDataItemBasicAction) ? static_cast<IHxDataItemBasicAction*>(this) : nullptr;
    }
    bool Execute(TObject* Sender) override {
        sender = Sender;
        ++runs;
        return handles;
    }
    TObject* sender = nullptr;
    int runs = 0;
    bool handles = true;
};
HX_DEFINE_CLASS(TClickPart, THxDataItemAggregatedObject, &HxNotMadeByName)

void ClickLabel(THxLabel* Label) {
    HWND parent = Label->Parent()->Handle();
    SendMessageA(parent, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(Label->Left() + 3, Label->Top() + 3));
    SendMessageA(parent, WM_LBUTTONUP, 0, MAKELPARAM(Label->Left() + 3, Label->Top() + 3));
}

TEST_F(LabelTest, AProvidersItemGivesTheCaptionUntilTheTextChanges) {
    THxLabel* label = PanelLabel(form, clBlack);
    label->SetCaption("A");
    const int own = label->Width();
    hovertest::TTestProvider provider;
    hovertest::AddItem(provider.Root(), "A caption from the provider", "One");
    label->Provider()->SetProvider(&provider);
    ItemSelectOf(label->Provider())->SetItem("One");
    EXPECT_GT(label->Width(), own + 40);
    // The label's own text drops the provider.
    label->SetCaption("B");
    EXPECT_FALSE(label->Provider()->ProviderActive());
    EXPECT_EQ(provider.Listeners(), 0);
    EXPECT_LT(label->Width(), own + 10);
}

TEST_F(LabelTest, AProvidersRendererDrawsTheSelectedItemAndItsChangesResizeTheLabel) {
    auto* label = hovertest::Place<THxLabel>(form, 20, 20, 65, 17);
    label->SetParentColor(false);
    label->SetColor(clWhite);
    label->Font()->SetColor(clBlue);
    label->SetCaption("own");
    hovertest::TTestProvider provider;
    THxBaseDataItem* item = hovertest::AddItem(provider.Root(), "Item", "One");
    HxNew<THxCustomDataItemsTextRenderer>(static_cast<THxBaseDataItems*>(provider.Root()));
    label->Provider()->SetProvider(&provider);
    ItemSelectOf(label->Provider())->SetItem("One");
    // Measured and drawn by the list's text renderer, in the label's font.
    TCanvas canvas;
    canvas.SetHandle(GetDC(nullptr));
    canvas.SetFont(label->Font());
    const SIZE item1 = canvas.TextExtent("Item");
    EXPECT_EQ(label->Width(), item1.cx + 2);
    EXPECT_EQ(label->Height(), item1.cy + 2);
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(0, 0, 0));
    EXPECT_GT(p.Count(RGB(0, 0, 255)), 10);
    // A change of the item's caption is a change of the provider's data: the label follows it.
    Supports<IHxDataItemText>(static_cast<IHxDataItem*>(item))->SetCaption("A longer item caption");
    EXPECT_EQ(label->Width(), canvas.TextExtent("A longer item caption").cx + 2);
    ReleaseDC(nullptr, canvas.Handle());
    canvas.SetHandle(nullptr);
    // A click goes to the item's action; an action that does not handle it leaves it to OnClick.
    auto* part = HxNew<TClickPart>(item);
    int clicks = 0;
    label->OnClick = [&](TObject*) { ++clicks; };
    ClickLabel(label);
    EXPECT_EQ(part->runs, 1);
    EXPECT_EQ(part->sender, label);
    EXPECT_EQ(clicks, 0);
    part->handles = false;
    ClickLabel(label);
    EXPECT_EQ(clicks, 1);
    // The selected item goes: the label shows its own caption again.
    const int withItem = label->Width();
    Supports<IHxDataItemsManagement>(static_cast<IHxDataItems*>(provider.Root()))->Remove(item);
    EXPECT_EQ(label->Provider()->SelectedItem(), nullptr);
    EXPECT_LT(label->Width(), withItem);
    label->Provider()->SetProvider(nullptr);
}

TEST_F(LabelTest, ARotatedLabelTakesTheHotFontWheneverTheMouseIsOver) {
    THxLabel* label = PanelLabel(form, clBlack);
    label->SetShadowSize(0);
    label->SetAngle(90);
    label->HotTrackFont()->Assign(label->Font());
    label->HotTrackFont()->SetColor(clBlue);
    ASSERT_FALSE(label->HotTrack());
    EXPECT_EQ(hovertest::CaptureControl(label, RGB(255, 255, 255)).Count(RGB(0, 0, 255)), 0);
    label->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(label));
    ASSERT_TRUE(label->MouseOver());
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(255, 255, 255));
    EXPECT_GT(p.Count(RGB(0, 0, 255)), 50);
    EXPECT_EQ(p.Count(kMaroon), 0);
    label->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(label));
    EXPECT_EQ(hovertest::CaptureControl(label, RGB(255, 255, 255)).Count(RGB(0, 0, 255)), 0);
}

TEST_F(LabelTest, TheHotLookFillsACutCornerFrameWithItsOwnColours) {
    auto* label = hovertest::Place<THxLabel>(form, 10, 10, 60, 20);
    label->SetAutoSize(false);
    label->SetBounds(10, 10, 60, 20);
    label->SetCaption("");
    label->SetParentColor(false);
    label->SetColor(clWhite);
    label->SetRoundedFrame(5);
    label->SetHotTrack(true);
    // The hot-track interface reaches the same settings.
    IHxHotTrack* hot = HotTrackOf(label);
    ASSERT_NE(hot, nullptr);
    THxHotTrackOptions options;
    options.SetEnabled(true);
    options.SetFrameVisible(true);
    options.SetColor(clYellow);
    options.SetFrameColor(clRed);
    hot->SetHotTrackOptions(&options);
    EXPECT_TRUE(hot->HotTrack());
    EXPECT_EQ(label->HotTrackOptions()->FrameColor(), clRed);
    label->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(label));
    ASSERT_TRUE(label->MouseOver());
    hovertest::TPicture p = hovertest::CaptureControl(label, RGB(0, 0, 0));
    EXPECT_EQ(p.At(5, 0), RGB(255, 0, 0));      // the frame's top line
    EXPECT_EQ(p.At(0, 10), RGB(255, 0, 0));     // its left line
    EXPECT_EQ(p.At(30, 10), RGB(255, 255, 0));  // inside: the hot colour
    EXPECT_EQ(p.At(0, 0), RGB(0, 0, 0));        // the cut corner keeps what is behind
    EXPECT_EQ(p.At(59, 19), RGB(0, 0, 0));
    label->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(label));
}

}  // namespace
