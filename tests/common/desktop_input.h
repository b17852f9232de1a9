// Test helper: the display's keyboard and mouse as a person's reach the program, through its X
// server (xdotool and xprop, run on the Linux side) to the window the X server gives the keyboard,
// which a window manager chooses where one runs. Keys that Windows hands on by itself (SendInput)
// would reach Wine's foreground window even where the desktop gives the keyboard to no window.
#pragma once

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/ffprobe_helpers.h"

namespace quill_test {

namespace desktop_detail {

// X's name of a key (xdotool's), empty for one it has no name for here.
inline std::string KeyName(WORD Key) {
    switch (Key) {
    case VK_RETURN: return "Return";
    case VK_ESCAPE: return "Escape";
    case VK_SPACE: return "space";
    case VK_TAB: return "Tab";
    case VK_DOWN: return "Down";
    case VK_UP: return "Up";
    case VK_END: return "End";
    case VK_BACK: return "BackSpace";
    default: break;
    }
    if (Key >= VK_F1 && Key <= VK_F12) return "F" + std::to_string(Key - VK_F1 + 1);
    if ((Key >= '0' && Key <= '9') || (Key >= 'A' && Key <= 'Z'))
        return std::string(1, static_cast<char>(std::tolower(Key)));
    return std::string();
}

inline bool Xdotool(const std::vector<std::string>& Arguments) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), Arguments.begin(), Arguments.end());
    const TUnixResult run = RunUnix(argv, 20000);
    return run.Ran && run.ExitCode == 0;
}

// The window id after "window id # " in a line of xprop, 0 when there is none.
inline unsigned long WindowIdIn(const std::string& Line) {
    const size_t at = Line.find("window id # ");
    return at == std::string::npos ? 0 : std::strtoul(Line.c_str() + at + 12, nullptr, 0);
}

inline std::wstring Hex(unsigned long Id) {
    wchar_t text[32] = {};
    swprintf(text, 32, L"0x%lx", Id);
    return text;
}

}  // namespace desktop_detail

// Types Key (with Ctrl or Alt held) as the keyboard does; false when it could not be typed.
inline bool TypeKey(WORD Key, bool WithCtrl = false, bool WithAlt = false) {
    const std::string name = desktop_detail::KeyName(Key);
    return !name.empty() &&
           desktop_detail::Xdotool({"key", std::string(WithCtrl ? "ctrl+" : "") + (WithAlt ? "alt+" : "") + name});
}

// Clicks the left mouse button at Point of the screen as the mouse does; the pointer then goes
// back. False when it could not be clicked.
inline bool ClickAt(POINT Point) {
    return desktop_detail::Xdotool({"mousemove", "--sync", std::to_string(Point.x), std::to_string(Point.y), "click",
                                    "1", "mousemove", "restore"});
}

// The X window of a top-level window of Wine; 0 when it has none.
inline unsigned long XWindowOf(HWND Window) {
    // Wine keeps the X window of a top-level window among its properties.
    return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetPropW(Window, L"__wine_x11_whole_window")));
}

// Where the display's keyboard goes.
struct TKeyboard {
    bool read = false;         // the X server answered
    bool managed = false;      // a window manager runs on the display
    unsigned long focus = 0;   // the top-level X window with the keyboard focus; 0 none
    unsigned long active = 0;  // the window manager's active window (its title lit); 0 none
    std::string failure;       // why it could not be read
};

inline TKeyboard KeyboardNow() {
    TKeyboard keyboard;
    const TUnixResult run = RunUnix({"sh", "-c",
                                     "printf 'focus %s\\n' \"$(xdotool getwindowfocus 2>/dev/null)\"; "
                                     "xprop -root _NET_SUPPORTING_WM_CHECK _NET_ACTIVE_WINDOW"},
                                    20000);
    if (!run.Ran || run.ExitCode != 0) {
        keyboard.failure = "the X server did not answer: " + run.Failure + run.Err;
        return keyboard;
    }
    keyboard.read = true;
    std::istringstream lines(run.Out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("focus ", 0) == 0) keyboard.focus = std::strtoul(line.c_str() + 6, nullptr, 10);
        if (line.rfind("_NET_SUPPORTING_WM_CHECK", 0) == 0) keyboard.managed = desktop_detail::WindowIdIn(line) != 0;
        if (line.rfind("_NET_ACTIVE_WINDOW", 0) == 0) keyboard.active = desktop_detail::WindowIdIn(line);
    }
    return keyboard;
}

// Whether a person's keys reach Window: it has the X server's keyboard focus, it is the window
// manager's active window where one runs, and it is Windows' foreground window. False with what
// was seen instead in Seen.
inline bool HasKeyboard(HWND Window, std::wstring* Seen = nullptr) {
    const unsigned long window = XWindowOf(Window);
    const TKeyboard keyboard = KeyboardNow();
    const HWND foreground = GetForegroundWindow();
    const bool has = window != 0 && keyboard.read && keyboard.focus == window &&
                     (!keyboard.managed || keyboard.active == window) && foreground == Window;
    if (Seen != nullptr) {
        wchar_t title[256] = {};
        GetWindowTextW(foreground, title, 256);
        *Seen = L"window " + desktop_detail::Hex(window) + L"; X focus " + desktop_detail::Hex(keyboard.focus) +
                (keyboard.managed ? L", the window manager's active window " + desktop_detail::Hex(keyboard.active)
                                  : std::wstring(L", no window manager")) +
                L", Windows' foreground \"" + title + L"\"" + WideFromUtf8(keyboard.failure);
    }
    return has;
}

// The window of Window's thread that has the keyboard focus (Windows' own answer), nullptr when
// none has it.
inline HWND FocusedWindow(HWND Window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(Window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// Clicks the close box that the window manager draws in Window's title bar. False without a window
// manager, or when the box's place is unknown.
inline bool ClickCloseBox(HWND Window) {
    const unsigned long window = XWindowOf(Window);
    if (window == 0) return false;
    const TKeyboard keyboard = KeyboardNow();
    if (!keyboard.read || !keyboard.managed) return false;
    // The window manager's frame: its title bar above the window, the close box at its right end
    // (openbox's own layout), as wide as the title bar is high.
    const TUnixResult run = RunUnix(
        {"sh", "-c", "xwininfo -id \"$0\"; xprop -id \"$0\" _NET_FRAME_EXTENTS", std::to_string(window)}, 20000);
    if (!run.Ran || run.ExitCode != 0) return false;
    long left = 0, top = 0, width = 0, extents[4] = {-1, -1, -1, -1};
    std::istringstream lines(run.Out);
    for (std::string line; std::getline(lines, line);) {
        auto value = [&](const char* Name, long& Value) {
            const size_t at = line.find(Name);
            if (at != std::string::npos) Value = std::strtol(line.c_str() + at + std::strlen(Name), nullptr, 10);
        };
        value("Absolute upper-left X:", left);
        value("Absolute upper-left Y:", top);
        value("Width:", width);
        const size_t at = line.find("_NET_FRAME_EXTENTS(CARDINAL) = ");
        if (at != std::string::npos)
            std::sscanf(line.c_str() + at + 31, "%ld, %ld, %ld, %ld", &extents[0], &extents[1], &extents[2],
                        &extents[3]);
    }
    if (width <= 0 || extents[2] <= 0) return false;
    const long title = extents[2];
    return ClickAt({static_cast<LONG>(left + width + extents[1] - title / 2), static_cast<LONG>(top - title / 2)});
}

}  // namespace quill_test
