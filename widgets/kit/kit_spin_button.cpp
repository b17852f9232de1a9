#include "widgets/kit/kit_spin_button.h"

#include <commctrl.h>

#include "classlib/custom_controls.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

constexpr UINT kInitRepeatPause = 400;
constexpr UINT kRepeatPause = 100;

TOwnedBitmap ResourceGlyph(bool Up) { return LoadResBitmap(GetModuleHandleW(nullptr), Up ? L"KITSPINUP" : L"KITSPINDOWN"); }

void Line(HDC DC, TColor Color, int X1, int Y1, int X2, int Y2) {
    TOwnedPen pen(CreatePen(PS_SOLID, 1, ColorToRGB(Color)));
    TSelectedObject sel(DC, pen.Get());
    MoveToEx(DC, X1, Y1, nullptr);
    LineTo(DC, X2, Y2);
}

}  // namespace

bool SpinPointInTopHalf(int X, int Y, int Width, int Height) {
    // y <= h - (h / w) x without the integer division that made the diagonal a staircase.
    if (Width <= 0) return Y <= Height;
    return static_cast<long long>(Y) * Width <= static_cast<long long>(Height) * (Width - X);
}

// ---- TKitSpinButton --------------------------------------------------------------------------

TKitSpinButton::TKitSpinButton(TComponent* AOwner)
    : TGraphicControl(AOwner), upGlyph_(ResourceGlyph(true)), downGlyph_(ResourceGlyph(false)) {
    SetBounds(0, 0, 20, 20);
}

TKitSpinButton::~TKitSpinButton() = default;

void TKitSpinButton::SetUpGlyph(HBITMAP Value) {
    upGlyph_ = Value != nullptr ? CopyBitmap(Value) : ResourceGlyph(true);
    InvalidateImages();
    Invalidate();
}

void TKitSpinButton::SetDownGlyph(HBITMAP Value) {
    downGlyph_ = Value != nullptr ? CopyBitmap(Value) : ResourceGlyph(false);
    InvalidateImages();
    Invalidate();
}

void TKitSpinButton::SetFocusControl(TWinControl* Value) {
    focusControl_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
}

void TKitSpinButton::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == static_cast<TComponent*>(focusControl_))
        focusControl_ = nullptr;
}

void TKitSpinButton::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    bool resized = AWidth != Width() || AHeight != Height();
    TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (resized) InvalidateImages();
}

void TKitSpinButton::SetEnabled(bool Value) {
    if (Value != Enabled()) InvalidateImages();
    TGraphicControl::SetEnabled(Value);
}

void TKitSpinButton::DrawInto(HDC DC, TSpinButtonState State) {
    int w = Width(), h = Height();
    RECT all{0, 0, w, h};
    TOwnedBrush face(CreateSolidBrush(ColorToRGB(clBtnFace)));
    FillRect(DC, &all, face.Get());
    TOwnedBrush frame(CreateSolidBrush(ColorToRGB(clWindowFrame)));
    FrameRect(DC, &all, frame.Get());
    bool top = State == TSpinButtonState::sbTopDown, bottom = State == TSpinButtonState::sbBottomDown;
    // The up half: raised edges along its top and left, its lower edge being the diagonal.
    Line(DC, top ? clBtnShadow : clBtnHighlight, 1, h - 2, 1, 1);
    Line(DC, top ? clBtnShadow : clBtnHighlight, 1, 1, w - 2, 1);
    Line(DC, top ? clBtnHighlight : clBtnShadow, 2, h - 2, w - 2, 2);
    // The down half: its upper edge the diagonal, raised edges along its bottom and right.
    Line(DC, bottom ? clBtnShadow : clBtnHighlight, 2, h - 1, w - 1, 2);
    Line(DC, bottom ? clBtnHighlight : clBtnShadow, w - 2, 2, w - 2, h - 2);
    Line(DC, bottom ? clBtnHighlight : clBtnShadow, w - 2, h - 2, 1, h - 2);
    if (bottom) Line(DC, clBtnShadow, 3, h - 2, w - 1, 2);
    Line(DC, clWindowFrame, 0, h - 1, w, -1);  // the diagonal, bottom-left to top-right
    TControlCanvas canvas;
    canvas.SetHandle(DC);
    HBITMAP glyphs[2] = {upGlyph_.Get(), downGlyph_.Get()};
    for (int i = 0; i < 2; ++i) {
        if (glyphs[i] == nullptr) continue;
        SIZE s = BitmapSize(glyphs[i]);
        bool pressed = i == 0 ? top : bottom;
        int cx = i == 0 ? w / 4 : 3 * w / 4, cy = i == 0 ? h / 4 : 3 * h / 4;
        int shift = i == 0 ? (pressed ? 2 : 1) : (pressed ? 0 : -1);
        PaintBitmapTransparent(&canvas, cx - s.cx / 2 + shift, cy - s.cy / 2 + shift, glyphs[i], clDefault);
    }
    canvas.SetHandle(nullptr);
}

