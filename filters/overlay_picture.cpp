#include "filters/overlay_picture.h"

#include "filters/deinterlace.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <tmmintrin.h>
#define QUILL_HAVE_SSSE3_PATH 1
#endif

namespace filters {

bool TRgbPicture::SetSize(int width, int height)
{
    if (width == width_ && height == height_ && (bitmap_ || width == 0 || height == 0)) {
        return true;
    }
    bitmap_.Reset();
    bits_ = nullptr;
    width_ = height_ = stride_ = 0;
    if (width <= 0 || height <= 0) {
        return width >= 0 && height >= 0;
    }
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;  // top row first
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
        return false;
    }
    bitmap_.Reset(bitmap);
    bits_ = static_cast<BYTE*>(bits);
    width_ = width;
    height_ = height;
    stride_ = static_cast<int>(Rgb24Stride(width));
    return true;
}

bool TRgbPicture::Assign(const TRgbPicture& source)
{
    if (!SetSize(source.width_, source.height_)) {
        return false;
    }
    if (bits_ != nullptr) {
        GdiFlush();  // drawing into the source may still be batched
        std::memcpy(bits_, source.bits_, static_cast<size_t>(stride_) * static_cast<size_t>(height_));
    }
    return true;
}

bool TRgbPicture::Assign(const TPictureView& source)
{
    if (!SetSize(source.width, source.height)) {
        return false;
    }
    if (bits_ != nullptr) {
        GdiFlush();
        CopyPixels(source, View());
    }
    return true;
}

TPictureView BottomUpView(BYTE* buffer, int width, int height)
{
    const std::ptrdiff_t stride = Rgb24Stride(width);
    return TPictureView{buffer + (height - 1) * stride, -stride, width, height};
}

void MirrorRows(TRgbPicture& picture)
{
    if (picture.Height() > 0) {
        MirrorRows(picture.ScanLine(0), picture.Width(), picture.Height(), picture.Stride());
    }
}

namespace {

void CopyRowMirroredPlain(const BYTE* source, BYTE* destination, int width, int from)
{
    const BYTE* s = source + static_cast<std::ptrdiff_t>(width - 1 - from) * 3;
    BYTE* d = destination + static_cast<std::ptrdiff_t>(from) * 3;
    for (int x = from; x < width; ++x, d += 3, s -= 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

#ifdef QUILL_HAVE_SSSE3_PATH
// Four pixels a step: a 16-byte load that ends with source pixel k, reversed by one shuffle, stored
// at destination pixel x (its last 4 bytes are overwritten by the next step). Loads and stores stay
// inside both rows; the last few pixels go the plain way.
__attribute__((target("ssse3"))) void CopyRowMirroredSsse3(const BYTE* source, BYTE* destination, int width)
{
    const __m128i reverse = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 0, 0, 0, 0);
    int x = 0;
    for (; x + 6 <= width; x += 4) {
        const int k = width - 1 - x;  // the source pixel that lands at x
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + static_cast<std::ptrdiff_t>(k) * 3 - 13));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + static_cast<std::ptrdiff_t>(x) * 3),
                         _mm_shuffle_epi8(v, reverse));
    }
    CopyRowMirroredPlain(source, destination, width, x);
}

bool HaveSsse3()
{
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

}  // namespace

void CopyRowMirrored(const BYTE* source, BYTE* destination, int width)
{
#ifdef QUILL_HAVE_SSSE3_PATH
    // The load for destination pixel x starts 13 bytes before source pixel width-1-x: it needs five
    // pixels before that one, hence width >= 6 for the first step.
    if (HaveSsse3() && width >= 6) {
        CopyRowMirroredSsse3(source, destination, width);
        return;
    }
#endif
    CopyRowMirroredPlain(source, destination, width, 0);
}

void CopyFrame(const BYTE* frame, const TFrameLayout& layout, bool turned, bool mirrored, const TPictureView& to)
{
    const int h = to.height;
    const int w = to.width;
    const std::ptrdiff_t stride = layout.Stride();
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    // Rows are written in the order they lie in memory: a bottom-up picture from its last row.
    // Taken upward, a cold frame streams through the caches about a third faster than downward.
    const bool upward = to.step >= 0;
    for (int i = 0; i < h; ++i) {
        const int y = upward ? i : h - 1 - i;
        // Row y shows the upright frame's row y, or its row h-1-y when turned; the upright frame's
        // row r lies at buffer row r (top-down) or h-1-r (bottom-up).
        const int upright = turned ? h - 1 - y : y;
        const int bufferRow = layout.topDown ? upright : h - 1 - upright;
        const BYTE* source = frame + bufferRow * stride;
        if (mirrored) {
            CopyRowMirrored(source, to.Row(y), w);
        } else {
            std::memcpy(to.Row(y), source, rowBytes);
        }
    }
}

void CopyPixels(const TPictureView& from, const TPictureView& to)
{
    const size_t rowBytes = static_cast<size_t>(to.width) * 3;
    for (int y = 0; y < to.height; ++y) {
        std::memcpy(to.Row(y), from.Row(y), rowBytes);
    }
}

void WriteBottomUp(const TRgbPicture& picture, BYTE* out)
{
    const size_t stride = static_cast<size_t>(picture.Stride());
    for (int y = 0; y < picture.Height(); ++y) {
        std::memcpy(out + static_cast<size_t>(picture.Height() - 1 - y) * stride, picture.ScanLine(y), stride);
    }
}

}  // namespace filters
