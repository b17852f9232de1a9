#include "filters/base_pin.h"

#include "dshow/ds_helpers.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <stdexcept>

using Microsoft::WRL::ComPtr;

namespace filters {

bool TypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b)
{
    if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype ||
        a.cbFormat != b.cbFormat) {
        return false;
    }
    if (a.cbFormat == 0) {
        return true;
    }
    if (a.pbFormat == nullptr || b.pbFormat == nullptr) {
        return a.pbFormat == b.pbFormat;
    }
    return std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

bool MatchesPartial(const AM_MEDIA_TYPE& m, const AM_MEDIA_TYPE& partial)
{
    if (partial.majortype != GUID_NULL && partial.majortype != m.majortype) {
        return false;
    }
    if (partial.subtype != GUID_NULL && partial.subtype != m.subtype) {
        return false;
    }
    if (partial.formattype == GUID_NULL) {
        return true;
    }
    if (partial.formattype != m.formattype || partial.cbFormat != m.cbFormat) {
        return false;
    }
    if (m.cbFormat == 0) {
        return true;
    }
    if (m.pbFormat == nullptr || partial.pbFormat == nullptr) {
        return m.pbFormat == partial.pbFormat;
    }
    return std::memcmp(m.pbFormat, partial.pbFormat, m.cbFormat) == 0;
}

bool IsPartiallySpecified(const AM_MEDIA_TYPE& m)
{
    return m.majortype == GUID_NULL || m.formattype == GUID_NULL;
}

void InitMediaType(AM_MEDIA_TYPE& m)
{
    std::memset(&m, 0, sizeof(m));
    m.lSampleSize = 1;
    m.bFixedSizeSamples = -1;  // TRUE as the stored -1
}

HRESULT AMGetWideString(const std::wstring& text, LPWSTR* p)
{
    if (p == nullptr) {
        return E_POINTER;
    }
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    *p = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*p == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*p, text.c_str(), bytes);
    return S_OK;
}

namespace {

// Failures that mean "this type, not this connection" and give way to a more specific one.
bool IsGenericRefusal(HRESULT hr)
{
    return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED;
}

}  // namespace

TBCBasePin::TBCBasePin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
                       std::wstring name, PIN_DIRECTION dir)
    : TBCUnknown(std::move(objectName), nullptr),
      pinItf_(*this),
      qualityItf_(*this),
      name_(std::move(name)),
      dir_(dir),
      lock_(lock),
      filter_(filter)
{
    if (filter == nullptr || lock == nullptr) {
        hr = E_INVALIDARG;
        throw std::invalid_argument("a pin needs its filter and lock");
    }
}

TBCBasePin::~TBCBasePin()
{
    // A pin destroyed while connected (its filter released without leaving the graph) drops its peer.
    SetConnected(nullptr);
    dshow::FreeMediaType(mt_);
}

HRESULT TBCBasePin::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IPin) {
        return GetInterface(&pinItf_, obj);
    }
    if (iid == IID_IQualityControl) {
        return GetInterface(&qualityItf_, obj);
    }
    return TBCUnknown::NonDelegatingQueryInterface(iid, obj);
}

ULONG TBCBasePin::NonDelegatingAddRef()
{
    pinRefs_.fetch_add(1);
    return filter_->AddRef();
}

ULONG TBCBasePin::NonDelegatingRelease()
{
    pinRefs_.fetch_sub(1);
    return filter_->Release();
}

void TBCBasePin::SetConnected(IPin* pin)
{
    if (pin != nullptr) {
        pin->AddRef();
    }
    IPin* old = connected_.exchange(pin);
    if (old != nullptr) {
        old->Release();
    }
}

HRESULT TBCBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType)
{
    if (receivePin == nullptr) {
        return E_POINTER;
    }
    TBCAutoLock lock(*lock_);
    if (IsConnected()) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped() && !canReconnectWhenActive_) {
        return VFW_E_NOT_STOPPED;
    }
    HRESULT hr = AgreeMediaType(receivePin, mediaType);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    return S_OK;
}

