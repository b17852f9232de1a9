#include "platform/standins/avi_writer.h"

#include <algorithm>
#include <cstring>

#include "filters/whole_write.h"

namespace standins {

using namespace avi;

namespace {

// Chunks at least this large go to the stream directly instead of through the buffer.
constexpr std::uint32_t kDirectBytes = 16 * 1024;
// An index chunk a checkpoint appends keeps room for at least this many entries.
constexpr std::size_t kLeastIndexRoom = 64;

std::uint64_t IndexChunkBytes(std::size_t entries)
{
    return kStdIndexEntriesAt + entries * kStdIndexEntry;
}

std::uint32_t StreamType(TAviStreamKind kind)
{
    switch (kind) {
    case TAviStreamKind::Video:
        return FourCC("vids");
    case TAviStreamKind::Audio:
        return FourCC("auds");
    case TAviStreamKind::Interleaved:
        return FourCC("iavs");
    }
    return 0;
}

bool IsFrames(const TAviStreamSetup& s)
{
    return s.Kind != TAviStreamKind::Audio;
}

}  // namespace

HRESULT TAviWriter::Begin(IStream* out, std::vector<TAviStreamSetup> streams, const TAviWriterOptions& options)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    if (streams.empty() || streams.size() > 99) {
        return E_INVALIDARG;
    }
    *this = TAviWriter();
    options_ = options;
    options_.SuperIndexCapacity = std::max<std::uint32_t>(options_.SuperIndexCapacity, 1);
    buffer_.reserve(options_.BufferBytes + kDirectBytes);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        TStreamState state;
        state.Setup = std::move(streams[i]);
        state.Setup.BlockAlign = std::max<std::uint32_t>(state.Setup.BlockAlign, 1);
        const char* letters = state.Setup.Kind == TAviStreamKind::Audio ? "wb" : state.Setup.Uncompressed ? "db" : "dc";
        state.ChunkId = StreamChunkId(static_cast<int>(i), letters);
        streams_.push_back(std::move(state));
    }
    out_ = out;
    LARGE_INTEGER zero{};
    HRESULT hr = out_->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        out_.Reset();
        return hr;
    }
    // The first part: "RIFF" "AVI ", the header as a placeholder, then its "movi" list.
    Emit32(FourCC("RIFF"));
    Emit32(0);
    Emit32(FourCC("AVI "));
    WriteHeader();  // into the buffer: the real layout, counts still zero
    moviList_ = firstMoviList_ = bufferStart_ + buffer_.size();
    Emit32(FourCC("LIST"));
    Emit32(0);
    Emit32(FourCC("movi"));
    partOpen_ = true;
    parts_ = 1;
    // The placeholder reaches the file now (a stream that takes nothing fails the start) and stays
    // in the buffer: the first checkpoint writes it again, with the first chunks, in one write.
    hr = WriteAt(0, buffer_.data(), buffer_.size(), true);
    if (FAILED(hr)) {
        Fail(hr);
        out_.Reset();
        return hr;
    }
    headPending_ = true;
    return S_OK;
}

std::uint64_t TAviWriter::Length(int stream) const
{
    const TStreamState& s = streams_[static_cast<std::size_t>(stream)];
    if (IsFrames(s.Setup)) {
        return s.ClosedChunks + s.PartChunks;
    }
    return (s.ClosedBytes + s.PartBytes) / s.Setup.BlockAlign;
}

void TAviWriter::SetFrameRate(int stream, std::uint32_t scale, std::uint32_t rate)
{
    TStreamState& s = streams_[static_cast<std::size_t>(stream)];
    if (IsFrames(s.Setup) && scale != 0 && rate != 0) {
        s.Setup.Scale = scale;
        s.Setup.Rate = rate;
    }
}

void TAviWriter::Fail(HRESULT hr)
{
    if (SUCCEEDED(failure_)) {
        failure_ = FAILED(hr) ? hr : E_FAIL;
    }
}

void TAviWriter::Emit(const std::uint8_t* data, std::size_t size)
{
    if (ioFailed_) {
        return;
    }
    buffer_.insert(buffer_.end(), data, data + size);
    if (!headPending_ && buffer_.size() >= options_.BufferBytes) {
        FlushBuffer();
    }
}

void TAviWriter::Emit32(std::uint32_t v)
{
    std::uint8_t bytes[4];
    Set32(bytes, v);
    Emit(bytes, sizeof(bytes));
}

