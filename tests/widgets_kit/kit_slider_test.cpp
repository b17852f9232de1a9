// The slider as the volume and overlay sliders use it: keys that snap to the increment, clamping,
// drags smooth and stepped, presses on the ruler that repeat, a vertical slider with its minimum at
// the bottom, and a slider too short to slide.
#include <algorithm>
#include <vector>

#include "classlib/exceptions.h"
#include "kit_test_support.h"
#include "widgets/kit/kit_slider.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class KitSliderTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm(400, 340);
        slider = new TKitSlider(form);
        slider->SetParent(form);
        slider->SetBounds(10, 10, 150, 25);
        slider->OnChange = [this](TObject*) { changes.push_back(slider->Value()); };
        slider->OnChanged = [this](TObject*) { ++ended; };
    }
    void Key(WORD Vk) { SendMessageA(slider->Handle(), WM_KEYDOWN, Vk, 1); }
    void Mouse(UINT Msg, int X, int Y, WPARAM Keys) { SendMessageA(slider->Handle(), Msg, Keys, MAKELPARAM(X, Y)); }
    TForm* form = nullptr;
    TKitSlider* slider = nullptr;
    std::vector<int> changes;
    int ended = 0;
};

TEST_F(KitSliderTest, VolumeKeysSnapToTheIncrement) {
    slider->SetMaxValue(10000);
    slider->SetIncrement(100);
    slider->SetValue(4950);
    changes.clear();
    Key(VK_RIGHT);
    EXPECT_EQ(slider->Value(), 5100);  // 4950 snaps to 5000, then one step
    Key(VK_END);
    EXPECT_EQ(slider->Value(), 10000);
    Key(VK_RIGHT);  // already at the end: no change
    Key(VK_HOME);
    EXPECT_EQ(changes, (std::vector<int>{5100, 10000, 0}));
    EXPECT_EQ(ended, 4);
    EXPECT_EQ(SendMessageA(slider->Handle(), WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
}

TEST_F(KitSliderTest, ValuesAreClampedAndIncrementChecked) {
    slider->SetValue(250);
    slider->SetValue(-5);
    slider->SetValue(0);
    EXPECT_EQ(changes, (std::vector<int>{100, 0}));
    try {
        slider->SetIncrement(0);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"Value must be between 1 and 100");
    }
    EXPECT_EQ(slider->Increment(), 10);
    // A maximum not above the minimum is ignored; a narrower range narrows the increment.
    slider->SetMaxValue(0);
    EXPECT_EQ(slider->MaxValue(), 100);
    slider->SetMaxValue(5);
    EXPECT_EQ(slider->Increment(), 5);
}

TEST_F(KitSliderTest, DragsAreSmoothOrStepped) {
    slider->SetValue(50);
    RECT t = slider->ThumbRect();
    int y = (t.top + t.bottom) / 2;
    Mouse(WM_LBUTTONDOWN, t.left + 2, y, MK_LBUTTON);
    EXPECT_TRUE(slider->Sliding());
    changes.clear();
    for (int dx = 1; dx <= 12; ++dx) Mouse(WM_MOUSEMOVE, t.left + 2 + dx, y, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, t.left + 14, y, 0);
    EXPECT_FALSE(slider->Sliding());
    EXPECT_EQ(ended, 1);
    bool offStep = false;
    for (int v : changes) offStep |= v % 10 != 0;
    EXPECT_TRUE(offStep);  // smooth: values between the steps
    EXPECT_EQ(slider->Value(), slider->ValueOfPosition(t.left + 12));
    // Without soSmooth only multiples of the increment.
    slider->SetOptions(slider->Options() & ~soSmooth);
    t = slider->ThumbRect();
    changes.clear();
    Mouse(WM_LBUTTONDOWN, t.left + 2, y, MK_LBUTTON);
    for (int dx = 1; dx <= 30; ++dx) Mouse(WM_MOUSEMOVE, t.left + 2 + dx, y, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, t.left + 32, y, 0);
    ASSERT_FALSE(changes.empty());
    for (int v : changes) EXPECT_EQ(v % 10, 0);
}

TEST_F(KitSliderTest, PressOnTheRulerStepsThenRepeatsUntilTheThumbPassesThePointer) {
    slider->SetValue(80);
    RECT t = slider->ThumbRect();
    int y = (t.top + t.bottom) / 2;
    int x = slider->PositionOfValue(55);
    Mouse(WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    EXPECT_TRUE(slider->Tracking());
    EXPECT_EQ(slider->Value(), 70);  // one step at once
    ASSERT_NE(slider->TrackTimer(), nullptr);
    EXPECT_EQ(slider->TrackTimer()->Interval(), 400u);
    for (int i = 0; i < 5; ++i) SendMessageA(slider->TrackTimer()->Handle(), WM_TIMER, 1, 0);
    // 60, then 50: the thumb now covers or passes the pointer and the steps stop.
    EXPECT_EQ(slider->Value(), 50);
    Mouse(WM_LBUTTONUP, x, y, 0);
    EXPECT_FALSE(slider->Tracking());
    EXPECT_EQ(ended, 1);
}

TEST_F(KitSliderTest, VerticalMinimumAtTheBottomAndValuesRoundTrip) {
    slider->SetOrientation(TSliderOrientation::soVertical);
    EXPECT_EQ(slider->Width(), 25);
    EXPECT_EQ(slider->Height(), 150);
    slider->SetMaxValue(930);
    slider->SetValue(0);
    int bottom = slider->ThumbRect().top;
    slider->SetValue(930);
    EXPECT_LT(slider->ThumbRect().top, bottom);
    // Value and pixel agree both ways (a pixel stands for several values here).
    auto roundTrip = [&] {
        for (int v : {0, 930}) EXPECT_EQ(slider->ValueOfPosition(slider->PositionOfValue(v)), v) << v;
        int a = slider->PositionOfValue(0), b = slider->PositionOfValue(930);
        for (int p = std::min(a, b); p <= std::max(a, b); ++p)
            EXPECT_EQ(slider->PositionOfValue(slider->ValueOfPosition(p)), p) << p;
    };
    roundTrip();
    slider->SetOrientation(TSliderOrientation::soHorizontal);
    roundTrip();
}

TEST_F(KitSliderTest, SliderTooShortToSlideStaysAtItsMinimum) {
    slider->SetMinValue(10);
    slider->SetBounds(10, 10, 20, 25);  // narrower than the thumb and the ruler's insets
    EXPECT_LE(slider->SlideLength(), 0);
    EXPECT_EQ(slider->ValueOfPosition(15), 10);
    RECT t = slider->ThumbRect();
    Mouse(WM_LBUTTONDOWN, t.left + 1, (t.top + t.bottom) / 2, MK_LBUTTON);
    Mouse(WM_MOUSEMOVE, t.left + 8, (t.top + t.bottom) / 2, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, t.left + 8, (t.top + t.bottom) / 2, 0);
    EXPECT_EQ(slider->Value(), 10);
    kittest::Snapshot(slider);  // paints without failing
}

}  // namespace
