// The overlay and the time stamper fed by the stand-in devices in Wine graphs: the test camera
// directly, and the DV camcorder through the DV Splitter and DV Video Decoder. The overlay's input
// and output pictures are paired through an Infinite Pin Tee (one branch straight to a grabber,
// the other through the overlay): pixels inside the text box change, pixels outside do not. The
// time stamper numbers the samples from 1 after every start, keeps the devices' stamps, and drops
// what arrives while frozen.
#include "live_device_helpers.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "platform/standins/dv_camcorder.h"
#include "platform/standins/test_camera.h"

namespace standins_test {
namespace {

struct Got {
    std::vector<BYTE> Bytes;
    HRESULT TimeResult = E_FAIL;
    REFERENCE_TIME Start = 0, Stop = 0;
    HRESULT MediaResult = E_FAIL;
    LONGLONG MediaStart = 0;
};

// Keeps every sample (bytes only when keepBytes) under the callback's lock.
void Keep(GrabberCallback& cb, std::vector<Got>& out, bool keepBytes)
{
    cb.OnSample = [&out, keepBytes](IMediaSample* sample) {
        Got g;
        if (keepBytes) {
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            g.Bytes.assign(data, data + sample->GetActualDataLength());
        }
        g.TimeResult = sample->GetTime(&g.Start, &g.Stop);
        LONGLONG mediaStop = 0;
        g.MediaResult = sample->GetMediaTime(&g.MediaStart, &mediaStop);
        out.push_back(std::move(g));
    };
}

std::size_t CountOf(GrabberCallback& cb, const std::vector<Got>& v)
{
    std::lock_guard<std::mutex> lock(cb.Mutex);
    return v.size();
}

std::vector<Got> Take(GrabberCallback& cb, std::vector<Got>& v)
{
    std::lock_guard<std::mutex> lock(cb.Mutex);
    return std::exchange(v, {});
}

int MeasureText(const std::wstring& text, int height)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontW(height, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    HGDIOBJ old = SelectObject(dc, font);
    SIZE s{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    return s.cx;
}

class OurFiltersOnStandins : public DeviceGraph {
protected:
    ComPtr<IBaseFilter> Camera()
    {
        auto moniker = DeviceMoniker(CLSID_VideoInputDeviceCategory, L"Quillotrane Test Camera");
        return moniker ? Add(BindFilter(moniker.Get()), L"Camera") : nullptr;
    }
    // The camcorder's pictures: camcorder -> DV Splitter -> DV Video Decoder; answers the decoder.
    ComPtr<IBaseFilter> CamcorderPictures()
    {
        auto moniker = DeviceMoniker(CLSID_VideoInputDeviceCategory, standins::kDVCamcorderName);
        if (!moniker) {
            return nullptr;
        }
        auto camcorder = Add(BindFilter(moniker.Get()), L"DV camcorder");
        auto splitter = AddStock(CLSID_DVSplitter, L"DV Splitter");
        auto decoder = AddStock(CLSID_DVVideoCodec, L"DV Video Decoder");
        if (!camcorder || !splitter || !decoder) {
            return nullptr;
        }
        EXPECT_EQ(S_OK, Link(camcorder.Get(), splitter.Get()));
        EXPECT_EQ(S_OK, Link(splitter.Get(), decoder.Get()));
        return decoder;
    }
    template <typename F>
    F* AddOurs(F* filter, const wchar_t* name)
    {
        Add(ComPtr<IBaseFilter>(filter->BaseFilterInterface()), name);
        return filter;
    }
    ComPtr<IBaseFilter> Null()
    {
        const std::wstring name = L"Null " + std::to_wstring(++nulls_);
        return AddStock(CLSID_NullRenderer, name.c_str());
    }
    // A Sample Grabber for RGB24 video under its own name, calling cb.
    ComPtr<IBaseFilter> NamedGrabber(GrabberCallback& cb, const wchar_t* name)
    {
        auto filter = AddStock(CLSID_SampleGrabber, name);
        ComPtr<ISampleGrabber> grabber;
        if (filter && SUCCEEDED(filter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(grabber.GetAddressOf())))) {
            AM_MEDIA_TYPE mt{};
            mt.majortype = MEDIATYPE_Video;
            mt.subtype = MEDIASUBTYPE_RGB24;
            EXPECT_EQ(S_OK, grabber->SetMediaType(&mt));
            EXPECT_EQ(S_OK, grabber->SetCallback(&cb, 0));
        }
        return filter;
    }
    // The tee's output pin that is not connected yet.
    static ComPtr<IPin> FreeOutput(IBaseFilter* tee)
    {
        ComPtr<IEnumPins> e;
        tee->EnumPins(e.GetAddressOf());
        ComPtr<IPin> pin;
        while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            PIN_DIRECTION d{};
            ComPtr<IPin> peer;
            pin->QueryDirection(&d);
            if (d == PINDIR_OUTPUT && pin->ConnectedTo(peer.GetAddressOf()) == VFW_E_NOT_CONNECTED) {
                return pin;
            }
        }
        return nullptr;
    }
    // source -> Infinite Pin Tee -> grabber (the input pictures) and -> overlay -> grabber; runs
    // until frames pairs are in, then compares each pair against the text box.
    void CheckOverlay(IBaseFilter* source, int width, int height)
    {
        auto tee = AddStock(CLSID_InfTee, L"Infinite Pin Tee");
        ASSERT_TRUE(tee) << "no Infinite Pin Tee registered";
        auto* overlay = AddOurs(new filters::Tqz_Superposer, L"Overlay");
        GrabberCallback& inCb = Callback();
        GrabberCallback& outCb = Callback();
        std::vector<Got> in, out;
        Keep(inCb, in, true);
        Keep(outCb, out, true);
        auto inGrabber = NamedGrabber(inCb, L"Input grabber");
        auto outGrabber = NamedGrabber(outCb, L"Output grabber");
        ASSERT_EQ(S_OK, Link(source, tee.Get()));
        ASSERT_EQ(S_OK, Link(tee.Get(), inGrabber.Get()));
        ASSERT_EQ(S_OK, Link(inGrabber.Get(), Null().Get()));
        ASSERT_EQ(S_OK, graph->ConnectDirect(FreeOutput(tee.Get()).Get(),
                                             PinAt(overlay->BaseFilterInterface(), PINDIR_INPUT).Get(), nullptr));
        ASSERT_EQ(S_OK, Link(overlay->BaseFilterInterface(), outGrabber.Get()));
        ASSERT_EQ(S_OK, Link(outGrabber.Get(), Null().Get()));

        settings::TincrustRec rec = settings::DefaultIncrustRec();
        rec.WhatIncrust = 2;  // the user's two lines
        rec.Incrust1 = L"Quillo";
        rec.Incrust2 = L"Trane";
        rec.Alignement = 0;
        rec.BorderSize = 2;
        rec.Autofontsize = true;
        rec.Xpos = 500;
        rec.Ypos = 500;
        overlay->SetIncrustRec(rec);
        overlay->SetOverlayEnabled(true);
        const int fh = overlay->FontHeight();
        ASSERT_GE(fh, 16);

        ASSERT_TRUE(SUCCEEDED(control->Run()));
        EXPECT_TRUE(WaitFor([&] { return CountOf(inCb, in) >= 8 && CountOf(outCb, out) >= 8; }));
        ASSERT_EQ(S_OK, control->Stop());
        std::map<REFERENCE_TIME, std::vector<BYTE>> inputs;
        for (auto& g : Take(inCb, in)) {
            ASSERT_EQ(S_OK, g.TimeResult);
            inputs[g.Start] = std::move(g.Bytes);
        }
        const auto outputs = Take(outCb, out);
        ASSERT_GE(outputs.size(), 8u);

        // The text box, rows counted from the top: line 1 one font height above the point, line 2
        // from it; left-aligned at the point; border 2 and 2 pixels of slack on every side.
        const int x0 = width / 2 - 4, x1 = width / 2 + std::max(MeasureText(L"Quillo", fh), MeasureText(L"Trane", fh)) + 4;
        const int y0 = height / 2 - fh - 4, y1 = height / 2 + fh + 4;
        const long stride = filters::Rgb24Stride(width);
        int paired = 0;
        for (const auto& o : outputs) {
            ASSERT_EQ(S_OK, o.TimeResult) << "the overlay keeps the time stamps";
            const auto it = inputs.find(o.Start);
            if (it == inputs.end()) {
                continue;  // its input came after the stop
            }
            ++paired;
            const auto& i = it->second;
            ASSERT_EQ(static_cast<std::size_t>(stride * height), o.Bytes.size());
            ASSERT_EQ(o.Bytes.size(), i.size());
            int changedInside = 0, changedOutside = 0;
            for (int y = 0; y < height; ++y) {
                const std::size_t row = static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(stride);
                for (int x = 0; x < width; ++x) {
                    const std::size_t at = row + static_cast<std::size_t>(x) * 3;
                    const bool changed = std::memcmp(&o.Bytes[at], &i[at], 3) != 0;
                    const bool inside = x >= x0 && x <= x1 && y >= y0 && y <= y1;
                    (inside ? changedInside : changedOutside) += changed;
                }
            }
            EXPECT_EQ(0, changedOutside) << "frame at " << o.Start;
            EXPECT_GT(changedInside, 100) << "frame at " << o.Start;
        }
        EXPECT_GE(paired, 5);
    }
    // source -> time stamper -> grabber -> Null Renderer.
    filters::Tqz_TimeStamper* StampInto(IBaseFilter* source, GrabberCallback& cb)
    {
        auto* stamper = AddOurs(new filters::Tqz_TimeStamper, L"Time stamper");
        auto grabber = AddGrabber(cb, MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
        EXPECT_EQ(S_OK, Link(source, stamper->BaseFilterInterface()));
        EXPECT_EQ(S_OK, Link(stamper->BaseFilterInterface(), grabber.Get()));
        EXPECT_EQ(S_OK, Link(grabber.Get(), Null().Get()));
        return stamper;
    }
    // Media times 1, 2, 3... and the device's stamps, one frame time apart.
    static void ExpectRenumbered(const std::vector<Got>& got, LONGLONG first, REFERENCE_TIME frameTime)
    {
        for (std::size_t k = 0; k < got.size(); ++k) {
            ASSERT_EQ(S_OK, got[k].MediaResult) << k;
            EXPECT_EQ(first + static_cast<LONGLONG>(k), got[k].MediaStart) << k;
            ASSERT_EQ(S_OK, got[k].TimeResult) << k;
            EXPECT_EQ(frameTime, got[k].Stop - got[k].Start) << k;
            // A live source drops the frames it is late for (a loaded machine): the numbers stay
            // gapless, the device's stamps stay on its frame grid.
            if (k > 0) {
                const REFERENCE_TIME gap = got[k].Start - got[k - 1].Start;
                EXPECT_GT(gap, 0) << k;
                EXPECT_EQ(0, gap % frameTime) << "a stamp off the frame grid at " << k;
            }
        }
    }

private:
    int nulls_ = 0;
};

TEST_F(OurFiltersOnStandins, OverlayOnTheCameraChangesOnlyTheTextBox)
{
    auto camera = Camera();
    ASSERT_TRUE(camera) << "the test camera is not registered";
    CheckOverlay(camera.Get(), 320, 240);
}

TEST_F(OurFiltersOnStandins, OverlayOnTheCamcordersDecodedPicturesChangesOnlyTheTextBox)
{
    auto decoder = CamcorderPictures();
    ASSERT_TRUE(decoder) << "the DV stand-ins are not registered";
    CheckOverlay(decoder.Get(), 720, 576);
}

TEST_F(OurFiltersOnStandins, TimeStamperRenumbersTheCamerasFramesAfterEveryStartAndDropsWhileFrozen)
{
    auto camera = Camera();
    ASSERT_TRUE(camera) << "the test camera is not registered";
    GrabberCallback& cb = Callback();
    std::vector<Got> got;
    Keep(cb, got, false);
    auto* stamper = StampInto(camera.Get(), cb);

    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(WaitFor([&] { return CountOf(cb, got) >= 6; }));
        ASSERT_EQ(S_OK, control->Stop());
        EXPECT_EQ(0u, stamper->SampleCounter()) << "Stop resets the count";
        const auto frames = Take(cb, got);
        SCOPED_TRACE(run);
        ExpectRenumbered(frames, 1, standins::kCameraFrameTime);
    }

