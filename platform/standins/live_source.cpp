#include "platform/standins/live_source.h"

#include "dshow/ds_helpers.h"
#include "platform/standins/advise_clock.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using Microsoft::WRL::ComPtr;

namespace standins {

TTypeHolder::TTypeHolder()
{
    filters::InitMediaType(*this);
}

TTypeHolder::~TTypeHolder()
{
    dshow::FreeMediaType(*this);
}

BYTE* AllocFormat(AM_MEDIA_TYPE& m, ULONG n)
{
    dshow::FreeMediaType(m);
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(n));
    if (block == nullptr) {
        return nullptr;
    }
    std::memset(block, 0, n);
    m.pbFormat = block;
    m.cbFormat = n;
    return block;
}

// Filter.

TLiveSourceFilter::TLiveSourceFilter(std::string name, IUnknown* owner, REFCLSID clsid)
    : TBCBaseFilter(std::move(name), owner, std::make_unique<filters::TBCCritSec>(), clsid)
{
}

TLiveSourceFilter::~TLiveSourceFilter() = default;

void TLiveSourceFilter::SetPin(std::unique_ptr<TLiveOutputPin> pin)
{
    pin_ = std::move(pin);
}

filters::TBCBasePin* TLiveSourceFilter::GetPin(int n)
{
    return n == 0 ? pin_.get() : nullptr;
}

REFERENCE_TIME TLiveSourceFilter::StreamTimeLocked() const
{
    if (clock_) {
        REFERENCE_TIME now = 0;
        if (SUCCEEDED(clock_->GetTime(&now))) {
            return now - start_;
        }
    }
    return pausedAt_ + CounterTime() - runStartedAt_;
}

HRESULT TLiveSourceFilter::Stop()
{
    filters::TBCAutoLock lock(*Lock());
    {
        std::lock_guard<TSlimMutex> guard(mutex_);
        running_ = false;
        pausedAt_ = 0;
        clock_.Reset();
    }
    changed_.notify_all();
    return TBCBaseFilter::Stop();
}

HRESULT TLiveSourceFilter::Pause()
{
    filters::TBCAutoLock lock(*Lock());
    {
        std::lock_guard<TSlimMutex> guard(mutex_);
        if (running_) {
            pausedAt_ = StreamTimeLocked();
            running_ = false;
        }
    }
    changed_.notify_all();
    return TBCBaseFilter::Pause();
}

HRESULT TLiveSourceFilter::Run(REFERENCE_TIME tStart)
{
    filters::TBCAutoLock lock(*Lock());
    HRESULT hr = TBCBaseFilter::Run(tStart);
    if (FAILED(hr)) {
        return hr;
    }
    {
        std::lock_guard<TSlimMutex> guard(mutex_);
        if (!running_) {
            clock_ = Clock();
            start_ = tStart;
            runStartedAt_ = CounterTime();
            running_ = true;
            ++run_;
        }
    }
    changed_.notify_all();
    return hr;
}

HRESULT TLiveSourceFilter::GetState(DWORD milliSecsTimeout, FILTER_STATE* state)
{
    HRESULT hr = TBCBaseFilter::GetState(milliSecsTimeout, state);
    if (hr == S_OK && *state == State_Paused) {
        return VFW_S_CANT_CUE;
    }
    return hr;
}

bool TLiveSourceFilter::WaitForStreamTime(REFERENCE_TIME due, const std::atomic<bool>& stop, REFERENCE_TIME& now,
                                          unsigned& run)
{
    std::unique_lock<TSlimMutex> guard(mutex_);
    for (;;) {
        if (stop.load()) {
            return false;
        }
        if (!running_) {
            changed_.wait(guard);
            continue;
        }
        now = StreamTimeLocked();
        if (run != run_) {
            run = run_;
            return true;
        }
        if (now >= due) {
            return true;
        }
        // Bounded, so that a clock running differently from the wait still gets looked at.
        const REFERENCE_TIME ms = std::min<REFERENCE_TIME>((due - now) / 10000 + 1, 50);
        changed_.wait_for(guard, std::chrono::milliseconds(ms));
    }
}

bool TLiveSourceFilter::RunningStreamTime(REFERENCE_TIME& now)
{
    std::lock_guard<TSlimMutex> guard(mutex_);
    if (!running_) {
        return false;
    }
    now = StreamTimeLocked();
    return true;
}

void TLiveSourceFilter::Wake()
{
    {
        // Taken so that a thread between its stop check and its wait cannot miss the call.
        std::lock_guard<TSlimMutex> guard(mutex_);
    }
    changed_.notify_all();
}

// Pin.

TLiveOutputPin::TLiveOutputPin(std::string objectName, TLiveSourceFilter* filter, HRESULT& hr, std::wstring name)
    : TBCBaseOutputPin(std::move(objectName), filter, filter->Lock(), hr, std::move(name)),
      ksItf_(*this),
      configItf_(*this),
      live_(filter)
{
    filters::InitMediaType(setType_);
}

