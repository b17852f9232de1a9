#include "widgets/kit/kit_glyph.h"

#include "widgets/kit/kit_str_utils.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

// ---- TGlyphList, TGlyphCache -----------------------------------------------------------------

TGlyphList::TGlyphList(int Width, int Height)
    : handle_(ImageList_Create(Width, Height, ILC_COLOR24 | ILC_MASK, 4, 4)), width_(Width), height_(Height) {}

TGlyphList::~TGlyphList() {
    if (handle_ != nullptr) ImageList_Destroy(handle_);
}

int TGlyphList::AddMasked(HBITMAP Image, COLORREF MaskColor) {
    int slot = -1;
    for (size_t i = 0; i < used_.size(); ++i)
        if (!used_[i]) {
            slot = static_cast<int>(i);
            break;
        }
    if (slot >= 0) {
        // Replace the free slot with the new image and mask.
        int added = ImageList_AddMasked(handle_, Image, MaskColor);
        if (added < 0) return -1;
        ImageList_Copy(handle_, slot, handle_, added, ILCF_MOVE);
        ImageList_Remove(handle_, added);
    } else {
        slot = ImageList_AddMasked(handle_, Image, MaskColor);
        if (slot < 0) return -1;
        if (static_cast<size_t>(slot) >= used_.size()) used_.resize(static_cast<size_t>(slot) + 1, false);
    }
    used_[static_cast<size_t>(slot)] = true;
    ++count_;
    return slot;
}

void TGlyphList::Delete(int Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= used_.size() || !used_[static_cast<size_t>(Index)]) return;
    used_[static_cast<size_t>(Index)] = false;
    --count_;
}

TGlyphList* TGlyphCache::GetList(int Width, int Height) {
    for (auto& l : lists_)
        if (l->Width() == Width && l->Height() == Height) return l.get();
    lists_.push_back(std::make_unique<TGlyphList>(Width, Height));
    return lists_.back().get();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
    if (List == nullptr || List->Count() > 0) return;
    for (auto it = lists_.begin(); it != lists_.end(); ++it)
        if (it->get() == List) {
            lists_.erase(it);
            return;
        }
}

TGlyphCache& GlyphCache() {
    static TGlyphCache cache;
    return cache;
}

// ---- TKitButtonGlyph ------------------------------------------------------------------------

namespace {

// The first image turned grey: the transparent and face-coloured pixels stay, the others take
// their luminance in all three channels.
TOwnedBitmap GreyImage(HBITMAP Image, int W, int H, COLORREF Transparent) {
    TOwnedBitmap out = CopyBitmap(Image);
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TSelectedObject sel(dc.Get(), out.Get());
    COLORREF face = ColorToRGB(clBtnFace);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            COLORREF c = GetPixel(dc.Get(), x, y);
            if (c == Transparent || c == face) continue;
            int grey = (77 * GetRValue(c) + 150 * GetGValue(c) + 29 * GetBValue(c)) / 256;
            SetPixel(dc.Get(), x, y, RGB(grey, grey, grey));
        }
    return out;
}

// Image Index (W wide) of a strip.
TOwnedBitmap CutImage(HBITMAP Strip, int Index, int W, int H) {
    TWindowDC screen(nullptr);
    TOwnedBitmap out(CreateCompatibleBitmap(screen.Get(), W, H));
    TOwnedDC src(CreateCompatibleDC(nullptr)), dst(CreateCompatibleDC(nullptr));
    TSelectedObject s1(src.Get(), Strip), s2(dst.Get(), out.Get());
    BitBlt(dst.Get(), 0, 0, W, H, src.Get(), Index * W, 0, SRCCOPY);
    return out;
}

}  // namespace

TKitButtonGlyph::TKitButtonGlyph() = default;

TKitButtonGlyph::~TKitButtonGlyph() { Invalidate(); }

