// The kit's shared routines: text shortening and command-line items, replacing, resource
// bitmaps, embossed and transparent drawing checked pixel by pixel on memory bitmaps, and the
// window helpers.
#include <gtest/gtest.h>

#include "classlib/exceptions.h"
#include "classlib/graphics.h"
#include "kit_test_support.h"
#include "widgets/kit/kit_str_utils.h"
#include "widgets/kit/kit_utils.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

// A 24-bit bitmap selected into a memory DC, drawn on through a canvas.
struct TTestSurface {
    TTestSurface(int W, int H, COLORREF Fill) : dc(CreateCompatibleDC(nullptr)) {
        TWindowDC screen(nullptr);
        bmp.Reset(CreateCompatibleBitmap(screen.Get(), W, H));
        old = SelectObject(dc.Get(), bmp.Get());
        RECT r{0, 0, W, H};
        TOwnedBrush b(CreateSolidBrush(Fill));
        FillRect(dc.Get(), &r, b.Get());
        canvas.SetHandle(dc.Get());
    }
    ~TTestSurface() {
        canvas.SetHandle(nullptr);
        SelectObject(dc.Get(), old);
    }
    COLORREF At(int X, int Y) { return GetPixel(dc.Get(), X, Y); }
    TOwnedDC dc;
    TOwnedBitmap bmp;
    HGDIOBJ old = nullptr;
    TCanvas canvas;
};

// A 4x4 bitmap: fuchsia background, a black 2x2 square at 1,1.
TOwnedBitmap MakeGlyph() {
    TWindowDC screen(nullptr);
    TOwnedBitmap bmp(CreateCompatibleBitmap(screen.Get(), 4, 4));
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TSelectedObject sel(dc.Get(), bmp.Get());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            SetPixel(dc.Get(), x, y, x >= 1 && x < 3 && y >= 1 && y < 3 ? RGB(0, 0, 0) : RGB(255, 0, 255));
    return bmp;
}

TEST(KitText, EllipsisShortensOnlyWhatDoesNotFit) {
    TTestSurface s(10, 10, 0);
    std::string text = "A rather long caption";
    int full = s.canvas.TextWidth(text);
    EXPECT_EQ(FitTextWithEllipsis(text, &s.canvas, full), text);
    std::string cut = FitTextWithEllipsis(text, &s.canvas, full / 2);
    ASSERT_GE(cut.size(), 3u);
    EXPECT_EQ(cut.substr(cut.size() - 3), "...");
    EXPECT_LE(s.canvas.TextWidth(cut), full / 2);
    EXPECT_EQ(text.compare(0, cut.size() - 3, cut, 0, cut.size() - 3), 0);
    EXPECT_EQ(FitTextWithEllipsis(text, &s.canvas, 1), "...");
}

TEST(KitText, CommandLineItems) {
    std::wstring first, rest;
    SplitCommand(L"\"C:\\Program Files\\Pelorin\\pelorin.exe\" /open", first, rest);
    EXPECT_EQ(first, L"C:\\Program Files\\Pelorin\\pelorin.exe");
    EXPECT_EQ(rest, L"/open");
    SplitCommand(L"  a.exe \"two words\" x  ", first, rest);
    EXPECT_EQ(first, L"a.exe");
    EXPECT_EQ(rest, L"\"two words\" x");
    EXPECT_EQ(ItemCount(L"one \"t w o\" three"), 3);
    EXPECT_EQ(ItemCount(L"   "), 0);
    EXPECT_EQ(ItemAt(L"one \"t w o\" three", 1), L"t w o");
    EXPECT_EQ(ItemAt(L"one", 4), L"");
    // An unclosed quote runs to the end.
    EXPECT_EQ(ItemAt(L"\"C:\\a b", 0), L"C:\\a b");
}

TEST(KitText, ReplaceRepeatAndTokens) {
    EXPECT_EQ(ReplaceAll(L"a-b-c", L"-", L"--"), L"a--b--c");
    EXPECT_EQ(ReplaceAll(L"aaa", L"aa", L"b"), L"ba");
    // An empty search text used to loop for ever.
    EXPECT_EQ(ReplaceAll(L"abc", L"", L"x"), L"abc");
    EXPECT_EQ(RepeatChar(L'*', 3), L"***");
    EXPECT_EQ(RepeatChar(L'*', -1), L"");
    EXPECT_TRUE(ConsistsOf(L"", L"01"));
    EXPECT_TRUE(ConsistsOf(L"0110", L"01"));
    EXPECT_FALSE(ConsistsOf(L"012", L"01"));
    size_t pos = 0;
    EXPECT_EQ(NextToken(L"a;b,,c", pos, L";,"), L"a");
    EXPECT_EQ(NextToken(L"a;b,,c", pos, L";,"), L"b");
    EXPECT_EQ(NextToken(L"a;b,,c", pos, L";,"), L"");
    EXPECT_EQ(NextToken(L"a;b,,c", pos, L";,"), L"c");
    EXPECT_EQ(pos, 6u);
    EXPECT_EQ(MaxOf(3, -2), 3);
    EXPECT_EQ(MinOf(3, -2), -2);
}

