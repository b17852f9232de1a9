// Fonts, brushes, pens and the canvas, drawn into a memory DC and checked by pixels.
#include "classlib/graphics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/conversions.h"
#include "classlib/gdi_handles.h"
#include "classlib/measured_text.h"
#include "exception_text.h"

using namespace classlib;

namespace {

// A 32-bit DIB section selected into a memory DC, white at start.
class MemorySurface {
public:
    MemorySurface(int width, int height) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, width, height};
        ::FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        GdiFlush();
    }
    ~MemorySurface() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    // The pixel as 0x00BBGGRR.
    COLORREF At(int x, int y) const {
        GdiFlush();
        DWORD v = bits_[y * width_ + x];  // 0x00RRGGBB in memory order B, G, R
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    // Number of pixels in the rectangle that are not white.
    int Inked(int x1, int y1, int x2, int y2) const {
        int n = 0;
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x)
                if (At(x, y) != RGB(255, 255, 255)) ++n;
        return n;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

}  // namespace

TEST(Colors, ColorToRGBResolvesSystemColoursOnly) {
    EXPECT_EQ(ColorToRGB(clRed), RGB(255, 0, 0));
    EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRGB(clWindowText), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_LT(clBtnFace, 0);
    EXPECT_EQ(clBtnFace & 0xFF, COLOR_BTNFACE);
}

TEST(Font, DefaultsSizeHeightAndChangeEvents) {
    TFont font;
    EXPECT_EQ(font.Name(), "MS Sans Serif");
    EXPECT_EQ(font.Size(), 8);
    EXPECT_EQ(font.Color(), clWindowText);
    EXPECT_EQ(font.Charset(), DEFAULT_CHARSET);
    EXPECT_TRUE(font.Style().Empty());

    int changes = 0;
    TObject* sender = nullptr;
    font.OnChange = [&](TObject* s) {
        ++changes;
        sender = s;
    };
    font.SetPixelsPerInch(96);
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    EXPECT_EQ(font.Size(), 12);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(sender, &font);
    font.SetSize(12);  // unchanged: no event
    font.SetName("");  // empty name ignored
    EXPECT_EQ(changes, 1);
    font.SetStyle({fsBold, fsUnderline});
    font.SetColor(clRed);
    font.SetName("Arial");
    EXPECT_EQ(changes, 4);
    EXPECT_TRUE(font.Style().Contains(fsBold));
    EXPECT_FALSE(font.Style().Contains(fsItalic));
}

TEST(Font, HandleFollowsDescriptionAndIsRemadeAfterChange) {
    TFont font;
    font.SetName("Arial");
    font.SetHeight(-20);
    font.SetStyle({fsItalic, fsStrikeOut});
    HFONT first = font.Handle();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(font.Handle(), first);  // made once
    LOGFONTA lf{};
    ASSERT_NE(GetObjectA(first, sizeof(lf), &lf), 0);
    EXPECT_STREQ(lf.lfFaceName, "Arial");
    EXPECT_EQ(lf.lfHeight, -20);
    EXPECT_TRUE(lf.lfItalic);
    EXPECT_TRUE(lf.lfStrikeOut);
    EXPECT_FALSE(lf.lfUnderline);
    EXPECT_EQ(lf.lfWeight, FW_NORMAL);

    font.SetStyle({fsBold});
    EXPECT_FALSE(font.HandleAllocated());  // the old handle was dropped with the change
    HFONT second = font.Handle();
    ASSERT_NE(GetObjectA(second, sizeof(lf), &lf), 0);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_FALSE(lf.lfItalic);

    // The colour is not part of the handle.
    font.SetColor(clBlue);
    EXPECT_TRUE(font.HandleAllocated());
}

TEST(Font, AssignAndTakingAnExistingHandle) {
    TFont a, b;
    a.SetName("Courier New");
    a.SetHeight(-13);
    a.SetColor(clGreen);
    a.SetStyle({fsUnderline});
    a.SetPitch(TFontPitch::fpFixed);
    int changes = 0;
    b.OnChange = [&](TObject*) { ++changes; };
    b.Assign(&a);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(b.Name(), "Courier New");
    EXPECT_EQ(b.Height(), -13);
    EXPECT_EQ(b.Color(), clGreen);
    EXPECT_TRUE(b.Style() == TFontStyles{fsUnderline});
    EXPECT_EQ(b.Pitch(), TFontPitch::fpFixed);

    TBrush brush;
    EXPECT_EQ(quill_test::MessageOf<EConvertError>([&] { b.Assign(&brush); }), L"Cannot assign a TBrush to a TFont");

    LOGFONTA lf{};
    lf.lfHeight = -24;
    lf.lfWeight = FW_BOLD;
    lf.lfItalic = 1;
    lf.lfCharSet = ANSI_CHARSET;
    strcpy(lf.lfFaceName, "Times New Roman");
    HFONT external = CreateFontIndirectA(&lf);
    TFont c;
    c.SetHandle(external);
    EXPECT_EQ(c.Name(), "Times New Roman");
    EXPECT_EQ(c.Height(), -24);
    EXPECT_TRUE(c.Style() == (TFontStyles{fsBold, fsItalic}));
    EXPECT_EQ(c.Charset(), ANSI_CHARSET);
    EXPECT_NE(c.Handle(), external);  // the caller keeps its own handle
    EXPECT_NE(GetObjectA(external, sizeof(lf), &lf), 0);
    DeleteObject(external);
    EXPECT_FALSE(quill_test::MessageOf<EInvalidOperation>([&] { c.SetHandle(nullptr); }) == L"<no exception>");
}

