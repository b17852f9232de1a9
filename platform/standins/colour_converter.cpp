#include "platform/standins/colour_converter.h"

#include <uuids.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#endif

#include "dshow/ds_helpers.h"
#include "platform/standins/cpu_features.h"
#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Color Space Converter";
    entry.FilterClsid = CLSID_Colour;
    entry.Category = CLSID_LegacyAmFilterCategory;
    // Named by moniker or created by class id only: intelligent connection in other graphs of the
    // prefix must not start picking it.
    entry.Merit = MERIT_DO_NOT_USE;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const filters::TBCFilterTemplateEntry* self = filters::Templates().GetFactoryFromClassID(CLSID_Colour);
        if (self == nullptr) {
            hr = E_UNEXPECTED;
            return nullptr;
        }
        return new TColourConverter(*self, controller);
    };
    templates.Add(std::move(entry));
});

// Larger pictures are refused: sizes stay far from overflowing the 32-bit sample sizes.
constexpr int kMaxDimension = 16384;
constexpr DWORD kFourCCYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');

inline std::uint8_t Clamp(int v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// ITU-R BT.601, studio range, in 8-bit fixed point.
inline std::uint8_t LumaOf(int r, int g, int b)
{
    return Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
inline std::uint8_t BlueDiffOf(int r, int g, int b)
{
    return Clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
inline std::uint8_t RedDiffOf(int r, int g, int b)
{
    return Clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

struct TRgb {
    int R, G, B;
};

inline TRgb RgbOf(int y, int u, int v)
{
    const int c = 298 * (y - 16);
    const int d = u - 128;
    const int e = v - 128;
    return {Clamp((c + 409 * e + 128) >> 8), Clamp((c - 100 * d - 208 * e + 128) >> 8),
            Clamp((c + 516 * d + 128) >> 8)};
}

// Row y counted from the top of the picture.
inline const std::uint8_t* RowOf(const std::uint8_t* base, const TPictureLayout& l, int y)
{
    const int row = l.BottomUp ? l.Height - 1 - y : y;
    return base + static_cast<std::size_t>(row) * static_cast<std::size_t>(l.Stride);
}
inline std::uint8_t* RowOf(std::uint8_t* base, const TPictureLayout& l, int y)
{
    const int row = l.BottomUp ? l.Height - 1 - y : y;
    return base + static_cast<std::size_t>(row) * static_cast<std::size_t>(l.Stride);
}

inline TRgb ReadRgb(const std::uint8_t* row, int x, int bytesPerPixel)
{
    const std::uint8_t* p = row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytesPerPixel);
    return {p[2], p[1], p[0]};  // stored blue, green, red
}

inline void WriteRgb(std::uint8_t* row, int x, int bytesPerPixel, const TRgb& c)
{
    std::uint8_t* p = row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytesPerPixel);
    p[0] = static_cast<std::uint8_t>(c.B);
    p[1] = static_cast<std::uint8_t>(c.G);
    p[2] = static_cast<std::uint8_t>(c.R);
    if (bytesPerPixel == 4) {
        p[3] = 0;
    }
}

inline int BytesPerPixel(TPictureLayout::TKind kind)
{
    return kind == TPictureLayout::pkRgb32 ? 4 : (kind == TPictureLayout::pkRgb24 ? 3 : 2);
}

// The preview's own conversion (RGB24 to the RGB32 that renderers take) and its way back, a row at a
// time: sixteen bytes shuffled at once where the processor can, the rest byte by byte. The SSSE3 loops
// read and write whole 16-byte groups, so they stop while a group still fits in the row.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QUILL_SHUFFLE_ROWS 1
__attribute__((target("ssse3"))) int Rgb24ToRgb32Shuffled(const std::uint8_t* in, std::uint8_t* out, int w)
{
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    int x = 0;
    for (; x + 6 <= w; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * static_cast<std::size_t>(x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * static_cast<std::size_t>(x)), _mm_shuffle_epi8(v, order));
    }
    return x;
}

__attribute__((target("ssse3"))) int Rgb32ToRgb24Shuffled(const std::uint8_t* in, std::uint8_t* out, int w)
{
    const __m128i order = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 6 <= w; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * static_cast<std::size_t>(x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * static_cast<std::size_t>(x)), _mm_shuffle_epi8(v, order));
    }
    return x;
}
#endif

