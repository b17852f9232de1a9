// Settings catalogue: the stored layout of all eighty settings in the registry and the INI file,
// the storage-mode choice at start, save-then-load of every value, the position defaults, the two
// delete operations, and bad stored data. The program's registry key is saved before each test and
// put back after it; the executable the store sees lives in a temporary folder.
#include "settings/settings_catalogue.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "classlib/format.h"
#include "settings/settings_host.h"
#include "tests/settings/catalogue_support.h"

namespace {

using namespace settings;
using namespace catalogue_test;

// --- The catalogue -------------------------------------------------------------------------------

using Expected = std::variant<std::int64_t, double, bool, std::wstring>;
struct Setting {
    const wchar_t* key;
    char kind;  // I integer, R double, W text, B Boolean, E enumeration, C overlay record
    Expected def;
    TParameter* global;
};

int ScreenTop(int mainHeight) { return (GetSystemMetrics(SM_CYSCREEN) - mainHeight) / 2; }
int ScreenLeft(int mainWidth) { return (GetSystemMetrics(SM_CXSCREEN) - mainWidth) / 2; }

// The eighty settings in registration order with their defaults, read after CreateParameters.
std::vector<Setting> Catalogue(const std::wstring& dir) {
    const int top = ScreenTop(kMainHeight);
    const int left = ScreenLeft(kMainWidth);
    return {
        {L"Top", 'I', std::int64_t{top}, ParamTop},
        {L"Left", 'I', std::int64_t{left}, ParamLeft},
        {L"Volume", 'I', std::int64_t{5000}, ParamVolume},
        {L"Camform 1 left", 'I', std::int64_t{left}, ParamCamform1Left},
        {L"Camform 2 left", 'I', std::int64_t{left}, ParamCamform2Left},
        {L"Camform 1 top", 'I', std::int64_t{top + kMainHeight}, ParamCamform1Top},
        {L"Camform 2 top", 'I', std::int64_t{top + kMainHeight}, ParamCamform2Top},
        {L"Standard DV", 'E', std::int64_t{0}, ParamStandardDV},
        {L"Profile wmv", 'I', std::int64_t{1}, ParamProfileWmv},
        {L"FrequenceDV", 'E', std::int64_t{3}, ParamFrequenceDV},
        {L"RatioDV", 'E', std::int64_t{0}, ParamRatioDV},
        {L"Ratio DivX", 'E', std::int64_t{0}, ParamRatioDivX},
        {L"Correction Sync", 'I', std::int64_t{0}, ParamCorrectionSync},
        {L"Framerate", 'R', double{18.0}, ParamFramerate},
        {L"IncrustRec", 'C', std::int64_t{0}, ParamIncrustRec},
        {L"Dur\u00e9e Incruster", 'I', std::int64_t{5}, ParamDureeIncruster},
        {L"When Incrust", 'E', std::int64_t{0}, ParamWhenIncrust},
        {L"No Datecode", 'W', std::wstring(L"N/A"), ParamNoDatecode},
        {L"D\u00e9calage Horaire", 'R', double{0.0}, ParamDecalageHoraire},
        {L"D\u00e9calage avanc\u00e9", 'B', false, ParamDecalageAvance},
        {L"Extension des images", 'I', std::int64_t{0}, ParamExtensionDesImages},
        {L"Qualit\u00e9 JPeg", 'I', std::int64_t{50}, ParamQualiteJPeg},
        {L"Version wmv", 'I', std::int64_t{2}, ParamVersionWmv},
        {L"Valeur Intervallom\u00e8tre", 'I', std::int64_t{10}, ParamValeurIntervallometre},
        {L"Unit\u00e9s Intervallom\u00e8tre", 'I', std::int64_t{0}, ParamUnitesIntervallometre},
        {L"Panneau Actif", 'E', std::int64_t{0}, ParamPanneauActif},
        {L"Aspect ratio", 'E', std::int64_t{0}, ParamAspectRatio},
        {L"WideScreen", 'B', false, ParamWideScreen},
        {L"Plugins Dir", 'W', dir, ParamPluginsDir},
        {L"Video Directory", 'W', std::wstring(kVideoDir) + L"\\", ParamVideoDirectory},
        {L"Video Racine", 'W', std::wstring(L"Video"), ParamVideoRacine},
        {L"Image Directory", 'W', std::wstring(kPicturesDir), ParamImageDirectory},
        {L"Image Racine", 'W', std::wstring(L"Image"), ParamImageRacine},
        {L"Pelorin", 'W', std::wstring(kPelorinPath), ParamPelorin},
        {L"Source video", 'W', std::wstring(L"N/A"), ParamSourceVideo},
        {L"Source Audio", 'W', std::wstring(L"N/A"), ParamSourceAudio},
        {L"Capture Format", 'E', std::int64_t{10}, ParamCaptureFormat},
        {L"Audio Type", 'W', std::wstring(L""), ParamAudioType},
        {L"Sound Card Entry", 'W', std::wstring(L"Line In"), ParamSoundCardEntry},
        {L"Profil Windows media", 'W', std::wstring(L"N/A"), ParamProfilWindowsMedia},
        {L"Preferred  wmv profile", 'W', std::wstring(L""), ParamPreferredWmvProfile},
        {L"Default Profile", 'B', true, ParamDefaultProfile},
        {L"Divx favori", 'W', std::wstring(L""), ParamDivxFavori},
        {L"Want Mp3", 'B', true, ParamWantMp3},
        {L"Frequence DV native", 'B', true, ParamFrequenceDVNative},
        {L"Garder Format DV", 'B', false, ParamGarderFormatDV},
        {L"Demi Taille", 'B', true, ParamDemiTaille},
        {L"Notifier", 'B', true, ParamNotifier},
        {L"Internal Deinterlacer", 'B', true, ParamInternalDeinterlacer},
        {L"EcranGauche", 'B', true, ParamEcranGauche},
        {L"Preview Locked", 'B', true, ParamPreviewLocked},
        {L"Activer Superposition", 'B', true, ParamActiverSuperposition},
        {L"Want Incrust", 'B', false, ParamWantIncrust},
        {L"Want vert Flip", 'B', false, ParamWantVertFlip},
        {L"Want Horz flip", 'B', false, ParamWantHorzFlip},
        {L"Want Widescreen", 'B', false, ParamWantWidescreen},
        {L"Want video source", 'W', std::wstring(L""), ParamWantVideoSource},
        {L"Want audio source", 'W', std::wstring(L""), ParamWantAudioSource},
        {L"Want Format capture", 'W', std::wstring(L""), ParamWantFormatCapture},
        {L"Raccourcis Sort", 'E', std::int64_t{0}, ParamRaccourcisSort},
        {L"Fullscreen On", 'B', false, ParamFullscreenOn},
        {L"Reduced on", 'B', false, ParamReducedOn},
        {L"Mute On", 'B', true, ParamMuteOn},
        {L"Stopper camera DV 1 en quittant", 'B', true, ParamStopperCameraDV1EnQuittant},
        {L"Stopper camera DV 2 en quittant", 'B', true, ParamStopperCameraDV2EnQuittant},
        {L"Video Date", 'B', true, ParamVideoDate},
        {L"Image date", 'B', false, ParamImageDate},
        {L"Show Video Pilot DV", 'B', true, ParamShowVideoPilotDV},
        {L"Show Audio Pilot DV", 'B', true, ParamShowAudioPilotDV},
        {L"Sauver pr\u00e9f\u00e9rences en quittant", 'B', true, ParamSauverPreferencesEnQuittant},
        {L"Confirmer Image", 'B', true, ParamConfirmerImage},
        {L"Confirmer Video", 'B', true, ParamConfirmerVideo},
        {L"Mpeg2 Ratio Normal", 'B', true, ParamMpeg2RatioNormal},
        {L"Scn", 'B', false, ParamScn},
        {L"DV demi si DivX", 'B', true, ParamDVDemiSiDivX},
        {L"Beeps", 'B', false, ParamBeeps},
        {L"Sources Exclues", 'W', std::wstring(L""), ParamSourcesExclues},
        {L"Video Input Select", 'I', std::int64_t{-1}, ParamVideoInputSelect},
        {L"Freeze Preview", 'B', false, ParamFreezePreview},
        {L"Freeze Capture", 'B', false, ParamFreezeCapture},
    };
}

const wchar_t* const kRecordFields[] = {
    L"Incrust1",          L"Incrust2",           L"FormatDate1",        L"FormatDate2",
    L"Decalage Horaire",  L"FontRec\\FontName",  L"FontRec\\FontSize",  L"FontRec\\FontColor",
    L"FontRec\\FontBold", L"FontRec\\FontItalic", L"FontRec\\FontUnderline", L"FontRec\\FontStrikeOut",
    L"Autofontsize",      L"BorderSize",         L"What Incrust",       L"Alignement",
    L"BorderColor",       L"Xpos",               L"Ypos"};

std::wstring IniText(const Setting& s) {
    switch (s.kind) {
    case 'I':
    case 'E': return std::to_wstring(std::get<std::int64_t>(s.def));
    case 'R': return std::get<double>(s.def) == 18.0 ? L"18" : L"0";
    case 'B': return std::get<bool>(s.def) ? L"1" : L"0";
    default: {
        const std::wstring& t = std::get<std::wstring>(s.def);
        return t.empty() ? kMarker : t;
    }
    }
}

TEST_F(CatalogueTest, RegistryLayoutOfAllEightySettings) {
    Start();
    EXPECT_EQ(smNone, StorageMode());  // nothing stored yet
    const auto settings = Catalogue(dir_);
    ASSERT_EQ(80, ParameterList()->Count());
    for (int i = 0; i < 80; ++i) {
        ASSERT_EQ(ParameterList()->Parameters(i), settings[i].global) << i;
        EXPECT_EQ(settings[i].key, settings[i].global->Name()) << i;
    }
    SetStorageMode(smRegistry);
    ASSERT_TRUE(SaveParameters());

    DWORD values = 0, keys = 0;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kProgramKey, 0, KEY_READ, &key));
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    EXPECT_EQ(82u, values);  // 79 settings + Signature, DerniereSauvegarde, ExeName
    EXPECT_EQ(1u, keys);     // IncrustRec

    EXPECT_EQ(L"Quillotrane test signature", SzText(QueryRaw(kProgramKey, L"Signature")));
    EXPECT_EQ(host_.exe, SzText(QueryRaw(kProgramKey, L"ExeName")));
    EXPECT_EQ(22u, SzText(QueryRaw(kProgramKey, L"DerniereSauvegarde")).size());

    for (const Setting& s : settings) {
        SCOPED_TRACE(testing::Message() << "key #" << (&s - &settings[0]));
        const RawValue v = QueryRaw(kProgramKey, s.key);
        if (s.kind == 'C') {  // a sub-key, its font record a sub-key of it
            EXPECT_FALSE(v.found);
            EXPECT_TRUE(KeyExists(std::wstring(kProgramKey) + L"\\IncrustRec\\FontRec"));
            continue;
        }
        ASSERT_TRUE(v.found);
        RawValue want{true, REG_DWORD, {}};
        auto bytes = [&](const void* p, size_t n) { want.data.assign(static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + n); };
        if (s.kind == 'R') {
            want.type = REG_BINARY;
            bytes(&std::get<double>(s.def), 8);
        } else if (s.kind == 'W') {
            want.type = REG_SZ;
            const std::wstring t = std::get<std::wstring>(s.def).empty() ? kMarker : std::get<std::wstring>(s.def);
            bytes(t.c_str(), (t.size() + 1) * 2);
        } else {
            const std::int32_t n = s.kind == 'B' ? std::get<bool>(s.def) : static_cast<std::int32_t>(std::get<std::int64_t>(s.def));
            bytes(&n, 4);
        }
        EXPECT_EQ(want.type, v.type);
        EXPECT_EQ(want.data, v.data);
    }
}

