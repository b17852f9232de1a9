// What the panel tests share: the main window of a program living in a temporary folder, shown
// under Xvfb with HKCU\Software\Marbrecq set aside; the message boxes and shell calls caught through
// their seams; files dropped from the shell; and screenshots kept in the test's working folder.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/forms.h"
#include "classlib/message_box.h"
#include "settings/shell_helpers.h"
#include "tests/common/wide_window_environment.h"
#include "tests/common/window_screenshot.h"
#include "tests/ui/capture_form_fixture.h"
#include "tests/ui/store_helpers.h"
#include "ui/capture_form.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_forms.h"

namespace quill_test {

inline void WriteBytes(const std::wstring& name, const std::string& bytes) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
}

inline std::string ReadBytes(const std::wstring& name) {
    std::string bytes;
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    return bytes;
}

// The folder of the running test program, with its trailing backslash.
inline std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// Lets the windows paint and the posted messages run.
inline void PumpMessages() { quill_test::PumpWindowMessages(); }

// The window brought up and painted, then as the screen shows it (see SaveWindowScreenshot).
inline int SaveScreenshot(HWND Window, const std::wstring& FileName) {
    SetWindowPos(Window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    PumpMessages();
    const int differing = SaveWindowScreenshot(Window, FileName);
    SetWindowPos(Window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return differing;
}

// Drops Files on Window as the shell does (WM_DROPFILES with a DROPFILES block of wide names).
inline void DropFiles(HWND Window, const std::vector<std::wstring>& Files) {
    std::wstring names;
    for (const std::wstring& file : Files) names += file + L'\0';
    names += L'\0';
    const size_t bytes = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    // The window finishes (frees) the drop.
    SendMessageW(Window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

// The message boxes asked for, answered Yes (questions) or OK.
struct TAskedBox {
    std::wstring Text;
    UINT Flags = 0;
};

class TBoxRecorder {
public:
    TBoxRecorder() {
        previous_ = classlib::SetMessageBoxFunction([this](HWND, const std::wstring& Text, const std::wstring&, UINT Flags) {
            Boxes.push_back({Text, Flags});
            if ((Flags & 0x0F) == MB_YESNO) return Answer;
            return IDOK;
        });
    }
    ~TBoxRecorder() { classlib::SetMessageBoxFunction(previous_); }
    std::vector<TAskedBox> Boxes;
    int Answer = IDYES;

private:
    classlib::TMessageBoxFunction previous_;
};

struct TShellCall {
    std::wstring Verb, File, Parameters;
    int Show = 0;
};

class TShellRecorder {
public:
    TShellRecorder() {
        settings::TShellCalls calls;
        calls.Execute = [this](HWND, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                               const wchar_t*, int show) {
            Calls.push_back({verb ? verb : L"", file ? file : L"", parameters ? parameters : L"", show});
            return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
        };
        calls.FileOperation = [](SHFILEOPSTRUCTW*) { return 0; };
        settings::SetShellCalls(calls);
    }
    ~TShellRecorder() { settings::ResetShellCalls(); }
    std::vector<TShellCall> Calls;
};

// The program's process set-up for windows, with COM for the filter libraries' registrations.
class TApplicationSetUp : public WideWindowEnvironment {
public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        WideWindowEnvironment::SetUp();
    }
    void TearDown() override {
        WideWindowEnvironment::TearDown();
        CoUninitialize();
    }
};

// A shown main window in a fresh temporary program folder, its registry settings set aside.
class PanelFormTest : public ::testing::Test {
protected:
    MarbrecqKeyGuard registry_{L"Software\\QuillotranePanelsTestBackup"};
    void SetUp() override {
        folder_ = MakeTempFolder();
        form_.reset(classlib::NewForm<TTestCaptureForm>(nullptr, folder_ + L"Quillotrane.exe"));
        form_->Show();
        PumpMessages();
    }
    void TearDown() override {
        form_.reset();
        RemoveFolder(folder_);
    }
    std::wstring folder_;
    std::unique_ptr<TTestCaptureForm> form_;
};

}  // namespace quill_test
