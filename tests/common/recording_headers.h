// What a recording's header says of its length, read straight from its bytes as a player that trusts
// the header reads it: an AVI file's total frames, an ASF file's play duration. Cheap enough to be
// asked again and again while a recording grows (ffprobe, on a file whose header is wrong, may
// read it for a long time).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace quill_test {

// The first Bytes bytes of a file (fewer when it is shorter; none when it cannot be read).
inline std::string FileStart(const std::filesystem::path& Path, std::size_t Bytes = 64 * 1024)
{
    std::string start(Bytes, '\0');
    std::ifstream in(Path, std::ios::binary);
    in.read(start.data(), static_cast<std::streamsize>(Bytes));
    start.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return start;
}

inline std::uint64_t HeaderNumber(const std::string& Bytes, std::size_t At, int Size)
{
    std::uint64_t v = 0;
    if (At + static_cast<std::size_t>(Size) <= Bytes.size()) std::memcpy(&v, Bytes.data() + At, static_cast<std::size_t>(Size));
    return v;
}

// A number of the main AVI header ("RIFF" "AVI " "LIST" "hdrl" "avih" first, as AVI files begin) at
// At in its data, or 0 when the file does not begin so.
inline std::uint32_t AviMainHeaderNumber(const std::string& Bytes, std::size_t At)
{
    if (Bytes.size() < 36 + At || Bytes.compare(0, 4, "RIFF") != 0 || Bytes.compare(8, 4, "AVI ") != 0 ||
        Bytes.compare(24, 4, "avih") != 0)
        return 0;
    return static_cast<std::uint32_t>(HeaderNumber(Bytes, 32 + At, 4));
}

// The main AVI header's total frames and frame time in microseconds.
inline std::uint32_t AviHeaderFrames(const std::string& Bytes) { return AviMainHeaderNumber(Bytes, 16); }
inline std::uint32_t AviHeaderFrameTime(const std::string& Bytes) { return AviMainHeaderNumber(Bytes, 0); }

// The frames a second of the first stream's header (its rate over its scale), or 0 when the file does
// not begin with one (an AVI file's first stream list follows its main header).
inline double AviFirstStreamRate(const std::string& Bytes)
{
    if (Bytes.size() < 136 || Bytes.compare(0, 4, "RIFF") != 0 || Bytes.compare(24, 4, "avih") != 0 ||
        Bytes.compare(88, 4, "LIST") != 0 || Bytes.compare(100, 4, "strh") != 0)
        return 0;
    const auto scale = static_cast<double>(HeaderNumber(Bytes, 128, 4));
    return scale == 0 ? 0 : static_cast<double>(HeaderNumber(Bytes, 132, 4)) / scale;
}

// An ASF file's play duration less its preroll, in seconds, from its file properties object; 0 when
// the file has none.
inline double AsfHeaderSeconds(const std::string& Bytes)
{
    static const unsigned char kFileProperties[16] = {0xa1, 0xdc, 0xab, 0x8c, 0x47, 0xa9, 0xcf, 0x11,
                                                      0x8e, 0xe4, 0x00, 0xc0, 0x0c, 0x20, 0x53, 0x65};
    const std::uint64_t headerEnd = HeaderNumber(Bytes, 16, 8);
    for (std::uint64_t at = 30; at + 24 <= headerEnd && at + 24 <= Bytes.size();) {
        const std::uint64_t size = HeaderNumber(Bytes, static_cast<std::size_t>(at) + 16, 8);
        if (size < 24) return 0;
        if (std::memcmp(Bytes.data() + at, kFileProperties, 16) == 0) {
            const auto play = static_cast<double>(HeaderNumber(Bytes, static_cast<std::size_t>(at) + 64, 8));
            const auto prerollMs = static_cast<double>(HeaderNumber(Bytes, static_cast<std::size_t>(at) + 80, 8));
            return play / 1e7 - prerollMs / 1e3;
        }
        at += size;
    }
    return 0;
}

}  // namespace quill_test
