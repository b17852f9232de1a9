// Wide panels under visual themes: a panel that takes its parent's background shows that background
// where its border and its fill would be (its bevels and caption stay), one that does not paints
// them in its own colour as without themes; with no answer set, the system's theme state decides.
#include <windows.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <optional>

#include "classlib/themes.h"
#include "painted_ink.h"
#include "uc_test_support.h"
#include "widgets/hover/hx_themes.h"
#include "widgets/unicode/uc_panels.h"

using namespace uctest;

namespace {

constexpr int kWidth = 120, kHeight = 60;

class WidePanelThemesTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(60, 60, 300, 200);
        form->SetColor(classlib::clBlue);
        panel = new widgets::TUcPanel(form);
        panel->SetParent(form);
        panel->SetBounds(20, 30, kWidth, kHeight);
        panel->SetColor(classlib::clRed);
        panel->SetBorderWidth(5);
        panel->SetCaption(L"");
        form->Show();
    }
    void TearDown() override {
        classlib::SetThemesEnabledForTesting(std::nullopt);
        WideTest::TearDown();
    }
    // What the panel paints, counted by colour.
    quill_test::TInk Painted(COLORREF Colour) {
        return quill_test::InkOf(Colour, kWidth, kHeight, [&](HDC dc) {
            panel->Canvas()->SetHandle(dc);
            panel->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
            panel->Canvas()->SetHandle(nullptr);
        });
    }
    classlib::TForm* form = nullptr;
    widgets::TUcPanel* panel = nullptr;
};

// Inside the raised bevel of a pixel, every pixel is the panel's or the parent's colour.
constexpr int kInside = (kWidth - 2) * (kHeight - 2);

TEST_F(WidePanelThemesTest, ThemedPanelsShowTheirParentsBackgroundInPlaceOfBorderAndFill) {
    const RECT client = panel->ClientRect();
    EXPECT_EQ(6, client.left);

    classlib::SetThemesEnabledForTesting(false);
    EXPECT_EQ(kInside, Painted(RGB(255, 0, 0)).Count) << "border and fill in the panel's colour";
    EXPECT_EQ(0, Painted(RGB(0, 0, 255)).Count);
    EXPECT_FALSE(hover::ThemesEnabled()) << "the hover widgets get the same answer";

    classlib::SetThemesEnabledForTesting(true);
    EXPECT_TRUE(hover::ThemesEnabled());
    ASSERT_TRUE(panel->ParentBackground());
    EXPECT_EQ(0, Painted(RGB(255, 0, 0)).Count) << "neither border nor fill";
    const quill_test::TInk parent = Painted(RGB(0, 0, 255));
    EXPECT_EQ(kInside, parent.Count) << "the parent's background shows through";
    EXPECT_EQ(1, parent.Left);
    EXPECT_EQ(kWidth - 2, parent.Right);
    // The bevel stays; the border still keeps the client area in.
    EXPECT_GT(Painted(classlib::ColorToRGB(classlib::clBtnHighlight)).Count, kWidth - 2);
    const RECT themedClient = panel->ClientRect();
    EXPECT_TRUE(EqualRect(&client, &themedClient));
    // An erase leaves the window to the painting: nothing in the panel's colour flashes first.
    const quill_test::TInk erased = quill_test::InkOf(RGB(255, 0, 0), kWidth, kHeight, [&](HDC dc) {
        EXPECT_EQ(1, panel->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
    });
    EXPECT_EQ(0, erased.Count);
    // The caption is drawn on the parent's background, within the shrunk rectangle.
    panel->SetAlignment(classlib::TAlignment::taLeftJustify);
    panel->Font()->SetColor(classlib::clBlack);
    panel->SetCaption(kGreek);
    const quill_test::TInk caption = Painted(RGB(0, 0, 0));
    EXPECT_GT(caption.Count, 0);
    EXPECT_GE(caption.Left, client.left);
    panel->SetCaption(L"");

    // A panel with a background of its own paints as without themes.
    panel->SetParentBackground(false);
    EXPECT_EQ(kInside, Painted(RGB(255, 0, 0)).Count);
    EXPECT_EQ(0, Painted(RGB(0, 0, 255)).Count);
    EXPECT_GT(quill_test::InkOf(RGB(255, 0, 0), kWidth, kHeight,
                                [&](HDC dc) { panel->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0); })
                  .Count,
              0)
        << "an erase in the panel's colour";
}

// A panel that shows its parent inside another that does too shows what lies behind both: the
// outer panel's erase hands on its own parent's background, not its colour.
TEST_F(WidePanelThemesTest, NestedPanelsShowTheFormBehindThem) {
    auto* inner = new widgets::TUcPanel(form);
    inner->SetParent(panel);
    inner->SetBounds(10, 10, 60, 30);
    inner->SetColor(classlib::clLime);
    inner->SetBevelOuter(classlib::TPanelBevel::bvNone);
    inner->SetCaption(L"");
    classlib::SetThemesEnabledForTesting(true);
    auto painted = [&](COLORREF Colour) {
        return quill_test::InkOf(Colour, 60, 30, [&](HDC dc) {
            inner->Canvas()->SetHandle(dc);
            inner->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
            inner->Canvas()->SetHandle(nullptr);
        });
    };
    EXPECT_EQ(60 * 30, painted(RGB(0, 0, 255)).Count) << "the form's colour";
    EXPECT_EQ(0, painted(RGB(0, 255, 0)).Count);
    EXPECT_EQ(0, painted(RGB(255, 0, 0)).Count) << "nor the outer panel's";
    // Without themes each paints its own colour.
    classlib::SetThemesEnabledForTesting(false);
    EXPECT_EQ(60 * 30, painted(RGB(0, 255, 0)).Count);
}

// With no answer set, the panel asks the system as the group box and the hover widgets do.
TEST_F(WidePanelThemesTest, WithoutAFixedAnswerTheSystemsThemeStateDecides) {
    classlib::SetThemesEnabledForTesting(std::nullopt);
    const bool themed = IsAppThemed() && IsThemeActive();
    EXPECT_EQ(themed, classlib::ThemesEnabled());
    EXPECT_EQ(themed, hover::ThemesEnabled());
    EXPECT_EQ(themed ? 0 : kInside, Painted(RGB(255, 0, 0)).Count) << "themes " << (themed ? "on" : "off");
}

}  // namespace
