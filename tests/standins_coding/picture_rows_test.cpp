// The stand-ins' YUV-to-RGB24 row loops: every loop the processor has turns planes into pixels within
// a level of BT.601 studio range (the shuffling ones into the same pixels to the bit), at sizes that
// leave every kind of row end, in 4:2:0, 4:1:1 and 4:2:2 and each 24-bit layout, row padding untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "platform/standins/dv_picture.h"

namespace coding_test {
namespace {

using standins::TPixelFormat;
using standins::TRowLoop;

constexpr std::uint8_t kPadding = 0xA5;

struct TFrame {
    AVFrame* F = av_frame_alloc();
    ~TFrame() { av_frame_free(&F); }
};

// Levels at and around black, white, grey and both ends, then a scramble of the rest: each plane gets
// its own order so that extreme luma meets extreme chroma.
std::uint8_t SampleAt(int plane, int x, int y)
{
    static const std::uint8_t kEdges[] = {0, 1, 15, 16, 17, 127, 128, 129, 234, 235, 236, 239, 240, 241, 254, 255};
    const int i = x * 7 + y * 13 + plane * 5;
    if ((x + y + plane) % 3 != 0) return kEdges[static_cast<unsigned>(i) % 16];
    return static_cast<std::uint8_t>((i * 2654435761u) >> 24);
}

bool Fill(TFrame& frame, AVPixelFormat format, int width, int height)
{
    frame.F->format = format;
    frame.F->width = width;
    frame.F->height = height;
    if (av_frame_get_buffer(frame.F, 0) < 0) return false;
    const int shiftX = format == AV_PIX_FMT_YUV411P ? 2 : 1, shiftY = format == AV_PIX_FMT_YUV420P ? 1 : 0;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane == 0 ? width : -((-width) >> shiftX), h = plane == 0 ? height : -((-height) >> shiftY);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) frame.F->data[plane][y * frame.F->linesize[plane] + x] = SampleAt(plane, x, y);
        }
    }
    return true;
}

int Clamp(int v) { return std::clamp(v, 0, 255); }

// The pixel (R, G, B) at X, Y of the frame, worked out in plain integers.
void Expected(const AVFrame* f, int x, int y, int shiftX, int shiftY, int rgb[3])
{
    const int c = 298 * (f->data[0][y * f->linesize[0] + x] - 16);
    const int d = f->data[1][(y >> shiftY) * f->linesize[1] + (x >> shiftX)] - 128;
    const int e = f->data[2][(y >> shiftY) * f->linesize[2] + (x >> shiftX)] - 128;
    rgb[0] = Clamp((c + 409 * e + 128) >> 8);
    rgb[1] = Clamp((c - 100 * d - 208 * e + 128) >> 8);
    rgb[2] = Clamp((c + 516 * d + 128) >> 8);
}

const char* Name(TRowLoop loop)
{
    switch (loop) {
    case TRowLoop::Avx2: return "AVX2";
    case TRowLoop::Ssse3: return "SSSE3";
    case TRowLoop::Sse2: return "SSE2";
    default: return "plain";
    }
}

TEST(PictureRows, EveryLoopGivesPixelsWithinALevelOfStudioRangeAndLeavesRowPaddingAlone)
{
    std::vector<TRowLoop> loops;
    for (TRowLoop loop : {TRowLoop::Plain, TRowLoop::Sse2, TRowLoop::Ssse3, TRowLoop::Avx2}) {
        if (standins::RowLoopFor(loop) == loop) loops.push_back(loop);
    }
    ASSERT_EQ(TRowLoop::Plain, loops.front());
    // The fastest loop is one of those named; an x86-64 build has at least the SSE2 one.
    EXPECT_NE(TRowLoop::Fastest, standins::RowLoopFor(TRowLoop::Fastest));
#if defined(__x86_64__)
    EXPECT_GE(loops.size(), 2u);
#endif
    // 32-pixel blocks, a last block overlapping the one before and a pixel-by-pixel end; an odd chroma
    // column; a last 4:2:0 row without its pair; then widths of 32-pixel blocks alone, of overlapping
    // 16-pixel blocks and one narrower than any block.
    const struct {
        int Width, Height;
    } sizes[] = {{85, 7}, {720, 4}, {48, 3}, {27, 2}, {13, 5}};
    const struct {
        AVPixelFormat Format;
        int ShiftX, ShiftY;
    } layouts[] = {{AV_PIX_FMT_YUV420P, 1, 1}, {AV_PIX_FMT_YUV411P, 2, 0}, {AV_PIX_FMT_YUV422P, 1, 0}};
    const TPixelFormat formats[] = {TPixelFormat::Rgb24BottomUp, TPixelFormat::Bgr24TopDown, TPixelFormat::Rgb24TopDown};
    for (const auto& size : sizes) {
        for (const auto& layout : layouts) {
            TFrame frame;
            ASSERT_TRUE(Fill(frame, layout.Format, size.Width, size.Height));
            for (TPixelFormat format : formats) {
                const std::size_t stride = (static_cast<std::size_t>(size.Width) * 3 + 3) & ~std::size_t{3};
                const std::size_t bytes = standins::PictureBytes(format, size.Width, size.Height);
                ASSERT_EQ(stride * size.Height, bytes);
                std::vector<std::uint8_t> shuffled;
                for (TRowLoop loop : loops) {
                    const std::string where = std::string(Name(loop)) + ", " + std::to_string(size.Width) + "x" +
                                              std::to_string(size.Height) + ", layout " +
                                              std::to_string(layout.ShiftX) + std::to_string(layout.ShiftY) +
                                              ", format " + std::to_string(static_cast<int>(format));
                    std::vector<std::uint8_t> out(bytes, kPadding), scratch;
                    ASSERT_TRUE(standins::FrameToPicture(frame.F, format, size.Width, size.Height, out, scratch, loop)) << where;
                    int worst = 0;
                    for (int y = 0; y < size.Height; ++y) {
                        const int row = format == TPixelFormat::Rgb24BottomUp ? size.Height - 1 - y : y;
                        const std::uint8_t* p = out.data() + row * stride;
                        for (int x = 0; x < size.Width; ++x, p += 3) {
                            int want[3];
                            Expected(frame.F, x, y, layout.ShiftX, layout.ShiftY, want);
                            const bool rgb = format == TPixelFormat::Rgb24TopDown;
                            const int got[3] = {rgb ? p[0] : p[2], p[1], rgb ? p[2] : p[0]};
                            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(got[c] - want[c]));
                        }
                        for (std::size_t pad = static_cast<std::size_t>(size.Width) * 3; pad < stride; ++pad) {
                            EXPECT_EQ(kPadding, out[row * stride + pad]) << where << ": padding of row " << y;
                        }
                    }
                    EXPECT_LE(worst, 1) << where;
                    // The shuffling loops share one fixed point and the same row ends: their pixels
                    // agree to the bit (the SSE2 loop leaves its last 16 pixels to the plain one).
                    if (loop != TRowLoop::Ssse3 && loop != TRowLoop::Avx2) continue;
                    if (shuffled.empty()) {
                        shuffled = out;
                    } else {
                        EXPECT_TRUE(out == shuffled) << where << " differs from the SSSE3 loop";
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace coding_test