TLiveOutputPin::~TLiveOutputPin()
{
    stop_ = true;
    live_->Wake();
    if (thread_.joinable()) {
        thread_.join();
    }
    dshow::FreeMediaType(setType_);
}

HRESULT TLiveOutputPin::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IKsPropertySet) {
        return GetInterface(&ksItf_, obj);
    }
    if (iid == IID_IAMStreamConfig) {
        return GetInterface(&configItf_, obj);
    }
    return TBCBaseOutputPin::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TLiveOutputPin::Active()
{
    HRESULT hr = TBCBaseOutputPin::Active();
    if (FAILED(hr)) {
        return hr;
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    unit_ = UnitDuration();
    clock_ = UnitClock(unit_);
    StreamStarting();
    stop_ = false;
    try {
        thread_ = std::thread([this] { Stream(); });
    } catch (...) {
        TBCBaseOutputPin::Inactive();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT TLiveOutputPin::Inactive()
{
    stop_ = true;
    live_->Wake();
    HRESULT hr = TBCBaseOutputPin::Inactive();  // decommitting frees a thread waiting for a buffer
    if (thread_.joinable()) {
        thread_.join();
    }
    return hr;
}

void TLiveOutputPin::Stream()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const REFERENCE_TIME length = unit_;
    const TTestPictureClock clock = clock_;
    const bool atEnd = DeliversAtUnitEnd();
    LONGLONG n = 0;
    unsigned run = 0;
    bool discontinuity = true;
    while (!stop_) {
        const REFERENCE_TIME due = atEnd ? clock.At(n) + length : clock.At(n);
        REFERENCE_TIME now = 0;
        const unsigned seen = run;
        if (!live_->WaitForStreamTime(due, stop_, now, run)) {
            break;
        }
        if (run != seen) {
            // A new run: what passed while paused (or before the first run) was never captured.
            const LONGLONG current = clock.Before(now);
            if (current > n) {
                n = current;
                discontinuity = true;
            }
            // A device that captures at the start of each unit has its first one as soon as it runs,
            // even when the stream starts later (Wine's graph starts it 200 ms after the run): that
            // unit is not held back until then. Units that end at their time still wait for it.
            if (atEnd || now >= 0) {
                continue;
            }
        }
        if (SkipsLateUnits()) {
            const LONGLONG current = clock.Before(now);
            if (current > n) {
                UnitsMissed(n, current - n);
                n = current;
            }
        }
        if (LosesUnit(n)) {
            UnitsMissed(n, 1);
            ++n;
            continue;
        }
        ComPtr<IMediaSample> sample;
        if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0)) || !sample || stop_) {
            break;
        }
        HRESULT hr = FillUnit(sample.Get(), n);
        if (FAILED(hr)) {
            live_->NotifyEvent(EC_ERRORABORT, hr, 0);
            break;
        }
        REFERENCE_TIME start = clock.At(n);
        REFERENCE_TIME end = start + length;
        sample->SetTime(&start, &end);
        sample->SetSyncPoint(FilledUnitIsKey() ? TRUE : FALSE);
        sample->SetDiscontinuity(discontinuity || FilledUnitFollowsGap() ? TRUE : FALSE);
        sample->SetPreroll(FALSE);
        const long bytes = sample->GetActualDataLength();
        hr = Deliver(sample.Get());
        sample.Reset();
        if (hr != S_OK) {
            break;  // downstream stops, refuses more (S_FALSE) or failed: nothing more goes out this time
        }
        UnitDelivered(bytes);
        discontinuity = false;
        ++n;
    }
    CoUninitialize();
}

