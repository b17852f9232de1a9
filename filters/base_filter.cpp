#include "filters/base_filter.h"

#include "filters/base_pin.h"

#include <algorithm>
#include <cwchar>
#include <stdexcept>

using Microsoft::WRL::ComPtr;

namespace filters {

TBCBaseFilter::TBCBaseFilter(std::string name, IUnknown* owner, std::unique_ptr<TBCCritSec> lock, REFCLSID clsid)
    : TBCUnknown(std::move(name), owner), filterItf_(*this), setupItf_(*this), clsid_(clsid), lock_(std::move(lock))
{
    if (!lock_) {
        // A programming error of the derived filter; a constructor is no COM boundary.
        throw std::invalid_argument("Lock = nil !");
    }
}

TBCBaseFilter::TBCBaseFilter(const TBCFilterTemplateEntry& factory, IUnknown* controller)
    : TBCBaseFilter(factory.Name, controller, std::make_unique<TBCCritSec>(), factory.FilterClsid)
{
}

TBCBaseFilter::~TBCBaseFilter() = default;

HRESULT TBCBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    // IMediaFilter and IPersist are answered too: the graph and COM rules expect them of a filter.
    if (iid == IID_IBaseFilter || iid == IID_IMediaFilter || iid == IID_IPersist) {
        return GetInterface(&filterItf_, obj);
    }
    if (iid == IID_IAMovieSetup) {
        return GetInterface(&setupItf_, obj);
    }
    return TBCUnknown::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TBCBaseFilter::Stop()
{
    TBCAutoLock lock(*lock_);
    HRESULT result = S_OK;
    if (state_.load() != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            TBCBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT hr = pin->Inactive();
                if (FAILED(hr) && SUCCEEDED(result)) {
                    result = hr;
                }
            }
        }
    }
    state_.store(State_Stopped);
    return result;
}

HRESULT TBCBaseFilter::Pause()
{
    TBCAutoLock lock(*lock_);
    if (state_.load() == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            TBCBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT hr = pin->Active();
                if (FAILED(hr)) {
                    return hr;
                }
            }
        }
    }
    state_.store(State_Paused);
    return S_OK;
}

HRESULT TBCBaseFilter::Run(REFERENCE_TIME tStart)
{
    TBCAutoLock lock(*lock_);
    start_ = tStart;
    if (state_.load() == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (state_.load() != State_Running) {
        for (int i = 0; i < GetPinCount(); ++i) {
            TBCBasePin* pin = GetPin(i);
            if (pin != nullptr && pin->IsConnected()) {
                HRESULT hr = pin->Run(tStart);
                if (FAILED(hr)) {
                    return hr;
                }
            }
        }
    }
    state_.store(State_Running);
    return S_OK;
}

HRESULT TBCBaseFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (state == nullptr) {
        return E_POINTER;
    }
    *state = state_.load();
    return S_OK;
}

HRESULT TBCBaseFilter::StreamTime(REFERENCE_TIME& rtStream)
{
    ComPtr<IReferenceClock> clock;
    {
        TBCAutoLock lock(*lock_);
        clock = clock_;
    }
    if (!clock) {
        return VFW_E_NO_CLOCK;
    }
    REFERENCE_TIME now = 0;
    HRESULT hr = clock->GetTime(&now);
    if (FAILED(hr)) {
        return hr;
    }
    rtStream = now - start_;
    return S_OK;
}

HRESULT TBCBaseFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (pin == nullptr) {
        return E_POINTER;
    }
    *pin = nullptr;
    if (id == nullptr) {
        return E_POINTER;
    }
    TBCAutoLock lock(*lock_);
    for (int i = 0; i < GetPinCount(); ++i) {
        TBCBasePin* p = GetPin(i);
        if (p != nullptr && p->Name() == id) {
            *pin = p->PinInterface();
            (*pin)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT TBCBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    TBCAutoLock lock(*lock_);
    graph_ = graph;
    sink_ = nullptr;
    if (graph != nullptr) {
        ComPtr<IMediaEventSink> sink;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(sink.GetAddressOf())))) {
            sink_ = sink.Get();  // kept without a reference, as the graph itself
        }
    }
    name_.clear();
    if (name != nullptr) {
        name_ = name;
    }
    return S_OK;
}

