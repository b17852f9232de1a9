// The WAVE writer: a transform filter that turns a wave-format audio stream into a byte stream for a
// file writer (each sample stamped with its byte offset after room for the header) and writes the
// RIFF/WAVE header with the final sizes at the start of the file when streaming stops.
#pragma once

#include "filters/transform_filter.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace filters {

// {A220513C-2CB8-40FB-AD3C-21618731874C}
extern const CLSID CLSID_qz_WaveDest;
extern const wchar_t* const WaveDestFilterName;  // "WavDest filter"

// The header block: "RIFF", size, "WAVE", "fmt ", cbFormat, the format block, "data", dataBytes.
std::vector<BYTE> MakeWaveHeader(const BYTE* format, std::uint32_t cbFormat, std::uint32_t dataBytes);

class Tqz_WaveDest : public TBCTransformFilter {
public:
    // Made on the thread that stops the graph (the main thread): a header that must go in by file
    // name is written there once Stop has returned.
    Tqz_WaveDest();
    ~Tqz_WaveDest() override;

    std::uint32_t DataBytes() const { return dataBytes_.load(); }
    std::uint32_t HeaderSize() const { return headerSize_.load(); }
    // The outcome of the last header write: S_FALSE while one waits to be written by file name.
    HRESULT HeaderResult() const { return headerResult_.load(); }
    // Writes a header that waits for the owner's thread now (that thread only).
    void FinishPendingHeader();
    // The file the downstream writer writes, for a writer whose pin offers no stream and that does
    // not tell its file name (Wine's File writer): the builder gives the name it gave the writer.
    const std::wstring& HeaderFileName() const { return headerFileName_; }
    void SetHeaderFileName(const std::wstring& name) { headerFileName_ = name; }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT CompleteConnect(PIN_DIRECTION dir, IPin* receivePin) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT Stop() override;

protected:
    void MakePins() override;

private:
    HRESULT WriteHeader();

    // DataBytes is counted on the streaming thread and read by the stopping thread once the stream
    // has stopped; atomics keep the reads well-defined whatever the order.
    std::atomic<std::uint32_t> dataBytes_{0};
    std::atomic<std::uint32_t> headerSize_{0};
    std::atomic<HRESULT> headerResult_{S_OK};
    HWND window_ = nullptr;
    std::wstring headerFileName_;  // set while stopped, on the owner's thread
    std::mutex pendingLock_;
    std::wstring pendingFile_;
    std::vector<BYTE> pendingHeader_;
};

class TWaveDestOutputPin : public TBCTransformOutputPin {
public:
    TWaveDestOutputPin(TBCTransformFilter* filter, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
};

}  // namespace filters
