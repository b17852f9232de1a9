// The built program's sources, started from a copy in a temporary folder with the stand-in devices:
// it opens previewing the stored camera (its colour bars on the screen, moving), lists a camera
// registered while it runs and drops it again on the device-change notification, switches to the
// camcorder from the sources panel's list and previews it, and starts the next time with the
// source it closed with. HKCU\Software\Marbrecq is set aside around the runs and put back.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/app/program_support.h"
#include "tests/app/screen_pixels.h"
#include "tests/ui/store_helpers.h"

namespace {

using namespace quill_test;

const wchar_t kCaption[] = L"Quillotrane 6.0.5En by Marbrecq";
const wchar_t kCamera[] = L"Quillotrane Test Camera";
const wchar_t kSecondCamera[] = L"Quillotrane Test Camera Two";
const wchar_t kCamcorderVideo[] = L"DV Source - Video";
// The stand-in camera's class.
const CLSID kCameraClass = {0x51a7e0c1, 0x3b6d, 0x4e2a, {0x9c, 0x58, 0x2f, 0x41, 0xd6, 0xa7, 0xb3, 0x01}};
constexpr DWORD kTimeoutMs = 60000;

// The sources panel's video list: the combo box of the main window that holds "no video stream".
BOOL CALLBACK FindVideoList(HWND Window, LPARAM Data) {
    // The program's combo boxes have window classes of their own, named after the control.
    wchar_t kind[64] = {};
    GetClassNameW(Window, kind, 64);
    if (std::wstring(kind).find(L"ComboBox") == std::wstring::npos) return TRUE;
    if (SendMessageW(Window, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"no video stream")) ==
        CB_ERR)
        return TRUE;
    *reinterpret_cast<HWND*>(Data) = Window;
    return FALSE;
}

// Another entry of the stand-in camera in the video input category, listed while it lives.
class ListedCamera {
public:
    ListedCamera() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                         reinterpret_cast<void**>(&mapper_));
        REGFILTER2 filter{};
        filter.dwVersion = 1;
        filter.dwMerit = MERIT_DO_NOT_USE;
        listed_ = mapper_ != nullptr && SUCCEEDED(mapper_->RegisterFilter(kCameraClass, kSecondCamera, nullptr,
                                                                          &CLSID_VideoInputDeviceCategory,
                                                                          kSecondCamera, &filter));
    }
    ~ListedCamera() {
        Remove();
        if (mapper_ != nullptr) mapper_->Release();
        CoUninitialize();
    }
    bool Listed() const { return listed_; }
    void Remove() {
        if (listed_) mapper_->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kSecondCamera, kCameraClass);
        listed_ = false;
    }

private:
    IFilterMapper2* mapper_ = nullptr;
    bool listed_ = false;
};

class ProgramSourcesTest : public ::testing::Test {
protected:
    MarbrecqKeyGuard registry_{L"Software\\QuillotraneSourcesAppBackup"};