LONG TBCBaseFilter::GetPinVersion()
{
    return pinVersion_;
}

HRESULT TBCBaseFilter::Register()
{
    return RegisterSteps(true);
}

HRESULT TBCBaseFilter::Unregister()
{
    return RegisterSteps(false);
}

HRESULT TBCBaseFilter::RegisterSteps(bool doRegister)
{
    const TBCFilterTemplateEntry* entry = Templates().GetFactoryFromClassID(clsid_);
    if (entry == nullptr) {
        return S_FALSE;
    }
    ComPtr<IFilterMapper2> mapper2;
    ComPtr<IFilterMapper> mapper;
    if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                reinterpret_cast<void**>(mapper2.GetAddressOf()))) &&
        FAILED(CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                reinterpret_cast<void**>(mapper.GetAddressOf())))) {
        return S_FALSE;
    }
    RegisterServerEntries(*entry, false);
    bool ok = mapper2 ? RegisterFilterWithMapper2(*entry, mapper2.Get(), doRegister)
                      : RegisterFilterWithMapper(*entry, mapper.Get(), doRegister);
    if (!ok) {
        return S_FALSE;
    }
    if (doRegister) {
        RegisterServerEntries(*entry, true);
    } else {
        RegisterServerEntries(*entry, false);
    }
    return S_OK;
}

HRESULT TBCBaseFilter::GetClassID(CLSID* clsid)
{
    if (clsid == nullptr) {
        return E_POINTER;
    }
    *clsid = clsid_;
    return S_OK;
}

HRESULT TBCBaseFilter::SetSyncSource(IReferenceClock* clock)
{
    TBCAutoLock lock(*lock_);
    clock_ = clock;
    return S_OK;
}

HRESULT TBCBaseFilter::GetSyncSource(IReferenceClock** clock)
{
    if (clock == nullptr) {
        return E_POINTER;
    }
    TBCAutoLock lock(*lock_);
    *clock = clock_.Get();
    if (*clock != nullptr) {
        (*clock)->AddRef();
    }
    return S_OK;
}

HRESULT TBCBaseFilter::EnumPins(IEnumPins** pins)
{
    if (pins == nullptr) {
        return E_POINTER;
    }
    *pins = new (std::nothrow) TBCEnumPins(this, nullptr);
    return *pins == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT TBCBaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (info == nullptr) {
        return E_POINTER;
    }
    const size_t n = std::min<size_t>(name_.size(), MAX_FILTER_NAME - 1);
    std::wmemcpy(info->achName, name_.c_str(), n);
    info->achName[n] = 0;
    info->pGraph = graph_;
    if (graph_ != nullptr) {
        graph_->AddRef();
    }
    return S_OK;
}

