// The built program's layout as a user drives it from the keyboard: the stored panel shown at the
// start, panels changed by their shortcuts, the columns mirrored and the window reduced to its video
// and restored, and what was left shown and mirrored read back at the next start. Screenshots of
// the window in each look are kept in the test's working folder. The program runs from a copy in a
// temporary folder, in portable mode (an INI file beside the copy).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/app/program_support.h"
#include "tests/ui/store_helpers.h"

namespace {

using namespace quill_test;

constexpr DWORD kTimeoutMs = 60000;
const std::wstring kCaption = L"Quillotrane 6.0.5En by Marbrecq";

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

    // Types a key with its modifiers into the program's window, as the user does.
    void Press(WORD Key, std::vector<WORD> Modifiers = {}) {
        SetForegroundWindow(window);
        WaitFor([this] { return GetForegroundWindow() == window; }, 3000);
        std::vector<INPUT> inputs;
        auto key = [&inputs](WORD vk, bool up) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = vk;
            in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            inputs.push_back(in);
        };
        for (WORD m : Modifiers) key(m, false);
        key(Key, false);
        key(Key, true);
        for (auto it = Modifiers.rbegin(); it != Modifiers.rend(); ++it) key(*it, true);
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }

    // Writes what the screen shows of the window into a BMP file in the working folder.
    void Screenshot(const std::wstring& FileName) const {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(300);
        RECT r{};
        GetWindowRect(window, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bitmap);
        BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
        file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
        if (FILE* out = _wfopen(FileName.c_str(), L"wb")) {
            fwrite(&file, sizeof(file), 1, out);
            fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out);
            fwrite(bits, stride, static_cast<size_t>(h), out);
            fclose(out);
        }
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }

    HWND window = nullptr;

private:
    PROCESS_INFORMATION process_{};
};

class ProgramLayoutTest : public ::testing::Test {
protected:
    MarbrecqKeyGuard registry_{L"Software\\QuillotraneLayoutTestBackup"};
    void SetUp() override {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        folder_ = std::wstring(base) + L"quill-layout-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
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
};

TEST_F(ProgramLayoutTest, PanelsMirrorAndReducedWindowFollowTheKeysAndComeBackAtTheNextStart) {
    // Portable mode with the grab panel stored as the shown one, video at the left.
    WriteIniLines(ini_, {kIniSection, L"Panneau Actif=3", L"EcranGauche=1"});
    {
        ProgramRun run(exe_, folder_);
        ASSERT_NE(nullptr, run.window) << "no main window titled as expected";
        HWND grab = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (grab = run.ShownPanel(L"TExtraireFrame")) != nullptr; }))
            << "the stored panel is shown";
        EXPECT_EQ(427, run.ClientLeft(grab));
        run.Screenshot(L"main_window_grab_panel.bmp");

        run.Press('D', {VK_MENU});
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(L"TDossiersFrame") != nullptr; })) << "Alt+D";
        EXPECT_EQ(nullptr, run.ShownPanel(L"TExtraireFrame"));
        run.Press(VK_F6);
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(L"TProgrammerFrame") != nullptr; })) << "F6";
        run.Press(VK_F2);
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(L"TSourcesFrame") != nullptr; })) << "F2";
        run.Screenshot(L"main_window_sources_panel.bmp");

        // Mirrored: the panels go to the left.
        run.Press('W', {VK_MENU});
        HWND sources = run.ShownPanel(L"TSourcesFrame");
        ASSERT_TRUE(WaitFor([&] { return run.ClientLeft(sources) == 0; })) << "Alt+W";
        run.Screenshot(L"main_window_mirrored.bmp");

        // Reduced to the video panel, then the whole window again.
        run.Press(VK_BACK, {VK_MENU});
        ASSERT_TRUE(WaitFor([&] { return run.ClientSize().cx == 420 && run.ClientSize().cy == 340; }))
            << "Alt+Backspace: " << run.ClientSize().cx << "x" << run.ClientSize().cy;
        EXPECT_TRUE(WaitFor([&] { return run.Caption() != kCaption; })) << "the title names the video";
        run.Screenshot(L"main_window_reduced.bmp");
        run.Press(VK_BACK, {VK_MENU});
        ASSERT_TRUE(WaitFor([&] { return run.ClientSize().cx == 700 && run.ClientSize().cy == 459; }));
        EXPECT_TRUE(WaitFor([&] { return run.Caption() == kCaption; }));
        EXPECT_EQ(0, run.ClientLeft(sources));

        run.Press(VK_F6);
        ASSERT_TRUE(WaitFor([&] { return run.ShownPanel(L"TDossiersFrame") != nullptr; })) << "F6";
        EXPECT_TRUE(run.Close());
    }
    const auto lines = ReadIniLines(ini_);
    EXPECT_EQ(L"1", IniValue(lines, L"Panneau Actif"));
    EXPECT_EQ(L"0", IniValue(lines, L"EcranGauche"));

    ProgramRun again(exe_, folder_);
    ASSERT_NE(nullptr, again.window);
    HWND folders = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (folders = again.ShownPanel(L"TDossiersFrame")) != nullptr; }));
    EXPECT_EQ(0, again.ClientLeft(folders));
    EXPECT_TRUE(again.Close());
}

}  // namespace
