// Test helpers for DirectShow graphs: making a stock object, finding a pin by direction, and
// waiting for a condition while the graph's threads work.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

namespace quill_test {

// The object of that class as interface T, or an empty pointer when it cannot be made.
template <typename T>
Microsoft::WRL::ComPtr<T> Create(REFCLSID clsid)
{
    Microsoft::WRL::ComPtr<T> object;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(T), reinterpret_cast<void**>(object.GetAddressOf()));
    return object;
}

// The filter's first pin of that direction, or an empty pointer.
inline Microsoft::WRL::ComPtr<IPin> PinAt(IBaseFilter* filter, PIN_DIRECTION dir)
{
    Microsoft::WRL::ComPtr<IEnumPins> e;
    if (filter == nullptr || FAILED(filter->EnumPins(e.GetAddressOf()))) {
        return nullptr;
    }
    Microsoft::WRL::ComPtr<IPin> pin;
    while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION d{};
        pin->QueryDirection(&d);
        if (d == dir) {
            return pin;
        }
    }
    return nullptr;
}

// Polls done every 5 ms for up to ms milliseconds; answers its last result.
template <typename P>
bool WaitFor(P&& done, int ms = 10000)
{
    for (int waited = 0; waited < ms; waited += 5) {
        if (done()) {
            return true;
        }
        Sleep(5);
    }
    return done();
}

}  // namespace quill_test
