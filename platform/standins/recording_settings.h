// Test-only settings of the recording stand-ins (the writers, coders and test devices), read from
// the registry of the test prefix. They hold for one process only, so that a test that makes a full
// disk cannot touch the recordings of a test running beside it:
//   HKEY_CURRENT_USER\Software\Quillotrane\Test Recording\<process id>
//     Started    QWORD  the process's creation time (FILETIME); a key whose time differs belongs to
//                       an earlier process with the same id and is ignored
//     RIFF part  QWORD  the largest size of one RIFF part of an AVI file, in bytes (at least 64 KiB)
//     Byte limit QWORD  the file writer's writes fail with ERROR_DISK_FULL past this many bytes
//     Short writes QWORD  not 0: past the byte limit, the write that crosses it first answers
//                       success with the bytes that fit, as Wine's WriteFile does on a full file
//                       system; only the writes after it fail
//     MPEG stand-ins refuse QWORD  not 0: the MPEG audio encoder and program-stream multiplexer
//                       stand-ins refuse every type, as if they were not there (tests of the
//                       native MPEG builder's candidate loops over test doubles alone)
//     Sound inputs busy QWORD  not 0: the audio capture filter finds its input taken by another
//                       program when a stream would start (waveInOpen's MMSYSERR_ALLOCATED); a
//                       value N above 1 lets the first N - 1 starts after it was set through
//     Kill after writes QWORD  the process ends at once (as killed) when the file writer has made
//                       a recording's file (0) or written into it this many times
//     Sound gives nothing QWORD  not 0: the test microphone's stream runs but gives no sound at
//                       all (no buffer ever comes), as an input whose driver delivers nothing
//     Lost pictures QWORD  N, at least 3: the test camera and the DV camcorder lose pictures as a
//                       busy machine makes them lose them, the last of every N they take, every
//                       second time the last two (steps of 2 and 3 in the camera's frame numbers and
//                       the camcorder's timecodes), and count them dropped
//     Picture interval QWORD  T, 500 to 100000: the test camera and the DV camcorder keep a
//                       clock of their own, as a real camera does, and give a picture every T
//                       thousandths of the frame time their format states (1500: a camera stating
//                       25 a second that gives 16.7)
//     Picture jitter QWORD  J, at most 500: their pictures' stamps stray from that clock by up to J
//                       thousandths of the stated frame time either way (never more than half the
//                       time between two pictures), as a USB camera's do on a busy machine
//     Pictures unstamped QWORD  not 0: the DV camcorder's pictures carry no time stamps; its
//                       stream control, which acts on stamps alone, then never stops them nor
//                       tells a stop
//     Stop untold QWORD  not 0: the DV camcorder's stream control takes a stop and discards from
//                       its time on, but sends neither the one picture more asked for nor the
//                       graph's word that it stopped (no picture comes at all after the stop time)
//     No stream control QWORD  not 0: the DV camcorder's capture pin offers no stream control
//     Picture times BINARY  made empty by a test: the test DV camcorder adds, for the first
//                       picture of each of its runs (a run of pictures by its clock, the tape going
//                       on by one frame each), its timecode as a 64-bit frame count and the system
//                       time it was taken at (FILETIME), so that the test tells when any picture of
//                       the run was taken
//     Pictures lost BINARY  made empty by a test: the test DV camcorder adds the timecode of each
//                       frame it loses, there or on a busy machine, as a 64-bit frame count, so
//                       that the test tells the pictures lost before the program from any it lost
//     Sound lost  BINARY  made empty by a test: the audio capture filter adds the length (100 ns
//                       units) of each stretch of silence it puts in for sound its input never
//                       gave (a busy machine's sound system lost it), for the same telling
//     Writer shares nothing QWORD  not 0: the file writer opens a run's file sharing it with
//                       nobody (no reading either), as writers of other systems may
#pragma once

#include <windows.h>

#include <strmif.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace standins {

