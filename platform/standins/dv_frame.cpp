#include "platform/standins/dv_frame.h"

#include <algorithm>
#include <cstring>

namespace standins {

namespace {

// Section types of the DIF block IDs.
constexpr std::uint8_t kSctHeader = 0, kSctSubcode = 1, kSctVaux = 2, kSctAudio = 3, kSctVideo = 4;

// Block indexes in a sequence: header 0, subcode 1-2, VAUX 3-5, then nine groups of one audio block
// and fifteen video blocks.
constexpr int AudioBlockIndex(int i) { return 6 + 16 * i; }
constexpr int VideoBlockIndex(int i) { return 7 + (i / 15) * 16 + i % 15; }

std::uint8_t Bcd(int v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

void WriteId(std::uint8_t* block, std::uint8_t sct, int seq, int dbn)
{
    block[0] = static_cast<std::uint8_t>((sct << 5) | 0x1F);
    block[1] = static_cast<std::uint8_t>((seq << 4) | 0x07);
    block[2] = static_cast<std::uint8_t>(dbn);
}

void WritePack(std::uint8_t* at, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4)
{
    at[0] = b0;
    at[1] = b1;
    at[2] = b2;
    at[3] = b3;
    at[4] = b4;
}

void NoInfoPack(std::uint8_t* at) { std::memset(at, 0xFF, 5); }

void TimecodePack(std::uint8_t* at, const TDVFrameSpec& s)
{
    if (!s.Timecode) {
        NoInfoPack(at);
        return;
    }
    const auto& tc = *s.Timecode;
    WritePack(at, filters::kDVPackTimecode,
              static_cast<std::uint8_t>(Bcd(tc.Frames % 100) | (s.DropFrame ? 0x40 : 0)), Bcd(tc.Seconds % 60),
              Bcd(tc.Minutes % 60), Bcd(tc.Hours % 24));
}

void DatePack(std::uint8_t* at, const TDVFrameSpec& s)
{
    if (!s.RecDate) {
        NoInfoPack(at);
        return;
    }
    const auto& d = *s.RecDate;
    // Time zone byte unset; the day and month bytes keep their flag bits at "no information".
    WritePack(at, filters::kDVPackRecDate, 0xFF, static_cast<std::uint8_t>(0xC0 | Bcd(d.Day % 32)),
              static_cast<std::uint8_t>(0xE0 | Bcd(d.Month % 13)), Bcd(d.Year % 100));
}

void TimePack(std::uint8_t* at, const TDVFrameSpec& s)
{
    if (!s.RecDate) {
        NoInfoPack(at);
        return;
    }
    const auto& d = *s.RecDate;
    WritePack(at, filters::kDVPackRecTime, 0xFF, static_cast<std::uint8_t>(0x80 | Bcd(d.Second % 60)),
              static_cast<std::uint8_t>(0x80 | Bcd(d.Minute % 60)), static_cast<std::uint8_t>(0xC0 | Bcd(d.Hour % 24)));
}

void VauxSourcePack(std::uint8_t* at, bool pal) { WritePack(at, 0x60, 0xFF, 0xFF, pal ? 0x20 : 0x00, 0xFF); }

void VauxControlPack(std::uint8_t* at, bool wide)
{
    // DISP 2 is 16:9 whatever AP3 says; 0 is 4:3.
    WritePack(at, filters::kDVPackSourceControl, 0x33, static_cast<std::uint8_t>(0xC8 | (wide ? 2 : 0)), 0xFC, 0xFF);
}

struct AudioCode {
    int Rate;
    std::uint8_t Smp;
    int Min625;
    int Min525;
};
constexpr AudioCode kAudioCodes[] = {{48000, 0, 1896, 1580}, {44100, 1, 1742, 1452}, {32000, 2, 1264, 1053}};

const AudioCode* FindAudioCode(int rate)
{
    for (const auto& c : kAudioCodes) {
        if (c.Rate == rate) return &c;
    }
    return nullptr;
}

// Offset in the frame of the first audio data byte of audio block i of sequence seq.
std::size_t AudioDataOffset(int seq, int i)
{
    return seq * filters::kDVSequenceBytes + AudioBlockIndex(i) * kDIFBlockBytes + 8;
}

// Offset of sample n of channel ch (0 left, 1 right): left in the first half of the sequences, right
// in the second, each half filled block by block, 36 big-endian samples per block.
std::size_t SampleOffset(bool pal, int ch, int n)
{
    const int half = DVSequences(pal) / 2;
    const int perSeq = kDIFAudioBlocks * (kDIFAudioDataBytes / 2);
    const int seq = ch * half + n / perSeq;
    const int inSeq = n % perSeq;
    return AudioDataOffset(seq, inSeq / (kDIFAudioDataBytes / 2)) + 2 * (inSeq % (kDIFAudioDataBytes / 2));
}

std::uint32_t PayloadDword(std::span<const std::uint8_t> frame, std::size_t packAt)
{
    if (packAt + 5 > frame.size()) return 0xFFFFFFFF;
    return static_cast<std::uint32_t>(frame[packAt + 1]) | (static_cast<std::uint32_t>(frame[packAt + 2]) << 8) |
           (static_cast<std::uint32_t>(frame[packAt + 3]) << 16) | (static_cast<std::uint32_t>(frame[packAt + 4]) << 24);
}

}  // namespace

std::size_t DVFrameBytes(bool pal) { return pal ? filters::kDVFrameBytes625 : filters::kDVFrameBytes525; }
REFERENCE_TIME DVFrameTime(bool pal) { return pal ? kDVFrameTime625 : kDVFrameTime525; }
int DVSequences(bool pal) { return pal ? filters::kDVSequences625 : filters::kDVSequences525; }

int DVAudioSamplesPerFrame(bool pal, int rate, std::int64_t frameIndex)
{
    if (pal) return rate / 25;
    if (rate == 48000) return frameIndex % 5 == 0 ? 1600 : 1602;
    // Other rates at 30000/1001: the frame's share of the running total, so no sample is lost.
    auto total = [&](std::int64_t frames) { return frames * rate * 1001 / 30000; };
    return static_cast<int>(total(frameIndex + 1) - total(frameIndex));
}

int DVAudioCapacity(bool pal) { return DVSequences(pal) / 2 * kDIFAudioBlocks * (kDIFAudioDataBytes / 2); }

// Timecode of a frame count: 25 frames a second, or 525/60 drop-frame counting (frames 0 and 1 of
// each minute skipped except every tenth minute).
filters::TDVTimecode DVTimecodeOfCount(bool pal, std::int64_t count)
{
    filters::TDVTimecode tc;
    if (pal) {
        count %= 24LL * 3600 * 25;
        tc.Frames = static_cast<std::uint8_t>(count % 25);
        tc.Seconds = static_cast<std::uint8_t>(count / 25 % 60);
        tc.Minutes = static_cast<std::uint8_t>(count / (25 * 60) % 60);
        tc.Hours = static_cast<std::uint8_t>(count / (25 * 3600) % 24);
        return tc;
    }
    count %= 2589408;  // drop-frame frames in 24 hours
    const std::int64_t d = count / 17982, m = count % 17982;
    const std::int64_t f = count + 18 * d + (m < 2 ? 0 : 2 * ((m - 2) / 1798));
    tc.Frames = static_cast<std::uint8_t>(f % 30);
    tc.Seconds = static_cast<std::uint8_t>(f / 30 % 60);
    tc.Minutes = static_cast<std::uint8_t>(f / 1800 % 60);
    tc.Hours = static_cast<std::uint8_t>(f / 108000 % 24);
    return tc;
}

bool DVBuildFrame(std::span<std::uint8_t> frame, const TDVFrameSpec& s)
{
    if (frame.size() < DVFrameBytes(s.Pal)) return false;
    const int sequences = DVSequences(s.Pal);
    for (int seq = 0; seq < sequences; ++seq) {
        std::uint8_t* base = frame.data() + seq * filters::kDVSequenceBytes;
        std::memset(base, 0xFF, filters::kDVSequenceBytes);
        // Header block: DSF, then APT, AP1, AP2 and AP3 of consumer DV (all 0).
        std::uint8_t* h = base;
        WriteId(h, kSctHeader, seq, 0);
        h[3] = s.Pal ? 0xBF : 0x3F;
        h[4] = 0x68;
        h[5] = h[6] = h[7] = 0x78;
        // Two subcode blocks of six sync blocks: ID, parity, then timecode, date and time packs twice.
        for (int b = 0; b < 2; ++b) {
            std::uint8_t* sc = base + (1 + b) * kDIFBlockBytes;
            WriteId(sc, kSctSubcode, seq, b);
            for (int k = 0; k < 6; ++k) {
                std::uint8_t* sync = sc + 3 + 8 * k;
                sync[0] = seq < sequences / 2 ? 0x80 : 0x00;
                sync[1] = static_cast<std::uint8_t>(0xF0 | (6 * b + k));
                sync[2] = 0xFF;
                switch (k % 3) {
                case 0: TimecodePack(sync + 3, s); break;
                case 1: DatePack(sync + 3, s); break;
                default: TimePack(sync + 3, s); break;
                }
            }
        }
        // Three VAUX blocks of fifteen packs: source, control, date and time at the start of the first
        // block and at packs 9 to 12 of the third.
        for (int b = 0; b < 3; ++b) WriteId(base + (3 + b) * kDIFBlockBytes, kSctVaux, seq, b);
        for (std::uint8_t* packs : {base + 3 * kDIFBlockBytes + 3, base + 5 * kDIFBlockBytes + 3 + 9 * 5}) {
            VauxSourcePack(packs, s.Pal);
            VauxControlPack(packs + 5, s.Wide);
            DatePack(packs + 10, s);
            TimePack(packs + 15, s);
        }
        // Audio blocks (packs and data follow in DVWriteAudio) and video blocks, left for the picture coder.
        for (int i = 0; i < kDIFAudioBlocks; ++i) WriteId(base + AudioBlockIndex(i) * kDIFBlockBytes, kSctAudio, seq, i);
        for (int i = 0; i < 135; ++i) {
            std::uint8_t* v = base + VideoBlockIndex(i) * kDIFBlockBytes;
            WriteId(v, kSctVideo, seq, i);
            v[3] = 0x0F;
        }
    }
    return DVWriteAudio(frame, s.AudioRate, s.Audio);
}

bool DVWriteAudio(std::span<std::uint8_t> frame, int rate, std::span<const std::int16_t> audio)
{
    if (frame.size() < filters::kDVFrameBytes525) return false;
    const bool pal = DVFrameIsPal(frame);
    if (frame.size() < DVFrameBytes(pal)) return false;
    const AudioCode* code = FindAudioCode(rate);
    const int samples = std::min<int>(static_cast<int>(audio.size() / 2), DVAudioCapacity(pal));
    const int sequences = DVSequences(pal);
    for (int seq = 0; seq < sequences; ++seq) {
        // AAUX packs: audio blocks 3-7 of even sequences, 0-4 of odd ones (source, then source control).
        const int first = seq % 2 == 0 ? 3 : 0;
        for (int i = 0; i < kDIFAudioBlocks; ++i) {
            std::uint8_t* pack = frame.data() + AudioDataOffset(seq, i) - 5;
            NoInfoPack(pack);
            if (code == nullptr) continue;
            if (i == first) {
                const int minimum = pal ? code->Min625 : code->Min525;
                const int afSize = std::clamp(samples - minimum, 0, 0x3F);
                WritePack(pack, filters::kDVPackAudioSource, static_cast<std::uint8_t>(0xC0 | afSize), 0x00,
                          pal ? 0xE0 : 0xC0, static_cast<std::uint8_t>(0xC0 | (code->Smp << 3)));
            } else if (i == first + 1) {
                WritePack(pack, 0x51, 0x33, 0xCF, 0xA0, 0xFF);
            }
        }
        for (int i = 0; i < kDIFAudioBlocks; ++i) std::memset(frame.data() + AudioDataOffset(seq, i), 0, kDIFAudioDataBytes);
    }
    if (code == nullptr) return true;
    for (int n = 0; n < samples; ++n) {
        for (int ch = 0; ch < 2; ++ch) {
            const auto v = static_cast<std::uint16_t>(audio[2 * n + ch]);
            std::uint8_t* at = frame.data() + SampleOffset(pal, ch, n);
            at[0] = static_cast<std::uint8_t>(v >> 8);
            at[1] = static_cast<std::uint8_t>(v & 0xFF);
        }
    }
    return true;
}

int DVReadAudio(std::span<const std::uint8_t> frame, std::vector<std::int16_t>& audio, int& rate)
{
    audio.clear();
    rate = 0;
    const bool pal = DVFrameIsPal(frame);
    if (frame.size() < DVFrameBytes(pal)) return 0;
    const auto seq0 = filters::DVSequence(frame, 0);
    const std::int32_t packRate = filters::DVGetAudioRate(seq0);
    const AudioCode* code = FindAudioCode(packRate);
    if (code == nullptr || filters::DVGetAudioBits(seq0) != 16) return 0;
    rate = code->Rate;
    const int afSize = frame[filters::dvofs::kAudioSourcePack + 1] & 0x3F;
    const int samples = std::min((pal ? code->Min625 : code->Min525) + afSize, DVAudioCapacity(pal));
    audio.resize(static_cast<std::size_t>(samples) * 2);
    for (int n = 0; n < samples; ++n) {
        for (int ch = 0; ch < 2; ++ch) {
            const std::uint8_t* at = frame.data() + SampleOffset(pal, ch, n);
            audio[2 * n + ch] = static_cast<std::int16_t>(static_cast<std::uint16_t>((at[0] << 8) | at[1]));
        }
    }
    return samples;
}

bool DVFrameIsPal(std::span<const std::uint8_t> frame) { return filters::DVGetSystem(frame) == filters::kDVSystem625; }

DVINFO DVInfoFromFrame(std::span<const std::uint8_t> frame)
{
    DVINFO info{};
    const std::size_t aauxSource = filters::dvofs::kAudioSourcePack;
    const std::size_t aauxControl = AudioBlockIndex(4) * kDIFBlockBytes + 3;
    // The second channel pair's packs sit in the second half of the frame, first even sequence there.
    const std::size_t half = static_cast<std::size_t>(DVSequences(DVFrameIsPal(frame)) / 2);
    const std::size_t second = (half % 2 == 0 ? half : half + 1) * filters::kDVSequenceBytes;
    info.dwDVAAuxSrc = PayloadDword(frame, aauxSource);
    info.dwDVAAuxCtl = PayloadDword(frame, aauxControl);
    info.dwDVAAuxSrc1 = PayloadDword(frame, second + aauxSource);
    info.dwDVAAuxCtl1 = PayloadDword(frame, second + aauxControl);
    info.dwDVVAuxSrc = PayloadDword(frame, filters::dvofs::kSourceControlPack - 5);
    info.dwDVVAuxCtl = PayloadDword(frame, filters::dvofs::kSourceControlPack);
    return info;
}

DVINFO DVDefaultInfo(bool pal, bool wide, int rate)
{
    std::vector<std::uint8_t> frame(DVFrameBytes(pal));
    TDVFrameSpec spec;
    spec.Pal = pal;
    spec.Wide = wide;
    spec.AudioRate = rate;
    std::vector<std::int16_t> silence(static_cast<std::size_t>(DVAudioSamplesPerFrame(pal, rate, 0)) * 2);
    spec.Audio = silence;
    DVBuildFrame(frame, spec);
    return DVInfoFromFrame(frame);
}

void DVMakeInterleavedType(AM_MEDIA_TYPE& mt, bool pal, const DVINFO& info)
{
    mt.majortype = MEDIATYPE_Interleaved;
    mt.subtype = MEDIASUBTYPE_dvsd;
    mt.bFixedSizeSamples = TRUE;
    mt.bTemporalCompression = FALSE;
    mt.lSampleSize = static_cast<ULONG>(DVFrameBytes(pal));
    mt.formattype = FORMAT_DvInfo;
    auto* block = static_cast<DVINFO*>(CoTaskMemAlloc(sizeof(DVINFO)));
    if (block == nullptr) return;
    *block = info;
    mt.pbFormat = reinterpret_cast<BYTE*>(block);
    mt.cbFormat = sizeof(DVINFO);
}

void DVMakeVideoType(AM_MEDIA_TYPE& mt, bool pal)
{
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_dvsd;
    mt.bFixedSizeSamples = TRUE;
    mt.bTemporalCompression = FALSE;
    mt.lSampleSize = static_cast<ULONG>(DVFrameBytes(pal));
    mt.formattype = FORMAT_VideoInfo;
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (vih == nullptr) return;
    std::memset(vih, 0, sizeof(*vih));
    vih->AvgTimePerFrame = DVFrameTime(pal);
    vih->dwBitRate = static_cast<DWORD>(DVFrameBytes(pal) * 8 * (pal ? 25 : 30));
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = 720;
    vih->bmiHeader.biHeight = pal ? 576 : 480;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = MAKEFOURCC('d', 'v', 's', 'd');
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(DVFrameBytes(pal));
    mt.pbFormat = reinterpret_cast<BYTE*>(vih);
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
}

void DVMakePcmType(AM_MEDIA_TYPE& mt, int rate, int channels)
{
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = static_cast<ULONG>(2 * channels);
    mt.formattype = FORMAT_WaveFormatEx;
    auto* wf = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (wf == nullptr) return;
    std::memset(wf, 0, sizeof(*wf));
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = static_cast<WORD>(channels);
    wf->nSamplesPerSec = static_cast<DWORD>(rate);
    wf->wBitsPerSample = 16;
    wf->nBlockAlign = static_cast<WORD>(2 * channels);
    wf->nAvgBytesPerSec = wf->nSamplesPerSec * wf->nBlockAlign;
    mt.pbFormat = reinterpret_cast<BYTE*>(wf);
    mt.cbFormat = sizeof(WAVEFORMATEX);
}

void DVMakePictureType(AM_MEDIA_TYPE& mt, const GUID& subtype, int width, int height, REFERENCE_TIME frameTime)
{
    const bool yuy2 = subtype == MEDIASUBTYPE_YUY2;
    const DWORD bytes = static_cast<DWORD>(width * height * (yuy2 ? 2 : 3));
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    mt.bFixedSizeSamples = TRUE;
    mt.bTemporalCompression = FALSE;
    mt.lSampleSize = bytes;
    mt.formattype = FORMAT_VideoInfo;
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (vih == nullptr) return;
    std::memset(vih, 0, sizeof(*vih));
    vih->AvgTimePerFrame = frameTime;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = yuy2 ? 16 : 24;
    vih->bmiHeader.biCompression = yuy2 ? MAKEFOURCC('Y', 'U', 'Y', '2') : BI_RGB;
    vih->bmiHeader.biSizeImage = bytes;
    mt.pbFormat = reinterpret_cast<BYTE*>(vih);
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
}

bool DVIsInterleavedType(const AM_MEDIA_TYPE& mt)
{
    return mt.majortype == MEDIATYPE_Interleaved && mt.subtype == MEDIASUBTYPE_dvsd &&
           (mt.formattype == FORMAT_DvInfo || mt.formattype == GUID_NULL);
}

bool DVIsVideoType(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Video || mt.subtype != MEDIASUBTYPE_dvsd) return false;
    if (mt.formattype == FORMAT_VideoInfo) return DVVideoHeader(mt) != nullptr;
    return mt.formattype == FORMAT_DvInfo;
}

const VIDEOINFOHEADER* DVVideoHeader(const AM_MEDIA_TYPE& mt)
{
    if (mt.formattype != FORMAT_VideoInfo || mt.pbFormat == nullptr || mt.cbFormat < sizeof(VIDEOINFOHEADER)) {
        return nullptr;
    }
    return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
}

bool DVTypeIsPal(const AM_MEDIA_TYPE& mt)
{
    if (const VIDEOINFOHEADER* vih = DVVideoHeader(mt)) {
        const LONG h = vih->bmiHeader.biHeight < 0 ? -vih->bmiHeader.biHeight : vih->bmiHeader.biHeight;
        return h != 480 && h != 240 && h != 120 && h != 60;
    }
    if (mt.lSampleSize == filters::kDVFrameBytes525) return false;
    if (mt.lSampleSize == filters::kDVFrameBytes625) return true;
    if (mt.formattype == FORMAT_DvInfo && mt.pbFormat != nullptr && mt.cbFormat >= sizeof(DVINFO)) {
        // VAUX source pack, byte 3 bit 5: the 50-field flag.
        return (reinterpret_cast<const DVINFO*>(mt.pbFormat)->dwDVVAuxSrc & 0x00200000) != 0;
    }
    return true;
}

}  // namespace standins
