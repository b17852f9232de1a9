#include "engine/avi_frame_rate.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "classlib/format.h"
#include "unicode/wide_files.h"

namespace engine {

namespace {

constexpr std::uint32_t kRate = 1000000;
constexpr std::uint32_t kStreamHeaderBytes = 56;
constexpr std::uint32_t kHandlerAt = 4;
constexpr std::uint32_t kScaleAt = 20;
constexpr std::uint32_t kRateAt = 24;
// Containers nested deeper than this are passed over whole: a hostile file cannot exhaust the stack.
constexpr int kMaxDepth = 64;

constexpr std::uint32_t FourCC(const char (&s)[5])
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[0])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[3])) << 24;
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Lets the application's pending window messages through, as the main loop would; a quit request
// is put back for the main loop to see.
void ProcessPendingMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// One walk over a RIFF file. Sizes are unsigned 32-bit values and positions 64-bit, so chunks of
// 2 GiB and more and OpenDML files past 4 GiB are walked forwards; any short read stops the whole
// walk, at every level.
class TAviWalker {
public:
    explicit TAviWalker(classlib::TStream& Stream) : stream_(Stream) {}

    TAviScanResult Run()
    {
        fileSize_ = stream_.Seek(0, classlib::TSeekOrigin::soEnd);
        if (fileSize_ < 0 || stream_.Seek(0, classlib::TSeekOrigin::soBeginning) != 0) {
            result_.WalkStopped = true;
            return result_;
        }
        pos_ = 0;
        std::int64_t remaining = fileSize_;
        while (remaining > 0) {
            const std::uint64_t n = Walk(0, true);
            if (result_.WalkStopped || n == 8) break;
            remaining -= static_cast<std::int64_t>(n);
        }
        return result_;
    }

private:
    bool ReadExact(void* buffer, std::uint32_t count)
    {
        if (count == 0) return true;
        const std::int32_t got = stream_.Read(buffer, static_cast<std::int32_t>(count));
        if (got > 0) pos_ += got;
        if (got != static_cast<std::int32_t>(count)) {
            result_.WalkStopped = true;
            return false;
        }
        return true;
    }

    void Skip(std::uint64_t count)
    {
        if (count == 0) return;
        const std::int64_t target = pos_ + static_cast<std::int64_t>(count);
        if (stream_.Seek(static_cast<std::int64_t>(count), classlib::TSeekOrigin::soCurrent) != target) {
            result_.WalkStopped = true;
            return;
        }
        pos_ = target;
    }

    // Walks the chunk at the current position; answers its length with the 8-byte header (0 when
    // its header could not be read).
    std::uint64_t Walk(int level, bool topLevel)
    {
        ProcessPendingMessages();
        std::uint8_t header[8];
        if (!ReadExact(header, 8)) return 0;
        const std::uint32_t id = Le32(header);
        if (topLevel && id != FourCC("RIFF")) return 8;

        std::uint64_t size = Le32(header + 4);
        size += size & 1;  // the pad byte of an odd size
        if (pos_ + static_cast<std::int64_t>(size) > fileSize_) size = static_cast<std::uint64_t>(fileSize_ - pos_);
        const std::uint64_t result = size + 8;
        if (size == 0) return result;

        if (id == FourCC("RIFF") || id == FourCC("LIST")) {
            std::uint8_t type[4];
            if (size < 4) {
                Skip(size);  // too small for a form type: nothing inside to walk
                return result;
            }
            if (!ReadExact(type, 4)) return result;
            size -= 4;
            if (Le32(type) == FourCC("movi") || level >= kMaxDepth) {
                Skip(size);
                return result;
            }
            while (size > 7) {
                const std::uint64_t n = Walk(level + 1, false);
                if (result_.WalkStopped || n > size) return result;
                size -= n;
            }
        } else if (id == FourCC("strh")) {
            // Only as much of the header as the chunk holds is read; dwScale and dwRate are
            // recorded only when they lie inside it.
            std::uint8_t strh[kStreamHeaderBytes];
            const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, kStreamHeaderBytes));
            const std::int64_t payload = pos_;
            if (!ReadExact(strh, want)) return result;
            size -= want;
            const std::uint32_t type = want >= 4 ? Le32(strh) : 0;
            const bool video = type == FourCC("vids");
            const bool interleaved = type == FourCC("iavs");
            result_.StreamKind = video         ? kAviStreamVideo
                                 : interleaved ? kAviStreamInterleaved
                                 : type == FourCC("auds") ? kAviStreamAudio
                                                          : kAviStreamOther;
            if ((video || interleaved) && want >= kRateAt + 4) {
                result_.Found = true;
                result_.HandlerOffset = payload + kHandlerAt;
                result_.ScaleOffset = payload + kScaleAt;
                result_.RateOffset = payload + kRateAt;
            }
        } else if (id == FourCC("avih")) {
            // The file's own main header comes first; one met later is passed over.
            if (result_.FrameTimeOffset < 0 && size >= 4) result_.FrameTimeOffset = pos_;
        } else if (id == FourCC("idx1")) {
            Skip(size);
            return result;
        }
        // Stream formats and index chunks ("indx", "ix##") hold nothing the patch uses, nor does the
        // main header beyond its frame time: they are passed by their own size.
        Skip(size);
        ProcessPendingMessages();
        return result;
    }

    classlib::TStream& stream_;
    std::int64_t fileSize_ = 0;
    std::int64_t pos_ = 0;
    TAviScanResult result_;
};

}  // namespace

