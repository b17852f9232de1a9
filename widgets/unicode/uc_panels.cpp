// Wide panels, images, shapes and bevels.
#include "widgets/unicode/uc_panels.h"

#include <algorithm>
#include <cwctype>

#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_graphics.h"

namespace widgets {

// ---- TUcCustomPanel --------------------------------------------------------------------------

void TUcCustomPanel::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, std::wstring());
}

void TUcCustomPanel::Paint() {
    if (!unicode::Win32PlatformIsUnicode()) {
        classlib::TCustomPanel::Paint();
        return;
    }
    RECT r{};
    PaintFrame(r);
    classlib::TCanvas* canvas = Canvas();
    canvas->Brush()->SetStyle(classlib::TBrushStyle::bsClear);
    canvas->SetFont(Font());
    int h = WideCanvasTextHeight(canvas, L"W");
    r.top = (r.top + r.bottom - h) / 2;
    r.bottom = r.top + h;
    static const UINT horizontal[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    UINT flags = DrawTextBiDiModeFlags(DT_EXPANDTABS | DT_VCENTER | horizontal[static_cast<int>(Alignment())]);
    std::wstring text = Caption();
    DrawTextW(canvas->TextHandle(), text.c_str(), -1, &r, flags);
}

// ---- TUcPicture, TUcImage --------------------------------------------------------------------

void TUcPicture::LoadFromWideFile(const std::wstring& FileName) {
    size_t dot = FileName.find_last_of(L'.');
    std::wstring ext = dot == std::wstring::npos ? std::wstring() : FileName.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    if (OnProgress) OnProgress(this, classlib::TProgressStage::psStarting, 0);
    if (ext == L"bmp") {
        HANDLE h = LoadImageW(nullptr, FileName.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
        if (h == nullptr) classlib::RaiseLastOSError();
        SetBitmap(static_cast<HBITMAP>(h));
    } else if (ext == L"ico") {
        HANDLE h = LoadImageW(nullptr, FileName.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
        if (h == nullptr) classlib::RaiseLastOSError();
        SetIcon(static_cast<HICON>(h));
    } else {
        throw classlib::EInvalidGraphic(classlib::Format(L"Unknown picture file extension (.%s)", {ext}));
    }
    if (OnProgress) OnProgress(this, classlib::TProgressStage::psEnding, 100);
}

TUcImage::TUcImage(classlib::TComponent* AOwner) : classlib::TImage(AOwner) {
    ReplacePicture(std::make_unique<TUcPicture>());
}

void TUcImage::Dispatch(classlib::TMessage& Message) {
    if (Message.Msg == classlib::CM_HINTSHOW) ProcessCMHintShowMsg(this, Message);
    classlib::TImage::Dispatch(Message);
}

void TUcShape::Dispatch(classlib::TMessage& Message) {
    if (Message.Msg == classlib::CM_HINTSHOW) ProcessCMHintShowMsg(this, Message);
    classlib::TShape::Dispatch(Message);
}

void TUcBevel::Dispatch(classlib::TMessage& Message) {
    if (Message.Msg == classlib::CM_HINTSHOW) ProcessCMHintShowMsg(this, Message);
    classlib::TBevel::Dispatch(Message);
}

}  // namespace widgets
