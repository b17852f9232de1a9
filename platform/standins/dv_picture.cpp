#include "platform/standins/dv_picture.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include "platform/standins/cpu_features.h"
#include "platform/standins/dv_frame.h"

namespace standins {

namespace {

constexpr int kSectionVideo = 4;  // DIF block ID: section type in bits 7-5 of the first byte

std::uint8_t Clamp8(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

std::size_t RowBytes(TPixelFormat format, int width)
{
    return format == TPixelFormat::Yuy2 ? static_cast<std::size_t>(width) * 2
                                        : (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
}

struct Rgb {
    int R, G, B;
};

// BT.601 studio range.
Rgb FromYuv(int y, int u, int v)
{
    const int c = 298 * (y - 16), d = u - 128, e = v - 128;
    return {Clamp8((c + 409 * e + 128) >> 8), Clamp8((c - 100 * d - 208 * e + 128) >> 8), Clamp8((c + 516 * d + 128) >> 8)};
}

int LumaOf(const Rgb& p) { return ((66 * p.R + 129 * p.G + 25 * p.B + 128) >> 8) + 16; }
int CbOf(const Rgb& p) { return ((-38 * p.R - 74 * p.G + 112 * p.B + 128) >> 8) + 128; }
int CrOf(const Rgb& p) { return ((112 * p.R - 94 * p.G - 18 * p.B + 128) >> 8) + 128; }

Rgb PixelAt(const TPictureView& s, int x, int y)
{
    const std::size_t row = RowBytes(s.Format, s.Width);
    switch (s.Format) {
    case TPixelFormat::Rgb24BottomUp: {
        const std::uint8_t* p = s.Data + static_cast<std::size_t>(s.Height - 1 - y) * row + static_cast<std::size_t>(x) * 3;
        return {p[2], p[1], p[0]};
    }
    case TPixelFormat::Bgr24TopDown: {
        const std::uint8_t* p = s.Data + static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x) * 3;
        return {p[2], p[1], p[0]};
    }
    case TPixelFormat::Rgb24TopDown: {
        const std::uint8_t* p = s.Data + static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x) * 3;
        return {p[0], p[1], p[2]};
    }
    case TPixelFormat::Yuy2:
    default: {
        const std::uint8_t* pair = s.Data + static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x / 2) * 4;
        return FromYuv(pair[(x % 2) * 2], pair[1], pair[3]);
    }
    }
}

// The video source pack's stype byte in sequence 0: VAUX block 2 (the frame's sixth block), pack 9, byte 3.
constexpr std::size_t kStypeOffset = 5 * kDIFBlockBytes + 3 + 9 * 5 + 3;

}  // namespace

int DVLines(bool pal) { return pal ? 576 : 480; }

std::size_t PictureBytes(TPixelFormat format, int width, int height)
{
    return width <= 0 || height <= 0 ? 0 : RowBytes(format, width) * static_cast<std::size_t>(height);
}

bool ScalePicture(const TPictureView& source, TPixelFormat format, int width, int height, std::span<std::uint8_t> out)
{
    if (source.Data == nullptr || source.Width <= 0 || source.Height <= 0 || width <= 0 || height <= 0) return false;
    if (source.Format == TPixelFormat::Yuy2 && source.Width % 2 != 0) return false;
    if (format == TPixelFormat::Yuy2 && width % 2 != 0) return false;
    if (source.Bytes < PictureBytes(source.Format, source.Width, source.Height)) return false;
    if (out.size() < PictureBytes(format, width, height)) return false;
    const std::size_t row = RowBytes(format, width);
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        columns[static_cast<std::size_t>(x)] = static_cast<int>(static_cast<std::int64_t>(x) * source.Width / width);
    }
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>(static_cast<std::int64_t>(y) * source.Height / height);
        const int outRow = format == TPixelFormat::Rgb24BottomUp ? height - 1 - y : y;
        std::uint8_t* d = out.data() + static_cast<std::size_t>(outRow) * row;
        if (format == TPixelFormat::Yuy2) {
            for (int x = 0; x < width; x += 2) {
                const Rgb a = PixelAt(source, columns[static_cast<std::size_t>(x)], sy);
                const Rgb b = PixelAt(source, columns[static_cast<std::size_t>(x) + 1], sy);
                const Rgb mean{(a.R + b.R) / 2, (a.G + b.G) / 2, (a.B + b.B) / 2};
                d[0] = Clamp8(LumaOf(a));
                d[1] = Clamp8(CbOf(mean));
                d[2] = Clamp8(LumaOf(b));
                d[3] = Clamp8(CrOf(mean));
                d += 4;
            }
            continue;
        }
        const bool bgr = format != TPixelFormat::Rgb24TopDown;
        for (int x = 0; x < width; ++x, d += 3) {
            const Rgb p = PixelAt(source, columns[static_cast<std::size_t>(x)], sy);
            d[0] = static_cast<std::uint8_t>(bgr ? p.B : p.R);
            d[1] = static_cast<std::uint8_t>(p.G);
            d[2] = static_cast<std::uint8_t>(bgr ? p.R : p.B);
        }
    }
    return true;
}

