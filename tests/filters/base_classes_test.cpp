// The filter base classes through their COM interfaces, with our own filters and hand-made samples
// (no graph): identity and counting, enumeration, negotiation, allocators, receive, flushing.
#include "test_filters.h"

#include "dshow/ds_helpers.h"

#include <gtest/gtest.h>

namespace ftest {
namespace {

class BaseClasses : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        baseline_ = ObjectCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(baseline_, ObjectCount()) << "objects of the filter library leaked";
        CoUninitialize();
    }
    LONG baseline_ = 0;
};

// An outer object that aggregates a filter and records what reaches it.
struct Outer : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** obj) override
    {
        ++queries;
        *obj = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    int queries = 0;
    LONG refs = 0;
};

class AggregatedSink : public TBCBaseFilter {
public:
    explicit AggregatedSink(IUnknown* outer)
        : TBCBaseFilter("aggregated", outer, std::make_unique<TBCCritSec>(), CLSID_TestSink)
    {
    }
    int GetPinCount() override { return 0; }
    TBCBasePin* GetPin(int) override { return nullptr; }
};

TEST_F(BaseClasses, ObjectIdentityCountingAndAggregation)
{
    const LONG before = ObjectCount();
    auto* sink = new TestSink;
    EXPECT_EQ(before + 2, ObjectCount());  // the filter and its pin
    {
        ComPtr<IBaseFilter> filter = Hold(sink);
        ComPtr<IMediaFilter> media;
        ComPtr<IPersist> persist;
        ComPtr<IUnknown> id1, id2;
        ASSERT_EQ(S_OK, filter.As(&media));
        ASSERT_EQ(S_OK, filter.As(&persist));
        ASSERT_EQ(S_OK, filter.As(&id1));
        ASSERT_EQ(S_OK, media.As(&id2));
        EXPECT_EQ(id1.Get(), id2.Get());
        ComPtr<IAMovieSetup> setup;
        ASSERT_EQ(S_OK, filter.As(&setup));
        EXPECT_EQ(S_FALSE, setup->Register()) << "no template entry for this class";
        ComPtr<IPin> notAPin;
        EXPECT_EQ(E_NOINTERFACE, filter.As(&notAPin));
        EXPECT_EQ(nullptr, notAPin.Get());
        // Pin references are the filter's.
        ComPtr<IPin> pin = PinOf(sink->InPin());
        EXPECT_EQ(1, sink->InPin()->PinRefs());
        EXPECT_EQ(7, sink->RefCount()) << "seven interface references, all on the filter";
    }
    EXPECT_EQ(before, ObjectCount()) << "the last reference destroys the filter with its pin";

    Outer outer;
    auto* inner = new AggregatedSink(&outer);
    ComPtr<IUnknown> innerId;
    ASSERT_EQ(S_OK, inner->InnerUnknown()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(innerId.GetAddressOf())));
    EXPECT_EQ(0, outer.refs) << "the inner identity is counted on the inner object";
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, inner->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())));
    EXPECT_EQ(1, outer.refs) << "other interfaces count on the owner";
    ComPtr<IPersist> persist;
    EXPECT_EQ(E_NOINTERFACE, filter.As(&persist)) << "QueryInterface goes to the owner";
    EXPECT_EQ(1, outer.queries);
    filter.Reset();
    EXPECT_EQ(0, outer.refs);
    innerId.Reset();  // destroys the inner object
    EXPECT_EQ(before, ObjectCount());
}

