// The test crossbar in real graphs: its pins connect by kind and report their categories, its
// routing table answers IAMCrossbar, and the toolkit's crossbar routing finds and routes its
// inputs, single and cascaded in front of a capture pin.

#include <gtest/gtest.h>

#include "dshow/crossbar.h"
#include "first_standins_support.h"
#include "platform/standins/test_crossbar.h"

using namespace first_standins;
using standins::IQuillTestCrossbar;

namespace {

inline const CLSID kCaptureClass = {0x6a1e1103, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x19}};

// A capture filter's analogue side: one input pin that takes analogue video.
class AnalogCapture : public filters::TBCBaseFilter {
public:
    AnalogCapture()
        : filters::TBCBaseFilter("Analogue capture", nullptr, std::make_unique<filters::TBCCritSec>(), kCaptureClass) {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
    }
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    IBaseFilter* Filter() { return BaseFilterInterface(); }

    class Pin : public filters::TBCBasePin {
    public:
        Pin(AnalogCapture* Owner, HRESULT& hr)
            : filters::TBCBasePin("Analogue in", Owner, Owner->Lock(), hr, L"Analog Video In", PINDIR_INPUT) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* Mt) override {
            return Mt != nullptr && Mt->majortype == MEDIATYPE_AnalogVideo ? S_OK : S_FALSE;
        }
        HRESULT BeginFlush() override { return S_OK; }
        HRESULT EndFlush() override { return S_OK; }
    };

private:
    std::unique_ptr<Pin> pin_;
};

constexpr int kVideoOut = standins::kCrossbarInputs;      // pin index of output 0
constexpr int kAudioOut = standins::kCrossbarInputs + 1;  // pin index of output 1

class TestCrossbar : public testing::Test {
protected:
    void SetUp() override {
        graph_ = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        ASSERT_TRUE(graph_);
        capture_ = new AnalogCapture;
        captureF_ = capture_->Filter();
        ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(captureF_.Get(), L"Capture"));
    }
    ComPtr<IBaseFilter> AddCrossbar(const wchar_t* Name, long Stage) {
        auto filter = Create<IBaseFilter>(standins::CLSID_QuillTestCrossbar, IID_IBaseFilter);
        EXPECT_TRUE(filter);
        if (!filter) return filter;
        ComPtr<IQuillTestCrossbar> test;
        EXPECT_HRESULT_SUCCEEDED(filter.As(&test));
        EXPECT_HRESULT_SUCCEEDED(test->SetStage(Stage));
        EXPECT_HRESULT_SUCCEEDED(graph_->AddFilter(filter.Get(), Name));
        return filter;
    }
    static ComPtr<IAMCrossbar> CrossbarOf(IBaseFilter* Filter) {
        ComPtr<IAMCrossbar> crossbar;
        Filter->QueryInterface(IID_IAMCrossbar, reinterpret_cast<void**>(crossbar.GetAddressOf()));
        return crossbar;
    }
    static long RoutedTo(IAMCrossbar* Crossbar, long Output) {
        long input = -2;
        EXPECT_HRESULT_SUCCEEDED(Crossbar->get_IsRoutedTo(Output, &input));
        return input;
    }
    static long RouteCalls(IBaseFilter* Filter) {
        ComPtr<IQuillTestCrossbar> test;
        Filter->QueryInterface(standins::IID_IQuillTestCrossbar, reinterpret_cast<void**>(test.GetAddressOf()));
        long n = -1;
        if (test) test->GetRouteCalls(&n);
        return n;
    }
    ComPtr<IPin> CapturePin() { return PinAt(captureF_.Get(), 0); }

    ComScope com_;
    ComPtr<IGraphBuilder> graph_;
    AnalogCapture* capture_ = nullptr;
    ComPtr<IBaseFilter> captureF_;
};