void DVCopyVideoBlocks(std::span<const std::uint8_t> from, std::span<std::uint8_t> to)
{
    const std::size_t size = std::min(from.size(), to.size());
    for (std::size_t at = 0; at + kDIFBlockBytes <= size; at += kDIFBlockBytes) {
        if ((from[at] >> 5) == kSectionVideo) std::memcpy(to.data() + at, from.data() + at, kDIFBlockBytes);
    }
}

namespace {

// The DV raster in planes: luma, then two chroma planes sub-sampled by 2^ShiftX across and 2^ShiftY
// down (625/50: 4:2:0, shifts 1 and 1; 525/60: 4:1:1, shifts 2 and 0).
struct TPlanes {
    std::uint8_t* Data[3];
    int Stride[3];
    int Width, Height, ShiftX, ShiftY;
};

TPlanes PlanesOf(AVFrame* f)
{
    int sx = 0, sy = 0;
    av_pix_fmt_get_chroma_sub_sample(static_cast<AVPixelFormat>(f->format), &sx, &sy);
    return {{f->data[0], f->data[1], f->data[2]}, {f->linesize[0], f->linesize[1], f->linesize[2]}, f->width, f->height, sx, sy};
}

std::uint8_t* PlaneRow(const TPlanes& p, int plane, int y) { return p.Data[plane] + static_cast<std::ptrdiff_t>(y) * p.Stride[plane]; }

// YUY2 (4:2:2) of the raster's size into the planes: luma as it is, chroma averaged over the pairs
// and rows each sample stands for.
void Yuy2ToPlanes(const std::uint8_t* src, const TPlanes& p)
{
    const std::size_t row = static_cast<std::size_t>(p.Width) * 2;
    for (int y = 0; y < p.Height; ++y) {
        const std::uint8_t* s = src + static_cast<std::size_t>(y) * row;
        std::uint8_t* luma = PlaneRow(p, 0, y);
        int x = 0;
#if defined(__SSE2__)
        const __m128i low = _mm_set1_epi16(0x00FF);
        for (; x + 16 <= p.Width; x += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x + 16));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x), _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)));
        }
#endif
        for (; x < p.Width; ++x) luma[x] = s[2 * x];
    }
    const int pairs = 1 << (p.ShiftX - 1), rows = 1 << p.ShiftY, count = pairs * rows;
    for (int cy = 0; cy < (p.Height >> p.ShiftY); ++cy) {
        std::uint8_t* u = PlaneRow(p, 1, cy);
        std::uint8_t* v = PlaneRow(p, 2, cy);
        const std::uint8_t* first = src + static_cast<std::size_t>(cy << p.ShiftY) * row;
        int cx = 0;
#if defined(__SSE2__)
        // 4:2:0: two rows of eight pairs at a time, averaged as the loop below rounds them.
        if (pairs == 1 && rows == 2) {
            const __m128i low = _mm_set1_epi16(0x00FF);
            for (; cx + 8 <= (p.Width >> 1); cx += 8) {
                const std::uint8_t* a = first + static_cast<std::size_t>(cx) * 4;
                const __m128i m0 = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + row)));
                const __m128i m1 = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 16)),
                                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + row + 16)));
                const __m128i uv = _mm_packus_epi16(_mm_srli_epi16(m0, 8), _mm_srli_epi16(m1, 8));  // U V U V ...
                _mm_storel_epi64(reinterpret_cast<__m128i*>(u + cx), _mm_packus_epi16(_mm_and_si128(uv, low), low));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(v + cx), _mm_packus_epi16(_mm_srli_epi16(uv, 8), low));
            }
        }
#endif
        for (; cx < (p.Width >> p.ShiftX); ++cx) {
            int su = count / 2, sv = count / 2;
            for (int r = 0; r < rows; ++r) {
                const std::uint8_t* q = first + static_cast<std::size_t>(r) * row + static_cast<std::size_t>(cx) * pairs * 4;
                for (int k = 0; k < pairs; ++k, q += 4) {
                    su += q[1];
                    sv += q[3];
                }
            }
            u[cx] = static_cast<std::uint8_t>(su / count);
            v[cx] = static_cast<std::uint8_t>(sv / count);
        }
    }
}

