// Helpers of the DV stand-in tests: COM on the test thread, pins by direction, a Sample Grabber that
// keeps copies of what reaches it, and graph running.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace dvtest {

using Microsoft::WRL::ComPtr;

// {C1F400A4-3F08-11D3-9F0B-006008039E37}
inline const CLSID kNullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
// {C1F400A0-3F08-11D3-9F0B-006008039E37}
inline const CLSID kSampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

struct ComScope {
    ComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComScope() { CoUninitialize(); }
};

template <typename T>
ComPtr<T> Create(REFCLSID clsid, REFIID iid)
{
    ComPtr<T> out;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(out.GetAddressOf()));
    return out;
}

// The interface Iid of Unknown, or null (no __uuidof: strmif's DV interfaces have none in MinGW).
template <typename T, typename U>
ComPtr<T> Query(const ComPtr<U>& unknown, REFIID iid)
{
    ComPtr<T> out;
    if (unknown) unknown->QueryInterface(iid, reinterpret_cast<void**>(out.GetAddressOf()));
    return out;
}

// The Index-th pin of that direction (0-based), or null.
inline ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION dir, int index = 0)
{
    ComPtr<IEnumPins> pins;
    if (filter == nullptr || FAILED(filter->EnumPins(pins.GetAddressOf()))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == dir && index-- == 0) return pin;
    }
    return nullptr;
}

inline int PinCount(IBaseFilter* filter)
{
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.GetAddressOf());
    int n = 0;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++n;
    return n;
}

// Keeps a copy of every buffer (up to Limit) that the grabber hands over.
class Collector : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *obj = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *obj = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BufferCB(double time, BYTE* buffer, long length) override
    {
        std::lock_guard<std::mutex> guard(Mutex);
        ++Count;
        if (static_cast<int>(Buffers.size()) < Limit) {
            Buffers.emplace_back(buffer, buffer + length);
            Times.push_back(time);
        }
        return S_OK;
    }
    int Taken()
    {
        std::lock_guard<std::mutex> guard(Mutex);
        return static_cast<int>(Buffers.size());
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(Mutex);
        Buffers.clear();
        Times.clear();
    }
    std::vector<double> TimesTaken()
    {
        std::lock_guard<std::mutex> guard(Mutex);
        return Times;
    }
    std::vector<std::vector<std::uint8_t>> Copy()
    {
        std::lock_guard<std::mutex> guard(Mutex);
        return Buffers;
    }
    std::mutex Mutex;
    std::vector<std::vector<std::uint8_t>> Buffers;
    std::vector<double> Times;  // each buffer's start time, in seconds
    int Limit = 60;
    std::atomic<int> Count{0};
};

// A Sample Grabber in the graph taking MajorType (and SubType when given), calling back into C.
inline ComPtr<IBaseFilter> AddGrabber(IGraphBuilder* graph, Collector& c, const GUID& majorType,
                                      const GUID& subType = GUID_NULL, const wchar_t* name = L"Grabber")
{
    auto filter = Create<IBaseFilter>(kSampleGrabber, IID_IBaseFilter);
    if (!filter) return nullptr;
    auto grabber = Query<ISampleGrabber>(filter, IID_ISampleGrabber);
    AM_MEDIA_TYPE mt{};
    mt.majortype = majorType;
    mt.subtype = subType;
    grabber->SetMediaType(&mt);
    grabber->SetBufferSamples(FALSE);
    grabber->SetOneShot(FALSE);
    grabber->SetCallback(&c, 1);
    graph->AddFilter(filter.Get(), name);
    return filter;
}

inline ComPtr<IBaseFilter> AddFilter(IGraphBuilder* graph, REFCLSID clsid, const wchar_t* name)
{
    auto filter = Create<IBaseFilter>(clsid, IID_IBaseFilter);
    if (filter) graph->AddFilter(filter.Get(), name);
    return filter;
}

// Runs the graph until Done answers true or TimeoutMs passed, then stops it; answers Done().
template <typename F>
bool RunUntil(IGraphBuilder* graph, F&& done, DWORD timeoutMs = 15000)
{
    ComPtr<IMediaControl> control;
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control.GetAddressOf()));
    if (FAILED(control->Run())) return false;
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < timeoutMs) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    control->Stop();
    return done();
}

inline std::uint8_t Bcd(int v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

}  // namespace dvtest
