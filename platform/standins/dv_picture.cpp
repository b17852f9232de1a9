#include "platform/standins/dv_picture.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include <libdv/dv.h>

#include "platform/standins/dv_frame.h"

namespace standins {

namespace {

// libdv builds its shared tables the first time a coder is made, without a lock of its own.
std::mutex& LibdvInitLock()
{
    static std::mutex lock;
    return lock;
}

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

// Encoder.

struct TDVPictureEncoder::Impl {
    dv_encoder_t* Encoder = nullptr;
    std::vector<std::uint8_t> Raster;  // the picture on the DV raster
    std::vector<std::uint8_t> Coded;   // libdv's whole frame
};

TDVPictureEncoder::TDVPictureEncoder() : impl_(std::make_unique<Impl>())
{
    std::lock_guard<std::mutex> guard(LibdvInitLock());
    impl_->Encoder = dv_encoder_new(FALSE, FALSE, FALSE);
}

TDVPictureEncoder::~TDVPictureEncoder()
{
    if (impl_->Encoder != nullptr) dv_encoder_free(impl_->Encoder);
}

bool TDVPictureEncoder::Encode(const TPictureView& picture, bool pal, std::span<std::uint8_t> frame)
{
    dv_encoder_t* enc = impl_->Encoder;
    if (enc == nullptr || frame.size() < DVFrameBytes(pal)) return false;
    const int lines = DVLines(pal);
    // libdv reads a 720-wide raster, YUY2 or top-down RGB: anything else is scaled there first.
    std::uint8_t* raster = nullptr;
    dv_color_space_t space = e_dv_color_rgb;
    if (picture.Format == TPixelFormat::Yuy2 && picture.Width == kDVWidth && picture.Height == lines &&
        picture.Bytes >= PictureBytes(TPixelFormat::Yuy2, kDVWidth, lines) && picture.Data != nullptr) {
        raster = const_cast<std::uint8_t*>(picture.Data);  // libdv only reads it
        space = e_dv_color_yuv;
    } else {
        impl_->Raster.resize(PictureBytes(TPixelFormat::Rgb24TopDown, kDVWidth, lines));
        if (!ScalePicture(picture, TPixelFormat::Rgb24TopDown, kDVWidth, lines, impl_->Raster)) return false;
        raster = impl_->Raster.data();
    }
    enc->isPAL = pal ? 1 : 0;
    enc->is16x9 = 0;
    enc->vlc_encode_passes = 3;
    enc->static_qno = 0;
    enc->force_dct = DV_DCT_AUTO;
    impl_->Coded.assign(DVFrameBytes(pal), 0);
    std::uint8_t* planes[3] = {raster, nullptr, nullptr};
    if (dv_encode_full_frame(enc, planes, space, impl_->Coded.data()) < 0) return false;
    // Only the video blocks are taken: the frame keeps its own packs and sound.
    DVCopyVideoBlocks(impl_->Coded, frame);
    return true;
}

// Decoder.

struct TDVPictureDecoder::Impl {
    dv_decoder_t* Decoder = nullptr;
    std::vector<std::uint8_t> Raster;
};

TDVPictureDecoder::TDVPictureDecoder() : impl_(std::make_unique<Impl>())
{
    std::lock_guard<std::mutex> guard(LibdvInitLock());
    impl_->Decoder = dv_decoder_new(FALSE, FALSE, FALSE);
    if (impl_->Decoder != nullptr) {
        dv_set_error_log(impl_->Decoder, nullptr);  // damaged blocks are shown as they decode, not reported
        impl_->Decoder->quality = DV_QUALITY_BEST;
    }
}

TDVPictureDecoder::~TDVPictureDecoder()
{
    if (impl_->Decoder != nullptr) dv_decoder_free(impl_->Decoder);
}

bool TDVPictureDecoder::Decode(std::span<const std::uint8_t> frame, TPixelFormat format, int width, int height,
                               std::span<std::uint8_t> out)
{
    dv_decoder_t* dec = impl_->Decoder;
    if (dec == nullptr || frame.size() < filters::kDVFrameBytes525) return false;
    const bool pal = DVFrameIsPal(frame);
    if (frame.size() < DVFrameBytes(pal) || out.size() < PictureBytes(format, width, height)) return false;
    if (dv_parse_header(dec, frame.data()) < 0 || (dec->system == e_dv_system_625_50) != pal) return false;
    const int lines = DVLines(pal);
    if (format == TPixelFormat::Yuy2 && width == kDVWidth && height == lines) {
        std::uint8_t* planes[3] = {out.data(), nullptr, nullptr};
        int pitches[3] = {kDVWidth * 2, 0, 0};
        dv_decode_full_frame(dec, frame.data(), e_dv_color_yuv, planes, pitches);
        return true;
    }
    impl_->Raster.resize(PictureBytes(TPixelFormat::Rgb24TopDown, kDVWidth, lines));
    std::uint8_t* planes[3] = {impl_->Raster.data(), nullptr, nullptr};
    int pitches[3] = {kDVWidth * 3, 0, 0};
    dv_decode_full_frame(dec, frame.data(), e_dv_color_rgb, planes, pitches);
    const TPictureView full{impl_->Raster.data(), impl_->Raster.size(), kDVWidth, lines, TPixelFormat::Rgb24TopDown};
    return ScalePicture(full, format, width, height, out);
}

}  // namespace standins
