// A file written by one of libavformat's writers through an IStream (the file writer's): the coded
// streams are described, the header written, packets stamped in 100 ns units handed over (interleaved
// by the writer), each one's bytes sent on to the file as soon as the writer makes them, and the
// file finished; and the filter that writes one such file per run, bringing the file up to date
// right after its first bytes and then a few times a second. Used by the MPEG multiplexer and the
// ASF writer stand-ins.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "filters/base_filter.h"
#include "platform/standins/recording_settings.h"

struct AVFormatContext;
struct AVIOContext;
struct AVCodecParameters;

namespace standins {

class TAvFile {
public:
    TAvFile() = default;
    ~TAvFile();
    TAvFile(const TAvFile&) = delete;
    TAvFile& operator=(const TAvFile&) = delete;

    // A new file of the named writer ("vob", "asf") from the stream's start, or from At on after a
    // file written before there; each Describe call fills one stream's parameters; every packet's
    // time is handed over Offset later; a packet goes to the file at most Lead before its time by
    // the writer's model of a player's buffers (negative: the writer's own). Any file begun before
    // is let go unfinished.
    HRESULT Begin(const char* format, IStream* stream,
                  const std::vector<std::function<void(AVCodecParameters&)>>& describe, std::uint64_t at = 0,
                  REFERENCE_TIME offset = 0, REFERENCE_TIME lead = -1);
    // A packet of stream n. A packet without a time, or with one not after that stream's last, follows
    // the last one by one tick of the stream.
    HRESULT Write(int n, const BYTE* data, long length, REFERENCE_TIME start, bool timed, bool key);
    // Writes what is still held and the file's end; the file is let go. S_OK when nothing was begun.
    // End receives where the file ended (from the stream's start).
    HRESULT Finish(std::uint64_t* end = nullptr);
    bool Started() const { return context_ != nullptr; }
    // Sends what the writer's buffer holds to the stream; answers the first failure since Begin.
    HRESULT FlushOut();
    // Bytes of the file so far (from the stream's start), buffered ones included.
    std::uint64_t Position() const;
    // The bytes written at Offset (from the stream's start) while they are among the last 64 KiB
    // written in a row; false when they are not.
    bool WrittenBytes(std::uint64_t offset, std::size_t size, std::vector<std::uint8_t>& bytes) const;
    // The bytes of the file's start as the header wrote them (Begin keeps them).
    const std::vector<std::uint8_t>& Head() const { return head_; }
    // Flushes, writes Bytes at Offset of the file directly and goes back to its end.
    HRESULT PatchAt(std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
    // The first failure of a write since Begin (S_OK when none).
    HRESULT Failure() const { return failure_; }
    // The stream is a file of the writer's own: the test's crash counts its writes (the file
    // writer counts those it is handed).
    void CountWritesForTestKill() { testKill_.Begin(); }

private:
    static int WritePacket(void* opaque, std::uint8_t* data, int size);
    static std::int64_t SeekStream(void* opaque, std::int64_t offset, int whence);
    void Release();

    AVFormatContext* context_ = nullptr;
    AVIOContext* io_ = nullptr;
    Microsoft::WRL::ComPtr<IStream> stream_;
    std::vector<std::int64_t> lastDts_;
    std::vector<std::uint8_t> head_;
    std::vector<std::uint8_t> tail_;  // the last bytes written in a row, ending at end_
    std::uint64_t end_ = 0;
    std::uint64_t base_ = 0;          // where the writer's offset 0 lies in the stream
    REFERENCE_TIME offset_ = 0;
    bool keepHead_ = false;  // while the header is written
    HRESULT failure_ = S_OK;
    TTestKill testKill_;
};

// A filter writing one whole file per run: the file begins at the pause from stopped and is finished
// at the stop; packets come from the streaming threads, and a failed write is told once per file.
// A file may open with a lead-in of some of its streams alone: the file of every stream follows
// it in the same stream once a packet of another comes (a program stream's multiplexer writes
// nothing until each of its streams holds a pack's worth, and sound begins later than pictures).
class TAvFileFilter : public filters::TBCBaseFilter {
public:
    using TBCBaseFilter::TBCBaseFilter;

    HRESULT Pause() override;
    HRESULT Stop() override;

    // A packet of stream n; VFW_E_WRONG_STATE when no file is being written.
    HRESULT Write(int stream, const BYTE* data, long length, REFERENCE_TIME start, bool timed, bool key);
    // Stream n has ended; once every stream of the file has, AllStreamsEnded is called.
    void StreamEnded(int stream);

protected:
    // Begins the file of the connected streams (S_OK without one when nothing is connected).
    virtual HRESULT StartFile() = 0;
    // What a start that failed leaves to close.
    virtual void StartFailed() {}
    // Finishes the file; the owner's override finishes its own streams first, then calls this.
    virtual void FinishFile();
    virtual void AllStreamsEnded() = 0;

    // Begins the file with one stream per Describe entry; with LeadIn (one flag per stream, some
    // false), with a lead-in of the flagged streams. Packet times are handed over Offset later;
    // Lead as for TAvFile::Begin.
    HRESULT BeginFile(const char* format, IStream* stream,
                      const std::vector<std::function<void(AVCodecParameters&)>>& describe,
                      const std::vector<bool>& leadIn = {}, REFERENCE_TIME offset = 0, REFERENCE_TIME lead = -1);
    // Passes hr on, telling the graph of the first failure of each file.
    HRESULT Written(HRESULT hr);
    // Right after the file's first bytes past its start, then whenever the file grew by a
    // thirty-second since the last time (a reader may take a header whose file size is further
    // off for a broken one) and every quarter second of a stream's time or of the clock, while the
    // file is written (under the write lock): the buffered bytes go to the file, so that a recording
    // that never reaches its stop keeps them; a writer whose header tells sizes and lengths brings
    // it up to date here.
    virtual HRESULT Checkpoint(TAvFile& file) { return file.FlushOut(); }
    // The file is one the filter opened itself (not through the file writer).
    bool OwnsItsFile = false;

private:
    // The lead-in is finished and the file of every stream begun after it.
    HRESULT EndLeadIn();

    // The file being written: the streaming threads and the stopping thread meet here.
    std::mutex writeLock_;
    TAvFile file_;
    std::vector<bool> ended_;
    std::vector<REFERENCE_TIME> checkpointTimes_;  // each stream's time at the last checkpoint
    ULONGLONG checkpointTick_ = 0;
    std::uint64_t startBytes_ = 0;  // the file's start, before any packet's bytes
    std::uint64_t toldBytes_ = 0;   // the file's size at the last checkpoint
    bool failureReported_ = false;
    // What the file of every stream begins with after a lead-in.
    const char* format_ = nullptr;
    Microsoft::WRL::ComPtr<IStream> stream_;
    std::vector<std::function<void(AVCodecParameters&)>> describe_;
    std::vector<int> leadIndex_;  // each stream's index in the lead-in, -1 when not in it; empty: none
    REFERENCE_TIME offset_ = 0;
    REFERENCE_TIME lead_ = -1;
};

}  // namespace standins
