// The WAVE writer: a transform filter that turns a wave-format audio stream into a byte stream for a
// file writer (each sample stamped with its byte offset after room for the header) and writes the
// RIFF/WAVE header with the final sizes at the start of the file when streaming stops.
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

class Tqz_WaveDest : public TBCTransformFilter {
public:
    Tqz_WaveDest();

    std::uint32_t DataBytes() const { return dataBytes_.load(); }
    std::uint32_t HeaderSize() const { return headerSize_.load(); }
    // The outcome of the last header write (through the downstream pin's stream at stop).
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
    HRESULT WriteHeader();

    // DataBytes is counted on the streaming thread and read by the stopping thread once the stream
    // has stopped; atomics keep the reads well-defined whatever the order.
    std::atomic<std::uint32_t> dataBytes_{0};
    std::atomic<std::uint32_t> headerSize_{0};
    std::atomic<HRESULT> headerResult_{S_OK};
};

class TWaveDestOutputPin : public TBCTransformOutputPin {
public:
    TWaveDestOutputPin(TBCTransformFilter* filter, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;
};

}  // namespace filters