HRESULT TBCBasePin::AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType != nullptr && !IsPartiallySpecified(*mediaType)) {
        return AttemptConnection(receivePin, mediaType);
    }
    HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int pass = 0; pass < 2; ++pass) {
        ComPtr<IEnumMediaTypes> e;
        HRESULT hr;
        if (pass == static_cast<int>(tryMyTypesFirst_)) {
            hr = receivePin->EnumMediaTypes(e.GetAddressOf());
        } else {
            hr = EnumMediaTypes(e.GetAddressOf());
        }
        if (SUCCEEDED(hr) && e) {
            hr = TryMediaTypes(receivePin, mediaType, e.Get());
            if (SUCCEEDED(hr)) {
                return S_OK;
            }
            if (!IsGenericRefusal(hr)) {
                failure = hr;
            }
        }
    }
    return failure;
}

HRESULT TBCBasePin::TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* e)
{
    HRESULT hr = e->Reset();
    if (FAILED(hr)) {
        return hr;
    }
    HRESULT specific = S_OK;
    for (;;) {
        AM_MEDIA_TYPE* fetched = nullptr;
        ULONG got = 0;
        if (e->Next(1, &fetched, &got) != S_OK || fetched == nullptr) {
            return FAILED(specific) ? specific : VFW_E_NO_ACCEPTABLE_TYPES;
        }
        if (partial != nullptr && !MatchesPartial(*fetched, *partial)) {
            dshow::DeleteMediaType(fetched);
            continue;
        }
        hr = AttemptConnection(receivePin, fetched);
        if (FAILED(hr) && SUCCEEDED(specific) && !IsGenericRefusal(hr)) {
            specific = hr;
        }
        dshow::DeleteMediaType(fetched);
        if (hr == S_OK) {
            return S_OK;
        }
    }
}

HRESULT TBCBasePin::AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE* mediaType)
{
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(mediaType);
    if (hr == S_OK) {
        SetConnected(receivePin);
        hr = SetMediaType(mediaType);
        if (SUCCEEDED(hr)) {
            hr = receivePin->ReceiveConnection(PinInterface(), mediaType);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(receivePin);
                if (SUCCEEDED(hr)) {
                    return hr;
                }
                receivePin->Disconnect();
            }
        }
    } else if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    BreakConnect();
    SetConnected(nullptr);
    return hr;
}

HRESULT TBCBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType)
{
    if (connector == nullptr || mediaType == nullptr) {
        return E_POINTER;
    }
    TBCAutoLock lock(*lock_);
    if (IsConnected()) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped() && !canReconnectWhenActive_) {
        return VFW_E_NOT_STOPPED;
    }
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(mediaType);
    if (hr != S_OK) {
        BreakConnect();
        return (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    SetConnected(connector);
    hr = SetMediaType(mediaType);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(connector);
        if (SUCCEEDED(hr)) {
            return S_OK;
        }
    }
    SetConnected(nullptr);
    BreakConnect();
    return hr;
}

HRESULT TBCBasePin::Disconnect()
{
    TBCAutoLock lock(*lock_);
    if (!IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    return DisconnectInternal();
}

HRESULT TBCBasePin::DisconnectInternal()
{
    if (!IsConnected()) {
        return S_FALSE;
    }
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) {
        return hr;
    }
    SetConnected(nullptr);
    return S_OK;
}

HRESULT TBCBasePin::ConnectedTo(IPin** pin)
{
    if (pin == nullptr) {
        return E_POINTER;
    }
    IPin* peer = connected_.load();
    *pin = peer;
    if (peer == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    peer->AddRef();
    return S_OK;
}

HRESULT TBCBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    TBCAutoLock lock(*lock_);
    if (IsConnected()) {
        dshow::CopyMediaType(mediaType, &mt_);
        return S_OK;
    }
    InitMediaType(*mediaType);
    return VFW_E_NOT_CONNECTED;
}

