// Shared helpers of the wide file and registry tests: a private scratch folder and a guard that
// forces the ANSI platform for one test.
#pragma once

#include <windows.h>

#include <string>

#include "unicode/wide_platform.h"

namespace quill_test {

// Removes a folder with everything below it (attributes cleared first).
inline void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW data{};
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = dir + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(h, &data));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

// A fresh folder below the working folder, removed at the end of the test.
class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& name)
    {
        wchar_t cwd[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, cwd);
        path_ = std::wstring(cwd) + L"\\" + name + L"_" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(path_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchDir() { RemoveTree(path_); }
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Takes every ANSI path of the wide layer while it lives.
class AnsiPlatform {
public:
    AnsiPlatform() { unicode::ForcePlatformForTesting(false); }
    ~AnsiPlatform() { unicode::ForcePlatformForTesting(true); }
};

inline void WriteFileBytes(const std::wstring& name, const std::string& bytes)
{
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (h != INVALID_HANDLE_VALUE) {
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
}

}  // namespace quill_test
