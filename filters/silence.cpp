#include "filters/silence.h"

#include <mmreg.h>
#include <uuids.h>

#include <algorithm>
#include <cstring>

namespace filters {

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;

// Whether a WAVEFORMATEXTENSIBLE's sub-format is plain PCM or floating point (the wave format
// GUIDs share everything but the tag in their first field).
bool PlainSubFormat(const GUID& sub)
{
    static constexpr BYTE kTail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    return (sub.Data1 == WAVE_FORMAT_PCM || sub.Data1 == WAVE_FORMAT_IEEE_FLOAT) && sub.Data2 == 0 && sub.Data3 == 0x10 &&
           std::memcmp(sub.Data4, kTail, sizeof(kTail)) == 0;
}

// The layer III bit rates, in kbit/s, of MPEG-1 and of MPEG-2 and 2.5 (index 0 is "free").
constexpr DWORD kMpeg1Kbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr DWORD kMpeg2Kbps[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

}  // namespace

TSilence::TSilence(const AM_MEDIA_TYPE& type)
{
    if (type.majortype != MEDIATYPE_Audio || type.formattype != FORMAT_WaveFormatEx || type.pbFormat == nullptr ||
        type.cbFormat < sizeof(WAVEFORMAT)) {
        return;
    }
    WAVEFORMATEX wave{};
    std::memcpy(&wave, type.pbFormat, std::min<std::size_t>(type.cbFormat, sizeof(wave)));
    if (wave.nSamplesPerSec == 0 || wave.nChannels == 0) return;
    rate_ = wave.nSamplesPerSec;
    bool plain = wave.wFormatTag == WAVE_FORMAT_PCM || wave.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    if (wave.wFormatTag == WAVE_FORMAT_EXTENSIBLE && type.cbFormat >= sizeof(WAVEFORMATEXTENSIBLE)) {
        WAVEFORMATEXTENSIBLE extensible{};
        std::memcpy(&extensible, type.pbFormat, sizeof(extensible));
        plain = PlainSubFormat(extensible.SubFormat);
    }
    if (plain) {
        if (wave.nBlockAlign == 0) return;
        frameBytes_ = wave.nBlockAlign;
        // Unsigned 8-bit samples are silent at their middle.
        zero_ = wave.wBitsPerSample == 8 && wave.wFormatTag == WAVE_FORMAT_PCM ? 0x80 : 0;
        perUnit_ = 1;
        return;
    }
    if (wave.wFormatTag != WAVE_FORMAT_MPEGLAYER3 || wave.nChannels > 2) return;
    // The version and the rate's index from the rate; the bit rate the stream states, as a header's.
    static constexpr DWORD kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    static constexpr BYTE kVersionBits[3] = {3, 2, 0};  // MPEG-1, MPEG-2, MPEG-2.5
    int version = -1, rateIndex = -1;
    for (int v = 0; v < 3 && version < 0; ++v)
        for (int r = 0; r < 3; ++r)
            if (kRates[v][r] == rate_) version = v, rateIndex = r;
    if (version < 0) return;
    const DWORD* kbpsTable = version == 0 ? kMpeg1Kbps : kMpeg2Kbps;
    const DWORD kbps = wave.nAvgBytesPerSec * 8 / 1000;
    int kbpsIndex = -1;
    for (int i = 1; i < 15; ++i)
        if (kbpsTable[i] == kbps) kbpsIndex = i;
    if (kbpsIndex < 0) return;
    const bool mono = wave.nChannels == 1;
    // A frame without a checksum; even the smallest is longer than its header and side information.
    header_[0] = 0xFF;
    header_[1] = static_cast<BYTE>(0xE0 | kVersionBits[version] << 3 | 1 << 1 | 1);
    header_[2] = static_cast<BYTE>(kbpsIndex << 4 | rateIndex << 2);
    header_[3] = mono ? 0xC0 : 0x00;
    const std::int64_t samples = version == 0 ? 1152 : 576;
    num_ = samples / 8 * static_cast<std::int64_t>(kbps) * 1000;
    den_ = rate_;
    coded_ = true;
    perUnit_ = samples;
}

std::int64_t TSilence::UnitsIn(REFERENCE_TIME length) const
{
    if (!Made() || length <= 0) return 0;
    const std::int64_t per = perUnit_ * kSecond;
    return (length * static_cast<std::int64_t>(rate_) + per / 2) / per;
}

REFERENCE_TIME TSilence::TimeOf(std::int64_t units) const
{
    return rate_ == 0 ? 0 : units * perUnit_ * kSecond / static_cast<std::int64_t>(rate_);
}

long TSilence::UnitBytes(std::int64_t unit) const
{
    if (!coded_) return frameBytes_;
    return static_cast<long>((unit + 1) * num_ / den_ - unit * num_ / den_);
}

std::int64_t TSilence::Write(BYTE* into, long room, std::int64_t first, std::int64_t count, long& bytes) const
{
    bytes = 0;
    if (!Made() || into == nullptr) return 0;
    std::int64_t made = 0;
    if (!coded_) {
        made = std::min<std::int64_t>(count, room / frameBytes_);
        bytes = static_cast<long>(made * frameBytes_);
        std::memset(into, zero_, static_cast<std::size_t>(bytes));
        return made;
    }
    const auto least = static_cast<long>(num_ / den_);
    for (; made < count; ++made) {
        const long size = UnitBytes(first + made);
        if (size > room - bytes) break;
        BYTE* frame = into + bytes;
        std::memset(frame, 0, static_cast<std::size_t>(size));
        std::memcpy(frame, header_, sizeof(header_));
        // The padding byte, where the rate needs one.
        if (size > least) frame[2] |= 0x02;
        bytes += size;
    }
    return made;
}

}  // namespace filters
