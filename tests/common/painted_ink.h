// Test helper: what Paint puts into a white bitmap, counted and located by colour.
#pragma once

#include <windows.h>

#include <algorithm>

namespace quill_test {

struct TInk {
    int Count = 0;   // pixels of the colour
    int Right = -1;  // the rightmost column holding one, -1 for none
    int Left = -1;   // the leftmost column holding one, -1 for none
    int Top = -1;    // the top row holding one, -1 for none
    int Bottom = -1; // the bottom row holding one, -1 for none
};

// Paints into a white Width x Height bitmap with Paint(HDC) and looks for the pixels Match takes.
template <typename M, typename F>
TInk InkWhere(M&& Match, int Width, int Height, F&& Paint) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, Width, Height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, Width, Height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Paint(dc);
    TInk ink;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            if (Match(GetPixel(dc, x, y))) {
                ++ink.Count;
                ink.Right = std::max(ink.Right, x);
                if (ink.Left < 0 || x < ink.Left) ink.Left = x;
                if (ink.Top < 0) ink.Top = y;
                ink.Bottom = y;
            }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return ink;
}

// The same for the pixels of exactly Colour.
template <typename F>
TInk InkOf(COLORREF Colour, int Width, int Height, F&& Paint) {
    return InkWhere([Colour](COLORREF Pixel) { return Pixel == Colour; }, Width, Height, Paint);
}

// What Control paints of itself (a WM_PAINT on its canvas), for the pixels of Colour.
template <typename C>
TInk PaintedInk(C* Control, COLORREF Colour) {
    return InkOf(Colour, Control->Width(), Control->Height(), [&](HDC dc) {
        Control->Canvas()->SetHandle(dc);
        Control->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
        Control->Canvas()->SetHandle(nullptr);
    });
}

}  // namespace quill_test