TEST_F(CatalogueTest, IniLayoutKeysInRegistrationOrder) {
    Start();
    SetStorageMode(smPortable);
    ASSERT_TRUE(SaveParameters());
    const auto lines = ReadUtf16Lines(IniName());
    ASSERT_EQ(1u + 3u + 79u + 19u, lines.size());
    EXPECT_EQ(L"[\\Software\\Marbrecq\\Quillotrane]", lines[0]);
    EXPECT_EQ(L"Signature=Quillotrane test signature", lines[1]);
    EXPECT_EQ(0u, lines[2].find(L"DerniereSauvegarde="));
    EXPECT_EQ(L"ExeName=" + host_.exe, lines[3]);
    size_t at = 4;
    for (const Setting& s : Catalogue(dir_)) {
        if (s.kind == 'C') {
            for (const wchar_t* field : kRecordFields) {
                const std::wstring name = std::wstring(L"IncrustRec\\") + field;
                EXPECT_EQ(name, lines[at].substr(0, lines[at].find(L'='))) << at;
                ++at;
            }
            continue;
        }
        EXPECT_EQ(std::wstring(s.key) + L"=" + IniText(s), lines[at]) << at;
        ++at;
    }
}

TEST_F(CatalogueTest, StorageModeIsChosenAtStart) {
    // Nothing stored: not saved.
    Start();
    EXPECT_EQ(smNone, StorageMode());

    // A registry entry naming this executable in another letter case: the registry.
    std::wstring upper = host_.exe;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    ASSERT_NE(upper, host_.exe);
    SetSz(kProgramKey, L"ExeName", upper);
    Start();
    EXPECT_EQ(smRegistry, StorageMode());

    // Another copy's entry: not saved, and that copy's key is left alone.
    SetSz(kProgramKey, L"Exename", L"D:\\Other\\Quillotrane.exe");
    SetDword(kProgramKey, L"Volume", 77);
    Start();
    EXPECT_EQ(smNone, StorageMode());
    EXPECT_EQ(5000, ParamVolume->Value());
    EXPECT_EQ(L"D:\\Other\\Quillotrane.exe", SzText(QueryRaw(kProgramKey, L"Exename")));

    // An INI file beside the executable wins, even over a matching registry entry.
    SetSz(kProgramKey, L"Exename", host_.exe);
    WriteUtf16File(IniName(), {L"[\\Software\\Marbrecq\\Quillotrane]", L"Volume=12"});
    Start();
    EXPECT_EQ(smPortable, StorageMode());
    EXPECT_EQ(12, ParamVolume->Value());
}

