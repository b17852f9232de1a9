// Shared pieces of the custom-control tests: the application reset, message pumping with a
// deadline, temporary files, and an action list of super actions that log what they ran.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "classlib/forms.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "widgets/custom/super_actions.h"
#include "widgets/unicode/uc_forms.h"

namespace customtest {

inline void ResetApplication() {
    classlib::TApplication* app = classlib::Application();
    app->DestroyForms();
    app->SetMainForm(nullptr);
    app->OnActivate = nullptr;
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    app->ProcessMessages();
}

// Pumps messages (and synchronised calls) until Done answers true or Ms milliseconds passed.
inline bool PumpUntil(const std::function<bool()>& Done, DWORD Ms = 5000) {
    const DWORD start = GetTickCount();
    while (!Done()) {
        if (GetTickCount() - start > Ms) return false;
        classlib::Application()->ProcessMessages();
        classlib::CheckSynchronize(5);
    }
    return true;
}

// A folder of its own under the test's working folder, emptied at the end.
class TempFolder {
public:
    TempFolder() {
        wchar_t buf[MAX_PATH];
        GetTempPathW(MAX_PATH, buf);
        path_ = std::wstring(buf) + L"quill_custom_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(counter_++) + L"\\";
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        WIN32_FIND_DATAW f;
        HANDLE h = FindFirstFileW((path_ + L"*").c_str(), &f);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring n = f.cFileName;
                if (n != L"." && n != L"..") {
                    SetFileAttributesW((path_ + n).c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW((path_ + n).c_str());
                }
            } while (FindNextFileW(h, &f));
            FindClose(h);
        }
        RemoveDirectoryW(path_.c_str());
    }
    const std::wstring& Path() const { return path_; }
    // Writes Bytes to the named file and answers its full path.
    std::wstring Write(const std::wstring& Name, const std::string& Bytes) const {
        std::wstring full = path_ + Name;
        HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (!Bytes.empty()) WriteFile(h, Bytes.data(), static_cast<DWORD>(Bytes.size()), &written, nullptr);
        CloseHandle(h);
        return full;
    }

    // A file of Size bytes (sparse on Linux file systems: cheap) last written at 2023-06-14
    // 09:Minute:Second.500 local time; answers its full path.
    std::wstring Sized(const std::wstring& Name, std::int64_t Size, WORD Minute = 0, WORD Second = 0) const {
        std::wstring full = path_ + Name;
        HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER at;
        at.QuadPart = Size;
        SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        SYSTEMTIME local{2023, 6, 0, 14, 9, Minute, Second, 500}, utc{};
        TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
        FILETIME ft;
        SystemTimeToFileTime(&utc, &ft);
        SetFileTime(h, nullptr, nullptr, &ft);
        CloseHandle(h);
        return full;
    }

private:
    std::wstring path_;
    static inline int counter_ = 0;
};

class CustomTest : public ::testing::Test {
protected:
    void SetUp() override {
        unicode::ForcePlatformForTesting(true);
        classlib::Application()->Initialize();
        widgets::InitializeWideControls();
        ResetApplication();
    }
    void TearDown() override { ResetApplication(); }
};

}  // namespace customtest