HRESULT TBCBasePin::QueryPinInfo(PIN_INFO* info)
{
    if (info == nullptr) {
        return E_POINTER;
    }
    info->pFilter = filter_->BaseFilterInterface();
    info->pFilter->AddRef();
    const size_t n = std::min<size_t>(name_.size(), MAX_PIN_NAME - 1);
    std::wmemcpy(info->achName, name_.c_str(), n);
    info->achName[n] = 0;
    info->dir = dir_;
    return S_OK;
}

HRESULT TBCBasePin::QueryId(LPWSTR* id)
{
    return AMGetWideString(name_, id);
}

HRESULT TBCBasePin::QueryAccept(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = CheckMediaType(mediaType);
    return FAILED(hr) ? S_FALSE : hr;
}

HRESULT TBCBasePin::EnumMediaTypes(IEnumMediaTypes** e)
{
    if (e == nullptr) {
        return E_POINTER;
    }
    *e = new (std::nothrow) TBCEnumMediaTypes(this, nullptr);
    return *e == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT TBCBasePin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

HRESULT TBCBasePin::EndOfStream()
{
    return S_OK;
}

HRESULT TBCBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate)
{
    segStart_ = tStart;
    segStop_ = tStop;
    segRate_ = rate;
    return S_OK;
}

HRESULT TBCBasePin::Notify(IBaseFilter*, Quality)
{
    return E_NOTIMPL;
}

HRESULT TBCBasePin::SetSink(IQualityControl* sink)
{
    TBCAutoLock lock(*lock_);
    qSink_ = sink;
    return S_OK;
}

LONG TBCBasePin::GetMediaTypeVersion()
{
    return typeVersion_;
}

HRESULT TBCBasePin::Active()
{
    return S_OK;
}

HRESULT TBCBasePin::Inactive()
{
    runTimeError_.store(false);
    return S_OK;
}

HRESULT TBCBasePin::Run(REFERENCE_TIME)
{
    return S_OK;
}

HRESULT TBCBasePin::SetMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == &mt_) {
        return S_OK;
    }
    dshow::FreeMediaType(mt_);
    dshow::CopyMediaType(&mt_, mediaType);
    return S_OK;
}

