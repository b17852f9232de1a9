// Shared pieces of the window tests: messages served, and the application back to no forms
// between tests.
#pragma once

#include <windows.h>

#include "classlib/forms.h"

namespace window_test {

inline void Pump() {
    for (int i = 0; i < 20; ++i) classlib::Application()->ProcessMessages();
}

// Frees every form, forgets the main form and drops the quit request a closed main form left.
inline void ResetApplicationForms() {
    classlib::TApplication* app = classlib::Application();
    app->DestroyForms();
    app->SetMainForm(nullptr);
    app->Run();  // without a main form: only clears Terminated
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace window_test
