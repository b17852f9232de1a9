// Owners of GDI handles: each frees its pen, brush, font, bitmap, region or DC in its destructor and
// can be moved but not copied, so no path leaks a handle or frees one twice. Selections into a DC
// are put back by a guard in the same way.
#pragma once

#include <windows.h>

#include <utility>

namespace classlib {

// A handle freed by Deleter when its owner goes or takes another one.
template <typename Handle, typename Deleter>
class TOwnedHandle {
public:
    TOwnedHandle() = default;
    explicit TOwnedHandle(Handle Value) : handle_(Value) {}
    ~TOwnedHandle() { Reset(); }
    TOwnedHandle(TOwnedHandle&& Other) noexcept : handle_(Other.Release()) {}
    TOwnedHandle& operator=(TOwnedHandle&& Other) noexcept {
        if (this != &Other) Reset(Other.Release());
        return *this;
    }
    TOwnedHandle(const TOwnedHandle&) = delete;
    TOwnedHandle& operator=(const TOwnedHandle&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Frees the handle held and takes Value (nullptr: holds nothing).
    void Reset(Handle Value = nullptr) {
        Handle old = std::exchange(handle_, Value);
        if (old != nullptr && old != Value) Deleter()(old);
    }
    // Gives the handle up without freeing it.
    Handle Release() { return std::exchange(handle_, nullptr); }

private:
    Handle handle_ = nullptr;
};

struct TDeleteGdiObject {
    void operator()(HGDIOBJ Object) const { DeleteObject(Object); }
};
struct TDeleteDC {
    void operator()(HDC DC) const { DeleteDC(DC); }
};

// A GDI object (HPEN, HBRUSH, HFONT, HBITMAP, HRGN) freed with DeleteObject. A holder must not be
// destroyed while its object is still selected into a DC (select the old object back first).
template <typename Handle>
using TGdiObject = TOwnedHandle<Handle, TDeleteGdiObject>;

using TOwnedPen = TGdiObject<HPEN>;
using TOwnedBrush = TGdiObject<HBRUSH>;
using TOwnedFont = TGdiObject<HFONT>;
using TOwnedBitmap = TGdiObject<HBITMAP>;
using TOwnedRegion = TGdiObject<HRGN>;

// A memory DC (CreateCompatibleDC), freed with DeleteDC.
using TOwnedDC = TOwnedHandle<HDC, TDeleteDC>;

// A window's DC (GetDC, GetDCEx), given back with ReleaseDC to the window it came from.
// The screen's DC that the main thread keeps to the end of the process (made on first use; null on
// another thread): text measured and bitmaps made like the screen's took a screen DC of their own
// dozens of times at start, and each one costs round trips to the server under Wine. Nothing is
// drawn on it, and whoever selects an object into it selects the previous one back.
HDC KeptScreenDC();

class TWindowDC {
public:
    TWindowDC() = default;
    // Takes the DC of Window (nullptr: the screen; on the main thread the kept one, which stays).
    explicit TWindowDC(HWND Window) : window_(Window) {
        if (Window == nullptr) dc_ = KeptScreenDC();
        kept_ = dc_ != nullptr;
        if (!kept_) dc_ = GetDC(Window);
    }
    // Takes over a DC already obtained from Window.
    TWindowDC(HWND Window, HDC DC) : window_(Window), dc_(DC) {}
    ~TWindowDC() { Reset(); }
    TWindowDC(TWindowDC&& Other) noexcept
        : window_(std::exchange(Other.window_, nullptr)), dc_(std::exchange(Other.dc_, nullptr)),
          kept_(std::exchange(Other.kept_, false)) {}
    TWindowDC& operator=(TWindowDC&& Other) noexcept {
        if (this != &Other) {
            Reset();
            window_ = std::exchange(Other.window_, nullptr);
            dc_ = std::exchange(Other.dc_, nullptr);
            kept_ = std::exchange(Other.kept_, false);
        }
        return *this;
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;

    HDC Get() const { return dc_; }
    HWND Window() const { return window_; }
    explicit operator bool() const { return dc_ != nullptr; }
    void Reset() {
        if (dc_ != nullptr && !kept_) ReleaseDC(window_, dc_);
        dc_ = nullptr;
        window_ = nullptr;
        kept_ = false;
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    bool kept_ = false;
};

// Selects an object into a DC and selects the previous one back when it goes.
class TSelectedObject {
public:
    TSelectedObject(HDC DC, HGDIOBJ Object) : dc_(DC), old_(Object != nullptr ? SelectObject(DC, Object) : nullptr) {}
    ~TSelectedObject() {
        if (old_ != nullptr) SelectObject(dc_, old_);
    }
    TSelectedObject(const TSelectedObject&) = delete;
    TSelectedObject& operator=(const TSelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Saves a DC's state (SaveDC) and restores it when it goes, whatever was selected meanwhile.
class TSavedDC {
public:
    explicit TSavedDC(HDC DC) : dc_(DC), saved_(SaveDC(DC)) {}
    ~TSavedDC() {
        if (saved_ != 0) RestoreDC(dc_, saved_);
    }
    TSavedDC(const TSavedDC&) = delete;
    TSavedDC& operator=(const TSavedDC&) = delete;

private:
    HDC dc_;
    int saved_;
};

// Sets a DC up for raw DrawText calls (font, text colour, transparent background) and puts
// everything back when it goes.
class TTextDC {
public:
    TTextDC(HDC DC, HFONT Font, COLORREF TextColor)
        : dc_(DC), font_(DC, Font), oldColor_(SetTextColor(DC, TextColor)), oldMode_(SetBkMode(DC, TRANSPARENT)),
          oldBk_(GetBkColor(DC)) {}
    ~TTextDC() {
        SetBkColor(dc_, oldBk_);
        SetBkMode(dc_, oldMode_);
        SetTextColor(dc_, oldColor_);
    }
    TTextDC(const TTextDC&) = delete;
    TTextDC& operator=(const TTextDC&) = delete;
    HDC Get() const { return dc_; }
    void Color(COLORREF Value) { SetTextColor(dc_, Value); }

private:
    HDC dc_;
    TSelectedObject font_;
    COLORREF oldColor_;
    int oldMode_;
    COLORREF oldBk_;
};

}  // namespace classlib
