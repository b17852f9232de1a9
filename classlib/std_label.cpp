// The label of the class library.
#include "classlib/std_label.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "classlib/hidden_window.h"

namespace classlib {

// ---- TCustomLabel ----------------------------------------------------------------------------

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    SetControlStyle(ControlStyle() | csOpaque | csReplicatable);
    SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    Invalidate();
}

void TCustomLabel::SetAutoSize(bool Value) {
    if (autoSize_ == Value) return;
    autoSize_ = Value;
    AdjustBounds();
}

void TCustomLabel::SetTransparent(bool Value) {
    if (Transparent() == Value) return;
    SetControlStyle(Value ? ControlStyle() & ~static_cast<std::uint32_t>(csOpaque) : ControlStyle() | csOpaque);
    Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool Value) {
    if (showAccelChar_ == Value) return;
    showAccelChar_ = Value;
    Invalidate();
}

void TCustomLabel::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::SetFocusControl(TWinControl* Value) {
    if (focusControl_ == Value) return;
    if (focusControl_) focusControl_->RemoveFreeNotification(this);
    focusControl_ = Value;
    if (Value) Value->FreeNotification(this);
}

std::string TCustomLabel::GetLabelText() { return Caption(); }

void TCustomLabel::DoDrawText(RECT& Rect, UINT Flags) {
    std::string text = GetLabelText();
    // Measuring an empty text (or a lone prefix character) still gives a line's height.
    if ((Flags & DT_CALCRECT) != 0 && (text.empty() || (showAccelChar_ && text == "&"))) text += ' ';
    if (!showAccelChar_) Flags |= DT_NOPREFIX;
    Flags = DrawTextBiDiModeFlags(Flags);
    TCanvas* canvas = Canvas();
    canvas->SetFont(Font());
    TTextDC dc(canvas->Handle(), canvas->Font()->Handle(), ColorToRGB(canvas->Font()->Color()));
    if (Enabled() || (Flags & DT_CALCRECT) != 0) {
        DrawTextAnsi(canvas->Handle(), text, Rect, Flags);
        return;
    }
    OffsetRect(&Rect, 1, 1);
    dc.Color(ColorToRGB(clBtnHighlight));
    DrawTextAnsi(canvas->Handle(), text, Rect, Flags);
    OffsetRect(&Rect, -1, -1);
    dc.Color(ColorToRGB(clBtnShadow));
    DrawTextAnsi(canvas->Handle(), text, Rect, Flags);
}

void TCustomLabel::Paint() {
    static const UINT alignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    TCanvas* canvas = Canvas();
    RECT r = ClientRect();
    if (!Transparent()) {
        canvas->Brush()->SetColor(Color());
        canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
        canvas->FillRect(r);
    }
    canvas->Brush()->SetStyle(TBrushStyle::bsClear);
    DoDrawText(r, DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0) | alignments[static_cast<int>(alignment_)]);
}

void TCustomLabel::AdjustBounds() {
    if (!autoSize_ || HasState(csLoading) || HasState(csDestroying)) return;
    RECT r = ClientRect();
    TWindowDC screen(nullptr);
    if (!screen) return;
    TCanvas* canvas = Canvas();
    canvas->SetHandle(screen.Get());
    try {
        DoDrawText(r, DT_EXPANDTABS | DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : 0));
    } catch (...) {
        canvas->SetHandle(nullptr);
        throw;
    }
    canvas->SetHandle(nullptr);
    // Room for the ink past the measured width (a wrapping label keeps its width).
    if (!wordWrap_) r.right += TextInkSlack(screen.Get(), Font()->Handle());
    int x = Left();
    // A right-aligned label keeps its right edge.
    if (alignment_ == TAlignment::taRightJustify) x += Width() - r.right;
    SetBounds(x, Top(), r.right, r.bottom);
}

void TCustomLabel::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_TEXTCHANGED:
        TGraphicControl::Dispatch(Message);
        Invalidate();
        AdjustBounds();
        return;
    case CM_FONTCHANGED:
        TGraphicControl::Dispatch(Message);
        AdjustBounds();
        return;
    case CM_DIALOGCHAR:
        if (focusControl_ && Enabled() && showAccelChar_ && IsAccel(Message.WParam, GetLabelText()) &&
            focusControl_->CanFocus()) {
            focusControl_->SetFocus();
            Message.Result = 1;
            return;
        }
        break;
    default:
        break;
    }
    TGraphicControl::Dispatch(Message);
}

void TCustomLabel::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

void TCustomLabel::Loaded() {
    TGraphicControl::Loaded();
    AdjustBounds();
}

}  // namespace classlib