    void SetUp() override {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        folder_ = std::wstring(base) + L"quill-app-sources-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        exe_ = folder_ + L"Quillotrane.exe";
        ini_ = folder_ + L"Quillotrane.ini";
        ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), exe_.c_str(), FALSE)) << "error " << GetLastError();
    }
    void TearDown() override {
        Close();
        DeleteFileW(ini_.c_str());
        DeleteFileW(exe_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    // Starts the program and waits for its main window and its video list.
    bool Start() {
        std::wstring commandLine = L"\"" + exe_ + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                            &startup, &process_))
            return false;
        CloseHandle(process_.hThread);
        WaitFor([&] { return (main_ = FindProcessWindow(process_.dwProcessId, kCaption)) != nullptr; });
        if (main_ == nullptr) return false;
        // The lists are filled on the first idle.
        return WaitFor([&] {
            videoList_ = nullptr;
            EnumChildWindows(main_, FindVideoList, reinterpret_cast<LPARAM>(&videoList_));
            return videoList_ != nullptr;
        });
    }
    // Posts WM_CLOSE and waits for the end; true when the program ended by itself with code 0.
    bool Close() {
        if (process_.hProcess == nullptr) return true;
        if (main_ != nullptr) PostMessageW(main_, WM_CLOSE, 0, 0);
        const bool ended = WaitForSingleObject(process_.hProcess, kTimeoutMs) == WAIT_OBJECT_0;
        if (!ended) TerminateProcess(process_.hProcess, 1);
        DWORD code = 1;
        GetExitCodeProcess(process_.hProcess, &code);
        CloseHandle(process_.hProcess);
        process_ = PROCESS_INFORMATION{};
        main_ = nullptr;
        return ended && code == 0;
    }

    bool Listed(const wchar_t* Name) {
        return SendMessageW(videoList_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(Name)) !=
               CB_ERR;
    }
    // The selected item's text (a drop-down list has no text of its own).
    std::wstring Selected() {
        const LRESULT index = SendMessageW(videoList_, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) return std::wstring();
        wchar_t text[256] = {};
        if (SendMessageW(videoList_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) >= 255) return std::wstring();
        SendMessageW(videoList_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        return text;
    }
    // The video area: the main window's right part, where the video column stands by default.
    RECT VideoArea() {
        RECT rect{};
        GetWindowRect(main_, &rect);
        rect.left += (rect.right - rect.left) * 2 / 5;
        rect.bottom -= (rect.bottom - rect.top) / 4;
        return rect;
    }
    // The picture moves: two looks at the video area differ, and both show much of Colour.
    bool PreviewShows(DWORD Colour) {
        return WaitFor([&] {
            const std::vector<DWORD> first = GrabScreen(VideoArea());
            Sleep(300);
            const std::vector<DWORD> second = GrabScreen(VideoArea());
            return first != second && CountColour(first, Colour) > 2000 && CountColour(second, Colour) > 2000;
        });
    }

    std::wstring folder_;
    std::wstring exe_;
    std::wstring ini_;
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
    HWND videoList_ = nullptr;
};

// The camera's cyan bar (0x00FFFF) is there and moving.
constexpr DWORD kCyan = 0x00FFFF;

TEST_F(ProgramSourcesTest, OpensWithTheStoredCameraFollowsDeviceChangesAndSwitchesToTheCamcorder) {
    WriteIniLines(ini_, {kIniSection, std::wstring(L"Source video=") + kCamera, L"Source Audio=Quillotrane Test Microphone",
                         L"Capture Format=5", L"Preview Locked=0"});
    ASSERT_TRUE(Start()) << "no main window with its sources";
    EXPECT_EQ(kCamera, Selected());
    EXPECT_TRUE(PreviewShows(kCyan)) << "the camera's picture is not previewed";

    {
        ListedCamera second;
        ASSERT_TRUE(second.Listed());
        PostMessageW(main_, WM_DEVICECHANGE, 7, 0);
        EXPECT_TRUE(WaitFor([&] { return Listed(kSecondCamera); })) << "the new camera is not listed";
        second.Remove();
        PostMessageW(main_, WM_DEVICECHANGE, 7, 0);
        EXPECT_TRUE(WaitFor([&] { return !Listed(kSecondCamera); })) << "the camera that went is still listed";
    }
    EXPECT_EQ(kCamera, Selected());
    EXPECT_TRUE(PreviewShows(kCyan));

    // The camcorder chosen in the list as a user would.
    const LRESULT index = SendMessageW(videoList_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(kCamcorderVideo));
    ASSERT_NE(CB_ERR, index) << "the camcorder is not listed";
    SendMessageW(videoList_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(videoList_), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(videoList_), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(videoList_));
    EXPECT_TRUE(WaitFor([&] { return Selected() == kCamcorderVideo; }));
    const std::vector<DWORD> before = GrabScreen(VideoArea());
    EXPECT_TRUE(WaitFor([&] {
        const std::vector<DWORD> first = GrabScreen(VideoArea());
        Sleep(300);
        return first != GrabScreen(VideoArea()) && first != before;
    })) << "the camcorder's picture is not previewed";
    ASSERT_TRUE(Close()) << "the program did not end after WM_CLOSE";

    // The next start opens with the camcorder.
    EXPECT_EQ(kCamcorderVideo, IniValue(ReadIniLines(ini_), L"Source video"));
    ASSERT_TRUE(Start());
    EXPECT_EQ(kCamcorderVideo, Selected());
    EXPECT_TRUE(Close());
}

}  // namespace
