// The text gauge: its arithmetic at the range ends and past 32 bits, its alert colour, when it
// repaints, and what it paints (pixels read from a bitmap it painted into).
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>

#include "classlib/exceptions.h"
#include "custom_test_support.h"
#include "exception_text.h"
#include "widgets/custom/text_gauge.h"

using namespace customtest;
using widgets::custom::TGaugeKind;
using widgets::custom::TTextGauge;
using widgets::custom::TTextKind;

namespace {

class CountingGauge : public TTextGauge {
public:
    using TTextGauge::TTextGauge;
    void Invalidate() override { ++invalidations; }
    int invalidations = 0;
};

// What the gauge paints, read back pixel by pixel.
class Painted {
public:
    explicit Painted(TTextGauge& g) : w_(g.Width()), h_(g.Height()) {
        classlib::TWindowDC screen(nullptr);
        dc_ = CreateCompatibleDC(screen.Get());
        bitmap_ = CreateCompatibleBitmap(screen.Get(), w_, h_);
        old_ = SelectObject(dc_, bitmap_);
        g.Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc_), 0);
    }
    ~Painted() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    int Count(COLORREF c) const {
        int n = 0;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) n += At(x, y) == c;
        return n;
    }

private:
    int w_, h_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

constexpr COLORREF kMoneyGreen = 0xC0DCC0;
constexpr COLORREF kWhite = 0xFFFFFF;

TEST(TextGauge, RangeErrorsAndPercentPastThirtyTwoBits) {
    TTextGauge g(nullptr);
    EXPECT_EQ(quill_test::MessageOf<classlib::EInvalidOperation>([&] { g.SetMinValue(200); }),
              L"Value must be between -2147483647 and 99");
    g.SetMinValue(50);
    EXPECT_EQ(g.Progress(), 50);
    EXPECT_EQ(quill_test::MessageOf<classlib::EInvalidOperation>([&] { g.SetMaxValue(10); }),
              L"Value must be between 51 and 2147483647");
    // Megabytes of a 25 TB drive: (Progress - Min) * 100 overflows 32 bits.
    g.SetMinValue(0);
    g.SetMaxValue(25'000'000);
    g.SetProgress(20'000'000);
    EXPECT_EQ(g.PercentDone(), 80);
    // The whole integer range: 2^32 - 1 values.
    g.SetMinValue(INT_MIN);
    g.SetMaxValue(INT_MAX);
    g.SetProgress(INT_MAX);
    EXPECT_EQ(g.PercentDone(), 100);
    g.SetProgress(INT_MIN);
    EXPECT_EQ(g.PercentDone(), 0);
    g.SetProgress(0);
    EXPECT_EQ(g.PercentDone(), 50);
    g.SetTextKind(TTextKind::tkValueRemaining);
    EXPECT_EQ(g.GaugeText(), "2147483647");
    // An empty range: 0 %.
    g.SetMinValue(7);
    g.SetMaxValue(7);
    g.SetTextKind(TTextKind::tkPercentDone);
    EXPECT_EQ(g.GaugeText(), "0%");
    g.SetTextKind(TTextKind::tkValueDone);
    g.SetCaption("%s of nothing");  // not a format for a number: shown as it is
    EXPECT_EQ(g.GaugeText(), "%s of nothing");
}

