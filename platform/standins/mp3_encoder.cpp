#include "platform/standins/mp3_encoder.h"

#include <dshow.h>
#include <mmreg.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <lame/lame.h>

#include "platform/standins/encoder_filter.h"
#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

constexpr std::array<DWORD, 14> kMpeg1Bitrates{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kSamplesPerFrame = 1152;  // MPEG-1 Layer III
// PCM is handed to lame in pieces of this many samples, so that one output buffer always holds what a
// piece yields (lame's bound: 1.25 x samples + 7200 bytes).
constexpr int kPieceSamples = 4 * kSamplesPerFrame;
constexpr long kOutputBufferBytes = kPieceSamples * 5 / 4 + 7200;

const WAVEFORMATEX* WaveFormat(const AM_MEDIA_TYPE& mt)
{
    if (mt.formattype != FORMAT_WaveFormatEx || mt.pbFormat == nullptr || mt.cbFormat < sizeof(PCMWAVEFORMAT)) return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
}

bool IsPcmInput(const AM_MEDIA_TYPE& mt)
{
    const WAVEFORMATEX* wf = mt.majortype == MEDIATYPE_Audio && mt.subtype == MEDIASUBTYPE_PCM ? WaveFormat(mt) : nullptr;
    return wf != nullptr && wf->wFormatTag == WAVE_FORMAT_PCM && wf->wBitsPerSample == 16 &&
           (wf->nChannels == 1 || wf->nChannels == 2) && wf->nSamplesPerSec >= 8000 && wf->nSamplesPerSec <= 48000 &&
           wf->nBlockAlign == wf->nChannels * 2;
}

// The length of the MPEG-1 Layer III frame whose 4-byte header is at H, or 0 when none starts there.
std::size_t FrameBytes(const unsigned char* h)
{
    constexpr int kKbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    constexpr int kRates[4] = {44100, 48000, 32000, 0};
    if (h[0] != 0xFF || (h[1] & 0xFE) != 0xFA) return 0;  // sync, MPEG-1, Layer III, with or without CRC
    const int kbps = kKbps[h[2] >> 4], rate = kRates[(h[2] >> 2) & 3];
    if (kbps == 0 || rate == 0) return 0;
    return static_cast<std::size_t>(144000 * kbps / rate + ((h[2] >> 1) & 1));
}

// MPEG-1 carries 32, 44.1 and 48 kHz: other rates are resampled to the next of these.
int OutputRate(DWORD inputRate) { return inputRate <= 32000 ? 32000 : inputRate <= 44100 ? 44100 : 48000; }

void MakeMp3Type(AM_MEDIA_TYPE& mt, int channels, int rate, DWORD kbps)
{
    auto* wf = static_cast<MPEGLAYER3WAVEFORMAT*>(CoTaskMemAlloc(sizeof(MPEGLAYER3WAVEFORMAT)));
    if (wf == nullptr) return;
    std::memset(wf, 0, sizeof(*wf));
    wf->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    wf->wfx.nChannels = static_cast<WORD>(channels);
    wf->wfx.nSamplesPerSec = static_cast<DWORD>(rate);
    wf->wfx.nAvgBytesPerSec = kbps * 1000 / 8;
    wf->wfx.nBlockAlign = 1;
    wf->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    wf->wID = MPEGLAYER3_ID_MPEG;
    wf->fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    wf->nBlockSize = static_cast<WORD>(144 * kbps * 1000 / static_cast<DWORD>(rate));
    wf->nFramesPerBlock = 1;
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_MPEGLayer3;
    mt.bFixedSizeSamples = FALSE;
    mt.bTemporalCompression = FALSE;
    mt.lSampleSize = 0;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.pbFormat = reinterpret_cast<BYTE*>(wf);
    mt.cbFormat = sizeof(MPEGLAYER3WAVEFORMAT);
}

class TMp3Encoder : public TSoundEncoder {
public:
    TMp3Encoder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller)
        : TSoundEncoder(entry, controller, kSamplesPerFrame)
    {
    }
    ~TMp3Encoder() override { CloseEncoder(); }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override
    {
        return mt != nullptr && IsPcmInput(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        if (in == nullptr || out == nullptr) return E_POINTER;
        if (!IsPcmInput(*in) || out->majortype != MEDIATYPE_Audio || out->subtype != MEDIASUBTYPE_MPEGLayer3) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        const WAVEFORMATEX* pcm = WaveFormat(*in);
        const WAVEFORMATEX* mp3 = WaveFormat(*out);
        if (mp3 == nullptr || mp3->wFormatTag != WAVE_FORMAT_MPEGLAYER3 || mp3->nChannels != pcm->nChannels ||
            static_cast<int>(mp3->nSamplesPerSec) != OutputRate(pcm->nSamplesPerSec) ||
            std::find(kMpeg1Bitrates.begin(), kMpeg1Bitrates.end(), mp3->nAvgBytesPerSec * 8 / 1000) == kMpeg1Bitrates.end()) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        return S_OK;
    }

    HRESULT StartStreaming() override;

protected:
    HRESULT OutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE& mt) override
    {
        const WAVEFORMATEX* pcm = WaveFormat(input);
        if (pcm == nullptr) return E_UNEXPECTED;
        MakeMp3Type(mt, pcm->nChannels, OutputRate(pcm->nSamplesPerSec), Mp3ConfiguredBitrate());
        return mt.pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT OutputRoom(long& buffers, long& bytes) override
    {
        buffers = 4;
        bytes = kOutputBufferBytes;
        return S_OK;
    }
    void CloseEncoder() override
    {
        if (lame_ != nullptr) lame_close(lame_);
        lame_ = nullptr;
    }
    bool EncoderOpen() const override { return lame_ != nullptr; }
    int PieceSamples() const override { return kPieceSamples; }
    HRESULT EncodePiece(const std::int16_t* pcm, int samples) override;
    HRESULT EncodeHeld() override;

private:
    // A new lame for the connected types.
    HRESULT OpenLame();
    // Takes Bytes more of lame's output and sends on the whole frames it holds.
    HRESULT DeliverFrames(int bytes);

    // Streaming thread (under the receive lock), and Pause/Stop.
    lame_global_flags* lame_ = nullptr;
    std::vector<unsigned char> buffer_;
    // Lame's output not sent yet: it ends where lame stopped, often within a frame. Samples carry
    // whole frames, so that a stream taken up again at any sample begins with a frame's header.
    std::vector<unsigned char> pending_;
};

HRESULT TMp3Encoder::StartStreaming()
{
    const HRESULT hr = OpenLame();
    if (FAILED(hr)) return hr;
    const WAVEFORMATEX* pcm = WaveFormat(InputPin()->CurrentMediaType());
    const WAVEFORMATEX* mp3 = WaveFormat(OutputPin()->CurrentMediaType());
    buffer_.resize(static_cast<std::size_t>(kOutputBufferBytes));
    pending_.clear();
    BeginStream(pcm->nChannels, static_cast<int>(mp3->nSamplesPerSec));
    return S_OK;
}

HRESULT TMp3Encoder::OpenLame()
{
    CloseEncoder();
    const WAVEFORMATEX* pcm = WaveFormat(InputPin()->CurrentMediaType());
    const WAVEFORMATEX* mp3 = WaveFormat(OutputPin()->CurrentMediaType());
    if (pcm == nullptr || mp3 == nullptr) return E_UNEXPECTED;
    lame_ = lame_init();
    if (lame_ == nullptr) return E_OUTOFMEMORY;
    const int channels = pcm->nChannels;
    const int outputRate = static_cast<int>(mp3->nSamplesPerSec);
    lame_set_in_samplerate(lame_, static_cast<int>(pcm->nSamplesPerSec));
    lame_set_out_samplerate(lame_, outputRate);
    lame_set_num_channels(lame_, channels);
    lame_set_mode(lame_, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame_, static_cast<int>(mp3->nAvgBytesPerSec * 8 / 1000));
    lame_set_VBR(lame_, vbr_off);
    lame_set_quality(lame_, 5);
    // A stream, not a file: no Xing header frame at the start.
    lame_set_bWriteVbrTag(lame_, 0);
    if (lame_init_params(lame_) < 0) {
        CloseEncoder();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TMp3Encoder::EncodePiece(const std::int16_t* pcm, int samples)
{
    const int bytes = Channels() == 2 ? lame_encode_buffer_interleaved(lame_, const_cast<short*>(pcm), samples, buffer_.data(),
                                                                       static_cast<int>(buffer_.size()))
                                      : lame_encode_buffer(lame_, pcm, pcm, samples, buffer_.data(), static_cast<int>(buffer_.size()));
    return bytes < 0 ? E_FAIL : DeliverFrames(bytes);
}

HRESULT TMp3Encoder::EncodeHeld()
{
    // Every sample lame holds, its delay included, makes the last frames; a stream that goes on
    // after it is coded by a new lame, its stamps following on.
    const int bytes = lame_encode_flush(lame_, buffer_.data(), static_cast<int>(buffer_.size()));
    const HRESULT hr = bytes < 0 ? E_FAIL : DeliverFrames(bytes);
    pending_.clear();  // nothing can finish a frame lame left cut short
    const HRESULT reopened = OpenLame();
    return FAILED(hr) ? hr : reopened;
}

HRESULT TMp3Encoder::DeliverFrames(int bytes)
{
    pending_.insert(pending_.end(), buffer_.begin(), buffer_.begin() + bytes);
    std::size_t whole = 0;
    std::int64_t frames = 0;
    while (pending_.size() - whole >= 4) {
        const std::size_t frame = FrameBytes(pending_.data() + whole);
        if (frame == 0) {
            // Not a frame's start (lame makes none such): passed over up to the next header.
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(whole));
            continue;
        }
        if (pending_.size() - whole < frame) break;
        whole += frame;
        ++frames;
    }
    // Stamped by the frames sent.
    const HRESULT hr = Deliver(pending_.data(), static_cast<int>(whole), FramesSent() + frames);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(whole));
    return hr;
}

// Registration leaves an existing choice alone and writes the default where there is none.
bool CreateBitrateValue(bool doRegister)
{
    if (!doRegister) return true;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kMp3EncoderKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    if (RegQueryValueExW(key, L"Bitrate", nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        const DWORD value = kMp3DefaultBitrate;
        ok = RegSetValueExW(key, L"Bitrate", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEGLayer3}};
const auto kPins = EncoderPins(kInputTypes, 1, kOutputTypes, 1);

const TStandinRegistrar kRegistrar(
    [](filters::TBCFilterTemplate& templates) {
        templates.Add(EncoderEntry<TMp3Encoder>("LAME Audio Encoder", CLSID_Mp3EncoderStandin, CLSID_LegacyAmFilterCategory, kPins));
    },
    CreateBitrateValue);

}  // namespace

DWORD Mp3ConfiguredBitrate()
{
    DWORD value = 0, type = 0, size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kMp3EncoderKey, L"Bitrate", RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value) ||
        std::find(kMpeg1Bitrates.begin(), kMpeg1Bitrates.end(), value) == kMpeg1Bitrates.end()) {
        return kMp3DefaultBitrate;
    }
    return value;
}

}  // namespace standins
