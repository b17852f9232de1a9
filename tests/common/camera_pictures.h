// The pictures of a recorded file as the test camera drew them: each one's frame number (its start
// time over the frame time, drawn as squares on the counter row) and its time as the file places
// it, read back with ffmpeg and ffprobe whatever size or coding the recording gave the pictures.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/standins/test_camera.h"
#include "tests/common/ffprobe_helpers.h"

namespace quill_test {

struct TCameraPicture {
    unsigned long Number = 0;
    double Time = 0;  // seconds
};

// In the order they decode; empty when ffmpeg decodes no picture or the two reads disagree.
inline std::vector<TCameraPicture> CameraPictures(const std::filesystem::path& File)
{
    // Each picture brought back to the camera's 320x240, and of it the middle row of the counter.
    const std::size_t width = standins::kCounterBits * standins::kCounterBlock;
    const std::string crop = "scale=320:240:flags=neighbor,crop=" + std::to_string(width) + ":1:0:" +
                             std::to_string(standins::kCounterTop + standins::kCounterBlock / 2);
    const std::filesystem::path raw = std::filesystem::temp_directory_path() /
        (L"quill_counters_" + std::to_wstring(GetCurrentProcessId()) + L".gray");
    const TUnixResult decoded = RunUnix({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", UnixPath(File), "-map",
                                         "0:v:0", "-vf", crop, "-fps_mode", "passthrough", "-pix_fmt", "gray", "-f",
                                         "rawvideo", UnixPath(raw)});
    const std::string bytes = decoded.Ran && decoded.ExitCode == 0 ? ReadWholeFile(raw) : std::string();
    std::error_code ec;
    std::filesystem::remove(raw, ec);
    std::istringstream times(RunUnix({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                      "frame=best_effort_timestamp_time", "-of", "csv=p=0", UnixPath(File)}).Out);
    std::vector<TCameraPicture> pictures;
    for (std::string line; std::getline(times, line);) pictures.push_back({0, std::atof(line.c_str())});
    if (pictures.empty() || bytes.size() != pictures.size() * width) return {};
    for (std::size_t i = 0; i < pictures.size(); ++i)
        for (int bit = 0; bit < standins::kCounterBits; ++bit) {
            const std::size_t at = i * width + bit * standins::kCounterBlock + standins::kCounterBlock / 2;
            if (static_cast<unsigned char>(bytes[at]) > 128) pictures[i].Number |= 1UL << bit;
        }
    return pictures;
}

}  // namespace quill_test
