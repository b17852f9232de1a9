// A file written by one of libavformat's writers through an IStream (the file writer's): the coded
// streams are described, the header written, packets stamped in 100 ns units handed over (interleaved
// by the writer), and the file finished. Used by the MPEG multiplexer and the ASF writer stand-ins;
// not shared between threads without the owner's lock.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <vector>

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
    HRESULT failure_ = S_OK;
};

}  // namespace standins