TEST_F(TestCrossbar, PinsConnectByKindAndReportTheirCategory) {
    auto crossbar = AddCrossbar(L"Crossbar", 0);
    ASSERT_EQ(PinCount(crossbar.Get()), standins::kCrossbarInputs + standins::kCrossbarOutputs);
    for (int i = 0; i < PinCount(crossbar.Get()); ++i) {
        ComPtr<IPin> pin = PinAt(crossbar.Get(), i);
        PIN_DIRECTION dir = PINDIR_INPUT;
        pin->QueryDirection(&dir);
        EXPECT_EQ(dir, i < standins::kCrossbarInputs ? PINDIR_INPUT : PINDIR_OUTPUT) << i;
        const bool audio = i == 4 || i == 5 || i == kAudioOut;
        ComPtr<IKsPropertySet> ks;
        ASSERT_HRESULT_SUCCEEDED(pin.As(&ks));
        GUID category = GUID_NULL;
        DWORD returned = 0;
        HRESULT hr = ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category), &returned);
        if (audio) {
            EXPECT_EQ(hr, E_PROP_ID_UNSUPPORTED) << i;
        } else {
            EXPECT_EQ(hr, S_OK) << i;
            EXPECT_TRUE(category == PIN_CATEGORY_ANALOGVIDEOIN) << i;
            EXPECT_EQ(returned, sizeof(GUID));
            // A buffer too small for a GUID is not written.
            BYTE small[4] = {};
            EXPECT_TRUE(FAILED(ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, small, sizeof(small), &returned)));
        }
        EXPECT_EQ(ks->Get(PIN_CATEGORY_CAPTURE, 0, nullptr, 0, &category, sizeof(category), &returned),
                  E_PROP_SET_UNSUPPORTED);
    }
    // The audio output cannot feed the capture filter's video input; the video output can.
    EXPECT_TRUE(FAILED(graph_->ConnectDirect(PinAt(crossbar.Get(), kAudioOut).Get(), CapturePin().Get(), nullptr)));
    EXPECT_HRESULT_SUCCEEDED(graph_->ConnectDirect(PinAt(crossbar.Get(), kVideoOut).Get(), CapturePin().Get(), nullptr));
    MediaType connected;
    ASSERT_HRESULT_SUCCEEDED(CapturePin()->ConnectionMediaType(&connected));
    EXPECT_TRUE(connected.majortype == MEDIATYPE_AnalogVideo);
    // The stage cannot change while the crossbar runs.
    ComPtr<IQuillTestCrossbar> test;
    ASSERT_HRESULT_SUCCEEDED(crossbar.As(&test));
    ASSERT_HRESULT_SUCCEEDED(crossbar->Pause());
    EXPECT_EQ(test->SetStage(1), VFW_E_NOT_STOPPED);
    ASSERT_HRESULT_SUCCEEDED(crossbar->Stop());
    EXPECT_EQ(test->SetStage(2), E_INVALIDARG);
}