HRESULT TBCBasePin::CheckConnect(IPin* pin)
{
    PIN_DIRECTION dir = PINDIR_INPUT;
    HRESULT hr = pin->QueryDirection(&dir);
    if (FAILED(hr)) {
        return hr;
    }
    return dir == dir_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT TBCBasePin::BreakConnect()
{
    return S_OK;
}

HRESULT TBCBasePin::CompleteConnect(IPin*)
{
    return S_OK;
}

HRESULT TBCBasePin::GetMediaType(int, AM_MEDIA_TYPE*)
{
    return E_UNEXPECTED;
}

HRESULT TBCBasePin::QueryDirection(PIN_DIRECTION* dir)
{
    if (dir == nullptr) {
        return E_POINTER;
    }
    *dir = dir_;
    return S_OK;
}

// Interface stubs.

HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt)
{
    return ComGuard([&] { return o.Connect(receivePin, mt); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt)
{
    return ComGuard([&] { return o.ReceiveConnection(connector, mt); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::Disconnect()
{
    return ComGuard([&] { return o.Disconnect(); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::ConnectedTo(IPin** pin)
{
    return ComGuard([&] { return o.ConnectedTo(pin); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::ConnectionMediaType(AM_MEDIA_TYPE* mt)
{
    return ComGuard([&] { return o.ConnectionMediaType(mt); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::QueryPinInfo(PIN_INFO* info)
{
    return ComGuard([&] { return o.QueryPinInfo(info); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::QueryDirection(PIN_DIRECTION* dir)
{
    return ComGuard([&] { return o.QueryDirection(dir); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::QueryId(LPWSTR* id)
{
    return ComGuard([&] { return o.QueryId(id); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::QueryAccept(const AM_MEDIA_TYPE* mt)
{
    return ComGuard([&] { return o.QueryAccept(mt); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::EnumMediaTypes(IEnumMediaTypes** e)
{
    return ComGuard([&] { return o.EnumMediaTypes(e); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::QueryInternalConnections(IPin** pins, ULONG* count)
{
    return ComGuard([&] { return o.QueryInternalConnections(pins, count); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::EndOfStream()
{
    return ComGuard([&] { return o.EndOfStream(); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::BeginFlush()
{
    return ComGuard([&] { return o.BeginFlush(); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::EndFlush()
{
    return ComGuard([&] { return o.EndFlush(); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::PinItf::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate)
{
    return ComGuard([&] { return o.NewSegment(tStart, tStop, rate); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::QualityItf::Notify(IBaseFilter* sender, Quality q)
{
    return ComGuard([&] { return o.Notify(sender, q); });
}
HRESULT STDMETHODCALLTYPE TBCBasePin::QualityItf::SetSink(IQualityControl* sink)
{
    return ComGuard([&] { return o.SetSink(sink); });
}

// Media-type enumerator.

TBCEnumMediaTypes::TBCEnumMediaTypes(TBCBasePin* pin, const TBCEnumMediaTypes* source)
    : TBCBaseObject("Media Type Enumerator"), pin_(pin)
{
    pin_->AddRef();
    if (source != nullptr) {
        position_ = source->position_;
        version_ = source->version_;
    } else {
        version_ = pin_->GetMediaTypeVersion();
    }
}

TBCEnumMediaTypes::~TBCEnumMediaTypes()
{
    pin_->Release();
}

HRESULT STDMETHODCALLTYPE TBCEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    return ComGuard([&]() -> HRESULT {
        if (AreWeOutOfSync()) {
            return VFW_E_ENUM_OUT_OF_SYNC;
        }
        if (fetched != nullptr) {
            *fetched = 0;
        } else if (count > 1) {
            return E_INVALIDARG;
        }
        if (types == nullptr && count > 0) {
            return E_POINTER;
        }
        AM_MEDIA_TYPE work;
        ULONG got = 0;
        while (count > 0) {
            InitMediaType(work);
            ++position_;
            if (pin_->GetMediaType(static_cast<int>(position_ - 1), &work) != S_OK) {
                dshow::FreeMediaType(work);
                break;
            }
            auto* slot = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
            if (slot == nullptr) {
                dshow::FreeMediaType(work);
                break;
            }
            *slot = work;  // the format block and pUnk pass to the caller
            types[got] = slot;
            ++got;
            --count;
        }
        if (fetched != nullptr) {
            *fetched = got;
        }
        return count == 0 ? S_OK : S_FALSE;
    });
}

HRESULT STDMETHODCALLTYPE TBCEnumMediaTypes::Skip(ULONG count)
{
    return ComGuard([&]() -> HRESULT {
        if (count == 0) {
            return S_OK;
        }
        if (AreWeOutOfSync()) {
            return VFW_E_ENUM_OUT_OF_SYNC;
        }
        position_ += count;
        AM_MEDIA_TYPE scratch;
        InitMediaType(scratch);
        HRESULT hr = pin_->GetMediaType(static_cast<int>(position_ - 1), &scratch);
        dshow::FreeMediaType(scratch);
        return hr == S_OK ? S_OK : S_FALSE;
    });
}

HRESULT STDMETHODCALLTYPE TBCEnumMediaTypes::Reset()
{
    position_ = 0;
    version_ = pin_->GetMediaTypeVersion();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TBCEnumMediaTypes::Clone(IEnumMediaTypes** e)
{
    return ComGuard([&]() -> HRESULT {
        if (e == nullptr) {
            return E_POINTER;
        }
        *e = nullptr;
        if (AreWeOutOfSync()) {
            return VFW_E_ENUM_OUT_OF_SYNC;
        }
        *e = new (std::nothrow) TBCEnumMediaTypes(pin_, this);
        return *e == nullptr ? E_OUTOFMEMORY : S_OK;
    });
}

}  // namespace filters
