// The filter graph and its member components under Wine's stock filters: an AVI file played
// through File Source, AVI Splitter, Sample Grabber and Null Renderer; events on the main thread
// in order; clearing, the viewer's table entry, the log file, volume figures, chain removal.
#include "dshow/ds_graph.h"

#include <evcode.h>
#include <objbase.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "classlib/exceptions.h"
#include "classlib/hidden_window.h"
#include "dshow/ds_components.h"
#include "dshow/ds_functions.h"
#include "dshow/ds_helpers.h"
#include "dshow_test_support.h"
#include "exception_text.h"

using namespace dshow;
using dshow_test::ComPtr;
using dshow_test::FindPin;
using dshow_test::IsConnected;
using dshow_test::PumpUntil;

namespace {

constexpr std::uint32_t kFrames = 10;

ComPtr<IBaseFilter> Make(const CLSID& Class) {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(Class, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    return filter;
}

std::vector<ComPtr<IBaseFilter>> FiltersOf(IFilterGraph* Graph) {
    std::vector<ComPtr<IBaseFilter>> result;
    ComPtr<IEnumFilters> filters;
    Graph->EnumFilters(&filters);
    ComPtr<IBaseFilter> f;
    while (filters->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK) result.push_back(f);
    return result;
}

GUID ClassOf(IBaseFilter* Filter) {
    GUID id = GUID_NULL;
    Filter->GetClassID(&id);
    return id;
}

std::vector<std::wstring> RotGraphNames() {
    std::vector<std::wstring> names;
    ComPtr<IRunningObjectTable> rot;
    ComPtr<IEnumMoniker> monikers;
    ComPtr<IBindCtx> context;
    if (FAILED(GetRunningObjectTable(0, &rot)) || FAILED(rot->EnumRunning(&monikers)) || FAILED(CreateBindCtx(0, &context)))
        return names;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        LPOLESTR name = nullptr;
        if (SUCCEEDED(moniker->GetDisplayName(context.Get(), nullptr, &name))) {
            if (wcsncmp(name, L"!FilterGraph ", 13) == 0) names.emplace_back(name);
            CoTaskMemFree(name);
        }
    }
    return names;
}

// The AVI file, the graph component and its two member components, wired as the program wires
// a preview: the members join at activation, the rest is added by hand.
class PlayingGraph : public testing::Test {
protected:
    void SetUp() override {
        path = dshow_test::TempFolder() + L"clip.avi";
        dshow_test::WriteAviFile(path, kFrames);
        graph = std::make_unique<TFilterGraph>(nullptr);
        grabber = std::make_unique<TSampleGrabber>(nullptr);
        renderer = std::make_unique<TFilter>(nullptr);
        grabber->SetName(L"Grabber");
        renderer->SetName(L"Renderer");
        ASSERT_TRUE(SelectFilterByCLSID(CLSID_LegacyAmFilterCategory, dshow_test::kNullRenderer, renderer.get()));
        grabber->SetFilterGraph(graph.get());
        renderer->SetFilterGraph(graph.get());
    }
    void TearDown() override {
        renderer.reset();
        grabber.reset();
        graph.reset();
        DeleteFileW(path.c_str());
    }
    // Source and splitter added by hand, everything connected.
    void Build() {
        auto builder = graph->As<IGraphBuilder>(IID_IGraphBuilder);
        ASSERT_TRUE(builder);
        source = Make(CLSID_AsyncReader);
        splitter = Make(CLSID_AviSplitter);
        ASSERT_TRUE(source && splitter);
        ComPtr<IFileSourceFilter> file;
        ASSERT_HRESULT_SUCCEEDED(source.As(&file));
        ASSERT_HRESULT_SUCCEEDED(file->Load(path.c_str(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(builder->AddFilter(source.Get(), L"Source"));
        ASSERT_HRESULT_SUCCEEDED(builder->AddFilter(splitter.Get(), L"Splitter"));
        ASSERT_HRESULT_SUCCEEDED(builder->ConnectDirect(FindPin(source.Get(), PINDIR_OUTPUT).Get(),
                                                        FindPin(splitter.Get(), PINDIR_INPUT).Get(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(builder->ConnectDirect(FindPin(splitter.Get(), PINDIR_OUTPUT).Get(),
                                                        grabber->InputPin(), nullptr));
        ComPtr<IBaseFilter> nullRenderer = renderer->GetFilter();
        ASSERT_TRUE(nullRenderer);
        // Wine's grabber offers no type on its output: connect it with the type its input took.
        AM_MEDIA_TYPE mt = {};
        ASSERT_HRESULT_SUCCEEDED(grabber->InputPin()->ConnectionMediaType(&mt));
        HRESULT hr = builder->ConnectDirect(grabber->OutputPin(), FindPin(nullRenderer.Get(), PINDIR_INPUT).Get(), &mt);
        FreeMediaType(mt);
        ASSERT_HRESULT_SUCCEEDED(hr);
    }

    std::wstring path;
    std::unique_ptr<TFilterGraph> graph;
    std::unique_ptr<TSampleGrabber> grabber;
    std::unique_ptr<TFilter> renderer;
    ComPtr<IBaseFilter> source, splitter;
};

TEST_F(PlayingGraph, RunsPausesStopsAndClears) {
    bool membersInGraphAtActivation = false;
    graph->OnActivate = [&](classlib::TObject*) {
        membersInGraphAtActivation = grabber->GetFilter() && renderer->GetFilter() &&
                                     FiltersOf(graph->As<IFilterGraph>(IID_IFilterGraph).Get()).size() == 2;
    };
    graph->SetMode(gmCapture);
    graph->SetActive(true);
    EXPECT_TRUE(membersInGraphAtActivation);
    EXPECT_TRUE(graph->As<ICaptureGraphBuilder2>(IID_ICaptureGraphBuilder2));
    ASSERT_NO_FATAL_FAILURE(Build());

    const DWORD mainThread = GetCurrentThreadId();
    std::atomic<int> buffers{0};
    std::atomic<long> lastLength{0};
    std::atomic<DWORD> bufferThread{0};
    grabber->OnBuffer = [&](classlib::TObject*, double, BYTE*, long length) {
        ++buffers;
        lastLength = length;
        bufferThread = GetCurrentThreadId();
    };
    std::vector<long> codes;
    bool offThread = false, complete = false;
    HRESULT completeResult = E_FAIL;
    graph->OnDSEvent = [&](classlib::TComponent* sender, long code, LONG_PTR, LONG_PTR) {
        EXPECT_EQ(sender, graph.get());
        codes.push_back(code);
        if (GetCurrentThreadId() != mainThread) offThread = true;
    };
    graph->OnGraphComplete = [&](classlib::TObject*, HRESULT result, IBaseFilter*) {
        // The specific event comes after OnDSEvent of the same event.
        EXPECT_FALSE(codes.empty());
        if (!codes.empty()) {
            EXPECT_EQ(codes.back(), EC_COMPLETE);
        }
        if (GetCurrentThreadId() != mainThread) offThread = true;
        completeResult = result;
        complete = true;
    };

    EXPECT_TRUE(graph->Play());
    ASSERT_TRUE(PumpUntil([&] { return complete; }));
    EXPECT_FALSE(offThread);
    EXPECT_EQ(completeResult, S_OK);
    EXPECT_EQ(buffers.load(), static_cast<int>(kFrames));
    EXPECT_EQ(lastLength.load(), static_cast<long>(dshow_test::kAviFrameBytes));
    EXPECT_NE(bufferThread.load(), mainThread);  // the grabber's thread, not ours
    EXPECT_EQ(graph->State(), gsPlaying);

    auto control = graph->As<IMediaControl>(IID_IMediaControl);
    ASSERT_HRESULT_SUCCEEDED(control->Pause());
    EXPECT_TRUE(PumpUntil([&] { return graph->State() == gsPaused; }, 5000));
    EXPECT_TRUE(graph->Stop());
    EXPECT_EQ(graph->State(), gsStopped);

    // Clearing keeps exactly the members' filters, disconnected.
    graph->ClearGraph();
    auto left = FiltersOf(graph->As<IFilterGraph>(IID_IFilterGraph).Get());
    ASSERT_EQ(left.size(), 2u);
    for (auto& f : left) {
        EXPECT_TRUE(f.Get() == grabber->GetFilter().Get() || f.Get() == renderer->GetFilter().Get());
        EXPECT_FALSE(IsConnected(FindPin(f.Get(), PINDIR_INPUT).Get()));
    }
    EXPECT_FALSE(IsConnected(FindPin(source.Get(), PINDIR_OUTPUT).Get()));

    // Built again after clearing, the same members play once more.
    complete = false;
    buffers = 0;
    ASSERT_NO_FATAL_FAILURE(Build());
    EXPECT_TRUE(graph->Play());
    EXPECT_TRUE(PumpUntil([&] { return complete; }));
    EXPECT_EQ(buffers.load(), static_cast<int>(kFrames));
    EXPECT_TRUE(graph->Stop());
}

// A filter that refuses to run (here a file writer whose folder is missing) fails the start with
// its reason, and every filter the graph had already paused is stopped again: Wine's graph leaves
// them paused, its own Stop then does nothing, and a graph with a paused splitter is never freed.
TEST_F(PlayingGraph, AFilterRefusingToRunLeavesEveryFilterStopped) {
    graph->SetActive(true);
    auto builder = graph->As<IGraphBuilder>(IID_IGraphBuilder);
    ASSERT_TRUE(builder);
    source = Make(CLSID_AsyncReader);
    splitter = Make(CLSID_AviSplitter);
    ComPtr<IBaseFilter> writer = Make(CLSID_FileWriter);
    ASSERT_TRUE(source && splitter && writer);
    ComPtr<IFileSourceFilter> file;
    ComPtr<IFileSinkFilter> sink;
    ASSERT_HRESULT_SUCCEEDED(source.As(&file));
    ASSERT_HRESULT_SUCCEEDED(writer.As(&sink));
    ASSERT_HRESULT_SUCCEEDED(file->Load(path.c_str(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(sink->SetFileName((dshow_test::TempFolder() + L"no such folder\\clip.avi").c_str(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(builder->AddFilter(source.Get(), L"Source"));
    ASSERT_HRESULT_SUCCEEDED(builder->AddFilter(splitter.Get(), L"Splitter"));
    ASSERT_HRESULT_SUCCEEDED(builder->AddFilter(writer.Get(), L"Writer"));
    ASSERT_HRESULT_SUCCEEDED(builder->ConnectDirect(FindPin(source.Get(), PINDIR_OUTPUT).Get(),
                                                    FindPin(splitter.Get(), PINDIR_INPUT).Get(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(builder->ConnectDirect(FindPin(splitter.Get(), PINDIR_OUTPUT).Get(),
                                                    FindPin(writer.Get(), PINDIR_INPUT).Get(), nullptr));
    HRESULT reason = S_OK;
    try {
        graph->Play();
    } catch (const EDirectShowException& e) {
        reason = e.ErrorCode();
    }
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), reason);
    for (IBaseFilter* filter : {source.Get(), splitter.Get(), writer.Get()}) {
        FILTER_STATE state = State_Running;
        EXPECT_HRESULT_SUCCEEDED(filter->GetState(0, &state));
        EXPECT_EQ(State_Stopped, state);
    }
    EXPECT_EQ(gsStopped, graph->State());
    graph->ClearGraph();
}

TEST_F(PlayingGraph, MemberLeavingARunningGraphIsStoppedAndDisconnected) {
    graph->SetActive(true);
    ASSERT_NO_FATAL_FAILURE(Build());
    ComPtr<IBaseFilter> nullRenderer = renderer->GetFilter();
    ComPtr<IBaseFilter> grabberFilter = grabber->GetFilter();
    ASSERT_TRUE(graph->Play());
    ASSERT_TRUE(PumpUntil([&] { return graph->State() == gsPlaying; }, 5000));
    // Wine's graph runs its filters a moment after it reports running: wait for the renderer
    // itself, or the deferred run would start it again after it left.
    ASSERT_TRUE(PumpUntil(
        [&] {
            FILTER_STATE s = State_Stopped;
            return nullRenderer->GetState(0, &s) == S_OK && s == State_Running;
        },
        5000));

    renderer->SetFilterGraph(nullptr);
    EXPECT_FALSE(renderer->GetFilter());
    FILTER_STATE state = State_Running;
    EXPECT_EQ(nullRenderer->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // (Wine's graph keeps a filter that leaves while the graph runs; the program stops the graph
    // before it changes members, as below.)

    // The grabber leaves with both sides of its pins let go: the splitter's output is free again.
    ComPtr<IPin> splitterOut = FindPin(splitter.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(IsConnected(splitterOut.Get()));
    graph->Stop();
    const size_t before = FiltersOf(graph->As<IFilterGraph>(IID_IFilterGraph).Get()).size();
    grabber->SetFilterGraph(nullptr);
    EXPECT_FALSE(IsConnected(splitterOut.Get()));
    EXPECT_EQ(FiltersOf(graph->As<IFilterGraph>(IID_IFilterGraph).Get()).size(), before - 1);
    FILTER_INFO info = {};
    ASSERT_HRESULT_SUCCEEDED(grabberFilter->QueryFilterInfo(&info));
    EXPECT_EQ(info.pGraph, nullptr);
    if (info.pGraph != nullptr) info.pGraph->Release();
}

TEST_F(PlayingGraph, RefreshPutsTheNewlyNamedFilterInUnderTheSameName) {
    graph->SetActive(true);
    TSysDevEnum devices(CLSID_LegacyAmFilterCategory);
    ASSERT_TRUE(SelectFilterByCLSID(CLSID_LegacyAmFilterCategory, CLSID_AviSplitter, renderer.get()));
    EXPECT_EQ(renderer->FilterGraph(), nullptr);  // selection detaches
    renderer->SetFilterGraph(graph.get());
    ComPtr<IBaseFilter> now = renderer->GetFilter();
    ASSERT_TRUE(now);
    EXPECT_TRUE(IsEqualGUID(ClassOf(now.Get()), CLSID_AviSplitter));

    // Change the moniker behind the component's back, then refresh.
    TFilter other(nullptr);
    ASSERT_TRUE(SelectFilterByCLSID(CLSID_LegacyAmFilterCategory, dshow_test::kNullRenderer, &other));
    renderer->BaseFilter()->Assign(other.BaseFilter());
    renderer->NotifyFilter(fnRefresh);
    ComPtr<IBaseFilter> refreshed = renderer->GetFilter();
    ASSERT_TRUE(refreshed);
    EXPECT_TRUE(IsEqualGUID(ClassOf(refreshed.Get()), dshow_test::kNullRenderer));
    FILTER_INFO info = {};
    ASSERT_HRESULT_SUCCEEDED(refreshed->QueryFilterInfo(&info));
    EXPECT_STREQ(info.achName, L"Renderer");
    EXPECT_NE(info.pGraph, nullptr);
    if (info.pGraph != nullptr) info.pGraph->Release();
    EXPECT_EQ(FiltersOf(graph->As<IFilterGraph>(IID_IFilterGraph).Get()).size(), 2u);
}

TEST(FilterComponent, EmptyMonikerJoinsWithoutAFilterAndGraphMayGoFirst) {
    auto graph = std::make_unique<TFilterGraph>(nullptr);
    graph->SetActive(true);
    TFilter empty(nullptr);
    empty.SetName(L"Empty");
    EXPECT_NO_THROW(empty.SetFilterGraph(graph.get()));
    EXPECT_FALSE(empty.GetFilter());
    ComPtr<IBaseFilter> cast;
    EXPECT_EQ(empty.QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(cast.GetAddressOf())), E_NOINTERFACE);
    EXPECT_TRUE(FiltersOf(graph->As<IFilterGraph>(IID_IFilterGraph).Get()).empty());
    empty.SetFilterGraph(graph.get());  // the same graph again: nothing happens

    graph.reset();
    EXPECT_EQ(empty.FilterGraph(), nullptr);
    empty.SetFilterGraph(nullptr);
}

TEST(FilterGraph, ActivationModesAndInactiveBehaviour) {
    TFilterGraph graph(nullptr);
    int activations = 0;
    graph.OnActivate = [&](classlib::TObject*) { ++activations; };
    EXPECT_FALSE(graph.Play());
    EXPECT_FALSE(graph.Stop());
    EXPECT_EQ(graph.State(), gsUninitialized);
    EXPECT_FALSE(graph.As<IMediaControl>(IID_IMediaControl));
    EXPECT_NO_THROW(graph.ClearGraph());

    graph.SetActive(true);
    graph.SetActive(true);
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(graph.State(), gsStopped);
    EXPECT_FALSE(graph.As<ICaptureGraphBuilder2>(IID_ICaptureGraphBuilder2));
    graph.SetMode(gmCapture);  // goes through a deactivation
    EXPECT_EQ(activations, 2);
    EXPECT_TRUE(graph.Active());
    EXPECT_TRUE(graph.As<ICaptureGraphBuilder2>(IID_ICaptureGraphBuilder2));
    graph.SetActive(false);
    EXPECT_FALSE(graph.As<IMediaControl>(IID_IMediaControl));

    // AutoCreate activates once the component is loaded.
    TFilterGraph loaded(nullptr);
    loaded.SetAutoCreate(true);
    loaded.Loaded();
    EXPECT_TRUE(loaded.Active());
}

TEST(FilterGraph, EventsReachHandlersOnTheMainThreadInOrder) {
    TFilterGraph graph(nullptr);
    graph.SetActive(true);
    auto sink = graph.As<IMediaEventSink>(IID_IMediaEventSink);
    ASSERT_TRUE(sink);

    const DWORD mainThread = GetCurrentThreadId();
    // Pointer-wide values must arrive whole.
    const auto wide1 = static_cast<LONG_PTR>(~static_cast<ULONG_PTR>(0) - 0x1234);
    const auto wide2 = static_cast<LONG_PTR>(static_cast<ULONG_PTR>(1) << (sizeof(LONG_PTR) * 8 - 2));
    std::vector<std::tuple<long, LONG_PTR, LONG_PTR>> seen;
    std::vector<bool> lost;
    std::vector<std::pair<WORD, WORD>> sizes;
    std::vector<std::wstring> ole;
    bool offThread = false;
    graph.OnDSEvent = [&](classlib::TComponent*, long code, LONG_PTR p1, LONG_PTR p2) {
        seen.emplace_back(code, p1, p2);
        if (GetCurrentThreadId() != mainThread) offThread = true;
    };
    graph.OnGraphDeviceLost = [&](classlib::TObject*, IUnknown* device, bool removed) {
        EXPECT_EQ(device, nullptr);
        lost.push_back(removed);
    };
    graph.OnGraphVideoSizeChanged = [&](classlib::TObject*, WORD w, WORD h) { sizes.emplace_back(w, h); };
    graph.OnGraphOleEvent = [&](classlib::TObject*, const std::wstring& a, const std::wstring& b) {
        ole.push_back(a + L"|" + b);
    };

    std::thread worker([&] {
        sink->Notify(EC_DEVICE_LOST, 0, 0);
        sink->Notify(EC_TIME, 11, 22);
        sink->Notify(EC_DEVICE_LOST, 0, 1);
        sink->Notify(EC_VIDEO_SIZE_CHANGED, MAKELONG(320, 240), 0);
        sink->Notify(EC_USER + 7, wide1, wide2);
        sink->Notify(EC_OLE_EVENT, reinterpret_cast<LONG_PTR>(SysAllocString(L"name")),
                     reinterpret_cast<LONG_PTR>(SysAllocString(L"value")));
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 6; }));
    EXPECT_FALSE(offThread);
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(std::get<0>(seen[0]), EC_DEVICE_LOST);
    EXPECT_EQ(seen[1], std::make_tuple(static_cast<long>(EC_TIME), LONG_PTR{11}, LONG_PTR{22}));
    EXPECT_EQ(std::get<0>(seen[2]), EC_DEVICE_LOST);
    EXPECT_EQ(std::get<0>(seen[3]), EC_VIDEO_SIZE_CHANGED);
    EXPECT_EQ(seen[4], std::make_tuple(static_cast<long>(EC_USER + 7), wide1, wide2));
    EXPECT_EQ(lost, (std::vector<bool>{false, true}));
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], std::make_pair(WORD{320}, WORD{240}));
    EXPECT_EQ(ole, std::vector<std::wstring>{L"name|value"});
}

TEST(FilterGraph, FailingHandlerIsSwallowedAndLaterEventsStillArrive) {
    TFilterGraph graph(nullptr);
    graph.SetActive(true);
    auto sink = graph.As<IMediaEventSink>(IID_IMediaEventSink);
    ASSERT_TRUE(sink);
    int shown = 0;
    classlib::SetWindowProcExceptionHandler([&](const std::exception_ptr&) { ++shown; });
    std::vector<LONG_PTR> seen;
    graph.OnDSEvent = [&](classlib::TComponent*, long, LONG_PTR p1, LONG_PTR) {
        seen.push_back(p1);
        if (p1 == 2) throw classlib::Exception(L"handler failed");
    };
    for (LONG_PTR i = 1; i <= 4; ++i) sink->Notify(EC_USER + 1, i, 0);
    // Each event posts its own notification, so the round the failure ended is resumed.
    EXPECT_TRUE(PumpUntil([&] { return seen.size() >= 4; }, 5000));
    EXPECT_EQ(seen, (std::vector<LONG_PTR>{1, 2, 3, 4}));
    EXPECT_EQ(shown, 0);
    classlib::SetWindowProcExceptionHandler(nullptr);
}

TEST(FilterGraph, RunningObjectTableEntryWhileGraphEditIsOn) {
    const size_t before = RotGraphNames().size();
    TFilterGraph a(nullptr), b(nullptr);
    a.SetGraphEdit(true);
    EXPECT_EQ(a.RotCookie(), 0u);  // no graph yet
    a.SetActive(true);
    EXPECT_NE(a.RotCookie(), 0u);
    b.SetActive(true);
    b.SetGraphEdit(true);
    auto names = RotGraphNames();
    ASSERT_EQ(names.size(), before + 2);
    // Two graphs of one process differ by their pointers; both name this process.
    const std::wstring pid = L" pid " + dshow_test::Hex(GetCurrentProcessId(), 1);
    int ours = 0;
    for (const auto& n : names)
        if (n.size() > pid.size() && n.compare(n.size() - pid.size(), pid.size(), pid) == 0) ++ours;
    EXPECT_EQ(ours, 2);
    EXPECT_NE(names[names.size() - 1], names[names.size() - 2]);

    a.SetGraphEdit(false);
    EXPECT_EQ(a.RotCookie(), 0u);
    EXPECT_EQ(RotGraphNames().size(), before + 1);
    b.SetActive(false);
    EXPECT_EQ(RotGraphNames().size(), before);
    EXPECT_TRUE(b.GraphEdit());
    b.SetActive(true);  // registers again on activation
    EXPECT_EQ(RotGraphNames().size(), before + 1);
}

TEST(FilterGraph, LogFileIsCreatedAndReleased) {
    const std::wstring log = dshow_test::TempFolder() + L"graph.log";
    TFilterGraph graph(nullptr);
    graph.SetLogFile(log);
    EXPECT_EQ(GetFileAttributesW(log.c_str()), INVALID_FILE_ATTRIBUTES);  // inactive: stored only
    graph.SetActive(true);
    EXPECT_NE(GetFileAttributesW(log.c_str()), INVALID_FILE_ATTRIBUTES);
    graph.SetActive(false);
    EXPECT_TRUE(DeleteFileW(log.c_str()));

    graph.SetActive(true);
    const std::wstring bad = dshow_test::TempFolder() + L"no such folder\\graph.log";
    EXPECT_NE(quill_test::MessageOf<classlib::EStreamError>([&] { graph.SetLogFile(bad); }), L"<no exception>");
    EXPECT_EQ(graph.LogFile(), log);
    graph.SetLogFile(L"");
    graph.SetActive(false);
    DeleteFileW(log.c_str());
}

TEST(FilterGraph, VolumeMapping) {
    EXPECT_EQ(LinearVolumeToDB(0), -10000);
    EXPECT_EQ(LinearVolumeToDB(10), -7397);
    EXPECT_EQ(LinearVolumeToDB(100), -4989);
    EXPECT_EQ(LinearVolumeToDB(1000), -2499);
    EXPECT_EQ(LinearVolumeToDB(5000), -752);
    EXPECT_EQ(LinearVolumeToDB(10000), 0);

    TFilterGraph graph(nullptr);
    graph.SetVolume(20000);
    EXPECT_EQ(graph.Volume(), 10000);
    graph.SetVolume(-5);
    EXPECT_EQ(graph.Volume(), 0);
    graph.SetBalance(-20000);
    EXPECT_EQ(graph.Balance(), -10000);
    graph.SetActive(true);
    EXPECT_NO_THROW(graph.SetVolume(5000));  // no audio renderer: nothing to tell
    EXPECT_EQ(graph.Volume(), 5000);
}

TEST(DVDTimeCode, UnpacksThePlatformLayout) {
    // 01:23:45, frame 29, 30 frames per second.
    DVD_TIMECODE tc = {};
    tc.Hours1 = 1;
    tc.Minutes10 = 2;
    tc.Minutes1 = 3;
    tc.Seconds10 = 4;
    tc.Seconds1 = 5;
    tc.Frames10 = 2;
    tc.Frames1 = 9;
    tc.FrameRateCode = 3;
    ULONG packed;
    std::memcpy(&packed, &tc, sizeof(packed));
    TDVDTimeCode t = UnpackDVDTimeCode(packed);
    EXPECT_EQ(t.Hours, 1);
    EXPECT_EQ(t.Minutes, 23);
    EXPECT_EQ(t.Seconds, 45);
    EXPECT_EQ(t.Frames, 29);
    EXPECT_EQ(t.FrameRate, 30);
    EXPECT_EQ(UnpackDVDTimeCode(1u << 30).FrameRate, 25);
    EXPECT_EQ(UnpackDVDTimeCode(2u << 30).FrameRate, 0);
}

TEST(FilterChain, RemovedByWalkingWhereTheGraphLacksIt) {
    const std::wstring path = dshow_test::TempFolder() + L"chain.avi";
    dshow_test::WriteAviFile(path, 2);
    {
        TFilterGraph graph(nullptr);
        graph.SetActive(true);
        auto builder = graph.As<IGraphBuilder>(IID_IGraphBuilder);
        ComPtr<IBaseFilter> source = Make(CLSID_AsyncReader), splitter = Make(CLSID_AviSplitter),
                            grab = Make(CLSID_SampleGrabberFilter), sink = Make(dshow_test::kNullRenderer);
        ComPtr<IFileSourceFilter> file;
        ASSERT_HRESULT_SUCCEEDED(source.As(&file));
        ASSERT_HRESULT_SUCCEEDED(file->Load(path.c_str(), nullptr));
        builder->AddFilter(source.Get(), L"Source");
        builder->AddFilter(splitter.Get(), L"Splitter");
        builder->AddFilter(grab.Get(), L"Grab");
        builder->AddFilter(sink.Get(), L"Sink");
        ASSERT_HRESULT_SUCCEEDED(builder->ConnectDirect(FindPin(source.Get(), PINDIR_OUTPUT).Get(),
                                                        FindPin(splitter.Get(), PINDIR_INPUT).Get(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(builder->ConnectDirect(FindPin(splitter.Get(), PINDIR_OUTPUT).Get(),
                                                        FindPin(grab.Get(), PINDIR_INPUT).Get(), nullptr));
        AM_MEDIA_TYPE mt = {};
        ASSERT_HRESULT_SUCCEEDED(FindPin(grab.Get(), PINDIR_INPUT)->ConnectionMediaType(&mt));
        HRESULT hr = builder->ConnectDirect(FindPin(grab.Get(), PINDIR_OUTPUT).Get(), FindPin(sink.Get(), PINDIR_INPUT).Get(), &mt);
        FreeMediaType(mt);
        ASSERT_HRESULT_SUCCEEDED(hr);

        EXPECT_EQ(RemoveFilterChain(builder.Get(), splitter.Get(), source.Get()), VFW_E_NOT_FOUND);
        EXPECT_EQ(FiltersOf(builder.Get()).size(), 4u);
        ASSERT_HRESULT_SUCCEEDED(RemoveFilterChain(builder.Get(), splitter.Get(), grab.Get()));
        auto left = FiltersOf(builder.Get());
        ASSERT_EQ(left.size(), 2u);
        EXPECT_FALSE(IsConnected(FindPin(source.Get(), PINDIR_OUTPUT).Get()));
        EXPECT_FALSE(IsConnected(FindPin(sink.Get(), PINDIR_INPUT).Get()));
        // Without an end: to the end of the chain.
        ASSERT_HRESULT_SUCCEEDED(RemoveFilterChain(builder.Get(), source.Get(), nullptr));
        EXPECT_EQ(FiltersOf(builder.Get()).size(), 1u);
    }
    DeleteFileW(path.c_str());
}

TEST(SampleGrabber, DefaultsToRgb24VideoAndAnswersItsFiltersInterfaces) {
    TSampleGrabber grabber(nullptr);
    const AM_MEDIA_TYPE* mt = grabber.MediaType()->AMMediaType();
    EXPECT_TRUE(IsEqualGUID(mt->majortype, MEDIATYPE_Video));
    EXPECT_TRUE(IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24));
    EXPECT_TRUE(IsEqualGUID(mt->formattype, FORMAT_VideoInfo));
    ComPtr<ISampleGrabber> itf;
    EXPECT_EQ(grabber.QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(itf.GetAddressOf())), E_NOINTERFACE);
    TFilterGraph graph(nullptr);
    grabber.SetFilterGraph(&graph);
    graph.SetActive(true);
    EXPECT_TRUE(grabber.As<ISampleGrabber>(IID_ISampleGrabber));
    EXPECT_TRUE(grabber.InputPin() != nullptr && grabber.OutputPin() != nullptr);
    graph.SetActive(false);
    EXPECT_FALSE(grabber.GetFilter());
    EXPECT_FALSE(grabber.InputPin());
}

}  // namespace