TEST_F(TestCrossbar, RoutingTableAnswersAndRefusesWhatItCannotDo) {
    auto filter = AddCrossbar(L"Crossbar", 0);
    auto crossbar = CrossbarOf(filter.Get());
    ASSERT_TRUE(crossbar);
    long outputs = 0, inputs = 0;
    ASSERT_HRESULT_SUCCEEDED(crossbar->get_PinCounts(&outputs, &inputs));
    EXPECT_EQ(outputs, 2);
    EXPECT_EQ(inputs, 6);
    EXPECT_EQ(RoutedTo(crossbar.Get(), 0), 0);
    EXPECT_EQ(RoutedTo(crossbar.Get(), 1), 4);
    long related = 0, type = 0;
    ASSERT_HRESULT_SUCCEEDED(crossbar->get_CrossbarPinInfo(TRUE, 1, &related, &type));
    EXPECT_EQ(related, 5);
    EXPECT_EQ(type, PhysConn_Video_Composite);
    ASSERT_HRESULT_SUCCEEDED(crossbar->get_CrossbarPinInfo(FALSE, 0, &related, &type));
    EXPECT_EQ(related, 1);
    EXPECT_EQ(type, PhysConn_Video_VideoDecoder);

    EXPECT_EQ(crossbar->CanRoute(0, 2), S_OK);
    EXPECT_EQ(crossbar->CanRoute(0, 3), S_FALSE);  // the unroutable connector
    EXPECT_EQ(crossbar->CanRoute(0, 4), S_FALSE);  // audio into video
    EXPECT_EQ(crossbar->CanRoute(1, 5), S_OK);
    EXPECT_EQ(crossbar->CanRoute(2, 0), E_INVALIDARG);
    EXPECT_EQ(crossbar->CanRoute(0, 6), E_INVALIDARG);
    EXPECT_EQ(crossbar->CanRoute(-1, 0), E_INVALIDARG);
    EXPECT_TRUE(FAILED(crossbar->Route(0, 4)));
    EXPECT_TRUE(FAILED(crossbar->Route(0, 3)));
    EXPECT_EQ(RoutedTo(crossbar.Get(), 0), 0);  // a refused route changes nothing
    EXPECT_EQ(crossbar->Route(0, -1), S_OK);    // unrouted
    EXPECT_EQ(RoutedTo(crossbar.Get(), 0), -1);
    EXPECT_EQ(crossbar->get_CrossbarPinInfo(TRUE, 6, &related, &type), E_INVALIDARG);
    EXPECT_EQ(crossbar->get_CrossbarPinInfo(FALSE, -1, &related, &type), E_INVALIDARG);
    EXPECT_EQ(crossbar->get_CrossbarPinInfo(TRUE, 0, nullptr, &type), E_POINTER);
    EXPECT_EQ(crossbar->get_IsRoutedTo(0, nullptr), E_POINTER);
    EXPECT_EQ(crossbar->get_PinCounts(nullptr, &inputs), E_POINTER);

    // The upstream stage has other connectors and refuses another one.
    ComPtr<IQuillTestCrossbar> test;
    ASSERT_HRESULT_SUCCEEDED(filter.As(&test));
    ASSERT_HRESULT_SUCCEEDED(test->SetStage(1));
    ASSERT_HRESULT_SUCCEEDED(crossbar->get_CrossbarPinInfo(TRUE, 2, &related, &type));
    EXPECT_EQ(type, PhysConn_Video_RGB);
    EXPECT_EQ(crossbar->CanRoute(0, 2), S_FALSE);
    EXPECT_EQ(crossbar->CanRoute(0, 3), S_OK);
    EXPECT_EQ(RoutedTo(crossbar.Get(), 0), 0);  // routing back at its start
}

TEST_F(TestCrossbar, SingleCrossbarRoutedThroughTheToolkit) {
    auto filter = AddCrossbar(L"Crossbar", 0);
    auto crossbar = CrossbarOf(filter.Get());
    ASSERT_HRESULT_SUCCEEDED(graph_->ConnectDirect(PinAt(filter.Get(), kVideoOut).Get(), CapturePin().Get(), nullptr));

    dshow::TCrossbar router(CapturePin().Get());
    long count = 0;
    ASSERT_EQ(router.GetInputCount(count), S_OK);
    // Tuner, Composite and SVideo; the unroutable connector and the audio inputs are left out.
    ASSERT_EQ(count, 3);
    const long types[] = {PhysConn_Video_Tuner, PhysConn_Video_Composite, PhysConn_Video_SVideo};
    for (long i = 0; i < count; ++i) {
        long type = 0;
        ASSERT_EQ(router.GetInputType(i, type), S_OK);
        EXPECT_EQ(type, types[i]) << i;
        EXPECT_EQ(router.Chains()[static_cast<size_t>(i)].size(), 1u);
    }

    const long before = RouteCalls(filter.Get());
    EXPECT_EQ(router.SetInputIndex(1), S_OK);  // Composite, with its related line input
    EXPECT_EQ(RoutedTo(crossbar.Get(), 0), 1);
    EXPECT_EQ(RoutedTo(crossbar.Get(), 1), 5);
    EXPECT_EQ(RouteCalls(filter.Get()), before + 2);
    EXPECT_EQ(router.SetInputIndex(2), S_OK);  // SVideo has no related audio: video only
    EXPECT_EQ(RoutedTo(crossbar.Get(), 0), 2);
    EXPECT_EQ(RoutedTo(crossbar.Get(), 1), 5);
    EXPECT_EQ(RouteCalls(filter.Get()), before + 3);
    EXPECT_EQ(router.SetInputIndex(3), E_FAIL);
    EXPECT_EQ(router.CurrentInputIndex(), 2);
}

