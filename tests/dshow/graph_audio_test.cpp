// The volume and balance the graph component sends to the graph's audio renderer, seen by a
// recording filter in Wine's graph (the graph hands IBasicAudio calls to the first filter that
// answers it), and the property-page routine's paths that show no dialog, seen by filters that
// record the dialog calls they get.
#include "dshow/ds_graph.h"

#include <control.h>
#include <objbase.h>
#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "dshow/ds_helpers.h"
#include "dshow_test_support.h"

using namespace dshow;
using dshow_test::ComPtr;

namespace {

// A filter without pins: enough for the graph to hold it.
class TEmptyPins final : public IEnumPins {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Object == nullptr) return E_POINTER;
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IEnumPins)) {
            *Object = static_cast<IEnumPins*>(this);
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
    HRESULT STDMETHODCALLTYPE Next(ULONG, IPin** Pins, ULONG* Fetched) override {
        if (Pins != nullptr) *Pins = nullptr;
        if (Fetched != nullptr) *Fetched = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** Enum) override {
        *Enum = new TEmptyPins;
        return S_OK;
    }

private:
    virtual ~TEmptyPins() = default;
    LONG count_ = 1;
};

// {6B0E3C52-4A43-4F4B-9E54-2C0E5D7A1B11}
const CLSID kTestFilterClass = {0x6B0E3C52, 0x4A43, 0x4F4B, {0x9E, 0x54, 0x2C, 0x0E, 0x5D, 0x7A, 0x1B, 0x11}};

// A pinless filter; derived classes add one more interface through Extra.
class TTestFilter : public IBaseFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Object == nullptr) return E_POINTER;
        *Object = nullptr;
        if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, IID_IPersist) || IsEqualIID(Iid, IID_IMediaFilter) ||
            IsEqualIID(Iid, IID_IBaseFilter))
            *Object = static_cast<IBaseFilter*>(this);
        else
            *Object = Extra(Iid);
        if (*Object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&count_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG count = InterlockedDecrement(&count_);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* Class) override {
        *Class = kTestFilterClass;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        state_ = State_Stopped;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Pause() override {
        state_ = State_Paused;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override {
        state_ = State_Running;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* State) override {
        *State = state_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** Clock) override {
        *Clock = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** Pins) override {
        *Pins = new TEmptyPins;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin** Pin) override {
        *Pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* Info) override {
        if (failFilterInfo_) return E_UNEXPECTED;
        lstrcpynW(Info->achName, name_.c_str(), MAX_FILTER_NAME);
        Info->pGraph = graph_;
        if (graph_ != nullptr) graph_->AddRef();
        return S_OK;
    }
    // The graph is not counted: it owns the filter.
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* Graph, LPCWSTR Name) override {
        graph_ = Graph;
        name_ = Name != nullptr ? Name : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* Info) override {
        *Info = nullptr;
        return E_NOTIMPL;
    }

    void SetFailFilterInfo(bool Value) { failFilterInfo_ = Value; }

protected:
    virtual ~TTestFilter() = default;
    virtual void* Extra(REFIID) { return nullptr; }

private:
    LONG count_ = 1;
    FILTER_STATE state_ = State_Stopped;
    IFilterGraph* graph_ = nullptr;
    std::wstring name_;
    bool failFilterInfo_ = false;
};

// The second base's IUnknown goes to the filter's.
#define TEST_FILTER_UNKNOWN                                                                              \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {                      \
        return TTestFilter::QueryInterface(Iid, Object);                                                 \
    }                                                                                                    \
    ULONG STDMETHODCALLTYPE AddRef() override { return TTestFilter::AddRef(); }                          \
    ULONG STDMETHODCALLTYPE Release() override { return TTestFilter::Release(); }

template <typename T>
ComPtr<T> Own(T* Object) {
    ComPtr<T> result;
    dshow::TakeOver(result, Object);
    return result;
}

