// Shared pieces of the Hover and FlatBar tests: a form on the test display, message pumping, the
// real mouse pointer moved over controls, and pictures of what a control paints.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "classlib/application.h"
#include "classlib/forms.h"

namespace hovertest {

inline void Pump(DWORD ms = 0) {
    DWORD end = GetTickCount() + ms;
    do {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        if (ms > 0) Sleep(1);
    } while (GetTickCount() < end);
}

// Runs the application's loop (idle passes included) until Done, at most about Ms milliseconds.
inline bool RunUntil(const std::function<bool()>& Done, DWORD Ms = 3000) {
    UINT_PTR timer = SetTimer(nullptr, 0, 15, nullptr);
    DWORD end = GetTickCount() + Ms;
    while (!Done() && GetTickCount() < end) classlib::Application()->HandleMessage();
    KillTimer(nullptr, timer);
    return Done();
}

// Moves the pointer to a screen point; false when the display does not move it.
inline bool MoveMouse(POINT Screen) {
    SetCursorPos(Screen.x, Screen.y);
    POINT now{};
    GetCursorPos(&now);
    return now.x == Screen.x && now.y == Screen.y;
}

// A control of class T made on Parent (owned by it) at the given bounds.
template <typename T>
T* Place(classlib::TWinControl* Parent, int X, int Y, int W, int H) {
    auto* c = new T(Parent);
    c->SetParent(Parent);
    c->SetBounds(X, Y, W, H);
    return c;
}

// A new W x H bitmap of one colour (the caller deletes it).
inline HBITMAP SolidBitmap(int W, int H, COLORREF Colour) {
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateCompatibleBitmap(screen, W, H);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, b);
    HBRUSH brush = CreateSolidBrush(Colour);
    RECT r{0, 0, W, H};
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return b;
}

inline POINT CentreOf(classlib::TControl* Control) {
    return Control->ClientToScreen(POINT{Control->Width() / 2, Control->Height() / 2});
}

// A captured picture: pixels of a DC area, row by row.
struct TPicture {
    int Width = 0, Height = 0;
    std::vector<COLORREF> Pixels;
    COLORREF At(int X, int Y) const { return Pixels[static_cast<size_t>(Y * Width + X)]; }
    int Count(COLORREF C) const {
        int n = 0;
        for (COLORREF p : Pixels) n += p == C ? 1 : 0;
        return n;
    }
    // Bounding box of the pixels of colour C (empty when none).
    RECT Bounds(COLORREF C) const {
        RECT r{Width, Height, -1, -1};
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                if (At(x, y) == C) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        if (r.right < 0) return RECT{0, 0, 0, 0};
        return r;
    }
};

// Paints with Paint(HDC) into a Width x Height bitmap filled with Background and reads it back.
inline TPicture Capture(int Width, int Height, COLORREF Background, const std::function<void(HDC)>& Paint) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, Width, Height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH brush = CreateSolidBrush(Background);
    RECT all{0, 0, Width, Height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    Paint(dc);
    TPicture p;
    p.Width = Width;
    p.Height = Height;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) p.Pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return p;
}

// What a graphic control paints, at its own origin, as its parent's paint would place it.
inline TPicture CaptureControl(classlib::TControl* Control, COLORREF Background) {
    return Capture(Control->Width(), Control->Height(), Background,
                   [&](HDC dc) { Control->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0); });
}

inline void ResetApplication() {
    classlib::TApplication* app = classlib::Application();
    app->DestroyForms();
    app->SetMainForm(nullptr);
    app->Run();
    app->OnException = nullptr;
    app->OnHint = nullptr;
    app->OnIdle = nullptr;
    app->OnShowHint = nullptr;
    app->SetHint("");
    app->CancelHint();
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// A shown, active form on the test display, deleted at the end of each test.
class HoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        classlib::Application()->Initialize();
        ResetApplication();
        form = classlib::NewForm<classlib::TForm>(nullptr);
        form->SetBounds(120, 120, 360, 240);
        form->Show();
        SetForegroundWindow(form->WindowHandle());
        SetActiveWindow(form->WindowHandle());
        Pump(30);
    }
    void TearDown() override {
        MoveMouse(POINT{2, 2});
        delete form;
        form = nullptr;
        Pump();
        ResetApplication();
    }
    classlib::TForm* form = nullptr;
};

}  // namespace hovertest
