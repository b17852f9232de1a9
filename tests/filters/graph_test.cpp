// Our test filters in Wine's filter graphs: streaming to the Null Renderer and the Sample Grabber,
// reconnection through the graph, run/pause/stop cycles without leaks, flushing, stopping a blocked
// stream and the quality event.
#include "graph_helpers.h"
#include "test_filters.h"

#include <qedit.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

// Stock class ids that MinGW's headers lack (their values are in strmiids).
EXTERN_C const CLSID CLSID_NullRenderer;
EXTERN_C const CLSID CLSID_SampleGrabber;

namespace ftest {
namespace {

using quill_test::Create;
using quill_test::PinAt;
using quill_test::WaitFor;

class Graphs : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        baseline_ = ObjectCount();
        graph = Create<IGraphBuilder>(CLSID_FilterGraph);
        ASSERT_TRUE(graph);
        ASSERT_EQ(S_OK, graph.As(&control));
        ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.GetAddressOf())));
        ComPtr<IMediaFilter> mf;
        ASSERT_EQ(S_OK, graph.As(&mf));
        mf->SetSyncSource(nullptr);  // as fast as the filters go
    }
    void TearDown() override
    {
        if (control) {
            control->Stop();
        }
        control.Reset();
        events.Reset();
        graph.Reset();
        filters.clear();
        EXPECT_EQ(baseline_, ObjectCount()) << "filters, pins or enumerators leaked";
        CoUninitialize();
    }
    template <typename T>
    T* Add(T* filter, const wchar_t* name)
    {
        ComPtr<IBaseFilter> held = Hold(filter);
        EXPECT_EQ(S_OK, graph->AddFilter(held.Get(), name));
        filters.push_back(held);
        return filter;
    }
    ComPtr<IBaseFilter> AddStock(REFCLSID clsid, const wchar_t* name)
    {
        auto f = Create<IBaseFilter>(clsid);
        EXPECT_TRUE(f) << "stock filter missing";
        if (f) {
            EXPECT_EQ(S_OK, graph->AddFilter(f.Get(), name));
            filters.push_back(f);
        }
        return f;
    }
    HRESULT Link(IBaseFilter* from, IBaseFilter* to)
    {
        return graph->ConnectDirect(PinAt(from, PINDIR_OUTPUT).Get(), PinAt(to, PINDIR_INPUT).Get(), nullptr);
    }
    int CountEvents(long code)
    {
        int n = 0;
        long ev = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (events->GetEvent(&ev, &p1, &p2, 0) == S_OK) {
            if (ev == code) {
                ++n;
            }
            events->FreeEventParams(ev, p1, p2);
        }
        return n;
    }
    // Every buffer of the allocator can be had again: no sample is held anywhere.
    static void ExpectAllBuffersFree(IMemAllocator* alloc)
    {
        ASSERT_NE(nullptr, alloc);
        ALLOCATOR_PROPERTIES props{};
        ASSERT_EQ(S_OK, alloc->GetProperties(&props));
        ASSERT_EQ(S_OK, alloc->Commit());
        std::vector<ComPtr<IMediaSample>> samples(static_cast<size_t>(props.cBuffers));
        for (auto& s : samples) {
            EXPECT_EQ(S_OK, alloc->GetBuffer(s.GetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT));
        }
        samples.clear();
        alloc->Decommit();
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    std::vector<ComPtr<IBaseFilter>> filters;
    LONG baseline_ = 0;
};

TEST_F(Graphs, EndOfStreamReachesTheNullRendererThroughBothTransforms)
{
    auto* source = Add(new TestSource, L"Source");
    auto* pass = Add(new PassThrough, L"Pass");
    auto* copy = Add(new CopyTransform, L"Copy");
    auto nullRenderer = AddStock(CLSID_NullRenderer, L"Null");
    source->FrameLimit = 30;
    ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
    ASSERT_EQ(S_OK, Link(filters[1].Get(), filters[2].Get()));
    ASSERT_EQ(S_OK, Link(filters[2].Get(), nullRenderer.Get()));
    FILTER_INFO info{};
    ASSERT_EQ(S_OK, filters[1]->QueryFilterInfo(&info));
    EXPECT_EQ(L"Pass", std::wstring(info.achName));
    ASSERT_NE(nullptr, info.pGraph);
    ComPtr<IFilterGraph> joined(info.pGraph);
    info.pGraph->Release();
    ComPtr<IUnknown> a, b;
    joined.As(&a);
    graph.As(&b);
    EXPECT_EQ(a.Get(), b.Get()) << "QueryFilterInfo gives the graph the filter joined";

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    long code = 0;
    ASSERT_EQ(S_OK, events->WaitForCompletion(10000, &code))
        << source->Delivered.load() << " " << source->EosSent.load() << " " << pass->Transforms.load() << " "
        << copy->Transforms.load();
    EXPECT_EQ(EC_COMPLETE, code);
    EXPECT_EQ(30, source->Delivered.load());
    EXPECT_EQ(30, pass->Transforms.load());
    EXPECT_EQ(30, copy->Transforms.load());
    EXPECT_EQ(1, copy->Starts.load());
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(1, copy->Stops.load());
}