TEST_F(CatalogueTest, PositionDefaultsFollowTheScreenAndTheMainWindow) {
    Start();
    const int top = ScreenTop(kMainHeight);
    EXPECT_EQ(top, ParamTop->Value());
    EXPECT_EQ(top + kMainHeight, ParamCamform1Top->Default());
    EXPECT_EQ(top + kMainHeight, ParamCamform2Top->Value());
    EXPECT_EQ(ScreenLeft(kMainWidth), ParamLeft->Value());
    EXPECT_EQ(ScreenLeft(kMainWidth), ParamCamform2Left->Value());
    if (GetSystemMetrics(SM_CYSCREEN) == 1024) {  // the test display
        EXPECT_EQ(282, ParamTop->Value());
        EXPECT_EQ(741, ParamCamform1Top->Value());
    }
    // A window larger than the screen: the division rounds toward zero.
    host_.width = GetSystemMetrics(SM_CXSCREEN) + 3;
    host_.height = GetSystemMetrics(SM_CYSCREEN) + 5;
    Start();
    EXPECT_EQ(-1, ParamLeft->Value());
    EXPECT_EQ(-2, ParamTop->Value());
    EXPECT_EQ(-2 + host_.height, ParamCamform1Top->Value());
}

TEST_F(CatalogueTest, FailingLookupsStillCreateEveryParameter) {
    host_.fail = true;
    Start();
    EXPECT_EQ(smNone, StorageMode());
    ASSERT_EQ(80, ParameterList()->Count());
    for (const Setting& s : Catalogue(dir_)) EXPECT_NE(nullptr, s.global);
    EXPECT_EQ(L"", ParamPluginsDir->Value());
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2, ParamTop->Value());

    SetSettingsHost(nullptr);  // no host at all: the command line's program name
    Start();
    ASSERT_EQ(80, ParameterList()->Count());
    EXPECT_NE(nullptr, ParamFreezeCapture);
    EXPECT_EQ(smNone, StorageMode());
}

