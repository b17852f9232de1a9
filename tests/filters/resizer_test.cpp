// The resizer: the size rules, its stretch (means at half size, blends elsewhere), and in Wine graphs the output
// type, length and pixels per mode, the default 320 x 240 output, padded rows, pass-through copies, a
// mid-stream type change and short samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "media_sources.h"

#include "dshow/ds_helpers.h"
#include "filters/resizer.h"
#include "filters_test_host.h"
#include "settings/parameters.h"
#include "settings/settings_catalogue.h"

namespace ftest {
namespace {

using filters::ResizerOutputSize;

void ExpectSize(SIZE s, int w, int h)
{
    EXPECT_EQ(w, s.cx);
    EXPECT_EQ(h, s.cy);
}

TEST(ResizerRules, SizesPerMode)
{
    ExpectSize(ResizerOutputSize(720, 576, 3, true, 0, 0), 360, 288);
    ExpectSize(ResizerOutputSize(720, 480, 3, true, 0, 0), 360, 240);
    ExpectSize(ResizerOutputSize(640, 240, 3, true, 0, 0), 640, 240);
    ExpectSize(ResizerOutputSize(720, 576, 3, false, 0, 0), 720, 576);
    {
        SCOPED_TRACE("odd half height loses a line");
        ExpectSize(ResizerOutputSize(722, 578, 3, true, 0, 0), 361, 288);
    }
    ExpectSize(ResizerOutputSize(720, 576, 1, true, 0, 0), 384, 288);
    ExpectSize(ResizerOutputSize(720, 576, 1, false, 0, 0), 720, 540);
    {
        SCOPED_TRACE("odd 4:3 height");
        ExpectSize(ResizerOutputSize(700, 600, 1, false, 0, 0), 696, 522);
    }
    ExpectSize(ResizerOutputSize(1000, 600, 2, false, 0, 0), 1000, 562);
    ExpectSize(ResizerOutputSize(720, 576, 2, false, 0, 0), 704, 396);
    ExpectSize(ResizerOutputSize(720, 576, 2, true, 0, 0), 512, 288);
    {
        SCOPED_TRACE("aspect unset: only the half cap");
        ExpectSize(ResizerOutputSize(720, 576, 0, true, 0, 0), 720, 288);
    }
    ExpectSize(ResizerOutputSize(720, 576, 0, false, 4, 3), 720, 540);
    {
        SCOPED_TRACE("no odd-height correction in mode 0");
        ExpectSize(ResizerOutputSize(720, 576, 0, false, 16, 9), 720, 405);
    }
    ExpectSize(ResizerOutputSize(720, 576, 7, true, 4, 3), 720, 576);
}

// A picture of w x h, bottom-up or TopDown, whose pixel at column x, row y from the top is Colour(x, y).
template <typename ColourOf>
std::vector<BYTE> Picture(int w, int h, bool topDown, ColourOf colour)
{
    std::vector<BYTE> p(static_cast<size_t>(VideoBytes(w, h)), 0);
    const long row = VideoBytes(w, 1);
    for (int y = 0; y < h; ++y) {
        BYTE* r = p.data() + (topDown ? y : h - 1 - y) * row;
        for (int x = 0; x < w; ++x) {
            const COLORREF c = colour(x, y);
            r[3 * x] = GetBValue(c);
            r[3 * x + 1] = GetGValue(c);
            r[3 * x + 2] = GetRValue(c);
        }
    }
    return p;
}

// The pixel at column x, row y from the top of a bottom-up picture of width w and height h.
const BYTE* PixelAt(const std::vector<BYTE>& p, int w, int h, int x, int y)
{
    return p.data() + (h - 1 - y) * VideoBytes(w, 1) + 3 * x;
}

TEST(ResizerStretch, HalfSizeIsTheMeanOfTheFourPixelsEachStandsFor)
{
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down input" : "bottom-up input");
        // Every pixel of its own colour, so that a wrong block or a wrong row order shows.
        const auto src = Picture(722, 578, topDown, [](int x, int y) {
            return RGB((x * 7 + y * 3) & 0xFF, (x * 13 + y * 29) & 0xFF, (x ^ y) & 0xFF);
        });
        const auto top = Picture(722, 578, false, [](int x, int y) {
            return RGB((x * 7 + y * 3) & 0xFF, (x * 13 + y * 29) & 0xFF, (x ^ y) & 0xFF);
        });
        std::vector<BYTE> out(static_cast<size_t>(VideoBytes(361, 289)), 0);
        filters::ResizerStretch(src.data(), 722, 578, topDown, out.data(), 361, 289, false);
        int wrong = 0;
        for (int y = 0; y < 289; ++y) {
            for (int x = 0; x < 361; ++x) {
                for (int c = 0; c < 3; ++c) {
                    int sum = 2;
                    for (int k = 0; k < 4; ++k) sum += PixelAt(top, 722, 578, 2 * x + k % 2, 2 * y + k / 2)[c];
                    wrong += PixelAt(out, 361, 289, x, y)[c] != sum / 4;
                }
            }
        }
        EXPECT_EQ(0, wrong);
    }
}

TEST(ResizerStretch, TheSameSizeIsACopyAndATopDownOutputHoldsTheRowsTheOtherWayRound)
{
    const auto src = Picture(101, 63, false, [](int x, int y) { return RGB(x * 2, y * 3, (x * y) & 0xFF); });
    std::vector<BYTE> same(src.size(), 0), flipped(src.size(), 0);
    filters::ResizerStretch(src.data(), 101, 63, false, same.data(), 101, 63, false);
    EXPECT_EQ(src, same);
    filters::ResizerStretch(src.data(), 101, 63, false, flipped.data(), 101, 63, true);
    EXPECT_EQ(Picture(101, 63, true, [](int x, int y) { return RGB(x * 2, y * 3, (x * y) & 0xFF); }), flipped);
}

TEST(ResizerStretch, OtherSizesBlendTheNeighboursOfEachPixelsCentre)
{
    // Red rises two levels a column and green three a row from the top: each output pixel shows the
    // levels at its centre's place in the input, within a level, the edges held.
    struct Case {
        int w, h, ow, oh;
    };
    for (const Case c : {Case{120, 80, 97, 57}, Case{60, 40, 110, 83}, Case{84, 84, 320, 240}}) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << (topDown ? " top-down" : "") << " to " << c.ow << "x" << c.oh);
            const auto src = Picture(c.w, c.h, topDown, [](int x, int y) { return RGB(2 * x, 3 * y, 77); });
            std::vector<BYTE> out(static_cast<size_t>(VideoBytes(c.ow, c.oh)), 0);
            filters::ResizerStretch(src.data(), c.w, c.h, topDown, out.data(), c.ow, c.oh, false);
            const auto expected = [](int i, int from, int to, int step) {
                const double at = std::clamp((i + 0.5) * from / to - 0.5, 0.0, from - 1.0);
                return at * step;
            };
            int wrong = 0;
            for (int y = 0; y < c.oh; ++y) {
                for (int x = 0; x < c.ow; ++x) {
                    const BYTE* p = PixelAt(out, c.ow, c.oh, x, y);
                    wrong += std::abs(p[2] - expected(x, c.w, c.ow, 2)) > 1.0 || std::abs(p[1] - expected(y, c.h, c.oh, 3)) > 1.0 ||
                             p[0] != 77;
                }
            }
            EXPECT_EQ(0, wrong) << "pixels away from their place";
        }
    }
}