// One row between RGB24 and RGB32 (InBpp 3 and OutBpp 4, or the other way round).
void ConvertRgbRow(const std::uint8_t* in, int inBpp, std::uint8_t* out, int outBpp, int w)
{
    int x = 0;
#if defined(QUILL_SHUFFLE_ROWS)
    if (HasSsse3()) x = inBpp == 3 ? Rgb24ToRgb32Shuffled(in, out, w) : Rgb32ToRgb24Shuffled(in, out, w);
#endif
    for (; x < w; ++x) {
        WriteRgb(out, x, outBpp, ReadRgb(in, x, inBpp));
    }
}

}  // namespace

TPictureLayout PictureLayoutOf(const AM_MEDIA_TYPE* mediaType)
{
    TPictureLayout none;
    if (mediaType == nullptr || mediaType->majortype != MEDIATYPE_Video ||
        mediaType->formattype != FORMAT_VideoInfo || mediaType->pbFormat == nullptr ||
        mediaType->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return none;
    }
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mediaType->pbFormat);
    const BITMAPINFOHEADER& bmi = vih->bmiHeader;
    TPictureLayout l;
    int bits = 0;
    if (mediaType->subtype == MEDIASUBTYPE_RGB24 && bmi.biCompression == BI_RGB) {
        l.Kind = TPictureLayout::pkRgb24;
        bits = 24;
    } else if (mediaType->subtype == MEDIASUBTYPE_RGB32 && bmi.biCompression == BI_RGB) {
        l.Kind = TPictureLayout::pkRgb32;
        bits = 32;
    } else if (mediaType->subtype == MEDIASUBTYPE_YUY2 && bmi.biCompression == kFourCCYuy2) {
        l.Kind = TPictureLayout::pkYuy2;
        bits = 16;
    } else {
        return none;
    }
    if (bmi.biBitCount != bits || bmi.biWidth <= 0 || bmi.biWidth > kMaxDimension || bmi.biHeight == 0 ||
        bmi.biHeight < -kMaxDimension || bmi.biHeight > kMaxDimension) {
        return none;
    }
    l.Height = std::abs(bmi.biHeight);
    // A target rectangle narrower than the bitmap means padded rows (a renderer asking for a
    // wider stride); only a rectangle at the origin is supported.
    const RECT& target = vih->rcTarget;
    if (target.right > target.left && target.bottom > target.top) {
        if (target.left != 0 || target.top != 0 || target.right > bmi.biWidth || target.bottom != l.Height) {
            return none;
        }
        l.Width = target.right;
    } else {
        l.Width = bmi.biWidth;
    }
    if (l.Kind == TPictureLayout::pkYuy2) {
        // Two pixels share their colour: widths are even; YUV rows always run from the top.
        if (l.Width % 2 != 0 || bmi.biWidth % 2 != 0) {
            return none;
        }
        l.Stride = bmi.biWidth * 2;
        l.BottomUp = false;
    } else {
        l.Stride = ((bmi.biWidth * bits + 31) / 32) * 4;  // rows padded to 32 bits
        l.BottomUp = bmi.biHeight > 0;
    }
    return l;
}

void ConvertPicture(const std::uint8_t* source, const TPictureLayout& from, std::uint8_t* dest,
                    const TPictureLayout& to)
{
    const int w = from.Width;
    // Rows are written in the order they lie in memory (a bottom-up picture from its last row):
    // a cold frame streams through the caches about a third faster upward than downward.
    for (int i = 0; i < from.Height; ++i) {
        const int y = to.BottomUp ? from.Height - 1 - i : i;
        const std::uint8_t* in = RowOf(source, from, y);
        std::uint8_t* out = RowOf(dest, to, y);
        if (from.Kind == to.Kind) {
            std::memcpy(out, in, static_cast<std::size_t>(w) * static_cast<std::size_t>(BytesPerPixel(from.Kind)));
        } else if (from.Kind == TPictureLayout::pkYuy2) {
            const int bpp = BytesPerPixel(to.Kind);
            for (int x = 0; x < w; x += 2) {
                const std::uint8_t* p = in + static_cast<std::size_t>(x) * 2;
                WriteRgb(out, x, bpp, RgbOf(p[0], p[1], p[3]));
                WriteRgb(out, x + 1, bpp, RgbOf(p[2], p[1], p[3]));
            }
        } else if (to.Kind == TPictureLayout::pkYuy2) {
            const int bpp = BytesPerPixel(from.Kind);
            for (int x = 0; x < w; x += 2) {
                const TRgb a = ReadRgb(in, x, bpp);
                const TRgb b = ReadRgb(in, x + 1, bpp);
                const int r = (a.R + b.R + 1) / 2, g = (a.G + b.G + 1) / 2, bl = (a.B + b.B + 1) / 2;
                std::uint8_t* p = out + static_cast<std::size_t>(x) * 2;
                p[0] = LumaOf(a.R, a.G, a.B);
                p[1] = BlueDiffOf(r, g, bl);
                p[2] = LumaOf(b.R, b.G, b.B);
                p[3] = RedDiffOf(r, g, bl);
            }
        } else {
            ConvertRgbRow(in, BytesPerPixel(from.Kind), out, BytesPerPixel(to.Kind), w);
        }
    }
}

