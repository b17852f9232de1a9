// The filter graph component.
#include "dshow/ds_graph.h"

#include <dvdevcod.h>
#include <evcode.h>
#include <vfwmsgs.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <uuids.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>

#include "classlib/exceptions.h"
#include "dshow/ds_devices.h"
#include "dshow/ds_helpers.h"
#include "unicode/wide_files.h"

namespace dshow {

// {C7CAA944-C191-4AB1-ABA7-D8B40EF4D5B2}
const GUID SID_FilterGraphComponent = {0xC7CAA944, 0xC191, 0x4AB1, {0xAB, 0xA7, 0xD8, 0xB4, 0x0E, 0xF4, 0xD5, 0xB2}};

namespace {

// MinGW declares IAMFilterGraphCallback::UnableToRender without the stdcall convention the graph
// calls it with (which matters on x86); this declaration has it.
struct IAMFilterGraphCallbackStd : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE UnableToRender(IPin* Pin) = 0;
};
// {56A868FD-0AD4-11CE-B0A3-0020AF0BA770}
const IID IID_AMFilterGraphCallback = {0x56A868FD, 0x0AD4, 0x11CE, {0xB0, 0xA3, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

// Answered through the private service: leads back to the component.
struct IFilterGraphComponent : public IUnknown {
    virtual TFilterGraph* STDMETHODCALLTYPE Component() = 0;
};

template <typename F, typename... Args>
void Fire(const F& Event, Args&&... args) {
    if (Event) Event(std::forward<Args>(args)...);
}

std::wstring BstrText(LONG_PTR Param) {
    auto* text = reinterpret_cast<BSTR>(Param);
    return text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

}  // namespace

// The component's COM face: the graph's site and its callbacks. It is counted for itself, since
// Wine's graph cannot be told to forget its site; the component detaches it when it goes, after
// which it answers as if no handler were assigned.
class TFilterGraph::TSite final : public IServiceProvider,
                                  public IAMGraphBuilderCallback,
                                  public IAMFilterGraphCallbackStd,
                                  public IFilterGraphComponent {
public:
    explicit TSite(TFilterGraph* Owner) : owner_(Owner) {}
    virtual ~TSite() = default;

    void Detach() { owner_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Object == nullptr) return E_POINTER;
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IServiceProvider))
            *Object = static_cast<IServiceProvider*>(this);
        else if (IsEqualIID(Iid, IID_IAMGraphBuilderCallback))
            *Object = static_cast<IAMGraphBuilderCallback*>(this);
        else if (IsEqualIID(Iid, IID_AMFilterGraphCallback))
            *Object = static_cast<IAMFilterGraphCallbackStd*>(this);
        else if (IsEqualIID(Iid, SID_FilterGraphComponent))
            *Object = static_cast<IFilterGraphComponent*>(this);
        else {
            *Object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG count = InterlockedDecrement(&count_);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

    HRESULT STDMETHODCALLTYPE QueryService(REFGUID Service, REFIID Iid, void** Object) override {
        if (owner_ == nullptr) return E_NOINTERFACE;
        return Guard([&] { return owner_->QueryService(Service, Iid, Object); }, E_NOINTERFACE);
    }
    HRESULT STDMETHODCALLTYPE SelectedFilter(IMoniker* Moniker) override {
        if (owner_ == nullptr) return S_OK;
        return Guard([&] { return owner_->SelectedFilter(Moniker); }, S_OK);
    }
    HRESULT STDMETHODCALLTYPE CreatedFilter(IBaseFilter* Filter) override {
        if (owner_ == nullptr) return S_OK;
        return Guard([&] { return owner_->CreatedFilter(Filter); }, S_OK);
    }
    HRESULT STDMETHODCALLTYPE UnableToRender(IPin* Pin) override {
        if (owner_ == nullptr) return S_FALSE;
        return Guard([&] { return owner_->UnableToRender(Pin); }, S_FALSE);
    }
    TFilterGraph* STDMETHODCALLTYPE Component() override { return owner_; }

private:
    // A handler's exception stops at this COM boundary: the application's handler shows it and
    // the graph gets the answer of an unassigned handler.
    template <typename F>
    static HRESULT Guard(F&& Call, HRESULT Fallback) {
        try {
            return Call();
        } catch (...) {
            classlib::HandleWindowProcException(std::current_exception());
            return Fallback;
        }
    }

    TFilterGraph* owner_;
    LONG count_ = 1;
};

// --- free routines ---------------------------------------------------------------

int LinearVolumeToDB(int Volume) {
    long double scaled = std::log(static_cast<long double>(Volume) + 1.0L) * 1085.73L;
    // Round to nearest with ties to even, whatever rounding mode the caller left.
    int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    long double rounded = std::nearbyint(scaled);
    std::fesetround(saved);
    return static_cast<int>(rounded) - 10000;
}

TDVDTimeCode UnpackDVDTimeCode(ULONG TimeCode) {
    auto nibble = [TimeCode](int shift) { return static_cast<int>((TimeCode >> shift) & 0xF); };
    TDVDTimeCode result;
    result.Hours = nibble(0) + 10 * nibble(4);
    result.Minutes = nibble(8) + 10 * nibble(12);
    result.Seconds = nibble(16) + 10 * nibble(20);
    result.Frames = nibble(24) + 10 * static_cast<int>((TimeCode >> 28) & 0x3);
    switch ((TimeCode >> 30) & 0x3) {
    case 1: result.FrameRate = 25; break;
    case 3: result.FrameRate = 30; break;
    default: result.FrameRate = 0; break;
    }
    return result;
}

namespace {

// One connected pin of Filter, outputs before inputs, or nullptr.
ComPtr<IPin> ConnectedPin(IBaseFilter* Filter) {
    ComPtr<IPin> input;
    TPinList pins(Filter);
    for (int i = 0; i < pins.Count(); ++i) {
        ComPtr<IPin> peer;
        PIN_DIRECTION direction = PINDIR_INPUT;
        if (FAILED(pins.GetPin(i)->ConnectedTo(&peer)) || !peer) continue;
        pins.GetPin(i)->QueryDirection(&direction);
        if (direction == PINDIR_OUTPUT) return pins.GetPin(i);
        if (!input) input = pins.GetPin(i);
    }
    return input;
}

}  // namespace

HRESULT DisconnectFilter(IBaseFilter* Filter) {
    if (Filter == nullptr) return E_POINTER;
    // One pin at a time, holding no other pin of the filter: a parser frees its output pins when
    // its input is disconnected, whatever references are still held on them. Outputs go first.
    for (int guard = 0; guard < 1024; ++guard) {
        ComPtr<IPin> pin = ConnectedPin(Filter);
        if (!pin) return S_OK;
        HRESULT hr = DisconnectPin(pin.Get());
        if (FAILED(hr)) return hr;
    }
    return E_FAIL;
}

namespace {

// The filter downstream of Filter when it has exactly one connected output; nullptr otherwise.
ComPtr<IBaseFilter> NextInChain(IBaseFilter* Filter) {
    TPinList pins(Filter);
    ComPtr<IBaseFilter> next;
    int outputs = 0;
    for (int i = 0; i < pins.Count(); ++i) {
        PIN_DIRECTION direction;
        ComPtr<IPin> peer;
        if (FAILED(pins.GetPin(i)->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) continue;
        if (FAILED(pins.GetPin(i)->ConnectedTo(&peer)) || !peer) continue;
        PIN_INFO info = {};
        if (FAILED(peer->QueryPinInfo(&info))) continue;
        TakeOver(next, info.pFilter);
        ++outputs;
    }
    if (outputs != 1) return nullptr;
    return next;
}

}  // namespace

HRESULT RemoveFilterChain(IFilterGraph* Graph, IBaseFilter* StartFilter, IBaseFilter* EndFilter) {
    if (Graph == nullptr || StartFilter == nullptr) return E_POINTER;
    ComPtr<IFilterChain> chain;
    if (SUCCEEDED(Graph->QueryInterface(IID_IFilterChain, reinterpret_cast<void**>(chain.GetAddressOf()))))
        return chain->RemoveChain(StartFilter, EndFilter);
    // Wine's graph has no IFilterChain: collect the chain first, then take it apart.
    std::vector<ComPtr<IBaseFilter>> members;
    ComPtr<IBaseFilter> current = StartFilter;
    while (current) {
        // (WRL's ComPtr compares by truth value, so the pointers are compared.)
        if (std::any_of(members.begin(), members.end(), [&](const ComPtr<IBaseFilter>& m) { return m.Get() == current.Get(); }))
            break;  // a loop
        members.push_back(current);
        if (EndFilter != nullptr && current.Get() == EndFilter) break;
        current = NextInChain(current.Get());
    }
    if (EndFilter != nullptr && members.back().Get() != EndFilter) return VFW_E_NOT_FOUND;
    for (auto& filter : members) {
        DisconnectFilter(filter.Get());
        HRESULT hr = Graph->RemoveFilter(filter.Get());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// --- TFilterGraph ---------------------------------------------------------------------

TFilterGraph::TFilterGraph(classlib::TComponent* AOwner)
    : classlib::TComponent(AOwner) {
    TakeOver(site_, new TSite(this));
    notifyWnd_ = classlib::AllocateHWnd([this](classlib::TMessage& m) { NotifyWndProc(m); });
}

TFilterGraph::~TFilterGraph() {
    try {
        SetActive(false);
    } catch (...) {
        // Deactivation guards each member; nothing more can be done while being destroyed.
    }
    classlib::DeallocateHWnd(notifyWnd_);
    notifyWnd_ = nullptr;
    site_->Detach();
}

void TFilterGraph::SetActive(bool Value) {
    if (Value == active_) return;
    if (Value)
        Activate();
    else
        Deactivate();
}

void TFilterGraph::Activate() {
    HRESULT hr = E_FAIL;
    switch (mode_) {
    case gmNormal:
        hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                              reinterpret_cast<void**>(graph_.GetAddressOf()));
        break;
    case gmCapture:
        hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                              reinterpret_cast<void**>(captureGraph_.GetAddressOf()));
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                                  reinterpret_cast<void**>(graph_.GetAddressOf()));
        if (SUCCEEDED(hr)) captureGraph_->SetFiltergraph(graph_.Get());
        break;
    case gmDVD: {
        hr = CoCreateInstance(CLSID_DvdGraphBuilder, nullptr, CLSCTX_INPROC_SERVER, IID_IDvdGraphBuilder,
                              reinterpret_cast<void**>(dvdGraph_.GetAddressOf()));
        ComPtr<IGraphBuilder> builder;
        if (SUCCEEDED(hr)) hr = dvdGraph_->GetFiltergraph(&builder);
        if (SUCCEEDED(hr) && !builder) hr = E_NOINTERFACE;
        if (SUCCEEDED(hr))
            hr = builder->QueryInterface(IID_IFilterGraph2, reinterpret_cast<void**>(graph_.GetAddressOf()));
        break;
    }
    }
    // Without a graph every later step would work on nothing: stay inactive and say why.
    if (FAILED(hr) || !graph_) {
        ReleaseGraphObjects();
        CheckDSError(FAILED(hr) ? hr : E_NOINTERFACE);
    }
    active_ = true;

    if (auto events = As<IMediaEventEx>(IID_IMediaEventEx)) {
        events->SetNotifyFlags(0);
        events->SetNotifyWindow(reinterpret_cast<OAHWND>(notifyWnd_), WM_GRAPHNOTIFY,
                                reinterpret_cast<LONG_PTR>(events.Get()));
        mediaEvent_ = events;
    }
    if (auto withSite = As<IObjectWithSite>(IID_IObjectWithSite)) {
        withSite->SetSite(static_cast<IAMGraphBuilderCallback*>(site_.Get()));
        withSite->SetSite(static_cast<IAMFilterGraphCallbackStd*>(site_.Get()));
    }
    SetGraphEdit(graphEdit_);
    SetLogFile(std::wstring(logFile_));
    AddAllFilters();
    Fire(OnActivate, this);
    SendControlEvent(ceActive, 1);
}

void TFilterGraph::Deactivate() {
    SendControlEvent(ceActive, 0);
    RemoveAllFilters();
    if (mediaEvent_) {
        mediaEvent_->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY);
        mediaEvent_->SetNotifyWindow(0, 0, 0);
        mediaEvent_.Reset();
    }
    if (rotCookie_ != 0) {
        RemoveGraphFromRot(rotCookie_);
        rotCookie_ = 0;
    }
    if (graph_) graph_->SetLogFile(0);
    logStream_.reset();
    ReleaseGraphObjects();
    active_ = false;
}

void TFilterGraph::ReleaseGraphObjects() {
    // Wine's system clock, freed with the graph, can miss the wake-up of its advise thread while
    // that thread waits with no time limit, and then waits for it for ever. A periodic advice
    // keeps the thread waking every 10 ms until the clock is gone.
    ComPtr<IReferenceClock> clock;
    ComPtr<IMediaFilter> media;
    if (graph_ && SUCCEEDED(graph_.As(&media))) media->GetSyncSource(clock.GetAddressOf());
    media.Reset();
    HANDLE tick = nullptr;
    DWORD_PTR advice = 0;
    if (clock) {
        tick = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
        REFERENCE_TIME now = 0;
        if (tick == nullptr || FAILED(clock->GetTime(&now)) ||
            FAILED(clock->AdvisePeriodic(now, 100000, reinterpret_cast<HSEMAPHORE>(tick), &advice)))
            advice = 0;
    }
    graph_.Reset();
    captureGraph_.Reset();
    dvdGraph_.Reset();
    if (clock && advice != 0) {
        // A clock that lives on elsewhere stops its advice before the semaphore goes.
        const ULONG references = clock->AddRef();
        clock->Release();
        if (references > 2) clock->Unadvise(advice);
    }
    clock.Reset();
    if (tick != nullptr) CloseHandle(tick);
}

void TFilterGraph::SetMode(TGraphMode Value) {
    if (Value == mode_) return;
    bool wasActive = active_;
    SetActive(false);
    mode_ = Value;
    SetActive(wasActive);
}

void TFilterGraph::Loaded() {
    if (autoCreate_ && !HasState(classlib::csDesigning)) SetActive(true);
    classlib::TComponent::Loaded();
}

void TFilterGraph::AddMember(IFilter* Filter) {
    Filter->NotifyFilter(fnAdding);
    ComPtr<IBaseFilter> filter = Filter->GetFilter();
    // A member without a filter (an unbound moniker) simply has nothing to add.
    if (filter) graph_->AddFilter(filter.Get(), Filter->GetName().c_str());
    Filter->NotifyFilter(fnAdded);
}

void TFilterGraph::RemoveMember(IFilter* Filter) {
    Filter->NotifyFilter(fnRemoving);
    ComPtr<IBaseFilter> filter = Filter->GetFilter();
    if (filter) graph_->RemoveFilter(filter.Get());
    Filter->NotifyFilter(fnRemoved);
}

void TFilterGraph::AddAllFilters() {
    std::vector<IFilter*> members = filters_;
    for (IFilter* member : members) AddMember(member);
}

void TFilterGraph::RemoveAllFilters() {
    std::vector<IFilter*> members = filters_;
    for (IFilter* member : members) {
        try {
            RemoveMember(member);
        } catch (...) {
            // One member's failure must not keep the others in the graph.
        }
    }
}

void TFilterGraph::ChangeMemberGraph(classlib::TComponent* Member, IFilter* Filter, IGraphEventSink* Sink,
                                     TFilterGraph*& Current, TFilterGraph* Value) {
    if (Value == Current) return;
    if (Current != nullptr) {
        // Forgotten first, so that notifications during the leave see no graph.
        TFilterGraph* old = Current;
        Current = nullptr;
        if (Sink != nullptr) old->UnregisterEventSink(Sink);
        old->UnregisterFilter(Filter);
        Member->RemoveFreeNotification(old);
    }
    if (Value != nullptr) {
        Current = Value;
        Value->FreeNotification(Member);
        if (Sink != nullptr) Value->RegisterEventSink(Sink);
        Value->RegisterFilter(Filter);
    }
}

void TFilterGraph::RegisterFilter(IFilter* Filter) {
    if (Filter == nullptr) return;
    filters_.push_back(Filter);
    if (active_) AddMember(Filter);
}

void TFilterGraph::UnregisterFilter(IFilter* Filter) {
    auto it = std::find(filters_.begin(), filters_.end(), Filter);
    if (it == filters_.end()) return;
    filters_.erase(it);
    if (active_) RemoveMember(Filter);
}

void TFilterGraph::RegisterEventSink(IGraphEventSink* Sink) {
    if (Sink != nullptr) sinks_.push_back(Sink);
}

void TFilterGraph::UnregisterEventSink(IGraphEventSink* Sink) {
    auto it = std::find(sinks_.begin(), sinks_.end(), Sink);
    if (it != sinks_.end()) sinks_.erase(it);
}

void TFilterGraph::SendControlEvent(TGraphControlEvent Event, int Param) {
    std::vector<IGraphEventSink*> sinks = sinks_;
    for (IGraphEventSink* sink : sinks) sink->ControlEvent(Event, Param);
}

HRESULT TFilterGraph::QueryInterface(REFIID Iid, void** Object) {
    if (Object == nullptr) return E_POINTER;
    *Object = nullptr;
    if (SUCCEEDED(site_->QueryInterface(Iid, Object))) return S_OK;
    if (!active_) return E_NOINTERFACE;
    switch (mode_) {
    case gmNormal: break;
    case gmCapture:
        if (captureGraph_ && SUCCEEDED(captureGraph_->QueryInterface(Iid, Object))) return S_OK;
        break;
    case gmDVD:
        if (dvdGraph_ && SUCCEEDED(dvdGraph_->QueryInterface(Iid, Object))) return S_OK;
        if (dvdGraph_ && SUCCEEDED(dvdGraph_->GetDvdInterface(Iid, Object)) && *Object != nullptr) return S_OK;
        *Object = nullptr;
        break;
    }
    if (graph_) return graph_->QueryInterface(Iid, Object);
    return E_NOINTERFACE;
}

// --- running the graph -------------------------------------------------------------------

bool TFilterGraph::Play() {
    auto control = As<IMediaControl>(IID_IMediaControl);
    if (!control) return false;
    SendControlEvent(ceRun, 0);
    const HRESULT hr = control->Run();
    if (FAILED(hr)) StopEveryFilter();
    return SUCCEEDED(CheckDSError(hr));
}

// A start refused by one filter can leave the others paused: Wine's graph does not take them back,
// and its own Stop then does nothing. Each filter is stopped by itself, the one that refused too:
// still stopped, it has not heard that its start is over (a capture filter that tells its failure
// to open its device once per start would stay silent at the next).
void TFilterGraph::StopEveryFilter() {
    if (auto control = As<IMediaControl>(IID_IMediaControl)) control->Stop();
    auto graph = As<IFilterGraph>(IID_IFilterGraph);
    ComPtr<IEnumFilters> filters;
    if (!graph || FAILED(graph->EnumFilters(&filters)) || !filters) return;
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) filter->Stop();
}

