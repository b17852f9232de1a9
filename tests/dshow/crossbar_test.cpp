// Crossbar routing over test crossbars made here with plain COM (Wine has none): single and
// cascaded chains, the input list and names, routing calls, counted references.
#include "dshow/crossbar.h"

#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace dshow;
using Microsoft::WRL::ComPtr;

namespace {

// A global log of Route calls of every test crossbar: "<crossbar>:<output><-<input>".
std::vector<std::string> g_routes;

class TTestFilter;

// A pin that answers what route discovery asks: its direction, its filter and its peer.
class TTestPin final : public IPin {
public:
    TTestPin(TTestFilter* Filter, PIN_DIRECTION Direction) : filter_(Filter), direction_(Direction) {}
    virtual ~TTestPin() = default;
    void SetPeer(TTestPin* Peer) { peer_ = Peer; }
    // When set, QueryPinInfo fails.
    bool brokenInfo = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IPin)) {
            *Object = static_cast<IPin*>(this);
            AddRef();
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** Pin) override {
        *Pin = peer_;
        if (peer_ == nullptr) return VFW_E_NOT_CONNECTED;
        peer_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* Info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* Direction) override {
        *Direction = direction_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> refs_{1};
    TTestFilter* filter_;
    PIN_DIRECTION direction_;
    TTestPin* peer_ = nullptr;
};

class TPinEnum final : public IEnumPins {
public:
    explicit TPinEnum(std::vector<ComPtr<TTestPin>> Pins) : pins_(std::move(Pins)) {}
    virtual ~TPinEnum() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IEnumPins)) {
            *Object = static_cast<IEnumPins*>(this);
            AddRef();
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG Count, IPin** Pins, ULONG* Fetched) override {
        ULONG n = 0;
        while (n < Count && next_ < pins_.size()) {
            Pins[n] = pins_[next_++].Get();
            Pins[n]->AddRef();
            ++n;
        }
        if (Fetched != nullptr) *Fetched = n;
        return n == Count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG Count) override {
        next_ += Count;
        return next_ <= pins_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins**) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> refs_{1};
    std::vector<ComPtr<TTestPin>> pins_;
    size_t next_ = 0;
};

struct TConnector {
    long Type;
    long Related;  // related audio pin index, -1 for none
};

