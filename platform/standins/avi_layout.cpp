#include "platform/standins/avi_layout.h"

#include <algorithm>

namespace standins::avi {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void Put64(std::vector<std::uint8_t>& out, std::uint64_t v)
{
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}

void Set32(std::span<std::uint8_t> at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        at[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint32_t StreamChunkId(int stream, std::string_view twoLetters)
{
    const char digits[5] = {static_cast<char>('0' + (stream / 10) % 10), static_cast<char>('0' + stream % 10),
                            twoLetters[0], twoLetters[1], 0};
    return FourCC(digits);
}

namespace {

// Opens a chunk (or a list, when type is given) and answers where its size field is.
std::size_t Open(std::vector<std::uint8_t>& out, std::uint32_t id, std::uint32_t type = 0)
{
    Put32(out, id);
    const std::size_t at = out.size();
    Put32(out, 0);
    if (type != 0) {
        Put32(out, type);
    }
    return at;
}

// Closes what Open began: its size, and the pad byte of an odd-sized chunk.
void Close(std::vector<std::uint8_t>& out, std::size_t sizeAt)
{
    const std::size_t size = out.size() - sizeAt - 4;
    Set32(std::span(out).subspan(sizeAt, 4), static_cast<std::uint32_t>(size));
    if (size % 2 != 0) {
        out.push_back(0);
    }
}

void PutStreamList(std::vector<std::uint8_t>& out, const TStreamHeader& s)
{
    const std::size_t list = Open(out, FourCC("LIST"), FourCC("strl"));
    const std::size_t strh = Open(out, FourCC("strh"));
    Put32(out, s.Type);
    Put32(out, s.Handler);
    Put32(out, 0);  // flags
    Put16(out, 0);  // priority
    Put16(out, 0);  // language
    Put32(out, 0);  // initial frames
    Put32(out, s.Scale);
    Put32(out, s.Rate);
    Put32(out, 0);  // start
    Put32(out, s.Length);
    Put32(out, s.SuggestedBufferSize);
    Put32(out, 0xFFFFFFFFu);  // quality: the default
    Put32(out, s.SampleSize);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint16_t>(s.Width));
    Put16(out, static_cast<std::uint16_t>(s.Height));
    Close(out, strh);
    const std::size_t strf = Open(out, FourCC("strf"));
    out.insert(out.end(), s.Format.begin(), s.Format.end());
    Close(out, strf);
    // The super index always takes its full room, so that the list keeps its size when it fills.
    const std::size_t indx = Open(out, FourCC("indx"));
    Put16(out, 4);  // longs per entry
    out.push_back(0);  // sub type
    out.push_back(0);  // an index of indexes
    const auto used = static_cast<std::uint32_t>(std::min<std::size_t>(s.Super.size(), s.SuperCapacity));
    Put32(out, used);
    Put32(out, s.ChunkId);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (std::uint32_t i = 0; i < s.SuperCapacity; ++i) {
        const TSuperEntry e = i < used ? s.Super[i] : TSuperEntry{};
        Put64(out, e.Offset);
        Put32(out, e.Size);
        Put32(out, e.Duration);
    }
    Close(out, indx);
    Close(out, list);
}

}  // namespace

std::vector<std::uint8_t> HeaderList(const TMainHeader& header)
{
    std::vector<std::uint8_t> out;
    const std::size_t hdrl = Open(out, FourCC("LIST"), FourCC("hdrl"));
    const std::size_t avih = Open(out, FourCC("avih"));
    Put32(out, header.MicroSecPerFrame);
    Put32(out, header.MaxBytesPerSec);
    Put32(out, 0);  // padding granularity
    Put32(out, header.Flags);
    Put32(out, header.TotalFrames);
    Put32(out, 0);  // initial frames
    Put32(out, static_cast<std::uint32_t>(header.Streams.size()));
    Put32(out, header.SuggestedBufferSize);
    Put32(out, header.Width);
    Put32(out, header.Height);
    for (int i = 0; i < 4; ++i) {
        Put32(out, 0);
    }
    Close(out, avih);
    for (const TStreamHeader& s : header.Streams) {
        PutStreamList(out, s);
    }
    const std::size_t odml = Open(out, FourCC("LIST"), FourCC("odml"));
    const std::size_t dmlh = Open(out, FourCC("dmlh"));
    Put32(out, header.ExtendedTotalFrames);
    out.resize(out.size() + kDmlhPayload - 4, 0);
    Close(out, dmlh);
    Close(out, odml);
    Close(out, hdrl);
    return out;
}

std::vector<std::uint8_t> StandardIndexEntries(std::uint64_t base, std::span<const TChunkEntry> chunks)
{
    std::vector<std::uint8_t> out;
    out.reserve(chunks.size() * kStdIndexEntry);
    for (const TChunkEntry& c : chunks) {
        // Each entry points at the chunk's data, past its header.
        Put32(out, static_cast<std::uint32_t>(c.Offset + kChunkHeader - base));
        Put32(out, c.Size | (c.Key ? 0 : kStdIndexDeltaFrame));
    }
    return out;
}

std::vector<std::uint8_t> StandardIndex(int stream, std::uint32_t chunkId, std::uint64_t base,
                                        std::span<const TChunkEntry> chunks, std::size_t capacity)
{
    capacity = std::max(capacity, chunks.size());
    std::vector<std::uint8_t> out;
    out.reserve(kChunkHeader + kStdIndexHeader + capacity * kStdIndexEntry);
    const char id[5] = {'i', 'x', static_cast<char>('0' + (stream / 10) % 10), static_cast<char>('0' + stream % 10), 0};
    const std::size_t ix = Open(out, FourCC(id));
    Put16(out, 2);  // longs per entry
    out.push_back(0);  // sub type
    out.push_back(1);  // an index of chunks
    Put32(out, static_cast<std::uint32_t>(chunks.size()));
    Put32(out, chunkId);
    Put64(out, base);
    Put32(out, 0);
    const std::vector<std::uint8_t> entries = StandardIndexEntries(base, chunks);
    out.insert(out.end(), entries.begin(), entries.end());
    out.resize(out.size() + (capacity - chunks.size()) * kStdIndexEntry, 0);
    Close(out, ix);
    return out;
}

std::vector<std::uint8_t> LegacyIndex(std::uint64_t moviType, std::span<const TChunkEntry> chunks)
{
    std::vector<std::uint8_t> out;
    out.reserve(kChunkHeader + chunks.size() * kIdx1Entry);
    const std::size_t idx1 = Open(out, FourCC("idx1"));
    for (const TChunkEntry& c : chunks) {
        Put32(out, c.ChunkId);
        Put32(out, c.Key ? kAviifKeyframe : 0);
        Put32(out, static_cast<std::uint32_t>(c.Offset - moviType));
        Put32(out, c.Size);
    }
    Close(out, idx1);
    return out;
}

}  // namespace standins::avi
