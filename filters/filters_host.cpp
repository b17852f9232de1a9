#include "filters/filters_host.h"

#include <atomic>

namespace filters {

namespace {

// Set on the main thread, read on streaming threads.
std::atomic<IFiltersHost*> g_host{nullptr};

}  // namespace

void SetFiltersHost(IFiltersHost* host) { g_host.store(host); }

IFiltersHost* FiltersHost() { return g_host.load(); }

// Each answer is guarded: nothing may leave a streaming thread's call.
HWND HostMessageWindow()
{
    IFiltersHost* host = g_host.load();
    try {
        return host != nullptr ? host->MessageWindow() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

bool HostOverlayPreference()
{
    IFiltersHost* host = g_host.load();
    try {
        return host == nullptr || host->OverlayPreference();
    } catch (...) {
        return true;
    }
}

LONGLONG HostFrameTime()
{
    IFiltersHost* host = g_host.load();
    try {
        return host != nullptr ? host->FrameTime() : 0;
    } catch (...) {
        return 0;
    }
}

SIZE HostDisplayAspect()
{
    IFiltersHost* host = g_host.load();
    try {
        return host != nullptr ? host->DisplayAspect() : SIZE{0, 0};
    } catch (...) {
        return SIZE{0, 0};
    }
}

bool PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = HostMessageWindow();
    return window != nullptr && PostMessageW(window, message, wParam, lParam) != FALSE;
}

}  // namespace filters