void TKitButtonGlyph::Invalidate() {
    for (int& i : indexes_) {
        if (i >= 0 && list_ != nullptr) list_->Delete(i);
        i = -1;
    }
    if (list_ != nullptr) GlyphCache().ReturnList(list_);
    list_ = nullptr;
}

void TKitButtonGlyph::SetGlyph(HBITMAP Value) {
    Invalidate();
    glyph_ = Value != nullptr ? CopyBitmap(Value) : TOwnedBitmap();
    if (!glyph_) return;
    SIZE s = BitmapSize(glyph_.Get());
    transparent_ = static_cast<COLORREF>(BottomLeftColor(glyph_.Get())) & 0xFFFFFF;
    if (s.cy > 0 && s.cx % s.cy == 0) {
        int n = s.cx / s.cy;
        numGlyphs_ = n > 5 ? 1 : (n < 1 ? 1 : n);
    }
}

void TKitButtonGlyph::SetTransparentColor(COLORREF Value) {
    Invalidate();
    transparent_ = Value & 0xFFFFFF;
}

void TKitButtonGlyph::SetNumGlyphs(int Value) {
    Value = Value < 1 ? 1 : (Value > 5 ? 5 : Value);
    if (Value == numGlyphs_) return;
    Invalidate();
    numGlyphs_ = Value;
}

SIZE TKitButtonGlyph::ImageSize() const {
    SIZE s = BitmapSize(glyph_.Get());
    if (s.cx == 0) return s;
    return SIZE{s.cx / numGlyphs_, s.cy};
}

int TKitButtonGlyph::CreateButtonGlyph(TKitButtonState State) {
    int state = static_cast<int>(State);
    if (State == TKitButtonState::bsDown && numGlyphs_ < 3) state = static_cast<int>(TKitButtonState::bsUp);
    if (indexes_[state] >= 0) return indexes_[state];
    if (!glyph_) return -1;
    SIZE size = ImageSize();
    if (size.cx <= 0 || size.cy <= 0) return -1;
    if (list_ == nullptr) list_ = GlyphCache().GetList(size.cx, size.cy);
    TOwnedBitmap image = CutImage(glyph_.Get(), state < numGlyphs_ ? state : 0, size.cx, size.cy);
    COLORREF mask = transparent_;
    if (state == static_cast<int>(TKitButtonState::bsDisabled) && numGlyphs_ < 2) {
        image = MakeDisabledBitmapStd(image.Get(), clBlack);
        mask = ColorToRGB(clBtnFace);
    } else if (state == static_cast<int>(TKitButtonState::bsInactive) && numGlyphs_ < 5) {
        image = GreyImage(image.Get(), size.cx, size.cy, transparent_);
    }
    indexes_[state] = list_->AddMasked(image.Get(), mask);
    return indexes_[state];
}

void TKitButtonGlyph::DrawButtonText(HDC DC, const std::string& Caption, RECT Bounds, TKitButtonState State,
                                     UINT Flags) {
    int oldMode = SetBkMode(DC, TRANSPARENT);
    COLORREF oldColor = GetTextColor(DC);
    if (State == TKitButtonState::bsDisabled) {
        RECT r = Bounds;
        OffsetRect(&r, 1, 1);
        SetTextColor(DC, ColorToRGB(clBtnHighlight));
        DrawTextAnsi(DC, Caption, r, Flags);
        SetTextColor(DC, ColorToRGB(clBtnShadow));
    }
    DrawTextAnsi(DC, Caption, Bounds, Flags);
    SetTextColor(DC, oldColor);
    SetBkMode(DC, oldMode);
}