void TKitSpinButton::Paint() {
    if (!Enabled()) dragging_ = false;
    int w = Width(), h = Height();
    if (w <= 0 || h <= 0) return;
    int index = static_cast<int>(down_);
    HDC dc = Canvas()->Handle();
    if (!images_[index]) {
        TOwnedBitmap bmp(CreateCompatibleBitmap(dc, w, h));
        TOwnedDC mem(CreateCompatibleDC(dc));
        {
            TSelectedObject sel(mem.Get(), bmp.Get());
            DrawInto(mem.Get(), down_);
        }
        images_[index] = std::move(bmp);
    }
    TOwnedDC mem(CreateCompatibleDC(dc));
    TSelectedObject sel(mem.Get(), images_[index].Get());
    BitBlt(dc, 0, 0, w, h, mem.Get(), 0, 0, SRCCOPY);
}

void TKitSpinButton::SetDownState(TSpinButtonState Value) {
    if (down_ == Value) return;
    down_ = Value;
    Invalidate();
}

bool TKitSpinButton::HoldsCapture() const {
    return Parent() != nullptr && Parent()->HandleAllocated() && GetCapture() == Parent()->WindowHandle();
}

void TKitSpinButton::FireClick() {
    TNotifyEvent handler = down_ == TSpinButtonState::sbTopDown ? OnTopClick : OnBottomClick;
    if (down_ == TSpinButtonState::sbNotDown || !handler) return;
    handler(this);
    // A handler that took the mouse away (a message box) leaves no half pressed.
    if ((GetAsyncKeyState(GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON) & 0x8000) == 0 && !HoldsCapture())
        SetDownState(TSpinButtonState::sbNotDown);
}

void TKitSpinButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    if (Button != TMouseButton::mbLeft || !Enabled()) return;
    if (focusControl_ != nullptr && focusControl_->TabStop() && focusControl_->CanFocus() && !focusControl_->Focused())
        focusControl_->SetFocus();
    if (down_ != TSpinButtonState::sbNotDown) return;
    lastDown_ = SpinPointInTopHalf(X, Y, Width(), Height()) ? TSpinButtonState::sbTopDown : TSpinButtonState::sbBottomDown;
    SetDownState(lastDown_);
    dragging_ = true;
    FireClick();
    if (!repeatTimer_) {
        repeatTimer_ = std::make_unique<TTimer>(nullptr);
        repeatTimer_->OnTimer = [this](TObject*) { RepeatTick(); };
    }
    repeatTimer_->SetEnabled(false);
    repeatTimer_->SetInterval(kInitRepeatPause);
    repeatTimer_->SetEnabled(true);
}

void TKitSpinButton::RepeatTick() {
    repeatTimer_->SetInterval(kRepeatPause);
    if (down_ != TSpinButtonState::sbNotDown && HoldsCapture()) FireClick();
}

void TKitSpinButton::MouseMove(TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseMove(Shift, X, Y);
    if (!dragging_) return;
    TSpinButtonState shown = TSpinButtonState::sbNotDown;
    if (X >= 0 && X < Width() && Y >= 0 && Y < Height()) {
        TSpinButtonState here =
            SpinPointInTopHalf(X, Y, Width(), Height()) ? TSpinButtonState::sbTopDown : TSpinButtonState::sbBottomDown;
        if (here == lastDown_) shown = here;
    }
    SetDownState(shown);
}

void TKitSpinButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseUp(Button, Shift, X, Y);
    if (!dragging_) return;
    dragging_ = false;
    // Nothing to repeat once released.
    if (repeatTimer_) repeatTimer_->SetEnabled(false);
    if (X >= 0 && X < Width() && Y >= 0 && Y < Height()) {
        lastDown_ = TSpinButtonState::sbNotDown;
        SetDownState(TSpinButtonState::sbNotDown);
    }
}

// ---- TKitUpDown ------------------------------------------------------------------------------

TKitUpDown::TKitUpDown(TComponent* AOwner) : TWinControl(AOwner) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    SetBounds(0, 0, 15, 21);
}

void TKitUpDown::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, UPDOWN_CLASSA);
    Params.Style |= UDS_ARROWKEYS;
    Params.Style &= ~static_cast<DWORD>(UDS_HORZ | UDS_WRAP);
}

void TKitUpDown::CreateWnd() {
    TWinControl::CreateWnd();
    SendMessageA(WindowHandle(), UDM_SETRANGE32, static_cast<WPARAM>(-1), 1);
    SendMessageA(WindowHandle(), UDM_SETPOS32, 0, 0);
}

void TKitUpDown::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    (void)AWidth;
    TWinControl::SetBounds(ALeft, ATop, std::min(GetSystemMetrics(SM_CXVSCROLL), 15), AHeight);
}

void TKitUpDown::Dispatch(TMessage& Message) {
    if (Message.Msg == CN_VSCROLL && LOWORD(Message.WParam) == SB_THUMBPOSITION) {
        int pos = static_cast<int>(SendMessageA(WindowHandle(), UDM_GETPOS32, 0, 0));
        // Back to the middle, so that the next click in the same direction counts too.
        SendMessageA(WindowHandle(), UDM_SETPOS32, 0, 0);
        TNotifyEvent handler = pos > 0 ? OnTopClick : pos < 0 ? OnBottomClick : nullptr;
        if (handler) handler(this);
        return;
    }
    TWinControl::Dispatch(Message);
}

}  // namespace widgets::kit