TEST_F(BaseClasses, TemplatesAndClassFactory)
{
    static const CLSID clsid = {0x6a1e00ff, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};
    static const CLSID never = {0x6a1e00fe, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};
    EXPECT_EQ(nullptr, Templates().GetFactoryFromClassID(never));
    ComPtr<IClassFactory> none;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              GetClassObjectFromTemplates(never, IID_IClassFactory, reinterpret_cast<void**>(none.GetAddressOf())));

    TBCFilterTemplateEntry entry;
    entry.Name = "Template pass-through";
    entry.FilterClsid = clsid;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> TBCUnknown* {
        hr = controller != nullptr ? CLASS_E_NOAGGREGATION : S_OK;
        return new PassThrough;
    };
    if (Templates().GetFactoryFromClassID(clsid) == nullptr) {  // the list is module-wide
        Templates().Add(std::move(entry));
    }
    ASSERT_NE(nullptr, Templates().GetFactoryFromClassID(clsid));
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, GetClassObjectFromTemplates(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())));
    EXPECT_EQ(S_FALSE, CanUnloadNow()) << "an object lives";
    ComPtr<IPin> pin;
    EXPECT_EQ(S_OK, filter->FindPin(L"In", pin.GetAddressOf()));
    pin.Reset();
    filter.Reset();
    ComPtr<IUnknown> refused;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(factory.Get(), IID_IBaseFilter, reinterpret_cast<void**>(refused.GetAddressOf())))
        << "an aggregating owner must ask for IUnknown";
    ComPtr<IReferenceClock> wrong;
    EXPECT_EQ(E_NOINTERFACE,
              factory->CreateInstance(nullptr, IID_IReferenceClock, reinterpret_cast<void**>(wrong.GetAddressOf())));
    factory.Reset();
    EXPECT_EQ(S_OK, CanUnloadNow()) << "a refused interface destroys the new object";
}

TEST_F(BaseClasses, FilterInfoNamesIdsAndFindPin)
{
    auto* copy = new CopyTransform;
    ComPtr<IBaseFilter> filter = Hold(copy);
    std::wstring longName(200, L'x');
    longName[126] = L'E';
    ASSERT_EQ(S_OK, filter->JoinFilterGraph(nullptr, longName.c_str()));
    FILTER_INFO info{};
    ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
    EXPECT_EQ(longName.substr(0, 127), std::wstring(info.achName));
    EXPECT_EQ(nullptr, info.pGraph);
    ASSERT_EQ(S_OK, filter->JoinFilterGraph(nullptr, nullptr));
    ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
    EXPECT_EQ(L"", std::wstring(info.achName));

    CLSID clsid{};
    ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_EQ(CLSID_TestCopy, clsid);

    ComPtr<IPin> in, out, none;
    EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPin(L"XForm In", none.GetAddressOf())) << "FindPin works on ids";
    EXPECT_EQ(nullptr, none.Get());
    ASSERT_EQ(S_OK, filter->FindPin(L"In", in.GetAddressOf()));
    ASSERT_EQ(S_OK, filter->FindPin(L"Out", out.GetAddressOf()));
    PIN_INFO pinInfo{};
    ASSERT_EQ(S_OK, in->QueryPinInfo(&pinInfo));
    EXPECT_EQ(L"XForm In", std::wstring(pinInfo.achName));
    EXPECT_EQ(PINDIR_INPUT, pinInfo.dir);
    EXPECT_EQ(filter.Get(), pinInfo.pFilter);
    pinInfo.pFilter->Release();
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, out->QueryId(&id));
    EXPECT_EQ(L"Out", std::wstring(id));
    CoTaskMemFree(id);

    // The in-place filter's pins are named "Input"/"Output" but found by "In"/"Out".
    auto* pass = new PassThrough;
    ComPtr<IBaseFilter> passFilter = Hold(pass);
    ComPtr<IPin> passIn;
    ASSERT_EQ(S_OK, passFilter->FindPin(L"In", passIn.GetAddressOf()));
    ASSERT_EQ(S_OK, passIn->QueryPinInfo(&pinInfo));
    EXPECT_EQ(L"Input", std::wstring(pinInfo.achName));
    pinInfo.pFilter->Release();

    // The base FindPin compares names exactly.
    auto* sink = new TestSink;
    ComPtr<IBaseFilter> sinkFilter = Hold(sink);
    EXPECT_EQ(S_OK, sinkFilter->FindPin(L"In", none.ReleaseAndGetAddressOf()));
    EXPECT_EQ(VFW_E_NOT_FOUND, sinkFilter->FindPin(L"in", none.ReleaseAndGetAddressOf()));

    REFERENCE_TIME t = 0;
    EXPECT_EQ(VFW_E_NO_CLOCK, copy->StreamTime(t));
    EXPECT_EQ(E_NOTIMPL, copy->NotifyEvent(EC_COMPLETE, 0, 0)) << "no event sink outside a graph";
    EXPECT_EQ(E_NOINTERFACE, copy->ReconnectPin(in.Get(), nullptr));
}