inline constexpr wchar_t kTestRecordingKey[] = L"Software\\Quillotrane\\Test Recording";
inline constexpr wchar_t kTestStartedValue[] = L"Started";
inline constexpr wchar_t kTestRiffPartValue[] = L"RIFF part";
inline constexpr wchar_t kTestByteLimitValue[] = L"Byte limit";
inline constexpr wchar_t kTestShortWritesValue[] = L"Short writes";
inline constexpr wchar_t kTestMpegRefuseValue[] = L"MPEG stand-ins refuse";
inline constexpr wchar_t kTestSoundInputsBusyValue[] = L"Sound inputs busy";
inline constexpr wchar_t kTestKillAfterWritesValue[] = L"Kill after writes";
inline constexpr wchar_t kTestLostPicturesValue[] = L"Lost pictures";
inline constexpr wchar_t kTestPictureIntervalValue[] = L"Picture interval";
inline constexpr wchar_t kTestPictureJitterValue[] = L"Picture jitter";
inline constexpr wchar_t kTestSoundGivesNothingValue[] = L"Sound gives nothing";
inline constexpr wchar_t kTestPicturesLostValue[] = L"Pictures lost";
inline constexpr wchar_t kTestSoundLostValue[] = L"Sound lost";
inline constexpr wchar_t kTestWriterSharesNothingValue[] = L"Writer shares nothing";
inline constexpr wchar_t kTestPicturesUnstampedValue[] = L"Pictures unstamped";
inline constexpr wchar_t kTestStopUntoldValue[] = L"Stop untold";
inline constexpr wchar_t kTestNoStreamControlValue[] = L"No stream control";
inline constexpr wchar_t kTestPictureTimesValue[] = L"Picture times";
inline constexpr std::uint64_t kMinTestRiffPart = 64 * 1024;

// The key of the current process (under HKEY_CURRENT_USER), the creation time stored in "Started",
// and a value for this process: there when the key is this process's own and the value a QWORD.
inline std::wstring TestRecordingKeyOfThisProcess()
{
    return std::wstring(kTestRecordingKey) + L"\\" + std::to_wstring(GetCurrentProcessId());
}

inline std::uint64_t ThisProcessStarted()
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

namespace detail {

inline std::optional<std::uint64_t> ReadQword(HKEY key, const wchar_t* name)
{
    DWORD type = 0;
    std::uint64_t value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_QWORD || size != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace detail

// This process's key opened with Access, or nullptr when the key is another process's or missing.
inline HKEY OpenTestRecordingKey(REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TestRecordingKeyOfThisProcess().c_str(), 0, access | KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    const std::optional<std::uint64_t> started = detail::ReadQword(key, kTestStartedValue);
    if (!started || *started != ThisProcessStarted()) {
        RegCloseKey(key);
        return nullptr;
    }
    return key;
}

inline std::optional<std::uint64_t> TestRecordingSetting(const wchar_t* name)
{
    HKEY key = OpenTestRecordingKey(KEY_READ);
    if (key == nullptr) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> result = detail::ReadQword(key, name);
    RegCloseKey(key);
    return result;
}

// Whether the test keeps a list under Name for this process (a binary value it made).
inline bool TestRecordingListKept(const wchar_t* name)
{
    HKEY key = OpenTestRecordingKey(KEY_QUERY_VALUE);
    DWORD type = 0;
    const bool kept = key != nullptr && RegQueryValueExW(key, name, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
                      type == REG_BINARY;
    if (key != nullptr) RegCloseKey(key);
    return kept;
}

// Adds Values to the list the test keeps under Name (nothing when it keeps none).
inline void AddToTestRecordingList(const wchar_t* name, std::span<const std::int64_t> values)
{
    HKEY key = OpenTestRecordingKey(KEY_SET_VALUE);
    if (key == nullptr) return;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_BINARY) {
        std::vector<std::int64_t> list((size / sizeof(std::int64_t)) + values.size());
        DWORD read = size;
        if (size == 0 || RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(list.data()), &read) ==
                             ERROR_SUCCESS) {
            std::copy(values.begin(), values.end(), list.begin() + static_cast<std::ptrdiff_t>(size / sizeof(std::int64_t)));
            RegSetValueExW(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(list.data()),
                           static_cast<DWORD>(list.size() * sizeof(std::int64_t)));
        }
    }
    RegCloseKey(key);
}

// The test's crash ("Kill after writes"): the process ends, as a crash or a power cut ends it, once
// a recording's file is made (Begin) and has been written so many times (Wrote).
class TTestKill {
public:
    void Begin()
    {
        after_ = TestRecordingSetting(kTestKillAfterWritesValue);
        writes_ = 0;
        Check();
    }
    void Wrote()
    {
        ++writes_;
        Check();
    }

private:
    void Check() const
    {
        if (after_ && writes_ >= *after_) {
            TerminateProcess(GetCurrentProcess(), 9);
        }
    }
    std::optional<std::uint64_t> after_;
    std::uint64_t writes_ = 0;
};

// Whether the test's lost pictures ("Lost pictures" = Every) take the one numbered N.
inline bool TestLosesPicture(std::int64_t n, std::uint64_t every)
{
    const auto e = static_cast<std::int64_t>(every <= 1000000 ? every : 0);
    return e >= 3 && n >= 0 && (n % e == e - 1 || n % (2 * e) == 2 * e - 2);
}

// The clock a test device takes its pictures by ("Picture interval", "Picture jitter"): picture N
// at N intervals from the stream's start, stamped up to the jitter before or after it by a pattern
// of N's own; without the settings every stated frame time, exactly.
class TTestPictureClock {
public:
    explicit TTestPictureClock(REFERENCE_TIME frameTime = 1) : interval_(std::max<REFERENCE_TIME>(frameTime, 1)) {}