TEST(KitRoutines, ResourceBitmapsAndMissingOnes) {
    TOwnedBitmap combo = LoadResBitmap(nullptr, kObmCombo);
    EXPECT_GT(BitmapSize(combo.Get()).cx, 0);
    try {
        LoadResBitmap(GetModuleHandleW(nullptr), L"NO_SUCH_BITMAP");
        ADD_FAILURE() << "no error";
    } catch (const EResNotFound& e) {
        EXPECT_EQ(e.Message(), L"Resource NO_SUCH_BITMAP not found");
    }
    EXPECT_THROW(LoadResBitmap(GetModuleHandleW(nullptr), 4242), EResNotFound);
}

TEST(KitRoutines, DisabledBitmapEmbossesTheFigure) {
    TOwnedBitmap glyph = MakeGlyph();
    TOwnedBitmap dis = MakeDisabledBitmap(glyph.Get(), clBlack, clWhite, clLime, clBlue, true);
    TTestSurface s(4, 4, 0);
    s.canvas.Draw(0, 0, dis.Get());
    EXPECT_EQ(s.At(0, 0), RGB(255, 255, 255));  // background
    EXPECT_EQ(s.At(1, 1), RGB(0, 0, 255));      // figure: shadow
    EXPECT_EQ(s.At(2, 2), RGB(0, 0, 255));
    EXPECT_EQ(s.At(3, 3), RGB(0, 255, 0));      // highlight one pixel right and down
    EXPECT_EQ(s.At(3, 1), RGB(255, 255, 255));
}

TEST(KitRoutines, TransparentDrawingLeavesTheKeyColourOut) {
    TOwnedBitmap glyph = MakeGlyph();
    EXPECT_EQ(BottomLeftColor(glyph.Get()), static_cast<TColor>(RGB(255, 0, 255)));
    TTestSurface s(8, 8, RGB(0, 128, 0));
    PaintBitmapTransparent(&s.canvas, 2, 2, glyph.Get(), clDefault);
    EXPECT_EQ(s.At(2, 2), RGB(0, 128, 0));
    EXPECT_EQ(s.At(3, 3), RGB(0, 0, 0));
    EXPECT_EQ(s.At(4, 4), RGB(0, 0, 0));
    EXPECT_EQ(s.At(5, 5), RGB(0, 128, 0));
    // clNone copies everything.
    PaintBitmapTransparent(&s.canvas, 2, 2, glyph.Get(), clNone);
    EXPECT_EQ(s.At(2, 2), RGB(255, 0, 255));
    // Part of the bitmap, stretched to twice its size.
    TTestSurface t(8, 8, RGB(0, 128, 0));
    PaintBitmapTransparentPart(&t.canvas, 0, 0, 4, 4, RECT{1, 1, 3, 3}, glyph.Get(), clFuchsia);
    EXPECT_EQ(t.At(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(t.At(3, 3), RGB(0, 0, 0));
    EXPECT_EQ(t.At(5, 5), RGB(0, 128, 0));
}

TEST(KitRoutines, RectanglesAndScreenPlacement) {
    RECT r{10, 20, 30, 60};
    EXPECT_EQ(WidthOfRect(r), 20);
    EXPECT_EQ(HeightOfRect(r), 40);
    EXPECT_TRUE(PointInRectInclusive(POINT{30, 60}, r));
    EXPECT_FALSE(PointInRectInclusive(POINT{31, 60}, r));
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    RECT off{sw - 10, -5, sw + 40, 45};
    KeepRectOnScreen(off);
    EXPECT_EQ(off.right, sw);
    EXPECT_EQ(off.top, 0);
    EXPECT_EQ(off.left, sw - 50);
    (void)sh;
    EXPECT_EQ(PaletteColor(clRed), 0x020000FFu);
}

class KitWindowTest : public kittest::KitTest {};

TEST_F(KitWindowTest, CentringAndPendingMessages) {
    HWND w = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 101, 51, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    CenterWindowOnScreen(w);
    RECT r{};
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 101) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 51) / 2);
    EXPECT_EQ(r.right - r.left, 101);
    PostMessageW(w, WM_USER + 7, 1, 0);
    PostMessageW(w, WM_USER + 7, 2, 0);
    RemovePendingMessage(w, WM_USER + 7);
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, w, WM_USER + 7, WM_USER + 7, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    // A quit message taken out this way is put back.
    PostQuitMessage(5);
    RemovePendingMessage(nullptr, WM_QUIT);
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 5u);
    DestroyWindow(w);
}

}  // namespace