template <typename P, typename V>
void SetOrExpect(bool check, P* p, const V& v) {
    if (check)
        EXPECT_EQ(v, p->Value());
    else
        p->SetValue(v);
}

// The highest value of a one-byte enumeration parameter; 255 for any other parameter.
std::uint8_t EnumMax(TParameter* p) {
    std::uint8_t max = 255;
    auto take = [&](auto* typed) {
        if (typed != nullptr) max = typed->kMax;
    };
    take(dynamic_cast<TframeNumberParameter*>(p));
    take(dynamic_cast<TAspectRatioParameter*>(p));
    take(dynamic_cast<TWhenIncrustParameter*>(p));
    take(dynamic_cast<TFormatCaptureParameter*>(p));
    take(dynamic_cast<TstandardDVParameter*>(p));
    take(dynamic_cast<TFrequenceDVParameter*>(p));
    take(dynamic_cast<TRatioDVParameter*>(p));
    take(dynamic_cast<TRaccourcisSortParameter*>(p));
    return max;
}

// Gives every parameter a value other than its default (or, with check, expects that value).
void ChangeEveryValue(bool check) {
    auto text = [](int i) { return L"v\u00e9 \u0416 " + std::to_wstring(i); };
    for (int i = 0; i < ParameterList()->Count(); ++i) {
        TParameter* p = ParameterList()->Parameters(i);
        SCOPED_TRACE(testing::Message() << "parameter #" << i);
        if (p == ParamNoDatecode || p == ParamVideoRacine) {
            // Emptied: the shown text stays empty, the file stem falls back to its default.
            auto* w = static_cast<TWideStringParameter*>(p);
            if (check)
                EXPECT_EQ(p == ParamNoDatecode ? L"" : L"Video", w->Value());
            else
                w->SetValue(L"");
        } else if (auto* n = dynamic_cast<TIntegerParameter*>(p)) {
            // Within a range: the next value after the default, round to the lowest.
            const std::int32_t v = n->HasRange() ? n->Min() + (n->Default() - n->Min() + 1) % (n->Max() - n->Min() + 1)
                                                 : n->Default() + 1000 + i;
            SetOrExpect(check, n, v);
        } else if (auto* r = dynamic_cast<TRealParameter*>(p)) {
            const double v = r->Default() + 0.25 + i;
            SetOrExpect(check, r, v);
        } else if (auto* w = dynamic_cast<TWideStringParameter*>(p)) {
            SetOrExpect(check, w, text(i));
        } else if (auto* b = dynamic_cast<TBooleanParameter*>(p)) {
            SetOrExpect(check, b, !b->Default());
        } else if (auto* c = dynamic_cast<TincrustRecParameter*>(p)) {
            TincrustRec rec{text(1), text(2), L"yyyy", L"", -0.5,
                            TfontRecord{L"Courier New", 33, 0x123456, true, true, true, true},
                            false, 4, 3, 1, 0x00FF00, 100, 200};
            SetOrExpect(check, c, rec);
        } else {
            // The one-byte enumerations: the next value within each one's range.
            auto* e = dynamic_cast<TValueParameter<std::uint8_t>*>(p);
            ASSERT_NE(nullptr, e);
            const std::uint8_t max = EnumMax(p);
            ASSERT_LT(max, 255);
            const auto v = static_cast<std::uint8_t>((e->Default() + 1) % (max + 1));
            SetOrExpect(check, e, v);
        }
    }
}