bool TFilterGraph::Stop() {
    auto control = As<IMediaControl>(IID_IMediaControl);
    if (!control) return false;
    SendControlEvent(ceStop, 0);
    return CheckDSError(control->Stop()) == S_OK;
}

TGraphState TFilterGraph::State() {
    auto control = As<IMediaControl>(IID_IMediaControl);
    if (!control) return gsUninitialized;
    OAFilterState state = State_Stopped;
    control->GetState(0, &state);
    switch (state) {
    case State_Paused: return gsPaused;
    case State_Running: return gsPlaying;
    default: return gsStopped;
    }
}

void TFilterGraph::DisconnectAll() {
    TFilterList filters(graph_.Get());
    for (int i = 0; i < filters.Count(); ++i) CheckDSError(DisconnectFilter(filters.GetFilter(i)));
}

void TFilterGraph::ClearGraph() {
    if (!graph_) return;
    Stop();
    DisconnectAll();
    TFilterList filters(graph_.Get());
    std::vector<IFilter*> members = filters_;
    for (IFilter* member : members) {
        ComPtr<IBaseFilter> filter = member->GetFilter();
        if (filter) filters.Remove(filter.Get());
    }
    for (int i = 0; i < filters.Count(); ++i) CheckDSError(graph_->RemoveFilter(filters.GetFilter(i)));
}