TEST(BrushAndPen, HandlesAndChanges) {
    TBrush brush;
    int changes = 0;
    brush.OnChange = [&](TObject*) { ++changes; };
    brush.SetColor(clRed);
    LOGBRUSH lb{};
    ASSERT_NE(GetObjectA(brush.Handle(), sizeof(lb), &lb), 0);
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(lb.lbColor, RGB(255, 0, 0));
    brush.SetStyle(TBrushStyle::bsClear);
    ASSERT_NE(GetObjectA(brush.Handle(), sizeof(lb), &lb), 0);
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_HOLLOW));
    // A colour makes a clear brush solid again, even the same colour.
    brush.SetColor(clRed);
    EXPECT_EQ(brush.Style(), TBrushStyle::bsSolid);
    EXPECT_EQ(changes, 3);
    brush.SetColor(clBtnFace);
    ASSERT_NE(GetObjectA(brush.Handle(), sizeof(lb), &lb), 0);
    EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));

    TPen pen;
    changes = 0;
    pen.OnChange = [&](TObject*) { ++changes; };
    pen.SetWidth(3);
    pen.SetColor(clBlue);
    pen.SetStyle(TPenStyle::psDash);
    pen.SetWidth(0);  // becomes 1
    EXPECT_EQ(pen.Width(), 1);
    EXPECT_EQ(changes, 4);
    LOGPEN lp{};
    ASSERT_NE(GetObjectA(pen.Handle(), sizeof(lp), &lp), 0);
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DASH));
    EXPECT_EQ(lp.lopnColor, RGB(0, 0, 255));
    TPen copy;
    copy.Assign(&pen);
    EXPECT_EQ(copy.Color(), clBlue);
    EXPECT_EQ(copy.Style(), TPenStyle::psDash);
}

TEST(Canvas, WithoutHandleRefusesToDraw) {
    TCanvas canvas;
    EXPECT_FALSE(canvas.HandleAllocated());
    EXPECT_EQ(quill_test::MessageOf<EInvalidOperation>([&] { canvas.FillRect(RECT{0, 0, 1, 1}); }),
              L"Canvas does not allow drawing");
}

TEST(Canvas, FillFrameAndRectangleByPixels) {
    MemorySurface surface(40, 30);
    TCanvas canvas;
    canvas.SetHandle(surface.Dc());
    canvas.Brush()->SetColor(clRed);
    canvas.FillRect(RECT{2, 2, 10, 10});
    EXPECT_EQ(surface.At(2, 2), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(9, 9), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(10, 10), RGB(255, 255, 255));  // right and bottom edges excluded
    EXPECT_EQ(surface.At(1, 5), RGB(255, 255, 255));

    // Changing the brush while it is selected takes effect at the next call.
    canvas.Brush()->SetColor(clLime);
    canvas.FrameRect(RECT{12, 2, 20, 10});
    EXPECT_EQ(surface.At(12, 5), RGB(0, 255, 0));
    EXPECT_EQ(surface.At(15, 5), RGB(255, 255, 255));  // inside the frame untouched

    canvas.Pen()->SetColor(clBlue);
    canvas.Brush()->SetColor(clYellow);
    canvas.Rectangle(22, 2, 30, 10);
    EXPECT_EQ(surface.At(22, 5), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(25, 5), RGB(255, 255, 0));

    canvas.Brush()->SetStyle(TBrushStyle::bsClear);
    canvas.Rectangle(2, 12, 10, 20);
    EXPECT_EQ(surface.At(2, 15), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(5, 15), RGB(255, 255, 255));  // clear brush leaves the inside

    // A hatched brush draws its lines alone: what was there shows between them.
    canvas.Brush()->SetColor(clRed);
    canvas.Brush()->SetStyle(TBrushStyle::bsDiagCross);
    canvas.FillRect(RECT{22, 12, 38, 24});
    EXPECT_GT(surface.Inked(22, 12, 38, 24), 16 * 12 / 8) << "the cross's lines";
    EXPECT_LT(surface.Inked(22, 12, 38, 24), 16 * 12 / 2) << "the surface between them";

    canvas.MoveTo(12, 25);
    canvas.LineTo(30, 25);
    EXPECT_EQ(surface.At(20, 25), RGB(0, 0, 255));
    EXPECT_EQ(canvas.PenPos().x, 30);
    // The pen's mode is the DC's mix: pmNot inverts what is there (white becomes black, the blue
    // line yellow).
    canvas.Pen()->SetMode(TPenMode::pmNot);
    canvas.MoveTo(20, 20);
    canvas.LineTo(20, 28);
    EXPECT_EQ(surface.At(20, 22), RGB(0, 0, 0));
    EXPECT_EQ(surface.At(20, 25), RGB(255, 255, 0));
    canvas.Pen()->SetMode(TPenMode::pmCopy);
    canvas.SetPixels(35, 5, clFuchsia);
    EXPECT_EQ(canvas.Pixels(35, 5), clFuchsia);

    // The DC is handed back with its own objects: deleting ours must then succeed.
    canvas.SetHandle(nullptr);
    EXPECT_NE(GetCurrentObject(surface.Dc(), OBJ_BRUSH), canvas.Brush()->Handle());
    EXPECT_NE(GetCurrentObject(surface.Dc(), OBJ_PEN), canvas.Pen()->Handle());
}