class CatalogueRoundTrip : public CatalogueTest, public ::testing::WithParamInterface<TStorageMode> {};

TEST_P(CatalogueRoundTrip, SaveThenLoadGivesBackEveryValue) {
    Start();
    ChangeEveryValue(false);
    SetStorageMode(GetParam());
    ASSERT_TRUE(SaveParameters());
    Start();  // a new start finds the store it wrote
    EXPECT_EQ(GetParam(), StorageMode());
    ChangeEveryValue(true);
}

INSTANTIATE_TEST_SUITE_P(BothStores, CatalogueRoundTrip, ::testing::Values(smRegistry, smPortable),
                         [](const auto& info) { return info.param == smRegistry ? "Registry" : "Ini"; });

TEST_F(CatalogueTest, DeleteRegistrySettingsKeepsTheMakersKeyWhileAnotherSubKeyRemains) {
    Start();
    SetStorageMode(smRegistry);
    ASSERT_TRUE(SaveParameters());
    ASSERT_TRUE(KeyExists(std::wstring(kProgramKey) + L"\\IncrustRec\\FontRec"));
    DeleteRegistrySettings();
    EXPECT_FALSE(KeyExists(kProgramKey));
    EXPECT_TRUE(KeyExists(kPelorinKey));
    EXPECT_EQ(kPelorinPath, SzText(QueryRaw(kPelorinKey, L"Exename")));

    // The program's key alone below the maker's: both go.
    RegDeleteTreeW(HKEY_CURRENT_USER, kPelorinKey);
    ASSERT_TRUE(SaveParameters());
    DeleteRegistrySettings();
    EXPECT_FALSE(KeyExists(kMakerKey));
    // Nothing left to delete: nothing happens.
    DeleteRegistrySettings();
    EXPECT_FALSE(KeyExists(kMakerKey));
}