// --- volume, viewer, log file ------------------------------------------------------------

void TFilterGraph::SetVolume(int Value) {
    volume_ = std::clamp(Value, 0, 10000);
    auto audio = As<IBasicAudio>(IID_IBasicAudio);
    if (!audio) return;
    audio->put_Volume(linearVolume_ ? LinearVolumeToDB(volume_) : volume_ - 10000);
}

void TFilterGraph::SetBalance(int Value) {
    balance_ = std::clamp(Value, -10000, 10000);
    auto audio = As<IBasicAudio>(IID_IBasicAudio);
    if (!audio) return;
    long sent = balance_;
    if (linearVolume_ && balance_ != 0) {
        // The other channel is attenuated as the linear volume scale would attenuate it.
        int attenuation = -LinearVolumeToDB(10000 - std::abs(balance_));
        sent = balance_ > 0 ? attenuation : -attenuation;
    }
    audio->put_Balance(sent);
}

void TFilterGraph::SetLinearVolume(bool Value) {
    linearVolume_ = Value;
    SetVolume(volume_);
    SetBalance(balance_);
}

void TFilterGraph::SetGraphEdit(bool Value) {
    if (!Value) {
        if (rotCookie_ != 0) {
            RemoveGraphFromRot(rotCookie_);
            rotCookie_ = 0;
        }
    } else if (rotCookie_ == 0 && active_ && graph_) {
        DWORD cookie = 0;
        if (SUCCEEDED(AddGraphToRot(graph_.Get(), cookie))) rotCookie_ = cookie;
    }
    graphEdit_ = Value;
}

