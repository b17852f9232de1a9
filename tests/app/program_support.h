// What the tests of the built program share: the program's path as Wine reaches it, waiting for a
// condition, and a visible top-level window of the program found by its caption.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#ifndef QUILL_APP_EXE
#error "QUILL_APP_EXE (path of the built Quillotrane.exe) must be defined by the build"
#endif

namespace quill_test {

// The build gives the program's path as the build machine sees it (UTF-8); under Wine a Unix
// absolute path is reached through drive Z:.
inline std::wstring ProgramPath() {
    const char* utf8 = QUILL_APP_EXE;
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring path(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, path.data(), length);
    if (!path.empty() && path[0] == L'/') path.insert(0, L"Z:");
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

// Waits until Done holds, looking every StepMs; false when it still does not after TimeoutMs.
inline bool WaitFor(const std::function<bool()>& Done, DWORD TimeoutMs = 60000, DWORD StepMs = 20) {
    const DWORD start = GetTickCount();
    while (!Done()) {
        if (GetTickCount() - start > TimeoutMs) return Done();
        Sleep(StepMs);
    }
    return true;
}

struct TProcessWindowSearch {
    DWORD process;
    const std::wstring* caption;
    HWND found;
};

// A named callback: a lambda is no stdcall function in 32-bit builds.
inline BOOL CALLBACK FindProcessWindowStep(HWND Window, LPARAM Data) {
    auto* find = reinterpret_cast<TProcessWindowSearch*>(Data);
    DWORD process = 0;
    GetWindowThreadProcessId(Window, &process);
    wchar_t text[256] = {};
    GetWindowTextW(Window, text, 256);
    if (process != find->process || !IsWindowVisible(Window) || *find->caption != text) return TRUE;
    find->found = Window;
    return FALSE;
}

// The visible top-level window of the process captioned so, nullptr when there is none.
inline HWND FindProcessWindow(DWORD ProcessId, const std::wstring& Caption) {
    TProcessWindowSearch search{ProcessId, &Caption, nullptr};
    EnumWindows(FindProcessWindowStep, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace quill_test