HRESULT TAviWriter::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size, bool sequential)
{
    HRESULT hr = S_OK;
    if (streamPos_ != offset) {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(offset);
        hr = out_->Seek(to, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr)) {
            streamPos_ = ~0ull;  // unknown: seek again next time
            return hr;
        }
        streamPos_ = offset;
    }
    const filters::TWholeWrite w = filters::WriteWhole(out_.Get(), data, static_cast<ULONG>(size));
    streamPos_ = offset + w.Written;
    if (FAILED(w.Result) && sequential && !ioFailed_) {
        ioFailed_ = true;
        whole_ = offset + w.Written;
    }
    return w.Result;
}

HRESULT TAviWriter::FlushBuffer()
{
    if (ioFailed_ || buffer_.empty()) {
        buffer_.clear();
        return ioFailed_ ? failure_ : S_OK;
    }
    HRESULT hr = WriteAt(bufferStart_, buffer_.data(), buffer_.size(), true);
    bufferStart_ += buffer_.size();
    buffer_.clear();
    if (FAILED(hr)) {
        Fail(hr);
    } else {
        headPending_ = false;
    }
    return hr;
}

HRESULT TAviWriter::Flush()
{
    // The file's start goes out only with a header that counts what follows it.
    return headPending_ ? Checkpoint() : FlushBuffer();
}

HRESULT TAviWriter::Checkpoint()
{
    if (!out_ || !partOpen_ || ioFailed_ || FAILED(failure_)) {
        return failure_;
    }
    // The chunks first, then the index chunks that list them, then the sizes and counts that cover
    // both: a file cut off between any two still reads. Before the first checkpoint all of it waits
    // in the buffer with the file's start and goes in one write.
    HRESULT hr = headPending_ ? S_OK : FlushBuffer();
    if (SUCCEEDED(hr)) {
        hr = IndexOpenPart();
    }
    if (SUCCEEDED(hr) && !headPending_) {
        hr = FlushBuffer();
    }
    const std::uint64_t end = bufferStart_ + buffer_.size();
    if (SUCCEEDED(hr)) {
        hr = SetPartSizes(end, end);
    }
    if (SUCCEEDED(hr)) {
        hr = WriteHeader();
    }
    if (SUCCEEDED(hr) && headPending_) {
        hr = FlushBuffer();
    }
    if (FAILED(hr)) {
        Fail(hr);
    }
    return failure_;
}

HRESULT TAviWriter::Patch(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    // What lies before the buffer is in the file; the rest waits in the buffer.
    const std::size_t inFile =
        offset >= bufferStart_ ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(size, bufferStart_ - offset));
    if (inFile < size) {
        const std::size_t at = static_cast<std::size_t>(offset + inFile - bufferStart_);
        if (at + (size - inFile) > buffer_.size()) {
            return E_UNEXPECTED;  // cannot happen: only bytes emitted before are patched
        }
        std::memcpy(buffer_.data() + at, data + inFile, size - inFile);
    }
    return inFile > 0 ? WriteAt(offset, data, inFile, false) : S_OK;
}

HRESULT TAviWriter::Patch32(std::uint64_t offset, std::uint32_t v)
{
    std::uint8_t bytes[4];
    Set32(bytes, v);
    return Patch(offset, bytes, sizeof(bytes));
}

HRESULT TAviWriter::SetPartSizes(std::uint64_t moviEnd, std::uint64_t partEnd)
{
    // A file cut off between the two writes keeps its "movi" list inside its part: the outer size
    // goes first when the part grows, the inner first when it shrinks.
    const auto movi = static_cast<std::uint32_t>(moviEnd - moviList_ - kChunkHeader);
    const auto part = static_cast<std::uint32_t>(partEnd - partStart_ - kChunkHeader);
    const auto writePart = [&] {
        const HRESULT hr = Patch32(partStart_ + 4, part);
        if (SUCCEEDED(hr)) {
            partSize_ = part;
        }
        return hr;
    };
    const auto writeMovi = [&] { return Patch32(moviList_ + 4, movi); };
    const bool grows = part >= partSize_;
    HRESULT hr = grows ? writePart() : writeMovi();
    if (SUCCEEDED(hr)) {
        hr = grows ? writeMovi() : writePart();
    }
    return hr;
}

