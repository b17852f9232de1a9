// Parameter model: the load rules that the catalogue tests do not reach (enumerations and integers
// brought into their ranges, a parameter that fails), the save stamp, and the capture-format and DV
// frequency names.
#include "settings/parameters.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/format.h"
#include "settings/settings_catalogue.h"
#include "settings/settings_host.h"

namespace {

using namespace settings;

class TempHost : public ISettingsHost {
public:
    std::wstring exe;
    std::wstring ExeName() const override { return exe; }
    int MainFormWidth() const override { return 640; }
    int MainFormHeight() const override { return 480; }
};

// A parameter whose store refuses it.
class BrokenParameter : public TParameter {
public:
    using TParameter::TParameter;
    void Load() override { throw std::runtime_error("load"); }
    void Save() override { throw std::runtime_error("save"); }
};

// A list of its own, read from an INI file in a temporary folder.
class ParamTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        dir_ = std::wstring(base) + L"quill-params-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(dir_.c_str(), nullptr);
        host_.exe = dir_ + L"Quillotrane.exe";
        previousHost_ = SettingsHost();
        SetSettingsHost(&host_);
        previousMode_ = StorageMode();
        list_.SetKeyPath(kProgramKeyPath);
    }
    void TearDown() override {
        SetStorageMode(previousMode_);
        SetSettingsHost(previousHost_);
        DeleteFileW(IniFileName().c_str());
        RemoveDirectoryW(dir_.c_str());
    }

    template <typename T, typename D>
    T* Add(const wchar_t* name, const D& def) {
        params_.push_back(std::make_unique<T>(name, def, &list_));
        return static_cast<T*>(params_.back().get());
    }
    void LoadIni(std::wstring lines) {
        lines = L"\xFEFF[\\Software\\Marbrecq\\Quillotrane]\r\n" + lines;
        HANDLE h = CreateFileW(IniFileName().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD written = 0;
        WriteFile(h, lines.data(), static_cast<DWORD>(lines.size() * 2), &written, nullptr);
        CloseHandle(h);
        SetStorageMode(smPortable);
        list_.Load();
    }

    TempHost host_;
    ISettingsHost* previousHost_ = nullptr;
    TStorageMode previousMode_ = smNone;
    std::wstring dir_;
    TparameterList list_{L"sig"};
    std::vector<std::unique_ptr<TParameter>> params_;
};

TEST_F(ParamTest, EnumerationsKeepTheLowByteAndAByteBeyondTheirChoicesGivesTheDefault) {
    auto* aspect = Add<TAspectRatioParameter>(L"Aspect", 1);
    auto* aspectWrapped = Add<TAspectRatioParameter>(L"AspectWrapped", 0);
    auto* sort = Add<TRaccourcisSortParameter>(L"Sort", 2);
    auto* when = Add<TWhenIncrustParameter>(L"When", 0);
    auto* standard = Add<TstandardDVParameter>(L"Standard", 0);
    auto* ratio = Add<TRatioDVParameter>(L"Ratio", 0);
    auto* panel = Add<TframeNumberParameter>(L"Panel", 2);
    auto* panelNeg = Add<TframeNumberParameter>(L"PanelNeg", 2);
    auto* missing = Add<TFormatCaptureParameter>(L"Missing", 10);
    missing->SetValue(1);  // a value set before loading does not survive it
    LoadIni(L"Aspect=300\r\nAspectWrapped=259\r\nSort=-1\r\nWhen=3\r\nStandard=2\r\nRatio=1\r\n"
            L"Panel=264\r\nPanelNeg=-1\r\n");
    EXPECT_EQ(1, aspect->Value());         // 300 keeps 44: no ratio
    EXPECT_EQ(3, aspectWrapped->Value());  // 259 keeps 3, the native pixels
    EXPECT_EQ(2, sort->Value());           // 255: no column
    EXPECT_EQ(3, when->Value());
    EXPECT_EQ(0, standard->Value());
    EXPECT_EQ(1, ratio->Value());
    EXPECT_EQ(8, panel->Value());     // 264 keeps 8, a panel
    EXPECT_EQ(2, panelNeg->Value());  // 255 is none
    EXPECT_EQ(10, missing->Value());
    EXPECT_EQ(nullptr, list_.Reader());
}