void TFilterGraph::SetLogFile(const std::wstring& Value) {
    if (active_ && graph_) {
        graph_->SetLogFile(0);
        logStream_.reset();
        if (!Value.empty()) {
            logStream_ = std::make_unique<unicode::TUcFileStream>(Value, classlib::fmCreate);
            graph_->SetLogFile(reinterpret_cast<DWORD_PTR>(logStream_->Handle()));
        }
    }
    logFile_ = Value;
}

// --- events ------------------------------------------------------------------------------

void TFilterGraph::NotifyWndProc(classlib::TMessage& Message) {
    if (Message.Msg == WM_GRAPHNOTIFY) {
        try {
            ProcessGraphEvents();
        } catch (...) {
            classlib::HandleWindowProcException(std::current_exception());
        }
        return;
    }
    if (notifyWnd_ != nullptr)
        Message.Result = DefWindowProcA(notifyWnd_, Message.Msg, Message.WParam, Message.LParam);
}

void TFilterGraph::ProcessGraphEvents() {
    // Held here so that a handler deactivating the graph cannot pull it away mid-loop.
    ComPtr<IMediaEventEx> events = mediaEvent_;
    if (!events) return;
    long code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        bool failed = false;
        try {
            DispatchGraphEvent(code, param1, param2);
        } catch (...) {
            // Swallowed: a handler's failure ends this round; the next notification resumes.
            failed = true;
        }
        // Freed on every path: the parameters hold strings and interface references.
        events->FreeEventParams(code, param1, param2);
        if (failed || mediaEvent_.Get() != events.Get()) break;
    }
}

