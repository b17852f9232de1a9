// Shared pieces of the widget kit's tests: message pumping, waiting for a condition, the
// application reset and a form to put controls on.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "classlib/application.h"
#include "classlib/forms.h"

namespace kittest {

inline void Pump() { classlib::Application()->ProcessMessages(); }

// Serves messages and synchronised calls until Done answers true or Timeout ms pass.
inline bool PumpUntil(const std::function<bool()>& Done, DWORD Timeout = 5000) {
    DWORD start = GetTickCount();
    while (!Done()) {
        if (GetTickCount() - start > Timeout) return false;
        classlib::Application()->ProcessMessages();
        MsgWaitForMultipleObjects(1, &static_cast<const HANDLE&>(classlib::SyncEvent()), FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

// Serves messages for a while (to show that something does not happen).
inline void PumpFor(DWORD Ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < Ms) {
        classlib::Application()->ProcessMessages();
        Sleep(2);
    }
}

inline void ResetApplication() {
    classlib::TApplication* app = classlib::Application();
    app->DestroyForms();
    app->SetMainForm(nullptr);
    app->OnException = nullptr;
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

class KitTest : public ::testing::Test {
protected:
    void SetUp() override {
        classlib::Application()->Initialize();
        ResetApplication();
    }
    void TearDown() override { ResetApplication(); }
};

}  // namespace kittest
