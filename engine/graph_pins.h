// Small graph look-ups the capture engine repeats: pins through the capture graph builder, a pin's
// peer, owner and connection type, a filter's pin category, device monikers from their display
// names and moniker identity.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace engine {

using Microsoft::WRL::ComPtr;

// Object's interface Iid, nullptr when it has none (MinGW lacks __uuidof for several interfaces).
template <typename I>
ComPtr<I> Query(IUnknown* Object, REFIID Iid) {
    ComPtr<I> result;
    if (Object != nullptr) Object->QueryInterface(Iid, reinterpret_cast<void**>(result.GetAddressOf()));
    return result;
}

// The Number-th pin of Filter (0-based) of that direction, category and major type (nullptr for
// any), only unconnected pins when Unconnected; nullptr when none or on any failure.
ComPtr<IPin> FindPin(ICaptureGraphBuilder2* Builder, IUnknown* Filter, PIN_DIRECTION Direction,
                     const GUID* Category, const GUID* Type, bool Unconnected, int Number);
// The pin connected to Pin, nullptr when none.
ComPtr<IPin> ConnectedTo(IPin* Pin);
// The filter that owns Pin, nullptr when none.
ComPtr<IBaseFilter> PinOwner(IPin* Pin);
// The pin's category (IKsPropertySet, AMPROPSETID_Pin), GUID_NULL when it reports none.
GUID PinCategory(IPin* Pin);
// The first input pin of Filter whose category is Category, nullptr when there is none.
ComPtr<IPin> InputOfCategory(IBaseFilter* Filter, const GUID& Category);
// The Index-th pin of Filter in enumeration order, nullptr when there is none.
ComPtr<IPin> PinAt(IBaseFilter* Filter, int Index);

// A connection's media type, owned: the format block is freed with it.
class TConnectionType {
public:
    TConnectionType() = default;
    ~TConnectionType();
    TConnectionType(const TConnectionType&) = delete;
    TConnectionType& operator=(const TConnectionType&) = delete;
    // Reads Pin's connection type; false (and an empty type) when Pin is not connected.
    bool Read(IPin* Pin);
    AM_MEDIA_TYPE* Get() { return &mt_; }
    const AM_MEDIA_TYPE* operator->() const { return &mt_; }
    bool Valid() const { return valid_; }

private:
    AM_MEDIA_TYPE mt_{};
    bool valid_ = false;
};

// The device moniker of a display name ("@device:sw:{category}\..."), nullptr when it does not parse.
ComPtr<IMoniker> MonikerFromDisplayName(const std::wstring& DisplayName);
std::wstring MonikerDisplayName(IMoniker* Moniker);
// Whether two monikers name the same object: the moniker's own comparison where it answers, else
// the display names compared without case.
bool SameMoniker(IMoniker* A, IMoniker* B);

// The names of the filters in a graph, in the graph's order.
std::vector<std::wstring> GraphFilterNames(IFilterGraph* Graph);
// Whether Filter is in Graph.
bool GraphHolds(IFilterGraph* Graph, IBaseFilter* Filter);

}  // namespace engine

namespace engine {

// The monikers of a device category in one pass (empty for an empty category); raises
// EDirectShowException when the system device enumerator cannot be made.
std::vector<ComPtr<IMoniker>> CategoryMonikers(const GUID& Category);
// Output pins of Filter of that category and type, counted through the capture graph builder.
int CountPins(ICaptureGraphBuilder2* Builder, IBaseFilter* Filter, const GUID* Category, const GUID* Type);
// Connects Output to Input directly in Graph (no filter is inserted).
HRESULT ConnectPins(IFilterGraph* Graph, IPin* Output, IPin* Input, const AM_MEDIA_TYPE* Type = nullptr);
// Connects Output to Input directly with the first of Output's own types that Input takes, else as
// the pins agree. An in-place filter reconnects its input with its output's type, and a type that
// the downstream pin proposed may not be one the filter upstream of it can give.
HRESULT ConnectOwnType(IFilterGraph* Graph, IPin* Output, IPin* Input);
// Connects Output to Filter's first unconnected input pin directly.
HRESULT ConnectToFreeInput(ICaptureGraphBuilder2* Builder, IFilterGraph* Graph, IPin* Output, IBaseFilter* Filter);
// Pin Index of Filter in its pin list (enumeration order); raises EListError when there is none,
// as the builders' pin lists do.
ComPtr<IPin> ListedPin(IBaseFilter* Filter, int Index);
// Gives a file writer (the filter behind Writer, through IFileSinkFilter) the file it writes;
// raises EDirectShowException when it has no sink or refuses the name.
void SetWriterFileName(IUnknown* Writer, const std::wstring& FileName);

}  // namespace engine