void TFilterGraph::DispatchGraphEvent(long Event, LONG_PTR Param1, LONG_PTR Param2) {
    std::vector<IGraphEventSink*> sinks = sinks_;
    for (IGraphEventSink* sink : sinks) sink->GraphEvent(Event, Param1, Param2);
    Fire(OnDSEvent, this, Event, Param1, Param2);

    const auto hr1 = static_cast<HRESULT>(Param1);
    switch (Event) {
    case EC_COMPLETE: Fire(OnGraphComplete, this, hr1, reinterpret_cast<IBaseFilter*>(Param2)); break;
    case EC_USERABORT: Fire(OnGraphUserAbort, this); break;
    case EC_ERRORABORT: Fire(OnGraphErrorAbort, this, hr1); break;
    case EC_STREAM_ERROR_STOPPED:
        Fire(OnGraphStreamErrorStopped, this, hr1, static_cast<ULONG>(Param2));
        break;
    case EC_STREAM_ERROR_STILLPLAYING:
        Fire(OnGraphStreamErrorStillPlaying, this, hr1, static_cast<ULONG>(Param2));
        break;
    case EC_ERROR_STILLPLAYING: Fire(OnGraphErrorStillPlaying, this, hr1); break;
    case EC_PALETTE_CHANGED: Fire(OnGraphPaletteChanged, this); break;
    case EC_VIDEO_SIZE_CHANGED:
        Fire(OnGraphVideoSizeChanged, this, LOWORD(static_cast<DWORD_PTR>(Param1)),
             HIWORD(static_cast<DWORD_PTR>(Param1)));
        break;
    case EC_QUALITY_CHANGE: Fire(OnGraphQualityChange, this); break;
    case EC_CLOCK_CHANGED: Fire(OnGraphClockChanged, this); break;
    case EC_PAUSED: Fire(OnGraphPaused, this, hr1); break;
    case EC_OPENING_FILE: Fire(OnGraphOpeningFile, this, Param1 == 1); break;
    case EC_BUFFERING_DATA: Fire(OnGraphBufferingData, this, Param1 == 1); break;
    case EC_FULLSCREEN_LOST: Fire(OnGraphFullscreenLost, this, reinterpret_cast<IBaseFilter*>(Param2)); break;
    case EC_OLE_EVENT: Fire(OnGraphOleEvent, this, BstrText(Param1), BstrText(Param2)); break;
    case EC_STREAM_CONTROL_STOPPED:
        Fire(OnGraphStreamControlStopped, this, reinterpret_cast<IPin*>(Param1), static_cast<ULONG>(Param2));
        break;
    case EC_STREAM_CONTROL_STARTED:
        Fire(OnGraphStreamControlStarted, this, reinterpret_cast<IPin*>(Param1), static_cast<ULONG>(Param2));
        break;
    case EC_END_OF_SEGMENT: {
        auto* time = reinterpret_cast<const REFERENCE_TIME*>(Param1);
        Fire(OnGraphEndOfSegment, this, time != nullptr ? static_cast<std::int64_t>(*time) : 0,
             static_cast<ULONG>(Param2));
        break;
    }
    case EC_DEVICE_LOST: Fire(OnGraphDeviceLost, this, reinterpret_cast<IUnknown*>(Param1), Param2 == 1); break;
    case EC_STEP_COMPLETE: Fire(OnGraphStepComplete, this); break;
    case EC_TIMECODE_AVAILABLE:
        Fire(OnGraphTimeCodeAvailable, this, reinterpret_cast<IBaseFilter*>(Param1), static_cast<ULONG>(Param2));
        break;
    case EC_EXTDEVICE_MODE_CHANGE:
        Fire(OnGraphEXTDeviceModeChange, this, static_cast<ULONG>(Param1), static_cast<ULONG>(Param2));
        break;
    case EC_GRAPH_CHANGED: Fire(OnGraphChanged, this); break;
    case EC_CLOCK_UNSET: Fire(OnGraphClockUnset, this); break;
    case EC_VMR_RENDERDEVICE_SET: Fire(OnGraphVMRRenderDevice, this, static_cast<int>(Param1)); break;
    case EC_SNDDEV_IN_ERROR:
        Fire(OnGraphSNDDevInError, this, static_cast<SNDDEV_ERR>(Param1), static_cast<ULONG>(Param2));
        break;
    case EC_SNDDEV_OUT_ERROR:
        Fire(OnGraphSNDDevOutError, this, static_cast<SNDDEV_ERR>(Param1), static_cast<ULONG>(Param2));
        break;
    default: DispatchDVDEvent(Event, Param1, Param2); break;
    }
}

