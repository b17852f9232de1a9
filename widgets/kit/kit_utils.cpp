#include "widgets/kit/kit_utils.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/custom_controls.h"
#include "classlib/dialogs.h"
#include "classlib/exceptions.h"
#include "classlib/win_control.h"

namespace widgets::kit {

using namespace classlib;

namespace {

constexpr DWORD kRopDSPDxax = 0x00E20746;  // brush where the mono source is white, else the destination
constexpr DWORD kRopPSDPxax = 0x00B8074A;  // brush where the mono source is black, else the destination

// A memory DC with a bitmap selected for the DC's life.
struct TMemDC {
    explicit TMemDC(HBITMAP Bitmap) : dc(CreateCompatibleDC(nullptr)), sel(dc.Get(), Bitmap) {}
    TOwnedDC dc;
    TSelectedObject sel;
    HDC Get() const { return dc.Get(); }
};

TOwnedBitmap ScreenBitmap(int W, int H) {
    TWindowDC screen(nullptr);
    return TOwnedBitmap(CreateCompatibleBitmap(screen.Get(), W > 0 ? W : 1, H > 0 ? H : 1));
}

TOwnedBitmap MonoBitmap(int W, int H) { return TOwnedBitmap(CreateBitmap(W > 0 ? W : 1, H > 0 ? H : 1, 1, 1, nullptr)); }

// Stamps Brush onto Dest at X, Y through a monochrome mask with the given raster operation.
void StampMask(HDC Dest, int X, int Y, int W, int H, HDC Mask, TColor Brush, DWORD Rop) {
    TOwnedBrush brush(CreateSolidBrush(ColorToRGB(Brush)));
    TSelectedObject sel(Dest, brush.Get());
    COLORREF oldText = SetTextColor(Dest, RGB(0, 0, 0));
    COLORREF oldBk = SetBkColor(Dest, RGB(255, 255, 255));
    BitBlt(Dest, X, Y, W, H, Mask, 0, 0, Rop);
    SetTextColor(Dest, oldText);
    SetBkColor(Dest, oldBk);
}

[[noreturn]] void ResNotFound(const std::wstring& Name) {
    throw EResNotFound(L"Resource " + Name + L" not found");
}

}  // namespace

TOwnedBitmap LoadResBitmap(HMODULE Module, const std::wstring& Name) {
    TOwnedBitmap bmp(static_cast<HBITMAP>(LoadImageW(Module, Name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bmp) ResNotFound(Name);
    return bmp;
}

TOwnedBitmap LoadResBitmap(HMODULE Module, int Id) {
    HBITMAP h = Module == nullptr
                    ? LoadBitmapW(nullptr, MAKEINTRESOURCEW(Id))
                    : static_cast<HBITMAP>(LoadImageW(Module, MAKEINTRESOURCEW(Id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (h == nullptr) ResNotFound(std::to_wstring(Id));
    return TOwnedBitmap(h);
}

SIZE BitmapSize(HBITMAP Bitmap) {
    BITMAP bm{};
    if (Bitmap == nullptr || GetObjectW(Bitmap, sizeof(bm), &bm) == 0) return SIZE{0, 0};
    return SIZE{bm.bmWidth, bm.bmHeight};
}

TColor BottomLeftColor(HBITMAP Bitmap) {
    SIZE s = BitmapSize(Bitmap);
    if (s.cx == 0 || s.cy == 0) return clNone;
    TMemDC dc(Bitmap);
    return static_cast<TColor>(GetPixel(dc.Get(), 0, s.cy - 1));
}

TOwnedBitmap CopyBitmap(HBITMAP Bitmap) {
    SIZE s = BitmapSize(Bitmap);
    if (s.cx == 0 || s.cy == 0) return TOwnedBitmap();
    TOwnedBitmap copy = ScreenBitmap(s.cx, s.cy);
    TMemDC src(Bitmap), dst(copy.Get());
    BitBlt(dst.Get(), 0, 0, s.cx, s.cy, src.Get(), 0, 0, SRCCOPY);
    return copy;
}

std::vector<std::uint8_t> BitmapToBmpBytes(HBITMAP Bitmap) {
    SIZE s = BitmapSize(Bitmap);
    if (s.cx <= 0 || s.cy <= 0) return {};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = s.cx;
    info.biHeight = s.cy;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const size_t stride = (static_cast<size_t>(s.cx) * 3 + 3) & ~static_cast<size_t>(3);
    const size_t bits = stride * static_cast<size_t>(s.cy);
    info.biSizeImage = static_cast<DWORD>(bits);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + bits);
    std::vector<std::uint8_t> out(file.bfSize);
    std::memcpy(out.data(), &file, sizeof(file));
    std::memcpy(out.data() + sizeof(file), &info, sizeof(info));
    TWindowDC screen(nullptr);
    GetDIBits(screen.Get(), Bitmap, 0, static_cast<UINT>(s.cy), out.data() + file.bfOffBits,
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    return out;
}

TOwnedBitmap BitmapFromBmpBytes(const std::uint8_t* Data, size_t Size) {
    auto bad = [] { return EReadError(L"Bitmap image is not valid"); };
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    if (Data == nullptr || Size < sizeof(file) + sizeof(info)) throw bad();
    std::memcpy(&file, Data, sizeof(file));
    std::memcpy(&info, Data + sizeof(file), sizeof(info));
    if (file.bfType != 0x4D42 || info.biSize < sizeof(info) || info.biPlanes != 1 || info.biBitCount != 24 ||
        info.biCompression != BI_RGB || info.biWidth <= 0 || info.biWidth > 16384 || info.biHeight == 0 ||
        info.biHeight > 16384 || info.biHeight < -16384)
        throw bad();
    const size_t height = static_cast<size_t>(info.biHeight < 0 ? -info.biHeight : info.biHeight);
    const size_t stride = (static_cast<size_t>(info.biWidth) * 3 + 3) & ~static_cast<size_t>(3);
    const size_t headers = sizeof(file) + info.biSize;
    if (file.bfOffBits < headers || file.bfOffBits > Size || Size - file.bfOffBits < stride * height) throw bad();
    BITMAPINFOHEADER use = info;
    use.biSize = sizeof(use);
    TWindowDC screen(nullptr);
    HBITMAP h = CreateDIBitmap(screen.Get(), &use, CBM_INIT, Data + file.bfOffBits, reinterpret_cast<BITMAPINFO*>(&use),
                               DIB_RGB_COLORS);
    if (h == nullptr) throw bad();
    return TOwnedBitmap(h);
}

TOwnedBitmap MakeDisabledBitmap(HBITMAP Source, TColor Outline, TColor Back, TColor Highlight, TColor Shadow,
                                bool DrawHighlight) {
    SIZE s = BitmapSize(Source);
    TOwnedBitmap result = ScreenBitmap(s.cx, s.cy);
    TOwnedBitmap mono = MonoBitmap(s.cx, s.cy);
    {
        // The figure (the outline colour's pixels) becomes white in the mask.
        TMemDC src(Source), mask(mono.Get());
        COLORREF old = SetBkColor(src.Get(), ColorToRGB(Outline));
        BitBlt(mask.Get(), 0, 0, s.cx, s.cy, src.Get(), 0, 0, SRCCOPY);
        SetBkColor(src.Get(), old);
    }
    TMemDC dst(result.Get()), mask(mono.Get());
    RECT r{0, 0, s.cx, s.cy};
    TOwnedBrush back(CreateSolidBrush(ColorToRGB(Back)));
    FillRect(dst.Get(), &r, back.Get());
    if (DrawHighlight) StampMask(dst.Get(), 1, 1, s.cx, s.cy, mask.Get(), Highlight, kRopDSPDxax);
    StampMask(dst.Get(), 0, 0, s.cx, s.cy, mask.Get(), Shadow, kRopDSPDxax);
    return result;
}

TOwnedBitmap MakeDisabledBitmapStd(HBITMAP Source, TColor Outline) {
    return MakeDisabledBitmap(Source, Outline, clBtnFace, clBtnHighlight, clBtnShadow, true);
}

void PaintImageDisabled(HIMAGELIST Images, TCanvas* Canvas, int X, int Y, int Index, TColor Highlight, TColor Grey,
                        bool DrawHighlight) {
    int w = 0, h = 0;
    if (Images == nullptr || !ImageList_GetIconSize(Images, &w, &h)) return;
    TOwnedBitmap mono = MonoBitmap(w, h);
    TMemDC mask(mono.Get());
    RECT r{0, 0, w, h};
    FillRect(mask.Get(), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // The mask: black where the image has its figure.
    ImageList_Draw(Images, Index, mask.Get(), 0, 0, ILD_MASK);
    HDC dc = Canvas->Handle();
    if (DrawHighlight) StampMask(dc, X + 1, Y + 1, w, h, mask.Get(), Highlight, kRopPSDPxax);
    StampMask(dc, X, Y, w, h, mask.Get(), Grey, kRopPSDPxax);
}

void StretchTransparent(HDC Dest, const RECT& DestRect, HDC Source, const RECT& SourceRect, HPALETTE Palette,
                        COLORREF TransparentColor) {
    int dw = WidthOfRect(DestRect), dh = HeightOfRect(DestRect);
    int sw = WidthOfRect(SourceRect), sh = HeightOfRect(SourceRect);
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    HPALETTE oldPal = nullptr;
    if (Palette != nullptr) {
        oldPal = SelectPalette(Dest, Palette, TRUE);
        RealizePalette(Dest);
    }
    // Mask: the transparent colour white, the figure black.
    TOwnedBitmap monoBmp = MonoBitmap(sw, sh);
    TMemDC mask(monoBmp.Get());
    COLORREF oldBk = SetBkColor(Source, TransparentColor);
    BitBlt(mask.Get(), 0, 0, sw, sh, Source, SourceRect.left, SourceRect.top, SRCCOPY);
    SetBkColor(Source, oldBk);
    // The figure alone: the source with its transparent pixels made black.
    TOwnedBitmap figureBmp(CreateCompatibleBitmap(Dest, sw, sh));
    TMemDC figure(figureBmp.Get());
    BitBlt(figure.Get(), 0, 0, sw, sh, Source, SourceRect.left, SourceRect.top, SRCCOPY);
    SetBkColor(figure.Get(), RGB(255, 255, 255));
    SetTextColor(figure.Get(), RGB(0, 0, 0));
    BitBlt(figure.Get(), 0, 0, sw, sh, mask.Get(), 0, 0, 0x00220326);  // DSna: clear where the mask is white
    // The destination keeps its pixels where the mask is white (AND), then the figure is ORed in.
    COLORREF oldText = SetTextColor(Dest, RGB(0, 0, 0));
    oldBk = SetBkColor(Dest, RGB(255, 255, 255));
    int oldMode = SetStretchBltMode(Dest, COLORONCOLOR);
    StretchBlt(Dest, DestRect.left, DestRect.top, dw, dh, mask.Get(), 0, 0, sw, sh, SRCAND);
    StretchBlt(Dest, DestRect.left, DestRect.top, dw, dh, figure.Get(), 0, 0, sw, sh, SRCPAINT);
    SetStretchBltMode(Dest, oldMode);
    SetTextColor(Dest, oldText);
    SetBkColor(Dest, oldBk);
    if (oldPal != nullptr) SelectPalette(Dest, oldPal, TRUE);
}

void PaintBitmapTransparentPart(TCanvas* Canvas, int X, int Y, int Width, int Height, const RECT& SourceRect,
                                HBITMAP Bitmap, TColor TransparentColor) {
    SIZE s = BitmapSize(Bitmap);
    if (s.cx == 0 || s.cy == 0) return;
    if (Width < 1) Width = s.cx;
    if (Height < 1) Height = s.cy;
    HDC dc = Canvas->Handle();
    TMemDC src(Bitmap);
    RECT dest{X, Y, X + Width, Y + Height};
    if (TransparentColor == clNone) {
        StretchBlt(dc, X, Y, Width, Height, src.Get(), SourceRect.left, SourceRect.top, WidthOfRect(SourceRect),
                   HeightOfRect(SourceRect), Canvas->CopyMode());
        return;
    }
    BITMAP bm{};
    GetObjectW(Bitmap, sizeof(bm), &bm);
    COLORREF colour;
    if (bm.bmBitsPixel == 1)
        colour = RGB(255, 255, 255);
    else if (TransparentColor == clDefault)
        colour = GetPixel(src.Get(), 0, s.cy - 1);
    else
        colour = ColorToRGB(TransparentColor);
    StretchTransparent(dc, dest, src.Get(), SourceRect, nullptr, colour);
}

void PaintBitmapTransparent(TCanvas* Canvas, int X, int Y, HBITMAP Bitmap, TColor TransparentColor) {
    SIZE s = BitmapSize(Bitmap);
    PaintBitmapTransparentPart(Canvas, X, Y, s.cx, s.cy, RECT{0, 0, s.cx, s.cy}, Bitmap, TransparentColor);
}

namespace {

// Reaches a window's own painting (PaintWindow: its Paint, or its class's), without the graphic
// controls that its WM_PAINT would paint after it, the one asking among them.
struct TOwnPainting : TWinControl {
    static void Paint(TWinControl* Control, HDC DC) { (Control->*&TOwnPainting::PaintWindow)(DC); }
};

// Runs Paint with Control marked as painting a copy.
template <typename Painting>
void PaintCopy(TControl* Control, Painting Paint) {
    Control->SetControlState(Control->ControlState() | csPaintCopy);
    try {
        Paint();
    } catch (...) {
        Control->SetControlState(Control->ControlState() & ~csPaintCopy);
        throw;
    }
    Control->SetControlState(Control->ControlState() & ~csPaintCopy);
}

}  // namespace

void DrawParentImage(TControl* Control, TCanvas* Dest) {
    TWinControl* parent = Control->Parent();
    if (parent == nullptr) return;
    HDC dc = Dest->Handle();
    {
        TSavedDC saved(dc);
        OffsetViewportOrgEx(dc, -Control->Left(), -Control->Top(), nullptr);
        IntersectClipRect(dc, 0, 0, parent->ClientWidth(), parent->ClientHeight());
        PaintCopy(parent, [&] {
            parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            // A control that paints itself paints into the copy; a window painted by its class is
            // asked to print its client area (a WM_PAINT would validate the real window instead).
            if (dynamic_cast<TCustomControl*>(parent) != nullptr)
                TOwnPainting::Paint(parent, dc);
            else
                parent->Perform(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        });
    }
    RECT self = Control->BoundsRect();
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (c == Control) break;
        if (dynamic_cast<TWinControl*>(c) != nullptr || !c->Visible()) continue;
        RECT r = c->BoundsRect(), overlap{};
        if (!IntersectRect(&overlap, &r, &self)) continue;
        TSavedDC saved(dc);
        OffsetViewportOrgEx(dc, c->Left() - Control->Left(), c->Top() - Control->Top(), nullptr);
        IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
        PaintCopy(c, [&] { c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0); });
    }
}

bool NewStyleShell() {
    return NewStyleControls && LOBYTE(LOWORD(GetVersion())) >= 4;
}

int WidthOfRect(const RECT& R) { return R.right - R.left; }
int HeightOfRect(const RECT& R) { return R.bottom - R.top; }

bool PointInRectInclusive(POINT P, const RECT& R) {
    return P.x >= R.left && P.x <= R.right && P.y >= R.top && P.y <= R.bottom;
}

void KeepRectOnScreen(RECT& R) {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    if (R.right > sw) OffsetRect(&R, sw - R.right, 0);
    if (R.left < 0) OffsetRect(&R, -R.left, 0);
    if (R.bottom > sh) OffsetRect(&R, 0, sh - R.bottom);
    if (R.top < 0) OffsetRect(&R, 0, -R.top);
}

void CenterWindowOnScreen(HWND Window) {
    RECT r{};
    if (!GetWindowRect(Window, &r)) return;
    int w = WidthOfRect(r), h = HeightOfRect(r);
    RECT target{(GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0};
    target.right = target.left + w;
    target.bottom = target.top + h;
    KeepRectOnScreen(target);
    SetWindowPos(Window, nullptr, target.left, target.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void RemovePendingMessage(HWND Window, UINT Msg) {
    MSG m;
    if (PeekMessageW(&m, Window, Msg, Msg, PM_REMOVE) && m.message == WM_QUIT) PostQuitMessage(static_cast<int>(m.wParam));
}

namespace {

struct TWindowSearch {
    HWND target;
    bool found;
};

BOOL CALLBACK FindThreadWindow(HWND Window, LPARAM Data) {
    auto* s = reinterpret_cast<TWindowSearch*>(Data);
    if (Window != s->target) return TRUE;
    s->found = true;
    return FALSE;
}

}  // namespace

bool ThreadOwnsActiveWindow() {
    HWND active = GetActiveWindow();
    if (active == nullptr) return false;
    TWindowSearch search{active, false};
    EnumThreadWindows(GetCurrentThreadId(), &FindThreadWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

COLORREF PaletteColor(TColor Color) { return ColorToRGB(Color) | 0x02000000; }

void PasteOneLine(HWND Edit) {
    if (Edit == nullptr || (GetWindowLongW(Edit, GWL_STYLE) & ES_READONLY) != 0) return;
    std::wstring text;
    if (!OpenClipboard(Edit)) return;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = p;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    text.resize(std::min(text.size(), text.find_first_of(L"\r\n")));
    // Through the window's own character set: an ANSI edit gets its code page's text.
    if (IsWindowUnicode(Edit))
        SendMessageW(Edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    else
        SendMessageA(Edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(WideToAnsi(text).c_str()));
}

}  // namespace widgets::kit