// 24-bit pixels of the raster's size into the planes; Bgr: stored blue first. Row(y) is row y from the
// top. Chroma comes from the mean colour of the pixels each sample stands for.
template <bool Bgr, typename RowOf>
void RgbToPlanes(RowOf row, const TPlanes& p)
{
    const int bw = 1 << p.ShiftX, bh = 1 << p.ShiftY, count = bw * bh;
    for (int cy = 0; cy < (p.Height >> p.ShiftY); ++cy) {
        std::uint8_t* u = PlaneRow(p, 1, cy);
        std::uint8_t* v = PlaneRow(p, 2, cy);
        for (int r = 0; r < bh; ++r) {
            const int y = (cy << p.ShiftY) + r;
            const std::uint8_t* s = row(y);
            std::uint8_t* luma = PlaneRow(p, 0, y);
            for (int x = 0; x < p.Width; ++x, s += 3) {
                luma[x] = static_cast<std::uint8_t>(LumaOf(Bgr ? Rgb{s[2], s[1], s[0]} : Rgb{s[0], s[1], s[2]}));
            }
        }
        for (int cx = 0; cx < (p.Width >> p.ShiftX); ++cx) {
            Rgb sum{count / 2, count / 2, count / 2};
            for (int r = 0; r < bh; ++r) {
                const std::uint8_t* s = row((cy << p.ShiftY) + r) + static_cast<std::size_t>(cx) * bw * 3;
                for (int k = 0; k < bw; ++k, s += 3) {
                    sum.R += Bgr ? s[2] : s[0];
                    sum.G += s[1];
                    sum.B += Bgr ? s[0] : s[2];
                }
            }
            const Rgb mean{sum.R / count, sum.G / count, sum.B / count};
            u[cx] = Clamp8(CbOf(mean));
            v[cx] = Clamp8(CrOf(mean));
        }
    }
}

// A picture of the raster's size into the planes; false for another size or a short picture.
bool PictureToPlanes(const TPictureView& pic, const TPlanes& p)
{
    if (pic.Data == nullptr || pic.Width != p.Width || pic.Height != p.Height ||
        pic.Bytes < PictureBytes(pic.Format, pic.Width, pic.Height)) {
        return false;
    }
    const std::size_t stride = RowBytes(pic.Format, pic.Width);
    const auto top = [&](int y) { return pic.Data + static_cast<std::size_t>(y) * stride; };
    switch (pic.Format) {
    case TPixelFormat::Yuy2: Yuy2ToPlanes(pic.Data, p); break;
    case TPixelFormat::Rgb24TopDown: RgbToPlanes<false>(top, p); break;
    case TPixelFormat::Bgr24TopDown: RgbToPlanes<true>(top, p); break;
    case TPixelFormat::Rgb24BottomUp:
    default:
        RgbToPlanes<true>([&](int y) { return pic.Data + static_cast<std::size_t>(pic.Height - 1 - y) * stride; }, p);
        break;
    }
    return true;
}

#if defined(__SSE2__)
// Black's share of the scaled luma (16 * 1.164 * 64), taken off after scaling: luma below black (DV
// has it) stays below it, as in FromYuv, and tints by its chroma.
constexpr short kBlackTerm = 1192;

// Sixteen pixels from a luma row and chroma rows sub-sampled by 2^ShiftX across, in 16-bit fixed point
// with 6 fraction bits (within a level of FromYuv): four groups of four pixels, each pixel 4 bytes
// (first, green, third, 0).
struct TSixteenPixels {
    __m128i Group[4];
};

