// Glyphs of the kit's speed buttons: a bitmap of up to five images side by side (up, disabled,
// down, exclusive, inactive), the missing ones made on demand (embossed or grey), kept in image
// lists of one size shared by every button through one cache, and the drawing of glyph and
// caption by layout, margin and spacing.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/gdi_handles.h"
#include "classlib/graphics.h"
#include "classlib/std_text.h"

namespace widgets::kit {

enum class TKitButtonState { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3, bsInactive = 4 };
enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// An image list of one image size with a record of its used slots.
class TGlyphList {
public:
    TGlyphList(int Width, int Height);
    ~TGlyphList();
    TGlyphList(const TGlyphList&) = delete;
    TGlyphList& operator=(const TGlyphList&) = delete;
    int Width() const { return width_; }
    int Height() const { return height_; }
    HIMAGELIST Handle() const { return handle_; }
    // Adds the image with its mask from MaskColor into a free slot; answers the slot.
    int AddMasked(HBITMAP Image, COLORREF MaskColor);
    void Delete(int Index);
    int Count() const { return count_; }

private:
    HIMAGELIST handle_;
    int width_, height_;
    std::vector<bool> used_;
    int count_ = 0;
};

// The lists of every glyph size in use; a list goes when its last image does.
class TGlyphCache {
public:
    TGlyphList* GetList(int Width, int Height);
    void ReturnList(TGlyphList* List);
    bool Empty() const { return lists_.empty(); }

private:
    std::vector<std::unique_ptr<TGlyphList>> lists_;
};
// The process's cache, made on first use.
TGlyphCache& GlyphCache();

class TKitButtonGlyph {
public:
    TKitButtonGlyph();
    ~TKitButtonGlyph();
    TKitButtonGlyph(const TKitButtonGlyph&) = delete;
    TKitButtonGlyph& operator=(const TKitButtonGlyph&) = delete;

    HBITMAP Glyph() const { return glyph_.Get(); }
    // Takes a copy (nullptr empties it). A glyph whose width is a whole multiple of its height
    // sets NumGlyphs to that multiple (1 above 5); its transparent colour is its bottom-left pixel.
    void SetGlyph(HBITMAP Value);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int Value);
    COLORREF TransparentColor() const { return transparent_; }
    // Names another transparent colour than the bottom-left pixel's (drops the prepared images).
    void SetTransparentColor(COLORREF Value);
    // Drops the prepared images (a change of system colours).
    void Invalidate();
    // The image of a state, prepared on first need (-1: no glyph).
    int CreateButtonGlyph(TKitButtonState State);
    HIMAGELIST ImageList() const { return list_ != nullptr ? list_->Handle() : nullptr; }
    SIZE ImageSize() const;

    // Draws glyph and caption into Client of DC (Offset added) and answers the caption's rectangle.
    RECT Draw(HDC DC, const RECT& Client, POINT Offset, const std::string& Caption, TButtonLayout Layout, int Margin,
              int Spacing, TKitButtonState State, classlib::TAlignment Alignment, bool WordWrap, UINT BiDiFlags);

private:
    void DrawButtonText(HDC DC, const std::string& Caption, RECT Bounds, TKitButtonState State, UINT Flags);
    classlib::TOwnedBitmap glyph_;
    COLORREF transparent_ = 0;
    int numGlyphs_ = 1;
    int indexes_[5] = {-1, -1, -1, -1, -1};
    TGlyphList* list_ = nullptr;
};

}  // namespace widgets::kit