// A text inks only within the box its measures give: a long line in the dialogs' font (whose
// stand-in places its glyphs at fractional positions) too, alone and laid out in lines.
TEST(Canvas, TextOutInksOnlyInsideTheTextBox) {
    MemorySurface surface(400, 80);
    TCanvas canvas;
    canvas.SetHandle(surface.Dc());
    canvas.Font()->SetName("Arial");
    canvas.Font()->SetHeight(-16);
    canvas.Font()->SetColor(clBlack);
    canvas.Brush()->SetStyle(TBrushStyle::bsClear);
    SIZE extent = canvas.TextExtent("Wxyz");
    ASSERT_GT(extent.cx, 0);
    ASSERT_GT(extent.cy, 0);
    EXPECT_EQ(canvas.TextWidth("Wxyz"), extent.cx);
    EXPECT_LT(canvas.TextWidth("W"), extent.cx);

    int changes = 0;
    canvas.OnChange = [&](TObject*) { ++changes; };
    canvas.TextOut(10, 5, "Wxyz");
    EXPECT_EQ(changes, 1);
    EXPECT_GT(surface.Inked(10, 5, 10 + extent.cx, 5 + extent.cy), 0);
    // Nothing outside the box.
    EXPECT_EQ(surface.Inked(0, 0, surface.Width(), 5), 0);
    EXPECT_EQ(surface.Inked(0, 5 + extent.cy, surface.Width(), surface.Height()), 0);
    EXPECT_EQ(surface.Inked(0, 0, 10, surface.Height()), 0);
    EXPECT_EQ(surface.Inked(10 + extent.cx, 0, surface.Width(), surface.Height()), 0);
    EXPECT_EQ(canvas.PenPos().x, 10 + extent.cx);

    const std::string line = "Useful only if you want to preview a different video";
    canvas.Font()->SetName("MS Sans Serif");
    canvas.Font()->SetHeight(-11);
    const int width = canvas.TextWidth(line);
    canvas.TextOut(10, 30, line);
    EXPECT_GT(surface.Inked(10, 30, 10 + width, 30 + extent.cy), 0);
    EXPECT_EQ(surface.Inked(10 + width, 0, surface.Width(), surface.Height()), 0) << "the line runs past its width";

    // In lines: broken at the line ends and before the word that would pass the width.
    TSelectedObject font(surface.Dc(), canvas.Font()->Handle());
    EXPECT_EQ((std::vector<std::wstring>{L"Click.", L"Useful only if you want to preview a different", L"video"}),
              WrappedLines(surface.Dc(), L"Click.\r\n" + AnsiToWide(line), width - 1));
    EXPECT_EQ(std::vector<std::wstring>{L"Supercalifragilistic"}, WrappedLines(surface.Dc(), L"Supercalifragilistic", 5))
        << "a word wider than the room stands alone";

    // A bigger font after a change: the canvas selected the new handle.
    canvas.Font()->SetHeight(-30);
    EXPECT_GT(canvas.TextHeight("W"), extent.cy);
}

