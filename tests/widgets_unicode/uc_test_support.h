// Shared pieces of the wide control tests: message pumping, the application reset, a wide edit
// built on the core, and texts outside code page 1252.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/forms.h"
#include "classlib/std_controls.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_controls.h"
#include "widgets/unicode/uc_forms.h"

namespace uctest {

inline const std::wstring kGreek = L"\x039A\x03B1\x03BB\x03B7\x03BC\x03AD\x03C1\x03B1";  // Greek
inline const std::wstring kCjk = L"\x65E5\x672C\x8A9E\x30C6\x30AD\x30B9\x30C8";          // Japanese

inline void Pump(DWORD ms = 0) {
    DWORD end = GetTickCount() + ms;
    do {
        classlib::Application()->ProcessMessages();
        if (ms > 0) Sleep(1);
    } while (GetTickCount() < end);
}

inline std::wstring WindowText(HWND w) {
    wchar_t buf[512] = {};
    int n = GetWindowTextW(w, buf, 512);
    return std::wstring(buf, static_cast<size_t>(n > 0 ? n : 0));
}

inline std::wstring ClassNameOf(HWND w) {
    wchar_t buf[256] = {};
    int n = GetClassNameW(w, buf, 256);
    return std::wstring(buf, static_cast<size_t>(n > 0 ? n : 0));
}

inline void ResetApplication() {
    classlib::TApplication* app = classlib::Application();
    app->DestroyForms();
    app->SetMainForm(nullptr);
    app->Run();
    app->OnHint = nullptr;
    app->OnMessage = nullptr;
    app->OnHelp = nullptr;
    app->SetHint("");
    app->CancelHint();
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// An edit control whose window is made by the wide core (as the wide edit will be).
class TTestWideEdit : public classlib::TCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TTestWideEdit)
    explicit TTestWideEdit(classlib::TComponent* AOwner) : classlib::TCustomEdit(AOwner) {
        SetBounds(8, 8, 160, 24);
        OnKeyPress = [this](classlib::TObject*, char& Key) { keys += Key; };
    }
    std::wstring WideText() { return widgets::UcControl_GetText(this); }
    void SetWideText(const std::wstring& v) { widgets::UcControl_SetText(this, v); }
    void CreateWindowHandle(const classlib::TCreateParams& Params) override {
        widgets::CreateUnicodeHandle(this, Params, L"EDIT");
    }
    void Dispatch(classlib::TMessage& Message) override {
        if (Message.Msg == classlib::CM_TEXTCHANGED) ++textChanged;
        classlib::TCustomEdit::Dispatch(Message);
    }
    std::string keys;  // characters KeyPress saw
    int textChanged = 0;
};

class WideTest : public ::testing::Test {
protected:
    void SetUp() override {
        unicode::ForcePlatformForTesting(true);
        classlib::Application()->Initialize();
        widgets::InitializeWideControls();
        ResetApplication();
    }
    void TearDown() override {
        unicode::ForcePlatformForTesting(true);
        ResetApplication();
    }
};

}  // namespace uctest
