// What the command line and scripts ask for before a close is done before it: a picture grabbed
// and then "quit" (on the command line or in a script) is written, decodes, and the program ends
// with exit code 0; "quit" alone closes too; a close that comes while the program is still starting
// up is carried out once the start-up is over, never lost. Each case runs three times in a row, as
// the order of the program's messages differs from run to run.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/e2e/recordings_fixture.h"

namespace {

using namespace e2e_fixture;

constexpr int kRuns = 3;

// A whole picture file: a 24-bit .bmp whose header's sizes agree with the file, or a JPEG with its
// start and end markers; either decodes whole.
::testing::AssertionResult IsWholePicture(const std::wstring& Path) {
    std::string bytes;
    if (HANDLE h = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        h != INVALID_HANDLE_VALUE) {
        bytes.resize(GetFileSize(h, nullptr));
        DWORD got = 0;
        if (!bytes.empty() && !ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
        bytes.resize(got);
        CloseHandle(h);
    }
    const auto u8 = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const auto u32 = [&](size_t i) { return u8(i) | u8(i + 1) << 8 | u8(i + 2) << 16 | static_cast<std::uint32_t>(u8(i + 3)) << 24; };
    if (bytes.size() >= 54 && bytes[0] == 'B' && bytes[1] == 'M') {
        const std::uint32_t width = u32(18), height = u32(22), bits = u8(28) | u8(29) << 8;
        const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
        if (u32(2) != bytes.size() || bits != 24 || width == 0 || height == 0 || height > 0x7FFFFFFF ||
            u32(10) + stride * height > bytes.size())
            return ::testing::AssertionFailure() << "a BMP header that does not fit the file";
    } else if (bytes.size() < 128 || u8(0) != 0xFF || u8(1) != 0xD8 || u8(bytes.size() - 2) != 0xFF ||
               u8(bytes.size() - 1) != 0xD9) {
        return ::testing::AssertionFailure() << "neither a BMP nor a whole JPEG file (" << bytes.size() << " bytes)";
    }
    const quill_test::TUnixResult run = quill_test::DecodeWhole(Path);
    if (run.Ran && run.ExitCode == 0 && run.Err.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << run.Failure << run.Err;
}

struct TFind {
    DWORD process;
    const wchar_t* text;
    HWND found;
};

BOOL CALLBACK FindTitled(HWND Window, LPARAM Data) {
    auto* find = reinterpret_cast<TFind*>(Data);
    DWORD process = 0;
    GetWindowThreadProcessId(Window, &process);
    wchar_t text[128] = {};
    GetWindowTextW(Window, text, 128);
    if ((find->process != 0 && process != find->process) || std::wcscmp(text, find->text) != 0) return TRUE;
    find->found = Window;
    return FALSE;
}

// The main window of the process as soon as it bears its title, shown yet or not (nullptr when
// there is none).
HWND TitledMainWindow(DWORD Process) {
    TFind find{Process, e2e::kMainCaption, nullptr};
    EnumWindows(FindTitled, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// The button captioned Caption inside Window, at any depth.
HWND ButtonOf(HWND Window, const wchar_t* Caption) {
    TFind find{0, Caption, nullptr};
    EnumChildWindows(Window, FindTitled, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

class AskedBeforeClose : public EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        ASSERT_TRUE(CreateDirectoryW(Pictures().c_str(), nullptr)) << "the picture folder";
    }
    std::wstring Pictures() const { return copy_.Folder() + L"pictures\\"; }
    std::wstring Picture(const wchar_t* Extension) const { return Pictures() + L"shot_00000" + Extension; }
    void RemovePictures() const {
        DeleteFileW(Picture(L".bmp").c_str());
        DeleteFileW(Picture(L".jpg").c_str());
    }
};

TEST_F(AskedBeforeClose, AGrabThenQuitOnTheCommandLineWritesThePictureFirst) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        RemovePictures();
        TProgram program;
        ASSERT_TRUE(program.Launch(copy_.Exe(), Arg(std::wstring(L"+source_video=") + kCamera) + L" +g +q"));
        EXPECT_TRUE(program.WaitEnd()) << "the program ends by itself, with exit code 0";
        EXPECT_TRUE(IsWholePicture(Picture(L".bmp")));
    }
}

TEST_F(AskedBeforeClose, AScriptOfJpegGrabQuitWritesThePictureFirst) {
    std::vector<std::wstring> settings = RecordingSettings();
    settings.push_back(std::wstring(L"Source video=") + kCamera);
    ASSERT_TRUE(copy_.WriteSettings(settings));
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        RemovePictures();
        TProgram program;
        ASSERT_NO_FATAL_FAILURE(Start(program));
        ASSERT_NO_FATAL_FAILURE(Script(program, {L"jpeg", L"grab", L"quit"}));
        EXPECT_TRUE(program.WaitEnd()) << "the program ends by itself, with exit code 0";
        EXPECT_TRUE(IsWholePicture(Picture(L".jpg")));
        EXPECT_EQ("mjpeg", quill_test::Probe(Picture(L".jpg")).Stream(0, "codec_name")) << "a JPEG picture";
        EXPECT_FALSE(e2e::FileExists(Picture(L".bmp")));
    }
}

TEST_F(AskedBeforeClose, QuitAloneClosesTheProgram) {
    ASSERT_TRUE(copy_.WriteSettings(RecordingSettings()));
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        {
            TProgram program;
            ASSERT_TRUE(program.Launch(copy_.Exe(), L"+quit"));
            EXPECT_TRUE(program.WaitEnd()) << "\"+quit\" on the command line";
        }
        {
            TProgram program;
            ASSERT_NO_FATAL_FAILURE(Start(program));
            ASSERT_NO_FATAL_FAILURE(Script(program, {L"quit"}));
            EXPECT_TRUE(program.WaitEnd()) << "a script holding only \"quit\"";
        }
    }
}

// A new user closes the window the moment it appears, while the program is still finding its
// devices and starting the preview: the close is carried out once the start-up is over (the
// storage question comes with the sources listed, and its answer ends the program).
TEST_F(AskedBeforeClose, ACloseDuringTheStartUpIsCarriedOutWhenItEnds) {
    constexpr int kCloses = 6;
    for (int run = 0; run < kCloses; ++run) {
        SCOPED_TRACE(run);
        RegDeleteTreeW(HKEY_CURRENT_USER, quill_test::kMakerKey);
        ASSERT_FALSE(e2e::FileExists(copy_.Ini()));
        TProgram program;
        ASSERT_TRUE(program.Launch(copy_.Exe()));
        HWND window = nullptr;
        const ULONGLONG start = GetTickCount64();
        while ((window = TitledMainWindow(program.ProcessId())) == nullptr && program.Running() &&
               GetTickCount64() - start < e2e::kTimeoutMs)
            Sleep(1);
        ASSERT_NE(nullptr, window) << "the main window never came";
        PostMessageW(window, WM_CLOSE, 0, 0);
        HWND question = nullptr;
        EXPECT_TRUE(e2e::WaitFor([&] {
            return (question = program.FindWindowCaptioned(e2e::kStorageCaption)) != nullptr || !program.Running();
        })) << "the close was lost";
        ASSERT_NE(nullptr, question) << "the program ended without asking where to keep the settings";
        EXPECT_TRUE(TProgram::SourcesListed(window)) << "the close came before the start-up was over";
        HWND none = ButtonOf(question, L"None");
        ASSERT_NE(nullptr, none);
        PostMessageW(none, BM_CLICK, 0, 0);
        EXPECT_TRUE(program.WaitEnd()) << "the answer ends the program, with exit code 0";
        EXPECT_FALSE(e2e::FileExists(copy_.Ini())) << "nothing stored";
    }
}

}  // namespace