std::uint64_t TAviWriter::ProjectedPartSize(std::uint64_t chunkBytes) const
{
    const std::uint64_t end = bufferStart_ + buffer_.size();
    const std::uint64_t count = entries_.size() + 1;
    // Room for the part's standard indexes (one per stream) and, in the first part, the legacy index;
    // and for the index chunk with room kept that a checkpoint may append for each stream.
    std::uint64_t indexes = streams_.size() * (kChunkHeader + kStdIndexHeader) + count * kStdIndexEntry;
    for (const TStreamState& s : streams_) {
        indexes += IndexChunkBytes(std::max<std::uint64_t>(kLeastIndexRoom, 2 * (s.PartChunks + 1)));
    }
    if (parts_ == 1 && options_.LegacyIndex) {
        indexes += kChunkHeader + count * kIdx1Entry;
    }
    return end - partStart_ + chunkBytes + indexes;
}

HRESULT TAviWriter::Write(int stream, const std::uint8_t* data, std::uint32_t size, bool key)
{
    if (FAILED(failure_)) {
        return failure_;
    }
    if (!out_ || !partOpen_ || stream < 0 || stream >= StreamCount()) {
        return E_UNEXPECTED;
    }
    if (size > 0 && data == nullptr) {
        return E_POINTER;
    }
    const std::uint64_t chunkBytes = kChunkHeader + size + (size & 1);
    if (!entries_.empty() && ProjectedPartSize(chunkBytes) > options_.PartBytes) {
        // A new part gives each stream with chunks here one more super index entry.
        for (const TStreamState& s : streams_) {
            if (s.PartChunks > 0 && s.Super.size() >= options_.SuperIndexCapacity) {
                Fail(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
                return failure_;
            }
        }
        HRESULT hr = ClosePart();
        if (SUCCEEDED(hr)) {
            hr = OpenPart();
        }
        if (FAILED(hr)) {
            return hr;
        }
    }
    TStreamState& s = streams_[static_cast<std::size_t>(stream)];
    TEntry entry;
    entry.Chunk.Offset = bufferStart_ + buffer_.size();
    entry.Chunk.Size = size;
    entry.Chunk.ChunkId = s.ChunkId;
    entry.Chunk.Key = key;
    entry.Stream = stream;
    Emit32(s.ChunkId);
    Emit32(size);
    if (size >= kDirectBytes && !ioFailed_ && !headPending_) {
        if (SUCCEEDED(FlushBuffer())) {
            const HRESULT hr = WriteAt(bufferStart_, data, size, true);
            bufferStart_ += size;
            if (FAILED(hr)) {
                Fail(hr);
            }
        }
    } else {
        Emit(data, size);
    }
    if (size & 1) {
        const std::uint8_t pad = 0;
        Emit(&pad, 1);
    }
    entries_.push_back(entry);
    ++s.PartChunks;
    s.PartBytes += size;
    s.MaxChunk = std::max(s.MaxChunk, size);
    if (headPending_ && buffer_.size() >= options_.BufferBytes) {
        Checkpoint();  // no first checkpoint came yet: the buffer does not wait for one any longer
    }
    return failure_;
}

std::size_t TAviWriter::FillKeptRoom(TStreamState& s, std::span<const TChunkEntry> chunks)
{
    if (s.PartIndexes.empty() || chunks.empty()) {
        return 0;
    }
    TPartIndex& last = s.PartIndexes.back();
    const std::size_t fits = std::min<std::size_t>(last.Capacity - last.Used, chunks.size());
    if (fits == 0) {
        return 0;
    }
    // The entries first, then the count that takes them in.
    const std::vector<std::uint8_t> entries = StandardIndexEntries(moviList_, chunks.first(fits));
    HRESULT hr = Patch(last.Offset + kStdIndexEntriesAt + std::uint64_t{last.Used} * kStdIndexEntry, entries.data(),
                       entries.size());
    if (SUCCEEDED(hr)) {
        hr = Patch32(last.Offset + kStdIndexUsedAt, static_cast<std::uint32_t>(last.Used + fits));
    }
    if (FAILED(hr)) {
        Fail(hr);
        return 0;
    }
    std::uint64_t bytes = 0;
    for (const TChunkEntry& c : chunks.first(fits)) {
        bytes += c.Size;
    }
    last.Used += static_cast<std::uint32_t>(fits);
    last.Bytes += bytes;
    s.PartIndexed += fits;
    s.PartIndexedBytes += bytes;
    return fits;
}

HRESULT TAviWriter::IndexOpenPart()
{
    std::vector<std::vector<TChunkEntry>> pending(streams_.size());
    for (std::size_t i = listedEntries_; i < entries_.size(); ++i) {
        const TEntry& e = entries_[i];
        if (!streams_[static_cast<std::size_t>(e.Stream)].IndexFull) {
            pending[static_cast<std::size_t>(e.Stream)].push_back(e.Chunk);
        }
    }
    listedEntries_ = entries_.size();
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        TStreamState& s = streams_[i];
        std::span<const TChunkEntry> rest(pending[i]);
        rest = rest.subspan(FillKeptRoom(s, rest));
        if (FAILED(failure_)) {
            return failure_;
        }
        if (rest.empty()) {
            continue;
        }
        if (s.Super.size() + s.PartIndexes.size() >= options_.SuperIndexCapacity) {
            // No entry is left for one more index chunk: the stream is counted as far as it is listed.
            s.IndexFull = true;
            continue;
        }
        // Room for as many entries again as the part's index chunks list: a part gets few of them.
        TPartIndex added;
        added.Offset = bufferStart_ + buffer_.size();
        added.Capacity = static_cast<std::uint32_t>(std::max<std::uint64_t>(kLeastIndexRoom, 2 * rest.size() + s.PartIndexed));
        added.Used = static_cast<std::uint32_t>(rest.size());
        for (const TChunkEntry& c : rest) {
            added.Bytes += c.Size;
        }
        const std::vector<std::uint8_t> ix = StandardIndex(static_cast<int>(i), s.ChunkId, moviList_, rest, added.Capacity);
        Emit(ix.data(), ix.size());
        s.PartIndexes.push_back(added);
        s.PartIndexed += added.Used;
        s.PartIndexedBytes += added.Bytes;
    }
    return failure_;
}

