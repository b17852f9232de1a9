#include "ui/action_images.h"

#include <windows.h>

#include "classlib/graphics.h"

namespace ui {

namespace {

struct TImageSign {
    int Index;
    const char* Text;
    COLORREF Tile;
};

constexpr COLORREF kAction = RGB(0, 96, 160);
constexpr COLORREF kPanel = RGB(0, 128, 96);
constexpr COLORREF kRecord = RGB(192, 0, 0);
constexpr COLORREF kState = RGB(128, 64, 160);

// The numbers the action table, the looks and the buttons use; the others stay empty.
constexpr TImageSign kSigns[] = {
    {0, "+-", kState},    {1, "Src", kPanel},   {3, "IbI", kRecord},  {4, "X", kAction},    {5, "[ ]", kAction},
    {6, "Grb", kAction},  {7, "Img", kPanel},   {9, "?", kPanel},     {10, "Set", kPanel},  {14, "Rec", kRecord},
    {20, "Clk", kPanel},  {22, "Txt", kPanel},  {23, "Snd", kState},  {24, "Mut", kState},  {26, "-T", kState},
    {28, "Stp", kRecord}, {29, "Cut", kRecord}, {30, "StP", kRecord}, {31, "i", kPanel},    {34, "Dir", kPanel},
    {36, "V", kAction},   {42, "H", kAction},   {43, "Wav", kRecord}, {46, "Fre", kState},  {47, "+-", kState},
    {50, "||", kState},   {51, ">", kState},    {52, "||", kRecord},  {53, ">", kRecord},   {55, "T", kState},
    {57, "Lck", kState},  {58, "Lst", kPanel},  {59, "Key", kPanel},  {60, "Scr", kAction},
};

// The colour left out of every picture.
constexpr COLORREF kMask = RGB(255, 0, 255);

const TImageSign* SignOf(int Index) {
    for (const TImageSign& sign : kSigns)
        if (sign.Index == Index) return &sign;
    return nullptr;
}

}  // namespace

void FillActionImages(classlib::TImageList* List) {
    List->Clear();
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HFONT font = CreateFontA(-9, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
    HBRUSH mask = CreateSolidBrush(kMask);
    for (int index = 0; index < kActionImageCount; ++index) {
        HBITMAP picture = CreateCompatibleBitmap(screen, kActionImageSize, kActionImageSize);
        HGDIOBJ oldBitmap = SelectObject(dc, picture);
        RECT all{0, 0, kActionImageSize, kActionImageSize};
        FillRect(dc, &all, mask);
        if (const TImageSign* sign = SignOf(index)) {
            HBRUSH tile = CreateSolidBrush(sign->Tile);
            HGDIOBJ oldBrush = SelectObject(dc, tile);
            HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
            RoundRect(dc, 1, 1, kActionImageSize, kActionImageSize, 6, 6);
            SelectObject(dc, oldPen);
            SelectObject(dc, oldBrush);
            DeleteObject(tile);
            HGDIOBJ oldFont = SelectObject(dc, font);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(255, 255, 255));
            DrawTextA(dc, sign->Text, -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            SelectObject(dc, oldFont);
        }
        SelectObject(dc, oldBitmap);
        List->AddMasked(picture, static_cast<classlib::TColor>(kMask));
        DeleteObject(picture);
    }
    DeleteObject(mask);
    DeleteObject(font);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

}  // namespace ui
