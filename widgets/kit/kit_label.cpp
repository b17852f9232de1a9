#include "widgets/kit/kit_label.h"

#include "classlib/win_control.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

POINT ShadowOffset(TShadowPosition Position, int Size) {
    switch (Position) {
        case TShadowPosition::spLeftTop: return POINT{-Size, -Size};
        case TShadowPosition::spLeftBottom: return POINT{-Size, Size};
        case TShadowPosition::spRightBottom: return POINT{Size, Size};
        case TShadowPosition::spRightTop: return POINT{Size, -Size};
    }
    return POINT{0, 0};
}

}  // namespace

void DrawShadowText(HDC DC, const std::string& Text, RECT& Rect, UINT Flags, int Size, COLORREF ShadowColor,
                    COLORREF TextColor, TShadowPosition Position, bool ShowAccelChar) {
    std::string text = Text;
    if ((Flags & DT_CALCRECT) != 0 && (text.empty() || (ShowAccelChar && text == "&"))) text += ' ';
    POINT off = ShadowOffset(Position, Size);
    RECT shadow = Rect;
    OffsetRect(&shadow, off.x, off.y);
    int oldMode = SetBkMode(DC, TRANSPARENT);
    COLORREF oldColor = SetTextColor(DC, ShadowColor);
    DrawTextAnsi(DC, text, shadow, Flags);
    SetTextColor(DC, TextColor);
    RECT main = Rect;
    DrawTextAnsi(DC, text, main, Flags);
    SetTextColor(DC, oldColor);
    SetBkMode(DC, oldMode);
    if ((Flags & DT_CALCRECT) != 0) {
        UnionRect(&Rect, &main, &shadow);
        Rect.bottom = main.bottom + Size;
    }
}

bool MouseInAfter(TControl* Control, UINT Msg, bool Dragging, bool Current) {
    if (!Control->Enabled()) return Current;
    if (Msg == CM_MOUSEENTER) return ThreadOwnsActiveWindow() ? true : Current;
    if (Msg == CM_MOUSELEAVE) return Dragging ? Current : false;
    return Current;
}

bool ChangeMouseIn(bool& MouseIn, bool Value, TObject* Sender, const TNotifyEvent& OnEnter, const TNotifyEvent& OnLeave) {
    if (MouseIn == Value) return false;
    MouseIn = Value;
    const TNotifyEvent& event = Value ? OnEnter : OnLeave;
    if (event) event(Sender);
    return true;
}

bool MouseOverControl(TControl* Control) {
    POINT p;
    if (!GetCursorPos(&p)) return false;
    return FindDragTarget(p, true) == Control && ThreadOwnsActiveWindow();
}

TKitCustomLabel::TKitCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    SetControlStyle(ControlStyle() | csOpaque | csReplicatable);
    SetBounds(Left(), Top(), 65, 17);
}

TKitCustomLabel::~TKitCustomLabel() = default;

void TKitCustomLabel::SetFocusControl(TWinControl* Value) {
    if (focusControl_ == Value) return;
    focusControl_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    if (showFocus_) Invalidate();
}

void TKitCustomLabel::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

void TKitCustomLabel::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    Invalidate();
}

void TKitCustomLabel::SetAutoSize(bool Value) {
    if (autoSize_ == Value) return;
    autoSize_ = Value;
    AdjustBounds();
}

void TKitCustomLabel::SetLayout(TTextLayout Value) {
    if (layout_ == Value) return;
    layout_ = Value;
    Invalidate();
}

void TKitCustomLabel::SetShadowColor(TColor Value) {
    if (shadowColor_ == Value) return;
    shadowColor_ = Value;
    Invalidate();
}

void TKitCustomLabel::SetShadowSize(int Value) {
    Value = Value < 0 ? 0 : (Value > 255 ? 255 : Value);
    if (shadowSize_ == Value) return;
    shadowSize_ = Value;
    AdjustBounds();
    Invalidate();
}

void TKitCustomLabel::SetShadowPos(TShadowPosition Value) {
    if (shadowPos_ == Value) return;
    shadowPos_ = Value;
    Invalidate();
}

void TKitCustomLabel::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    AdjustBounds();
    Invalidate();
}

void TKitCustomLabel::SetShowAccelChar(bool Value) {
    if (showAccelChar_ == Value) return;
    showAccelChar_ = Value;
    Invalidate();
}

void TKitCustomLabel::SetShowFocus(bool Value) {
    if (showFocus_ == Value) return;
    showFocus_ = Value;
    Invalidate();
}

void TKitCustomLabel::SetTransparent(bool Value) {
    if (Transparent() == Value) return;
    SetControlStyle(Value ? ControlStyle() & ~static_cast<std::uint32_t>(csOpaque) : ControlStyle() | csOpaque);
    Invalidate();
}

void TKitCustomLabel::SetMargins(int LeftMargin, int RightMargin) {
    leftMargin_ = LeftMargin;
    rightMargin_ = RightMargin;
    AdjustBounds();
    Invalidate();
}

