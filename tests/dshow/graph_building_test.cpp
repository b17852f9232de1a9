// The graph component's building callbacks as Wine's graph calls them while it renders an AVI
// file the test writes (the filter chosen from a moniker and the filter created, either of which
// a handler can refuse); the unable-to-render callback, which Wine's graph never calls, at the
// component's level; the guard at the callbacks' COM boundary; DVD mode with Wine's own DVD
// builder and with a stand-in builder registered for this process, and the DVD events' dispatch.
#include "dshow/ds_graph.h"

#include <dvdevcod.h>
#include <evcode.h>
#include <objbase.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "classlib/hidden_window.h"
#include "dshow/ds_devices.h"
#include "dshow/ds_helpers.h"
#include "dshow_test_support.h"

using namespace dshow;
using dshow_test::ComPtr;
using dshow_test::PumpUntil;

// The graph asks its site for this one by its identifier; declared here with the graph's calling
// convention. Outside the unnamed namespace: the compiler would otherwise know this file has no
// implementation of it and take the calls through it for unreachable.
namespace graph_building_test {
struct IFilterGraphCallbackStd : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE UnableToRender(IPin* Pin) = 0;
};
}  // namespace graph_building_test

namespace {

using graph_building_test::IFilterGraphCallbackStd;
const IID kIID_AMFilterGraphCallback = {0x56A868FD, 0x0AD4, 0x11CE, {0xB0, 0xA3, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

ComPtr<IBaseFilter> Make(const CLSID& Class) {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(Class, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    return filter;
}

GUID ClassOf(IBaseFilter* Filter) {
    GUID id = GUID_NULL;
    Filter->GetClassID(&id);
    return id;
}

std::vector<GUID> ClassesIn(TFilterGraph& Graph) {
    std::vector<GUID> result;
    auto graph = Graph.As<IFilterGraph>(IID_IFilterGraph);
    if (!graph) return result;
    TFilterList filters(graph.Get());
    for (int i = 0; i < filters.Count(); ++i) result.push_back(ClassOf(filters.GetFilter(i)));
    return result;
}

bool Contains(const std::vector<GUID>& Classes, const GUID& Class) {
    return std::any_of(Classes.begin(), Classes.end(), [&](const GUID& c) { return IsEqualGUID(c, Class) != 0; });
}

// What the building callbacks were told.
struct TBuildLog {
    struct Selected {
        bool moniker;
        std::wstring name;
        GUID id;
    };
    std::vector<Selected> selected;
    std::vector<GUID> created;
    std::vector<bool> createdClassMatches;  // the class handed over is the filter's own
};

// A graph component rendering Path, whose handlers log and answer Accept's verdicts.
class RenderFile : public testing::Test {
protected:
    void SetUp() override {
        path = dshow_test::TempFolder() + L"render.avi";
        dshow_test::WriteAviFile(path, 5);
    }
    void TearDown() override { DeleteFileW(path.c_str()); }

    HRESULT Render(TFilterGraph& Graph, TBuildLog& Log, const std::function<bool(const GUID&)>& SelectOk,
                   const std::function<bool(const GUID&)>& CreateOk) {
        Graph.SetActive(true);
        Graph.OnSelectedFilter = [&Log, SelectOk](IMoniker* Moniker, const std::wstring& Name, const GUID& Id) {
            Log.selected.push_back({Moniker != nullptr, Name, Id});
            return SelectOk(Id);
        };
        Graph.OnCreatedFilter = [&Log, CreateOk](IBaseFilter* Filter, const GUID& Id) {
            Log.created.push_back(Id);
            Log.createdClassMatches.push_back(Filter != nullptr && IsEqualGUID(ClassOf(Filter), Id));
            return CreateOk(Id);
        };
        auto builder = Graph.As<IGraphBuilder>(IID_IGraphBuilder);
        EXPECT_TRUE(builder);
        return builder ? builder->RenderFile(path.c_str(), nullptr) : E_NOINTERFACE;
    }

    // The class of the filter that took the file source's output: the parser the graph chose.
    static GUID ParserOf(TFilterGraph& Graph) {
        auto graph = Graph.As<IFilterGraph>(IID_IFilterGraph);
        TFilterList filters(graph.Get());
        for (int i = 0; i < filters.Count(); ++i) {
            if (!IsEqualGUID(ClassOf(filters.GetFilter(i)), CLSID_AsyncReader)) continue;
            ComPtr<IPin> out = dshow_test::FindPin(filters.GetFilter(i), PINDIR_OUTPUT), peer;
            PIN_INFO info = {};
            if (out && SUCCEEDED(out->ConnectedTo(&peer)) && SUCCEEDED(peer->QueryPinInfo(&info))) {
                ComPtr<IBaseFilter> parser;
                TakeOver(parser, info.pFilter);
                return ClassOf(parser.Get());
            }
        }
        return GUID_NULL;
    }

    std::wstring path;
};

const auto kAll = [](const GUID&) { return true; };

TEST_F(RenderFile, WineReportsEveryFilterItChoosesAndCreates) {
    TFilterGraph graph(nullptr);
    TBuildLog log;
    ASSERT_HRESULT_SUCCEEDED(Render(graph, log, kAll, kAll));
    const GUID parser = ParserOf(graph);
    ASSERT_FALSE(IsEqualGUID(parser, GUID_NULL));
    // The parser came from a moniker whose property bag gave its name and class.
    auto it = std::find_if(log.selected.begin(), log.selected.end(),
                           [&](const TBuildLog::Selected& s) { return IsEqualGUID(s.id, parser) != 0; });
    ASSERT_NE(it, log.selected.end());
    EXPECT_TRUE(it->moniker);
    EXPECT_FALSE(it->name.empty());
    // Every filter in the graph but the file source (which the graph makes itself) was reported as
    // created, with the class it reports.
    for (const GUID& c : ClassesIn(graph)) {
        if (!IsEqualGUID(c, CLSID_AsyncReader)) {
            EXPECT_TRUE(Contains(log.created, c));
        }
    }
    EXPECT_FALSE(Contains(log.created, CLSID_AsyncReader));
    for (bool matches : log.createdClassMatches) EXPECT_TRUE(matches);
    EXPECT_GE(log.selected.size(), log.created.size());
}

TEST_F(RenderFile, RefusedSelectionIsSkipped) {
    GUID parser;
    {
        TFilterGraph first(nullptr);
        TBuildLog log;
        ASSERT_HRESULT_SUCCEEDED(Render(first, log, kAll, kAll));
        parser = ParserOf(first);
    }
    TFilterGraph graph(nullptr);
    TBuildLog log;
    Render(graph, log, [&](const GUID& c) { return !IsEqualGUID(c, parser); }, kAll);
    EXPECT_TRUE(std::any_of(log.selected.begin(), log.selected.end(),
                            [&](const TBuildLog::Selected& s) { return IsEqualGUID(s.id, parser) != 0; }));
    EXPECT_FALSE(Contains(log.created, parser));
    EXPECT_FALSE(Contains(ClassesIn(graph), parser));

    // Refusing everything leaves nothing to render with: at most the file source stays (Wine's
    // graph takes that out as well when the file cannot be rendered).
    TFilterGraph none(nullptr);
    TBuildLog noneLog;
    EXPECT_TRUE(FAILED(Render(none, noneLog, [](const GUID&) { return false; }, kAll)));
    EXPECT_FALSE(noneLog.selected.empty());
    EXPECT_TRUE(noneLog.created.empty());
    for (const GUID& c : ClassesIn(none)) EXPECT_TRUE(IsEqualGUID(c, CLSID_AsyncReader));
}

TEST_F(RenderFile, RefusedCreationIsSkipped) {
    GUID parser;
    {
        TFilterGraph first(nullptr);
        TBuildLog log;
        ASSERT_HRESULT_SUCCEEDED(Render(first, log, kAll, kAll));
        parser = ParserOf(first);
    }
    TFilterGraph graph(nullptr);
    TBuildLog log;
    Render(graph, log, kAll, [&](const GUID& c) { return !IsEqualGUID(c, parser); });
    EXPECT_TRUE(Contains(log.created, parser));
    EXPECT_FALSE(Contains(ClassesIn(graph), parser));

    TFilterGraph none(nullptr);
    TBuildLog noneLog;
    EXPECT_TRUE(FAILED(Render(none, noneLog, kAll, [](const GUID&) { return false; })));
    EXPECT_FALSE(noneLog.created.empty());
    for (const GUID& c : ClassesIn(none)) EXPECT_TRUE(IsEqualGUID(c, CLSID_AsyncReader));
}

// Wine's graph never calls UnableToRender: the component's answer is checked directly, for pins
// of its own graph, of another component's graph and of no graph.
TEST(UnableToRender, AnswersThroughTheComponentOwningThePinsGraph) {
    TFilterGraph a(nullptr), b(nullptr);
    a.SetActive(true);
    b.SetActive(true);
    ComPtr<IBaseFilter> inA = Make(dshow_test::kNullRenderer), inB = Make(dshow_test::kNullRenderer),
                        loose = Make(dshow_test::kNullRenderer);
    ASSERT_TRUE(inA && inB && loose);
    ASSERT_HRESULT_SUCCEEDED(a.As<IFilterGraph>(IID_IFilterGraph)->AddFilter(inA.Get(), L"A"));
    ASSERT_HRESULT_SUCCEEDED(b.As<IFilterGraph>(IID_IFilterGraph)->AddFilter(inB.Get(), L"B"));
    ComPtr<IPin> pinA = dshow_test::FindPin(inA.Get(), PINDIR_INPUT), pinB = dshow_test::FindPin(inB.Get(), PINDIR_INPUT),
                 pinLoose = dshow_test::FindPin(loose.Get(), PINDIR_INPUT);

    // No handler: the graph is told the pin stays unrendered.
    EXPECT_EQ(a.UnableToRender(pinA.Get()), S_FALSE);
    std::vector<IPin*> askedA, askedB;
    bool answerA = true;
    a.OnUnableToRender = [&](IPin* Pin) {
        askedA.push_back(Pin);
        return answerA;
    };
    b.OnUnableToRender = [&](IPin* Pin) {
        askedB.push_back(Pin);
        return true;
    };
    EXPECT_EQ(a.UnableToRender(pinA.Get()), S_OK);
    answerA = false;
    EXPECT_EQ(a.UnableToRender(pinA.Get()), S_FALSE);
    EXPECT_EQ(askedA, (std::vector<IPin*>{pinA.Get(), pinA.Get()}));

    // A pin of B's graph is B's handler's to answer, whichever component is asked.
    EXPECT_EQ(a.UnableToRender(pinB.Get()), S_OK);
    EXPECT_EQ(askedB, std::vector<IPin*>{pinB.Get()});
    EXPECT_EQ(askedA.size(), 2u);

    // A pin of no graph, or none at all: nobody to ask.
    EXPECT_EQ(a.UnableToRender(pinLoose.Get()), S_FALSE);
    EXPECT_EQ(a.UnableToRender(nullptr), S_FALSE);
    EXPECT_EQ(askedA.size(), 2u);
    EXPECT_EQ(askedB.size(), 1u);
}

TEST(GraphCallbacks, HandlerExceptionsStopAtTheSiteAndADeadComponentAnswersDefaults) {
    std::vector<std::exception_ptr> shown;
    classlib::SetWindowProcExceptionHandler([&](const std::exception_ptr& E) { shown.push_back(E); });
    auto graph = std::make_unique<TFilterGraph>(nullptr);
    graph->SetActive(true);
    ComPtr<IBaseFilter> renderer = Make(dshow_test::kNullRenderer);
    ASSERT_HRESULT_SUCCEEDED(graph->As<IFilterGraph>(IID_IFilterGraph)->AddFilter(renderer.Get(), L"R"));
    ComPtr<IPin> pin = dshow_test::FindPin(renderer.Get(), PINDIR_INPUT);

    auto builderCallback = graph->As<IAMGraphBuilderCallback>(IID_IAMGraphBuilderCallback);
    auto filterCallback = graph->As<IFilterGraphCallbackStd>(kIID_AMFilterGraphCallback);
    ASSERT_TRUE(builderCallback && filterCallback);

    int calls = 0;
    std::wstring name = L"unset";
    GUID id = CLSID_AsyncReader;
    graph->OnSelectedFilter = [&](IMoniker*, const std::wstring& Name, const GUID& Id) -> bool {
        ++calls;
        name = Name;
        id = Id;
        throw classlib::Exception(L"selected");
    };
    graph->OnCreatedFilter = [&](IBaseFilter*, const GUID&) -> bool {
        ++calls;
        throw classlib::Exception(L"created");
    };
    graph->OnUnableToRender = [&](IPin*) -> bool {
        ++calls;
        throw classlib::Exception(L"unable");
    };
    // A nil moniker gives an empty name and class; the exception becomes the unassigned answer.
    EXPECT_EQ(builderCallback->SelectedFilter(nullptr), S_OK);
    EXPECT_EQ(name, L"");
    EXPECT_TRUE(IsEqualGUID(id, GUID_NULL));
    EXPECT_EQ(builderCallback->CreatedFilter(renderer.Get()), S_OK);
    EXPECT_EQ(filterCallback->UnableToRender(pin.Get()), S_FALSE);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(shown.size(), 3u);

    // The graph keeps its site after the component is gone; the site then answers for nobody.
    graph.reset();
    EXPECT_EQ(builderCallback->SelectedFilter(nullptr), S_OK);
    EXPECT_EQ(builderCallback->CreatedFilter(renderer.Get()), S_OK);
    EXPECT_EQ(filterCallback->UnableToRender(pin.Get()), S_FALSE);
    EXPECT_EQ(calls, 3);
    classlib::SetWindowProcExceptionHandler(nullptr);
}

// --- DVD mode -------------------------------------------------------------------------------

TEST(DVDMode, WinesBuilderGivesNoGraphAndTheComponentStaysInactive) {
    // Wine's DVD graph builder exists but answers E_NOTIMPL to everything, its graph included.
    TFilterGraph graph(nullptr);
    int activations = 0;
    graph.OnActivate = [&](classlib::TObject*) { ++activations; };
    graph.SetMode(gmDVD);
    try {
        graph.SetActive(true);
        // A platform whose builder works: its interfaces are reached through the component.
        EXPECT_TRUE(graph.As<IDvdGraphBuilder>(IID_IDvdGraphBuilder));
        EXPECT_TRUE(graph.As<IMediaControl>(IID_IMediaControl));
        EXPECT_EQ(activations, 1);
    } catch (const EDirectShowException& e) {
        EXPECT_TRUE(FAILED(e.ErrorCode()));
        EXPECT_FALSE(graph.Active());
        EXPECT_EQ(activations, 0);
        EXPECT_FALSE(graph.As<IDvdGraphBuilder>(IID_IDvdGraphBuilder));
        EXPECT_FALSE(graph.Play());
        EXPECT_EQ(graph.State(), gsUninitialized);
    }
    graph.SetActive(false);
    EXPECT_FALSE(graph.Active());
}

// A DVD information object answering the language of the streams it is asked about.
class TDvdInfo final : public IDvdInfo2 {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IDvdInfo2)) {
            *Object = static_cast<IDvdInfo2*>(this);
            AddRef();
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG count = InterlockedDecrement(&count_);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
    // Stream 9 has no language: the call fails.
    HRESULT STDMETHODCALLTYPE GetAudioLanguage(ULONG Stream, LCID* Language) override {
        audioAsked.push_back(Stream);
        if (Stream == 9) return E_FAIL;
        *Language = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSubpictureLanguage(ULONG Stream, LCID* Language) override {
        subpictureAsked.push_back(Stream);
        *Language = MAKELCID(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), SORT_DEFAULT);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentDomain(DVD_DOMAIN*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentLocation(DVD_PLAYBACK_LOCATION2*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTotalTitleTime(DVD_HMSF_TIMECODE*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentButton(ULONG*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentAngle(ULONG*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentAudio(ULONG*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentSubpicture(ULONG*, ULONG*, WINBOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentUOPS(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAllSPRMs(SPRMARRAY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAllGPRMs(GPRMARRAY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTitleAttributes(ULONG, DVD_MenuAttributes*, DVD_TitleAttributes*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetVMGAttributes(DVD_MenuAttributes*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentVideoAttributes(DVD_VideoAttributes*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAudioAttributes(ULONG, DVD_AudioAttributes*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetKaraokeAttributes(ULONG, DVD_KaraokeAttributes*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSubpictureAttributes(ULONG, DVD_SubpictureAttributes*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDVDVolumeInfo(ULONG*, ULONG*, DVD_DISC_SIDE*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDVDTextNumberOfLanguages(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDVDTextLanguageInfo(ULONG, ULONG*, LCID*, enum DVD_TextCharSet*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDVDTextStringAsNative(ULONG, ULONG, BYTE*, ULONG, ULONG*, enum DVD_TextStringType*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDVDTextStringAsUnicode(ULONG, ULONG, WCHAR*, ULONG, ULONG*, enum DVD_TextStringType*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPlayerParentalLevel(ULONG*, BYTE[2]) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberOfChapters(ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTitleParentalLevels(ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDVDDirectory(LPWSTR, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsAudioStreamEnabled(ULONG, WINBOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDiscID(LPCWSTR, ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetState(IDvdState**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMenuLanguages(LCID*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetButtonAtPosition(POINT, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCmdFromEvent(LONG_PTR, IDvdCmd**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDefaultMenuLanguage(LCID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioLanguage(LCID*, DVD_AUDIO_LANG_EXT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDefaultSubpictureLanguage(LCID*, DVD_SUBPICTURE_LANG_EXT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDecoderCaps(DVD_DECODER_CAPS*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetButtonRect(ULONG, RECT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsSubpictureStreamEnabled(ULONG, WINBOOL*) override { return E_NOTIMPL; }

    std::vector<ULONG> audioAsked, subpictureAsked;

private:
    virtual ~TDvdInfo() = default;
    LONG count_ = 1;
};

// A DVD graph builder of our own: a plain Wine graph, and the information object above.
class TDvdBuilder final : public IDvdGraphBuilder {
public:
    TDvdBuilder() {
        ++live;
        last = this;
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(graph_.GetAddressOf()));
        TakeOver(info, new TDvdInfo);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IDvdGraphBuilder)) {
            *Object = static_cast<IDvdGraphBuilder*>(this);
            AddRef();
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG count = InterlockedDecrement(&count_);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
    HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder** Graph) override {
        *Graph = graph_.Get();
        if (*Graph == nullptr) return E_UNEXPECTED;
        graph_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDvdInterface(REFIID Iid, void** Object) override {
        if (IsEqualIID(Iid, IID_IDvdInfo2)) return info->QueryInterface(Iid, Object);
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE RenderDvdVideoVolume(LPCWSTR, DWORD, AM_DVD_RENDERSTATUS*) override { return E_NOTIMPL; }

    ComPtr<TDvdInfo> info;
    static inline int live = 0;
    static inline TDvdBuilder* last = nullptr;

private:
    ~TDvdBuilder() {
        --live;
        if (last == this) last = nullptr;
    }
    LONG count_ = 1;
    ComPtr<IGraphBuilder> graph_;
};

class TDvdBuilderFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IClassFactory)) {
            *Object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    // Static: lives as long as the test executable.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* Outer, REFIID Iid, void** Object) override {
        *Object = nullptr;
        if (Outer != nullptr) return CLASS_E_NOAGGREGATION;
        ComPtr<TDvdBuilder> builder;
        TakeOver(builder, new TDvdBuilder);
        return builder->QueryInterface(Iid, Object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The stand-in builder answers CLSID_DvdGraphBuilder in this process while a test runs.
class StandInDVD : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoRegisterClassObject(CLSID_DvdGraphBuilder, &factory_, CLSCTX_INPROC_SERVER,
                                                       REGCLS_MULTIPLEUSE, &cookie_));
    }
    void TearDown() override {
        CoRevokeClassObject(cookie_);
        EXPECT_EQ(TDvdBuilder::live, 0);
    }

private:
    TDvdBuilderFactory factory_;
    DWORD cookie_ = 0;
};

TEST_F(StandInDVD, ActivationUsesTheBuildersGraphAndDeactivationReleasesBoth) {
    TFilterGraph graph(nullptr);
    graph.SetMode(gmDVD);
    ASSERT_NO_THROW(graph.SetActive(true));
    ASSERT_TRUE(graph.Active());
    ASSERT_EQ(TDvdBuilder::live, 1);
    TDvdBuilder* builder = TDvdBuilder::last;
    // The builder first, then its DVD interfaces, then its graph.
    auto asBuilder = graph.As<IDvdGraphBuilder>(IID_IDvdGraphBuilder);
    EXPECT_EQ(asBuilder.Get(), static_cast<IDvdGraphBuilder*>(builder));
    asBuilder.Reset();
    auto info = graph.As<IDvdInfo2>(IID_IDvdInfo2);
    EXPECT_EQ(info.Get(), static_cast<IDvdInfo2*>(builder->info.Get()));
    info.Reset();
    ComPtr<IGraphBuilder> fromBuilder;
    ASSERT_HRESULT_SUCCEEDED(builder->GetFiltergraph(&fromBuilder));
    ComPtr<IUnknown> a, b;
    fromBuilder.As(&a);
    auto control = graph.As<IMediaControl>(IID_IMediaControl);
    ASSERT_TRUE(control);
    control.As(&b);
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_FALSE(graph.As<ICaptureGraphBuilder2>(IID_ICaptureGraphBuilder2));
    EXPECT_EQ(graph.State(), gsStopped);
    a.Reset();
    b.Reset();
    control.Reset();

    graph.SetActive(false);
    EXPECT_EQ(TDvdBuilder::live, 0);  // the component held the last reference
    // ... and the graph too: only ours is left.
    EXPECT_EQ(fromBuilder.Detach()->Release(), 0u);
    EXPECT_FALSE(graph.As<IDvdGraphBuilder>(IID_IDvdGraphBuilder));

    // A mode change away from DVD goes through a deactivation as well.
    graph.SetActive(true);
    EXPECT_EQ(TDvdBuilder::live, 1);
    graph.SetMode(gmNormal);
    EXPECT_EQ(TDvdBuilder::live, 0);
    EXPECT_TRUE(graph.Active());
}

TEST_F(StandInDVD, EventsReachTheirHandlersDecoded) {
    TFilterGraph graph(nullptr);
    graph.SetMode(gmDVD);
    graph.SetActive(true);
    auto sink = graph.As<IMediaEventSink>(IID_IMediaEventSink);
    ASSERT_TRUE(sink);
    TDvdInfo* info = TDvdBuilder::last->info.Get();

    std::vector<std::wstring> log;
    int dsEvents = 0;
    auto say = [&](const std::wstring& s) { log.push_back(s); };
    auto plain = [&](const wchar_t* s) { return [&log, s](classlib::TObject*) { log.emplace_back(s); }; };
    auto n = [](auto v) { return std::to_wstring(v); };
    graph.OnDSEvent = [&](classlib::TComponent*, long, LONG_PTR, LONG_PTR) { ++dsEvents; };
    graph.OnDVDDomainFirstPlay = plain(L"FirstPlay");
    graph.OnDVDDomainVideoManagerMenu = plain(L"VideoManagerMenu");
    graph.OnDVDDomainVideoTitleSetMenu = plain(L"VideoTitleSetMenu");
    graph.OnDVDDomainTitle = plain(L"DomainTitle");
    graph.OnDVDDomainStop = plain(L"DomainStop");
    graph.OnDVDTitleChange = [&](classlib::TObject*, int t) { say(L"Title " + n(t)); };
    graph.OnDVDChapterStart = [&](classlib::TObject*, int c) { say(L"Chapter " + n(c)); };
    graph.OnDVDAudioStreamChange = [&](classlib::TObject*, int s, int lcid, const std::wstring& lang) {
        say(L"Audio " + n(s) + L" " + n(lcid) + L" " + lang);
    };
    graph.OnDVDSubpictureStreamChange = [&](classlib::TObject*, int s, int lcid, const std::wstring& lang) {
        say(L"Sub " + n(s) + L" " + n(lcid) + L" " + lang);
    };
    graph.OnDVDAngleChange = [&](classlib::TObject*, int t, int c) { say(L"Angle " + n(t) + L" " + n(c)); };
    graph.OnDVDButtonChange = [&](classlib::TObject*, int t, int c) { say(L"Button " + n(t) + L" " + n(c)); };
    graph.OnDVDValidUOPSChange = [&](classlib::TObject*, int u) { say(L"UOPS " + n(u)); };
    graph.OnDVDStillOn = [&](classlib::TObject*, bool noButton, int s) { say(L"StillOn " + n(noButton) + L" " + n(s)); };
    graph.OnDVDStillOff = plain(L"StillOff");
    graph.OnDVDCurrentTime = [&](classlib::TObject*, int h, int m, int s, int f, int r) {
        say(L"Time " + n(h) + L":" + n(m) + L":" + n(s) + L"." + n(f) + L"@" + n(r));
    };
    graph.OnDVDErrorUnexpected = plain(L"E1");
    graph.OnDVDErrorCopyProtectFail = plain(L"E2");
    graph.OnDVDErrorInvalidDVD1_0Disc = plain(L"E3");
    graph.OnDVDErrorInvalidDiscRegion = plain(L"E4");
    graph.OnDVDErrorLowParentalLevel = plain(L"E5");
    graph.OnDVDErrorMacrovisionFail = plain(L"E6");
    graph.OnDVDErrorIncompatibleSystemAndDecoderRegions = plain(L"E7");
    graph.OnDVDErrorIncompatibleDiscAndDecoderRegions = plain(L"E8");
    graph.OnDVDWarningInvalidDVD1_0Disc = plain(L"W1");
    graph.OnDVDWarningFormatNotSupported = plain(L"W2");
    graph.OnDVDWarningIllegalNavCommand = plain(L"W3");
    graph.OnDVDWarningOpen = plain(L"W4");
    graph.OnDVDWarningSeek = plain(L"W5");
    graph.OnDVDWarningRead = plain(L"W6");
    graph.OnDVDChapterAutoStop = plain(L"ChapterAutoStop");
    graph.OnDVDNoFP_PGC = plain(L"NoFP_PGC");
    graph.OnDVDPlaybackRateChange = [&](classlib::TObject*, float r) { say(L"Rate " + n(static_cast<int>(r * 1000))); };
    graph.OnDVDParentalLevelChange = [&](classlib::TObject*, int l) { say(L"Parental " + n(l)); };
    graph.OnDVDPlaybackStopped = plain(L"PlaybackStopped");
    graph.OnDVDAnglesAvailable = [&](classlib::TObject*, bool a) { say(L"Angles " + n(a)); };
    graph.OnDVDPlayPeriodAutoStop = plain(L"PlayPeriodAutoStop");
    graph.OnDVDButtonAutoActivated = [&](classlib::TObject*, ULONG b) { say(L"AutoActivated " + n(b)); };
    graph.OnDVDCMDStart = [&](classlib::TObject*, ULONG c) { say(L"CmdStart " + n(c)); };
    graph.OnDVDCMDEnd = [&](classlib::TObject*, ULONG c) { say(L"CmdEnd " + n(c)); };
    graph.OnDVDDiscEjected = plain(L"Ejected");
    graph.OnDVDDiscInserted = plain(L"Inserted");
    graph.OnDVDCurrentHMSFTime = [&](classlib::TObject*, DVD_HMSF_TIMECODE t, TDVDTimeCode c) {
        say(L"HMSF " + n(t.bHours) + L":" + n(t.bMinutes) + L":" + n(t.bSeconds) + L"." + n(t.bFrames) + L" " +
            n(c.Hours) + L":" + n(c.Minutes) + L":" + n(c.Seconds) + L"." + n(c.Frames) + L"@" + n(c.FrameRate));
    };
    graph.OnDVDKaraokeMode = [&](classlib::TObject*, bool p) { say(L"Karaoke " + n(p)); };

    // 01:23:45, frame 29, 30 frames per second, in the platform's packed time code.
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

    struct Posted {
        long code;
        LONG_PTR p1, p2;
    };
    const std::vector<Posted> posted = {
        {EC_DVD_DOMAIN_CHANGE, 1, 0}, {EC_DVD_DOMAIN_CHANGE, 2, 0}, {EC_DVD_DOMAIN_CHANGE, 3, 0},
        {EC_DVD_DOMAIN_CHANGE, 4, 0}, {EC_DVD_DOMAIN_CHANGE, 5, 0}, {EC_DVD_DOMAIN_CHANGE, 6, 0},
        {EC_DVD_DOMAIN_CHANGE, 0, 0}, {EC_DVD_TITLE_CHANGE, 7, 0}, {EC_DVD_CHAPTER_START, 12, 0},
        {EC_DVD_AUDIO_STREAM_CHANGE, 2, 0}, {EC_DVD_SUBPICTURE_STREAM_CHANGE, 3, 0}, {EC_DVD_ANGLE_CHANGE, 4, 2},
        {EC_DVD_BUTTON_CHANGE, 5, 1}, {EC_DVD_VALID_UOPS_CHANGE, 0x1234, 0}, {EC_DVD_STILL_ON, 1, 30},
        {EC_DVD_STILL_ON, 0, -1}, {EC_DVD_STILL_OFF, 0, 0}, {EC_DVD_CURRENT_TIME, static_cast<LONG_PTR>(packed), 0},
        {EC_DVD_ERROR, 0, 0}, {EC_DVD_ERROR, 1, 0}, {EC_DVD_ERROR, 2, 0}, {EC_DVD_ERROR, 3, 0},
        {EC_DVD_ERROR, 4, 0}, {EC_DVD_ERROR, 5, 0}, {EC_DVD_ERROR, 6, 0}, {EC_DVD_ERROR, 7, 0},
        {EC_DVD_ERROR, 8, 0}, {EC_DVD_ERROR, 9, 0}, {EC_DVD_WARNING, 0, 0}, {EC_DVD_WARNING, 1, 0},
        {EC_DVD_WARNING, 2, 0}, {EC_DVD_WARNING, 3, 0}, {EC_DVD_WARNING, 4, 0}, {EC_DVD_WARNING, 5, 0},
        {EC_DVD_WARNING, 6, 0}, {EC_DVD_WARNING, 7, 0}, {EC_DVD_CHAPTER_AUTOSTOP, 0, 0}, {EC_DVD_NO_FP_PGC, 0, 0},
        {EC_DVD_PLAYBACK_RATE_CHANGE, 20000, 0}, {EC_DVD_PLAYBACK_RATE_CHANGE, -5000, 0},
        {EC_DVD_PARENTAL_LEVEL_CHANGE, 8, 0}, {EC_DVD_PLAYBACK_STOPPED, 0, 0}, {EC_DVD_ANGLES_AVAILABLE, 1, 0},
        {EC_DVD_ANGLES_AVAILABLE, 0, 0}, {EC_DVD_PLAYPERIOD_AUTOSTOP, 0, 0},
        {EC_DVD_BUTTON_AUTO_ACTIVATED, static_cast<LONG_PTR>(0x80000001u), 0}, {EC_DVD_CMD_START, 77, 0},
        {EC_DVD_CMD_END, 78, 0}, {EC_DVD_DISC_EJECTED, 0, 0}, {EC_DVD_DISC_INSERTED, 0, 0},
        {EC_DVD_CURRENT_HMSF_TIME, 0x04030201, static_cast<LONG_PTR>(packed)}, {EC_DVD_KARAOKE_MODE, 2, 0},
        {EC_DVD_KARAOKE_MODE, 0, 0}, {0x11C, 0, 0}};
    for (const Posted& p : posted) ASSERT_HRESULT_SUCCEEDED(sink->Notify(p.code, p.p1, p.p2));
    ASSERT_TRUE(PumpUntil([&] { return dsEvents >= static_cast<int>(posted.size()); }));

    const std::vector<std::wstring> expected = {
        L"FirstPlay", L"VideoManagerMenu", L"VideoTitleSetMenu", L"DomainTitle", L"DomainStop", L"Title 7",
        L"Chapter 12", L"Audio 2 1031 German", L"Sub 3 1036 French", L"Angle 4 2", L"Button 5 1", L"UOPS 4660",
        L"StillOn 1 30", L"StillOn 0 -1", L"StillOff", L"Time 1:23:45.29@30", L"E1", L"E2", L"E3", L"E4", L"E5",
        L"E6", L"E7", L"E8", L"W1", L"W2", L"W3", L"W4", L"W5", L"W6", L"ChapterAutoStop", L"NoFP_PGC",
        L"Rate 2000", L"Rate -500", L"Parental 8", L"PlaybackStopped", L"Angles 1", L"Angles 0",
        L"PlayPeriodAutoStop", L"AutoActivated 2147483649", L"CmdStart 77", L"CmdEnd 78", L"Ejected", L"Inserted",
        L"HMSF 1:2:3.4 1:23:45.29@30", L"Karaoke 1", L"Karaoke 0"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(dsEvents, static_cast<int>(posted.size()));
    EXPECT_EQ(info->audioAsked, std::vector<ULONG>{2});
    EXPECT_EQ(info->subpictureAsked, std::vector<ULONG>{3});

    // A failing language look-up drops its event silently; the events after it still arrive.
    int shown = 0;
    classlib::SetWindowProcExceptionHandler([&](const std::exception_ptr&) { ++shown; });
    log.clear();
    dsEvents = 0;
    ASSERT_HRESULT_SUCCEEDED(sink->Notify(EC_DVD_AUDIO_STREAM_CHANGE, 9, 0));
    ASSERT_HRESULT_SUCCEEDED(sink->Notify(EC_DVD_TITLE_CHANGE, 3, 0));
    EXPECT_TRUE(PumpUntil([&] { return !log.empty(); }, 5000));
    EXPECT_EQ(log, std::vector<std::wstring>{L"Title 3"});
    EXPECT_EQ(info->audioAsked, (std::vector<ULONG>{2, 9}));
    EXPECT_EQ(shown, 0);
    classlib::SetWindowProcExceptionHandler(nullptr);
}

TEST(DVDEvents, StreamChangesOutsideADVDGraphReachOnlyTheGeneralHandler) {
    // A plain graph answers no IDvdInfo2: the language events have nothing to decode.
    TFilterGraph graph(nullptr);
    graph.SetActive(true);
    auto sink = graph.As<IMediaEventSink>(IID_IMediaEventSink);
    ASSERT_TRUE(sink);
    std::vector<long> codes;
    int specific = 0;
    graph.OnDSEvent = [&](classlib::TComponent*, long code, LONG_PTR, LONG_PTR) { codes.push_back(code); };
    graph.OnDVDAudioStreamChange = [&](classlib::TObject*, int, int, const std::wstring&) { ++specific; };
    graph.OnDVDSubpictureStreamChange = [&](classlib::TObject*, int, int, const std::wstring&) { ++specific; };
    graph.OnDVDTitleChange = [&](classlib::TObject*, int) { ++specific; };
    sink->Notify(EC_DVD_AUDIO_STREAM_CHANGE, 1, 0);
    sink->Notify(EC_DVD_SUBPICTURE_STREAM_CHANGE, 1, 0);
    sink->Notify(EC_DVD_TITLE_CHANGE, 1, 0);
    ASSERT_TRUE(PumpUntil([&] { return codes.size() >= 3; }));
    EXPECT_EQ(codes, (std::vector<long>{EC_DVD_AUDIO_STREAM_CHANGE, EC_DVD_SUBPICTURE_STREAM_CHANGE, EC_DVD_TITLE_CHANGE}));
    EXPECT_EQ(specific, 1);  // the title change, which needs no look-up
}

}  // namespace
