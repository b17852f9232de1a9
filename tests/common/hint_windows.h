// How a test knows a hint window (the short text shown where the pointer rests) by what it is,
// whatever its window class is called: the program's own hints, the class library's and others.
#pragma once

#include <windows.h>

namespace quill_test {

// A bare pop-up of no task bar's above every window, with nothing inside it, that lets the
// pointer through to what lies under it. A message, a question or a form has a title or
// controls, and takes the clicks on it.
inline bool IsHintWindow(HWND Window) {
    const LONG_PTR style = GetWindowLongPtrW(Window, GWL_STYLE);
    const LONG_PTR extended = GetWindowLongPtrW(Window, GWL_EXSTYLE);
    if ((style & WS_POPUP) == 0 || (style & WS_CAPTION) == WS_CAPTION || (extended & WS_EX_TOOLWINDOW) == 0 ||
        (extended & WS_EX_TOPMOST) == 0 || GetWindow(Window, GW_CHILD) != nullptr)
        return false;
    RECT place{};
    if (!GetWindowRect(Window, &place) || IsRectEmpty(&place)) return false;
    DWORD_PTR hit = HTNOWHERE;
    const LPARAM centre = MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
    // Asked of the window's own thread, which a close keeps busy a while on a loaded machine.
    return SendMessageTimeoutW(Window, WM_NCHITTEST, 0, centre, SMTO_NORMAL, 20000, &hit) != 0 &&
           static_cast<LONG_PTR>(hit) == HTTRANSPARENT;
}

}  // namespace quill_test
