// The main window's recording actions under Wine with the stand-in devices: the time from the
// capture action to the first video frame in the file, and from the stop action to a closed,
// readable file, for DV type 2 (format 2, the DV camcorder), DV re-encoded (format 6) and DivX
// (format 9, Xvid with MP3 sound) from the test camera and microphone; then the frames lost in a
// long DV re-encoded recording.
//   bench_recording_ui.exe [seconds] [rounds]
//     seconds  length of the long recording (default 60)
//     rounds   starts and stops per format (default 5); the medians are checked
// Prints "figure <case> <value>" lines; exits 1 when a target is missed (500 ms for each action,
// no frame lost) or when a file is not read back whole.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "ffprobe_helpers.h"
#include "settings/settings_catalogue.h"
#include "tests/recording_ui/recording_window.h"

namespace {

using bench::Now;
using recording_ui::TRecordingWindow;

constexpr double kActionTargetMs = 500.0;
// How long an action's effects are watched for.
constexpr double kWatchLimitMs = 5000.0;

std::uint32_t Le32(const std::string& Bytes, std::size_t At) {
    std::uint32_t value = 0;
    std::memcpy(&value, Bytes.data() + At, sizeof(value));
    return value;
}

// The file's size and its first Most bytes, read beside the writer; false when it cannot be opened.
bool ReadHead(const std::wstring& File, std::size_t Most, std::string& Head, std::uint64_t& Size,
              DWORD Share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) {
    HANDLE h = CreateFileW(File.c_str(), GENERIC_READ, Share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    Size = static_cast<std::uint64_t>(size.QuadPart);
    Head.assign(static_cast<std::size_t>(std::min<std::uint64_t>(Size, Most)), '\0');
    DWORD read = 0;
    const bool ok = Head.empty() || ReadFile(h, Head.data(), static_cast<DWORD>(Head.size()), &read, nullptr);
    CloseHandle(h);
    Head.resize(ok ? read : 0);
    return ok;
}

// A whole video chunk stands in the file's "movi" list.
bool FirstVideoFrameWritten(const std::wstring& File) {
    std::string head;
    std::uint64_t size = 0;
    if (!ReadHead(File, 1 << 20, head, size)) return false;
    const std::size_t movi = head.find("movi");
    if (movi == std::string::npos || movi < 8 || head.compare(movi - 8, 4, "LIST") != 0) return false;
    std::size_t at = movi + 4;
    while (at + 8 <= head.size()) {
        const std::string id = head.substr(at, 4);
        const std::uint32_t bytes = Le32(head, at + 4);
        if (id == "LIST") {
            at += 12;
            continue;
        }
        if (id.compare(2, 2, "dc") == 0 || id.compare(2, 2, "db") == 0) return size >= at + 8 + bytes;
        if (bytes == 0 && id == std::string(4, '\0')) return false;  // room not written yet
        at += 8 + bytes + (bytes & 1);
    }
    return false;
}

// Nobody holds the file open any more, its RIFF header covers what is in it (not the placeholder
// of a file still written) and its main header counts its frames.
bool FileClosedWhole(const std::wstring& File) {
    std::string head;
    std::uint64_t size = 0;
    if (!ReadHead(File, 64, head, size, 0) || head.size() < 52 || head.compare(0, 4, "RIFF") != 0 ||
        head.compare(8, 4, "AVI ") != 0 || head.compare(24, 4, "avih") != 0)
        return false;
    const std::uint32_t riff = Le32(head, 4), frames = Le32(head, 48);
    return riff != 0 && riff + 8ull <= size && frames > 0;
}

// What the file of a failed round looks like, for the report.
std::string FileState(const std::wstring& File, int CaptureState) {
    std::string head;
    std::uint64_t size = 0;
    const bool alone = ReadHead(File, 64, head, size, 0);
    if (!alone && !ReadHead(File, 64, head, size)) {
        // What the folder holds instead.
        char part[400];
        std::snprintf(part, sizeof part, "no file to read (error %lu); the folder holds:", GetLastError());
        std::string there = part;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(File).parent_path(), ec)) {
            std::snprintf(part, sizeof part, " %ls (%llu)", entry.path().filename().c_str(),
                          static_cast<unsigned long long>(entry.file_size(ec)));
            there.append(part);
        }
        return there;
    }
    char text[200];
    std::snprintf(text, sizeof text, "%llu bytes, %s, RIFF size %u, frames in the main header %u, capture state %d",
                  static_cast<unsigned long long>(size), alone ? "nobody holds it" : "still held open",
                  head.size() >= 8 ? Le32(head, 4) : 0u, head.size() >= 52 ? Le32(head, 48) : 0u, CaptureState);
    return text;
}

