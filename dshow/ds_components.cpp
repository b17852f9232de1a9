// Filter components.
#include "dshow/ds_components.h"

#include <objbase.h>
#include <uuids.h>

#include <atomic>

#include "classlib/exceptions.h"
#include "dshow/ds_helpers.h"

namespace dshow {

const CLSID CLSID_SampleGrabberFilter = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// --- TFilter -----------------------------------------------------------------------

TFilter::TFilter(classlib::TComponent* AOwner)
    : classlib::TComponent(AOwner), baseFilter_(std::make_unique<TBaseFilter>()) {}

TFilter::~TFilter() {
    try {
        SetFilterGraph(nullptr);
    } catch (...) {
        // Leaving the graph only stops and releases; nothing to report while being destroyed.
    }
}

void TFilter::SetFilterGraph(TFilterGraph* Value) {
    TFilterGraph::ChangeMemberGraph(this, this, nullptr, graph_, Value);
}

void TFilter::Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) {
    classlib::TComponent::Notification(AComponent, Operation);
    // The graph is going away: forget it without unregistering from it.
    if (Operation == classlib::TOperation::opRemove && AComponent == graph_) graph_ = nullptr;
}

HRESULT TFilter::QueryInterface(REFIID Iid, void** Object) {
    if (Object == nullptr) return E_POINTER;
    *Object = nullptr;
    if (!filter_) return E_NOINTERFACE;
    return filter_->QueryInterface(Iid, Object);
}

void TFilter::NotifyFilter(TFilterNotify Operation, int) {
    switch (Operation) {
    case fnAdding: filter_ = baseFilter_->CreateFilter(); break;
    case fnAdded: break;
    case fnRemoving:
        if (filter_) {
            // A filter still in transition (VFW_S_STATE_INTERMEDIATE) is stopped too: left paused,
            // the graph cannot remove it.
            FILTER_STATE state = State_Stopped;
            if (SUCCEEDED(filter_->GetState(0, &state)) && (state == State_Paused || state == State_Running))
                filter_->Stop();
        }
        break;
    case fnRemoved: filter_.Reset(); break;
    case fnRefresh:
        if (graph_ != nullptr) {
            graph_->UnregisterFilter(this);
            graph_->RegisterFilter(this);
        }
        break;
    }
}

// --- TSampleGrabber ----------------------------------------------------------------------

// The grabber's buffer callback. It lives as long as the component, so its counts do nothing;
// the grabber is told to forget it before the filter is released.
class TSampleGrabber::TCallback final : public ISampleGrabberCB {
public:
    explicit TCallback(TSampleGrabber* Owner) : owner_(Owner) {}
    virtual ~TCallback() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Object == nullptr) return E_POINTER;
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_ISampleGrabberCB)) {
            *Object = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BufferCB(double SampleTime, BYTE* Buffer, LONG BufferLen) override {
        owner_->BufferCB(SampleTime, Buffer, BufferLen);
        return S_OK;
    }

private:
    TSampleGrabber* owner_;
};

TSampleGrabber::TSampleGrabber(classlib::TComponent* AOwner) : classlib::TComponent(AOwner) {
    // A grabber made once in this process can be made again: each device's data module has one,
    // and the check is not worth a filter per device at start-up.
    static std::atomic<bool> available{false};
    if (!available.load()) {
        ComPtr<IBaseFilter> probe;
        HRESULT hr = CoCreateInstance(CLSID_SampleGrabberFilter, nullptr, CLSCTX_INPROC, IID_IBaseFilter,
                                      reinterpret_cast<void**>(probe.GetAddressOf()));
        CLASSLIB_ASSERT(SUCCEEDED(hr), L"The SampleGrabber Filter is not available on this system.");
        available.store(true);
    }
    InitializeCriticalSection(&lock_);
    callback_ = std::make_unique<TCallback>(this);
    mediaType_ = std::make_unique<TMediaType>(MEDIATYPE_Video);
    mediaType_->SetSubType(MEDIASUBTYPE_RGB24);
    mediaType_->SetFormatType(FORMAT_VideoInfo);
}

TSampleGrabber::~TSampleGrabber() {
    try {
        SetFilterGraph(nullptr);
    } catch (...) {
        // Leaving the graph only stops and releases; nothing to report while being destroyed.
    }
    // Without a graph the filter may still exist (a graph destroyed first leaves it removed).
    if (grabber_) grabber_->SetCallback(nullptr, 1);
    DeleteCriticalSection(&lock_);
}

void TSampleGrabber::SetFilterGraph(TFilterGraph* Value) {
    TFilterGraph::ChangeMemberGraph(this, this, nullptr, graph_, Value);
}

void TSampleGrabber::Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) {
    classlib::TComponent::Notification(AComponent, Operation);
    if (Operation == classlib::TOperation::opRemove && AComponent == graph_) graph_ = nullptr;
}

HRESULT TSampleGrabber::QueryInterface(REFIID Iid, void** Object) {
    if (Object == nullptr) return E_POINTER;
    *Object = nullptr;
    if (IsEqualIID(Iid, IID_ISampleGrabberCB)) {
        *Object = static_cast<ISampleGrabberCB*>(callback_.get());
        return S_OK;
    }
    if (!filter_) return E_NOINTERFACE;
    return filter_->QueryInterface(Iid, Object);
}

void TSampleGrabber::UpdateMediaType() {
    if (!grabber_) return;
    filter_->Stop();
    // Both sides: the upstream pin must not stay connected to a grabber that changed its type.
    DisconnectPin(inputPin_.Get());
    grabber_->SetMediaType(mediaType_->AMMediaType());
}

void TSampleGrabber::NotifyFilter(TFilterNotify Operation, int) {
    switch (Operation) {
    case fnAdding:
        filter_.Reset();
        CoCreateInstance(CLSID_SampleGrabberFilter, nullptr, CLSCTX_INPROC, IID_IBaseFilter,
                         reinterpret_cast<void**>(filter_.GetAddressOf()));
        break;
    case fnAdded: {
        if (!filter_) break;
        filter_->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(grabber_.ReleaseAndGetAddressOf()));
        TPinList pins(filter_.Get());
        if (pins.Count() > 0) inputPin_ = pins.GetPin(0);
        if (pins.Count() > 1) outputPin_ = pins.GetPin(1);
        if (!grabber_) break;
        UpdateMediaType();
        grabber_->SetBufferSamples(TRUE);
        grabber_->SetCallback(callback_.get(), 1);
        break;
    }
    case fnRemoving:
        if (filter_) {
            filter_->Stop();
            DisconnectPin(inputPin_.Get());
            DisconnectPin(outputPin_.Get());
        }
        break;
    case fnRemoved:
        if (grabber_) {
            grabber_->SetCallback(nullptr, 1);
            grabber_->SetBufferSamples(FALSE);
        }
        grabber_.Reset();
        inputPin_.Reset();
        outputPin_.Reset();
        filter_.Reset();
        break;
    case fnRefresh: UpdateMediaType(); break;
    }
}

void TSampleGrabber::BufferCB(double SampleTime, BYTE* Buffer, long BufferLen) {
    if (!OnBuffer) return;
    EnterCriticalSection(&lock_);
    try {
        OnBuffer(this, SampleTime, Buffer, BufferLen);
    } catch (...) {
        // The streaming thread is a COM caller: a handler's failure stops here.
    }
    LeaveCriticalSection(&lock_);
}

}  // namespace dshow