__attribute__((always_inline)) inline TSixteenPixels SixteenPixels(const std::uint8_t* luma, const std::uint8_t* u,
                                                                   const std::uint8_t* v, int x, int shiftX, bool bgr)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(32), bias = _mm_set1_epi16(128), black = _mm_set1_epi16(kBlackTerm);
    __m128i cu, cv;
    if (shiftX == 1) {
        cu = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        cv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
    } else {
        std::int32_t a, b;
        std::memcpy(&a, u + x / 4, 4);
        std::memcpy(&b, v + x / 4, 4);
        cu = _mm_unpacklo_epi8(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(a));
        cv = _mm_unpacklo_epi8(_mm_cvtsi32_si128(b), _mm_cvtsi32_si128(b));
    }
    cu = _mm_unpacklo_epi8(cu, cu);
    cv = _mm_unpacklo_epi8(cv, cv);
    const __m128i ys = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x));
    __m128i out[3][2];  // r, g, b; pixels 0-7 and 8-15
    for (int h = 0; h < 2; ++h) {
        // (y - 16) * 1.164 * 64: the luma in the high byte times 19077 / 65536, less black's share.
        const __m128i yw = _mm_sub_epi16(_mm_mulhi_epu16(h == 0 ? _mm_unpacklo_epi8(zero, ys) : _mm_unpackhi_epi8(zero, ys),
                                                         _mm_set1_epi16(19077)),
                                         black);
        const __m128i du = _mm_sub_epi16(h == 0 ? _mm_unpacklo_epi8(cu, zero) : _mm_unpackhi_epi8(cu, zero), bias);
        const __m128i dv = _mm_sub_epi16(h == 0 ? _mm_unpacklo_epi8(cv, zero) : _mm_unpackhi_epi8(cv, zero), bias);
        const __m128i r = _mm_adds_epi16(yw, _mm_mullo_epi16(dv, _mm_set1_epi16(102)));
        const __m128i g = _mm_subs_epi16(yw, _mm_add_epi16(_mm_mullo_epi16(du, _mm_set1_epi16(25)),
                                                           _mm_mullo_epi16(dv, _mm_set1_epi16(52))));
        const __m128i b = _mm_adds_epi16(yw, _mm_mullo_epi16(du, _mm_set1_epi16(129)));
        out[0][h] = _mm_srai_epi16(_mm_adds_epi16(r, half), 6);
        out[1][h] = _mm_srai_epi16(_mm_adds_epi16(g, half), 6);
        out[2][h] = _mm_srai_epi16(_mm_adds_epi16(b, half), 6);
    }
    const __m128i r8 = _mm_packus_epi16(out[0][0], out[0][1]);
    const __m128i g8 = _mm_packus_epi16(out[1][0], out[1][1]);
    const __m128i b8 = _mm_packus_epi16(out[2][0], out[2][1]);
    const __m128i first = bgr ? b8 : r8, third = bgr ? r8 : b8;
    TSixteenPixels p;
    for (int h = 0; h < 2; ++h) {
        const __m128i fg = h == 0 ? _mm_unpacklo_epi8(first, g8) : _mm_unpackhi_epi8(first, g8);
        const __m128i t0 = h == 0 ? _mm_unpacklo_epi8(third, zero) : _mm_unpackhi_epi8(third, zero);
        p.Group[2 * h] = _mm_unpacklo_epi16(fg, t0);
        p.Group[2 * h + 1] = _mm_unpackhi_epi16(fg, t0);
    }
    return p;
}
#endif

// The rest of a row, pixel by pixel, from X on.
void RowToRgbTail(const std::uint8_t* luma, const std::uint8_t* u, const std::uint8_t* v, int x, int width, int shiftX,
                  bool bgr, std::uint8_t* d)
{
    for (; x < width; ++x) {
        const Rgb p = FromYuv(luma[x], u[x >> shiftX], v[x >> shiftX]);
        std::uint8_t* q = d + 3 * x;
        q[0] = static_cast<std::uint8_t>(bgr ? p.B : p.R);
        q[1] = static_cast<std::uint8_t>(p.G);
        q[2] = static_cast<std::uint8_t>(bgr ? p.R : p.B);
    }
}

#if defined(__GNUC__) && defined(__SSE2__)
#define QUILL_DV_SHUFFLE_ROWS 1
// Where the block of Size pixels after the one at X starts in a row of Width: the next whole block, or
// the row's last block overlapping the one at X rather than leave a short end to a slower loop, on a
// whole chroma sample; X when no further block fits. The shuffling loops share it, so their pixels
// agree to the bit on every row end.
int NextBlock(int x, int size, int width) { return std::max(x, std::min(x + size, (width - size) & ~3)); }

// Sixteen pixels at a time from X on, their 48 bytes packed by shuffles and written in three stores;
// only the last pixels of a row whose width is not a multiple of 4 go pixel by pixel.
__attribute__((target("ssse3"))) void RowToRgbShuffled(const std::uint8_t* luma, const std::uint8_t* u,
                                                       const std::uint8_t* v, int x, int width, int shiftX, bool bgr,
                                                       std::uint8_t* d)
{
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int done = x;  // the pixels written from the row's start
    for (; x + 16 <= width && done != x + 16; x = NextBlock(x, 16, width)) {
        done = x + 16;
        const TSixteenPixels p = SixteenPixels(luma, u, v, x, shiftX, bgr);
        const __m128i s0 = _mm_shuffle_epi8(p.Group[0], pack), s1 = _mm_shuffle_epi8(p.Group[1], pack);
        const __m128i s2 = _mm_shuffle_epi8(p.Group[2], pack), s3 = _mm_shuffle_epi8(p.Group[3], pack);
        __m128i* to = reinterpret_cast<__m128i*>(d + 3 * x);
        _mm_storeu_si128(to, _mm_or_si128(s0, _mm_slli_si128(s1, 12)));
        _mm_storeu_si128(to + 1, _mm_or_si128(_mm_srli_si128(s1, 4), _mm_slli_si128(s2, 8)));
        _mm_storeu_si128(to + 2, _mm_or_si128(_mm_srli_si128(s2, 8), _mm_slli_si128(s3, 4)));
    }
    RowToRgbTail(luma, u, v, done, width, shiftX, bgr, d);
}
#endif

