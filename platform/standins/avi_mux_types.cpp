#include "platform/standins/avi_mux_types.h"

#include <dshow.h>
#include <dvdmedia.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "filters/dv_codes.h"
#include "platform/standins/dv_frame.h"

namespace standins {

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

// Where the bitmap header lies in a video format block, or 0 when the block is not one.
std::size_t BitmapHeaderOffset(const AM_MEDIA_TYPE& mt)
{
    std::size_t offset = 0;
    if (mt.formattype == FORMAT_VideoInfo) {
        offset = sizeof(VIDEOINFOHEADER) - sizeof(BITMAPINFOHEADER);
    } else if (mt.formattype == FORMAT_VideoInfo2) {
        offset = sizeof(VIDEOINFOHEADER2) - sizeof(BITMAPINFOHEADER);
    } else {
        return 0;
    }
    return mt.pbFormat != nullptr && mt.cbFormat >= offset + sizeof(BITMAPINFOHEADER) ? offset : 0;
}

}  // namespace

void RateOfFrameTime(REFERENCE_TIME frameTime, std::uint32_t& scale, std::uint32_t& rate)
{
    for (const std::uint32_t base : {24000u, 30000u, 60000u}) {
        const double ntsc = 1001.0 * kUnitsPerSecond / base;
        if (frameTime > 0 && std::abs(static_cast<double>(frameTime) - ntsc) <= 1.0) {
            scale = 1001;
            rate = base;
            return;
        }
    }
    if (frameTime <= 0 || frameTime > 0xFFFFFFFFll) {
        frameTime = 400000;  // 25 frames per second when nothing better is known
    }
    const auto t = static_cast<std::uint64_t>(frameTime);
    const std::uint64_t g = std::gcd(t, static_cast<std::uint64_t>(kUnitsPerSecond));
    scale = static_cast<std::uint32_t>(t / g);
    rate = static_cast<std::uint32_t>(kUnitsPerSecond / g);
}

bool IsSoundType(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Audio || mt.formattype != FORMAT_WaveFormatEx || mt.pbFormat == nullptr ||
        mt.cbFormat < sizeof(PCMWAVEFORMAT)) {
        return false;
    }
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    const bool known = wf->wFormatTag == WAVE_FORMAT_PCM || wf->wFormatTag == 0x50 /* MPEG-1 */ ||
                       wf->wFormatTag == 0x55 /* MPEG-1 layer 3 */;
    return known && wf->nChannels > 0 && wf->nSamplesPerSec > 0 && wf->nAvgBytesPerSec > 0;
}

bool IsInterleavedDV(const AM_MEDIA_TYPE& mt)
{
    return mt.majortype == MEDIATYPE_Interleaved && mt.subtype == MEDIASUBTYPE_dvsd &&
           (mt.formattype == GUID_NULL ||
            (mt.formattype == FORMAT_DvInfo && mt.pbFormat != nullptr && mt.cbFormat >= sizeof(DVINFO)));
}

bool IsVideoType(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Video) {
        return false;
    }
    const std::size_t offset = BitmapHeaderOffset(mt);
    if (offset == 0) {
        return false;
    }
    const auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(mt.pbFormat + offset);
    return bih->biWidth > 0 && bih->biHeight != 0 && bih->biWidth <= 0x7FFF && std::abs(bih->biHeight) <= 0x7FFF;
}

TAviStreamSetup SetupOf(const AM_MEDIA_TYPE& mt)
{
    TAviStreamSetup s;
    if (IsSoundType(mt)) {
        const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
        s.Kind = TAviStreamKind::Audio;
        s.BlockAlign = std::max<std::uint32_t>(wf->nBlockAlign, 1);
        s.Scale = s.BlockAlign;
        s.Rate = wf->nAvgBytesPerSec;
        s.Format.assign(mt.pbFormat, mt.pbFormat + mt.cbFormat);
        if (s.Format.size() < sizeof(WAVEFORMATEX)) {
            s.Format.resize(sizeof(WAVEFORMATEX), 0);  // a bare PCM format gets its empty extra size
        }
    } else if (IsInterleavedDV(mt)) {
        s.Kind = TAviStreamKind::Interleaved;
        s.Handler = avi::FourCC("dvsd");
        s.Format.assign(sizeof(DVINFO), 0);
        if (mt.formattype == FORMAT_DvInfo) {
            std::memcpy(s.Format.data(), mt.pbFormat, sizeof(DVINFO));
        }
        s.Width = 720;
        s.Height = DVTypeIsPal(mt) ? 576 : 480;
        RateOfFrameTime(StatedFrameTime(mt).value_or(0), s.Scale, s.Rate);
    } else {
        const std::size_t offset = BitmapHeaderOffset(mt);
        const auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(mt.pbFormat + offset);
        s.Kind = TAviStreamKind::Video;
        s.Uncompressed = bih->biCompression == BI_RGB || bih->biCompression == BI_BITFIELDS;
        s.Handler = s.Uncompressed ? 0 : bih->biCompression;
        s.Width = bih->biWidth;
        s.Height = std::abs(bih->biHeight);
        s.Format.assign(mt.pbFormat + offset, mt.pbFormat + mt.cbFormat);
        RateOfFrameTime(StatedFrameTime(mt).value_or(0), s.Scale, s.Rate);
    }
    return s;
}

std::optional<REFERENCE_TIME> DVFrameTimeOfSize(std::uint32_t bytes)
{
    if (bytes == filters::kDVFrameBytes625) {
        return DVFrameTime(true);
    }
    if (bytes == filters::kDVFrameBytes525) {
        return DVFrameTime(false);
    }
    return std::nullopt;
}

std::optional<REFERENCE_TIME> StatedFrameTime(const AM_MEDIA_TYPE& mt)
{
    if (IsInterleavedDV(mt)) {
        // Its sample size or its DV information block says which system the frames are of.
        const bool stated = mt.lSampleSize == filters::kDVFrameBytes525 || mt.lSampleSize == filters::kDVFrameBytes625 ||
                            mt.formattype == FORMAT_DvInfo;
        return stated ? std::optional<REFERENCE_TIME>(DVFrameTime(DVTypeIsPal(mt))) : std::nullopt;
    }
    if (BitmapHeaderOffset(mt) == 0) {
        return std::nullopt;
    }
    // AvgTimePerFrame lies at the same place in both video format blocks.
    REFERENCE_TIME t = 0;
    std::memcpy(&t, mt.pbFormat + offsetof(VIDEOINFOHEADER, AvgTimePerFrame), sizeof(t));
    return t > 0 ? std::optional<REFERENCE_TIME>(t) : std::nullopt;
}

}  // namespace standins
