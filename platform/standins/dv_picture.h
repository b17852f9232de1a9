// Real DV pictures for the DV stand-ins, on libavcodec's DV coder: a picture of any size is scaled to
// the DV raster (720 x 576 or 720 x 480) and coded into the video blocks of a frame whose other blocks
// (header, subcode, VAUX and audio) stay as they are; a frame's video blocks are decoded to a picture
// of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct AVFrame;

namespace standins {

enum class TPixelFormat {
    Rgb24BottomUp,  // DirectShow RGB24: B, G, R, last row first, rows padded to 4 bytes
    Bgr24TopDown,   // DirectShow RGB24 of a negative height: B, G, R, first row first
    Rgb24TopDown,   // R, G, B, first row first, rows padded to 4 bytes
    Yuy2,           // Y0 U Y1 V, first row first (even width)
};

struct TPictureView {
    const std::uint8_t* Data = nullptr;
    std::size_t Bytes = 0;
    int Width = 0;
    int Height = 0;
    TPixelFormat Format = TPixelFormat::Rgb24BottomUp;
};

constexpr int kDVWidth = 720;
int DVLines(bool pal);

// Bytes a picture of that size and format takes.
std::size_t PictureBytes(TPixelFormat format, int width, int height);

// Scales Source (nearest pixel) into a picture of Width x Height in Format; false when either picture
// is empty or a buffer is shorter than its size says.
bool ScalePicture(const TPictureView& source, TPixelFormat format, int width, int height, std::span<std::uint8_t> out);

// The loops that turn planar YUV rows into 24-bit pixels. Fastest is the fastest the processor has;
// naming another is for tests: one the processor lacks gives way to Plain, pixel by pixel.
enum class TRowLoop { Fastest, Avx2, Ssse3, Sse2, Plain };

// A picture decoded by libavcodec (8-bit planar YUV 4:2:0, 4:1:1 or 4:2:2) into Out, Width x Height in
// Format, scaled through Scratch when the sizes differ; false when the frame is of another kind or Out
// is too small. The MPEG stand-ins decode through it too.
bool FrameToPicture(const AVFrame* picture, TPixelFormat format, int width, int height, std::span<std::uint8_t> out,
                    std::vector<std::uint8_t>& scratch, TRowLoop loop = TRowLoop::Fastest);

// The row loop FrameToPicture takes for Loop on this processor (never Fastest).
TRowLoop RowLoopFor(TRowLoop loop);

// Silences libavcodec's log once per process: damaged input is shown or refused as it decodes.
void QuietCoderLog();

// Copies the video blocks of From into To (both whole frames of one system; the shorter length counts).
void DVCopyVideoBlocks(std::span<const std::uint8_t> from, std::span<std::uint8_t> to);

// One DV encoder (a libavcodec coder per system, made on first use). Not shared between threads.
class TDVPictureEncoder {
public:
    TDVPictureEncoder();
    ~TDVPictureEncoder();
    TDVPictureEncoder(const TDVPictureEncoder&) = delete;
    TDVPictureEncoder& operator=(const TDVPictureEncoder&) = delete;

    // Codes Picture into the video blocks of Frame, a whole frame of that system; false (Frame unchanged)
    // when the frame is short or the picture cannot be read.
    bool Encode(const TPictureView& picture, bool pal, std::span<std::uint8_t> frame);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One DV decoder (a libavcodec decoder per picture size it reduces to, made on first use). Not
// shared between threads.
class TDVPictureDecoder {
public:
    TDVPictureDecoder();
    ~TDVPictureDecoder();
    TDVPictureDecoder(const TDVPictureDecoder&) = delete;
    TDVPictureDecoder& operator=(const TDVPictureDecoder&) = delete;

    // Decodes Frame into Out (Width x Height in Format); false when the frame is not a whole DV frame
    // (short, or a frame the coder cannot read) or Out is too small. Half, quarter and eighth sizes
    // are decoded at that size; other sizes are scaled from the whole picture.
    bool Decode(std::span<const std::uint8_t> frame, TPixelFormat format, int width, int height,
                std::span<std::uint8_t> out);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace standins