#if defined(QUILL_DV_SHUFFLE_ROWS)
#define QUILL_DV_AVX2_ROWS 1
// Byte K of each half's 48 bytes of 16 pixels is component K % 3 of pixel K / 3: row J of plane C's
// table gathers that plane's bytes of the J-th 16 bytes (-1: none).
struct TPackTables {
    alignas(32) std::int8_t Pick[3][3][32]{};
    constexpr TPackTables()
    {
        for (int c = 0; c < 3; ++c) {
            for (int j = 0; j < 3; ++j) {
                for (int i = 0; i < 16; ++i) {
                    const int k = 16 * j + i;
                    Pick[c][j][i] = Pick[c][j][i + 16] = static_cast<std::int8_t>(k % 3 == c ? k / 3 : -1);
                }
            }
        }
    }
};
constexpr TPackTables kPack;

// Thirty-two pixels at a time in the same fixed point as SixteenPixels, so the pixels are the same to
// the bit (the rounding is added with black's share: no sum comes near the 16-bit limits where
// adding it apart would differ). The chroma terms are worked out once per chroma sample and serve
// both rows that share them (4:2:0 gives two luma rows one chroma row): Luma1 and D1 are null for a
// row of its own. Each 256-bit register holds pixels 0-15 in its low half and 16-31 in its high half,
// packed to 48 bytes a half.
template <bool Bgr>
__attribute__((target("avx2"))) void RowsToRgbAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1, const std::uint8_t* u,
                                                   const std::uint8_t* v, int width, int shiftX, std::uint8_t* d0,
                                                   std::uint8_t* d1)
{
    const __m256i zero = _mm256_setzero_si256(), bias = _mm256_set1_epi16(128);
    const __m256i blackLessHalf = _mm256_set1_epi16(kBlackTerm - 32), scale = _mm256_set1_epi16(19077);
    __m256i pick[3][3];
    for (int c = 0; c < 3; ++c) {
        for (int j = 0; j < 3; ++j) pick[c][j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(kPack.Pick[c][j]));
    }
    int done = 0;  // the pixels written from the row's start
    for (int x = 0; x + 32 <= width && done != x + 32; x = NextBlock(x, 32, width)) {
        done = x + 32;
        // The sixteen (4:2:0, 4:2:2) or eight (4:1:1) chroma samples of these pixels as 16-bit
        // differences from grey; then spread over their pixels: Lo for pixels 0-7 and 16-23, Hi for
        // 8-15 and 24-31, the halves that unpacking the luma gives.
        __m256i du, dv;
        if (shiftX == 1) {
            du = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2)));
            dv = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2)));
        } else {
            // Samples 0-3 in the low half, 4-7 in the high half.
            du = _mm256_cvtepu8_epi16(_mm_shuffle_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 4)), 0x50));
            dv = _mm256_cvtepu8_epi16(_mm_shuffle_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 4)), 0x50));
        }
        du = _mm256_sub_epi16(du, bias);
        dv = _mm256_sub_epi16(dv, bias);
        const __m256i terms[3] = {_mm256_mullo_epi16(dv, _mm256_set1_epi16(102)),
                                  _mm256_add_epi16(_mm256_mullo_epi16(du, _mm256_set1_epi16(25)),
                                                   _mm256_mullo_epi16(dv, _mm256_set1_epi16(52))),
                                  _mm256_mullo_epi16(du, _mm256_set1_epi16(129))};
        __m256i lo[3], hi[3];
        for (int c = 0; c < 3; ++c) {
            const __m256i pairs[2] = {_mm256_unpacklo_epi16(terms[c], terms[c]), _mm256_unpackhi_epi16(terms[c], terms[c])};
            if (shiftX == 1) {
                lo[c] = pairs[0];
                hi[c] = pairs[1];
            } else {
                lo[c] = _mm256_unpacklo_epi32(pairs[0], pairs[0]);
                hi[c] = _mm256_unpackhi_epi32(pairs[0], pairs[0]);
            }
        }
        for (int row = 0; row < 2; ++row) {
            const std::uint8_t* luma = row == 0 ? luma0 : luma1;
            std::uint8_t* d = row == 0 ? d0 : d1;
            if (luma == nullptr) break;
            const __m256i ys = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(luma + x));
            const __m256i yw[2] = {
                _mm256_sub_epi16(_mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, ys), scale), blackLessHalf),
                _mm256_sub_epi16(_mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, ys), scale), blackLessHalf)};
            __m256i rgb[3];  // r, g, b of 32 pixels
            for (int c = 0; c < 3; ++c) {
                __m256i h[2];
                for (int k = 0; k < 2; ++k) {
                    const __m256i t = k == 0 ? lo[c] : hi[c];
                    h[k] = _mm256_srai_epi16(c == 1 ? _mm256_subs_epi16(yw[k], t) : _mm256_adds_epi16(yw[k], t), 6);
                }
                rgb[c] = _mm256_packus_epi16(h[0], h[1]);
            }
            const __m256i planes[3] = {Bgr ? rgb[2] : rgb[0], rgb[1], Bgr ? rgb[0] : rgb[2]};
            __m256i out[3];
            for (int j = 0; j < 3; ++j) {
                out[j] = _mm256_or_si256(_mm256_shuffle_epi8(planes[0], pick[0][j]),
                                         _mm256_or_si256(_mm256_shuffle_epi8(planes[1], pick[1][j]),
                                                         _mm256_shuffle_epi8(planes[2], pick[2][j])));
            }
            // Bytes 0-47 are the low halves, 48-95 the high halves.
            __m256i* to = reinterpret_cast<__m256i*>(d + 3 * x);
            _mm256_storeu_si256(to, _mm256_permute2x128_si256(out[0], out[1], 0x20));
            _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(out[2], out[0], 0x30));
            _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(out[1], out[2], 0x31));
        }
    }
    if (done == width) return;
    RowToRgbShuffled(luma0, u, v, done, width, shiftX, Bgr, d0);
    if (luma1 != nullptr) RowToRgbShuffled(luma1, u, v, done, width, shiftX, Bgr, d1);
}
#endif

}  // namespace

