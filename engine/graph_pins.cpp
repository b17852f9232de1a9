// Graph look-ups of the capture engine.
#include "engine/graph_pins.h"

#include <dshow.h>

#include "dshow/ds_devices.h"
#include "dshow/ds_helpers.h"

namespace engine {

ComPtr<IPin> FindPin(ICaptureGraphBuilder2* Builder, IUnknown* Filter, PIN_DIRECTION Direction,
                     const GUID* Category, const GUID* Type, bool Unconnected, int Number) {
    if (Builder == nullptr || Filter == nullptr || Number < 0) return nullptr;
    ComPtr<IPin> pin;
    if (FAILED(Builder->FindPin(Filter, Direction, Category, Type, Unconnected ? TRUE : FALSE, Number,
                                pin.GetAddressOf())))
        return nullptr;
    return pin;
}

ComPtr<IPin> ConnectedTo(IPin* Pin) {
    ComPtr<IPin> peer;
    if (Pin == nullptr || FAILED(Pin->ConnectedTo(peer.GetAddressOf()))) return nullptr;
    return peer;
}

ComPtr<IBaseFilter> PinOwner(IPin* Pin) {
    if (Pin == nullptr) return nullptr;
    PIN_INFO info{};
    if (FAILED(Pin->QueryPinInfo(&info))) return nullptr;
    ComPtr<IBaseFilter> owner;
    dshow::TakeOver(owner, info.pFilter);
    return owner;
}

GUID PinCategory(IPin* Pin) {
    ComPtr<IKsPropertySet> props;
    if (Pin == nullptr || FAILED(Pin->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(props.GetAddressOf()))))
        return GUID_NULL;
    GUID category = GUID_NULL;
    DWORD returned = 0;
    if (FAILED(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category), &returned)) ||
        returned != sizeof(category))
        return GUID_NULL;
    return category;
}

ComPtr<IPin> InputOfCategory(IBaseFilter* Filter, const GUID& Category) {
    ComPtr<IEnumPins> pins;
    if (Filter == nullptr || FAILED(Filter->EnumPins(pins.GetAddressOf()))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION direction{};
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT && PinCategory(pin.Get()) == Category)
            return pin;
    }
    return nullptr;
}

ComPtr<IPin> PinAt(IBaseFilter* Filter, int Index) {
    ComPtr<IEnumPins> pins;
    if (Filter == nullptr || Index < 0 || FAILED(Filter->EnumPins(pins.GetAddressOf()))) return nullptr;
    ComPtr<IPin> pin;
    for (int i = 0; pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK; ++i)
        if (i == Index) return pin;
    return nullptr;
}

TConnectionType::~TConnectionType() { dshow::FreeMediaType(mt_); }

bool TConnectionType::Read(IPin* Pin) {
    dshow::FreeMediaType(mt_);
    mt_ = AM_MEDIA_TYPE{};
    valid_ = Pin != nullptr && SUCCEEDED(Pin->ConnectionMediaType(&mt_));
    if (!valid_) mt_ = AM_MEDIA_TYPE{};
    return valid_;
}

ComPtr<IMoniker> MonikerFromDisplayName(const std::wstring& DisplayName) { return dshow::ParseMonikerName(DisplayName); }

std::wstring MonikerDisplayName(IMoniker* Moniker) {
    ComPtr<IBindCtx> ctx;
    LPOLESTR text = nullptr;
    if (Moniker == nullptr || FAILED(CreateBindCtx(0, ctx.GetAddressOf())) ||
        FAILED(Moniker->GetDisplayName(ctx.Get(), nullptr, &text)) || text == nullptr)
        return {};
    std::wstring result = text;
    CoTaskMemFree(text);
    return result;
}

bool SameMoniker(IMoniker* A, IMoniker* B) {
    if (A == nullptr || B == nullptr) return false;
    const HRESULT hr = A->IsEqual(B);
    if (hr == S_OK) return true;
    if (hr == S_FALSE) return false;
    // A moniker that cannot compare itself: the same answer from the display names.
    const std::wstring a = MonikerDisplayName(A);
    return !a.empty() && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1,
                                        MonikerDisplayName(B).c_str(), -1) == CSTR_EQUAL;
}