TEST_F(BaseClasses, PinEnumeration)
{
    auto* copy = new CopyTransform;
    ComPtr<IBaseFilter> filter = Hold(copy);
    ComPtr<IEnumPins> e;
    ASSERT_EQ(S_OK, filter->EnumPins(e.GetAddressOf()));
    IPin* pins[2] = {};
    EXPECT_EQ(E_INVALIDARG, e->Next(2, pins, nullptr));
    ULONG fetched = 9;
    ComPtr<IPin> p;
    ASSERT_EQ(S_OK, e->Next(1, p.GetAddressOf(), &fetched));
    EXPECT_EQ(1u, fetched);
    EXPECT_EQ(copy->InputPin()->PinInterface(), p.Get());
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(S_OK, e->Clone(clone.GetAddressOf()));
    ASSERT_EQ(S_OK, e->Next(1, p.ReleaseAndGetAddressOf(), &fetched));
    EXPECT_EQ(copy->OutputPin()->PinInterface(), p.Get());
    EXPECT_EQ(S_FALSE, e->Next(1, p.ReleaseAndGetAddressOf(), &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_FALSE, e->Skip(1));
    ASSERT_EQ(S_OK, e->Reset());
    ASSERT_EQ(S_FALSE, e->Next(3, pins, &fetched));
    EXPECT_EQ(2u, fetched);
    pins[0]->Release();
    pins[1]->Release();
    ASSERT_EQ(S_OK, clone->Next(1, p.ReleaseAndGetAddressOf(), &fetched));
    EXPECT_EQ(copy->OutputPin()->PinInterface(), p.Get()) << "a clone keeps the position";
}

TEST_F(BaseClasses, MediaTypeRoutinesAndEnumerator)
{
    MediaType a, b, partial;
    MakeRgb24(a, 64, 48);
    MakeRgb24(b, 64, 48);
    EXPECT_TRUE(TypesEqual(a, b));
    reinterpret_cast<VIDEOINFOHEADER*>(b.pbFormat)->bmiHeader.biHeight = 47;
    EXPECT_FALSE(TypesEqual(a, b)) << "format blocks are compared";
    partial.majortype = MEDIATYPE_Video;
    EXPECT_TRUE(IsPartiallySpecified(partial));
    EXPECT_TRUE(MatchesPartial(a, partial));
    partial.subtype = MEDIASUBTYPE_RGB32;
    EXPECT_FALSE(MatchesPartial(a, partial));
    EXPECT_FALSE(IsPartiallySpecified(a));

    auto* sink = new TestSink;
    ComPtr<IBaseFilter> filter = Hold(sink);
    sink->Offer = {32, 64};
    ComPtr<IEnumMediaTypes> e;
    ASSERT_EQ(S_OK, sink->InPin()->PinInterface()->EnumMediaTypes(e.GetAddressOf()));
    EXPECT_EQ(S_OK, e->Skip(0));
    AM_MEDIA_TYPE* types[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(E_INVALIDARG, e->Next(2, types, nullptr));
    ASSERT_EQ(S_OK, e->Next(1, types, &fetched));
    EXPECT_EQ(32, WidthOf(*types[0]));
    dshow::DeleteMediaType(types[0]);
    ASSERT_EQ(S_OK, e->Next(1, types, &fetched));
    EXPECT_EQ(64, WidthOf(*types[0]));
    dshow::DeleteMediaType(types[0]);
    EXPECT_EQ(S_FALSE, e->Next(1, types, &fetched));
    EXPECT_EQ(0u, fetched);
    ASSERT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_FALSE, e->Next(3, types, &fetched));
    ASSERT_EQ(2u, fetched);
    dshow::DeleteMediaType(types[0]);
    dshow::DeleteMediaType(types[1]);
    ASSERT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_OK, e->Skip(2)) << "probe of position 2 (the second type) succeeds";
    EXPECT_EQ(S_FALSE, e->Skip(1));

    LPWSTR text = nullptr;
    EXPECT_EQ(E_POINTER, AMGetWideString(L"x", nullptr));
    ASSERT_EQ(S_OK, AMGetWideString(L"", &text));
    EXPECT_EQ(L"", std::wstring(text));
    CoTaskMemFree(text);
}