    // Frozen: nothing passes and nothing is counted; thawed, the numbers go on without a gap.
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return CountOf(cb, got) >= 3; }));
    stamper->SetFreeze(true);
    const std::size_t atFreeze = CountOf(cb, got);
    Sleep(50);  // a frame in Transform when the flag changed may still pass
    const std::size_t settled = CountOf(cb, got);
    EXPECT_LE(settled, atFreeze + 1);
    Sleep(400);  // ten frame times
    EXPECT_EQ(settled, CountOf(cb, got)) << "frames passed while frozen";
    stamper->SetFreeze(false);
    ASSERT_TRUE(WaitFor([&] { return CountOf(cb, got) >= settled + 3; }));
    // Taken off once the stream went on.
    const REFERENCE_TIME frozen = stamper->FrozenTime();
    ASSERT_EQ(S_OK, control->Stop());
    const auto frames = Take(cb, got);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(static_cast<LONGLONG>(k) + 1, frames[k].MediaStart) << k;
    }
    ASSERT_GT(frames.size(), settled);
    EXPECT_GE(frames[settled].Start + frozen - frames[settled - 1].Start, 8 * standins::kCameraFrameTime)
        << "the frozen frames were dropped, not delayed";
    EXPECT_LT(frames[settled].Start - frames[settled - 1].Start, 4 * standins::kCameraFrameTime)
        << "the stamps after the freeze go on where it began";

    // Cleared stamps: neither time nor media time reaches the grabber.
    stamper->SetClearStamps();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return CountOf(cb, got) >= 3; }));
    ASSERT_EQ(S_OK, control->Stop());
    for (const auto& g : Take(cb, got)) {
        EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, g.TimeResult);
        EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, g.MediaResult);
    }
}

TEST_F(OurFiltersOnStandins, TimeStamperRenumbersTheCamcordersDecodedFrames)
{
    auto decoder = CamcorderPictures();
    ASSERT_TRUE(decoder) << "the DV stand-ins are not registered";
    GrabberCallback& cb = Callback();
    std::vector<Got> got;
    Keep(cb, got, false);
    StampInto(decoder.Get(), cb);
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(WaitFor([&] { return CountOf(cb, got) >= 6; }));
        ASSERT_EQ(S_OK, control->Stop());
        SCOPED_TRACE(run);
        ExpectRenumbered(Take(cb, got), 1, 400000);  // 625/50: 25 frames a second
    }
}

}  // namespace
}  // namespace standins_test