TRowLoop RowLoopFor([[maybe_unused]] TRowLoop loop)
{
#if defined(QUILL_DV_AVX2_ROWS)
    if ((loop == TRowLoop::Fastest || loop == TRowLoop::Avx2) && HasAvx2()) return TRowLoop::Avx2;
    if ((loop == TRowLoop::Fastest || loop == TRowLoop::Ssse3) && HasSsse3()) return TRowLoop::Ssse3;
#endif
#if defined(__SSE2__)
    if (loop == TRowLoop::Fastest || loop == TRowLoop::Sse2) return TRowLoop::Sse2;
#endif
    return TRowLoop::Plain;
}

namespace {

// Rows of 24-bit pixels (Bgr: blue stored first) from luma rows and the chroma rows they share,
// sub-sampled by 2^ShiftX across, BT.601 studio range as FromYuv: Luma0 into D0 and, unless null, Luma1
// into D1. Loop is one RowLoopFor gave.
void RowsToRgb([[maybe_unused]] TRowLoop loop, const std::uint8_t* luma0, const std::uint8_t* luma1, const std::uint8_t* u,
               const std::uint8_t* v, int width, int shiftX, bool bgr, std::uint8_t* d0, std::uint8_t* d1)
{
#if defined(QUILL_DV_AVX2_ROWS)
    if (loop == TRowLoop::Avx2) {
        if (bgr) {
            RowsToRgbAvx2<true>(luma0, luma1, u, v, width, shiftX, d0, d1);
        } else {
            RowsToRgbAvx2<false>(luma0, luma1, u, v, width, shiftX, d0, d1);
        }
        return;
    }
#endif
    for (int row = 0; row < 2; ++row) {
        const std::uint8_t* luma = row == 0 ? luma0 : luma1;
        std::uint8_t* d = row == 0 ? d0 : d1;
        if (luma == nullptr) break;
        int x = 0;
#if defined(QUILL_DV_SHUFFLE_ROWS)
        if (loop == TRowLoop::Ssse3) {
            RowToRgbShuffled(luma, u, v, 0, width, shiftX, bgr, d);
            continue;
        }
#endif
#if defined(__SSE2__)
        // Each pixel is stored as 4 bytes whose last one the next pixel overwrites, so the last group
        // ends before the row's last pixel.
        for (; loop == TRowLoop::Sse2 && x + 16 < width; x += 16) {
            const TSixteenPixels p = SixteenPixels(luma, u, v, x, shiftX, bgr);
            alignas(16) std::uint32_t pixels[16];
            for (int g = 0; g < 4; ++g) _mm_store_si128(reinterpret_cast<__m128i*>(pixels + 4 * g), p.Group[g]);
            for (int i = 0; i < 16; ++i) std::memcpy(d + 3 * (x + i), &pixels[i], 4);
        }
#endif
        RowToRgbTail(luma, u, v, x, width, shiftX, bgr, d);
    }
}

// The planes into a picture of their size, 24-bit rows through Loop (one RowLoopFor gave). Each chroma
// sample serves the pixels it stands for.
void PlanesToPicture(const TPlanes& p, TPixelFormat format, std::uint8_t* out, TRowLoop loop)
{
    const std::size_t stride = RowBytes(format, p.Width);
    const auto rowAt = [&](int y) {
        return out + static_cast<std::size_t>(format == TPixelFormat::Rgb24BottomUp ? p.Height - 1 - y : y) * stride;
    };
    if (format != TPixelFormat::Yuy2) {
        // The rows that share a chroma row are converted together (two in 4:2:0, one otherwise).
        const bool bgr = format != TPixelFormat::Rgb24TopDown;
        for (int y = 0; y < p.Height; y += 1 << p.ShiftY) {
            const bool pair = p.ShiftY == 1 && y + 1 < p.Height;
            RowsToRgb(loop, PlaneRow(p, 0, y), pair ? PlaneRow(p, 0, y + 1) : nullptr, PlaneRow(p, 1, y >> p.ShiftY),
                      PlaneRow(p, 2, y >> p.ShiftY), p.Width, p.ShiftX, bgr, rowAt(y), pair ? rowAt(y + 1) : nullptr);
        }
        return;
    }
    for (int y = 0; y < p.Height; ++y) {
        const std::uint8_t* luma = PlaneRow(p, 0, y);
        const std::uint8_t* u = PlaneRow(p, 1, y >> p.ShiftY);
        const std::uint8_t* v = PlaneRow(p, 2, y >> p.ShiftY);
        std::uint8_t* d = rowAt(y);
        for (int x = 0; x + 1 < p.Width; x += 2, d += 4) {
            d[0] = luma[x];
            d[1] = u[x >> p.ShiftX];
            d[2] = luma[x + 1];
            d[3] = v[x >> p.ShiftX];
        }
    }
}

void FreeContext(AVCodecContext*& context)
{
    if (context != nullptr) avcodec_free_context(&context);
}

}  // namespace