class Connection : public BaseClasses {
protected:
    void SetUp() override
    {
        BaseClasses::SetUp();
        source = new TestSource;
        sink = new TestSink;
        sourceRef = Hold(source);
        sinkRef = Hold(sink);
        out = PinOf(source->OutPin());
        in = PinOf(sink->InPin());
    }
    void TearDown() override
    {
        out->Disconnect();
        in->Disconnect();
        out.Reset();
        in.Reset();
        sourceRef.Reset();
        sinkRef.Reset();
        BaseClasses::TearDown();
    }
    TestSource* source = nullptr;
    TestSink* sink = nullptr;
    ComPtr<IBaseFilter> sourceRef, sinkRef;
    ComPtr<IPin> out, in;
};

TEST_F(Connection, DirectionAndFullySpecifiedTypes)
{
    auto* other = new TestSource;
    ComPtr<IBaseFilter> otherRef = Hold(other);
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, out->Connect(PinOf(other->OutPin()).Get(), nullptr));
    EXPECT_FALSE(source->OutPin()->IsConnected());

    MediaType mt;
    MakeRgb24(mt, 64, 48);
    sink->Accept = {32};
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, out->Connect(in.Get(), &mt)) << "S_FALSE from CheckMediaType";
    EXPECT_EQ(S_FALSE, in->QueryAccept(&mt));
    sink->RefuseWith = E_FAIL;
    EXPECT_EQ(S_FALSE, in->QueryAccept(&mt)) << "a failure becomes S_FALSE";

    MediaType unconnected;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, in->ConnectionMediaType(&unconnected));
    EXPECT_EQ(1u, unconnected.lSampleSize);
    EXPECT_NE(FALSE, unconnected.bFixedSizeSamples);
    EXPECT_EQ(S_FALSE, in->Disconnect());

    sink->Accept = {};
    ASSERT_EQ(S_OK, out->Connect(in.Get(), &mt));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, out->Connect(in.Get(), &mt));
    MediaType agreed;
    ASSERT_EQ(S_OK, in->ConnectionMediaType(&agreed));
    EXPECT_TRUE(TypesEqual(mt, agreed));
    ComPtr<IPin> peer;
    ASSERT_EQ(S_OK, in->ConnectedTo(peer.GetAddressOf()));
    EXPECT_EQ(out.Get(), peer.Get());
}

TEST_F(Connection, PartialTypesTryTheReceivingPinFirst)
{
    sink->Offer = {32, 64};
    MediaType partial;
    partial.majortype = MEDIATYPE_Video;
    ASSERT_EQ(S_OK, out->Connect(in.Get(), &partial));
    EXPECT_EQ(32, WidthOf(sink->InPin()->CurrentMediaType())) << "the sink's first type wins";
    ASSERT_EQ(S_OK, out->Disconnect());
    ASSERT_EQ(S_OK, in->Disconnect());

    // A sink offering nothing it accepts: the source's own list is tried next.
    sink->Offer = {64};
    sink->Accept = {32};
    ASSERT_EQ(S_OK, out->Connect(in.Get(), nullptr));
    EXPECT_EQ(32, WidthOf(source->OutPin()->CurrentMediaType()));
    out->Disconnect();
    in->Disconnect();

    // Every candidate refused: generic refusals give VFW_E_NO_ACCEPTABLE_TYPES, a specific code wins.
    sink->Accept = {100};
    sink->RefuseWith = E_FAIL;
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, out->Connect(in.Get(), nullptr));
    sink->RefuseWith = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, out->Connect(in.Get(), nullptr));
    EXPECT_FALSE(source->OutPin()->IsConnected());
    EXPECT_FALSE(sink->InPin()->IsConnected());
}

TEST_F(Connection, AllocatorAgreement)
{
    ASSERT_EQ(S_OK, out->Connect(in.Get(), nullptr));
    IMemAllocator* used = source->OutPin()->Allocator();
    ASSERT_NE(nullptr, used);
    EXPECT_EQ(used, sink->InPin()->Allocator()) << "the input pin's own allocator is the first choice";
    ALLOCATOR_PROPERTIES props{};
    ASSERT_EQ(S_OK, used->GetProperties(&props));
    EXPECT_EQ(3, props.cBuffers);
    EXPECT_EQ(64 * 48 * 3, props.cbBuffer);
    out->Disconnect();
    in->Disconnect();
    EXPECT_EQ(nullptr, source->OutPin()->Allocator());

    // Its NotifyAllocator refuses: the output pin offers the system allocator it made itself.
    sink->RefuseNotifyAllocator = true;
    ASSERT_EQ(S_OK, out->Connect(in.Get(), nullptr));
    EXPECT_EQ(2, sink->InPin()->NotifyCalls);
    EXPECT_EQ(source->OutPin()->Allocator(), sink->InPin()->Allocator());
}

