// A filters host for tests: answers what the test sets, and is installed for the life of the object.
#pragma once

#include "filters/filters_host.h"

#include <atomic>

namespace quill_test {

class TestFiltersHost : public filters::IFiltersHost {
public:
    TestFiltersHost() { filters::SetFiltersHost(this); }
    ~TestFiltersHost() override { filters::SetFiltersHost(nullptr); }
    TestFiltersHost(const TestFiltersHost&) = delete;
    TestFiltersHost& operator=(const TestFiltersHost&) = delete;

    HWND MessageWindow() override { return window.load(); }
    bool OverlayPreference() override { return preference.load(); }
    LONGLONG FrameTime() override { return frameTime; }
    SIZE DisplayAspect() override { return aspect; }

    std::atomic<HWND> window{nullptr};
    std::atomic<bool> preference{true};
    LONGLONG frameTime = 0;
    SIZE aspect{0, 0};
};

}  // namespace quill_test