// The times from now until each condition first holds, watched on a thread of its own while this
// one runs Action and then pumps messages; a negative time for a condition that never held.
std::vector<double> TimesUntil(TRecordingWindow& Window, const std::function<void()>& Action,
                               const std::vector<std::function<bool()>>& Conditions) {
    std::vector<std::atomic<double>> seen(Conditions.size());
    for (auto& time : seen) time = -1.0;
    std::atomic<std::size_t> left{Conditions.size()};
    std::atomic<bool> quit{false};
    const double start = Now();
    std::thread watcher([&] {
        while (!quit.load() && left.load() > 0 && Now() - start < kWatchLimitMs) {
            for (std::size_t i = 0; i < Conditions.size(); ++i) {
                if (seen[i].load() < 0.0 && Conditions[i]()) {
                    seen[i] = Now() - start;
                    --left;
                }
            }
            Sleep(1);
        }
    });
    Action();
    Window.PumpUntil([&] { return left.load() == 0; }, static_cast<DWORD>(kWatchLimitMs));
    quit = true;
    watcher.join();
    std::vector<double> times;
    for (auto& time : seen) times.push_back(time.load());
    return times;
}

// The video chunks in the file's first "movi" list as it stands on the disk now.
long VideoChunksOnDisk(const std::wstring& File) {
    HANDLE h = CreateFileW(File.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    auto readAt = [&](std::uint64_t at, char* to, DWORD bytes) {
        LARGE_INTEGER where{};
        where.QuadPart = static_cast<LONGLONG>(at);
        DWORD read = 0;
        return SetFilePointerEx(h, where, nullptr, FILE_BEGIN) && ReadFile(h, to, bytes, &read, nullptr) && read == bytes;
    };
    std::string head(64 * 1024, '\0');
    long chunks = 0;
    if (readAt(0, head.data(), static_cast<DWORD>(std::min<LONGLONG>(size.QuadPart, 64 * 1024)))) {
        const std::size_t movi = head.find("movi");
        std::uint64_t at = movi == std::string::npos ? static_cast<std::uint64_t>(size.QuadPart) : movi + 4;
        char chunk[8];
        while (at + 8 <= static_cast<std::uint64_t>(size.QuadPart) && readAt(at, chunk, 8)) {
            std::uint32_t bytes = 0;
            std::memcpy(&bytes, chunk + 4, 4);
            if (std::memcmp(chunk, "LIST", 4) == 0) {
                at += 12;
                continue;
            }
            if (bytes == 0 && chunk[0] == 0) break;  // room not written yet
            if (at + 8 + bytes > static_cast<std::uint64_t>(size.QuadPart)) break;
            if (chunk[2] == 'd' && (chunk[3] == 'c' || chunk[3] == 'b')) ++chunks;
            at += 8 + bytes + (bytes & 1);
        }
    }
    CloseHandle(h);
    return chunks;
}

double Median(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    const std::size_t n = Values.size();
    return n == 0 ? -1.0 : n % 2 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2.0;
}

// ffprobe reads it and ffmpeg decodes all of it; the count of video packets, or -1.
int VideoPacketsReadBack(const std::wstring& File) {
    const quill_test::TMediaProbe probe = quill_test::Probe(File);
    const auto whole = quill_test::DecodeWhole(File);
    const int video = probe.Ok() ? probe.StreamOfType("video") : -1;
    if (video < 0 || !whole.Ran || whole.ExitCode != 0) {
        std::printf("recording_ui: %ls is not read back whole: %s%s\n", File.c_str(), probe.Run.Err.c_str(),
                    whole.Err.c_str());
        return -1;
    }
    return std::atoi(probe.Stream(video, "nb_read_packets").c_str());
}

struct TFormatCase {
    const char* Name;
    std::uint8_t Format;
    const wchar_t* Video;
    const wchar_t* Sound;
};

// Starts and stops Rounds recordings of one format; false when a target is missed or a file is wrong.
bool TimeStartsAndStops(TRecordingWindow& Window, const TFormatCase& Case, int Rounds) {
    const std::wstring failed = Window.OpenPreview(Case.Video, Case.Sound, Case.Format);
    if (!failed.empty()) {
        std::printf("recording_ui: %s: %ls\n", Case.Name, failed.c_str());
        return false;
    }
    std::vector<double> starts, onDisk, stops;
    bool ok = true;
    for (int round = 0; round < Rounds && ok; ++round) {
        // The first frame handed to the recording branch, and the first whole video frame in the
        // file (the writer may keep small frames back in its write-behind buffer). The file is
        // looked into once the start has named it: opened by another program as the start makes
        // it (this watcher, on a busy machine), the recording would go on under the next free name.
        std::wstring file;
        std::atomic<bool> named{false};
        const std::vector<std::function<bool()>> firstFrame = {[&] { return Window.Recorded() > 0; },
                                                               [&] { return named.load() && FirstVideoFrameWritten(file); }};
        const auto start = TimesUntil(Window,
                                      [&] {
                                          Window.Capture();
                                          file = Window.form->NextVideoFile;
                                          named = true;
                                      },
                                      firstFrame);
        starts.push_back(start[0]);
        onDisk.push_back(start[1]);
        // A few frames more, so that the stop has a recording to close.
        Window.WaitRecorded(5);
        stops.push_back(TimesUntil(Window, [&] { Window.Capture(); }, {[&] { return FileClosedWhole(file); }})[0]);
        if (starts.back() < 0 || stops.back() < 0 || Window.form->CaptureState != 1 || VideoPacketsReadBack(file) < 1) {
            std::printf("recording_ui: %s: round %d did not record (start %.0f ms, stop %.0f ms): %s\n", Case.Name, round,
                        starts.back(), stops.back(), FileState(file, Window.form->CaptureState).c_str());
            ok = false;
        }
    }
    if (!ok) return false;
    const double start = Median(starts), disk = Median(onDisk), stop = Median(stops);
    char diskText[96];
    if (disk >= 0)
        std::snprintf(diskText, sizeof diskText, "%.0f ms", disk);
    else
        std::snprintf(diskText, sizeof diskText, "not within %.0f ms: the writer keeps small frames back", kWatchLimitMs);
    std::printf("recording_ui: %s: start to first frame recorded %.0f ms (worst %.0f; in the file: %s), "
                "stop to closed file %.0f ms (worst %.0f), target %.0f ms\n",
                Case.Name, start, *std::max_element(starts.begin(), starts.end()), diskText, stop,
                *std::max_element(stops.begin(), stops.end()), kActionTargetMs);
    std::printf("figure recording_ui_%s_start_ms %.1f\n", Case.Name, start);
    std::printf("figure recording_ui_%s_on_disk_ms %.1f\n", Case.Name, disk);
    std::printf("figure recording_ui_%s_stop_ms %.1f\n", Case.Name, stop);
    return start < kActionTargetMs && stop < kActionTargetMs;
}

// A long DV re-encoded recording: frames the camera dropped, and frames it delivered before the
// stop that are not in the file.
bool LostFramesInALongRecording(TRecordingWindow& Window, double Seconds) {
    const std::wstring failed = Window.OpenPreview(recording_ui::kCamera, recording_ui::kMicrophone, 6);
    if (!failed.empty()) {
        std::printf("recording_ui: long recording: %ls\n", failed.c_str());
        return false;
    }
    const std::wstring file = Window.form->NextVideoFile;
    Window.Capture();
    if (Window.form->CaptureState != 2 || !Window.form->DroppedFramesInfo) {
        std::printf("recording_ui: long recording: no start or no dropped-frame counter\n");
        return false;
    }
    bench::Pump(Seconds * 1000.0);
    LONG dropped = 0, delivered = 0;
    Window.form->DroppedFramesInfo->GetNumDropped(&dropped);
    Window.form->DroppedFramesInfo->GetNumNotDropped(&delivered);
    // Every frame the camera delivered until now reaches the file (frames still on their way when
    // the stop comes are not this recording's to keep).
    long reached = 0;
    Window.PumpUntil([&] { return (reached = VideoChunksOnDisk(file)) >= delivered; }, 5000);
    Window.Capture();
    const int written = VideoPacketsReadBack(file);
    if (written < 0) return false;
    const long missing = std::max<long>(0, delivered - std::max<long>(reached, 0));
    const long lost = dropped + missing;
    std::printf("recording_ui: %.0f s of DV re-encoded: %d frames in the file, %ld delivered by the camera, %ld "
                "dropped by it, %ld missing from the file, %ld lost in all (target 0)\n",
                Seconds, written, static_cast<long>(delivered), static_cast<long>(dropped), missing, lost);
    std::printf("figure recording_ui_format6_lost_frames %ld\n", lost);
    return lost == 0 && written >= delivered;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 60.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    recording_ui::InitializeWindowing();
    int status = 0;
    {
        TRecordingWindow window;
        const std::wstring failed = window.Open();
        if (!failed.empty()) {
            std::printf("recording_ui: %ls\n", failed.c_str());
            status = 1;
        } else if (!window.UseXvid()) {
            std::printf("recording_ui: no Xvid compressor\n");
            status = 1;
        } else {
            window.UseLame();
            const TFormatCase cases[] = {
                {"format2_dv_native", 2, recording_ui::kDVVideo, recording_ui::kDVSound},
                {"format6_dv_recomp", 6, recording_ui::kCamera, recording_ui::kMicrophone},
                {"format9_divx", 9, recording_ui::kCamera, recording_ui::kMicrophone},
            };
            for (const TFormatCase& c : cases)
                if (!TimeStartsAndStops(window, c, rounds)) status = 1;
            if (!LostFramesInALongRecording(window, seconds)) status = 1;
        }
        window.Close();
    }
    recording_ui::FinalizeWindowing();
    return status;
}