TEST_F(CatalogueTest, DeleteIniSettingsRemovesAReadOnlyFile) {
    WriteUtf16File(IniName(), {L"[\\Software\\Marbrecq\\Quillotrane]", L"Volume=1"});
    ASSERT_TRUE(SetFileAttributesW(IniName().c_str(), FILE_ATTRIBUTE_READONLY));
    DeleteIniSettings();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(IniName().c_str()));
    DeleteIniSettings();  // no file: nothing happens
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(IniName().c_str()));
}

TEST_F(CatalogueTest, BadRegistryDataLoadsDefaultsAndTheNextSaveIsSound) {
    SetSz(kProgramKey, L"Exename", host_.exe);
    SetDword(kProgramKey, L"Capture Format", 13);
    SetDword(kProgramKey, L"Panneau Actif", 200);
    SetDword(kProgramKey, L"FrequenceDV", 0xFFFFFFFFu);
    SetDword(kProgramKey, L"Ratio DivX", 0x12345678u);  // low byte 0x78: no ratio
    const double zero = 0.0;
    SetRaw(kProgramKey, L"Framerate", REG_BINARY, &zero, 8);  // unusable as a frame rate
    SetSz(kProgramKey, L"Volume", L"7");
    SetRaw(kProgramKey, L"Top", REG_BINARY, "\x01\x02", 2);
    SetDword(kProgramKey, L"No Datecode", 1);
    SetSz(kProgramKey, L"Beeps", L"1");
    SetSz(kProgramKey, L"IncrustRec", L"not a key");
    SetSz(kProgramKey, L"Source video", L"%CAMERA%", REG_EXPAND_SZ);
    SetDword(kProgramKey, L"Video Input Select", 0x80000000u);
    SetRaw(kProgramKey, L"Sound Card Entry", REG_SZ, L"Mic!", 7);  // odd size, no terminator
    const double nan = std::numeric_limits<double>::quiet_NaN();
    SetRaw(kProgramKey, L"D\u00e9calage Horaire", REG_BINARY, &nan, 8);
    Start();
    ASSERT_EQ(smRegistry, StorageMode());
    EXPECT_EQ(10, ParamCaptureFormat->Value());
    EXPECT_EQ(0, ParamPanneauActif->Value());
    EXPECT_EQ(3, ParamFrequenceDV->Value());
    EXPECT_EQ(0, ParamRatioDivX->Value());
    EXPECT_EQ(18.0, ParamFramerate->Value());
    EXPECT_EQ(5000, ParamVolume->Value());
    EXPECT_EQ(ScreenTop(kMainHeight), ParamTop->Value());
    EXPECT_EQ(L"N/A", ParamNoDatecode->Value());
    EXPECT_FALSE(ParamBeeps->Value());
    EXPECT_EQ(DefaultIncrustRec(), ParamIncrustRec->Value());
    EXPECT_EQ(L"%CAMERA%", ParamSourceVideo->Value());
    EXPECT_EQ(INT_MIN, ParamVideoInputSelect->Value());
    EXPECT_EQ(0u, ParamSoundCardEntry->Value().find(L"Mic"));
    EXPECT_EQ(0.0, ParamDecalageHoraire->Value());

    ASSERT_TRUE(SaveParameters());
    const RawValue rate = QueryRaw(kProgramKey, L"Framerate");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), rate.type);
    EXPECT_EQ(8u, rate.data.size());
    EXPECT_TRUE(KeyExists(std::wstring(kProgramKey) + L"\\IncrustRec"));
    const std::wstring soundCard = ParamSoundCardEntry->Value();
    Start();
    EXPECT_EQ(18.0, ParamFramerate->Value());
    EXPECT_EQ(5000, ParamVolume->Value());
    EXPECT_EQ(0, ParamRatioDivX->Value());
    EXPECT_EQ(soundCard, ParamSoundCardEntry->Value());
    EXPECT_EQ(DefaultIncrustRec(), ParamIncrustRec->Value());
}

