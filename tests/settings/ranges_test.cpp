// Settings from a hostile store: every value with a range is loaded into it (the registry's values
// go through the same parameters), and the next save writes what was loaded; the overlay record's
// fields and the frame rate by their own rules; and a quarter of a million excluded sources in one
// setting, and as many foreign lines in the INI file, load, save and read back whole.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "settings/overlay_records.h"
#include "settings/settings_catalogue.h"
#include "tests/settings/catalogue_support.h"

namespace {

using namespace settings;
using namespace catalogue_test;

constexpr int kEntries = 250000;

// Each value beyond what its control offers, and what it loads as.
struct Hostile {
    const wchar_t* key;
    const wchar_t* stored;
    const wchar_t* loaded;
};
const Hostile kHostile[] = {
    {L"Volume", L"2147483647", L"10000"},
    {L"Qualit\u00e9 JPeg", L"2147483647", L"100"},
    {L"Valeur Intervallom\u00e8tre", L"-5", L"0"},
    {L"Extension des images", L"2", L"0"},
    {L"Version wmv", L"2147483647", L"2"},
    {L"Profile wmv", L"-2147483648", L"1"},
    {L"Unit\u00e9s Intervallom\u00e8tre", L"4", L"0"},
    {L"Panneau Actif", L"255", L"0"},
    {L"Aspect ratio", L"4", L"0"},
    {L"Ratio DivX", L"255", L"0"},
    {L"When Incrust", L"255", L"0"},
    {L"Standard DV", L"2", L"0"},
    {L"RatioDV", L"258", L"0"},  // the low byte, 2: no ratio
    {L"FrequenceDV", L"4", L"3"},
    {L"Raccourcis Sort", L"4", L"0"},
    {L"Capture Format", L"13", L"10"},
    {L"Framerate", L"1e308", L"18"},
    {L"IncrustRec\\BorderSize", L"2147483647", L"5"},
    {L"IncrustRec\\FontRec\\FontSize", L"2147483647", L"500"},
    {L"IncrustRec\\Xpos", L"2147483647", L"1000"},
    {L"IncrustRec\\Ypos", L"-2147483648", L"0"},
    {L"IncrustRec\\What Incrust", L"255", L"0"},
    {L"IncrustRec\\Alignement", L"4", L"2"},
    {L"IncrustRec\\Decalage Horaire", L"1e308", L"3652059"},
};

std::wstring Value(const std::vector<std::wstring>& lines, const std::wstring& key) {
    for (const std::wstring& line : lines)
        if (line.compare(0, key.size() + 1, key + L"=") == 0) return line.substr(key.size() + 1);
    return L"<missing>";
}

class RangesTest : public CatalogueTest {};

TEST_F(RangesTest, HostileIniValuesLoadIntoTheRangesOfTheirControlsAndAreSavedSo) {
    std::vector<std::wstring> lines{L"[\\Software\\Marbrecq\\Quillotrane]"};
    for (const Hostile& h : kHostile) lines.push_back(std::wstring(h.key) + L"=" + h.stored);
    WriteUtf16File(IniName(), lines);
    Start();
    ASSERT_EQ(smPortable, StorageMode());
    EXPECT_EQ(10000, ParamVolume->Value());
    EXPECT_EQ(100, ParamQualiteJPeg->Value());
    EXPECT_EQ(0, ParamPanneauActif->Value());
    EXPECT_EQ(18.0, ParamFramerate->Value());
    const TincrustRec& rec = ParamIncrustRec->Value();
    EXPECT_EQ(5, rec.BorderSize);
    EXPECT_EQ(kMaxFontSize, rec.FontRec.Size);
    EXPECT_EQ(1000, rec.Xpos);
    EXPECT_EQ(0, rec.Ypos);
    EXPECT_EQ(L"Arial", rec.FontRec.Name) << "the fields without a range keep what they read";

    ASSERT_TRUE(SaveParameters());
    const auto saved = ReadUtf16Lines(IniName());
    for (const Hostile& h : kHostile) EXPECT_EQ(h.loaded, Value(saved, h.key)) << testing::PrintToString(h.key);
    Start();
    EXPECT_EQ(10000, ParamVolume->Value());
    EXPECT_EQ(5, ParamIncrustRec->Value().BorderSize);
}

TEST(FramerateRange, FromAFrameInAlmostTwelveHoursToJustBelowTwoMillionFramesASecond) {
    EXPECT_TRUE(FramerateValid(18.0));
    EXPECT_TRUE(FramerateValid(0.00024));
    EXPECT_TRUE(FramerateValid(1999999.0));
    EXPECT_FALSE(FramerateValid(0.0002));     // a time scale beyond 32 bits
    EXPECT_FALSE(FramerateValid(2000000.0));  // a time scale of 0
    EXPECT_FALSE(FramerateValid(0.0));
    EXPECT_FALSE(FramerateValid(-18.0));
    EXPECT_FALSE(FramerateValid(1e308));
    EXPECT_FALSE(FramerateValid(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(FramerateValid(std::numeric_limits<double>::quiet_NaN()));
}

TEST(OverlayRecordRange, QuantitiesTakeTheNearestBoundChoicesAndEmptySizesTheDefault) {
    TincrustRec rec = DefaultIncrustRec();
    EXPECT_EQ(rec, IncrustRecInRange(rec)) << "a record in range is kept whole";
    rec.BorderSize = -1;
    rec.Xpos = -5;
    rec.Ypos = 1001;
    rec.FontRec.Size = -12;
    rec.WhatIncrust = 4;
    rec.Alignement = 255;
    rec.DecalageHoraire = -1e9;
    rec.FontRec.Color = -1;
    rec.Incrust1 = L"%D";
    const TincrustRec in = IncrustRecInRange(rec);
    EXPECT_EQ(0, in.BorderSize);
    EXPECT_EQ(0, in.Xpos);
    EXPECT_EQ(1000, in.Ypos);
    EXPECT_EQ(21, in.FontRec.Size);
    EXPECT_EQ(0, in.WhatIncrust);
    EXPECT_EQ(2, in.Alignement);
    EXPECT_EQ(-kMaxTimeShift, in.DecalageHoraire);
    EXPECT_EQ(-1, in.FontRec.Color) << "colours are kept as they are";
    EXPECT_EQ(L"%D", in.Incrust1);
    rec.DecalageHoraire = std::numeric_limits<double>::quiet_NaN();
    rec.BorderSize = 6;
    EXPECT_EQ(0.0, IncrustRecInRange(rec).DecalageHoraire);
    EXPECT_EQ(5, IncrustRecInRange(rec).BorderSize);
    EXPECT_EQ(3, BorderSizeInRange(3));
    EXPECT_EQ(5, BorderSizeInRange(2147483647));
}

TEST(OverlayRecordRange, TheFilterDrawsBorderAndFontSizeWithinTheirRangesAndKeepsTheRest) {
    TincrustRec rec = DefaultIncrustRec();
    rec.BorderSize = 2147483647;
    rec.FontRec.Size = -2147483647 - 1;
    rec.Xpos = 1500;
    rec.WhatIncrust = 4;
    const TincrustRec drawn = DrawableIncrustRec(rec);
    EXPECT_EQ(kMaxBorderSize, drawn.BorderSize);
    EXPECT_EQ(-kMaxFontSize, drawn.FontRec.Size) << "a height in pixels keeps its sign";
    EXPECT_EQ(1500, drawn.Xpos) << "the filter keeps the position as given and clamps where it draws";
    EXPECT_EQ(4, drawn.WhatIncrust) << "nothing to draw";
    rec.FontRec.Size = 36;
    rec.BorderSize = 0;
    EXPECT_EQ(36, DrawableIncrustRec(rec).FontRec.Size);
    EXPECT_EQ(0, DrawableIncrustRec(rec).BorderSize);
}

// The excluded sources as one text of 250,000 lines, and as many foreign lines in the file: all
// read, written and read back as they were, in both stores.
class LongLists : public CatalogueTest, public ::testing::WithParamInterface<TStorageMode> {};

TEST_P(LongLists, AQuarterMillionExcludedSourcesAndForeignLinesAreKeptWhole) {
    std::wstring excluded;
    for (int i = 0; i < kEntries; ++i) excluded += L"Source " + std::to_wstring((i * 7919) % kEntries) + L"\r\n";
    std::vector<std::wstring> foreign{L"[Foreign]"};
    for (int i = 0; i < kEntries; ++i) foreign.push_back(L"entry" + std::to_wstring(i) + L"=x");
    std::vector<std::wstring> lines{L"[\\Software\\Marbrecq\\Quillotrane]", L"Volume=12"};
    if (GetParam() == smPortable) {
        lines.insert(lines.end(), foreign.begin(), foreign.end());
        WriteUtf16File(IniName(), lines);
    }
    Start();
    ParamSourcesExclues->SetValue(excluded);
    SetStorageMode(GetParam());
    ASSERT_TRUE(SaveParameters());
    Start();
    ASSERT_EQ(GetParam(), StorageMode());
    EXPECT_TRUE(ParamSourcesExclues->Value() == excluded) << "the list read back differs";
    if (GetParam() != smPortable) return;
    EXPECT_EQ(12, ParamVolume->Value());
    const auto saved = ReadUtf16Lines(IniName());
    ASSERT_GE(saved.size(), foreign.size());
    EXPECT_TRUE(std::equal(foreign.begin(), foreign.end(), saved.end() - static_cast<std::ptrdiff_t>(foreign.size())))
        << "the foreign section stays whole, after the program's own";
}

INSTANTIATE_TEST_SUITE_P(BothStores, LongLists, ::testing::Values(smRegistry, smPortable),
                         [](const auto& info) { return info.param == smRegistry ? "Registry" : "Ini"; });

}  // namespace
