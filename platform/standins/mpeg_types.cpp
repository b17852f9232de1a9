#include "platform/standins/mpeg_types.h"

#include <dshow.h>
#include <dvdmedia.h>
#include <mmreg.h>
#include <uuids.h>

#include <cstring>
#include <cstdlib>

#include "platform/standins/live_source.h"

namespace standins {

namespace {

bool SizeOk(const BITMAPINFOHEADER& h)
{
    const LONG height = std::labs(h.biHeight);
    return h.biWidth > 0 && height > 0 && h.biWidth <= 4096 && height <= 4096;
}

}  // namespace

bool ReadMpegVideo(const AM_MEDIA_TYPE& mt, TMpegVideo& video)
{
    if (mt.majortype != MEDIATYPE_Video || mt.pbFormat == nullptr) return false;
    const VIDEOINFOHEADER* hdr = nullptr;
    if (mt.subtype == MEDIASUBTYPE_MPEG2_VIDEO && mt.formattype == FORMAT_MPEG2Video &&
        mt.cbFormat >= sizeof(MPEG2VIDEOINFO) - sizeof(DWORD)) {
        // The header of an MPEG2VIDEOINFO is a VIDEOINFOHEADER2: size and frame time at the same places.
        const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(mt.pbFormat);
        if (!SizeOk(info->hdr.bmiHeader)) return false;
        video = {true, static_cast<int>(info->hdr.bmiHeader.biWidth), static_cast<int>(std::labs(info->hdr.bmiHeader.biHeight)),
                 info->hdr.AvgTimePerFrame > 0 ? info->hdr.AvgTimePerFrame : 0};
        return true;
    }
    if ((mt.subtype == MEDIASUBTYPE_MPEG1Payload || mt.subtype == MEDIASUBTYPE_MPEG1Video) &&
        mt.formattype == FORMAT_MPEGVideo && mt.cbFormat >= sizeof(MPEG1VIDEOINFO) - 1) {
        hdr = &reinterpret_cast<const MPEG1VIDEOINFO*>(mt.pbFormat)->hdr;
        if (!SizeOk(hdr->bmiHeader)) return false;
        video = {false, static_cast<int>(hdr->bmiHeader.biWidth), static_cast<int>(std::labs(hdr->bmiHeader.biHeight)),
                 hdr->AvgTimePerFrame > 0 ? hdr->AvgTimePerFrame : 0};
        return true;
    }
    return false;
}

bool MakeMpegVideoType(const TMpegVideo& video, AM_MEDIA_TYPE& mt)
{
    mt.majortype = MEDIATYPE_Video;
    mt.bFixedSizeSamples = FALSE;
    mt.bTemporalCompression = TRUE;
    mt.lSampleSize = 0;
    BITMAPINFOHEADER* bih = nullptr;
    if (video.Mpeg2) {
        mt.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
        mt.formattype = FORMAT_MPEG2Video;
        auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(AllocFormat(mt, sizeof(MPEG2VIDEOINFO)));
        if (info == nullptr) return false;
        info->hdr.AvgTimePerFrame = video.FrameTime;
        info->hdr.dwPictAspectRatioX = 4;
        info->hdr.dwPictAspectRatioY = 3;
        info->hdr.dwBitRate = 4000000;
        info->dwProfile = 4;  // main profile at main level
        info->dwLevel = 8;
        bih = &info->hdr.bmiHeader;
        bih->biCompression = MAKEFOURCC('M', 'P', 'G', '2');
    } else {
        mt.subtype = MEDIASUBTYPE_MPEG1Payload;
        mt.formattype = FORMAT_MPEGVideo;
        auto* info = reinterpret_cast<MPEG1VIDEOINFO*>(AllocFormat(mt, sizeof(MPEG1VIDEOINFO)));
        if (info == nullptr) return false;
        info->hdr.AvgTimePerFrame = video.FrameTime;
        info->hdr.dwBitRate = 1150000;
        bih = &info->hdr.bmiHeader;
        bih->biCompression = 0;
    }
    bih->biSize = sizeof(BITMAPINFOHEADER);
    bih->biWidth = video.Width;
    bih->biHeight = video.Height;
    bih->biPlanes = 1;
    bih->biBitCount = 24;
    return true;
}

bool ReadMpegAudio(const AM_MEDIA_TYPE& mt, TMpegAudio& audio)
{
    if (mt.majortype != MEDIATYPE_Audio ||
        (mt.subtype != MEDIASUBTYPE_MPEG1Audio && mt.subtype != MEDIASUBTYPE_MPEG1AudioPayload) ||
        mt.formattype != FORMAT_WaveFormatEx || mt.pbFormat == nullptr || mt.cbFormat < sizeof(WAVEFORMATEX)) {
        return false;
    }
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    const DWORD rate = wf->nSamplesPerSec;
    if (wf->wFormatTag != WAVE_FORMAT_MPEG || (wf->nChannels != 1 && wf->nChannels != 2) ||
        (rate != 32000 && rate != 44100 && rate != 48000)) {
        return false;
    }
    audio = {static_cast<int>(rate), wf->nChannels, static_cast<int>(wf->nAvgBytesPerSec * 8)};
    return true;
}

bool MakeMpegAudioType(const TMpegAudio& audio, AM_MEDIA_TYPE& mt)
{
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_MPEG1Audio;  // the subtype the program's encoder search asks for
    mt.formattype = FORMAT_WaveFormatEx;
    mt.bFixedSizeSamples = FALSE;
    mt.bTemporalCompression = FALSE;
    mt.lSampleSize = 0;
    auto* wf = reinterpret_cast<MPEG1WAVEFORMAT*>(AllocFormat(mt, sizeof(MPEG1WAVEFORMAT)));
    if (wf == nullptr) return false;
    wf->wfx.wFormatTag = WAVE_FORMAT_MPEG;
    wf->wfx.nChannels = static_cast<WORD>(audio.Channels);
    wf->wfx.nSamplesPerSec = static_cast<DWORD>(audio.Rate);
    wf->wfx.nAvgBytesPerSec = static_cast<DWORD>(audio.BitRate / 8);
    wf->wfx.nBlockAlign = static_cast<WORD>(144 * audio.BitRate / audio.Rate);
    wf->wfx.cbSize = sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX);
    wf->fwHeadLayer = ACM_MPEG_LAYER2;
    wf->dwHeadBitrate = static_cast<DWORD>(audio.BitRate);
    wf->fwHeadMode = audio.Channels == 1 ? ACM_MPEG_SINGLECHANNEL : ACM_MPEG_STEREO;
    wf->wHeadEmphasis = 1;
    wf->fwHeadFlags = ACM_MPEG_ID_MPEG1;
    return true;
}

}  // namespace standins