RECT TKitButtonGlyph::Draw(HDC DC, const RECT& Client, POINT Offset, const std::string& Caption, TButtonLayout Layout,
                           int Margin, int Spacing, TKitButtonState State, TAlignment Alignment, bool WordWrap,
                           UINT BiDiFlags) {
    const bool sideways = Layout == TButtonLayout::blGlyphLeft || Layout == TButtonLayout::blGlyphRight;
    POINT clientSize{Client.right - Client.left, Client.bottom - Client.top};
    SIZE glyphSize = glyph_ ? ImageSize() : SIZE{0, 0};
    // The caption: word-wrapped in the free width, or each line shortened with "...".
    std::string text = Caption;
    UINT align = Alignment == TAlignment::taLeftJustify ? DT_LEFT : Alignment == TAlignment::taRightJustify ? DT_RIGHT : DT_CENTER;
    UINT flags = BiDiFlags | align | (WordWrap ? DT_WORDBREAK : 0);
    RECT textBounds{0, 0, 0, 0};
    if (!text.empty()) {
        int room = clientSize.x - (sideways ? glyphSize.cx + (Spacing > 0 ? Spacing : 0) : 0);
        if (!WordWrap) {
            std::string fitted;
            size_t start = 0;
            while (start <= text.size()) {
                size_t end = text.find('\n', start);
                if (end == std::string::npos) end = text.size();
                std::string line = text.substr(start, end - start);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (start > 0) fitted += "\r\n";
                fitted += FitTextWithEllipsis(line, DC, room);
                start = end + 1;
            }
            text = fitted;
        }
        textBounds = RECT{0, 0, room > 0 ? room : 0, 0};
        DrawTextAnsi(DC, text, textBounds, DT_CALCRECT | flags);
    }
    POINT textSize{textBounds.right - textBounds.left, textBounds.bottom - textBounds.top};
    POINT glyphPos{0, 0}, textPos{0, 0};
    if (sideways) {
        glyphPos.y = (clientSize.y - glyphSize.cy + 1) / 2;
        textPos.y = (clientSize.y - textSize.y + 1) / 2;
    } else {
        glyphPos.x = (clientSize.x - glyphSize.cx + 1) / 2;
        textPos.x = (clientSize.x - textSize.x + 1) / 2;
    }
    if (textSize.x == 0 || glyphSize.cx == 0) Spacing = 0;
    if (Margin == -1) {
        if (Spacing == -1) {
            int total = sideways ? glyphSize.cx + textSize.x : glyphSize.cy + textSize.y;
            Margin = ((sideways ? clientSize.x : clientSize.y) - total) / 3;
            Spacing = Margin;
        } else {
            int total = sideways ? glyphSize.cx + Spacing + textSize.x : glyphSize.cy + Spacing + textSize.y;
            Margin = ((sideways ? clientSize.x : clientSize.y) - total + 1) / 2;
        }
    } else if (Spacing == -1) {
        int total = sideways ? clientSize.x - (Margin + glyphSize.cx) : clientSize.y - (Margin + glyphSize.cy);
        Spacing = (total - (sideways ? textSize.x : textSize.y)) / 2;
    }
    switch (Layout) {
        case TButtonLayout::blGlyphLeft:
            glyphPos.x = Margin;
            textPos.x = glyphPos.x + glyphSize.cx + Spacing;
            break;
        case TButtonLayout::blGlyphRight:
            glyphPos.x = clientSize.x - Margin - glyphSize.cx;
            textPos.x = glyphPos.x - Spacing - textSize.x;
            break;
        case TButtonLayout::blGlyphTop:
            glyphPos.y = Margin;
            textPos.y = glyphPos.y + glyphSize.cy + Spacing;
            break;
        case TButtonLayout::blGlyphBottom:
            glyphPos.y = clientSize.y - Margin - glyphSize.cy;
            textPos.y = glyphPos.y - Spacing - textSize.y;
            break;
    }
    glyphPos.x += Client.left + Offset.x;
    glyphPos.y += Client.top + Offset.y;
    OffsetRect(&textBounds, textPos.x + Client.left + Offset.x, textPos.y + Client.top + Offset.y);
    int index = CreateButtonGlyph(State);
    if (index >= 0) ImageList_DrawEx(list_->Handle(), index, DC, glyphPos.x, glyphPos.y, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
    if (!text.empty()) DrawButtonText(DC, text, textBounds, State, flags);
    return textBounds;
}

}  // namespace widgets::kit