void TFilterGraph::DVDLanguageEvent(long Event, LONG_PTR Param1) {
    auto& handler = Event == EC_DVD_AUDIO_STREAM_CHANGE ? OnDVDAudioStreamChange : OnDVDSubpictureStreamChange;
    auto info = As<IDvdInfo2>(IID_IDvdInfo2);
    if (!info) return;
    LCID language = 0;
    const auto stream = static_cast<ULONG>(Param1);
    if (Event == EC_DVD_AUDIO_STREAM_CHANGE)
        CheckDSError(info->GetAudioLanguage(stream, &language));
    else
        CheckDSError(info->GetSubpictureLanguage(stream, &language));
    wchar_t name[261] = {};
    GetLocaleInfoW(language, LOCALE_SENGLANGUAGE, name, 260);
    Fire(handler, this, static_cast<int>(Param1), static_cast<int>(language), std::wstring(name));
}

void TFilterGraph::DispatchDVDEvent(long Event, LONG_PTR Param1, LONG_PTR Param2) {
    const int p1 = static_cast<int>(Param1);
    const int p2 = static_cast<int>(Param2);
    switch (Event) {
    case EC_DVD_DOMAIN_CHANGE:
        switch (p1) {
        case 1: Fire(OnDVDDomainFirstPlay, this); break;
        case 2: Fire(OnDVDDomainVideoManagerMenu, this); break;
        case 3: Fire(OnDVDDomainVideoTitleSetMenu, this); break;
        case 4: Fire(OnDVDDomainTitle, this); break;
        case 5: Fire(OnDVDDomainStop, this); break;
        default: break;
        }
        break;
    case EC_DVD_TITLE_CHANGE: Fire(OnDVDTitleChange, this, p1); break;
    case EC_DVD_CHAPTER_START: Fire(OnDVDChapterStart, this, p1); break;
    case EC_DVD_AUDIO_STREAM_CHANGE:
    case EC_DVD_SUBPICTURE_STREAM_CHANGE: DVDLanguageEvent(Event, Param1); break;
    case EC_DVD_ANGLE_CHANGE: Fire(OnDVDAngleChange, this, p1, p2); break;
    case EC_DVD_BUTTON_CHANGE: Fire(OnDVDButtonChange, this, p1, p2); break;
    case EC_DVD_VALID_UOPS_CHANGE: Fire(OnDVDValidUOPSChange, this, p1); break;
    case EC_DVD_STILL_ON: Fire(OnDVDStillOn, this, p1 == 1, p2); break;
    case EC_DVD_STILL_OFF: Fire(OnDVDStillOff, this); break;
    case EC_DVD_CURRENT_TIME: {
        TDVDTimeCode t = UnpackDVDTimeCode(static_cast<ULONG>(Param1));
        Fire(OnDVDCurrentTime, this, t.Hours, t.Minutes, t.Seconds, t.Frames, t.FrameRate);
        break;
    }
    case EC_DVD_ERROR: {
        const classlib::TNotifyEvent* handlers[] = {
            &OnDVDErrorUnexpected, &OnDVDErrorCopyProtectFail, &OnDVDErrorInvalidDVD1_0Disc,
            &OnDVDErrorInvalidDiscRegion, &OnDVDErrorLowParentalLevel, &OnDVDErrorMacrovisionFail,
            &OnDVDErrorIncompatibleSystemAndDecoderRegions, &OnDVDErrorIncompatibleDiscAndDecoderRegions};
        if (p1 >= 1 && p1 <= 8) Fire(*handlers[p1 - 1], this);
        break;
    }
    case EC_DVD_WARNING: {
        const classlib::TNotifyEvent* handlers[] = {&OnDVDWarningInvalidDVD1_0Disc, &OnDVDWarningFormatNotSupported,
                                                    &OnDVDWarningIllegalNavCommand, &OnDVDWarningOpen,
                                                    &OnDVDWarningSeek, &OnDVDWarningRead};
        if (p1 >= 1 && p1 <= 6) Fire(*handlers[p1 - 1], this);
        break;
    }
    case EC_DVD_CHAPTER_AUTOSTOP: Fire(OnDVDChapterAutoStop, this); break;
    case EC_DVD_NO_FP_PGC: Fire(OnDVDNoFP_PGC, this); break;
    case EC_DVD_PLAYBACK_RATE_CHANGE: Fire(OnDVDPlaybackRateChange, this, static_cast<float>(p1) / 10000.0f); break;
    case EC_DVD_PARENTAL_LEVEL_CHANGE: Fire(OnDVDParentalLevelChange, this, p1); break;
    case EC_DVD_PLAYBACK_STOPPED: Fire(OnDVDPlaybackStopped, this); break;
    case EC_DVD_ANGLES_AVAILABLE: Fire(OnDVDAnglesAvailable, this, p1 == 1); break;
    case EC_DVD_PLAYPERIOD_AUTOSTOP: Fire(OnDVDPlayPeriodAutoStop, this); break;
    case EC_DVD_BUTTON_AUTO_ACTIVATED: Fire(OnDVDButtonAutoActivated, this, static_cast<ULONG>(Param1)); break;
    case EC_DVD_CMD_START: Fire(OnDVDCMDStart, this, static_cast<ULONG>(Param1)); break;
    case EC_DVD_CMD_END: Fire(OnDVDCMDEnd, this, static_cast<ULONG>(Param1)); break;
    case EC_DVD_DISC_EJECTED: Fire(OnDVDDiscEjected, this); break;
    case EC_DVD_DISC_INSERTED: Fire(OnDVDDiscInserted, this); break;
    case EC_DVD_CURRENT_HMSF_TIME: {
        DVD_HMSF_TIMECODE hmsf;
        const auto packed = static_cast<ULONG>(Param1);
        static_assert(sizeof(hmsf) == sizeof(packed));
        std::memcpy(&hmsf, &packed, sizeof(hmsf));
        Fire(OnDVDCurrentHMSFTime, this, hmsf, UnpackDVDTimeCode(static_cast<ULONG>(Param2)));
        break;
    }
    case EC_DVD_KARAOKE_MODE: Fire(OnDVDKaraokeMode, this, p1 != 0); break;
    default: break;
    }
}

