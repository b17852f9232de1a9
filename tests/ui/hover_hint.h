// Test helper: the hint the application shows where the mouse rests, as a user meets it.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/application.h"
#include "classlib/hint_window.h"

namespace quill_test {

// The hint window the application shows, with its text; nullptr while none is shown.
inline HWND ShownHint(std::wstring& Text) {
    classlib::THintWindow* hint = classlib::Application()->HintWindow();
    if (hint == nullptr || !hint->HandleAllocated() || !IsWindowVisible(hint->WindowHandle())) return nullptr;
    wchar_t text[1024] = {};
    GetWindowTextW(hint->WindowHandle(), text, 1024);
    Text = text;
    return hint->WindowHandle();
}

// Rests the mouse at At in Window's client area as a user does and waits up to TimeoutMs for the
// hint (the application's hint pause first): the text shown, empty when none came.
inline std::wstring HoverHint(HWND Window, POINT At, DWORD TimeoutMs = 3000) {
    classlib::Application()->CancelHint();
    POINT screen = At;
    ClientToScreen(Window, &screen);
    SetCursorPos(screen.x, screen.y);
    PostMessageW(Window, WM_MOUSEMOVE, 0, MAKELPARAM(At.x, At.y));
    std::wstring text;
    const DWORD start = GetTickCount();
    while (ShownHint(text) == nullptr && GetTickCount() - start < TimeoutMs) {
        classlib::Application()->ProcessMessages();
        Sleep(10);
    }
    return text;
}

}  // namespace quill_test
