// Test helpers of the drag source: formats read as drop targets read them, a drop target that
// reads the files at drag-enter, and a drag run with the real mouse button held.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "custom_test_support.h"
#include "widgets/custom/drop_source.h"

namespace customtest {

inline FORMATETC Etc(UINT Format, DWORD Aspect = DVASPECT_CONTENT, DWORD Tymed = TYMED_HGLOBAL) {
    return FORMATETC{static_cast<CLIPFORMAT>(Format), nullptr, Aspect, -1, Tymed};
}

// The names of a file-drop block, as a drop target reads them.
inline std::vector<std::wstring> DropNames(HDROP Drop) {
    std::vector<std::wstring> names;
    const UINT n = DragQueryFileW(Drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        wchar_t buf[MAX_PATH];
        DragQueryFileW(Drop, i, buf, MAX_PATH);
        names.push_back(buf);
    }
    return names;
}

// The paths an ID-list array names (its parent joined with each item).
inline std::vector<std::wstring> IdListPaths(HGLOBAL Block) {
    std::vector<std::wstring> paths;
    auto* cida = static_cast<CIDA*>(GlobalLock(Block));
    auto* base = reinterpret_cast<const BYTE*>(cida);
    auto parent = reinterpret_cast<PCIDLIST_ABSOLUTE>(base + cida->aoffset[0]);
    for (UINT i = 0; i < cida->cidl; ++i) {
        PIDLIST_ABSOLUTE full = ILCombine(parent, reinterpret_cast<PCUIDLIST_RELATIVE>(base + cida->aoffset[i + 1]));
        wchar_t buf[MAX_PATH] = {};
        SHGetPathFromIDListW(full, buf);
        paths.push_back(buf);
        ILFree(full);
    }
    GlobalUnlock(Block);
    return paths;
}

// A drop target that reads the files at drag-enter, as the shell's targets do.
class ReadingDropTarget : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** p) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *p = this;
            return S_OK;
        }
        *p = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        FORMATETC etc = Etc(CF_HDROP);
        STGMEDIUM m{};
        if (data->GetData(&etc, &m) == S_OK) {
            enterNames = DropNames(static_cast<HDROP>(m.hGlobal));
            ReleaseStgMedium(&m);
        }
        etc = Etc(widgets::custom::ShellClipboardFormats().ShellIDListArray);
        if (data->GetData(&etc, &m) == S_OK) {
            enterIdPaths = IdListPaths(m.hGlobal);
            ReleaseStgMedium(&m);
        }
        *effect = enterNames.empty() ? DROPEFFECT_NONE : (*effect & DROPEFFECT_COPY);
        // The user lets the button go over the target.
        INPUT up{};
        up.type = INPUT_MOUSE;
        up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(1, &up, sizeof up);
        ++enters;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        *effect = enterNames.empty() ? DROPEFFECT_NONE : (*effect & DROPEFFECT_COPY);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        dropped = true;
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    std::vector<std::wstring> enterNames, enterIdPaths;
    bool dropped = false;
    int enters = 0;
};

// A top-level window registered as drop target, for as long as it lives.
class TargetWindow {
public:
    TargetWindow(IDropTarget* Target, RECT Bounds) {
        // A window class of its own: a static control is transparent to the drag's hit test.
        static const ATOM cls = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.lpszClassName = L"QuillTestDropTarget";
            return RegisterClassW(&wc);
        }();
        window_ = CreateWindowExW(WS_EX_TOPMOST, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(cls)), L"drop here",
                                  WS_POPUP | WS_VISIBLE, Bounds.left, Bounds.top, Bounds.right - Bounds.left,
                                  Bounds.bottom - Bounds.top, nullptr, nullptr, nullptr, nullptr);
        registered_ = window_ != nullptr && RegisterDragDrop(window_, Target) == S_OK;
    }
    ~TargetWindow() {
        if (registered_) RevokeDragDrop(window_);
        if (window_ != nullptr) DestroyWindow(window_);
    }
    bool Ready() const { return registered_; }

private:
    HWND window_ = nullptr;
    bool registered_ = false;
};

inline void Mouse(DWORD Flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = Flags;
    SendInput(1, &in, sizeof in);
}

// Puts the pointer at X, Y and presses the left button there; the drag reads the button from the
// thread's key state, which follows the messages taken.
inline void PressLeftAt(int X, int Y) {
    SetCursorPos(X, Y);
    Mouse(MOUSEEVENTF_LEFTDOWN);
    PumpUntil([] { return GetKeyState(VK_LBUTTON) < 0; }, 2000);
}

// Ends a drag still going after 10 s with Escape and the button's release, so that a test that
// fails never hangs.
class DragWatchdog {
public:
    DragWatchdog()
        : thread_([this] {
              for (int i = 0; i < 1000 && !done_; ++i) Sleep(10);
              if (done_) return;
              INPUT keys[3]{};
              keys[0].type = keys[1].type = INPUT_KEYBOARD;
              keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
              keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
              keys[2].type = INPUT_MOUSE;
              keys[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
              SendInput(3, keys, sizeof keys[0]);
          }) {}
    ~DragWatchdog() {
        done_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace customtest
