// The overlay's outlined text drawn the quick way against the same lines drawn draw by draw through
// GDI: the same pixels, for many texts, fonts, sizes, styles, colours, alignments, borders and
// positions, also where the text is cut by the picture's edges.
#include <gtest/gtest.h>

#include "filters/overlay_composer.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace filters;

// A busy background: every channel changes from pixel to pixel, with dark and bright areas.
void Paint(TRgbPicture& picture, int seed)
{
    GdiFlush();
    for (int y = 0; y < picture.Height(); ++y) {
        BYTE* row = picture.ScanLine(y);
        for (int x = 0; x < picture.Width(); ++x) {
            row[x * 3] = static_cast<BYTE>((x * 7 + y * 3 + seed) % 256);
            row[x * 3 + 1] = static_cast<BYTE>((x * 3 + y * 11 + seed * 5) % 256);
            row[x * 3 + 2] = static_cast<BYTE>(((x / 9 + y / 7) % 2) * 200 + (x + y) % 56);
        }
    }
}

std::vector<BYTE> Pixels(const TRgbPicture& picture)
{
    GdiFlush();
    std::vector<BYTE> out;
    for (int y = 0; y < picture.Height(); ++y) {
        out.insert(out.end(), picture.ScanLine(y), picture.ScanLine(y) + picture.Width() * 3);
    }
    return out;
}

struct Case {
    const wchar_t* font;
    int size;  // points; 0: automatic size
    bool bold, italic, underline, strikeOut;
    COLORREF color;
    int border;
    int align;
    int xpos, ypos;
    const wchar_t* line1;
    const wchar_t* line2;
};

// Draws the case both ways on the same background; answers the differing pixels and how many
// lines went the quick way.
int Differences(TOverlayComposer& composer, const Case& k, int& quick)
{
    settings::TincrustRec rec = settings::DefaultIncrustRec();
    rec.FontRec.Name = k.font;
    rec.FontRec.Size = k.size;
    rec.Autofontsize = k.size == 0;
    rec.FontRec.Bold = k.bold;
    rec.FontRec.Italic = k.italic;
    rec.FontRec.Underline = k.underline;
    rec.FontRec.StrikeOut = k.strikeOut;
    rec.FontRec.Color = static_cast<std::int32_t>(k.color);
    rec.BorderSize = k.border;
    rec.Alignement = static_cast<std::uint8_t>(k.align);
    rec.Xpos = k.xpos;
    rec.Ypos = k.ypos;
    composer.SetRecord(rec);
    composer.SetLines(k.line1, k.line2);
    Paint(composer.Work(), k.xpos + k.border);
    composer.DrawLinesByGdi();
    const std::vector<BYTE> reference = Pixels(composer.Work());
    Paint(composer.Work(), k.xpos + k.border);
    composer.DrawLines();
    quick = composer.QuickLines();
    const std::vector<BYTE> ours = Pixels(composer.Work());
    int wrong = 0;
    for (size_t i = 0; i < ours.size(); i += 3) {
        wrong += std::memcmp(&ours[i], &reference[i], 3) != 0 ? 1 : 0;
    }
    return wrong;
}

