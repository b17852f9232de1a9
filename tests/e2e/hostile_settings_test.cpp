// The program started beside hostile portable settings: an excluded-sources list of a quarter of a
// million entries, and values far outside every range (positions, volume, frame rate, the overlay's
// font and border sizes, the picture quality, the panel number). Each run starts and previews,
// closes with exit code 0 and writes its settings, and the next start reads them back and closes
// as cleanly. HKCU\Software\Marbrecq is set aside around the runs and put back.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "tests/app/program_support.h"
#include "tests/e2e/program_driver.h"
#include "tests/ui/store_helpers.h"

namespace {

using e2e::TProgram;
using e2e::TProgramFolder;

const wchar_t kCamera[] = L"Quillotrane Test Camera";
// How a line break inside a value is kept in the INI file (CR LF as U+001F).
const wchar_t kStoredLineBreak = L'\x1F';
constexpr int kExcludedEntries = 250000;

class HostileSettings : public ::testing::Test {
protected:
    quill_test::MarbrecqKeyGuard registry_{L"Software\\QuillotraneHostileBackup"};
    TProgramFolder copy_{quill_test::ProgramPath(), L"hostile"};

    void SetUp() override { ASSERT_TRUE(copy_.Ready()) << "the program could not be copied"; }

    // One run: started, previewing the camera, closed with exit code 0; the settings file is
    // written anew by the close.
    void RunAndClose() {
        ASSERT_TRUE(DeleteSaveStamp());
        TProgram program;
        ASSERT_TRUE(program.Start(copy_.Exe())) << testing::PrintToString(program.Failure());
        EXPECT_TRUE(e2e::WaitFor([&] { return program.VideoSource() == kCamera; })) << program.VideoSource();
        EXPECT_TRUE(program.PreviewMoves()) << "the camera is previewed";
        EXPECT_TRUE(program.Close()) << "the close ends with exit code 0";
        EXPECT_FALSE(program.Running());
        lines_ = e2e::ReadLines(copy_.Ini());
        EXPECT_NE(L"<missing>", Stored(L"DerniereSauvegarde")) << "the close wrote the settings";
    }
    // Takes the save stamp out of the settings file, so that the next close shows it wrote it.
    bool DeleteSaveStamp() {
        std::vector<std::wstring> kept;
        for (const std::wstring& line : e2e::ReadLines(copy_.Ini()))
            if (line.rfind(L"DerniereSauvegarde=", 0) != 0) kept.push_back(line);
        return e2e::WriteUtf16Lines(copy_.Ini(), kept);
    }
    std::wstring Stored(const std::wstring& Key) const { return e2e::IniValue(lines_, Key); }
    long StoredNumber(const std::wstring& Key) const { return std::wcstol(Stored(Key).c_str(), nullptr, 10); }

    std::vector<std::wstring> lines_;
};

// A quarter of a million excluded entries naming one device: the help panel lists it once,
// unchecked, and that is what the close keeps; the next start reads it back.
TEST_F(HostileSettings, AQuarterMillionExcludedEntriesAreOneExcludedDeviceAndTheCloseEnds) {
    std::wstring excluded;
    excluded.reserve(kExcludedEntries * 4);
    for (int i = 0; i < kExcludedEntries; ++i) excluded += std::wstring(L"dev") + kStoredLineBreak;
    ASSERT_TRUE(copy_.WriteSettings({std::wstring(L"Source video=") + kCamera, L"Sources Exclues=" + excluded}));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first start" : "next start");
        ASSERT_NO_FATAL_FAILURE(RunAndClose());
        EXPECT_EQ(std::wstring(L"dev") + kStoredLineBreak, Stored(L"Sources Exclues"));
    }
}

// Values beyond every range: each is brought to the nearest value its control offers, or to its
// default, at the start; the overlay draws its (limited) border, and the close ends.
TEST_F(HostileSettings, HugeValuesAreBroughtIntoTheirRangesAndTheCloseEnds) {
    ASSERT_TRUE(copy_.WriteSettings({std::wstring(L"Source video=") + kCamera,
                                     L"Top=2147483647",
                                     L"Left=-2147483648",
                                     L"Volume=2147483647",
                                     L"Camform 1 left=99999999",
                                     L"Camform 1 top=-99999999",
                                     L"Camform 2 left=-2147483648",
                                     L"Camform 2 top=2147483647",
                                     L"Framerate=1e308",
                                     L"Want Incrust=1",
                                     L"Activer Superposition=1",
                                     L"IncrustRec\\What Incrust=3",
                                     L"IncrustRec\\Autofontsize=0",
                                     L"IncrustRec\\FontRec\\FontSize=2147483647",
                                     L"IncrustRec\\BorderSize=2147483647",
                                     L"IncrustRec\\Xpos=2147483647",
                                     L"IncrustRec\\Ypos=-2147483648",
                                     L"IncrustRec\\Decalage Horaire=1e308",
                                     L"Dur\u00e9e Incruster=2147483647",
                                     L"When Incrust=255",
                                     L"Qualit\u00e9 JPeg=2147483647",
                                     L"Extension des images=2147483647",
                                     L"Panneau Actif=255",
                                     L"Valeur Intervallom\u00e8tre=2147483647",
                                     L"Unit\u00e9s Intervallom\u00e8tre=-2147483648",
                                     L"Version wmv=2147483647",
                                     L"Profile wmv=-2147483648",
                                     L"Aspect ratio=255",
                                     L"Ratio DivX=255",
                                     L"Standard DV=255",
                                     L"RatioDV=255"}));
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first start" : "next start");
        ASSERT_NO_FATAL_FAILURE(RunAndClose());
        // The window lands on the screen.
        RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
        screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
        for (const wchar_t* key : {L"Top", L"Camform 1 top", L"Camform 2 top"}) {
            EXPECT_GE(StoredNumber(key), screen.top) << testing::PrintToString(key);
            EXPECT_LT(StoredNumber(key), screen.bottom) << testing::PrintToString(key);
        }
        for (const wchar_t* key : {L"Left", L"Camform 1 left", L"Camform 2 left"}) {
            EXPECT_GE(StoredNumber(key), screen.left) << testing::PrintToString(key);
            EXPECT_LT(StoredNumber(key), screen.right) << testing::PrintToString(key);
        }
        EXPECT_EQ(L"10000", Stored(L"Volume"));
        EXPECT_EQ(L"18", Stored(L"Framerate"));
        EXPECT_EQ(L"5", Stored(L"IncrustRec\\BorderSize"));
        EXPECT_EQ(L"1000", Stored(L"IncrustRec\\Xpos"));
        EXPECT_EQ(L"0", Stored(L"IncrustRec\\Ypos"));
        EXPECT_EQ(L"100", Stored(L"Qualit\u00e9 JPeg"));
        EXPECT_EQ(L"0", Stored(L"Panneau Actif"));
        EXPECT_EQ(L"0", Stored(L"When Incrust"));
    }
}

}  // namespace