TEST_F(Connection, ActivationAndDisconnectWhileRunning)
{
    ASSERT_EQ(S_OK, out->Connect(in.Get(), nullptr));
    ASSERT_EQ(S_OK, sinkRef->Run(0));
    FILTER_STATE state{};
    ASSERT_EQ(S_OK, sinkRef->GetState(0, &state));
    EXPECT_EQ(State_Running, state);
    EXPECT_EQ(VFW_E_NOT_STOPPED, in->Disconnect());
    ASSERT_EQ(S_OK, sinkRef->Stop());
    ASSERT_EQ(S_OK, sinkRef->Stop()) << "stopping a stopped filter touches no pin";
}

TEST_F(Connection, ReceiveReadsPlainSampleProperties)
{
    ASSERT_EQ(S_OK, out->Connect(in.Get(), nullptr));
    ComPtr<IMemInputPin> mem;
    ASSERT_EQ(S_OK, in.As(&mem));
    ComPtr<TestSample> sample;
    sample.Attach(new TestSample(false));
    sample->Sync = true;
    sample->Discontinuity = true;
    EXPECT_EQ(VFW_E_WRONG_STATE, mem->Receive(sample.Get()));
    ASSERT_EQ(S_OK, sinkRef->Run(0));

    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));
    EXPECT_EQ(5u, sink->InPin()->SampleProps().dwSampleFlags);
    sample->TimeResult = S_OK;
    sample->Start = 100;
    sample->Stop = 200;
    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));
    EXPECT_EQ(0x115u, sink->InPin()->SampleProps().dwSampleFlags);
    EXPECT_EQ(200, sink->InPin()->SampleProps().tStop);
    sample->TimeResult = VFW_S_NO_STOP_TIME;
    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));
    EXPECT_EQ(0x15u, sink->InPin()->SampleProps().dwSampleFlags) << "no stop time is not a valid stop time";

    // A type change is accepted, and the type read from the sample is freed.
    CountingUnknown marker;
    sample->TypeMarker = &marker;
    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));
    EXPECT_NE(0u, sink->InPin()->SampleProps().dwSampleFlags & AM_SAMPLE_TYPECHANGED);
    sample->TypeMarker = nullptr;
    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));
    EXPECT_EQ(0, marker.Refs.load()) << "the previous sample's type is freed";

    // A refused type change: a run-time error until EndFlush.
    sink->Accept = {64};
    sample->TypeMarker = &marker;
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, mem->Receive(sample.Get()));
    EXPECT_EQ(1, sink->Eos.load());
    sample->TypeMarker = nullptr;
    EXPECT_EQ(VFW_E_RUNTIME_ERROR, mem->Receive(sample.Get()));
    ASSERT_EQ(S_OK, in->BeginFlush());
    const DWORD flagsBefore = sink->InPin()->SampleProps().dwSampleFlags;
    sample->Sync = false;
    EXPECT_EQ(S_FALSE, mem->Receive(sample.Get())) << "dropped while flushing";
    EXPECT_EQ(flagsBefore, sink->InPin()->SampleProps().dwSampleFlags);
    ASSERT_EQ(S_OK, in->EndFlush());
    EXPECT_EQ(S_OK, mem->Receive(sample.Get()));

    // ReceiveMultiple stops at the first sample not answered with S_OK.
    sink->ReturnFalseAt = sink->Received.load() + 1;
    IMediaSample* three[3] = {sample.Get(), sample.Get(), sample.Get()};
    long processed = -1;
    EXPECT_EQ(S_FALSE, mem->ReceiveMultiple(three, 3, &processed));
    EXPECT_EQ(1, processed);
    EXPECT_EQ(S_OK, mem->ReceiveCanBlock()) << "no connected output pin";
    ASSERT_EQ(S_OK, sinkRef->Stop());
    sample.Reset();
    EXPECT_EQ(0, marker.Refs.load());
}

