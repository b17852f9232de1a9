// Test support: a sink for the AVI multiplexer (in the test prefix, our stand-in under the stock class
// id), which writes its file through IStream on the pin it is connected to; this sink's input pin
// offers one and keeps the file's bytes in memory until the test saves them, showing them to the test
// after every write (the file as a program killed at that moment leaves it). Also the interleaving
// setting a multiplexer may need before it will stream.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "filters/base_filter.h"
#include "filters/base_io_pins.h"

namespace avisink {

// Wine 8's AVI Mux refuses to stream (E_NOTIMPL at Pause) in its default interleaving mode, and
// changing the mode reconnects its inputs (which fails once a source is connected): set it first.
inline HRESULT PrepareMux(IBaseFilter* mux)
{
    Microsoft::WRL::ComPtr<IConfigInterleaving> interleaving;
    HRESULT hr = mux->QueryInterface(IID_IConfigInterleaving, reinterpret_cast<void**>(interleaving.GetAddressOf()));
    return FAILED(hr) ? hr : interleaving->put_Mode(INTERLEAVE_FULL);
}

class StreamSink : public filters::TBCBaseFilter {
public:
    class Pin;
    StreamSink();
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override;

    // What the mux wrote, and its writes (seeks included) so far.
    std::vector<std::uint8_t> Bytes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }
    bool Save(const std::filesystem::path& path)
    {
        const auto bytes = Bytes();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
    }
    // Called after every write, on the writing thread, with the bytes as they stand then; set before
    // the graph runs.
    std::function<void(const std::vector<std::uint8_t>&)> AfterWrite;

private:
    friend class Pin;
    std::mutex mutex_;
    std::vector<std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
    std::unique_ptr<Pin> pin_;
};

class StreamSink::Pin : public filters::TBCBaseInputPin {
public:
    Pin(StreamSink* filter, HRESULT& hr)
        : TBCBaseInputPin("AVI stream sink pin", filter, filter->Lock(), hr, L"In"), sink_(*filter)
    {
    }
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IStream || iid == IID_ISequentialStream) {
            return GetInterface(static_cast<IStream*>(&stream_), obj);
        }
        return TBCBaseInputPin::NonDelegatingQueryInterface(iid, obj);
    }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override
    {
        return mt != nullptr && mt->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }
    HRESULT Receive(IMediaSample*) override { return S_OK; }
    // The sink is the graph's renderer: the mux's end of stream completes the graph.
    HRESULT EndOfStream() override
    {
        return sink_.NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(sink_.BaseFilterInterface()));
    }

private:
    struct StreamItf : IStream {
        explicit StreamItf(Pin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override
        {
            std::lock_guard<std::mutex> lock(o.sink_.mutex_);
            auto& s = o.sink_;
            const std::uint64_t have = s.position_ < s.bytes_.size() ? s.bytes_.size() - s.position_ : 0;
            const ULONG n = static_cast<ULONG>(std::min<std::uint64_t>(have, size));
            if (n > 0) {
                std::memcpy(data, s.bytes_.data() + s.position_, n);
            }
            s.position_ += n;
            if (read != nullptr) {
                *read = n;
            }
            return n == size ? S_OK : S_FALSE;
        }
        HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override
        {
            if (data == nullptr && size > 0) {
                return STG_E_INVALIDPOINTER;
            }
            std::lock_guard<std::mutex> lock(o.sink_.mutex_);
            auto& s = o.sink_;
            if (s.bytes_.size() < s.position_ + size) {
                s.bytes_.resize(static_cast<std::size_t>(s.position_ + size));
            }
            if (size > 0) {
                std::memcpy(s.bytes_.data() + s.position_, data, size);
            }
            s.position_ += size;
            if (written != nullptr) {
                *written = size;
            }
            if (s.AfterWrite) {
                s.AfterWrite(s.bytes_);
            }
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override
        {
            std::lock_guard<std::mutex> lock(o.sink_.mutex_);
            auto& s = o.sink_;
            const std::int64_t base = origin == STREAM_SEEK_SET   ? 0
                                      : origin == STREAM_SEEK_CUR ? static_cast<std::int64_t>(s.position_)
                                                                  : static_cast<std::int64_t>(s.bytes_.size());
            if (origin > STREAM_SEEK_END || base + move.QuadPart < 0) {
                return STG_E_INVALIDFUNCTION;
            }
            s.position_ = static_cast<std::uint64_t>(base + move.QuadPart);
            if (newPosition != nullptr) {
                newPosition->QuadPart = s.position_;
            }
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override
        {
            std::lock_guard<std::mutex> lock(o.sink_.mutex_);
            o.sink_.bytes_.resize(static_cast<std::size_t>(size.QuadPart));
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
        {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override
        {
            if (stat == nullptr) {
                return STG_E_INVALIDPOINTER;
            }
            std::lock_guard<std::mutex> lock(o.sink_.mutex_);
            std::memset(stat, 0, sizeof(*stat));
            stat->type = STGTY_STREAM;
            stat->cbSize.QuadPart = o.sink_.bytes_.size();
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
        Pin& o;
    };

    StreamSink& sink_;
    StreamItf stream_{*this};
};

inline StreamSink::StreamSink()
    : TBCBaseFilter("AVI stream sink", nullptr, std::make_unique<filters::TBCCritSec>(),
                    CLSID{0x6a1e0125, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x25}})
{
    HRESULT hr = S_OK;
    pin_ = std::make_unique<Pin>(this, hr);
}

inline filters::TBCBasePin* StreamSink::GetPin(int n)
{
    return n == 0 ? pin_.get() : nullptr;
}

}  // namespace avisink
