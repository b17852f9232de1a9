// The built program driven from outside as a user does: started from a copy in a temporary folder,
// found by its main window's caption, typed into, looked at (its shown panel, its client size, a
// screenshot) and closed with WM_CLOSE.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/program_support.h"
#include "tests/common/window_screenshot.h"
#include "tests/ui/store_helpers.h"

namespace quill_test {

constexpr DWORD kTimeoutMs = 60000;
inline const std::wstring kCaption = L"Quillotrane 6.0.5En by Marbrecq";

// One run of the program: started, found by its main window's caption, closed with WM_CLOSE.
class ProgramRun {
public:
    ProgramRun(const std::wstring& Exe, const std::wstring& Folder) {
        std::wstring commandLine = L"\"" + Exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(Exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, Folder.c_str(),
                            &startup, &process_)) {
            ADD_FAILURE() << "CreateProcessW failed, error " << GetLastError();
            return;
        }
        CloseHandle(process_.hThread);
        WaitFor([this] { return (window = FindCaptioned(kCaption)) != nullptr || Ended(); }, kTimeoutMs);
    }
    ~ProgramRun() {
        if (process_.hProcess == nullptr) return;
        if (!Ended()) TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
    }
    // Posts WM_CLOSE and waits for the end; true with exit code 0.
    bool Close() {
        if (window == nullptr) return false;
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, kTimeoutMs) != WAIT_OBJECT_0) return false;
        DWORD code = 1;
        GetExitCodeProcess(process_.hProcess, &code);
        return code == 0;
    }
    bool Ended() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }

    // The visible top-level window of the program captioned so.
    HWND FindCaptioned(const std::wstring& Caption) const { return FindProcessWindow(process_.dwProcessId, Caption); }
    // The main window's panel of this class when it is shown, nullptr otherwise.
    HWND ShownPanel(const std::wstring& ClassName) const {
        // The wide controls' window classes carry a suffix after the class name.
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[128] = {};
            GetClassNameW(child, name, 128);
            const std::wstring found = name;
            if ((found == ClassName || found.rfind(ClassName + L".", 0) == 0) && IsWindowVisible(child)) return child;
        }
        return nullptr;
    }
    // A panel's left edge in the main window's client pixels.
    int ClientLeft(HWND Child) const {
        RECT r{};
        GetWindowRect(Child, &r);
        POINT p{r.left, r.top};
        ScreenToClient(window, &p);
        return p.x;
    }
    SIZE ClientSize() const {
        RECT r{};
        GetClientRect(window, &r);
        return SIZE{r.right, r.bottom};
    }
    std::wstring Caption() const {
        wchar_t text[256] = {};
        GetWindowTextW(window, text, 256);
        return text;
    }

    // A key, alone or with Alt, put into the program's queue as the keyboard would (down, then up),
    // answered once the program has handled it: it cannot be lost on the way from the display.
    bool Post(WORD Key, bool Alt = false) {
        const LPARAM data = (static_cast<LPARAM>(MapVirtualKeyW(Key, MAPVK_VK_TO_VSC)) << 16) | 1 | (Alt ? 1 << 29 : 0);
        PostMessageW(window, Alt ? WM_SYSKEYDOWN : WM_KEYDOWN, Key, data);
        PostMessageW(window, Alt ? WM_SYSKEYUP : WM_KEYUP, Key, data | (1 << 30) | (1u << 31));
        DWORD_PTR answer = 0;
        return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, kTimeoutMs, &answer) != 0;
    }

    // Writes what the screen shows of the window into a BMP file in the working folder.
    // Answers the count of pixels unlike the top-left one.
    int Screenshot(const std::wstring& FileName) const {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(300);
        return SaveWindowScreenshot(window, FileName);
    }

    HWND window = nullptr;

private:
    PROCESS_INFORMATION process_{};
};

// A test of the program run from a copy of it in a temporary folder of its own (portable mode once
// an INI file is written beside the copy); HKCU\Software\Marbrecq is set aside meanwhile.
class ProgramCopyTest : public ::testing::Test {
protected:
    explicit ProgramCopyTest(const wchar_t* Stem) : stem_(Stem) {}
    MarbrecqKeyGuard registry_{L"Software\\QuillotraneProgramTestBackup"};
    void SetUp() override {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        folder_ = std::wstring(base) + stem_ + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
        exe_ = folder_ + L"Quillotrane.exe";
        ini_ = folder_ + L"Quillotrane.ini";
        ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), exe_.c_str(), FALSE)) << "error " << GetLastError();
    }
    void TearDown() override {
        DeleteFileW(ini_.c_str());
        DeleteFileW(exe_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring folder_;
    std::wstring exe_;
    std::wstring ini_;

private:
    const wchar_t* stem_;
};

}  // namespace quill_test