TEST(OverlayText, QuickOutlineGivesTheSamePixelsAsDrawByDraw)
{
    TOverlayComposer composer;
    ASSERT_TRUE(composer.SetFrameSize(360, 288));
    const Case cases[] = {
        {L"Arial", 0, true, false, false, false, RGB(255, 255, 255), 2, 2, 900, 900, L"Holidays 2021 - scene 12", L"2021-06-15 10:20:30"},
        {L"Arial", 0, true, false, false, false, RGB(255, 255, 255), 0, 0, 100, 500, L"No border", L"Wgjpq|"},
        {L"Arial", 0, true, false, false, false, RGB(255, 255, 0), 1, 1, 500, 500, L"Centred 1:02:03:04", L"%&@#"},
        {L"Arial", 14, false, true, false, false, RGB(255, 40, 40), 5, 3, 0, 300, L"Italic, border five", L"Ffjy"},
        {L"Times New Roman", 20, false, false, true, false, RGB(0, 255, 128), 2, 0, 50, 200, L"Underlined serif", L"Ågård ßü"},
        {L"Courier New", 11, true, false, false, true, RGB(200, 200, 255), 1, 2, 1000, 1000, L"Struck out mono", L"0123456789"},
        {L"Tahoma", 9, false, false, false, false, RGB(0, 0, 0), 2, 0, 0, 0, L"Black on black outline", L"tiny"},
        // Cut by the edges: left, right, top and bottom, and wholly outside.
        {L"Arial", 0, true, false, false, false, RGB(255, 255, 255), 2, 2, 0, 50, L"Cut at the left edge", L"and above"},
        {L"Arial", 24, true, true, false, false, RGB(255, 255, 255), 5, 0, 950, 1000, L"Cut at the right", L"and below"},
        {L"Arial", 0, false, false, false, false, RGB(128, 128, 128), 2, 0, 1000, 1000, L"Outside", L"wholly"},
        {L"Arial", 0, true, false, false, false, RGB(255, 255, 255), 2, 1, 500, 40, L"", L"Only the second line"},
        {L"Arial", 40, true, false, false, false, RGB(255, 255, 255), 2, 3, 0, 600,
         L"A line much wider than the picture itself, cut on both sides", L"W"},
    };
    for (const Case& k : cases) {
        int quick = -1;
        EXPECT_EQ(0, Differences(composer, k, quick)) << "font " << static_cast<int>(k.size) << " border " << k.border
                                                      << " align " << k.align << " at " << k.xpos << "," << k.ypos;
        EXPECT_EQ(2, quick) << "both lines the quick way (an empty one leaves no ink)";
    }
    // Texts that change every frame (clock, timecode) keep to the learnt blending: no new learning
    // once the font's levels are known.
    const Case clock = {L"Arial", 0, true, false, false, false, RGB(255, 255, 255), 2, 2, 900, 900, L"", L""};
    int quick = 0;
    Differences(composer, clock, quick);
    const int learnt = composer.Learnings();
    for (int second = 0; second < 40; ++second) {
        const std::wstring text = L"10:20:" + std::to_wstring(10 + second) + L" 1:02:03:" + std::to_wstring(second % 25);
        Case k = clock;
        k.line1 = text.c_str();
        k.line2 = L"2021-06-15";
        ASSERT_EQ(0, Differences(composer, k, quick)) << std::string(text.begin(), text.end());
        EXPECT_EQ(2, quick);
    }
    EXPECT_LE(composer.Learnings(), learnt + 2) << "the levels of one font are learnt once";
}

TEST(OverlayText, WideBordersAndHostileTextsStayCorrect)
{
    TOverlayComposer composer;
    ASSERT_TRUE(composer.SetFrameSize(200, 120));
    // A border wider than the quick drawing takes goes through GDI, with the same result.
    const Case wide = {L"Arial", 9, false, false, false, false, RGB(255, 255, 255), 17, 0, 100, 600, L"wide", L"x"};
    int quick = -1;
    EXPECT_EQ(0, Differences(composer, wide, quick));
    EXPECT_EQ(0, quick);
    // A very long text and a font that does not exist (the system picks another) are drawn too.
    const std::wstring longText(5000, L'W');
    const Case hostile = {L"No such font at all", 10, false, false, false, false, RGB(255, 0, 255), 1, 1, 500, 500,
                          longText.c_str(), L"\x263A\x00E9\x4E2D"};
    EXPECT_EQ(0, Differences(composer, hostile, quick));
    // An alignment outside 0..3 draws nothing either way.
    Case none = wide;
    none.border = 2;
    none.align = 7;
    EXPECT_EQ(0, Differences(composer, none, quick));
    EXPECT_EQ(0, quick);
}

TEST(OverlayText, LinesDrawnIntoTheOutputBufferMatchTheWorkPictureDrawing)
{
    // A frame composed straight into a bottom-up output buffer, with a line the quick way and, with
    // a border too wide for it, through the work picture and back.
    const int w = 160, h = 96;
    const TFrameLayout layout{w, h, false};
    std::vector<BYTE> frame(static_cast<size_t>(layout.ImageSize()));
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<BYTE>(i * 31 / 7);
    }
    for (int border : {2, 17}) {
        TOverlayComposer composer;
        ASSERT_TRUE(composer.SetFrameSize(w, h));
        settings::TincrustRec rec = settings::DefaultIncrustRec();
        rec.BorderSize = border;
        rec.Autofontsize = true;
        rec.Xpos = 100;
        rec.Ypos = 700;
        composer.SetRecord(rec);
        composer.SetLines(L"Line one", L"2021-06-15");
        std::vector<BYTE> out(frame.size(), 0);
        const TPictureView view = BottomUpView(out.data(), w, h);
        ASSERT_TRUE(composer.LoadFrame(frame.data(), static_cast<long>(frame.size()), layout, true, true, view));
        composer.DrawLines(view);
        EXPECT_EQ(border == 2 ? 2 : 0, composer.QuickLines());
        ASSERT_TRUE(composer.LoadFrame(frame.data(), static_cast<long>(frame.size()), layout, true, true));
        composer.DrawLinesByGdi();
        std::vector<BYTE> expected(frame.size(), 0);
        WriteBottomUp(composer.Work(), expected.data());
        EXPECT_TRUE(out == expected) << "border " << border;
        EXPECT_FALSE(out == frame) << "the frame was turned, mirrored and written on";
    }
}

}  // namespace
