// Small owners of the GDI handles the picture filters hold: a GDI object freed with DeleteObject, a
// memory DC freed with DeleteDC, and a selection put back when it goes. Movable, never copied, so
// no path leaks a handle or frees one twice.
#pragma once

#include <windows.h>

#include <utility>

namespace filters {

// A font, bitmap or other GDI object. It must not be freed while still selected into a DC: hold the
// selection in a TSelectedObject declared after it.
template <typename Handle>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(Handle value) : handle_(value) {}
    ~TGdiObject() { Reset(); }
    TGdiObject(TGdiObject&& other) noexcept : handle_(other.Release()) {}
    TGdiObject& operator=(TGdiObject&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(Handle value = nullptr)
    {
        Handle old = std::exchange(handle_, value);
        if (old != nullptr && old != value) DeleteObject(old);
    }
    Handle Release() { return std::exchange(handle_, nullptr); }

private:
    Handle handle_ = nullptr;
};

using TOwnedFont = TGdiObject<HFONT>;
using TOwnedBitmap = TGdiObject<HBITMAP>;

// A memory DC made by CreateCompatibleDC.
class TOwnedDC {
public:
    TOwnedDC() = default;
    explicit TOwnedDC(HDC value) : dc_(value) {}
    ~TOwnedDC() { Reset(); }
    TOwnedDC(TOwnedDC&& other) noexcept : dc_(other.Release()) {}
    TOwnedDC& operator=(TOwnedDC&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    TOwnedDC(const TOwnedDC&) = delete;
    TOwnedDC& operator=(const TOwnedDC&) = delete;

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }
    void Reset(HDC value = nullptr)
    {
        HDC old = std::exchange(dc_, value);
        if (old != nullptr && old != value) DeleteDC(old);
    }
    HDC Release() { return std::exchange(dc_, nullptr); }

private:
    HDC dc_ = nullptr;
};

// An object selected into a DC; the object that was there before goes back when the holder goes or
// another object is selected through it.
class TSelectedObject {
public:
    TSelectedObject() = default;
    TSelectedObject(HDC dc, HGDIOBJ object) { Select(dc, object); }
    ~TSelectedObject() { Restore(); }
    TSelectedObject(const TSelectedObject&) = delete;
    TSelectedObject& operator=(const TSelectedObject&) = delete;

    // Selects object (nullptr: only puts the old one back).
    void Select(HDC dc, HGDIOBJ object)
    {
        Restore();
        if (dc != nullptr && object != nullptr) {
            HGDIOBJ old = SelectObject(dc, object);
            if (old != nullptr && old != HGDI_ERROR) {
                dc_ = dc;
                old_ = old;
            }
        }
    }
    void Restore()
    {
        if (dc_ != nullptr) SelectObject(dc_, old_);
        dc_ = nullptr;
        old_ = nullptr;
    }

private:
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

}  // namespace filters
