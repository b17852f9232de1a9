// What the stream filters ask of the program around them: the window they post their messages to,
// the overlay switch and two figures of the capture engine. The program installs one host at
// start-up; tests install their own. Without a host there is no window to post to, the overlay
// switch counts as on (its default) and the figures as unknown.
#pragma once

#include <windows.h>

namespace filters {

class IFiltersHost {
public:
    virtual ~IFiltersHost() = default;
    // The main window, target of WM_USER+1 to WM_USER+3; nullptr when there is none. Called on
    // streaming threads at each post: must not block and must not raise.
    virtual HWND MessageWindow() = 0;
    // The preference "Activer Superposition". Called on the streaming thread once per frame: must
    // not block and must not raise (keep an atomic copy).
    virtual bool OverlayPreference() = 0;
    // The program's frame time in 100-ns units, 0 when unknown. Main thread (the overlay's display
    // mode).
    virtual LONGLONG FrameTime() = 0;
    // The capture engine's display aspect X:Y, {0, 0} when unset. Main thread (the resizer's input
    // connection).
    virtual SIZE DisplayAspect() = 0;
};

// Installs the host (main thread: once at start-up; tests around their cases). nullptr removes it.
void SetFiltersHost(IFiltersHost* host);
IFiltersHost* FiltersHost();

// The host's answers, with the defaults above when there is no host or it fails.
HWND HostMessageWindow();
bool HostOverlayPreference();
LONGLONG HostFrameTime();
SIZE HostDisplayAspect();

// Posts to the main window; false when there is no window or the post fails. Never waits.
bool PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam);

// The three messages of the stream filters.
constexpr UINT kWMFrameGrabbed = WM_USER + 1;         // lParam: the overlay's slot
constexpr UINT kWMIntervalometerCount = WM_USER + 2;  // wParam: seconds to the next timed picture
constexpr UINT kWMDVRatioChanged = WM_USER + 3;       // wParam 1, lParam 1 = now 16:9, 0 = not

}  // namespace filters
