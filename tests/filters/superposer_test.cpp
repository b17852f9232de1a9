// The overlay filter in Wine graphs: placement of the text lines, flips and mirror, the text modes
// with and without a scene detector, font size and border; its media types and date formats.
#include "superposer_fixture.h"

namespace {

using namespace overlay_test;

TEST_F(Overlay, PreferenceOffCopiesPaddedRowsAndTurnsInvertedOrTopDownInput)
{
    host.preference = false;
    overlay->SetOverlayEnabled(true);
    overlay->SetVerticalFlip(true);  // ignored with the preference off
    SourceConfig c{.width = 101, .height = 37};
    Run(c);
    EXPECT_EQ(37, outHeight);
    EXPECT_EQ(304u * 37u, outSampleSize);
    for (size_t k = 0; k < grab->lengths.size(); ++k) {
        EXPECT_EQ(304 * 37, grab->lengths[k]);
        EXPECT_FALSE(grab->changed[k]) << "frame " << k;
    }

    // Upside-down source: turned on the way. Top-down input: written bottom-up, type height positive.
    overlay->SetSourceInverted(true);
    Run(c);
    View out{grab->frames[0].data(), 101, 37};
    std::vector<BYTE> in = PatternFrame(c);
    View src{in.data(), 101, 37};
    for (int y = 0; y < 37; ++y) {
        for (int x = 0; x < 101; x += 5) {
            ASSERT_TRUE(Same(out.At(x, y), src.At(x, 36 - y))) << x << "," << y;
        }
    }
    overlay->SetSourceInverted(false);
    c.topDown = true;
    Run(c);
    EXPECT_EQ(37, outHeight) << "a top-down input gives a bottom-up output type";
    EXPECT_FALSE(grab->changed[0]) << "the picture stays upright";
    EXPECT_EQ(304 * 37, grab->lengths[0]);
}

TEST_F(Overlay, TextLinesStandWhereThePositionAndAlignmentSay)
{
    overlay->SetOverlayEnabled(true);
    SourceConfig c;
    const std::vector<BYTE> in = PatternFrame(c);
    Run(c, 1);  // sizes the work picture, so that the automatic font size applies
    for (int align = 0; align <= 4; ++align) {
        overlay->SetIncrustRec(TextRec(align, 2));
        ASSERT_EQ(28, overlay->FontHeight());
        Run(c, 1);
        EXPECT_EQ(720 * 3 * 576, grab->lengths[0]);
        int black = 0, white = 0;
        const Box b = ChangedBox(grab->frames[0], in, 720, 576, &black, &white);
        if (align == 4) {
            EXPECT_TRUE(b.Empty()) << "an unknown alignment draws nothing";
            continue;
        }
        const int t1 = MeasureText(L"Quillo", 28, true), t2 = MeasureText(L"Trane", 28, true);
        auto x = [&](int t) { return align == 0 ? 360 : align == 1 ? 360 - t / 2 : align == 2 ? 360 - t : (720 - t) / 2; };
        // Line 1 stands one font height above the point, line 2 starts at it; border 2, 2 px slack.
        const int left = std::min(x(t1), x(t2)) - 4, right = std::max(x(t1) + t1, x(t2) + t2) + 4;
        EXPECT_GE(b.left, left) << "align " << align;
        EXPECT_LE(b.right, right) << "align " << align;
        EXPECT_GE(b.top, 288 - 28 - 4);
        EXPECT_LE(b.bottom, 288 + 28 + 4);
        // Both lines are drawn: changes above and below the point, near both ends of the box.
        EXPECT_LT(b.top, 288 - 14);
        EXPECT_GT(b.bottom, 288 + 14);
        EXPECT_LE(b.left, left + 8);
        EXPECT_GE(b.right, right - 8);
        EXPECT_GT(black, 200) << "black outline";
        EXPECT_GT(white, 100) << "white text";
    }
    // The point at the right edge with right alignment: the text ends there.
    auto rec = TextRec(2, 0);
    rec.Xpos = 1500;  // clamped to 1000
    rec.Ypos = -5;    // clamped to 0: line 1 lies above the picture, line 2 at the top
    overlay->SetIncrustRec(rec);
    EXPECT_EQ(1000, overlay->XPos());
    EXPECT_EQ(0, overlay->YPos());
    EXPECT_EQ(1500, overlay->IncrustRec().Xpos);
    Run(c, 1);
    const Box b = ChangedBox(grab->frames[0], in, 720, 576);
    ASSERT_FALSE(b.Empty());
    EXPECT_LE(b.top, 8) << "line 2 starts at the top (its glyphs a little lower)";
    EXPECT_LE(b.bottom, 30) << "line 1 lies above the picture";
    EXPECT_GE(b.right, 700);
    EXPECT_GE(b.left, 720 - MeasureText(L"Trane", 28, true) - 2);
}

TEST_F(Overlay, BorderAndAutomaticFontSize)
{
    SourceConfig c;
    const std::vector<BYTE> in = PatternFrame(c);
    // Before any stream the picture has no size: 16 pixels.
    overlay->SetIncrustRec(TextRec(0, 0));
    EXPECT_EQ(16, overlay->FontHeight());
    overlay->SetOverlayEnabled(true);
    Run(c, 1);
    overlay->SetIncrustRec(TextRec(0, 0));
    EXPECT_EQ(28, overlay->FontHeight());
    Run(c, 1);
    int black0 = 0, white0 = 0;
    const Box plain = ChangedBox(grab->frames[0], in, 720, 576, &black0, &white0);
    EXPECT_EQ(0, black0) << "no outline with border 0";
    EXPECT_GT(white0, 100);
    EXPECT_LE(plain.bottom - plain.top, 2 * 28 + 2);
    overlay->SetIncrustRec(TextRec(0, 2));
    Run(c, 1);
    int black2 = 0;
    const Box outlined = ChangedBox(grab->frames[0], in, 720, 576, &black2);
    EXPECT_GT(black2, 200);
    EXPECT_GE(plain.left - outlined.left, 1);
    EXPECT_GE(outlined.right - plain.right, 1);

    // A record font size in points (no automatic size): 21 points at 96 pixels per inch.
    auto fixed = TextRec(0, 0);
    fixed.Autofontsize = false;
    fixed.FontRec.Size = 21;
    overlay->SetIncrustRec(fixed);
    EXPECT_EQ(28, overlay->FontHeight());
    // 320 pixels wide: 320 x 28 / 720 = 12, so 16.
    SourceConfig narrow{.width = 320, .height = 240};
    Run(narrow, 1);
    overlay->SetIncrustRec(TextRec(0, 0));
    EXPECT_EQ(16, overlay->FontHeight());
}

TEST_F(Overlay, FlipsAndMirrorTurnThePicture)
{
    for (SourceConfig c : {SourceConfig{.width = 64, .height = 48}, SourceConfig{.width = 33, .height = 21}}) {
        const std::vector<BYTE> in = PatternFrame(c);
        View src{in.data(), c.width, c.height};
        struct Case {
            bool v, h, inverted;
        };
        for (Case k : {Case{true, false, false}, Case{false, true, false}, Case{true, true, false},
                       Case{true, false, true}}) {
            overlay->SetVerticalFlip(k.v);
            overlay->SetHorizontalFlip(k.h);
            overlay->SetSourceInverted(k.inverted);
            Run(c, 1);
            EXPECT_EQ(Stride(c.width) * c.height, grab->lengths[0]);
            View out{grab->frames[0].data(), c.width, c.height};
            const bool turned = k.v != k.inverted;
            int wrong = 0;
            for (int y = 0; y < c.height; ++y) {
                for (int x = 0; x < c.width; ++x) {
                    const int sx = k.h ? c.width - 1 - x : x, sy = turned ? c.height - 1 - y : y;
                    wrong += Same(out.At(x, y), src.At(sx, sy)) ? 0 : 1;
                }
            }
            EXPECT_EQ(0, wrong) << c.width << " v" << k.v << " h" << k.h << " inv" << k.inverted;
        }
    }
}

TEST_F(Overlay, TextModesWithoutADetectorShowNA)
{
    overlay->SetOverlayEnabled(true);
    SourceConfig c{.width = 160, .height = 120, .frames = 1};
    auto rec = TextRec(0, 1);
    rec.FormatDate1 = L"yyyy";
    rec.FormatDate2 = L"'Y'yy";
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::wstring year = std::to_wstring(now.wYear);
    struct Case {
        int what;
        const wchar_t *incrust1, *line1, *line2;
    };
    const std::wstring yy = L"Y" + std::wstring(year.end() - 2, year.end());
    for (Case k : {Case{0, L"", L"N/A", L"N/A"}, Case{1, L"", L"", L"N/A"}, Case{3, L"", year.c_str(), yy.c_str()},
                   Case{4, L"", L"", L""}}) {
        rec.WhatIncrust = static_cast<std::uint8_t>(k.what);
        overlay->SetIncrustRec(rec);
        Run(c, 1);
        EXPECT_EQ(k.line1, overlay->Lines().first) << k.what;
        EXPECT_EQ(k.line2, overlay->Lines().second) << k.what;
        EXPECT_EQ(k.what != 4, grab->changed[0]) << "mode 4 draws nothing";
    }
    rec.WhatIncrust = 2;
    rec.Incrust1 = L"%d|%T|%r|%d";
    rec.Incrust2 = L"[%R]";
    overlay->SetIncrustRec(rec);
    Run(c, 1);
    EXPECT_EQ(L"N/A|N/A|" + year + L"|N/A", overlay->Lines().first);
    EXPECT_EQ(L"[" + yy + L"]", overlay->Lines().second);
}

TEST_F(Overlay, DetectorEntryGivesTheDateAndTimecodeOfTheFrameShown)
{
    auto* detector = new Tqz_SceneDetect;
    auto detectorHeld = Hold(detector);
    // Entries at 0 and 40 ms dated, at 80 ms undated.
    FeedDetector(detector, {DVFrame(true), DVFrame(true), DVFrame(false)});
    overlay->SetSceneDetector(detector);
    overlay->SetOverlayEnabled(true);
    auto rec = TextRec(0, 1);
    rec.Incrust1 = L"%D %t";
    rec.Incrust2 = L"%d";
    rec.FormatDate1 = L"yyyy'-'mm'-'dd hh'h'nn";
    rec.FormatDate2 = L"dd";
    rec.DecalageHoraire = 1.0;  // one day later
    overlay->SetIncrustRec(rec);
    // The source's frames start at 0 and 40 ms: the second one shows ring entry 2 (40 ms).
    Run(SourceConfig{.width = 160, .height = 120, .frames = 2}, 1);
    EXPECT_EQ(2, detector->RingReadIndex.load());
    EXPECT_EQ(L"2021-06-16 10h20 1:02:03:04", overlay->Lines().first);
    EXPECT_EQ(L"16", overlay->Lines().second);
    // A frame at 80 ms and later shows the undated entry.
    Run(SourceConfig{.width = 160, .height = 120, .frames = 1, .start = 800000}, 1);
    EXPECT_EQ(3, detector->RingReadIndex.load());
    EXPECT_EQ(L"N/A 1:02:03:04", overlay->Lines().first);
    overlay->SetSceneDetector(nullptr);
}

TEST(OverlayFilter, MediaTypesAndMalformedFormats)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        auto* overlay = new Tqz_Superposer;
        auto held = Hold(overlay);
        ftest::MediaType mt;
        ftest::MakeRgb24(mt, 720, 576);
        EXPECT_EQ(S_OK, overlay->CheckInputType(&mt));
        mt.subtype = MEDIASUBTYPE_RGB32;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, overlay->CheckInputType(&mt));
        mt.subtype = MEDIASUBTYPE_RGB24;
        mt.cbFormat = 8;  // truncated format block
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, overlay->CheckInputType(&mt));
        mt.cbFormat = sizeof(VIDEOINFOHEADER);
        reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth = -4;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, overlay->CheckInputType(&mt));
        AM_MEDIA_TYPE out{};
        EXPECT_EQ(E_INVALIDARG, overlay->GetMediaType(-1, &out));
        EXPECT_EQ(VFW_S_NO_MORE_ITEMS, overlay->GetMediaType(1, &out));
        EXPECT_EQ(VFW_E_NOT_CONNECTED, overlay->GetMediaType(0, &out));
        EXPECT_EQ(L"Marbrecq qz_Superposer", std::wstring(kSuperposerFilterName));
        CLSID id{};
        ComPtr<IPersist> persist;
        ASSERT_EQ(S_OK, held.As(&persist));
        persist->GetClassID(&id);
        EXPECT_EQ(CLSID_qz_Superposer, id);

        // A frame shorter than its format is not read past its end and not delivered.
        BITMAPINFOHEADER h{};
        h.biSize = sizeof(h);
        h.biWidth = 33;
        h.biHeight = 21;
        h.biBitCount = 24;
        h.biPlanes = 1;
        ASSERT_TRUE(overlay->SetupFrame(h));
        std::vector<BYTE> in(100, 0x40), outBuf(Stride(33) * 21);
        long length = -1;
        EXPECT_EQ(S_FALSE, overlay->ProcessFrame(in.data(), static_cast<long>(in.size()), false, 0, outBuf.data(),
                                                 static_cast<long>(outBuf.size()), length));
        EXPECT_EQ(0, length);
    }
    CoUninitialize();
}