// A filter whose pins are inputs then outputs; with connectors it answers IAMCrossbar, routing
// an input to an output when CanRoute allows it (every pair unless listed in refusals).
class TTestFilter final : public IBaseFilter, public IAMCrossbar {
public:
    TTestFilter(std::string Name, std::vector<TConnector> Inputs, std::vector<TConnector> Outputs, bool IsCrossbar)
        : name_(std::move(Name)), inputs_(std::move(Inputs)), outputs_(std::move(Outputs)), crossbar_(IsCrossbar) {
        for (size_t i = 0; i < inputs_.size(); ++i) pins_.push_back(MakePin(PINDIR_INPUT));
        for (size_t i = 0; i < outputs_.size(); ++i) pins_.push_back(MakePin(PINDIR_OUTPUT));
    }
    virtual ~TTestFilter() = default;
    TTestPin* Input(size_t i) { return pins_[i].Get(); }
    TTestPin* Output(size_t i) { return pins_[inputs_.size() + i].Get(); }
    ULONG RefCount() {
        AddRef();
        return Release();
    }
    std::vector<std::pair<long, long>> refusals;  // (output, input) pairs CanRoute refuses
    HRESULT routeResult = S_OK;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IBaseFilter) || IsEqualIID(Iid, IID_IMediaFilter) ||
            IsEqualIID(Iid, IID_IPersist)) {
            *Object = static_cast<IBaseFilter*>(this);
        } else if (crossbar_ && IsEqualIID(Iid, IID_IAMCrossbar)) {
            *Object = static_cast<IAMCrossbar*>(this);
        } else {
            *Object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    // IBaseFilter
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* State) override {
        *State = State_Stopped;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** Clock) override {
        *Clock = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** Pins) override {
        *Pins = new TPinEnum(pins_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
    // IAMCrossbar
    HRESULT STDMETHODCALLTYPE get_PinCounts(long* Outputs, long* Inputs) override {
        *Outputs = static_cast<long>(outputs_.size());
        *Inputs = static_cast<long>(inputs_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CanRoute(long Output, long Input) override {
        for (auto& r : refusals)
            if (r == std::make_pair(Output, Input)) return S_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Route(long Output, long Input) override {
        g_routes.push_back(name_ + ":" + std::to_string(Output) + "<-" + std::to_string(Input));
        return routeResult;
    }
    HRESULT STDMETHODCALLTYPE get_IsRoutedTo(long, long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CrossbarPinInfo(BOOL IsInput, long Index, long* Related, long* Type) override {
        const auto& list = IsInput ? inputs_ : outputs_;
        if (Index < 0 || Index >= static_cast<long>(list.size())) return E_INVALIDARG;
        *Related = list[static_cast<size_t>(Index)].Related;
        *Type = list[static_cast<size_t>(Index)].Type;
        return S_OK;
    }

private:
    ComPtr<TTestPin> MakePin(PIN_DIRECTION Direction) {
        ComPtr<TTestPin> pin;
        *pin.GetAddressOf() = new TTestPin(this, Direction);  // takes the first reference
        return pin;
    }
    std::atomic<ULONG> refs_{1};
    std::string name_;
    std::vector<TConnector> inputs_, outputs_;
    bool crossbar_;
    std::vector<ComPtr<TTestPin>> pins_;
};

HRESULT TTestPin::QueryPinInfo(PIN_INFO* Info) {
    if (brokenInfo) return E_FAIL;
    Info->dir = direction_;
    Info->achName[0] = 0;
    Info->pFilter = filter_;
    filter_->AddRef();
    return S_OK;
}

ComPtr<TTestFilter> Make(std::string Name, std::vector<TConnector> Inputs, std::vector<TConnector> Outputs,
                         bool IsCrossbar = true) {
    ComPtr<TTestFilter> f;
    // Takes the first reference (MinGW's ComPtr::Attach would add another one).
    *f.GetAddressOf() = new TTestFilter(std::move(Name), std::move(Inputs), std::move(Outputs), IsCrossbar);
    return f;
}

void Connect(TTestPin* Out, TTestPin* In) {
    Out->SetPeer(In);
    In->SetPeer(Out);
}

// The capture filter: one video input pin.
ComPtr<TTestFilter> MakeCapture() { return Make("capture", {{0, -1}}, {}, false); }

std::vector<std::wstring> Names(const TCrossbar& Crossbar) {
    long count = -1;
    EXPECT_EQ(Crossbar.GetInputCount(count), S_OK);
    std::vector<std::wstring> names;
    for (long i = 0; i < count; ++i) {
        std::wstring name;
        EXPECT_EQ(Crossbar.GetInputName(i, name), S_OK);
        names.push_back(name);
    }
    return names;
}

// A tuner card's crossbar: inputs tuner (audio 3), composite (audio 4), S-video (no audio),
// audio tuner, audio line; outputs video decoder (audio 1) and audio decoder.
ComPtr<TTestFilter> MakeCardCrossbar(std::string Name) {
    return Make(std::move(Name), {{PhysConn_Video_Tuner, 3}, {PhysConn_Video_Composite, 4}, {PhysConn_Video_SVideo, -1},
                                  {PhysConn_Audio_Tuner, 0}, {PhysConn_Audio_Line, 0}},
                {{PhysConn_Video_VideoDecoder, 1}, {PhysConn_Audio_AudioDecoder, 0}});
}

}  // namespace

TEST(Crossbar, SingleCrossbarListsRoutableVideoInputsAndRoutesWithAudio) {
    auto capture = MakeCapture();
    auto crossbar = MakeCardCrossbar("X");
    crossbar->refusals.push_back({0, 2});  // S-video cannot reach the decoder output
    Connect(crossbar->Output(0), capture->Input(0));
    const ULONG baseline = crossbar->RefCount();
    {
        TCrossbar routing(capture->Input(0));
        EXPECT_EQ(Names(routing), (std::vector<std::wstring>{L"Video Tuner", L"Video Composite"}));
        long type = 0;
        EXPECT_EQ(routing.GetInputType(1, type), S_OK);
        EXPECT_EQ(type, PhysConn_Video_Composite);
        ASSERT_EQ(routing.Chains().size(), 2u);
        const TCrRouting& r = routing.Chains()[1][0];
        EXPECT_EQ(r.VideoInputIndex, 1);
        EXPECT_EQ(r.VideoOutputIndex, 0);
        EXPECT_EQ(r.AudioInputIndex, 4);
        EXPECT_EQ(r.AudioOutputIndex, 1);
        EXPECT_EQ(r.VideoOutputPhysicalType, PhysConn_Video_VideoDecoder);
        EXPECT_EQ(r.Depth, 0);

        g_routes.clear();
        EXPECT_EQ(routing.SetInputIndex(1), S_OK);
        EXPECT_EQ(g_routes, (std::vector<std::string>{"X:0<-1", "X:1<-4"}));
        EXPECT_EQ(routing.CurrentInputIndex(), 1);
        // Each record holds its own reference, and gives it back.
        EXPECT_EQ(crossbar->RefCount(), baseline + 2);
    }
    EXPECT_EQ(crossbar->RefCount(), baseline);
}

TEST(Crossbar, InputWithoutRelatedAudioRoutesVideoOnlyAndFailingRouteIsReported) {
    auto capture = MakeCapture();
    auto crossbar = MakeCardCrossbar("X");
    Connect(crossbar->Output(0), capture->Input(0));
    TCrossbar routing(capture->Input(0));
    ASSERT_EQ(Names(routing), (std::vector<std::wstring>{L"Video Tuner", L"Video Composite", L"Video SVideo"}));
    g_routes.clear();
    EXPECT_EQ(routing.SetInputIndex(2), S_OK);
    EXPECT_EQ(g_routes, (std::vector<std::string>{"X:0<-2"}));

    // A refused video route skips the audio route and is the answer.
    crossbar->routeResult = E_INVALIDARG;
    g_routes.clear();
    EXPECT_EQ(routing.SetInputIndex(0), E_INVALIDARG);
    EXPECT_EQ(g_routes, (std::vector<std::string>{"X:0<-0"}));
    EXPECT_EQ(routing.CurrentInputIndex(), 0);
}

TEST(Crossbar, CascadedCrossbarsGiveOneChainPerUpstreamInputFarthestFirst) {
    auto capture = MakeCapture();
    // The decoder crossbar: composite (unconnected), tuner input fed by the tuner crossbar, audio.
    auto decoder = Make("D", {{PhysConn_Video_Composite, -1}, {PhysConn_Video_Tuner, 2}, {PhysConn_Audio_Line, -1}},
                        {{PhysConn_Video_VideoDecoder, 1}, {PhysConn_Audio_AudioDecoder, -1}});
    auto tuner = MakeCardCrossbar("T");
    tuner->refusals.push_back({0, 1});  // composite cannot reach the tuner crossbar's output
    Connect(decoder->Output(0), capture->Input(0));
    Connect(tuner->Output(0), decoder->Input(1));

    TCrossbar routing(capture->Input(0));
    EXPECT_EQ(Names(routing), (std::vector<std::wstring>{L"Video Composite", L"Video Tuner", L"Video SVideo"}));
    const auto& chains = routing.Chains();
    ASSERT_EQ(chains.size(), 3u);
    EXPECT_EQ(chains[0].size(), 1u);
    ASSERT_EQ(chains[2].size(), 2u);
    // Element 0 is the upstream crossbar at depth 1; the last feeds the capture pin.
    EXPECT_EQ(chains[2][0].Depth, 1);
    EXPECT_EQ(chains[2][0].VideoInputIndex, 2);
    EXPECT_EQ(chains[2][1].Depth, 0);
    EXPECT_EQ(chains[2][1].VideoInputIndex, 1);
    EXPECT_EQ(chains[2][0].RightRouting, &chains[2][1]);
    EXPECT_EQ(chains[2][1].LeftRouting, &chains[2][0]);

    g_routes.clear();
    EXPECT_EQ(routing.SetInputIndex(1), S_OK);
    // Upstream first: tuner input 0 with its audio 3 to output 1, then the decoder's tuner input
    // with its audio 2.
    EXPECT_EQ(g_routes, (std::vector<std::string>{"T:0<-0", "T:1<-3", "D:0<-1", "D:1<-2"}));
}

TEST(Crossbar, NoCrossbarOrBrokenPinsGiveNoInputsAndIndicesAreChecked) {
    auto capture = MakeCapture();
    {
        TCrossbar unconnected(capture->Input(0));
        EXPECT_TRUE(Names(unconnected).empty());
        TCrossbar none(nullptr);
        EXPECT_TRUE(Names(none).empty());
    }
    // A plain upstream filter is no crossbar.
    auto source = Make("S", {}, {{0, -1}}, false);
    Connect(source->Output(0), capture->Input(0));
    {
        TCrossbar plain(capture->Input(0));
        EXPECT_TRUE(Names(plain).empty());
    }
    // An upstream pin that cannot describe itself ends the discovery without inputs.
    auto crossbar = MakeCardCrossbar("X");
    Connect(crossbar->Output(0), capture->Input(0));
    crossbar->Output(0)->brokenInfo = true;
    {
        TCrossbar broken(capture->Input(0));
        EXPECT_TRUE(Names(broken).empty());
    }
    crossbar->Output(0)->brokenInfo = false;

    TCrossbar routing(capture->Input(0));
    long count = 0, type = 0;
    routing.GetInputCount(count);
    ASSERT_EQ(count, 3);
    std::wstring name = L"unchanged";
    g_routes.clear();
    for (long bad : {count, -1L}) {
        EXPECT_EQ(routing.GetInputType(bad, type), E_FAIL);
        EXPECT_EQ(routing.GetInputName(bad, name), E_FAIL);
        EXPECT_EQ(routing.SetInputIndex(bad), E_FAIL);
    }
    EXPECT_EQ(name, L"unchanged");
    EXPECT_TRUE(g_routes.empty());
    EXPECT_EQ(routing.CurrentInputIndex(), 0);
}

TEST(Crossbar, ConnectionLoopEndsWithoutRunningAway) {
    // A crossbar whose output feeds its own input: discovery must end.
    auto capture = MakeCapture();
    auto loop = Make("L", {{PhysConn_Video_Composite, -1}}, {{PhysConn_Video_VideoDecoder, -1}, {PhysConn_Video_VideoDecoder, -1}});
    Connect(loop->Output(0), capture->Input(0));
    Connect(loop->Output(1), loop->Input(0));
    TCrossbar routing(capture->Input(0));
    EXPECT_TRUE(Names(routing).empty());
}

TEST(Crossbar, ConnectorNamesComeFromTheProgramTexts) {
    EXPECT_EQ(PhysicalConnectorName(PhysConn_Video_Tuner), L"Video Tuner");
    EXPECT_EQ(PhysicalConnectorName(PhysConn_Video_YRYBY), L"Video YRYBY");
    EXPECT_EQ(PhysicalConnectorName(PhysConn_Video_SCART), L"Video Scart");
    EXPECT_EQ(PhysicalConnectorName(PhysConn_Audio_Tuner), L"Audio Tuner");
    EXPECT_EQ(PhysicalConnectorName(PhysConn_Audio_SPDIFDigital), L"Audio SPDIFDigital");
    EXPECT_EQ(PhysicalConnectorName(PhysConn_Audio_AudioDecoder), L"Audio Decoder");
    for (long unknown : {0L, 15L, 0x100AL, -1L}) EXPECT_EQ(PhysicalConnectorName(unknown), L"Unknown");

    // An input of an unknown video code is listed under "Unknown".
    auto capture = MakeCapture();
    auto crossbar = Make("X", {{0x55, -1}}, {{PhysConn_Video_VideoDecoder, -1}});
    Connect(crossbar->Output(0), capture->Input(0));
    TCrossbar routing(capture->Input(0));
    EXPECT_EQ(Names(routing), std::vector<std::wstring>{L"Unknown"});
}
