// The WAVE writer: a transform filter that turns a wave-format audio stream into a byte stream for a
// file writer (each sample stamped with its byte offset after the header). It writes a header for a
// file still growing when streaming starts, so that a recording cut short by a crash keeps what was
// written, and the RIFF/WAVE header with the final sizes when streaming stops. A header that cannot
// be written, and a sample that would take the file past 4 GiB, are reported through EC_ERRORABORT
// (once per run).
#pragma once

#include "filters/transform_filter.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace filters {

// {A220513C-2CB8-40FB-AD3C-21618731874C}
extern const CLSID CLSID_qz_WaveDest;
extern const wchar_t* const WaveDestFilterName;  // "WavDest filter"

// The header block: "RIFF", size, "WAVE", "fmt ", cbFormat, the format block, "data", dataBytes.
std::vector<BYTE> MakeWaveHeader(const BYTE* format, std::uint32_t cbFormat, std::uint32_t dataBytes);
// The header of a file still growing: both sizes 0xFFFFFFFF, which readers take as "up to the end of
// the file" (as ffmpeg writes them when it cannot seek back).
std::vector<BYTE> MakeGrowingWaveHeader(const BYTE* format, std::uint32_t cbFormat);
inline constexpr std::uint32_t kGrowingWaveSize = 0xFFFFFFFFu;

class Tqz_WaveDest : public TBCTransformFilter {
public:
    Tqz_WaveDest();

    std::uint32_t DataBytes() const { return dataBytes_.load(); }
    std::uint32_t HeaderSize() const { return headerSize_.load(); }
    // The outcome of the last header write (through the downstream pin's stream, at the start or the stop).
    HRESULT HeaderResult() const { return headerResult_.load(); }

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
    HRESULT WriteHeader(const std::vector<BYTE>& block);
    // Once per run: the first failure is the one worth telling.
    void Report(HRESULT hr);

    // DataBytes is counted on the streaming thread and read by the stopping thread once the stream
    // has stopped; atomics keep the reads well-defined whatever the order.
    std::atomic<std::uint32_t> dataBytes_{0};
    std::atomic<std::uint32_t> headerSize_{0};
    std::atomic<HRESULT> headerResult_{S_OK};
    std::atomic<bool> reported_{false};
};

class TWaveDestOutputPin : public TBCTransformOutputPin {
public:
    TWaveDestOutputPin(TBCTransformFilter* filter, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
};

}  // namespace filters