TEST(OverlayDates, FormatsBySpecifiers)
{
    const double d = 44362.0 + (10 * 3600 + 5 * 60 + 9) / 86400.0;  // 15 June 2021 10:05:09, a Tuesday
    EXPECT_EQ(L"2021-06-15 10h05 09", FormatOverlayDateTime(L"yyyy'-'mm'-'dd hh'h'nn ss", d));
    EXPECT_EQ(L"21 6 15 10 5 9", FormatOverlayDateTime(L"yy m d h n s", d));
    EXPECT_EQ(L"10:05 = 10:05", FormatOverlayDateTime(L"hh\":\"mm \"=\" hh\":\"nn", d)) << "m after h is minutes";
    EXPECT_EQ(L"10 am", FormatOverlayDateTime(L"h am/pm", d));
    EXPECT_EQ(L"", FormatOverlayDateTime(L"", d));
    SYSTEMTIME st{2021, 6, 2, 15, 10, 5, 9, 0};
    wchar_t buffer[64];
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 64);
    EXPECT_EQ(std::wstring(buffer), FormatOverlayDateTime(L"ddddd", d));
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, 64);
    EXPECT_EQ(std::wstring(buffer), FormatOverlayDateTime(L"tt", d));
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDAYNAME2, buffer, 64);  // Tuesday
    EXPECT_EQ(std::wstring(buffer), FormatOverlayDateTime(L"dddd", d));
    EXPECT_EQ(L"", FormatOverlayDateTime(L"yyyy", 1e12)) << "no date: empty";
}

}  // namespace
