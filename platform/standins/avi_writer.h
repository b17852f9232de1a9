// Writes one AVI file through an IStream as its chunks come: RIFF parts of bounded size (OpenDML
// "AVIX" parts after the first, so that a file passes 1 and 4 GiB), a standard index per stream at
// the end of each part, the legacy "idx1" index after the first part, and at the end the header
// with the true counts over the placeholder written at the start. A write the stream takes only
// part of is a failed write (STG_E_MEDIUMFULL). After a failed write nothing more
// is appended, and the end makes what reached the file consistent: its sizes and counts cover the
// whole chunks that were written and indexed, so the file stays readable. While it is written, a
// checkpoint sends what is buffered to the file, lists the open part's chunks in index chunks kept
// in that part (with room for the next ones, and listed in the stream's super index), and brings
// the sizes and the header's counts up to date: a file cut off after it (a killed process, a power
// cut) tells what it holds, and its header counts no chunk that its indexes do not list. The
// file's start waits for the first checkpoint, which writes it with the first chunks in one write.
// Not thread-safe: the multiplexer serialises its calls.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <span>
#include <vector>

#include "platform/standins/avi_layout.h"

namespace standins {

enum class TAviStreamKind { Video, Audio, Interleaved };

struct TAviStreamSetup {
    TAviStreamKind Kind = TAviStreamKind::Video;
    std::uint32_t Handler = 0;
    // Frames: Scale / Rate seconds each. Sound: Scale is the block size, Rate bytes per second.
    std::uint32_t Scale = 1;
    std::uint32_t Rate = 25;
    std::uint32_t BlockAlign = 1;  // sound: the length counts blocks of this many bytes
    int Width = 0;
    int Height = 0;
    bool Uncompressed = false;     // video chunks "##db" rather than "##dc"
    std::vector<std::uint8_t> Format;
};

struct TAviWriterOptions {
    std::uint64_t PartBytes = 1ull << 30;  // the largest RIFF part
    bool LegacyIndex = true;               // write "idx1" after the first part
    bool Interleaved = false;              // the main header's interleaved flag
    std::uint32_t SuperIndexCapacity = 256;  // RIFF parts a stream can be indexed in
    std::size_t BufferBytes = 4u << 20;
};

class TAviWriter {
public:
    // Writes the file's start (the header as a placeholder) at the start of out.
    HRESULT Begin(IStream* out, std::vector<TAviStreamSetup> streams, const TAviWriterOptions& options);
    // One data chunk of a stream; answers the writer's failure once one happened.
    HRESULT Write(int stream, const std::uint8_t* data, std::uint32_t size, bool key);
    // Sends what is buffered to the stream (before the first checkpoint: a checkpoint).
    HRESULT Flush();
    // Flushes, indexes the open part's chunks written so far, then writes the open part's RIFF and
    // "movi" sizes and the header with the counts of the chunks indexed; answers the writer's
    // failure once one happened.
    HRESULT Checkpoint();
    // Whether a checkpoint has written the file's start yet.
    bool Told() const { return !headPending_; }
    // A frame stream's rate, decided late (from the times seen, or to match a master stream).
    void SetFrameRate(int stream, std::uint32_t scale, std::uint32_t rate);
    // Completes the file and lets the stream go; answers the first failure met, S_OK when none.
    HRESULT Finish();

    bool Started() const { return out_ != nullptr; }
    HRESULT Failure() const { return failure_; }
    int StreamCount() const { return static_cast<int>(streams_.size()); }
    const TAviStreamSetup& Setup(int stream) const { return streams_[static_cast<std::size_t>(stream)].Setup; }
    // Frames, or sound blocks, of a stream written so far.
    std::uint64_t Length(int stream) const;
    int Parts() const { return parts_; }

private:
    // An index chunk of the open part with room kept: Capacity entries, Used of them listing
    // chunks of Bytes bytes in all.
    struct TPartIndex {
        std::uint64_t Offset = 0;
        std::uint32_t Capacity = 0;
        std::uint32_t Used = 0;
        std::uint64_t Bytes = 0;
    };
    struct TStreamState {
        TAviStreamSetup Setup;
        std::uint32_t ChunkId = 0;
        std::uint64_t ClosedChunks = 0;  // in parts already closed
        std::uint64_t ClosedBytes = 0;
        std::uint64_t FirstPartChunks = 0;
        std::uint64_t PartChunks = 0;    // in the open part
        std::uint64_t PartBytes = 0;
        std::uint32_t MaxChunk = 0;
        std::vector<avi::TSuperEntry> Super;  // of the parts closed
        std::vector<TPartIndex> PartIndexes;  // of the open part
        std::uint64_t PartIndexed = 0;        // the open part's chunks they list
        std::uint64_t PartIndexedBytes = 0;
        bool IndexFull = false;               // the super index has no room left for the open part
    };
    struct TEntry {
        avi::TChunkEntry Chunk;
        int Stream = 0;
    };

    HRESULT OpenPart();
    HRESULT ClosePart();
    // Lists the open part's chunks not yet listed: in the room kept in its last index chunk, the
    // rest in a new index chunk appended with room for as many again.
    HRESULT IndexOpenPart();
    // Lists chunks[0..) of a stream in the room its last index chunk keeps; answers how many fitted.
    std::size_t FillKeptRoom(TStreamState& s, std::span<const avi::TChunkEntry> chunks);
    // After a failed write: the open part's sizes and counts cut back to the whole chunks written
    // and indexed.
    void CutBackOpenPart();
    HRESULT WriteHeader();
    HRESULT FlushBuffer();
    std::uint64_t ProjectedPartSize(std::uint64_t chunkBytes) const;
    void Emit(const std::uint8_t* data, std::size_t size);
    void Emit32(std::uint32_t v);
    // Writes at an offset; a failure of a sequential write also marks how far the file is whole.
    HRESULT WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size, bool sequential);
    // Overwrites bytes written before: in the buffer while they wait there, else in the file.
    HRESULT Patch(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    HRESULT Patch32(std::uint64_t offset, std::uint32_t v);
    // The open part's "movi" and RIFF sizes, to end at these offsets, in the order that never
    // leaves the list running past its part.
    HRESULT SetPartSizes(std::uint64_t moviEnd, std::uint64_t partEnd);
    void Fail(HRESULT hr);

    Microsoft::WRL::ComPtr<IStream> out_;
    TAviWriterOptions options_;
    std::vector<TStreamState> streams_;
    std::vector<TEntry> entries_;  // chunks of the open part, in file order
    std::size_t listedEntries_ = 0;  // entries_ before this one were given to the open part's index
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;  // file offset of buffer_[0]; the file's end is after buffer_
    std::uint64_t streamPos_ = 0;    // the stream's seek pointer
    std::uint64_t whole_ = 0;        // bytes up to here reached the file, after a failure
    std::uint64_t partStart_ = 0;
    std::uint32_t partSize_ = 0;     // the open part's RIFF size as last written
    std::uint64_t moviList_ = 0;     // the open part's "LIST" "movi"
    std::uint64_t firstMoviList_ = 0;
    std::size_t headerBytes_ = 0;
    bool partOpen_ = false;
    bool headPending_ = false;  // the file's start waits in the buffer for the first checkpoint
    bool legacyIndexWritten_ = false;
    bool ioFailed_ = false;
    int parts_ = 0;
    HRESULT failure_ = S_OK;
};

}  // namespace standins
