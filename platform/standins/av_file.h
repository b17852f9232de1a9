// A file written by one of libavformat's writers through an IStream (the file writer's): the coded
// streams are described, the header written, packets stamped in 100 ns units handed over (interleaved
// by the writer), and the file finished; and the filter that writes one such file per run. Used by the
// MPEG multiplexer and the ASF writer stand-ins.
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

    // A new file of the named writer ("vob", "asf") from the stream's start; each Describe call fills
    // one stream's parameters. Any file begun before is let go unfinished.
    HRESULT Begin(const char* format, IStream* stream,
                  const std::vector<std::function<void(AVCodecParameters&)>>& describe);
    // A packet of stream n. A packet without a time, or with one not after that stream's last, follows
    // the last one by one tick of the stream.
    HRESULT Write(int n, const BYTE* data, long length, REFERENCE_TIME start, bool timed, bool key);
    // Writes what is still held and the file's end; the file is let go. S_OK when nothing was begun.
    HRESULT Finish();
    bool Started() const { return context_ != nullptr; }
    // Sends what the writer's buffer holds to the stream; answers the first failure since Begin.
    HRESULT FlushOut();
    // Bytes of the file so far, buffered ones included.
    std::uint64_t Position() const;
    // The bytes of the file's start as the header wrote them (Begin keeps them).
    const std::vector<std::uint8_t>& Head() const { return head_; }
    // The end of the latest packet handed over, in 100 ns units (0 before any).
    REFERENCE_TIME LatestTime() const { return latest_; }
    // Flushes, writes Bytes at Offset of the file directly and goes back to its end.
    HRESULT PatchAt(std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
    // The first failure of a write since Begin (S_OK when none).
    HRESULT Failure() const { return failure_; }

private:
    static int WritePacket(void* opaque, std::uint8_t* data, int size);
    static std::int64_t SeekStream(void* opaque, std::int64_t offset, int whence);
    void Release();

    AVFormatContext* context_ = nullptr;
    AVIOContext* io_ = nullptr;
    Microsoft::WRL::ComPtr<IStream> stream_;
    std::vector<std::int64_t> lastDts_;
    std::vector<std::uint8_t> head_;
    bool keepHead_ = false;  // while the header is written
    REFERENCE_TIME latest_ = 0;
    HRESULT failure_ = S_OK;
};

// A filter writing one whole file per run: the file begins at the pause from stopped and is finished
// at the stop; packets come from the streaming threads, and a failed write is told once per file.
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

    // Begins the file with one stream per Describe entry.
    HRESULT BeginFile(const char* format, IStream* stream,
                      const std::vector<std::function<void(AVCodecParameters&)>>& describe);
    // Passes hr on, telling the graph of the first failure of each file.
    HRESULT Written(HRESULT hr);
    // About once a second of a stream's time or of the clock while the file is written (under the
    // write lock): the buffered bytes go to the file, so that a recording that never reaches its
    // stop keeps them; a writer whose header tells sizes and lengths brings it up to date here.
    virtual HRESULT Checkpoint(TAvFile& file) { return file.FlushOut(); }

private:
    // The file being written: the streaming threads and the stopping thread meet here.
    std::mutex writeLock_;
    TAvFile file_;
    std::vector<bool> ended_;
    std::vector<REFERENCE_TIME> checkpointTimes_;  // each stream's time at the last checkpoint
    ULONGLONG checkpointTick_ = 0;
    bool failureReported_ = false;
};

}  // namespace standins
