#include "filters/resizer.h"

#include "dshow/ds_helpers.h"
#include "filters/filters_host.h"
#include "settings/settings_catalogue.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace filters {

const CLSID CLSID_QZ_Resizer = {0xb543cc45, 0x1d4d, 0x4233, {0xa5, 0x8d, 0x7a, 0x41, 0x24, 0x87, 0x94, 0xfb}};
const wchar_t* const ResizerFilterName = L"Marbrecq Resizer";

namespace {

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr || mt->formattype != FORMAT_VideoInfo || mt->pbFormat == nullptr ||
        mt->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return nullptr;
    }
    return reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
}

}  // namespace

SIZE ResizerOutputSize(int w, int h, int mode, bool half, int aspectX, int aspectY)
{
    int ow = w;
    int oh = h;
    const bool cap = half && h > 288;
    switch (mode) {
    case 0:
        if (cap) {
            oh = 288;
        }
        if (aspectX > 0 && aspectY > 0) {
            if (static_cast<long long>(aspectX) * oh >= static_cast<long long>(aspectY) * ow) {
                oh = static_cast<int>(static_cast<long long>(ow) * aspectY / aspectX);
            } else {
                ow = static_cast<int>(static_cast<long long>(oh) * aspectX / aspectY);
            }
        }
        break;
    case 1:
        if (cap) {
            oh = 288;
        }
        if (4LL * oh >= 3LL * ow) {
            oh = 3 * ow / 4;
        } else {
            ow = 4 * oh / 3;
        }
        if (oh % 2 != 0) {
            oh -= 3;
            ow -= 4;
        }
        break;
    case 2:
        if (cap) {
            oh = 288;
        }
        if (16LL * oh >= 9LL * ow) {
            oh = 9 * ow / 16;
        } else {
            ow = 16 * oh / 9;
        }
        if (oh % 2 != 0) {
            oh -= 9;
            ow -= 16;
        }
        break;
    case 3:
        if (half) {
            if (h > 288) {
                ow /= 2;
                oh /= 2;
            }
            if (oh % 2 != 0) {
                oh -= 1;
            }
        }
        break;
    default:
        break;
    }
    return SIZE{ow, oh};
}

namespace {

// Weights are in 128ths: a blended row (two input rows) stays within 16 bits, and blending two of its
// pixels stays within 32, so the second pass multiplies and adds pairs in one step.
constexpr int kWeightBits = 7;
constexpr int kWeightOne = 1 << kWeightBits;

// The two input pixels (element offsets of their first components, for columns; row indexes, for
// rows) around the centre of each output pixel, and the second one's weight.
struct TTaps {
    int First;
    int Second;
    int Weight;
};

std::vector<TTaps> Taps(int from, int to, int scale)
{
    std::vector<TTaps> taps(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i) {
        // The output pixel's centre in input pixels, in 128ths: (i + 1/2) * from / to - 1/2.
        const long long at = std::max(0LL, ((2LL * i + 1) * from - to) * kWeightOne / (2LL * to));
        const int first = static_cast<int>(std::min<long long>(at >> kWeightBits, from - 1));
        const int second = std::min(first + 1, from - 1);
        taps[static_cast<size_t>(i)] = {first * scale, second * scale,
                                        first == second ? 0 : static_cast<int>(at & (kWeightOne - 1))};
    }
    return taps;
}

}  // namespace

void ResizerStretch(const BYTE* src, int inWidth, int inHeight, bool inTopDown, BYTE* dst, int outWidth, int outHeight,
                    bool outTopDown)
{
    if (inWidth <= 0 || inHeight <= 0 || outWidth <= 0 || outHeight <= 0) {
        return;
    }
    const std::vector<TTaps> columns = Taps(inWidth, outWidth, 3);
    const std::vector<TTaps> rows = Taps(inHeight, outHeight, 1);
    const std::ptrdiff_t inStride = ((static_cast<std::ptrdiff_t>(inWidth) * 3 + 3) & ~std::ptrdiff_t{3});
    const std::ptrdiff_t outStride = ((static_cast<std::ptrdiff_t>(outWidth) * 3 + 3) & ~std::ptrdiff_t{3});
    const auto inRow = [&](int y) { return src + (inTopDown ? y : inHeight - 1 - y) * inStride; };
    // One input row blended from the two around the output row (a pixel further, so that the second
    // pass may read four components from the last pixel).
    const int components = inWidth * 3;
    std::vector<std::int16_t> blended(static_cast<size_t>(components) + 3, 0);
    for (int y = 0; y < outHeight; ++y) {
        const TTaps& r = rows[static_cast<size_t>(y)];
        const BYTE* a = inRow(r.First);
        const BYTE* b = inRow(r.Second);
        const int wb = r.Weight, wa = kWeightOne - wb;
        std::int16_t* t = blended.data();
        for (int k = 0; k < components; ++k) {
            t[k] = static_cast<std::int16_t>(a[k] * wa + b[k] * wb);
        }
        BYTE* d = dst + (outTopDown ? y : outHeight - 1 - y) * outStride;
        int x = 0;
#if defined(__SSE2__)
        // A pixel's three components at once; each stores four bytes, the last of which the next
        // pixel's store overwrites, so the row's last pixel is left to the loop below.
        for (; x + 1 < outWidth; ++x, d += 3) {
            const TTaps& c = columns[static_cast<size_t>(x)];
            const __m128i pairs = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + c.First)),
                                                     _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t + c.Second)));
            const __m128i weights = _mm_set1_epi32((c.Weight << 16) | (kWeightOne - c.Weight));
            const __m128i sums = _mm_srai_epi32(
                _mm_add_epi32(_mm_madd_epi16(pairs, weights), _mm_set1_epi32(1 << (2 * kWeightBits - 1))), 2 * kWeightBits);
            const __m128i words = _mm_packs_epi32(sums, sums);
            const int pixel = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
            std::memcpy(d, &pixel, 4);
        }