// Encoder.

struct TDVPictureEncoder::Impl {
    // Per system (0: 525/60, 1: 625/50): the coder and its picture, made on first use; a coder that
    // cannot be made stays null and its frames are refused.
    AVCodecContext* Context[2] = {};
    AVFrame* Picture[2] = {};
    bool Tried[2] = {};
    AVPacket* Packet = nullptr;
    std::vector<std::uint8_t> Raster;  // a picture of another size, scaled to the DV raster first

    bool Open(bool pal)
    {
        const int k = pal ? 1 : 0;
        if (Tried[k]) return Context[k] != nullptr;
        Tried[k] = true;
        QuietCoderLog();
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
        AVCodecContext* c = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
        if (c == nullptr) return false;
        // The coder chooses its DV profile from the raster, the chroma layout and the frame rate.
        c->width = kDVWidth;
        c->height = DVLines(pal);
        c->pix_fmt = pal ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV411P;
        c->time_base = pal ? AVRational{1, 25} : AVRational{1001, 30000};
        c->thread_count = 1;
        AVFrame* f = av_frame_alloc();
        if (f != nullptr) {
            f->format = c->pix_fmt;
            f->width = c->width;
            f->height = c->height;
        }
        if (f == nullptr || avcodec_open2(c, codec, nullptr) < 0 || av_frame_get_buffer(f, 0) < 0) {
            av_frame_free(&f);
            avcodec_free_context(&c);
            return false;
        }
        Context[k] = c;
        Picture[k] = f;
        return true;
    }
};

TDVPictureEncoder::TDVPictureEncoder() : impl_(std::make_unique<Impl>()) { impl_->Packet = av_packet_alloc(); }

TDVPictureEncoder::~TDVPictureEncoder()
{
    for (int k = 0; k < 2; ++k) {
        av_frame_free(&impl_->Picture[k]);
        FreeContext(impl_->Context[k]);
    }
    av_packet_free(&impl_->Packet);
}

bool TDVPictureEncoder::Encode(const TPictureView& picture, bool pal, std::span<std::uint8_t> frame)
{
    if (frame.size() < DVFrameBytes(pal) || impl_->Packet == nullptr || !impl_->Open(pal)) return false;
    AVCodecContext* context = impl_->Context[pal ? 1 : 0];
    AVFrame* planes = impl_->Picture[pal ? 1 : 0];
    if (av_frame_make_writable(planes) < 0) return false;
    const int lines = DVLines(pal);
    // The coder reads the DV raster in planes: a picture of another size is scaled there first.
    TPictureView raster = picture;
    if (picture.Width != kDVWidth || picture.Height != lines) {
        impl_->Raster.resize(PictureBytes(TPixelFormat::Yuy2, kDVWidth, lines));
        if (!ScalePicture(picture, TPixelFormat::Yuy2, kDVWidth, lines, impl_->Raster)) return false;
        raster = TPictureView{impl_->Raster.data(), impl_->Raster.size(), kDVWidth, lines, TPixelFormat::Yuy2};
    }
    if (!PictureToPlanes(raster, PlanesOf(planes))) return false;
    if (avcodec_send_frame(context, planes) < 0) return false;
    AVPacket* packet = impl_->Packet;
    if (avcodec_receive_packet(context, packet) < 0) return false;
    const bool whole = packet->size >= 0 && static_cast<std::size_t>(packet->size) >= DVFrameBytes(pal);
    // Only the video blocks are taken: the frame keeps its own packs and sound.
    if (whole) DVCopyVideoBlocks(std::span<const std::uint8_t>(packet->data, static_cast<std::size_t>(packet->size)), frame);
    av_packet_unref(packet);
    return whole;
}

