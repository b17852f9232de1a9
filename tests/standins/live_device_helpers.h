// What the synthetic device tests share: the devices found through the system device enumerator,
// a graph fixture with stock Wine filters, a sample grabber callback that hands every sample to a
// test's function, and the stand-in DLL's own count of live objects.
#pragma once

#include "graph_helpers.h"
#include "kept_clock.h"
#include <windows.h>
#include <dshow.h>
#include <mmreg.h>
#include <qedit.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>
#include <string>

#include "dshow/ds_devices.h"
#include "dshow/ds_helpers.h"

// Stock class ids that MinGW's headers lack (their values are in strmiids).
EXTERN_C const CLSID CLSID_NullRenderer;
EXTERN_C const CLSID CLSID_SampleGrabber;

namespace standins_test {

using quill_test::Create;
using quill_test::PinAt;
using quill_test::WaitFor;

using Microsoft::WRL::ComPtr;

// The moniker of the device listed under name in category (through the program's enumerator).
inline ComPtr<IMoniker> DeviceMoniker(const GUID& category, const std::wstring& name)
{
    dshow::TSysDevEnum devices(category);
    const int index = devices.FilterIndexOfFriendlyName(name);
    return index < 0 ? nullptr : devices.GetMoniker(index);
}

inline std::wstring DisplayName(IMoniker* moniker)
{
    ComPtr<IBindCtx> ctx;
    LPOLESTR text = nullptr;
    if (FAILED(CreateBindCtx(0, ctx.GetAddressOf())) || FAILED(moniker->GetDisplayName(ctx.Get(), nullptr, &text))) {
        return {};
    }
    std::wstring result = text;
    CoTaskMemFree(text);
    return result;
}

inline ComPtr<IBaseFilter> BindFilter(IMoniker* moniker)
{
    ComPtr<IBaseFilter> filter;
    if (moniker != nullptr) {
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    }
    return filter;
}

inline ComPtr<IBaseFilter> BindDisplayName(const std::wstring& name)
{
    ComPtr<IBindCtx> ctx;
    ComPtr<IMoniker> moniker;
    ULONG eaten = 0;
    if (FAILED(CreateBindCtx(0, ctx.GetAddressOf())) ||
        FAILED(MkParseDisplayName(ctx.Get(), name.c_str(), &eaten, moniker.GetAddressOf()))) {
        return nullptr;
    }
    return BindFilter(moniker.Get());
}

// Live objects of the stand-in DLL: DllCanUnloadNow answers S_OK only when none is left.
inline HRESULT StandinsCanUnload()
{
    HMODULE dll = GetModuleHandleW(L"quill_standins.dll");
    if (dll == nullptr) {
        return E_FAIL;
    }
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto fn = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    return fn == nullptr ? E_FAIL : fn();
}

inline int VideoWidth(const AM_MEDIA_TYPE& mt)
{
    if (mt.formattype != FORMAT_VideoInfo || mt.cbFormat < sizeof(VIDEOINFOHEADER) || mt.pbFormat == nullptr) {
        return 0;
    }
    return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth;
}

// A PCM sound type as a source offers it (its format block its own); a test may spoil any field.
struct WaveType : AM_MEDIA_TYPE {
    explicit WaveType(DWORD rate, WORD channels = 2, WORD bits = 16)
    {
        *static_cast<AM_MEDIA_TYPE*>(this) = {};
        majortype = MEDIATYPE_Audio;
        subtype = MEDIASUBTYPE_PCM;
        formattype = FORMAT_WaveFormatEx;
        bFixedSizeSamples = TRUE;
        auto* wf = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        std::memset(wf, 0, sizeof(*wf));
        wf->wFormatTag = WAVE_FORMAT_PCM;
        wf->nChannels = channels;
        wf->nSamplesPerSec = rate;
        wf->wBitsPerSample = bits;
        wf->nBlockAlign = static_cast<WORD>(channels * bits / 8);
        wf->nAvgBytesPerSec = rate * wf->nBlockAlign;
        lSampleSize = wf->nBlockAlign;
        pbFormat = reinterpret_cast<BYTE*>(wf);
        cbFormat = sizeof(WAVEFORMATEX);
    }
    ~WaveType() { dshow::FreeMediaType(*this); }
    WaveType(const WaveType&) = delete;
    WaveType& operator=(const WaveType&) = delete;
    WAVEFORMATEX& Wf() { return *reinterpret_cast<WAVEFORMATEX*>(pbFormat); }
};

// A sample grabber callback calling OnSample on the streaming thread, under its own lock.
class GrabberCallback : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        *obj = nullptr;
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *obj = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    // Lives on the test's stack, beyond the graph.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override
    {
        std::lock_guard<std::mutex> lock(Mutex);
        if (OnSample) {
            OnSample(sample);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }

    std::mutex Mutex;
    std::function<void(IMediaSample*)> OnSample;
};

// A graph with the clock it chooses, its control and events; the stand-in DLL must have no object
// left once a test has released its graph. (Wine's graph starts the stream about 200 ms after Run.)
class DeviceGraph : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        graph = Create<IGraphBuilder>(CLSID_FilterGraph);
        ASSERT_TRUE(graph);
        ASSERT_EQ(S_OK, graph.As(&control));
        ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.GetAddressOf())));
    }
    void TearDown() override
    {
        if (control) {
            control->Stop();
        }
        quill_test::KeepSystemClock(graph.Get());
        control.Reset();
        events.Reset();
        graph.Reset();
        held.clear();
        callbacks.clear();  // the grabbers that called them are gone
        if (GetModuleHandleW(L"quill_standins.dll") != nullptr) {
            EXPECT_EQ(S_OK, StandinsCanUnload()) << "stand-in filters, pins or enumerators left alive";
        }
        CoUninitialize();
    }
    ComPtr<IBaseFilter> Add(const ComPtr<IBaseFilter>& filter, const wchar_t* name)
    {
        EXPECT_TRUE(filter);
        if (filter) {
            EXPECT_EQ(S_OK, graph->AddFilter(filter.Get(), name));
            held.push_back(filter);
        }
        return filter;
    }
    ComPtr<IBaseFilter> AddStock(REFCLSID clsid, const wchar_t* name) { return Add(Create<IBaseFilter>(clsid), name); }
    HRESULT Link(IBaseFilter* from, IBaseFilter* to, const AM_MEDIA_TYPE* mt = nullptr)
    {
        return graph->ConnectDirect(PinAt(from, PINDIR_OUTPUT).Get(), PinAt(to, PINDIR_INPUT).Get(), mt);
    }
    // A grabber callback that lives as long as the test's filters.
    GrabberCallback& Callback()
    {
        callbacks.push_back(std::make_unique<GrabberCallback>());
        return *callbacks.back();
    }
    // A sample grabber taking major/sub type, calling cb (from Callback) for every sample.
    ComPtr<IBaseFilter> AddGrabber(GrabberCallback& cb, const GUID& major, const GUID& sub)
    {
        auto filter = AddStock(CLSID_SampleGrabber, L"Grabber");
        ComPtr<ISampleGrabber> grabber;
        if (filter && SUCCEEDED(filter.As(&grabber))) {
            AM_MEDIA_TYPE mt{};
            mt.majortype = major;
            mt.subtype = sub;
            EXPECT_EQ(S_OK, grabber->SetMediaType(&mt));
            grabber->SetBufferSamples(FALSE);
            grabber->SetOneShot(FALSE);
            EXPECT_EQ(S_OK, grabber->SetCallback(&cb, 0));
        }
        return filter;
    }
    // Event codes waiting in the graph's queue that are errors (abort, user abort, error stop).
    int ErrorEvents()
    {
        int n = 0;
        long ev = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (events->GetEvent(&ev, &p1, &p2, 0) == S_OK) {
            if (ev == EC_ERRORABORT || ev == EC_ERROR_STILLPLAYING || ev == EC_STREAM_ERROR_STOPPED) {
                ++n;
            }
            events->FreeEventParams(ev, p1, p2);
        }
        return n;
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    std::vector<ComPtr<IBaseFilter>> held;
    std::vector<std::unique_ptr<GrabberCallback>> callbacks;
};

}  // namespace standins_test