#endif
        for (; x < outWidth; ++x, d += 3) {
            const TTaps& c = columns[static_cast<size_t>(x)];
            const int ca = kWeightOne - c.Weight, cb = c.Weight;
            for (int k = 0; k < 3; ++k) {
                d[k] = static_cast<BYTE>((t[c.First + k] * ca + t[c.Second + k] * cb + (1 << (2 * kWeightBits - 1))) >>
                                         (2 * kWeightBits));
            }
        }
    }
}

TQZ_Resizer::TQZ_Resizer() : TBCTransformFilter("Marbrecq Resizer", nullptr, CLSID_QZ_Resizer) {}

void TQZ_Resizer::SetResizeMode(std::uint8_t mode)
{
    resizeMode_.store(mode);
    resizeEnabled_.store(true);
}

long TQZ_Resizer::ImageBytes(int width, int height)
{
    return static_cast<long>(((static_cast<long long>(width) * 24 + 31) / 32) * 4 * std::abs(height));
}

HRESULT TQZ_Resizer::CheckInputType(const AM_MEDIA_TYPE* mediaType)
{
    const VIDEOINFOHEADER* info = VideoInfo(mediaType);
    if (info == nullptr || mediaType->majortype != MEDIATYPE_Video || mediaType->subtype != MEDIASUBTYPE_RGB24) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // A picture we could not draw (no size, or too large to address) is refused at the door.
    const BITMAPINFOHEADER& bmi = info->bmiHeader;
    if (bmi.biWidth <= 0 || bmi.biHeight == 0 || bmi.biWidth > 32768 || std::abs(bmi.biHeight) > 32768 ||
        bmi.biBitCount != 24) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT TQZ_Resizer::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out)
{
    if (in == nullptr || out == nullptr || in->majortype != out->majortype || in->subtype != out->subtype) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (output_ && out == &output_->CurrentMediaType()) {
        return S_OK;  // a new input type against the connected output: drawn into that output's size
    }
    // An output type must be of the size this filter writes: a smaller one would be overrun.
    const VIDEOINFOHEADER* info = VideoInfo(out);
    if (info == nullptr) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const VIDEOINFOHEADER* inInfo = VideoInfo(in);
    int w = outWidth_;
    int h = outHeight_;
    if (!needsResize_.load() && inInfo != nullptr) {
        w = inInfo->bmiHeader.biWidth;
        h = std::abs(inInfo->bmiHeader.biHeight);
    }
    if (info->bmiHeader.biWidth != w || std::abs(info->bmiHeader.biHeight) != h || info->bmiHeader.biBitCount != 24) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (needsResize_.load() && info->bmiHeader.biHeight < 0) {
        return VFW_E_TYPE_NOT_ACCEPTED;  // the stretched picture is written bottom-up
    }
    return S_OK;
}

void TQZ_Resizer::TakeInputFormat(const VIDEOINFOHEADER& info)
{
    inputInfo_ = info;
    dibHeader_ = info.bmiHeader;
    dibHeader_.biSize = sizeof(BITMAPINFOHEADER);
    dibHeader_.biCompression = BI_RGB;
    dibHeader_.biClrUsed = 0;
}

HRESULT TQZ_Resizer::SetMediaType(PIN_DIRECTION dir, const AM_MEDIA_TYPE* mediaType)
{
    const VIDEOINFOHEADER* info = VideoInfo(mediaType);
    if (info == nullptr) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (dir == PINDIR_OUTPUT) {
        outputInfo_ = *info;
        return S_OK;
    }
    TakeInputFormat(*info);
    if (!resizeEnabled_.load()) {
        return S_OK;
    }
    const int w = info->bmiHeader.biWidth;
    const int h = std::abs(info->bmiHeader.biHeight);
    const bool half = settings::ParamDemiTaille != nullptr && settings::ParamDemiTaille->Value();
    const SIZE aspect = HostDisplayAspect();
    const SIZE size = ResizerOutputSize(w, h, resizeMode_.load(), half, aspect.cx, aspect.cy);
    if (size.cx <= 0 || size.cy <= 0) {
        return VFW_E_TYPE_NOT_ACCEPTED;  // a picture too small for the rule
    }
    outWidth_ = size.cx;
    outHeight_ = size.cy;
    needsResize_.store(size.cx != w || size.cy != h);
    return S_OK;
}

