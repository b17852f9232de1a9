#include "ui/action_images.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/gdi_handles.h"
#include "classlib/graphics.h"
#include "classlib/images.h"

namespace ui {

namespace {

// Pixels less opaque than this are left out (the image lists keep a mask, not an alpha channel);
// the more opaque ones are laid on the button face, over which every list and glyph is drawn.
// cmake/icon_strips.py checks the bottom-left pixels against the same value.
constexpr std::uint8_t kClearBelow = 48;
// The colour that stands for the clear pixels of the image lists' pictures.
constexpr COLORREF kMask = RGB(255, 0, 255);

const wchar_t* ResourceName(TPictureSet Set) {
    switch (Set) {
        case TPictureSet::psActions: return L"QPIC_ACTIONS";
        case TPictureSet::psFormat: return L"QPIC_FORMAT";
        case TPictureSet::psSmall: return L"QPIC_SMALL";
    }
    return L"";
}

// A strip as the resources hold it: straight-alpha BGRA pixels, top row first after reading.
struct TStrip {
    int Width = 0;
    int Size = 0;  // the height, and the width of one picture
    std::vector<std::uint32_t> Pixels;
    std::uint32_t At(int X, int Y) const { return Pixels[static_cast<size_t>(Y) * Width + X]; }
    int Count() const { return Size > 0 ? Width / Size : 0; }
};

TStrip ReadStrip(TPictureSet Set) {
    HMODULE module = GetModuleHandleW(nullptr);
    const std::wstring name = ResourceName(Set);
    HRSRC found = FindResourceW(module, name.c_str(), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const auto* bytes = loaded != nullptr ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) throw classlib::EResNotFound(L"Resource " + name + L" not found");
    const DWORD size = SizeofResource(module, found);
    BITMAPINFOHEADER header{};
    auto bad = [&name] { return classlib::EInvalidGraphic(L"The pictures " + name + L" are not a row of 32-bit squares"); };
    if (size < sizeof header) throw bad();
    std::memcpy(&header, bytes, sizeof header);
    const std::int64_t height = header.biHeight < 0 ? -static_cast<std::int64_t>(header.biHeight) : header.biHeight;
    const std::int64_t width = header.biWidth;
    if (header.biSize < sizeof header || header.biBitCount != 32 || header.biCompression != BI_RGB || height <= 0 ||
        width <= 0 || width % height != 0 || height > 256 || width > 256 * 256 ||
        header.biSize + width * height * 4 > size)
        throw bad();
    TStrip strip;
    strip.Width = static_cast<int>(width);
    strip.Size = static_cast<int>(height);
    strip.Pixels.resize(static_cast<size_t>(width * height));
    const std::uint8_t* bits = bytes + header.biSize;
    for (std::int64_t row = 0; row < height; ++row) {
        // Bottom-up unless the height is negative.
        const std::int64_t y = header.biHeight > 0 ? height - 1 - row : row;
        std::memcpy(&strip.Pixels[static_cast<size_t>(y * width)], bits + row * width * 4, static_cast<size_t>(width) * 4);
    }
    return strip;
}

// Pictures First .. First + Count - 1 of Strip side by side in a new 24-bit bitmap, each pixel laid
// on Face, the clear ones in Clear.
HBITMAP StripBitmap(const TStrip& Strip, int First, int Count, COLORREF Face, COLORREF Clear) {
    const int width = Count * Strip.Size;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -Strip.Size, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) classlib::RaiseLastOSError();
    const int stride = (width * 3 + 3) & ~3;
    auto* out = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < Strip.Size; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = Strip.At(First * Strip.Size + x, y);
            const unsigned a = p >> 24;
            COLORREF c = Clear;
            if (a >= kClearBelow) {
                auto mix = [a](unsigned picture, unsigned face) { return (picture * a + face * (255 - a) + 127) / 255; };
                c = RGB(mix((p >> 16) & 0xFF, GetRValue(Face)), mix((p >> 8) & 0xFF, GetGValue(Face)),
                        mix(p & 0xFF, GetBValue(Face)));
                // A drawn pixel never takes the colour of the clear ones.
                if (c == Clear) c ^= 0x010000;
            }
            std::uint8_t* px = out + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
            px[0] = GetBValue(c);
            px[1] = GetGValue(c);
            px[2] = GetRValue(c);
        }
    return bitmap;
}

}  // namespace

int PictureSize(TPictureSet Set) { return ReadStrip(Set).Size; }

void FillPictures(classlib::TImageList* List, TPictureSet Set) {
    const TStrip strip = ReadStrip(Set);
    List->Clear();
    List->SetWidth(strip.Size);
    List->SetHeight(strip.Size);
    classlib::TOwnedBitmap pictures(
        StripBitmap(strip, 0, strip.Count(), classlib::ColorToRGB(classlib::clBtnFace), kMask));
    List->AddMasked(pictures.Get(), static_cast<classlib::TColor>(kMask));
}

HBITMAP PictureGlyph(TPictureSet Set, int Index) {
    const TStrip strip = ReadStrip(Set);
    if (Index < 0 || Index >= strip.Count())
        throw classlib::EInvalidGraphic(L"No picture " + std::to_wstring(Index) + L" in " + ResourceName(Set));
    const COLORREF face = classlib::ColorToRGB(classlib::clBtnFace);
    return StripBitmap(strip, Index, 1, face, face);
}

}  // namespace ui
