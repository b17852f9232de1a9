// Consumer DV frames for the DV stand-ins: writes whole DIF sequences (header, subcode, VAUX, audio and
// video blocks, the picture itself coded by dv_picture) with their packs, reads the stand-ins' own audio
// back, and builds the media types of the DV pins (interleaved, dvsd video, PCM sound).
#pragma once

#include <windows.h>
#include <dshow.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "filters/dv_codes.h"

namespace standins {

constexpr std::size_t kDIFBlockBytes = 80;
constexpr int kDIFBlocksPerSequence = 150;
constexpr int kDIFAudioBlocks = 9;        // per sequence
constexpr int kDIFAudioDataBytes = 72;    // per audio block, after its ID and AAUX pack
using filters::kDVFrameTime525;
using filters::kDVFrameTime625;

struct TDVDateTime {
    int Year = 2000;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};

// What one frame carries. Audio is interleaved stereo 16-bit; its length / 2 is the sample count
// (clipped to what the frame holds).
struct TDVFrameSpec {
    bool Pal = true;
    bool Wide = false;
    std::optional<TDVDateTime> RecDate;       // none: the date and time packs say "no information"
    std::optional<filters::TDVTimecode> Timecode;  // none: no timecode packs
    bool DropFrame = false;                   // 525/60 drop-frame timecode flag
    int AudioRate = 48000;                    // 48000, 44100 or 32000; 0 writes no audio packs
    std::span<const std::int16_t> Audio;
};

std::size_t DVFrameBytes(bool pal);
REFERENCE_TIME DVFrameTime(bool pal);
int DVSequences(bool pal);
// Audio samples of frame FrameIndex at Rate: 48 kHz on 525/60 follows the 1600, 1602 x 4 pattern.
int DVAudioSamplesPerFrame(bool pal, int rate, std::int64_t frameIndex);
// Largest sample count one channel's half of the frame holds.
int DVAudioCapacity(bool pal);

// Timecode of the Count-th frame from 0:00:00:00: 25 frames a second, or 525/60 drop-frame counting.
filters::TDVTimecode DVTimecodeOfCount(bool pal, std::int64_t count);

// Writes a whole frame into Frame, which must hold DVFrameBytes(spec.Pal) bytes (else nothing is written
// and the answer is false).
bool DVBuildFrame(std::span<std::uint8_t> frame, const TDVFrameSpec& spec);

// Writes the AAUX packs and the samples of interleaved stereo Audio (Rate 0: "no information" packs and
// silence). The system comes from the frame's header byte. False when the frame is not a whole DV frame.
bool DVWriteAudio(std::span<std::uint8_t> frame, int rate, std::span<const std::int16_t> audio);
// Reads the samples our frames carry into Audio (interleaved stereo) and the rate; 0 samples when the
// frame is short, has no audio source pack, or carries a width other than 16 bits.
int DVReadAudio(std::span<const std::uint8_t> frame, std::vector<std::int16_t>& audio, int& rate);

// The system of a frame by its header byte, also for a short buffer: true for 625/50.
bool DVFrameIsPal(std::span<const std::uint8_t> frame);

// DVINFO from the packs of a frame (the AAUX source and control packs, the VAUX source and control packs).
DVINFO DVInfoFromFrame(std::span<const std::uint8_t> frame);
// DVINFO of a frame made by DVBuildFrame with the given system, 16:9 flag and rate.
DVINFO DVDefaultInfo(bool pal, bool wide = false, int rate = 48000);

// Media types. Each frees nothing: the caller gives an empty (initialised) record.
void DVMakeInterleavedType(AM_MEDIA_TYPE& mt, bool pal, const DVINFO& info);
void DVMakeVideoType(AM_MEDIA_TYPE& mt, bool pal);
void DVMakePcmType(AM_MEDIA_TYPE& mt, int rate, int channels);
// RGB24 or YUY2 picture of Width x Height.
void DVMakePictureType(AM_MEDIA_TYPE& mt, const GUID& subtype, int width, int height, REFERENCE_TIME frameTime);

// The DV types the stand-ins take: interleaved DV, or dvsd video (format VideoInfo or DvInfo).
bool DVIsInterleavedType(const AM_MEDIA_TYPE& mt);
bool DVIsVideoType(const AM_MEDIA_TYPE& mt);
// The system a DV type describes: by the sample size, the picture height or the DVINFO source pack.
bool DVTypeIsPal(const AM_MEDIA_TYPE& mt);
// The video header of a VideoInfo type, or nullptr when the format block is missing or short.
const VIDEOINFOHEADER* DVVideoHeader(const AM_MEDIA_TYPE& mt);

}  // namespace standins
