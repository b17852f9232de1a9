// Image lists of the class library.
#include "classlib/image_list.h"

#include <shellapi.h>

#include <algorithm>

#include "classlib/exceptions.h"
#include "classlib/gdi_handles.h"

namespace classlib {

namespace {

COLORREF ListColour(TColor Colour) { return Colour == clNone ? CLR_NONE : ColorToRGB(Colour); }

}  // namespace

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}

TCustomImageList::~TCustomImageList() {
    for (TChangeLink* link : links_) link->sender_ = nullptr;
    FreeHandle();
}

TChangeLink::~TChangeLink() {
    if (sender_ != nullptr) sender_->UnRegisterChanges(this);
}

void TCustomImageList::RegisterChanges(TChangeLink* Link) {
    if (Link == nullptr || Link->sender_ == this) return;
    if (Link->sender_ != nullptr) Link->sender_->UnRegisterChanges(Link);
    Link->sender_ = this;
    links_.push_back(Link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* Link) {
    if (Link == nullptr || Link->sender_ != this) return;
    Link->sender_ = nullptr;
    links_.erase(std::remove(links_.begin(), links_.end(), Link), links_.end());
}

void TCustomImageList::FreeHandle() {
    if (handle_ != nullptr && !shareImages_) ImageList_Destroy(handle_);
    handle_ = nullptr;
}

HIMAGELIST TCustomImageList::Handle() {
    if (handle_ == nullptr) {
        InitCommonControlClasses();
        handle_ = ImageList_Create(width_, height_, ILC_COLOR24 | ILC_MASK, 4, 4);
        if (handle_ == nullptr) throw EInvalidOperation(L"Failed to create image list");
        ImageList_SetBkColor(handle_, ListColour(bkColor_));
    }
    return handle_;
}

void TCustomImageList::SetHandle(HIMAGELIST Value) {
    if (Value == handle_) return;
    FreeHandle();
    handle_ = Value;
    if (handle_ != nullptr) ImageList_GetIconSize(handle_, &width_, &height_);
    Change();
}

void TCustomImageList::SetWidth(int Value) {
    if (Value < 1 || Value == width_) return;
    width_ = Value;
    FreeHandle();
    Change();
}

void TCustomImageList::SetHeight(int Value) {
    if (Value < 1 || Value == height_) return;
    height_ = Value;
    FreeHandle();
    Change();
}

int TCustomImageList::Count() { return handle_ == nullptr ? 0 : ImageList_GetImageCount(handle_); }

void TCustomImageList::SetBkColor(TColor Value) {
    bkColor_ = Value;
    if (handle_ != nullptr) ImageList_SetBkColor(handle_, ListColour(Value));
    Change();
}

int TCustomImageList::Add(HBITMAP Image, HBITMAP Mask) {
    int index = ImageList_Add(Handle(), Image, Mask);
    if (index < 0) throw EInvalidOperation(L"Invalid image");
    Change();
    return index;
}

int TCustomImageList::AddMasked(HBITMAP Image, TColor MaskColor) {
    COLORREF mask = 0;
    if (MaskColor == clDefault) {
        // The bottom-left pixel names the transparent colour.
        BITMAP info{};
        GetObjectW(Image, sizeof info, &info);
        TOwnedDC dc(CreateCompatibleDC(nullptr));
        TSelectedObject selected(dc.Get(), Image);
        mask = GetPixel(dc.Get(), 0, info.bmHeight > 0 ? info.bmHeight - 1 : 0);
    } else {
        mask = ColorToRGB(MaskColor);
    }
    int index = ImageList_AddMasked(Handle(), Image, mask);
    if (index < 0) throw EInvalidOperation(L"Invalid image");
    Change();
    return index;
}

int TCustomImageList::AddIcon(HICON Icon) {
    int index = ImageList_ReplaceIcon(Handle(), -1, Icon);
    if (index < 0) throw EInvalidOperation(L"Invalid image");
    Change();
    return index;
}

void TCustomImageList::CheckIndex(int Index) {
    if (Index < 0 || Index >= Count()) throw EInvalidOperation(L"Invalid image index");
}

void TCustomImageList::Delete(int Index) {
    CheckIndex(Index);
    ImageList_Remove(handle_, Index);
    Change();
}

void TCustomImageList::Clear() {
    if (handle_ != nullptr) ImageList_Remove(handle_, -1);
    Change();
}

void TCustomImageList::Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled) {
    Draw(Canvas->Handle(), X, Y, Index, Enabled);
}

void TCustomImageList::Draw(HDC DC, int X, int Y, int Index, bool Enabled) {
    if (handle_ == nullptr || Index < 0 || Index >= Count()) return;
    UINT style = ILD_NORMAL;
    switch (drawingStyle_) {
        case TDrawingStyle::dsFocus: style = ILD_FOCUS; break;
        case TDrawingStyle::dsSelected: style = ILD_SELECTED; break;
        case TDrawingStyle::dsTransparent: style = ILD_TRANSPARENT; break;
        default: break;
    }
    if (!Enabled) {
        // Greyed: the image blended half with the face colour.
        ImageList_DrawEx(handle_, Index, DC, X, Y, 0, 0, CLR_NONE, ColorToRGB(clBtnFace), ILD_TRANSPARENT | ILD_BLEND50);
        return;
    }
    ImageList_DrawEx(handle_, Index, DC, X, Y, 0, 0, ListColour(bkColor_), CLR_DEFAULT, style);
}

HBITMAP TCustomImageList::GetBitmap(int Index) {
    CheckIndex(Index);
    TWindowDC screen(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen.Get(), width_, height_);
    if (bitmap == nullptr) RaiseLastOSError();
    TOwnedDC dc(CreateCompatibleDC(screen.Get()));
    {
        TSelectedObject selected(dc.Get(), bitmap);
        TOwnedBrush back(CreateSolidBrush(ColorToRGB(bkColor_ == clNone ? clBtnFace : bkColor_)));
        RECT all{0, 0, width_, height_};
        ::FillRect(dc.Get(), &all, back.Get());
        ImageList_Draw(handle_, Index, dc.Get(), 0, 0, ILD_TRANSPARENT);
    }
    return bitmap;
}

void TCustomImageList::Change() {
    if (OnChange) OnChange(this);
    // A watcher may leave (or another come) from its handler: the walk goes over a copy.
    for (TChangeLink* link : std::vector<TChangeLink*>(links_))
        if (std::find(links_.begin(), links_.end(), link) != links_.end() && link->OnChange) link->OnChange(this);
}

void InitCommonControlClasses() {
    static bool done = false;
    if (done) return;
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&icc);
    done = true;
}

HIMAGELIST SystemImageList(bool Small) {
    SHFILEINFOW info{};
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"C:\\", 0, &info, sizeof info,
                                                       SHGFI_SYSICONINDEX | (Small ? SHGFI_SMALLICON : SHGFI_LARGEICON)));
}

}  // namespace classlib