// Decoder.

struct TDVPictureDecoder::Impl {
    // By the reduction the coder decodes at (0 whole, 1 half, 2 quarter, 3 eighth size), made on first
    // use; one that cannot be made stays null.
    AVCodecContext* Context[4] = {};
    bool Tried[4] = {};
    AVPacket* Packet = nullptr;
    AVFrame* Picture = nullptr;
    std::vector<std::uint8_t> Raster;  // the whole picture, before it is scaled to another size

    AVCodecContext* Open(int reduction)
    {
        if (Tried[reduction]) return Context[reduction];
        Tried[reduction] = true;
        QuietCoderLog();
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
        AVCodecContext* c = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
        if (c == nullptr) return nullptr;
        c->lowres = reduction;
        c->thread_count = 1;
        if (avcodec_open2(c, codec, nullptr) < 0) {
            avcodec_free_context(&c);
            return nullptr;
        }
        Context[reduction] = c;
        return c;
    }
};

TDVPictureDecoder::TDVPictureDecoder() : impl_(std::make_unique<Impl>())
{
    impl_->Packet = av_packet_alloc();
    impl_->Picture = av_frame_alloc();
}

TDVPictureDecoder::~TDVPictureDecoder()
{
    for (AVCodecContext*& context : impl_->Context) FreeContext(context);
    av_frame_free(&impl_->Picture);
    av_packet_free(&impl_->Packet);
}

// Damaged frames are shown as they decode: the coder's complaints go nowhere.
void QuietCoderLog()
{
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
}

bool FrameToPicture(const AVFrame* picture, TPixelFormat format, int width, int height, std::span<std::uint8_t> out,
                    std::vector<std::uint8_t>& scratch, TRowLoop loop)
{
    if (picture == nullptr || out.size() < PictureBytes(format, width, height)) return false;
    const TPlanes planes = PlanesOf(const_cast<AVFrame*>(picture));
    bool ok = planes.ShiftX >= 1 && planes.ShiftX <= 2 && planes.ShiftY <= 1 && picture->data[2] != nullptr &&
              (picture->format == AV_PIX_FMT_YUV420P || picture->format == AV_PIX_FMT_YUV411P ||
               picture->format == AV_PIX_FMT_YUV422P);
    if (ok && planes.Width == width && planes.Height == height) {
        PlanesToPicture(planes, format, out.data(), RowLoopFor(loop));
    } else if (ok) {
        scratch.resize(PictureBytes(TPixelFormat::Rgb24TopDown, planes.Width, planes.Height));
        PlanesToPicture(planes, TPixelFormat::Rgb24TopDown, scratch.data(), RowLoopFor(loop));
        const TPictureView whole{scratch.data(), scratch.size(), planes.Width, planes.Height, TPixelFormat::Rgb24TopDown};
        ok = ScalePicture(whole, format, width, height, out);
    }
    return ok;
}

bool TDVPictureDecoder::Decode(std::span<const std::uint8_t> frame, TPixelFormat format, int width, int height,
                               std::span<std::uint8_t> out)
{
    if (frame.size() < filters::kDVFrameBytes525 || impl_->Packet == nullptr || impl_->Picture == nullptr) return false;
    const bool pal = DVFrameIsPal(frame);
    const std::size_t bytes = DVFrameBytes(pal);
    if (frame.size() < bytes || out.size() < PictureBytes(format, width, height)) return false;
    const int lines = DVLines(pal);
    int reduction = 0;
    for (int r = 1; r <= 3; ++r) {
        if (width == (kDVWidth >> r) && height == (lines >> r)) reduction = r;
    }
    AVCodecContext* context = impl_->Open(reduction);
    if (context == nullptr) return false;

    // The coder reads past the frame's end (its padding) and may not write into the sample: the frame
    // is copied into a packet of its own, kept from frame to frame.
    AVPacket* packet = impl_->Packet;
    if (packet->size != static_cast<int>(bytes)) {
        av_packet_unref(packet);
        if (av_new_packet(packet, static_cast<int>(bytes)) < 0) return false;
    }
    if (av_packet_make_writable(packet) < 0) return false;
    std::memcpy(packet->data, frame.data(), bytes);
    // The coder tells 25 Mbit/s consumer DV from the professional kinds by the video source pack's
    // stype in the third VAUX block of the first sequence; the pins carry consumer DV only, so a
    // damaged pack must not send the frame to another profile.
    packet->data[kStypeOffset] &= 0xE0;
    AVFrame* picture = impl_->Picture;
    if (avcodec_send_packet(context, packet) < 0) return false;
    const int received = avcodec_receive_frame(context, picture);
    if (received < 0) return false;
    const bool ok = FrameToPicture(picture, format, width, height, out, impl_->Raster);
    av_frame_unref(picture);
    return ok;
}

}  // namespace standins
