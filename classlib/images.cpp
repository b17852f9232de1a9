// Pictures and the image control of the class library.
#include "classlib/images.h"

#include <algorithm>
#include <cctype>

#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

// ---- TPicture --------------------------------------------------------------------------------

TPicture::~TPicture() { OnChange = nullptr; }

int TPicture::Width() const {
    if (bitmap_) {
        BITMAP b{};
        GetObjectW(bitmap_.Get(), sizeof b, &b);
        return b.bmWidth;
    }
    if (icon_) return GetSystemMetrics(SM_CXICON);
    return 0;
}

int TPicture::Height() const {
    if (bitmap_) {
        BITMAP b{};
        GetObjectW(bitmap_.Get(), sizeof b, &b);
        return b.bmHeight;
    }
    if (icon_) return GetSystemMetrics(SM_CYICON);
    return 0;
}

void TPicture::SetBitmap(HBITMAP Value) {
    icon_.Reset();
    bitmap_.Reset(Value);
    Changed();
}

void TPicture::SetIcon(HICON Value) {
    bitmap_.Reset();
    icon_.Reset(Value);
    Changed();
}

void TPicture::LoadFromFile(const std::string& FileName) {
    size_t dot = FileName.find_last_of('.');
    std::string ext = dot == std::string::npos ? std::string() : FileName.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (OnProgress) OnProgress(this, TProgressStage::psStarting, 0);
    if (ext == "bmp") {
        HANDLE h = LoadImageA(nullptr, FileName.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
        if (h == nullptr) RaiseLastOSError();
        SetBitmap(static_cast<HBITMAP>(h));
    } else if (ext == "ico") {
        HANDLE h = LoadImageA(nullptr, FileName.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
        if (h == nullptr) RaiseLastOSError();
        SetIcon(static_cast<HICON>(h));
    } else {
        throw EInvalidGraphic(Format(L"Unknown picture file extension (.%s)", {ext}));
    }
    if (OnProgress) OnProgress(this, TProgressStage::psEnding, 100);
}

void TPicture::Assign(TPersistent* Source) {
    if (Source == nullptr) {
        bitmap_.Reset();
        icon_.Reset();
        Changed();
        return;
    }
    auto* other = dynamic_cast<TPicture*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    if (other == this) return;
    if (other->bitmap_) {
        SetBitmap(static_cast<HBITMAP>(CopyImage(other->bitmap_.Get(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    } else if (other->icon_) {
        SetIcon(CopyIcon(other->icon_.Get()));
    } else {
        bitmap_.Reset();
        icon_.Reset();
        Changed();
    }
}

void TPicture::Draw(HDC DC, const RECT& Rect, bool Transparent) const {
    int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
    if (icon_) {
        DrawIconEx(DC, Rect.left, Rect.top, icon_.Get(), w, h, 0, nullptr, DI_NORMAL);
        return;
    }
    if (!bitmap_) return;
    TOwnedDC source(CreateCompatibleDC(DC));
    TSelectedObject selected(source.Get(), bitmap_.Get());
    int bw = Width(), bh = Height();
    if (Transparent) {
        COLORREF key = GetPixel(source.Get(), 0, bh - 1);
        GdiTransparentBlt(DC, Rect.left, Rect.top, w, h, source.Get(), 0, 0, bw, bh, key);
    } else {
        SetStretchBltMode(DC, COLORONCOLOR);
        StretchBlt(DC, Rect.left, Rect.top, w, h, source.Get(), 0, 0, bw, bh, SRCCOPY);
    }
}

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

// ---- TImage ----------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), picture_(std::make_unique<TPicture>()) {
    SetControlStyle(ControlStyle() | csReplicatable);
    SetBounds(0, 0, 105, 105);
    picture_->OnChange = [this](TObject* Sender) { PictureChanged(Sender); };
}

TImage::~TImage() {
    if (picture_) picture_->OnChange = nullptr;
}

void TImage::ReplacePicture(std::unique_ptr<TPicture> Value) {
    Value->OnChange = picture_->OnChange;
    Value->OnProgress = picture_->OnProgress;
    picture_->OnChange = nullptr;
    std::unique_ptr<TPicture> old = std::exchange(picture_, std::move(Value));
    if (!old->Empty()) picture_->Assign(old.get());
}

void TImage::SetStretch(bool Value) {
    stretch_ = Value;
    Invalidate();
}

void TImage::SetCenter(bool Value) {
    center_ = Value;
    Invalidate();
}

void TImage::SetTransparent(bool Value) {
    transparent_ = Value;
    Invalidate();
}

RECT TImage::DestRect() const {
    if (stretch_) return RECT{0, 0, Width(), Height()};
    int w = picture_->Width(), h = picture_->Height();
    int x = center_ ? (Width() - w) / 2 : 0;
    int y = center_ ? (Height() - h) / 2 : 0;
    return RECT{x, y, x + w, y + h};
}

void TImage::Paint() {
    if (picture_->Empty()) return;
    picture_->Draw(Canvas()->Handle(), DestRect(), transparent_);
}

void TImage::PictureChanged(TObject*) { Invalidate(); }

}  // namespace classlib
