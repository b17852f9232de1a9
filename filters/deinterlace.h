// Picture operations on still bitmaps: the DIB-section bitmap they work on (also the work picture of
// the resizer), the horizontal mirror and the comb-artefact repair applied to grabbed pictures.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace filters {

// A bottom-up DIB section of 24 or 32 bits per pixel, addressed top row first through ScanLine, with
// a memory DC (created on demand) for GDI drawing. Rows are padded to 4 bytes.
class TPictureBitmap {
public:
    TPictureBitmap() = default;
    ~TPictureBitmap();
    TPictureBitmap(const TPictureBitmap&) = delete;
    TPictureBitmap& operator=(const TPictureBitmap&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bitCount_; }
    // Bytes from one row to the next (positive; rows are 4-byte aligned).
    std::ptrdiff_t Stride() const { return stride_; }
    // Sizes the picture; a changed size or format gives new, black pixels. Negative sizes count as 0.
    // Bit counts other than 32 mean 24. Raises std::bad_alloc when the system has no room for it.
    void SetSize(int width, int height);
    void SetBitCount(int bitCount);
    // Row y (0 is the top); nullptr outside the picture.
    BYTE* ScanLine(int y);
    const BYTE* ScanLine(int y) const;
    // The bottom row: the start of the whole bottom-up image of Stride() * Height() bytes.
    BYTE* Bits() { return bits_; }
    const BYTE* Bits() const { return bits_; }
    std::size_t ImageSize() const { return static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_); }
    // The memory DC with the picture selected, or nullptr for an empty picture. GDI output is
    // flushed before ScanLine is read (GdiFlush).
    HDC Canvas();
    // Size, format and pixels of source.
    void Assign(const TPictureBitmap& source);
    // The canvas lock: drawing from a streaming thread and reading from another take it.
    std::mutex& CanvasLock() { return canvasLock_; }

private:
    void Release();
    void Make();

    int width_ = 0;
    int height_ = 0;
    int bitCount_ = 24;
    std::ptrdiff_t stride_ = 0;
    HBITMAP dib_ = nullptr;
    BYTE* bits_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    std::mutex canvasLock_;
};

// Reverses each row of a 24-bit picture in place (pixel x and width - 1 - x swap; the middle pixel
// of an odd width stays). Other formats are left as they are.
void MirrorBitmap(TPictureBitmap& bitmap);
// The same on raw 24-bit rows: height rows of width pixels, row y at firstRow + y * stride.
void MirrorRows(BYTE* firstRow, int width, int height, std::ptrdiff_t stride);

// Destination := a copy of source (size, format, pixels); for a 24-bit source, pixels of odd rows
// that stand out from both neighbouring rows in the same direction, in horizontal runs of two or
// more, are then replaced by the mean of the rows above and below. Source and destination may be
// the same picture. The work masks are shared: concurrent calls wait for each other.
void Deinterlace(const TPictureBitmap& source, TPictureBitmap& destination);

}  // namespace filters
