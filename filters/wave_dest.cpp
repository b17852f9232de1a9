#include "filters/wave_dest.h"

#include "dshow/ds_helpers.h"
#include "filters/whole_write.h"

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace filters {

const CLSID CLSID_qz_WaveDest = {0xa220513c, 0x2cb8, 0x40fb, {0xad, 0x3c, 0x21, 0x61, 0x87, 0x31, 0x87, 0x4c}};
const wchar_t* const WaveDestFilterName = L"WavDest filter";

namespace {

void PutCode(std::vector<BYTE>& block, std::size_t at, const char* code)
{
    std::memcpy(block.data() + at, code, 4);
}

void PutNumber(std::vector<BYTE>& block, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        block[at + static_cast<std::size_t>(i)] = static_cast<BYTE>(v >> (8 * i));
    }
}

}  // namespace

std::vector<BYTE> MakeWaveHeader(const BYTE* format, std::uint32_t cbFormat, std::uint32_t dataBytes)
{
    std::vector<BYTE> block(static_cast<std::size_t>(cbFormat) + 28);
    PutCode(block, 0, "RIFF");
    PutNumber(block, 4, dataBytes + cbFormat + 20);
    PutCode(block, 8, "WAVE");
    PutCode(block, 12, "fmt ");
    PutNumber(block, 16, cbFormat);
    if (cbFormat > 0 && format != nullptr) {
        std::memcpy(block.data() + 20, format, cbFormat);
    }
    PutCode(block, 20 + cbFormat, "data");
    PutNumber(block, 24 + cbFormat, dataBytes);
    return block;
}

std::vector<BYTE> MakeGrowingWaveHeader(const BYTE* format, std::uint32_t cbFormat)
{
    std::vector<BYTE> block = MakeWaveHeader(format, cbFormat, 0);
    PutNumber(block, 4, kGrowingWaveSize);
    PutNumber(block, 24 + cbFormat, kGrowingWaveSize);
    return block;
}

// Filter.

Tqz_WaveDest::Tqz_WaveDest() : TBCTransformFilter("WavDest filter", nullptr, CLSID_qz_WaveDest)
{
}

void Tqz_WaveDest::MakePins()
{
    HRESULT hr = S_OK;
    // The output pin first, then a standard input pin.
    if (!output_) {
        output_ = std::make_unique<TWaveDestOutputPin>(this, hr);
    }
    if (!input_ && output_) {
        try {
            input_ = std::make_unique<TBCTransformInputPin>("Transform input pin", this, hr, L"in");
        } catch (...) {
            output_.reset();
            throw;
        }
    }
}

HRESULT Tqz_WaveDest::CheckInputType(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr || mediaType->formattype != FORMAT_WaveFormatEx || mediaType->pbFormat == nullptr ||
        mediaType->cbFormat < sizeof(PCMWAVEFORMAT)) {
        return S_FALSE;
    }
    return S_OK;
}

HRESULT Tqz_WaveDest::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE*)
{
    HRESULT hr = CheckInputType(in);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT Tqz_WaveDest::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    mediaType->majortype = MEDIATYPE_Stream;
    mediaType->subtype = MEDIASUBTYPE_WAVE;
    return S_OK;
}