// Records every volume and balance it is given.
class TAudioRecorder final : public TTestFilter, public IBasicAudio {
public:
    TEST_FILTER_UNKNOWN
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override {
        *Count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_Volume(long Volume) override {
        volumes.push_back(Volume);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Volume(long* Volume) override {
        *Volume = volumes.empty() ? 0 : volumes.back();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Balance(long Balance) override {
        balances.push_back(Balance);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Balance(long* Balance) override {
        *Balance = balances.empty() ? 0 : balances.back();
        return S_OK;
    }

    std::vector<long> volumes, balances;

protected:
    void* Extra(REFIID Iid) override {
        return IsEqualIID(Iid, IID_IBasicAudio) || IsEqualIID(Iid, IID_IDispatch) ? static_cast<IBasicAudio*>(this)
                                                                                   : nullptr;
    }
};

// A graph with the recorder as its only audio filter.
class GraphAudio : public testing::Test {
protected:
    void SetUp() override {
        graph.SetActive(true);
        auto builder = graph.As<IFilterGraph>(IID_IFilterGraph);
        ASSERT_TRUE(builder);
        ASSERT_HRESULT_SUCCEEDED(builder->AddFilter(recorder.Get(), L"Audio"));
    }
    // The single value one setting sent; the other setting is not sent with it.
    long SentVolume(int Value) {
        const size_t volumes = recorder->volumes.size(), balances = recorder->balances.size();
        graph.SetVolume(Value);
        EXPECT_EQ(recorder->balances.size(), balances);
        EXPECT_EQ(recorder->volumes.size(), volumes + 1);
        return recorder->volumes.size() == volumes + 1 ? recorder->volumes.back() : LONG_MIN;
    }
    long SentBalance(int Value) {
        const size_t volumes = recorder->volumes.size(), balances = recorder->balances.size();
        graph.SetBalance(Value);
        EXPECT_EQ(recorder->volumes.size(), volumes);
        EXPECT_EQ(recorder->balances.size(), balances + 1);
        return recorder->balances.size() == balances + 1 ? recorder->balances.back() : LONG_MIN;
    }

    TFilterGraph graph{nullptr};
    ComPtr<TAudioRecorder> recorder = Own(new TAudioRecorder);
};

TEST_F(GraphAudio, LinearVolumeSendsTheLogarithmicScaleClamped) {
    EXPECT_EQ(SentVolume(10000), 0);
    EXPECT_EQ(SentVolume(0), -10000);
    EXPECT_EQ(SentVolume(1), -9247);
    EXPECT_EQ(SentVolume(10), -7397);
    EXPECT_EQ(SentVolume(100), -4989);
    EXPECT_EQ(SentVolume(5000), -752);
    EXPECT_EQ(SentVolume(9999), 0);
    EXPECT_EQ(SentVolume(20000), 0);
    EXPECT_EQ(graph.Volume(), 10000);
    EXPECT_EQ(SentVolume(-5), -10000);
    EXPECT_EQ(graph.Volume(), 0);
    EXPECT_EQ(SentVolume(INT_MAX), 0);
    EXPECT_EQ(SentVolume(INT_MIN), -10000);
    // Every value sent lies in the platform's range.
    for (long v : recorder->volumes) {
        EXPECT_LE(v, 0);
        EXPECT_GE(v, -10000);
    }
}

TEST_F(GraphAudio, LogarithmicVolumeSendsTheValueLessTenThousand) {
    graph.SetVolume(2500);
    graph.SetBalance(-3000);
    recorder->volumes.clear();
    recorder->balances.clear();
    // Switching the mode sends the stored volume, then the stored balance, in the new mode.
    graph.SetLinearVolume(false);
    EXPECT_EQ(recorder->volumes, std::vector<long>{-7500});
    EXPECT_EQ(recorder->balances, std::vector<long>{-3000});
    recorder->balances.clear();

    EXPECT_EQ(SentVolume(0), -10000);
    EXPECT_EQ(SentVolume(10000), 0);
    EXPECT_EQ(SentVolume(1), -9999);
    EXPECT_EQ(SentVolume(5000), -5000);
    EXPECT_EQ(SentVolume(10001), 0);
    EXPECT_EQ(SentVolume(-1), -10000);
    EXPECT_EQ(SentVolume(INT_MIN), -10000);
    EXPECT_EQ(graph.Volume(), 0);

    // And back: the linear scale again.
    graph.SetVolume(100);
    recorder->volumes.clear();
    graph.SetLinearVolume(true);
    EXPECT_EQ(recorder->volumes, std::vector<long>{-4989});
}

TEST_F(GraphAudio, BalanceInBothModes) {
    // Logarithmic mode: the balance as it is, clamped.
    graph.SetLinearVolume(false);
    EXPECT_EQ(SentBalance(0), 0);
    EXPECT_EQ(SentBalance(-10000), -10000);
    EXPECT_EQ(SentBalance(10000), 10000);
    EXPECT_EQ(SentBalance(2500), 2500);
    EXPECT_EQ(SentBalance(20000), 10000);
    EXPECT_EQ(graph.Balance(), 10000);
    EXPECT_EQ(SentBalance(INT_MIN), -10000);
    EXPECT_EQ(graph.Balance(), -10000);

    // Linear mode: 0 stays 0; otherwise the quieter side is attenuated as the linear scale would,
    // towards the side the sign names, reaching the platform's ends at the range's ends.
    graph.SetLinearVolume(true);
    EXPECT_EQ(SentBalance(0), 0);
    EXPECT_EQ(SentBalance(10000), 10000);
    EXPECT_EQ(SentBalance(-10000), -10000);
    EXPECT_EQ(SentBalance(5000), 752);
    EXPECT_EQ(SentBalance(-5000), -752);
    EXPECT_EQ(SentBalance(9990), 7397);
    EXPECT_EQ(SentBalance(-20000), -10000);
    EXPECT_EQ(SentBalance(30000), 10000);
    EXPECT_EQ(graph.Balance(), 10000);
    // The attenuation grows with the balance and keeps its sign.
    long previous = 0;
    for (int b = 0; b <= 10000; b += 500) {
        long sent = SentBalance(b);
        EXPECT_GE(sent, previous) << b;
        EXPECT_EQ(SentBalance(-b), -sent) << b;
        previous = sent;
    }
}

TEST_F(GraphAudio, InactiveGraphStoresWithoutSending) {
    graph.SetVolume(3000);
    graph.SetActive(false);
    recorder->volumes.clear();
    recorder->balances.clear();
    graph.SetVolume(7000);
    graph.SetBalance(400);
    graph.SetLinearVolume(false);
    EXPECT_TRUE(recorder->volumes.empty());
    EXPECT_TRUE(recorder->balances.empty());
    EXPECT_EQ(graph.Volume(), 7000);
    EXPECT_EQ(graph.Balance(), 400);
    EXPECT_FALSE(graph.LinearVolume());
}

// --- property pages --------------------------------------------------------------------------

// What a dialog interface was asked, as (dialog, window) pairs.
struct TDialogCalls {
    std::vector<int> has;
    std::vector<std::pair<int, HWND>> shown;
};

class TCaptureDialogs final : public TTestFilter, public IAMVfwCaptureDialogs {
public:
    TEST_FILTER_UNKNOWN
    HRESULT STDMETHODCALLTYPE HasDialog(int Dialog) override {
        calls.has.push_back(Dialog);
        return hasResult;
    }
    HRESULT STDMETHODCALLTYPE ShowDialog(int Dialog, HWND Window) override {
        calls.shown.emplace_back(Dialog, Window);
        return showResult;
    }
    HRESULT STDMETHODCALLTYPE SendDriverMessage(int, int, LONG, LONG) override { return E_NOTIMPL; }

    TDialogCalls calls;
    HRESULT hasResult = S_OK;
    HRESULT showResult = S_OK;

protected:
    void* Extra(REFIID Iid) override {
        return IsEqualIID(Iid, IID_IAMVfwCaptureDialogs) ? static_cast<IAMVfwCaptureDialogs*>(this) : nullptr;
    }
};

class TCompressDialogs final : public TTestFilter, public IAMVfwCompressDialogs {
public:
    TEST_FILTER_UNKNOWN
    // The query dialogs (4, 8) come with no window and answer queryResult; the others show.
    HRESULT STDMETHODCALLTYPE ShowDialog(int Dialog, HWND Window) override {
        calls.shown.emplace_back(Dialog, Window);
        return Dialog == VfwCompressDialog_QueryConfig || Dialog == VfwCompressDialog_QueryAbout ? queryResult
                                                                                                  : showResult;
    }
    HRESULT STDMETHODCALLTYPE GetState(LPVOID, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetState(LPVOID, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SendDriverMessage(int, LONG, LONG) override { return E_NOTIMPL; }

    TDialogCalls calls;
    HRESULT queryResult = S_OK;
    HRESULT showResult = S_OK;

protected:
    void* Extra(REFIID Iid) override {
        return IsEqualIID(Iid, IID_IAMVfwCompressDialogs) ? static_cast<IAMVfwCompressDialogs*>(this) : nullptr;
    }
};

class TPropertyPages final : public TTestFilter, public ISpecifyPropertyPages {
public:
    TEST_FILTER_UNKNOWN
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* Pages) override {
        ++getPages;
        Pages->cElems = 0;
        Pages->pElems = nullptr;
        if (FAILED(pagesResult)) return pagesResult;
        Pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
        Pages->pElems[0] = kTestFilterClass;
        Pages->cElems = 1;
        return S_OK;
    }

    int getPages = 0;
    HRESULT pagesResult = S_OK;

protected:
    void* Extra(REFIID Iid) override {
        return IsEqualIID(Iid, IID_ISpecifyPropertyPages) ? static_cast<ISpecifyPropertyPages*>(this) : nullptr;
    }
};

const HWND kParent = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));

TEST(PropertyPages, EveryKindAnswersTheFailedQueryOfAFilterWithoutTheInterface) {
    auto plain = Own(new TCaptureDialogs);   // capture dialogs only
    auto compress = Own(new TCompressDialogs);
    auto pages = Own(new TPropertyPages);
    for (int kind = pkFilterPages; kind <= pkCompressorAbout; ++kind) {
        auto k = static_cast<TPropertyPageKind>(kind);
        const bool capture = k == pkCaptureDisplay || k == pkCaptureFormat || k == pkCaptureSource;
        const bool compressor = k == pkCompressorConfig || k == pkCompressorAbout;
        if (k != pkFilterPages) {
            EXPECT_EQ(ShowFilterPropertyPage(kParent, pages.Get(), k), E_NOINTERFACE) << kind;
        }
        if (!capture) {
            EXPECT_EQ(ShowFilterPropertyPage(kParent, plain.Get(), k), E_NOINTERFACE) << kind;
        }
        if (!compressor) {
            EXPECT_EQ(ShowFilterPropertyPage(kParent, compress.Get(), k), E_NOINTERFACE) << kind;
        }
    }
    // No dialog interface was touched by a kind that does not use it.
    EXPECT_TRUE(plain->calls.has.empty() && plain->calls.shown.empty());
    EXPECT_TRUE(compress->calls.shown.empty());
    EXPECT_EQ(pages->getPages, 0);
}

TEST(PropertyPages, NilFilterAndKindsAboveFiveDoNothing) {
    for (int kind = pkFilterPages; kind <= 7; ++kind)
        EXPECT_EQ(ShowFilterPropertyPage(kParent, nullptr, static_cast<TPropertyPageKind>(kind)), S_FALSE) << kind;
    auto capture = Own(new TCaptureDialogs);
    auto compress = Own(new TCompressDialogs);
    auto pages = Own(new TPropertyPages);
    for (int kind : {6, 7, 100, 255}) {
        auto k = static_cast<TPropertyPageKind>(kind);
        EXPECT_EQ(ShowFilterPropertyPage(kParent, capture.Get(), k), S_FALSE) << kind;
        EXPECT_EQ(ShowFilterPropertyPage(kParent, compress.Get(), k), S_FALSE) << kind;
        EXPECT_EQ(ShowFilterPropertyPage(kParent, pages.Get(), k), S_FALSE) << kind;
    }
    EXPECT_TRUE(capture->calls.has.empty() && capture->calls.shown.empty());
    EXPECT_TRUE(compress->calls.shown.empty());
    EXPECT_EQ(pages->getPages, 0);
}

TEST(PropertyPages, CaptureDialogShownOnlyWhenTheFilterHasIt) {
    struct Case {
        TPropertyPageKind kind;
        int dialog;
    };
    for (Case c : {Case{pkCaptureDisplay, VfwCaptureDialog_Display}, Case{pkCaptureFormat, VfwCaptureDialog_Format},
                   Case{pkCaptureSource, VfwCaptureDialog_Source}}) {
        auto filter = Own(new TCaptureDialogs);
        // Not there (S_FALSE) or failing: that answer, nothing shown.
        filter->hasResult = S_FALSE;
        EXPECT_EQ(ShowFilterPropertyPage(kParent, filter.Get(), c.kind), S_FALSE);
        filter->hasResult = E_NOTIMPL;
        EXPECT_EQ(ShowFilterPropertyPage(kParent, filter.Get(), c.kind), E_NOTIMPL);
        EXPECT_EQ(filter->calls.has, (std::vector<int>{c.dialog, c.dialog}));
        EXPECT_TRUE(filter->calls.shown.empty());
        // There: shown over the parent, and the dialog's own answer is the result.
        filter->hasResult = S_OK;
        filter->showResult = VFW_E_NOT_STOPPED;
        EXPECT_EQ(ShowFilterPropertyPage(kParent, filter.Get(), c.kind), VFW_E_NOT_STOPPED);
        ASSERT_EQ(filter->calls.shown.size(), 1u);
        EXPECT_EQ(filter->calls.shown[0], std::make_pair(c.dialog, kParent));
    }
}

TEST(PropertyPages, CompressorDialogShownOnlyWhenItsQueryAgrees) {
    struct Case {
        TPropertyPageKind kind;
        int query, dialog;
    };
    for (Case c : {Case{pkCompressorConfig, VfwCompressDialog_QueryConfig, VfwCompressDialog_Config},
                   Case{pkCompressorAbout, VfwCompressDialog_QueryAbout, VfwCompressDialog_About}}) {
        auto filter = Own(new TCompressDialogs);
        filter->queryResult = S_FALSE;
        EXPECT_EQ(ShowFilterPropertyPage(kParent, filter.Get(), c.kind), S_FALSE);
        filter->queryResult = E_FAIL;
        EXPECT_EQ(ShowFilterPropertyPage(kParent, filter.Get(), c.kind), E_FAIL);
        // The query goes without a window.
        EXPECT_EQ(filter->calls.shown, (std::vector<std::pair<int, HWND>>{{c.query, nullptr}, {c.query, nullptr}}));
        filter->calls.shown.clear();
        filter->queryResult = S_OK;
        filter->showResult = S_OK;
        EXPECT_EQ(ShowFilterPropertyPage(kParent, filter.Get(), c.kind), S_OK);
        EXPECT_EQ(filter->calls.shown, (std::vector<std::pair<int, HWND>>{{c.query, nullptr}, {c.dialog, kParent}}));
    }
}

TEST(PropertyPages, FilterPagesStopAtTheFirstFailingStep) {
    // Each failure ends the routine before a frame could open.
    auto filter = Own(new TPropertyPages);
    filter->pagesResult = E_OUTOFMEMORY;
    EXPECT_EQ(ShowFilterPropertyPage(kParent, filter.Get(), pkFilterPages), E_OUTOFMEMORY);
    filter->pagesResult = S_OK;
    filter->SetFailFilterInfo(true);
    EXPECT_EQ(ShowFilterPropertyPage(kParent, filter.Get(), pkFilterPages), E_UNEXPECTED);
    EXPECT_EQ(filter->getPages, 2);
}

}  // namespace