HRESULT TAviWriter::OpenPart()
{
    partStart_ = bufferStart_ + buffer_.size();
    partSize_ = 0;
    Emit32(FourCC("RIFF"));
    Emit32(0);
    Emit32(FourCC("AVIX"));
    moviList_ = partStart_ + kListHeader;
    Emit32(FourCC("LIST"));
    Emit32(0);
    Emit32(FourCC("movi"));
    // Room for each stream's first entries in this part, so that a part whose later writes fail
    // can still be indexed as far as it reached the disk whole (a later part is read by its index).
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        TStreamState& s = streams_[i];
        TPartIndex room;
        room.Offset = bufferStart_ + buffer_.size();
        room.Capacity = static_cast<std::uint32_t>(kLeastIndexRoom);
        const std::vector<std::uint8_t> ix = StandardIndex(static_cast<int>(i), s.ChunkId, moviList_, {}, kLeastIndexRoom);
        Emit(ix.data(), ix.size());
        s.PartIndexes.push_back(room);
    }
    partOpen_ = true;
    ++parts_;
    return failure_;
}

HRESULT TAviWriter::ClosePart()
{
    if (headPending_ && SUCCEEDED(failure_)) {
        // The file's start goes first, with a header that counts the chunks behind it.
        const HRESULT hr = Checkpoint();
        if (FAILED(hr)) {
            return hr;
        }
    }
    std::vector<TSuperEntry> added(streams_.size());
    std::vector<TChunkEntry> own;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const TStreamState& s = streams_[i];
        if (s.PartChunks == 0) {
            continue;
        }
        own.clear();
        for (const TEntry& e : entries_) {
            if (e.Stream == static_cast<int>(i)) {
                own.push_back(e.Chunk);
            }
        }
        const std::vector<std::uint8_t> ix = StandardIndex(static_cast<int>(i), s.ChunkId, moviList_, own);
        added[i].Offset = bufferStart_ + buffer_.size();
        added[i].Size = static_cast<std::uint32_t>(ix.size());
        added[i].Duration =
            static_cast<std::uint32_t>(IsFrames(s.Setup) ? s.PartChunks : s.PartBytes / s.Setup.BlockAlign);
        Emit(ix.data(), ix.size());
    }
    const std::uint64_t moviEnd = bufferStart_ + buffer_.size();
    const bool first = parts_ == 1;
    if (first && options_.LegacyIndex) {
        std::vector<TChunkEntry> all;
        all.reserve(entries_.size());
        for (const TEntry& e : entries_) {
            all.push_back(e.Chunk);
        }
        const std::vector<std::uint8_t> idx1 = LegacyIndex(firstMoviList_ + kChunkHeader, all);
        Emit(idx1.data(), idx1.size());
    }
    const std::uint64_t end = bufferStart_ + buffer_.size();
    // The indexes reach the file before the sizes that take them in; the part counts as closed only
    // once all of it is there.
    HRESULT hr = FlushBuffer();
    if (SUCCEEDED(hr)) {
        hr = SetPartSizes(moviEnd, end);
    }
    if (FAILED(hr) || ioFailed_) {
        if (SUCCEEDED(failure_) && FAILED(hr)) {
            Fail(hr);
        }
        return FAILED(failure_) ? failure_ : E_FAIL;
    }
    legacyIndexWritten_ = legacyIndexWritten_ || (first && options_.LegacyIndex);
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        TStreamState& s = streams_[i];
        // The part's own index replaces the index chunks the checkpoints kept in it.
        s.PartIndexes.clear();
        s.PartIndexed = 0;
        s.PartIndexedBytes = 0;
        s.IndexFull = false;
        if (s.PartChunks == 0) {
            continue;
        }
        s.Super.push_back(added[i]);
        if (first) {
            s.FirstPartChunks = s.PartChunks;
        }
        s.ClosedChunks += s.PartChunks;
        s.ClosedBytes += s.PartBytes;
        s.PartChunks = 0;
        s.PartBytes = 0;
    }
    entries_.clear();
    listedEntries_ = 0;
    partOpen_ = false;
    return S_OK;
}