// Source -> copying transform or pass-through -> sink, connected by hand.
class Chain : public Connection {
protected:
    template <typename F>
    void Build(F* f)
    {
        mid = Hold(f);
        ASSERT_EQ(S_OK, mid->FindPin(L"In", midIn.GetAddressOf()));
        ASSERT_EQ(S_OK, mid->FindPin(L"Out", midOut.GetAddressOf()));
    }
    void TearDown() override
    {
        if (mid) {
            mid->Stop();
            midIn->Disconnect();
            midOut->Disconnect();
        }
        midIn.Reset();
        midOut.Reset();
        mid.Reset();
        Connection::TearDown();
    }
    ComPtr<IBaseFilter> mid;
    ComPtr<IPin> midIn, midOut;
};

TEST_F(Chain, TransformPinsNeedTheInputFirst)
{
    auto* copy = new CopyTransform;
    Build(copy);
    MediaType mt;
    MakeRgb24(mt, 64, 48);
    EXPECT_EQ(E_UNEXPECTED, midOut->Connect(in.Get(), &mt)) << "output before input";
    ComPtr<IEnumMediaTypes> e;
    ASSERT_EQ(S_OK, midOut->EnumMediaTypes(e.GetAddressOf()));
    AM_MEDIA_TYPE* t = nullptr;
    EXPECT_EQ(S_FALSE, e->Next(1, &t, nullptr)) << "no output type before the input is connected";
    ASSERT_EQ(S_OK, out->Connect(midIn.Get(), nullptr));
    ASSERT_EQ(S_OK, midOut->Connect(in.Get(), nullptr));
    EXPECT_EQ(64, WidthOf(sink->InPin()->CurrentMediaType()));

    // Pause with the input unconnected sends one end of stream until Stop.
    ASSERT_EQ(S_OK, out->Disconnect());
    ASSERT_EQ(S_OK, midIn->Disconnect());
    ASSERT_EQ(S_OK, mid->Pause());
    ASSERT_EQ(S_OK, mid->Pause());
    ASSERT_EQ(S_OK, mid->Run(0));
    EXPECT_EQ(1, sink->Eos.load());
    ASSERT_EQ(S_OK, mid->Stop());
    EXPECT_EQ(0, copy->Stops.load()) << "not fully connected: no StopStreaming";
    ASSERT_EQ(S_OK, mid->Pause());
    EXPECT_EQ(2, sink->Eos.load());
}

TEST_F(Chain, QualityMessagesAndSeekingPassThrough)
{
    auto* copy = new CopyTransform;
    Build(copy);
    ASSERT_EQ(S_OK, out->Connect(midIn.Get(), nullptr));
    ASSERT_EQ(S_OK, midOut->Connect(in.Get(), nullptr));
    ComPtr<IQualityControl> qc;
    ASSERT_EQ(S_OK, midOut.As(&qc));
    Quality q{Famine, 800, -10000, 0};
    EXPECT_EQ(S_OK, qc->Notify(sinkRef.Get(), q));
    EXPECT_EQ(1, copy->AlterCalls.load());
    EXPECT_EQ(1, source->QualityNotes.load()) << "S_FALSE from AlterQuality passes it upstream";
    copy->AlterResult = S_OK;
    EXPECT_EQ(S_OK, qc->Notify(sinkRef.Get(), q));
    EXPECT_EQ(1, source->QualityNotes.load()) << "handled by the filter";
    copy->AlterResult = S_FALSE;
    // A quality sink set on the input pin takes the message instead of the upstream pin.
    auto* other = new TestSource;
    ComPtr<IBaseFilter> otherRef = Hold(other);
    ComPtr<IQualityControl> otherQc, inQc;
    ASSERT_EQ(S_OK, PinOf(other->OutPin()).As(&otherQc));
    ASSERT_EQ(S_OK, midIn.As(&inQc));
    ASSERT_EQ(S_OK, inQc->SetSink(otherQc.Get()));
    EXPECT_EQ(S_OK, qc->Notify(sinkRef.Get(), q));
    EXPECT_EQ(1, other->QualityNotes.load());
    ASSERT_EQ(S_OK, inQc->SetSink(nullptr));

    ComPtr<IMediaSeeking> seeking1, seeking2;
    ComPtr<IUnknown> id1, id2;
    ASSERT_EQ(S_OK, midOut.As(&seeking1));
    ASSERT_EQ(S_OK, midOut.As(&seeking2));
    ASSERT_EQ(S_OK, seeking1.As(&id1));
    ASSERT_EQ(S_OK, seeking2.As(&id2));
    EXPECT_EQ(id1.Get(), id2.Get()) << "one pass-through object, made once";
}

