// Crossbar routing: finds every physical video input that can reach a capture pin through the
// crossbar filters upstream of it, names those inputs by their connector type and routes a chosen
// one (with its related audio input) through every crossbar of its chain.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace dshow {

using Microsoft::WRL::ComPtr;

// One crossbar of a chain. Indices are -1 where the crossbar reports none.
struct TCrRouting {
    TCrRouting* LeftRouting = nullptr;   // the record upstream
    TCrRouting* RightRouting = nullptr;  // the record downstream
    long VideoInputIndex = -1;
    long VideoOutputIndex = -1;
    long AudioInputIndex = -1;
    long AudioOutputIndex = -1;
    ComPtr<IAMCrossbar> Crossbar;        // each record holds its own reference
    long VideoInputPhysicalType = 0;
    long VideoOutputPhysicalType = 0;
    long Depth = 0;                      // 0 for the crossbar feeding the start pin
};

// One physical input's chain: element 0 is the crossbar farthest upstream, the last one feeds the
// start pin. Links point within the array.
using TRouteArray = std::vector<TCrRouting>;

// The display name of a physical connector type ("Video Composite", ..., "Unknown").
std::wstring PhysicalConnectorName(long PhysicalType);

class TCrossbar {
public:
    // Builds the chains from StartPin (a capture filter's video input pin); nullptr gives none.
    explicit TCrossbar(IPin* StartPin);
    TCrossbar(const TCrossbar&) = delete;
    TCrossbar& operator=(const TCrossbar&) = delete;

    // Always S_OK.
    HRESULT GetInputCount(long& Count) const;
    // E_FAIL for an Index outside 0..count-1.
    HRESULT GetInputType(long Index, long& PhysicalType) const;
    HRESULT GetInputName(long Index, std::wstring& Name) const;
    // Routes every crossbar of chain Index, farthest upstream first; the result is the last
    // crossbar's. E_FAIL for an Index outside 0..count-1.
    HRESULT SetInputIndex(long Index);
    long CurrentInputIndex() const { return currentIndex_; }
    const std::vector<TRouteArray>& Chains() const { return chains_; }

private:
    HRESULT BuildRoutingList(IPin* StartPin, TCrRouting* Routing, long Depth);
    void SaveRouting(const TCrRouting* Routing);

    std::vector<TRouteArray> chains_;
    long currentIndex_ = 0;
};

}  // namespace dshow