TEST_F(TestCrossbar, CascadeOfTwoRoutedThroughTheToolkit) {
    auto upstream = AddCrossbar(L"Tuner crossbar", 1);
    auto downstream = AddCrossbar(L"Decoder crossbar", 0);
    ASSERT_HRESULT_SUCCEEDED(
        graph_->ConnectDirect(PinAt(upstream.Get(), kVideoOut).Get(), PinAt(downstream.Get(), 0).Get(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(
        graph_->ConnectDirect(PinAt(upstream.Get(), kAudioOut).Get(), PinAt(downstream.Get(), 4).Get(), nullptr));
    // Video into an audio input is refused.
    EXPECT_TRUE(FAILED(
        graph_->ConnectDirect(PinAt(upstream.Get(), kVideoOut).Get(), PinAt(downstream.Get(), 5).Get(), nullptr)));
    ASSERT_HRESULT_SUCCEEDED(graph_->ConnectDirect(PinAt(downstream.Get(), kVideoOut).Get(), CapturePin().Get(), nullptr));

    dshow::TCrossbar router(CapturePin().Get());
    long count = 0;
    router.GetInputCount(count);
    // Through the decoder's tuner input: the upstream Tuner, Composite and SVideo (its RGB cannot
    // be routed); then the decoder's own Composite and SVideo.
    ASSERT_EQ(count, 5);
    const long types[] = {PhysConn_Video_Tuner, PhysConn_Video_Composite, PhysConn_Video_SVideo,
                          PhysConn_Video_Composite, PhysConn_Video_SVideo};
    const size_t lengths[] = {2, 2, 2, 1, 1};
    auto up = CrossbarOf(upstream.Get());
    auto down = CrossbarOf(downstream.Get());
    for (long i = 0; i < count; ++i) {
        long type = 0;
        router.GetInputType(i, type);
        EXPECT_EQ(type, types[i]) << i;
        const dshow::TRouteArray& chain = router.Chains()[static_cast<size_t>(i)];
        ASSERT_EQ(chain.size(), lengths[i]) << i;
        EXPECT_EQ(chain.front().Crossbar.Get(), (lengths[i] == 2 ? up : down).Get()) << i;
        EXPECT_EQ(chain.back().Crossbar.Get(), down.Get()) << i;
    }

    EXPECT_EQ(router.SetInputIndex(1), S_OK);  // the upstream Composite through the decoder's tuner input
    EXPECT_EQ(RoutedTo(up.Get(), 0), 1);
    EXPECT_EQ(RoutedTo(up.Get(), 1), 5);
    EXPECT_EQ(RoutedTo(down.Get(), 0), 0);
    EXPECT_EQ(RoutedTo(down.Get(), 1), 4);
    EXPECT_EQ(router.SetInputIndex(4), S_OK);  // the decoder's own SVideo: the upstream one is left alone
    EXPECT_EQ(RoutedTo(down.Get(), 0), 2);
    EXPECT_EQ(RoutedTo(up.Get(), 0), 1);
}

}  // namespace