class CountingGrabber : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        *obj = nullptr;
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *obj = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE* buffer, long length) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        firstBytes.push_back(length > 0 ? buffer[0] : -1);
        lengths.push_back(length);
        return S_OK;
    }
    std::mutex mutex;
    std::vector<int> firstBytes;
    std::vector<long> lengths;
};

TEST_F(Graphs, TheSampleGrabberSeesEveryFrameInOrder)
{
    auto* source = Add(new TestSource, L"Source");
    Add(new PassThrough, L"Pass");
    auto grabberFilter = AddStock(CLSID_SampleGrabber, L"Grabber");
    auto nullRenderer = AddStock(CLSID_NullRenderer, L"Null");
    ComPtr<ISampleGrabber> grabber;
    ASSERT_EQ(S_OK, grabberFilter.As(&grabber));
    AM_MEDIA_TYPE want{};
    want.majortype = MEDIATYPE_Video;
    want.subtype = MEDIASUBTYPE_RGB24;
    ASSERT_EQ(S_OK, grabber->SetMediaType(&want));
    CountingGrabber cb;
    ASSERT_EQ(S_OK, grabber->SetCallback(&cb, 1));
    source->FrameLimit = 20;
    ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
    ASSERT_EQ(S_OK, Link(filters[1].Get(), grabberFilter.Get()));
    ASSERT_EQ(S_OK, Link(grabberFilter.Get(), nullRenderer.Get()));
    control->Run();
    long code = 0;
    ASSERT_EQ(S_OK, events->WaitForCompletion(10000, &code));
    EXPECT_EQ(EC_COMPLETE, code);
    control->Stop();
    grabber->SetCallback(nullptr, 1);
    ASSERT_EQ(20u, cb.firstBytes.size());
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(i, cb.firstBytes[static_cast<size_t>(i)]);
        EXPECT_EQ(64 * 48 * 3, cb.lengths[static_cast<size_t>(i)]);
    }
}

TEST_F(Graphs, InPlaceOutputReconnectsItsInputWithTheDownstreamType)
{
    auto* source = Add(new TestSource, L"Source");
    auto* pass = Add(new PassThrough, L"Pass");
    auto* sink = Add(new TestSink, L"Sink");
    ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
    EXPECT_EQ(64, WidthOf(pass->InputPin()->CurrentMediaType()));

    sink->Accept = {100};
    EXPECT_FALSE(SUCCEEDED(Link(filters[1].Get(), filters[2].Get()))) << "no type the sink takes";
    EXPECT_FALSE(pass->OutputPin()->IsConnected());
    EXPECT_FALSE(sink->InPin()->IsConnected());

    sink->Accept = {32};
    ASSERT_EQ(S_OK, Link(filters[1].Get(), filters[2].Get()));
    // Wine's ReconnectEx runs at once, re-entering our pins on this thread under the filter lock.
    EXPECT_EQ(32, WidthOf(pass->OutputPin()->CurrentMediaType()));
    EXPECT_EQ(32, WidthOf(pass->InputPin()->CurrentMediaType()));
    EXPECT_EQ(32, WidthOf(source->OutPin()->CurrentMediaType()));

    source->FrameLimit = 10;
    control->Run();
    ASSERT_TRUE(WaitFor([&] { return sink->Eos.load() > 0; }));
    control->Stop();
    EXPECT_EQ(10, sink->Received.load());
    EXPECT_EQ(0, sink->BadData.load());
}