TEST_F(Chain, InPlaceReceiveCopiesAndFlagsSkippedFrames)
{
    auto* pass = new PassThrough;
    Build(pass);
    // Outside a graph CompleteConnect refuses (no graph to reconnect through).
    EXPECT_EQ(VFW_E_NOT_IN_GRAPH, out->Connect(midIn.Get(), nullptr));
    EXPECT_FALSE(source->OutPin()->IsConnected());
    ComPtr<IFilterGraph> graph;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph,
                                     reinterpret_cast<void**>(graph.GetAddressOf())));
    ASSERT_EQ(S_OK, graph->AddFilter(sourceRef.Get(), L"source"));
    ASSERT_EQ(S_OK, graph->AddFilter(mid.Get(), L"pass"));
    ASSERT_EQ(S_OK, graph->AddFilter(sinkRef.Get(), L"sink"));
    ASSERT_EQ(S_OK, graph->ConnectDirect(out.Get(), midIn.Get(), nullptr));
    ComPtr<IEnumMediaTypes> e;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, midIn->EnumMediaTypes(e.GetAddressOf())) << "the output is not connected";
    ASSERT_EQ(S_OK, graph->ConnectDirect(midOut.Get(), in.Get(), nullptr));
    ASSERT_TRUE(pass->UsingDifferentAllocators());

    ASSERT_EQ(S_OK, sinkRef->Run(0));
    ASSERT_EQ(S_OK, mid->Run(0));
    ComPtr<IMemInputPin> mem;
    ASSERT_EQ(S_OK, midIn.As(&mem));
    ComPtr<TestSample> sample;
    sample.Attach(new TestSample(false, 64 * 48 * 3));
    std::fill(sample->Data.begin(), sample->Data.end(), BYTE{7});
    sample->Actual = 64 * 48 * 3;
    sample->TimeResult = S_OK;
    sample->Start = 10;
    sample->Stop = 20;
    sample->Sync = true;
    pass->DropEvery = 2;
    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));  // delivered
    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));  // dropped: S_OK all the same
    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));  // delivered, flagged as discontinuity
    pass->DropEvery = 0;
    ASSERT_EQ(S_OK, mem->Receive(sample.Get()));
    ASSERT_EQ(3, sink->Received.load());
    EXPECT_EQ(0, sink->BadData.load());
    EXPECT_EQ(7, sink->FirstBytes[0]);
    EXPECT_EQ(0u, sink->Flags[0] & AM_SAMPLE_DATADISCONTINUITY);
    EXPECT_NE(0u, sink->Flags[0] & AM_SAMPLE_SPLICEPOINT);
    EXPECT_NE(0u, sink->Flags[1] & AM_SAMPLE_DATADISCONTINUITY) << "the copy after a dropped frame";
    EXPECT_EQ(0u, sink->Flags[2] & AM_SAMPLE_DATADISCONTINUITY);
    EXPECT_TRUE(pass->QualityChanged());

    // A destination smaller than the data is refused, never overrun.
    sample->Data.resize(64 * 48 * 3 + 100);
    sample->Actual = 64 * 48 * 3 + 100;
    EXPECT_EQ(E_UNEXPECTED, mem->Receive(sample.Get()));
    EXPECT_EQ(3, sink->Received.load());

    // A non-media stream id is delivered without Transform and without a copy.
    ComPtr<TestSample> control;
    control.Attach(new TestSample(true, 8));
    control->StreamId = AM_STREAM_CONTROL;
    const int transforms = pass->Transforms.load();
    EXPECT_EQ(S_OK, mem->Receive(control.Get()));
    EXPECT_EQ(transforms, pass->Transforms.load());
    EXPECT_EQ(4, sink->Received.load());

    ASSERT_EQ(S_OK, mid->Stop());
    ASSERT_EQ(S_OK, sinkRef->Stop());
    graph->RemoveFilter(sourceRef.Get());
    graph->RemoveFilter(mid.Get());
    graph->RemoveFilter(sinkRef.Get());
    mid.Reset();
}

