// Our filters with Wine's Smart Tee, as the capture graphs use it: the test camera → our time
// stamper → Smart Tee, whose capture and preview outputs each feed a Sample Grabber and a Null
// Renderer. Both outputs get the camera's pictures; the capture side keeps the stamper's numbering.
#include "live_device_helpers.h"

#include <vector>

#include "filters/time_stamper.h"

namespace standins_test {
namespace {

// The output pin of the filter whose name is Name.
ComPtr<IPin> OutputNamed(IBaseFilter* filter, const wchar_t* name)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.GetAddressOf()))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_INFO info{};
        if (FAILED(pin->QueryPinInfo(&info))) continue;
        if (info.pFilter != nullptr) info.pFilter->Release();
        if (info.dir == PINDIR_OUTPUT && std::wstring(info.achName) == name) return pin;
    }
    return nullptr;
}

class SmartTeeGraph : public DeviceGraph {
protected:
    // A grabber of RGB24 pictures under its own name (the graph refuses two of one name).
    ComPtr<IBaseFilter> Grabber(GrabberCallback& cb, const wchar_t* name)
    {
        auto filter = AddStock(CLSID_SampleGrabber, name);
        ComPtr<ISampleGrabber> grabber;
        if (filter && SUCCEEDED(filter.As(&grabber))) {
            AM_MEDIA_TYPE mt{};
            mt.majortype = MEDIATYPE_Video;
            mt.subtype = MEDIASUBTYPE_RGB24;
            EXPECT_EQ(S_OK, grabber->SetMediaType(&mt));
            EXPECT_EQ(S_OK, grabber->SetCallback(&cb, 0));
        }
        return filter;
    }
};

TEST_F(SmartTeeGraph, CaptureAndPreviewOutputsBothCarryTheStampedPictures)
{
    auto moniker = DeviceMoniker(CLSID_VideoInputDeviceCategory, L"Quillotrane Test Camera");
    ASSERT_TRUE(moniker) << "the test camera is not registered";
    auto camera = Add(BindFilter(moniker.Get()), L"Camera");
    auto* stamper = new filters::Tqz_TimeStamper;
    Add(ComPtr<IBaseFilter>(stamper->BaseFilterInterface()), L"Time stamper");
    auto tee = AddStock(CLSID_SmartTee, L"Smart Tee");
    ASSERT_TRUE(camera && tee);

    GrabberCallback& capture = Callback();
    GrabberCallback& preview = Callback();
    std::vector<LONGLONG> captureTimes;
    int previewCount = 0;
    capture.OnSample = [&](IMediaSample* sample) {
        LONGLONG start = 0, stop = 0;
        captureTimes.push_back(sample->GetMediaTime(&start, &stop) == S_OK ? start : -1);
    };
    preview.OnSample = [&](IMediaSample*) { ++previewCount; };
    auto captureGrabber = Grabber(capture, L"Capture grabber");
    auto previewGrabber = Grabber(preview, L"Preview grabber");
    auto captureNull = AddStock(CLSID_NullRenderer, L"Capture null");
    auto previewNull = AddStock(CLSID_NullRenderer, L"Preview null");

    ASSERT_EQ(S_OK, Link(camera.Get(), stamper->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(stamper->BaseFilterInterface(), tee.Get()));
    ComPtr<IPin> captureOut = OutputNamed(tee.Get(), L"Capture");
    ComPtr<IPin> previewOut = OutputNamed(tee.Get(), L"Preview");
    ASSERT_TRUE(captureOut && previewOut);
    ASSERT_EQ(S_OK, graph->ConnectDirect(captureOut.Get(), PinAt(captureGrabber.Get(), PINDIR_INPUT).Get(), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(previewOut.Get(), PinAt(previewGrabber.Get(), PINDIR_INPUT).Get(), nullptr));
    ASSERT_EQ(S_OK, Link(captureGrabber.Get(), captureNull.Get()));
    ASSERT_EQ(S_OK, Link(previewGrabber.Get(), previewNull.Get()));

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    auto enough = [&] {
        std::lock_guard<std::mutex> a(capture.Mutex);
        std::lock_guard<std::mutex> b(preview.Mutex);
        return captureTimes.size() >= 10 && previewCount >= 5;
    };
    ASSERT_TRUE(WaitFor(enough)) << "the Smart Tee's outputs did not both receive pictures";
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());

    // The stamper numbers the pictures from 1; the capture side passes every one on, in order.
    ASSERT_GE(captureTimes.size(), 10u);
    for (std::size_t i = 0; i < captureTimes.size(); ++i)
        EXPECT_EQ(static_cast<LONGLONG>(i + 1), captureTimes[i]) << "picture " << i;
}

}  // namespace
}  // namespace standins_test
