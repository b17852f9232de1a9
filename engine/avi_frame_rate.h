// The AVI frame-rate patcher: finds the video (or interleaved DV) stream header of a finished AVI
// file and overwrites its time scale and rate in place, and the main header's frame time with them,
// so that an image-by-image recording plays at the chosen frame rate. It walks chunk headers only
// and lets window messages through meanwhile.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/exceptions.h"
#include "classlib/streams.h"

namespace engine {

// A frame rate the patcher refuses: 0 or below, not a number, or one whose scale does not fit a
// stream header (below about 0.00023 or from 2,000,000 frames per second on).
class EAviFrameRateError : public classlib::Exception {
public:
    using classlib::Exception::Exception;
};

// Stream kinds of the last stream header read.
constexpr std::uint8_t kAviStreamVideo = 0;        // "vids"
constexpr std::uint8_t kAviStreamAudio = 1;        // "auds"
constexpr std::uint8_t kAviStreamInterleaved = 2;  // "iavs"
constexpr std::uint8_t kAviStreamOther = 3;

// What one walk of a file found. Offsets are file offsets of the last "vids" or "iavs" stream
// header's fccHandler, dwScale and dwRate, and of the first main header's dwMicroSecPerFrame; -1
// when none was found.
struct TAviScanResult {
    bool Found = false;
    std::int64_t HandlerOffset = -1;
    std::int64_t ScaleOffset = -1;
    std::int64_t RateOffset = -1;
    std::int64_t FrameTimeOffset = -1;
    std::uint8_t StreamKind = kAviStreamOther;
    bool WalkStopped = false;  // a read came back short and the walk ended there
};

// Writes the frame rate Fps into the file's video or interleaved stream header as dwScale =
// round(1,000,000 / Fps) (halves to even) and dwRate = 1,000,000, then the same frame time in
// microseconds into the main header's dwMicroSecPerFrame, so that the two agree; every other byte
// stays. A file that does not exist, is not RIFF or has no such stream header is left unchanged. Raises
// EAviFrameRateError for a refused frame rate (before touching the file) and the file stream's
// error when the file cannot be opened.
void SetAviFrameRate(const std::wstring& FileName, double Fps);

// The same on a stream open for reading and writing: walked from its start and patched in place.
// A write that does not take all its bytes raises the stream's write error.
void SetAviStreamFrameRate(classlib::TStream& Stream, double Fps);

// The dwScale written for Fps; raises EAviFrameRateError for a refused frame rate.
std::uint32_t AviScaleForFps(double Fps);

// Read-only walk of a file (nothing found when it does not exist) or of a stream from its start.
TAviScanResult ScanAviFile(const std::wstring& FileName);
TAviScanResult ScanAviStream(classlib::TStream& Stream);

}  // namespace engine