TEST(TextGauge, AlertsOnTheValueItShows) {
    TTextGauge cpu(nullptr);
    cpu.SetTextKind(TTextKind::tkPercentDone);
    cpu.SetProgress(80);
    EXPECT_EQ(cpu.CurrentForeColor(), static_cast<classlib::TColor>(kMoneyGreen));
    cpu.SetProgress(100);
    EXPECT_EQ(cpu.CurrentForeColor(), TTextGauge::AlertColor);
    // A free-space gauge: Progress is the used megabytes, the text and the alert the free ones.
    TTextGauge disk(nullptr);
    disk.SetTextKind(TTextKind::tkValueRemaining);
    disk.SetCaption("%d Mb");
    disk.SetAlertValue(500);
    disk.SetMaxValue(10'000);
    disk.SetProgress(100);
    EXPECT_EQ(disk.GaugeText(), "9900 Mb");
    EXPECT_EQ(disk.CurrentForeColor(), static_cast<classlib::TColor>(kMoneyGreen));
    disk.SetProgress(9'800);
    EXPECT_EQ(disk.CurrentForeColor(), TTextGauge::AlertColor);
}

TEST(TextGauge, RepaintsWhenTheTextOrColourChangesWithinOnePercent) {
    CountingGauge g(nullptr);
    g.SetTextKind(TTextKind::tkValueRemaining);
    g.SetCaption("%d Mb");
    g.SetAlertValue(500);
    g.SetMaxValue(2'000'000);
    g.invalidations = 0;
    g.SetProgress(1'000'000);
    EXPECT_EQ(g.invalidations, 1);
    g.SetProgress(1'000'001);  // same percent, another number shown
    EXPECT_EQ(g.invalidations, 2);
    g.SetShowText(false);
    g.invalidations = 0;
    g.SetProgress(1'000'002);  // nothing shown changes
    EXPECT_EQ(g.invalidations, 0);
    g.SetProgress(1'999'600);  // 99 % either way, but now below 500 Mb free
    EXPECT_EQ(g.invalidations, 1);
    g.SetProgress(5'000'000);  // clamped to the maximum
    EXPECT_EQ(g.Progress(), 2'000'000);
}

TEST(TextGauge, PieGrowsClockwiseFromTwelveAndTextShowsInverted) {
    TTextGauge g(nullptr);
    g.SetColor(classlib::clBlue);
    g.SetGaugeKind(TGaugeKind::gkPie);
    g.SetShowText(false);
    g.SetProgress(25);
    {
        Painted p(g);
        EXPECT_EQ(p.At(0, 0), 0u);            // the single border stays black
        EXPECT_EQ(p.At(3, 3), 0xFF0000u);     // outside the disc: the control's colour
        EXPECT_EQ(p.At(70, 30), kMoneyGreen);  // the quarter from twelve to three o'clock
        EXPECT_EQ(p.At(30, 30), kWhite);
        EXPECT_EQ(p.At(70, 70), kWhite);
    }
    g.SetProgress(100);
    g.SetTextKind(TTextKind::tkPercentDone);
    {
        Painted p(g);
        EXPECT_EQ(p.At(30, 70), TTextGauge::AlertColor);  // above the alert value: the whole disc
    }
    g.SetProgress(50);
    g.SetShowText(true);
    g.SetBorderStyle(widgets::custom::TGaugeBorderStyle::bsNone);
    g.Font()->SetSize(14);
    {
        Painted p(g);
        // "50%" straddles the wedge (right half) and the background (left half): its ink is white
        // inverted over one and money green inverted over the other.
        EXPECT_GT(p.Count(0x000000), 10);
        EXPECT_GT(p.Count(kMoneyGreen ^ 0xFFFFFF), 10);
    }
}

TEST(TextGauge, BarsAndNeedleAtTheRangeEnds) {
    TTextGauge g(nullptr);
    g.SetShowText(false);
    g.SetBorderStyle(widgets::custom::TGaugeBorderStyle::bsNone);
    g.SetProgress(50);
    {
        Painted p(g);  // horizontal: the left half
        EXPECT_EQ(p.At(0, 0), kMoneyGreen);
        EXPECT_EQ(p.At(49, 99), kMoneyGreen);
        EXPECT_EQ(p.At(50, 50), kWhite);
    }
    g.SetGaugeKind(TGaugeKind::gkVerticalBar);
    g.SetProgress(100);
    {
        Painted p(g);  // a full bar keeps its top line
        EXPECT_EQ(p.At(50, 0), kWhite);
        EXPECT_EQ(p.At(50, 1), TTextGauge::AlertColor);
        EXPECT_EQ(p.At(50, 99), TTextGauge::AlertColor);
    }
    g.SetGaugeKind(TGaugeKind::gkNeedle);
    g.SetProgress(0);
    int needleAtZero = 0;
    {
        Painted p(g);
        needleAtZero = p.Count(kMoneyGreen);
    }
    g.SetProgress(100);
    {
        Painted p(g);
        // At 100 the needle lies along the base line towards the right: no more ink, but the
        // alert colour; at 50 it stands up from the bottom centre.
        EXPECT_EQ(p.Count(kMoneyGreen), 0);
        EXPECT_GT(p.Count(TTextGauge::AlertColor), 0);
    }
    g.SetProgress(50);
    {
        Painted p(g);
        EXPECT_EQ(p.At(50, 40), kMoneyGreen);
        EXPECT_GT(p.Count(kMoneyGreen), needleAtZero);
    }
}

}  // namespace