class ResizerGraph : public FilterGraphTest {
protected:
    // A source of w x h pictures whose every pixel is (b, g, r) = (10, 100, 200), through the resizer.
    void Build(int w, int h, int count)
    {
        MediaType mt;
        MakeVideoType(mt, w, h);
        source = Add(new MediaSource(mt, VideoBytes(w, h)), L"Source");
        source->Count = count;
        source->Fill = [w, h](int, BYTE* data, long) { Paint(data, w, h); };
        resizer = Add(new filters::TQZ_Resizer, L"Resizer");
        halfParam.SetValue(half);
        host.aspect = SIZE{4, 3};
    }
    static void Paint(BYTE* data, int w, int h)
    {
        const long stride = VideoBytes(w, 1);
        for (int y = 0; y < (h < 0 ? -h : h); ++y) {
            BYTE* row = data + y * stride;
            for (int x = 0; x < w; ++x) {
                row[3 * x] = 10;
                row[3 * x + 1] = 100;
                row[3 * x + 2] = 200;
            }
            for (long pad = w * 3; pad < stride; ++pad) {
                row[pad] = 0;
            }
        }
    }
    void Connect()
    {
        ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
        ASSERT_EQ(S_OK, AddGrabberAfter(filters[1].Get(), MEDIATYPE_Video));
    }
    // Every picture pixel of the sample is the source colour (within the halftone's rounding).
    static void ExpectPainted(const GrabbedSample& s, int w, int h)
    {
        const long stride = VideoBytes(w, 1);
        ASSERT_EQ(static_cast<size_t>(stride * h), s.data.size());
        int off = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const BYTE* p = &s.data[static_cast<size_t>(y * stride + 3 * x)];
                if (std::abs(p[0] - 10) > 2 || std::abs(p[1] - 100) > 2 || std::abs(p[2] - 200) > 2) {
                    ++off;
                }
            }
        }
        EXPECT_EQ(0, off) << "pixels not of the source colour";
    }
    void ExpectGrabbedSize(int w, int h)
    {
        MediaType got;
        ASSERT_TRUE(GrabbedType(got));
        ASSERT_EQ(FORMAT_VideoInfo, got.formattype);
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(got.pbFormat);
        EXPECT_EQ(w, vih->bmiHeader.biWidth);
        EXPECT_EQ(h, vih->bmiHeader.biHeight);
        EXPECT_EQ(static_cast<DWORD>(VideoBytes(w, h)), vih->bmiHeader.biSizeImage);
    }
    void SetUp() override
    {
        FilterGraphTest::SetUp();
        settings::ParamDemiTaille = &halfParam;
    }
    void TearDown() override
    {
        FilterGraphTest::TearDown();
        settings::ParamDemiTaille = nullptr;
    }
    bool half = true;
    settings::TBooleanParameter halfParam{L"Demi Taille", true, nullptr};
    quill_test::TestFiltersHost host;
    MediaSource* source = nullptr;
    filters::TQZ_Resizer* resizer = nullptr;
};

