// The JPEG picture object: takes a 24-bit picture, compresses it at a quality of 1 to 100 (baseline,
// 4:2:0, the library's standard tables) and writes the result whole to a file, or reads a JPEG file
// back into a bitmap; and the writing of a whole file that never leaves half of it behind.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/exceptions.h"

namespace classlib {

// A picture that cannot be compressed (empty, or the library refused it).
class EJPEGError : public Exception {
public:
    using Exception::Exception;
};

class TJPEGImage {
public:
    // Takes a copy of Height rows of Width blue-green-red pixels, the top row at Top, each next row
    // Step bytes further (negative for a bottom-up buffer). The compressed data is dropped.
    void Assign(const BYTE* Top, std::ptrdiff_t Step, int Width, int Height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }

    // 1 (smallest) to 100 (best); values outside are brought into that range. Default 75.
    int CompressionQuality() const { return quality_; }
    void SetCompressionQuality(int Value);

    // Compresses the picture; raises EJPEGError "JPEG image is empty" or the library's message.
    void Compress();
    // The compressed bytes (empty before Compress).
    const std::vector<std::uint8_t>& Data() const { return data_; }
    // Compresses when needed, then writes the file whole (WriteWholeFile).
    void SaveToFile(const std::wstring& FileName);
    // Reads a JPEG file (grey or colour, baseline or progressive) into the picture. Raises the
    // system error when the file cannot be read, and EJPEGError with the library's message (or
    // "JPEG image is too large" beyond 2^27 pixels) when its data is no picture it can decode; the
    // picture is then empty.
    void LoadFromFile(const std::wstring& FileName);
    // The picture as a new 24-bit top-down bitmap (nullptr when empty); the caller owns it.
    HBITMAP CreateBitmap() const;

private:
    std::vector<std::uint8_t> pixels_;  // red-green-blue rows, top first, unpadded
    int width_ = 0;
    int height_ = 0;
    int quality_ = 75;
    std::vector<std::uint8_t> data_;
};

// Writes Size bytes to a file beside FileName, then puts it in FileName's place, so that a failure
// (a full disk, a folder that cannot be written) leaves any earlier file as it was and no part of the
// new one. Raises EOSError with the system's text on failure.
void WriteWholeFile(const std::wstring& FileName, const void* Data, std::size_t Size);

}  // namespace classlib
