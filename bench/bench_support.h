// What the engine benchmarks share: the wall clock and the process's processor time in
// milliseconds, a wait that lets window messages through, and a renderer end that counts frames.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <memory>

#include "filters/base_io_pins.h"

namespace bench {

inline const CLSID kSinkClass = {0x5d7c1e20, 0x1b2a, 0x4c3d, {0x8e, 0x4f, 0x50, 0x61, 0x72, 0x83, 0x94, 0xa5}};

// A renderer end that counts samples of one major type (video unless told) and does nothing else.
class CountingSink : public filters::TBCBaseFilter {
public:
    explicit CountingSink(const GUID& major = MEDIATYPE_Video)
        : filters::TBCBaseFilter("Counting sink", nullptr, std::make_unique<filters::TBCCritSec>(), kSinkClass), Major(major) {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
    }
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    std::atomic<int> Frames{0};
    const GUID Major;

    class Pin : public filters::TBCBaseInputPin {
    public:
        Pin(CountingSink* owner, HRESULT& hr) : filters::TBCBaseInputPin("Counting pin", owner, owner->Lock(), hr, L"In"), o(owner) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override { return mt->majortype == o->Major ? S_OK : S_FALSE; }
        HRESULT Receive(IMediaSample* sample) override {
            HRESULT hr = filters::TBCBaseInputPin::Receive(sample);
            if (hr == S_OK) ++o->Frames;
            return hr;
        }
        CountingSink* o;
    };

private:
    std::unique_ptr<Pin> pin_;
};

inline double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

inline double CpuMs() {
    FILETIME a, b, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &a, &b, &kernel, &user);
    auto ms = [](const FILETIME& t) { return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 10000.0; };
    return ms(kernel) + ms(user);
}

// Waits for messages rather than polling: a polling loop would itself cost the processor time that
// the benchmarks measure.
inline void Pump(double ms) {
    const double end = Now() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        const double left = end - Now();
        if (left <= 0) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
    }
}

}  // namespace bench
