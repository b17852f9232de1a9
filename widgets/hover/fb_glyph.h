// The FlatBar button's glyph: the images of its five states cut from one bitmap (or taken from an
// image list), a generated embossed image for the disabled state, and the shared cache of image
// lists, one per image size, that hold the prepared images of every button.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/gdi_handles.h"
#include "classlib/graphics.h"
#include "classlib/objects.h"

namespace hover {

// An image list of one size whose slots are taken and given back one by one.
class TGlyphList {
public:
    TGlyphList(int Width, int Height);
    ~TGlyphList();
    TGlyphList(const TGlyphList&) = delete;
    TGlyphList& operator=(const TGlyphList&) = delete;
    int Width() const { return width_; }
    int Height() const { return height_; }
    HIMAGELIST Handle() const { return handle_; }
    // Puts Image with Mask (1 = transparent) in the first free slot (growing the list by one when
    // none is free) and answers its index. A bitmap smaller than the list's images raises
    // EInvalidOperation "Invalid image size"; a refused replacement "Unable to Replace Image".
    int AddMasked(HBITMAP Image, HBITMAP Mask);
    // Gives the slot back.
    void Delete(int Index);
    // Slots in use.
    int Count() const { return count_; }

private:
    int width_, height_;
    HIMAGELIST handle_;
    std::vector<bool> used_;
    int count_ = 0;
};

// The shared lists: one per size, found from the last made; a list whose count drops to 0 goes.
class TGlyphCache {
public:
    TGlyphList* GetList(int Width, int Height);
    void ReturnList(TGlyphList* List);
    bool Empty() const { return lists_.empty(); }
    int ListCount() const { return static_cast<int>(lists_.size()); }

private:
    std::vector<std::unique_ptr<TGlyphList>> lists_;
};
// The cache of the process's glyphs (nullptr while no glyph object exists).
TGlyphCache* GlyphCache();

enum class TButtonState { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3, bsHot = 4 };

// A 32-bit picture with its transparency, row by row from the top.
struct TGlyphPixels {
    int Width = 0, Height = 0;
    std::vector<COLORREF> Colors;
    std::vector<bool> Opaque;
};
// The embossed disabled figure of Up, one pixel wider and higher: figure pixels in Highlight one
// pixel right and down, then in Shadow at their place. In the new style white and light-grey
// pixels count as background; in the old style every opaque pixel is figure.
TGlyphPixels EmbossDisabled(const TGlyphPixels& Up, bool OldStyle, COLORREF Highlight, COLORREF Shadow);

// The glyph of one button.
class TButtonGlyph {
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    // The images side by side (a copy is kept; nullptr empties it). Sets NumGlyphs from the
    // width when it is a whole multiple (at most 5) of the height, else 1.
    HBITMAP Glyph() const { return glyph_.Get(); }
    void SetGlyph(HBITMAP Value);
    // Defines the transparent pixels (white = transparent) instead of the transparent colour.
    HBITMAP GlyphMask() const { return mask_.Get(); }
    void SetGlyphMask(HBITMAP Value);
    // Takes the image Index of List instead of Glyph (nullptr: back to Glyph); NumGlyphs is 1.
    void SetImageList(HIMAGELIST List, int Index);
    HIMAGELIST ImageList() const { return imageList_; }
    int ImageIndex() const { return imageIndex_; }
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int Value);
    bool OldDisabledStyle() const { return oldDisabledStyle_; }
    void SetOldDisabledStyle(bool Value);
    // The glyph's bottom-left pixel.
    COLORREF TransparentColor() const { return transparentColor_; }

    // Width and height of one image (0, 0 without glyph).
    SIZE GlyphSize() const;
    bool HasImage() const;
    // Prepares (once, cached) the image of State; false when there is none to show.
    bool Prepare(TButtonState State);
    // Draws the image of State at X, Y.
    void Draw(HDC DC, int X, int Y, TButtonState State);
    // Forgets the prepared images (after a change of system colours).
    void Invalidate();

    classlib::TNotifyEvent OnChange;

private:
    struct TPrepared {
        TGlyphList* list = nullptr;
        int index = -1;
    };
    bool SourcePixels(int Position, TGlyphPixels& Out) const;
    void Changed();
    classlib::TOwnedBitmap glyph_;
    classlib::TOwnedBitmap mask_;
    HIMAGELIST imageList_ = nullptr;
    int imageIndex_ = -1;
    int numGlyphs_ = 1;
    bool oldDisabledStyle_ = false;
    COLORREF transparentColor_ = 0;
    TPrepared prepared_[5];
};

// Pixels of a bitmap (nullptr or unreadable: empty).
TGlyphPixels ReadBitmapPixels(HBITMAP Bitmap);
// A bitmap and its mask (1 = transparent) made from pixels.
HBITMAP MakeBitmap(const TGlyphPixels& Pixels);
HBITMAP MakeMask(const TGlyphPixels& Pixels);

}  // namespace hover
