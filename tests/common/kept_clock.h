// Test helper: the graph's own system clock kept alive to the end of the test process. Wine's
// system clock can lose the wake-up its last release sends its advise thread and then waits for that
// thread for ever; a test that releases such a clock at the wrong moment hangs. A clock a filter
// gives (a renderer's) is left to its filter.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <vector>

namespace quill_test {

inline void KeepSystemClock(IUnknown* Graph) {
    static std::vector<Microsoft::WRL::ComPtr<IReferenceClock>> kept;
    Microsoft::WRL::ComPtr<IMediaFilter> filter;
    if (Graph == nullptr) return;
    if (FAILED(Graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(filter.GetAddressOf())))) return;
    Microsoft::WRL::ComPtr<IReferenceClock> clock;
    if (filter->GetSyncSource(clock.GetAddressOf()) != S_OK || !clock) return;
    Microsoft::WRL::ComPtr<IBaseFilter> owner;
    if (SUCCEEDED(clock.As(&owner))) return;
    kept.push_back(clock);
}

}  // namespace quill_test