HRESULT TLiveOutputPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    TTypeHolder canonical;
    if (!Canonical(*mediaType, canonical)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    filters::TBCAutoLock lock(*Lock());
    if (hasSetType_ && !filters::TypesEqual(canonical, setType_)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT TLiveOutputPin::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    if (position < 0) {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*Lock());
    if (hasSetType_) {
        if (position > 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        dshow::FreeMediaType(*mediaType);
        dshow::CopyMediaType(mediaType, &setType_);
        return S_OK;
    }
    if (position >= CapabilityCount()) {
        return VFW_S_NO_MORE_ITEMS;
    }
    dshow::FreeMediaType(*mediaType);
    filters::InitMediaType(*mediaType);
    BuildCapability(position, *mediaType, nullptr);
    return S_OK;
}

HRESULT TLiveOutputPin::KsSet(REFGUID set, DWORD, void*, DWORD, void*, DWORD)
{
    // The category is the pin's nature, not a setting.
    return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

HRESULT TLiveOutputPin::KsGet(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataSize, DWORD* returned)
{
    if (set != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (id != AMPROPERTY_PIN_CATEGORY) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (data == nullptr && returned == nullptr) {
        return E_POINTER;
    }
    if (returned != nullptr) {
        *returned = sizeof(GUID);
    }
    if (data == nullptr) {
        return S_OK;  // the caller asked for the size only
    }
    if (dataSize < sizeof(GUID)) {
        return E_UNEXPECTED;
    }
    std::memcpy(data, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
    return S_OK;
}

HRESULT TLiveOutputPin::KsQuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (id != AMPROPERTY_PIN_CATEGORY) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (support != nullptr) {
        *support = KSPROPERTY_SUPPORT_GET;
    }
    return S_OK;
}

HRESULT TLiveOutputPin::SetFormat(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    TTypeHolder wanted;
    if (!Canonical(*mediaType, wanted)) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    TTypeHolder previous;
    bool hadPrevious = false;
    bool reconnect = false;
    {
        filters::TBCAutoLock lock(*Lock());
        if (!IsStopped()) {
            return VFW_E_NOT_STOPPED;
        }
        if (IsConnected() && !filters::TypesEqual(wanted, CurrentMediaType())) {
            if (GetConnected()->QueryAccept(&wanted) != S_OK) {
                return VFW_E_INVALIDMEDIATYPE;
            }
            reconnect = true;
        }
        hadPrevious = hasSetType_;
        dshow::CopyMediaType(&previous, &setType_);
        dshow::FreeMediaType(setType_);
        dshow::CopyMediaType(&setType_, &wanted);
        hasSetType_ = true;
        ++typeVersion_;
    }
    if (!reconnect) {
        return S_OK;
    }
    // Outside the filter lock: the graph disconnects and connects both pins again.
    HRESULT hr = Filter()->ReconnectPin(PinInterface(), &wanted);
    if (FAILED(hr)) {
        filters::TBCAutoLock lock(*Lock());
        dshow::FreeMediaType(setType_);
        dshow::CopyMediaType(&setType_, &previous);
        hasSetType_ = hadPrevious;
        ++typeVersion_;
    }
    return hr;
}

HRESULT TLiveOutputPin::GetFormat(AM_MEDIA_TYPE** mediaType)
{
    if (mediaType == nullptr) {
        return E_POINTER;
    }
    *mediaType = nullptr;
    auto* m = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (m == nullptr) {
        return E_OUTOFMEMORY;
    }
    filters::InitMediaType(*m);
    filters::TBCAutoLock lock(*Lock());
    if (IsConnected()) {
        dshow::CopyMediaType(m, &CurrentMediaType());
    } else if (hasSetType_) {
        dshow::CopyMediaType(m, &setType_);
    } else {
        BuildCapability(0, *m, nullptr);
    }
    *mediaType = m;
    return S_OK;
}

HRESULT TLiveOutputPin::GetNumberOfCapabilities(int* count, int* size)
{
    if (count == nullptr || size == nullptr) {
        return E_POINTER;
    }
    *count = CapabilityCount();
    *size = CapabilitySize();
    return S_OK;
}

HRESULT TLiveOutputPin::GetStreamCaps(int index, AM_MEDIA_TYPE** mediaType, BYTE* caps)
{
    if (mediaType == nullptr || caps == nullptr) {
        return E_POINTER;
    }
    *mediaType = nullptr;
    if (index < 0) {
        return E_INVALIDARG;
    }
    if (index >= CapabilityCount()) {
        return S_FALSE;
    }
    auto* m = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (m == nullptr) {
        return E_OUTOFMEMORY;
    }
    filters::InitMediaType(*m);
    BuildCapability(index, *m, caps);
    *mediaType = m;
    return S_OK;
}

// Interface stubs: each goes to the pin under a guard.

HRESULT STDMETHODCALLTYPE TLiveOutputPin::KsItf::Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize,
                                                     LPVOID data, DWORD dataSize)
{
    return filters::ComGuard([&] { return o.KsSet(set, id, instance, instanceSize, data, dataSize); });
}
HRESULT STDMETHODCALLTYPE TLiveOutputPin::KsItf::Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize,
                                                     LPVOID data, DWORD dataSize, DWORD* returned)
{
    return filters::ComGuard([&] { return o.KsGet(set, id, instance, instanceSize, data, dataSize, returned); });
}
HRESULT STDMETHODCALLTYPE TLiveOutputPin::KsItf::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    return filters::ComGuard([&] { return o.KsQuerySupported(set, id, support); });
}
HRESULT STDMETHODCALLTYPE TLiveOutputPin::ConfigItf::SetFormat(AM_MEDIA_TYPE* mt)
{
    return filters::ComGuard([&] { return o.SetFormat(mt); });
}
HRESULT STDMETHODCALLTYPE TLiveOutputPin::ConfigItf::GetFormat(AM_MEDIA_TYPE** mt)
{
    return filters::ComGuard([&] { return o.GetFormat(mt); });
}
HRESULT STDMETHODCALLTYPE TLiveOutputPin::ConfigItf::GetNumberOfCapabilities(int* count, int* size)
{
    return filters::ComGuard([&] { return o.GetNumberOfCapabilities(count, size); });
}
HRESULT STDMETHODCALLTYPE TLiveOutputPin::ConfigItf::GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps)
{
    return filters::ComGuard([&] { return o.GetStreamCaps(index, mt, caps); });
}

}  // namespace standins
