// Helpers of the coding tests: running ffmpeg and ffprobe (Linux programs, started from under Wine),
// files in the test's working folder, test pictures and the peak signal-to-noise ratio of two pictures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace coding_test {

// The Unix path of a file (tests/common/ffprobe_helpers.h).
std::string UnixPath(const std::filesystem::path& path);

// Runs Command through /bin/sh (tests/common/ffprobe_helpers.h) and answers its exit status (-1 when it
// could not be started or did not end within TimeoutMs).
int RunShell(const std::string& command, DWORD timeoutMs = 60000);

// ffprobe's value of one stream or format entry (e.g. "stream=codec_name"), or empty.
std::string Probe(const std::filesystem::path& file, const std::string& entry, const std::string& extra = "");

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);
bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A folder of its own under the working folder, emptied.
std::filesystem::path FreshFolder(const std::wstring& name);

// A smooth test picture, R G B top-down, that moves with Index: gradients, a disc and soft bars.
std::vector<std::uint8_t> TestPicture(int width, int height, int index);
// Top-down R G B from DirectShow RGB24 (B G R, last row first, rows of width * 3 bytes).
std::vector<std::uint8_t> FromBottomUpBgr(const std::uint8_t* data, int width, int height);
// The other way round.
void ToBottomUpBgr(const std::vector<std::uint8_t>& rgb, int width, int height, std::uint8_t* out);

// PSNR in dB of two pictures of equal size (infinity when equal, 0 when the sizes differ).
double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

}  // namespace coding_test