// The friendly names listed in a filter category.
std::vector<std::wstring> CategoryNames(REFCLSID Category)
{
    std::vector<std::wstring> names;
    ComPtr<ICreateDevEnum> devices;
    ComPtr<IEnumMoniker> list;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&devices))) ||
        devices->CreateClassEnumerator(Category, &list, 0) != S_OK)
        return names;
    for (ComPtr<IMoniker> moniker; list->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
        ComPtr<IPropertyBag> bag;
        VARIANT name;
        VariantInit(&name);
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) &&
            SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
            names.emplace_back(name.bstrVal);
        VariantClear(&name);
    }
    return names;
}

bool ClassKeyExists(const std::string& Key)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, Key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// {6A0F37C2-5B1E-4B8C-9E0D-3C1F2A7B9D41}: a class registered and removed again by the test alone.
const CLSID CLSID_RegisteredTestFilter = {0x6a0f37c2, 0x5b1e, 0x4b8c, {0x9e, 0x0d, 0x3c, 0x1f, 0x2a, 0x7b, 0x9d, 0x41}};

class RegisteredFilter : public TBCBaseFilter {
public:
    RegisteredFilter()
        : TBCBaseFilter("registered", nullptr, std::make_unique<TBCCritSec>(), CLSID_RegisteredTestFilter)
    {
    }
    int GetPinCount() override { return 0; }
    TBCBasePin* GetPin(int) override { return nullptr; }
};

TEST_F(BaseClasses, RegistrationWritesAndRemovesTheServerAndTheCategoryEntry)
{
    static const REGPINTYPES videoAny = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
    static const REGFILTERPINS pins[] = {
        {const_cast<LPWSTR>(L"In"), TRUE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &videoAny}};
    TBCFilterTemplateEntry entry;
    entry.Name = "Quillotrane Registration Test";
    entry.FilterClsid = CLSID_RegisteredTestFilter;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 1;
    entry.Pins = pins;
    Templates().Add(entry);
    const std::wstring name = L"Quillotrane Registration Test";
    const std::string classKey = "CLSID\\{6A0F37C2-5B1E-4B8C-9E0D-3C1F2A7B9D41}";
    auto listed = [&] {
        const std::vector<std::wstring> names = CategoryNames(CLSID_LegacyAmFilterCategory);
        return std::find(names.begin(), names.end(), name) != names.end();
    };

    ComPtr<IBaseFilter> filter = Hold(new RegisteredFilter);
    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(S_OK, filter.As(&setup));
    ASSERT_EQ(S_OK, setup->Register());
    EXPECT_TRUE(listed()) << "the category lists the registered filter";
    char value[MAX_PATH] = {};
    LONG size = sizeof(value);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueA(HKEY_CLASSES_ROOT, classKey.c_str(), value, &size));
    EXPECT_STREQ("Quillotrane Registration Test", value);
    size = sizeof(value);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueA(HKEY_CLASSES_ROOT, (classKey + "\\InprocServer32").c_str(), value, &size));
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    EXPECT_STRCASEEQ(module, value) << "the server is the module the classes are built into";
    ASSERT_EQ(S_OK, setup->Unregister());
    EXPECT_FALSE(listed());
    EXPECT_FALSE(ClassKeyExists(classKey)) << "nothing of the class is left behind";

    // The older mapper: the filter and its pin are registered under the class, and removed again.
    ComPtr<IFilterMapper> mapper;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper)));
    ASSERT_TRUE(RegisterFilterWithMapper(*Templates().GetFactoryFromClassID(CLSID_RegisteredTestFilter), mapper.Get(),
                                         true));
    EXPECT_TRUE(ClassKeyExists("Filter\\{6A0F37C2-5B1E-4B8C-9E0D-3C1F2A7B9D41}"));
    EXPECT_TRUE(ClassKeyExists(classKey + "\\Pins\\In\\Types"));
    EXPECT_TRUE(RegisterFilterWithMapper(entry, mapper.Get(), false));
    EXPECT_FALSE(ClassKeyExists("Filter\\{6A0F37C2-5B1E-4B8C-9E0D-3C1F2A7B9D41}"));
    RegDeleteTreeA(HKEY_CLASSES_ROOT, classKey.c_str());
}

}  // namespace
}  // namespace ftest
