// The byte layout of the AVI files the multiplexer stand-in writes: the header list (main header,
// one stream list per stream with its OpenDML super index, the OpenDML extended header), the
// standard index chunk of one stream in one RIFF part, and the legacy idx1 index. Pure functions
// over plain records; every number little-endian, as the RIFF format lays them down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace standins::avi {

constexpr std::uint32_t FourCC(std::string_view s)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[3])) << 24);
}

// Main header flags and index entry flags of the AVI format.
constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;
constexpr std::uint32_t kAviifKeyframe = 0x10;
// A standard index entry's size with this bit set is a chunk that is not a key frame.
constexpr std::uint32_t kStdIndexDeltaFrame = 0x80000000u;

constexpr std::size_t kChunkHeader = 8;        // identifier and size
constexpr std::size_t kListHeader = 12;        // "LIST" or "RIFF", size, type
constexpr std::size_t kSuperIndexHeader = 24;  // after the chunk header
constexpr std::size_t kSuperIndexEntry = 16;
constexpr std::size_t kStdIndexHeader = 24;
constexpr std::size_t kStdIndexEntry = 8;
// In a standard index chunk, from the chunk's start: its count of entries in use, its first entry.
constexpr std::size_t kStdIndexUsedAt = kChunkHeader + 4;
constexpr std::size_t kStdIndexEntriesAt = kChunkHeader + kStdIndexHeader;
constexpr std::size_t kIdx1Entry = 16;
constexpr std::size_t kDmlhPayload = 248;

// One entry of a stream's super index: where one standard index chunk lies and how much of the
// stream (frames, or sound blocks) it indexes.
struct TSuperEntry {
    std::uint64_t Offset = 0;  // of the chunk header
    std::uint32_t Size = 0;    // the whole chunk, header included
    std::uint32_t Duration = 0;
};

struct TStreamHeader {
    std::uint32_t Type = 0;     // "vids", "auds" or "iavs"
    std::uint32_t Handler = 0;
    std::uint32_t Scale = 1;
    std::uint32_t Rate = 1;
    std::uint32_t Length = 0;   // in Scale/Rate units: frames, or sound blocks
    std::uint32_t SuggestedBufferSize = 0;
    std::uint32_t SampleSize = 0;  // 0 for frames, the block size for sound
    std::int16_t Width = 0;        // the frame rectangle's right and bottom
    std::int16_t Height = 0;
    std::vector<std::uint8_t> Format;  // the "strf" payload
    std::uint32_t ChunkId = 0;         // "00dc", "01wb"... of its data chunks
    std::uint32_t SuperCapacity = 0;   // entries the super index has room for
    std::vector<TSuperEntry> Super;    // entries in use (at most SuperCapacity)
};

struct TMainHeader {
    std::uint32_t MicroSecPerFrame = 0;
    std::uint32_t MaxBytesPerSec = 0;
    std::uint32_t Flags = 0;
    std::uint32_t TotalFrames = 0;       // video frames of the first RIFF part
    std::uint32_t SuggestedBufferSize = 0;
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t ExtendedTotalFrames = 0;  // video frames of the whole file ("dmlh")
    std::vector<TStreamHeader> Streams;
};

// One data chunk as written: its chunk header's absolute file offset, its payload size, key frame.
struct TChunkEntry {
    std::uint64_t Offset = 0;
    std::uint32_t Size = 0;
    std::uint32_t ChunkId = 0;
    bool Key = true;
};

// "00dc", "01wb"...: two decimal digits of the stream number, then two letters.
std::uint32_t StreamChunkId(int stream, std::string_view twoLetters);

// The whole "LIST" "hdrl". Its size depends only on the number of streams, their format sizes and
// super index capacities, so a placeholder written at the start is overwritten in place at the end.
std::vector<std::uint8_t> HeaderList(const TMainHeader& header);

// A standard index chunk ("ix" and the stream number) of one stream's chunks in one part. Offsets are taken from base
// (every chunk of the part must lie within 4 GiB after it). With a capacity above the chunks' count,
// the chunk keeps room (zero entries, not in use) for that many entries in all.
std::vector<std::uint8_t> StandardIndex(int stream, std::uint32_t chunkId, std::uint64_t base,
                                        std::span<const TChunkEntry> chunks, std::size_t capacity = 0);
// The entries alone of such a chunk, for room kept in one.
std::vector<std::uint8_t> StandardIndexEntries(std::uint64_t base, std::span<const TChunkEntry> chunks);

// The "idx1" chunk: offsets from the position of the first RIFF part's "movi" list type.
std::vector<std::uint8_t> LegacyIndex(std::uint64_t moviType, std::span<const TChunkEntry> chunks);

// Little-endian numbers into a byte vector.
void Put16(std::vector<std::uint8_t>& out, std::uint16_t v);
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v);
void Put64(std::vector<std::uint8_t>& out, std::uint64_t v);
void Set32(std::span<std::uint8_t> at, std::uint32_t v);

}  // namespace standins::avi