HRESULT Tqz_WaveDest::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties)
{
    if (alloc == nullptr || properties == nullptr) {
        return E_POINTER;
    }
    if (!input_ || !input_->IsConnected()) {
        return E_UNEXPECTED;
    }
    properties->cBuffers = 1;
    properties->cbAlign = 1;
    IMemAllocator* inputAlloc = input_->Allocator();
    if (inputAlloc != nullptr) {
        ALLOCATOR_PROPERTIES inputProps{};
        HRESULT hr = inputAlloc->GetProperties(&inputProps);
        if (FAILED(hr)) {
            return hr;
        }
        properties->cbBuffer = inputProps.cbBuffer;
    }
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(properties, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    // More buffers than asked for do no harm: every sample carries its own file offset.
    if (actual.cBuffers < properties->cBuffers || actual.cbBuffer < properties->cbBuffer) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT Tqz_WaveDest::CompleteConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT Tqz_WaveDest::StartStreaming()
{
    const AM_MEDIA_TYPE& format = input_->CurrentMediaType();
    headerSize_.store(format.cbFormat + 28);
    dataBytes_.store(0);
    reported_.store(false);
    // A valid header from the first byte on: a recording that never reaches its stop (a killed
    // process, a power cut) still reads up to its last sample. A header that cannot be written is
    // told now, through the graph, but the start goes on: Wine's graph leaves the other filters
    // paused when one refuses to pause, and then can neither stop nor release them.
    const HRESULT hr = WriteHeader(MakeGrowingWaveHeader(format.pbFormat, format.cbFormat));
    headerResult_.store(hr);
    if (FAILED(hr)) {
        Report(hr);
    }
    return S_OK;
}

HRESULT Tqz_WaveDest::Receive(IMediaSample* sample)
{
    const std::uint32_t before = dataBytes_.load();
    HRESULT hr = TBCTransformFilter::Receive(sample);
    if (hr != S_OK) {
        dataBytes_.store(before);  // not delivered: the next sample takes its place in the file
    }
    return hr;
}

HRESULT Tqz_WaveDest::Transform(IMediaSample* in, IMediaSample* out)
{
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    HRESULT hr = in->GetPointer(&src);
    if (FAILED(hr)) {
        return hr;
    }
    hr = out->GetPointer(&dst);
    if (FAILED(hr)) {
        return hr;
    }
    const long length = in->GetActualDataLength();
    if (length < 0 || length > out->GetSize()) {
        return E_FAIL;
    }
    if (length > 0) {
        std::memcpy(dst, src, static_cast<size_t>(length));
    }
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (in->GetTime(&start, &stop) == S_OK) {
        out->SetTime(&start, &stop);
    }
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) {
        out->SetMediaTime(&mediaStart, &mediaStop);
    }
    AM_MEDIA_TYPE* type = nullptr;
    if (in->GetMediaType(&type) == S_OK && type != nullptr) {
        hr = out->SetMediaType(type);
        dshow::DeleteMediaType(type);
        if (FAILED(hr)) {
            return hr;
        }
    } else {
        dshow::DeleteMediaType(type);
    }
    hr = out->SetActualDataLength(length);
    if (FAILED(hr)) {
        return hr;
    }
    const std::uint64_t pos = static_cast<std::uint64_t>(dataBytes_.load()) + headerSize_.load();
    const std::uint64_t end = pos + static_cast<std::uint64_t>(length);
    if (end > 0xFFFFFFFFull) {
        // Past 4 GiB the header's 32-bit sizes cannot describe the file: the recording ends here.
        Report(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
        return E_FAIL;
    }
    REFERENCE_TIME byteStart = static_cast<REFERENCE_TIME>(pos);
    REFERENCE_TIME byteStop = static_cast<REFERENCE_TIME>(end);
    out->SetTime(&byteStart, &byteStop);
    dataBytes_.store(static_cast<std::uint32_t>(end - headerSize_.load()));
    return S_OK;
}

HRESULT Tqz_WaveDest::StopStreaming()
{
    const AM_MEDIA_TYPE& format = input_->CurrentMediaType();
    const HRESULT hr = WriteHeader(MakeWaveHeader(format.pbFormat, format.cbFormat, dataBytes_.load()));
    headerResult_.store(hr);
    if (FAILED(hr)) {
        Report(hr);
    }
    return hr;
}

void Tqz_WaveDest::Report(HRESULT hr)
{
    if (!reported_.exchange(true)) {
        NotifyEvent(EC_ERRORABORT, hr, 0);
    }
}

HRESULT Tqz_WaveDest::Stop()
{
    HRESULT hr = TBCTransformFilter::Stop();
    if (FAILED(hr) && !IsStopped()) {
        // A header that could not be written is reported, but the filter stops all the same: its
        // pins are already inactive, and a filter left "running" would refuse the next start.
        SetState(State_Stopped);
        eosDelivered_.store(false);
    }
    return hr;
}

HRESULT Tqz_WaveDest::WriteHeader(const std::vector<BYTE>& block)
{
    IPin* peer = output_ ? output_->GetConnected() : nullptr;
    if (peer == nullptr) {
        return E_FAIL;
    }
    ComPtr<IStream> stream;
    HRESULT hr = peer->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.GetAddressOf()));
    if (FAILED(hr)) {
        return hr;
    }
    LARGE_INTEGER zero{};
    hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    return WriteWhole(stream.Get(), block.data(), static_cast<ULONG>(block.size())).Result;
}

// Output pin.

TWaveDestOutputPin::TWaveDestOutputPin(TBCTransformFilter* filter, HRESULT& hr)
    : TBCTransformOutputPin("WavDest output pin", filter, hr, L"Out")
{
}

HRESULT TWaveDestOutputPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType != nullptr && mediaType->majortype == MEDIATYPE_Stream && mediaType->subtype == MEDIASUBTYPE_WAVE) {
        return S_OK;
    }
    return S_FALSE;
}

}  // namespace filters
