// An older, longer file where a recording is about to be written, as the user's folder holds one
// when the start asks whether to write over it: filled with a text that no recording holds, so that
// a test can tell whether any of it is left in the new file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace quill_test {

inline constexpr char kOlderFileText[] = "the older recording, which must be gone. ";

// Writes Bytes bytes of the older file's text at Path.
inline bool WriteOlderFile(const std::filesystem::path& Path, std::uint64_t Bytes)
{
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    std::string block;
    while (block.size() < (1u << 16)) block += kOlderFileText;
    for (std::uint64_t left = Bytes; left > 0 && out;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
    return static_cast<bool>(out);
}

// Whether Bytes hold any whole line of the older file's text.
inline bool HoldsOlderFile(const std::string& Bytes) { return Bytes.find(kOlderFileText) != std::string::npos; }

}  // namespace quill_test