TColourConverter::TColourConverter(const filters::TBCFilterTemplateEntry& factory, IUnknown* controller)
    : filters::TBCTransformFilter(factory, controller)
{
}

HRESULT TColourConverter::CheckInputType(const AM_MEDIA_TYPE* mediaType)
{
    return PictureLayoutOf(mediaType).Kind != TPictureLayout::pkNone ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TColourConverter::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out)
{
    const TPictureLayout from = PictureLayoutOf(in);
    const TPictureLayout to = PictureLayoutOf(out);
    if (from.Kind == TPictureLayout::pkNone || to.Kind == TPictureLayout::pkNone || from.Width != to.Width ||
        from.Height != to.Height) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT TColourConverter::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties)
{
    const TPictureLayout to = PictureLayoutOf(&OutputPin()->CurrentMediaType());
    if (to.Kind == TPictureLayout::pkNone) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const long needed = static_cast<long>(to.Bytes());
    // A tee downstream shares these buffers with every branch, and a renderer may keep the last
    // picture it showed: one buffer would stall the stream.
    properties->cBuffers = std::max<long>(properties->cBuffers, 3);
    properties->cbBuffer = std::max<long>(properties->cbBuffer, needed);
    properties->cbAlign = std::max<long>(properties->cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(properties, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    return actual.cbBuffer < needed || actual.cBuffers < 1 ? E_FAIL : S_OK;
}

HRESULT TColourConverter::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    if (position < 0) {
        return E_INVALIDARG;
    }
    const AM_MEDIA_TYPE& input = InputPin()->CurrentMediaType();
    const TPictureLayout from = PictureLayoutOf(&input);
    if (!InputPin()->IsConnected() || from.Kind == TPictureLayout::pkNone) {
        return VFW_S_NO_MORE_ITEMS;
    }
    // RGB32 first: what renderers take most readily; YUY2 only for even widths.
    static const TPictureLayout::TKind kOrder[] = {TPictureLayout::pkRgb32, TPictureLayout::pkRgb24,
                                                   TPictureLayout::pkYuy2};
    if (position >= 3 || (kOrder[position] == TPictureLayout::pkYuy2 && from.Width % 2 != 0)) {
        return VFW_S_NO_MORE_ITEMS;
    }
    const TPictureLayout::TKind kind = kOrder[position];
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (vih == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memset(vih, 0, sizeof(*vih));
    vih->AvgTimePerFrame = reinterpret_cast<const VIDEOINFOHEADER*>(input.pbFormat)->AvgTimePerFrame;
    BITMAPINFOHEADER& bmi = vih->bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = from.Width;
    bmi.biHeight = from.Height;  // RGB bottom-up; YUY2 runs from the top whatever the sign
    bmi.biPlanes = 1;
    bmi.biBitCount = static_cast<WORD>(BytesPerPixel(kind) * 8);
    bmi.biCompression = kind == TPictureLayout::pkYuy2 ? kFourCCYuy2 : BI_RGB;
    TPictureLayout to;
    to.Kind = kind;
    to.Width = from.Width;
    to.Height = from.Height;
    to.Stride = kind == TPictureLayout::pkYuy2 ? from.Width * 2 : ((from.Width * bmi.biBitCount + 31) / 32) * 4;
    bmi.biSizeImage = static_cast<DWORD>(to.Bytes());

    dshow::FreeMediaType(*mediaType);
    filters::InitMediaType(*mediaType);
    mediaType->majortype = MEDIATYPE_Video;
    mediaType->subtype = kind == TPictureLayout::pkRgb32   ? MEDIASUBTYPE_RGB32
                         : kind == TPictureLayout::pkRgb24 ? MEDIASUBTYPE_RGB24
                                                           : MEDIASUBTYPE_YUY2;
    mediaType->bFixedSizeSamples = TRUE;
    mediaType->bTemporalCompression = FALSE;
    mediaType->lSampleSize = bmi.biSizeImage;
    mediaType->formattype = FORMAT_VideoInfo;
    mediaType->cbFormat = sizeof(VIDEOINFOHEADER);
    mediaType->pbFormat = reinterpret_cast<BYTE*>(vih);
    return S_OK;
}

HRESULT TColourConverter::SetMediaType(PIN_DIRECTION dir, const AM_MEDIA_TYPE* mediaType)
{
    (dir == PINDIR_INPUT ? inLayout_ : outLayout_) = PictureLayoutOf(mediaType);
    UpdatePassThrough();
    return S_OK;
}

void TColourConverter::UpdatePassThrough()
{
    passThrough_ = inLayout_.Kind != TPictureLayout::pkNone && inLayout_.Kind == outLayout_.Kind &&
                   inLayout_.Width == outLayout_.Width && inLayout_.Height == outLayout_.Height &&
                   inLayout_.Stride == outLayout_.Stride && inLayout_.BottomUp == outLayout_.BottomUp;
}

HRESULT TColourConverter::Receive(IMediaSample* sample)
{
    const AM_SAMPLE2_PROPERTIES& props = InputPin()->SampleProps();
    if (passThrough_.load() && !InputPin()->IsReadOnly() && props.dwStreamId == AM_STREAM_MEDIA &&
        (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) == 0 && sample->GetActualDataLength() >= 0 &&
        static_cast<std::size_t>(sample->GetActualDataLength()) >= inLayout_.Bytes()) {
        IMemInputPin* downstream = OutputPin()->InputPin();
        return downstream == nullptr ? VFW_E_NOT_CONNECTED : downstream->Receive(sample);
    }
    return filters::TBCTransformFilter::Receive(sample);
}

HRESULT TColourConverter::Transform(IMediaSample* in, IMediaSample* out)
{
    // A sample may bring a new type: upstream changed its picture, or the renderer asked for
    // another stride. Only a picture of the same size can be followed.
    const AM_SAMPLE2_PROPERTIES& props = InputPin()->SampleProps();
    if ((props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0 && props.pMediaType != nullptr) {
        const TPictureLayout changed = PictureLayoutOf(props.pMediaType);
        if (changed.Kind == TPictureLayout::pkNone || changed.Width != outLayout_.Width ||
            changed.Height != outLayout_.Height) {
            return VFW_E_INVALIDMEDIATYPE;
        }
        inLayout_ = changed;
        UpdatePassThrough();
    }
    AM_MEDIA_TYPE* outType = nullptr;
    if (out->GetMediaType(&outType) == S_OK && outType != nullptr) {
        const TPictureLayout changed = PictureLayoutOf(outType);
        dshow::DeleteMediaType(outType);
        if (changed.Kind == TPictureLayout::pkNone || changed.Width != inLayout_.Width ||
            changed.Height != inLayout_.Height) {
            return VFW_E_INVALIDMEDIATYPE;
        }
        outLayout_ = changed;
        UpdatePassThrough();
    } else {
        dshow::DeleteMediaType(outType);
    }
    if (inLayout_.Kind == TPictureLayout::pkNone || outLayout_.Kind == TPictureLayout::pkNone) {
        return VFW_E_NOT_CONNECTED;
    }

    BYTE* source = nullptr;
    BYTE* dest = nullptr;
    if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&dest)) || source == nullptr || dest == nullptr) {
        return E_POINTER;
    }
    // A short frame is dropped rather than read past its end; a buffer too small for the picture
    // is an error rather than a write past its end.
    const long inLength = in->GetActualDataLength();
    if (inLength < 0 || static_cast<std::size_t>(inLength) < inLayout_.Bytes()) {
        return S_FALSE;
    }
    const long outSize = out->GetSize();
    if (outSize < 0 || static_cast<std::size_t>(outSize) < outLayout_.Bytes()) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    ConvertPicture(source, inLayout_, dest, outLayout_);
    out->SetActualDataLength(static_cast<long>(outLayout_.Bytes()));
    out->SetSyncPoint(TRUE);  // every converted picture stands alone
    return S_OK;
}

}  // namespace standins
