// The switch: every toggle (press, a press released outside, the toggle key) reaches OnClick once,
// the pictures of both states with the disabled look, and the user's pictures written to a
// component stream and read back.
#include <memory>

#include "classlib/filer.h"
#include "classlib/forms.h"
#include "classlib/streams.h"
#include "kit_test_support.h"
#include "widgets/kit/kit_switch.h"
#include "widgets/kit/kit_utils.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class KitSwitchTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm();
        sw = new TKitSwitch(form);
        sw->SetParent(form);
        sw->SetBounds(10, 10, 50, 60);
        sw->OnClick = [this](TObject*) { clickStates.push_back(sw->StateOn()); };
        sw->OnOn = [this](TObject*) { ++ons; };
        sw->OnOff = [this](TObject*) { ++offs; };
    }
    void Press() { SendMessageA(sw->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20)); }
    void Release(int X = 20, int Y = 20) { SendMessageA(sw->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(X, Y)); }
    TForm* form = nullptr;
    TKitSwitch* sw = nullptr;
    std::vector<bool> clickStates;
    int ons = 0, offs = 0;
};

// A solid W x H bitmap.
TOwnedBitmap Solid(int W, int H, COLORREF C) {
    TWindowDC screen(nullptr);
    TOwnedBitmap bmp(CreateCompatibleBitmap(screen.Get(), W, H));
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TSelectedObject sel(dc.Get(), bmp.Get());
    RECT r{0, 0, W, H};
    TOwnedBrush b(CreateSolidBrush(C));
    FillRect(dc.Get(), &r, b.Get());
    // One pixel of another colour in the corner is the transparent one.
    SetPixel(dc.Get(), 0, H - 1, RGB(255, 0, 255));
    return bmp;
}

TEST_F(KitSwitchTest, EveryToggleReachesTheClickHandler) {
    Press();
    EXPECT_TRUE(sw->StateOn());  // the press toggles
    Release();
    EXPECT_EQ(clickStates, std::vector<bool>{true});
    EXPECT_EQ(ons, 1);
    // A press dragged off the switch: the state changed, so a click reports it.
    Press();
    Release(200, 150);
    EXPECT_FALSE(sw->StateOn());
    EXPECT_EQ(clickStates, (std::vector<bool>{true, false}));
    EXPECT_EQ(offs, 1);
    // The toggle key, swallowed.
    SendMessageA(sw->Handle(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(sw->StateOn());
    EXPECT_EQ(clickStates.back(), true);
    EXPECT_EQ(clickStates.size(), 3u);
    sw->SetToggleKey(static_cast<TShortCut>('T') | scCtrl);
    SendMessageA(sw->Handle(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(sw->StateOn());
    // Setting the same state calls nothing.
    sw->SetStateOn(true);
    EXPECT_EQ(ons, 2);
    EXPECT_EQ(offs, 1);
    // Without a tab stop the press still toggles.
    sw->SetTabStop(false);
    Press();
    Release();
    EXPECT_FALSE(sw->StateOn());
}

TEST_F(KitSwitchTest, PicturesOfBothStatesAndTheDisabledLook) {
    sw->SetColor(RGB(0, 0, 128));
    TOwnedBitmap off = Solid(10, 20, RGB(255, 0, 0)), on = Solid(10, 20, RGB(0, 255, 0));
    sw->SetGlyphOff(off.Get());
    sw->SetGlyphOn(on.Get());
    kittest::TSnapshot s = kittest::Snapshot(sw);
    RECT red = s.BoxOf(RGB(255, 0, 0));
    EXPECT_EQ(s.CountOf(RGB(255, 0, 0)), 10 * 20 - 1);
    EXPECT_EQ(red.left, (50 - 10) / 2);  // centred
    EXPECT_EQ(red.top, (60 - 20) / 2);
    EXPECT_EQ(s.CountOf(RGB(255, 0, 255)), 0);  // the corner took the control's colour
    sw->SetStateOn(true);
    s = kittest::Snapshot(sw);
    EXPECT_EQ(s.CountOf(RGB(255, 0, 0)), 0);
    EXPECT_GT(s.CountOf(RGB(0, 255, 0)), 0);
    // Caption below: the picture at the top.
    sw->SetTextPosition(TTextPos::tpBelow);
    sw->SetCaption("On");
    s = kittest::Snapshot(sw);
    EXPECT_EQ(s.BoxOf(RGB(0, 255, 0)).top, 0);
    // Disabled: the grey picture made from the current one.
    sw->SetGlyphOn(nullptr);
    EXPECT_FALSE(sw->CustomGlyph(1));
    sw->SetTextPosition(TTextPos::tpNone);
    sw->SetEnabled(false);
    s = kittest::Snapshot(sw);
    EXPECT_GT(s.CountOf(ColorToRGB(clBtnShadow)), 0);
    EXPECT_EQ(s.CountOf(RGB(0, 160, 0)), 0);  // the lever's green knob of the program's picture
    sw->SetEnabled(true);
    s = kittest::Snapshot(sw);
    EXPECT_GT(s.CountOf(RGB(0, 160, 0)), 0);
}

TEST_F(KitSwitchTest, UsersPicturesSurviveAStream) {
    TOwnedBitmap off = Solid(6, 6, RGB(0, 0, 255)), on = Solid(6, 6, RGB(255, 255, 0));
    sw->SetGlyphOff(off.Get());
    sw->SetGlyphOn(on.Get());
    TMemoryStream stream;
    {
        TWriter w(&stream);
        w.WriteRootComponent(sw);
    }
    auto copy = std::make_unique<TKitSwitch>(nullptr);
    EXPECT_FALSE(copy->CustomGlyph(0));
    stream.SetPosition(0);
    {
        TReader r(&stream);
        r.ReadRootComponent(copy.get());
    }
    EXPECT_TRUE(copy->CustomGlyph(0));
    EXPECT_TRUE(copy->CustomGlyph(1));
    EXPECT_EQ(BottomLeftColor(copy->GlyphOn()), static_cast<TColor>(RGB(255, 0, 255)));
    EXPECT_EQ(BitmapSize(copy->GlyphOn()).cx, 6);
    // Written again, the copy gives the same bytes.
    TMemoryStream again;
    {
        TWriter w(&again);
        w.WriteRootComponent(copy.get());
    }
    ASSERT_EQ(again.Size(), stream.Size());
    // Only the program's pictures: nothing of them is written.
    auto plain = std::make_unique<TKitSwitch>(nullptr);
    TMemoryStream small;
    {
        TWriter w(&small);
        w.WriteRootComponent(plain.get());
    }
    EXPECT_LT(small.Size(), 64);
}

TEST(KitBitmapBytes, MalformedImagesAreRefused) {
    TOwnedBitmap bmp = Solid(3, 2, RGB(1, 2, 3));
    std::vector<std::uint8_t> bytes = BitmapToBmpBytes(bmp.Get());
    TOwnedBitmap back = BitmapFromBmpBytes(bytes.data(), bytes.size());
    EXPECT_EQ(BitmapSize(back.Get()).cx, 3);
    EXPECT_THROW(BitmapFromBmpBytes(bytes.data(), bytes.size() - 1), EReadError);
    EXPECT_THROW(BitmapFromBmpBytes(bytes.data(), 10), EReadError);
    std::vector<std::uint8_t> huge = bytes;
    huge[18] = 0xFF;  // width far beyond the data
    huge[19] = 0xFF;
    EXPECT_THROW(BitmapFromBmpBytes(huge.data(), huge.size()), EReadError);
    EXPECT_THROW(BitmapFromBmpBytes(nullptr, 0), EReadError);
}

}  // namespace