std::vector<std::wstring> GraphFilterNames(IFilterGraph* Graph) {
    std::vector<std::wstring> names;
    ComPtr<IEnumFilters> filters;
    if (Graph == nullptr || FAILED(Graph->EnumFilters(filters.GetAddressOf()))) return names;
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        FILTER_INFO info{};
        if (FAILED(filter->QueryFilterInfo(&info))) continue;
        names.emplace_back(info.achName);
        if (info.pGraph != nullptr) info.pGraph->Release();
    }
    return names;
}

bool GraphHolds(IFilterGraph* Graph, IBaseFilter* Filter) {
    ComPtr<IEnumFilters> filters;
    if (Graph == nullptr || Filter == nullptr || FAILED(Graph->EnumFilters(filters.GetAddressOf()))) return false;
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK)
        if (filter.Get() == Filter) return true;
    return false;
}

}  // namespace engine

namespace engine {

std::vector<ComPtr<IMoniker>> CategoryMonikers(const GUID& Category) {
    std::vector<ComPtr<IMoniker>> result;
    ComPtr<ICreateDevEnum> devices;
    dshow::CheckDSError(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                         reinterpret_cast<void**>(devices.GetAddressOf())));
    ComPtr<IEnumMoniker> monikers;
    // S_FALSE: the category is empty.
    if (devices->CreateClassEnumerator(Category, monikers.GetAddressOf(), 0) != S_OK || !monikers) return result;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) result.push_back(moniker);
    return result;
}

int CountPins(ICaptureGraphBuilder2* Builder, IBaseFilter* Filter, const GUID* Category, const GUID* Type) {
    int count = 0;
    while (FindPin(Builder, Filter, PINDIR_OUTPUT, Category, Type, false, count)) ++count;
    return count;
}

HRESULT ConnectPins(IFilterGraph* Graph, IPin* Output, IPin* Input, const AM_MEDIA_TYPE* Type) {
    if (Graph == nullptr || Output == nullptr || Input == nullptr) return E_POINTER;
    return Graph->ConnectDirect(Output, Input, Type);
}

HRESULT ConnectOwnType(IFilterGraph* Graph, IPin* Output, IPin* Input) {
    if (Graph == nullptr || Output == nullptr || Input == nullptr) return E_POINTER;
    ComPtr<IEnumMediaTypes> types;
    if (SUCCEEDED(Output->EnumMediaTypes(types.GetAddressOf())) && types) {
        AM_MEDIA_TYPE* type = nullptr;
        for (int tried = 0; tried < 16 && types->Next(1, &type, nullptr) == S_OK; ++tried) {
            const HRESULT hr = Graph->ConnectDirect(Output, Input, type);
            dshow::DeleteMediaType(type);
            if (SUCCEEDED(hr)) return hr;
        }
    }
    return Graph->ConnectDirect(Output, Input, nullptr);
}

HRESULT ConnectToFreeInput(ICaptureGraphBuilder2* Builder, IFilterGraph* Graph, IPin* Output, IBaseFilter* Filter) {
    ComPtr<IPin> input = FindPin(Builder, Filter, PINDIR_INPUT, nullptr, nullptr, true, 0);
    if (!input) return VFW_E_NO_ACCEPTABLE_TYPES;
    return ConnectPins(Graph, Output, input.Get());
}

ComPtr<IPin> ListedPin(IBaseFilter* Filter, int Index) {
    dshow::TPinList pins(Filter);
    return pins.GetPin(Index);
}

void SetWriterFileName(IUnknown* Writer, const std::wstring& FileName) {
    ComPtr<IFileSinkFilter> sink = Query<IFileSinkFilter>(Writer, IID_IFileSinkFilter);
    dshow::CheckDSError(sink ? sink->SetFileName(FileName.c_str(), nullptr) : E_NOINTERFACE);
}

}  // namespace engine