void TAviWriter::CutBackOpenPart()
{
    if (!partOpen_) {
        return;
    }
    // Index chunks that did not reach the file whole list nothing.
    bool indexed = false;
    for (TStreamState& s : streams_) {
        while (!s.PartIndexes.empty() &&
               s.PartIndexes.back().Offset + IndexChunkBytes(s.PartIndexes.back().Capacity) > whole_) {
            s.PartIndexes.pop_back();
        }
        s.PartIndexed = 0;
        s.PartIndexedBytes = 0;
        for (const TPartIndex& x : s.PartIndexes) {
            s.PartIndexed += x.Used;
            s.PartIndexedBytes += x.Bytes;
        }
        indexed = indexed || !s.PartIndexes.empty();
    }
    if (parts_ > 1 && (whole_ < moviList_ + kListHeader || !indexed)) {
        // The part's own start did not reach the file whole, which a reader then never finds: the
        // parts before it are complete, and the part holds nothing.
        if (whole_ >= moviList_ + kListHeader) {
            SetPartSizes(moviList_ + kListHeader, moviList_ + kListHeader);
        } else if (whole_ >= partStart_ + kChunkHeader) {
            Patch32(partStart_ + 4, static_cast<std::uint32_t>(whole_ - partStart_ - kChunkHeader));
        }
        entries_.clear();
        for (TStreamState& s : streams_) {
            s.PartChunks = 0;
            s.PartBytes = 0;
            s.PartIndexes.clear();
            s.PartIndexed = 0;
            s.PartIndexedBytes = 0;
        }
        partOpen_ = false;
        --parts_;
        return;
    }
    // The chunks that reached the file whole, each stream's in order.
    std::vector<std::vector<TChunkEntry>> whole(streams_.size());
    for (const TEntry& e : entries_) {
        if (e.Chunk.Offset + kChunkHeader + e.Chunk.Size + (e.Chunk.Size & 1) > whole_) {
            break;
        }
        whole[static_cast<std::size_t>(e.Stream)].push_back(e.Chunk);
    }
    std::uint64_t end = moviList_ + kListHeader;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        TStreamState& s = streams_[i];
        const std::span<const TChunkEntry> chunks(whole[i]);
        s.PartChunks = chunks.size();
        s.PartBytes = 0;
        for (const TChunkEntry& c : chunks) {
            s.PartBytes += c.Size;
        }
        if (!indexed) {
            // The first part before any index: a reader looks through its chunks.
            s.PartIndexed = chunks.size();
            s.PartIndexedBytes = s.PartBytes;
        } else if (s.PartIndexed < chunks.size()) {
            // What was written whole since the last checkpoint goes into the room kept, as far as it goes.
            FillKeptRoom(s, chunks.subspan(static_cast<std::size_t>(s.PartIndexed)));
        }
        const std::size_t listed = static_cast<std::size_t>(std::min<std::uint64_t>(s.PartIndexed, chunks.size()));
        if (listed > 0) {
            const TChunkEntry& c = chunks[listed - 1];
            end = std::max(end, c.Offset + kChunkHeader + c.Size + (c.Size & 1));
        }
        if (!s.PartIndexes.empty()) {
            end = std::max(end, s.PartIndexes.back().Offset + IndexChunkBytes(s.PartIndexes.back().Capacity));
        }
    }
    // The sizes end where the last chunk listed ends: a reader that looks through them finds no other.
    SetPartSizes(end, end);
}