std::uint32_t AviScaleForFps(double Fps)
{
    if (!(Fps > 0.0) || !std::isfinite(Fps)) {
        throw EAviFrameRateError(std::isfinite(Fps) ? classlib::Format(L"Invalid frame rate: %g", {Fps})
                                                    : std::wstring(L"Invalid frame rate"));
    }
    // Rounded to the nearest integer, halves to even (the default rounding mode).
    const double scale = std::nearbyint(static_cast<double>(kRate) / Fps);
    if (scale < 1.0 || scale > 4294967295.0)
        throw EAviFrameRateError(classlib::Format(L"Invalid frame rate: %g", {Fps}));
    return static_cast<std::uint32_t>(scale);
}

TAviScanResult ScanAviStream(classlib::TStream& Stream)
{
    return TAviWalker(Stream).Run();
}

TAviScanResult ScanAviFile(const std::wstring& FileName)
{
    if (!unicode::WideFileExists(FileName)) return {};
    unicode::TUcFileStream stream(FileName, classlib::fmOpenRead | classlib::fmShareDenyNone);
    return ScanAviStream(stream);
}

namespace {

void WriteAt(classlib::TStream& Stream, std::int64_t at, const std::uint8_t* bytes, std::int32_t count)
{
    if (Stream.Seek(at, classlib::TSeekOrigin::soBeginning) != at) throw classlib::EWriteError(L"Stream write error");
    Stream.WriteBuffer(bytes, count);  // a short write raises
}

// dwScale, then dwRate right after it; then the main header's frame time, which with a rate of
// 1,000,000 is the scale itself: players that go by the main header see the same rate.
void PatchScaleAndRate(classlib::TStream& Stream, const TAviScanResult& found, std::uint32_t scale)
{
    const std::uint8_t bytes[8] = {
        static_cast<std::uint8_t>(scale),       static_cast<std::uint8_t>(scale >> 8),
        static_cast<std::uint8_t>(scale >> 16), static_cast<std::uint8_t>(scale >> 24),
        static_cast<std::uint8_t>(kRate),       static_cast<std::uint8_t>(kRate >> 8),
        static_cast<std::uint8_t>(kRate >> 16), static_cast<std::uint8_t>(kRate >> 24)};
    static_assert(kRate == 1000000, "the frame time in microseconds is the scale only at this rate");
    WriteAt(Stream, found.ScaleOffset, bytes, 8);
    if (found.FrameTimeOffset >= 0) WriteAt(Stream, found.FrameTimeOffset, bytes, 4);
}

}  // namespace

void SetAviFrameRate(const std::wstring& FileName, double Fps)
{
    const std::uint32_t scale = AviScaleForFps(Fps);
    const TAviScanResult found = ScanAviFile(FileName);
    if (!found.Found) return;
    unicode::TUcFileStream stream(FileName, classlib::fmOpenReadWrite | classlib::fmShareDenyNone);
    PatchScaleAndRate(stream, found, scale);
}

void SetAviStreamFrameRate(classlib::TStream& Stream, double Fps)
{
    const std::uint32_t scale = AviScaleForFps(Fps);
    const TAviScanResult found = ScanAviStream(Stream);
    if (found.Found) PatchScaleAndRate(Stream, found, scale);
}

}  // namespace engine
