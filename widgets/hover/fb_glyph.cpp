// The FlatBar button's glyph and the shared glyph cache.
#include "widgets/hover/fb_glyph.h"

#include <algorithm>

#include "classlib/exceptions.h"

namespace hover {

using namespace classlib;

// ---- Pixels ----------------------------------------------------------------------------------

namespace {
// A top-down 32-bit layout of Width x Height pixels.
BITMAPINFO Dib32(int Width, int Height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = Width;
    bi.bmiHeader.biHeight = -Height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}
}  // namespace

TGlyphPixels ReadBitmapPixels(HBITMAP Bitmap) {
    TGlyphPixels p;
    BITMAP bm{};
    if (Bitmap == nullptr || GetObjectW(Bitmap, sizeof(bm), &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight <= 0) return p;
    BITMAPINFO bi = Dib32(bm.bmWidth, bm.bmHeight);
    std::vector<std::uint32_t> raw(static_cast<size_t>(bm.bmWidth) * static_cast<size_t>(bm.bmHeight));
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, Bitmap, 0, static_cast<UINT>(bm.bmHeight), raw.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != bm.bmHeight) return p;
    p.Width = bm.bmWidth;
    p.Height = bm.bmHeight;
    p.Colors.resize(raw.size());
    p.Opaque.assign(raw.size(), true);
    for (size_t i = 0; i < raw.size(); ++i) {
        std::uint32_t v = raw[i];
        p.Colors[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    return p;
}

HBITMAP MakeBitmap(const TGlyphPixels& Pixels) {
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateCompatibleBitmap(screen, Pixels.Width, Pixels.Height);
    BITMAPINFO bi = Dib32(Pixels.Width, Pixels.Height);
    std::vector<std::uint32_t> raw(Pixels.Colors.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        COLORREF c = Pixels.Colors[i];
        raw[i] = (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
    }
    if (b != nullptr) SetDIBits(screen, b, 0, static_cast<UINT>(Pixels.Height), raw.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return b;
}

HBITMAP MakeMask(const TGlyphPixels& Pixels) {
    // Monochrome rows are padded to 16 bits; a set bit is transparent.
    const int stride = ((Pixels.Width + 15) / 16) * 2;
    std::vector<std::uint8_t> bits(static_cast<size_t>(stride) * static_cast<size_t>(Pixels.Height), 0);
    for (int y = 0; y < Pixels.Height; ++y)
        for (int x = 0; x < Pixels.Width; ++x)
            if (!Pixels.Opaque[static_cast<size_t>(y * Pixels.Width + x)])
                bits[static_cast<size_t>(y * stride + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    return CreateBitmap(Pixels.Width, Pixels.Height, 1, 1, bits.data());
}

TGlyphPixels EmbossDisabled(const TGlyphPixels& Up, bool OldStyle, COLORREF Highlight, COLORREF Shadow) {
    TGlyphPixels out;
    out.Width = Up.Width + 1;
    out.Height = Up.Height + 1;
    const size_t n = static_cast<size_t>(out.Width) * static_cast<size_t>(out.Height);
    out.Colors.assign(n, 0);
    out.Opaque.assign(n, false);
    auto figure = [&](int x, int y) {
        size_t i = static_cast<size_t>(y * Up.Width + x);
        if (!Up.Opaque[i]) return false;
        if (OldStyle) return true;
        COLORREF c = Up.Colors[i];
        // White and light grey are the background of most pictures drawn for the new style.
        return !(GetRValue(c) >= 0xC0 && GetGValue(c) >= 0xC0 && GetBValue(c) >= 0xC0);
    };
    for (int pass = 0; pass < 2; ++pass) {
        const int d = pass == 0 ? 1 : 0;
        const COLORREF colour = pass == 0 ? Highlight : Shadow;
        for (int y = 0; y < Up.Height; ++y)
            for (int x = 0; x < Up.Width; ++x)
                if (figure(x, y)) {
                    size_t o = static_cast<size_t>((y + d) * out.Width + x + d);
                    out.Colors[o] = colour;
                    out.Opaque[o] = true;
                }
    }
    return out;
}

// ---- Glyph lists and cache -------------------------------------------------------------------

TGlyphList::TGlyphList(int Width, int Height)
    : width_(Width), height_(Height), handle_(ImageList_Create(Width, Height, ILC_COLORDDB | ILC_MASK, 1, 1)) {}

TGlyphList::~TGlyphList() {
    if (handle_ != nullptr) ImageList_Destroy(handle_);
}

int TGlyphList::AddMasked(HBITMAP Image, HBITMAP Mask) {
    BITMAP bm{};
    if (Image == nullptr || GetObjectW(Image, sizeof(bm), &bm) == 0 || bm.bmWidth < width_ || bm.bmHeight < height_)
        throw EInvalidOperation(L"Invalid image size");
    auto free = std::find(used_.begin(), used_.end(), false);
    int index = static_cast<int>(free - used_.begin());
    if (free == used_.end()) {
        if (!ImageList_SetImageCount(handle_, static_cast<UINT>(used_.size() + 1)))
            throw EInvalidOperation(L"Unable to Replace Image");
        used_.push_back(false);
    }
    if (!ImageList_Replace(handle_, index, Image, Mask)) throw EInvalidOperation(L"Unable to Replace Image");
    used_[static_cast<size_t>(index)] = true;
    ++count_;
    return index;
}

void TGlyphList::Delete(int Index) {
    if (Index < 0 || Index >= static_cast<int>(used_.size()) || !used_[static_cast<size_t>(Index)]) return;
    used_[static_cast<size_t>(Index)] = false;
    --count_;
}

TGlyphList* TGlyphCache::GetList(int Width, int Height) {
    for (auto it = lists_.rbegin(); it != lists_.rend(); ++it)
        if ((*it)->Width() == Width && (*it)->Height() == Height) return it->get();
    lists_.push_back(std::make_unique<TGlyphList>(Width, Height));
    return lists_.back().get();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
    if (List == nullptr || List->Count() != 0) return;
    lists_.erase(std::remove_if(lists_.begin(), lists_.end(), [&](const auto& p) { return p.get() == List; }), lists_.end());
}

namespace {
std::unique_ptr<TGlyphCache> gCache;
int gGlyphCount = 0;
}  // namespace

TGlyphCache* GlyphCache() { return gCache.get(); }

// ---- TButtonGlyph ----------------------------------------------------------------------------

TButtonGlyph::TButtonGlyph() {
    if (gGlyphCount++ == 0 && !gCache) gCache = std::make_unique<TGlyphCache>();
}

TButtonGlyph::~TButtonGlyph() {
    Invalidate();
    if (--gGlyphCount == 0 && gCache && gCache->Empty()) gCache.reset();
}

void TButtonGlyph::Changed() {
    Invalidate();
    if (OnChange) OnChange(nullptr);
}

void TButtonGlyph::SetGlyph(HBITMAP Value) {
    glyph_.Reset(Value != nullptr ? static_cast<HBITMAP>(CopyImage(Value, IMAGE_BITMAP, 0, 0, 0)) : nullptr);
    numGlyphs_ = 1;
    BITMAP bm{};
    if (glyph_ && GetObjectW(glyph_.Get(), sizeof(bm), &bm) != 0 && bm.bmHeight > 0) {
        if (bm.bmWidth % bm.bmHeight == 0 && bm.bmWidth / bm.bmHeight <= 5 && bm.bmWidth / bm.bmHeight >= 1)
            numGlyphs_ = bm.bmWidth / bm.bmHeight;
        TGlyphPixels p = ReadBitmapPixels(glyph_.Get());
        if (p.Height > 0) transparentColor_ = p.Colors[static_cast<size_t>((p.Height - 1) * p.Width)];
    }
    Changed();
}

void TButtonGlyph::SetGlyphMask(HBITMAP Value) {
    mask_.Reset(Value != nullptr ? static_cast<HBITMAP>(CopyImage(Value, IMAGE_BITMAP, 0, 0, 0)) : nullptr);
    Changed();
}

void TButtonGlyph::SetImageList(HIMAGELIST List, int Index) {
    imageList_ = List;
    imageIndex_ = Index;
    if (List != nullptr) numGlyphs_ = 1;
    Changed();
}

void TButtonGlyph::SetNumGlyphs(int Value) {
    Value = std::clamp(Value, 1, 5);
    if (imageList_ != nullptr) Value = 1;
    if (numGlyphs_ == Value) return;
    numGlyphs_ = Value;
    Changed();
}

void TButtonGlyph::SetOldDisabledStyle(bool Value) {
    if (oldDisabledStyle_ == Value) return;
    oldDisabledStyle_ = Value;
    Changed();
}

SIZE TButtonGlyph::GlyphSize() const {
    if (imageList_ != nullptr) {
        int w = 0, h = 0;
        ImageList_GetIconSize(imageList_, &w, &h);
        return SIZE{w, h};
    }
    BITMAP bm{};
    if (!glyph_ || GetObjectW(glyph_.Get(), sizeof(bm), &bm) == 0) return SIZE{0, 0};
    return SIZE{bm.bmWidth / numGlyphs_, bm.bmHeight};
}

bool TButtonGlyph::HasImage() const {
    if (imageList_ != nullptr) return imageIndex_ >= 0 && imageIndex_ < ImageList_GetImageCount(imageList_);
    return static_cast<bool>(glyph_);
}

bool TButtonGlyph::SourcePixels(int Position, TGlyphPixels& Out) const {
    if (imageList_ != nullptr) {
        IMAGEINFO info{};
        if (!ImageList_GetImageInfo(imageList_, imageIndex_, &info)) return false;
        TGlyphPixels all = ReadBitmapPixels(info.hbmImage);
        TGlyphPixels mask = ReadBitmapPixels(info.hbmMask);
        const int w = info.rcImage.right - info.rcImage.left, h = info.rcImage.bottom - info.rcImage.top;
        if (all.Width < info.rcImage.right || all.Height < info.rcImage.bottom) return false;
        Out = TGlyphPixels{w, h, std::vector<COLORREF>(static_cast<size_t>(w * h)), std::vector<bool>(static_cast<size_t>(w * h), true)};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                size_t from = static_cast<size_t>((y + info.rcImage.top) * all.Width + x + info.rcImage.left);
                size_t to = static_cast<size_t>(y * w + x);
                Out.Colors[to] = all.Colors[from];
                if (mask.Width == all.Width && mask.Height == all.Height) Out.Opaque[to] = (mask.Colors[from] & 0xFFFFFF) == 0;
            }
        return true;
    }
    TGlyphPixels all = ReadBitmapPixels(glyph_.Get());
    if (all.Width == 0) return false;
    TGlyphPixels mask = ReadBitmapPixels(mask_.Get());
    const bool useMask = mask.Width == all.Width && mask.Height == all.Height;
    const int w = all.Width / numGlyphs_, h = all.Height;
    Out = TGlyphPixels{w, h, std::vector<COLORREF>(static_cast<size_t>(w * h)), std::vector<bool>(static_cast<size_t>(w * h), true)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            size_t from = static_cast<size_t>(y * all.Width + Position * w + x);
            size_t to = static_cast<size_t>(y * w + x);
            Out.Colors[to] = all.Colors[from];
            Out.Opaque[to] = useMask ? (mask.Colors[from] & 0xFFFFFF) == 0 : all.Colors[from] != transparentColor_;
        }
    return true;
}

bool TButtonGlyph::Prepare(TButtonState State) {
    TPrepared& slot = prepared_[static_cast<int>(State)];
    if (slot.list != nullptr) return true;
    if (!HasImage() || !gCache) return false;
    int position = static_cast<int>(State);
    bool generate = false;
    if (State == TButtonState::bsDisabled) {
        if (numGlyphs_ < 2) {
            position = 0;
            generate = true;
        }
    } else if (position >= numGlyphs_) {
        position = 0;
    }
    TGlyphPixels pixels;
    if (!SourcePixels(position, pixels)) return false;
    if (generate) pixels = EmbossDisabled(pixels, oldDisabledStyle_, ColorToRGB(clBtnHighlight), ColorToRGB(clBtnShadow));
    TOwnedBitmap image(MakeBitmap(pixels));
    TOwnedBitmap mask(MakeMask(pixels));
    TGlyphList* list = gCache->GetList(pixels.Width, pixels.Height);
    try {
        slot.index = list->AddMasked(image.Get(), mask.Get());
    } catch (...) {
        gCache->ReturnList(list);
        throw;
    }
    slot.list = list;
    return true;
}

void TButtonGlyph::Draw(HDC DC, int X, int Y, TButtonState State) {
    if (!Prepare(State)) return;
    const TPrepared& slot = prepared_[static_cast<int>(State)];
    ImageList_Draw(slot.list->Handle(), slot.index, DC, X, Y, ILD_TRANSPARENT);
}

void TButtonGlyph::Invalidate() {
    for (TPrepared& slot : prepared_) {
        if (slot.list == nullptr) continue;
        slot.list->Delete(slot.index);
        if (gCache) gCache->ReturnList(slot.list);
        slot = TPrepared{};
    }
}

}  // namespace hover
