// Test helper: keys pressed as the keyboard gives them, posted to the window with the focus with the
// modifiers held in the thread's key state, then served by the test's own message pump.
#pragma once

#include <windows.h>

#include <initializer_list>

namespace quill_test {

template <typename P>
void PressKey(WORD Key, std::initializer_list<int> Held, P&& Pump) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    for (int k : Held) keys[k] = 0x80;
    SetKeyboardState(keys);
    HWND focus = GetFocus();
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(Key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(focus, WM_KEYDOWN, Key, scan | 1);
    PostMessageW(focus, WM_KEYUP, Key, scan | 0xC0000001);
    Pump();
    for (int k : Held) keys[k] = 0;
    SetKeyboardState(keys);
}

}  // namespace quill_test