    // The clock this process's test gives a device whose format states FrameTime.
    static TTestPictureClock Read(REFERENCE_TIME frameTime)
    {
        TTestPictureClock clock(frameTime);
        const std::optional<std::uint64_t> interval = TestRecordingSetting(kTestPictureIntervalValue);
        if (interval && *interval >= 500 && *interval <= 100000) {
            clock.interval_ = std::max<REFERENCE_TIME>(frameTime * static_cast<REFERENCE_TIME>(*interval) / 1000, 1);
        }
        const std::optional<std::uint64_t> jitter = TestRecordingSetting(kTestPictureJitterValue);
        if (jitter && *jitter <= 500) {
            // Never more than half an interval: the stamps still follow each other.
            clock.jitter_ = std::min(frameTime * static_cast<REFERENCE_TIME>(*jitter) / 1000, clock.interval_ / 2);
        }
        return clock;
    }

    REFERENCE_TIME Interval() const { return interval_; }
    // How far picture N's stamp strays from the clock, within the jitter.
    REFERENCE_TIME Jitter(std::int64_t n) const
    {
        if (jitter_ <= 0) {
            return 0;
        }
        std::uint64_t h = static_cast<std::uint64_t>(n) * 0x9E3779B97F4A7C15ull;
        h = (h ^ (h >> 31)) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 29;
        return static_cast<REFERENCE_TIME>(h % static_cast<std::uint64_t>(2 * jitter_ + 1)) - jitter_;
    }
    // Picture N's stamp, never before the stream's start.
    REFERENCE_TIME At(std::int64_t n) const { return std::max<REFERENCE_TIME>(n * interval_ + Jitter(n), 0); }
    // The picture the clock takes at T, or the last one before it.
    std::int64_t Before(REFERENCE_TIME t) const { return t > 0 ? t / interval_ : 0; }

private:
    REFERENCE_TIME interval_;
    REFERENCE_TIME jitter_ = 0;
};

// The MPEG stand-ins' refusal for this process (see above).
inline bool MpegStandinsRefuse()
{
    const std::optional<std::uint64_t> refuse = TestRecordingSetting(kTestMpegRefuseValue);
    return refuse && *refuse != 0;
}

}  // namespace standins
