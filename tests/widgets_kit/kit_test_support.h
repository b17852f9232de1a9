// Shared pieces of the widget kit's tests: message pumping, waiting for a condition, the
// application reset and a form to put controls on.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

// What a control paints, read back pixel by pixel.
struct TSnapshot {
    int Width = 0, Height = 0;
    std::vector<COLORREF> Pixels;
    COLORREF At(int X, int Y) const { return Pixels[static_cast<size_t>(Y * Width + X)]; }
    // The box of the pixels of Colour ({0, 0, 0, 0} and Count 0 when there are none).
    RECT BoxOf(COLORREF Colour, int* Count = nullptr) const {
        RECT r{Width, Height, -1, -1};
        int n = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                if (At(x, y) == Colour) {
                    ++n;
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x);
                    r.bottom = std::max<LONG>(r.bottom, y);
                }
        if (Count) *Count = n;
        return n == 0 ? RECT{0, 0, 0, 0} : r;
    }
    int CountOf(COLORREF Colour) const {
        int n = 0;
        BoxOf(Colour, &n);
        return n;
    }
};

// Paints the control (WM_PAINT with a DC, as its parent does) into a bitmap of its size.
inline TSnapshot Snapshot(classlib::TControl* Control, COLORREF Background = RGB(1, 2, 3)) {
    TSnapshot s;
    s.Width = Control->Width();
    s.Height = Control->Height();
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, s.Width, s.Height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, s.Width, s.Height};
    HBRUSH b = CreateSolidBrush(Background);
    FillRect(dc, &all, b);
    DeleteObject(b);
    Control->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    s.Pixels.resize(static_cast<size_t>(s.Width * s.Height));
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x) s.Pixels[static_cast<size_t>(y * s.Width + x)] = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return s;
}

// Mouse messages to a windowed parent, at a point of one of its controls.
inline void MouseTo(classlib::TControl* Control, UINT Msg, int X, int Y, WPARAM Keys = 0) {
    HWND w = Control->Parent()->Handle();
    SendMessageA(w, Msg, Keys, MAKELPARAM(Control->Left() + X, Control->Top() + Y));
}

// Plays the user of a window that the main thread runs modally, from a thread of its own: waits
// for a visible top-level window of this process that Match accepts, then runs Steps on it and
// keeps the window found.
class TWindowDriver {
public:
    TWindowDriver(std::function<bool(HWND)> Match, std::function<void(HWND)> Steps)
        : match_(std::move(Match)), steps_(std::move(Steps)), thread_([this] { Run(); }) {}
    ~TWindowDriver() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    HWND Found() const { return found_; }

    static std::wstring ClassOf(HWND Window) {
        wchar_t name[128] = {};
        GetClassNameW(Window, name, 128);
        return name;
    }
    static std::wstring TextOf(HWND Window) {
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(Window)) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(Window, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    // The first window under Parent (at any depth) that Match accepts.
    static HWND FindChild(HWND Parent, const std::function<bool(HWND)>& Match) {
        for (HWND c = GetWindow(Parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            if (Match(c)) return c;
            if (HWND inner = FindChild(c, Match)) return inner;
        }
        return nullptr;
    }
    static HWND ChildWithId(HWND Parent, int Id) {
        return FindChild(Parent, [Id](HWND w) { return GetDlgCtrlID(w) == Id; });
    }
    // Waits on this thread (the main thread serves the window meanwhile).
    static bool WaitFor(const std::function<bool()>& Done, DWORD Timeout = 10000) {
        for (DWORD start = GetTickCount(); !Done(); Sleep(10))
            if (GetTickCount() - start > Timeout) return false;
        return true;
    }

private:
    struct TSearch {
        TWindowDriver* Self;
        HWND Found;
    };
    static BOOL CALLBACK Visit(HWND Window, LPARAM Search) {
        auto* s = reinterpret_cast<TSearch*>(Search);
        if (!IsWindowVisible(Window) || !s->Self->match_(Window)) return TRUE;
        s->Found = Window;
        return FALSE;
    }
    void Run() {
        // The window comes within seconds; the bound only stops a run whose window never came.
        for (int i = 0; i < 3000 && found_ == nullptr; ++i) {
            TSearch search{this, nullptr};
            EnumThreadWindows(mainThread_, &TWindowDriver::Visit, reinterpret_cast<LPARAM>(&search));
            if (search.Found != nullptr) {
                found_ = search.Found;
                steps_(search.Found);
                return;
            }
            Sleep(10);
        }
    }
    std::function<bool(HWND)> match_;
    std::function<void(HWND)> steps_;
    DWORD mainThread_ = GetCurrentThreadId();
    std::atomic<HWND> found_{nullptr};
    std::thread thread_;
};

// The folder the test program started in, where its artefacts (screenshots) are kept: a file
// dialog moves the current folder to wherever its user went.
inline const std::wstring& StartFolder() {
    static const std::wstring folder = [] {
        std::wstring name(MAX_PATH, L'\0');
        name.resize(GetCurrentDirectoryW(MAX_PATH, name.data()));
        return name;
    }();
    return folder;
}
inline const std::wstring kStartFolderTaken = StartFolder();

// The long form of a temporary folder (Wine hands it out in its 8.3 form), without a trailing
// backslash.
inline std::wstring LongFolderName(const wchar_t* Folder) {
    std::wstring name(MAX_PATH, L'\0');
    name.resize(GetLongPathNameW(Folder, name.data(), MAX_PATH));
    if (name.size() > 3 && name.back() == L'\\') name.pop_back();
    return name;
}

// A folder of its own under the temporary folder (its long name), removed with what is in it.
class TScratchFolder {
public:
    explicit TScratchFolder(const std::wstring& Name) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = LongFolderName(temp) + L"\\" + Name + L" " +
                std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    // A file dialog may have made it the current folder, which could then not be removed.
    ~TScratchFolder() {
        SetCurrentDirectoryW(StartFolder().c_str());
        Remove(path_);
    }
    const std::wstring& Path() const { return path_; }
    std::wstring Folder(const std::wstring& Name) const {
        std::wstring full = path_ + L"\\" + Name;
        CreateDirectoryW(full.c_str(), nullptr);
        return full;
    }
    // A name in the folder, nothing made.
    std::wstring Name(const std::wstring& Leaf) const { return path_ + L"\\" + Leaf; }
    std::wstring File(const std::wstring& Name) const {
        std::wstring full = path_ + L"\\" + Name;
        CloseHandle(CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        return full;
    }

private:
    static void Remove(const std::wstring& Folder) {
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((Folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(Folder + L"\\" + name);
                else
                    DeleteFileW((Folder + L"\\" + name).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(Folder.c_str());
    }
    std::wstring path_;
};

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
    // A shown form owned by the application (destroyed by the reset after the test).
    static classlib::TForm* ShownForm(int Width = 300, int Height = 200) {
        auto* form = new classlib::TForm(classlib::Application());
        form->SetBounds(50, 50, Width, Height);
        form->Show();
        return form;
    }
    void SetUp() override {
        classlib::Application()->Initialize();
        ResetApplication();
    }
    void TearDown() override { ResetApplication(); }
};

}  // namespace kittest