HRESULT TBCBaseFilter::QueryVendorInfo(LPWSTR* vendorInfo)
{
    if (vendorInfo != nullptr) {
        *vendorInfo = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TBCBaseFilter::NotifyEvent(long eventCode, LONG_PTR param1, LONG_PTR param2)
{
    IMediaEventSink* sink = sink_;
    if (sink == nullptr) {
        return E_NOTIMPL;
    }
    if (eventCode == EC_COMPLETE) {
        param2 = reinterpret_cast<LONG_PTR>(BaseFilterInterface());
    }
    return sink->Notify(eventCode, param1, param2);
}

HRESULT TBCBaseFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mediaType)
{
    IFilterGraph* graph = graph_;
    if (graph == nullptr) {
        return E_NOINTERFACE;
    }
    ComPtr<IFilterGraph2> graph2;
    if (SUCCEEDED(graph->QueryInterface(IID_IFilterGraph2, reinterpret_cast<void**>(graph2.GetAddressOf())))) {
        return graph2->ReconnectEx(pin, mediaType);
    }
    return graph->Reconnect(pin);
}

// Interface stubs: each goes to the object's slot under a guard.

HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::GetClassID(CLSID* clsid)
{
    return ComGuard([&] { return o.GetClassID(clsid); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::Stop()
{
    return ComGuard([&] { return o.Stop(); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::Pause()
{
    return ComGuard([&] { return o.Pause(); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::Run(REFERENCE_TIME tStart)
{
    return ComGuard([&] { return o.Run(tStart); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::GetState(DWORD ms, FILTER_STATE* state)
{
    return ComGuard([&] { return o.GetState(ms, state); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::SetSyncSource(IReferenceClock* clock)
{
    return ComGuard([&] { return o.SetSyncSource(clock); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::GetSyncSource(IReferenceClock** clock)
{
    return ComGuard([&] { return o.GetSyncSource(clock); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::EnumPins(IEnumPins** pins)
{
    return ComGuard([&] { return o.EnumPins(pins); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::FindPin(LPCWSTR id, IPin** pin)
{
    return ComGuard([&] { return o.FindPin(id, pin); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::QueryFilterInfo(FILTER_INFO* info)
{
    return ComGuard([&] { return o.QueryFilterInfo(info); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    return ComGuard([&] { return o.JoinFilterGraph(graph, name); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::FilterItf::QueryVendorInfo(LPWSTR* vendorInfo)
{
    return ComGuard([&] { return o.QueryVendorInfo(vendorInfo); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::SetupItf::Register()
{
    return ComGuard([&] { return o.Register(); });
}
HRESULT STDMETHODCALLTYPE TBCBaseFilter::SetupItf::Unregister()
{
    return ComGuard([&] { return o.Unregister(); });
}

// Pin enumerator.

TBCEnumPins::TBCEnumPins(TBCBaseFilter* filter, const TBCEnumPins* source)
    : TBCBaseObject("Pin Enumerator"), filter_(filter)
{
    filter_->AddRef();
    if (source != nullptr) {
        position_ = source->position_;
        count_ = source->count_;
        version_ = source->version_;
        cache_ = source->cache_;
    } else {
        version_ = filter_->GetPinVersion();
        count_ = filter_->GetPinCount();
    }
}

TBCEnumPins::~TBCEnumPins()
{
    filter_->Release();
}

void TBCEnumPins::Refresh()
{
    version_ = filter_->GetPinVersion();
    count_ = filter_->GetPinCount();
    position_ = 0;
}

HRESULT STDMETHODCALLTYPE TBCEnumPins::Next(ULONG cPins, IPin** pins, ULONG* fetched)
{
    return ComGuard([&]() -> HRESULT {
        if (pins != nullptr && cPins > 0) {
            pins[0] = nullptr;
        }
        if (fetched != nullptr) {
            *fetched = 0;
        } else if (cPins > 1) {
            return E_INVALIDARG;
        }
        if (pins == nullptr && cPins > 0) {
            return E_POINTER;
        }
        if (AreWeOutOfSync()) {
            Refresh();
        }
        LONG left = count_ - position_;
        ULONG wanted = left <= 0 ? 0 : std::min<ULONG>(cPins, static_cast<ULONG>(left));
        if (wanted == 0) {
            return S_FALSE;
        }
        ULONG got = 0;
        while (wanted > 0 && position_ < count_) {
            ++position_;
            TBCBasePin* pin = filter_->GetPin(position_ - 1);
            if (pin == nullptr) {
                if (fetched != nullptr) {
                    *fetched = got;
                }
                return VFW_E_ENUM_OUT_OF_SYNC;
            }
            if (std::find(cache_.begin(), cache_.end(), pin) == cache_.end()) {
                cache_.push_back(pin);
                pins[got] = pin->PinInterface();
                pins[got]->AddRef();
                ++got;
                --wanted;
            }
        }
        if (fetched != nullptr) {
            *fetched = got;
        }
        return got == cPins ? S_OK : S_FALSE;
    });
}

HRESULT STDMETHODCALLTYPE TBCEnumPins::Skip(ULONG cPins)
{
    if (AreWeOutOfSync()) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    if (cPins > static_cast<ULONG>(count_ - position_)) {
        return S_FALSE;
    }
    position_ += static_cast<int>(cPins);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCEnumPins::Reset()
{
    Refresh();
    cache_.clear();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCEnumPins::Clone(IEnumPins** e)
{
    return ComGuard([&]() -> HRESULT {
        if (e == nullptr) {
            return E_POINTER;
        }
        *e = nullptr;
        if (AreWeOutOfSync()) {
            return VFW_E_ENUM_OUT_OF_SYNC;
        }
        *e = new (std::nothrow) TBCEnumPins(filter_, this);
        return *e == nullptr ? E_OUTOFMEMORY : S_OK;
    });
}

}  // namespace filters
