#include "platform/standins/avi_writer.h"

#include <algorithm>
#include <cstring>

#include "filters/whole_write.h"

namespace standins {

using namespace avi;

namespace {

// Chunks at least this large go to the stream directly instead of through the buffer.
constexpr std::uint32_t kDirectBytes = 16 * 1024;
// The first part's header, "LIST" "movi", a part's "RIFF" "AVIX" with its "movi" list.
constexpr std::uint64_t kPartHeader = kListHeader + kListHeader;

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
    hr = Flush();
    if (FAILED(hr)) {
        out_.Reset();
    }
    return hr;
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
    if (buffer_.size() >= options_.BufferBytes) {
        Flush();
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

HRESULT TAviWriter::Flush()
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
    }
    return hr;
}

HRESULT TAviWriter::Checkpoint()
{
    if (!out_ || !partOpen_ || ioFailed_ || FAILED(failure_)) {
        return failure_;
    }
    HRESULT hr = Flush();
    if (FAILED(hr)) {
        return hr;
    }
    // The data first, then the sizes that cover it: a file cut off between the two still reads.
    const std::uint64_t end = bufferStart_;
    hr = Patch32(moviList_ + 4, static_cast<std::uint32_t>(end - moviList_ - kChunkHeader));
    if (SUCCEEDED(hr)) {
        hr = Patch32(partStart_ + 4, static_cast<std::uint32_t>(end - partStart_ - kChunkHeader));
    }
    if (SUCCEEDED(hr)) {
        hr = WriteHeader();
    }
    if (FAILED(hr)) {
        Fail(hr);
    }
    return failure_;
}

HRESULT TAviWriter::Patch32(std::uint64_t offset, std::uint32_t v)
{
    if (offset >= bufferStart_ && offset + 4 <= bufferStart_ + buffer_.size()) {
        Set32(std::span(buffer_).subspan(static_cast<std::size_t>(offset - bufferStart_), 4), v);
        return S_OK;
    }
    std::uint8_t bytes[4];
    Set32(bytes, v);
    return WriteAt(offset, bytes, sizeof(bytes), false);
}

std::uint64_t TAviWriter::ProjectedPartSize(std::uint64_t chunkBytes) const
{
    const std::uint64_t end = bufferStart_ + buffer_.size();
    const std::uint64_t count = entries_.size() + 1;
    // Room for the part's standard indexes (one per stream) and, in the first part, the legacy index.
    std::uint64_t indexes = streams_.size() * (kChunkHeader + kStdIndexHeader) + count * kStdIndexEntry;
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
    if (size >= kDirectBytes && !ioFailed_) {
        if (SUCCEEDED(Flush())) {
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
    return failure_;
}

HRESULT TAviWriter::OpenPart()
{
    partStart_ = bufferStart_ + buffer_.size();
    Emit32(FourCC("RIFF"));
    Emit32(0);
    Emit32(FourCC("AVIX"));
    moviList_ = partStart_ + kListHeader;
    Emit32(FourCC("LIST"));
    Emit32(0);
    Emit32(FourCC("movi"));
    partOpen_ = true;
    ++parts_;
    return failure_;
}

HRESULT TAviWriter::ClosePart()
{
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
    std::uint64_t end = bufferStart_ + buffer_.size();
    HRESULT patched = Patch32(moviList_ + 4, static_cast<std::uint32_t>(end - moviList_ - kChunkHeader));
    const bool first = parts_ == 1;
    if (first && options_.LegacyIndex) {
        std::vector<TChunkEntry> all;
        all.reserve(entries_.size());
        for (const TEntry& e : entries_) {
            all.push_back(e.Chunk);
        }
        const std::vector<std::uint8_t> idx1 = LegacyIndex(firstMoviList_ + kChunkHeader, all);
        Emit(idx1.data(), idx1.size());
        end = bufferStart_ + buffer_.size();
    }
    if (SUCCEEDED(patched)) {
        patched = Patch32(partStart_ + 4, static_cast<std::uint32_t>(end - partStart_ - kChunkHeader));
    }
    if (FAILED(patched)) {
        Fail(patched);
    }
    // The part counts as closed only once all of it reached the file.
    const HRESULT hr = Flush();
    if (FAILED(hr) || ioFailed_) {
        return FAILED(failure_) ? failure_ : hr;
    }
    legacyIndexWritten_ = legacyIndexWritten_ || (first && options_.LegacyIndex);
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        TStreamState& s = streams_[i];
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
    partOpen_ = false;
    return S_OK;
}

void TAviWriter::CutBackOpenPart()
{
    if (!partOpen_) {
        return;
    }
    if (whole_ < moviList_ + kListHeader && parts_ > 1) {
        // The part's own start did not reach the file: the parts before it are complete.
        entries_.clear();
        for (TStreamState& s : streams_) {
            s.PartChunks = 0;
            s.PartBytes = 0;
        }
        partOpen_ = false;
        --parts_;
        return;
    }
    std::uint64_t end = moviList_ + kListHeader;
    for (TStreamState& s : streams_) {
        s.PartChunks = 0;
        s.PartBytes = 0;
    }
    std::size_t kept = 0;
    for (const TEntry& e : entries_) {
        const std::uint64_t chunkEnd = e.Chunk.Offset + kChunkHeader + e.Chunk.Size + (e.Chunk.Size & 1);
        if (chunkEnd > whole_) {
            break;
        }
        end = chunkEnd;
        TStreamState& s = streams_[static_cast<std::size_t>(e.Stream)];
        ++s.PartChunks;
        s.PartBytes += e.Chunk.Size;
        ++kept;
    }
    entries_.resize(kept);
    Patch32(moviList_ + 4, static_cast<std::uint32_t>(end - moviList_ - kChunkHeader));
    Patch32(partStart_ + 4, static_cast<std::uint32_t>(end - partStart_ - kChunkHeader));
    if (parts_ == 1) {
        for (TStreamState& s : streams_) {
            s.FirstPartChunks = s.PartChunks;
        }
    }
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
        const std::uint64_t chunks = s.ClosedChunks + s.PartChunks;
        const std::uint64_t units = IsFrames(s.Setup) ? chunks : (s.ClosedBytes + s.PartBytes) / s.Setup.BlockAlign;
        sh.Length = static_cast<std::uint32_t>(std::min<std::uint64_t>(units, 0xFFFFFFFFu));
        sh.SuggestedBufferSize = s.MaxChunk;
        sh.SampleSize = IsFrames(s.Setup) ? 0 : s.Setup.BlockAlign;
        sh.Width = static_cast<std::int16_t>(s.Setup.Width);
        sh.Height = static_cast<std::int16_t>(s.Setup.Height);
        sh.Format = s.Setup.Format;
        sh.ChunkId = s.ChunkId;
        sh.SuperCapacity = options_.SuperIndexCapacity;
        sh.Super = s.Super;
        h.Streams.push_back(std::move(sh));
        bytes += s.ClosedBytes + s.PartBytes;
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
    return WriteAt(kListHeader, list.data(), list.size(), false);
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
    Flush();
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