TEST_F(CatalogueTest, BadIniDataLoadsDefaultsAndTheNextSaveKeepsTheRest) {
    WriteUtf16File(IniName(), {L"Top=12", L"garbage without an equals sign", L"[Other]", L"Top=13",
                               L"  [\\Software\\Marbrecq\\Quillotrane]  ", L"=no name", L"Volume=99999999999",
                               L"Capture Format=268", L"Panneau Actif=200", L"FrequenceDV=7", L"Framerate=abc",
                               L"Framerate=5", L"Beeps=yes", L"No Datecode=" + kMarker, L"Video Racine=" + kMarker,
                               L"top=40", L"IncrustRec\\Xpos=oops", L"IncrustRec\\FontRec\\FontName=Tahoma",
                               L"Dur\u00e9e Incruster=-1"});
    Start();
    ASSERT_EQ(smPortable, StorageMode());
    EXPECT_EQ(ScreenTop(kMainHeight), ParamTop->Value());
    EXPECT_EQ(0, ParamVolume->Value());  // a number that does not convert reads as 0
    EXPECT_EQ(12, ParamCaptureFormat->Value());
    EXPECT_EQ(0, ParamPanneauActif->Value());
    EXPECT_EQ(3, ParamFrequenceDV->Value());
    EXPECT_EQ(18.0, ParamFramerate->Value());
    EXPECT_TRUE(ParamBeeps->Value());
    EXPECT_EQ(L"", ParamNoDatecode->Value());
    EXPECT_EQ(L"Video", ParamVideoRacine->Value());
    EXPECT_EQ(L"Tahoma", ParamIncrustRec->Value().FontRec.Name);
    EXPECT_EQ(0, ParamIncrustRec->Value().Xpos);
    EXPECT_EQ(5, ParamDureeIncruster->Value()) << "a duration below 0";

    ASSERT_TRUE(SaveParameters());
    const auto lines = ReadUtf16Lines(IniName());
    EXPECT_TRUE(Contains(lines, L"garbage without an equals sign"));
    EXPECT_TRUE(Contains(lines, L"[Other]"));
    EXPECT_TRUE(Contains(lines, L"Top=13"));
    EXPECT_TRUE(Contains(lines, L"Framerate=18"));
    EXPECT_TRUE(Contains(lines, L"Capture Format=12"));
    EXPECT_TRUE(Contains(lines, L"No Datecode=" + kMarker));
    Start();
    EXPECT_EQ(12, ParamCaptureFormat->Value());
    EXPECT_EQ(18.0, ParamFramerate->Value());
    EXPECT_EQ(L"", ParamNoDatecode->Value());
    EXPECT_EQ(L"Tahoma", ParamIncrustRec->Value().FontRec.Name);
}

}  // namespace