HRESULT TAviWriter::WriteHeader()
{
    TMainHeader h;
    double longest = 0;
    std::uint64_t bytes = 0;
    bool haveVideo = false;
    for (const TStreamState& s : streams_) {
        TStreamHeader sh;
        sh.Type = StreamType(s.Setup.Kind);
        sh.Handler = s.Setup.Handler;
        sh.Scale = s.Setup.Scale;
        sh.Rate = s.Setup.Rate;
        // What the indexes list: the parts closed and the open part's index chunks.
        const std::uint64_t chunks = s.ClosedChunks + s.PartIndexed;
        const std::uint64_t units =
            IsFrames(s.Setup) ? chunks : (s.ClosedBytes + s.PartIndexedBytes) / s.Setup.BlockAlign;
        sh.Length = static_cast<std::uint32_t>(std::min<std::uint64_t>(units, 0xFFFFFFFFu));
        sh.SuggestedBufferSize = s.MaxChunk;
        sh.SampleSize = IsFrames(s.Setup) ? 0 : s.Setup.BlockAlign;
        sh.Width = static_cast<std::int16_t>(s.Setup.Width);
        sh.Height = static_cast<std::int16_t>(s.Setup.Height);
        sh.Format = s.Setup.Format;
        sh.ChunkId = s.ChunkId;
        sh.SuperCapacity = options_.SuperIndexCapacity;
        sh.Super = s.Super;
        for (const TPartIndex& x : s.PartIndexes) {
            if (x.Used == 0) {
                continue;  // room kept that lists nothing yet
            }
            sh.Super.push_back({x.Offset, static_cast<std::uint32_t>(IndexChunkBytes(x.Capacity)),
                                static_cast<std::uint32_t>(IsFrames(s.Setup) ? x.Used : x.Bytes / s.Setup.BlockAlign)});
        }
        h.Streams.push_back(std::move(sh));
        bytes += s.ClosedBytes + s.PartIndexedBytes;
        if (s.Setup.Rate != 0) {
            longest = std::max(longest, static_cast<double>(units) * s.Setup.Scale / s.Setup.Rate);
        }
        h.SuggestedBufferSize = std::max(h.SuggestedBufferSize, s.MaxChunk);
        if (IsFrames(s.Setup) && !haveVideo && s.Setup.Rate != 0) {
            haveVideo = true;
            h.MicroSecPerFrame = static_cast<std::uint32_t>(1e6 * s.Setup.Scale / s.Setup.Rate + 0.5);
            h.Width = static_cast<std::uint32_t>(std::max(s.Setup.Width, 0));
            h.Height = static_cast<std::uint32_t>(std::max(s.Setup.Height, 0));
            h.TotalFrames = static_cast<std::uint32_t>(parts_ > 1 || !partOpen_ ? s.FirstPartChunks : chunks);
            h.ExtendedTotalFrames = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunks, 0xFFFFFFFFu));
        }
    }
    h.MaxBytesPerSec = longest > 0 ? static_cast<std::uint32_t>(std::min(bytes / longest, 4e9)) : 0;
    h.Flags = (legacyIndexWritten_ ? kAvifHasIndex : 0) | (options_.Interleaved ? kAvifIsInterleaved : 0);
    const std::vector<std::uint8_t> list = HeaderList(h);
    if (headerBytes_ == 0) {
        headerBytes_ = list.size();
        Emit(list.data(), list.size());
        return S_OK;
    }
    if (list.size() != headerBytes_) {
        return E_UNEXPECTED;  // cannot happen: the layout keeps its size
    }
    return Patch(kListHeader, list.data(), list.size());
}

HRESULT TAviWriter::Finish()
{
    if (!out_) {
        return S_OK;
    }
    if (!ioFailed_ && partOpen_) {
        // A file full of parts still gets its last part closed: only appending more was refused.
        ClosePart();
    }
    FlushBuffer();
    if (ioFailed_) {
        CutBackOpenPart();
    }
    const HRESULT header = WriteHeader();
    if (FAILED(header)) {
        Fail(header);
    }
    out_.Reset();
    entries_.clear();
    buffer_.clear();
    buffer_.shrink_to_fit();
    return failure_;
}

}  // namespace standins