// A loaded integer outside its range: a quantity takes the nearest bound, a choice its default;
// values set by the program are kept as given, and a parameter without a range takes any number.
TEST_F(ParamTest, IntegersAreLoadedIntoTheirRange) {
    auto* volume = Add<TIntegerParameter>(L"Volume", 5000);
    volume->SetRange(0, 10000);
    auto* quiet = Add<TIntegerParameter>(L"Quiet", 5000);
    quiet->SetRange(0, 10000);
    auto* version = Add<TIntegerParameter>(L"Version", 2);
    version->SetRange(0, 2, TOutOfRange::Default);
    auto* last = Add<TIntegerParameter>(L"Last", 2);
    last->SetRange(0, 2, TOutOfRange::Default);
    auto* unbounded = Add<TIntegerParameter>(L"Unbounded", -1);
    LoadIni(L"Volume=2147483647\r\nQuiet=-2147483648\r\nVersion=3\r\nLast=0\r\nUnbounded=-2147483648\r\n");
    EXPECT_EQ(10000, volume->Value());
    EXPECT_EQ(0, quiet->Value());
    EXPECT_EQ(2, version->Value());
    EXPECT_EQ(0, last->Value());
    EXPECT_EQ(INT_MIN, unbounded->Value());
    volume->SetValue(20000);
    EXPECT_EQ(20000, volume->Value());
    EXPECT_EQ(10000, volume->InRange(20000));
    EXPECT_EQ(2, version->InRange(7));
}

TEST_F(ParamTest, AFailingParameterStopsNeitherTheLoadNorTheSave) {
    auto* before = Add<TIntegerParameter>(L"Before", 1);
    params_.push_back(std::make_unique<BrokenParameter>(L"Broken", &list_));
    auto* after = Add<TWideStringParameter>(L"After", std::wstring(L"d"));
    LoadIni(L"Before=5\r\nAfter=x\r\n");
    EXPECT_EQ(5, before->Value());
    EXPECT_EQ(L"x", after->Value());

    before->SetValue(6);
    after->SetValue(L"y");
    ASSERT_TRUE(list_.Save());
    EXPECT_EQ(nullptr, list_.Writer());
    before->SetValue(0);
    after->SetValue(L"");
    list_.Load();
    EXPECT_EQ(6, before->Value());
    EXPECT_EQ(L"y", after->Value());

    // Without a store every value returns to its default.
    SetStorageMode(smNone);
    list_.Load();
    EXPECT_EQ(1, before->Value());
    EXPECT_EQ(L"d", after->Value());
}

SYSTEMTIME Time(int y, int mo, int d, int h, int mi, int s) {
    return SYSTEMTIME{static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d),
                      static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), 0};
}

TEST(ParamSaveStamp, TwelveHourClockWithTheLocaleSeparators) {
    auto& fs = classlib::FormatSettings();
    const auto saved = fs;
    fs.DateSeparator = L'/';
    fs.TimeSeparator = L':';
    EXPECT_EQ(L"2008/09/25 01:05:09 pm", FormatSaveStamp(Time(2008, 9, 25, 13, 5, 9)));
    EXPECT_EQ(L"2008/01/02 12:00:00 am", FormatSaveStamp(Time(2008, 1, 2, 0, 0, 0)));
    EXPECT_EQ(L"2008/01/02 12:30:00 pm", FormatSaveStamp(Time(2008, 1, 2, 12, 30, 0)));
    fs.DateSeparator = L'-';
    fs.TimeSeparator = L'.';
    EXPECT_EQ(L"2008-12-31 11.59.59 pm", FormatSaveStamp(Time(2008, 12, 31, 23, 59, 59)));
    fs = saved;
}

TEST(ParamNames, CaptureFormatNamesAndTheirReverseMap) {
    const wchar_t* names[] = {L"",     L"dv type 1 natifve", L"dv type 2 native", L"mpeg2 native stream",
                              L"mpeg1 native stream", L"avi native",         L"dv type 2 (recomp)",
                              L"Wmv",  L"Image by Image",    L"DivX",             L"Default", L"Wav", L"mp3"};
    const wchar_t* shortNames[] = {L"",    L"native",         L"native", L"native",  L"native", L"native", L"dv2 rec",
                                   L"Wmv", L"Image by Image", L"DivX",   L"Default", L"Wav",    L"mp3"};
    for (int v = 0; v <= 12; ++v) {
        EXPECT_EQ(names[v], FormatCaptureName(static_cast<TFormatCapture>(v))) << v;
        EXPECT_EQ(shortNames[v], FormatCaptureShortName(static_cast<TFormatCapture>(v))) << v;
        if (v != 0) {
            EXPECT_EQ(v, FormatCaptureFromName(names[v])) << v;
        }
    }
    EXPECT_EQ(L"Default", FormatCaptureName(13));
    EXPECT_EQ(L"Default", FormatCaptureShortName(127));
    EXPECT_EQ(L"mp3", FormatCaptureName(140));  // only the low 7 bits count
    EXPECT_EQ(0, FormatCaptureFromName(L"None"));
    for (const wchar_t* other : {L"Default", L"", L"MP3", L"mp3 "}) EXPECT_EQ(10, FormatCaptureFromName(other));
}

TEST(ParamNames, DvFrequencies) {
    EXPECT_EQ(0, FrequenceDVFromName(L"native"));
    EXPECT_EQ(1, FrequenceDVFromName(L"32000"));
    EXPECT_EQ(2, FrequenceDVFromName(L"44100"));
    EXPECT_EQ(3, FrequenceDVFromName(L"48000"));
    EXPECT_EQ(3, FrequenceDVFromName(L"Native"));
}

}  // namespace