TEST(Canvas, TextRectClipsAndFillsWithTheBrush) {
    MemorySurface surface(80, 30);
    TCanvas canvas;
    canvas.SetHandle(surface.Dc());
    canvas.Font()->SetName("Arial");
    canvas.Font()->SetHeight(-20);
    canvas.Font()->SetColor(clBlack);
    canvas.Brush()->SetColor(clAqua);
    RECT box{5, 5, 25, 25};
    canvas.TextRect(box, 5, 5, "WWWWWWWW");
    EXPECT_EQ(surface.At(24, 24), RGB(0, 255, 255));  // filled with the brush colour
    // Clipped: nothing right of or below the box.
    EXPECT_EQ(surface.Inked(25, 0, 80, 30), 0);
    EXPECT_EQ(surface.Inked(0, 25, 80, 30), 0);
    // Black text inside.
    bool black = false;
    for (int y = 5; y < 25; ++y)
        for (int x = 5; x < 25; ++x)
            if (surface.At(x, y) == RGB(0, 0, 0)) black = true;
    EXPECT_TRUE(black);
}

TEST(Canvas, DrawCopiesABitmap) {
    MemorySurface source(4, 4);
    {
        TCanvas c;
        c.SetHandle(source.Dc());
        c.Brush()->SetColor(clMaroon);
        c.FillRect(RECT{0, 0, 4, 4});
    }
    HBITMAP bm = static_cast<HBITMAP>(GetCurrentObject(source.Dc(), OBJ_BITMAP));
    HBITMAP copy = static_cast<HBITMAP>(CopyImage(bm, IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(copy, nullptr);
    MemorySurface target(10, 10);
    TCanvas canvas;
    canvas.SetHandle(target.Dc());
    canvas.Draw(3, 3, copy);
    EXPECT_EQ(target.At(3, 3), RGB(128, 0, 0));
    EXPECT_EQ(target.At(6, 6), RGB(128, 0, 0));
    EXPECT_EQ(target.At(7, 7), RGB(255, 255, 255));
    DeleteObject(copy);
}

namespace {
// A canvas that acquires a DC of its own, as a control's canvas does.
class OwnDcCanvas : public TCanvas {
public:
    explicit OwnDcCanvas(HDC dc) : dc_(dc) {}
    ~OwnDcCanvas() override { FreeHandle(); }
    int created = 0, freed = 0;
    void Release() { FreeHandle(); }

protected:
    void CreateHandle() override {
        ++created;
        SetHandle(dc_);
    }
    void FreeHandle() override {
        if (HandleAllocated()) ++freed;
        SetHandle(nullptr);
    }

private:
    HDC dc_;
};
}  // namespace

TEST(Canvas, DerivedCanvasAcquiresItsDcOnDemand) {
    MemorySurface surface(8, 8);
    OwnDcCanvas canvas(surface.Dc());
    EXPECT_EQ(canvas.created, 0);
    canvas.Brush()->SetColor(clNavy);
    canvas.FillRect(RECT{0, 0, 2, 2});
    EXPECT_EQ(canvas.created, 1);
    canvas.FillRect(RECT{2, 2, 4, 4});
    EXPECT_EQ(canvas.created, 1);
    EXPECT_EQ(surface.At(3, 3), RGB(0, 0, 128));
    canvas.Release();
    EXPECT_EQ(canvas.freed, 1);
    canvas.FillRect(RECT{4, 4, 6, 6});
    EXPECT_EQ(canvas.created, 2);
}

TEST(GdiHolders, EachHandleIsFreedOnceByItsLastOwner) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    {
        TOwnedPen first(pen);
        TOwnedPen second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.Get(), pen);
        TOwnedPen third;
        third = std::move(second);
        EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
        // Taking a new brush frees the old one at once.
        TOwnedBrush brush(CreateSolidBrush(RGB(4, 5, 6)));
        HBRUSH old = brush.Get();
        brush.Reset(CreateSolidBrush(RGB(7, 8, 9)));
        EXPECT_EQ(GetObjectType(old), 0u);
        HBRUSH kept = brush.Release();
        EXPECT_FALSE(brush);
        EXPECT_EQ(GetObjectType(kept), static_cast<DWORD>(OBJ_BRUSH));
        DeleteObject(kept);
    }
    EXPECT_EQ(GetObjectType(pen), 0u);

    // A memory DC goes with its owner; a selection and a saved state are put back first.
    HDC dc = nullptr;
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    {
        TOwnedDC mem(CreateCompatibleDC(nullptr));
        dc = mem.Get();
        HGDIOBJ before = GetCurrentObject(dc, OBJ_BITMAP);
        {
            TSavedDC saved(dc);
            TSelectedObject selected(dc, bitmap);
            EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), bitmap);
            SetTextColor(dc, RGB(9, 9, 9));
        }
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), before);
        EXPECT_NE(GetTextColor(dc), RGB(9, 9, 9));
        TWindowDC screen(nullptr);
        EXPECT_TRUE(screen);
    }
    EXPECT_EQ(GetObjectType(dc), 0u);
    TOwnedBitmap owned(bitmap);
}