void TKitCustomLabel::DoDrawText(HDC dc, RECT& Rect, UINT Flags) {
    TTextDC text(dc, Font()->Handle(), ColorToRGB(Font()->Color()));
    if (!showAccelChar_) Flags |= DT_NOPREFIX;
    Flags = DrawTextBiDiModeFlags(Flags);
    COLORREF textColor = ColorToRGB(Font()->Color());
    COLORREF shadowColor = ColorToRGB(shadowColor_);
    int size = shadowSize_;
    TShadowPosition pos = shadowPos_;
    if (!Enabled()) {
        textColor = ColorToRGB(clGrayText);
        shadowColor = ColorToRGB(clBtnHighlight);
        if (size == 0 && NewStyleShell()) {
            size = 1;
            pos = TShadowPosition::spRightBottom;
        }
    }
    DrawShadowText(dc, Caption(), Rect, Flags, size, shadowColor, textColor, pos, showAccelChar_);
}

void TKitCustomLabel::Paint() {
    if (!Enabled() && !HasState(csDesigning)) dragging_ = false;
    RECT client = ClientRect();
    if (!Transparent()) {
        Canvas()->Brush()->SetColor(Color());
        Canvas()->Brush()->SetStyle(TBrushStyle::bsSolid);
        Canvas()->FillRect(client);
    }
    RECT r{client.left + leftMargin_ + 1, client.top, client.right - rightMargin_ - 1, client.bottom};
    UINT align = alignment_ == TAlignment::taLeftJustify ? DT_LEFT : alignment_ == TAlignment::taRightJustify ? DT_RIGHT : DT_CENTER;
    UINT flags = DT_EXPANDTABS | align | (wordWrap_ ? DT_WORDBREAK : 0);
    if (layout_ != TTextLayout::tlTop) {
        RECT calc = r;
        DoDrawText(Canvas()->Handle(), calc, flags | DT_CALCRECT);
        int free = (r.bottom - r.top) - (calc.bottom - calc.top);
        OffsetRect(&r, 0, layout_ == TTextLayout::tlCenter ? free / 2 : free);
    }
    DoDrawText(Canvas()->Handle(), r, flags);
    if (showFocus_ && focusControl_ != nullptr && focused_ && !HasState(csDesigning)) {
        InflateRect(&r, 1, 0);
        Canvas()->Brush()->SetColor(Color());
        Canvas()->DrawFocusRect(r);
    }
}

void TKitCustomLabel::AdjustBounds() {
    if (!autoSize_ || HasState(csLoading) || HasState(csReading)) return;
    RECT r = ClientRect();
    r.left += leftMargin_ + 1;
    r.right -= rightMargin_ + 1;
    {
        // Measured on the screen: the label may have no window to draw on yet.
        TWindowDC screen(nullptr);
        DoDrawText(screen.Get(), r, DT_EXPANDTABS | DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : 0));
    }
    int width = (r.right - r.left) + leftMargin_ + rightMargin_ + 2;
    int height = r.bottom - r.top;
    int left = Left();
    TAlignment align = alignment_;
    if (UseRightToLeftAlignment()) align = align == TAlignment::taLeftJustify ? TAlignment::taRightJustify : align == TAlignment::taRightJustify ? TAlignment::taLeftJustify : align;
    if (align == TAlignment::taRightJustify) left += Width() - width;
    SetBounds(left, Top(), width, height);
}

void TKitCustomLabel::SetMouseIn(bool Value) { ChangeMouseIn(mouseIn_, Value, this, OnMouseEnter, OnMouseLeave); }

void TKitCustomLabel::UpdateMouseIn() { SetMouseIn(MouseOverControl(this)); }

void TKitCustomLabel::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    if (Button == TMouseButton::mbLeft && Enabled()) dragging_ = true;
    if (Button == TMouseButton::mbRight) UpdateMouseIn();
}

void TKitCustomLabel::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseUp(Button, Shift, X, Y);
    if (Button == TMouseButton::mbLeft) dragging_ = false;
    if (Button == TMouseButton::mbRight) UpdateMouseIn();
}

void TKitCustomLabel::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CM_MOUSEENTER:
        case CM_MOUSELEAVE:
            TGraphicControl::Dispatch(Message);
            SetMouseIn(MouseInAfter(this, Message.Msg, dragging_, mouseIn_));
            return;
        case CM_ENABLEDCHANGED:
        case CM_VISIBLECHANGED:
            TGraphicControl::Dispatch(Message);
            UpdateMouseIn();
            Invalidate();
            return;
        case CM_TEXTCHANGED:
            TGraphicControl::Dispatch(Message);
            AdjustBounds();
            Invalidate();
            return;
        case CM_FONTCHANGED:
            TGraphicControl::Dispatch(Message);
            AdjustBounds();
            return;
        case CM_DIALOGCHAR:
            if (focusControl_ != nullptr && Enabled() && showAccelChar_ && IsAccel(Message.WParam, Caption()) &&
                focusControl_->CanFocus()) {
                focusControl_->SetFocus();
                Message.Result = 1;
                return;
            }
            TGraphicControl::Dispatch(Message);
            return;
        case CM_FOCUSCHANGED: {
            bool now = focusControl_ != nullptr && reinterpret_cast<TWinControl*>(Message.LParam) == focusControl_;
            if (now != focused_) {
                focused_ = now;
                if (showFocus_) Invalidate();
            }
            TGraphicControl::Dispatch(Message);
            return;
        }
        default:
            TGraphicControl::Dispatch(Message);
    }
}

}  // namespace widgets::kit