TEST_F(ResizerGraph, HalfSizeOfAPalPicture)
{
    Build(720, 576, 4);
    resizer->SetResizeMode(3);
    Connect();
    EXPECT_TRUE(resizer->NeedsResize());
    ExpectGrabbedSize(360, 288);
    ASSERT_TRUE(RunUntil(4));
    for (const auto& s : recorder.Samples()) {
        ExpectPainted(s, 360, 288);
    }
}

TEST_F(ResizerGraph, WithoutARuleTheOutputIs320By240EvenFromASmallerInput)
{
    Build(176, 144, 3);
    Connect();
    EXPECT_FALSE(resizer->ResizeEnabled());
    ExpectGrabbedSize(320, 240);
    ASSERT_TRUE(RunUntil(3));
    for (const auto& s : recorder.Samples()) {
        ExpectPainted(s, 320, 240);
    }
}

TEST_F(ResizerGraph, OutputRowsArePaddedAndTheDisplayAspectRuleApplies)
{
    half = false;
    Build(722, 578, 2);
    resizer->SetResizeMode(0);  // 4:3 display: 722 x 541
    Connect();
    ExpectGrabbedSize(722, 541);
    ASSERT_TRUE(RunUntil(2));
    ExpectPainted(recorder.Samples()[0], 722, 541);
}

TEST_F(ResizerGraph, ASizeThatNeedsNoChangeIsCopied)
{
    Build(320, 240, 3);
    source->Fill = [](int i, BYTE* data, long bytes) {
        for (long k = 0; k < bytes; ++k) {
            data[k] = static_cast<BYTE>(k * 7 + i);
        }
    };
    resizer->SetResizeMode(3);
    Connect();
    EXPECT_FALSE(resizer->NeedsResize());
    ExpectGrabbedSize(320, 240);
    ASSERT_TRUE(RunUntil(3));
    auto got = recorder.Samples();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(static_cast<size_t>(VideoBytes(320, 240)), got[static_cast<size_t>(i)].data.size());
        EXPECT_EQ(static_cast<BYTE>(1234 * 7 + i), got[static_cast<size_t>(i)].data[1234]);
    }
}

TEST_F(ResizerGraph, AMidStreamTypeChangeKeepsTheOutputAndAShortSampleIsDropped)
{
    Build(720, 576, 8);
    source->SwitchAt = 4;
    source->SwitchType = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    InitMediaType(*source->SwitchType);
    MakeVideoType(*source->SwitchType, 352, -288);  // smaller and top-down
    source->SwitchBytes = VideoBytes(352, 288);
    source->ShortAt = 2;
    source->Fill = [](int i, BYTE* data, long) {
        if (i < 4) {
            Paint(data, 720, 576);
        } else {
            Paint(data, 352, -288);
        }
    };
    resizer->SetResizeMode(3);
    Connect();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->EosSent.load(); }));
    control->Stop();
    EXPECT_EQ(8, source->Delivered.load()) << "the stream went on after the change";
    auto got = recorder.Samples();
    ASSERT_EQ(7u, got.size()) << "the short sample is dropped";
    for (const auto& s : got) {
        ExpectPainted(s, 360, 288);
    }
    ExpectGrabbedSize(360, 288);
}

TEST(ResizerTypes, RefusesWhatItCannotDraw)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        auto* resizer = new filters::TQZ_Resizer;
        auto held = Hold(resizer);
        MediaType mt;
        MakeVideoType(mt, 64, 48);
        EXPECT_EQ(S_OK, resizer->CheckInputType(&mt));
        mt.subtype = MEDIASUBTYPE_RGB32;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, resizer->CheckInputType(&mt));
        mt.subtype = MEDIASUBTYPE_RGB24;
        mt.cbFormat = sizeof(VIDEOINFOHEADER) - 4;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, resizer->CheckInputType(&mt)) << "a short format block";
        mt.cbFormat = sizeof(VIDEOINFOHEADER);
        reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth = 0;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, resizer->CheckInputType(&mt));
        MediaType audio;
        MakePcmType(audio, 44100, 2, 16, false);
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, resizer->CheckInputType(&audio));
        ComPtr<IPersist> persist;
        EXPECT_EQ(S_OK, held.As(&persist));
        CLSID clsid{};
        persist->GetClassID(&clsid);
        EXPECT_TRUE(IsEqualCLSID(filters::CLSID_QZ_Resizer, clsid));
    }
    CoUninitialize();
}

}  // namespace
}  // namespace ftest
