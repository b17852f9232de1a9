// The overlay's pictures: a 24-bit DIB section addressed top row first (the work picture and the
// twenty still-picture slots), and the frame copy that turns and mirrors on the way.
#pragma once

#include "classlib/gdi_handles.h"

#include <windows.h>

#include <cstddef>

namespace filters {

// Bytes of one row of a 24-bit DIB of that width: rows are padded to 4 bytes.
constexpr long Rgb24Stride(long width) { return (width * 3 + 3) & ~3L; }

// Rows of 24-bit pixels seen top row first: a picture, or a bottom-up buffer seen through a negative
// step. Does not own the pixels.
struct TPictureView {
    BYTE* top = nullptr;         // the top row
    std::ptrdiff_t step = 0;     // bytes from a row to the one below it
    int width = 0;
    int height = 0;
    BYTE* Row(int y) const { return top + y * step; }
};

// The view of a bottom-up buffer of padded rows.
TPictureView BottomUpView(BYTE* buffer, int width, int height);

// A 24-bit picture in a DIB section, rows top first, each padded to 4 bytes (blue, green, red).
class TRgbPicture {
public:
    TRgbPicture() = default;
    TRgbPicture(const TRgbPicture&) = delete;
    TRgbPicture& operator=(const TRgbPicture&) = delete;

    // Sizes the picture (contents undefined after a change of size); false when it cannot be made.
    bool SetSize(int width, int height);
    // Copies another picture's size and pixels.
    bool Assign(const TRgbPicture& source);
    // Takes the size and pixels of a view.
    bool Assign(const TPictureView& source);
    // The picture as a view (empty while the picture is).
    TPictureView View() { return TPictureView{bits_, stride_, width_, height_}; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    BYTE* ScanLine(int y) { return bits_ + static_cast<std::ptrdiff_t>(y) * stride_; }
    const BYTE* ScanLine(int y) const { return bits_ + static_cast<std::ptrdiff_t>(y) * stride_; }
    // The DIB section (owned by the picture), nullptr while empty.
    HBITMAP Handle() const { return bitmap_.Get(); }

private:
    classlib::TOwnedBitmap bitmap_;
    BYTE* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
};

// Reverses every row of a 24-bit picture in place (the middle pixel of an odd width stays).
void MirrorRows(TRgbPicture& picture);

// How a frame's rows lie in its buffer: padded 24-bit rows, bottom-up unless topDown.
struct TFrameLayout {
    int width = 0;
    int height = 0;
    bool topDown = false;
    long Stride() const { return Rgb24Stride(width); }
    long ImageSize() const { return Stride() * height; }
};

// Copies a frame of that layout into a view of its size, upright, or upside down when turned, each
// row reversed when mirrored: one pass over the pixels.
void CopyFrame(const BYTE* frame, const TFrameLayout& layout, bool turned, bool mirrored, const TPictureView& to);
// Copies the pixels of one view into another of the same size.
void CopyPixels(const TPictureView& from, const TPictureView& to);
// Writes the picture into a buffer as a bottom-up image with padded rows.
void WriteBottomUp(const TRgbPicture& picture, BYTE* out);
// Copies width 24-bit pixels from source to destination in reverse order (no overlap).
void CopyRowMirrored(const BYTE* source, BYTE* destination, int width);

}  // namespace filters