TEST_F(Graphs, HundredsOfRunPauseStopCyclesLeakNoSampleOrReference)
{
    auto* source = Add(new TestSource, L"Source");
    auto* pass = Add(new PassThrough, L"Pass");
    auto* copy = Add(new CopyTransform, L"Copy");
    auto* sink = Add(new TestSink, L"Sink");
    ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
    ASSERT_EQ(S_OK, Link(filters[1].Get(), filters[2].Get()));
    ASSERT_EQ(S_OK, Link(filters[2].Get(), filters[3].Get()));
    const LONG sourceRefs = source->RefCount();
    const LONG passRefs = pass->RefCount();
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(SUCCEEDED(control->Run())) << i;
        if (i % 3 == 0) {
            Sleep(1);
        }
        if (i % 2 == 0) {
            ASSERT_TRUE(SUCCEEDED(control->Pause())) << i;
        }
        ASSERT_EQ(S_OK, control->Stop()) << i;
    }
    // A busy machine may give the source's thread no turn within any of those runs: the graph
    // still streams after them.
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_TRUE(WaitFor([&] { return sink->Received.load() > 0; })) << "no sample after the cycles";
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(301, copy->Starts.load());
    EXPECT_EQ(301, copy->Stops.load());
    EXPECT_EQ(sourceRefs, source->RefCount());
    EXPECT_EQ(passRefs, pass->RefCount());
    ExpectAllBuffersFree(source->OutPin()->Allocator());
    ExpectAllBuffersFree(pass->OutputPin()->Allocator());
    ExpectAllBuffersFree(copy->OutputPin()->Allocator());
}

TEST_F(Graphs, FlushingDuringStreaming)
{
    auto* source = Add(new TestSource, L"Source");
    auto* pass = Add(new PassThrough, L"Pass");
    Add(new CopyTransform, L"Copy");
    auto* sink = Add(new TestSink, L"Sink");
    ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
    ASSERT_EQ(S_OK, Link(filters[1].Get(), filters[2].Get()));
    ASSERT_EQ(S_OK, Link(filters[2].Get(), filters[3].Get()));
    control->Run();
    ASSERT_TRUE(WaitFor([&] { return sink->Received.load() > 5; }));
    ASSERT_EQ(S_OK, source->OutPin()->DeliverBeginFlush());
    EXPECT_TRUE(pass->InputPin()->IsFlushing());
    Sleep(20);
    const int during = pass->Transforms.load();
    Sleep(20);
    EXPECT_EQ(during, pass->Transforms.load()) << "samples are dropped while flushing";
    ASSERT_EQ(S_OK, source->OutPin()->DeliverEndFlush());
    const int after = sink->Received.load();
    EXPECT_TRUE(WaitFor([&] { return sink->Received.load() > after + 5; })) << "streaming resumes";
    EXPECT_EQ(1, sink->BeginFlushes.load());
    EXPECT_EQ(1, sink->EndFlushes.load());
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(E_UNEXPECTED, PinOf(pass->OutputPin())->BeginFlush()) << "an output pin takes no flush";
}

TEST_F(Graphs, StopFreesAStreamBlockedWaitingForBuffers)
{
    Add(new TestSource, L"Source");
    auto* copy = Add(new CopyTransform, L"Copy");
    auto* sink = Add(new TestSink, L"Sink");
    sink->HoldSamples = true;  // the copy's two output buffers run out: its thread waits in GetBuffer
    ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
    ASSERT_EQ(S_OK, Link(filters[1].Get(), filters[2].Get()));
    control->Run();
    ASSERT_TRUE(WaitFor([&] { return sink->Received.load() == 2; }));
    Sleep(50);
    EXPECT_EQ(2, sink->Received.load());
    auto stopped = std::async(std::launch::async, [this] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        HRESULT hr = control->Stop();
        CoUninitialize();
        return hr;
    });
    ASSERT_EQ(std::future_status::ready, stopped.wait_for(std::chrono::seconds(10))) << "Stop deadlocked";
    EXPECT_EQ(S_OK, stopped.get());
    EXPECT_EQ(1, copy->Stops.load());
    sink->ReleaseHeld();
}

TEST_F(Graphs, DroppedFramesRaiseOneQualityChangeEvent)
{
    auto* source = Add(new TestSource, L"Source");
    auto* copy = Add(new CopyTransform, L"Copy");
    auto nullRenderer = AddStock(CLSID_NullRenderer, L"Null");
    ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
    ASSERT_EQ(S_OK, Link(filters[1].Get(), nullRenderer.Get()));
    source->FrameLimit = 12;
    copy->DropAll = true;
    control->Run();
    ASSERT_TRUE(WaitFor([&] { return source->EosSent.load(); }));
    EXPECT_TRUE(copy->SampleSkipped());
    control->Stop();
    EXPECT_EQ(12, copy->Transforms.load());
    EXPECT_EQ(1, CountEvents(EC_QUALITY_CHANGE));
}

}  // namespace
}  // namespace ftest
