// The control canvas, graphic controls and custom controls of the class library.
#include "classlib/custom_controls.h"

namespace classlib {

// ---- Canvas, graphic and custom controls -----------------------------------------------------

TControlCanvas::~TControlCanvas() { TControlCanvas::FreeHandle(); }

void TControlCanvas::SetControl(TControl* Value) {
    if (control_ == Value) return;
    FreeHandle();
    control_ = Value;
}

void TControlCanvas::CreateHandle() {
    if (control_ == nullptr) return;
    HWND w = nullptr;
    POINT origin{0, 0};
    if (auto* wc = dynamic_cast<TWinControl*>(control_)) {
        w = wc->Handle();
    } else if (control_->Parent() != nullptr) {
        w = control_->Parent()->Handle();
        origin = POINT{control_->Left(), control_->Top()};
    }
    if (w == nullptr) return;
    HDC dc = GetDCEx(w, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
    if (dc == nullptr) return;
    if (origin.x != 0 || origin.y != 0) {
        SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
        IntersectClipRect(dc, 0, 0, control_->Width(), control_->Height());
    }
    ownDC_ = TWindowDC(w, dc);
    SetHandle(dc);
}

void TControlCanvas::FreeHandle() {
    if (ownDC_) {
        SetHandle(nullptr);
        ownDC_.Reset();
    } else if (HandleAllocated()) {
        SetHandle(nullptr);
    }
}

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), canvas_(std::make_unique<TControlCanvas>()) {
    canvas_->SetControl(this);
}

TGraphicControl::~TGraphicControl() { canvas_->SetControl(nullptr); }

void TGraphicControl::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_PAINT && Message.WParam != 0) {
        canvas_->FreeHandle();
        canvas_->SetHandle(reinterpret_cast<HDC>(Message.WParam));
        try {
            Paint();
        } catch (...) {
            canvas_->SetHandle(nullptr);
            throw;
        }
        canvas_->SetHandle(nullptr);
        return;
    }
    TControl::Dispatch(Message);
}

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), canvas_(std::make_unique<TControlCanvas>()) {
    canvas_->SetControl(this);
}

TCustomControl::~TCustomControl() {
    canvas_->SetControl(nullptr);
}

void TCustomControl::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_PAINT) {
        SetControlState(ControlState() | csCustomPaint);
        try {
            TWinControl::Dispatch(Message);
        } catch (...) {
            SetControlState(ControlState() & ~static_cast<std::uint32_t>(csCustomPaint));
            throw;
        }
        SetControlState(ControlState() & ~static_cast<std::uint32_t>(csCustomPaint));
        return;
    }
    TWinControl::Dispatch(Message);
}

void TCustomControl::Paint() {
    if (OnPaint) OnPaint(this);
}

void TCustomControl::PaintWindow(HDC DC) {
    canvas_->FreeHandle();
    canvas_->SetHandle(DC);
    try {
        Paint();
    } catch (...) {
        canvas_->SetHandle(nullptr);
        throw;
    }
    canvas_->SetHandle(nullptr);
}

}  // namespace classlib
