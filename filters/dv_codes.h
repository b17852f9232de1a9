// DV frame parsing: reads the timecode, recording date and time, system, audio format and 16:9 flag
// out of the auxiliary packs of a consumer DV frame, forces the 16:9 flag, and describes one frame in
// a TDVInfoRec (the record the scene detector keeps per frame and hands to its scene callback).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace filters {

// A DV frame is a run of 12,000-byte DIF sequences: 10 for 525/60, 12 for 625/50.
constexpr std::size_t kDVSequenceBytes = 12000;
constexpr int kDVSequences525 = 10;
constexpr int kDVSequences625 = 12;
constexpr std::size_t kDVFrameBytes525 = kDVSequences525 * kDVSequenceBytes;  // 120,000
constexpr std::size_t kDVFrameBytes625 = kDVSequences625 * kDVSequenceBytes;  // 144,000
// A frame's time in 100 ns units: 25 frames a second, 29.97.
constexpr std::int64_t kDVFrameTime625 = 400000;
constexpr std::int64_t kDVFrameTime525 = 333667;

// Byte offsets inside one DIF sequence.
namespace dvofs {
constexpr std::size_t kDSF = 3;               // header block: 0xBF 625/50, 0x3F 525/60
constexpr std::size_t kAP3 = 7;               // header block: bits 0-2 AP3
constexpr std::size_t kTimecodePack1 = 110;   // first subcode block, fourth sync block: 0x13
constexpr std::size_t kTimecodeFrames = 111;
constexpr std::size_t kTimecodeSeconds = 112;
constexpr std::size_t kTimecodeMinutes = 113;
constexpr std::size_t kTimecodeHours = 114;
constexpr std::size_t kTimecodePack2 = 190;   // second subcode block: 0x13 as well
constexpr std::size_t kSourceControlPack = 453;  // VAUX 0x61
constexpr std::size_t kSourceControlDisp = 455;  // bits 0-2 DISP
constexpr std::size_t kRecDatePack = 458;     // VAUX 0x62 or 0
constexpr std::size_t kRecDateDay = 460;
constexpr std::size_t kRecDateMonth = 461;
constexpr std::size_t kRecDateYear = 462;
constexpr std::size_t kRecTimePack = 463;     // VAUX 0x63 or 0
constexpr std::size_t kRecTimeSeconds = 465;
constexpr std::size_t kRecTimeMinutes = 466;
constexpr std::size_t kRecTimeHours = 467;
constexpr std::size_t kAudioSourcePack = 4323;  // AAUX 0x50
constexpr std::size_t kAudioSourceByte4 = 4327;  // bits 3-5 sampling frequency, bits 0-2 quantisation
}  // namespace dvofs

constexpr std::uint8_t kDVPackTimecode = 0x13;
constexpr std::uint8_t kDVPackSourceControl = 0x61;
constexpr std::uint8_t kDVPackRecDate = 0x62;
constexpr std::uint8_t kDVPackRecTime = 0x63;
constexpr std::uint8_t kDVPackAudioSource = 0x50;

// System codes of TDVInfoRec::System and DVGetSystem.
constexpr std::uint8_t kDVSystem625 = 0;
constexpr std::uint8_t kDVSystem525 = 1;
constexpr std::uint8_t kDVSystemUnknown = 2;

struct TDVTimecode {
    std::uint8_t Hours = 0;  // 255 when the sequence has no timecode pack
    std::uint8_t Minutes = 0;
    std::uint8_t Seconds = 0;
    std::uint8_t Frames = 0;
};

struct TDVRecDate {
    std::int32_t Year = -1;  // -1: the sequence's date or time pack header is neither its own code nor 0
    std::uint8_t Month = 0;
    std::uint8_t Day = 0;
    std::uint8_t Hour = 0;
    std::uint8_t Minute = 0;
    std::uint8_t Second = 0;
};

// The description of one DV frame. A plain value: copied whole and passed by reference.
struct TDVInfoRec {
    std::uint32_t FrameNumber = 0;  // frames handled by the scene detector since it started
    bool DateValid = false;         // recording date and time found and a real date and time
    bool TimecodeValid = false;     // a timecode pack was found
    bool StreamValid = false;       // timecode, source control and audio source packs present
    double Date = 0.0;              // days since 30 December 1899; meaningful only when DateValid
    TDVTimecode Timecode;           // meaningful only when TimecodeValid
    bool Wide = false;              // marked 16:9
    std::uint8_t System = kDVSystemUnknown;  // kDVSystem625, kDVSystem525 or kDVSystemUnknown
    std::int32_t AudioRate = -1;    // 48000, 44100, 32000; 0 other code; -1 no audio source pack
    std::int32_t AudioBits = -1;    // 16, 12; 0 other code; -1 no audio source pack
    std::int64_t FrameIndex = 0;    // FrameNumber when the record was filled
    bool Filled = false;            // set on every record the scene detector fills
};

// The scene detector's callback: (first frame of the scene that ends, current frame).
using TSceneCallback = void (*)(const TDVInfoRec& SceneStart, const TDVInfoRec& Current);

// Every reader takes the bytes it may look at: a byte past the end of the buffer is never read and
// counts as absent (a frame shorter than the offsets gives the "absent" answers below).

// Timecode of sequence Sequence; Hours = 255 when byte 110 or byte 190 is not 0x13.
TDVTimecode DVReadTimecode(std::span<const std::uint8_t> Frame, int Sequence);
// Recording date and time of sequence Sequence; Year = -1 (and nothing else set) when the date
// pack header is neither 0x62 nor 0, or the time pack header neither 0x63 nor 0. Years below 40
// are 20xx, others 19xx.
TDVRecDate DVReadRecDate(std::span<const std::uint8_t> Frame, int Sequence);
// True when the sequence (its base first) carries a source-control pack.
bool DVHasSourceControl(std::span<const std::uint8_t> Sequence);
// By byte 3 of the frame: 0 for 625/50, 1 for 525/60, 2 for anything else.
std::uint8_t DVGetSystem(std::span<const std::uint8_t> Frame);
// -1 without an audio source pack; 48000, 44100, 32000, or 0 for another code.
std::int32_t DVGetAudioRate(std::span<const std::uint8_t> Sequence);
// -1 without an audio source pack; 16, 12, or 0 for another code.
std::int32_t DVGetAudioBits(std::span<const std::uint8_t> Sequence);
// The 16:9 flag of the first of sequences 0..9 that carries a source-control pack.
bool DVIsWide(std::span<const std::uint8_t> Frame);
// Marks sequence Sequence 16:9 (source-control pack with the display code its AP3 calls for).
// Does nothing when the sequence's bytes lie outside the buffer.
void DVForceWide(std::span<std::uint8_t> Frame, int Sequence);

// The bytes of sequence Sequence that the buffer holds (empty when it starts past the end).
std::span<const std::uint8_t> DVSequence(std::span<const std::uint8_t> Frame, int Sequence);

// Fills Rec from one frame by the per-frame procedure: recording date, timecode (kept from the
// previous content when none is found), audio rate and bits, FrameIndex, the 16:9 flag, system and
// StreamValid. FrameNumber and Filled are the caller's.
void DVFillInfoRec(TDVInfoRec& Rec, std::span<const std::uint8_t> Frame);

}  // namespace filters