// --- graph-building callbacks -------------------------------------------------------------

HRESULT TFilterGraph::SelectedFilter(IMoniker* Moniker) {
    if (!OnSelectedFilter) return S_OK;
    std::wstring name;
    GUID classId = GUID_NULL;
    ComPtr<IPropertyBag> bag;
    if (Moniker != nullptr &&
        SUCCEEDED(Moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf())))) {
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && v.vt == VT_BSTR && v.bstrVal != nullptr)
            CLSIDFromString(v.bstrVal, &classId);
        VariantClear(&v);
        if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR && v.bstrVal != nullptr)
            name.assign(v.bstrVal, SysStringLen(v.bstrVal));
        VariantClear(&v);
    }
    return OnSelectedFilter(Moniker, name, classId) ? S_OK : E_FAIL;
}

HRESULT TFilterGraph::CreatedFilter(IBaseFilter* Filter) {
    if (!OnCreatedFilter) return S_OK;
    GUID classId = GUID_NULL;
    if (Filter != nullptr) Filter->GetClassID(&classId);
    return OnCreatedFilter(Filter, classId) ? S_OK : E_FAIL;
}

HRESULT TFilterGraph::UnableToRender(IPin* Pin) {
    if (Pin == nullptr) return S_FALSE;
    PIN_INFO pinInfo = {};
    if (FAILED(Pin->QueryPinInfo(&pinInfo)) || pinInfo.pFilter == nullptr) return S_FALSE;
    ComPtr<IBaseFilter> filter;
    TakeOver(filter, pinInfo.pFilter);
    FILTER_INFO filterInfo = {};
    if (FAILED(filter->QueryFilterInfo(&filterInfo)) || filterInfo.pGraph == nullptr) return S_FALSE;
    ComPtr<IFilterGraph> pinGraph;
    TakeOver(pinGraph, filterInfo.pGraph);

    TFilterGraph* component = nullptr;
    ComPtr<IServiceProvider> provider;
    ComPtr<IFilterGraphComponent> found;
    if (SUCCEEDED(pinGraph->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(provider.GetAddressOf()))) &&
        SUCCEEDED(provider->QueryService(SID_FilterGraphComponent, SID_FilterGraphComponent,
                                         reinterpret_cast<void**>(found.GetAddressOf()))) &&
        found)
        component = found->Component();
    // Wine's graph does not pass service requests to its site: ask the site it holds directly, so
    // that a pin of another component's graph still reaches that component.
    ComPtr<IObjectWithSite> withSite;
    if (component == nullptr &&
        SUCCEEDED(pinGraph->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(withSite.GetAddressOf()))) &&
        SUCCEEDED(withSite->GetSite(SID_FilterGraphComponent, reinterpret_cast<void**>(found.ReleaseAndGetAddressOf()))) &&
        found)
        component = found->Component();
    // A graph that does not pass service requests to its site is still ours when it is our graph.
    if (component == nullptr && graph_) {
        ComPtr<IUnknown> a, b;
        pinGraph->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(a.GetAddressOf()));
        graph_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(b.GetAddressOf()));
        if (a && a.Get() == b.Get()) component = this;
    }
    if (component != nullptr && component->OnUnableToRender && component->OnUnableToRender(Pin)) return S_OK;
    return S_FALSE;
}

HRESULT TFilterGraph::QueryService(REFGUID Service, REFIID Iid, void** Object) {
    if (Object == nullptr) return E_POINTER;
    *Object = nullptr;
    if (IsEqualGUID(Service, SID_FilterGraphComponent) && IsEqualIID(Iid, SID_FilterGraphComponent)) {
        return site_->QueryInterface(SID_FilterGraphComponent, Object);
    }
    return E_NOINTERFACE;
}

}  // namespace dshow