HRESULT TQZ_Resizer::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    if (!input_ || !input_->IsConnected()) {
        return E_UNEXPECTED;
    }
    dshow::FreeMediaType(*mediaType);
    dshow::CopyMediaType(mediaType, &input_->CurrentMediaType());
    mediaType->majortype = MEDIATYPE_Video;
    mediaType->subtype = MEDIASUBTYPE_RGB24;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(mediaType->pbFormat);
    if (needsResize_.load() && info != nullptr && mediaType->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        if (outWidth_ > 0) {
            info->rcSource.right = outWidth_;
            info->rcTarget.right = outWidth_;
            info->bmiHeader.biWidth = outWidth_;
        }
        if (outHeight_ > 0) {
            info->rcSource.bottom = outHeight_;
            info->rcTarget.bottom = outHeight_;
            info->bmiHeader.biHeight = outHeight_;  // bottom-up, as the stretched picture is written
        }
        // The padded rows, not width x height x 3: a width that is not a multiple of 4 pads.
        info->bmiHeader.biSizeImage = static_cast<DWORD>(ImageBytes(info->bmiHeader.biWidth, info->bmiHeader.biHeight));
        mediaType->lSampleSize = info->bmiHeader.biSizeImage;
        mediaType->bFixedSizeSamples = TRUE;
    }
    return S_OK;
}

HRESULT TQZ_Resizer::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties)
{
    if (alloc == nullptr || properties == nullptr) {
        return E_POINTER;
    }
    if (!input_ || !input_->IsConnected()) {
        return E_UNEXPECTED;
    }
    ALLOCATOR_PROPERTIES inputProps{};
    IMemAllocator* inputAlloc = input_->Allocator();
    if (inputAlloc == nullptr) {
        return VFW_E_NO_ALLOCATOR;
    }
    HRESULT hr = inputAlloc->GetProperties(&inputProps);
    if (FAILED(hr)) {
        return hr;
    }
    if (properties->cBuffers < 1) {
        properties->cBuffers = 1;
    }
    if (properties->cbAlign < 1) {
        properties->cbAlign = 1;
    }
    // Room for the larger of an input buffer (copied as it is) and the output picture (stretched).
    long need = inputProps.cbBuffer;
    if (needsResize_.load()) {
        const long out = ImageBytes(outWidth_, outHeight_);
        need = need > out ? need : out;
    }
    if (properties->cbBuffer < need) {
        properties->cbBuffer = need;
    }
    if (properties->cbBuffer < 1) {
        properties->cbBuffer = 1;
    }
    ALLOCATOR_PROPERTIES actual{};
    hr = alloc->SetProperties(properties, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    if (actual.cbBuffer < need || actual.cbBuffer < properties->cbBuffer) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TQZ_Resizer::Transform(IMediaSample* in, IMediaSample* out)
{
    const AM_SAMPLE2_PROPERTIES& props = input_->SampleProps();
    if ((props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0) {
        // The input changed its picture mid-stream (the input pin has checked it): it is drawn from
        // its new format into the output as connected, whose type does not change under the peer.
        const VIDEOINFOHEADER* info = VideoInfo(props.pMediaType);
        if (info == nullptr) {
            return S_FALSE;
        }
        TakeInputFormat(*info);
        needsResize_.store(info->bmiHeader.biWidth != outWidth_ || std::abs(info->bmiHeader.biHeight) != outHeight_ ||
                           (info->bmiHeader.biHeight < 0) != (outputInfo_.bmiHeader.biHeight < 0));
    }
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dst)) || src == nullptr || dst == nullptr) {
        return E_UNEXPECTED;
    }
    const long inLength = in->GetActualDataLength();
    if (!needsResize_.load()) {
        if (inLength < 0 || inLength > out->GetSize()) {
            return S_FALSE;
        }
        std::memcpy(dst, src, static_cast<size_t>(inLength));
        return out->SetActualDataLength(inLength);
    }
    const int inWidth = dibHeader_.biWidth;
    const int inHeight = std::abs(dibHeader_.biHeight);
    // A short sample would make the drawing read past its buffer: it is dropped.
    if (inLength < ImageBytes(inWidth, inHeight)) {
        return S_FALSE;
    }
    const long outBytes = ImageBytes(outWidth_, outHeight_);
    if (outBytes > out->GetSize() || outWidth_ <= 0 || outHeight_ <= 0) {
        return S_FALSE;
    }
    // A top-down output (an unscaled top-down type kept after a change of input) gets the rows in its
    // own order.
    ResizerStretch(src, inWidth, inHeight, dibHeader_.biHeight < 0, dst, outWidth_, outHeight_,
                   outputInfo_.bmiHeader.biHeight < 0);
    return out->SetActualDataLength(outBytes);
}

}  // namespace filters
