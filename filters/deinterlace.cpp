#include "filters/deinterlace.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace filters {

// Picture.

TPictureBitmap::~TPictureBitmap()
{
    Release();
}

void TPictureBitmap::Release()
{
    if (dc_ != nullptr) {
        SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
        dc_ = nullptr;
        oldBitmap_ = nullptr;
    }
    if (dib_ != nullptr) {
        DeleteObject(dib_);
        dib_ = nullptr;
    }
    bits_ = nullptr;
}

void TPictureBitmap::Make()
{
    Release();
    stride_ = ((static_cast<std::ptrdiff_t>(width_) * bitCount_ + 31) / 32) * 4;
    if (width_ <= 0 || height_ <= 0) {
        return;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = height_;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bitCount_);
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dib_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib_ == nullptr || bits == nullptr) {
        dib_ = nullptr;
        width_ = height_ = 0;
        throw std::bad_alloc();
    }
    bits_ = static_cast<BYTE*>(bits);
    std::memset(bits_, 0, ImageSize());
}

void TPictureBitmap::SetSize(int width, int height)
{
    width = width < 0 ? 0 : width;
    height = height < 0 ? 0 : height;
    if (width == width_ && height == height_ && (dib_ != nullptr || width == 0 || height == 0)) {
        return;
    }
    width_ = width;
    height_ = height;
    Make();
}

void TPictureBitmap::SetBitCount(int bitCount)
{
    bitCount = bitCount == 32 ? 32 : 24;
    if (bitCount == bitCount_) {
        return;
    }
    bitCount_ = bitCount;
    Make();
}

BYTE* TPictureBitmap::ScanLine(int y)
{
    return const_cast<BYTE*>(std::as_const(*this).ScanLine(y));
}

const BYTE* TPictureBitmap::ScanLine(int y) const
{
    if (bits_ == nullptr || y < 0 || y >= height_) {
        return nullptr;
    }
    if (dc_ != nullptr) {
        GdiFlush();
    }
    return bits_ + static_cast<std::ptrdiff_t>(height_ - 1 - y) * stride_;
}

HDC TPictureBitmap::Canvas()
{
    if (dib_ == nullptr) {
        return nullptr;
    }
    if (dc_ == nullptr) {
        dc_ = CreateCompatibleDC(nullptr);
        if (dc_ == nullptr) {
            return nullptr;
        }
        oldBitmap_ = SelectObject(dc_, dib_);
    }
    return dc_;
}

void TPictureBitmap::Assign(const TPictureBitmap& source)
{
    if (&source == this) {
        return;
    }
    if (bitCount_ != source.bitCount_) {
        bitCount_ = source.bitCount_;
        width_ = source.width_;
        height_ = source.height_;
        Make();
    } else {
        SetSize(source.width_, source.height_);
    }
    if (bits_ != nullptr && source.bits_ != nullptr) {
        if (source.dc_ != nullptr || dc_ != nullptr) {
            GdiFlush();
        }
        std::memcpy(bits_, source.bits_, ImageSize());
    }
}

// Mirror.

void MirrorRows(BYTE* firstRow, int width, int height, std::ptrdiff_t stride)
{
    if (firstRow == nullptr || width < 2) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        BYTE* left = firstRow + static_cast<std::ptrdiff_t>(y) * stride;
        BYTE* right = left + static_cast<std::ptrdiff_t>(width - 1) * 3;
        for (int x = 0; x < width / 2; ++x) {
            std::swap(left[0], right[0]);
            std::swap(left[1], right[1]);
            std::swap(left[2], right[2]);
            left += 3;
            right -= 3;
        }
    }
}

void MirrorBitmap(TPictureBitmap& bitmap)
{
    if (bitmap.BitCount() != 24 || bitmap.Height() == 0) {
        return;
    }
    BYTE* bottom = bitmap.ScanLine(bitmap.Height() - 1);  // flushes GDI output first
    MirrorRows(bottom, bitmap.Width(), bitmap.Height(), bitmap.Stride());
}

// Deinterlace.

namespace {

// The work masks, kept between calls so that a picture of the same size allocates nothing.
struct DeinterlaceMasks {
    std::mutex lock;
    std::vector<std::uint8_t> comb;
    std::vector<std::uint8_t> keep;
};

DeinterlaceMasks& Masks()
{
    static DeinterlaceMasks masks;
    return masks;
}

}  // namespace

void Deinterlace(const TPictureBitmap& source, TPictureBitmap& destination)
{
    const bool same = &source == &destination;
    if (!same) {
        destination.Assign(source);
    }
    const int w = source.Width();
    const int h = source.Height();
    // With one column the thinning would look at column -1: such a picture is only copied.
    if (source.BitCount() != 24 || w < 2 || h < 3) {
        return;
    }
    DeinterlaceMasks& masks = Masks();
    std::lock_guard<std::mutex> guard(masks.lock);
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    masks.comb.resize(count);
    masks.keep.resize(count);
    std::uint8_t* comb = masks.comb.data();
    std::uint8_t* keep = masks.keep.data();

    // Only odd rows below the last one are scored; every other mask row stays 0 and is skipped.
    for (int y = 1; y < h - 1; y += 2) {
        const BYTE* up = source.ScanLine(y - 1);
        const BYTE* c = source.ScanLine(y);
        const BYTE* down = source.ScanLine(y + 1);
        std::uint8_t* m = comb + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            const int i = x * 3;
            const int cb = c[i];
            const int cg = c[i + 1];
            const int cr = c[i + 2];
            const int score = 3 * (up[i + 2] - cr) * (down[i + 2] - cr) + 6 * (up[i + 1] - cg) * (down[i + 1] - cg) +
                              (up[i] - cb) * (down[i] - cb);
            m[x] = score > 2000 ? 1 : 0;
        }
    }
    for (int y = 1; y < h - 1; y += 2) {
        const std::uint8_t* m = comb + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        std::uint8_t* k = keep + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w - 1; ++x) {
            k[x] = static_cast<std::uint8_t>(m[x] & m[x + 1]);
        }
        k[w - 1] = static_cast<std::uint8_t>(m[w - 1] & m[w - 2]);
    }
    for (int y = 1; y < h - 1; y += 2) {
        const BYTE* up = source.ScanLine(y - 1);
        const BYTE* down = source.ScanLine(y + 1);
        BYTE* out = destination.ScanLine(y);
        const std::uint8_t* k = keep + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            if (k[x] != 0) {
                const int i = x * 3;
                out[i] = static_cast<BYTE>((up[i] + down[i]) / 2);
                out[i + 1] = static_cast<BYTE>((up[i + 1] + down[i + 1]) / 2);
                out[i + 2] = static_cast<BYTE>((up[i + 2] + down[i + 2]) / 2);
            }
        }
    }
}

}  // namespace filters
